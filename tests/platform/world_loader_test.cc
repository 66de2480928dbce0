#include "platform/world_loader.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/posix/host_world.h"
#include "support/world_os.h"
#include "util/utf.h"

namespace tarvik {
namespace {

// Parses text as /tmp/w.json; returns the error message, or "" on success.
std::string Check(const std::string& text, World* world = nullptr) {
  World parsed;
  std::wstring error;
  if (ParseWorld(text, "/tmp/w.json", "/worlds", FixedHostWorld(), world ? world : &parsed,
                 &error)) {
    return "";
  }
  return ToUtf8(error);
}

TEST(WorldLoaderTest, TheDocumentedExampleLoads) {
  World world;
  std::wstring error;
  std::string file = std::string(TARVIK_TEST_DATA) + "/two_domains.json";
  ASSERT_TRUE(LoadWorldFile(file, &world, &error)) << ToUtf8(error);

  EXPECT_EQ(world.computer, L"FS1");
  EXPECT_EQ(world.domain, L"CORP");
  EXPECT_EQ(world.os.major, 6u);
  EXPECT_EQ(world.os.minor, 3u);
  EXPECT_EQ(world.os.build, 9600u);

  const WorldServer& local = world.LocalServer();
  EXPECT_EQ(local.role, WorldServer::Role::kMember);
  EXPECT_EQ(local.join_status, WorldServer::JoinStatus::kDomain);
  ASSERT_NE(local.FindLocalUser(L"SVC_BACKUP"), nullptr);
  // Standard accounts come with every server unless the file names them.
  ASSERT_NE(local.FindLocalUser(L"Administrator"), nullptr);
  EXPECT_EQ(local.FindLocalUser(L"Administrator")->rid, 500u);
  EXPECT_TRUE(local.FindLocalUser(L"Guest")->disabled);
  EXPECT_EQ(local.FindLocalGroup(L"Backup Operators")->members,
            std::vector<std::wstring>{L"svc_backup"});
  EXPECT_TRUE(local.FindShare(L"HOME")->dfs);

  // Host paths are relative to the file's directory.
  std::string data = std::string(TARVIK_TEST_DATA);
  EXPECT_EQ(world.FindDrive(L'd')->host_path, data + "/fs1/data");
  EXPECT_EQ(*world.FindDrive(L'D')->volume.free_bytes, 549755813888u);
  EXPECT_EQ(world.FindDrive(L'E')->type, WorldDrive::Type::kCdrom);
  EXPECT_TRUE(world.FindDrive(L'E')->host_path.empty());
  EXPECT_EQ(world.FindDrive(L'M')->type, WorldDrive::Type::kRemote);
  EXPECT_FALSE(world.FindDrive(L'N')->connection->connected);
  EXPECT_EQ(world.FindDrive(L'Z'), nullptr);  // the file's drives replace the host's

  const WorldServer* dc2 = world.FindServer(L"dc2.newcorp.example.net");
  ASSERT_NE(dc2, nullptr);
  EXPECT_EQ(dc2->name, L"DC2");
  EXPECT_EQ(dc2->sid, world.FindDomain(L"NEWCORP")->sid);  // a controller has its domain's SID
  EXPECT_EQ(dc2->type & 0x18u, 0x08u);
  EXPECT_EQ(dc2->FindShare(L"public")->volume.figures_file, data + "/dc2/public.space");
  EXPECT_FALSE(dc2->FindShare(L"public")->volume.compression);
  EXPECT_FALSE(dc2->FindShare(L"public")->volume.short_names);
  EXPECT_TRUE(dc2->FindShare(L"public")->server_side_copy);

  const WorldDomain* newcorp = world.FindDomain(L"newcorp.example.net");
  ASSERT_NE(newcorp, nullptr);
  EXPECT_EQ(newcorp->controller, L"DC2");
  const WorldAccount* alice = newcorp->FindAccount(L"ALICE");
  ASSERT_NE(alice, nullptr);
  ASSERT_EQ(alice->sid_history.size(), 1u);
  EXPECT_EQ(alice->sid_history[0].ToString(), L"S-1-5-21-3623811015-3361044348-30300820-1104");
  EXPECT_EQ(newcorp->FindRid(513)->name, L"Domain Users");
  EXPECT_EQ(world.FindDomain(L"CORP")->FindRid(1108)->type, WorldAccount::Type::kDeleted);
  EXPECT_FALSE(world.FindDomain(L"CORP")->trusts[0].domain.empty());
  // The host's own accounts stay.
  EXPECT_NE(world.FindDomain(L"Unix User"), nullptr);

  EXPECT_EQ(world.token.user.ToString(), L"S-1-5-21-3623811015-3361044348-30300820-500");
  ASSERT_EQ(world.token.groups.size(), 4u);
  EXPECT_EQ(world.token.groups[1].sid.ToString(), L"S-1-1-0");
  EXPECT_EQ(world.token.groups[2].sid.ToString(), L"S-1-5-32-544");
  EXPECT_TRUE(world.token.groups[3].deny_only);
  EXPECT_FALSE(world.token.groups[3].enabled);
  ASSERT_EQ(world.token.privileges.size(), 4u);
  EXPECT_FALSE(world.token.privileges[0].enabled);
  EXPECT_TRUE(world.token.privileges[3].enabled);

  ASSERT_EQ(world.faults.size(), 2u);
  EXPECT_EQ(world.faults[0].error, 32u);
  EXPECT_EQ(world.faults[0].count, 3u);
  EXPECT_EQ(world.faults[1].after, 10u);
  EXPECT_EQ(world.faults[1].count, 0u);
}

TEST(WorldLoaderTest, TheDocumentationShowsTheTestedExample) {
  auto read = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  std::string docs = read(std::string(TARVIK_TEST_DATA) + "/../../../docs/world.md");
  size_t start = docs.rfind("```json\n");
  ASSERT_NE(start, std::string::npos);
  start += 8;
  std::string shown = docs.substr(start, docs.find("```", start) - start);
  EXPECT_EQ(shown, read(std::string(TARVIK_TEST_DATA) + "/two_domains.json"));
}

TEST(WorldLoaderTest, AnEmptyFileIsTheHostWorld) {
  World world;
  ASSERT_EQ(Check("{}", &world), "");
  EXPECT_EQ(world.computer, L"HOST");
  EXPECT_EQ(world.FindDrive(L'Z')->host_path, "/");
  EXPECT_EQ(world.LocalServer().sid.ToString(), L"S-1-5-21-1-2-3");
  EXPECT_EQ(world.token.user.ToString(), L"S-1-22-1-0");
}

TEST(WorldLoaderTest, AnUnlistedComputerBecomesAMemberOfTheGivenDomain) {
  World world;
  ASSERT_EQ(Check(R"({"computer": "pc7", "domain": "corp",
                      "domains": [{"name": "CORP", "sid": "S-1-5-21-9-9-9"}]})",
                  &world),
            "");
  EXPECT_EQ(world.computer, L"PC7");
  EXPECT_EQ(world.domain, L"CORP");
  const WorldServer& local = world.LocalServer();
  EXPECT_EQ(local.role, WorldServer::Role::kMember);
  EXPECT_EQ(local.domain, L"CORP");
  EXPECT_EQ(local.join_status, WorldServer::JoinStatus::kDomain);
  EXPECT_EQ(world.ResolveAccount(L"CORP\\Domain Admins", nullptr)->ToString(),
            L"S-1-5-21-9-9-9-512");
  EXPECT_EQ(world.ResolveAccount(L"Administrator", &local)->ToString(), L"S-1-5-21-1-2-3-500");
  EXPECT_EQ(world.ResolveAccount(L"Domain Users", &local)->ToString(), L"S-1-5-21-9-9-9-513");
}

