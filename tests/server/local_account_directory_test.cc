// The local groups and users of a server as the translation of local
// accounts reads them: every buffer of an enumeration, and every way the
// enumerations fail.
#include "server/local_account_directory.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/two_domain_world.h"
#include "platform/fault_os.h"
#include "support/world_os.h"

namespace tarvik {
namespace {

// Hands the groups back a few at a time, as a server whose buffers are small.
class SmallBufferOs : public FaultOs {
 public:
  SmallBufferOs(std::unique_ptr<Os> inner, int* calls)
      : FaultOs(std::move(inner), {}), calls_(calls) {}

  NET_API_STATUS NetLocalGroupEnum(const wchar_t* server_name, DWORD level,
                                   std::vector<LOCALGROUP_INFO_1>* buffer, DWORD,
                                   DWORD* entries_read, DWORD* total_entries,
                                   DWORD_PTR* resume_handle) override {
    ++*calls_;
    return FaultOs::NetLocalGroupEnum(server_name, level, buffer, 60, entries_read, total_entries,
                                      resume_handle);
  }

 private:
  int* calls_;
};

bool Holds(const std::wstring& text, const std::wstring& part) {
  return text.find(part) != std::wstring::npos;
}

std::vector<std::wstring> NamesOf(const std::vector<LocalGroupName>& groups) {
  std::vector<std::wstring> names;
  for (const LocalGroupName& group : groups)
    names.push_back(group.name);
  return names;
}

TEST(LocalAccountDirectoryTest, GroupsComeWholeInTheOrderOfTheCalls) {
  int calls = 0;
  WorldOs world(TwoDomainWorld(), [&](std::unique_ptr<Os> inner) -> std::unique_ptr<Os> {
    return std::make_unique<SmallBufferOs>(std::move(inner), &calls);
  });
  std::vector<LocalGroupName> groups;
  ASSERT_EQ(LocalGroupEnum(L"\\\\FS1", &groups, 0), 0u);
  EXPECT_GT(calls, 2);
  EXPECT_EQ(NamesOf(groups), (std::vector<std::wstring>{L"Administrators", L"Users", L"Guests",
                                                        L"Backup Operators", L"Sales"}));
  EXPECT_EQ(groups[0].comment, L"");
  ASSERT_EQ(LocalGroupEnum(L"", &groups, 1), 0u);  // this computer, with comments
  ASSERT_EQ(groups.size(), 5u);
  EXPECT_NE(groups[0].comment, L"");
  EXPECT_EQ(world.TakeOutput(), L"");
}

TEST(LocalAccountDirectoryTest, GroupEnumerationFailuresArePrintedWithTheSystemText) {
  WorldOs world(TwoDomainWorld("", "FS1", "CORP",
                               R"([{"call": "NetLocalGroupEnum", "path": "\\\\FS1", "error": 5},
                                   {"call": "NetLocalGroupEnum", "path": "\\\\FS2",
                                    "error": 2351}])"));
  std::vector<LocalGroupName> groups = {{L"stale", L""}};
  EXPECT_EQ(LocalGroupEnum(L"\\\\FS1", &groups, 0), ERROR_INVALID_DATA);
  EXPECT_TRUE(groups.empty());
  std::wstring output = world.TakeOutput();
  EXPECT_TRUE(Holds(output, L"NetLocalGroupEnum: No access for \\\\FS1\n Error=Access is denied."))
      << output;
  EXPECT_EQ(LocalGroupEnum(L"\\\\FS2", &groups, 0), ERROR_INVALID_DATA);
  output = world.TakeOutput();
  EXPECT_TRUE(Holds(output, L"NetLocalGroupEnum: No available computer \\\\FS2\n Error="))
      << output;
  EXPECT_EQ(LocalGroupEnum(L"\\\\NOWHERE", &groups, 0), ERROR_INVALID_DATA);
  output = world.TakeOutput();
  EXPECT_TRUE(Holds(output, L"NetLocalGroupEnum: Error nas=53\n Error=")) << output;
}

TEST(LocalAccountDirectoryTest, UsersByNameInAnyCase) {
  WorldOs world(TwoDomainWorld());
  CMapUser users;
  ASSERT_EQ(EnumerateLocalUsers(L"\\\\FS1", &users), 0u);
  ASSERT_EQ(users.size(), 3u);  // svc_backup, Administrator, Guest
  const LocalUser* admin = FindLocalUser(users, L"administrator");
  ASSERT_NE(admin, nullptr);
  EXPECT_EQ(admin->info.usri2_name, L"Administrator");
  EXPECT_EQ(admin->info.usri2_priv, USER_PRIV_ADMIN);
  EXPECT_EQ(FindLocalUser(users, L"nobody"), nullptr);
  // A user stored again under another case replaces the first.
  LocalUser renamed;
  renamed.info.usri2_name = L"ADMINISTRATOR";
  AddLocalUser(&users, L"ADMINISTRATOR", renamed);
  EXPECT_EQ(users.size(), 3u);
  EXPECT_EQ(FindLocalUser(users, L"Administrator")->info.usri2_name, L"ADMINISTRATOR");
  world.TakeOutput();
  PrintLocalUsers(users);
  std::wstring output = world.TakeOutput();
  EXPECT_TRUE(Holds(output, L"svc_backup: \"\"")) << output;
}

TEST(LocalAccountDirectoryTest, UserEnumerationFailures) {
  // Access denied: no other way is tried.
  {
    WorldOs world(TwoDomainWorld("", "FS1", "CORP", R"([{"call": "NetUserEnum", "error": 5}])"));
    CMapUser users;
    EXPECT_EQ(EnumerateLocalUsers(L"\\\\FS1", &users), ERROR_INVALID_DATA);
    std::wstring output = world.TakeOutput();
    EXPECT_TRUE(Holds(output, L"Local User Enum : No access for \\\\FS1")) << output;
    EXPECT_FALSE(Holds(output, L"alternative")) << output;
  }
  // An unavailable computer: both lines, then the display information,
  // which fails the same way.
  {
    WorldOs world(TwoDomainWorld("", "FS1", "CORP",
                                 R"([{"call": "NetUserEnum", "error": 2351},
                                     {"call": "NetQueryDisplayInformation", "error": 2351}])"));
    CMapUser users;
    EXPECT_EQ(EnumerateLocalUsers(L"\\\\FS1", &users), ERROR_INVALID_DATA);
    std::wstring output = world.TakeOutput();
    size_t first = output.find(L"Local User Enum : No available computer \\\\FS1");
    size_t second = output.find(L"Local User Enum : Trying alternative method");
    size_t third = output.find(L"Local User Enum : NetQueryDisplayInformation method failure");
    EXPECT_TRUE(first < second && second < third && third != std::wstring::npos) << output;
  }
  // Another failure: the display information gives the users, a hundred at a
  // time, with their names, comments, flags and full names.
  {
    std::string many;
    for (int i = 0; i < 150; ++i)
      many += ",{\"name\": \"u" + std::to_string(i) + "\", \"rid\": " + std::to_string(2000 + i) +
              ", \"full_name\": \"User " + std::to_string(i) + "\"}";
    std::string json =
        TwoDomainWorld("", "FS1", "CORP", R"([{"call": "NetUserEnum", "error": 1722}])");
    const std::string users_key = R"("local_users": [{"name": "svc_backup", "rid": 1001})";
    json.replace(json.find(users_key), users_key.size(), users_key + many);
    WorldOs world(json);
    CMapUser users;
    ASSERT_EQ(EnumerateLocalUsers(L"\\\\FS1", &users), 0u);
    EXPECT_EQ(users.size(), 153u);
    const LocalUser* last = FindLocalUser(users, L"U149");
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->info.usri2_full_name, L"User 149");
    EXPECT_NE(last->info.usri2_flags & UF_NORMAL_ACCOUNT, 0u);
    EXPECT_TRUE(Holds(world.TakeOutput(), L"Trying alternative method"));
  }
}

}  // namespace
}  // namespace tarvik
