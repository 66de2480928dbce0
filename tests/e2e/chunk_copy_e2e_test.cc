// The server-side copy (/chunk) run as a user would: between two shares of
// one server the server copies the data, elsewhere the data loop does, and
// a refused or failing request never loses a file or hides a failure.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;

constexpr size_t kMiB = 1048576;

std::string StatLine(const std::string& label, const std::string& value) {
  return label + std::string(42 - label.size(), ' ') + ": " + value + "\n";
}

// Server FS offers the copy on its shares a and b, not on p and q; server
// OTHER offers it on its share o.
class ChunkCopyE2eTest : public ::testing::Test {
 protected:
  RunOptions World(const std::string& faults = "[]") {
    for (const char* share : {"a", "b", "p", "q", "o"})
      fs::create_directories(temp_ / share);
    auto share = [&](const std::string& name, bool copies) {
      return R"({"name": ")" + name + R"(", "path": ")" + (temp_ / name) +
             R"(", "server_side_copy": )" + (copies ? "true" : "false") + "}";
    };
    const std::string file = temp_ / "world.json";
    WriteFile(file, R"({"computer": "E2EPC", "drives": {"C:": {"path": ")" + temp_.path() +
                        R"("}}, "servers": [{"name": "FS", "sid": "S-1-5-21-1-2-3", "shares": [)" +
                        share("a", true) + ", " + share("b", true) + ", " + share("p", false) +
                        ", " + share("q", false) +
                        R"(]}, {"name": "OTHER", "sid": "S-1-5-21-1-2-4", "shares": [)" +
                        share("o", true) + R"(]}], "faults": )" + faults + "}");
    RunOptions options;
    options.environment["TARVIK_WORLD"] = file;
    return options;
  }

  // The files under the share's directory, last written long ago.
  void MakeSource(const std::string& share, const std::map<std::string, std::string>& files) {
    for (const auto& [name, bytes] : files) {
      const std::string path = temp_ / (share + "/" + name);
      fs::create_directories(fs::path(path).parent_path());
      WriteFile(path, bytes);
      // Whole seconds: NT times keep 100 ns, not the host's nanoseconds.
      const fs::file_time_type long_ago = std::chrono::floor<std::chrono::seconds>(
          fs::file_time_type::clock::now() - std::chrono::hours(24 * 1000));
      fs::last_write_time(path, long_ago);
    }
  }

  void ExpectCopied(const std::string& from, const std::string& to,
                    const std::map<std::string, std::string>& files) {
    for (const auto& [name, bytes] : files) {
      const std::string target = temp_ / (to + "/" + name);
      EXPECT_TRUE(ReadFile(target) == bytes) << name;
      std::error_code error;
      EXPECT_EQ(fs::last_write_time(target, error),
                fs::last_write_time(temp_ / (from + "/" + name)))
          << name;
    }
  }

  static std::vector<std::string> Args(const std::string& from, const std::string& to,
                                       std::vector<std::string> more = {}) {
    std::vector<std::string> args = {"\\\\" + from, "\\\\" + to, "/s",    "/nosec",
                                     "/r:2",        "/w:0",      "/chunk"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }

  TempDir temp_;
};

TEST_F(ChunkCopyE2eTest, SharesOfOneServerCopyWithoutTheEngineReading) {
  const std::map<std::string, std::string> files = {
      {"large.bin", RandomBytes(17 * kMiB + 4321, 1)},  // more than one request
      {"d/small.txt", RandomBytes(3000, 2)},
      {"d/e/empty", ""},
  };
  MakeSource("a", files);
  // Every read of the sources fails: only a copy made by the server succeeds.
  RunResult result = RunProgram(
      Args("FS\\a", "FS\\b"),
      World(R"([{"call": "ReadFile", "path": "\\\\FS\\a\\*", "error": 5, "count": 0}])"));
  EXPECT_EQ(result.exitCode, 0) << result.out;
  ExpectCopied("a", "b", files);
  EXPECT_EQ(Count(result.out, "Chunk copy"), 0u) << result.out;
  EXPECT_EQ(Count(result.out, "IOCTL"), 0u);

  // With /cm md5 the source is read for its digest after the server's copy.
  fs::remove_all(temp_ / "b");
  fs::create_directories(temp_ / "b");
  result = RunProgram(Args("FS\\a", "FS\\b", {"/cm:md5"}), World());
  EXPECT_EQ(result.exitCode, 0) << result.out;
  ExpectCopied("a", "b", files);
  EXPECT_EQ(Count(result.out, StatLine("Count of File MD5 checked", "2")), 1u) << result.out;
  EXPECT_EQ(Count(result.out, "Count of File MD5 mismatch"), 0u);
}

