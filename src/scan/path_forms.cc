#include "scan/path_forms.h"

#include <vector>

#include "platform/os.h"

namespace tarvik {
namespace {

bool IsDrivePath(std::wstring_view path) {
  return path.size() >= 2 && path[1] == L':';
}

bool IsHostPath(std::wstring_view path) {
  return !path.empty() && path[0] == L'/';
}

bool IsUncName(std::wstring_view path) {
  return path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\';
}

constexpr std::wstring_view kLongPrefix = L"\\\\?\\";
constexpr std::wstring_view kLongUncPrefix = L"\\\\?\\UNC\\";

bool IsLongHostPath(std::wstring_view path) {
  return path.starts_with(kLongUncPrefix) && path.size() > kLongUncPrefix.size() &&
         path[kLongUncPrefix.size()] == L'/';
}

}  // namespace

bool HasLongPrefix(std::wstring_view path) {
  return path.size() >= 4 && path[0] == L'\\' && path[1] == L'\\' &&
         (path[2] == L'?' || path[2] == L'.') && path[3] == L'\\';
}

std::wstring NormalizeRootPath(std::wstring_view typed) {
  std::wstring path(typed);
  bool drive_root = path.size() == 3 && path[1] == L':' && path[2] == L'\\';
  if (!drive_root) {
    bool host = IsHostPath(path);
    while (!path.empty() && (path.back() == L'\\' || (host && path.back() == L'/')))
      path.pop_back();
    if (host && path.empty())
      path = L"/";  // the host root keeps its one separator
  }
  if (path != L".") {
    while (!path.empty() && path.back() == L'.')
      path.pop_back();
  }
  return path;
}

bool IsUnusableRootPath(std::wstring_view typed, std::wstring_view normalized) {
  if (normalized.empty())
    return true;
  // The last component of the typed path, without its trailing separators.
  std::wstring_view rest = typed;
  while (!rest.empty() && (rest.back() == L'\\' || rest.back() == L'/'))
    rest.remove_suffix(1);
  size_t separator = rest.find_last_of(L"\\/:");
  std::wstring_view last = separator == std::wstring_view::npos ? rest : rest.substr(separator + 1);
  return last == L"..";
}

std::wstring LongPathForm(std::wstring_view normalized) {
  if (HasLongPrefix(normalized))
    return std::wstring(normalized);
  if (normalized.size() >= 3 && IsDrivePath(normalized) && normalized[2] == L'\\') {
    return std::wstring(kLongPrefix) + std::wstring(normalized);
  }
  if (IsUncName(normalized)) {
    if (normalized.size() >= 3 && normalized[2] == L'?')
      return std::wstring(normalized);
    return L"\\\\?\\UNC" + std::wstring(normalized.substr(1));
  }
  if (IsHostPath(normalized))
    return std::wstring(kLongUncPrefix) + std::wstring(normalized);
  // Relative ("data"), rooted on the current drive ("\data") or drive-
  // relative ("C:data"): the prefix would turn them into another path.
  return std::wstring(normalized);
}

namespace {

bool IsAbsoluteForm(std::wstring_view path) {
  return HasLongPrefix(path) || IsUncName(path) || IsHostPath(path) ||
         (path.size() >= 3 && IsDrivePath(path) && path[2] == L'\\');
}

// GetFullPathNameW of path; empty when the system cannot tell.
std::wstring FullPathName(const std::wstring& path) {
  Os& os = Os::Current();
  std::vector<wchar_t> buffer(1024);
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD length = os.GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()),
                                       buffer.data(), nullptr);
    if (length == 0)
      return std::wstring();
    if (length < buffer.size())
      return std::wstring(buffer.data(), length);
    buffer.resize(length + 1);
  }
  return std::wstring();
}

}  // namespace

std::wstring LongFormOfRoot(std::wstring_view normalized) {
  if (IsAbsoluteForm(normalized))
    return LongPathForm(normalized);
  std::wstring full = NormalizeRootPath(FullPathName(std::wstring(normalized)));
  if (full.empty() || !IsAbsoluteForm(full))
    return std::wstring(normalized);
  return LongPathForm(full);
}

std::wstring DisplayFormOfLongPath(std::wstring_view long_path) {
  if (long_path.starts_with(kLongUncPrefix)) {
    std::wstring_view rest = long_path.substr(kLongUncPrefix.size());
    if (IsHostPath(rest))
      return std::wstring(rest);
    return L"\\\\" + std::wstring(rest);
  }
  return std::wstring(long_path.substr(kLongPrefix.size()));
}

void EnsureTrailingBackslash(std::wstring* path) {
  if (path->empty() || path->back() != L'\\')
    path->push_back(L'\\');
}

std::ptrdiff_t VolumePartEnd(std::wstring_view long_path) {
  if (IsLongHostPath(long_path))
    return static_cast<std::ptrdiff_t>(kLongUncPrefix.size());
  if (HasLongPrefix(long_path)) {
    std::wstring_view rest = long_path.substr(kLongPrefix.size());
    if (IsDrivePath(rest))
      return static_cast<std::ptrdiff_t>(kLongPrefix.size() + 2);
    size_t first = long_path.find(L'\\', kLongUncPrefix.size());
    if (first == std::wstring_view::npos)
      return kNoVolumeEnd;
    size_t second = long_path.find(L'\\', first + 1);
    return second == std::wstring_view::npos ? kNoVolumeEnd : static_cast<std::ptrdiff_t>(second);
  }
  if (IsUncName(long_path)) {
    size_t first = long_path.find(L'\\', 2);
    size_t second = first == std::wstring_view::npos ? first : long_path.find(L'\\', first + 1);
    return second == std::wstring_view::npos ? kNoVolumeEnd : static_cast<std::ptrdiff_t>(second);
  }
  if (IsHostPath(long_path))
    return 0;
  if (IsDrivePath(long_path))
    return long_path.size() > 2 && long_path[2] == L'\\' ? 2 : 1;
  if (!long_path.empty() && long_path[0] == L'\\')
    return 0;
  return -1;
}

bool IsPathSeparatorAt(std::wstring_view long_path, size_t index) {
  wchar_t c = long_path[index];
  if (c == L'\\')
    return true;
  return c == L'/' && (IsHostPath(long_path) || IsLongHostPath(long_path));
}

std::vector<std::wstring> SelfAndParents(std::wstring_view long_path) {
  const std::ptrdiff_t volume_end = VolumePartEnd(long_path);
  std::wstring_view path = long_path;
  auto last = [&path] { return static_cast<std::ptrdiff_t>(path.size()) - 1; };
  while (last() > 0 && last() > volume_end && IsPathSeparatorAt(path, path.size() - 1))
    path.remove_suffix(1);
  std::vector<std::wstring> chain;
  for (;;) {
    chain.emplace_back(path);
    if (volume_end == kNoVolumeEnd)
      break;
    std::ptrdiff_t separator = last();
    while (separator > volume_end && !IsPathSeparatorAt(path, static_cast<size_t>(separator)))
      --separator;
    if (separator > volume_end) {
      path = path.substr(0, static_cast<size_t>(separator));
      continue;
    }
    // Only the volume root is left above (none for a relative path).
    if (volume_end < 0 || last() <= volume_end)
      break;
    path = path.substr(0, static_cast<size_t>(volume_end) + 1);
  }
  return chain;
}

}  // namespace tarvik
