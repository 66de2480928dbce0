// PosixOs: full paths, network connections, servers and domains, served from
// the world.
#include <algorithm>
#include <cwchar>

#include "platform/posix/posix_os.h"
#include "util/text.h"
#include "util/utf.h"

namespace tarvik {
namespace {

constexpr const wchar_t* kDefaultSite = L"Default-First-Site-Name";

DWORD Status(DWORD status) {
  Os::SetLastError(status);
  return status;
}

bool IsSeparator(wchar_t c) {
  return c == L'\\' || c == L'/';
}

bool IsDriveName(std::wstring_view text) {
  return text.size() == 2 && text[1] == L':' &&
         ((text[0] >= L'A' && text[0] <= L'Z') || (text[0] >= L'a' && text[0] <= L'z'));
}

std::wstring_view WithoutLeadingBackslashes(std::wstring_view text) {
  while (!text.empty() && text.front() == L'\\')
    text.remove_prefix(1);
  return text;
}

// Copies text and its NUL into a caller's buffer of *length characters;
// ERROR_MORE_DATA with the size needed when it does not fit.
DWORD CopyOut(const std::wstring& text, wchar_t* buffer, DWORD* length) {
  if (length == nullptr)
    return Status(ERROR_INVALID_PARAMETER);
  DWORD needed = static_cast<DWORD>(text.size() + 1);
  if (buffer == nullptr || *length < needed) {
    *length = needed;
    return Status(ERROR_MORE_DATA);
  }
  std::copy(text.begin(), text.end(), buffer);
  buffer[text.size()] = L'\0';
  return Status(ERROR_SUCCESS);
}

// \\server\share of a UNC name (any further path dropped); false when the
// name has no server and share.
bool SplitUnc(std::wstring_view name, std::wstring* server, std::wstring* share) {
  if (name.size() < 2 || !IsSeparator(name[0]) || !IsSeparator(name[1]))
    return false;
  std::wstring_view rest = name.substr(2);
  size_t end = 0;
  while (end < rest.size() && !IsSeparator(rest[end]))
    ++end;
  *server = rest.substr(0, end);
  rest.remove_prefix(std::min(end + 1, rest.size()));
  end = 0;
  while (end < rest.size() && !IsSeparator(rest[end]))
    ++end;
  *share = rest.substr(0, end);
  return !server->empty() && !share->empty();
}

// The device text of a drive that the world does not spell out.
std::wstring DefaultDevice(const WorldDrive& drive) {
  switch (drive.type) {
    case WorldDrive::Type::kRemote:
      return L"\\Device\\LanmanRedirector\\;" + std::wstring(1, drive.letter) +
             L":0000000000001234" + drive.connection->remote.substr(1);
    case WorldDrive::Type::kCdrom:
      return L"\\Device\\CdRom0";
    case WorldDrive::Type::kRamdisk:
      return L"\\Device\\Ramdisk" + std::to_wstring(drive.letter - L'A');
    default:
      return L"\\Device\\HarddiskVolume" + std::to_wstring(drive.letter - L'A' + 1);
  }
}

// Joins a root ("X:\", "\\server\share\") and normalised components.
std::wstring JoinPath(std::wstring root, const std::vector<std::wstring>& components) {
  for (size_t i = 0; i < components.size(); ++i) {
    if (i > 0)
      root += L'\\';
    root += components[i];
  }
  return root;
}

}  // namespace

const WorldServer* PosixOs::NamedServer(const wchar_t* server_name, DWORD* error) const {
  std::wstring_view name = server_name == nullptr ? L"" : WithoutLeadingBackslashes(server_name);
  if (name.empty() || name == L".")
    return &world_.LocalServer();
  const WorldServer* server = world_.FindServer(name);
  if (server == nullptr || !server->reachable) {
    *error = ERROR_BAD_NETPATH;
    return nullptr;
  }
  return server;
}

std::wstring PosixOs::AccountText(const WorldServer& server, const SidValue& sid) const {
  AccountEntry entry;
  if (accounts_.LookupSid(server, sid, &entry) != ERROR_SUCCESS || entry.name.empty())
    return sid.ToString();
  return entry.domain.empty() ? entry.name : entry.domain + L"\\" + entry.name;
}

DWORD PosixOs::GetFullPathNameW(const wchar_t* file_name, DWORD size, wchar_t* buffer,
                                wchar_t** file_part) {
  if (file_name == nullptr || file_name[0] == L'\0') {
    SetLastError(ERROR_INVALID_NAME);
    return 0;
  }
  std::wstring_view path = file_name;
  const std::wstring& cwd = resolver_.current_directory();
  std::wstring full;
  if (path.starts_with(L"\\\\?\\") || path.starts_with(L"\\\\.\\")) {
    full = path;  // taken literally
  } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    std::vector<std::wstring> parts = SplitPathComponents(path.substr(2), false);
    full = L"\\\\" + JoinPath(L"", parts);
  } else if (path[0] == L'/') {
    // A host path shows on the drive that holds it.
    std::vector<std::wstring> parts = SplitPathComponents(path, false);
    std::string host = "/" + ToUtf8(JoinPath(L"", parts));
    std::replace(host.begin(), host.end(), '\\', '/');
    const WorldDrive* drive = world_.DriveForHostPath(host);
    if (drive == nullptr) {
      full = FromUtf8(host);
    } else {
      std::string below = host.substr(std::min(drive->host_path.size(), host.size()));
      std::wstring root = std::wstring(1, drive->letter) + L":\\";
      full = JoinPath(root, SplitPathComponents(FromUtf8(below), false));
    }
  } else {
    std::wstring absolute;
    if (IsDriveName(path.substr(0, 2))) {
      bool rooted = path.size() > 2 && IsSeparator(path[2]);
      bool on_cwd_drive =
          cwd.size() >= 2 && ToLowerAscii(cwd[0]) == ToLowerAscii(path[0]) && cwd[1] == L':';
      absolute = rooted ? std::wstring(path)
                 : on_cwd_drive
                     ? cwd + L"\\" + std::wstring(path.substr(2))
                     : std::wstring(path.substr(0, 2)) + L"\\" + std::wstring(path.substr(2));
    } else if (IsSeparator(path[0])) {
      absolute = (cwd.size() >= 2 && cwd[1] == L':' ? cwd.substr(0, 2) : std::wstring()) +
                 std::wstring(path);
    } else {
      absolute = cwd + L"\\" + std::wstring(path);
    }
    if (absolute.size() >= 2 && absolute[1] == L':') {
      std::wstring root = std::wstring(1, absolute[0]) + L":\\";
      full = JoinPath(root, SplitPathComponents(std::wstring_view(absolute).substr(2), false));
    } else {
      full = absolute;
    }
  }
  // A trailing separator names the directory itself and stays.
  if (IsSeparator(path.back()) && !full.empty() && full.back() != L'\\' && full.back() != L'/')
    full += full[0] == L'/' ? L'/' : L'\\';
  if (size < full.size() + 1 || buffer == nullptr)
    return static_cast<DWORD>(full.size() + 1);
  std::copy(full.begin(), full.end(), buffer);
  buffer[full.size()] = L'\0';
  if (file_part != nullptr) {
    size_t slash = FindLastSeparator(full);
    *file_part =
        slash == std::wstring::npos || slash + 1 == full.size() ? nullptr : buffer + slash + 1;
  }
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(full.size());
}

