// The world: the Windows machine, its network and its accounts as the program
// sees them on a host that is not Windows. A world comes from a JSON file
// (docs/world.md has the schema) or is made from the host alone; either way it
// is built once, checked, and read-only afterwards.
#ifndef TARVIK_PLATFORM_WORLD_H_
#define TARVIK_PLATFORM_WORLD_H_

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/sd/sid_value.h"
#include "platform/win_types.h"

namespace tarvik {

// The architecture of the host's processor: what a world reports unless it
// names another.
constexpr WORD HostProcessorArchitecture() {
#if defined(__x86_64__) || defined(_M_X64)
  return PROCESSOR_ARCHITECTURE_AMD64;
#elif defined(__aarch64__) || defined(_M_ARM64)
  return PROCESSOR_ARCHITECTURE_ARM64;
#elif defined(__i386__) || defined(_M_IX86)
  return PROCESSOR_ARCHITECTURE_INTEL;
#else
  return PROCESSOR_ARCHITECTURE_UNKNOWN;
#endif
}

// Version record as GetVersionExW reports it, with what GetNativeSystemInfo,
// GetProductInfo and GetSystemMetrics(SM_SERVERR2) add about the release.
// The defaults describe a current standard server.
struct WorldOsVersion {
  enum class ProductType : BYTE { kWorkstation = 1, kDomainController = 2, kServer = 3 };
  static constexpr size_t kMaxServicePackLength = 127;  // szCSDVersion without its NUL

  DWORD major = 10;
  DWORD minor = 0;
  DWORD build = 17763;
  std::wstring service_pack;  // szCSDVersion, e.g. L"Service Pack 1"
  WORD service_pack_major = 0;
  WORD service_pack_minor = 0;
  ProductType product_type = ProductType::kServer;
  WORD suite_mask = 0x0110;  // VER_SUITE_TERMINAL | VER_SUITE_SINGLEUSERTS
  WORD processor_architecture = HostProcessorArchitecture();
  DWORD product_info = PRODUCT_STANDARD_SERVER;
  bool server_r2 = false;
};

// What a volume reports about itself. The byte figures are fixed numbers,
// a host file re-read at each query, or (neither given) the host's statvfs.
struct WorldVolume {
  std::wstring label;
  DWORD serial = 0;
  std::wstring file_system = L"NTFS";
  DWORD max_component_length = 255;
  bool compression = true;   // FILE_FILE_COMPRESSION; false: ERROR_COMPRESSION_DISABLED
  bool links = true;         // symbolic links and other reparse points
  bool streams = true;       // named streams
  bool acls = true;          // persistent ACLs
  bool short_names = false;  // listings report 8.3 aliases of long names
  // As Samba's "acl_xattr:ignore system acls = yes": the NT ACL alone
  // controls access, so new host objects are open to every host user (files
  // 0666, directories 0777, whatever the umask) and an object without a
  // stored descriptor shows the one Samba synthesises there.
  bool ignore_system_acls = false;
  std::optional<uint64_t> total_bytes;
  std::optional<uint64_t> free_bytes;
  std::optional<uint64_t> available_bytes;  // free to the caller; defaults to free_bytes
  std::string figures_file;                 // host path: "free total [available]"
};

// A mapped network drive: the connection behind the letter.
struct WorldConnection {
  std::wstring remote;    // \\server\share
  bool connected = true;  // false: only remembered (WNetGetConnection fails)
  std::wstring user;      // account the connection uses (WNetGetUser); empty: the token user
};

struct WorldDrive {
  // Published GetDriveTypeW values.
  enum class Type : UINT {
    kUnmounted = 1,  // DRIVE_NO_ROOT_DIR
    kRemovable = 2,
    kFixed = 3,
    kRemote = 4,
    kCdrom = 5,
    kRamdisk = 6,
  };

  wchar_t letter = L'Z';
  Type type = Type::kFixed;
  std::string host_path;                      // absolute; empty for unmounted, remote, or no medium
  std::optional<WorldConnection> connection;  // remote drives only
  std::wstring device;  // QueryDosDeviceW text; a default is derived when empty
  WorldVolume volume;
};

struct WorldShare {
  std::wstring name;
  std::string host_path;
  std::wstring comment;
  bool dfs = false;               // SHI1005_FLAGS_DFS
  bool server_side_copy = false;  // answers FSCTL_SRV_COPYCHUNK
  WorldVolume volume;
};

// A local user of a server (its SAM), with the USER_INFO_2/3 fields that mean
// something here.
struct WorldLocalUser {
  std::wstring name;
  DWORD rid = 0;
  std::wstring full_name;
  std::wstring comment;
  bool disabled = false;
  DWORD flags = 0;  // further UF_* bits besides UF_ACCOUNTDISABLE / UF_NORMAL_ACCOUNT
  DWORD primary_group_rid = 513;
  DWORD privilege = 1;  // USER_PRIV_GUEST 0, USER_PRIV_USER 1, USER_PRIV_ADMIN 2
  std::wstring home_dir;
  std::wstring script_path;
};

// A local group (alias). Builtin groups live under S-1-5-32, the others under
// the server's machine SID.
struct WorldLocalGroup {
  std::wstring name;
  DWORD rid = 0;
  bool builtin = false;
  std::wstring comment;
  std::vector<std::wstring> members;  // account names, "DOMAIN\name" or local "name"
};

struct WorldServer {
  enum class Role { kStandalone, kMember, kDomainController };
  // Published NetGetJoinInformation statuses.
  enum class JoinStatus : DWORD { kUnknown = 0, kUnjoined = 1, kWorkgroup = 2, kDomain = 3 };

