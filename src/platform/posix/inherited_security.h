// The security descriptor a new file or directory inherits from the
// directory it is created in, as the system builds it when the creator gives
// no descriptor of its own:
//
//   - a file takes the parent's ACEs marked OBJECT_INHERIT; a directory those
//     marked CONTAINER_INHERIT, and those marked OBJECT_INHERIT only as
//     inherit-only ACEs that pass on to its files (unless NO_PROPAGATE ends
//     the inheritance with the parent's own children);
//   - every inherited ACE is marked INHERITED_ACE; one that applies to the
//     new object loses its inheritance flags, unless it is a directory's ACE
//     that keeps propagating, which keeps them;
//   - CREATOR OWNER and CREATOR GROUP become the creator's owner and group,
//     and generic rights become the file rights they stand for, in the ACE
//     that applies to the new object; where the ACE also passes on, an
//     inherit-only copy keeps the original for the next generation;
//   - the SACL follows the same rules; the parent's AUTO_INHERITED marks
//     pass to the child's ACLs. The order of the ACEs is kept.
#ifndef TARVIK_PLATFORM_POSIX_INHERITED_SECURITY_H_
#define TARVIK_PLATFORM_POSIX_INHERITED_SECURITY_H_

#include <optional>

#include "common/sd/descriptor_bytes.h"
#include "common/sd/sid_bytes.h"
#include "platform/win_types.h"

namespace tarvik {

// The descriptor of an object created in a directory whose descriptor is
// parent, owned by owner with the primary group group (valid SIDs).
//
// Nothing when the parent's DACL passes no ACE to the object (or is absent,
// null or malformed): the system would give the object the creator's default
// DACL, and here an object without a stored descriptor shows the one made
// from its host owner, group and mode, which stands for that default. Also
// nothing, with *error set to ERROR_BAD_INHERITANCE_ACL, when an inherited
// ACL would outgrow the largest ACL (the creator SIDs and the inherit-only
// copies can make it larger than the parent's); *error is ERROR_SUCCESS
// otherwise.
std::optional<DescriptorParts> InheritedDescriptor(const DescriptorParts& parent, bool is_directory,
                                                   SidBytes owner, SidBytes group, DWORD* error);

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_POSIX_INHERITED_SECURITY_H_
