// The Linux implementation of Os: the Windows calls the program makes, served
// by the host through the world (platform/world.h) that describes the
// Windows machine the program sees.
#ifndef TARVIK_PLATFORM_POSIX_POSIX_OS_H_
#define TARVIK_PLATFORM_POSIX_POSIX_OS_H_

#include <atomic>
#include <memory>
#include <string>

#include "platform/os.h"
#include "platform/posix/handle_table.h"
#include "platform/posix/path_resolver.h"
#include "platform/world.h"

namespace tarvik {

class PosixOs : public Os {
 public:
  // The host descriptors behind the three standard handles.
  struct StdFds {
    int input = 0;
    int output = 1;
    int error = 2;
  };

  explicit PosixOs(World world);
  PosixOs(World world, StdFds std_fds);

  const World& world() const { return world_; }

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
  HANDLE AddConsole(int fd, DWORD initial_mode);
  // The open handle, or null with ERROR_INVALID_HANDLE set.
  std::shared_ptr<HandleObject> Lookup(HANDLE handle) const;
  BOOL WriteAll(HandleObject& object, const char* data, size_t size, size_t* written);
  // ERROR_PATH_NOT_FOUND when a directory above host_path is missing,
  // ERROR_FILE_NOT_FOUND otherwise.
  static DWORD NotFoundError(const std::string& host_path);

  World world_;
  PathResolver resolver_;
  HandleTable handles_;
  HANDLE std_input_;
  HANDLE std_output_;
  HANDLE std_error_;
  std::atomic<UINT> error_mode_{0};
  int base_nice_ = 0;  // the process's nice value, priority "normal"
};

// The current directory in the world's terms (the drive that holds the host's
// working directory, or the host path itself).
std::wstring HostCurrentDirectory(const World& world);

// Loads the world (TARVIK_WORLD or the host's own) and returns the Os for it
// (wrapped in a FaultOs when the world has faults), or null with *error set to
// the full message. Also makes writes to a closed
// pipe fail with an error instead of ending the process, as on Windows.
std::unique_ptr<Os> CreatePosixOs(std::wstring* error);

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_POSIX_POSIX_OS_H_
