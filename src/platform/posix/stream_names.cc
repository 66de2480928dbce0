#include "platform/posix/stream_names.h"

#include <linux/limits.h>

#include "platform/win_error.h"
#include "util/text.h"
#include "util/utf.h"

namespace tarvik {
namespace {

constexpr std::string_view kPrefix = "user.DosStream.";
constexpr std::string_view kDataSuffix = ":$DATA";
// The characters a stream name cannot hold, where listings show them.
constexpr wchar_t kShownColon = 0xF022;
constexpr wchar_t kShownBackslash = 0xF026;
constexpr wchar_t kReplacement = 0xFFFD;

bool IsDriveSpec(std::wstring_view text) {
  return text.size() >= 2 && text[1] == L':' &&
         ((text[0] >= L'A' && text[0] <= L'Z') || (text[0] >= L'a' && text[0] <= L'z'));
}

// Where the last component of path begins: after the last separator, and
// after a drive letter that no separator follows ("C:name").
size_t LastComponent(std::wstring_view path) {
  size_t separator = FindLastSeparator(path);
  size_t start = separator == std::wstring_view::npos ? 0 : separator + 1;
  std::wstring_view before = path.substr(0, start);
  bool at_root = before.empty() || before == L"\\\\?\\" || before == L"\\\\.\\";
  if (at_root && IsDriveSpec(path.substr(start)))
    start += 2;
  return start;
}

}  // namespace

DWORD SplitStreamPath(std::wstring_view path, std::wstring_view* file, std::wstring_view* stream) {
  size_t colon = path.find(L':', LastComponent(path));
  if (colon == std::wstring_view::npos) {
    *file = path;
    *stream = {};
    return ERROR_SUCCESS;
  }
  std::wstring_view rest = path.substr(colon + 1);
  size_t type_colon = rest.find(L':');
  std::wstring_view name = rest.substr(0, type_colon);
  if (type_colon != std::wstring_view::npos) {
    // A second ':' inside the type fails the comparison as well.
    if (!EqualsNoCaseAscii(rest.substr(type_colon + 1), L"$DATA"))
      return ERROR_INVALID_NAME;
  } else if (name.empty()) {
    return ERROR_INVALID_NAME;
  }
  *file = path.substr(0, colon);
  *stream = name;
  return ERROR_SUCCESS;
}

DWORD StreamAttributeName(std::wstring_view stream, std::string* attribute) {
  std::wstring name(stream);
  for (wchar_t& c : name) {
    if (c == kShownColon)
      c = L':';
    else if (c == kShownBackslash)
      c = L'\\';
  }
  std::string host = ToUtf8(name);
  if (kPrefix.size() + host.size() + kDataSuffix.size() > XATTR_NAME_MAX)
    return ERROR_FILENAME_EXCED_RANGE;
  attribute->assign(kPrefix);
  *attribute += host;
  *attribute += kDataSuffix;
  return ERROR_SUCCESS;
}

bool StreamNameOfAttribute(std::string_view attribute, std::wstring* stream) {
  if (attribute.size() <= kPrefix.size() + kDataSuffix.size() ||
      attribute.substr(0, kPrefix.size()) != kPrefix ||
      attribute.substr(attribute.size() - kDataSuffix.size()) != kDataSuffix) {
    return false;
  }
  attribute.remove_prefix(kPrefix.size());
  attribute.remove_suffix(kDataSuffix.size());
  *stream = FromUtf8(attribute);
  for (wchar_t& c : *stream) {
    if (c == L':')
      c = kShownColon;
    else if (c == L'\\')
      c = kShownBackslash;
    else if (c == L'/')
      c = kReplacement;
  }
  return true;
}

}  // namespace tarvik
