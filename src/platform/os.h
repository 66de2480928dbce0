// The platform boundary. Every call that touches the system goes through one
// Os object, in the manner of an Env: the operations keep the Windows names,
// arguments, flags, results and error codes, so the engine reads like the calls
// it stands for. A failing call returns its failure value and leaves the reason
// in the calling thread's last error.
//
// PosixOs (platform/posix) stands in for Windows on Linux, Win32Os
// (platform/win32) is the real system in a Windows build; tests may install an
// Os of their own, and a fault-injecting decorator wraps any Os.
//
// The contract every Os keeps (test doubles and decorators included):
//
// - Threads. Every call is safe from any number of threads at once without
//   outside locking, on the same or on different objects, unless its comment
//   says otherwise. What is not shared is the use of one handle: calls on one
//   handle from several threads at once are safe (none corrupts the Os), but
//   their order is the callers' affair, and closing a handle while another
//   thread still uses it makes that thread's calls fail with
//   ERROR_INVALID_HANDLE, never touch another object.
// - What a handle refers to. An open handle refers to the object it opened
//   for its whole life, not to a path:
//   - when the call itself replaces the object behind the handle (a
//     reparse point set on a file or directory turns it into a link, a
//     deleted reparse point turns a link back into an empty object), the
//     handle refers to the new object from then on, with the same access and
//     sharing; the replaced object leaves no trace in the sharing of others;
//   - when the object is renamed, calls through the handle still reach it,
//     and FILE_FLAG_DELETE_ON_CLOSE deletes it under its new name or not at
//     all, never whatever took its old name. (PosixOs keeps this for every
//     handle that holds the object's data; a handle opened on a symbolic
//     link itself, or only for metadata on a file the account may not read,
//     names its object by path for metadata calls, so such an object is not
//     to be renamed while one is open: its delete-on-close still holds.)
//   - when the object is deleted (which its open handles must allow through
//     FILE_SHARE_DELETE), the handle keeps working until it is closed.
// - Sharing. The sharing modes of a handle hold against the other handles
//   of the process on the same object, and against nothing else.
// - Times. A last-write time set through a handle that may write the file
//   stays the file's last-write time while that handle writes, and is what
//   the file shows if the process dies at any instant before the handle is
//   closed; a file created or truncated through CreateFileW is never seen as
//   finished before its writer closes it.
#ifndef TARVIK_PLATFORM_OS_H_
#define TARVIK_PLATFORM_OS_H_

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "platform/account_types.h"
#include "platform/net_types.h"
#include "platform/win_error.h"
#include "platform/win_types.h"

namespace tarvik {

class Os {
 public:
  virtual ~Os() = default;

  // The process-wide current Os. Install() returns the previous one; the
  // caller keeps ownership of both.
  static Os& Current();
  static Os* Install(Os* os);

  // The thread-local last error, shared by every implementation so that a
  // decorator and the Os it wraps agree on it.
  static DWORD GetLastError();
  static void SetLastError(DWORD code);

  // --- Process and console ---
  virtual UINT SetErrorMode(UINT mode) = 0;
  virtual HANDLE GetStdHandle(DWORD which) = 0;
  virtual BOOL GetConsoleMode(HANDLE console, DWORD* mode) = 0;
  virtual BOOL SetConsoleMode(HANDLE console, DWORD mode) = 0;
  // Colours are shown only where the handle is a terminal; elsewhere the call
  // succeeds and changes nothing.
  virtual BOOL SetConsoleTextAttribute(HANDLE console, WORD attributes) = 0;
  // Writes wide text to a console or redirected standard handle (as UTF-8 on
  // a host that speaks bytes). Written counts characters.
  virtual BOOL WriteConsoleW(HANDLE console, const wchar_t* text, DWORD length, DWORD* written) = 0;
  virtual BOOL GetComputerNameW(wchar_t* buffer, DWORD* size) = 0;

