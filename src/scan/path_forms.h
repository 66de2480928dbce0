// The two forms of every path the walk builds: the display form (as typed)
// and the long form with the "\\?\" or "\\?\UNC\" prefix that lifts the
// length limit. A path switches to its long form from 200 characters on.
//
// Host paths. On Linux a root typed as "/srv/a" is a path of the world's
// drive that holds the host directory (Z: by default). The display form
// keeps it as typed ("/srv/a\", with '\' separating what the walk appends,
// which the platform accepts after a host path), and its long form is
// "\\?\UNC\/srv/a\": the platform resolves "\\?\UNC\" followed by '/' as a
// host path, without any length limit. So every message shows the path the
// user typed, and every system call works whichever form is used; no drive
// letter needs to be guessed here, where the world is not known.
#ifndef TARVIK_SCAN_PATH_FORMS_H_
#define TARVIK_SCAN_PATH_FORMS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

// From this length on a path is used in its long form.
constexpr size_t kLongPathThreshold = 200;

// The typed root without its trailing separators (a drive root "C:\" and the
// host root "/" keep theirs) and without its trailing dots (unless it is
// exactly "."). Host paths ('/' first) also lose trailing '/'.
std::wstring NormalizeRootPath(std::wstring_view typed);

// True for a normalized root that names no directory the walk can use: an
// empty result (for "..", "\\" or "") or a last component "..", whose dots
// the normalization would have dropped.
bool IsUnusableRootPath(std::wstring_view typed, std::wstring_view normalized);

// The message for such a root.
constexpr const wchar_t* kUnusableRootMessage =
    L"%s : Invalid directory path, give the directory by its name or its full path";

// The long form of a normalized path: "\\?\" + a drive path, the path itself
// when it already is in long form, "\\?\UNC" + "\server\share..." for a UNC
// name, "\\?\UNC\" + a host path. A relative path (no drive, no server, not
// a host path) cannot carry the prefix and stays as it is.
std::wstring LongPathForm(std::wstring_view normalized);

// The long form of a root: LongPathForm, except that a relative root is made
// absolute first (GetFullPathNameW through the current Os), so that its long
// form names the same directory; when that fails it stays as it is. The
// display form keeps what the user typed either way.
std::wstring LongFormOfRoot(std::wstring_view normalized);

// The display form of a source root typed in long form: "\\?\C:\x" shows as
// "C:\x", "\\?\UNC\srv\share" as "\\srv\share".
std::wstring DisplayFormOfLongPath(std::wstring_view long_path);

// Appends '\' unless the text ends with one.
void EnsureTrailingBackslash(std::wstring* path);

// True when the path begins with "\\?\" or "\\.\".
bool HasLongPrefix(std::wstring_view path);

// The index where the volume part of a long form ends: the '\' after "X:"
// for a drive path, the second '\' from index 8 (after server and share) for
// a UNC path, the '/' of a host path. For a path without prefix (relative,
// rooted "\x" or drive-relative "C:x") the volume part is what precedes the
// first component: -1, 0 or 1. kNoVolumeEnd when a UNC form has no share.
constexpr std::ptrdiff_t kNoVolumeEnd = PTRDIFF_MAX;
std::ptrdiff_t VolumePartEnd(std::wstring_view long_path);

// Separators inside a long form: '\', and also '/' in the host part of a
// host path ("\\?\UNC\/srv/a").
bool IsPathSeparatorAt(std::wstring_view long_path, size_t index);

// The object a long form names, then each of its parents up to the volume
// root, nearest first: "\\?\C:\a\b" gives "\\?\C:\a\b", "\\?\C:\a"
// and "\\?\C:\". Trailing separators are dropped, except the volume root's.
std::vector<std::wstring> SelfAndParents(std::wstring_view long_path);

}  // namespace tarvik

#endif  // TARVIK_SCAN_PATH_FORMS_H_
