#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "e2e_support.h"

namespace tarvik {
namespace {

class CommandLineE2eTest : public ::testing::Test {
 protected:
  // Runs the program and expects it to print the golden section on
  // standard output, nothing on standard error, and to end with 8.
  void ExpectRun(const std::vector<std::string>& args, const std::string& section) {
    RunResult result = RunProgram(args);
    EXPECT_EQ(golden_.Mismatch(section, result.out, temp_.path()), "") << section;
    EXPECT_EQ(result.err, "") << section;
    EXPECT_EQ(result.exitCode, 8) << section;
  }

  Golden golden_;
  TempDir temp_;
};

TEST_F(CommandLineE2eTest, RefusesPositionalArguments) {
  ExpectRun({}, "missing_arguments");
  ExpectRun({"/srv/a"}, "missing_arguments");
  ExpectRun({"/srv/*", "/srv/b"}, "srcdir_wildcard");
  ExpectRun({"/srv/a", "/srv/b?"}, "destdir_wildcard");
  ExpectRun({"/srv/a", "/srv/a", "/s"}, "equal_directories");
}

TEST_F(CommandLineE2eTest, ReportsParserErrors) {
  const std::string src = temp_ / "src", dst = temp_ / "dst";
  ExpectRun({src, dst, "/r:5", "6"}, "not_an_option");
  ExpectRun({src, dst, "/s:1"}, "unknown_switch");
  ExpectRun({src, dst, "/xf:*.tmp"}, "unknown_list_switch_value");
  ExpectRun({src, dst, "/xf", "/s"}, "missing_value");
  std::vector<std::string> many = {src, dst, "/xf"};
  many.insert(many.end(), 1001, "*.tmp");
  ExpectRun(many, "too_many_values");
  ExpectRun({src, dst, "/r:5x"}, "retry_syntax");
  ExpectRun({src, dst, "/w:-1"}, "wait_syntax");
  ExpectRun({src, dst, "/th:x"}, "thread_syntax");
  ExpectRun({src, dst, "/trfwindow:-5"}, "window_syntax");
  ExpectRun({src, dst, "/lev:0"}, "level_syntax");
  ExpectRun({src, dst, "/localsidsource:S-1-5-15-xyz"}, "local_sid_syntax");
}

TEST_F(CommandLineE2eTest, ReportsValidationErrors) {
  const std::string src = temp_ / "src", dst = temp_ / "dst";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"/stream", "/create"}, "stream_create"},
      {{"/th:0"}, "thread_range"},
      {{"/th:257"}, "thread_range"},
      {{"/cm:sha1"}, "check_content_mode"},
      {{"/compress:file"}, "compress_mode"},
      {{"/ondiskfull:wait,101"}, "disk_full_mode"},
      {{"/backupSD", "/restoreSD"}, "backup_restore"},
      {{"/nosec", "/secforce"}, "nosec_secforce"},
      {{"/nosec", "/secmerge"}, "nosec_secmerge"},
      {{"/nosec", "/secfix", "/dac"}, "nosec_secfix"},
      {{"/nosec", "/dac"}, "nosec_dac"},
      {{"/secforce", "/secfix"}, "secforce_secfix"},
      {{"/d", "/de"}, "newer_different"},
      {{"/hda:DOM\\user", "/restoreSD"}, "home_dir_exclusive"},
  };
  for (const auto& [switches, section] : cases) {
    std::vector<std::string> args = {src, dst};
    args.insert(args.end(), switches.begin(), switches.end());
    ExpectRun(args, section);
  }
}

TEST_F(CommandLineE2eTest, AcceptedCommandLinesStopAtAMissingSource) {
  ExpectRun({temp_ / "src", temp_ / "dst", "a*.txt", "/s", "/th:256", "/r:0", "/w:0"}, "accepted");
  ExpectRun({temp_ / "src", temp_ / "SRC"}, "accepted");
  ExpectRun({temp_ / "src", temp_ / "dst", "/backupSD", "/secfix"}, "security_only_warning");
}

TEST_F(CommandLineE2eTest, UsageTextReachesTheLogFile) {
  const std::string log = temp_ / "run.log";
  ExpectRun({temp_ / "src", temp_ / "dst", "/th:0", "/log:" + log}, "thread_range");
  EXPECT_EQ(golden_.Mismatch("thread_range", ReadFile(log)), "");

  // /log erases, /log+ appends.
  WriteFile(log, "earlier run\n");
  ExpectRun({temp_ / "src", temp_ / "dst", "/th:0", "/log+:" + log}, "thread_range");
  EXPECT_EQ(golden_.Mismatch("log_appended", ReadFile(log)), "");
  ExpectRun({temp_ / "src", temp_ / "dst", "/th:0", "/log:" + log}, "thread_range");
  EXPECT_EQ(golden_.Mismatch("thread_range", ReadFile(log)), "");
}