TEST_F(ChunkCopyE2eTest, OtherServersOrNoSupportFallBackToTheDataLoop) {
  std::map<std::string, std::string> files;
  for (int i = 0; i < 6; ++i)
    files["f" + std::to_string(i)] = RandomBytes(200000 + i, i);
  MakeSource("a", files);
  MakeSource("p", files);

  RunResult result = RunProgram(Args("FS\\a", "OTHER\\o", {"/th:4"}), World());
  EXPECT_EQ(result.exitCode, 0) << result.out;
  ExpectCopied("a", "o", files);
  EXPECT_EQ(Count(result.out, "Chunk copy can't be activated, copy mode is set to sync"), 1u)
      << result.out;

  // A server that does not know the request: one warning, every file copied.
  result = RunProgram(Args("FS\\p", "FS\\q", {"/th:4"}), World());
  EXPECT_EQ(result.exitCode, 0) << result.out;
  ExpectCopied("p", "q", files);
  EXPECT_EQ(Count(result.out,
                  "IOCTL 0x140078 Alternative Get Resume Key unsupported. Copy Chunk "
                  "is disabled"),
            1u)
      << result.out;
  EXPECT_EQ(Count(result.out, "Chunk copy can't"), 0u);
}

TEST_F(ChunkCopyE2eTest, FailingRequestsRestartRetryFallBackOrAbort) {
  const std::map<std::string, std::string> files = {
      {"lost", RandomBytes(300000, 1)},
      {"refused", RandomBytes(300000, 2)},
      {"keyless", RandomBytes(300000, 3)},
      {"fine", RandomBytes(300000, 4)},
  };
  MakeSource("a", files);
  // A broken connection restarts the copy; a refusal is retried until the
  // retries are spent; a refused key sends the file through the data loop.
  RunResult result = RunProgram(Args("FS\\a", "FS\\b", {"/c"}), World(R"([
      {"call": "NtFsControlFile", "path": "*\\b\\lost", "error": "ERROR_NETNAME_DELETED"},
      {"call": "NtFsControlFile", "path": "*\\b\\refused", "error": 5, "count": 0},
      {"call": "NtFsControlFile", "path": "*\\a\\keyless", "error": 31}])"));
  EXPECT_EQ(result.exitCode & 4, 4) << result.out;
  EXPECT_LT(result.exitCode, 8) << result.out;
  ExpectCopied(
      "a", "b",
      {{"lost", files.at("lost")}, {"keyless", files.at("keyless")}, {"fine", files.at("fine")}});
  EXPECT_FALSE(fs::exists(temp_ / "b/refused"));
  EXPECT_EQ(Count(result.out, "Error while copying chunk from \\\\FS\\a\\lost"), 1u) << result.out;
  EXPECT_EQ(Count(result.out, "\\\\FS\\a\\lost Restarting the copy"), 1u);
  // Each of the two attempts is retried twice (/r:2), then the copy fails.
  EXPECT_EQ(Count(result.out, "Error while copying chunk from \\\\FS\\a\\refused : , Retrying"),
            4u);
  EXPECT_EQ(Count(result.out, "\\\\FS\\a\\refused -> Failed after 2 retries."), 1u);

  // A full disk follows /ondiskfull (here: abort the run).
  fs::remove_all(temp_ / "b");
  fs::create_directories(temp_ / "b");
  result = RunProgram(Args("FS\\a", "FS\\b"), World(R"([{"call": "NtFsControlFile",
      "path": "*\\b\\fine", "error": "ERROR_DISK_FULL"}])"));
  EXPECT_EQ(result.exitCode & ~8, 4) << result.out;  // with 8 when the walk ends on the abort
  EXPECT_EQ(Count(result.out, "\\\\FS\\b\\fine -> No space left on device."), 1u) << result.out;
  EXPECT_FALSE(fs::exists(temp_ / "b/fine"));
}

}  // namespace
}  // namespace tarvik
