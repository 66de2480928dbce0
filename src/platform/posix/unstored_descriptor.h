// The security descriptor of a host object that keeps none: the one a Samba
// server with acl_xattr serves for it, so that a tree migrated from a Samba
// share keeps the access its users saw there. Samba makes it from the
// object's owner, group and mode in one of two ways, chosen by the share's
// "acl_xattr:ignore system acls" (WorldVolume::ignore_system_acls).
#ifndef TARVIK_PLATFORM_POSIX_UNSTORED_DESCRIPTOR_H_
#define TARVIK_PLATFORM_POSIX_UNSTORED_DESCRIPTOR_H_

#include <sys/stat.h>

#include <cstdint>
#include <vector>

#include "common/sd/descriptor_bytes.h"

namespace tarvik {

// Samba's SID of a host account without one of its own: S-1-22-1-uid for a
// user (kind 1), S-1-22-2-gid for a group (kind 2).
std::vector<uint8_t> UnixSid(uint32_t kind, uint32_t id);

// Owner S-1-22-1-uid, group S-1-22-2-gid and a DACL made from the mode:
//
// - as Samba maps the permission bits (the default): one entry each for the
//   owner, the group and Everyone, even an empty one; rwx is full control,
//   otherwise r, w and x grant the generic read, write and execute rights,
//   and w adds DELETE, WRITE_DAC, WRITE_OWNER (and on a directory
//   FILE_DELETE_CHILD). A directory adds the inheritable entries Samba makes
//   from its default masks: full control for CREATOR OWNER, read and execute
//   for CREATOR GROUP and Everyone;
// - with ignore_system_acls, as Samba synthesises it when the mode is no
//   access control: the owner full control for rw, read and execute for r,
//   write and DELETE for w, an empty entry for neither; the group and
//   Everyone read and execute for r, write for w (no entry for neither);
//   then SYSTEM full control. Execute bits play no part.
DescriptorParts UnstoredDescriptor(const struct stat& info, bool ignore_system_acls);

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_POSIX_UNSTORED_DESCRIPTOR_H_