  std::wstring name;      // NetBIOS name, upper case
  std::wstring dns_name;  // optional fully qualified name; also accepted in UNC paths
  SidValue sid;           // machine (account domain) SID, S-1-5-21-a-b-c
  Role role = Role::kStandalone;
  std::wstring domain;  // NetBIOS name of its domain (members and controllers)
  JoinStatus join_status = JoinStatus::kWorkgroup;
  std::wstring workgroup;  // for JoinStatus::kWorkgroup
  DWORD version_major = 10;
  DWORD version_minor = 0;
  DWORD platform_id = 500;  // PLATFORM_ID_NT
  DWORD type = 0;           // sv101_type; derived from the role when 0 in the file
  std::wstring comment;
  bool reachable = true;    // false: every call to it fails with ERROR_BAD_NETPATH
  std::wstring connect_as;  // account that connections to it use; empty: the token user
  std::vector<WorldShare> shares;
  std::vector<WorldLocalUser> local_users;
  std::vector<WorldLocalGroup> local_groups;

  const WorldShare* FindShare(std::wstring_view share_name) const;
  const WorldLocalUser* FindLocalUser(std::wstring_view user_name) const;
  const WorldLocalGroup* FindLocalGroup(std::wstring_view group_name) const;
};

struct WorldAccount {
  // Published SID_NAME_USE values.
  enum class Type { kUser = 1, kGroup = 2, kAlias = 4, kDeleted = 6, kComputer = 9 };

  std::wstring name;  // computers end with '$'
  DWORD rid = 0;
  Type type = Type::kUser;
  std::vector<SidValue> sid_history;
  DWORD primary_group_rid = 513;      // users and computers
  std::vector<std::wstring> members;  // groups and aliases: account names
  std::wstring full_name;
  std::wstring comment;
  bool disabled = false;
};

struct WorldTrust {
  enum class Direction { kInbound = 1, kOutbound = 2, kBidirectional = 3 };

  std::wstring domain;  // NetBIOS name of the trusted/trusting domain
  Direction direction = Direction::kBidirectional;
  bool transitive = true;
};

// An account authority: a domain with its controller, or an authority
// without one (the host's "Unix User" and "Unix Group" in the default world).
struct WorldDomain {
  std::wstring name;      // NetBIOS name, as the domain part of account names
  std::wstring dns_name;  // empty for authorities without DNS
  SidValue sid;
  std::wstring controller;  // server name; empty: no controller
  std::vector<WorldAccount> accounts;
  std::vector<WorldTrust> trusts;

  const WorldAccount* FindAccount(std::wstring_view account_name) const;
  const WorldAccount* FindRid(DWORD rid) const;
};

struct WorldTokenGroup {
  SidValue sid;
  bool enabled = true;
  bool deny_only = false;
  bool mandatory = true;
};

struct WorldPrivilege {
  std::wstring name;  // "SeBackupPrivilege"
  bool enabled = false;
};

struct WorldToken {
  SidValue user;
  std::vector<WorldTokenGroup> groups;
  std::vector<WorldPrivilege> privileges;
};

// A fault for the fault-injecting Os: calls named `call` whose path matches
// `path_pattern` (empty: every call) succeed `after` times, then fail with
// `error` `count` times (0: for ever), then succeed again.
struct WorldFault {
  std::wstring call;
  std::wstring path_pattern;
  DWORD error = 0;
  uint32_t count = 1;
  uint32_t after = 0;
};

struct World {
  std::string source;  // the world file, or empty for the default world

  std::wstring computer;  // the local computer's name, upper case
  WorldOsVersion os;
  std::wstring domain;  // NetBIOS name of the local computer's domain; empty: workgroup
  std::map<wchar_t, WorldDrive> drives;
  // Every server of the network, the local computer included (its entry
  // carries the local accounts and shares).
  std::vector<WorldServer> servers;
  std::vector<WorldDomain> domains;
  WorldToken token;
  std::vector<WorldFault> faults;

  const WorldDrive* FindDrive(wchar_t letter) const;
  // By NetBIOS or DNS name, or NAME.DOMAIN for a domain member,
  // case-insensitive.
  const WorldServer* FindServer(std::wstring_view server_name) const;
  const WorldServer& LocalServer() const;
  // By NetBIOS or DNS name, case-insensitive.
  const WorldDomain* FindDomain(std::wstring_view domain_name) const;
  // The drive whose host directory holds host_path deepest, or null.
  const WorldDrive* DriveForHostPath(std::string_view host_path) const;

  // The SID of an account named "DOMAIN\name" (DOMAIN a domain, a server,
  // BUILTIN or NT AUTHORITY), a bare name (the accounts of `context`, then
  // those of its domain, then the well-known names), or a SID text. Nullopt
  // when the world has no such account.
  std::optional<SidValue> ResolveAccount(std::wstring_view account,
                                         const WorldServer* context) const;
};

// sv101_type bits of a server of this role.
DWORD ServerTypeForRole(WorldServer::Role role);

// Fills what a world leaves implicit: the accounts every domain and every
// server has (Administrator, Guest, the standard groups) unless the world
// names them itself, and the server type bits.
void AddStandardAccounts(WorldServer* server);
void AddStandardAccounts(WorldDomain* domain);

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_WORLD_H_
