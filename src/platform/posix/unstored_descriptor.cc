#include "platform/posix/unstored_descriptor.h"

#include <utility>

#include "common/sd/acl_bytes.h"

namespace tarvik {
namespace {

constexpr DWORD kFullControl = 0x001F01FF;  // FILE_ALL_ACCESS
constexpr DWORD kReadAndExecute = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;
constexpr uint8_t kAclRevision = 2;
constexpr uint8_t kInheritableOnly = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE;

const std::vector<uint8_t> kEveryone = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};
const std::vector<uint8_t> kCreatorOwner = {1, 1, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0};
const std::vector<uint8_t> kCreatorGroup = {1, 1, 0, 0, 0, 0, 0, 3, 1, 0, 0, 0};
const std::vector<uint8_t> kSystem = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};

// An ACL being built: its header, then the entries appended.
class AclBuilder {
 public:
  void Allow(DWORD mask, const std::vector<uint8_t>& sid, uint8_t flags = 0) {
    const size_t size = 8 + sid.size();
    bytes_.insert(bytes_.end(), {ACCESS_ALLOWED_ACE_TYPE, flags, static_cast<uint8_t>(size),
                                 static_cast<uint8_t>(size >> 8)});
    for (int i = 0; i < 4; ++i)
      bytes_.push_back(static_cast<uint8_t>(mask >> (8 * i)));
    bytes_.insert(bytes_.end(), sid.begin(), sid.end());
    ++count_;
  }

  std::vector<uint8_t> Finish() {
    bytes_[2] = static_cast<uint8_t>(bytes_.size());
    bytes_[3] = static_cast<uint8_t>(bytes_.size() >> 8);
    bytes_[4] = static_cast<uint8_t>(count_);  // a handful of entries here
    return std::move(bytes_);
  }

 private:
  std::vector<uint8_t> bytes_ = {kAclRevision, 0, 0, 0, 0, 0, 0, 0};
  size_t count_ = 0;
};

// One rwx triple as Samba maps permission bits to rights.
DWORD MappedRights(mode_t bits, bool directory) {
  bits &= 7;
  if (bits == 7)
    return kFullControl;
  DWORD mask = 0;
  if ((bits & 4) != 0)
    mask |= FILE_GENERIC_READ;
  if ((bits & 2) != 0)
    mask |=
        FILE_GENERIC_WRITE | DELETE | WRITE_DAC | WRITE_OWNER | (directory ? FILE_DELETE_CHILD : 0);
  if ((bits & 1) != 0)
    mask |= FILE_GENERIC_EXECUTE;
  return mask;
}

std::vector<uint8_t> MappedDacl(const struct stat& info, const DescriptorParts& parts) {
  const bool directory = S_ISDIR(info.st_mode);
  AclBuilder acl;
  acl.Allow(MappedRights(info.st_mode >> 6, directory), parts.owner);
  acl.Allow(MappedRights(info.st_mode >> 3, directory), parts.group);
  acl.Allow(MappedRights(info.st_mode, directory), kEveryone);
  if (directory) {
    acl.Allow(kFullControl, kCreatorOwner, kInheritableOnly);
    acl.Allow(kReadAndExecute, kCreatorGroup, kInheritableOnly);
    acl.Allow(kReadAndExecute, kEveryone, kInheritableOnly);
  }
  return acl.Finish();
}

// The rights of the group or Everyone where the mode controls no access.
DWORD OtherRights(mode_t bits) {
  DWORD mask = 0;
  if ((bits & 4) != 0)
    mask |= kReadAndExecute;
  if ((bits & 2) != 0)
    mask |= FILE_GENERIC_WRITE;
  return mask;
}

std::vector<uint8_t> SynthesisedDacl(const struct stat& info, const DescriptorParts& parts) {
  const mode_t owner_bits = (info.st_mode >> 6) & 6;
  DWORD owner_mask = 0;
  if (owner_bits == 6)
    owner_mask = kFullControl;
  else if (owner_bits == 4)
    owner_mask = kReadAndExecute;
  else if (owner_bits == 2)
    owner_mask = FILE_GENERIC_WRITE | DELETE;
  AclBuilder acl;
  acl.Allow(owner_mask, parts.owner);
  if (DWORD mask = OtherRights(info.st_mode >> 3))
    acl.Allow(mask, parts.group);
  if (DWORD mask = OtherRights(info.st_mode))
    acl.Allow(mask, kEveryone);
  acl.Allow(kFullControl, kSystem);
  return acl.Finish();
}

}  // namespace

std::vector<uint8_t> UnixSid(uint32_t kind, uint32_t id) {
  std::vector<uint8_t> sid = {1, 2, 0, 0, 0, 0, 0, 22, 0, 0, 0, 0, 0, 0, 0, 0};
  for (int i = 0; i < 4; ++i) {
    sid[8 + i] = static_cast<uint8_t>(kind >> (8 * i));
    sid[12 + i] = static_cast<uint8_t>(id >> (8 * i));
  }
  return sid;
}

DescriptorParts UnstoredDescriptor(const struct stat& info, bool ignore_system_acls) {
  DescriptorParts parts;
  parts.control = SE_DACL_PRESENT;
  parts.owner = UnixSid(1, info.st_uid);
  parts.group = UnixSid(2, info.st_gid);
  parts.dacl = ignore_system_acls ? SynthesisedDacl(info, parts) : MappedDacl(info, parts);
  return parts;
}

}  // namespace tarvik
