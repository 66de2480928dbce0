// A migration between shares of a live Samba server (samba_server.h): what
// smbd wrote through SMB (descriptors as xattr_NTACL v3 and v4, attributes
// as DOSATTRIB v5, times, streams) is carried by the built program, and
// smbd serves what the program wrote exactly as it served the source, to
// smbcacls, smbclient and Samba's python client. Objects without a stored
// descriptor keep the access smbd showed for them, and a user who is no
// administrator may write where the migrated NT ACL lets them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "samba_server.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;

const std::string kMachine = "S-1-5-21-1111-2222-3333";
const std::string kAdmin = kMachine + "-1000";  // root
const std::string kUser = kMachine + "-1001";   // tvuser, no administrator
constexpr uint32_t kUserUid = 54321;
constexpr uint32_t kOwnerUid = 54322;  // host owner of the objects without descriptor
constexpr uint32_t kOwnerGid = 54323;

// Samba's python client: "<path> <SDDL>" for each path of the share, with
// the SACL; or, with "set", sets each path's descriptor from its SDDL.
constexpr const char* kDescriptors = R"(import sys
from samba.samba3 import libsmb_samba_internal as libsmb
from samba.samba3 import param as s3param
from samba import credentials
from samba.dcerpc import security
config, share, action = sys.argv[1:4]
lp = s3param.get_context()
lp.load(config)
creds = credentials.Credentials()
creds.guess(lp)
creds.set_username("root")
creds.set_password("rootpw")
conn = libsmb.Conn("127.0.0.1", share, lp, creds)
parts = (security.SECINFO_OWNER | security.SECINFO_GROUP | security.SECINFO_DACL |
         security.SECINFO_SACL)
access = security.SEC_FLAG_MAXIMUM_ALLOWED | security.SEC_FLAG_SYSTEM_SECURITY
args = sys.argv[4:]
for i in range(0, len(args), 2 if action == "set" else 1):
    f = conn.create(args[i], DesiredAccess=access, ShareAccess=7)
    if action == "set":
        sd = security.descriptor.from_sddl(args[i + 1], security.dom_sid("S-1-5-21-1111-2222-3333"))
        conn.set_sd(f, sd, parts)
    else:
        print(args[i], conn.get_sd(f, parts).as_sddl())
    conn.close(f)
)";

// The descriptors Samba's clients write on the source.
const std::vector<std::pair<std::string, std::string>> kWritten = {
    {"docs", "O:" + kUser + "G:BUD:P(A;OICI;0x001f01ff;;;" + kUser +
                 ")(A;OICI;0x001200a9;;;WD)S:(AU;OICIFA;0x001f01ff;;;WD)"},
    {"docs/report.txt", "O:" + kUser + "G:BUD:P(A;;0x001f01ff;;;" + kUser +
                            ")(A;;0x001200a9;;;WD)S:(AU;FA;0x001f01ff;;;WD)"},
    {"docs/notes.txt", "O:" + kUser + "G:BUD:P(A;;0x001f01ff;;;" + kUser + ")(A;;0x001200a9;;;WD)"},
    {"docs/locked.txt",
     "O:" + kAdmin + "G:BUD:P(A;;0x001f01ff;;;" + kAdmin + ")(A;;0x001200a9;;;" + kUser + ")"},
};

// Objects made on the host, without descriptor, and their modes.
const std::vector<std::pair<std::string, mode_t>> kHostMade = {
    {"f644", 0644}, {"f640", 0640}, {"f600", 0600}, {"f666", 0666}, {"f755", 0755}, {"f460", 0460},
    {"f000", 0000}, {"d755", 0755}, {"d750", 0750}, {"d777", 0777}, {"d700", 0700}, {"d570", 0570}};

std::string Quoted(const std::string& text) {
  return "'" + text + "'";
}

std::string Joined(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words)
    text += " " + Quoted(word);
  return text;
}

// Lines of text holding any of the parts.
std::string LinesWith(const std::string& text, const std::vector<std::string>& parts) {
  std::istringstream lines(text);
  std::string line, kept;
  while (std::getline(lines, line)) {
    for (const std::string& part : parts) {
      if (line.find(part) != std::string::npos) {
        kept += line + "\n";
        break;
      }
    }
  }
  return kept;
}

