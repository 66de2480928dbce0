// The purge of extra target objects and the case renames, run as a user
// would: what goes, what stays (exclusions, links, the root level), the
// listing that changes nothing, and no purge after a source listing failed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;

class PurgeE2eTest : public ::testing::Test {
 protected:
  // Drive C: is the temporary directory; faults as given.
  RunOptions World(const std::string& faults = "[]") { return DriveCWorld(temp_, faults); }

  void Make(const std::string& relative, const std::string& data = "x") {
    const std::string path = temp_ / relative;
    fs::create_directories(fs::path(path).parent_path());
    WriteFile(path, data);
  }

  // Every path below the temporary directory, sorted, without the world.
  std::vector<std::string> Tree() {
    std::vector<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(temp_.path()))
      paths.push_back(entry.path().lexically_relative(temp_.path()).string());
    std::sort(paths.begin(), paths.end());
    return paths;
  }

  std::string Line(const std::string& path, const std::string& what) {
    return "C:\\dst\\" + path + " -> " + what + "\n";
  }

  TempDir temp_;
};

TEST_F(PurgeE2eTest, RemovesWhatIsExtraAndNothingElse) {
  Make("src/keep/k");
  Make("src/linked/l");
  Make("dst/keep/k");
  Make("dst/extra_file");
  Make("dst/read_only");
  const std::string read_only_attributes = "0x21";
  ASSERT_EQ(setxattr((temp_ / "dst/read_only").c_str(), "user.DOSATTRIB",
                     read_only_attributes.data(), read_only_attributes.size(), 0),
            0);
  Make("dst/extra_dir/deep/deeper/d");
  Make("dst/extra_dir/inside.tmp");  // /xf does not protect inside a removed directory
  Make("dst/keep/protected.tmp");    // ... but does directly in a kept one
  Make("dst/keep/kept_dir_xd/x");    // /xd protects a whole extra directory
  Make("outside/precious");          // reached only through links
  ASSERT_EQ(symlink((temp_ / "outside").c_str(), (temp_ / "dst/keep/link_out").c_str()), 0);
  // Where the source has a real directory, the target has a link to
  // somewhere else: whatever is there is never purged.
  ASSERT_EQ(symlink((temp_ / "outside").c_str(), (temp_ / "dst/linked").c_str()), 0);

  const RunOptions world = World();
  const std::vector<std::string> before = Tree();
  const std::vector<std::string> common = {"C:\\src", "C:\\dst", "/s",         "/purge",
                                           "/nosec",  "/r:0",    "/w:0",       "/xf",
                                           "*.tmp",   "/xd",     "kept_dir_xd"};
  std::vector<std::string> listing = common;
  listing.push_back("/l");
  RunResult result = RunProgram(listing, world);
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(Tree(), before);  // a listing changes nothing
  const std::string listed = result.out;

  result = RunProgram(common, world);
  EXPECT_EQ(result.exitCode, 0) << result.out;
  for (const std::string& out : {listed, result.out}) {
    SCOPED_TRACE(out);
    for (const char* file :
         {"extra_file", "read_only", "extra_dir\\inside.tmp", "extra_dir\\deep\\deeper\\d"}) {
      EXPECT_EQ(Count(out, Line(file, "File deleted.")), 1u) << file;
    }
    for (const char* dir :
         {"extra_dir\\", "extra_dir\\deep\\", "extra_dir\\deep\\deeper\\", "keep\\link_out\\"}) {
      EXPECT_EQ(Count(out, Line(dir, "Directory removed.")), 1u) << dir;
    }
    EXPECT_EQ(Count(out, Line("keep\\protected.tmp", "File excluded from purge.")), 1u);
    EXPECT_EQ(Count(out, Line("keep\\kept_dir_xd\\", "Directory excluded from purge.")), 1u);
    EXPECT_EQ(Count(out, "Number of Purged file(s)                  : 4\n"), 1u);
    EXPECT_EQ(Count(out, "Number of Purged directory(ies)           : 4\n"), 1u);
  }
  EXPECT_EQ(Tree(),
            (std::vector<std::string>{
                "dst", "dst/keep", "dst/keep/k", "dst/keep/kept_dir_xd", "dst/keep/kept_dir_xd/x",
                "dst/keep/protected.tmp", "dst/linked", "outside", "outside/l", "outside/precious",
                "src", "src/keep", "src/keep/k", "src/linked", "src/linked/l", "world.json"}));
}

