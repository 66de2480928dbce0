#include "common/sd/descriptor_bytes.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include "common/sd/acl_bytes.h"
#include "common/sd/byte_order.h"

namespace tarvik {
namespace {

constexpr size_t kHeaderSize = 20;  // the self-relative header
constexpr size_t kSidHeader = 8;
constexpr size_t kMaxSubAuthorities = 15;
constexpr size_t kAclHeader = 8;

std::optional<std::vector<uint8_t>> ParseSid(std::span<const uint8_t> data, size_t at) {
  if (!Fits(data, at, kSidHeader) || data[at] != 1 || data[at + 1] > kMaxSubAuthorities)
    return std::nullopt;
  size_t length = kSidHeader + 4 * static_cast<size_t>(data[at + 1]);
  if (!Fits(data, at, length))
    return std::nullopt;
  return std::vector<uint8_t>(data.begin() + at, data.begin() + at + length);
}

// Revision 2 (NT) or 4 (with object ACEs), lying within data, and accepted by
// the system's own check, the one every later reader of its entries applies.
std::optional<std::vector<uint8_t>> ParseAcl(std::span<const uint8_t> data, size_t at) {
  if (!Fits(data, at, kAclHeader) || (data[at] != 2 && data[at] != 4))
    return std::nullopt;
  std::span<const uint8_t> acl =
      data.subspan(at, std::min<size_t>(ReadLe16(data, at + 2), data.size() - at));
  if (!IsValidAcl(acl))
    return std::nullopt;
  return std::vector<uint8_t>(acl.begin(), acl.end());
}

// Where a part of size bytes would lie in caller memory, for parsing.
std::span<const uint8_t> MemorySpan(const uint8_t* at, size_t size) {
  return std::span<const uint8_t>(at, size);
}

std::optional<std::vector<uint8_t>> SidInMemory(const void* sid) {
  const uint8_t* bytes = static_cast<const uint8_t*>(sid);
  if (bytes[1] > kMaxSubAuthorities)
    return std::nullopt;
  return ParseSid(MemorySpan(bytes, kSidHeader + 4 * static_cast<size_t>(bytes[1])), 0);
}

std::optional<std::vector<uint8_t>> AclInMemory(const void* acl) {
  const uint8_t* bytes = static_cast<const uint8_t*>(acl);
  size_t size = static_cast<size_t>(bytes[2] | bytes[3] << 8);
  return ParseAcl(MemorySpan(bytes, size < kAclHeader ? kAclHeader : size), 0);
}

std::optional<DescriptorParts> ReadAbsolute(const SECURITY_DESCRIPTOR& descriptor) {
  DescriptorParts parts;
  parts.control = descriptor.Control;
  if (descriptor.Owner != nullptr) {
    std::optional<std::vector<uint8_t>> owner = SidInMemory(descriptor.Owner);
    if (!owner)
      return std::nullopt;
    parts.owner = std::move(*owner);
  }
  if (descriptor.Group != nullptr) {
    std::optional<std::vector<uint8_t>> group = SidInMemory(descriptor.Group);
    if (!group)
      return std::nullopt;
    parts.group = std::move(*group);
  }
  if ((parts.control & SE_SACL_PRESENT) != 0 && descriptor.Sacl != nullptr) {
    std::optional<std::vector<uint8_t>> sacl = AclInMemory(descriptor.Sacl);
    if (!sacl)
      return std::nullopt;
    parts.sacl = std::move(*sacl);
  }
  if ((parts.control & SE_DACL_PRESENT) != 0 && descriptor.Dacl != nullptr) {
    std::optional<std::vector<uint8_t>> dacl = AclInMemory(descriptor.Dacl);
    if (!dacl)
      return std::nullopt;
    parts.dacl = std::move(*dacl);
  }
  return parts;
}

// How far a self-relative descriptor in memory reaches, from the lengths its
// parts give; 0 when a SID claims more sub-authorities than any SID has.
size_t SelfRelativeExtent(const uint8_t* bytes) {
  std::span<const uint8_t> header = MemorySpan(bytes, kHeaderSize);
  uint16_t control = ReadLe16(header, 2);
  size_t extent = kHeaderSize;
  for (size_t field : {size_t{4}, size_t{8}}) {
    size_t offset = ReadLe32(header, field);
    if (offset == 0)
      continue;
    if (bytes[offset + 1] > kMaxSubAuthorities)
      return 0;
    extent = std::max(extent, offset + kSidHeader + 4 * static_cast<size_t>(bytes[offset + 1]));
  }
  const std::pair<size_t, uint16_t> acls[] = {{12, SE_SACL_PRESENT}, {16, SE_DACL_PRESENT}};
  for (const auto& [field, present] : acls) {
    size_t offset = ReadLe32(header, field);
    if (offset == 0 || (control & present) == 0)
      continue;
    size_t size = static_cast<size_t>(bytes[offset + 2] | bytes[offset + 3] << 8);
    extent = std::max(extent, offset + std::max(size, kAclHeader));
  }
  return extent;
}

void AppendPart(std::vector<uint8_t>& out, const std::vector<uint8_t>& part, size_t field,
                size_t bias) {
  if (part.empty())
    return;
  out.resize((out.size() + 3) & ~size_t{3});  // NDR aligns each part to 4
  WriteLe32(out, field, static_cast<uint32_t>(out.size() + bias));
  out.insert(out.end(), part.begin(), part.end());
}

}  // namespace

std::optional<DescriptorParts> ParseSelfRelative(std::span<const uint8_t> data, size_t header,
                                                 size_t base) {
  if (!Fits(data, header, kHeaderSize) || data[header] != SECURITY_DESCRIPTOR_REVISION ||
      base > data.size()) {
    return std::nullopt;
  }
  DescriptorParts parts;
  parts.control = ReadLe16(data, header + 2);
  std::span<const uint8_t> from_base = data.subspan(base);
  std::vector<uint8_t>* sids[] = {&parts.owner, &parts.group};
  for (size_t i = 0; i < 2; ++i) {
    size_t offset = ReadLe32(data, header + 4 + 4 * i);
    if (offset == 0)
      continue;
    std::optional<std::vector<uint8_t>> sid = ParseSid(from_base, offset);
    if (!sid)
      return std::nullopt;
    *sids[i] = std::move(*sid);
  }
  const std::pair<std::vector<uint8_t>*, uint16_t> acls[] = {{&parts.sacl, SE_SACL_PRESENT},
                                                             {&parts.dacl, SE_DACL_PRESENT}};
  for (size_t i = 0; i < 2; ++i) {
    size_t offset = ReadLe32(data, header + 12 + 4 * i);
    if (offset == 0 || (parts.control & acls[i].second) == 0)
      continue;
    std::optional<std::vector<uint8_t>> acl = ParseAcl(from_base, offset);
    if (!acl)
      return std::nullopt;
    *acls[i].first = std::move(*acl);
  }
  return parts;
}

std::optional<DescriptorParts> ReadDescriptorInMemory(const void* descriptor) {
  const uint8_t* bytes = static_cast<const uint8_t*>(descriptor);
  if (bytes[0] != SECURITY_DESCRIPTOR_REVISION)
    return std::nullopt;
  uint16_t control = static_cast<uint16_t>(bytes[2] | bytes[3] << 8);
  if ((control & SE_SELF_RELATIVE) == 0) {
    SECURITY_DESCRIPTOR absolute;
    std::memcpy(&absolute, descriptor, sizeof absolute);
    return ReadAbsolute(absolute);
  }
  size_t extent = SelfRelativeExtent(bytes);
  if (extent == 0)
    return std::nullopt;
  return ParseSelfRelative(MemorySpan(bytes, extent), 0, 0);
}

std::vector<uint8_t> BuildSelfRelative(const DescriptorParts& parts, size_t bias) {
  std::vector<uint8_t> out(kHeaderSize, 0);
  out[0] = SECURITY_DESCRIPTOR_REVISION;
  WriteLe16(out, 2, static_cast<uint16_t>(parts.control | SE_SELF_RELATIVE));
  AppendPart(out, parts.owner, 4, bias);
  AppendPart(out, parts.group, 8, bias);
  if ((parts.control & SE_SACL_PRESENT) != 0)
    AppendPart(out, parts.sacl, 12, bias);
  if ((parts.control & SE_DACL_PRESENT) != 0)
    AppendPart(out, parts.dacl, 16, bias);
  return out;
}

namespace {

constexpr SECURITY_DESCRIPTOR_CONTROL kSettableControl =
    SE_DACL_AUTO_INHERIT_REQ | SE_SACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED |
    SE_SACL_AUTO_INHERITED | SE_DACL_PROTECTED | SE_SACL_PROTECTED | SE_RM_CONTROL_VALID;

SECURITY_DESCRIPTOR_CONTROL ControlOf(const void* descriptor) {
  const uint8_t* bytes = static_cast<const uint8_t*>(descriptor);
  return static_cast<SECURITY_DESCRIPTOR_CONTROL>(bytes[2] | bytes[3] << 8);
}

bool Absolute(const SECURITY_DESCRIPTOR* descriptor) {
  return descriptor != nullptr && descriptor->Revision == SECURITY_DESCRIPTOR_REVISION &&
         (descriptor->Control & SE_SELF_RELATIVE) == 0;
}

void SetBit(SECURITY_DESCRIPTOR* descriptor, SECURITY_DESCRIPTOR_CONTROL bit, bool on) {
  descriptor->Control = static_cast<SECURITY_DESCRIPTOR_CONTROL>(on ? descriptor->Control | bit
                                                                    : descriptor->Control & ~bit);
}

// The part at field (4 owner, 8 group, 12 SACL, 16 DACL) in either form.
const void* PartOf(const void* descriptor, size_t field) {
  const uint8_t* bytes = static_cast<const uint8_t*>(descriptor);
  if ((ControlOf(descriptor) & SE_SELF_RELATIVE) != 0) {
    uint32_t offset = ReadLe32(std::span<const uint8_t>(bytes, kHeaderSize), field);
    return offset == 0 ? nullptr : bytes + offset;
  }
  SECURITY_DESCRIPTOR absolute;
  std::memcpy(&absolute, descriptor, sizeof absolute);
  switch (field) {
    case 4:
      return absolute.Owner;
    case 8:
      return absolute.Group;
    case 12:
      return absolute.Sacl;
    default:
      return absolute.Dacl;
  }
}

bool GetSid(const void* descriptor, size_t field, SECURITY_DESCRIPTOR_CONTROL defaulted_bit,
            const void** sid, bool* defaulted) {
  if (descriptor == nullptr || static_cast<const uint8_t*>(descriptor)[0] != 1)
    return false;
  *sid = PartOf(descriptor, field);
  *defaulted = (ControlOf(descriptor) & defaulted_bit) != 0;
  return true;
}

bool GetAcl(const void* descriptor, size_t field, SECURITY_DESCRIPTOR_CONTROL present_bit,
            SECURITY_DESCRIPTOR_CONTROL defaulted_bit, bool* present, const void** acl,
            bool* defaulted) {
  if (descriptor == nullptr || static_cast<const uint8_t*>(descriptor)[0] != 1)
    return false;
  SECURITY_DESCRIPTOR_CONTROL control = ControlOf(descriptor);
  *present = (control & present_bit) != 0;
  *acl = *present ? PartOf(descriptor, field) : nullptr;
  *defaulted = (control & defaulted_bit) != 0;
  return true;
}

}  // namespace

bool InitializeSecurityDescriptor(SECURITY_DESCRIPTOR* descriptor, DWORD revision) {
  if (descriptor == nullptr || revision != SECURITY_DESCRIPTOR_REVISION)
    return false;
  *descriptor = SECURITY_DESCRIPTOR{};
  descriptor->Revision = SECURITY_DESCRIPTOR_REVISION;
  return true;
}

bool SetSecurityDescriptorOwner(SECURITY_DESCRIPTOR* descriptor, const void* sid, bool defaulted) {
  if (!Absolute(descriptor))
    return false;
  descriptor->Owner = const_cast<void*>(sid);
  SetBit(descriptor, SE_OWNER_DEFAULTED, defaulted);
  return true;
}

bool SetSecurityDescriptorGroup(SECURITY_DESCRIPTOR* descriptor, const void* sid, bool defaulted) {
  if (!Absolute(descriptor))
    return false;
  descriptor->Group = const_cast<void*>(sid);
  SetBit(descriptor, SE_GROUP_DEFAULTED, defaulted);
  return true;
}

bool SetSecurityDescriptorDacl(SECURITY_DESCRIPTOR* descriptor, bool present, const void* acl,
                               bool defaulted) {
  if (!Absolute(descriptor))
    return false;
  descriptor->Dacl = present ? static_cast<ACL*>(const_cast<void*>(acl)) : nullptr;
  SetBit(descriptor, SE_DACL_PRESENT, present);
  SetBit(descriptor, SE_DACL_DEFAULTED, present && defaulted);
  return true;
}

bool SetSecurityDescriptorSacl(SECURITY_DESCRIPTOR* descriptor, bool present, const void* acl,
                               bool defaulted) {
  if (!Absolute(descriptor))
    return false;
  descriptor->Sacl = present ? static_cast<ACL*>(const_cast<void*>(acl)) : nullptr;
  SetBit(descriptor, SE_SACL_PRESENT, present);
  SetBit(descriptor, SE_SACL_DEFAULTED, present && defaulted);
  return true;
}

bool SetSecurityDescriptorControl(SECURITY_DESCRIPTOR* descriptor, SECURITY_DESCRIPTOR_CONTROL mask,
                                  SECURITY_DESCRIPTOR_CONTROL bits) {
  if (descriptor == nullptr || descriptor->Revision != SECURITY_DESCRIPTOR_REVISION ||
      (mask & ~kSettableControl) != 0 || (bits & ~kSettableControl) != 0) {
    return false;
  }
  descriptor->Control =
      static_cast<SECURITY_DESCRIPTOR_CONTROL>((descriptor->Control & ~mask) | (bits & mask));
  return true;
}

bool GetSecurityDescriptorOwner(const void* descriptor, const void** sid, bool* defaulted) {
  return GetSid(descriptor, 4, SE_OWNER_DEFAULTED, sid, defaulted);
}

bool GetSecurityDescriptorGroup(const void* descriptor, const void** sid, bool* defaulted) {
  return GetSid(descriptor, 8, SE_GROUP_DEFAULTED, sid, defaulted);
}

bool GetSecurityDescriptorDacl(const void* descriptor, bool* present, const void** acl,
                               bool* defaulted) {
  return GetAcl(descriptor, 16, SE_DACL_PRESENT, SE_DACL_DEFAULTED, present, acl, defaulted);
}

bool GetSecurityDescriptorSacl(const void* descriptor, bool* present, const void** acl,
                               bool* defaulted) {
  return GetAcl(descriptor, 12, SE_SACL_PRESENT, SE_SACL_DEFAULTED, present, acl, defaulted);
}

bool GetSecurityDescriptorControl(const void* descriptor, SECURITY_DESCRIPTOR_CONTROL* control,
                                  DWORD* revision) {
  if (descriptor == nullptr)
    return false;
  const uint8_t* bytes = static_cast<const uint8_t*>(descriptor);
  if (bytes[0] != SECURITY_DESCRIPTOR_REVISION)
    return false;
  *control = ControlOf(descriptor);
  *revision = bytes[0];
  return true;
}

bool IsValidSecurityDescriptor(const void* descriptor) {
  return descriptor != nullptr && ReadDescriptorInMemory(descriptor).has_value();
}

}  // namespace tarvik
