// The scanner and the comparison on real temporary trees, through the
// platform layer of this host.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "log/log.h"
#include "scan/dir_cmp.h"
#include "scan_fixture.h"
#include "support/test_world.h"
#include "util/utf.h"

namespace tarvik {
namespace {

using Events = std::vector<std::wstring>;

FileTimes LastWrite(int64_t unix_seconds, uint32_t ticks = 0) {
  FileTimes times;
  times.last_write = FileTimeFromUnix(unix_seconds, ticks);
  return times;
}

constexpr int64_t k2020 = 1577836800;

bool Has(const Events& events, const std::wstring& event) {
  return std::find(events.begin(), events.end(), event) != events.end();
}

class ScanWorldTest : public ::testing::Test {
 protected:
  void SetUp() override { Settings().recurse = 1; }

  // Log lines go to a file in the world, so that the test can read them.
  void StartLog() {
    Settings().logPath = L"C:\\tarvik.log";
    ASSERT_TRUE(CreateLogSystem(false));
  }
  std::string StopLog() {
    StopLogSystem();
    return world_.ReadFile(L"C:\\tarvik.log");
  }

  std::wstring Host(const std::string& below_root) { return FromUtf8(world_.root() + below_root); }

  TestWorld world_;
  ScanStateGuard guard_;
};

TEST_F(ScanWorldTest, ComparesARealTree) {
  world_.CreateDirectory(L"C:\\src\\PROGRA~1");
  world_.CreateDirectory(L"C:\\src\\empty");
  world_.WriteFile(L"C:\\src\\apple.txt", "new", LastWrite(k2020));
  world_.WriteFile(L"C:\\src\\zeta.txt", "z", LastWrite(k2020));
  world_.WriteFile(L"C:\\src\\same.txt", "s", LastWrite(k2020));
  world_.WriteFile(L"C:\\src\\older.txt", "o", LastWrite(k2020 - 86400));
  world_.WriteFile(L"C:\\src\\abc.txt", "c", LastWrite(k2020));
  world_.WriteFile(L"C:\\src\\sub\\inner.txt", "i", LastWrite(k2020));

  world_.WriteFile(L"C:\\dst\\apple.txt", "old", LastWrite(k2020 - 86400));
  world_.WriteFile(L"C:\\dst\\same.txt", "s", LastWrite(k2020, 5000000));
  world_.WriteFile(L"C:\\dst\\older.txt", "o", LastWrite(k2020));
  world_.WriteFile(L"C:\\dst\\ABC.txt", "c", LastWrite(k2020));
  world_.WriteFile(L"C:\\dst\\sub", "a file", LastWrite(k2020));
  world_.WriteFile(L"C:\\dst\\extra.txt", "x", LastWrite(k2020));
  world_.CreateDirectory(L"C:\\dst\\empty");

  RecordingCmp cmp;
  cmp.create_missing = true;
  cmp.should_be_directory_result = 0;
  ASSERT_TRUE(cmp.SetSourceRoot(L"C:\\src"));
  ASSERT_TRUE(cmp.PrepareTargetRoot(L"C:\\dst"));
  ASSERT_EQ(cmp.FindSubDir(), 0);
  const Events& events = cmp.events;

  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events[0], L"dir-newer C:\\dst\\");
  EXPECT_EQ(events[1], L"enter-target C:\\dst\\");
  // The generated alias comes before every other name.
  EXPECT_EQ(events[2], L"dir-missing C:\\dst\\PROGRA~1");
  EXPECT_EQ(EventsStartingWith(events, L"file"),
            (Events{L"file-case ABC.txt", L"file-same C:\\dst\\abc.txt",
                    L"file-newer C:\\dst\\apple.txt", L"file-older C:\\dst\\older.txt",
                    L"file-same C:\\dst\\same.txt", L"file-missing C:\\dst\\zeta.txt"}));
  EXPECT_TRUE(Has(events, L"left extra.txt"));
  EXPECT_TRUE(Has(events, L"left sub"));
  EXPECT_TRUE(Has(events, L"should-be-dir C:\\dst\\sub\\"));
  EXPECT_TRUE(Has(events, L"enter-target C:\\dst\\empty\\"));
  EXPECT_TRUE(Has(events, L"enter-target C:\\dst\\PROGRA~1\\"));
  EXPECT_FALSE(Has(events, L"enter-target C:\\dst\\sub\\"));
  EXPECT_TRUE(world_.Exists(L"C:\\dst\\PROGRA~1"));
  EXPECT_EQ(cmp.mismatched_files(), 1u);
  EXPECT_EQ(cmp.files_found(), 5u);
  EXPECT_EQ(cmp.dirs_found(), 3u);
}

TEST(ScanAliasesTest, OnAVolumeWithAliasesAliasLikeNamesComeFirst) {
  TestWorld world(R"({"computer": "TESTPC",
                      "drives": {"C:": {"path": "c", "volume": {"short_names": true}}}})");
  ScanStateGuard guard;
  Settings().recurse = 1;
  world.CreateDirectory(L"C:\\src\\Program Files");
  world.CreateDirectory(L"C:\\src\\PROGRA~1");
  world.WriteFile(L"C:\\src\\apple.txt", "a");
  world.WriteFile(L"C:\\src\\ZZ~1.TXT", "z");
  world.WriteFile(L"C:\\src\\Long~Name.txt", "l");

