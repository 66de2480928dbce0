// The defaults of the network, account and token calls: each fails with
// ERROR_CALL_NOT_IMPLEMENTED, so that a test double provides only what its
// test uses.
#include "platform/os.h"

namespace tarvik {
namespace {

BOOL NotImplemented() {
  Os::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return FALSE;
}

DWORD NotImplementedStatus() {
  Os::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return ERROR_CALL_NOT_IMPLEMENTED;
}

}  // namespace

DWORD Os::GetFullPathNameW(const wchar_t*, DWORD, wchar_t*, wchar_t**) {
  Os::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return 0;
}
DWORD Os::WNetGetConnectionW(const wchar_t*, wchar_t*, DWORD*) {
  return NotImplementedStatus();
}
DWORD Os::WNetGetUserW(const wchar_t*, wchar_t*, DWORD*) {
  return NotImplementedStatus();
}
DWORD Os::WNetAddConnectionW(const wchar_t*, const wchar_t*, const wchar_t*) {
  return NotImplementedStatus();
}
DWORD Os::WNetCancelConnectionW(const wchar_t*, BOOL) {
  return NotImplementedStatus();
}
DWORD Os::QueryDosDeviceW(const wchar_t*, wchar_t*, DWORD) {
  Os::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return 0;
}
NET_API_STATUS Os::NetServerGetInfo(const wchar_t*, DWORD, SERVER_INFO_101*) {
  return NotImplementedStatus();
}
NET_API_STATUS Os::NetShareGetInfo(const wchar_t*, const wchar_t*, DWORD, SHARE_INFO_1005*) {
  return NotImplementedStatus();
}
DWORD Os::DsGetDcNameW(const wchar_t*, const wchar_t*, const void*, const wchar_t*, DWORD,
                       DOMAIN_CONTROLLER_INFOW*) {
  return NotImplementedStatus();
}
NET_API_STATUS Os::NetGetJoinInformation(const wchar_t*, std::wstring*, NETSETUP_JOIN_STATUS*) {
  return NotImplementedStatus();
}
NET_API_STATUS Os::NetUserModalsGet(const wchar_t*, DWORD, USER_MODALS_INFO_2*) {
  return NotImplementedStatus();
}
NET_API_STATUS Os::NetGetAnyDCName(const wchar_t*, const wchar_t*, std::wstring*) {
  return NotImplementedStatus();
}
NET_API_STATUS Os::NetUserGetInfo(const wchar_t*, const wchar_t*, DWORD, USER_INFO_3*) {
  return NotImplementedStatus();
}
NET_API_STATUS Os::NetLocalGroupEnum(const wchar_t*, DWORD, std::vector<LOCALGROUP_INFO_1>*, DWORD,
                                     DWORD*, DWORD*, DWORD_PTR*) {
  return NotImplementedStatus();
}
NET_API_STATUS Os::NetUserEnum(const wchar_t*, DWORD, DWORD, std::vector<USER_INFO_2>*, DWORD,
                               DWORD*, DWORD*, DWORD*) {
  return NotImplementedStatus();
}
NET_API_STATUS Os::NetQueryDisplayInformation(const wchar_t*, DWORD, DWORD, DWORD, DWORD, DWORD*,
                                              std::vector<NET_DISPLAY_USER>*) {
  return NotImplementedStatus();
}
BOOL Os::LookupAccountSidW(const wchar_t*, const void*, wchar_t*, DWORD*, wchar_t*, DWORD*,
                           SID_NAME_USE*) {
  return NotImplemented();
}
BOOL Os::LookupAccountNameW(const wchar_t*, const wchar_t*, PSID, DWORD*, wchar_t*, DWORD*,
                            SID_NAME_USE*) {
  return NotImplemented();
}
HANDLE Os::GetCurrentProcess() {
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
}
BOOL Os::OpenProcessToken(HANDLE, DWORD, HANDLE*) {
  return NotImplemented();
}
BOOL Os::GetTokenInformation(HANDLE, TOKEN_INFORMATION_CLASS, void*, DWORD, DWORD*) {
  return NotImplemented();
}
BOOL Os::AdjustTokenPrivileges(HANDLE, BOOL, TOKEN_PRIVILEGES*, DWORD, TOKEN_PRIVILEGES*, DWORD*) {
  return NotImplemented();
}
BOOL Os::AdjustTokenGroups(HANDLE, BOOL, TOKEN_GROUPS*, DWORD, TOKEN_GROUPS*, DWORD*) {
  return NotImplemented();
}
BOOL Os::LookupPrivilegeValueW(const wchar_t*, const wchar_t*, LUID*) {
  return NotImplemented();
}
BOOL Os::LookupPrivilegeNameW(const wchar_t*, const LUID*, wchar_t*, DWORD*) {
  return NotImplemented();
}
BOOL Os::LookupPrivilegeDisplayNameW(const wchar_t*, const wchar_t*, wchar_t*, DWORD*, DWORD*) {
  return NotImplemented();
}

}  // namespace tarvik