DWORD PosixOs::WNetGetConnectionW(const wchar_t* local_name, wchar_t* remote_name, DWORD* length) {
  if (local_name == nullptr || !IsDriveName(local_name))
    return Status(ERROR_BAD_DEVICE);
  const WorldDrive* drive = world_.FindDrive(local_name[0]);
  if (drive == nullptr || drive->type != WorldDrive::Type::kRemote || !drive->connection)
    return Status(ERROR_NOT_CONNECTED);
  if (!drive->connection->connected)
    return Status(ERROR_CONNECTION_UNAVAIL);
  return CopyOut(drive->connection->remote, remote_name, length);
}

DWORD PosixOs::WNetGetUserW(const wchar_t* name, wchar_t* user_name, DWORD* length) {
  const WorldServer& local = world_.LocalServer();
  std::wstring_view text = name == nullptr ? L"" : name;
  if (text.empty())
    return CopyOut(AccountText(local, world_.token.user), user_name, length);

  // The account a connection uses: its own, else the server's, else the
  // token's user.
  auto connection_user = [&](const std::wstring& account, const WorldServer* server) {
    std::optional<SidValue> sid;
    if (!account.empty())
      sid = world_.ResolveAccount(account, server);
    if (!sid && server != nullptr && !server->connect_as.empty())
      sid = world_.ResolveAccount(server->connect_as, server);
    if (!sid)
      return AccountText(local, world_.token.user);
    return AccountText(server != nullptr ? *server : local, *sid);
  };

  if (IsDriveName(text.substr(0, 2)) && (text.size() == 2 || IsSeparator(text[2]))) {
    const WorldDrive* drive = world_.FindDrive(text[0]);
    if (drive == nullptr || drive->type != WorldDrive::Type::kRemote || !drive->connection)
      return Status(ERROR_NOT_CONNECTED);
    std::wstring server_name, share_name;
    SplitUnc(drive->connection->remote, &server_name, &share_name);
    return CopyOut(connection_user(drive->connection->user, world_.FindServer(server_name)),
                   user_name, length);
  }
  std::wstring server_name, share_name;
  if (!SplitUnc(text, &server_name, &share_name))
    return Status(ERROR_NOT_CONNECTED);
  std::wstring remote = L"\\\\" + server_name + L"\\" + share_name;
  const WorldServer* server = world_.FindServer(server_name);
  for (const auto& [letter, drive] : world_.drives) {
    if (drive.connection && drive.connection->connected &&
        EqualsNoCaseAscii(drive.connection->remote, remote)) {
      return CopyOut(connection_user(drive.connection->user, server), user_name, length);
    }
  }
  if (connections_.Contains(remote))
    return CopyOut(connection_user(L"", server), user_name, length);
  return Status(ERROR_NOT_CONNECTED);
}

