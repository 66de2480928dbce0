#include "platform/fault_os.h"

#include "util/text.h"

namespace tarvik {
namespace {

constexpr FaultableCall kCalls[] = {
    {L"CreateFileW", true},
    {L"ReadFile", true},
    {L"WriteFile", true},
    {L"SetFilePointer", true},
    {L"FlushFileBuffers", true},
    {L"CloseHandle", true},
    {L"GetComputerNameW", false},
    {L"SetEndOfFile", true},
    {L"GetFileInformationByHandle", true},
    {L"GetFileTime", true},
    {L"SetFileTime", true},
    {L"GetFileAttributesW", true},
    {L"SetFileAttributesW", true},
    {L"FindFirstFileW", true},
    {L"FindNextFileW", true},
    {L"FindClose", true},
    {L"CreateDirectoryW", true},
    {L"RemoveDirectoryW", true},
    {L"DeleteFileW", true},
    {L"MoveFileW", true},
    {L"DeviceIoControl", true},
    {L"NtQueryInformationFile", true},
    {L"NtFsControlFile", true},
    {L"GetKernelObjectSecurity", true},
    {L"SetKernelObjectSecurity", true},
    {L"GetDiskFreeSpaceExW", true},
    {L"GetDriveTypeW", true},
    // Network, accounts and token: the path is the server, share or device
    // named ("" for this computer).
    {L"GetFullPathNameW", true},
    {L"WNetGetConnectionW", true},
    {L"WNetGetUserW", true},
    {L"WNetAddConnectionW", true},
    {L"WNetCancelConnectionW", true},
    {L"QueryDosDeviceW", true},
    {L"NetServerGetInfo", true},
    {L"NetShareGetInfo", true},
    {L"DsGetDcNameW", true},
    {L"NetGetJoinInformation", true},
    {L"NetUserModalsGet", true},
    {L"NetGetAnyDCName", true},
    {L"NetUserGetInfo", true},
    {L"NetLocalGroupEnum", true},
    {L"NetUserEnum", true},
    {L"NetQueryDisplayInformation", true},
    {L"LookupAccountSidW", true},
    {L"LookupAccountNameW", true},
    {L"OpenProcessToken", false},
    {L"GetTokenInformation", false},
    {L"AdjustTokenPrivileges", false},
    {L"AdjustTokenGroups", false},
    {L"LookupPrivilegeValueW", false},
    {L"LookupPrivilegeNameW", false},
    {L"LookupPrivilegeDisplayNameW", false},
    {L"VirtualAlloc", false},
    {L"GetVersionExW", false},
};

// The path as the pattern sees it: no long prefix, one kind of separator,
// folded case.
std::wstring Canonical(std::wstring_view path) {
  std::wstring text;
  if (StartsWithNoCaseAscii(path, L"\\\\?\\UNC\\")) {
    text = L"\\\\" + std::wstring(path.substr(8));
  } else if (path.substr(0, 4) == L"\\\\?\\") {
    text = path.substr(4);
  } else {
    text = path;
  }
  for (wchar_t& c : text)
    c = c == L'/' ? L'\\' : ToLowerAscii(c);
  return text;
}

bool WildcardMatch(std::wstring_view pattern, std::wstring_view text) {
  size_t p = 0, t = 0;
  size_t star = std::wstring_view::npos, resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && (pattern[p] == L'?' || pattern[p] == text[t])) {
      ++p;
      ++t;
    } else if (p < pattern.size() && pattern[p] == L'*') {
      star = p++;
      resume = t;
    } else if (star != std::wstring_view::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == L'*')
    ++p;
  return p == pattern.size();
}

}  // namespace

const FaultableCall* FindFaultableCall(std::wstring_view name) {
  for (const FaultableCall& call : kCalls) {
    if (name == call.name)
      return &call;
  }
  return nullptr;
}

bool MatchesPathPattern(std::wstring_view pattern, std::wstring_view path) {
  return WildcardMatch(Canonical(pattern), Canonical(path));
}

FaultOs::FaultOs(std::unique_ptr<Os> inner, std::vector<WorldFault> faults)
    : inner_(std::move(inner)) {
  for (WorldFault& fault : faults)
    rules_.push_back({std::move(fault), 0});
}