  // The long name's alias steps aside for the name that looks like one.
  std::map<std::wstring, std::wstring> aliases;
  for (const WIN32_FIND_DATAW& data : FindAll(world.os(), L"C:\\src\\*"))
    aliases[data.cFileName] = data.cAlternateFileName;
  EXPECT_EQ(aliases[L"Program Files"], L"PROGRA~2");
  EXPECT_EQ(aliases[L"PROGRA~1"], L"");
  EXPECT_EQ(aliases[L"Long~Name.txt"], L"LONG~N~1.TXT");

  RecordingScan scan;
  ASSERT_TRUE(scan.SetSourceRoot(L"C:\\src"));
  ASSERT_EQ(scan.FindSubDir(), 0);
  EXPECT_EQ(EventsStartingWith(scan.events, L"dir"),
            (Events{L"dir C:\\src\\PROGRA~1", L"dir C:\\src\\Program Files"}));
  EXPECT_EQ(EventsStartingWith(scan.events, L"file"),
            (Events{L"file C:\\src\\ZZ~1.TXT", L"file C:\\src\\apple.txt",
                    L"file C:\\src\\Long~Name.txt"}));
}

TEST_F(ScanWorldTest, FiltersAndDepthOnARealTree) {
  world_.WriteFile(L"C:\\src\\keep.txt", "k");
  world_.WriteFile(L"C:\\src\\drop.TMP", "d");
  world_.WriteFile(L"C:\\src\\Temp\\t.txt", "t");
  world_.WriteFile(L"C:\\src\\d1\\f1.txt", "1");
  world_.WriteFile(L"C:\\src\\d1\\d2\\f2.txt", "2");
  Settings().lowerCaseNames = 1;
  Settings().maxDepth = 1;
  std::vector<std::wstring> dirs = {L"TEMP"};
  std::vector<std::wstring> files = {L"*.tmp"};
  ASSERT_TRUE(DirScan::SetExcludedDirFilter(dirs));
  ASSERT_TRUE(DirScan::SetExcludedFileFilter(files));
  StartLog();
  RecordingScan scan;
  ASSERT_TRUE(scan.SetSourceRoot(L"C:\\src"));
  ASSERT_EQ(scan.FindSubDir(), 0);
  std::string log = StopLog();
  EXPECT_EQ(EventsStartingWith(scan.events, L"file"),
            (Events{L"file C:\\src\\keep.txt", L"file C:\\src\\d1\\f1.txt"}));
  EXPECT_EQ(EventsStartingWith(scan.events, L"dir"), (Events{L"dir C:\\src\\d1"}));
  EXPECT_NE(log.find("C:\\src\\Temp : Excluded"), std::string::npos);
  EXPECT_NE(log.find("C:\\src\\drop.TMP : Excluded"), std::string::npos);
}

