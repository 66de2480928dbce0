// Files, directories, streams, security descriptors and volumes: straight
// through to the system.
#include "platform/win32/win32_os.h"

#include "platform/win32/win32_call.h"

namespace tarvik {

BOOL Win32Os::SetEndOfFile(HANDLE file) {
  return Kept(::SetEndOfFile(file));
}

BOOL Win32Os::GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information) {
  return Kept(::GetFileInformationByHandle(file, As<::BY_HANDLE_FILE_INFORMATION>(information)));
}

BOOL Win32Os::GetFileTime(HANDLE file, FILETIME* creation, FILETIME* last_access,
                          FILETIME* last_write) {
  return Kept(::GetFileTime(file, As<::FILETIME>(creation), As<::FILETIME>(last_access),
                            As<::FILETIME>(last_write)));
}

BOOL Win32Os::SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* last_access,
                          const FILETIME* last_write) {
  return Kept(::SetFileTime(file, As<::FILETIME>(creation), As<::FILETIME>(last_access),
                            As<::FILETIME>(last_write)));
}

DWORD Win32Os::GetFileAttributesW(const wchar_t* file_name) {
  return Kept(::GetFileAttributesW(file_name));
}

BOOL Win32Os::SetFileAttributesW(const wchar_t* file_name, DWORD attributes) {
  return Kept(::SetFileAttributesW(file_name, attributes));
}

HANDLE Win32Os::FindFirstFileW(const wchar_t* file_name, WIN32_FIND_DATAW* find_data) {
  return Kept(::FindFirstFileW(file_name, As<::WIN32_FIND_DATAW>(find_data)));
}

BOOL Win32Os::FindNextFileW(HANDLE find, WIN32_FIND_DATAW* find_data) {
  return Kept(::FindNextFileW(find, As<::WIN32_FIND_DATAW>(find_data)));
}

BOOL Win32Os::FindClose(HANDLE find) {
  return Kept(::FindClose(find));
}

BOOL Win32Os::CreateDirectoryW(const wchar_t* path, SECURITY_ATTRIBUTES* security_attributes) {
  return Kept(::CreateDirectoryW(path, As<::SECURITY_ATTRIBUTES>(security_attributes)));
}

BOOL Win32Os::RemoveDirectoryW(const wchar_t* path) {
  return Kept(::RemoveDirectoryW(path));
}

BOOL Win32Os::DeleteFileW(const wchar_t* file_name) {
  return Kept(::DeleteFileW(file_name));
}

BOOL Win32Os::MoveFileW(const wchar_t* existing_name, const wchar_t* new_name) {
  return Kept(::MoveFileW(existing_name, new_name));
}

BOOL Win32Os::DeviceIoControl(HANDLE device, DWORD control_code, void* in_buffer, DWORD in_size,
                              void* out_buffer, DWORD out_size, DWORD* bytes_returned,
                              OVERLAPPED* overlapped) {
  return Kept(::DeviceIoControl(device, control_code, in_buffer, in_size, out_buffer, out_size,
                                As<::DWORD>(bytes_returned), As<::OVERLAPPED>(overlapped)));
}

// The native calls answer a status; the last error is left as the system's
// translation of it, which is what the engine reports.
NTSTATUS Win32Os::NtQueryInformationFile(HANDLE file, IO_STATUS_BLOCK* io_status, void* buffer,
                                         ULONG length, FILE_INFORMATION_CLASS information_class) {
  const auto status = static_cast<NTSTATUS>(
      ::NtQueryInformationFile(file, As<::IO_STATUS_BLOCK>(io_status), buffer, length,
                               static_cast<::FILE_INFORMATION_CLASS>(information_class)));
  Os::SetLastError(static_cast<DWORD>(::RtlNtStatusToDosError(static_cast<::NTSTATUS>(status))));
  return status;
}

NTSTATUS Win32Os::NtFsControlFile(HANDLE file, HANDLE event, void* apc_routine, void* apc_context,
                                  IO_STATUS_BLOCK* io_status, ULONG control_code, void* input,
                                  ULONG input_length, void* output, ULONG output_length) {
  const auto status = static_cast<NTSTATUS>(::NtFsControlFile(
      file, event, reinterpret_cast<::PIO_APC_ROUTINE>(apc_routine), apc_context,
      As<::IO_STATUS_BLOCK>(io_status), control_code, input, input_length, output, output_length));
  Os::SetLastError(static_cast<DWORD>(::RtlNtStatusToDosError(static_cast<::NTSTATUS>(status))));
  return status;
}

BOOL Win32Os::GetKernelObjectSecurity(HANDLE handle, SECURITY_INFORMATION requested,
                                      void* descriptor, DWORD length, DWORD* length_needed) {
  return Kept(
      ::GetKernelObjectSecurity(handle, requested, descriptor, length, As<::DWORD>(length_needed)));
}

BOOL Win32Os::SetKernelObjectSecurity(HANDLE handle, SECURITY_INFORMATION information,
                                      const void* descriptor) {
  // The system takes a mutable pointer but only reads the descriptor.
  return Kept(::SetKernelObjectSecurity(handle, information, const_cast<void*>(descriptor)));
}

BOOL Win32Os::GetDiskFreeSpaceExW(const wchar_t* directory, ULARGE_INTEGER* free_to_caller,
                                  ULARGE_INTEGER* total_bytes, ULARGE_INTEGER* total_free) {
  return Kept(::GetDiskFreeSpaceExW(directory, As<::ULARGE_INTEGER>(free_to_caller),
                                    As<::ULARGE_INTEGER>(total_bytes),
                                    As<::ULARGE_INTEGER>(total_free)));
}

UINT Win32Os::GetDriveTypeW(const wchar_t* root_path) {
  return Kept(::GetDriveTypeW(root_path));
}

DWORD Win32Os::GetFullPathNameW(const wchar_t* file_name, DWORD size, wchar_t* buffer,
                                wchar_t** file_part) {
  return Kept(::GetFullPathNameW(file_name, size, buffer, file_part));
}

DWORD Win32Os::QueryDosDeviceW(const wchar_t* device_name, wchar_t* target_path, DWORD max) {
  return Kept(::QueryDosDeviceW(device_name, target_path, max));
}

}  // namespace tarvik
