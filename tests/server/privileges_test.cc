#include "server/privileges.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/two_domain_world.h"
#include "support/world_os.h"
#include "util/utf.h"

namespace tarvik {
namespace {

// Backup and restore held but disabled, no security privilege; Everyone
// enabled, BUILTIN\Users disabled, CORP\Sales Team deny-only.
constexpr const char* kBackupOperator = R"({
  "user": "CORP\\Administrator",
  "groups": ["Everyone",
             {"account": "BUILTIN\\Users", "enabled": false, "mandatory": false},
             {"account": "CORP\\Sales Team", "deny_only": true}],
  "privileges": ["SeBackupPrivilege", "SeRestorePrivilege",
                 {"name": "SeChangeNotifyPrivilege", "enabled": true}]})";

constexpr const char* kNoBackup = R"({
  "user": "CORP\\alice",
  "groups": ["Everyone"],
  "privileges": ["SeRestorePrivilege", "SeSecurityPrivilege"]})";

// The attributes of the token's groups, in token order.
std::vector<DWORD> GroupAttributes(Os& os) {
  HANDLE token;
  EXPECT_TRUE(os.OpenProcessToken(os.GetCurrentProcess(), TOKEN_QUERY, &token));
  DWORD needed = 0;
  os.GetTokenInformation(token, TokenGroups, nullptr, 0, &needed);
  std::vector<uint8_t> buffer(needed);
  EXPECT_TRUE(os.GetTokenInformation(token, TokenGroups, buffer.data(), needed, &needed));
  os.CloseHandle(token);
  const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
  std::vector<DWORD> attributes;
  for (DWORD i = 0; i < groups->GroupCount; ++i)
    attributes.push_back(groups->Groups[i].Attributes);
  return attributes;
}

bool Contains(const std::wstring& text, const std::wstring& part) {
  return text.find(part) != std::wstring::npos;
}

TEST(PrivilegesTest, LevelFollowsTheSystemAclSwitches) {
  CopySettings settings;
  EXPECT_EQ(RequiredPrivilegeLevel(settings), 2);
  for (int32_t CopySettings::*flag :
       {&CopySettings::copyAudit, &CopySettings::copyDac, &CopySettings::backupSD,
        &CopySettings::restoreSD, &CopySettings::homeDirMode}) {
    CopySettings with = settings;
    with.*flag = 1;
    EXPECT_EQ(RequiredPrivilegeLevel(with), 3);
  }
}

TEST(PrivilegesTest, MissingBackupPrivilegeIsReportedByItsDisplayName) {
  WorldOs world(TwoDomainWorld(kNoBackup));
  ProcessPrivileges privileges;
  EXPECT_FALSE(privileges.CheckPrivileges(kRequiredPrivileges, 2, false));
  std::wstring output = world.TakeOutput();
  EXPECT_TRUE(Contains(output,
                       L"WARNING : You do not have the \"Back up files and directories\" "
                       L"privilege on FS1 computer."))
      << ToUtf8(output);
  EXPECT_FALSE(Contains(output, L"Restore files"));
  // The closing advice comes once, after every missing privilege.
  size_t first = output.find(L"WARNING :  Please set the required privilege(s).");
  ASSERT_NE(first, std::wstring::npos) << ToUtf8(output);
  EXPECT_EQ(output.find(L"WARNING :  Please set", first + 1), std::wstring::npos);
  EXPECT_TRUE(Contains(output, L"WARNING :  You must logon again to get the new privilege(s)."));

  EXPECT_FALSE(privileges.EnableCopyPrivileges(false));
  output = world.TakeOutput();
  EXPECT_TRUE(Contains(output,
                       L"ERROR (1300) : AdjustTokenPrivileges \"SeBackupPrivilege\" "
                       L"failed on FS1 computer: "))
      << ToUtf8(output);
  EXPECT_FALSE(Contains(output, L"SeRestorePrivilege"));  // stopped at the first failure
}

