// The Linux implementation of Os: the Windows calls the program makes, served
// by the host through the world (platform/world.h) that describes the
// Windows machine the program sees.
#ifndef TARVIK_PLATFORM_POSIX_POSIX_OS_H_
#define TARVIK_PLATFORM_POSIX_POSIX_OS_H_

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/os.h"
#include "platform/posix/account_directory.h"
#include "platform/posix/connection_table.h"
#include "platform/posix/deferred_descriptors.h"
#include "platform/posix/handle_table.h"
#include "platform/posix/memory_mappings.h"
#include "platform/posix/path_resolver.h"
#include "platform/posix/resume_keys.h"
#include "platform/posix/token_state.h"
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
  ~PosixOs() override;

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

  // Files and directories (posix_files.cc, posix_find.cc, posix_ioctl.cc) and
  // volumes (volumes.cc).
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
  // Named streams (posix_streams.cc).
  NTSTATUS NtQueryInformationFile(HANDLE file, IO_STATUS_BLOCK* io_status, void* buffer,
                                  ULONG length, FILE_INFORMATION_CLASS information_class) override;
  // Server-side copy (posix_server_copy.cc).
  NTSTATUS NtFsControlFile(HANDLE file, HANDLE event, void* apc_routine, void* apc_context,
                           IO_STATUS_BLOCK* io_status, ULONG control_code, void* input,
                           ULONG input_length, void* output, ULONG output_length) override;
  // Security descriptors (posix_security.cc).
  BOOL GetKernelObjectSecurity(HANDLE handle, SECURITY_INFORMATION requested, void* descriptor,
                               DWORD length, DWORD* length_needed) override;
  BOOL SetKernelObjectSecurity(HANDLE handle, SECURITY_INFORMATION information,
                               const void* descriptor) override;
  BOOL GetDiskFreeSpaceExW(const wchar_t* directory, ULARGE_INTEGER* free_to_caller,
                           ULARGE_INTEGER* total_bytes, ULARGE_INTEGER* total_free) override;
  UINT GetDriveTypeW(const wchar_t* root_path) override;

  const PathResolver& resolver() const { return resolver_; }

  DWORD GetFullPathNameW(const wchar_t* file_name, DWORD size, wchar_t* buffer,
                         wchar_t** file_part) override;

  // Network connections, servers and domains (posix_network.cc).
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

  // The enumerations of a server's local groups and users
  // (posix_account_lists.cc).
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

  // Accounts (posix_accounts.cc).
  BOOL LookupAccountSidW(const wchar_t* system, const void* sid, wchar_t* name, DWORD* name_size,
                         wchar_t* referenced_domain, DWORD* domain_size,
                         SID_NAME_USE* use) override;
  BOOL LookupAccountNameW(const wchar_t* system, const wchar_t* account_name, PSID sid,
                          DWORD* sid_size, wchar_t* referenced_domain, DWORD* domain_size,
                          SID_NAME_USE* use) override;

  // The process token (posix_token.cc).
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
  // The token's current state, which file calls consult where the system
  // enforces a privilege.
  const TokenState& token() const { return token_; }

  int64_t time() override;
  bool LocalTime(int64_t seconds, std::tm* out) override;
  void GetSystemTimeAsFileTime(FILETIME* now) override;
  BOOL QueryPerformanceCounter(LARGE_INTEGER* count) override;
  BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) override;
  void Sleep(DWORD milliseconds) override;
  DWORD GetCurrentThreadId() override;
  BOOL SetCurrentThreadPriority(int priority) override;
  // The processor figures are the host's, its architecture the world's.
  void GetSystemInfo(SYSTEM_INFO* info) override;
  void GetNativeSystemInfo(SYSTEM_INFO* info) override;
  // The world's version (docs/world.md, "os").
  BOOL GetVersionExW(OSVERSIONINFOEXW* info) override;
  BOOL GetProductInfo(DWORD os_major, DWORD os_minor, DWORD sp_major, DWORD sp_minor,
                      DWORD* product_type) override;
  int GetSystemMetrics(int index) override;
  void* VirtualAlloc(void* address, SIZE_T size, DWORD allocation_type, DWORD protect) override;
  BOOL VirtualFree(void* address, SIZE_T size, DWORD free_type) override;

 private:
  HANDLE AddConsole(int fd, DWORD initial_mode);
  // The open handle, or null with ERROR_INVALID_HANDLE set.
  std::shared_ptr<HandleObject> Lookup(HANDLE handle) const;
  // The serial of the volume an object open on object lies on (device: the
  // host device it lies on).
  DWORD VolumeSerialOf(const HandleObject& object, uint64_t device) const;
  BOOL WriteAll(HandleObject& object, const char* data, size_t size, size_t* written);
  // False when file lies on a volume that keeps no named streams.
  bool KeepsStreams(const std::wstring& file) const;
  // CreateFileW and DeleteFileW on a named stream of file (posix_streams.cc).
  HANDLE CreateStreamW(const wchar_t* file_name, const std::wstring& file,
                       const std::wstring& stream, DWORD desired_access, DWORD share_mode,
                       SECURITY_ATTRIBUTES* security_attributes, DWORD creation_disposition,
                       DWORD flags_and_attributes);
  BOOL DeleteStreamW(const std::wstring& file, const std::wstring& stream);
  // Stores the descriptor held for the file object opened, if any
  // (deferred_descriptors.h): ERROR_SUCCESS, or the error that left it held.
  DWORD StoreHeldDescriptor(const HandleObject& object);
  // The same for the file at file.path, when it is the one identity names
  // (none: whatever stands there).
  DWORD StoreHeldDescriptor(const HostObject& file, const std::optional<ShareTable::Key>& identity);
  // Stores held, if any, on file and lets it go.
  DWORD StoreHeld(const HostObject& file, const std::optional<DescriptorParts>& held);
  // Holds the descriptor the file inherits, as for a file just made.
  void HoldInheritedDescriptor(const HandleObject& file);
  // Stores every descriptor still held, each on the file it belongs to.
  void StoreAllHeldDescriptors();
  // The computer a server argument names (null, empty or "." for this
  // one), or null with *error set to ERROR_BAD_NETPATH.
  const WorldServer* NamedServer(const wchar_t* server_name, DWORD* error) const;
  // "DOMAIN\name" of an account as server shows it (the SID text when it
  // maps to no name).
  std::wstring AccountText(const WorldServer& server, const SidValue& sid) const;
  // The token handle's object, or null with the error set: ERROR_INVALID_HANDLE,
  // or ERROR_ACCESS_DENIED without the access needed.
  std::shared_ptr<HandleObject> TokenObject(HANDLE token, DWORD access) const;

  World world_;
  PathResolver resolver_;
  AccountDirectory accounts_{world_};
  TokenState token_{world_.token};
  ConnectionTable connections_;  // deviceless connections
  MemoryMappings memory_;
  // The sharing modes of the open file handles; before handles_, whose
  // objects leave it when they go.
  ShareTable shares_;
  HandleTable handles_;
  // The inherited descriptors of new files, not stored yet.
  DeferredDescriptors deferred_;
  // The keys of the server-side copy (posix_server_copy.cc).
  ResumeKeys resume_keys_;
  // The host device of each drive's or share's root directory, as read once.
  mutable std::mutex root_devices_mutex_;
  mutable std::unordered_map<std::string, uint64_t> root_devices_;
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
