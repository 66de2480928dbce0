#include "platform/posix/account_directory.h"

#include <algorithm>

#include "platform/well_known_sids.h"
#include "platform/win_error.h"
#include "util/text.h"

namespace tarvik {
namespace {

constexpr uint64_t kNtAuthority = 5;
constexpr uint32_t kBuiltinRid = 32;
// The host's account authorities (S-1-22-1 users, S-1-22-2 groups).
constexpr uint64_t kHostAuthority = 22;

const SidValue& BuiltinDomainSid() {
  static const SidValue sid{kNtAuthority, {kBuiltinRid}};
  return sid;
}

bool IsHostAuthority(const WorldDomain& domain) {
  return domain.sid.authority == kHostAuthority;
}

bool IsBuiltinSid(const SidValue& sid) {
  return sid.authority == kNtAuthority && sid.sub_authorities.size() == 2 &&
         sid.sub_authorities[0] == kBuiltinRid;
}

AccountEntry Entry(const SidValue& sid, std::wstring name, std::wstring domain, SID_NAME_USE use) {
  AccountEntry entry;
  entry.sid = sid;
  entry.name = std::move(name);
  entry.domain = std::move(domain);
  entry.use = use;
  return entry;
}

AccountEntry AccountOf(const WorldDomain& domain, const WorldAccount& account) {
  auto use = static_cast<SID_NAME_USE>(static_cast<int>(account.type));
  std::wstring name = account.type == WorldAccount::Type::kDeleted ? L"" : account.name;
  return Entry(domain.sid.WithRid(account.rid), std::move(name), domain.name, use);
}

bool MatchesDomainName(const WorldDomain& domain, std::wstring_view name) {
  return EqualsNoCaseAscii(domain.name, name) ||
         (!domain.dns_name.empty() && EqualsNoCaseAscii(domain.dns_name, name));
}

bool MatchesServerName(const WorldServer& server, std::wstring_view name) {
  return EqualsNoCaseAscii(server.name, name) ||
         (!server.dns_name.empty() && EqualsNoCaseAscii(server.dns_name, name));
}

}  // namespace

const WorldDomain* AccountDirectory::DomainOf(const WorldServer& server) const {
  if (server.role == WorldServer::Role::kStandalone || server.domain.empty())
    return nullptr;
  return world_.FindDomain(server.domain);
}

std::vector<const WorldDomain*> AccountDirectory::KnownDomains(const WorldServer& server) const {
  std::vector<const WorldDomain*> known;
  // A domain trusts another when its own entry says so (outbound or both
  // ways) or the other's entry does (inbound or both ways).
  auto trusted_by = [&](const WorldDomain& from) {
    std::vector<std::pair<const WorldDomain*, bool>> result;  // domain, transitive
    for (const WorldTrust& trust : from.trusts) {
      if (trust.direction == WorldTrust::Direction::kInbound)
        continue;
      if (const WorldDomain* to = world_.FindDomain(trust.domain))
        result.emplace_back(to, trust.transitive);
    }
    for (const WorldDomain& other : world_.domains) {
      for (const WorldTrust& trust : other.trusts) {
        if (trust.direction != WorldTrust::Direction::kOutbound &&
            EqualsNoCaseAscii(trust.domain, from.name)) {
          result.emplace_back(&other, trust.transitive);
        }
      }
    }
    return result;
  };
  auto add = [&](const WorldDomain* domain) {
    if (std::find(known.begin(), known.end(), domain) != known.end())
      return false;
    known.push_back(domain);
    return true;
  };
  if (const WorldDomain* own = DomainOf(server)) {
    add(own);
    // Beyond the first trust, only transitive trusts lead further.
    std::vector<const WorldDomain*> frontier;
    for (auto [domain, transitive] : trusted_by(*own)) {
      if (add(domain) && transitive)
        frontier.push_back(domain);
    }
    while (!frontier.empty()) {
      const WorldDomain* next = frontier.back();
      frontier.pop_back();
      for (auto [domain, transitive] : trusted_by(*next)) {
        if (transitive && add(domain))
          frontier.push_back(domain);
      }
    }
  }
  for (const WorldDomain& domain : world_.domains) {
    if (IsHostAuthority(domain))
      add(&domain);
  }
  return known;
}

bool AccountDirectory::Knows(const WorldServer& server, const WorldDomain& domain) const {
  std::vector<const WorldDomain*> known = KnownDomains(server);
  return std::find(known.begin(), known.end(), &domain) != known.end();
}

bool AccountDirectory::FindBuiltin(const WorldServer& server, const SidValue* sid,
                                   std::wstring_view name, AccountEntry* entry) const {
  for (const WorldLocalGroup& group : server.local_groups) {
    if (!group.builtin)
      continue;
    bool match = sid != nullptr ? sid->Rid() == group.rid : EqualsNoCaseAscii(group.name, name);
    if (match) {
      *entry = Entry(BuiltinDomainSid().WithRid(group.rid), group.name, L"BUILTIN", SidTypeAlias);
      return true;
    }
  }
  return false;
}

bool AccountDirectory::FindInServer(const WorldServer& server, const SidValue& sid,
                                    AccountEntry* entry) const {
  // A controller keeps no accounts of its own: its machine SID is its domain's.
  if (server.role == WorldServer::Role::kDomainController)
    return false;
  if (sid == server.sid) {
    *entry = Entry(sid, server.name, server.name, SidTypeDomain);
    return true;
  }
  if (sid.Parent() != server.sid || sid.sub_authorities.empty())
    return false;
  for (const WorldLocalUser& user : server.local_users) {
    if (user.rid == sid.Rid()) {
      *entry = Entry(sid, user.name, server.name, SidTypeUser);
      return true;
    }
  }
  for (const WorldLocalGroup& group : server.local_groups) {
    if (!group.builtin && group.rid == sid.Rid()) {
      *entry = Entry(sid, group.name, server.name, SidTypeAlias);
      return true;
    }
  }
  return false;
}

bool AccountDirectory::FindInDomain(const WorldDomain& domain, const SidValue& sid,
                                    AccountEntry* entry) const {
  if (sid == domain.sid) {
    *entry = Entry(sid, domain.name, domain.name, SidTypeDomain);
    return true;
  }
  if (sid.sub_authorities.empty() || sid.Parent() != domain.sid)
    return false;
  if (const WorldAccount* account = domain.FindRid(sid.Rid())) {
    *entry = AccountOf(domain, *account);
    return true;
  }
  return false;
}

DWORD AccountDirectory::LookupSid(const WorldServer& server, const SidValue& sid,
                                  AccountEntry* entry) const {
  if (IsBuiltinSid(sid) && FindBuiltin(server, &sid, L"", entry))
    return ERROR_SUCCESS;
  if (const WellKnownSid* known = FindWellKnownSid(sid)) {
    *entry = Entry(sid, known->name, known->domain, static_cast<SID_NAME_USE>(known->type));
    return ERROR_SUCCESS;
  }
  if (FindInServer(server, sid, entry))
    return ERROR_SUCCESS;
  std::vector<const WorldDomain*> domains = KnownDomains(server);
  for (const WorldDomain* domain : domains) {
    if (FindInDomain(*domain, sid, entry))
      return ERROR_SUCCESS;
  }
  // A SID an account carried before its migration finds the account now.
  for (const WorldDomain* domain : domains) {
    for (const WorldAccount& account : domain->accounts) {
      if (std::find(account.sid_history.begin(), account.sid_history.end(), sid) !=
          account.sid_history.end()) {
        *entry = AccountOf(*domain, account);
        return ERROR_SUCCESS;
      }
    }
  }
  return ERROR_NONE_MAPPED;
}

bool AccountDirectory::FindNameInServer(const WorldServer& server, std::wstring_view name,
                                        AccountEntry* entry) const {
  if (server.role == WorldServer::Role::kDomainController)
    return false;
  if (MatchesServerName(server, name)) {
    *entry = Entry(server.sid, server.name, server.name, SidTypeDomain);
    return true;
  }
  if (const WorldLocalUser* user = server.FindLocalUser(name)) {
    *entry = Entry(server.sid.WithRid(user->rid), user->name, server.name, SidTypeUser);
    return true;
  }
  if (const WorldLocalGroup* group = server.FindLocalGroup(name); group && !group->builtin) {
    *entry = Entry(server.sid.WithRid(group->rid), group->name, server.name, SidTypeAlias);
    return true;
  }
  return false;
}

bool AccountDirectory::FindNameInDomain(const WorldDomain& domain, std::wstring_view name,
                                        AccountEntry* entry) const {
  if (MatchesDomainName(domain, name)) {
    *entry = Entry(domain.sid, domain.name, domain.name, SidTypeDomain);
    return true;
  }
  // Deleted accounts have no name to be found by.
  const WorldAccount* account = domain.FindAccount(name);
  if (account == nullptr || account->type == WorldAccount::Type::kDeleted)
    return false;
  *entry = AccountOf(domain, *account);
  return true;
}

DWORD AccountDirectory::LookupName(const WorldServer& server, std::wstring_view account,
                                   AccountEntry* entry) const {
  size_t backslash = account.find(L'\\');
  std::vector<const WorldDomain*> domains = KnownDomains(server);
  if (backslash != std::wstring_view::npos && backslash > 0) {
    std::wstring_view authority = account.substr(0, backslash);
    std::wstring_view name = account.substr(backslash + 1);
    if (EqualsNoCaseAscii(authority, L"BUILTIN")) {
      if (name.empty() || EqualsNoCaseAscii(name, L"BUILTIN")) {
        *entry = Entry(BuiltinDomainSid(), L"BUILTIN", L"BUILTIN", SidTypeDomain);
        return ERROR_SUCCESS;
      }
      if (FindBuiltin(server, nullptr, name, entry))
        return ERROR_SUCCESS;
    }
    if (const WellKnownSid* known = FindWellKnownName(account);
        known != nullptr && known->domain[0] != L'\0') {
      *entry = Entry(*ParseSid(known->sid), known->name, known->domain,
                     static_cast<SID_NAME_USE>(known->type));
      return ERROR_SUCCESS;
    }
    if (MatchesServerName(server, authority)) {
      std::wstring_view wanted = name.empty() ? authority : name;
      return FindNameInServer(server, wanted, entry) ? ERROR_SUCCESS : ERROR_NONE_MAPPED;
    }
    for (const WorldDomain* domain : domains) {
      if (MatchesDomainName(*domain, authority)) {
        std::wstring_view wanted = name.empty() ? authority : name;
        return FindNameInDomain(*domain, wanted, entry) ? ERROR_SUCCESS : ERROR_NONE_MAPPED;
      }
    }
    return ERROR_NONE_MAPPED;
  }
  std::wstring_view name = backslash == 0 ? account.substr(1) : account;
  if (const WellKnownSid* known = FindWellKnownName(name)) {
    *entry = Entry(*ParseSid(known->sid), known->name, known->domain,
                   static_cast<SID_NAME_USE>(known->type));
    return ERROR_SUCCESS;
  }
  if (FindBuiltin(server, nullptr, name, entry) || FindNameInServer(server, name, entry))
    return ERROR_SUCCESS;
  for (const WorldDomain* domain : domains) {
    if (FindNameInDomain(*domain, name, entry))
      return ERROR_SUCCESS;
  }
  return ERROR_NONE_MAPPED;
}

}  // namespace tarvik