bool FaultOs::Inject(std::wstring_view call, std::wstring_view path) {
  std::lock_guard lock(mutex_);
  DWORD error = ERROR_SUCCESS;
  for (Rule& rule : rules_) {
    if (rule.fault.call != call)
      continue;
    if (!rule.fault.path_pattern.empty() && !MatchesPathPattern(rule.fault.path_pattern, path)) {
      continue;
    }
    uint64_t seen = ++rule.matched;
    bool failing = seen > rule.fault.after &&
                   (rule.fault.count == 0 || seen <= uint64_t{rule.fault.after} + rule.fault.count);
    if (failing && error == ERROR_SUCCESS)
      error = rule.fault.error;
  }
  if (error == ERROR_SUCCESS)
    return false;
  SetLastError(error);
  return true;
}

void FaultOs::RememberPath(HANDLE handle, const wchar_t* path) {
  std::lock_guard lock(mutex_);
  if (path == nullptr)
    paths_.erase(handle);
  else
    paths_[handle] = path;
}

std::wstring FaultOs::PathOf(HANDLE handle) {
  std::lock_guard lock(mutex_);
  auto it = paths_.find(handle);
  return it == paths_.end() ? std::wstring() : it->second;
}

UINT FaultOs::SetErrorMode(UINT mode) {
  return inner_->SetErrorMode(mode);
}

HANDLE FaultOs::GetStdHandle(DWORD which) {
  return inner_->GetStdHandle(which);
}

BOOL FaultOs::GetConsoleMode(HANDLE console, DWORD* mode) {
  return inner_->GetConsoleMode(console, mode);
}

BOOL FaultOs::SetConsoleMode(HANDLE console, DWORD mode) {
  return inner_->SetConsoleMode(console, mode);
}

BOOL FaultOs::SetConsoleTextAttribute(HANDLE console, WORD attributes) {
  return inner_->SetConsoleTextAttribute(console, attributes);
}

BOOL FaultOs::WriteConsoleW(HANDLE console, const wchar_t* text, DWORD length, DWORD* written) {
  return inner_->WriteConsoleW(console, text, length, written);
}

BOOL FaultOs::GetComputerNameW(wchar_t* buffer, DWORD* size) {
  if (Inject(L"GetComputerNameW", L""))
    return FALSE;
  return inner_->GetComputerNameW(buffer, size);
}

DWORD FaultOs::FormatMessageW(DWORD flags, const void* source, DWORD message_id, DWORD language_id,
                              wchar_t* buffer, DWORD size, void* arguments) {
  return inner_->FormatMessageW(flags, source, message_id, language_id, buffer, size, arguments);
}

HANDLE FaultOs::CreateFileW(const wchar_t* file_name, DWORD desired_access, DWORD share_mode,
                            SECURITY_ATTRIBUTES* security_attributes, DWORD creation_disposition,
                            DWORD flags_and_attributes, HANDLE template_file) {
  if (file_name != nullptr && Inject(L"CreateFileW", file_name))
    return INVALID_HANDLE_VALUE;
  HANDLE handle = inner_->CreateFileW(file_name, desired_access, share_mode, security_attributes,
                                      creation_disposition, flags_and_attributes, template_file);
  if (handle != INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();  // ERROR_ALREADY_EXISTS must survive the bookkeeping
    std::lock_guard lock(mutex_);
    paths_[handle] = file_name;
    SetLastError(error);
  }
  return handle;
}

BOOL FaultOs::ReadFile(HANDLE file, void* buffer, DWORD bytes_to_read, DWORD* bytes_read,
                       OVERLAPPED* overlapped) {
  if (Inject(L"ReadFile", PathOf(file))) {
    if (bytes_read != nullptr)
      *bytes_read = 0;
    return FALSE;
  }
  return inner_->ReadFile(file, buffer, bytes_to_read, bytes_read, overlapped);
}

BOOL FaultOs::WriteFile(HANDLE file, const void* buffer, DWORD bytes_to_write, DWORD* bytes_written,
                        OVERLAPPED* overlapped) {
  if (Inject(L"WriteFile", PathOf(file))) {
    if (bytes_written != nullptr)
      *bytes_written = 0;
    return FALSE;
  }
  return inner_->WriteFile(file, buffer, bytes_to_write, bytes_written, overlapped);
}

DWORD FaultOs::SetFilePointer(HANDLE file, LONG distance_low, LONG* distance_high, DWORD method) {
  if (Inject(L"SetFilePointer", PathOf(file)))
    return INVALID_SET_FILE_POINTER;
  return inner_->SetFilePointer(file, distance_low, distance_high, method);
}