DWORD PosixOs::WNetAddConnectionW(const wchar_t* remote_name, const wchar_t* password,
                                  const wchar_t* local_name) {
  if (local_name != nullptr && local_name[0] != L'\0')
    return Status(ERROR_NOT_SUPPORTED);
  std::wstring server_name, share_name;
  if (remote_name == nullptr || !SplitUnc(remote_name, &server_name, &share_name))
    return Status(ERROR_BAD_NET_NAME);
  std::wstring remote = L"\\\\" + server_name + L"\\" + share_name;
  if (!EqualsNoCaseAscii(remote, remote_name))
    return Status(ERROR_BAD_NET_NAME);  // a path below the share names no resource
  const WorldServer* server = world_.FindServer(server_name);
  if (server == nullptr || !server->reachable)
    return Status(ERROR_BAD_NETPATH);
  bool administrative = share_name.size() == 2 && share_name[1] == L'$' &&
                        EqualsNoCaseAscii(server->name, world_.computer) &&
                        world_.FindDrive(share_name[0]) != nullptr;
  if (server->FindShare(share_name) == nullptr && !administrative)
    return Status(ERROR_BAD_NET_NAME);
  connections_.Add(remote);
  return Status(ERROR_SUCCESS);
}

DWORD PosixOs::WNetCancelConnectionW(const wchar_t* name, BOOL force) {
  if (name == nullptr)
    return Status(ERROR_NOT_CONNECTED);
  if (IsDriveName(name)) {
    const WorldDrive* drive = world_.FindDrive(name[0]);
    bool remote = drive != nullptr && drive->type == WorldDrive::Type::kRemote;
    return Status(remote ? ERROR_NOT_SUPPORTED : ERROR_NOT_CONNECTED);
  }
  std::wstring server_name, share_name;
  if (!SplitUnc(name, &server_name, &share_name))
    return Status(ERROR_NOT_CONNECTED);
  bool removed = connections_.Remove(L"\\\\" + server_name + L"\\" + share_name);
  return Status(removed ? ERROR_SUCCESS : ERROR_NOT_CONNECTED);
}

DWORD PosixOs::QueryDosDeviceW(const wchar_t* device_name, wchar_t* target_path, DWORD max) {
  std::wstring text;
  if (device_name == nullptr) {
    // Every device name, each followed by a NUL.
    for (const auto& [letter, drive] : world_.drives) {
      if (drive.type != WorldDrive::Type::kUnmounted)
        text += std::wstring(1, letter) + L":" + L'\0';
    }
  } else {
    if (!IsDriveName(device_name)) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return 0;
    }
    const WorldDrive* drive = world_.FindDrive(device_name[0]);
    if (drive == nullptr || drive->type == WorldDrive::Type::kUnmounted) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return 0;
    }
    text = drive->device.empty() ? DefaultDevice(*drive) : drive->device;
    text += L'\0';
  }
  text += L'\0';
  if (target_path == nullptr || max < text.size()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::copy(text.begin(), text.end(), target_path);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(text.size());
}

NET_API_STATUS PosixOs::NetServerGetInfo(const wchar_t* server_name, DWORD level,
                                         SERVER_INFO_101* info) {
  if (level != 101 || info == nullptr)
    return Status(level != 101 ? ERROR_INVALID_LEVEL : ERROR_INVALID_PARAMETER);
  DWORD error = ERROR_SUCCESS;
  const WorldServer* server = NamedServer(server_name, &error);
  if (server == nullptr)
    return Status(error);
  info->sv101_platform_id = server->platform_id;
  info->sv101_name = server->name;
  info->sv101_version_major = server->version_major;
  info->sv101_version_minor = server->version_minor;
  info->sv101_type = server->type != 0 ? server->type : ServerTypeForRole(server->role);
  info->sv101_comment = server->comment;
  return Status(NERR_Success);
}

