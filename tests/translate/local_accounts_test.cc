// The matching of the source server's local groups and users with the target
// server's by name (/lg, /lu), and its use by SID translation.
#include "translate/local_accounts.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/fault_os.h"
#include "support/world_os.h"
#include "translate/translate_world.h"
#include "translate/translator_init.h"

namespace tarvik {
namespace {

// FS1, a member of CORP, and FS2, a member of NEWCORP, with the local
// accounts given (JSON arrays, and whether FS1 has the standard ones).
std::string LocalWorld(const std::string& fs1_users, const std::string& fs1_groups,
                       const std::string& fs2_users, const std::string& fs2_groups,
                       bool fs1_standard = true) {
  return R"({
  "computer": "FS1", "domain": "CORP",
  "drives": {"C:": {"path": "fs1/c"}},
  "servers": [
    {"name": "FS1", "sid": "S-1-5-21-1004336348-1177238915-682003330", "role": "member",
     "domain": "CORP", "standard_accounts": )" +
         std::string(fs1_standard ? "true" : "false") + R"(,
     "local_users": )" +
         fs1_users + R"(, "local_groups": )" + fs1_groups + R"(},
    {"name": "FS2", "sid": "S-1-5-21-2-2-2", "role": "member", "domain": "NEWCORP",
     "shares": [{"name": "plain", "path": "fs2/plain"}],
     "local_users": )" +
         fs2_users + R"(, "local_groups": )" + fs2_groups + R"(},
    {"name": "DC1", "role": "domain_controller", "domain": "CORP"},
    {"name": "DC2", "role": "domain_controller", "domain": "NEWCORP"}
  ],
  "domains": [
    {"name": "CORP", "sid": "S-1-5-21-3623811015-3361044348-30300820", "controller": "DC1",
     "trusts": [{"domain": "NEWCORP"}]},
    {"name": "NEWCORP", "sid": "S-1-5-21-2340681723-1396251106-1876254395", "controller": "DC2"}
  ]
})";
}

constexpr const char* kSourceGroups =
    R"([{"name": "Sales", "rid": 1003}, {"name": "Editors", "rid": 1004}])";
// Sales was duplicated under the prefixed name; a plain Sales exists as well.
constexpr const char* kTargetGroups =
    R"([{"name": "FS1_Sales", "rid": 1012}, {"name": "Sales", "rid": 1013},
        {"name": "Editors", "rid": 1014}])";

// Lists the local user Reports of FS2 among its groups as well.
class UserAsGroupOs : public FaultOs {
 public:
  explicit UserAsGroupOs(std::unique_ptr<Os> inner) : FaultOs(std::move(inner), {}) {}

  NET_API_STATUS NetLocalGroupEnum(const wchar_t* server_name, DWORD level,
                                   std::vector<LOCALGROUP_INFO_1>* buffer, DWORD prefmaxlen,
                                   DWORD* entries_read, DWORD* total_entries,
                                   DWORD_PTR* resume_handle) override {
    NET_API_STATUS status = FaultOs::NetLocalGroupEnum(server_name, level, buffer, prefmaxlen,
                                                       entries_read, total_entries, resume_handle);
    if (status == NERR_Success && std::wstring(server_name) == L"\\\\FS2") {
      buffer->push_back({L"Reports", L""});
      ++*entries_read;
    }
    return status;
  }
};

bool Holds(const std::wstring& text, const std::wstring& part) {
  return text.find(part) != std::wstring::npos;
}

class LocalAccountsTest : public ::testing::Test {
 protected:
  LocalAccountsTest() { ResetSdTranslator(); }
  ~LocalAccountsTest() override { ResetSdTranslator(); }

  void Start(const std::string& json, const WorldOs::Decorator& decorate = nullptr) {
    world_ = std::make_unique<WorldOs>(json, decorate);
    Settings().debugSecurity = 1;
  }

  // What the initialisation knows when the matching starts.
  static SdTranslator Between(bool groups, bool users) {
    SdTranslator t;
    t.sourceServer.name = L"\\\\FS1";
    t.targetServer.name = L"\\\\FS2";
    t.sourceMachineSid = DomainSidOf(kFs1);
    t.targetMachineSid = DomainSidOf(kFs2);
    t.translateLocalGroups = groups;
    t.translateLocalUsers = users;
    return t;
  }

  std::unique_ptr<WorldOs> world_;
  RidTranslator rids_;
};

