// The records of the network management calls. Where the system hands back a
// buffer that the caller frees with NetApiBufferFree, the Os fills an owned
// record instead: the same fields under the same names, with strings and SIDs
// held by value, so there is nothing to free.
#ifndef TARVIK_PLATFORM_NET_TYPES_H_
#define TARVIK_PLATFORM_NET_TYPES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace tarvik {

using NET_API_STATUS = DWORD;

constexpr DWORD PLATFORM_ID_NT = 500;

// Server type bits (sv101_type).
constexpr DWORD SV_TYPE_WORKSTATION = 0x00000001;
constexpr DWORD SV_TYPE_SERVER = 0x00000002;
constexpr DWORD SV_TYPE_DOMAIN_CTRL = 0x00000008;
constexpr DWORD SV_TYPE_DOMAIN_BAKCTRL = 0x00000010;
constexpr DWORD SV_TYPE_TIME_SOURCE = 0x00000020;
constexpr DWORD SV_TYPE_NT = 0x00001000;
constexpr DWORD SV_TYPE_SERVER_NT = 0x00008000;

// NetServerGetInfo level 101.
struct SERVER_INFO_101 {
  DWORD sv101_platform_id = 0;
  std::wstring sv101_name;  // without leading backslashes
  DWORD sv101_version_major = 0;
  DWORD sv101_version_minor = 0;
  DWORD sv101_type = 0;
  std::wstring sv101_comment;
};

// NetShareGetInfo level 1005.
constexpr DWORD SHI1005_FLAGS_DFS = 0x01;
constexpr DWORD SHI1005_FLAGS_DFS_ROOT = 0x02;
struct SHARE_INFO_1005 {
  DWORD shi1005_flags = 0;
};

// DsGetDcNameW flags and result.
constexpr DWORD DS_FORCE_REDISCOVERY = 0x00000001;
constexpr DWORD DS_DIRECTORY_SERVICE_REQUIRED = 0x00000010;
constexpr DWORD DS_GC_SERVER_REQUIRED = 0x00000040;
constexpr DWORD DS_RETURN_DNS_NAME = 0x40000000;
constexpr DWORD DS_RETURN_FLAT_NAME = 0x80000000;
constexpr DWORD DS_PDC_FLAG = 0x00000001;
constexpr DWORD DS_GC_FLAG = 0x00000004;
constexpr DWORD DS_DS_FLAG = 0x00000010;
constexpr DWORD DS_WRITABLE_FLAG = 0x00000100;
constexpr DWORD DS_DNS_CONTROLLER_FLAG = 0x20000000;
constexpr DWORD DS_DNS_DOMAIN_FLAG = 0x40000000;
constexpr DWORD DS_DNS_FOREST_FLAG = 0x80000000;
constexpr DWORD DS_INET_ADDRESS = 1;
constexpr DWORD DS_NETBIOS_ADDRESS = 2;
struct DOMAIN_CONTROLLER_INFOW {
  std::wstring DomainControllerName;     // \\dc1.corp.example.com
  std::wstring DomainControllerAddress;  // \\ and the address
  DWORD DomainControllerAddressType = 0;
  std::wstring DomainName;  // "corp.example.com", or the NetBIOS name without DNS
  std::wstring DnsForestName;
  DWORD Flags = 0;
  std::wstring DcSiteName;
  std::wstring ClientSiteName;
};

// NetGetJoinInformation.
enum NETSETUP_JOIN_STATUS : DWORD {
  NetSetupUnknownStatus = 0,
  NetSetupUnjoined = 1,
  NetSetupWorkgroupName = 2,
  NetSetupDomainName = 3,
};

// NetUserModalsGet level 2: the server's account domain.
struct USER_MODALS_INFO_2 {
  std::wstring usrmod2_domain_name;
  std::vector<BYTE> usrmod2_domain_id;  // the domain SID in its binary layout
};

// NetUserGetInfo level 3 (the fields that mean something here).
constexpr DWORD USER_PRIV_GUEST = 0;
constexpr DWORD USER_PRIV_USER = 1;
constexpr DWORD USER_PRIV_ADMIN = 2;
constexpr DWORD UF_SCRIPT = 0x0001;
constexpr DWORD UF_ACCOUNTDISABLE = 0x0002;
constexpr DWORD UF_NORMAL_ACCOUNT = 0x0200;
constexpr DWORD UF_WORKSTATION_TRUST_ACCOUNT = 0x1000;
struct USER_INFO_3 {
  std::wstring usri3_name;
  DWORD usri3_priv = 0;
  std::wstring usri3_home_dir;
  std::wstring usri3_comment;
  DWORD usri3_flags = 0;
  std::wstring usri3_script_path;
  std::wstring usri3_full_name;
  DWORD usri3_user_id = 0;
  DWORD usri3_primary_group_id = 0;
};

// The enumerations: a preferred buffer size that takes every entry at once,
// and the resume handle of NetLocalGroupEnum (pointer-sized, as on Windows).
constexpr DWORD MAX_PREFERRED_LENGTH = 0xFFFFFFFF;
using DWORD_PTR = std::uintptr_t;

// NetLocalGroupEnum levels 0 and 1: level 0 leaves the comment empty.
struct LOCALGROUP_INFO_1 {
  std::wstring lgrpi1_name;
  std::wstring lgrpi1_comment;
};

// NetUserEnum filters (0 takes every kind of account).
constexpr DWORD FILTER_NORMAL_ACCOUNT = 0x0002;
constexpr DWORD FILTER_WORKSTATION_TRUST_ACCOUNT = 0x0010;

// NetUserEnum level 2, every field in the system's order.
constexpr DWORD TIMEQ_FOREVER = 0xFFFFFFFF;
constexpr DWORD USER_MAXSTORAGE_UNLIMITED = 0xFFFFFFFF;
constexpr DWORD UNITS_PER_WEEK = 168;  // logon hours: one bit per hour
struct USER_INFO_2 {
  std::wstring usri2_name;
  std::wstring usri2_password;  // never given back: empty
  DWORD usri2_password_age = 0;
  DWORD usri2_priv = 0;
  std::wstring usri2_home_dir;
  std::wstring usri2_comment;
  DWORD usri2_flags = 0;
  std::wstring usri2_script_path;
  DWORD usri2_auth_flags = 0;
  std::wstring usri2_full_name;
  std::wstring usri2_usr_comment;
  std::wstring usri2_parms;
  std::wstring usri2_workstations;
  DWORD usri2_last_logon = 0;
  DWORD usri2_last_logoff = 0;
  DWORD usri2_acct_expires = TIMEQ_FOREVER;
  DWORD usri2_max_storage = USER_MAXSTORAGE_UNLIMITED;
  DWORD usri2_units_per_week = 0;
  std::vector<BYTE> usri2_logon_hours;  // units_per_week bits
  DWORD usri2_bad_pw_count = 0;
  DWORD usri2_num_logons = 0;
  std::wstring usri2_logon_server;
  DWORD usri2_country_code = 0;
  DWORD usri2_code_page = 0;
};

// NetQueryDisplayInformation level 1 (users). usri1_next_index is the index
// that continues the enumeration after this entry.
struct NET_DISPLAY_USER {
  std::wstring usri1_name;
  std::wstring usri1_comment;
  DWORD usri1_flags = 0;
  std::wstring usri1_full_name;
  DWORD usri1_user_id = 0;
  DWORD usri1_next_index = 0;
};

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_NET_TYPES_H_
