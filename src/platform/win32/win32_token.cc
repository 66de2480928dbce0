// The process token and privileges: straight through to the system.
#include "platform/win32/win32_os.h"

#include "platform/win32/win32_call.h"

namespace tarvik {

HANDLE Win32Os::GetCurrentProcess() {
  return ::GetCurrentProcess();
}

BOOL Win32Os::OpenProcessToken(HANDLE process, DWORD desired_access, HANDLE* token) {
  return Kept(::OpenProcessToken(process, desired_access, token));
}

BOOL Win32Os::GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS information_class,
                                  void* information, DWORD length, DWORD* return_length) {
  return Kept(::GetTokenInformation(token,
                                    static_cast<::TOKEN_INFORMATION_CLASS>(information_class),
                                    information, length, As<::DWORD>(return_length)));
}

BOOL Win32Os::AdjustTokenPrivileges(HANDLE token, BOOL disable_all, TOKEN_PRIVILEGES* new_state,
                                    DWORD length, TOKEN_PRIVILEGES* previous_state,
                                    DWORD* return_length) {
  return Kept(::AdjustTokenPrivileges(token, disable_all, As<::TOKEN_PRIVILEGES>(new_state), length,
                                      As<::TOKEN_PRIVILEGES>(previous_state),
                                      As<::DWORD>(return_length)));
}

BOOL Win32Os::AdjustTokenGroups(HANDLE token, BOOL reset_to_default, TOKEN_GROUPS* new_state,
                                DWORD length, TOKEN_GROUPS* previous_state, DWORD* return_length) {
  return Kept(::AdjustTokenGroups(token, reset_to_default, As<::TOKEN_GROUPS>(new_state), length,
                                  As<::TOKEN_GROUPS>(previous_state), As<::DWORD>(return_length)));
}

BOOL Win32Os::LookupPrivilegeValueW(const wchar_t* system, const wchar_t* name, LUID* luid) {
  return Kept(::LookupPrivilegeValueW(system, name, As<::LUID>(luid)));
}

BOOL Win32Os::LookupPrivilegeNameW(const wchar_t* system, const LUID* luid, wchar_t* name,
                                   DWORD* length) {
  // The system takes a mutable LUID but only reads it.
  return Kept(::LookupPrivilegeNameW(system, const_cast<::LUID*>(As<::LUID>(luid)), name,
                                     As<::DWORD>(length)));
}

BOOL Win32Os::LookupPrivilegeDisplayNameW(const wchar_t* system, const wchar_t* name,
                                          wchar_t* display_name, DWORD* length,
                                          DWORD* language_id) {
  return Kept(::LookupPrivilegeDisplayNameW(system, name, display_name, As<::DWORD>(length),
                                            As<::DWORD>(language_id)));
}

}  // namespace tarvik
