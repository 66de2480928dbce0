#include "server/server.h"

#include <gtest/gtest.h>

#include "common/two_domain_world.h"
#include "support/world_os.h"
#include "util/utf.h"

namespace tarvik {
namespace {

constexpr const char* kAdministrator = R"({"user": "CORP\\Administrator"})";

class ServerTest : public ::testing::Test {
 protected:
  ServerTest() : world_(TwoDomainWorld(kAdministrator)) {}

  WorldOs world_;
};

TEST_F(ServerTest, LocalDrivePathOnADomainMember) {
  Server server;
  ASSERT_TRUE(server.GetFromPath(L"C:\\data\\x", true));
  EXPECT_EQ(server.name, L"\\\\FS1");
  EXPECT_EQ(server.serverComment, L"CORP file server");
  EXPECT_EQ(server.osVersion, L"6.3");
  EXPECT_EQ(server.osMajor, 6u);
  EXPECT_EQ(server.osMinor, 3u);
  EXPECT_EQ(server.serverType, 0x9003u);
  EXPECT_EQ(server.pathType, L"C:");
  EXPECT_EQ(server.fullPath, L"C:\\data\\x");
  EXPECT_EQ(server.shareName, L"");
  EXPECT_EQ(server.subPath, L"");
  EXPECT_EQ(server.domainName, L"CORP");
  EXPECT_EQ(server.dcName, L"dc1");
  EXPECT_EQ(server.joinStatus, 3u);
  EXPECT_EQ(server.qualifiedName, L"\\\\FS1.CORP");
  EXPECT_EQ(server.userName, L"CORP\\Administrator");
  EXPECT_EQ(server.domainSid.ToString(), std::wstring(kCorpSid) + L"-4294967295");
  EXPECT_FALSE(server.isDfsShare);
  EXPECT_EQ(server.RootText(), L"C:\\");
  EXPECT_EQ(server.totalBytes, 1000u);
  EXPECT_EQ(server.freeBytes, 400u);
  EXPECT_EQ(server.freeBytesToCaller, 400u);
  EXPECT_EQ(world_.TakeOutput(), L"");

  // The long form resolves alike; without account information neither the
  // user nor the domain SID is read.
  Server long_form;
  ASSERT_TRUE(long_form.GetFromPath(L"\\\\?\\C:\\data", false));
  EXPECT_EQ(long_form.fullPath, L"C:\\data");
  EXPECT_EQ(long_form.userName, L"Unknown");
  EXPECT_FALSE(long_form.domainSid.IsValid());
  EXPECT_EQ(long_form.domainName, L"CORP");
}

TEST_F(ServerTest, UncPathOnAnotherMemberServer) {
  Server server;
  ASSERT_TRUE(server.GetFromPath(L"\\\\FS2\\projects\\a\\b", true));
  EXPECT_EQ(server.name, L"\\\\FS2");
  EXPECT_EQ(server.pathType, L"UNCpath");
  EXPECT_EQ(server.fullPath, L"\\\\FS2\\projects\\a\\b");
  EXPECT_EQ(server.shareName, L"projects");
  EXPECT_EQ(server.subPath, L"\\a\\b");
  EXPECT_TRUE(server.isDfsShare);
  EXPECT_EQ(server.joinStatus, 3u);
  EXPECT_EQ(server.qualifiedName, L"\\\\FS2.CORP");
  // The user of a connection made for the question, and closed again.
  EXPECT_EQ(server.userName, L"CORP\\Administrator");
  wchar_t user[64];
  DWORD length = 64;
  EXPECT_EQ(world_.os().WNetGetUserW(L"\\\\FS2\\projects", user, &length), ERROR_NOT_CONNECTED);
  // The volume of a domain member's share is asked for by its qualified name.
  EXPECT_EQ(server.RootText(), L"\\\\FS2.CORP\\projects\\");
  EXPECT_EQ(server.totalBytes, 3000u);
  EXPECT_EQ(server.freeBytes, 2500u);
  EXPECT_EQ(world_.TakeOutput(), L"");

  // The long UNC form is the same path.
  Server long_form;
  ASSERT_TRUE(long_form.GetFromPath(L"\\\\?\\UNC\\FS2\\projects\\a", false));
  EXPECT_EQ(long_form.name, L"\\\\FS2");
  EXPECT_EQ(long_form.shareName, L"projects");
  EXPECT_EQ(long_form.subPath, L"\\a");
}

TEST_F(ServerTest, MappedDrivesConnectedOrOnlyRemembered) {
  Server mapped;
  ASSERT_TRUE(mapped.GetFromPath(L"M:\\dir", true));
  EXPECT_EQ(mapped.name, L"\\\\DC2");
  EXPECT_EQ(mapped.pathType, L"M:");
  EXPECT_EQ(mapped.fullPath, L"\\\\DC2\\public\\dir");
  EXPECT_EQ(mapped.shareName, L"public");
  EXPECT_EQ(mapped.userName, L"NEWCORP\\migrator");
  EXPECT_EQ(mapped.domainName, L"NEWCORP");
  EXPECT_EQ(mapped.dcName, L"dc2");
  EXPECT_EQ(mapped.serverType, 0x102Bu);
  EXPECT_EQ(mapped.domainSid.ToString(), std::wstring(kNewCorpSid) + L"-4294967295");
  EXPECT_EQ(mapped.RootText(), L"M:\\");
  EXPECT_EQ(mapped.totalBytes, 5000u);

  // N: only remembers \\DC2\archive: the device name tells it.
  Server remembered;
  ASSERT_TRUE(remembered.GetFromPath(L"N:\\x", false));
  EXPECT_EQ(remembered.fullPath, L"\\\\DC2\\archive\\x");
  EXPECT_EQ(remembered.shareName, L"archive");
  EXPECT_EQ(remembered.userName, L"Unknown");
  EXPECT_EQ(remembered.totalBytes, 7000u);
  EXPECT_EQ(world_.TakeOutput(), L"");
}

TEST_F(ServerTest, DrivesThatNameNoServer) {
  struct Case {
    const wchar_t* path;
    const wchar_t* message;
  };
  for (const Case& c : {Case{L"U:\\x", L"Drive U: is not mounted on current system."},
                        Case{L"Q:\\x", L"Drive Q: is not mounted on current system."},
                        Case{L"E:\\", L"Drive E: is a CDROM"}}) {
    Server server;
    EXPECT_FALSE(server.GetFromPath(c.path, true)) << ToUtf8(c.path);
    std::wstring output = world_.TakeOutput();
    EXPECT_NE(output.find(c.message), std::wstring::npos) << ToUtf8(output);
    EXPECT_EQ(server.name, L"");
  }
  // A removable drive is local, without a full path.
  Server removable;
  EXPECT_TRUE(removable.GetFromPath(L"R:\\x", false));
  EXPECT_EQ(removable.name, L"\\\\FS1");
  EXPECT_EQ(removable.fullPath, L"");
}

TEST_F(ServerTest, UnreachableServerAndUnknownShare) {
  Server gone;
  EXPECT_FALSE(gone.GetFromPath(L"\\\\GONE\\old\\y", true));
  EXPECT_EQ(gone.name, L"");
  EXPECT_EQ(gone.userName, L"Unknown");
  std::wstring output = world_.TakeOutput();
  EXPECT_NE(
      output.find(L"ERROR (53) : Server::GetFromPath: unable to connect to \\\\GONE\\old\\y : "),
      std::wstring::npos)
      << ToUtf8(output);
  EXPECT_NE(output.find(L"ERROR (53) : unable get server info from \\\\GONE"), std::wstring::npos)
      << ToUtf8(output);

  // The server answers, the share does not exist: resolved, with warnings.
  Server unknown_share;
  EXPECT_TRUE(unknown_share.GetFromPath(L"\\\\DC2\\nosuch", true));
  EXPECT_EQ(unknown_share.name, L"\\\\DC2");
  EXPECT_EQ(unknown_share.userName, L"Unknown");
  EXPECT_EQ(unknown_share.totalBytes, 0u);
  output = world_.TakeOutput();
  EXPECT_NE(
      output.find(L"ERROR (67) : Server::GetFromPath: unable to connect to \\\\DC2\\nosuch : "),
      std::wstring::npos)
      << ToUtf8(output);
  EXPECT_NE(output.find(L"WARNING : \\\\DC2\\nosuch -> unable to get volume size info"),
            std::wstring::npos)
      << ToUtf8(output);
}

TEST_F(ServerTest, ThisComputerNamedInAUncPath) {
  Server server;
  ASSERT_TRUE(server.GetFromPath(L"\\\\fs1\\data\\x", true));
  EXPECT_EQ(server.name, L"\\\\FS1");
  EXPECT_EQ(server.shareName, L"data");
  EXPECT_EQ(server.subPath, L"\\x");
  EXPECT_EQ(server.RootText(), L"\\\\FS1.CORP\\data\\");
  EXPECT_EQ(server.totalBytes, 2000u);
  EXPECT_EQ(world_.TakeOutput(), L"");
}

TEST_F(ServerTest, NamesAndReport) {
  Server source;
  ASSERT_TRUE(source.GetFromPath(L"C:\\data", false));
  Server target;
  ASSERT_TRUE(target.GetFromPath(L"M:\\dir", false));
  EXPECT_TRUE(source.MatchesName(L"FS1"));
  EXPECT_TRUE(source.MatchesName(L"\\\\fs1"));
  EXPECT_TRUE(source.MatchesName(L"fs1.corp"));
  EXPECT_FALSE(source.MatchesName(L"FS2"));
  EXPECT_FALSE(Server().MatchesName(L""));

  world_.TakeOutput();
  PrintServerReport(source, target);
  EXPECT_EQ(world_.TakeOutput(),
            L"\nServer SRC                  : FS1             6.3 CORP file server\n"
            L"Server DEST                 : DC2             10.0 NEWCORP controller\n");
  PrintServerReport(Server(), target);
  EXPECT_EQ(world_.TakeOutput(),
            L"\nServer SRC                  : UNKNOWN\n"
            L"Server DEST                 : DC2             10.0 NEWCORP controller\n");
}

TEST(ServerWorkgroupTest, LocalAccountOfAWorkgroupMachine) {
  WorldOs world(TwoDomainWorld(R"({"user": "WS9\\admin"})", "WS9", ""));
  Server server;
  ASSERT_TRUE(server.GetFromPath(L"\\\\DC2\\public", true));
  EXPECT_EQ(server.userName, L"NEWCORP\\migrator");  // DC2's connections use that account
  Server local;
  ASSERT_TRUE(local.GetFromPath(L"/", true));
  EXPECT_EQ(local.name, L"\\\\WS9");
  EXPECT_EQ(local.domainName, L"");
  EXPECT_EQ(local.joinStatus, 2u);
  EXPECT_EQ(local.userName, L"admin");
  EXPECT_EQ(local.qualifiedName, L"\\\\WS9");
  EXPECT_FALSE(local.domainSid.IsValid());
}

TEST(ServerFaultTest, FailingSystemCalls) {
  WorldOs world(TwoDomainWorld(kAdministrator, "FS1", "CORP",
                               R"([{"call": "GetComputerNameW", "error": 5},
                                   {"call": "WNetGetConnectionW", "error": 1200, "count": 0},
                                   {"call": "NetUserModalsGet", "error": 53, "count": 0},
                                   {"call": "LookupAccountNameW", "error": 53, "count": 0}])"));
  Server server;
  EXPECT_FALSE(server.GetFromPath(L"C:\\x", true));
  std::wstring output = world.TakeOutput();
  EXPECT_NE(output.find(L"ERROR (5) : Server::GetFromPath: unable to get local computer name: "),
            std::wstring::npos)
      << ToUtf8(output);

  Server mapped;
  EXPECT_FALSE(mapped.GetFromPath(L"M:\\x", true));
  output = world.TakeOutput();
  EXPECT_NE(output.find(L"ERROR (1200) : Server::GetFromPath: unable to get remote connection "
                        L"from M:\\x : "),
            std::wstring::npos)
      << ToUtf8(output);

  // Without the domain SID the server still resolves.
  Server local;
  EXPECT_TRUE(local.GetFromPath(L"C:\\x", true));
  EXPECT_FALSE(local.domainSid.IsValid());
  output = world.TakeOutput();
  EXPECT_NE(output.find(L"Unable to get the domain SID info from dc1"), std::wstring::npos)
      << ToUtf8(output);
  EXPECT_NE(output.find(L"WARNING : Unable to get the local server sid from dc1"),
            std::wstring::npos)
      << ToUtf8(output);
}

}  // namespace
}  // namespace tarvik
