#include "common/sd/sid_value.h"

#include "util/format.h"

namespace tarvik {

std::wstring SidValue::ToString() const {
  std::wstring text = L"S-1-";
  if (authority > 0xFFFFFFFFull) {
    text += Format(L"0x%012I64X", authority);
  } else {
    text += std::to_wstring(authority);
  }
  for (uint32_t sub : sub_authorities) {
    text += L'-';
    text += std::to_wstring(sub);
  }
  return text;
}

SidValue SidValue::WithRid(uint32_t rid) const {
  SidValue sid = *this;
  sid.sub_authorities.push_back(rid);
  return sid;
}

SidValue SidValue::Parent() const {
  SidValue sid = *this;
  if (!sid.sub_authorities.empty())
    sid.sub_authorities.pop_back();
  return sid;
}

std::optional<uint64_t> ParseSidNumber(std::wstring_view digits, int base, uint64_t max) {
  if (digits.empty() || digits.size() > 20)
    return std::nullopt;
  uint64_t value = 0;
  for (wchar_t c : digits) {
    uint64_t digit;
    if (c >= L'0' && c <= L'9') {
      digit = c - L'0';
    } else if (base == 16 && c >= L'a' && c <= L'f') {
      digit = c - L'a' + 10;
    } else if (base == 16 && c >= L'A' && c <= L'F') {
      digit = c - L'A' + 10;
    } else {
      return std::nullopt;
    }
    if (value > (max - digit) / base)
      return std::nullopt;
    value = value * base + digit;
  }
  return value;
}

std::vector<std::wstring_view> SplitSidText(std::wstring_view text) {
  std::vector<std::wstring_view> parts;
  for (;;) {
    size_t dash = text.find(L'-');
    parts.push_back(text.substr(0, dash));
    if (dash == std::wstring_view::npos)
      return parts;
    text.remove_prefix(dash + 1);
  }
}

std::vector<uint8_t> SidValue::ToBytes() const {
  std::vector<uint8_t> bytes;
  bytes.reserve(8 + 4 * sub_authorities.size());
  bytes.push_back(1);
  bytes.push_back(static_cast<uint8_t>(sub_authorities.size()));
  for (int shift = 40; shift >= 0; shift -= 8)
    bytes.push_back(static_cast<uint8_t>(authority >> shift));
  for (uint32_t sub : sub_authorities) {
    for (int shift = 0; shift < 32; shift += 8)
      bytes.push_back(static_cast<uint8_t>(sub >> shift));
  }
  return bytes;
}

std::optional<SidValue> ParseSid(std::wstring_view text) {
  if (text.substr(0, 4) != L"S-1-")
    return std::nullopt;
  std::vector<std::wstring_view> parts = SplitSidText(text.substr(4));
  if (parts.size() - 1 > SidValue::kMaxSubAuthorities)
    return std::nullopt;
  SidValue sid;
  std::wstring_view authority = parts[0];
  bool hex = authority.size() > 2 && authority[0] == L'0' &&
             (authority[1] == L'x' || authority[1] == L'X');
  std::optional<uint64_t> value =
      ParseSidNumber(hex ? authority.substr(2) : authority, hex ? 16 : 10, 0xFFFFFFFFFFFFull);
  if (!value)
    return std::nullopt;
  sid.authority = *value;
  for (size_t i = 1; i < parts.size(); ++i) {
    std::optional<uint64_t> sub = ParseSidNumber(parts[i], 10, 0xFFFFFFFFull);
    if (!sub)
      return std::nullopt;
    sid.sub_authorities.push_back(static_cast<uint32_t>(*sub));
  }
  return sid;
}

}  // namespace tarvik
