#include "platform/posix/short_names.h"

#include <cwchar>
#include <unordered_map>
#include <unordered_set>

#include "util/text.h"

namespace tarvik {
namespace {

// The largest alias number: "A~999999".
constexpr int kMaxAliasNumber = 999999;

bool IsShortNameCharacter(wchar_t c) {
  if ((c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9'))
    return true;
  return c != L'\0' && std::wcschr(L"$%'-_@~`!(){}^#&", c) != nullptr;
}

// What an alias is made of: the name in upper case without blanks, leading
// dots and all dots but the last, each character an 8.3 name cannot hold
// replaced by '_', split at that last dot.
struct AliasStem {
  std::wstring base;
  std::wstring extension;
};

AliasStem AliasStemOf(std::wstring_view name) {
  std::wstring kept;
  size_t last_dot = std::wstring::npos;
  for (wchar_t c : name) {
    if (c == L' ')
      continue;
    if (c == L'.') {
      if (!kept.empty())
        last_dot = kept.size();
      continue;
    }
    kept += IsShortNameCharacter(c) ? ToUpperAscii(c) : L'_';
  }
  if (last_dot == std::wstring::npos)
    return {kept, L""};
  return {kept.substr(0, last_dot), kept.substr(last_dot)};
}

std::wstring AliasOf(const AliasStem& stem, int number) {
  std::wstring suffix = L"~" + std::to_wstring(number);
  std::wstring alias = stem.base.substr(0, 8 - suffix.size()) + suffix;
  if (!stem.extension.empty())
    alias += L"." + stem.extension.substr(0, 3);
  return alias;
}

}  // namespace

bool IsValidShortName(std::wstring_view name) {
  size_t dot = name.find(L'.');
  std::wstring_view base = name.substr(0, dot);
  std::wstring_view extension =
      dot == std::wstring_view::npos ? std::wstring_view() : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || extension.size() > 3)
    return false;
  if (dot != std::wstring_view::npos && extension.empty())
    return false;
  for (wchar_t c : base) {
    if (!IsShortNameCharacter(c))
      return false;
  }
  for (wchar_t c : extension) {
    if (!IsShortNameCharacter(c))
      return false;
  }
  return true;
}

std::vector<std::wstring> ShortNamesFor(const std::vector<std::wstring>& names) {
  std::unordered_set<std::wstring> taken;
  for (const std::wstring& name : names) {
    if (IsValidShortName(name))
      taken.insert(ToUpperAscii(name));
  }
  // Where the search for a free number of each stem goes on: the numbers
  // below it are taken, and stay taken.
  std::unordered_map<std::wstring, int> next_number;
  std::vector<std::wstring> aliases(names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    const std::wstring& name = names[i];
    if (name == L"." || name == L".." || IsValidShortName(name))
      continue;
    AliasStem stem = AliasStemOf(name);
    // Every alias of a stem is made of these.
    std::wstring key = stem.base.substr(0, 6) + L"." + stem.extension.substr(0, 3);
    int& number = next_number.try_emplace(key, 1).first->second;
    for (; number <= kMaxAliasNumber; ++number) {
      std::wstring alias = AliasOf(stem, number);
      if (taken.insert(alias).second) {
        aliases[i] = std::move(alias);
        ++number;
        break;
      }
    }
  }
  return aliases;
}

}  // namespace tarvik
