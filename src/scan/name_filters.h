// The name filters of a run: the reading patterns (the names typed after the
// destination, given to the directory listing), the file-only patterns
// (/nodf), and the exclusion lists /xf and /xd. The lists are shared by all
// scanner objects: the run driver writes them before the first walk starts,
// and they are read-only afterwards, so no lock guards them.
#ifndef TARVIK_SCAN_NAME_FILTERS_H_
#define TARVIK_SCAN_NAME_FILTERS_H_

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

// The pattern matcher of the exclusions and file-only patterns. Characters
// compare exactly (16-bit units, case-sensitive; /nocase lower-cases both
// sides before). Besides '*' and '?' it knows the platform's DOS wildcards:
// '<' (like '*' but not past the name's last '.'), '>' (one character other
// than '.') and '"' (a '.' or the end of the name). A null name matches only
// a null pattern; a null pattern matches nothing.
bool WildcardMatch(const wchar_t* name, const wchar_t* pattern);
bool WildcardMatch(std::wstring_view name, std::wstring_view pattern);

// DirScan derives from this class, so that the operations read as
// DirScan::SetFileFilter and so on.
class NameFilters {
 public:
  // No names: reading patterns := { "*" }. Otherwise without /nodf the
  // names become the reading patterns; with /nodf the reading pattern is "*"
  // and the names become the file-only patterns. Settings().noDirFilter must
  // be set before.
  static bool SetFileFilter(std::span<const std::wstring> names);
  // The /xf (resp. /xd) list := the names, lower-cased with /nocase.
  static bool SetExcludedFileFilter(std::span<const std::wstring> names);
  static bool SetExcludedDirFilter(std::span<const std::wstring> names);

  // The name alone (no path) against the /xf (resp. /xd) list, lower-cased
  // first with /nocase. The purge uses them so that excluded target objects
  // are never removed.
  static bool IsExcludedFileName(std::wstring_view name);
  static bool IsExcludedDirName(std::wstring_view name);

  // The scan step's test: a pattern equal to the display path or the long
  // path, or matching the name. The three are lower-cased by the caller
  // with /nocase.
  static bool MatchesAny(const std::vector<std::wstring>& patterns, std::wstring_view name,
                         std::wstring_view display_path, std::wstring_view long_path);

  // The "Files filter(s)" line of the command report.
  static void PrintFilters();

  static const std::vector<std::wstring>& ReadingPatterns();
  static const std::vector<std::wstring>& FileOnlyPatterns();
  static const std::vector<std::wstring>& ExcludedFiles();
  static const std::vector<std::wstring>& ExcludedDirs();

  // Empties every list (the state before SetFileFilter has run).
  static void ResetFiltersForTesting();
};

}  // namespace tarvik

#endif  // TARVIK_SCAN_NAME_FILTERS_H_
