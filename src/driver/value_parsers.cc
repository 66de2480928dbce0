#include "driver/value_parsers.h"

#include <algorithm>
#include <limits>

namespace tarvik {
namespace {

bool IsBlank(wchar_t c) {
  return c == L' ' || (c >= L'\t' && c <= L'\r');
}
bool IsDigit(wchar_t c) {
  return c >= L'0' && c <= L'9';
}

struct LeadingNumber {
  int32_t value = 0;
  size_t end = 0;  // index after the last character used; 0 without digits
};

LeadingNumber ReadLeadingNumber(std::wstring_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i]))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
    negative = text[i] == L'-';
    ++i;
  }
  const int64_t limit = negative ? -int64_t{std::numeric_limits<int32_t>::min()}
                                 : int64_t{std::numeric_limits<int32_t>::max()};
  int64_t magnitude = 0;
  size_t first_digit = i;
  while (i < text.size() && IsDigit(text[i])) {
    if (magnitude < limit)
      magnitude = std::min(limit, magnitude * 10 + (text[i] - L'0'));
    ++i;
  }
  LeadingNumber number;
  if (i == first_digit)
    return number;
  number.value = static_cast<int32_t>(negative ? -magnitude : magnitude);
  number.end = i;
  return number;
}

}  // namespace

std::optional<int32_t> ParseWholeDecimal(std::wstring_view text) {
  LeadingNumber number = ReadLeadingNumber(text);
  if (number.end != text.size())
    return std::nullopt;
  return number.value;
}

int32_t ParseLeadingDecimal(std::wstring_view text) {
  return ReadLeadingNumber(text).value;
}

}  // namespace tarvik
