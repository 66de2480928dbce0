#include "common/sd/acl_bytes.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/sd/byte_order.h"

namespace tarvik {
namespace {

constexpr size_t kGuidSize = 16;

// The byte length of the whole ACEs that make up aces, or nothing when the
// span is not such a sequence.
std::optional<size_t> WholeAcesLength(AceBytes aces, size_t* count) {
  size_t at = 0;
  *count = 0;
  while (at < aces.size()) {
    if (aces.size() - at < kAceHeaderSize)
      return std::nullopt;
    const size_t size = ReadLe16(aces, at + 2);
    if (size < kAceHeaderSize || size % 4 != 0 || size > aces.size() - at)
      return std::nullopt;
    at += size;
    ++*count;
  }
  return at;
}

// The offset just past the last ACE of a valid ACL, and the offset of the
// ACE at index (the end when index is past the last).
size_t OffsetOfAce(AclBytes acl, uint32_t index) {
  size_t at = kAclHeaderSize;
  const uint32_t count = AclAceCount(acl);
  for (uint32_t i = 0; i < count && i < index; ++i)
    at += ReadLe16(acl, at + 2);
  return at;
}

}  // namespace

uint8_t AclRevision(AclBytes acl) {
  return acl.size() >= kAclHeaderSize ? acl[0] : 0;
}

uint16_t AclSize(AclBytes acl) {
  return acl.size() >= kAclHeaderSize ? ReadLe16(acl, 2) : 0;
}

uint16_t AclAceCount(AclBytes acl) {
  return acl.size() >= kAclHeaderSize ? ReadLe16(acl, 4) : 0;
}

bool IsValidAcl(AclBytes acl) {
  if (acl.size() < kAclHeaderSize)
    return false;
  const size_t size = AclSize(acl);
  if (acl[0] < kAclRevision || acl[0] > kAclRevisionDs || size < kAclHeaderSize ||
      size > acl.size()) {
    return false;
  }
  size_t at = kAclHeaderSize;
  for (uint32_t i = 0; i < AclAceCount(acl); ++i) {
    if (size - at < kAceHeaderSize)
      return false;
    const size_t ace_size = ReadLe16(acl, at + 2);
    if (ace_size < kAceHeaderSize || ace_size % 4 != 0 || ace_size > size - at)
      return false;
    at += ace_size;
  }
  return true;
}

bool InitializeAcl(std::span<uint8_t> buffer, size_t length, uint8_t revision) {
  if (length < kAclHeaderSize || length > kMaxAclSize || length % 4 != 0 ||
      length > buffer.size() || revision < kAclRevision || revision > kAclRevisionDs) {
    return false;
  }
  std::fill(buffer.begin(), buffer.begin() + kAclHeaderSize, uint8_t{0});
  buffer[0] = revision;
  WriteLe16(buffer, 2, static_cast<uint16_t>(length));
  return true;
}

std::optional<AceBytes> GetAce(AclBytes acl, uint32_t index) {
  if (!IsValidAcl(acl) || index >= AclAceCount(acl))
    return std::nullopt;
  const size_t at = OffsetOfAce(acl, index);
  return acl.subspan(at, ReadLe16(acl, at + 2));
}

bool AddAce(std::span<uint8_t> acl, uint8_t revision, uint32_t index, AceBytes aces) {
  size_t added_count = 0;
  std::optional<size_t> added = WholeAcesLength(aces, &added_count);
  if (!IsValidAcl(acl) || !added || added_count == 0 || revision < kAclRevision ||
      revision > kAclRevisionDs) {
    return false;
  }
  const size_t used = OffsetOfAce(acl, kAppendAce);
  if (*added > AclSize(acl) - used || AclAceCount(acl) + added_count > 0xFFFF)
    return false;
  const uint32_t count = AclAceCount(acl);
  const size_t at = OffsetOfAce(acl, std::min(index, count));
  // The ACEs may come from this very ACL: copy them out first.
  std::vector<uint8_t> copy(aces.begin(), aces.begin() + *added);
  std::memmove(acl.data() + at + *added, acl.data() + at, used - at);
  std::memcpy(acl.data() + at, copy.data(), copy.size());
  WriteLe16(acl, 4, static_cast<uint16_t>(count + added_count));
  acl[0] = std::max(acl[0], revision);
  return true;
}

bool DeleteAce(std::span<uint8_t> acl, uint32_t index) {
  if (!IsValidAcl(acl) || index >= AclAceCount(acl))
    return false;
  const size_t used = OffsetOfAce(acl, kAppendAce);
  const size_t at = OffsetOfAce(acl, index);
  const size_t size = ReadLe16(acl, at + 2);
  std::memmove(acl.data() + at, acl.data() + at + size, used - at - size);
  std::fill(acl.begin() + (used - size), acl.begin() + used, uint8_t{0});
  WriteLe16(acl, 4, static_cast<uint16_t>(AclAceCount(acl) - 1));
  return true;
}

uint8_t AceType(AceBytes ace) {
  return ace.empty() ? 0 : ace[0];
}

uint8_t AceFlags(AceBytes ace) {
  return ace.size() < 2 ? 0 : ace[1];
}

uint16_t AceSize(AceBytes ace) {
  return ace.size() < kAceHeaderSize ? 0 : ReadLe16(ace, 2);
}

uint32_t AceUint32(AceBytes ace, size_t offset) {
  return Fits(ace, offset, 4) ? ReadLe32(ace, offset) : 0;
}

uint32_t MapGenericFileRights(uint32_t mask) {
  struct Mapping {
    uint32_t generic, specific;
  };
  static constexpr Mapping kMappings[] = {{0x80000000, 0x120089},   // read
                                          {0x40000000, 0x120116},   // write
                                          {0x20000000, 0x1200A0},   // execute
                                          {0x10000000, 0x1F01FF}};  // all
  uint32_t mapped = mask;
  for (const Mapping& mapping : kMappings) {
    if (mask & mapping.generic)
      mapped = (mapped & ~mapping.generic) | mapping.specific;
  }
  return mapped;
}

bool IsObjectAceType(uint8_t type) {
  return (type >= 5 && type <= 8) || type == 11 || type == 12 || type == 15 || type == 16;
}

bool IsPlainSidAceType(uint8_t type) {
  return type <= 4 || type == 9 || type == 10 || type == 13 || type == 14 || type == 18 ||
         type == 19;
}

std::optional<size_t> AceSidOffset(AceBytes ace) {
  const uint8_t type = AceType(ace);
  if (IsPlainSidAceType(type))
    return size_t{8};
  if (!IsObjectAceType(type))
    return std::nullopt;
  // Mask at 4, object flags at 8, then the GUIDs the flags declare.
  const uint32_t object_flags = AceUint32(ace, 8);
  size_t offset = 12;
  if (object_flags & ACE_OBJECT_TYPE_PRESENT)
    offset += kGuidSize;
  if (object_flags & ACE_INHERITED_OBJECT_TYPE_PRESENT)
    offset += kGuidSize;
  return offset;
}

}  // namespace tarvik
