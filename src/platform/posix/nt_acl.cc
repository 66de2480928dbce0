#include "platform/posix/nt_acl.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tarvik {
namespace {

constexpr size_t kHeaderSize = 20;  // the self-relative header
constexpr size_t kSidHeader = 8;
constexpr size_t kMaxSubAuthorities = 15;
constexpr size_t kAclHeader = 8;
constexpr size_t kAceHeader = 4;
constexpr uint32_t kUniquePointer = 0x00020000;
constexpr size_t kNtAclHeader = 8;  // version, level, unique pointer

uint16_t Read16(std::span<const uint8_t> data, size_t at) {
  return static_cast<uint16_t>(data[at] | data[at + 1] << 8);
}

uint32_t Read32(std::span<const uint8_t> data, size_t at) {
  return static_cast<uint32_t>(data[at]) | static_cast<uint32_t>(data[at + 1]) << 8 |
         static_cast<uint32_t>(data[at + 2]) << 16 | static_cast<uint32_t>(data[at + 3]) << 24;
}

void Put16(std::vector<uint8_t>& out, size_t at, uint16_t value) {
  out[at] = static_cast<uint8_t>(value);
  out[at + 1] = static_cast<uint8_t>(value >> 8);
}

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

bool Fits(std::span<const uint8_t> data, size_t at, size_t length) {
  return at <= data.size() && length <= data.size() - at;
}

std::optional<std::vector<uint8_t>> ParseSid(std::span<const uint8_t> data, size_t at) {
  if (!Fits(data, at, kSidHeader) || data[at] != 1 || data[at + 1] > kMaxSubAuthorities)
    return std::nullopt;
  size_t length = kSidHeader + 4 * static_cast<size_t>(data[at + 1]);
  if (!Fits(data, at, length))
    return std::nullopt;
  return std::vector<uint8_t>(data.begin() + at, data.begin() + at + length);
}

// Revision 2 (NT) or 4 (with object ACEs); every ACE inside the ACL's size.
std::optional<std::vector<uint8_t>> ParseAcl(std::span<const uint8_t> data, size_t at) {
  if (!Fits(data, at, kAclHeader) || (data[at] != 2 && data[at] != 4))
    return std::nullopt;
  size_t size = Read16(data, at + 2);
  size_t count = Read16(data, at + 4);
  if (size < kAclHeader || !Fits(data, at, size))
    return std::nullopt;
  std::span<const uint8_t> acl = data.subspan(at, size);
  size_t position = kAclHeader;
  for (size_t i = 0; i < count; ++i) {
    if (!Fits(acl, position, kAceHeader))
      return std::nullopt;
    size_t ace_size = Read16(acl, position + 2);
    if (ace_size < kAceHeader || !Fits(acl, position, ace_size))
      return std::nullopt;
    position += ace_size;
  }
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
  uint16_t control = Read16(header, 2);
  size_t extent = kHeaderSize;
  for (size_t field : {size_t{4}, size_t{8}}) {
    size_t offset = Read32(header, field);
    if (offset == 0)
      continue;
    if (bytes[offset + 1] > kMaxSubAuthorities)
      return 0;
    extent = std::max(extent, offset + kSidHeader + 4 * static_cast<size_t>(bytes[offset + 1]));
  }
  const std::pair<size_t, uint16_t> acls[] = {{12, SE_SACL_PRESENT}, {16, SE_DACL_PRESENT}};
  for (const auto& [field, present] : acls) {
    size_t offset = Read32(header, field);
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
  Put32(out, field, static_cast<uint32_t>(out.size() + bias));
  out.insert(out.end(), part.begin(), part.end());
}

// Where the descriptor of a version 1 to 4 value starts; 0 when the value
// does not hold one.
size_t DescriptorStart(std::span<const uint8_t> value) {
  if (value.size() < kNtAclHeader)
    return 0;
  uint16_t version = Read16(value, 0);
  if (Read16(value, 2) != version || Read32(value, 4) == 0)
    return 0;
  switch (version) {
    case 1:
      return kNtAclHeader;
    case 2:  // sd pointer, 16-byte hash
      return Fits(value, 8, 20) && Read32(value, 8) != 0 ? 28 : 0;
    case 3:  // sd pointer, hash type, 64-byte hash, aligned
      return Fits(value, 8, 72) && Read32(value, 8) != 0 ? 80 : 0;
    case 4: {  // as 3, then a NUL-terminated description, NT time, 64-byte hash
      if (!Fits(value, 8, 70) || Read32(value, 8) == 0)
        return 0;
      size_t position = 78;
      while (position < value.size() && value[position] != 0)
        ++position;
      if (position == value.size())
        return 0;
      position = ((position + 1 + 3) & ~size_t{3}) + 8 + 64;
      return ((position + 3) & ~size_t{3});
    }
    default:
      return 0;
  }
}

}  // namespace

std::optional<DescriptorParts> ParseSelfRelative(std::span<const uint8_t> data, size_t header,
                                                 size_t base) {
  if (!Fits(data, header, kHeaderSize) || data[header] != SECURITY_DESCRIPTOR_REVISION ||
      base > data.size()) {
    return std::nullopt;
  }
  DescriptorParts parts;
  parts.control = Read16(data, header + 2);
  std::span<const uint8_t> from_base = data.subspan(base);
  std::vector<uint8_t>* sids[] = {&parts.owner, &parts.group};
  for (size_t i = 0; i < 2; ++i) {
    size_t offset = Read32(data, header + 4 + 4 * i);
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
    size_t offset = Read32(data, header + 12 + 4 * i);
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
  Put16(out, 2, static_cast<uint16_t>(parts.control | SE_SELF_RELATIVE));
  AppendPart(out, parts.owner, 4, bias);
  AppendPart(out, parts.group, 8, bias);
  if ((parts.control & SE_SACL_PRESENT) != 0)
    AppendPart(out, parts.sacl, 12, bias);
  if ((parts.control & SE_DACL_PRESENT) != 0)
    AppendPart(out, parts.dacl, 16, bias);
  return out;
}

std::string EncodeNtAcl(const DescriptorParts& parts) {
  std::vector<uint8_t> descriptor = BuildSelfRelative(parts, kNtAclHeader);
  std::string value = {1, 0, 1, 0};
  for (int i = 0; i < 4; ++i)
    value.push_back(static_cast<char>(kUniquePointer >> (8 * i)));
  value.append(descriptor.begin(), descriptor.end());
  return value;
}

std::optional<DescriptorParts> DecodeNtAcl(std::string_view value) {
  std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(value.data()), value.size());
  size_t start = DescriptorStart(bytes);
  if (start == 0)
    return std::nullopt;
  return ParseSelfRelative(bytes, start, 0);
}

}  // namespace tarvik
