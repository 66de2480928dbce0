// Copies of real trees by the built program: data, times, attributes, links,
// the output and the exit code, with faults injected through a world file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <thread>

#include "e2e_support.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kReadOnly = 0x1;
constexpr uint32_t kHidden = 0x2;
constexpr uint32_t kArchive = 0x20;

// A host time with a fraction the NT time keeps (100 ns).
timespec Time(int64_t seconds, long hundreds_of_ns = 0) {
  return timespec{static_cast<time_t>(seconds), hundreds_of_ns * 100};
}

void SetTimes(const std::string& path, timespec time) {
  const timespec times[2] = {time, time};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

timespec ModificationTime(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
  return info.st_mtim;
}

void MakeFile(const std::string& path, const std::string& bytes, timespec time) {
  fs::create_directories(fs::path(path).parent_path());
  WriteFile(path, bytes);
  SetTimes(path, time);
}

// The attributes kept in user.DOSATTRIB (version 5: they sit at offset 12).
std::optional<uint32_t> DosAttributes(const std::string& path) {
  char value[64];
  ssize_t size = getxattr(path.c_str(), "user.DOSATTRIB", value, sizeof(value));
  if (size < 16)
    return std::nullopt;
  uint32_t attributes = 0;
  std::memcpy(&attributes, value + 12, 4);
  return attributes;
}

void SetDosAttributes(const std::string& path, uint32_t attributes) {
  std::string value = {'\0', '\0', 5, 0, 5, 0, 0, 0, 0x01, 0, 0, 0};  // valid: attributes
  value.append(reinterpret_cast<const char*>(&attributes), 4);
  value.append(8, '\0');
  ASSERT_EQ(setxattr(path.c_str(), "user.DOSATTRIB", value.data(), value.size(), 0), 0);
}

std::string LinkText(const std::string& path) {
  char target[512] = {};
  ssize_t size = readlink(path.c_str(), target, sizeof(target) - 1);
  return size > 0 ? std::string(target, size) : std::string();
}

bool SameTime(timespec a, timespec b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec / 100 == b.tv_nsec / 100;
}

class CopyE2eTest : public ::testing::Test {
 protected:
  // A world whose drive C: is the temporary directory, with fixed volume
  // figures so that the report is the same on every machine, and the given
  // faults.
  RunOptions World(const std::string& faults = "[]") {
    const std::string file = temp_ / "world.json";
    WriteFile(file, R"({"computer": "E2EPC", "drives": {"C:": {"path": ")" + temp_.path() +
                        R"(", "volume": {"total_bytes": 10737418240, "free_bytes": 5368709120}}},
                       "faults": )" +
                        faults + "}");
    RunOptions options;
    options.environment["TARVIK_WORLD"] = file;
    return options;
  }

  // The tree every copy test starts from; returns the number of data bytes.
  size_t MakeTree() {
    const std::string src = temp_ / "src";
    size_t bytes = 0;
    auto file = [&](const std::string& name, const std::string& data, timespec time) {
      MakeFile(src + "/" + name, data, time);
      bytes += data.size();
    };
    file("zero", "", Time(1000000000));
    file("one.bin", "1", Time(1100000000, 1234567));
    file("just_above_64k.bin", RandomBytes(65537, 1), Time(1200000000, 7));
    file("sub/several_mib.bin", RandomBytes(5 * 1048576 + 3, 2), Time(1300000000, 99));
    file("sub/deeper/deepest/leaf.txt", "leaf", Time(1400000000));
    file("caf\xc3\xa9_\xc3\xbc_\xe6\x97\xa5\xe6\x9c\xac.txt", "non-ASCII", Time(1500000000));
    file("MiXeD.TxT", "mixed case", Time(1500000001));
    file("a:b?c*.txt", "forbidden characters", Time(1500000002));
    file("hidden.txt", "hidden and read-only", Time(1500000003));
    SetDosAttributes(src + "/hidden.txt", kHidden | kReadOnly | kArchive);
    fs::create_directories(src + "/empty");
    fs::create_directories(src + "/sub/empty too");
    EXPECT_EQ(symlink("sub/deeper/deepest/leaf.txt", (src + "/link_to_file").c_str()), 0);
    EXPECT_EQ(symlink("sub/deeper", (src + "/link_to_dir").c_str()), 0);
    return bytes;
  }

  // Every file, directory and link of the source has its copy in dst.
  void ExpectSameTree(const std::string& dst) {
    const fs::path src = temp_ / "src";
    for (auto it = fs::recursive_directory_iterator(src); it != fs::end(it); ++it) {
      const fs::path relative = it->path().lexically_relative(src);
      const std::string from = it->path().string();
      const std::string to = (fs::path(dst) / relative).string();
      SCOPED_TRACE(relative.string());
      if (it->is_symlink()) {
        EXPECT_TRUE(fs::is_symlink(to));
        EXPECT_EQ(LinkText(to), LinkText(from));
        EXPECT_TRUE(SameTime(ModificationTime(to), ModificationTime(from)));
        continue;
      }
      ASSERT_TRUE(fs::exists(to));
      if (it->is_directory()) {
        EXPECT_TRUE(fs::is_directory(to));
        continue;
      }
      EXPECT_EQ(ReadFile(to), ReadFile(from));
      EXPECT_TRUE(SameTime(ModificationTime(to), ModificationTime(from)));
      const uint32_t expected = DosAttributes(from).value_or(kArchive);
      EXPECT_EQ(DosAttributes(to).value_or(0) & (kReadOnly | kHidden | kArchive),
                expected & (kReadOnly | kHidden | kArchive));
    }
  }

  Golden golden_;
  TempDir temp_;
};

