#include "platform/posix/name_mapping.h"

#include "util/utf.h"

namespace tarvik {
namespace {

constexpr wchar_t kFirstMapped = 0xF001;
constexpr wchar_t kLastMapped = 0xF029;
constexpr wchar_t kTrailingBlank = 0xF028;
constexpr wchar_t kTrailingDot = 0xF029;

// The characters after the control characters, in the order of their
// private-use places U+F020 to U+F027.
constexpr wchar_t kForbidden[] = {L'"', L'*', L':', L'<', L'>', L'?', L'\\', L'|'};

wchar_t ToPrivateUse(wchar_t c) {
  if (c >= 0x01 && c <= 0x1F)
    return static_cast<wchar_t>(0xF000 + c);
  for (size_t i = 0; i < std::size(kForbidden); ++i) {
    if (kForbidden[i] == c)
      return static_cast<wchar_t>(0xF020 + i);
  }
  return c;
}

wchar_t FromPrivateUse(wchar_t c) {
  if (c < kFirstMapped || c > kLastMapped)
    return c;
  if (c < 0xF020)
    return static_cast<wchar_t>(c - 0xF000);
  if (c == kTrailingBlank)
    return L' ';
  if (c == kTrailingDot)
    return L'.';
  return kForbidden[c - 0xF020];
}

}  // namespace

std::wstring WindowsNameFromHost(std::string_view host_name) {
  std::wstring name = FromUtf8(host_name);
  for (wchar_t& c : name)
    c = ToPrivateUse(c);
  // "." and ".." are the directory's own entries, not names to map.
  if (name == L"." || name == L"..")
    return name;
  for (size_t i = name.size(); i > 0 && (name[i - 1] == L' ' || name[i - 1] == L'.'); --i)
    name[i - 1] = name[i - 1] == L' ' ? kTrailingBlank : kTrailingDot;
  return name;
}

std::string HostNameFromWindows(std::wstring_view windows_name) {
  std::string host_name;
  AppendHostName(&host_name, windows_name);
  return host_name;
}

void AppendHostName(std::string* out, std::wstring_view windows_name) {
  if (!HasMappedCharacters(windows_name)) {
    AppendUtf8(out, windows_name);
    return;
  }
  std::wstring name(windows_name);
  for (wchar_t& c : name)
    c = FromPrivateUse(c);
  AppendUtf8(out, name);
}

bool HasMappedCharacters(std::wstring_view windows_name) {
  for (wchar_t c : windows_name) {
    if (c >= kFirstMapped && c <= kLastMapped)
      return true;
  }
  return false;
}

}  // namespace tarvik