TEST_F(ScanWorldTest, HostPathRootsKeepTheirTypedFormAndLongPathsWork) {
  // A source deep enough that its paths pass 200 characters.
  std::wstring deep = L"C:\\src\\" + std::wstring(60, L'a') + L"\\" + std::wstring(60, L'b') +
                      L"\\" + std::wstring(60, L'c');
  world_.WriteFile(deep + L"\\file.txt", "deep");
  world_.WriteFile(L"C:\\src\\top.txt", "top");
  std::wstring source = Host("/c/src");
  std::wstring target = Host("/c/newtop/a/b");

  StartLog();
  RecordingCmp cmp;
  cmp.create_missing = true;
  ASSERT_TRUE(cmp.SetSourceRoot(source + L"/"));
  EXPECT_EQ(cmp.source_root(), source + L"\\");
  EXPECT_EQ(cmp.source_root_long(), L"\\\\?\\UNC\\" + source + L"\\");
  ASSERT_TRUE(cmp.PrepareTargetRoot(target));
  EXPECT_EQ(cmp.target_root(), target + L"\\");
  EXPECT_TRUE(world_.Exists(L"C:\\newtop\\a"));
  EXPECT_FALSE(world_.Exists(L"C:\\newtop\\a\\b"));
  ASSERT_EQ(cmp.FindSubDir(), 0);
  std::string log = StopLog();
  EXPECT_NE(log.find("Missing directory \\\\?\\UNC\\" + world_.root() +
                     "/c/newtop has been created successfully"),
            std::string::npos);

  EXPECT_TRUE(Has(cmp.events, L"file-missing " + target + L"\\top.txt"));
  Events missing = EventsStartingWith(cmp.events, L"file-missing \\\\?\\UNC\\");
  ASSERT_EQ(missing.size(), 1u);
  EXPECT_TRUE(missing[0].ends_with(L"\\" + std::wstring(60, L'c') + L"\\file.txt"));
  EXPECT_TRUE(world_.Exists(L"C:\\newtop\\a\\b\\" + std::wstring(60, L'a') + L"\\" +
                            std::wstring(60, L'b') + L"\\" + std::wstring(60, L'c')));
}

TEST_F(ScanWorldTest, TargetRootsOnShares) {
  StartLog();
  DirCmp cmp;
  ASSERT_TRUE(cmp.PrepareTargetRoot(L"\\\\FILER1\\data\\x\\y"));
  EXPECT_TRUE(world_.Exists(L"\\\\FILER1\\data\\x"));
  EXPECT_FALSE(world_.Exists(L"\\\\FILER1\\data\\x\\y"));

  Settings().listOnly = 1;
  ASSERT_TRUE(cmp.PrepareTargetRoot(L"\\\\FILER1\\data\\p\\q\\r"));
  EXPECT_FALSE(world_.Exists(L"\\\\FILER1\\data\\p"));

  EXPECT_FALSE(cmp.PrepareTargetRoot(L"\\\\FILER1\\nope\\a"));
  EXPECT_FALSE(cmp.PrepareTargetRoot(L"\\\\NOBODY\\data"));
  EXPECT_FALSE(DirScan::RootsSet());
  std::string log = StopLog();
  EXPECT_NE(log.find("Missing directory \\\\?\\UNC\\FILER1\\data\\x has been created successfully"),
            std::string::npos);
  EXPECT_NE(log.find("Missing directory \\\\?\\UNC\\FILER1\\data\\p will be created"),
            std::string::npos);
  EXPECT_NE(log.find("Missing directory \\\\?\\UNC\\FILER1\\data\\p\\q will be created"),
            std::string::npos);
  EXPECT_NE(log.find("\\\\?\\UNC\\FILER1\\nope\\a : Invalid Network path"), std::string::npos);
  EXPECT_NE(log.find("\\\\?\\UNC\\NOBODY\\data\\ : Invalid Network path"), std::string::npos);
}

}  // namespace
}  // namespace tarvik
