#include "driver/excluded_file_pattern.h"

namespace tarvik {

std::wstring NormalizeExcludedFilePattern(std::wstring_view pattern) {
  std::wstring text(pattern);
  // From the end, so that '<' sees the '.' that a following '"' became.
  for (size_t i = text.size(); i-- > 0;) {
    if (text[i] == L'"') {
      text[i] = L'.';
    } else if (text[i] == L'<' && i + 1 < text.size() && text[i + 1] == L'.') {
      text[i] = L'*';
    } else if (text[i] == L'>') {
      text[i] = L'?';
    }
  }
  std::wstring out;
  out.reserve(text.size());
  for (wchar_t c : text) {
    if ((c == L'?' || c == L'*') && !out.empty() && out.back() == L'*')
      continue;
    out.push_back(c);
  }
  return out;
}

}  // namespace tarvik
