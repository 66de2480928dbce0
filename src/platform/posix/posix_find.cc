// PosixOs: directory listings (FindFirstFileW, FindNextFileW, FindClose).
#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/posix/errno_map.h"
#include "platform/posix/file_lookup.h"
#include "platform/posix/name_mapping.h"
#include "platform/posix/posix_os.h"
#include "platform/posix/short_names.h"
#include "platform/posix/wildcard.h"
#include "util/text.h"

namespace tarvik {
namespace {

bool IsSeparator(wchar_t c, bool literal) {
  return c == L'\\' || (!literal && c == L'/');
}

bool IsValidPattern(std::wstring_view pattern) {
  for (wchar_t c : pattern) {
    if (c < 0x20 || c == L'|' || c == L':')
      return false;
  }
  return true;
}

// Splits a listing request into the directory and the pattern of names.
// "C:\dir\*.txt" -> "C:\dir\", "*.txt"; "C:*" -> "C:", "*"; "*" -> ".", "*".
void SplitPattern(std::wstring_view text, std::wstring* directory, std::wstring_view* pattern) {
  bool literal = text.substr(0, 4) == L"\\\\?\\";
  size_t cut = std::wstring_view::npos;
  for (size_t i = text.size(); i > 0; --i) {
    if (IsSeparator(text[i - 1], literal)) {
      cut = i - 1;
      break;
    }
  }
  if (cut != std::wstring_view::npos) {
    *directory = text.substr(0, cut + 1);
    *pattern = text.substr(cut + 1);
  } else if (text.size() >= 2 && text[1] == L':') {
    *directory = text.substr(0, 2);
    *pattern = text.substr(2);
  } else {
    *directory = L".";
    *pattern = text;
  }
}

// The order of a listing: "." and ".." first, then by name with A-Z folded
// to upper case, as the platform's directory indexes keep them.
bool ListsBefore(const FindState::Entry& a, const FindState::Entry& b) {
  auto rank = [](const std::wstring& name) { return name == L"." ? 0 : name == L".." ? 1 : 2; };
  int rank_a = rank(a.windows_name), rank_b = rank(b.windows_name);
  if (rank_a != rank_b)
    return rank_a < rank_b;
  const std::wstring& x = a.windows_name;
  const std::wstring& y = b.windows_name;
  for (size_t i = 0; i < x.size() && i < y.size(); ++i) {
    wchar_t cx = x[i] >= L'a' && x[i] <= L'z' ? x[i] - 32 : x[i];
    wchar_t cy = y[i] >= L'a' && y[i] <= L'z' ? y[i] - 32 : y[i];
    if (cx != cy)
      return cx < cy;
  }
  if (x.size() != y.size())
    return x.size() < y.size();
  return x < y;
}

// The 8.3 aliases of a directory's entries by host name (only the entries
// that have one). They are numbered in the byte order of the host names, so
// that every listing of the same directory shows the same aliases.
std::unordered_map<std::string, std::wstring> ShortNamesByHostName(
    std::vector<std::string> host_names) {
  std::sort(host_names.begin(), host_names.end());
  std::vector<std::wstring> windows_names;
  windows_names.reserve(host_names.size());
  for (const std::string& host_name : host_names)
    windows_names.push_back(WindowsNameFromHost(host_name));
  std::vector<std::wstring> aliases = ShortNamesFor(windows_names);
  std::unordered_map<std::string, std::wstring> by_host_name;
  for (size_t i = 0; i < host_names.size(); ++i) {
    if (!aliases[i].empty())
      by_host_name.emplace(std::move(host_names[i]), std::move(aliases[i]));
  }
  return by_host_name;
}

// The alias of one entry of a directory, which takes reading the whole
// directory: the numbers depend on the other names. Empty when the directory
// cannot be read.
std::wstring ShortNameInDirectory(const std::string& directory, const std::string& host_name) {
  DIR* listing = ::opendir(directory.c_str());
  if (listing == nullptr)
    return L"";
  std::vector<std::string> host_names;
  while (struct dirent* entry = ::readdir(listing))
    host_names.push_back(entry->d_name);
  ::closedir(listing);
  auto aliases = ShortNamesByHostName(std::move(host_names));
  auto found = aliases.find(host_name);
  return found == aliases.end() ? L"" : found->second;
}

void FillFindData(const HostInfo& info, const std::wstring& name, const std::wstring& short_name,
                  WIN32_FIND_DATAW* out) {
  *out = WIN32_FIND_DATAW{};
  out->dwFileAttributes = info.attributes;
  out->ftCreationTime = FILETIME{static_cast<DWORD>(info.creation_time),
                                 static_cast<DWORD>(info.creation_time >> 32)};
  out->ftLastAccessTime = FILETIME{static_cast<DWORD>(info.last_access_time),
                                   static_cast<DWORD>(info.last_access_time >> 32)};
  out->ftLastWriteTime = FILETIME{static_cast<DWORD>(info.last_write_time),
                                  static_cast<DWORD>(info.last_write_time >> 32)};
  out->nFileSizeHigh = static_cast<DWORD>(info.size >> 32);
  out->nFileSizeLow = static_cast<DWORD>(info.size);
  out->dwReserved0 = info.reparse_tag;
  size_t length = std::min<size_t>(name.size(), MAX_PATH - 1);
  name.copy(out->cFileName, length);
  out->cFileName[length] = L'\0';
  size_t short_length = std::min<size_t>(short_name.size(), std::size(out->cAlternateFileName) - 1);
  short_name.copy(out->cAlternateFileName, short_length);
  out->cAlternateFileName[short_length] = L'\0';
}

// The next entry of the listing that still exists.
bool NextEntry(FindState& state, WIN32_FIND_DATAW* find_data) {
  while (state.next < state.entries.size()) {
    const FindState::Entry& entry = state.entries[state.next++];
    std::string path;
    if (entry.host_name == ".")
      path = state.directory;
    else if (entry.host_name == "..")
      path = ParentOf(state.directory);
    else
      path = state.directory + (state.directory.back() == '/' ? "" : "/") + entry.host_name;
    HostInfo info;
    if (ReadHostInfo(HostObject{path, -1}, &info) != 0)
      continue;  // gone since the directory was read
    FillFindData(info, entry.windows_name, entry.short_name, find_data);
    return true;
  }
  return false;
}

}  // namespace

HANDLE PosixOs::FindFirstFileW(const wchar_t* file_name, WIN32_FIND_DATAW* find_data) {
  auto fail = [](DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  };
  if (file_name == nullptr || find_data == nullptr || *file_name == L'\0')
    return fail(ERROR_INVALID_PARAMETER);
  std::wstring directory_text;
  std::wstring_view pattern;
  SplitPattern(file_name, &directory_text, &pattern);
  auto state = std::make_unique<FindState>();

  if (!pattern.empty() && !HasWildcards(pattern)) {
    // One named object, itself: a link is not followed.
    ResolvedPath resolved;
    HostInfo info;
    DWORD error = ResolveExisting(resolver_, file_name, &resolved, &info);
    if (error != ERROR_SUCCESS)
      return fail(error);
    if (resolved.IsRoot())
      return fail(ERROR_FILE_NOT_FOUND);
    std::string host_name = resolved.host.substr(resolved.host.rfind('/') + 1);
    std::wstring short_name;
    if (resolved.volume != nullptr && resolved.volume->short_names)
      short_name = ShortNameInDirectory(ParentOf(resolved.host), host_name);
    FillFindData(info, WindowsNameFromHost(host_name), short_name, find_data);
  } else {
    if (!IsValidPattern(pattern))
      return fail(ERROR_INVALID_NAME);
    ResolvedPath directory;
    HostInfo info;
    DWORD error = ResolveExisting(resolver_, directory_text.c_str(), &directory, &info);
    if (error == ERROR_FILE_NOT_FOUND)
      error = ERROR_PATH_NOT_FOUND;
    if (error != ERROR_SUCCESS)
      return fail(error);
    if (!info.is_directory)
      return fail(ERROR_PATH_NOT_FOUND);
    // A directory whose own attributes cannot be read is not copied as if
    // they were the defaults.
    if (info.dos_info_damaged)
      return fail(ERROR_FILE_CORRUPT);
    // "C:\dir\" names no entry.
    if (pattern.empty())
      return fail(ERROR_FILE_NOT_FOUND);
    DIR* listing = ::opendir(directory.host.c_str());
    if (listing == nullptr)
      return fail(HostError(errno, directory.host));
    std::wstring expression = ListingExpression(pattern);
    bool all = expression == L"*";
    bool short_names = directory.volume != nullptr && directory.volume->short_names;
    std::vector<std::string> host_names;  // every name, for the aliases
    while (struct dirent* entry = ::readdir(listing)) {
      std::string host_name = entry->d_name;
      if (short_names)
        host_names.push_back(host_name);
      // A root lists no entries for itself and its parent.
      if ((host_name == "." || host_name == "..") && directory.IsRoot())
        continue;
      std::wstring windows_name = WindowsNameFromHost(host_name);
      if (all || MatchesExpression(expression, windows_name))
        state->entries.push_back({std::move(host_name), std::move(windows_name), L""});
    }
    ::closedir(listing);
    if (short_names) {
      auto aliases = ShortNamesByHostName(std::move(host_names));
      for (FindState::Entry& entry : state->entries) {
        auto found = aliases.find(entry.host_name);
        if (found != aliases.end())
          entry.short_name = found->second;
      }
    }
    std::sort(state->entries.begin(), state->entries.end(), ListsBefore);
    state->directory = directory.host;
    if (!NextEntry(*state, find_data))
      return fail(ERROR_FILE_NOT_FOUND);
  }
  auto object = std::make_shared<HandleObject>(HandleObject::Kind::kFind, -1, false);
  object->path = file_name;
  object->find = std::move(state);
  HANDLE handle = handles_.Add(std::move(object));
  SetLastError(ERROR_SUCCESS);
  return handle;
}

BOOL PosixOs::FindNextFileW(HANDLE find, WIN32_FIND_DATAW* find_data) {
  std::shared_ptr<HandleObject> object = Lookup(find);
  if (object == nullptr)
    return FALSE;
  if (object->kind != HandleObject::Kind::kFind || find_data == nullptr) {
    SetLastError(object->kind != HandleObject::Kind::kFind ? ERROR_INVALID_HANDLE
                                                           : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!NextEntry(*object->find, find_data)) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  return TRUE;
}

BOOL PosixOs::FindClose(HANDLE find) {
  std::shared_ptr<HandleObject> object = Lookup(find);
  if (object == nullptr)
    return FALSE;
  if (object->kind != HandleObject::Kind::kFind) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  handles_.Remove(find);
  return TRUE;
}

}  // namespace tarvik