TEST(PrivilegesTest, HeldPrivilegesPassDisabledAndAreEnabledAfterwards) {
  WorldOs world(TwoDomainWorld(kBackupOperator));
  const TokenState& token = world.posix().token();
  ProcessPrivileges privileges;
  EXPECT_TRUE(privileges.CheckPrivileges(kRequiredPrivileges, 2, false));
  EXPECT_EQ(world.TakeOutput(), L"");
  EXPECT_FALSE(token.IsPrivilegeEnabled(L"SeBackupPrivilege"));  // checking enables nothing

  EXPECT_TRUE(privileges.EnableCopyPrivileges(false));
  EXPECT_TRUE(token.IsPrivilegeEnabled(L"SeBackupPrivilege"));
  EXPECT_TRUE(token.IsPrivilegeEnabled(L"SeRestorePrivilege"));
  EXPECT_TRUE(privileges.EnablePrivilege(L"SeBackupPrivilege", false));
  EXPECT_FALSE(token.IsPrivilegeEnabled(L"SeBackupPrivilege"));
  EXPECT_EQ(world.TakeOutput(), L"");

  // The security privilege is not held: level 3 and enabling it fail.
  EXPECT_FALSE(privileges.CheckPrivileges(kRequiredPrivileges, 3, false));
  EXPECT_TRUE(Contains(world.TakeOutput(), L"\"Manage auditing and security log\""));
  EXPECT_FALSE(privileges.EnableCopyPrivileges(true));
  EXPECT_TRUE(Contains(world.TakeOutput(), L"AdjustTokenPrivileges \"SeSecurityPrivilege\""));

  EXPECT_FALSE(privileges.EnablePrivilege(L"SeNoSuchPrivilege", true));
  EXPECT_TRUE(Contains(world.TakeOutput(),
                       L"ERROR (1313) : LookupPrivilegeValue "
                       L"\"SeNoSuchPrivilege\" error on FS1 computer: "));
}

TEST(PrivilegesTest, CheckEnablesGroupsButNotDenyOnlyOnes) {
  WorldOs world(TwoDomainWorld(kBackupOperator));
  std::vector<DWORD> before = GroupAttributes(world.os());
  ASSERT_EQ(before.size(), 3u);
  EXPECT_EQ(before[1] & SE_GROUP_ENABLED, 0u);
  ProcessPrivileges privileges;
  ASSERT_TRUE(privileges.CheckPrivileges(kRequiredPrivileges, 2, false));
  std::vector<DWORD> after = GroupAttributes(world.os());
  EXPECT_NE(after[0] & SE_GROUP_ENABLED, 0u);
  EXPECT_NE(after[1] & SE_GROUP_ENABLED, 0u);  // enabled now
  EXPECT_EQ(after[2] & SE_GROUP_ENABLED, 0u);  // deny-only stays so
  EXPECT_NE(after[2] & SE_GROUP_USE_FOR_DENY_ONLY, 0u);
}

TEST(PrivilegesTest, DebugTraceListsGroupsThenPrivileges) {
  WorldOs world(TwoDomainWorld(kBackupOperator));
  ProcessPrivileges privileges;
  ASSERT_TRUE(privileges.CheckPrivileges(kRequiredPrivileges, 2, true));
  std::wstring sales_team = std::wstring(kCorpSid) + L"-1106";
  EXPECT_EQ(world.TakeOutput(),
            L"Groups sid : S-1-1-0, name : Everyone, state : Enable\n"
            L"Groups sid : S-1-5-32-545, name : BUILTIN\\Users, state : Disable\n"
            L"Groups sid : " +
                sales_team +
                L", name : CORP\\Sales Team, state : Disable\n"
                L"\n"
                L"Privilege \"SeBackupPrivilege\" on FS1 computer: \n"
                L"Privilege \"SeRestorePrivilege\" on FS1 computer: \n"
                L"Privilege \"SeChangeNotifyPrivilege\" on FS1 computer: \n"
                L"\n"
                L"privilege found \"SeBackupPrivilege\" on FS1 computer\n"
                L"privilege found \"SeRestorePrivilege\" on FS1 computer\n");
}

TEST(PrivilegesTest, TokenAndComputerNameFailures) {
  WorldOs world(TwoDomainWorld(kBackupOperator, "FS1", "CORP",
                               R"([{"call": "OpenProcessToken", "error": 5},
                                   {"call": "GetTokenInformation", "error": 87, "after": 1},
                                   {"call": "GetComputerNameW", "error": 5}])"));
  ProcessPrivileges privileges;
  EXPECT_FALSE(privileges.CheckPrivileges(kRequiredPrivileges, 2, false));
  EXPECT_TRUE(Contains(world.TakeOutput(), L"ERROR (5) : OpenProcessToken failure"));

  // The size query passes, the read fails.
  EXPECT_FALSE(privileges.CheckPrivileges(kRequiredPrivileges, 2, false));
  std::wstring output = world.TakeOutput();
  EXPECT_TRUE(Contains(output, L"ERROR (87) : GetTokenInformation failure")) << ToUtf8(output);
  EXPECT_TRUE(Contains(output, L"Please set the required privilege(s)."));

  // The computer name is read once it can be.
  EXPECT_EQ(privileges.LocalComputerName(), L"??");
  EXPECT_TRUE(Contains(world.TakeOutput(), L"ERROR (5) : Unable to get the local computer name"));
  EXPECT_EQ(privileges.LocalComputerName(), L"FS1");
}

}  // namespace
}  // namespace tarvik
