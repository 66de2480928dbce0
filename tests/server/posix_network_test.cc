// The network, account and token calls of the platform layer, as the world
// answers them.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "common/sd/sid_bytes.h"
#include "common/sd/sid_value.h"
#include "common/two_domain_world.h"
#include "platform/fault_os.h"
#include "support/world_os.h"
#include "util/utf.h"

namespace tarvik {
namespace {

constexpr const char* kToken = R"({
  "user": "CORP\\alice",
  "groups": ["Everyone", {"account": "CORP\\Sales Team", "deny_only": true}],
  "privileges": ["SeBackupPrivilege", {"name": "SeChangeNotifyPrivilege", "enabled": true}]})";

class PosixNetworkTest : public ::testing::Test {
 protected:
  PosixNetworkTest() : world_(TwoDomainWorld(kToken)), os_(world_.os()) {}

  HANDLE Token(DWORD access) {
    HANDLE token = nullptr;
    EXPECT_TRUE(os_.OpenProcessToken(os_.GetCurrentProcess(), access, &token));
    return token;
  }

  std::vector<uint8_t> Query(HANDLE token, TOKEN_INFORMATION_CLASS information_class) {
    DWORD needed = 0;
    EXPECT_FALSE(os_.GetTokenInformation(token, information_class, nullptr, 0, &needed));
    EXPECT_EQ(Os::GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    std::vector<uint8_t> buffer(needed);
    EXPECT_TRUE(os_.GetTokenInformation(token, information_class, buffer.data(), needed, &needed));
    return buffer;
  }

  // "type DOMAIN\name" of a SID looked up on system, or the error.
  std::wstring LookupSid(const wchar_t* system, const std::wstring& sid_text) {
    std::vector<uint8_t> sid = ParseSid(sid_text)->ToBytes();
    wchar_t name[64], domain[64];
    DWORD name_size = 64, domain_size = 64;
    SID_NAME_USE use;
    if (!os_.LookupAccountSidW(system, sid.data(), name, &name_size, domain, &domain_size, &use))
      return L"error " + std::to_wstring(Os::GetLastError());
    return std::to_wstring(use) + L" " + domain + L"\\" + name;
  }

  // "type SID DOMAIN" of a name looked up on system, or the error.
  std::wstring LookupName(const wchar_t* system, const wchar_t* account) {
    uint8_t sid[kSidMaxSize];
    DWORD sid_size = sizeof(sid);
    wchar_t domain[64];
    DWORD domain_size = 64;
    SID_NAME_USE use;
    if (!os_.LookupAccountNameW(system, account, sid, &sid_size, domain, &domain_size, &use))
      return L"error " + std::to_wstring(Os::GetLastError());
    return std::to_wstring(use) + L" " + SidToString(SidBytes(sid, sid_size)) + L" " + domain;
  }

  WorldOs world_;
  Os& os_;
};

TEST_F(PosixNetworkTest, TokenInformationLayouts) {
  HANDLE token = Token(TOKEN_QUERY);
  std::vector<uint8_t> user = Query(token, TokenUser);
  EXPECT_EQ(SidToString(SidBytes(static_cast<const uint8_t*>(
                                     reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid),
                                 kSidHeaderSize + 20)),
            std::wstring(kCorpSid) + L"-1104");

  std::vector<uint8_t> groups_buffer = Query(token, TokenGroups);
  const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(groups_buffer.data());
  ASSERT_EQ(groups->GroupCount, 2u);
  const auto* everyone = static_cast<const uint8_t*>(groups->Groups[0].Sid);
  EXPECT_GE(everyone, groups_buffer.data());  // the SIDs live in the same buffer
  EXPECT_LT(everyone, groups_buffer.data() + groups_buffer.size());
  EXPECT_EQ(SidToString(SidBytes(everyone, 12)), L"S-1-1-0");
  EXPECT_EQ(groups->Groups[0].Attributes,
            SE_GROUP_MANDATORY | SE_GROUP_ENABLED | SE_GROUP_ENABLED_BY_DEFAULT);
  EXPECT_EQ(groups->Groups[1].Attributes, SE_GROUP_MANDATORY | SE_GROUP_USE_FOR_DENY_ONLY);

  std::vector<uint8_t> privileges_buffer = Query(token, TokenPrivileges);
  const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(privileges_buffer.data());
  ASSERT_EQ(privileges->PrivilegeCount, 2u);
  EXPECT_EQ(privileges->Privileges[0].Luid.LowPart, 17u);  // SeBackupPrivilege
  EXPECT_EQ(privileges->Privileges[0].Attributes, 0u);
  EXPECT_EQ(privileges->Privileges[1].Attributes,
            SE_PRIVILEGE_ENABLED | SE_PRIVILEGE_ENABLED_BY_DEFAULT);

  // A buffer one byte short is refused with the size needed.
  DWORD needed = 0;
  std::vector<uint8_t> small(privileges_buffer.size() - 1);
  EXPECT_FALSE(os_.GetTokenInformation(token, TokenPrivileges, small.data(),
                                       static_cast<DWORD>(small.size()), &needed));
  EXPECT_EQ(Os::GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(needed, privileges_buffer.size());
  EXPECT_TRUE(os_.CloseHandle(token));
  EXPECT_FALSE(os_.GetTokenInformation(token, TokenUser, nullptr, 0, &needed));
  EXPECT_EQ(Os::GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(PosixNetworkTest, AdjustTokenPrivilegesAssignsWhatIsHeld) {
  HANDLE query_only = Token(TOKEN_QUERY);
  TOKEN_PRIVILEGES one{1, {{{17, 0}, SE_PRIVILEGE_ENABLED}}};
  EXPECT_FALSE(os_.AdjustTokenPrivileges(query_only, FALSE, &one, sizeof(one), nullptr, nullptr));
  EXPECT_EQ(Os::GetLastError(), ERROR_ACCESS_DENIED);
  os_.CloseHandle(query_only);

  HANDLE token = Token(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY);
  // Backup (held) and security (not held) in one call: the held one changes,
  // the call succeeds and says that not all were assigned.
  std::vector<uint8_t> buffer(sizeof(DWORD) + 2 * sizeof(LUID_AND_ATTRIBUTES));
  auto* two = reinterpret_cast<TOKEN_PRIVILEGES*>(buffer.data());
  two->PrivilegeCount = 2;
  two->Privileges[0] = {{17, 0}, SE_PRIVILEGE_ENABLED};
  two->Privileges[1] = {{8, 0}, SE_PRIVILEGE_ENABLED};
  TOKEN_PRIVILEGES previous[2];
  DWORD previous_size = 0;
  EXPECT_TRUE(
      os_.AdjustTokenPrivileges(token, FALSE, two, sizeof(previous), previous, &previous_size));
  EXPECT_EQ(Os::GetLastError(), ERROR_NOT_ALL_ASSIGNED);
  EXPECT_TRUE(world_.posix().token().IsPrivilegeEnabled(L"SeBackupPrivilege"));
  EXPECT_FALSE(world_.posix().token().IsPrivilegeEnabled(L"SeSecurityPrivilege"));
  ASSERT_EQ(previous[0].PrivilegeCount, 1u);  // only what changed
  EXPECT_EQ(previous[0].Privileges[0].Luid.LowPart, 17u);
  EXPECT_EQ(previous[0].Privileges[0].Attributes, 0u);

  // Success resets the last error; disabling all disables every privilege.
  Os::SetLastError(ERROR_ACCESS_DENIED);
  EXPECT_TRUE(os_.AdjustTokenPrivileges(token, FALSE, &one, sizeof(one), nullptr, nullptr));
  EXPECT_EQ(Os::GetLastError(), ERROR_SUCCESS);
  EXPECT_TRUE(os_.AdjustTokenPrivileges(token, TRUE, nullptr, 0, nullptr, nullptr));
  EXPECT_FALSE(world_.posix().token().IsPrivilegeEnabled(L"SeBackupPrivilege"));
  EXPECT_FALSE(world_.posix().token().IsPrivilegeEnabled(L"SeChangeNotifyPrivilege"));
  // A removed privilege is gone for good.
  TOKEN_PRIVILEGES remove{1, {{{17, 0}, SE_PRIVILEGE_REMOVED}}};
  EXPECT_TRUE(os_.AdjustTokenPrivileges(token, FALSE, &remove, sizeof(remove), nullptr, nullptr));
  EXPECT_TRUE(os_.AdjustTokenPrivileges(token, FALSE, &one, sizeof(one), nullptr, nullptr));
  EXPECT_EQ(Os::GetLastError(), ERROR_NOT_ALL_ASSIGNED);
  os_.CloseHandle(token);
}

TEST_F(PosixNetworkTest, AdjustTokenGroupsRefusesToEnableADenyOnlyGroup) {
  HANDLE token = Token(TOKEN_QUERY | TOKEN_ADJUST_GROUPS);
  std::vector<uint8_t> buffer = Query(token, TokenGroups);
  auto* groups = reinterpret_cast<TOKEN_GROUPS*>(buffer.data());
  groups->Groups[1].Attributes |= SE_GROUP_ENABLED;
  EXPECT_FALSE(os_.AdjustTokenGroups(token, FALSE, groups, static_cast<DWORD>(buffer.size()),
                                     nullptr, nullptr));
  EXPECT_EQ(Os::GetLastError(), ERROR_CANT_ENABLE_DENY_ONLY);
  groups->Groups[0].Attributes &= ~SE_GROUP_ENABLED;  // Everyone is mandatory
  groups->Groups[1].Attributes &= ~SE_GROUP_ENABLED;
  EXPECT_FALSE(os_.AdjustTokenGroups(token, FALSE, groups, static_cast<DWORD>(buffer.size()),
                                     nullptr, nullptr));
  EXPECT_EQ(Os::GetLastError(), ERROR_CANT_DISABLE_MANDATORY);
  os_.CloseHandle(token);
}

TEST_F(PosixNetworkTest, PrivilegeNames) {
  LUID luid;
  ASSERT_TRUE(os_.LookupPrivilegeValueW(L".", L"sebackupprivilege", &luid));
  EXPECT_EQ(luid.LowPart, 17u);
  EXPECT_FALSE(os_.LookupPrivilegeValueW(nullptr, L"SeNothing", &luid));
  EXPECT_EQ(Os::GetLastError(), ERROR_NO_SUCH_PRIVILEGE);
  EXPECT_FALSE(os_.LookupPrivilegeValueW(L"\\\\GONE", L"SeBackupPrivilege", &luid));
  EXPECT_EQ(Os::GetLastError(), ERROR_BAD_NETPATH);

  wchar_t name[32];
  DWORD length = 5;
  EXPECT_FALSE(os_.LookupPrivilegeNameW(L".", &luid, name, &length));
  EXPECT_EQ(Os::GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(length, 18u);  // with the NUL
  ASSERT_TRUE(os_.LookupPrivilegeNameW(L".", &luid, name, &length));
  EXPECT_EQ(std::wstring(name), L"SeBackupPrivilege");
  EXPECT_EQ(length, 17u);

  DWORD display_length = 0, language = 0;
  EXPECT_FALSE(os_.LookupPrivilegeDisplayNameW(L".", L"SeSecurityPrivilege", nullptr,
                                               &display_length, &language));
  std::vector<wchar_t> display(display_length);
  ASSERT_TRUE(os_.LookupPrivilegeDisplayNameW(L".", L"SeSecurityPrivilege", display.data(),
                                              &display_length, &language));
  EXPECT_EQ(std::wstring(display.data()), L"Manage auditing and security log");
}

TEST_F(PosixNetworkTest, AccountLookupsAsEachServerSeesThem) {
  EXPECT_EQ(LookupName(nullptr, L"FS1"), L"3 " + std::wstring(kFs1Sid) + L" FS1");
  EXPECT_EQ(LookupName(nullptr, L"CORP"), L"3 " + std::wstring(kCorpSid) + L" CORP");
  EXPECT_EQ(LookupName(nullptr, L"corp.example.com\\alice"),
            L"1 " + std::wstring(kCorpSid) + L"-1104 CORP");
  EXPECT_EQ(LookupName(nullptr, L"BUILTIN\\Backup Operators"), L"4 S-1-5-32-551 BUILTIN");
  EXPECT_EQ(LookupName(nullptr, L"NT AUTHORITY\\SYSTEM"), L"5 S-1-5-18 NT AUTHORITY");
  EXPECT_EQ(LookupName(nullptr, L"Unix User\\root"), L"1 S-1-22-1-0 Unix User");
  EXPECT_EQ(LookupName(L"\\\\DC2", L"Sales"), L"error 1332");        // FS1's alias, not DC2's
  EXPECT_EQ(LookupName(nullptr, L"ISLAND\\hermit"), L"error 1332");  // not trusted
  EXPECT_EQ(LookupName(nullptr, L"CORP\\nobody"), L"error 1332");
  EXPECT_EQ(LookupName(L"GONE", L"CORP\\alice"), L"error 53");

  EXPECT_EQ(LookupSid(L"\\\\DC2", std::wstring(kCorpSid) + L"-1104"), L"1 CORP\\alice");
  EXPECT_EQ(LookupSid(L"dc2.newcorp.example.net", L"S-1-5-21-5-5-5-1000"), L"error 1332");
  EXPECT_EQ(LookupSid(L"\\\\WS9", std::wstring(kCorpSid) + L"-1104"), L"error 1332");
  EXPECT_EQ(LookupSid(L"\\\\WS9", L"S-1-5-21-9-9-9-1000"), L"1 WS9\\admin");
  EXPECT_EQ(LookupSid(nullptr, std::wstring(kCorpSid)), L"3 CORP\\CORP");

  // Buffers too small give the sizes needed, NUL included.
  std::vector<uint8_t> sid = ParseSid(std::wstring(kCorpSid) + L"-1104")->ToBytes();
  wchar_t name[3], domain[64];
  DWORD name_size = 3, domain_size = 64;
  SID_NAME_USE use;
  EXPECT_FALSE(
      os_.LookupAccountSidW(nullptr, sid.data(), name, &name_size, domain, &domain_size, &use));
  EXPECT_EQ(Os::GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(name_size, 6u);
  EXPECT_EQ(domain_size, 5u);
  uint8_t small_sid[8];
  DWORD sid_size = sizeof(small_sid);
  EXPECT_FALSE(os_.LookupAccountNameW(nullptr, L"CORP\\alice", small_sid, &sid_size, domain,
                                      &domain_size, &use));
  EXPECT_EQ(sid_size, 28u);
}

TEST_F(PosixNetworkTest, ConnectionsAndDevices) {
  wchar_t text[64];
  DWORD length = 64;
  EXPECT_EQ(os_.WNetGetConnectionW(L"M:", text, &length), ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(text), L"\\\\DC2\\public");
  length = 4;
  EXPECT_EQ(os_.WNetGetConnectionW(L"m:", text, &length), ERROR_MORE_DATA);
  EXPECT_EQ(length, 13u);
  length = 64;
  EXPECT_EQ(os_.WNetGetConnectionW(L"N:", text, &length), ERROR_CONNECTION_UNAVAIL);
  EXPECT_EQ(os_.WNetGetConnectionW(L"C:", text, &length), ERROR_NOT_CONNECTED);
  EXPECT_EQ(os_.WNetGetConnectionW(L"C:\\x", text, &length), ERROR_BAD_DEVICE);

  EXPECT_EQ(os_.QueryDosDeviceW(L"N:", text, 64), 58u);  // two NULs end it
  EXPECT_EQ(std::wstring(text), L"\\Device\\LanmanRedirector\\;N:0000000000001234\\DC2\\archive");
  EXPECT_EQ(os_.QueryDosDeviceW(L"U:", text, 64), 0u);
  EXPECT_EQ(Os::GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(os_.QueryDosDeviceW(L"N:", text, 10), 0u);
  EXPECT_EQ(Os::GetLastError(), ERROR_INSUFFICIENT_BUFFER);

  length = 64;
  EXPECT_EQ(os_.WNetGetUserW(nullptr, text, &length), ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(text), L"CORP\\alice");
  EXPECT_EQ(os_.WNetGetUserW(L"M:", text, &length), ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(text), L"NEWCORP\\migrator");
  EXPECT_EQ(os_.WNetGetUserW(L"\\\\dc2\\PUBLIC\\dir", text, &length), ERROR_SUCCESS);
  EXPECT_EQ(os_.WNetGetUserW(L"\\\\FS2\\projects", text, &length), ERROR_NOT_CONNECTED);

  EXPECT_EQ(os_.WNetAddConnectionW(L"\\\\FS2\\projects", nullptr, L"P:"), ERROR_NOT_SUPPORTED);
  EXPECT_EQ(os_.WNetAddConnectionW(L"\\\\FS2\\projects\\sub", nullptr, nullptr),
            ERROR_BAD_NET_NAME);
  EXPECT_EQ(os_.WNetAddConnectionW(L"\\\\FS2\\nothing", nullptr, nullptr), ERROR_BAD_NET_NAME);
  EXPECT_EQ(os_.WNetAddConnectionW(L"\\\\GONE\\old", nullptr, nullptr), ERROR_BAD_NETPATH);
  EXPECT_EQ(os_.WNetAddConnectionW(L"\\\\FS2\\projects", nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(os_.WNetAddConnectionW(L"\\\\fs2\\PROJECTS", nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(os_.WNetGetUserW(L"\\\\FS2\\projects\\a", text, &length), ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(text), L"CORP\\alice");
  // Each connection made is cancelled once.
  EXPECT_EQ(os_.WNetCancelConnectionW(L"\\\\FS2\\projects", FALSE), ERROR_SUCCESS);
  EXPECT_EQ(os_.WNetGetUserW(L"\\\\FS2\\projects", text, &length), ERROR_SUCCESS);
  EXPECT_EQ(os_.WNetCancelConnectionW(L"\\\\FS2\\projects", FALSE), ERROR_SUCCESS);
  EXPECT_EQ(os_.WNetCancelConnectionW(L"\\\\FS2\\projects", FALSE), ERROR_NOT_CONNECTED);
  EXPECT_EQ(os_.WNetGetUserW(L"\\\\FS2\\projects", text, &length), ERROR_NOT_CONNECTED);
  EXPECT_EQ(os_.WNetAddConnectionW(L"\\\\FS1\\C$", nullptr, nullptr), ERROR_SUCCESS);
}

TEST_F(PosixNetworkTest, ServersDomainsAndUsers) {
  SERVER_INFO_101 server;
  EXPECT_EQ(os_.NetServerGetInfo(L"\\\\DC1", 100, &server), ERROR_INVALID_LEVEL);
  ASSERT_EQ(os_.NetServerGetInfo(L"dc1.corp.example.com", 101, &server), NERR_Success);
  EXPECT_EQ(server.sv101_name, L"DC1");
  EXPECT_EQ(server.sv101_type, 0x102Bu);
  EXPECT_EQ(server.sv101_platform_id, PLATFORM_ID_NT);
  EXPECT_EQ(os_.NetServerGetInfo(L"\\\\NOWHERE", 101, &server), ERROR_BAD_NETPATH);

  SHARE_INFO_1005 share;
  EXPECT_EQ(os_.NetShareGetInfo(L"\\\\FS2", L"projects", 1005, &share), NERR_Success);
  EXPECT_EQ(share.shi1005_flags, SHI1005_FLAGS_DFS);
  EXPECT_EQ(os_.NetShareGetInfo(nullptr, L"C$", 1005, &share), NERR_Success);
  EXPECT_EQ(os_.NetShareGetInfo(L"\\\\FS2", L"C$", 1005, &share), NERR_NetNameNotFound);

  DOMAIN_CONTROLLER_INFOW controller;
  ASSERT_EQ(
      os_.DsGetDcNameW(nullptr, nullptr, nullptr, nullptr, DS_GC_SERVER_REQUIRED, &controller),
      ERROR_SUCCESS);
  EXPECT_EQ(controller.DomainControllerName, L"\\\\dc1.corp.example.com");
  EXPECT_EQ(controller.DomainName, L"corp.example.com");
  ASSERT_EQ(
      os_.DsGetDcNameW(nullptr, L"NEWCORP", nullptr, nullptr, DS_RETURN_FLAT_NAME, &controller),
      ERROR_SUCCESS);
  EXPECT_EQ(controller.DomainControllerName, L"\\\\DC2");
  EXPECT_EQ(controller.DomainName, L"NEWCORP");
  EXPECT_EQ(os_.DsGetDcNameW(L"WS9", nullptr, nullptr, nullptr, 0, &controller),
            ERROR_NO_SUCH_DOMAIN);
  EXPECT_EQ(os_.DsGetDcNameW(nullptr, L"ISLAND", nullptr, nullptr, 0, &controller),
            ERROR_NO_SUCH_DOMAIN);  // no controller

  std::wstring name;
  NETSETUP_JOIN_STATUS status;
  ASSERT_EQ(os_.NetGetJoinInformation(L"\\\\WS9", &name, &status), NERR_Success);
  EXPECT_EQ(status, NetSetupWorkgroupName);
  EXPECT_EQ(name, L"WORKGROUP");
  ASSERT_EQ(os_.NetGetJoinInformation(nullptr, &name, &status), NERR_Success);
  EXPECT_EQ(status, NetSetupDomainName);
  EXPECT_EQ(name, L"CORP");

  USER_MODALS_INFO_2 modals;
  ASSERT_EQ(os_.NetUserModalsGet(L"\\\\DC2", 2, &modals), NERR_Success);
  EXPECT_EQ(modals.usrmod2_domain_name, L"NEWCORP");
  EXPECT_EQ(SidToString(modals.usrmod2_domain_id), kNewCorpSid);
  ASSERT_EQ(os_.NetUserModalsGet(nullptr, 2, &modals), NERR_Success);
  EXPECT_EQ(modals.usrmod2_domain_name, L"FS1");

  std::wstring dc;
  ASSERT_EQ(os_.NetGetAnyDCName(nullptr, L"NEWCORP", &dc), NERR_Success);
  EXPECT_EQ(dc, L"\\\\DC2");
  ASSERT_EQ(os_.NetGetAnyDCName(L"\\\\FS2", nullptr, &dc), NERR_Success);
  EXPECT_EQ(dc, L"\\\\DC1");
  EXPECT_EQ(os_.NetGetAnyDCName(nullptr, L"ISLAND", &dc), ERROR_NO_SUCH_DOMAIN);
  EXPECT_EQ(os_.NetGetAnyDCName(L"\\\\WS9", nullptr, &dc), NERR_DCNotFound);

  USER_INFO_3 user;
  ASSERT_EQ(os_.NetUserGetInfo(L"\\\\DC1", L"administrator", 3, &user), NERR_Success);
  EXPECT_EQ(user.usri3_name, L"Administrator");
  EXPECT_EQ(user.usri3_priv, USER_PRIV_ADMIN);
  EXPECT_EQ(user.usri3_primary_group_id, 513u);
  EXPECT_EQ(user.usri3_user_id, 500u);
  ASSERT_EQ(os_.NetUserGetInfo(nullptr, L"svc_backup", 3, &user), NERR_Success);
  EXPECT_EQ(user.usri3_user_id, 1001u);
  EXPECT_EQ(os_.NetUserGetInfo(nullptr, L"alice", 3, &user), NERR_UserNotFound);
  EXPECT_EQ(os_.NetUserGetInfo(L"\\\\DC1", L"Sales Team", 3, &user), NERR_UserNotFound);
}

TEST_F(PosixNetworkTest, LocalGroupsAndUsersAreEnumerated) {
  std::vector<LOCALGROUP_INFO_1> groups;
  DWORD read = 0, total = 0;
  DWORD_PTR resume = 0;
  EXPECT_EQ(
      os_.NetLocalGroupEnum(nullptr, 2, &groups, MAX_PREFERRED_LENGTH, &read, &total, &resume),
      ERROR_INVALID_LEVEL);
  ASSERT_EQ(
      os_.NetLocalGroupEnum(nullptr, 1, &groups, MAX_PREFERRED_LENGTH, &read, &total, &resume),
      NERR_Success);
  ASSERT_EQ(read, 5u);
  EXPECT_EQ(total, 5u);
  // Builtin groups first, then the server's own.
  EXPECT_EQ(groups[0].lgrpi1_name, L"Administrators");
  EXPECT_NE(groups[0].lgrpi1_comment, L"");
  EXPECT_EQ(groups[4].lgrpi1_name, L"Sales");
  // A small buffer: a few entries a call, continued through the handle.
  std::vector<std::wstring> names;
  NET_API_STATUS status;
  do {
    status = os_.NetLocalGroupEnum(L"\\\\FS1", 0, &groups, 40, &read, &total, &resume);
    ASSERT_TRUE(status == NERR_Success || status == ERROR_MORE_DATA) << status;
    ASSERT_EQ(read, groups.size());
    ASSERT_GE(read, 1u);
    EXPECT_EQ(total, 5u - names.size());
    for (const LOCALGROUP_INFO_1& group : groups) {
      names.push_back(group.lgrpi1_name);
      EXPECT_EQ(group.lgrpi1_comment, L"");
    }
  } while (status == ERROR_MORE_DATA);
  EXPECT_EQ(names, (std::vector<std::wstring>{L"Administrators", L"Users", L"Guests",
                                              L"Backup Operators", L"Sales"}));
  EXPECT_EQ(
      os_.NetLocalGroupEnum(L"\\\\GONE", 0, &groups, MAX_PREFERRED_LENGTH, &read, &total, &resume),
      ERROR_BAD_NETPATH);

  // A controller lists its domain's users and computers; a filter keeps the
  // normal accounts.
  std::vector<USER_INFO_2> users;
  DWORD user_resume = 0;
  ASSERT_EQ(
      os_.NetUserEnum(L"\\\\DC1", 2, 0, &users, MAX_PREFERRED_LENGTH, &read, &total, &user_resume),
      NERR_Success);
  auto has = [&](const wchar_t* name) {
    return std::any_of(users.begin(), users.end(),
                       [&](const USER_INFO_2& user) { return user.usri2_name == name; });
  };
  EXPECT_TRUE(has(L"alice") && has(L"FS1$") && has(L"krbtgt"));
  EXPECT_FALSE(has(L"Sales Team"));
  ASSERT_EQ(os_.NetUserEnum(L"\\\\DC1", 2, FILTER_NORMAL_ACCOUNT, &users, MAX_PREFERRED_LENGTH,
                            &read, &total, &user_resume),
            NERR_Success);
  EXPECT_TRUE(has(L"alice") && !has(L"FS1$"));
  ASSERT_EQ(os_.NetUserEnum(nullptr, 2, 0, &users, 200, &read, &total, &user_resume),
            ERROR_MORE_DATA);
  ASSERT_EQ(read, 1u);
  EXPECT_EQ(total, 3u);
  EXPECT_EQ(users[0].usri2_name, L"svc_backup");
  EXPECT_EQ(users[0].usri2_flags & UF_NORMAL_ACCOUNT, UF_NORMAL_ACCOUNT);
  EXPECT_EQ(user_resume, 1u);
  EXPECT_EQ(
      os_.NetUserEnum(nullptr, 3, 0, &users, MAX_PREFERRED_LENGTH, &read, &total, &user_resume),
      ERROR_INVALID_LEVEL);

  // The display information goes on from the next index of the last entry.
  std::vector<NET_DISPLAY_USER> display;
  ASSERT_EQ(os_.NetQueryDisplayInformation(nullptr, 1, 0, 2, MAX_PREFERRED_LENGTH, &read, &display),
            ERROR_MORE_DATA);
  ASSERT_EQ(read, 2u);
  EXPECT_EQ(display[0].usri1_user_id, 1001u);
  ASSERT_EQ(os_.NetQueryDisplayInformation(nullptr, 1, display[1].usri1_next_index, 2,
                                           MAX_PREFERRED_LENGTH, &read, &display),
            NERR_Success);
  ASSERT_EQ(read, 1u);
  EXPECT_EQ(display[0].usri1_name, L"Guest");
  EXPECT_EQ(display[0].usri1_user_id, 501u);
}

TEST_F(PosixNetworkTest, FullPathNames) {
  auto full = [&](const wchar_t* path) {
    wchar_t buffer[260];
    DWORD length = os_.GetFullPathNameW(path, 260, buffer, nullptr);
    return length == 0 || length >= 260 ? L"error" : std::wstring(buffer, length);
  };
  EXPECT_EQ(full(L"C:\\a\\.\\b\\..\\c"), L"C:\\a\\c");
  EXPECT_EQ(full(L"C:/a//b/"), L"C:\\a\\b\\");
  EXPECT_EQ(full(L"C:x"), L"C:\\x");  // C: is not the current drive: its root
  EXPECT_EQ(full(L"\\\\DC2\\public\\x\\..\\y"), L"\\\\DC2\\public\\y");
  EXPECT_EQ(full(L"\\\\?\\C:\\a\\..\\b"), L"\\\\?\\C:\\a\\..\\b");
  EXPECT_EQ(full(L"/srv/../tmp"), L"/tmp");  // no drive holds host paths here

  wchar_t buffer[8];
  wchar_t* file_part = nullptr;
  EXPECT_EQ(os_.GetFullPathNameW(L"C:\\abc\\def", 8, buffer, &file_part), 11u);  // size needed
  wchar_t large[32];
  ASSERT_EQ(os_.GetFullPathNameW(L"C:\\abc\\def", 32, large, &file_part), 10u);
  EXPECT_EQ(std::wstring(file_part), L"def");
}

TEST_F(PosixNetworkTest, WorkersLookUpWhileTheTokenChanges) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      HANDLE token = Token(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY);
      TOKEN_PRIVILEGES one{1, {{{17, 0}, (t % 2) != 0 ? SE_PRIVILEGE_ENABLED : 0u}}};
      for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(LookupSid(nullptr, std::wstring(kCorpSid) + L"-1104"), L"1 CORP\\alice");
        EXPECT_TRUE(os_.AdjustTokenPrivileges(token, FALSE, &one, 0, nullptr, nullptr));
        world_.posix().token().IsPrivilegeEnabled(L"SeBackupPrivilege");
        EXPECT_EQ(Query(token, TokenPrivileges).size(), 4u + 2 * sizeof(LUID_AND_ATTRIBUTES));
      }
      os_.CloseHandle(token);
    });
  }
  for (std::thread& thread : threads)
    thread.join();
}

TEST(PosixNetworkFaultTest, NewCallsCanBeFailedOnPurpose) {
  for (const wchar_t* call :
       {L"NetServerGetInfo", L"DsGetDcNameW", L"LookupAccountSidW", L"AdjustTokenPrivileges",
        L"WNetGetUserW", L"GetFullPathNameW", L"NetLocalGroupEnum", L"NetUserEnum",
        L"NetQueryDisplayInformation"}) {
    EXPECT_NE(FindFaultableCall(call), nullptr) << ToUtf8(call);
  }
  WorldOs world(TwoDomainWorld(kToken, "FS1", "CORP",
                               R"([{"call": "NetServerGetInfo", "path": "\\\\dc2", "error": 59},
                                   {"call": "AdjustTokenPrivileges", "error": 5}])"));
  Os& os = world.os();
  SERVER_INFO_101 info;
  EXPECT_EQ(os.NetServerGetInfo(L"\\\\DC1", 101, &info), NERR_Success);
  EXPECT_EQ(os.NetServerGetInfo(L"\\\\DC2", 101, &info), ERROR_UNEXP_NET_ERR);
  EXPECT_EQ(os.NetServerGetInfo(L"\\\\DC2", 101, &info), NERR_Success);  // once only
  HANDLE token;
  ASSERT_TRUE(os.OpenProcessToken(os.GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
  TOKEN_PRIVILEGES one{1, {{{17, 0}, SE_PRIVILEGE_ENABLED}}};
  EXPECT_FALSE(os.AdjustTokenPrivileges(token, FALSE, &one, sizeof(one), nullptr, nullptr));
  EXPECT_EQ(Os::GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(world.posix().token().IsPrivilegeEnabled(L"SeBackupPrivilege"));
  os.CloseHandle(token);
}

}  // namespace
}  // namespace tarvik
