#include "translate/local_accounts.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "log/log.h"
#include "server/local_account_directory.h"
#include "translate/security_trace.h"
#include "util/format.h"
#include "util/text.h"

namespace tarvik {
namespace {

// The longest name a prefixed candidate keeps.
constexpr size_t kMaxCandidateLength = 256;

// What differs between matching groups and matching users.
struct AccountKind {
  SID_NAME_USE type;
  const wchar_t* missing;
  const wchar_t* mismatch;
  bool group;
};

constexpr AccountKind kGroup{
    SidTypeAlias, L"The local groups \"%s\" and \"%s\" do not exist on the %s server !",
    L"The local group \"%s\" in not a local group on the %s server !", true};
constexpr AccountKind kUser{SidTypeUser,
                            L"The local user \"%s\" and \"%s\" do not exist on the %s server !",
                            L"The local user \"%s\" in not a local user on the %s server !", false};

std::wstring WithoutLeadingBackslashes(std::wstring_view text) {
  while (!text.empty() && text.front() == L'\\')
    text.remove_prefix(1);
  return std::wstring(text);
}

// The name of a server's account domain: the name its machine SID was read
// under, else (a SID given on the command line) the server's own.
std::wstring AccountDomainName(const SId& machine_sid, const std::wstring& server) {
  return machine_sid.domainName().empty() ? WithoutLeadingBackslashes(server)
                                          : machine_sid.domainName();
}

// An account as a lookup takes it: a bare name equal to the account domain's
// would name the domain itself.
std::wstring AccountText(const std::wstring& name, const std::wstring& domain) {
  return EqualsNoCaseAscii(name, domain) ? Format(L"%s\\%s", domain, name) : name;
}

// Finds a name in the target's accounts of one kind; gives the name as the
// target spells it.
using TargetFinder = std::function<std::optional<std::wstring>(const std::wstring&)>;

enum class Outcome { kMatched, kSkipped, kFailed, kStop };

class LocalAccountMatcher {
 public:
  LocalAccountMatcher(const SdTranslator& translator, RidTranslator* rids)
      : t_(translator),
        rids_(rids),
        source_(translator.sourceServer.name),
        target_(translator.targetServer.name),
        source_domain_(AccountDomainName(translator.sourceMachineSid, source_)),
        target_domain_(AccountDomainName(translator.targetMachineSid, target_)) {}

  bool Build();

 private:
  bool EnumerateGroups();
  bool EnumerateGroupsOf(const std::wstring& server, std::vector<LocalGroupName>* groups);
  bool EnumerateUsers();
  bool EnumerateUsersOf(const std::wstring& server, CMapUser* users);
  // One source account, in every step; kStop ends the matching at once.
  Outcome Match(const AccountKind& kind, const std::wstring& name, const TargetFinder& find);
  // The account's SID on the source, or what decided it there.
  std::optional<Outcome> CheckSource(const AccountKind& kind, const std::wstring& name,
                                     SId* source);
  Outcome MatchOnTarget(const AccountKind& kind, const std::wstring& name, const SId& source,
                        const TargetFinder& find);
  void ReportForeignSid(const AccountKind& kind, const std::wstring& name, const SId& sid);
  std::optional<std::wstring> FindTargetGroup(const std::wstring& name) const;
  std::optional<std::wstring> FindTargetUser(const std::wstring& name) const;

