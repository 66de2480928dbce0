// An Os that fails chosen calls on chosen paths with chosen errors, a chosen
// number of times, and passes everything else to the Os it wraps. The world's
// "faults" configure it for runs of the whole program.
#ifndef TARVIK_PLATFORM_FAULT_OS_H_
#define TARVIK_PLATFORM_FAULT_OS_H_

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/os.h"
#include "platform/world.h"

namespace tarvik {

struct FaultableCall {
  const wchar_t* name;
  bool takes_path;  // a path or server argument, or a handle opened on a path
};

// The calls a fault may name; null for any other name.
const FaultableCall* FindFaultableCall(std::wstring_view name);

// Case-insensitive match of a path against a pattern where '*' stands for any
// run of characters and '?' for one. '/' and '\' are the same separator, and
// the long prefixes \\?\ and \\?\UNC\ are ignored on both sides.
bool MatchesPathPattern(std::wstring_view pattern, std::wstring_view path);

class FaultOs : public Os {
 public:
  FaultOs(std::unique_ptr<Os> inner, std::vector<WorldFault> faults);

  Os& inner() { return *inner_; }

  UINT SetErrorMode(UINT mode) override;
  HANDLE GetStdHandle(DWORD which) override;
  BOOL GetConsoleMode(HANDLE console, DWORD* mode) override;
  BOOL SetConsoleMode(HANDLE console, DWORD mode) override;
  BOOL SetConsoleTextAttribute(HANDLE console, WORD attributes) override;
  BOOL WriteConsoleW(HANDLE console, const wchar_t* text, DWORD length, DWORD* written) override;
  BOOL GetComputerNameW(wchar_t* buffer, DWORD* size) override;
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
  BOOL FlushFileBuffers(HANDLE file) override;
  BOOL CloseHandle(HANDLE object) override;

  int64_t time() override;
  bool LocalTime(int64_t seconds, std::tm* out) override;
  void GetSystemTimeAsFileTime(FILETIME* now) override;
  BOOL QueryPerformanceCounter(LARGE_INTEGER* count) override;
  BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) override;
  void Sleep(DWORD milliseconds) override;
  DWORD GetCurrentThreadId() override;
  BOOL SetCurrentThreadPriority(int priority) override;

 private:
  struct Rule {
    WorldFault fault;
    uint64_t matched = 0;  // calls that matched so far
  };

  // True, with the last error set, when this call must fail.
  bool Inject(std::wstring_view call, std::wstring_view path);
  std::wstring PathOf(HANDLE handle);

  std::unique_ptr<Os> inner_;
  std::mutex mutex_;
  std::vector<Rule> rules_;
  std::unordered_map<HANDLE, std::wstring> paths_;  // handles opened through CreateFileW
};

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_FAULT_OS_H_
