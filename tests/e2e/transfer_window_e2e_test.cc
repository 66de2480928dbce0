// The transfer window and the wait for disk space, run as a user would: the
// data arrives, every transfer is granted and released (the /dbgtrf traces),
// and a copy held for want of space goes on once the volume has room again.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "e2e_support.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;

class TransferWindowE2eTest : public ::testing::Test {
 protected:
  void Make(const std::string& relative, const std::string& data) {
    const std::string path = temp_ / relative;
    fs::create_directories(fs::path(path).parent_path());
    WriteFile(path, data);
  }

  // Drive C: is the temporary directory; its volume reports the figures of
  // the file "space" ("free total"), read again at every query.
  RunOptions SpaceWorld(const std::string& faults) {
    const std::string file = temp_ / "world.json";
    WriteFile(file, R"({"computer": "E2EPC", "drives": {"C:": {"path": ")" + temp_.path() +
                        R"(", "volume": {"figures_file": ")" + (temp_ / "space") +
                        R"("}}}, "faults": )" + faults + "}");
    RunOptions options;
    options.environment["TARVIK_WORLD"] = file;
    return options;
  }

  void SetFree(uint64_t free) {
    WriteFile(temp_ / "space.new", std::to_string(free) + " 10737418240\n");
    std::rename((temp_ / "space.new").c_str(), (temp_ / "space").c_str());
  }

  TempDir temp_;
};

// Files of 600 KB in a 1 MB window, and one larger than the window, copied
// by four workers: each transfer is allowed once and released once.
TEST_F(TransferWindowE2eTest, WindowCopiesEverythingAndTraces) {
  constexpr int kFiles = 8;
  for (int i = 0; i < kFiles; ++i)
    Make("src/d" + std::to_string(i % 2) + "/f" + std::to_string(i), RandomBytes(600 << 10, i));
  Make("src/large", RandomBytes(1536 << 10, 99));
  Make("src/empty", "");
  RunResult result = RunProgram(
      {"C:\\src", "C:\\dst", "/s", "/nosec", "/r:0", "/w:0", "/th:4", "/trfwindow:1", "/dbgtrf"},
      DriveCWorld(temp_));
  EXPECT_EQ(result.exitCode, 0) << result.out;
  for (int i = 0; i < kFiles; ++i) {
    const std::string name = "d" + std::to_string(i % 2) + "/f" + std::to_string(i);
    EXPECT_EQ(ReadFile(temp_ / ("dst/" + name)), RandomBytes(600 << 10, i)) << name;
  }
  EXPECT_EQ(ReadFile(temp_ / "dst/large"), RandomBytes(1536 << 10, 99));
  EXPECT_EQ(ReadFile(temp_ / "dst/empty"), "");
  EXPECT_NE(result.out.find("Transfer window size"), std::string::npos);
  // The empty file asks for nothing.
  EXPECT_EQ(Count(result.out, "allowed to run, current transfert windows : "), kFiles + 1u)
      << result.out;
  EXPECT_EQ(Count(result.out, "removed from running tab"), kFiles + 1u);
  EXPECT_EQ(Count(result.out, "QOS : Orphean"), 0u);
  EXPECT_EQ(Count(result.out, "placed in waiting list"),
            Count(result.out, "removed from waiting list and placed in running tab"));
}

// With /ondiskfull:wait and no free space the copy waits; once the volume
// has room it runs. A write refused for a full disk waits and resumes.
TEST_F(TransferWindowE2eTest, DiskFullWaitHoldsUntilTheVolumeGrows) {
  Make("src/a", RandomBytes(300 << 10, 1));
  SetFree(0);
  RunningProgram program(
      {"C:\\src", "C:\\dst", "/s", "/nosec", "/r:0", "/w:0", "/th:2", "/ondiskfull:wait",
       "/dbgtrf"},
      SpaceWorld(R"([{"call": "WriteFile", "path": "*\\dst\\a", "error": "ERROR_DISK_FULL"}])"));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (program.OutputSoFar().find("placed in waiting list, space available : ") ==
             std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(600));  // measured again: still full
  EXPECT_EQ(program.OutputSoFar().find("allowed to run"), std::string::npos);
  SetFree(1 << 30);
  RunResult result = program.Wait();
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(ReadFile(temp_ / "dst/a"), RandomBytes(300 << 10, 1));
  for (const char* text :
       {"placed in waiting list, space available : ",
        "removed from waiting list and placed in running tab", "allowed to run, space available : ",
        "-> write file, waiting for enough space on device.", "-> write file resumed"}) {
    EXPECT_EQ(Count(result.out, text), 1u) << text << "\n" << result.out;
  }
}

}  // namespace
}  // namespace tarvik
