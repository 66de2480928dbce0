#include "platform/win32/win32_os.h"

#include <algorithm>
#include <ctime>
#include <string>
#include <string_view>

#include "util/utf.h"

#include "platform/win32/win32_call.h"

namespace tarvik {
namespace {

bool IsConsole(HANDLE handle) {
  ::DWORD mode = 0;
  return ::GetConsoleMode(handle, &mode) != 0;
}

// A positioned transfer on a synchronous handle moves the file pointer to
// its end on Windows; the Os contract leaves the pointer where it was, so it
// is put back. (Threads transferring through one handle at once may leave it
// where another of them found it; the engine sets the pointer itself before
// it relies on it.)
class FilePointerKeeper {
 public:
  FilePointerKeeper(HANDLE file, bool positioned) : file_(file) {
    ::LARGE_INTEGER zero{};
    kept_ = positioned && ::SetFilePointerEx(file, zero, &position_, FILE_CURRENT) != 0;
  }
  ~FilePointerKeeper() {
    if (kept_)
      ::SetFilePointerEx(file_, position_, nullptr, FILE_BEGIN);
  }
  FilePointerKeeper(const FilePointerKeeper&) = delete;
  FilePointerKeeper& operator=(const FilePointerKeeper&) = delete;

 private:
  HANDLE file_;
  ::LARGE_INTEGER position_{};
  bool kept_ = false;
};

}  // namespace

UINT Win32Os::SetErrorMode(UINT mode) {
  return ::SetErrorMode(mode);
}

HANDLE Win32Os::GetStdHandle(DWORD which) {
  return Kept(::GetStdHandle(which));
}

BOOL Win32Os::GetConsoleMode(HANDLE console, DWORD* mode) {
  return Kept(::GetConsoleMode(console, As<::DWORD>(mode)));
}

BOOL Win32Os::SetConsoleMode(HANDLE console, DWORD mode) {
  return Kept(::SetConsoleMode(console, mode));
}

BOOL Win32Os::SetConsoleTextAttribute(HANDLE console, WORD attributes) {
  if (!IsConsole(console))
    return FailWith(TRUE, ERROR_SUCCESS);  // redirected: no colours to set
  return Kept(::SetConsoleTextAttribute(console, attributes));
}

BOOL Win32Os::WriteConsoleW(HANDLE console, const wchar_t* text, DWORD length, DWORD* written) {
  if (written != nullptr)
    *written = 0;
  if (IsConsole(console))
    return Kept(::WriteConsoleW(console, text, length, As<::DWORD>(written), nullptr));
  // A file or a pipe takes bytes: UTF-8, as on every other host.
  const std::string bytes = ToUtf8(std::wstring_view(text, length));
  size_t done = 0;
  while (done < bytes.size()) {
    const auto chunk = static_cast<::DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    ::DWORD wrote = 0;
    if (!::WriteFile(console, bytes.data() + done, chunk, &wrote, nullptr))
      return Kept(FALSE);
    done += wrote;
  }
  if (written != nullptr)
    *written = length;
  return FailWith(TRUE, ERROR_SUCCESS);
}

BOOL Win32Os::GetComputerNameW(wchar_t* buffer, DWORD* size) {
  return Kept(::GetComputerNameW(buffer, As<::DWORD>(size)));
}

DWORD Win32Os::FormatMessageW(DWORD flags, const void* source, DWORD message_id, DWORD language_id,
                              wchar_t* buffer, DWORD size, void* arguments) {
  return Kept(::FormatMessageW(flags, source, message_id, language_id, buffer, size,
                               static_cast<va_list*>(arguments)));
}

HANDLE Win32Os::CreateFileW(const wchar_t* file_name, DWORD desired_access, DWORD share_mode,
                            SECURITY_ATTRIBUTES* security_attributes, DWORD creation_disposition,
                            DWORD flags_and_attributes, HANDLE template_file) {
  return Kept(::CreateFileW(file_name, desired_access, share_mode,
                            As<::SECURITY_ATTRIBUTES>(security_attributes), creation_disposition,
                            flags_and_attributes, template_file));
}

BOOL Win32Os::ReadFile(HANDLE file, void* buffer, DWORD bytes_to_read, DWORD* bytes_read,
                       OVERLAPPED* overlapped) {
  FilePointerKeeper keeper(file, overlapped != nullptr);
  return Kept(::ReadFile(file, buffer, bytes_to_read, As<::DWORD>(bytes_read),
                         As<::OVERLAPPED>(overlapped)));
}

BOOL Win32Os::WriteFile(HANDLE file, const void* buffer, DWORD bytes_to_write, DWORD* bytes_written,
                        OVERLAPPED* overlapped) {
  FilePointerKeeper keeper(file, overlapped != nullptr);
  return Kept(::WriteFile(file, buffer, bytes_to_write, As<::DWORD>(bytes_written),
                          As<::OVERLAPPED>(overlapped)));
}

DWORD Win32Os::SetFilePointer(HANDLE file, LONG distance_low, LONG* distance_high, DWORD method) {
  return Kept(::SetFilePointer(file, distance_low, As<::LONG>(distance_high), method));
}

BOOL Win32Os::FlushFileBuffers(HANDLE file) {
  return Kept(::FlushFileBuffers(file));
}

BOOL Win32Os::CloseHandle(HANDLE object) {
  return Kept(::CloseHandle(object));
}

int64_t Win32Os::time() {
  return static_cast<int64_t>(std::time(nullptr));
}

bool Win32Os::LocalTime(int64_t seconds, std::tm* out) {
  const __time64_t value = seconds;
  return ::_localtime64_s(out, &value) == 0;
}

void Win32Os::GetSystemTimeAsFileTime(FILETIME* now) {
  ::GetSystemTimeAsFileTime(As<::FILETIME>(now));
}

BOOL Win32Os::QueryPerformanceCounter(LARGE_INTEGER* count) {
  return Kept(::QueryPerformanceCounter(As<::LARGE_INTEGER>(count)));
}

BOOL Win32Os::QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  return Kept(::QueryPerformanceFrequency(As<::LARGE_INTEGER>(frequency)));
}

