// Copies that must lose nothing whatever happens around them: many workers
// racing in one directory beside links, and a copy killed at any instant
// followed by an incremental run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "e2e_support.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;

void MakeFile(const std::string& path, const std::string& bytes, time_t seconds) {
  fs::create_directories(fs::path(path).parent_path());
  WriteFile(path, bytes);
  const timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

timespec ModificationTime(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
  return info.st_mtim;
}

// Every entry of src has an identical copy in dst (data, last-write time,
// link text), and dst holds nothing more. Returns the number of differences.
int CompareTrees(const std::string& src, const std::string& dst) {
  int differences = 0;
  auto differ = [&](const fs::path& relative, const char* what) {
    ADD_FAILURE() << relative << ": " << what;
    ++differences;
  };
  size_t source_entries = 0;
  for (auto it = fs::recursive_directory_iterator(src); it != fs::end(it); ++it) {
    ++source_entries;
    const fs::path relative = it->path().lexically_relative(src);
    const std::string to = (fs::path(dst) / relative).string();
    if (it->is_symlink()) {
      if (!fs::is_symlink(to) || fs::read_symlink(to) != fs::read_symlink(it->path()))
        differ(relative, "link missing or different");
      continue;
    }
    if (it->is_directory()) {
      if (!fs::is_directory(to))
        differ(relative, "directory missing");
      continue;
    }
    if (!fs::exists(to) || ReadFile(to) != ReadFile(it->path().string()))
      differ(relative, "data missing or different");
    else if (ModificationTime(to).tv_sec != ModificationTime(it->path().string()).tv_sec)
      differ(relative, "last-write time different");
  }
  size_t target_entries = 0;
  for (auto it = fs::recursive_directory_iterator(dst); it != fs::end(it); ++it)
    ++target_entries;
  if (target_entries != source_entries)
    differ(dst, "holds a different number of entries");
  return differences;
}

// The sanitizer builds run the program many times slower: fewer rounds.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kCopyRounds = 4;
#else
constexpr int kCopyRounds = 10;
#endif

bool HasErrorLine(const std::string& output) {
  return output.find("ERROR") != std::string::npos;
}

// Links turn their new target object into a host link, which frees an inode
// that the next file another worker creates may receive: the sharing of the
// handles open in the process must follow the objects, not inode numbers.
TEST(DataSafetyE2eTest, RepeatedCopiesWithTheDefaultWorkersNeverCollide) {
  TempDir temp;
  const std::string src = temp / "src";
  for (int i = 0; i < 2000; ++i)
    MakeFile(src + "/flat/f" + std::to_string(i) + ".txt", "file " + std::to_string(i), 1500000000);
  for (int i = 0; i < 40; ++i)
    MakeFile(src + "/tree/sub/g" + std::to_string(i), RandomBytes(100 + i, i), 1500000000);
  ASSERT_EQ(symlink("tree/sub/g1", (src + "/file_link").c_str()), 0);
  ASSERT_EQ(symlink("tree/sub", (src + "/dir_link").c_str()), 0);
  ASSERT_EQ(symlink("f1.txt", (src + "/flat/file_link").c_str()), 0);
  ASSERT_EQ(symlink("../tree", (src + "/flat/dir_link").c_str()), 0);

  for (int run = 0; run < kCopyRounds; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    const std::string dst = temp / ("dst" + std::to_string(run));
    RunResult result = RunProgram({src, dst, "/s", "/nosec", "/r:1", "/w:0"});
    ASSERT_EQ(result.exitCode, 0) << result.out;
    ASSERT_FALSE(HasErrorLine(result.out)) << result.out;
    ASSERT_EQ(CompareTrees(src, dst), 0);
    fs::remove_all(dst);
  }
}

// Whatever instant a copy dies at, the next incremental run finds every file
// the dead one had not finished and copies it again.
TEST(DataSafetyE2eTest, KilledCopiesAreCompletedByTheNextIncrementalRun) {
  TempDir temp;
  const std::string src = temp / "src";
  for (int i = 0; i < 4; ++i)
    MakeFile(src + "/big" + std::to_string(i) + ".bin", RandomBytes(24 << 20, 100 + i), 1400000000);
  for (int i = 0; i < 400; ++i) {
    MakeFile(src + "/small/s" + std::to_string(i % 7) + "/f" + std::to_string(i),
             RandomBytes(i * 37 % 5000, i), 1400000000);
  }
  const std::string dst = temp / "dst";
  const std::vector<std::string> command = {src, dst, "/s", "/nosec", "/d", "/r:1", "/w:0"};
  std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<int> delay_ms(0, 150);
  for (int kill = 0; kill < 8; ++kill) {
    RunningProgram program(command);
    // Once the big files are on their way, anywhere in the copy.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!fs::exists(dst + "/big3.bin") && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms(random)));
  }  // killed (SIGKILL) wherever it was
  RunResult result = RunProgram(command);
  EXPECT_LT(result.exitCode, 8) << result.out;
  EXPECT_FALSE(HasErrorLine(result.out)) << result.out;
  EXPECT_EQ(CompareTrees(src, dst), 0) << result.out;
}

}  // namespace
}  // namespace tarvik
