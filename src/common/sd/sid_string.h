// SID text forms read from the command line and the SID map file. A parsed SID
// is returned as raw bytes in the published layout: revision, sub-authority
// count, 6-byte big-endian identifier authority, then each sub-authority as a
// little-endian 32-bit value.
#ifndef TARVIK_COMMON_SD_SID_STRING_H_
#define TARVIK_COMMON_SD_SID_STRING_H_

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace tarvik {

constexpr int kSidRevision = 1;
constexpr int kMaxSubAuthorities = 15;

// Reads "S-<revision>-<authority>-<sub>-<sub>...". The revision and the
// authority are decimal; the sub-authorities are read in `base` (10 or 16)
// and every character of them must be a digit of that base. Returns nothing
// for any malformed text: a missing or lower-case "S", an empty component, a
// value that does not fit its field, a revision other than 1 or more than 15
// sub-authorities.
std::optional<std::vector<uint8_t>> ParseSidString(std::wstring_view text, int base);

// The shape a source machine SID must have on the command line: "S-" and then
// components that are each hexadecimal and fit in 32 bits, as in
// S-1-5-15-aaaaaaaa-bbbbbbbb-cccccccc-FFFFFFFF.
bool IsLocalSidSourceText(std::wstring_view text);

}  // namespace tarvik

#endif  // TARVIK_COMMON_SD_SID_STRING_H_
