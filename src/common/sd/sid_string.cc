#include "common/sd/sid_string.h"

#include "common/sd/sid_value.h"

namespace tarvik {

std::optional<std::vector<uint8_t>> ParseSidString(std::wstring_view text, int base) {
  if (base != 10 && base != 16)
    return std::nullopt;
  std::vector<std::wstring_view> parts = SplitSidText(text);
  if (parts.size() < 3 || parts[0] != L"S")
    return std::nullopt;
  if (parts.size() - 3 > static_cast<size_t>(kMaxSubAuthorities))
    return std::nullopt;

  std::optional<uint64_t> revision = ParseSidNumber(parts[1], 10, 0xFF);
  std::optional<uint64_t> authority = ParseSidNumber(parts[2], 10, (uint64_t{1} << 48) - 1);
  if (!revision || *revision != kSidRevision || !authority)
    return std::nullopt;

  SidValue sid;
  sid.authority = *authority;
  for (size_t i = 3; i < parts.size(); ++i) {
    std::optional<uint64_t> sub_authority = ParseSidNumber(parts[i], base, 0xFFFFFFFF);
    if (!sub_authority)
      return std::nullopt;
    sid.sub_authorities.push_back(static_cast<uint32_t>(*sub_authority));
  }
  return sid.ToBytes();
}

bool IsLocalSidSourceText(std::wstring_view text) {
  if (text.substr(0, 2) != L"S-")
    return false;
  for (std::wstring_view part : SplitSidText(text.substr(2))) {
    if (!ParseSidNumber(part, 16, 0xFFFFFFFF))
      return false;
  }
  return true;
}

}  // namespace tarvik