TEST_F(CopyE2eTest, CopiesARealTreeWithOneWorker) {
  const size_t bytes = MakeTree();
  RunResult result =
      RunProgram({"C:\\src", "C:\\dst", "/s", "/nosec", "/th:1", "/r:0", "/w:0"}, World());
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(result.err, "");
  ExpectSameTree(temp_ / "dst");
  EXPECT_EQ(golden_.Mismatch("tree_copy_one_worker", result.out, temp_.path()), "") << result.out;
  EXPECT_EQ(bytes, 5 * 1048576 + 3 + 65537 + 1 + 4 + 9 + 10 + 20 + 20);
}

TEST_F(CopyE2eTest, CopiesARealTreeWithTheDefaultWorkersAndDirectoryDates) {
  MakeTree();
  const std::string src = temp_ / "src";
  for (const char* dir : {"", "/sub", "/sub/deeper", "/sub/deeper/deepest", "/empty"})
    SetTimes(src + dir, Time(1234567890, 5));
  RunResult result = RunProgram({"C:\\src", "C:\\dst", "/s", "/nosec", "/sdd"}, World());
  EXPECT_EQ(result.exitCode, 0) << result.out;
  ExpectSameTree(temp_ / "dst");
  for (const char* dir : {"", "/sub", "/sub/deeper", "/sub/deeper/deepest", "/empty"}) {
    SCOPED_TRACE(dir);
    EXPECT_TRUE(SameTime(ModificationTime(temp_.path() + "/dst" + dir), Time(1234567890, 5)));
  }
  EXPECT_NE(result.out.find("File(s) copied                            : 9\n"), std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("Directory(ies) created                    : 6\n"), std::string::npos);
  EXPECT_NE(result.out.find("Number of file(s) symlink                 : 1\n"), std::string::npos);
  EXPECT_NE(result.out.find("Number of directory(ies) symlink          : 1\n"), std::string::npos);

  // A second run with /d finds nothing to do.
  result = RunProgram({"C:\\src", "C:\\dst", "/s", "/nosec", "/d"}, World());
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_NE(result.out.find("File(s) copied                            : 0\n"), std::string::npos)
      << result.out;
}

TEST_F(CopyE2eTest, TheDefaultRunCarriesTheSecurityDescriptors) {
  MakeFile(temp_ / "src/a.txt", "data", Time(1500000000));
  RunResult result = RunProgram({"C:\\src", "C:\\dst", "/s", "/r:0", "/w:0"}, World());
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(ReadFile(temp_ / "dst/a.txt"), "data");
  char value[256];
  EXPECT_GT(getxattr((temp_ / "dst/a.txt").c_str(), "security.NTACL", value, sizeof(value)), 0);
  EXPECT_EQ(Count(result.out, "not available"), 0u) << result.out;
}

