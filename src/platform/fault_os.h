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

  // Files and directories, volumes and drives (fault_os_files.cc). A call on
  // a handle matches the path the handle was opened with; MoveFileW matches
  // its existing name.
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
  // An injected fault answers STATUS_UNSUCCESSFUL with the fault's error
  // as the last error.
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
  // A failing call answers DRIVE_UNKNOWN.
  UINT GetDriveTypeW(const wchar_t* root_path) override;

  DWORD GetFullPathNameW(const wchar_t* file_name, DWORD size, wchar_t* buffer,
                         wchar_t** file_part) override;
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
  BOOL GetVersionExW(OSVERSIONINFOEXW* info) override;
  BOOL GetProductInfo(DWORD os_major, DWORD os_minor, DWORD sp_major, DWORD sp_minor,
                      DWORD* product_type) override;
  int GetSystemMetrics(int index) override;
  void* VirtualAlloc(void* address, SIZE_T size, DWORD allocation_type, DWORD protect) override;
  BOOL VirtualFree(void* address, SIZE_T size, DWORD free_type) override;

 private:
  struct Rule {
    WorldFault fault;
    uint64_t matched = 0;  // calls that matched so far
  };

  // True, with the last error set, when this call must fail.
  bool Inject(std::wstring_view call, std::wstring_view path);
  std::wstring PathOf(HANDLE handle);
  // Remembers (or, with null, forgets) the path a handle was opened with.
  void RememberPath(HANDLE handle, const wchar_t* path);

  std::unique_ptr<Os> inner_;
  std::mutex mutex_;
  std::vector<Rule> rules_;
  std::unordered_map<HANDLE, std::wstring> paths_;  // handles opened through CreateFileW
};

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_FAULT_OS_H_
