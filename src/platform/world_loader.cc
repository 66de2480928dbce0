#include "platform/world_loader.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "platform/error_text.h"
#include "platform/fault_os.h"
#include "platform/json_reader.h"
#include "platform/privileges.h"
#include "util/text.h"
#include "util/utf.h"

namespace tarvik {
namespace {

constexpr uint64_t kMaxDword = 0xFFFFFFFFull;
constexpr uint64_t kMaxWord = 0xFFFFull;

SidValue ParseSidAt(const std::wstring& text, const std::string& path) {
  std::optional<SidValue> sid = ParseSid(text);
  if (!sid)
    FailAt(path, Quoted(text) + " is not a valid SID");
  return *sid;
}

// NetBIOS names: 1 to 15 characters, none of those the platform forbids.
std::wstring CheckNetbiosName(std::wstring name, const std::string& path, const char* what) {
  static const std::wstring_view kForbidden = L"\\/:*?\"<>|";
  if (name.empty())
    FailAt(path, std::string(what) + " must not be empty");
  if (name.size() > 15)
    FailAt(path, std::string(what) + " " + Quoted(name) + " is longer than 15 characters");
  for (wchar_t c : name) {
    if (c < 0x20 || kForbidden.find(c) != std::wstring_view::npos) {
      FailAt(path,
             std::string(what) + " " + Quoted(name) + " holds a character names may not hold");
    }
  }
  for (wchar_t& c : name)
    c = c >= L'a' && c <= L'z' ? c - (L'a' - L'A') : c;
  return name;
}

// A name of an account, share or domain: not empty, no backslash.
std::wstring CheckName(std::wstring name, const std::string& path) {
  if (name.empty())
    FailAt(path, "must not be empty");
  if (name.find(L'\\') != std::wstring::npos)
    FailAt(path, Quoted(name) + " must not hold '\\'");
  return name;
}

// Remembers names already used in one scope and where.
class NameSet {
 public:
  explicit NameSet(std::string what) : what_(std::move(what)) {}
  void Add(const std::wstring& name, const std::string& path) {
    std::wstring key = ToLowerAscii(name);
    for (const auto& [used, where] : used_) {
      if (used == key)
        FailAt(path, "duplicate " + what_ + " " + Quoted(name) + " (also " + where + ")");
    }
    used_.emplace_back(key, path);
  }

 private:
  std::string what_;
  std::vector<std::pair<std::wstring, std::string>> used_;
};

// --- The loader --------------------------------------------------------------

class Loader {
 public:
  Loader(const std::string& base_dir, const World& base) : base_dir_(base_dir), base_(base) {}

  World Load(const Json& root);
  // A file that holds only faults (ParseFaultFile).
  std::vector<WorldFault> LoadFaults(const Json& root) const;

 private:
  // References between sections, checked once every section is read.
  struct Reference {
    std::wstring name;
    std::string path;
  };
  struct AccountReference {
    std::wstring account;
    std::string path;
    size_t server;        // index of the server whose accounts bare names mean, or SIZE_MAX
    std::wstring domain;  // or the domain whose accounts bare names mean
  };

  std::string HostPath(const std::wstring& text, const std::string& path) const;
  WorldOsVersion ReadOs(const Json& value, const std::string& path) const;
  WorldVolume ReadVolume(const Json& value, const std::string& path) const;
  WorldDrive ReadDrive(const std::string& key, const Json& value, const std::string& path);
  WorldServer ReadServer(const Json& value, const std::string& path, size_t index);
  WorldShare ReadShare(const Json& value, const std::string& path) const;
  WorldDomain ReadDomain(const Json& value, const std::string& path);
  WorldAccount ReadAccount(const Json& value, const std::string& path, const std::wstring& domain);
  WorldToken ReadToken(const Json& value, const std::string& path);
  WorldFault ReadFault(const Json& value, const std::string& path) const;

  void CheckServers(World* world);
  void CheckDomains(World* world);
  void CheckAccounts(const World& world);
  void AddLocalServer(World* world);

