// The XCOPY front end as a user runs it: through a link named xcopy, with
// host paths on the command line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "e2e_support.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;

// What tells whether a file was written: its data, modification time and
// change time (any write or metadata change moves the latter).
struct FileState {
  std::string bytes;
  timespec modified{};
  timespec changed{};
  bool operator==(const FileState& other) const {
    return bytes == other.bytes && modified.tv_sec == other.modified.tv_sec &&
           modified.tv_nsec == other.modified.tv_nsec && changed.tv_sec == other.changed.tv_sec &&
           changed.tv_nsec == other.changed.tv_nsec;
  }
};

FileState StateOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
  return FileState{ReadFile(path), info.st_mtim, info.st_ctim};
}

const std::string kFiles[] = {"a.txt", "b.log", "sub/c.bin", "sub/deeper/d.txt"};

class XcopyE2eTest : public ::testing::Test {
 protected:
  XcopyE2eTest() : options_(DriveCWorld(temp_)) {
    const std::string link = temp_ / "xcopy";
    EXPECT_EQ(symlink(BinaryPath().c_str(), link.c_str()), 0);
    options_.program = link;
    const timespec old_times[2] = {{1600000000, 0}, {1600000000, 0}};
    for (const std::string& name : kFiles) {
      const std::string path = temp_ / ("src/" + name);
      fs::create_directories(fs::path(path).parent_path());
      WriteFile(path, RandomBytes(name.starts_with("sub/") ? 3000 : 5, name.size()));
      utimensat(AT_FDCWD, path.c_str(), old_times, 0);
    }
    fs::create_directories(temp_ / "src/empty");
  }

  RunResult Xcopy(const std::vector<std::string>& args, const std::string& directory = "") {
    RunOptions options = options_;
    options.directory = directory;
    return RunProgram(args, options);
  }

  void ExpectOutput(const RunResult& result, const std::string& section, int exit_code) {
    EXPECT_EQ(golden_.Mismatch(section, result.out), "") << section;
    EXPECT_EQ(result.err, "") << section;
    EXPECT_EQ(result.exitCode, exit_code) << section;
  }

  bool Exists(const std::string& name) const { return fs::exists(temp_ / name); }

  TempDir temp_;
  RunOptions options_;
  Golden golden_;
};

TEST_F(XcopyE2eTest, CopiesTreesWithItsSwitches) {
  ExpectOutput(Xcopy({temp_ / "src", temp_ / "dst", "/s", "/q"}), "xcopy_tree_copied", 0);
  for (const std::string& name : kFiles) {
    EXPECT_EQ(ReadFile(temp_ / ("dst/" + name)), ReadFile(temp_ / ("src/" + name))) << name;
    EXPECT_EQ(StateOf(temp_ / ("dst/" + name)).modified.tv_sec, 1600000000) << name;
  }
  EXPECT_TRUE(fs::is_directory(temp_ / "dst/empty"));

  // /E is /S; without either only the top files are copied, and every name
  // is shown.
  EXPECT_EQ(Xcopy({temp_ / "src", temp_ / "tree", "/E", "/Q"}).exitCode, 0);
  EXPECT_TRUE(Exists("tree/sub/deeper/d.txt"));
  RunResult top = Xcopy({temp_ / "src", temp_ / "top"});
  EXPECT_EQ(top.exitCode, 0);
  EXPECT_TRUE(Exists("top/a.txt") && Exists("top/b.log"));
  EXPECT_FALSE(Exists("top/sub"));
  EXPECT_EQ(Count(top.out, "C:\\src\\b.log\n"), 1u) << top.out;
}

TEST_F(XcopyE2eTest, NewerOnlyRerunsTouchNothing) {
  ASSERT_EQ(Xcopy({temp_ / "src", temp_ / "dst", "/s", "/q"}).exitCode, 0);
  const FileState before = StateOf(temp_ / "dst/a.txt");
  ExpectOutput(Xcopy({temp_ / "src", temp_ / "dst", "/s", "/d", "/q"}), "xcopy_nothing_copied", 0);
  EXPECT_TRUE(StateOf(temp_ / "dst/a.txt") == before);

  // A newer source is copied, and only it.
  WriteFile(temp_ / "src/sub/c.bin", "changed");
  RunResult rerun = Xcopy({temp_ / "src", temp_ / "dst", "/S", "/D"});
  EXPECT_EQ(rerun.exitCode, 0);
  EXPECT_EQ(Count(rerun.out, "File(s) copied                            : 1\n"), 1u) << rerun.out;
  EXPECT_EQ(ReadFile(temp_ / "dst/sub/c.bin"), "changed");
  EXPECT_TRUE(StateOf(temp_ / "dst/a.txt") == before);
}