NET_API_STATUS PosixOs::NetShareGetInfo(const wchar_t* server_name, const wchar_t* share_name,
                                        DWORD level, SHARE_INFO_1005* info) {
  if (level != 1005 || info == nullptr)
    return Status(level != 1005 ? ERROR_INVALID_LEVEL : ERROR_INVALID_PARAMETER);
  DWORD error = ERROR_SUCCESS;
  const WorldServer* server = NamedServer(server_name, &error);
  if (server == nullptr)
    return Status(error);
  std::wstring_view share_text = share_name == nullptr ? L"" : share_name;
  if (const WorldShare* share = server->FindShare(share_text)) {
    info->shi1005_flags = share->dfs ? SHI1005_FLAGS_DFS : 0;
    return Status(NERR_Success);
  }
  bool administrative = share_text.size() == 2 && share_text[1] == L'$' &&
                        EqualsNoCaseAscii(server->name, world_.computer) &&
                        world_.FindDrive(share_text[0]) != nullptr;
  if (!administrative)
    return Status(NERR_NetNameNotFound);
  info->shi1005_flags = 0;
  return Status(NERR_Success);
}

DWORD PosixOs::DsGetDcNameW(const wchar_t* computer_name, const wchar_t* domain_name,
                            const void* domain_guid, const wchar_t* site_name, DWORD flags,
                            DOMAIN_CONTROLLER_INFOW* info) {
  if (info == nullptr)
    return Status(ERROR_INVALID_PARAMETER);
  DWORD error = ERROR_SUCCESS;
  const WorldServer* server = NamedServer(computer_name, &error);
  if (server == nullptr)
    return Status(error);
  const WorldDomain* domain = nullptr;
  if (domain_name != nullptr && domain_name[0] != L'\0') {
    domain = world_.FindDomain(domain_name);
  } else if (server->role != WorldServer::Role::kStandalone) {
    domain = world_.FindDomain(server->domain);
  }
  if (domain == nullptr || domain->controller.empty())
    return Status(ERROR_NO_SUCH_DOMAIN);
  const WorldServer* controller = world_.FindServer(domain->controller);
  if (controller == nullptr || !controller->reachable)
    return Status(ERROR_NO_SUCH_DOMAIN);
  bool flat = (flags & DS_RETURN_FLAT_NAME) != 0;
  bool dns_controller = !flat && !controller->dns_name.empty();
  bool dns_domain = !flat && !domain->dns_name.empty();
  *info = DOMAIN_CONTROLLER_INFOW{};
  info->DomainControllerName = L"\\\\" + (dns_controller ? controller->dns_name : controller->name);
  info->DomainControllerAddress = L"\\\\" + controller->name;
  info->DomainControllerAddressType = DS_NETBIOS_ADDRESS;
  info->DomainName = dns_domain ? domain->dns_name : domain->name;
  info->DnsForestName = domain->dns_name;
  info->Flags = DS_PDC_FLAG | DS_GC_FLAG | DS_DS_FLAG | DS_WRITABLE_FLAG;
  if (dns_controller)
    info->Flags |= DS_DNS_CONTROLLER_FLAG;
  if (dns_domain)
    info->Flags |= DS_DNS_DOMAIN_FLAG | DS_DNS_FOREST_FLAG;
  info->DcSiteName = kDefaultSite;
  info->ClientSiteName = kDefaultSite;
  return Status(ERROR_SUCCESS);
}

NET_API_STATUS PosixOs::NetGetJoinInformation(const wchar_t* server_name, std::wstring* name,
                                              NETSETUP_JOIN_STATUS* status) {
  if (name == nullptr || status == nullptr)
    return Status(ERROR_INVALID_PARAMETER);
  DWORD error = ERROR_SUCCESS;
  const WorldServer* server = NamedServer(server_name, &error);
  if (server == nullptr)
    return Status(error);
  *status = static_cast<NETSETUP_JOIN_STATUS>(server->join_status);
  switch (server->join_status) {
    case WorldServer::JoinStatus::kDomain:
      *name = server->domain;
      break;
    case WorldServer::JoinStatus::kWorkgroup:
      *name = server->workgroup.empty() ? std::wstring(L"WORKGROUP") : server->workgroup;
      break;
    default:
      name->clear();
      break;
  }
  return Status(NERR_Success);
}