void Win32Os::Sleep(DWORD milliseconds) {
  ::Sleep(milliseconds);
}

DWORD Win32Os::GetCurrentThreadId() {
  return ::GetCurrentThreadId();
}

BOOL Win32Os::SetCurrentThreadPriority(int priority) {
  return Kept(::SetThreadPriority(::GetCurrentThread(), priority));
}

void Win32Os::GetSystemInfo(SYSTEM_INFO* info) {
  ::GetSystemInfo(As<::SYSTEM_INFO>(info));
}

void Win32Os::GetNativeSystemInfo(SYSTEM_INFO* info) {
  ::GetNativeSystemInfo(As<::SYSTEM_INFO>(info));
}

BOOL Win32Os::GetVersionExW(OSVERSIONINFOEXW* info) {
  if (info == nullptr || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXW))
    return FailWith(FALSE, ERROR_INSUFFICIENT_BUFFER);
  const NTSTATUS status = ::RtlGetVersion(reinterpret_cast<::PRTL_OSVERSIONINFOW>(info));
  if (status != 0)
    return FailWith(FALSE, static_cast<DWORD>(::RtlNtStatusToDosError(status)));
  return FailWith(TRUE, ERROR_SUCCESS);
}

BOOL Win32Os::GetProductInfo(DWORD os_major, DWORD os_minor, DWORD sp_major, DWORD sp_minor,
                             DWORD* product_type) {
  return Kept(::GetProductInfo(os_major, os_minor, sp_major, sp_minor, As<::DWORD>(product_type)));
}

int Win32Os::GetSystemMetrics(int index) {
  return ::GetSystemMetrics(index);
}

void* Win32Os::VirtualAlloc(void* address, SIZE_T size, DWORD allocation_type, DWORD protect) {
  return Kept(::VirtualAlloc(address, size, allocation_type, protect));
}

BOOL Win32Os::VirtualFree(void* address, SIZE_T size, DWORD free_type) {
  return Kept(::VirtualFree(address, size, free_type));
}

}  // namespace tarvik
