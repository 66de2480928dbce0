#include "platform/posix/wildcard.h"

#include <vector>

#include "util/text.h"

namespace tarvik {

std::wstring ListingExpression(std::wstring_view pattern) {
  if (pattern == L"*.*")
    return L"*";
  std::wstring expression(pattern);
  for (size_t i = 0; i < expression.size(); ++i) {
    wchar_t next = i + 1 < pattern.size() ? pattern[i + 1] : L'\0';
    if (pattern[i] == L'?') {
      expression[i] = DOS_QM;
    } else if (pattern[i] == L'.' && (next == L'?' || next == L'*' || next == L'\0')) {
      expression[i] = DOS_DOT;
    } else if (pattern[i] == L'*' && next == L'.') {
      expression[i] = DOS_STAR;
    }
  }
  return expression;
}

bool HasWildcards(std::wstring_view pattern) {
  return pattern.find_first_of(L"*?<>\"") != std::wstring_view::npos;
}

bool MatchesExpression(std::wstring_view expression, std::wstring_view name) {
  // reachable[p] after consuming n characters of the name: the expression
  // positions that can have matched exactly that prefix. Each position is
  // first closed over the elements that can match nothing.
  const size_t last_dot = name.rfind(L'.');
  const size_t size = expression.size();
  std::vector<char> current(size + 1, 0), next(size + 1, 0);
  auto close = [&](std::vector<char>& states, size_t n) {
    bool at_end = n == name.size();
    for (size_t p = 0; p < size; ++p) {
      if (!states[p])
        continue;
      wchar_t e = expression[p];
      bool empty_match = e == L'*' || e == DOS_STAR ||
                         (e == DOS_QM && (at_end || name[n] == L'.')) || (e == DOS_DOT && at_end);
      if (empty_match)
        states[p + 1] = 1;
    }
  };
  current[0] = 1;
  close(current, 0);
  for (size_t n = 0; n < name.size(); ++n) {
    std::fill(next.begin(), next.end(), 0);
    wchar_t c = name[n];
    for (size_t p = 0; p < size; ++p) {
      if (!current[p])
        continue;
      wchar_t e = expression[p];
      switch (e) {
        case L'*':
          next[p] = 1;
          break;
        case DOS_STAR:
          if (n != last_dot)
            next[p] = 1;
          break;
        case L'?':
          next[p + 1] = 1;
          break;
        case DOS_QM:
          if (c != L'.')
            next[p + 1] = 1;
          break;
        case DOS_DOT:
          if (c == L'.')
            next[p + 1] = 1;
          break;
        default:
          if (ToLowerAscii(e) == ToLowerAscii(c))
            next[p + 1] = 1;
      }
    }
    close(next, n + 1);
    current.swap(next);
  }
  return current[size] != 0;
}

}  // namespace tarvik
