#include "scan/find_data.h"

#include <algorithm>
#include <cwchar>

#include "util/text.h"

namespace tarvik {
namespace {

// The alias form of generated short names: "PROGRA~1" and the like.
constexpr size_t kMaxAliasLength = 8;

std::wstring_view FieldText(const wchar_t* field, size_t capacity) {
  size_t length = 0;
  while (length < capacity && field[length] != L'\0')
    ++length;
  return std::wstring_view(field, length);
}

// A character beyond U+FFFF is a surrogate pair in UTF-16: it sorts by its
// lead surrogate, below U+E000..U+FFFF, as 16-bit code units do.
uint32_t FirstUtf16Unit(wchar_t c) {
  uint32_t code = static_cast<uint32_t>(c);
  return code >= 0x10000 ? 0xD800 + ((code - 0x10000) >> 10) : code;
}

bool LessAsUtf16(std::wstring_view a, std::wstring_view b) {
  size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    if (a[i] == b[i])
      continue;
    uint32_t unit_a = FirstUtf16Unit(a[i]);
    uint32_t unit_b = FirstUtf16Unit(b[i]);
    if (unit_a != unit_b)
      return unit_a < unit_b;
    return static_cast<uint32_t>(a[i]) < static_cast<uint32_t>(b[i]);
  }
  return a.size() < b.size();
}

}  // namespace

std::wstring_view FindData::LongName() const {
  return FieldText(data.cFileName, MAX_PATH);
}

std::wstring_view FindData::ShortName() const {
  return FieldText(data.cAlternateFileName, std::size(data.cAlternateFileName));
}

void FindData::SetLongName(std::wstring_view name) {
  size_t length = std::min<size_t>(name.size(), MAX_PATH - 1);
  std::copy_n(name.data(), length, data.cFileName);
  std::fill(data.cFileName + length, data.cFileName + MAX_PATH, L'\0');
  std::fill(std::begin(data.cAlternateFileName), std::end(data.cAlternateFileName), L'\0');
}

bool FindData::IsDotOrDotDot() const {
  std::wstring_view name = LongName();
  return name == L"." || name == L"..";
}

void FindData::MakeNameKey() {
  NameKey = ToLowerAscii(LongName());
}

void FindData::MakeSortKeys() {
  MakeNameKey();
  std::wstring_view name = LongName();
  size_t dot = name.rfind(L'.');
  std::wstring_view sort_name = dot == std::wstring_view::npos ? name : name.substr(0, dot);
  std::wstring_view short_name = ShortName();
  ShortNameFirst = sort_name.size() <= kMaxAliasLength &&
                           sort_name.find(L'~') != std::wstring_view::npos &&
                           (short_name.empty() || short_name == name)
                       ? 1
                       : 0;
  SortName = ToLowerAscii(sort_name);
}

bool SortsBefore(const FindData& a, const FindData& b) {
  if (a.ShortNameFirst != b.ShortNameFirst)
    return a.ShortNameFirst != 0;
  return LessAsUtf16(a.SortName, b.SortName);
}

}  // namespace tarvik
