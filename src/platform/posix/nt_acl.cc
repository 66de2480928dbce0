#include "platform/posix/nt_acl.h"

#include <span>

#include "common/sd/byte_order.h"

namespace tarvik {
namespace {

constexpr uint32_t kUniquePointer = 0x00020000;
constexpr size_t kNtAclHeader = 8;  // version, level, unique pointer

// Where the descriptor of a version 1 to 4 value starts; 0 when the value
// does not hold one.
size_t DescriptorStart(std::span<const uint8_t> value) {
  if (value.size() < kNtAclHeader)
    return 0;
  uint16_t version = ReadLe16(value, 0);
  if (ReadLe16(value, 2) != version || ReadLe32(value, 4) == 0)
    return 0;
  switch (version) {
    case 1:
      return kNtAclHeader;
    case 2:  // sd pointer, 16-byte hash
      return Fits(value, 8, 20) && ReadLe32(value, 8) != 0 ? 28 : 0;
    case 3:  // sd pointer, hash type, 64-byte hash, aligned
      return Fits(value, 8, 72) && ReadLe32(value, 8) != 0 ? 80 : 0;
    case 4: {  // as 3, then a NUL-terminated description, NT time, 64-byte hash
      if (!Fits(value, 8, 70) || ReadLe32(value, 8) == 0)
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