TEST_F(CopyE2eTest, RetriesAFailingOpenAndEndsWithR0) {
  MakeFile(temp_ / "src/busy.txt", "busy", Time(1500000000));
  MakeFile(temp_ / "src/fine.txt", "fine", Time(1500000000));
  const std::string fault =
      R"([{"call": "CreateFileW", "path": "*\\dst\\busy.txt", "error": "ERROR_SHARING_VIOLATION",
          "count": 1}])";
  RunResult result =
      RunProgram({"C:\\src", "C:\\dst", "/s", "/nosec", "/r:2", "/w:0", "/th:1"}, World(fault));
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(ReadFile(temp_ / "dst/busy.txt"), "busy");
  EXPECT_EQ(Count(result.out,
                  "ERROR (32) : C:\\dst\\busy.txt -> Unable to open file, Retrying "
                  "in 0 seconds..."),
            1u)
      << result.out;

  // Without retries the file fails; /c goes on with the next one.
  fs::remove_all(temp_ / "dst");
  result = RunProgram({"C:\\src", "C:\\dst", "/s", "/nosec", "/r:0", "/w:0", "/th:1", "/c"},
                      World(fault));
  EXPECT_EQ(result.exitCode, 4) << result.out;
  EXPECT_FALSE(fs::exists(temp_ / "dst/busy.txt"));
  EXPECT_EQ(ReadFile(temp_ / "dst/fine.txt"), "fine");
  EXPECT_EQ(Count(result.out, "C:\\dst\\busy.txt -> Unable to open file\n"), 1u) << result.out;
  EXPECT_NE(result.out.find("Copy of File(s) failed                    : 1 !\n"),
            std::string::npos);
}

TEST_F(CopyE2eTest, NetworkErrorMidCopyRestartsIntoAnIdenticalFile) {
  const std::string data = RandomBytes(4 * 1048576 + 11, 3);
  MakeFile(temp_ / "src/remote.bin", data, Time(1500000000, 3));
  RunResult result = RunProgram({"C:\\src", "C:\\dst", "/s", "/nosec", "/r:3", "/w:0"},
                                World(R"([{"call": "ReadFile", "path": "*\\src\\remote.bin",
                 "error": "ERROR_NETNAME_DELETED", "count": 1, "after": 2}])"));
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(ReadFile(temp_ / "dst/remote.bin"), data);
  EXPECT_TRUE(SameTime(ModificationTime(temp_ / "dst/remote.bin"), Time(1500000000, 3)));
  EXPECT_EQ(Count(result.out, "ERROR (64) : C:\\src\\remote.bin -> unable to read file"), 1u)
      << result.out;
  EXPECT_EQ(Count(result.out, "C:\\src\\remote.bin Restarting the copy"), 1u);
}

TEST_F(CopyE2eTest, DiskFullAbortsOrIsRetried) {
  const std::string data = RandomBytes(2 * 1048576, 4);
  MakeFile(temp_ / "src/a_big.bin", data, Time(1500000000));
  MakeFile(temp_ / "src/z_after.txt", "after", Time(1500000000));
  const std::string fault = R"([{"call": "WriteFile", "path": "*\\dst\\a_big.bin",
                                 "error": "ERROR_DISK_FULL", "count": 1, "after": 1}])";
  RunResult result =
      RunProgram({"C:\\src", "C:\\dst", "/s", "/nosec", "/r:2", "/w:0", "/th:1"}, World(fault));
  EXPECT_EQ(result.exitCode & ~8, 4) << result.out;  // with 8 when the walk ends on the abort
  EXPECT_NE(result.out.find("ERROR (112) : C:\\dst\\a_big.bin -> No space left on device."),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("C:\\dst\\a_big.bin -> DELETED due to copy ABORT."), std::string::npos);
  EXPECT_FALSE(fs::exists(temp_ / "dst/a_big.bin"));
  EXPECT_FALSE(fs::exists(temp_ / "dst/z_after.txt"));  // the run stopped

  result = RunProgram(
      {"C:\\src", "C:\\dst", "/s", "/nosec", "/r:2", "/w:0", "/th:1", "/ondiskfull:retry"},
      World(fault));
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(ReadFile(temp_ / "dst/a_big.bin"), data);
  EXPECT_EQ(ReadFile(temp_ / "dst/z_after.txt"), "after");
  EXPECT_NE(result.out.find("ERROR (112) : C:\\dst\\a_big.bin -> unable to write file, Retrying "
                            "in 0 seconds..."),
            std::string::npos)
      << result.out;
}

