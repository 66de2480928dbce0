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

FindRecord& FindRecord::operator=(const WIN32_FIND_DATAW& data) {
  dwFileAttributes = data.dwFileAttributes;
  ftCreationTime = data.ftCreationTime;
  ftLastAccessTime = data.ftLastAccessTime;
  ftLastWriteTime = data.ftLastWriteTime;
  nFileSizeHigh = data.nFileSizeHigh;
  nFileSizeLow = data.nFileSizeLow;
  dwReserved0 = data.dwReserved0;
  long_name = FieldText(data.cFileName, MAX_PATH);
  short_name = FieldText(data.cAlternateFileName, std::size(data.cAlternateFileName));
  return *this;
}

std::wstring_view FindData::LongName() const {
  return data.long_name;
}

std::wstring_view FindData::ShortName() const {
  return data.short_name;
}

void FindData::SetLongName(std::wstring_view name) {
  data.long_name = name.substr(0, MAX_PATH - 1);
  data.short_name.clear();
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