TEST(WorldLoaderTest, RelativeAndDottedHostPathsAreNormalised) {
  World world;
  ASSERT_EQ(
      Check(R"({"drives": {"D:": {"path": "a/./b/../c/"}, "E:": {"path": "/x//y/.."}}})", &world),
      "");
  EXPECT_EQ(world.FindDrive(L'D')->host_path, "/worlds/a/c");
  EXPECT_EQ(world.FindDrive(L'E')->host_path, "/x");
}

TEST(WorldLoaderTest, EachMistakeIsNamedByItsKeyPath) {
  struct Case {
    std::string text;
    const char* message;
  };
  const Case cases[] = {
      {R"({"servers": [{"name": "A", "sid": "S-1-5-21-1-1-1"},
                       {"name": "B", "sid": "S-1-5-21-1-1-2", "shares": [{"name": "s", "path": 7}]}]})",
       "servers[1].shares[0].path: expected a string, found a number"},
      {R"({"servers": [{"sid": "S-1-5-21-1-1-1"}]})", "servers[0].name: required key is missing"},
      {R"({"computer": ["A"]})", "computer: expected a string, found an array"},
      {R"({"domains": [{"name": "D", "sid": "S-1-5-21-1-x"}]})",
       "domains[0].sid: \"S-1-5-21-1-x\" is not a valid SID"},
      {R"({"servers": [{"name": "fs", "sid": "S-1-5-21-1-1-1"}, {"name": "FS", "sid": "S-1-5-21-1-1-2"}]})",
       "servers[1].name: duplicate server name \"FS\" (also servers[0].name)"},
      {R"({"drives": {"c:": {"path": "/"}}})",
       "drives.\"c:\": a drive is named by a letter A-Z and a colon, such as \"D:\""},
      {R"({"drives": {"1:": {"path": "/"}}})",
       "drives.\"1:\": a drive is named by a letter A-Z and a colon, such as \"D:\""},
      {R"({"servers": [{"name": "M", "sid": "S-1-5-21-1-1-1", "role": "member", "domain": "NOPE"}]})",
       "servers[0].domain: no domain \"NOPE\" in domains"},
      {R"({"domains": [{"name": "D", "sid": "S-1-5-21-1-1-1", "controller": "DC9"}]})",
       "domains[0].controller: no server \"DC9\" in servers"},
      {R"({"domains": [{"name": "D", "sid": "S-1-5-21-1-1-1", "trusts": [{"domain": "E"}]}]})",
       "domains[0].trusts[0].domain: no domain \"E\" in domains"},
      {R"({"drives": {"M:": {"connection": {"remote": "\\\\GONE\\s"}}}})",
       "drives.\"M:\".connection.remote: no server \"GONE\" in servers"},
      {R"({"servers": [{"name": "A", "sid": "S-1-5-21-1-1-1", "role": "dc"}]})",
       "servers[0].role: expected one of \"standalone\", \"member\", \"domain_controller\", found "
       "\"dc\""},
      {R"({"token": {"user": "HOST\\nobody"}})",
       "token.user: no account \"HOST\\nobody\" in this world"},
      {R"({"token": {"user": "HOST\\Administrator", "privileges": ["SeBackupPrivilege", "SeBackup"]}})",
       "token.privileges[1]: unknown privilege \"SeBackup\""},
      {R"({"faults": [{"call": "CreateFile", "error": 5}]})",
       "faults[0].call: no call \"CreateFile\" can fail on request"},
      {R"({"faults": [{"call": "CreateFileW", "error": "ERROR_DISKFULL"}]})",
       "faults[0].error: unknown error name \"ERROR_DISKFULL\""},
      {R"({"faults": [{"call": "WriteFile", "error": -5}]})",
       "faults[0].error: expected a non-negative integer, found -5"},
      {R"({"computer": "A", "computer": "B"})", "computer: duplicate key"},
      {R"({"servers": [{"name": "A", "sid": "S-1-5-21-1-1-1", "shares": [{"name": "s", "path": "p", "name": "t"}]}]})",
       "servers[0].shares[0].name: duplicate key"},
      {R"({"domains": [{"name": "D", "sid": "S-1-5-21-1-1-1",
                        "accounts": [{"name": "a", "rid": 1000}, {"name": "b", "rid": 1000}]}]})",
       "domains[0].accounts[1].rid: duplicate RID 1000"},
      {R"({"domains": [{"name": "D", "sid": "S-1-5-21-1-1-1",
                        "accounts": [{"name": "g", "rid": 1000, "type": "group", "members": ["nobody"]}]}]})",
       "domains[0].accounts[0].members[0]: no account \"nobody\" in this world"},
      {R"({"drives": {"D:": {"path": "/d", "volume": {"free_bytes": 10}}}})",
       "drives.\"D:\".volume.total_bytes: required key is missing (total_bytes and free_bytes go "
       "together)"},
      {R"({"drives": {"D:": {"path": "/d", "volume": {"short_names": "yes"}}}})",
       "drives.\"D:\".volume.short_names: expected a boolean, found a string"},
      {R"({"computer": "ABCDEFGHIJKLMNOPQ"})",
       "computer: a computer name \"ABCDEFGHIJKLMNOPQ\" is longer than 15 characters"},
      {R"({"domain": "CORP"})", "domain: no domain \"CORP\" in domains"},
      {R"({"os": {"processor_architecture": "x64"}})",
       "os.processor_architecture: expected one of \"intel\", \"ia64\", \"amd64\", \"arm64\", "
       "found \"x64\""},
      {R"({"os": {"service_pack": ")" + std::string(128, 'x') + R"("}})",
       "os.service_pack: at most 127 characters"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Check(c.text), std::string("world file /tmp/w.json: ") + c.message) << c.text;
  }
}

TEST(WorldLoaderTest, UnknownKeysAreRejectedWithTheKeysThatExist) {
  std::string message =
      Check(R"({"servers": [{"name": "A", "sid": "S-1-5-21-1-1-1", "shrares": []}]})");
  EXPECT_EQ(
      message.rfind("world file /tmp/w.json: servers[0].shrares: unknown key (expected one of: "
                    "name, dns_name, sid,",
                    0),
      0u)
      << message;
}

TEST(WorldLoaderTest, SyntaxErrorsGiveLineAndColumn) {
  std::string message = Check("{\n  \"computer\": \"A\",\n}");
  EXPECT_EQ(message.rfind("world file /tmp/w.json: parse error at line 3, column 1", 0), 0u)
      << message;
  EXPECT_EQ(Check("[1, 2]"), "world file /tmp/w.json: expected an object, found an array");
}

TEST(WorldLoaderTest, AnUnreadableFileIsReported) {
  World world;
  std::wstring error;
  EXPECT_FALSE(LoadWorldFile("/nonexistent/w.json", &world, &error));
  EXPECT_EQ(error, L"world file /nonexistent/w.json: cannot read: No such file or directory");
}

}  // namespace
}  // namespace tarvik
