// Network connections, servers and domains. The Net* and Ds* calls hand back
// a buffer of the system's; its fields are copied into tarvik's owned record
// and the buffer freed at once.
#include <string>

#include "platform/win32/win32_os.h"

#include "platform/win32/win32_call.h"

namespace tarvik {

DWORD Win32Os::WNetGetConnectionW(const wchar_t* local_name, wchar_t* remote_name, DWORD* length) {
  return NetStatus(::WNetGetConnectionW(local_name, remote_name, As<::DWORD>(length)));
}

DWORD Win32Os::WNetGetUserW(const wchar_t* name, wchar_t* user_name, DWORD* length) {
  return NetStatus(::WNetGetUserW(name, user_name, As<::DWORD>(length)));
}

DWORD Win32Os::WNetAddConnectionW(const wchar_t* remote_name, const wchar_t* password,
                                  const wchar_t* local_name) {
  return NetStatus(::WNetAddConnectionW(remote_name, password, local_name));
}

DWORD Win32Os::WNetCancelConnectionW(const wchar_t* name, BOOL force) {
  return NetStatus(::WNetCancelConnectionW(name, force));
}

NET_API_STATUS Win32Os::NetServerGetInfo(const wchar_t* server_name, DWORD level,
                                         SERVER_INFO_101* info) {
  if (level != 101)
    return NetStatus(ERROR_INVALID_LEVEL);
  ::LPBYTE raw = nullptr;
  const DWORD status = ::NetServerGetInfo(const_cast<wchar_t*>(server_name), level, &raw);
  NetBuffer<::SERVER_INFO_101> record(reinterpret_cast<::SERVER_INFO_101*>(raw));
  if (status == NERR_Success) {
    info->sv101_platform_id = record->sv101_platform_id;
    info->sv101_name = TextOf(record->sv101_name);
    info->sv101_version_major = record->sv101_version_major;
    info->sv101_version_minor = record->sv101_version_minor;
    info->sv101_type = record->sv101_type;
    info->sv101_comment = TextOf(record->sv101_comment);
  }
  return NetStatus(status);
}

NET_API_STATUS Win32Os::NetShareGetInfo(const wchar_t* server_name, const wchar_t* share_name,
                                        DWORD level, SHARE_INFO_1005* info) {
  if (level != 1005)
    return NetStatus(ERROR_INVALID_LEVEL);
  ::LPBYTE raw = nullptr;
  const DWORD status = ::NetShareGetInfo(const_cast<wchar_t*>(server_name),
                                         const_cast<wchar_t*>(share_name), level, &raw);
  NetBuffer<::SHARE_INFO_1005> record(reinterpret_cast<::SHARE_INFO_1005*>(raw));
  if (status == NERR_Success)
    info->shi1005_flags = record->shi1005_flags;
  return NetStatus(status);
}

DWORD Win32Os::DsGetDcNameW(const wchar_t* computer_name, const wchar_t* domain_name,
                            const void* domain_guid, const wchar_t* site_name, DWORD flags,
                            DOMAIN_CONTROLLER_INFOW* info) {
  ::PDOMAIN_CONTROLLER_INFOW raw = nullptr;
  const DWORD status =
      ::DsGetDcNameW(computer_name, domain_name,
                     static_cast<::GUID*>(const_cast<void*>(domain_guid)), site_name, flags, &raw);
  NetBuffer<::DOMAIN_CONTROLLER_INFOW> record(raw);
  if (status == ERROR_SUCCESS) {
    info->DomainControllerName = TextOf(record->DomainControllerName);
    info->DomainControllerAddress = TextOf(record->DomainControllerAddress);
    info->DomainControllerAddressType = record->DomainControllerAddressType;
    info->DomainName = TextOf(record->DomainName);
    info->DnsForestName = TextOf(record->DnsForestName);
    info->Flags = record->Flags;
    info->DcSiteName = TextOf(record->DcSiteName);
    info->ClientSiteName = TextOf(record->ClientSiteName);
  }
  return NetStatus(status);
}

NET_API_STATUS Win32Os::NetGetJoinInformation(const wchar_t* server, std::wstring* name,
                                              NETSETUP_JOIN_STATUS* status) {
  ::LPWSTR raw = nullptr;
  ::NETSETUP_JOIN_STATUS join = ::NetSetupUnknownStatus;
  const DWORD result = ::NetGetJoinInformation(server, &raw, &join);
  NetBuffer<wchar_t> buffer(raw);
  if (result == NERR_Success) {
    *name = TextOf(raw);
    *status = static_cast<NETSETUP_JOIN_STATUS>(join);
  }
  return NetStatus(result);
}

NET_API_STATUS Win32Os::NetUserModalsGet(const wchar_t* server_name, DWORD level,
                                         USER_MODALS_INFO_2* info) {
  if (level != 2)
    return NetStatus(ERROR_INVALID_LEVEL);
  ::LPBYTE raw = nullptr;
  const DWORD status = ::NetUserModalsGet(server_name, level, &raw);
  NetBuffer<::USER_MODALS_INFO_2> record(reinterpret_cast<::USER_MODALS_INFO_2*>(raw));
  if (status == NERR_Success) {
    info->usrmod2_domain_name = TextOf(record->usrmod2_domain_name);
    const auto* sid = static_cast<const BYTE*>(record->usrmod2_domain_id);
    info->usrmod2_domain_id.assign(sid, sid + ::GetLengthSid(record->usrmod2_domain_id));
  }
  return NetStatus(status);
}

NET_API_STATUS Win32Os::NetGetAnyDCName(const wchar_t* server_name, const wchar_t* domain_name,
                                        std::wstring* dc_name) {
  ::LPBYTE raw = nullptr;
  const DWORD status = ::NetGetAnyDCName(server_name, domain_name, &raw);
  NetBuffer<wchar_t> buffer(reinterpret_cast<wchar_t*>(raw));
  if (status == NERR_Success)
    *dc_name = TextOf(buffer.get());
  return NetStatus(status);
}

NET_API_STATUS Win32Os::NetUserGetInfo(const wchar_t* server_name, const wchar_t* user_name,
                                       DWORD level, USER_INFO_3* info) {
  if (level != 3)
    return NetStatus(ERROR_INVALID_LEVEL);
  ::LPBYTE raw = nullptr;
  const DWORD status = ::NetUserGetInfo(server_name, user_name, level, &raw);
  NetBuffer<::USER_INFO_3> record(reinterpret_cast<::USER_INFO_3*>(raw));
  if (status == NERR_Success) {
    info->usri3_name = TextOf(record->usri3_name);
    info->usri3_priv = record->usri3_priv;
    info->usri3_home_dir = TextOf(record->usri3_home_dir);
    info->usri3_comment = TextOf(record->usri3_comment);
    info->usri3_flags = record->usri3_flags;
    info->usri3_script_path = TextOf(record->usri3_script_path);
    info->usri3_full_name = TextOf(record->usri3_full_name);
    info->usri3_user_id = record->usri3_user_id;
    info->usri3_primary_group_id = record->usri3_primary_group_id;
  }
  return NetStatus(status);
}

}  // namespace tarvik