TEST_F(LocalAccountsTest, GroupsAndUsersAreMatchedByName) {
  Start(LocalWorld(R"([{"name": "svc_backup", "rid": 1001}])", kSourceGroups,
                   R"([{"name": "svc_backup", "rid": 1010}])", kTargetGroups));
  ASSERT_TRUE(BuildLocalAccountTables(Between(true, true), &rids_));
  EXPECT_EQ(rids_.Lookup(1003), 1012u);  // FS1_Sales, not Sales
  EXPECT_EQ(rids_.Lookup(1004), 1014u);  // no FS1_Editors: Editors
  EXPECT_EQ(rids_.Lookup(1001), 1010u);
  EXPECT_EQ(rids_.Lookup(500), 500u);          // Administrator
  EXPECT_EQ(rids_.Lookup(501), 501u);          // Guest
  EXPECT_EQ(rids_.Lookup(544), std::nullopt);  // BUILTIN\Administrators is skipped
  EXPECT_EQ(rids_.count(), 5u);
  std::wstring output = world_->TakeOutput();
  for (const wchar_t* line :
       {L"Getting local group(s) from \\\\FS1...", L"The server \\\\FS1 has 6 local group(s).",
        L"Getting local group(s) from \\\\FS2...", L"The server \\\\FS1 has 3 local user(s).",
        L"local user list for server \\\\FS2 :",
        L"Local RID translation table includes 5 entries:"}) {
    EXPECT_TRUE(Holds(output, line)) << line << "\n" << output;
  }
  EXPECT_FALSE(Holds(output, L"WARNING")) << output;

  // The initialisation fills the process-wide table, and SID translation
  // carries the source's local SIDs through it.
  Settings().translateLocalGroups = 1;
  Settings().translateLocalUsers = 1;
  Server source, target;
  ASSERT_TRUE(source.GetFromPath(L"C:\\src", true));
  ASSERT_TRUE(target.GetFromPath(L"\\\\FS2\\plain", true));
  ASSERT_TRUE(InitSecurityTranslation(source, target, SecurityMode::Copy, false));
  SecurityWorkspace workspace;
  SId result;
  ASSERT_TRUE(TranslateSid(&workspace, SidOf(Rid(kFs1, 1003)), &result, true));
  EXPECT_EQ(result.ToString(), Rid(kFs2, 1012));
  EXPECT_TRUE(Holds(world_->TakeOutput(), L"Migrated SID (S1)    : " + Rid(kFs2, 1012)));
}

TEST_F(LocalAccountsTest, EveryAccountWithoutItsCounterpartFailsTheRun) {
  Start(LocalWorld(R"([{"name": "svc_backup", "rid": 1001}])",
                   R"([{"name": "Sales", "rid": 1003}, {"name": "Auditors", "rid": 1005},
                       {"name": "Reports", "rid": 1006}])",
                   R"([{"name": "Reports", "rid": 1015}])", kTargetGroups),
        [](std::unique_ptr<Os> inner) -> std::unique_ptr<Os> {
          return std::make_unique<UserAsGroupOs>(std::move(inner));
        });
  EXPECT_FALSE(BuildLocalAccountTables(Between(true, true), &rids_));
  std::wstring output = world_->TakeOutput();
  for (const wchar_t* line : {
           L"The local groups \"Auditors\" and \"FS1_Auditors\" do not exist on the \\\\FS2 "
           L"server !",
           L"The local group \"Reports\" in not a local group on the \\\\FS2 server !",
           L"The local user \"svc_backup\" and \"FS1_svc_backup\" do not exist on the \\\\FS2 "
           L"server !",
           L"Please use acctclone utility to duplicate the missing local user(s) or group(s) from "
           L"\\\\FS1 to \\\\FS2.",
       }) {
    EXPECT_TRUE(Holds(output, line)) << line << "\n" << output;
  }
  // Matching went on after each failure; the table is not dumped.
  EXPECT_EQ(rids_.Lookup(1003), 1012u);
  EXPECT_FALSE(Holds(output, L"Local RID translation table")) << output;

  // A source machine SID that is not the domain of the source's accounts
  // stops at the first account, without the advice.
  rids_.Clear();
  SdTranslator wrong = Between(true, true);
  wrong.sourceMachineSid = DomainSidOf(L"S-1-5-21-1-1-1");
  EXPECT_FALSE(BuildLocalAccountTables(wrong, &rids_));
  output = world_->TakeOutput();
  for (const std::wstring& line :
       {std::wstring(L"The SID of the local group \"Sales\" of the server \\\\FS1 does not have "
                     L"the domain SID prefix of the server"),
        L"Server SID: " + Rid(L"S-1-5-21-1-1-1", kMachineSidPlaceholderRid),
        L"Sales SID: " + Rid(kFs1, 1003)}) {
    EXPECT_TRUE(Holds(output, line)) << line << "\n" << output;
  }
  EXPECT_FALSE(Holds(output, L"Auditors")) << output;
  EXPECT_FALSE(Holds(output, L"acctclone")) << output;
  EXPECT_EQ(rids_.count(), 0u);
}

TEST_F(LocalAccountsTest, GroupsAreMatchedWhenTheSourceHasNoUsers) {
  Start(LocalWorld("[]", kSourceGroups, "[]", kTargetGroups, false));
  ASSERT_TRUE(BuildLocalAccountTables(Between(true, true), &rids_));
  EXPECT_EQ(rids_.Lookup(1003), 1012u);
  EXPECT_EQ(rids_.count(), 2u);
  std::wstring output = world_->TakeOutput();
  EXPECT_TRUE(Holds(output, L"The server \\\\FS1 has 0 local user(s).")) << output;
  EXPECT_FALSE(Holds(output, L"local user list for server \\\\FS2")) << output;
}

}  // namespace
}  // namespace tarvik
