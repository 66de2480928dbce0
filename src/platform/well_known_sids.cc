#include "platform/well_known_sids.h"

#include "util/text.h"

namespace tarvik {
namespace {

constexpr int kDomain = 3;
constexpr int kAlias = 4;
constexpr int kWellKnownGroup = 5;

constexpr WellKnownSid kSids[] = {
    {L"S-1-0-0", L"", L"NULL SID", kWellKnownGroup},
    {L"S-1-1-0", L"", L"Everyone", kWellKnownGroup},
    {L"S-1-2-0", L"", L"LOCAL", kWellKnownGroup},
    {L"S-1-2-1", L"", L"CONSOLE LOGON", kWellKnownGroup},
    {L"S-1-3-0", L"", L"CREATOR OWNER", kWellKnownGroup},
    {L"S-1-3-1", L"", L"CREATOR GROUP", kWellKnownGroup},
    {L"S-1-3-2", L"", L"CREATOR OWNER SERVER", kWellKnownGroup},
    {L"S-1-3-3", L"", L"CREATOR GROUP SERVER", kWellKnownGroup},
    {L"S-1-3-4", L"", L"OWNER RIGHTS", kWellKnownGroup},
    {L"S-1-5-1", L"NT AUTHORITY", L"DIALUP", kWellKnownGroup},
    {L"S-1-5-2", L"NT AUTHORITY", L"NETWORK", kWellKnownGroup},
    {L"S-1-5-3", L"NT AUTHORITY", L"BATCH", kWellKnownGroup},
    {L"S-1-5-4", L"NT AUTHORITY", L"INTERACTIVE", kWellKnownGroup},
    {L"S-1-5-6", L"NT AUTHORITY", L"SERVICE", kWellKnownGroup},
    {L"S-1-5-7", L"NT AUTHORITY", L"ANONYMOUS LOGON", kWellKnownGroup},
    {L"S-1-5-8", L"NT AUTHORITY", L"PROXY", kWellKnownGroup},
    {L"S-1-5-9", L"NT AUTHORITY", L"ENTERPRISE DOMAIN CONTROLLERS", kWellKnownGroup},
    {L"S-1-5-10", L"NT AUTHORITY", L"SELF", kWellKnownGroup},
    {L"S-1-5-11", L"NT AUTHORITY", L"Authenticated Users", kWellKnownGroup},
    {L"S-1-5-12", L"NT AUTHORITY", L"RESTRICTED", kWellKnownGroup},
    {L"S-1-5-13", L"NT AUTHORITY", L"TERMINAL SERVER USER", kWellKnownGroup},
    {L"S-1-5-14", L"NT AUTHORITY", L"REMOTE INTERACTIVE LOGON", kWellKnownGroup},
    {L"S-1-5-15", L"NT AUTHORITY", L"This Organization", kWellKnownGroup},
    {L"S-1-5-17", L"NT AUTHORITY", L"IUSR", kWellKnownGroup},
    {L"S-1-5-18", L"NT AUTHORITY", L"SYSTEM", kWellKnownGroup},
    {L"S-1-5-19", L"NT AUTHORITY", L"LOCAL SERVICE", kWellKnownGroup},
    {L"S-1-5-20", L"NT AUTHORITY", L"NETWORK SERVICE", kWellKnownGroup},
    {L"S-1-5-32", L"BUILTIN", L"BUILTIN", kDomain},
    {L"S-1-5-32-544", L"BUILTIN", L"Administrators", kAlias},
    {L"S-1-5-32-545", L"BUILTIN", L"Users", kAlias},
    {L"S-1-5-32-546", L"BUILTIN", L"Guests", kAlias},
    {L"S-1-5-32-547", L"BUILTIN", L"Power Users", kAlias},
    {L"S-1-5-32-548", L"BUILTIN", L"Account Operators", kAlias},
    {L"S-1-5-32-549", L"BUILTIN", L"Server Operators", kAlias},
    {L"S-1-5-32-550", L"BUILTIN", L"Print Operators", kAlias},
    {L"S-1-5-32-551", L"BUILTIN", L"Backup Operators", kAlias},
    {L"S-1-5-32-552", L"BUILTIN", L"Replicator", kAlias},
    {L"S-1-5-32-554", L"BUILTIN", L"Pre-Windows 2000 Compatible Access", kAlias},
    {L"S-1-5-32-555", L"BUILTIN", L"Remote Desktop Users", kAlias},
    {L"S-1-5-32-556", L"BUILTIN", L"Network Configuration Operators", kAlias},
    {L"S-1-5-32-558", L"BUILTIN", L"Performance Monitor Users", kAlias},
    {L"S-1-5-32-559", L"BUILTIN", L"Performance Log Users", kAlias},
    {L"S-1-5-32-560", L"BUILTIN", L"Windows Authorization Access Group", kAlias},
    {L"S-1-5-32-561", L"BUILTIN", L"Terminal Server License Servers", kAlias},
    {L"S-1-5-32-562", L"BUILTIN", L"Distributed COM Users", kAlias},
    {L"S-1-5-32-568", L"BUILTIN", L"IIS_IUSRS", kAlias},
    {L"S-1-5-32-569", L"BUILTIN", L"Cryptographic Operators", kAlias},
    {L"S-1-5-32-573", L"BUILTIN", L"Event Log Readers", kAlias},
    {L"S-1-5-32-574", L"BUILTIN", L"Certificate Service DCOM Access", kAlias},
    {L"S-1-5-32-575", L"BUILTIN", L"RDS Remote Access Servers", kAlias},
    {L"S-1-5-32-576", L"BUILTIN", L"RDS Endpoint Servers", kAlias},
    {L"S-1-5-32-577", L"BUILTIN", L"RDS Management Servers", kAlias},
    {L"S-1-5-32-578", L"BUILTIN", L"Hyper-V Administrators", kAlias},
    {L"S-1-5-32-579", L"BUILTIN", L"Access Control Assistance Operators", kAlias},
    {L"S-1-5-32-580", L"BUILTIN", L"Remote Management Users", kAlias},
};

}  // namespace

std::span<const WellKnownSid> WellKnownSids() {
  return kSids;
}

const WellKnownSid* FindWellKnownSid(const SidValue& sid) {
  std::wstring text = sid.ToString();
  for (const WellKnownSid& entry : kSids) {
    if (text == entry.sid)
      return &entry;
  }
  return nullptr;
}

const WellKnownSid* FindWellKnownName(std::wstring_view account) {
  size_t slash = account.find(L'\\');
  std::wstring_view domain = slash == std::wstring_view::npos ? L"" : account.substr(0, slash);
  std::wstring_view name = slash == std::wstring_view::npos ? account : account.substr(slash + 1);
  for (const WellKnownSid& entry : kSids) {
    if (!EqualsNoCaseAscii(entry.name, name))
      continue;
    if (slash == std::wstring_view::npos || EqualsNoCaseAscii(entry.domain, domain))
      return &entry;
  }
  return nullptr;
}

}  // namespace tarvik
