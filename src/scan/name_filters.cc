#include "scan/name_filters.h"

#include <new>
#include <vector>

#include "log/log.h"
#include "scan/dir_scan_exception.h"
#include "settings/copy_settings.h"
#include "util/text.h"

namespace tarvik {
namespace {

struct FilterLists {
  std::vector<std::wstring> reading;
  std::vector<std::wstring> file_only;
  std::vector<std::wstring> excluded_files;
  std::vector<std::wstring> excluded_dirs;
};

FilterLists& Lists() {
  static FilterLists lists;
  return lists;
}

// The matcher, over indices, remembering the (name, pattern) positions that
// already failed so that patterns with many '*' stay polynomial.
class Matcher {
 public:
  Matcher(std::wstring_view name, std::wstring_view pattern)
      : name_(name), pattern_(pattern), failed_((name.size() + 1) * (pattern.size() + 1), 0) {}

  bool Match(size_t n, size_t p) {
    char& failed = failed_[n * (pattern_.size() + 1) + p];
    if (failed)
      return false;
    bool matched = MatchStep(n, p);
    if (!matched)
      failed = 1;
    return matched;
  }

 private:
  bool AtEnd(size_t n) const { return n >= name_.size(); }

  bool MatchStep(size_t n, size_t p) {
    if (p == pattern_.size())
      return AtEnd(n);
    switch (pattern_[p]) {
      case L'*':
        return MatchStar(n, p);
      case L'<':
        return MatchDosStar(n, p);
      case L'?':
        return !AtEnd(n) && Match(n + 1, p + 1);
      case L'>':
        return MatchDosQuestion(n, p);
      case L'"':
        if (AtEnd(n))
          return Match(n, p + 1);
        return name_[n] == L'.' && Match(n + 1, p + 1);
      default:
        return !AtEnd(n) && name_[n] == pattern_[p] && Match(n + 1, p + 1);
    }
  }

  bool MatchStar(size_t n, size_t p) {
    while (p < pattern_.size() && pattern_[p] == L'*')
      ++p;
    if (p == pattern_.size())
      return true;
    for (size_t i = n; i <= name_.size(); ++i) {
      if (Match(i, p))
        return true;
    }
    return false;
  }

  // Like '*', but it stops at the name's last '.': the rest is tried up to
  // and at that '.', then just after it.
  bool MatchDosStar(size_t n, size_t p) {
    while (p < pattern_.size() && pattern_[p] == L'<')
      ++p;
    size_t dot = name_.rfind(L'.');
    if (dot == std::wstring_view::npos || dot < n) {
      for (size_t i = n; i <= name_.size(); ++i) {
        if (Match(i, p))
          return true;
      }
      return false;
    }
    for (size_t i = n; i <= dot; ++i) {
      if (Match(i, p))
        return true;
    }
    return Match(dot + 1, p);
  }

  // One character other than '.'; at a '.' or the end it matches nothing,
  // and a final '.' that ends the name may be swallowed.
  bool MatchDosQuestion(size_t n, size_t p) {
    if (AtEnd(n))
      return Match(n, p + 1);
    if (name_[n] == L'.') {
      if (Match(n, p + 1))
        return true;
      return n + 1 == name_.size() && Match(n + 1, p + 1);
    }
    return Match(n + 1, p + 1);
  }

