#include "platform/posix/host_world.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/privileges.h"

namespace tarvik {
namespace {

TEST(HostWorldTest, TheHostAloneWithZAsTheRoot) {
  World world = MakeHostWorld();
  ASSERT_FALSE(world.computer.empty());
  EXPECT_LE(world.computer.size(), 15u);
  for (wchar_t c : world.computer)
    EXPECT_FALSE(c >= L'a' && c <= L'z');
  EXPECT_TRUE(world.domain.empty());

  ASSERT_NE(world.FindDrive(L'Z'), nullptr);
  EXPECT_EQ(world.FindDrive(L'Z')->host_path, "/");
  EXPECT_EQ(world.FindDrive(L'Z')->type, WorldDrive::Type::kFixed);

  const WorldServer& local = world.LocalServer();
  EXPECT_EQ(local.role, WorldServer::Role::kStandalone);
  EXPECT_EQ(local.join_status, WorldServer::JoinStatus::kWorkgroup);
  ASSERT_EQ(local.sid.sub_authorities.size(), 4u);
  EXPECT_EQ(local.sid.sub_authorities[0], 21u);
  EXPECT_EQ(MakeHostWorld().LocalServer().sid, local.sid);  // stable from run to run

  // Samba's "Unix User" and "Unix Group" authorities.
  const WorldDomain* users = world.FindDomain(L"Unix User");
  ASSERT_NE(users, nullptr);
  EXPECT_EQ(users->sid.ToString(), L"S-1-22-1");
  ASSERT_NE(users->FindAccount(L"root"), nullptr);
  EXPECT_EQ(users->FindAccount(L"root")->rid, 0u);
  EXPECT_EQ(world.ResolveAccount(L"Unix User\\root", nullptr)->ToString(), L"S-1-22-1-0");
  const WorldDomain* groups = world.FindDomain(L"Unix Group");
  ASSERT_NE(groups, nullptr);
  EXPECT_EQ(groups->FindRid(0)->type, WorldAccount::Type::kGroup);
}

TEST(HostWorldTest, TheTokenFollowsTheHostAccount) {
  World world = MakeHostWorld();
  EXPECT_EQ(world.token.user.ToString(), L"S-1-22-1-" + std::to_wstring(geteuid()));
  EXPECT_EQ(world.token.groups[0].sid.ToString(), L"S-1-22-2-" + std::to_wstring(getegid()));
  if (geteuid() == 0) {
    EXPECT_EQ(world.token.privileges.size(), AllPrivileges().size());
  } else {
    EXPECT_TRUE(world.token.privileges.empty());
  }
}

TEST(HostWorldTest, TheEnvironmentNamesTheWorldFile) {
  World world;
  std::wstring error;
  ::setenv("TARVIK_WORLD", TARVIK_TEST_DATA "/two_domains.json", 1);
  EXPECT_TRUE(LoadWorldFromEnvironment(&world, &error));
  EXPECT_EQ(world.computer, L"FS1");
  ::setenv("TARVIK_WORLD", "/nonexistent.json", 1);
  EXPECT_FALSE(LoadWorldFromEnvironment(&world, &error));
  EXPECT_EQ(error, L"world file /nonexistent.json: cannot read: No such file or directory");
  ::unsetenv("TARVIK_WORLD");
  EXPECT_TRUE(LoadWorldFromEnvironment(&world, &error));
  EXPECT_EQ(world.FindDrive(L'Z')->host_path, "/");
}

}  // namespace
}  // namespace tarvik