BOOL FaultOs::FlushFileBuffers(HANDLE file) {
  if (Inject(L"FlushFileBuffers", PathOf(file)))
    return FALSE;
  return inner_->FlushFileBuffers(file);
}

BOOL FaultOs::CloseHandle(HANDLE object) {
  std::wstring path = PathOf(object);
  {
    std::lock_guard lock(mutex_);
    paths_.erase(object);
  }
  // A failed close still releases the handle, as it does on the platform.
  bool fail = Inject(L"CloseHandle", path);
  DWORD error = GetLastError();
  BOOL closed = inner_->CloseHandle(object);
  if (!fail)
    return closed;
  SetLastError(error);
  return FALSE;
}

namespace {

std::wstring_view Named(const wchar_t* name) {
  return name == nullptr ? std::wstring_view() : std::wstring_view(name);
}

}  // namespace

DWORD FaultOs::GetFullPathNameW(const wchar_t* file_name, DWORD size, wchar_t* buffer,
                                wchar_t** file_part) {
  if (Inject(L"GetFullPathNameW", Named(file_name)))
    return 0;
  return inner_->GetFullPathNameW(file_name, size, buffer, file_part);
}

DWORD FaultOs::WNetGetConnectionW(const wchar_t* local_name, wchar_t* remote_name, DWORD* length) {
  if (Inject(L"WNetGetConnectionW", Named(local_name)))
    return GetLastError();
  return inner_->WNetGetConnectionW(local_name, remote_name, length);
}

DWORD FaultOs::WNetGetUserW(const wchar_t* name, wchar_t* user_name, DWORD* length) {
  if (Inject(L"WNetGetUserW", Named(name)))
    return GetLastError();
  return inner_->WNetGetUserW(name, user_name, length);
}

DWORD FaultOs::WNetAddConnectionW(const wchar_t* remote_name, const wchar_t* password,
                                  const wchar_t* local_name) {
  if (Inject(L"WNetAddConnectionW", Named(remote_name)))
    return GetLastError();
  return inner_->WNetAddConnectionW(remote_name, password, local_name);
}

DWORD FaultOs::WNetCancelConnectionW(const wchar_t* name, BOOL force) {
  if (Inject(L"WNetCancelConnectionW", Named(name)))
    return GetLastError();
  return inner_->WNetCancelConnectionW(name, force);
}

DWORD FaultOs::QueryDosDeviceW(const wchar_t* device_name, wchar_t* target_path, DWORD max) {
  if (Inject(L"QueryDosDeviceW", Named(device_name)))
    return 0;
  return inner_->QueryDosDeviceW(device_name, target_path, max);
}

NET_API_STATUS FaultOs::NetServerGetInfo(const wchar_t* server_name, DWORD level,
                                         SERVER_INFO_101* info) {
  if (Inject(L"NetServerGetInfo", Named(server_name)))
    return GetLastError();
  return inner_->NetServerGetInfo(server_name, level, info);
}

NET_API_STATUS FaultOs::NetShareGetInfo(const wchar_t* server_name, const wchar_t* share_name,
                                        DWORD level, SHARE_INFO_1005* info) {
  std::wstring path = std::wstring(Named(server_name)) + L"\\" + std::wstring(Named(share_name));
  if (Inject(L"NetShareGetInfo", path))
    return GetLastError();
  return inner_->NetShareGetInfo(server_name, share_name, level, info);
}

DWORD FaultOs::DsGetDcNameW(const wchar_t* computer_name, const wchar_t* domain_name,
                            const void* domain_guid, const wchar_t* site_name, DWORD flags,
                            DOMAIN_CONTROLLER_INFOW* info) {
  if (Inject(L"DsGetDcNameW", Named(computer_name)))
    return GetLastError();
  return inner_->DsGetDcNameW(computer_name, domain_name, domain_guid, site_name, flags, info);
}

NET_API_STATUS FaultOs::NetGetJoinInformation(const wchar_t* server, std::wstring* name,
                                              NETSETUP_JOIN_STATUS* status) {
  if (Inject(L"NetGetJoinInformation", Named(server)))
    return GetLastError();
  return inner_->NetGetJoinInformation(server, name, status);
}

NET_API_STATUS FaultOs::NetUserModalsGet(const wchar_t* server_name, DWORD level,
                                         USER_MODALS_INFO_2* info) {
  if (Inject(L"NetUserModalsGet", Named(server_name)))
    return GetLastError();
  return inner_->NetUserModalsGet(server_name, level, info);
}