std::string Attribute(const std::string& path, const char* name) {
  std::string value(65536, '\0');
  const ssize_t size = getxattr(path.c_str(), name, value.data(), value.size());
  value.resize(size < 0 ? 0 : static_cast<size_t>(size));
  return value;
}

mode_t Mode(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

class SambaE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string why = SambaServer::Unavailable();
    if (!why.empty())
      GTEST_SKIP() << "no private Samba server: " << why;
    // The server's users reach the shares through the test's directory,
    // and the host modes of new objects follow the usual umask.
    ASSERT_EQ(chmod(temp_.path().c_str(), 0755), 0);
    umask(022);
    for (const char* dir : {"samba", "src", "srci", "dst", "plain"})
      fs::create_directories(temp_ / dir);
    server_ = std::make_unique<SambaServer>(
        temp_ / "samba", kMachine,
        std::vector<SambaShare>{{"src", temp_ / "src", false},
                                {"srci", temp_ / "srci", true},
                                {"dst", temp_ / "dst", true},
                                {"plain", temp_ / "plain", true}},
        std::vector<SambaUser>{{"root", 0, 1000, "rootpw"}, {"tvuser", kUserUid, 1001, "userpw"}});
    ASSERT_EQ(server_->error(), "");
    WriteFile(temp_ / "world.json", R"({
      "computer": "FS1",
      "servers": [{"name": "FS1", "sid": ")" +
                                        kMachine + R"(",
        "shares": [{"name": "src", "path": "src"},
                   {"name": "srci", "path": "srci", "volume": {"ignore_system_acls": true}},
                   {"name": "dst", "path": "dst", "volume": {"ignore_system_acls": true}},
                   {"name": "plain", "path": "plain"}],
        "local_users": [{"name": "root", "rid": 1000}, {"name": "tvuser", "rid": 1001}]}],
      "token": {"user": "FS1\\root",
                "privileges": ["SeBackupPrivilege", "SeRestorePrivilege", "SeSecurityPrivilege"]}
    })");
    WriteFile(temp_ / "descriptors.py", kDescriptors);
  }

  // Runs a client command in the server's network; fails the test unless
  // it succeeds.
  std::string Client(const std::string& command) {
    RunResult result = server_->Run(command);
    EXPECT_EQ(result.exitCode, 0) << command << "\n" << result.out << result.err;
    return result.out;
  }

  std::string SmbclientCommand(const std::string& share, const std::string& commands,
                               const std::string& user) {
    return "smbclient -s " + server_->config() + " //127.0.0.1/" + share + " -U " + user + " -c " +
           Quoted(commands) + " 2>&1";
  }

  std::string Smbclient(const std::string& share, const std::string& commands,
                        const std::string& user = "root%rootpw") {
    return Client(SmbclientCommand(share, commands, user));
  }

  // What smbclient says of a write that must fail.
  std::string RefusedWrite(const std::string& share, const std::string& path) {
    RunResult result = server_->Run(
        SmbclientCommand(share, "put " + temp_ / "edit.txt" + " " + path, "tvuser%userpw"));
    EXPECT_NE(result.exitCode, 0) << result.out;
    return result.out;
  }

  // "<path> <SDDL>" lines for the paths of the share, through Samba's python client.
  std::string Descriptors(const std::string& share, const std::vector<std::string>& paths) {
    return Client("/usr/bin/python3 " + temp_ / "descriptors.py" + " " + server_->config() + " " +
                  share + " get" + Joined(paths));
  }

  // The program migrating \\FS1\<from> to \\FS1\<to>.
  RunResult Migrate(const std::string& from, const std::string& to) {
    RunOptions options;
    options.environment["TARVIK_WORLD"] = temp_ / "world.json";
    return RunProgram(
        {"\\\\FS1\\" + from, "\\\\FS1\\" + to, "/s", "/o", "/a", "/stream", "/r:0", "/w:0"},
        options);
  }

  // Makes the objects of kHostMade in dir, owned by an account Samba does not know.
  void MakeHostObjects(const std::string& dir) {
    for (const auto& [name, mode] : kHostMade) {
      const std::string path = dir + "/" + name;
      if (name[0] == 'd')
        fs::create_directory(path);
      else
        WriteFile(path, name);
      ASSERT_EQ(chmod(path.c_str(), mode), 0);
      ASSERT_EQ(chown(path.c_str(), kOwnerUid, kOwnerGid), 0);
    }
  }

  TempDir temp_;
  std::unique_ptr<SambaServer> server_;
};

