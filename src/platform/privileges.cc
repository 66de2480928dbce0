#include "platform/privileges.h"

#include "util/text.h"

namespace tarvik {
namespace {

constexpr PrivilegeInfo kPrivileges[] = {
    {2, L"SeCreateTokenPrivilege", L"Create a token object"},
    {3, L"SeAssignPrimaryTokenPrivilege", L"Replace a process level token"},
    {4, L"SeLockMemoryPrivilege", L"Lock pages in memory"},
    {5, L"SeIncreaseQuotaPrivilege", L"Adjust memory quotas for a process"},
    {6, L"SeMachineAccountPrivilege", L"Add workstations to domain"},
    {7, L"SeTcbPrivilege", L"Act as part of the operating system"},
    {8, L"SeSecurityPrivilege", L"Manage auditing and security log"},
    {9, L"SeTakeOwnershipPrivilege", L"Take ownership of files or other objects"},
    {10, L"SeLoadDriverPrivilege", L"Load and unload device drivers"},
    {11, L"SeSystemProfilePrivilege", L"Profile system performance"},
    {12, L"SeSystemtimePrivilege", L"Change the system time"},
    {13, L"SeProfileSingleProcessPrivilege", L"Profile single process"},
    {14, L"SeIncreaseBasePriorityPrivilege", L"Increase scheduling priority"},
    {15, L"SeCreatePagefilePrivilege", L"Create a pagefile"},
    {16, L"SeCreatePermanentPrivilege", L"Create permanent shared objects"},
    {17, L"SeBackupPrivilege", L"Back up files and directories"},
    {18, L"SeRestorePrivilege", L"Restore files and directories"},
    {19, L"SeShutdownPrivilege", L"Shut down the system"},
    {20, L"SeDebugPrivilege", L"Debug programs"},
    {21, L"SeAuditPrivilege", L"Generate security audits"},
    {22, L"SeSystemEnvironmentPrivilege", L"Modify firmware environment values"},
    {23, L"SeChangeNotifyPrivilege", L"Bypass traverse checking"},
    {24, L"SeRemoteShutdownPrivilege", L"Force shutdown from a remote system"},
    {25, L"SeUndockPrivilege", L"Remove computer from docking station"},
    {26, L"SeSyncAgentPrivilege", L"Synchronize directory service data"},
    {27, L"SeEnableDelegationPrivilege",
     L"Enable computer and user accounts to be trusted for delegation"},
    {28, L"SeManageVolumePrivilege", L"Perform volume maintenance tasks"},
    {29, L"SeImpersonatePrivilege", L"Impersonate a client after authentication"},
    {30, L"SeCreateGlobalPrivilege", L"Create global objects"},
    {31, L"SeTrustedCredManAccessPrivilege", L"Access Credential Manager as a trusted caller"},
    {32, L"SeRelabelPrivilege", L"Modify an object label"},
    {33, L"SeIncreaseWorkingSetPrivilege", L"Increase a process working set"},
    {34, L"SeTimeZonePrivilege", L"Change the time zone"},
    {35, L"SeCreateSymbolicLinkPrivilege", L"Create symbolic links"},
    {36, L"SeDelegateSessionUserImpersonatePrivilege",
     L"Obtain an impersonation token for another user in the same session"},
};

}  // namespace

std::span<const PrivilegeInfo> AllPrivileges() {
  return kPrivileges;
}

const PrivilegeInfo* FindPrivilege(std::wstring_view name) {
  for (const PrivilegeInfo& info : kPrivileges) {
    if (EqualsNoCaseAscii(info.name, name))
      return &info;
  }
  return nullptr;
}

const PrivilegeInfo* FindPrivilege(DWORD luid) {
  for (const PrivilegeInfo& info : kPrivileges) {
    if (info.luid == luid)
      return &info;
  }
  return nullptr;
}

}  // namespace tarvik
