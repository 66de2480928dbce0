// A SID map file given to the built program between servers of two domains:
// the descriptors it writes, its messages for records in error and for a
// file it cannot open, and its exit code.
#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/sd/descriptor_bytes.h"
#include "e2e_support.h"
#include "platform/posix/nt_acl.h"
#include "support/security_bytes.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;

const std::string kFs1 = "S-1-5-21-1004336348-1177238915-682003330";  // source member of CORP
const std::string kFs3 = "S-1-5-21-3-3-3";                            // target member of NEWCORP
const std::string kCorp = "S-1-5-21-3623811015-3361044348-30300820";
const std::string kNewCorp = "S-1-5-21-2340681723-1396251106-1876254395";
const std::string kEveryone = "S-1-1-0";

constexpr uint32_t kFull = 0x1F01FF;
constexpr uint32_t kRead = 0x1200A9;
constexpr uint32_t kWrite = 0x100116;

// FS1 (CORP) holds the source share, FS3 (NEWCORP) the target share, reached
// as NEWCORP\migrator.
constexpr const char* kWorld = R"({
  "computer": "FS1",
  "domain": "CORP",
  "drives": {"C:": {"path": "@TMP@"}},
  "servers": [
    {"name": "FS1", "sid": "S-1-5-21-1004336348-1177238915-682003330", "role": "member",
     "domain": "CORP", "shares": [{"name": "data", "path": "@TMP@/fs1"}],
     "local_users": [{"name": "svc_backup", "rid": 1001}]},
    {"name": "FS3", "sid": "S-1-5-21-3-3-3", "role": "member", "domain": "NEWCORP",
     "connect_as": "NEWCORP\\migrator", "shares": [{"name": "data", "path": "@TMP@/fs3"}],
     "local_users": [{"name": "svc_backup", "rid": 1010}]},
    {"name": "DC1", "role": "domain_controller", "domain": "CORP"},
    {"name": "DC2", "role": "domain_controller", "domain": "NEWCORP"}
  ],
  "domains": [
    {"name": "CORP", "sid": "S-1-5-21-3623811015-3361044348-30300820", "controller": "DC1",
     "accounts": [{"name": "alice", "rid": 1104},
                  {"name": "Sales Team", "rid": 1106, "type": "group"}],
     "trusts": [{"domain": "NEWCORP"}]},
    {"name": "NEWCORP", "sid": "S-1-5-21-2340681723-1396251106-1876254395", "controller": "DC2",
     "accounts": [{"name": "migrator", "rid": 2202, "primary_group": 2210},
                  {"name": "dave", "rid": 2205},
                  {"name": "Movers", "rid": 2210, "type": "group"}]}
  ],
  "token": {"user": "CORP\\Administrator",
            "privileges": ["SeBackupPrivilege", "SeRestorePrivilege", "SeSecurityPrivilege"]},
  "faults": [{"call": "ReadFile", "path": "*\\unreadable.txt", "error": 23, "after": 1,
              "count": 0}]
})";

std::string Rid(const std::string& domain, uint32_t rid) {
  return domain + "-" + std::to_string(rid);
}

std::wstring Wide(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}

// An ACL of allowed entries, each a mask and a SID.
std::vector<uint8_t> Allowed(const std::vector<std::pair<uint32_t, std::string>>& aces) {
  std::vector<std::pair<uint32_t, std::wstring>> wide;
  for (const auto& [mask, sid] : aces)
    wide.emplace_back(mask, Wide(sid));
  return AclOf(wide);
}

DescriptorParts ReadDescriptor(const std::string& path) {
  for (const char* name : {"security.NTACL", "user.NTACL"}) {
    std::string value(65536, '\0');
    ssize_t size = getxattr(path.c_str(), name, value.data(), value.size());
    if (size < 0)
      continue;
    value.resize(static_cast<size_t>(size));
    if (std::optional<DescriptorParts> parts = DecodeNtAcl(value))
      return *parts;
  }
  ADD_FAILURE() << path << " has no readable NT ACL";
  return {};
}

class SidMapE2eTest : public ::testing::Test {
 protected:
  SidMapE2eTest() {
    fs::create_directories(temp_ / "fs1/src");
    fs::create_directories(temp_ / "fs3");
    std::string world = kWorld;
    Replace(&world, "@TMP@", temp_.path());
    WriteFile(temp_ / "world.json", world);
    options_.environment["TARVIK_WORLD"] = temp_ / "world.json";
  }