TEST_F(XcopyE2eTest, ListingWritesNothing) {
  RunResult listing = Xcopy({temp_ / "src", temp_ / "dst", "/s", "/l"});
  EXPECT_EQ(listing.exitCode, 0);
  EXPECT_EQ(Count(listing.out, "Processing the evaluation of the copy from C:\\src\\ to C:\\dst\\"),
            1u);
  EXPECT_EQ(Count(listing.out, "C:\\src\\sub\\deeper\\d.txt\n"), 1u) << listing.out;
  EXPECT_EQ(Count(listing.out,
                  "\nThe summary results should be like this:\n"
                  "File(s) copied                            : 4\n"),
            1u);
  EXPECT_FALSE(Exists("dst"));

  ASSERT_EQ(Xcopy({temp_ / "src", temp_ / "dst", "/s", "/q"}).exitCode, 0);
  const FileState before = StateOf(temp_ / "dst/b.log");
  WriteFile(temp_ / "src/b.log", "newer");
  EXPECT_EQ(Xcopy({temp_ / "src", temp_ / "dst", "/s", "/l"}).exitCode, 0);
  EXPECT_TRUE(StateOf(temp_ / "dst/b.log") == before);
}

TEST_F(XcopyE2eTest, SourceMayNameAFileOrAPattern) {
  // Only what the source names is copied, not the rest of its directory.
  EXPECT_EQ(Xcopy({temp_ / "src/a.txt", temp_ / "one", "/s"}).exitCode, 0);
  EXPECT_TRUE(Exists("one/a.txt"));
  EXPECT_FALSE(Exists("one/b.log") || Exists("one/sub"));
  EXPECT_EQ(Xcopy({temp_ / "src/*.log", temp_ / "pattern"}).exitCode, 0);
  EXPECT_TRUE(Exists("pattern/b.log"));
  EXPECT_FALSE(Exists("pattern/a.txt"));

  // No destination: the current directory.
  fs::create_directories(temp_ / "here");
  EXPECT_EQ(Xcopy({"../src", "/s", "/q"}, temp_ / "here").exitCode, 0);
  EXPECT_EQ(ReadFile(temp_ / "here/sub/deeper/d.txt"), ReadFile(temp_ / "src/sub/deeper/d.txt"));
}

TEST_F(XcopyE2eTest, BadCommandLinesPrintTheUsage) {
  ExpectOutput(Xcopy({}), "xcopy_missing_arguments", 8);
  ExpectOutput(Xcopy({temp_ / "src", temp_ / "dst", "/y"}), "xcopy_unknown_switch", 8);
  ExpectOutput(Xcopy({temp_ / "src", "/?"}), "xcopy_help", 8);
  ExpectOutput(Xcopy({temp_ / "nothing", temp_ / "dst"}), "xcopy_source_missing", 8);
  // "/?" alone is taken for the source: refused at once, not retried.
  EXPECT_EQ(Xcopy({"/?"}).exitCode, 8);
  EXPECT_FALSE(Exists("dst"));
}

TEST_F(XcopyE2eTest, AFailedCopyEndsWithItsBits) {
  options_ = DriveCWorld(
      temp_, R"([{"call": "ReadFile", "path": "C:\\src\\b.log", "error": "ERROR_NOT_SUPPORTED"}])");
  options_.program = temp_ / "xcopy";
  RunResult result = Xcopy({temp_ / "src", temp_ / "dst", "/c", "/q"});
  EXPECT_EQ(result.exitCode, 12);
  EXPECT_EQ(Count(result.out, "Copy of File(s) failed                    : 1!\n"), 1u)
      << result.out;
  EXPECT_FALSE(Exists("dst/b.log"));
}

}  // namespace
}  // namespace tarvik