  std::wstring_view name_;
  std::wstring_view pattern_;
  std::vector<char> failed_;
};

bool MatchesExcludedName(const std::vector<std::wstring>& patterns, std::wstring_view name) {
  std::wstring key = Settings().lowerCaseNames ? ToLowerAscii(name) : std::wstring(name);
  for (const std::wstring& pattern : patterns) {
    if (WildcardMatch(key, pattern))
      return true;
  }
  return false;
}

// Replaces list with names (lower-cased with /nocase). On an allocation
// failure the list stays empty and the failure is reported.
bool StoreExclusions(std::span<const std::wstring> names, std::vector<std::wstring>* list,
                     const wchar_t* failure) {
  list->clear();
  try {
    std::vector<std::wstring> stored;
    stored.reserve(names.size());
    for (const std::wstring& name : names)
      stored.push_back(Settings().lowerCaseNames ? ToLowerAscii(name) : name);
    *list = std::move(stored);
    return true;
  } catch (const std::bad_alloc&) {
    DirScanException exception(kOutOfMemory, failure);
    LogError(exception.code(), L"%s", exception.message());
    return false;
  }
}

}  // namespace

bool WildcardMatch(std::wstring_view name, std::wstring_view pattern) {
  return Matcher(name, pattern).Match(0, 0);
}

bool WildcardMatch(const wchar_t* name, const wchar_t* pattern) {
  if (name == nullptr)
    return pattern == nullptr;
  if (pattern == nullptr)
    return false;
  return WildcardMatch(std::wstring_view(name), std::wstring_view(pattern));
}

bool NameFilters::SetFileFilter(std::span<const std::wstring> names) {
  FilterLists& lists = Lists();
  lists.reading.clear();
  lists.file_only.clear();
  try {
    if (names.empty() || Settings().noDirFilter) {
      lists.reading.push_back(L"*");
    } else {
      lists.reading.assign(names.begin(), names.end());
    }
    if (!names.empty() && Settings().noDirFilter)
      lists.file_only.assign(names.begin(), names.end());
    return true;
  } catch (const std::bad_alloc&) {
    lists.reading.clear();
    lists.file_only.clear();
    DirScanException exception(kOutOfMemory,
                               L"DirScan::SetFileFilter : unable to allocate memory.");
    LogError(exception.code(), L"%s", exception.message());
    return false;
  }
}

bool NameFilters::SetExcludedFileFilter(std::span<const std::wstring> names) {
  return StoreExclusions(names, &Lists().excluded_files,
                         L"DirScan::SetExcludedFileFilter : unable to allocate memory.");
}

bool NameFilters::SetExcludedDirFilter(std::span<const std::wstring> names) {
  return StoreExclusions(names, &Lists().excluded_dirs,
                         L"DirScan::SetExcludedDirFilter : unable to allocate memory.");
}

bool NameFilters::IsExcludedFileName(std::wstring_view name) {
  return MatchesExcludedName(Lists().excluded_files, name);
}

bool NameFilters::IsExcludedDirName(std::wstring_view name) {
  return MatchesExcludedName(Lists().excluded_dirs, name);
}

bool NameFilters::MatchesAny(const std::vector<std::wstring>& patterns, std::wstring_view name,
                             std::wstring_view display_path, std::wstring_view long_path) {
  for (const std::wstring& pattern : patterns) {
    if (pattern == display_path || pattern == long_path || WildcardMatch(name, pattern))
      return true;
  }
  return false;
}

void NameFilters::PrintFilters() {
  const FilterLists& lists = Lists();
  if (lists.reading.empty() && lists.file_only.empty()) {
    LogText(L"%-28s: *.*", L"Files filter(s)");
    LogText(L"\n");
    return;
  }
  const std::vector<std::wstring>* shown = &lists.reading;
  if (!lists.file_only.empty()) {
    LogText(L"%-28s: ", L"Files filter(s)");
    shown = &lists.file_only;
  } else {
    LogText(L"%-28s: ", L"Files and Dirs filter(s)");
  }
  for (const std::wstring& pattern : *shown)
    LogText(L"%s ", pattern);
  LogText(L"\n");
}

const std::vector<std::wstring>& NameFilters::ReadingPatterns() {
  return Lists().reading;
}

const std::vector<std::wstring>& NameFilters::FileOnlyPatterns() {
  return Lists().file_only;
}

const std::vector<std::wstring>& NameFilters::ExcludedFiles() {
  return Lists().excluded_files;
}

const std::vector<std::wstring>& NameFilters::ExcludedDirs() {
  return Lists().excluded_dirs;
}

void NameFilters::ResetFiltersForTesting() {
  Lists() = FilterLists{};
}

}  // namespace tarvik
