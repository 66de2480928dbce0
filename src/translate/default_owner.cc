#include "translate/default_owner.h"

#include <string>
#include <vector>

#include "common/sd/sid_bytes.h"
#include "log/log.h"
#include "platform/os.h"
#include "util/text.h"

namespace tarvik {
namespace {

constexpr const wchar_t* kUnknownUser = L"Unknown";
constexpr uint32_t kDomainUsersRid = 513;

// S-1-5-32-544.
SId BuiltinAdministrators() {
  static const std::vector<uint8_t> kBytes = {1,  2, 0, 0, 0,    0,    0, 5,
                                              32, 0, 0, 0, 0x20, 0x02, 0, 0};
  return SId(kBytes);
}

std::wstring_view WithoutLeadingBackslashes(std::wstring_view text) {
  while (!text.empty() && text.front() == L'\\')
    text.remove_prefix(1);
  return text;
}

// The connected account, when the target names one and the source path is
// not a DFS share (whose connection says nothing about the target).
bool ConnectedAccount(const Server& source, const Server& target, SId* owner) {
  if (target.userName.empty() || target.userName == kUnknownUser || source.isDfsShare)
    return false;
  *owner = SId::FromName(target.name, target.userName);
  return owner->named();
}

// The server that knows the owner's primary group: the target itself for
// its own and builtin accounts, else a controller of the owner's domain.
// Empty when no controller can be found.
std::wstring PrimaryGroupServer(const Server& target, const std::wstring& account_domain) {
  std::wstring_view domain = WithoutLeadingBackslashes(account_domain);
  if (StartsWithNoCaseAscii(domain, L"BUILTIN") ||
      StartsWithNoCaseAscii(domain, WithoutLeadingBackslashes(target.name))) {
    return target.name;
  }
  std::wstring controller;
  NET_API_STATUS status =
      Os::Current().NetGetAnyDCName(SystemName(target.name), account_domain.c_str(), &controller);
  if (status != NERR_Success) {
    LogWarning(L"Unable to retrieve the PDC of the domain %s nearby %s, error : %d", account_domain,
               target.name, status);
    return std::wstring();
  }
  return controller;
}

uint32_t PrimaryGroupRid(const Server& target, const std::wstring& account_domain,
                         const std::wstring& account) {
  const std::wstring server = PrimaryGroupServer(target, account_domain);
  // Without a controller there is nobody to ask: asking this computer could
  // find a local namesake with another group.
  if (!server.empty()) {
    USER_INFO_3 info;
    NET_API_STATUS status =
        Os::Current().NetUserGetInfo(SystemName(server), account.c_str(), 3, &info);
    if (status == NERR_Success)
      return info.usri3_primary_group_id;
    LogError(status, L"Unable to retrieve the primary group of the default user %s from %s",
             account, server);
  }
  LogWarning(L"The default primary group is set to \"domain users\"");
  return kDomainUsersRid;
}

}  // namespace

DefaultOwner ChooseDefaultOwner(const Server& source, const Server& target) {
  DefaultOwner result;
  std::wstring account_domain;
  std::wstring account;
  if (ConnectedAccount(source, target, &result.owner)) {
    account_domain = result.owner.domainName();
    account = result.owner.accountName();
  } else {
    result.owner = BuiltinAdministrators();
    result.owner.LookupSid(target.name);  // names it in the traces
    result.builtin = true;
    LogWarning(
        L"BUILTIN\\administrators can be used as default owner when original owner is not "
        L"resolved on target side");
    account_domain = target.name;
    account = result.owner.named() ? result.owner.accountName() : std::wstring(L"Administrators");
  }
  result.groupRid = PrimaryGroupRid(target, account_domain, account);
  return result;
}

}  // namespace tarvik
