#include "platform/os.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace tarvik {
namespace {

std::atomic<Os*> current_os{nullptr};
thread_local DWORD last_error = ERROR_SUCCESS;

}  // namespace

Os& Os::Current() {
  Os* os = current_os.load(std::memory_order_acquire);
  if (os == nullptr) {
    std::fputs("tarvik: no platform layer installed\n", stderr);
    std::abort();
  }
  return *os;
}

Os* Os::Install(Os* os) {
  return current_os.exchange(os, std::memory_order_acq_rel);
}

DWORD Os::GetLastError() {
  return last_error;
}

void Os::SetLastError(DWORD code) {
  last_error = code;
}

namespace {

template <typename Result>
Result NotImplemented(Result failure) {
  Os::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return failure;
}

}  // namespace

BOOL Os::SetEndOfFile(HANDLE) {
  return NotImplemented(FALSE);
}
BOOL Os::GetFileInformationByHandle(HANDLE, BY_HANDLE_FILE_INFORMATION*) {
  return NotImplemented(FALSE);
}
BOOL Os::GetFileTime(HANDLE, FILETIME*, FILETIME*, FILETIME*) {
  return NotImplemented(FALSE);
}
BOOL Os::SetFileTime(HANDLE, const FILETIME*, const FILETIME*, const FILETIME*) {
  return NotImplemented(FALSE);
}
DWORD Os::GetFileAttributesW(const wchar_t*) {
  return NotImplemented(INVALID_FILE_ATTRIBUTES);
}
BOOL Os::SetFileAttributesW(const wchar_t*, DWORD) {
  return NotImplemented(FALSE);
}
HANDLE Os::FindFirstFileW(const wchar_t*, WIN32_FIND_DATAW*) {
  return NotImplemented(INVALID_HANDLE_VALUE);
}
BOOL Os::FindNextFileW(HANDLE, WIN32_FIND_DATAW*) {
  return NotImplemented(FALSE);
}
BOOL Os::FindClose(HANDLE) {
  return NotImplemented(FALSE);
}
BOOL Os::CreateDirectoryW(const wchar_t*, SECURITY_ATTRIBUTES*) {
  return NotImplemented(FALSE);
}
BOOL Os::RemoveDirectoryW(const wchar_t*) {
  return NotImplemented(FALSE);
}
BOOL Os::DeleteFileW(const wchar_t*) {
  return NotImplemented(FALSE);
}
BOOL Os::MoveFileW(const wchar_t*, const wchar_t*) {
  return NotImplemented(FALSE);
}
BOOL Os::DeviceIoControl(HANDLE, DWORD, void*, DWORD, void*, DWORD, DWORD*, OVERLAPPED*) {
  return NotImplemented(FALSE);
}
NTSTATUS Os::NtQueryInformationFile(HANDLE, IO_STATUS_BLOCK*, void*, ULONG,
                                    FILE_INFORMATION_CLASS) {
  NotImplemented(FALSE);
  return STATUS_NOT_SUPPORTED;
}
NTSTATUS Os::NtFsControlFile(HANDLE, HANDLE, void*, void*, IO_STATUS_BLOCK*, ULONG, void*, ULONG,
                             void*, ULONG) {
  NotImplemented(FALSE);
  return STATUS_NOT_SUPPORTED;
}
BOOL Os::GetKernelObjectSecurity(HANDLE, SECURITY_INFORMATION, void*, DWORD, DWORD*) {
  return NotImplemented(FALSE);
}
BOOL Os::SetKernelObjectSecurity(HANDLE, SECURITY_INFORMATION, const void*) {
  return NotImplemented(FALSE);
}
BOOL Os::GetDiskFreeSpaceExW(const wchar_t*, ULARGE_INTEGER*, ULARGE_INTEGER*, ULARGE_INTEGER*) {
  return NotImplemented(FALSE);
}
UINT Os::GetDriveTypeW(const wchar_t*) {
  return NotImplemented(DRIVE_UNKNOWN);
}

void* Os::VirtualAlloc(void*, SIZE_T, DWORD, DWORD) {
  return NotImplemented<void*>(nullptr);
}
BOOL Os::VirtualFree(void*, SIZE_T, DWORD) {
  return NotImplemented(FALSE);
}

void Os::GetSystemInfo(SYSTEM_INFO* info) {
  *info = SYSTEM_INFO{};
  info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_UNKNOWN;
}

void Os::GetNativeSystemInfo(SYSTEM_INFO* info) {
  GetSystemInfo(info);
}
BOOL Os::GetVersionExW(OSVERSIONINFOEXW*) {
  return NotImplemented(FALSE);
}
BOOL Os::GetProductInfo(DWORD, DWORD, DWORD, DWORD, DWORD* product_type) {
  if (product_type != nullptr)
    *product_type = PRODUCT_UNDEFINED;
  return NotImplemented(FALSE);
}
int Os::GetSystemMetrics(int) {
  return 0;
}

}  // namespace tarvik
