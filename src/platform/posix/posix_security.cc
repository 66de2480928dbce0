// PosixOs: the security descriptors of files and directories, kept as
// Samba keeps them (nt_acl.h) in security.NTACL, or in user.NTACL where the
// process may not write security.* attributes. A symbolic link cannot hold
// user.* attributes, so its descriptor falls back to trusted.NTACL instead.
// An object without a stored descriptor shows the one Samba serves for it
// (unstored_descriptor.h). A new object stores the descriptor it inherits
// from a parent that keeps one: a directory at once, a file once its writing
// ends or merged into the first descriptor set on it (deferred_descriptors.h).
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/file_lookup.h"
#include "platform/posix/host_object.h"
#include "platform/posix/inherited_security.h"
#include "platform/posix/nt_acl.h"
#include "platform/posix/object_security.h"
#include "platform/posix/posix_os.h"
#include "platform/posix/unstored_descriptor.h"

namespace tarvik {
namespace {

constexpr char kSecurityNtAcl[] = "security.NTACL";
constexpr char kUserNtAcl[] = "user.NTACL";
constexpr char kTrustedNtAcl[] = "trusted.NTACL";

constexpr SECURITY_INFORMATION kSaclParts = SACL_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION |
                                            ATTRIBUTE_SECURITY_INFORMATION |
                                            SCOPE_SECURITY_INFORMATION;
constexpr SECURITY_DESCRIPTOR_CONTROL kDaclControl = SE_DACL_PRESENT | SE_DACL_DEFAULTED |
                                                     SE_DACL_AUTO_INHERIT_REQ |
                                                     SE_DACL_AUTO_INHERITED | SE_DACL_PROTECTED;
constexpr SECURITY_DESCRIPTOR_CONTROL kSaclControl = SE_SACL_PRESENT | SE_SACL_DEFAULTED |
                                                     SE_SACL_AUTO_INHERIT_REQ |
                                                     SE_SACL_AUTO_INHERITED | SE_SACL_PROTECTED;

BOOL Fail(DWORD error) {
  Os::SetLastError(error);
  return FALSE;
}

bool Holds(DWORD access, DWORD right) {
  return (access & (right | (right == ACCESS_SYSTEM_SECURITY ? 0 : GENERIC_ALL))) != 0;
}

// READ_CONTROL comes with every generic right on a file.
bool HoldsReadControl(DWORD access) {
  return (access & (READ_CONTROL | GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL)) !=
         0;
}

HostObject ObjectOf(const HandleObject& object) {
  return HostObject{object.host_path, object.is_link || object.path_only ? -1 : object.fd};
}

// Where an object's descriptor is written when security.* is closed to us.
const char* FallbackName(const HandleObject& object) {
  return object.is_link ? kTrustedNtAcl : kUserNtAcl;
}

// The descriptor kept in the object's attributes (fallback where
// security.* is closed to us): ERROR_SUCCESS with *parts set, or left empty
// when the object keeps none; ERROR_INVALID_SECURITY_DESCR for a value that
// cannot be read, or the host's error.
DWORD ReadStoredDescriptor(const HostObject& host, const char* fallback,
                           std::optional<DescriptorParts>* parts) {
  for (const char* name : {kSecurityNtAcl, fallback}) {
    std::string value;
    int error = GetHostXattr(host, name, &value);
    if (error == ENODATA || error == ENOTSUP || error == EPERM)
      continue;
    if (error != 0)
      return HostError(error, host.path);
    *parts = DecodeNtAcl(value);
    return *parts ? ERROR_SUCCESS : ERROR_INVALID_SECURITY_DESCR;
  }
  parts->reset();
  return ERROR_SUCCESS;
}

// The descriptor held for the file the handle opened, if it is one this
// process made and has not stored the descriptor of yet.
std::optional<DescriptorParts> HeldFor(const HandleObject& object,
                                       const DeferredDescriptors& deferred) {
  if (object.is_directory || object.is_link)
    return std::nullopt;
  return deferred.Find(object.host_path, object.identity());
}

// The descriptor held for a file this process made, the stored one, or the
// synthesized one; ERROR_SUCCESS or the error. *held tells whether it was
// the one held.
DWORD ReadDescriptor(const HandleObject& object, const DeferredDescriptors& deferred,
                     DescriptorParts* parts, bool* held) {
  std::optional<DescriptorParts> inherited = HeldFor(object, deferred);
  *held = inherited.has_value();
  if (inherited) {
    *parts = std::move(*inherited);
    return ERROR_SUCCESS;
  }
  HostObject host = ObjectOf(object);
  std::optional<DescriptorParts> stored;
  DWORD error = ReadStoredDescriptor(host, FallbackName(object), &stored);
  if (error != ERROR_SUCCESS)
    return error;
  if (stored) {
    *parts = std::move(*stored);
    return ERROR_SUCCESS;
  }
  struct stat info;
  int result = host.fd >= 0 ? ::fstat(host.fd, &info) : ::lstat(host.path.c_str(), &info);
  if (result != 0)
    return HostError(errno, object.host_path);
  *parts = UnstoredDescriptor(info, object.volume != nullptr && object.volume->ignore_system_acls);
  return ERROR_SUCCESS;
}

// A value the file system cannot hold in an attribute (ext4 keeps one in a
// single block) fails with ENOSPC like a full disk, or with E2BIG beyond
// 64 KiB; told apart from a full disk so that no copy waits for space or
// ends the run over one large descriptor.
bool TooLargeForTheHost(int error, const std::string& host_path) {
  if (error == E2BIG)
    return true;
  struct statvfs volume;
  return error == ENOSPC && ::statvfs(host_path.c_str(), &volume) == 0 && volume.f_bavail > 0;
}

// Writes security.NTACL, or the fallback attribute when the host refuses
// security.* to this process. A security.NTACL the process cannot replace
// would hide the fallback from every reader, so that case fails.
DWORD WriteStoredDescriptor(const HostObject& host, bool is_link, const DescriptorParts& parts) {
  std::string value = EncodeNtAcl(parts);
  int error = SetHostXattr(host, kSecurityNtAcl, value);
  if (error == EPERM || error == ENOTSUP) {
    std::string existing;
    if (GetHostXattr(host, kSecurityNtAcl, &existing) == 0)
      return ERROR_ACCESS_DENIED;
    error = SetHostXattr(host, is_link ? kTrustedNtAcl : kUserNtAcl, value);
    if (is_link && (error == EPERM || error == ENOTSUP))
      return ERROR_NOT_SUPPORTED;
  }
  if (error == 0)
    return ERROR_SUCCESS;
  return TooLargeForTheHost(error, host.path) ? ERROR_EAS_DIDNT_FIT : HostError(error, host.path);
}

DWORD WriteDescriptor(const HandleObject& object, const DescriptorParts& parts) {
  return WriteStoredDescriptor(ObjectOf(object), object.is_link, parts);
}

// The parts asked for, with their control bits.
DescriptorParts Select(const DescriptorParts& stored, SECURITY_INFORMATION requested) {
  DescriptorParts parts;
  if ((requested & OWNER_SECURITY_INFORMATION) != 0) {
    parts.owner = stored.owner;
    parts.control |= stored.control & SE_OWNER_DEFAULTED;
  }
  if ((requested & GROUP_SECURITY_INFORMATION) != 0) {
    parts.group = stored.group;
    parts.control |= stored.control & SE_GROUP_DEFAULTED;
  }
  if ((requested & DACL_SECURITY_INFORMATION) != 0) {
    parts.dacl = stored.dacl;
    parts.control |= stored.control & kDaclControl;
  }
  if ((requested & kSaclParts) != 0) {
    parts.sacl = stored.sacl;
    parts.control |= stored.control & kSaclControl;
  }
  return parts;
}

// Replaces the parts named by information in stored with those of update.
DWORD Merge(const DescriptorParts& update, SECURITY_INFORMATION information,
            DescriptorParts* stored) {
  auto take_control = [&](SECURITY_DESCRIPTOR_CONTROL mask) {
    stored->control = static_cast<SECURITY_DESCRIPTOR_CONTROL>((stored->control & ~mask) |
                                                               (update.control & mask));
  };
  if ((information & OWNER_SECURITY_INFORMATION) != 0) {
    if (update.owner.empty())
      return ERROR_INVALID_OWNER;
    stored->owner = update.owner;
    take_control(SE_OWNER_DEFAULTED);
  }
  if ((information & GROUP_SECURITY_INFORMATION) != 0) {
    if (update.group.empty())
      return ERROR_INVALID_PRIMARY_GROUP;
    stored->group = update.group;
    take_control(SE_GROUP_DEFAULTED);
  }
  if ((information & DACL_SECURITY_INFORMATION) != 0) {
    stored->dacl = update.dacl;
    take_control(kDaclControl);
  }
  if ((information & kSaclParts) != 0) {
    stored->sacl = update.sacl;
    take_control(kSaclControl);
  }
  // The auto-inherit requests are requests: what stays is the result, the
  // ACL marked auto-inherited.
  if ((stored->control & SE_DACL_AUTO_INHERIT_REQ) != 0)
    stored->control |= SE_DACL_AUTO_INHERITED;
  if ((stored->control & SE_SACL_AUTO_INHERIT_REQ) != 0)
    stored->control |= SE_SACL_AUTO_INHERITED;
  stored->control &= static_cast<SECURITY_DESCRIPTOR_CONTROL>(
      ~(SE_SELF_RELATIVE | SE_DACL_AUTO_INHERIT_REQ | SE_SACL_AUTO_INHERIT_REQ));
  return ERROR_SUCCESS;
}

}  // namespace

std::optional<DescriptorParts> InheritedDescriptorOf(const HostObject& created, bool is_directory,
                                                     const SidValue& token_user,
                                                     const HostOwner* known, DWORD* error) {
  *error = ERROR_SUCCESS;
  // "/." reaches the directory itself where the parent is reached through a
  // symbolic link.
  HostObject parent{ParentOf(created.path) + "/.", -1};
  std::optional<DescriptorParts> parent_descriptor;
  if (ReadStoredDescriptor(parent, kUserNtAcl, &parent_descriptor) != ERROR_SUCCESS ||
      !parent_descriptor) {
    return std::nullopt;
  }
  HostOwner host_owner{};
  if (known != nullptr) {
    host_owner = *known;
  } else {
    struct stat info;
    int result =
        created.fd >= 0 ? ::fstat(created.fd, &info) : ::lstat(created.path.c_str(), &info);
    if (result != 0) {
      *error = HostError(errno, created.path);
      return std::nullopt;
    }
    host_owner = HostOwner{info.st_uid, info.st_gid};
  }
  std::vector<uint8_t> owner =
      token_user == SidValue{} ? UnixSid(1, host_owner.uid) : token_user.ToBytes();
  std::vector<uint8_t> group = UnixSid(2, host_owner.gid);
  return InheritedDescriptor(*parent_descriptor, is_directory, owner, group, error);
}

DWORD StoreInheritedDescriptor(const HostObject& created, bool is_directory,
                               const SidValue& token_user, const HostOwner* known) {
  DWORD error = ERROR_SUCCESS;
  std::optional<DescriptorParts> inherited =
      InheritedDescriptorOf(created, is_directory, token_user, known, &error);
  if (!inherited)
    return error;
  return StoreDescriptor(created, *inherited);
}

bool HasStoredDescriptor(const std::vector<std::string>& attribute_names) {
  for (const std::string& name : attribute_names) {
    if (name == kSecurityNtAcl || name == kUserNtAcl)
      return true;
  }
  return false;
}

DWORD StoreDescriptor(const HostObject& object, const DescriptorParts& descriptor) {
  return WriteStoredDescriptor(object, false, descriptor);
}

BOOL PosixOs::GetKernelObjectSecurity(HANDLE handle, SECURITY_INFORMATION requested,
                                      void* descriptor, DWORD length, DWORD* length_needed) {
  if (length_needed == nullptr || (descriptor == nullptr && length != 0))
    return Fail(ERROR_INVALID_PARAMETER);
  std::shared_ptr<HandleObject> object = Lookup(handle);
  if (object == nullptr)
    return FALSE;
  if (object->kind != HandleObject::Kind::kFile)
    return Fail(ERROR_INVALID_HANDLE);
  if ((requested & kSaclParts) != 0 && !Holds(object->access, ACCESS_SYSTEM_SECURITY))
    return Fail(ERROR_ACCESS_DENIED);
  if ((requested & ~kSaclParts) != 0 && !HoldsReadControl(object->access))
    return Fail(ERROR_ACCESS_DENIED);
  DescriptorParts stored;
  bool held = false;
  DWORD error = ReadDescriptor(*object, deferred_, &stored, &held);
  if (error != ERROR_SUCCESS)
    return Fail(error);
  std::vector<uint8_t> bytes = BuildSelfRelative(Select(stored, requested));
  *length_needed = static_cast<DWORD>(bytes.size());
  if (length < bytes.size())
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(descriptor, bytes.data(), bytes.size());
  return TRUE;
}

BOOL PosixOs::SetKernelObjectSecurity(HANDLE handle, SECURITY_INFORMATION information,
                                      const void* descriptor) {
  if (descriptor == nullptr)
    return Fail(ERROR_INVALID_PARAMETER);
  std::shared_ptr<HandleObject> object = Lookup(handle);
  if (object == nullptr)
    return FALSE;
  if (object->kind != HandleObject::Kind::kFile)
    return Fail(ERROR_INVALID_HANDLE);
  DWORD access = object->access;
  if (((information & (OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION)) != 0 &&
       !Holds(access, WRITE_OWNER)) ||
      ((information & DACL_SECURITY_INFORMATION) != 0 && !Holds(access, WRITE_DAC)) ||
      ((information & kSaclParts) != 0 && !Holds(access, ACCESS_SYSTEM_SECURITY))) {
    return Fail(ERROR_ACCESS_DENIED);
  }
  std::optional<DescriptorParts> update = ReadDescriptorInMemory(descriptor);
  if (!update)
    return Fail(ERROR_INVALID_SECURITY_DESCR);
  DescriptorParts stored;
  bool held = false;
  DWORD error = ReadDescriptor(*object, deferred_, &stored, &held);
  // A damaged stored descriptor can still be replaced as a whole.
  constexpr SECURITY_INFORMATION kAllParts = OWNER_SECURITY_INFORMATION |
                                             GROUP_SECURITY_INFORMATION |
                                             DACL_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION;
  if (error == ERROR_INVALID_SECURITY_DESCR && (information & kAllParts) == kAllParts)
    error = ERROR_SUCCESS;
  if (error == ERROR_SUCCESS)
    error = Merge(*update, information, &stored);
  if (error == ERROR_SUCCESS)
    error = WriteDescriptor(*object, stored);
  if (error != ERROR_SUCCESS)
    return Fail(error);
  // The inherited descriptor went into the one stored.
  if (held)
    deferred_.Forget(object->host_path);
  return TRUE;
}

DWORD PosixOs::StoreHeldDescriptor(const HandleObject& object) {
  return StoreHeld(ObjectOf(object), HeldFor(object, deferred_));
}

DWORD PosixOs::StoreHeldDescriptor(const HostObject& file,
                                   const std::optional<ShareTable::Key>& identity) {
  return StoreHeld(file, deferred_.Find(file.path, identity));
}

DWORD PosixOs::StoreHeld(const HostObject& file, const std::optional<DescriptorParts>& held) {
  if (!held)
    return ERROR_SUCCESS;
  DWORD error = StoreDescriptor(file, *held);
  if (error == ERROR_SUCCESS)
    deferred_.Forget(file.path);
  return error;
}

void PosixOs::HoldInheritedDescriptor(const HandleObject& file) {
  std::optional<ShareTable::Key> identity = file.identity();
  DWORD error = ERROR_SUCCESS;
  std::optional<DescriptorParts> inherited =
      InheritedDescriptorOf(ObjectOf(file), false, world_.token.user, nullptr, &error);
  if (inherited && identity)
    deferred_.Hold(file.host_path, *identity, std::move(*inherited));
}

void PosixOs::StoreAllHeldDescriptors() {
  for (auto& [host_path, held] : deferred_.TakeAll()) {
    ShareTable::Key standing;
    // Only onto the file it was held for.
    if (ShareTable::KeyOfPath(host_path, &standing) && standing.SameObject(held.identity)) {
      StoreDescriptor(HostObject{host_path, -1}, held.descriptor);
    }
  }
}

}  // namespace tarvik
