// Text helpers. The program folds case only for the ASCII letters A-Z,
// exactly where the platform it stands for does, never by locale.
#ifndef TARVIK_UTIL_TEXT_H_
#define TARVIK_UTIL_TEXT_H_

#include <string>
#include <string_view>

namespace tarvik {

inline wchar_t ToLowerAscii(wchar_t c) {
  return c >= L'A' && c <= L'Z' ? c + (L'a' - L'A') : c;
}

inline std::wstring ToLowerAscii(std::wstring_view text) {
  std::wstring out(text);
  for (wchar_t& c : out)
    c = ToLowerAscii(c);
  return out;
}

inline wchar_t ToUpperAscii(wchar_t c) {
  return c >= L'a' && c <= L'z' ? c - (L'a' - L'A') : c;
}

inline std::wstring ToUpperAscii(std::wstring_view text) {
  std::wstring out(text);
  for (wchar_t& c : out)
    c = ToUpperAscii(c);
  return out;
}

inline bool EqualsNoCaseAscii(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (ToLowerAscii(a[i]) != ToLowerAscii(b[i]))
      return false;
  }
  return true;
}

inline bool StartsWithNoCaseAscii(std::wstring_view text, std::wstring_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCaseAscii(text.substr(0, prefix.size()), prefix);
}

// Where the last '\' or '/' of path stands, or npos: a plain loop, as the
// library's search for one of a set of characters costs a call per
// character.
inline size_t FindLastSeparator(std::wstring_view path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (path[i - 1] == L'\\' || path[i - 1] == L'/')
      return i - 1;
  }
  return std::wstring_view::npos;
}

}  // namespace tarvik

#endif  // TARVIK_UTIL_TEXT_H_