NET_API_STATUS FaultOs::NetGetAnyDCName(const wchar_t* server_name, const wchar_t* domain_name,
                                        std::wstring* dc_name) {
  if (Inject(L"NetGetAnyDCName", Named(server_name)))
    return GetLastError();
  return inner_->NetGetAnyDCName(server_name, domain_name, dc_name);
}

NET_API_STATUS FaultOs::NetUserGetInfo(const wchar_t* server_name, const wchar_t* user_name,
                                       DWORD level, USER_INFO_3* info) {
  if (Inject(L"NetUserGetInfo", Named(server_name)))
    return GetLastError();
  return inner_->NetUserGetInfo(server_name, user_name, level, info);
}

NET_API_STATUS FaultOs::NetLocalGroupEnum(const wchar_t* server_name, DWORD level,
                                          std::vector<LOCALGROUP_INFO_1>* buffer, DWORD prefmaxlen,
                                          DWORD* entries_read, DWORD* total_entries,
                                          DWORD_PTR* resume_handle) {
  if (Inject(L"NetLocalGroupEnum", Named(server_name)))
    return GetLastError();
  return inner_->NetLocalGroupEnum(server_name, level, buffer, prefmaxlen, entries_read,
                                   total_entries, resume_handle);
}

NET_API_STATUS FaultOs::NetUserEnum(const wchar_t* server_name, DWORD level, DWORD filter,
                                    std::vector<USER_INFO_2>* buffer, DWORD prefmaxlen,
                                    DWORD* entries_read, DWORD* total_entries,
                                    DWORD* resume_handle) {
  if (Inject(L"NetUserEnum", Named(server_name)))
    return GetLastError();
  return inner_->NetUserEnum(server_name, level, filter, buffer, prefmaxlen, entries_read,
                             total_entries, resume_handle);
}

NET_API_STATUS FaultOs::NetQueryDisplayInformation(const wchar_t* server_name, DWORD level,
                                                   DWORD index, DWORD entries_requested,
                                                   DWORD prefmaxlen, DWORD* returned_entry_count,
                                                   std::vector<NET_DISPLAY_USER>* buffer) {
  if (Inject(L"NetQueryDisplayInformation", Named(server_name)))
    return GetLastError();
  return inner_->NetQueryDisplayInformation(server_name, level, index, entries_requested,
                                            prefmaxlen, returned_entry_count, buffer);
}

BOOL FaultOs::LookupAccountSidW(const wchar_t* system, const void* sid, wchar_t* name,
                                DWORD* name_size, wchar_t* referenced_domain, DWORD* domain_size,
                                SID_NAME_USE* use) {
  if (Inject(L"LookupAccountSidW", Named(system)))
    return FALSE;
  return inner_->LookupAccountSidW(system, sid, name, name_size, referenced_domain, domain_size,
                                   use);
}

BOOL FaultOs::LookupAccountNameW(const wchar_t* system, const wchar_t* account_name, PSID sid,
                                 DWORD* sid_size, wchar_t* referenced_domain, DWORD* domain_size,
                                 SID_NAME_USE* use) {
  if (Inject(L"LookupAccountNameW", Named(system)))
    return FALSE;
  return inner_->LookupAccountNameW(system, account_name, sid, sid_size, referenced_domain,
                                    domain_size, use);
}

HANDLE FaultOs::GetCurrentProcess() {
  return inner_->GetCurrentProcess();
}

BOOL FaultOs::OpenProcessToken(HANDLE process, DWORD desired_access, HANDLE* token) {
  if (Inject(L"OpenProcessToken", L""))
    return FALSE;
  return inner_->OpenProcessToken(process, desired_access, token);
}

BOOL FaultOs::GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS information_class,
                                  void* information, DWORD length, DWORD* return_length) {
  if (Inject(L"GetTokenInformation", L""))
    return FALSE;
  return inner_->GetTokenInformation(token, information_class, information, length, return_length);
}

BOOL FaultOs::AdjustTokenPrivileges(HANDLE token, BOOL disable_all, TOKEN_PRIVILEGES* new_state,
                                    DWORD length, TOKEN_PRIVILEGES* previous_state,
                                    DWORD* return_length) {
  if (Inject(L"AdjustTokenPrivileges", L""))
    return FALSE;
  return inner_->AdjustTokenPrivileges(token, disable_all, new_state, length, previous_state,
                                       return_length);
}

