// The descriptor storage of PosixOs (posix_security.cc) as the calls that
// create files and directories use it.
#ifndef TARVIK_PLATFORM_POSIX_OBJECT_SECURITY_H_
#define TARVIK_PLATFORM_POSIX_OBJECT_SECURITY_H_

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "common/sd/descriptor_bytes.h"
#include "common/sd/sid_value.h"
#include "platform/posix/host_object.h"
#include "platform/win_types.h"

namespace tarvik {

// The host owner of an object.
struct HostOwner {
  uid_t uid;
  gid_t gid;
};

// Stores on a file or directory just created (not a symbolic link) the
// descriptor it inherits from the directory that holds it
// (inherited_security.h). Its owner is token_user, or the one its host owner
// stands for when the world's token has no user; its group the one its host
// group stands for, as the world gives the token no primary group.
//
// Only a parent that keeps a descriptor passes one on: under a parent whose
// descriptor is made from its mode, or whose stored one cannot be read, the
// new object keeps none either and shows the one made from its own mode.
// ERROR_SUCCESS, or the error that left the object without the descriptor
// it inherits. known, when given, is the new object's host owner as the
// caller has just read it.
DWORD StoreInheritedDescriptor(const HostObject& created, bool is_directory,
                               const SidValue& token_user, const HostOwner* known = nullptr);

// The descriptor StoreInheritedDescriptor would store, without storing it:
// nothing when the object would keep none (*error then tells why, or is
// ERROR_SUCCESS).
std::optional<DescriptorParts> InheritedDescriptorOf(const HostObject& created, bool is_directory,
                                                     const SidValue& token_user,
                                                     const HostOwner* known, DWORD* error);

// Whether a file whose extended attributes have these names keeps a
// descriptor.
bool HasStoredDescriptor(const std::vector<std::string>& attribute_names);

// Stores descriptor on a file or directory. ERROR_SUCCESS or the error.
DWORD StoreDescriptor(const HostObject& object, const DescriptorParts& descriptor);

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_POSIX_OBJECT_SECURITY_H_
