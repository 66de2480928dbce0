#include "platform/world.h"

#include <algorithm>

#include "platform/well_known_sids.h"
#include "util/text.h"

namespace tarvik {
namespace {

// sv101_type bits.
constexpr DWORD SV_TYPE_WORKSTATION = 0x00000001;
constexpr DWORD SV_TYPE_SERVER = 0x00000002;
constexpr DWORD SV_TYPE_DOMAIN_CTRL = 0x00000008;
constexpr DWORD SV_TYPE_TIME_SOURCE = 0x00000020;
constexpr DWORD SV_TYPE_NT = 0x00001000;
constexpr DWORD SV_TYPE_SERVER_NT = 0x00008000;

template <typename T>
const T* FindByName(const std::vector<T>& items, std::wstring_view name) {
  for (const T& item : items) {
    if (EqualsNoCaseAscii(item.name, name))
      return &item;
  }
  return nullptr;
}

struct StandardUser {
  const wchar_t* name;
  DWORD rid;
  bool disabled;
  DWORD privilege;
  const wchar_t* comment;
};

struct StandardGroup {
  const wchar_t* name;
  DWORD rid;
  const wchar_t* comment;
};

constexpr StandardUser kServerUsers[] = {
    {L"Administrator", 500, false, 2, L"Built-in account for administering the computer/domain"},
    {L"Guest", 501, true, 0, L"Built-in account for guest access to the computer/domain"},
};

constexpr StandardGroup kBuiltinGroups[] = {
    {L"Administrators", 544,
     L"Administrators have complete and unrestricted access to the computer/domain"},
    {L"Users", 545,
     L"Users are prevented from making accidental or intentional system-wide changes and can run "
     L"most applications"},
    {L"Guests", 546,
     L"Guests have the same access as members of the Users group by default, except for the Guest "
     L"account which is further restricted"},
    {L"Backup Operators", 551,
     L"Backup Operators can override security restrictions for the sole purpose of backing up or "
     L"restoring files"},
};

constexpr StandardUser kDomainUsers[] = {
    {L"Administrator", 500, false, 2, L"Built-in account for administering the computer/domain"},
    {L"Guest", 501, true, 0, L"Built-in account for guest access to the computer/domain"},
    {L"krbtgt", 502, true, 1, L"Key Distribution Center Service Account"},
};

constexpr StandardGroup kDomainGroups[] = {
    {L"Domain Admins", 512, L"Designated administrators of the domain"},
    {L"Domain Users", 513, L"All domain users"},
    {L"Domain Guests", 514, L"All domain guests"},
    {L"Domain Computers", 515, L"All workstations and servers joined to the domain"},
    {L"Domain Controllers", 516, L"All domain controllers in the domain"},
};

}  // namespace

const WorldShare* WorldServer::FindShare(std::wstring_view share_name) const {
  return FindByName(shares, share_name);
}

const WorldLocalUser* WorldServer::FindLocalUser(std::wstring_view user_name) const {
  return FindByName(local_users, user_name);
}

const WorldLocalGroup* WorldServer::FindLocalGroup(std::wstring_view group_name) const {
  return FindByName(local_groups, group_name);
}

const WorldAccount* WorldDomain::FindAccount(std::wstring_view account_name) const {
  return FindByName(accounts, account_name);
}

const WorldAccount* WorldDomain::FindRid(DWORD rid) const {
  for (const WorldAccount& account : accounts) {
    if (account.rid == rid)
      return &account;
  }
  return nullptr;
}

const WorldDrive* World::FindDrive(wchar_t letter) const {
  auto it = drives.find(letter >= L'a' && letter <= L'z' ? letter - (L'a' - L'A') : letter);
  return it == drives.end() ? nullptr : &it->second;
}

const WorldServer* World::FindServer(std::wstring_view server_name) const {
  for (const WorldServer& server : servers) {
    if (EqualsNoCaseAscii(server.name, server_name))
      return &server;
    if (!server.dns_name.empty() && EqualsNoCaseAscii(server.dns_name, server_name)) {
      return &server;
    }
    // NAME.DOMAIN: the name qualified with its domain's NetBIOS name, as the
    // name of a domain member is formed for its shares.
    std::wstring_view name(server_name);
    size_t dot = server.name.size();
    if (!server.domain.empty() && name.size() == dot + 1 + server.domain.size() &&
        name[dot] == L'.' && EqualsNoCaseAscii(name.substr(0, dot), server.name) &&
        EqualsNoCaseAscii(name.substr(dot + 1), server.domain)) {
      return &server;
    }
  }
  return nullptr;
}

const WorldServer& World::LocalServer() const {
  // Every loaded world holds an entry for its own computer; the loader and the
  // default world guarantee it.
  return *FindServer(computer);
}

const WorldDomain* World::FindDomain(std::wstring_view domain_name) const {
  for (const WorldDomain& domain_entry : domains) {
    if (EqualsNoCaseAscii(domain_entry.name, domain_name))
      return &domain_entry;
    if (!domain_entry.dns_name.empty() && EqualsNoCaseAscii(domain_entry.dns_name, domain_name)) {
      return &domain_entry;
    }
  }
  return nullptr;
}

const WorldDrive* World::DriveForHostPath(std::string_view host_path) const {
  const WorldDrive* best = nullptr;
  for (const auto& [letter, drive] : drives) {
    const std::string& root = drive.host_path;
    if (root.empty() || host_path.substr(0, root.size()) != root)
      continue;
    bool at_boundary =
        root.back() == '/' || host_path.size() == root.size() || host_path[root.size()] == '/';
    if (at_boundary && (best == nullptr || root.size() > best->host_path.size()))
      best = &drive;
  }
  return best;
}

std::optional<SidValue> World::ResolveAccount(std::wstring_view account,
                                              const WorldServer* context) const {
  if (account.substr(0, 2) == L"S-")
    return ParseSid(account);
  size_t slash = account.find(L'\\');
  std::wstring_view name = slash == std::wstring_view::npos ? account : account.substr(slash + 1);
  auto in_server = [&](const WorldServer& server) -> std::optional<SidValue> {
    if (server.role == WorldServer::Role::kDomainController) {
      const WorldDomain* own = FindDomain(server.domain);
      if (own != nullptr) {
        if (const WorldAccount* found = own->FindAccount(name))
          return own->sid.WithRid(found->rid);
      }
    }
    if (const WorldLocalUser* user = server.FindLocalUser(name))
      return server.sid.WithRid(user->rid);
    if (const WorldLocalGroup* group = server.FindLocalGroup(name)) {
      return group->builtin ? ParseSid(L"S-1-5-32")->WithRid(group->rid)
                            : server.sid.WithRid(group->rid);
    }
    return std::nullopt;
  };
  auto in_domain = [&](const WorldDomain& domain_entry) -> std::optional<SidValue> {
    const WorldAccount* found = domain_entry.FindAccount(name);
    if (found == nullptr)
      return std::nullopt;
    return domain_entry.sid.WithRid(found->rid);
  };
  auto well_known = [&]() -> std::optional<SidValue> {
    const WellKnownSid* found = FindWellKnownName(account);
    if (found == nullptr)
      return std::nullopt;
    return ParseSid(found->sid);
  };

  if (slash != std::wstring_view::npos) {
    std::wstring_view authority = account.substr(0, slash);
    if (const WorldServer* server = FindServer(authority))
      return in_server(*server);
    if (const WorldDomain* domain_entry = FindDomain(authority))
      return in_domain(*domain_entry);
    return well_known();
  }
  if (context != nullptr) {
    if (auto sid = in_server(*context))
      return sid;
    if (const WorldDomain* own = FindDomain(context->domain)) {
      if (auto sid = in_domain(*own))
        return sid;
    }
  }
  return well_known();
}

DWORD ServerTypeForRole(WorldServer::Role role) {
  DWORD type = SV_TYPE_WORKSTATION | SV_TYPE_SERVER | SV_TYPE_NT;
  if (role == WorldServer::Role::kDomainController) {
    type |= SV_TYPE_DOMAIN_CTRL | SV_TYPE_TIME_SOURCE;
  } else {
    type |= SV_TYPE_SERVER_NT;
  }
  return type;
}

void AddStandardAccounts(WorldServer* server) {
  // A domain controller has no accounts database of its own: its users are
  // the domain's.
  if (server->role != WorldServer::Role::kDomainController) {
    for (const StandardUser& standard : kServerUsers) {
      bool present = server->FindLocalUser(standard.name) != nullptr ||
                     std::any_of(server->local_users.begin(), server->local_users.end(),
                                 [&](const WorldLocalUser& u) { return u.rid == standard.rid; });
      if (present)
        continue;
      WorldLocalUser user;
      user.name = standard.name;
      user.rid = standard.rid;
      user.disabled = standard.disabled;
      user.privilege = standard.privilege;
      user.comment = standard.comment;
      server->local_users.push_back(user);
    }
  }
  for (const StandardGroup& standard : kBuiltinGroups) {
    bool present =
        server->FindLocalGroup(standard.name) != nullptr ||
        std::any_of(server->local_groups.begin(), server->local_groups.end(),
                    [&](const WorldLocalGroup& g) { return g.builtin && g.rid == standard.rid; });
    if (present)
      continue;
    WorldLocalGroup group;
    group.name = standard.name;
    group.rid = standard.rid;
    group.builtin = true;
    group.comment = standard.comment;
    server->local_groups.push_back(group);
  }
}

void AddStandardAccounts(WorldDomain* domain) {
  auto present = [&](const wchar_t* name, DWORD rid) {
    return domain->FindAccount(name) != nullptr || domain->FindRid(rid) != nullptr;
  };
  for (const StandardUser& standard : kDomainUsers) {
    if (present(standard.name, standard.rid))
      continue;
    WorldAccount account;
    account.name = standard.name;
    account.rid = standard.rid;
    account.type = WorldAccount::Type::kUser;
    account.disabled = standard.disabled;
    account.comment = standard.comment;
    domain->accounts.push_back(account);
  }
  for (const StandardGroup& standard : kDomainGroups) {
    if (present(standard.name, standard.rid))
      continue;
    WorldAccount account;
    account.name = standard.name;
    account.rid = standard.rid;
    account.type = WorldAccount::Type::kGroup;
    account.comment = standard.comment;
    domain->accounts.push_back(account);
  }
}

}  // namespace tarvik