  // \\FS1\data\src into \\FS3\data\<root> with the map file C:\<map>.
  RunResult Run(const std::string& root, const std::string& map) {
    return RunProgram({"\\\\FS1\\data\\src", "\\\\FS3\\data\\" + root, "/s", "/r:0", "/w:0",
                       "/th:2", "/o", "/sidmapfile", "C:\\" + map},
                      options_);
  }

  TempDir temp_;
  RunOptions options_;
};

TEST_F(SidMapE2eTest, MappedSidsReplacedRevokedSidsRemoved) {
  DescriptorParts source;
  source.control = SE_DACL_PRESENT;
  source.owner = Sid(Wide(Rid(kCorp, 1106)));
  source.group = Sid(Wide(Rid(kCorp, 513)));
  source.dacl = Allowed({{kWrite, Rid(kCorp, 1106)},
                         {kFull, Rid(kCorp, 1104)},
                         {kRead, Rid(kFs1, 1001)},
                         {kRead, kEveryone}});
  const std::string file = temp_ / "fs1/src/a.txt";
  WriteFile(file, "payload");
  const std::string value = EncodeNtAcl(source);
  if (setxattr(file.c_str(), "security.NTACL", value.data(), value.size(), 0) != 0) {
    ASSERT_EQ(setxattr(file.c_str(), "user.NTACL", value.data(), value.size(), 0), 0);
  }

  // alice becomes dave; Sales Team is revoked; the local svc_backup goes
  // to the target's by name. A record for another server is left aside
  // and no error; the file uses Windows line ends and no final one.
  std::string map;
  for (const std::string& line :
       {std::string("# FS1 to FS3"), std::string("SID_TO_SID"),
        Rid(kCorp, 1104) + "," + Rid(kNewCorp, 2205), Rid(kCorp, 1106) + ":revoked",
        std::string("QEL_RECORD"), "OTHER,SID:" + Rid(kCorp, 1104) + ",FS3,SID:" + kEveryone}) {
    map += line + "\r\n";
  }
  map += "FS1,NAME:svc_backup,FS3,USER:svc_backup";
  WriteFile(temp_ / "map.txt", map);
  RunResult result = Run("dst", "map.txt");
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(Count(result.out,
                  "ERROR : Line 6 : Not current source server, record discarded : "
                  "OTHER,SID:"),
            1u)
      << result.out;
  EXPECT_EQ(ReadFile(temp_ / "fs3/dst/a.txt"), "payload");
  const DescriptorParts copy = ReadDescriptor(temp_ / "fs3/dst/a.txt");
  EXPECT_EQ(copy.owner, Sid(Wide(Rid(kNewCorp, 2202))));  // the revoked owner gave way
  EXPECT_EQ(copy.dacl,
            Allowed({{kFull, Rid(kNewCorp, 2205)}, {kRead, Rid(kFs3, 1010)}, {kRead, kEveryone}}));

  // A record in error is reported with its line and skipped; the others
  // still load, and the exit code tells the run was not all the map asked.
  WriteFile(temp_ / "bad.txt", map + "\r\nENUM_TYPE\r\nuser,CORP,CORP\\nobody,S-1-1-0\r\n");
  result = Run("dst2", "bad.txt");
  EXPECT_EQ(result.exitCode, 2) << result.out;
  EXPECT_EQ(
      Count(result.out, "ERROR : Line 9 : Unknown account CORP\\nobody on Source server \\\\FS1\n"),
      1u)
      << result.out;
  EXPECT_EQ(ReadDescriptor(temp_ / "fs3/dst2/a.txt").dacl, copy.dacl);

  // A map that cannot be opened stops the run before anything is copied.
  result = Run("dst3", "missing.txt");
  EXPECT_EQ(result.exitCode, 8) << result.out;
  for (const char* message :
       {"Unable to open for read C:\\missing.txt file\n",
        "WARNING : Unable to load the sid map file C:\\missing.txt\n",
        "WARNING : Unable to initialize the Security Descriptor translator\n"}) {
    EXPECT_EQ(Count(result.out, message), 1u) << message << result.out;
  }
  EXPECT_FALSE(fs::exists(temp_ / "fs3/dst3/a.txt"));

  // So does one that fails part way: a map read in part is no map.
  WriteFile(temp_ / "unreadable.txt", map);
  result = Run("dst4", "unreadable.txt");
  EXPECT_EQ(result.exitCode, 8) << result.out;
  EXPECT_EQ(Count(result.out, "ERROR (23) : Unable to read C:\\unreadable.txt file\n"), 1u)
      << result.out;
  EXPECT_FALSE(fs::exists(temp_ / "fs3/dst4/a.txt"));
}

}  // namespace
}  // namespace tarvik
