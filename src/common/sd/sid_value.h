// A SID as the platform layer keeps it: the identifier authority and the
// sub-authorities, with the strict "S-1-..." text form of world files.
#ifndef TARVIK_COMMON_SD_SID_VALUE_H_
#define TARVIK_COMMON_SD_SID_VALUE_H_

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

struct SidValue {
  static constexpr size_t kMaxSubAuthorities = 15;

  uint64_t authority = 0;  // 48 bits
  std::vector<uint32_t> sub_authorities;

  // "S-1-5-21-1-2-3": decimal, the authority as decimal or as 0x + 12 hex
  // digits when it does not fit in 32 bits.
  std::wstring ToString() const;

  // This SID with one more sub-authority.
  SidValue WithRid(uint32_t rid) const;
  // The SID without its last sub-authority (the domain of an account).
  SidValue Parent() const;
  uint32_t Rid() const { return sub_authorities.empty() ? 0 : sub_authorities.back(); }

  // The published binary layout: revision 1, sub-authority count, the 6-byte
  // big-endian authority, then each sub-authority little-endian.
  std::vector<uint8_t> ToBytes() const;

  auto operator<=>(const SidValue&) const = default;
};

// Parses "S-1-<authority>(-<sub>)*": revision 1, decimal numbers (authority
// also as 0x + hex), at most 15 sub-authorities each fitting in 32 bits. No
// blanks, no signs, no empty components.
std::optional<SidValue> ParseSid(std::wstring_view text);

// Reads an unsigned number that spans the whole of digits (no sign, no blank)
// in base 10 or 16; nothing when a character is not a digit of the base or the
// value exceeds max.
std::optional<uint64_t> ParseSidNumber(std::wstring_view digits, int base, uint64_t max);

// The text split at every '-' (empty components kept).
std::vector<std::wstring_view> SplitSidText(std::wstring_view text);

}  // namespace tarvik

#endif  // TARVIK_COMMON_SD_SID_VALUE_H_
