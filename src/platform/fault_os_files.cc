// FaultOs: the calls on files, directories, volumes and drives.
#include "platform/fault_os.h"

#include "platform/nt_status.h"

namespace tarvik {
namespace {

std::wstring_view Named(const wchar_t* name) {
  return name == nullptr ? std::wstring_view() : std::wstring_view(name);
}

// A native call's answer to an injected fault: the fault's error as the
// status the system would give for it.
NTSTATUS InjectedStatus(IO_STATUS_BLOCK* io_status) {
  const NTSTATUS status = NtStatusFromWin32Error(Os::GetLastError());
  if (io_status != nullptr)
    *io_status = {status, 0};
  return status;
}

}  // namespace

BOOL FaultOs::SetEndOfFile(HANDLE file) {
  if (Inject(L"SetEndOfFile", PathOf(file)))
    return FALSE;
  return inner_->SetEndOfFile(file);
}

BOOL FaultOs::GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information) {
  if (Inject(L"GetFileInformationByHandle", PathOf(file)))
    return FALSE;
  return inner_->GetFileInformationByHandle(file, information);
}

BOOL FaultOs::GetFileTime(HANDLE file, FILETIME* creation, FILETIME* last_access,
                          FILETIME* last_write) {
  if (Inject(L"GetFileTime", PathOf(file)))
    return FALSE;
  return inner_->GetFileTime(file, creation, last_access, last_write);
}

BOOL FaultOs::SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* last_access,
                          const FILETIME* last_write) {
  if (Inject(L"SetFileTime", PathOf(file)))
    return FALSE;
  return inner_->SetFileTime(file, creation, last_access, last_write);
}

DWORD FaultOs::GetFileAttributesW(const wchar_t* file_name) {
  if (Inject(L"GetFileAttributesW", Named(file_name)))
    return INVALID_FILE_ATTRIBUTES;
  return inner_->GetFileAttributesW(file_name);
}

BOOL FaultOs::SetFileAttributesW(const wchar_t* file_name, DWORD attributes) {
  if (Inject(L"SetFileAttributesW", Named(file_name)))
    return FALSE;
  return inner_->SetFileAttributesW(file_name, attributes);
}

HANDLE FaultOs::FindFirstFileW(const wchar_t* file_name, WIN32_FIND_DATAW* find_data) {
  if (Inject(L"FindFirstFileW", Named(file_name)))
    return INVALID_HANDLE_VALUE;
  HANDLE find = inner_->FindFirstFileW(file_name, find_data);
  if (find != INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    RememberPath(find, file_name);
    SetLastError(error);
  }
  return find;
}

BOOL FaultOs::FindNextFileW(HANDLE find, WIN32_FIND_DATAW* find_data) {
  if (Inject(L"FindNextFileW", PathOf(find)))
    return FALSE;
  return inner_->FindNextFileW(find, find_data);
}

BOOL FaultOs::FindClose(HANDLE find) {
  std::wstring path = PathOf(find);
  RememberPath(find, nullptr);
  // A failed close still releases the search, as CloseHandle does.
  bool fail = Inject(L"FindClose", path);
  DWORD error = GetLastError();
  BOOL closed = inner_->FindClose(find);
  if (!fail)
    return closed;
  SetLastError(error);
  return FALSE;
}

BOOL FaultOs::CreateDirectoryW(const wchar_t* path, SECURITY_ATTRIBUTES* security_attributes) {
  if (Inject(L"CreateDirectoryW", Named(path)))
    return FALSE;
  return inner_->CreateDirectoryW(path, security_attributes);
}

BOOL FaultOs::RemoveDirectoryW(const wchar_t* path) {
  if (Inject(L"RemoveDirectoryW", Named(path)))
    return FALSE;
  return inner_->RemoveDirectoryW(path);
}

BOOL FaultOs::DeleteFileW(const wchar_t* file_name) {
  if (Inject(L"DeleteFileW", Named(file_name)))
    return FALSE;
  return inner_->DeleteFileW(file_name);
}

BOOL FaultOs::MoveFileW(const wchar_t* existing_name, const wchar_t* new_name) {
  if (Inject(L"MoveFileW", Named(existing_name)))
    return FALSE;
  return inner_->MoveFileW(existing_name, new_name);
}

BOOL FaultOs::DeviceIoControl(HANDLE device, DWORD control_code, void* in_buffer, DWORD in_size,
                              void* out_buffer, DWORD out_size, DWORD* bytes_returned,
                              OVERLAPPED* overlapped) {
  if (Inject(L"DeviceIoControl", PathOf(device))) {
    if (bytes_returned != nullptr)
      *bytes_returned = 0;
    return FALSE;
  }
  return inner_->DeviceIoControl(device, control_code, in_buffer, in_size, out_buffer, out_size,
                                 bytes_returned, overlapped);
}

NTSTATUS FaultOs::NtQueryInformationFile(HANDLE file, IO_STATUS_BLOCK* io_status, void* buffer,
                                         ULONG length, FILE_INFORMATION_CLASS information_class) {
  if (Inject(L"NtQueryInformationFile", PathOf(file)))
    return InjectedStatus(io_status);
  return inner_->NtQueryInformationFile(file, io_status, buffer, length, information_class);
}

NTSTATUS FaultOs::NtFsControlFile(HANDLE file, HANDLE event, void* apc_routine, void* apc_context,
                                  IO_STATUS_BLOCK* io_status, ULONG control_code, void* input,
                                  ULONG input_length, void* output, ULONG output_length) {
  if (Inject(L"NtFsControlFile", PathOf(file)))
    return InjectedStatus(io_status);
  return inner_->NtFsControlFile(file, event, apc_routine, apc_context, io_status, control_code,
                                 input, input_length, output, output_length);
}

BOOL FaultOs::GetDiskFreeSpaceExW(const wchar_t* directory, ULARGE_INTEGER* free_to_caller,
                                  ULARGE_INTEGER* total_bytes, ULARGE_INTEGER* total_free) {
  if (Inject(L"GetDiskFreeSpaceExW", Named(directory)))
    return FALSE;
  return inner_->GetDiskFreeSpaceExW(directory, free_to_caller, total_bytes, total_free);
}

UINT FaultOs::GetDriveTypeW(const wchar_t* root_path) {
  if (Inject(L"GetDriveTypeW", Named(root_path)))
    return DRIVE_UNKNOWN;
  return inner_->GetDriveTypeW(root_path);
}

}  // namespace tarvik
