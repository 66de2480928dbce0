// The privileges of the process token that the copy needs: the backup and
// restore privileges always, the security privilege for system ACLs. The run
// driver checks them before any worker starts and enables them; with
// /noprivchecks it skips the check and only warns when enabling fails.
#ifndef TARVIK_SERVER_PRIVILEGES_H_
#define TARVIK_SERVER_PRIVILEGES_H_

#include <array>
#include <span>
#include <string>
#include <string_view>

#include "settings/copy_settings.h"

namespace tarvik {

// In check-level order: level n means the first n.
inline constexpr std::array<const wchar_t*, 3> kRequiredPrivileges = {
    L"SeBackupPrivilege", L"SeRestorePrivilege", L"SeSecurityPrivilege"};

// 3 (the security privilege too) when /a, /dac, /backupSD or /restoreSD is
// given, else 2.
int RequiredPrivilegeLevel(const CopySettings& settings);

class ProcessPrivileges {
 public:
  // True when the process token holds (enabled or not) each of the first
  // count names; each one missing is reported. Also enables every group of
  // the token that is not deny-only. trace lists the token's groups and
  // privileges.
  bool CheckPrivileges(std::span<const wchar_t* const> names, int count, bool trace);
  // Enables (or disables) one privilege of the process token; false, logged,
  // when the token does not hold it.
  bool EnablePrivilege(std::wstring_view name, bool enable);
  // Enables the backup and restore privileges, and with with_security the
  // security privilege; stops at the first failure.
  bool EnableCopyPrivileges(bool with_security);

  // The local computer name, read once; "??" (logged) while it cannot be read.
  std::wstring LocalComputerName();

 private:
  std::wstring local_computer_name_;
};

}  // namespace tarvik

#endif  // TARVIK_SERVER_PRIVILEGES_H_