  std::string base_dir_;
  const World& base_;
  std::vector<std::string> server_paths_;
  std::vector<std::string> domain_paths_;
  std::vector<Reference> connection_servers_;  // "\\server\share" of remote drives
  std::vector<AccountReference> accounts_;
  Reference token_user_;
  std::vector<Reference> token_groups_;
  std::string domain_key_path_;
};

std::string Loader::HostPath(const std::wstring& text, const std::string& path) const {
  if (text.empty())
    FailAt(path, "must not be empty");
  std::string host = ToUtf8(text);
  if (host[0] != '/')
    host = base_dir_ + (base_dir_.back() == '/' ? "" : "/") + host;
  // Normalise "." and ".." so that drive roots compare as plain prefixes.
  std::vector<std::string> parts;
  size_t start = 1;
  while (start <= host.size()) {
    size_t end = host.find('/', start);
    if (end == std::string::npos)
      end = host.size();
    std::string part = host.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty())
        parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string result;
  for (const std::string& part : parts)
    result += "/" + part;
  return result.empty() ? "/" : result;
}

WorldOsVersion Loader::ReadOs(const Json& value, const std::string& path) const {
  JsonObject os(
      value, path,
      {"version", "build", "service_pack", "service_pack_major", "service_pack_minor",
       "product_type", "suite_mask", "processor_architecture", "product_info", "server_r2"});
  WorldOsVersion version;
  if (os.Has("version")) {
    std::wstring text = os.RequiredString("version");
    unsigned major = 0, minor = 0;
    char rest = 0;
    if (std::sscanf(ToUtf8(text).c_str(), "%u.%u%c", &major, &minor, &rest) != 2 || major > 255 ||
        minor > 255) {
      FailAt(os.PathOf("version"),
             "expected \"major.minor\" such as \"10.0\", found " + Quoted(text));
    }
    version.major = major;
    version.minor = minor;
  }
  version.build = static_cast<DWORD>(os.Number("build", version.build, kMaxDword));
  version.service_pack = os.String("service_pack");
  if (version.service_pack.size() > WorldOsVersion::kMaxServicePackLength) {
    FailAt(os.PathOf("service_pack"),
           "at most " + std::to_string(WorldOsVersion::kMaxServicePackLength) + " characters");
  }
  version.service_pack_major = static_cast<WORD>(os.Number("service_pack_major", 0, kMaxWord));
  version.service_pack_minor = static_cast<WORD>(os.Number("service_pack_minor", 0, kMaxWord));
  size_t product = os.Choice("product_type", {"workstation", "domain_controller", "server"}, 2);
  version.product_type = static_cast<WorldOsVersion::ProductType>(product + 1);
  version.suite_mask = static_cast<WORD>(os.Number("suite_mask", version.suite_mask, kMaxWord));
  if (os.Has("processor_architecture")) {
    constexpr WORD kArchitectures[] = {PROCESSOR_ARCHITECTURE_INTEL, PROCESSOR_ARCHITECTURE_IA64,
                                       PROCESSOR_ARCHITECTURE_AMD64, PROCESSOR_ARCHITECTURE_ARM64};
    version.processor_architecture =
        kArchitectures[os.Choice("processor_architecture", {"intel", "ia64", "amd64", "arm64"}, 0)];
  }
  version.product_info =
      static_cast<DWORD>(os.Number("product_info", version.product_info, kMaxDword));
  version.server_r2 = os.Bool("server_r2", version.server_r2);
  return version;
}

WorldVolume Loader::ReadVolume(const Json& value, const std::string& path) const {
  JsonObject volume(value, path,
                    {"label", "serial", "file_system", "max_component_length", "compression",
                     "links", "streams", "acls", "short_names", "ignore_system_acls", "total_bytes",
                     "free_bytes", "available_bytes", "figures_file"});
  WorldVolume result;
  result.label = volume.String("label");
  result.serial = static_cast<DWORD>(volume.Number("serial", 0, kMaxDword));
  result.file_system = volume.String("file_system", result.file_system);
  if (result.file_system.empty())
    FailAt(volume.PathOf("file_system"), "must not be empty");
  result.max_component_length =
      static_cast<DWORD>(volume.Number("max_component_length", 255, kMaxDword));
  result.compression = volume.Bool("compression", true);
  result.links = volume.Bool("links", true);
  result.streams = volume.Bool("streams", true);
  result.acls = volume.Bool("acls", true);
  result.short_names = volume.Bool("short_names", false);
  result.ignore_system_acls = volume.Bool("ignore_system_acls", false);
  constexpr uint64_t kMax = UINT64_MAX;
  if (volume.Has("total_bytes"))
    result.total_bytes = volume.Number("total_bytes", 0, kMax);
  if (volume.Has("free_bytes"))
    result.free_bytes = volume.Number("free_bytes", 0, kMax);
  if (volume.Has("available_bytes")) {
    result.available_bytes = volume.Number("available_bytes", 0, kMax);
  }
  if (volume.Has("figures_file")) {
    if (result.total_bytes || result.free_bytes || result.available_bytes) {
      FailAt(volume.PathOf("figures_file"), "cannot be given together with the byte figures");
    }
    result.figures_file =
        HostPath(volume.RequiredString("figures_file"), volume.PathOf("figures_file"));
  }
  if (result.total_bytes.has_value() != result.free_bytes.has_value()) {
    FailAt(volume.PathOf(result.total_bytes ? "free_bytes" : "total_bytes"),
           "required key is missing (total_bytes and free_bytes go together)");
  }
  if (result.available_bytes && !result.free_bytes) {
    FailAt(volume.PathOf("free_bytes"), "required key is missing (available_bytes needs it)");
  }
  if (result.free_bytes && *result.free_bytes > *result.total_bytes) {
    FailAt(volume.PathOf("free_bytes"), "is larger than total_bytes");
  }
  if (result.available_bytes && *result.available_bytes > *result.free_bytes) {
    FailAt(volume.PathOf("available_bytes"), "is larger than free_bytes");
  }
  return result;
}

WorldDrive Loader::ReadDrive(const std::string& key, const Json& value, const std::string& path) {
  if (key.size() != 2 || key[0] < 'A' || key[0] > 'Z' || key[1] != ':') {
    FailAt(path, "a drive is named by a letter A-Z and a colon, such as \"D:\"");
  }
  JsonObject drive(value, path, {"type", "path", "connection", "device", "volume"});
  WorldDrive result;
  result.letter = static_cast<wchar_t>(key[0]);
  // In the order of WorldDrive::Type, from DRIVE_NO_ROOT_DIR on.
  size_t type =
      drive.Choice("type", {"unmounted", "removable", "fixed", "remote", "cdrom", "ramdisk"},
                   drive.Has("connection") ? 3 : 2);
  result.type = static_cast<WorldDrive::Type>(type + 1);
  bool takes_path =
      result.type == WorldDrive::Type::kFixed || result.type == WorldDrive::Type::kRamdisk ||
      result.type == WorldDrive::Type::kRemovable || result.type == WorldDrive::Type::kCdrom;
  if (drive.Has("path")) {
    if (!takes_path)
      FailAt(drive.PathOf("path"), "a drive of this type has no host directory");
    result.host_path = HostPath(drive.RequiredString("path"), drive.PathOf("path"));
  } else if (result.type == WorldDrive::Type::kFixed || result.type == WorldDrive::Type::kRamdisk) {
    drive.Required("path");
  }
  if (result.type == WorldDrive::Type::kRemote) {
    JsonObject connection(drive.Required("connection"), drive.PathOf("connection"),
                          {"remote", "connected", "user"});
    WorldConnection link;
    link.remote = connection.RequiredString("remote");
    std::wstring_view remote = link.remote;
    size_t split = remote.find(L'\\', 2);
    if (remote.substr(0, 2) != L"\\\\" || split == std::wstring_view::npos || split == 2 ||
        split + 1 >= remote.size() || remote.find(L'\\', split + 1) != std::wstring_view::npos) {
      FailAt(connection.PathOf("remote"),
             "expected \"\\\\\\\\server\\\\share\", found " + Quoted(link.remote));
    }
    link.connected = connection.Bool("connected", true);
    link.user = connection.String("user");
    if (!link.user.empty())
      accounts_.push_back({link.user, connection.PathOf("user"), SIZE_MAX, L""});
    connection_servers_.push_back({link.remote, connection.PathOf("remote")});
    result.connection = link;
  } else if (drive.Has("connection")) {
    FailAt(drive.PathOf("connection"), "only a remote drive has a connection");
  }
  result.device = drive.String("device");
  if (const Json* volume = drive.Optional("volume")) {
    result.volume = ReadVolume(*volume, drive.PathOf("volume"));
  }
  return result;
}

WorldShare Loader::ReadShare(const Json& value, const std::string& path) const {
  JsonObject share(value, path, {"name", "path", "comment", "dfs", "server_side_copy", "volume"});
  WorldShare result;
  result.name = CheckName(share.RequiredString("name"), share.PathOf("name"));
  result.host_path = HostPath(share.RequiredString("path"), share.PathOf("path"));
  result.comment = share.String("comment");
  result.dfs = share.Bool("dfs", false);
  result.server_side_copy = share.Bool("server_side_copy", false);
  if (const Json* volume = share.Optional("volume")) {
    result.volume = ReadVolume(*volume, share.PathOf("volume"));
  }
  return result;
}

WorldServer Loader::ReadServer(const Json& value, const std::string& path, size_t index) {
  JsonObject server(value, path,
                    {"name", "dns_name", "sid", "role", "domain", "join_status", "workgroup",
                     "version", "platform_id", "type", "comment", "reachable", "connect_as",
                     "shares", "local_users", "local_groups", "standard_accounts"});
  WorldServer result;
  result.name =
      CheckNetbiosName(server.RequiredString("name"), server.PathOf("name"), "a server name");
  result.dns_name = server.String("dns_name");
  result.role = static_cast<WorldServer::Role>(
      server.Choice("role", {"standalone", "member", "domain_controller"}, 0));
  bool in_domain = result.role != WorldServer::Role::kStandalone;
  if (server.Has("sid")) {
    result.sid = ParseSidAt(server.RequiredString("sid"), server.PathOf("sid"));
  } else if (result.role != WorldServer::Role::kDomainController) {
    server.Required("sid");
  }
  if (in_domain) {
    result.domain = server.RequiredString("domain");
  } else if (server.Has("domain")) {
    FailAt(server.PathOf("domain"), "a standalone server belongs to no domain (set role)");
  }
  size_t join = server.Choice("join_status", {"unknown", "unjoined", "workgroup", "domain"},
                              in_domain ? 3 : 2);
  result.join_status = static_cast<WorldServer::JoinStatus>(join);
  result.workgroup = server.String("workgroup", in_domain ? L"" : L"WORKGROUP");
  if (server.Has("version")) {
    std::wstring text = server.RequiredString("version");
    unsigned major = 0, minor = 0;
    char rest = 0;
    if (std::sscanf(ToUtf8(text).c_str(), "%u.%u%c", &major, &minor, &rest) != 2 || major > 15 ||
        minor > 255) {
      FailAt(server.PathOf("version"),
             "expected \"major.minor\" such as \"10.0\", found " + Quoted(text));
    }
    result.version_major = major;
    result.version_minor = minor;
  }
  result.platform_id = static_cast<DWORD>(server.Number("platform_id", 500, kMaxDword));
  result.type =
      static_cast<DWORD>(server.Number("type", ServerTypeForRole(result.role), kMaxDword));
  result.comment = server.String("comment");
  result.reachable = server.Bool("reachable", true);
  result.connect_as = server.String("connect_as");
  if (!result.connect_as.empty()) {
    accounts_.push_back({result.connect_as, server.PathOf("connect_as"), index, L""});
  }

  NameSet share_names("share name");
  server.Array("shares", [&](const Json& element, const std::string& element_path) {
    result.shares.push_back(ReadShare(element, element_path));
    share_names.Add(result.shares.back().name, element_path + ".name");
  });

  // Users and groups share one name space and one RID space (builtin groups
  // have their own RIDs under S-1-5-32).
  NameSet account_names("account name");
  std::set<DWORD> rids, builtin_rids;
  DWORD next_rid = 1000;
  auto take_rid = [&](const JsonObject& entry, std::set<DWORD>& used) {
    DWORD rid;
    if (entry.Has("rid")) {
      rid = static_cast<DWORD>(entry.Number("rid", 0, kMaxDword));
    } else {
      while (rids.count(next_rid) != 0)
        ++next_rid;
      rid = next_rid;
    }
    if (!used.insert(rid).second)
      FailAt(entry.PathOf("rid"), "duplicate RID " + std::to_string(rid));
    return rid;
  };
  if (result.role == WorldServer::Role::kDomainController && server.Has("local_users")) {
    FailAt(server.PathOf("local_users"),
           "a domain controller has no local users; put them in its domain's accounts");
  }
  server.Array("local_users", [&](const Json& element, const std::string& element_path) {
    JsonObject entry(element, element_path,
                     {"name", "rid", "full_name", "comment", "disabled", "flags", "primary_group",
                      "privilege", "home_dir", "script_path"});
    WorldLocalUser user;
    user.name = CheckName(entry.RequiredString("name"), entry.PathOf("name"));
    account_names.Add(user.name, entry.PathOf("name"));
    user.rid = take_rid(entry, rids);
    user.full_name = entry.String("full_name");
    user.comment = entry.String("comment");
    user.disabled = entry.Bool("disabled", false);
    user.flags = static_cast<DWORD>(entry.Number("flags", 0, kMaxDword));
    user.primary_group_rid = static_cast<DWORD>(entry.Number("primary_group", 513, kMaxDword));
    user.privilege = static_cast<DWORD>(entry.Choice("privilege", {"guest", "user", "admin"}, 1));
    user.home_dir = entry.String("home_dir");
    user.script_path = entry.String("script_path");
    result.local_users.push_back(std::move(user));
  });
  server.Array("local_groups", [&](const Json& element, const std::string& element_path) {
    JsonObject entry(element, element_path, {"name", "rid", "builtin", "comment", "members"});
    WorldLocalGroup group;
    group.name = CheckName(entry.RequiredString("name"), entry.PathOf("name"));
    account_names.Add(group.name, entry.PathOf("name"));
    group.builtin = entry.Bool("builtin", false);
    if (!group.builtin && result.role == WorldServer::Role::kDomainController) {
      FailAt(
          entry.PathOf("builtin"),
          "a domain controller's own groups are builtin; put the others in its domain's accounts "
          "as aliases");
    }
    if (group.builtin)
      entry.Required("rid");
    group.rid = take_rid(entry, group.builtin ? builtin_rids : rids);
    group.comment = entry.String("comment");
    entry.Array("members", [&](const Json& member, const std::string& member_path) {
      group.members.push_back(JsonObject::AsString(member, member_path));
      accounts_.push_back({group.members.back(), member_path, index, L""});
    });
    result.local_groups.push_back(std::move(group));
  });
  if (server.Bool("standard_accounts", true))
    AddStandardAccounts(&result);
  return result;
}

WorldAccount Loader::ReadAccount(const Json& value, const std::string& path,
                                 const std::wstring& domain) {
  JsonObject entry(value, path,
                   {"name", "rid", "type", "sid_history", "primary_group", "members", "full_name",
                    "comment", "disabled"});
  WorldAccount account;
  // In the order of the names below: user 1, group 2, alias 4, computer 9, deleted 6.
  static constexpr WorldAccount::Type kTypes[] = {
      WorldAccount::Type::kUser, WorldAccount::Type::kGroup, WorldAccount::Type::kAlias,
      WorldAccount::Type::kComputer, WorldAccount::Type::kDeleted};
  account.type = kTypes[entry.Choice("type", {"user", "group", "alias", "computer", "deleted"}, 0)];
  if (account.type == WorldAccount::Type::kDeleted) {
    if (entry.Has("name"))
      account.name = CheckName(entry.RequiredString("name"), entry.PathOf("name"));
  } else {
    account.name = CheckName(entry.RequiredString("name"), entry.PathOf("name"));
  }
  if (account.type == WorldAccount::Type::kComputer && account.name.back() != L'$') {
    FailAt(entry.PathOf("name"), "a computer account's name ends with '$'");
  }
  account.rid = static_cast<DWORD>(
      JsonObject::AsNumber(entry.Required("rid"), entry.PathOf("rid"), kMaxDword));
  entry.Array("sid_history", [&](const Json& element, const std::string& element_path) {
    account.sid_history.push_back(
        ParseSidAt(JsonObject::AsString(element, element_path), element_path));
  });
  bool has_members =
      account.type == WorldAccount::Type::kGroup || account.type == WorldAccount::Type::kAlias;
  bool has_primary_group =
      account.type == WorldAccount::Type::kUser || account.type == WorldAccount::Type::kComputer;
  if (entry.Has("members") && !has_members) {
    FailAt(entry.PathOf("members"), "only a group or an alias has members");
  }
  if (entry.Has("primary_group") && !has_primary_group) {
    FailAt(entry.PathOf("primary_group"), "only a user or a computer has a primary group");
  }
  account.primary_group_rid = static_cast<DWORD>(entry.Number(
      "primary_group", account.type == WorldAccount::Type::kComputer ? 515 : 513, kMaxDword));
  entry.Array("members", [&](const Json& element, const std::string& element_path) {
    account.members.push_back(JsonObject::AsString(element, element_path));
    accounts_.push_back({account.members.back(), element_path, SIZE_MAX, domain});
  });
  account.full_name = entry.String("full_name");
  account.comment = entry.String("comment");
  account.disabled = entry.Bool("disabled", false);
  return account;
}

WorldDomain Loader::ReadDomain(const Json& value, const std::string& path) {
  JsonObject domain(
      value, path,
      {"name", "dns_name", "sid", "controller", "accounts", "trusts", "standard_accounts"});
  WorldDomain result;
  result.name =
      CheckNetbiosName(domain.RequiredString("name"), domain.PathOf("name"), "a domain name");
  result.dns_name = domain.String("dns_name");
  result.sid = ParseSidAt(domain.RequiredString("sid"), domain.PathOf("sid"));
  result.controller = domain.String("controller");
  NameSet names("account name");
  std::set<DWORD> rids;
  domain.Array("accounts", [&](const Json& element, const std::string& element_path) {
    WorldAccount account = ReadAccount(element, element_path, result.name);
    if (!account.name.empty())
      names.Add(account.name, element_path + ".name");
    if (!rids.insert(account.rid).second) {
      FailAt(element_path + ".rid", "duplicate RID " + std::to_string(account.rid));
    }
    result.accounts.push_back(std::move(account));
  });
  domain.Array("trusts", [&](const Json& element, const std::string& element_path) {
    JsonObject entry(element, element_path, {"domain", "direction", "transitive"});
    WorldTrust trust;
    trust.domain = entry.RequiredString("domain");
    trust.direction = static_cast<WorldTrust::Direction>(
        entry.Choice("direction", {"inbound", "outbound", "bidirectional"}, 2) + 1);
    trust.transitive = entry.Bool("transitive", true);
    result.trusts.push_back(std::move(trust));
  });
  if (domain.Bool("standard_accounts", true))
    AddStandardAccounts(&result);
  return result;
}

WorldToken Loader::ReadToken(const Json& value, const std::string& path) {
  JsonObject token(value, path, {"user", "groups", "privileges"});
  WorldToken result;
  token_user_ = {token.RequiredString("user"), token.PathOf("user")};
  token.Array("groups", [&](const Json& element, const std::string& element_path) {
    WorldTokenGroup group;
    std::wstring account;
    if (element.is_string()) {
      account = JsonObject::AsString(element, element_path);
      token_groups_.push_back({account, element_path});
    } else {
      JsonObject entry(element, element_path, {"account", "enabled", "deny_only", "mandatory"});
      account = entry.RequiredString("account");
      token_groups_.push_back({account, entry.PathOf("account")});
      group.deny_only = entry.Bool("deny_only", false);
      group.enabled = entry.Bool("enabled", !group.deny_only);
      group.mandatory = entry.Bool("mandatory", true);
      if (group.deny_only && group.enabled) {
        FailAt(entry.PathOf("enabled"), "a deny-only group cannot be enabled");
      }
    }
    result.groups.push_back(group);
  });
  NameSet held("privilege");
  token.Array("privileges", [&](const Json& element, const std::string& element_path) {
    WorldPrivilege privilege;
    std::string name_path = element_path;
    if (element.is_string()) {
      privilege.name = JsonObject::AsString(element, element_path);
    } else {
      JsonObject entry(element, element_path, {"name", "enabled"});
      privilege.name = entry.RequiredString("name");
      privilege.enabled = entry.Bool("enabled", false);
      name_path = entry.PathOf("name");
    }
    const PrivilegeInfo* info = FindPrivilege(privilege.name);
    if (info == nullptr)
      FailAt(name_path, "unknown privilege " + Quoted(privilege.name));
    privilege.name = info->name;
    held.Add(privilege.name, name_path);
    result.privileges.push_back(std::move(privilege));
  });
  return result;
}

WorldFault Loader::ReadFault(const Json& value, const std::string& path) const {
  JsonObject fault(value, path, {"call", "path", "error", "count", "after"});
  WorldFault result;
  result.call = fault.RequiredString("call");
  const FaultableCall* call = FindFaultableCall(result.call);
  if (call == nullptr)
    FailAt(fault.PathOf("call"), "no call " + Quoted(result.call) + " can fail on request");
  if (fault.Has("path")) {
    if (!call->takes_path)
      FailAt(fault.PathOf("path"), ToUtf8(result.call) + " takes no path");
    result.path_pattern = fault.RequiredString("path");
  }
  const Json& error = fault.Required("error");
  if (error.is_string()) {
    std::string name = error.get<std::string>();
    const SystemErrorInfo* info = FindSystemErrorByName(name);
    if (info == nullptr)
      FailAt(fault.PathOf("error"), "unknown error name \"" + name + "\"");
    result.error = info->code;
  } else {
    result.error =
        static_cast<DWORD>(JsonObject::AsNumber(error, fault.PathOf("error"), kMaxDword));
  }
  if (result.error == ERROR_SUCCESS)
    FailAt(fault.PathOf("error"), "a fault needs an error other than 0");
  result.count = static_cast<uint32_t>(fault.Number("count", 1, kMaxDword));
  result.after = static_cast<uint32_t>(fault.Number("after", 0, kMaxDword));
  return result;
}

void Loader::AddLocalServer(World* world) {
  if (!world->domain.empty()) {
    const WorldDomain* domain = world->FindDomain(world->domain);
    if (domain == nullptr) {
      FailAt(domain_key_path_, "no domain " + Quoted(world->domain) + " in domains");
    }
    world->domain = domain->name;
  }
  for (size_t i = 0; i < world->servers.size(); ++i) {
    const WorldServer& listed = world->servers[i];
    if (!EqualsNoCaseAscii(listed.name, world->computer))
      continue;
    if (world->domain.empty()) {
      world->domain = listed.domain;
    } else if (!EqualsNoCaseAscii(listed.domain, world->domain)) {
      FailAt(domain_key_path_,
             "the local computer (" + server_paths_[i] + ") is " +
                 (listed.domain.empty() ? std::string("in no domain")
                                        : "a member of " + Quoted(listed.domain)));
    }
    return;
  }
  // The computer is not listed: it is the host's own machine under its name.
  WorldServer local;
  if (const WorldServer* host = base_.FindServer(base_.computer))
    local = *host;
  local.name = world->computer;
  if (local.sid.sub_authorities.empty()) {
    uint32_t hash = 2166136261u;  // FNV-1a of the name
    for (wchar_t c : local.name)
      hash = (hash ^ static_cast<uint32_t>(c)) * 16777619u;
    local.sid = ParseSid(L"S-1-5-21")->WithRid(hash).WithRid(hash * 31).WithRid(hash * 131);
  }
  if (world->domain.empty()) {
    local.role = WorldServer::Role::kStandalone;
    local.domain.clear();
    local.join_status = WorldServer::JoinStatus::kWorkgroup;
    if (local.workgroup.empty())
      local.workgroup = L"WORKGROUP";
  } else {
    local.role = WorldServer::Role::kMember;
    local.domain = world->domain;
    local.join_status = WorldServer::JoinStatus::kDomain;
    local.workgroup.clear();
  }
  local.type = ServerTypeForRole(local.role);
  AddStandardAccounts(&local);
  world->servers.push_back(std::move(local));
  server_paths_.push_back("computer");
}

void Loader::CheckServers(World* world) {
  for (size_t i = 0; i < world->servers.size(); ++i) {
    WorldServer& server = world->servers[i];
    const std::string& path = server_paths_[i];
    if (server.role == WorldServer::Role::kStandalone)
      continue;
    const WorldDomain* domain = world->FindDomain(server.domain);
    if (domain == nullptr) {
      FailAt(ChildPath(path, "domain"), "no domain " + Quoted(server.domain) + " in domains");
    }
    server.domain = domain->name;
    if (server.role != WorldServer::Role::kDomainController)
      continue;
    if (server.sid.sub_authorities.empty()) {
      server.sid = domain->sid;
    } else if (server.sid != domain->sid) {
      FailAt(ChildPath(path, "sid"), "a domain controller's machine SID is its domain's SID " +
                                         ToUtf8(domain->sid.ToString()));
    }
  }
  for (const Reference& connection : connection_servers_) {
    std::wstring_view rest = std::wstring_view(connection.name).substr(2);
    std::wstring server_name(rest.substr(0, rest.find(L'\\')));
    std::wstring share_name(rest.substr(rest.find(L'\\') + 1));
    const WorldServer* server = world->FindServer(server_name);
    if (server == nullptr) {
      FailAt(connection.path, "no server " + Quoted(server_name) + " in servers");
    }
    if (server->FindShare(share_name) == nullptr) {
      FailAt(connection.path,
             "server " + Quoted(server->name) + " has no share " + Quoted(share_name));
    }
  }
}

void Loader::CheckDomains(World* world) {
  for (size_t j = 0; j < domain_paths_.size(); ++j) {
    WorldDomain& domain = world->domains[j];
    const std::string& path = domain_paths_[j];
    if (world->FindServer(domain.name) != nullptr) {
      FailAt(ChildPath(path, "name"), Quoted(domain.name) + " is also the name of a server");
    }
    if (!domain.controller.empty()) {
      const WorldServer* server = world->FindServer(domain.controller);
      if (server == nullptr) {
        FailAt(ChildPath(path, "controller"),
               "no server " + Quoted(domain.controller) + " in servers");
      }
      if (server->role != WorldServer::Role::kDomainController ||
          !EqualsNoCaseAscii(server->domain, domain.name)) {
        FailAt(ChildPath(path, "controller"), "server " + Quoted(server->name) +
                                                  " is not a domain controller of " +
                                                  Quoted(domain.name));
      }
      domain.controller = server->name;
    }
    for (size_t k = 0; k < domain.trusts.size(); ++k) {
      WorldTrust& trust = domain.trusts[k];
      std::string trust_path = ChildPath(ElementPath(ChildPath(path, "trusts"), k), "domain");
      const WorldDomain* other = world->FindDomain(trust.domain);
      if (other == nullptr)
        FailAt(trust_path, "no domain " + Quoted(trust.domain) + " in domains");
      if (other == &domain)
        FailAt(trust_path, "a domain does not trust itself");
      trust.domain = other->name;
    }
  }
}

void Loader::CheckAccounts(const World& world) {
  for (const AccountReference& reference : accounts_) {
    const WorldServer* context =
        reference.server == SIZE_MAX ? nullptr : &world.servers[reference.server];
    std::wstring account = reference.account;
    if (!reference.domain.empty() && account.find(L'\\') == std::wstring::npos &&
        account.substr(0, 2) != L"S-") {
      account = reference.domain + L"\\" + account;
    }
    if (account.substr(0, 2) == L"S-") {
      ParseSidAt(account, reference.path);
    } else if (!world.ResolveAccount(account, context)) {
      FailAt(reference.path, "no account " + Quoted(reference.account) + " in this world");
    }
  }
}

World Loader::Load(const Json& root) {
  JsonObject top(
      root, "",
      {"comment", "computer", "os", "domain", "drives", "servers", "domains", "token", "faults"});
  top.String("comment");
  World world;
  world.computer = top.Has("computer") ? CheckNetbiosName(top.RequiredString("computer"),
                                                          top.PathOf("computer"), "a computer name")
                                       : base_.computer;
  world.os = top.Has("os") ? ReadOs(top.Required("os"), top.PathOf("os")) : base_.os;
  domain_key_path_ = top.PathOf("domain");
  world.domain = top.String("domain");
  if (top.Has("domain"))
    world.domain = CheckNetbiosName(world.domain, domain_key_path_, "a domain name");

  if (const Json* drives = top.Optional("drives")) {
    if (!drives->is_object()) {
      FailAt(top.PathOf("drives"), "expected an object, found " + Described(*drives));
    }
    for (const auto& [key, value] : drives->items()) {
      WorldDrive drive = ReadDrive(key, value, ChildPath(top.PathOf("drives"), key));
      world.drives[drive.letter] = std::move(drive);
    }
  } else {
    world.drives = base_.drives;
  }

  NameSet server_names("server name");
  top.Array("servers", [&](const Json& element, const std::string& path) {
    world.servers.push_back(ReadServer(element, path, world.servers.size()));
    server_paths_.push_back(path);
    server_names.Add(world.servers.back().name, ChildPath(path, "name"));
    if (!world.servers.back().dns_name.empty()) {
      server_names.Add(world.servers.back().dns_name, ChildPath(path, "dns_name"));
    }
  });

  NameSet domain_names("domain name");
  for (const WorldDomain& host_domain : base_.domains) {
    if (host_domain.controller.empty())
      domain_names.Add(host_domain.name, "the host's accounts");
  }
  top.Array("domains", [&](const Json& element, const std::string& path) {
    world.domains.push_back(ReadDomain(element, path));
    domain_paths_.push_back(path);
    domain_names.Add(world.domains.back().name, ChildPath(path, "name"));
    if (!world.domains.back().dns_name.empty()) {
      domain_names.Add(world.domains.back().dns_name, ChildPath(path, "dns_name"));
    }
  });
  // The host's own account authorities ("Unix User", "Unix Group") stay: host
  // files are owned by them whatever the world says.
  for (const WorldDomain& host_domain : base_.domains) {
    if (host_domain.controller.empty())
      world.domains.push_back(host_domain);
  }

  world.token =
      top.Has("token") ? ReadToken(top.Required("token"), top.PathOf("token")) : base_.token;
  top.Array("faults", [&](const Json& element, const std::string& path) {
    world.faults.push_back(ReadFault(element, path));
  });

  AddLocalServer(&world);
  CheckServers(&world);
  CheckDomains(&world);
  CheckAccounts(world);
  if (top.Has("token")) {
    const WorldServer* local = world.FindServer(world.computer);
    auto resolve = [&](const Reference& reference) {
      std::optional<SidValue> sid = world.ResolveAccount(reference.name, local);
      if (!sid) {
        if (reference.name.substr(0, 2) == L"S-")
          ParseSidAt(reference.name, reference.path);
        FailAt(reference.path, "no account " + Quoted(reference.name) + " in this world");
      }
      return *sid;
    };
    world.token.user = resolve(token_user_);
    for (size_t i = 0; i < token_groups_.size(); ++i) {
      world.token.groups[i].sid = resolve(token_groups_[i]);
    }
  }
  return world;
}

std::vector<WorldFault> Loader::LoadFaults(const Json& root) const {
  JsonObject top(root, "", {"comment", "faults"});
  top.String("comment");
  std::vector<WorldFault> faults;
  top.Array("faults", [&](const Json& element, const std::string& path) {
    faults.push_back(ReadFault(element, path));
  });
  return faults;
}

// Runs read over the parsed text; false with *error set to one message
// naming the file when the text or its contents are wrong.
template <typename Read>
bool ParseFile(std::string_view text, const std::wstring& prefix, Read read, std::wstring* error) {
  try {
    read(ParseJsonStrict(text));
    return true;
  } catch (const JsonError& mistake) {
    *error = prefix + FromUtf8(mistake.what());
  } catch (const Json::exception& mistake) {
    // "[Json.exception.parse_error.101] parse error at line 3, column 5: ..."
    std::string message = mistake.what();
    if (message.compare(0, 1, "[") == 0 && message.find("] ") != std::string::npos) {
      message.erase(0, message.find("] ") + 2);
    }
    *error = prefix + FromUtf8(message);
  }
  return false;
}

}  // namespace

bool ParseWorld(std::string_view text, const std::string& file_name, const std::string& base_dir,
                const World& base, World* world, std::wstring* error) {
  return ParseFile(
      text, L"world file " + FromUtf8(file_name) + L": ",
      [&](const Json& root) {
        Loader loader(base_dir, base);
        *world = loader.Load(root);
        world->source = file_name;
      },
      error);
}

bool ParseFaultFile(std::string_view text, const std::string& file_name,
                    std::vector<WorldFault>* faults, std::wstring* error) {
  return ParseFile(
      text, L"fault file " + FromUtf8(file_name) + L": ",
      [&](const Json& root) { *faults = Loader("", World()).LoadFaults(root); }, error);
}

}  // namespace tarvik