NET_API_STATUS PosixOs::NetUserModalsGet(const wchar_t* server_name, DWORD level,
                                         USER_MODALS_INFO_2* info) {
  if (level != 2 || info == nullptr)
    return Status(level != 2 ? ERROR_INVALID_LEVEL : ERROR_INVALID_PARAMETER);
  DWORD error = ERROR_SUCCESS;
  const WorldServer* server = NamedServer(server_name, &error);
  if (server == nullptr)
    return Status(error);
  // A controller's account domain is its domain; any other computer's is
  // its own database.
  const WorldDomain* domain = server->role == WorldServer::Role::kDomainController
                                  ? world_.FindDomain(server->domain)
                                  : nullptr;
  info->usrmod2_domain_name = domain != nullptr ? domain->name : server->name;
  info->usrmod2_domain_id = (domain != nullptr ? domain->sid : server->sid).ToBytes();
  return Status(NERR_Success);
}

NET_API_STATUS PosixOs::NetGetAnyDCName(const wchar_t* server_name, const wchar_t* domain_name,
                                        std::wstring* dc_name) {
  if (dc_name == nullptr)
    return Status(ERROR_INVALID_PARAMETER);
  DWORD error = ERROR_SUCCESS;
  const WorldServer* server = NamedServer(server_name, &error);
  if (server == nullptr)
    return Status(error);
  const WorldDomain* domain = nullptr;
  if (domain_name != nullptr && domain_name[0] != L'\0') {
    domain = world_.FindDomain(domain_name);
    // Only the server's own domain and the domains it trusts are known to it.
    if (domain == nullptr || !accounts_.Knows(*server, *domain))
      return Status(ERROR_NO_SUCH_DOMAIN);
  } else {
    domain = server->role == WorldServer::Role::kStandalone ? nullptr
                                                            : world_.FindDomain(server->domain);
    if (domain == nullptr)
      return Status(NERR_DCNotFound);
  }
  const WorldServer* controller =
      domain->controller.empty() ? nullptr : world_.FindServer(domain->controller);
  if (controller == nullptr || !controller->reachable)
    return Status(NERR_DCNotFound);
  *dc_name = L"\\\\" + controller->name;
  return Status(NERR_Success);
}

NET_API_STATUS PosixOs::NetUserGetInfo(const wchar_t* server_name, const wchar_t* user_name,
                                       DWORD level, USER_INFO_3* info) {
  if (level != 3 || info == nullptr)
    return Status(level != 3 ? ERROR_INVALID_LEVEL : ERROR_INVALID_PARAMETER);
  DWORD error = ERROR_SUCCESS;
  const WorldServer* server = NamedServer(server_name, &error);
  if (server == nullptr)
    return Status(error);
  std::wstring_view name = user_name == nullptr ? L"" : user_name;
  *info = USER_INFO_3{};
  if (server->role == WorldServer::Role::kDomainController) {
    const WorldDomain* domain = world_.FindDomain(server->domain);
    const WorldAccount* account = domain == nullptr ? nullptr : domain->FindAccount(name);
    if (account == nullptr || (account->type != WorldAccount::Type::kUser &&
                               account->type != WorldAccount::Type::kComputer)) {
      return Status(NERR_UserNotFound);
    }
    bool computer = account->type == WorldAccount::Type::kComputer;
    info->usri3_name = account->name;
    info->usri3_priv = account->rid == 500   ? USER_PRIV_ADMIN
                       : account->rid == 501 ? USER_PRIV_GUEST
                                             : USER_PRIV_USER;
    info->usri3_comment = account->comment;
    info->usri3_flags = UF_SCRIPT | (computer ? UF_WORKSTATION_TRUST_ACCOUNT : UF_NORMAL_ACCOUNT) |
                        (account->disabled ? UF_ACCOUNTDISABLE : 0);
    info->usri3_full_name = account->full_name;
    info->usri3_user_id = account->rid;
    info->usri3_primary_group_id = account->primary_group_rid;
    return Status(NERR_Success);
  }
  const WorldLocalUser* user = server->FindLocalUser(name);
  if (user == nullptr)
    return Status(NERR_UserNotFound);
  info->usri3_name = user->name;
  info->usri3_priv = user->privilege;
  info->usri3_home_dir = user->home_dir;
  info->usri3_comment = user->comment;
  info->usri3_flags =
      UF_SCRIPT | UF_NORMAL_ACCOUNT | user->flags | (user->disabled ? UF_ACCOUNTDISABLE : 0);
  info->usri3_script_path = user->script_path;
  info->usri3_full_name = user->full_name;
  info->usri3_user_id = user->rid;
  info->usri3_primary_group_id = user->primary_group_rid;
  return Status(NERR_Success);
}

}  // namespace tarvik