BOOL FaultOs::AdjustTokenGroups(HANDLE token, BOOL reset_to_default, TOKEN_GROUPS* new_state,
                                DWORD length, TOKEN_GROUPS* previous_state, DWORD* return_length) {
  if (Inject(L"AdjustTokenGroups", L""))
    return FALSE;
  return inner_->AdjustTokenGroups(token, reset_to_default, new_state, length, previous_state,
                                   return_length);
}

BOOL FaultOs::LookupPrivilegeValueW(const wchar_t* system, const wchar_t* name, LUID* luid) {
  if (Inject(L"LookupPrivilegeValueW", L""))
    return FALSE;
  return inner_->LookupPrivilegeValueW(system, name, luid);
}

BOOL FaultOs::LookupPrivilegeNameW(const wchar_t* system, const LUID* luid, wchar_t* name,
                                   DWORD* length) {
  if (Inject(L"LookupPrivilegeNameW", L""))
    return FALSE;
  return inner_->LookupPrivilegeNameW(system, luid, name, length);
}

BOOL FaultOs::LookupPrivilegeDisplayNameW(const wchar_t* system, const wchar_t* name,
                                          wchar_t* display_name, DWORD* length,
                                          DWORD* language_id) {
  if (Inject(L"LookupPrivilegeDisplayNameW", L""))
    return FALSE;
  return inner_->LookupPrivilegeDisplayNameW(system, name, display_name, length, language_id);
}

int64_t FaultOs::time() {
  return inner_->time();
}

bool FaultOs::LocalTime(int64_t seconds, std::tm* out) {
  return inner_->LocalTime(seconds, out);
}

void FaultOs::GetSystemTimeAsFileTime(FILETIME* now) {
  inner_->GetSystemTimeAsFileTime(now);
}

BOOL FaultOs::QueryPerformanceCounter(LARGE_INTEGER* count) {
  return inner_->QueryPerformanceCounter(count);
}

BOOL FaultOs::QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  return inner_->QueryPerformanceFrequency(frequency);
}

void FaultOs::GetSystemInfo(SYSTEM_INFO* info) {
  inner_->GetSystemInfo(info);
}

void FaultOs::GetNativeSystemInfo(SYSTEM_INFO* info) {
  inner_->GetNativeSystemInfo(info);
}

BOOL FaultOs::GetVersionExW(OSVERSIONINFOEXW* info) {
  if (Inject(L"GetVersionExW", L""))
    return FALSE;
  return inner_->GetVersionExW(info);
}

BOOL FaultOs::GetProductInfo(DWORD os_major, DWORD os_minor, DWORD sp_major, DWORD sp_minor,
                             DWORD* product_type) {
  return inner_->GetProductInfo(os_major, os_minor, sp_major, sp_minor, product_type);
}

int FaultOs::GetSystemMetrics(int index) {
  return inner_->GetSystemMetrics(index);
}

void* FaultOs::VirtualAlloc(void* address, SIZE_T size, DWORD allocation_type, DWORD protect) {
  if (Inject(L"VirtualAlloc", L""))
    return nullptr;
  return inner_->VirtualAlloc(address, size, allocation_type, protect);
}

BOOL FaultOs::VirtualFree(void* address, SIZE_T size, DWORD free_type) {
  return inner_->VirtualFree(address, size, free_type);
}

void FaultOs::Sleep(DWORD milliseconds) {
  inner_->Sleep(milliseconds);
}

DWORD FaultOs::GetCurrentThreadId() {
  return inner_->GetCurrentThreadId();
}

BOOL FaultOs::SetCurrentThreadPriority(int priority) {
  return inner_->SetCurrentThreadPriority(priority);
}

BOOL FaultOs::GetKernelObjectSecurity(HANDLE handle, SECURITY_INFORMATION requested,
                                      void* descriptor, DWORD length, DWORD* length_needed) {
  if (Inject(L"GetKernelObjectSecurity", PathOf(handle)))
    return FALSE;
  return inner_->GetKernelObjectSecurity(handle, requested, descriptor, length, length_needed);
}

BOOL FaultOs::SetKernelObjectSecurity(HANDLE handle, SECURITY_INFORMATION information,
                                      const void* descriptor) {
  if (Inject(L"SetKernelObjectSecurity", PathOf(handle)))
    return FALSE;
  return inner_->SetKernelObjectSecurity(handle, information, descriptor);
}

}  // namespace tarvik