TEST_F(CopyE2eTest, InterruptLeavesNoHalfCopiedFile) {
  // The second write of the big file fails and is retried after a long
  // wait; Ctrl-C during that wait ends the run.
  MakeFile(temp_ / "src/big.bin", RandomBytes(3 * 1048576, 5), Time(1500000000));
  RunningProgram program(
      {"C:\\src", "C:\\dst", "/s", "/nosec", "/r:5", "/w:30", "/th:1"},
      World(R"([{"call": "WriteFile", "path": "*\\dst\\big.bin", "error": "ERROR_WRITE_FAULT",
                 "count": 0, "after": 1}])"));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (program.OutputSoFar().find("Retrying in 30 seconds") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const auto interrupted = std::chrono::steady_clock::now();
  program.Interrupt();
  RunResult result = program.Wait();
  EXPECT_LT(std::chrono::steady_clock::now() - interrupted, std::chrono::seconds(5));
  EXPECT_EQ(result.exitCode & 4, 4) << result.out;
  EXPECT_NE(result.out.find("C:\\src\\big.bin -> copy ABORTED."), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("\nElapsed time: "), std::string::npos);
  EXPECT_FALSE(fs::exists(temp_ / "dst/big.bin"));
}

TEST_F(CopyE2eTest, KilledCopyLeavesTheRecoveryMarkAndTheNextRunRecopies) {
  const std::string data = RandomBytes(3 * 1048576, 6);
  MakeFile(temp_ / "src/big.bin", data, Time(1500000000));
  {
    RunningProgram program(
        {"C:\\src", "C:\\dst", "/s", "/nosec", "/r:5", "/w:30", "/th:1"},
        World(R"([{"call": "WriteFile", "path": "*\\dst\\big.bin", "error": "ERROR_WRITE_FAULT",
                   "count": 0, "after": 1}])"));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (program.OutputSoFar().find("Retrying in 30 seconds") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }  // killed without a chance to clean up
  // The partial file is there, with its final size reserved, marked as a
  // file whose writing has not ended (the sticky bit), with the last-write
  // time its writer set recorded: the recovery mark, 1970-02-24 19:01:00 UTC.
  ASSERT_TRUE(fs::exists(temp_ / "dst/big.bin"));
  struct stat partial {};
  ASSERT_EQ(stat((temp_ / "dst/big.bin").c_str(), &partial), 0);
  EXPECT_NE(partial.st_mode & S_ISVTX, 0u);
  uint64_t recorded = 0;
  EXPECT_EQ(
      getxattr((temp_ / "dst/big.bin").c_str(), "user.tarvik.pwt", &recorded, sizeof(recorded)), 8);
  EXPECT_EQ(recorded, 0x019DDCED2CE3FE00u);

  // Even a run that copies only newer files takes it again.
  RunResult result = RunProgram({"C:\\src", "C:\\dst", "/s", "/nosec", "/d"}, World());
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_NE(result.out.find("C:\\dst\\big.bin -> File will be recovered following posterior "
                            "copy failure"),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("File(s) recovered                         : 1\n"), std::string::npos);
  EXPECT_EQ(ReadFile(temp_ / "dst/big.bin"), data);
  EXPECT_TRUE(SameTime(ModificationTime(temp_ / "dst/big.bin"), Time(1500000000)));
}

