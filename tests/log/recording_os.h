// An Os for the log tests: records console output with the text attribute in
// effect, keeps files in memory, runs a clock that only the test moves, and
// lets a test hold the console so that the writer blocks.
#ifndef TARVIK_TESTS_LOG_RECORDING_OS_H_
#define TARVIK_TESTS_LOG_RECORDING_OS_H_

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/os.h"

namespace tarvik {

class RecordingOs : public Os {
 public:
  struct ConsoleWrite {
    HANDLE handle;
    WORD attribute;
    std::wstring text;
  };

  static HANDLE StdOutput() { return reinterpret_cast<HANDLE>(11); }
  static HANDLE StdInput() { return reinterpret_cast<HANDLE>(10); }
  static constexpr int64_t kStartTime = 1700000000;  // 22:13:20 UTC

  RecordingOs();

  // --- What the test looks at and controls ---
  std::vector<ConsoleWrite> console_writes();
  std::wstring console_text();  // everything written to standard output
  std::vector<WORD> attribute_calls();
  void AdvanceClock(int64_t seconds) { clock_ += seconds; }
  // While held, console writes block until Release.
  void HoldConsole();
  void ReleaseConsole();
  // Called on the writer's thread by the calling test thread.
  static void SetThreadIdForThisThread(DWORD id);

  void SetFile(const std::wstring& path, const std::string& bytes);
  std::string FileBytes(const std::wstring& path);
  bool FileExists(const std::wstring& path);
  int WriteFileCalls(const std::wstring& path);
  int OpenHandles();
  void FailOpen(const std::wstring& path, DWORD error);
  void FailWrites(const std::wstring& path, DWORD error);
  void FailReads(DWORD error) { read_error_ = error; }
  void SetInputMode(DWORD mode) { input_mode_ = mode; }
  std::vector<DWORD> set_input_modes();
  std::set<int> thread_priorities_set();

  // --- Os ---
  UINT SetErrorMode(UINT mode) override { return 0; }
  HANDLE GetStdHandle(DWORD which) override;
  BOOL GetConsoleMode(HANDLE console, DWORD* mode) override;
  BOOL SetConsoleMode(HANDLE console, DWORD mode) override;
  BOOL SetConsoleTextAttribute(HANDLE console, WORD attributes) override;
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
  BOOL FlushFileBuffers(HANDLE file) override;
  BOOL CloseHandle(HANDLE object) override;
  int64_t time() override { return clock_; }
  bool LocalTime(int64_t seconds, std::tm* out) override;
  void GetSystemTimeAsFileTime(FILETIME* now) override { *now = FILETIME{0, 0}; }
  BOOL QueryPerformanceCounter(LARGE_INTEGER* count) override;
  BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) override;
  void Sleep(DWORD milliseconds) override;
  DWORD GetCurrentThreadId() override;
  BOOL SetCurrentThreadPriority(int priority) override;

 private:
  struct OpenFile {
    std::wstring path;
    size_t position = 0;
  };

  std::mutex mutex_;
  std::condition_variable console_released_;
  bool console_held_ = false;
  std::vector<ConsoleWrite> console_writes_;
  std::vector<WORD> attribute_calls_;
  WORD attribute_ = 7;
  std::atomic<int64_t> clock_{kStartTime};
  std::map<std::wstring, std::string> files_;
  std::map<std::wstring, int> write_calls_;
  std::map<std::wstring, DWORD> open_failures_;
  std::map<std::wstring, DWORD> write_failures_;
  std::map<uintptr_t, OpenFile> handles_;
  uintptr_t next_handle_ = 100;
  std::atomic<DWORD> read_error_{0};
  std::atomic<DWORD> input_mode_{0};
  std::vector<DWORD> set_input_modes_;
  std::set<int> priorities_;
  std::atomic<DWORD> next_thread_id_{1000};
};

}  // namespace tarvik

#endif  // TARVIK_TESTS_LOG_RECORDING_OS_H_