TEST_F(SambaE2eTest, SambaServesTheMigratedTreeAsItServedTheSource) {
  // Samba's clients write the source: data, a stream, attributes, times and
  // descriptors with owner, group and SACL.
  WriteFile(temp_ / "report.txt", "quarterly figures");
  WriteFile(temp_ / "summary.txt", "in short");
  WriteFile(temp_ / "edit.txt", "edited by the user");
  Smbclient("src", "mkdir docs; put " + temp_ / "report.txt" + " docs/report.txt; put " +
                       temp_ / "summary.txt" + " docs/report.txt:summary; put " +
                       temp_ / "report.txt" + " docs/locked.txt; put " + temp_ / "report.txt" +
                       " docs/notes.txt");
  std::vector<std::string> set_args;
  for (const auto& [path, sddl] : kWritten)
    set_args.insert(set_args.end(), {path, sddl});
  Client("/usr/bin/python3 " + temp_ / "descriptors.py" + " " + server_->config() + " src set" +
         Joined(set_args));
  Smbclient("src",
            "setmode docs/report.txt +h; "
            "utimes docs/report.txt 2020:01:02-03:04:05 -1 2021:05:06-07:08:09 -1");
  Smbclient("srci", "put " + temp_ / "report.txt" + " report.txt");
  Client("/usr/bin/python3 " + temp_ / "descriptors.py" + " " + server_->config() + " srci set" +
         Joined({"report.txt", kWritten[1].second}));
  // Samba's own formats: NTACL v4, and v3 where system ACLs are ignored; DOSATTRIB v5.
  EXPECT_EQ(Attribute(temp_ / "src/docs/report.txt", "security.NTACL").substr(0, 2),
            std::string("\4\0", 2));
  EXPECT_EQ(Attribute(temp_ / "srci/report.txt", "security.NTACL").substr(0, 2),
            std::string("\3\0", 2));
  EXPECT_EQ(Attribute(temp_ / "src/docs/report.txt", "user.DOSATTRIB").substr(2, 3),
            std::string("\5\0\5", 3));
  MakeHostObjects(temp_ / "src");
  MakeHostObjects(temp_ / "srci");

  for (const auto& [from, to] : {std::pair{"src", "dst\\from_src"}, {"srci", "dst\\from_srci"}}) {
    RunResult run = Migrate(from, to);
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  }

  // Every descriptor is served as it was on the source: those Samba wrote,
  // and those it made from the mode (mapped, and where system ACLs are
  // ignored).
  std::vector<std::string> paths;
  for (const auto& [path, sddl] : kWritten)
    paths.push_back(path);
  for (const auto& [name, mode] : kHostMade)
    paths.push_back(name);
  std::vector<std::string> migrated;
  for (const std::string& path : paths)
    migrated.push_back("from_src/" + path);
  for (const auto& [name, mode] : kHostMade)
    migrated.push_back("from_srci/" + name);
  std::string expected =
      Descriptors("src", paths) +
      Descriptors("srci", std::vector<std::string>(paths.begin() + kWritten.size(), paths.end()));
  std::string served = Descriptors("dst", migrated);
  for (const std::string prefix : {"from_src/", "from_srci/"}) {
    for (size_t at = served.find(prefix); at != std::string::npos; at = served.find(prefix, at))
      served.erase(at, prefix.size());
  }
  EXPECT_EQ(served, expected);
  for (const auto& [path, sddl] : kWritten)
    EXPECT_EQ(Count(expected, path + " " + sddl + "\n"), 1u) << path << "\n" << expected;
  const std::string owner =
      "O:S-1-22-1-" + std::to_string(kOwnerUid) + "G:S-1-22-2-" + std::to_string(kOwnerGid);
  const std::string mapped = "f640 " + owner +
                             "D:(A;;0x001f019f;;;S-1-22-1-54322)(A;;0x00120089;;;" +
                             "S-1-22-2-54323)(A;;;;;WD)\n";
  const std::string synthesised = "f640 " + owner +
                                  "D:(A;;0x001f01ff;;;S-1-22-1-54322)(A;;0x001200a9;;;" +
                                  "S-1-22-2-54323)(A;;0x001f01ff;;;SY)\n";
  EXPECT_EQ(Count(expected, mapped), 1u) << expected;
  EXPECT_EQ(Count(expected, synthesised), 1u) << expected;
  EXPECT_EQ(Descriptors("dst", {"from_srci/report.txt"}),
            "from_srci/report.txt " + kWritten[1].second + "\n");

  // smbcacls reads the SACL with the security privilege; smbclient finds
  // data, stream, attributes and times.
  EXPECT_EQ(LinesWith(Client("smbcacls -s " + server_->config() +
                             " //127.0.0.1/dst -U root%rootpw from_src/docs/report.txt --sddl "
                             "--query-security-info=15 --domain-sid=S-1-5-21-9-9-9 2>&1"),
                      {"O:"}),
            kWritten[1].second + "\n");
  const std::vector<std::string> info = {"create_time", "write_time", "attributes", "stream:"};
  const std::string source_info = LinesWith(Smbclient("src", "allinfo docs/report.txt"), info);
  EXPECT_EQ(source_info,
            "create_time:    Thu Jan  2 03:04:05 2020 UTC\n"
            "write_time:     Thu May  6 07:08:09 2021 UTC\n"
            "attributes: HA (22)\n"
            "stream: [:summary:$DATA], 8 bytes\n"
            "stream: [::$DATA], 17 bytes\n");
  EXPECT_EQ(LinesWith(Smbclient("dst", "allinfo from_src/docs/report.txt"), info), source_info);
  Smbclient("dst", "get from_src/docs/report.txt:summary " + temp_ / "got_stream" +
                       "; get from_src/docs/report.txt " + temp_ / "got_data");
  EXPECT_EQ(ReadFile(temp_ / "got_stream"), "in short");
  EXPECT_EQ(ReadFile(temp_ / "got_data"), "quarterly figures");

  // The migrated tree is open on the host to what the NT ACL grants: a user
  // who is no administrator writes where it lets them, and only there.
  EXPECT_EQ(Mode(temp_ / "dst/from_src/docs"), 0777u);
  EXPECT_EQ(Mode(temp_ / "dst/from_src/docs/report.txt"), 0666u);
  const std::string user = "tvuser%userpw";
  Smbclient("dst",
            "put " + temp_ / "edit.txt" + " from_src/docs/notes.txt; put " + temp_ / "edit.txt" +
                " from_src/docs/new.txt; mkdir from_src/docs/newdir",
            user);
  EXPECT_EQ(ReadFile(temp_ / "dst/from_src/docs/notes.txt"), "edited by the user");
  EXPECT_EQ(ReadFile(temp_ / "dst/from_src/docs/new.txt"), "edited by the user");
  EXPECT_TRUE(fs::is_directory(temp_ / "dst/from_src/docs/newdir"));
  const std::string denied = "NT_STATUS_ACCESS_DENIED";
  EXPECT_EQ(Count(RefusedWrite("dst", "from_src/docs/locked.txt"), denied), 1u);
  EXPECT_EQ(ReadFile(temp_ / "dst/from_src/docs/locked.txt"), "quarterly figures");

  // Without the setting the host modes of the umask refuse the same write.
  RunResult run = Migrate("src", "plain\\from_src");
  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_EQ(Mode(temp_ / "plain/from_src/docs/notes.txt"), 0644u);
  EXPECT_EQ(Count(RefusedWrite("plain", "from_src/docs/notes.txt"), denied), 1u);
}

}  // namespace
}  // namespace tarvik