TEST_F(CopyE2eTest, ListingReportsItsSwitchesAndWritesNothing) {
  MakeFile(temp_ / "src/a.txt", "x\n", Time(1500000000));
  MakeFile(temp_ / "src/b.tmp", "excluded by the name pattern", Time(1500000000));
  const std::string log = temp_ / "run.log";
  RunResult result = RunProgram(
      {"C:\\src",     "C:\\dst", "*.txt",  "/s",    "/nosec", "/xf",     "*.tmp",
       "a<b",         "/xd",     "Temp",   "Cache", "/l",     "/d",      "/compress:forcedir",
       "/th:8",       "/r:0",    "/w:0",   "/c",    "/sdd",   "/nocase", "/lev:3",
       "/log:" + log, "/tee",    "/dbgsys"},
      World());
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(golden_.Mismatch("listing_with_switches", result.out, temp_.path()), "") << result.out;
  EXPECT_EQ(golden_.Mismatch("listing_with_switches", ReadFile(log), temp_.path()), "");
  EXPECT_FALSE(fs::exists(temp_ / "dst"));
}

TEST_F(CopyE2eTest, MissingPrivilegesEndTheRunUnlessChecksAreOff) {
  MakeFile(temp_ / "src/a.txt", "data", Time(1500000000));
  const std::string file = temp_ / "world.json";
  WriteFile(file,
            R"({"computer": "E2EPC", "drives": {"C:": {"path": ")" + temp_.path() +
                R"("}}, "token": {"user": "Everyone", "privileges": ["SeBackupPrivilege"]}})");
  RunOptions options;
  options.environment["TARVIK_WORLD"] = file;
  RunResult result = RunProgram({"C:\\src", "C:\\dst", "/nosec"}, options);
  EXPECT_EQ(result.exitCode, 8) << result.out;
  EXPECT_NE(result.out.find("\"Restore files and directories\" privilege"), std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find(golden_.Expand("empty_copy_statistics")), std::string::npos);
  EXPECT_NE(result.out.find("\nElapsed time: "), std::string::npos);
  EXPECT_FALSE(fs::exists(temp_ / "dst"));

  result = RunProgram({"C:\\src", "C:\\dst", "/nosec", "/noprivchecks"}, options);
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_NE(result.out.find("Warning : setting privileges failed, some actions may failed.\n"
                            "Please check the log\n"),
            std::string::npos);
  EXPECT_EQ(ReadFile(temp_ / "dst/a.txt"), "data");
}

// A world with a file server FS1 (shares data and public, the latter also
// mapped as M: and remembered-but-disconnected as R:) and a server DOWN that
// does not answer.
RunOptions NetworkWorld(const TempDir& temp) {
  for (const char* dir : {"local", "srvdata/src/sub", "pub"})
    fs::create_directories(temp / dir);
  MakeFile(temp / "srvdata/src/a.txt", "hello", Time(1500000000, 1));
  MakeFile(temp / "srvdata/src/sub/b.txt", "deep", Time(1500000001, 2));
  const std::string file = temp / "world.json";
  WriteFile(file, R"({"computer": "E2EPC",
    "drives": {"C:": {"path": ")" +
                      temp.path() + R"(/local"},
               "M:": {"connection": {"remote": "\\\\FS1\\public"}},
               "R:": {"connection": {"remote": "\\\\FS1\\public", "connected": false},
                      "device": "\\Device\\LanmanRedirector\\;R:0000000000001234\\FS1\\public"}},
    "servers": [
      {"name": "FS1", "sid": "S-1-5-21-1-2-3", "comment": "file server", "shares": [
        {"name": "data", "path": ")" +
                      temp.path() + R"(/srvdata"},
        {"name": "public", "path": ")" +
                      temp.path() + R"(/pub",
         "volume": {"total_bytes": 1000000, "free_bytes": 500000}}]},
      {"name": "DOWN", "sid": "S-1-5-21-4-5-6", "reachable": false,
       "shares": [{"name": "x", "path": ")" +
                      temp.path() + R"(/pub"}]}]})");
  RunOptions options;
  options.environment["TARVIK_WORLD"] = file;
  return options;
}

