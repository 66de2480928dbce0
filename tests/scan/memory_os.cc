#include "memory_os.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "scan/name_filters.h"
#include "util/text.h"

namespace tarvik {
namespace {

const HANDLE kStdOutput = reinterpret_cast<HANDLE>(11);

std::wstring_view LastComponent(const std::wstring& key) {
  size_t separator = key.rfind(L'\\');
  return separator == std::wstring::npos ? std::wstring_view(key)
                                         : std::wstring_view(key).substr(separator + 1);
}

bool HasWildcard(std::wstring_view text) {
  return text.find_first_of(L"*?") != std::wstring_view::npos;
}

void SetName(WIN32_FIND_DATAW* data, std::wstring_view name) {
  std::fill(std::begin(data->cFileName), std::end(data->cFileName), L'\0');
  std::copy_n(name.data(), std::min<size_t>(name.size(), MAX_PATH - 1), data->cFileName);
}

FILETIME ToFileTime(int64_t value) {
  uint64_t bits = static_cast<uint64_t>(value);
  return FILETIME{static_cast<DWORD>(bits), static_cast<DWORD>(bits >> 32)};
}

}  // namespace

MemoryOs::MemoryOs() {
  previous_ = Os::Install(this);
}

MemoryOs::~MemoryOs() {
  Os::Install(previous_);
}

std::wstring MemoryOs::Key(std::wstring_view path) {
  std::wstring text(path);
  if (text.starts_with(L"\\\\?\\UNC\\")) {
    text = L"\\\\" + text.substr(8);
  } else if (text.starts_with(L"\\\\?\\")) {
    text = text.substr(4);
  }
  while (!text.empty() && text.back() == L'\\')
    text.pop_back();
  bool absolute = text.starts_with(L"\\\\") || (text.size() >= 2 && text[1] == L':');
  if (!absolute)
    text = L"C:\\cwd\\" + text;
  return ToLowerAscii(text);
}

std::wstring MemoryOs::ParentKey(const std::wstring& key) {
  size_t separator = key.rfind(L'\\');
  if (separator == std::wstring::npos || separator < 2)
    return std::wstring();
  return key.substr(0, separator);
}

DWORD MemoryOs::CheckNetwork(const std::wstring& key) const {
  if (!key.starts_with(L"\\\\"))
    return ERROR_SUCCESS;
  size_t server_end = key.find(L'\\', 2);
  std::wstring server =
      key.substr(2, server_end == std::wstring::npos ? std::wstring::npos : server_end - 2);
  if (servers_.count(server) == 0)
    return ERROR_BAD_NETPATH;
  if (server_end == std::wstring::npos)
    return ERROR_BAD_NET_NAME;
  size_t share_end = key.find(L'\\', server_end + 1);
  std::wstring share = key.substr(0, share_end);
  return shares_.count(share) != 0 ? ERROR_SUCCESS : ERROR_BAD_NET_NAME;
}

void MemoryOs::AddShare(const std::wstring& server, const std::wstring& share) {
  std::lock_guard lock(mutex_);
  servers_.insert(ToLowerAscii(server));
  std::wstring path = L"\\\\" + server + L"\\" + share;
  shares_.insert(Key(path));
  Node& node = nodes_[Key(path)];
  node.data.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
  SetName(&node.data, share);
}

MemoryOs::Node& MemoryOs::AddNode(const std::wstring& path, DWORD attributes) {
  std::wstring key = Key(path);
  std::wstring parent = ParentKey(key);
  if (!parent.empty() && nodes_.count(parent) == 0) {
    size_t separator = path.find_last_of(L'\\', path.size() - 1);
    AddNode(path.substr(0, separator), FILE_ATTRIBUTE_DIRECTORY);
  }
  auto [it, inserted] = nodes_.try_emplace(key);
  if (inserted && !parent.empty())
    nodes_[parent].children.push_back(key);
  Node& node = it->second;
  node.data.dwFileAttributes = attributes;
  std::wstring_view name = path;
  size_t separator = name.rfind(L'\\');
  SetName(&node.data, separator == std::wstring_view::npos ? name : name.substr(separator + 1));
  return node;
}

void MemoryOs::AddDirectory(const std::wstring& path, int64_t last_write, DWORD extra_attributes,
                            DWORD reparse_tag) {
  std::lock_guard lock(mutex_);
  Node& node = AddNode(path, FILE_ATTRIBUTE_DIRECTORY | extra_attributes);
  node.data.ftLastWriteTime = ToFileTime(last_write);
  node.data.dwReserved0 = reparse_tag;
}

void MemoryOs::AddFile(const std::wstring& path, uint64_t size, int64_t last_write,
                       const std::wstring& short_name) {
  std::lock_guard lock(mutex_);
  Node& node = AddNode(path, FILE_ATTRIBUTE_ARCHIVE);
  node.data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
  node.data.nFileSizeLow = static_cast<DWORD>(size);
  node.data.ftLastWriteTime = ToFileTime(last_write);
  std::copy_n(short_name.data(), std::min<size_t>(short_name.size(), 13),
              node.data.cAlternateFileName);
}

bool MemoryOs::Exists(const std::wstring& path) const {
  std::lock_guard lock(mutex_);
  return nodes_.count(Key(path)) != 0;
}

void MemoryOs::Fail(const std::string& call, const std::wstring& path, DWORD error, int times) {
  std::lock_guard lock(mutex_);
  failures_.push_back(Failure{call, path.empty() ? std::wstring() : Key(path), error, times});
}

bool MemoryOs::Injected(const std::string& call, const std::wstring& key) {
  for (Failure& failure : failures_) {
    if (failure.times > 0 && failure.call == call && (failure.key.empty() || failure.key == key)) {
      --failure.times;
      Os::SetLastError(failure.error);
      return true;
    }
  }
  return false;
}

HANDLE MemoryOs::NewHandle(Handle handle) {
  uintptr_t id = next_handle_++;
  handles_[id] = std::move(handle);
  return reinterpret_cast<HANDLE>(id);
}

std::wstring MemoryOs::console() {
  std::lock_guard lock(console_mutex_);
  return console_;
}

std::vector<std::wstring> MemoryOs::find_first_paths() {
  std::lock_guard lock(mutex_);
  return find_first_paths_;
}

std::vector<std::wstring> MemoryOs::created_directories() {
  std::lock_guard lock(mutex_);
  return created_;
}

HANDLE MemoryOs::GetStdHandle(DWORD which) {
  return kStdOutput;
}

BOOL MemoryOs::WriteConsoleW(HANDLE console, const wchar_t* text, DWORD length, DWORD* written) {
  std::lock_guard lock(console_mutex_);
  console_.append(text, length);
  *written = length;
  return TRUE;
}

DWORD MemoryOs::FormatMessageW(DWORD flags, const void* source, DWORD message_id, DWORD language_id,
                               wchar_t* buffer, DWORD size, void* arguments) {
  Os::SetLastError(ERROR_MR_MID_NOT_FOUND);
  return 0;
}

HANDLE MemoryOs::CreateFileW(const wchar_t* file_name, DWORD desired_access, DWORD share_mode,
                             SECURITY_ATTRIBUTES* security_attributes, DWORD creation_disposition,
                             DWORD flags_and_attributes, HANDLE template_file) {
  std::lock_guard lock(mutex_);
  std::wstring key = Key(file_name);
  if (Injected("CreateFileW", key))
    return INVALID_HANDLE_VALUE;
  if (DWORD error = CheckNetwork(key); error != ERROR_SUCCESS) {
    Os::SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  if (nodes_.count(key) == 0) {
    Os::SetLastError(nodes_.count(ParentKey(key)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  Handle handle;
  handle.key = key;
  return NewHandle(std::move(handle));
}

BOOL MemoryOs::ReadFile(HANDLE file, void* buffer, DWORD bytes_to_read, DWORD* bytes_read,
                        OVERLAPPED* overlapped) {
  std::lock_guard lock(mutex_);
  Os::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return FALSE;
}

BOOL MemoryOs::WriteFile(HANDLE file, const void* buffer, DWORD bytes_to_write,
                         DWORD* bytes_written, OVERLAPPED* overlapped) {
  std::lock_guard lock(mutex_);
  Os::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return FALSE;
}

DWORD MemoryOs::SetFilePointer(HANDLE file, LONG distance_low, LONG* distance_high, DWORD method) {
  std::lock_guard lock(mutex_);
  Os::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return INVALID_SET_FILE_POINTER;
}

BOOL MemoryOs::CloseHandle(HANDLE object) {
  std::lock_guard lock(mutex_);
  if (handles_.erase(reinterpret_cast<uintptr_t>(object)) == 0) {
    Os::SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL MemoryOs::GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information) {
  std::lock_guard lock(mutex_);
  auto it = handles_.find(reinterpret_cast<uintptr_t>(file));
  if (it == handles_.end()) {
    Os::SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (Injected("GetFileInformationByHandle", it->second.key))
    return FALSE;
  const WIN32_FIND_DATAW& data = nodes_[it->second.key].data;
  *information = BY_HANDLE_FILE_INFORMATION{};
  information->dwFileAttributes = data.dwFileAttributes;
  information->ftCreationTime = data.ftCreationTime;
  information->ftLastAccessTime = data.ftLastAccessTime;
  information->ftLastWriteTime = data.ftLastWriteTime;
  information->nFileSizeHigh = data.nFileSizeHigh;
  information->nFileSizeLow = data.nFileSizeLow;
  // Every path names its own object: its key tells it apart.
  const uint64_t index = std::hash<std::wstring>{}(it->second.key);
  information->nFileIndexHigh = static_cast<DWORD>(index >> 32);
  information->nFileIndexLow = static_cast<DWORD>(index);
  return TRUE;
}

BOOL MemoryOs::GetFileTime(HANDLE file, FILETIME* creation, FILETIME* last_access,
                           FILETIME* last_write) {
  std::lock_guard lock(mutex_);
  auto it = handles_.find(reinterpret_cast<uintptr_t>(file));
  if (it == handles_.end()) {
    Os::SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  const WIN32_FIND_DATAW& data = nodes_[it->second.key].data;
  *creation = data.ftCreationTime;
  *last_access = data.ftLastAccessTime;
  *last_write = data.ftLastWriteTime;
  return TRUE;
}

BOOL MemoryOs::SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* last_access,
                           const FILETIME* last_write) {
  std::lock_guard lock(mutex_);
  ++set_file_time_calls_;
  auto it = handles_.find(reinterpret_cast<uintptr_t>(file));
  if (it == handles_.end()) {
    Os::SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (Injected("SetFileTime", it->second.key))
    return FALSE;
  WIN32_FIND_DATAW& data = nodes_[it->second.key].data;
  if (creation != nullptr)
    data.ftCreationTime = *creation;
  if (last_access != nullptr)
    data.ftLastAccessTime = *last_access;
  if (last_write != nullptr)
    data.ftLastWriteTime = *last_write;
  return TRUE;
}

DWORD MemoryOs::GetFileAttributesW(const wchar_t* file_name) {
  std::lock_guard lock(mutex_);
  auto it = nodes_.find(Key(file_name));
  if (it == nodes_.end()) {
    Os::SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  return it->second.data.dwFileAttributes;
}

HANDLE MemoryOs::FindFirstFileW(const wchar_t* file_name, WIN32_FIND_DATAW* find_data) {
  std::lock_guard lock(mutex_);
  find_first_paths_.push_back(file_name);
  std::wstring key = Key(file_name);
  if (Injected("FindFirstFileW", key))
    return INVALID_HANDLE_VALUE;
  if (DWORD error = CheckNetwork(key); error != ERROR_SUCCESS) {
    Os::SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  std::wstring_view last = LastComponent(key);
  Handle handle;
  handle.search = true;
  if (HasWildcard(last)) {
    std::wstring directory = ParentKey(key);
    auto dir = nodes_.find(directory);
    if (dir == nodes_.end()) {
      Os::SetLastError(ERROR_PATH_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    std::wstring pattern(last);
    if (WildcardMatch(std::wstring_view(L"."), pattern)) {
      WIN32_FIND_DATAW dot{};
      dot.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
      SetName(&dot, L".");
      handle.found.push_back(dot);
      SetName(&dot, L"..");
      handle.found.push_back(dot);
    }
    for (const std::wstring& child : dir->second.children) {
      if (WildcardMatch(LastComponent(child), pattern))
        handle.found.push_back(nodes_[child].data);
    }
  } else if (auto it = nodes_.find(key); it != nodes_.end() && ParentKey(key) != L"") {
    handle.found.push_back(it->second.data);
  }
  if (handle.found.empty()) {
    bool parent_exists = nodes_.count(ParentKey(key)) != 0 || nodes_.count(key) != 0;
    Os::SetLastError(parent_exists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  *find_data = handle.found[0];
  handle.next = 1;
  handle.key = key;
  return NewHandle(std::move(handle));
}

BOOL MemoryOs::FindNextFileW(HANDLE find, WIN32_FIND_DATAW* find_data) {
  std::lock_guard lock(mutex_);
  auto it = handles_.find(reinterpret_cast<uintptr_t>(find));
  if (it == handles_.end() || !it->second.search) {
    Os::SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (Injected("FindNextFileW", ParentKey(it->second.key)))
    return FALSE;
  Handle& handle = it->second;
  if (handle.next >= handle.found.size()) {
    Os::SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  *find_data = handle.found[handle.next++];
  return TRUE;
}

BOOL MemoryOs::FindClose(HANDLE find) {
  std::lock_guard lock(mutex_);
  return CloseHandle(find);
}

BOOL MemoryOs::CreateDirectoryW(const wchar_t* path, SECURITY_ATTRIBUTES* security_attributes) {
  std::lock_guard lock(mutex_);
  std::wstring key = Key(path);
  if (Injected("CreateDirectoryW", key))
    return FALSE;
  if (DWORD error = CheckNetwork(key); error != ERROR_SUCCESS) {
    Os::SetLastError(error);
    return FALSE;
  }
  if (nodes_.count(key) != 0) {
    Os::SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  if (nodes_.count(ParentKey(key)) == 0) {
    Os::SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  created_.push_back(path);
  std::wstring name(path);
  if (name.starts_with(L"\\\\?\\UNC\\"))
    name = L"\\\\" + name.substr(8);
  else if (name.starts_with(L"\\\\?\\"))
    name = name.substr(4);
  AddDirectory(name);
  return TRUE;
}

DWORD MemoryOs::GetFullPathNameW(const wchar_t* file_name, DWORD size, wchar_t* buffer,
                                 wchar_t** file_part) {
  std::wstring path = file_name;
  bool absolute = path.starts_with(L"\\\\") || path.starts_with(L"/") ||
                  (path.size() >= 3 && path[1] == L':' && path[2] == L'\\');
  std::wstring full = absolute ? path : L"C:\\cwd\\" + path;
  if (full.size() + 1 > size)
    return static_cast<DWORD>(full.size() + 1);
  std::copy(full.begin(), full.end(), buffer);
  buffer[full.size()] = L'\0';
  return static_cast<DWORD>(full.size());
}

bool MemoryOs::LocalTime(int64_t seconds, std::tm* out) {
  *out = std::tm{};
  return true;
}

BOOL MemoryOs::QueryPerformanceCounter(LARGE_INTEGER* count) {
  count->QuadPart = counter_ += 10;
  return TRUE;
}

BOOL MemoryOs::QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  frequency->QuadPart = 1000000;
  return TRUE;
}

void MemoryOs::Sleep(DWORD milliseconds) {
  int sleeps;
  {
    std::lock_guard lock(mutex_);
    sleeps = ++sleeps_;
    slept_ += milliseconds;
  }
  if (on_sleep_)
    on_sleep_(sleeps);
}

}  // namespace tarvik
