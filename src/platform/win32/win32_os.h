// The Windows implementation of Os: the calls go to the real Win32 API,
// most of them straight through (tarvik's records have the system's layouts,
// checked in win32_layouts.cc). The system's last error is copied into the
// Os's after every call, so that callers read it as on any Os.
//
// Where the contract asks more than the system gives, the difference is made
// here: positioned reads and writes leave the file pointer alone, console
// colours on a redirected handle succeed without effect, and wide text to a
// redirected standard handle is written as UTF-8.
//
// The implementation files include the system's headers last
// (platform/win32/windows_api.h); this header keeps to tarvik's types.
#ifndef TARVIK_PLATFORM_WIN32_WIN32_OS_H_
#define TARVIK_PLATFORM_WIN32_WIN32_OS_H_

#include <memory>
#include <string>

#include "platform/os.h"

namespace tarvik {

class Win32Os : public Os {
 public:
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

  // Files, directories, streams, security descriptors and volumes
  // (win32_files.cc).
  BOOL SetEndOfFile(HANDLE file) override;
  BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information) override;
  BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* last_access,
                   FILETIME* last_write) override;
  BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* last_access,
                   const FILETIME* last_write) override;
  DWORD GetFileAttributesW(const wchar_t* file_name) override;
  BOOL SetFileAttributesW(const wchar_t* file_name, DWORD attributes) override;
  HANDLE FindFirstFileW(const wchar_t* file_name, WIN32_FIND_DATAW* find_data) override;
  BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* find_data) override;
  BOOL FindClose(HANDLE find) override;
  BOOL CreateDirectoryW(const wchar_t* path, SECURITY_ATTRIBUTES* security_attributes) override;
  BOOL RemoveDirectoryW(const wchar_t* path) override;
  BOOL DeleteFileW(const wchar_t* file_name) override;
  BOOL MoveFileW(const wchar_t* existing_name, const wchar_t* new_name) override;
  BOOL DeviceIoControl(HANDLE device, DWORD control_code, void* in_buffer, DWORD in_size,
                       void* out_buffer, DWORD out_size, DWORD* bytes_returned,
                       OVERLAPPED* overlapped) override;
  NTSTATUS NtQueryInformationFile(HANDLE file, IO_STATUS_BLOCK* io_status, void* buffer,
                                  ULONG length, FILE_INFORMATION_CLASS information_class) override;
  NTSTATUS NtFsControlFile(HANDLE file, HANDLE event, void* apc_routine, void* apc_context,
                           IO_STATUS_BLOCK* io_status, ULONG control_code, void* input,
                           ULONG input_length, void* output, ULONG output_length) override;
  BOOL GetKernelObjectSecurity(HANDLE handle, SECURITY_INFORMATION requested, void* descriptor,
                               DWORD length, DWORD* length_needed) override;
  BOOL SetKernelObjectSecurity(HANDLE handle, SECURITY_INFORMATION information,
                               const void* descriptor) override;
  BOOL GetDiskFreeSpaceExW(const wchar_t* directory, ULARGE_INTEGER* free_to_caller,
                           ULARGE_INTEGER* total_bytes, ULARGE_INTEGER* total_free) override;
  UINT GetDriveTypeW(const wchar_t* root_path) override;

  DWORD GetFullPathNameW(const wchar_t* file_name, DWORD size, wchar_t* buffer,
                         wchar_t** file_part) override;

  // Network connections, servers and domains (win32_network.cc): the
  // system's records are copied into the owned ones and their buffers freed.
  DWORD WNetGetConnectionW(const wchar_t* local_name, wchar_t* remote_name, DWORD* length) override;
  DWORD WNetGetUserW(const wchar_t* name, wchar_t* user_name, DWORD* length) override;
  DWORD WNetAddConnectionW(const wchar_t* remote_name, const wchar_t* password,
                           const wchar_t* local_name) override;
  DWORD WNetCancelConnectionW(const wchar_t* name, BOOL force) override;
  DWORD QueryDosDeviceW(const wchar_t* device_name, wchar_t* target_path, DWORD max) override;
  NET_API_STATUS NetServerGetInfo(const wchar_t* server_name, DWORD level,
                                  SERVER_INFO_101* info) override;
  NET_API_STATUS NetShareGetInfo(const wchar_t* server_name, const wchar_t* share_name, DWORD level,
                                 SHARE_INFO_1005* info) override;
  DWORD DsGetDcNameW(const wchar_t* computer_name, const wchar_t* domain_name,
                     const void* domain_guid, const wchar_t* site_name, DWORD flags,
                     DOMAIN_CONTROLLER_INFOW* info) override;
  NET_API_STATUS NetGetJoinInformation(const wchar_t* server, std::wstring* name,
                                       NETSETUP_JOIN_STATUS* status) override;
  NET_API_STATUS NetUserModalsGet(const wchar_t* server_name, DWORD level,
                                  USER_MODALS_INFO_2* info) override;
  NET_API_STATUS NetGetAnyDCName(const wchar_t* server_name, const wchar_t* domain_name,
                                 std::wstring* dc_name) override;
  NET_API_STATUS NetUserGetInfo(const wchar_t* server_name, const wchar_t* user_name, DWORD level,
                                USER_INFO_3* info) override;

  // The enumerations of a server's local groups and users, and account
  // lookups (win32_accounts.cc).
  NET_API_STATUS NetLocalGroupEnum(const wchar_t* server_name, DWORD level,
                                   std::vector<LOCALGROUP_INFO_1>* buffer, DWORD prefmaxlen,
                                   DWORD* entries_read, DWORD* total_entries,
                                   DWORD_PTR* resume_handle) override;
  NET_API_STATUS NetUserEnum(const wchar_t* server_name, DWORD level, DWORD filter,
                             std::vector<USER_INFO_2>* buffer, DWORD prefmaxlen,
                             DWORD* entries_read, DWORD* total_entries,
                             DWORD* resume_handle) override;
  NET_API_STATUS NetQueryDisplayInformation(const wchar_t* server_name, DWORD level, DWORD index,
                                            DWORD entries_requested, DWORD prefmaxlen,
                                            DWORD* returned_entry_count,
                                            std::vector<NET_DISPLAY_USER>* buffer) override;

  BOOL LookupAccountSidW(const wchar_t* system, const void* sid, wchar_t* name, DWORD* name_size,
                         wchar_t* referenced_domain, DWORD* domain_size,
                         SID_NAME_USE* use) override;
  BOOL LookupAccountNameW(const wchar_t* system, const wchar_t* account_name, PSID sid,
                          DWORD* sid_size, wchar_t* referenced_domain, DWORD* domain_size,
                          SID_NAME_USE* use) override;

  // The process token (win32_token.cc).
  HANDLE GetCurrentProcess() override;
  BOOL OpenProcessToken(HANDLE process, DWORD desired_access, HANDLE* token) override;
  BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS information_class,
                           void* information, DWORD length, DWORD* return_length) override;
  BOOL AdjustTokenPrivileges(HANDLE token, BOOL disable_all, TOKEN_PRIVILEGES* new_state,
                             DWORD length, TOKEN_PRIVILEGES* previous_state,
                             DWORD* return_length) override;
  BOOL AdjustTokenGroups(HANDLE token, BOOL reset_to_default, TOKEN_GROUPS* new_state, DWORD length,
                         TOKEN_GROUPS* previous_state, DWORD* return_length) override;
  BOOL LookupPrivilegeValueW(const wchar_t* system, const wchar_t* name, LUID* luid) override;
  BOOL LookupPrivilegeNameW(const wchar_t* system, const LUID* luid, wchar_t* name,
                            DWORD* length) override;
  BOOL LookupPrivilegeDisplayNameW(const wchar_t* system, const wchar_t* name,
                                   wchar_t* display_name, DWORD* length,
                                   DWORD* language_id) override;

  int64_t time() override;
  bool LocalTime(int64_t seconds, std::tm* out) override;
  void GetSystemTimeAsFileTime(FILETIME* now) override;
  BOOL QueryPerformanceCounter(LARGE_INTEGER* count) override;
  BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) override;
  void Sleep(DWORD milliseconds) override;
  DWORD GetCurrentThreadId() override;
  BOOL SetCurrentThreadPriority(int priority) override;
  void GetSystemInfo(SYSTEM_INFO* info) override;
  void GetNativeSystemInfo(SYSTEM_INFO* info) override;
  // The true version of the system (as RtlGetVersion gives it: GetVersionExW
  // reports an older one to a program without a compatibility manifest).
  BOOL GetVersionExW(OSVERSIONINFOEXW* info) override;
  BOOL GetProductInfo(DWORD os_major, DWORD os_minor, DWORD sp_major, DWORD sp_minor,
                      DWORD* product_type) override;
  int GetSystemMetrics(int index) override;
  void* VirtualAlloc(void* address, SIZE_T size, DWORD allocation_type, DWORD protect) override;
  BOOL VirtualFree(void* address, SIZE_T size, DWORD free_type) override;
};

// The Os of a Windows build, wrapped in a FaultOs when TARVIK_FAULTS names a
// file of faults (platform/world_loader.h, ParseFaultFile). A set
// TARVIK_WORLD is refused: a world describes a simulated machine, and this
// one is real. Returns null with *error set to the message.
std::unique_ptr<Os> CreateWin32Os(std::wstring* error);

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_WIN32_WIN32_OS_H_
