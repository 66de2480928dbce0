// An Os with an in-memory tree for the scanner's tests: directory listings
// with the platform's '*' and '?' patterns, single-object queries, directory
// creation and time setting, scripted failures, a recorded console, and
// sleeps that only count (a hook may act on them, for instance to abort).
#ifndef TARVIK_TESTS_SCAN_MEMORY_OS_H_
#define TARVIK_TESTS_SCAN_MEMORY_OS_H_

#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/os.h"

namespace tarvik {

class MemoryOs : public Os {
 public:
  MemoryOs();
  ~MemoryOs() override;

  // --- The tree. Paths are Windows paths ("C:\src\a.txt", "\\SRV\share\x");
  // parents are created as needed. A UNC path's server and share must be
  // added first. Times are FILETIME values.
  void AddShare(const std::wstring& server, const std::wstring& share);
  void AddDirectory(const std::wstring& path, int64_t last_write = 0, DWORD extra_attributes = 0,
                    DWORD reparse_tag = 0);
  void AddFile(const std::wstring& path, uint64_t size = 0, int64_t last_write = 0,
               const std::wstring& short_name = L"");
  bool Exists(const std::wstring& path) const;

  // The next `times` calls of `call` ("FindFirstFileW", "FindNextFileW",
  // "CreateFileW", "GetFileInformationByHandle", "SetFileTime",
  // "CreateDirectoryW") on path (any path when empty) fail with error.
  void Fail(const std::string& call, const std::wstring& path, DWORD error, int times);

  // --- What the test looks at ---
  std::wstring console();
  std::vector<std::wstring> find_first_paths();
  std::vector<std::wstring> created_directories();
  int sleeps() const {
    std::lock_guard lock(mutex_);
    return sleeps_;
  }
  DWORD slept_milliseconds() const {
    std::lock_guard lock(mutex_);
    return slept_;
  }
  // Called after each Sleep with the number of sleeps so far.
  void set_on_sleep(std::function<void(int)> hook) { on_sleep_ = std::move(hook); }
  int open_handles() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(handles_.size());
  }
  int set_file_time_calls() const {
    std::lock_guard lock(mutex_);
    return set_file_time_calls_;
  }

  // --- Os ---
  UINT SetErrorMode(UINT mode) override { return 0; }
  HANDLE GetStdHandle(DWORD which) override;
  BOOL GetConsoleMode(HANDLE console, DWORD* mode) override { return FALSE; }
  BOOL SetConsoleMode(HANDLE console, DWORD mode) override { return FALSE; }
  BOOL SetConsoleTextAttribute(HANDLE console, WORD attributes) override { return TRUE; }
  BOOL WriteConsoleW(HANDLE console, const wchar_t* text, DWORD length, DWORD* written) override;
  BOOL GetComputerNameW(wchar_t* buffer, DWORD* size) override { return FALSE; }
  DWORD FormatMessageW(DWORD flags, const void* source, DWORD message_id, DWORD language_id,
                       wchar_t* buffer, DWORD size, void* arguments) override;
  HANDLE CreateFileW(const wchar_t* file_name, DWORD desired_access, DWORD share_mode,
                     SECURITY_ATTRIBUTES* security_attributes, DWORD creation_disposition,
                     DWORD flags_and_attributes, HANDLE template_file) override;
  BOOL ReadFile(HANDLE file, void* buffer, DWORD bytes_to_read, DWORD* bytes_read,
                OVERLAPPED* overlapped) override;
  BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytes_to_write, DWORD* bytes_written,
                 OVERLAPPED* overlapped) override;
  DWORD SetFilePointer(HANDLE file, LONG distance_low, LONG* distance_high, DWORD method) override;
  BOOL FlushFileBuffers(HANDLE file) override { return TRUE; }
  BOOL CloseHandle(HANDLE object) override;
  BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information) override;
  BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* last_access,
                   FILETIME* last_write) override;
  BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* last_access,
                   const FILETIME* last_write) override;
  DWORD GetFileAttributesW(const wchar_t* file_name) override;
  HANDLE FindFirstFileW(const wchar_t* file_name, WIN32_FIND_DATAW* find_data) override;
  BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* find_data) override;
  BOOL FindClose(HANDLE find) override;
  BOOL CreateDirectoryW(const wchar_t* path, SECURITY_ATTRIBUTES* security_attributes) override;
  // Relative paths are taken from the current directory C:\cwd.
  DWORD GetFullPathNameW(const wchar_t* file_name, DWORD size, wchar_t* buffer,
                         wchar_t** file_part) override;
  int64_t time() override { return 1700000000; }
  bool LocalTime(int64_t seconds, std::tm* out) override;
  void GetSystemTimeAsFileTime(FILETIME* now) override { *now = FILETIME{0, 0}; }
  BOOL QueryPerformanceCounter(LARGE_INTEGER* count) override;
  BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) override;
  void Sleep(DWORD milliseconds) override;
  DWORD GetCurrentThreadId() override { return 1; }
  BOOL SetCurrentThreadPriority(int priority) override { return TRUE; }

 private:
  struct Node {
    WIN32_FIND_DATAW data{};
    std::vector<std::wstring> children;  // keys, in the order added
  };
  struct Handle {
    bool search = false;
    std::vector<WIN32_FIND_DATAW> found;
    size_t next = 0;
    std::wstring key;  // files
  };
  struct Failure {
    std::string call;
    std::wstring key;
    DWORD error;
    int times;
  };

  // Lower-cased, without the long prefixes and without trailing '\'.
  static std::wstring Key(std::wstring_view path);
  static std::wstring ParentKey(const std::wstring& key);
  Node& AddNode(const std::wstring& path, DWORD attributes);
  // ERROR_SUCCESS, or the error of a network path whose server or share is
  // unknown.
  DWORD CheckNetwork(const std::wstring& key) const;
  bool Injected(const std::string& call, const std::wstring& key);
  HANDLE NewHandle(Handle handle);

  std::map<std::wstring, Node> nodes_;
  std::set<std::wstring> servers_;
  std::set<std::wstring> shares_;
  std::vector<Failure> failures_;
  std::map<uintptr_t, Handle> handles_;
  uintptr_t next_handle_ = 100;
  // Every call may come from any thread, as the platform's contract says.
  mutable std::recursive_mutex mutex_;
  std::mutex console_mutex_;
  std::wstring console_;
  std::vector<std::wstring> find_first_paths_;
  std::vector<std::wstring> created_;
  int sleeps_ = 0;
  DWORD slept_ = 0;
  std::function<void(int)> on_sleep_;
  int64_t counter_ = 0;
  int set_file_time_calls_ = 0;
  Os* previous_ = nullptr;
};

}  // namespace tarvik

#endif  // TARVIK_TESTS_SCAN_MEMORY_OS_H_