TEST_F(CopyE2eTest, CopiesBetweenSharesAndMappedDrives) {
  const RunOptions world = NetworkWorld(temp_);
  // UNC source to a mapped drive, then to a remembered connection that is
  // resolved through the drive's device name.
  for (const char* target : {"M:\\copy", "R:\\again"}) {
    SCOPED_TRACE(target);
    RunResult result =
        RunProgram({"\\\\FS1\\data\\src", target, "/s", "/nosec", "/r:0", "/w:0"}, world);
    EXPECT_EQ(result.exitCode, 0) << result.out;
    EXPECT_NE(result.out.find("Server SRC                  : FS1             10.0 file server\n"
                              "Server DEST                 : FS1             10.0 file server\n"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("Available space on dest.    : 488 KB (500 000 Byte(s))\n"),
              std::string::npos);
    const std::string copy = temp_ / ("pub/" + std::string(target + 3));
    EXPECT_EQ(ReadFile(copy + "/a.txt"), "hello");
    EXPECT_EQ(ReadFile(copy + "/sub/b.txt"), "deep");
    EXPECT_TRUE(SameTime(ModificationTime(copy + "/sub/b.txt"), Time(1500000001, 2)));
  }
  // A mapped drive as the source, a UNC target.
  RunResult result =
      RunProgram({"M:\\copy", "\\\\FS1\\data\\back", "/s", "/nosec", "/r:0", "/w:0"}, world);
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(ReadFile(temp_ / "srvdata/back/sub/b.txt"), "deep");
}

TEST_F(CopyE2eTest, UnreachableServersAndUnknownSharesStopTheRun) {
  const RunOptions world = NetworkWorld(temp_);
  struct Case {
    const char* source;
    const char* target;
    const char* message;
  };
  const Case cases[] = {
      {"\\\\DOWN\\x\\src", "C:\\d",
       "ERROR (53) : \\\\DOWN\\x\\src is not an existing directory or it can't be accessed.\n"},
      {"\\\\NOSUCH\\data\\src", "C:\\d",
       "ERROR (53) : \\\\NOSUCH\\data\\src is not an existing directory or it can't be "
       "accessed.\n"},
      {"\\\\FS1\\nope\\src", "C:\\d",
       "ERROR (67) : \\\\FS1\\nope\\src is not an existing directory or it can't be accessed.\n"},
      {"\\\\FS1\\data\\src", "\\\\DOWN\\x\\d",
       "ERROR (53) : \\\\?\\UNC\\DOWN\\x\\d : Invalid Network path\n"},
      {"\\\\FS1\\data\\src", "\\\\FS1\\nope\\d",
       "ERROR (67) : \\\\?\\UNC\\FS1\\nope\\d : Invalid Network path\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.source) + " -> " + c.target);
    RunResult result = RunProgram({c.source, c.target, "/s", "/nosec", "/r:0", "/w:0"}, world);
    EXPECT_EQ(result.exitCode, 8) << result.out;
    EXPECT_EQ(Count(result.out, c.message), 1u) << result.out;
    EXPECT_EQ(result.out.find("Processing the copy"), std::string::npos);
    EXPECT_NE(result.out.find("File(s) copied                            : 0\n"),
              std::string::npos);
  }
  EXPECT_FALSE(fs::exists(temp_ / "local/d"));
  EXPECT_FALSE(fs::exists(temp_ / "pub/d"));
}

// Every file and directory under root, with its data and last-write time.
std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> tree;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::end(it); ++it) {
    const std::string relative = it->path().lexically_relative(root).string();
    const timespec time = ModificationTime(it->path().string());
    tree[relative] = (it->is_directory() ? std::string("<dir>") : ReadFile(it->path().string())) +
                     "@" + std::to_string(time.tv_sec) + "." + std::to_string(time.tv_nsec);
  }
  return tree;
}