TEST_F(PurgeE2eTest, PreserveRootKeepsTheExtrasOfTheRootLevel) {
  Make("src/sub/a");
  Make("dst/root_file");
  Make("dst/root_dir/r");
  Make("dst/sub/extra");
  Make("dst/sub/extra_dir/e");
  RunResult result = RunProgram(
      {"C:\\src", "C:\\dst", "/s", "/purge", "/preserveroot", "/nosec", "/r:0", "/w:0"}, World());
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_TRUE(fs::exists(temp_ / "dst/root_file"));
  EXPECT_TRUE(fs::exists(temp_ / "dst/root_dir/r"));
  EXPECT_FALSE(fs::exists(temp_ / "dst/sub/extra"));
  EXPECT_FALSE(fs::exists(temp_ / "dst/sub/extra_dir"));
  EXPECT_TRUE(fs::exists(temp_ / "dst/sub/a"));
}

TEST_F(PurgeE2eTest, NothingIsPurgedAfterASourceListingFailed) {
  Make("src/a");
  Make("src/sub/b");
  Make("src/sub/c");
  Make("dst/sub/b");
  Make("dst/sub/c");
  Make("dst/sub/extra");
  Make("dst/sub/extra_dir/e");
  WriteFile(temp_ / "world.json", "");
  const std::vector<std::string> before = Tree();
  // The listing of src\sub fails at once, or after its first entry.
  for (const std::string fault : {
           R"({"call": "FindFirstFileW", "path": "*\\src\\sub\\*", "error": "ERROR_NETNAME_DELETED",
               "count": 0})",
           R"({"call": "FindNextFileW", "path": "*\\src\\sub\\*", "error": "ERROR_NETNAME_DELETED",
               "after": 1, "count": 0})"}) {
    SCOPED_TRACE(fault);
    RunResult result =
        RunProgram({"C:\\src", "C:\\dst", "/s", "/purge", "/nosec", "/c", "/r:0", "/w:0"},
                   World("[" + fault + "]"));
    EXPECT_NE(result.exitCode & 4, 0) << result.out;
    EXPECT_EQ(Count(result.out,
                    "C:\\dst\\sub\\ -> error when browing source, tree's purge can't be achieved."),
              1u)
        << result.out;
    EXPECT_EQ(Count(result.out, "deleted."), 0u) << result.out;
    EXPECT_EQ(Count(result.out, "removed."), 0u) << result.out;
    fs::remove(temp_ / "dst/a");
    EXPECT_EQ(Tree(), before);
  }
}

TEST_F(PurgeE2eTest, TargetsDifferingOnlyInCaseAreRenamed) {
  Make("src/Sub/File.txt", "new");
  Make("src/Mixed.TXT", "m");
  Make("dst/SUB/FILE.TXT", "old");
  Make("dst/MIXED.txt", "m");
  RunResult result = RunProgram({"C:\\src", "C:\\dst", "/s", "/nosec", "/r:0", "/w:0"}, World());
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(Count(result.out, "WARNING : C:\\dst\\SUB -> renamed to C:\\dst\\Sub\n"), 1u)
      << result.out;
  EXPECT_EQ(
      Count(result.out, "WARNING : C:\\dst\\Sub\\FILE.TXT -> renamed to C:\\dst\\Sub\\File.txt\n"),
      1u);
  EXPECT_EQ(Count(result.out, "Directory(ies) renamed                    : 1\n"), 1u);
  EXPECT_EQ(Count(result.out, "File(s) renamed                           : 2\n"), 1u);
  EXPECT_TRUE(fs::exists(temp_ / "dst/Sub/File.txt"));
  EXPECT_TRUE(fs::exists(temp_ / "dst/Mixed.TXT"));

  // With /nocase the target names are the lower-cased source names.
  result = RunProgram({"C:\\src", "C:\\dst", "/s", "/nosec", "/nocase", "/r:0", "/w:0"}, World());
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_TRUE(fs::exists(temp_ / "dst/sub/file.txt")) << result.out;
  EXPECT_TRUE(fs::exists(temp_ / "dst/mixed.txt"));
}

}  // namespace
}  // namespace tarvik