  const SdTranslator& t_;
  RidTranslator* rids_;
  const std::wstring source_;  // "\\NAME"
  const std::wstring target_;
  const std::wstring source_domain_;
  const std::wstring target_domain_;
  std::vector<LocalGroupName> source_groups_;
  std::vector<LocalGroupName> target_groups_;
  CMapUser source_users_;
  CMapUser target_users_;
};

bool LocalAccountMatcher::EnumerateGroupsOf(const std::wstring& server,
                                            std::vector<LocalGroupName>* groups) {
  LogInfo(L"Getting local group(s) from %s...", server);
  if (LocalGroupEnum(server, groups, 0) != NERR_Success)
    return false;
  if (TracingSecurity())
    LogInfo(L"The server %s has %d local group(s).", server, static_cast<DWORD>(groups->size()));
  return true;
}

bool LocalAccountMatcher::EnumerateGroups() {
  if (!EnumerateGroupsOf(source_, &source_groups_))
    return false;
  return source_groups_.empty() || EnumerateGroupsOf(target_, &target_groups_);
}

bool LocalAccountMatcher::EnumerateUsersOf(const std::wstring& server, CMapUser* users) {
  if (EnumerateLocalUsers(server, users) != NERR_Success)
    return false;
  if (TracingSecurity()) {
    LogInfo(L"The server %s has %d local user(s).", server, static_cast<DWORD>(users->size()));
    LogInfo(L"");
    LogInfo(L"local user list for server %s :", server);
    PrintLocalUsers(*users);
    LogInfo(L"");
  }
  return true;
}

bool LocalAccountMatcher::EnumerateUsers() {
  if (!EnumerateUsersOf(source_, &source_users_))
    return false;
  return source_users_.empty() || EnumerateUsersOf(target_, &target_users_);
}

std::optional<std::wstring> LocalAccountMatcher::FindTargetGroup(const std::wstring& name) const {
  for (const LocalGroupName& group : target_groups_) {
    if (EqualsNoCaseAscii(group.name, name))
      return group.name;
  }
  return std::nullopt;
}

std::optional<std::wstring> LocalAccountMatcher::FindTargetUser(const std::wstring& name) const {
  if (const LocalUser* user = FindLocalUser(target_users_, name))
    return user->info.usri2_name;
  return std::nullopt;
}

void LocalAccountMatcher::ReportForeignSid(const AccountKind& kind, const std::wstring& name,
                                           const SId& sid) {
  const std::wstring& server_sid = t_.sourceMachineSid.ToString();
  if (kind.group) {
    LogWarning(
        L"The SID of the local group \"%s\" of the server %s does not have the domain SID prefix "
        L"of the server",
        name, source_);
    LogWarning(L"Server SID: %s", server_sid);
    LogWarning(L"%s SID: %s\n", name, sid.ToString());
    return;
  }
  LogWarning(
      L"The SID of the local user \"%s\" of the server %s does not have the domain SID prefix of "
      L"the server\nServer SID: %s\n%s SID: %s\n",
      name, source_, server_sid, name, sid.ToString());
}

std::optional<Outcome> LocalAccountMatcher::CheckSource(const AccountKind& kind,
                                                        const std::wstring& name, SId* source) {
  source->LookupName(source_, AccountText(name, source_domain_), TracingSecurity());
  // The server just listed the account: not finding it again is a failure
  // (the lookup said why), not an account to leave untranslated.
  if (!source->named())
    return Outcome::kFailed;
  if (source->IsWellKnownForAccounts() || source->accountType() != kind.type)
    return Outcome::kSkipped;
  if (!t_.sourceMachineSid.EqualPrefix(*source)) {
    // The source machine SID is not the domain of its own accounts (a
    // wrong /localsidsource): no local SID could be recognised.
    ReportForeignSid(kind, name, *source);
    return Outcome::kStop;
  }
  if (t_.sourceIsDomainController)
    return Outcome::kSkipped;
  return std::nullopt;
}

Outcome LocalAccountMatcher::MatchOnTarget(const AccountKind& kind, const std::wstring& name,
                                           const SId& source, const TargetFinder& find) {
  std::wstring candidate = WithoutLeadingBackslashes(source_) + L"_" + name;
  candidate.resize(std::min(candidate.size(), kMaxCandidateLength));
  std::optional<std::wstring> found = find(candidate);
  if (!found)
    found = find(name);
  if (!found) {
    LogWarning(kind.missing, name, candidate, target_);
    return Outcome::kFailed;
  }
  const std::wstring text = AccountText(*found, target_domain_);
  SId target;
  target.LookupName(target_, text, TracingSecurity());
  // Translation puts the target RID under the target machine SID: an
  // account of another domain (a builtin alias of the same name) would
  // become a SID that names nobody.
  if (target.accountType() != kind.type || !t_.targetMachineSid.EqualPrefix(target)) {
    LogWarning(kind.mismatch, text, target_);
    return Outcome::kFailed;
  }
  if (!rids_->Add(source.GetRid(), target.GetRid())) {
    LogWarning(L"The 0x%08X last RID is duplicated in the source database, local group:\"%s\" ??",
               source.GetRid(), *found);
    return Outcome::kFailed;
  }
  return Outcome::kMatched;
}

Outcome LocalAccountMatcher::Match(const AccountKind& kind, const std::wstring& name,
                                   const TargetFinder& find) {
  SId source;
  if (std::optional<Outcome> decided = CheckSource(kind, name, &source))
    return *decided;
  return MatchOnTarget(kind, name, source, find);
}

bool LocalAccountMatcher::Build() {
  if (t_.translateLocalGroups && !EnumerateGroups())
    return false;
  if (t_.translateLocalUsers && !EnumerateUsers())
    return false;
  bool result = true;
  auto match = [&](const AccountKind& kind, const std::wstring& name, const TargetFinder& find) {
    Outcome outcome = Match(kind, name, find);
    result = result && outcome != Outcome::kFailed;
    return outcome != Outcome::kStop;
  };
  TargetFinder find_group = [this](const std::wstring& name) { return FindTargetGroup(name); };
  TargetFinder find_user = [this](const std::wstring& name) { return FindTargetUser(name); };
  // Without /lg the group list is empty, and without /lu the user map.
  for (const LocalGroupName& group : source_groups_) {
    if (!match(kGroup, group.name, find_group))
      return false;
  }
  for (const auto& [key, user] : source_users_) {
    if (!match(kUser, user.info.usri2_name, find_user))
      return false;
  }
  if (!result) {
    LogWarning(
        L"Please use acctclone utility to duplicate the missing local user(s) or group(s) from %s "
        L"to %s.",
        source_, target_);
  } else if (TracingSecurity()) {
    rids_->Dump();
  }
  return result;
}

}  // namespace

bool BuildLocalAccountTables(const SdTranslator& translator, RidTranslator* rids) {
  return LocalAccountMatcher(translator, rids).Build();
}

}  // namespace tarvik