  // System message text for an error code, as FORMAT_MESSAGE_FROM_SYSTEM with
  // FORMAT_MESSAGE_IGNORE_INSERTS gives it: the text ends with "\r\n". Returns
  // the number of characters stored (0 and ERROR_MR_MID_NOT_FOUND when the
  // code has no text, ERROR_INSUFFICIENT_BUFFER when size is too small).
  virtual DWORD FormatMessageW(DWORD flags, const void* source, DWORD message_id, DWORD language_id,
                               wchar_t* buffer, DWORD size, void* arguments) = 0;

  // --- Files ---
  virtual HANDLE CreateFileW(const wchar_t* file_name, DWORD desired_access, DWORD share_mode,
                             SECURITY_ATTRIBUTES* security_attributes, DWORD creation_disposition,
                             DWORD flags_and_attributes, HANDLE template_file) = 0;
  // With an OVERLAPPED, the transfer starts at its offset (positioned I/O)
  // and the file pointer is left alone; reading at or past the end of the
  // file then fails with ERROR_HANDLE_EOF.
  virtual BOOL ReadFile(HANDLE file, void* buffer, DWORD bytes_to_read, DWORD* bytes_read,
                        OVERLAPPED* overlapped) = 0;
  virtual BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytes_to_write,
                         DWORD* bytes_written, OVERLAPPED* overlapped) = 0;
  virtual DWORD SetFilePointer(HANDLE file, LONG distance_low, LONG* distance_high,
                               DWORD method) = 0;
  virtual BOOL FlushFileBuffers(HANDLE file) = 0;
  virtual BOOL CloseHandle(HANDLE object) = 0;