TEST_F(CopyE2eTest, SourceAndTargetMustBeSeparateTrees) {
  MakeFile(temp_ / "src/a.txt", "alpha", Time(1500000000));
  MakeFile(temp_ / "src/sub/b.txt", "beta", Time(1500000001));
  const std::map<std::string, std::string> before = Snapshot(temp_ / "src");
  // C: and D: are the same host directory, and so is the share \\FS1\data.
  const std::string file = temp_ / "world.json";
  WriteFile(file, R"({"computer": "E2EPC",
    "drives": {"C:": {"path": ")" +
                      temp_.path() + R"("}, "D:": {"path": ")" + temp_.path() +
                      R"("}},
    "servers": [{"name": "FS1", "sid": "S-1-5-21-1-2-3",
                 "shares": [{"name": "data", "path": ")" +
                      temp_.path() + R"("}]}]})");
  RunOptions world;
  world.environment["TARVIK_WORLD"] = file;
  const std::string inside = ": the source and the destination must be different trees.\n";
  const std::string same = " are the same directory" + inside;
  struct Case {
    std::string source;
    std::string target;
    std::string message;
    bool host_world;  // the default world: host paths on Z:
  };
  const Case cases[] = {
      {temp_ / "src", temp_ / "src/", "and " + temp_.path() + "/src\\" + same, true},
      {"C:\\src", "C:\\src\\", "ERROR : C:\\src\\ and C:\\src\\" + same, false},
      {"C:\\src", "C:\\SRC", "C:\\src\\ and C:\\SRC\\" + same, false},
      {"C:\\src", "D:\\src", "C:\\src\\ and D:\\src\\" + same, false},
      {"C:\\src", "\\\\FS1\\data\\src", "C:\\src\\ and \\\\FS1\\data\\src\\" + same, false},
      {"C:\\src", "C:\\src\\sub",
       "The destination C:\\src\\sub\\ lies inside the source C:\\src\\" + inside, false},
      {"C:\\src", "D:\\SRC\\new\\deeper",
       "The destination D:\\SRC\\new\\deeper\\ lies inside the source C:\\src\\" + inside, false},
      {"C:\\src\\sub", "C:\\",
       "The source C:\\src\\sub\\ lies inside the destination C:\\" + inside, false},
      {"\\\\FS1\\data\\src\\sub", "D:\\src",
       "The source \\\\FS1\\data\\src\\sub\\ lies inside the destination D:\\src\\" + inside,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source + " -> " + c.target);
    RunResult result = RunProgram({c.source, c.target, "/s", "/nosec", "/purge", "/r:0", "/w:0"},
                                  c.host_world ? RunOptions() : world);
    EXPECT_EQ(result.exitCode, 8) << result.out;
    EXPECT_EQ(Count(result.out, c.message), 1u) << result.out;
    EXPECT_EQ(result.out.find("Processing the copy"), std::string::npos);
    EXPECT_EQ(Snapshot(temp_ / "src"), before);
  }
  // Two separate trees on the same volume are fine.
  RunResult result = RunProgram({"C:\\src", "D:\\dst", "/s", "/nosec", "/r:0", "/w:0"}, world);
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(ReadFile(temp_ / "dst/sub/b.txt"), "beta");
  EXPECT_EQ(Snapshot(temp_ / "src"), before);
}

TEST_F(CopyE2eTest, MissingSubTreesEndWithTheDataBit) {
  MakeFile(temp_ / "src/a.txt", "alpha", Time(1500000000));
  MakeFile(temp_ / "src/unreadable/b.txt", "beta", Time(1500000000));
  MakeFile(temp_ / "src/uncreatable/c.txt", "gamma", Time(1500000000));
  struct Case {
    std::string fault;
    std::string line;
  };
  const Case cases[] = {
      {R"([{"call": "FindFirstFileW", "path": "*\\src\\unreadable\\*", "error": "ERROR_ACCESS_DENIED",
           "count": 0}])",
       "Reading of Directory(ies) failed          : 1 !\n"},
      {R"([{"call": "CreateDirectoryW", "path": "*\\dst\\uncreatable*",
           "error": "ERROR_ACCESS_DENIED", "count": 0}])",
       "Creation of Directory(ies) failed         : 1 !\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    fs::remove_all(temp_ / "dst");
    RunResult result =
        RunProgram({"C:\\src", "C:\\dst", "/s", "/nosec", "/c", "/r:0", "/w:0"}, World(c.fault));
    EXPECT_EQ(result.exitCode, 4) << result.out;
    EXPECT_EQ(Count(result.out, c.line), 1u) << result.out;
    EXPECT_EQ(ReadFile(temp_ / "dst/a.txt"), "alpha");  // /c went on
  }
}

}  // namespace
}  // namespace tarvik