TEST_F(CommandLineE2eTest, AcceptedRunWritesItsLogFile) {
  const std::string log = temp_ / "run.log";
  ExpectRun({temp_ / "src", temp_ / "dst", "/log:" + log}, "accepted");
  EXPECT_EQ(golden_.Mismatch("accepted", ReadFile(log), temp_.path()), "");
}

TEST_F(CommandLineE2eTest, UnopenableLogFileIsACommandLineError) {
  ExpectRun({temp_ / "src", temp_ / "dst", "/log:" + (temp_ / "missing/run.log")},
            "log_open_failure");
}

TEST_F(CommandLineE2eTest, ProgramNamedXcopySelectsTheXcopyFrontEnd) {
  const std::string link = temp_ / "XCopy.exe";
  ASSERT_EQ(symlink(BinaryPath().c_str(), link.c_str()), 0);
  RunOptions options;
  options.program = link;
  RunResult result = RunProgram({}, options);
  EXPECT_EQ(golden_.Mismatch("xcopy_missing_arguments", result.out), "");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exitCode, 8);

  // Only the last component counts.
  const std::string dir = temp_ / "xcopy";
  ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
  ASSERT_EQ(symlink(BinaryPath().c_str(), (dir + "/tarvik").c_str()), 0);
  options.program = dir + "/tarvik";
  result = RunProgram({}, options);
  EXPECT_EQ(golden_.Mismatch("missing_arguments", result.out), "");
}

TEST_F(CommandLineE2eTest, ClientOsLineNamesTheWorldsSystem) {
  const std::string world = temp_ / "world.json";
  RunOptions options;
  options.environment["TARVIK_WORLD"] = world;
  const std::pair<std::string, std::string> cases[] = {
      {R"("os": {"version": "5.2", "build": 3790, "service_pack": "Service Pack 2",
                 "suite_mask": 128, "processor_architecture": "amd64", "server_r2": true})",
       "Microsoft Windows Server 2003 R2, Datacenter x64 Edition Service Pack 2 (build 3790)\n"},
      {R"("os": {"version": "6.1", "build": 7601, "product_type": "workstation",
                 "product_info": 1, "processor_architecture": "intel"})",
       "Microsoft Windows Seven Ultimate Edition, 32-bit (build 7601)\n"},
      {R"("os": {"version": "6.3", "build": 9600})", "Microsoft  (build 9600)\n"},
      {R"("faults": [{"call": "GetVersionExW", "error": 5}])", "Unknown, assuming a WIN2K OS\n"},
  };
  for (const auto& [json, line] : cases) {
    WriteFile(world, "{" + json + "}");
    RunResult result = RunProgram({temp_ / "src", temp_ / "dst"}, options);
    EXPECT_EQ(result.exitCode, 8);
    EXPECT_EQ(Count(result.out, "\nClient OS                   : " + line), 1u) << result.out;
  }
}

TEST_F(CommandLineE2eTest, BadWorldFileStopsBeforeAnyOutput) {
  const std::string world = temp_ / "world.json";
  RunOptions options;
  options.environment["TARVIK_WORLD"] = world;

  WriteFile(world, "{ \"computer\": ");
  RunResult result = RunProgram({"src", "dst"}, options);
  EXPECT_EQ(result.exitCode, 8);
  EXPECT_EQ(result.out, "");
  ASSERT_FALSE(result.err.empty());
  EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;

  WriteFile(world, "{ \"computer\": \"HOST\", \"colour\": \"blue\" }");
  result = RunProgram({"src", "dst"}, options);
  EXPECT_EQ(result.exitCode, 8);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
  EXPECT_NE(result.err.find("colour"), std::string::npos) << result.err;

  // Not a file, endless, nested without end: one line each, before any work.
  WriteFile(world, "{\"servers\": " + std::string(100000, '[') + std::string(100000, ']') + "}");
  for (const std::string& path : {temp_.path(), std::string("/dev/zero"), world}) {
    options.environment["TARVIK_WORLD"] = path;
    result = RunProgram({"src", "dst"}, options);
    EXPECT_EQ(result.exitCode, 8) << path;
    EXPECT_EQ(result.out, "") << path;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
  }

  // An empty TARVIK_WORLD means the default world.
  options.environment["TARVIK_WORLD"] = "";
  result = RunProgram({}, options);
  EXPECT_EQ(golden_.Mismatch("missing_arguments", result.out), "");
}

}  // namespace
}  // namespace tarvik