  // The calls below have a default that fails with ERROR_CALL_NOT_IMPLEMENTED,
  // so that a test double needs to provide only what its test uses. PosixOs
  // and Win32Os implement every one of them.
  virtual BOOL SetEndOfFile(HANDLE file);
  virtual BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information);
  virtual BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* last_access,
                           FILETIME* last_write);
  // A null time leaves that time unchanged.
  virtual BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* last_access,
                           const FILETIME* last_write);
  virtual DWORD GetFileAttributesW(const wchar_t* file_name);
  virtual BOOL SetFileAttributesW(const wchar_t* file_name, DWORD attributes);
  // Listing: the pattern's last component may hold the platform's wildcards.
  // Entries are never followed: a symbolic link is listed as a reparse point.
  virtual HANDLE FindFirstFileW(const wchar_t* file_name, WIN32_FIND_DATAW* find_data);
  virtual BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* find_data);
  virtual BOOL FindClose(HANDLE find);
  virtual BOOL CreateDirectoryW(const wchar_t* path, SECURITY_ATTRIBUTES* security_attributes);
  virtual BOOL RemoveDirectoryW(const wchar_t* path);
  virtual BOOL DeleteFileW(const wchar_t* file_name);
  virtual BOOL MoveFileW(const wchar_t* existing_name, const wchar_t* new_name);
  virtual BOOL DeviceIoControl(HANDLE device, DWORD control_code, void* in_buffer, DWORD in_size,
                               void* out_buffer, DWORD out_size, DWORD* bytes_returned,
                               OVERLAPPED* overlapped);

  // --- Native calls ---
  // FileStreamInformation lists the data streams of an open file or
  // directory: a file's unnamed stream first ("::$DATA"), then each named
  // stream (":name:$DATA"); a directory has only named streams. A buffer
  // too small for the whole list gives STATUS_BUFFER_OVERFLOW with the
  // records that fit. io_status->Information is the bytes stored.
  virtual NTSTATUS NtQueryInformationFile(HANDLE file, IO_STATUS_BLOCK* io_status, void* buffer,
                                          ULONG length, FILE_INFORMATION_CLASS information_class);
  // File-system controls; here the server-side copy requests
  // (FSCTL_SRV_REQUEST_RESUME_KEY on the source, FSCTL_SRV_COPYCHUNK on the
  // target). Synchronous: event, routine and context must be null.
  virtual NTSTATUS NtFsControlFile(HANDLE file, HANDLE event, void* apc_routine, void* apc_context,
                                   IO_STATUS_BLOCK* io_status, ULONG control_code, void* input,
                                   ULONG input_length, void* output, ULONG output_length);

  // The security descriptor of an open file, in the self-relative layout,
  // with only the parts asked for (OWNER_, GROUP_, DACL_, SACL_SECURITY_
  // INFORMATION). A buffer too small gives ERROR_INSUFFICIENT_BUFFER with
  // *length_needed set. Needs READ_CONTROL, and ACCESS_SYSTEM_SECURITY for
  // the SACL.
  virtual BOOL GetKernelObjectSecurity(HANDLE handle, SECURITY_INFORMATION requested,
                                       void* descriptor, DWORD length, DWORD* length_needed);
  // Replaces the parts named by information with those of descriptor
  // (absolute or self-relative), keeping the others. Needs WRITE_OWNER for
  // owner and group, WRITE_DAC for the DACL, ACCESS_SYSTEM_SECURITY for the
  // SACL.
  virtual BOOL SetKernelObjectSecurity(HANDLE handle, SECURITY_INFORMATION information,
                                       const void* descriptor);

  // --- Volumes and drives ---
  virtual BOOL GetDiskFreeSpaceExW(const wchar_t* directory, ULARGE_INTEGER* free_to_caller,
                                   ULARGE_INTEGER* total_bytes, ULARGE_INTEGER* total_free);
  virtual UINT GetDriveTypeW(const wchar_t* root_path);

  // The absolute form of path, as the runtime's full-path function gives it
  // (relative to the current directory, normalised; on Linux a host path on
  // a drive is shown on that drive). Returns the length stored, or the size
  // needed (NUL included) when size is too small, or 0 with the last error.
  // file_part, when given, points at the last name in buffer.
  virtual DWORD GetFullPathNameW(const wchar_t* file_name, DWORD size, wchar_t* buffer,
                                 wchar_t** file_part);

  // --- Network connections, servers and domains ---
  // A server argument names a computer as "\\NAME", "NAME" or its DNS name;
  // null or empty is this computer. An unknown or unreachable computer gives
  // ERROR_BAD_NETPATH.
  //
  // The WNet calls return their error code (also left as the last error);
  // ERROR_MORE_DATA sets *length to the characters needed, NUL included.
  // local_name is a drive ("M:"). A remembered but unconnected drive gives
  // ERROR_CONNECTION_UNAVAIL; a drive that is not remote, ERROR_NOT_CONNECTED.
  virtual DWORD WNetGetConnectionW(const wchar_t* local_name, wchar_t* remote_name, DWORD* length);
  // name: a drive, a UNC path or null (this process). The user is written as
  // "DOMAIN\name". A UNC path without a connection gives ERROR_NOT_CONNECTED.
  virtual DWORD WNetGetUserW(const wchar_t* name, wchar_t* user_name, DWORD* length);
  // Only deviceless connections (local_name null) can be made and cancelled
  // here: a drive letter gives ERROR_NOT_SUPPORTED.
  virtual DWORD WNetAddConnectionW(const wchar_t* remote_name, const wchar_t* password,
                                   const wchar_t* local_name);
  virtual DWORD WNetCancelConnectionW(const wchar_t* name, BOOL force);
  // The device text of a drive ("D:"), followed by two NULs; returns the
  // characters stored, or 0 with the last error set.
  virtual DWORD QueryDosDeviceW(const wchar_t* device_name, wchar_t* target_path, DWORD max);

  // The network management calls return their status. Where the system hands
  // back a buffer to free with NetApiBufferFree, they fill an owned record of
  // the one level the program uses (platform/net_types.h); any other level
  // gives ERROR_INVALID_LEVEL.
  virtual NET_API_STATUS NetServerGetInfo(const wchar_t* server_name, DWORD level,
                                          SERVER_INFO_101* info);
  virtual NET_API_STATUS NetShareGetInfo(const wchar_t* server_name, const wchar_t* share_name,
                                         DWORD level, SHARE_INFO_1005* info);
  // domain_guid is not used (null). No controller: ERROR_NO_SUCH_DOMAIN.
  virtual DWORD DsGetDcNameW(const wchar_t* computer_name, const wchar_t* domain_name,
                             const void* domain_guid, const wchar_t* site_name, DWORD flags,
                             DOMAIN_CONTROLLER_INFOW* info);
  // name receives the domain (status NetSetupDomainName) or the workgroup.
  virtual NET_API_STATUS NetGetJoinInformation(const wchar_t* server, std::wstring* name,
                                               NETSETUP_JOIN_STATUS* status);
  virtual NET_API_STATUS NetUserModalsGet(const wchar_t* server_name, DWORD level,
                                          USER_MODALS_INFO_2* info);
  // dc_name receives "\\NAME" of a controller of domain_name (null: the
  // server's domain), NERR_DCNotFound when there is none.
  virtual NET_API_STATUS NetGetAnyDCName(const wchar_t* server_name, const wchar_t* domain_name,
                                         std::wstring* dc_name);
  virtual NET_API_STATUS NetUserGetInfo(const wchar_t* server_name, const wchar_t* user_name,
                                        DWORD level, USER_INFO_3* info);

  // The enumerations replace *buffer with the entries of one call, as many
  // whole entries as prefmaxlen bytes of the system's buffer hold (at least
  // one; MAX_PREFERRED_LENGTH: all). ERROR_MORE_DATA tells that entries
  // remain: the call is repeated with the resume handle it updated (0 to
  // start; a null handle starts over).
  //
  // The local groups (aliases) of a server, levels 0 and 1 (with comments):
  // its builtin groups, then those of its account domain (on a domain
  // controller, the domain's aliases). total_entries counts the entries from
  // the resume position on.
  virtual NET_API_STATUS NetLocalGroupEnum(const wchar_t* server_name, DWORD level,
                                           std::vector<LOCALGROUP_INFO_1>* buffer, DWORD prefmaxlen,
                                           DWORD* entries_read, DWORD* total_entries,
                                           DWORD_PTR* resume_handle);
  // The user accounts of a server's account database (on a domain
  // controller, the domain's users and computers), level 2. filter 0 takes
  // every kind, else FILTER_* bits.
  virtual NET_API_STATUS NetUserEnum(const wchar_t* server_name, DWORD level, DWORD filter,
                                     std::vector<USER_INFO_2>* buffer, DWORD prefmaxlen,
                                     DWORD* entries_read, DWORD* total_entries,
                                     DWORD* resume_handle);
  // The same users as display information, level 1 only: from index on (0
  // to start, then the usri1_next_index of the last entry), at most
  // entries_requested and at most 100 per call.
  virtual NET_API_STATUS NetQueryDisplayInformation(const wchar_t* server_name, DWORD level,
                                                    DWORD index, DWORD entries_requested,
                                                    DWORD prefmaxlen, DWORD* returned_entry_count,
                                                    std::vector<NET_DISPLAY_USER>* buffer);

  // --- Accounts ---
  // Lookups run on system (null: this computer). Sizes are in characters
  // (bytes for the SID); a buffer too small gives ERROR_INSUFFICIENT_BUFFER
  // with the sizes needed. A SID or name the system cannot map gives
  // ERROR_NONE_MAPPED.
  virtual BOOL LookupAccountSidW(const wchar_t* system, const void* sid, wchar_t* name,
                                 DWORD* name_size, wchar_t* referenced_domain, DWORD* domain_size,
                                 SID_NAME_USE* use);
  virtual BOOL LookupAccountNameW(const wchar_t* system, const wchar_t* account_name, PSID sid,
                                  DWORD* sid_size, wchar_t* referenced_domain, DWORD* domain_size,
                                  SID_NAME_USE* use);

  // --- Process token and privileges ---
  // The pseudo handle of this process (not a failure, never closed).
  virtual HANDLE GetCurrentProcess();
  virtual BOOL OpenProcessToken(HANDLE process, DWORD desired_access, HANDLE* token);
  // TokenUser, TokenGroups and TokenPrivileges in their published layouts;
  // ERROR_INSUFFICIENT_BUFFER with *return_length for a size query.
  virtual BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS information_class,
                                   void* information, DWORD length, DWORD* return_length);
  // Succeeds with ERROR_NOT_ALL_ASSIGNED as the last error when the token
  // does not hold one of the privileges (the others are still adjusted), and
  // with ERROR_SUCCESS otherwise.
  virtual BOOL AdjustTokenPrivileges(HANDLE token, BOOL disable_all, TOKEN_PRIVILEGES* new_state,
                                     DWORD length, TOKEN_PRIVILEGES* previous_state,
                                     DWORD* return_length);
  virtual BOOL AdjustTokenGroups(HANDLE token, BOOL reset_to_default, TOKEN_GROUPS* new_state,
                                 DWORD length, TOKEN_GROUPS* previous_state, DWORD* return_length);
  virtual BOOL LookupPrivilegeValueW(const wchar_t* system, const wchar_t* name, LUID* luid);
  virtual BOOL LookupPrivilegeNameW(const wchar_t* system, const LUID* luid, wchar_t* name,
                                    DWORD* length);
  virtual BOOL LookupPrivilegeDisplayNameW(const wchar_t* system, const wchar_t* name,
                                           wchar_t* display_name, DWORD* length,
                                           DWORD* language_id);

  // --- Time and threads ---
  // Seconds since 1970-01-01 UTC, as the C runtime's time().
  virtual int64_t time() = 0;
  // The C runtime's localtime() for a time() value, thread-safe.
  virtual bool LocalTime(int64_t seconds, std::tm* out) = 0;
  virtual void GetSystemTimeAsFileTime(FILETIME* now) = 0;
  virtual BOOL QueryPerformanceCounter(LARGE_INTEGER* count) = 0;
  virtual BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) = 0;
  virtual void Sleep(DWORD milliseconds) = 0;
  virtual DWORD GetCurrentThreadId() = 0;
  // Applies to the calling thread (the only use the program has).
  virtual BOOL SetCurrentThreadPriority(int priority) = 0;

  // The processor and memory figures of the machine. The default reports an
  // unknown architecture and zeros.
  virtual void GetSystemInfo(SYSTEM_INFO* info);
  // The same figures for the machine itself, even for a process that the
  // system emulates. The default answers as GetSystemInfo, as a system
  // without this call is read.
  virtual void GetNativeSystemInfo(SYSTEM_INFO* info);

  // --- The system's version ---
  // The version record; info->dwOSVersionInfoSize must be
  // sizeof(OSVERSIONINFOEXW), else ERROR_INSUFFICIENT_BUFFER.
  virtual BOOL GetVersionExW(OSVERSIONINFOEXW* info);
  // The edition of the system (a PRODUCT_* value) for a program written for
  // the given system and service pack versions. Fails with
  // ERROR_CALL_NOT_IMPLEMENTED on a system that predates editions (major
  // version below 6), where the call does not exist.
  virtual BOOL GetProductInfo(DWORD os_major, DWORD os_minor, DWORD sp_major, DWORD sp_minor,
                              DWORD* product_type);
  // A system metric such as SM_SERVERR2; 0 for one the system does not know.
  virtual int GetSystemMetrics(int index);

  // Committed read-write memory of at least size bytes (address null,
  // MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE are the only values taken), and
  // its release (MEM_RELEASE with size 0 and the address given back).
  virtual void* VirtualAlloc(void* address, SIZE_T size, DWORD allocation_type, DWORD protect);
  virtual BOOL VirtualFree(void* address, SIZE_T size, DWORD free_type);
};

constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_OS_H_
