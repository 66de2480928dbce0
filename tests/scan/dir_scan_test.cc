#include "scan/dir_scan.h"

#include <gtest/gtest.h>

#include "memory_os.h"
#include "scan_fixture.h"
#include "util/abort.h"

namespace tarvik {
namespace {

using Events = std::vector<std::wstring>;

class DirScanTest : public ::testing::Test {
 protected:
  void SetUp() override { os_.AddDirectory(L"C:\\src"); }

  Events Walk(RecordingScan& scan, int expected_result = 0) {
    EXPECT_TRUE(scan.SetSourceRoot(L"C:\\src"));
    EXPECT_EQ(scan.FindSubDir(), expected_result);
    return scan.events;
  }

  MemoryOs os_;
  ScanStateGuard guard_;
};

TEST_F(DirScanTest, WithoutRootsNothingIsWalked) {
  RecordingScan scan;
  EXPECT_EQ(scan.FindSubDir(), kNoRootSet);
  EXPECT_TRUE(scan.events.empty());
}

TEST_F(DirScanTest, EmptyDirectoryIsEnteredScannedAndLeft) {
  Settings().recurse = 1;
  RecordingScan scan;
  EXPECT_EQ(Walk(scan), (Events{L"enter C:\\src\\", L"scanned C:\\src\\", L"leave C:\\src\\"}));
  EXPECT_EQ(scan.statistics_printed, 1);
  EXPECT_EQ(scan.level_count(), 0u);
  // "." and ".." came with the listing and were dropped.
  EXPECT_EQ(scan.files_found(), 0u);
  EXPECT_EQ(scan.dirs_found(), 0u);
}

TEST_F(DirScanTest, SortedReadingPutsGeneratedAliasesFirst) {
  Settings().recurse = 1;
  os_.AddFile(L"C:\\src\\zeta.txt");
  os_.AddFile(L"C:\\src\\apple");
  os_.AddDirectory(L"C:\\src\\PROGRA~1");
  os_.AddFile(L"C:\\src\\AB~CD.TXT", 0, 0, L"ABCD~1.TXT");
  os_.AddFile(L"C:\\src\\Banana.doc");
  RecordingScan scan;
  EXPECT_EQ(Walk(scan),
            (Events{L"enter C:\\src\\", L"dir C:\\src\\PROGRA~1", L"file C:\\src\\AB~CD.TXT",
                    L"file C:\\src\\apple", L"file C:\\src\\Banana.doc", L"file C:\\src\\zeta.txt",
                    L"enter C:\\src\\PROGRA~1\\", L"scanned C:\\src\\PROGRA~1\\",
                    L"leave C:\\src\\PROGRA~1\\", L"scanned C:\\src\\", L"leave C:\\src\\"}));
  EXPECT_EQ(scan.objects_sorted(), 5u);
  EXPECT_EQ(scan.files_found(), 4u);
  EXPECT_EQ(scan.dirs_found(), 1u);
  EXPECT_EQ(scan.deepest_depth(), 1);
}

TEST_F(DirScanTest, UnsortedReadingKeepsTheListingOrder) {
  Settings().noSort = 1;
  os_.AddFile(L"C:\\src\\zeta.txt");
  os_.AddFile(L"C:\\src\\PROGRA~1");
  os_.AddFile(L"C:\\src\\apple");
  RecordingScan scan;
  EXPECT_EQ(EventsStartingWith(Walk(scan), L"file"),
            (Events{L"file C:\\src\\zeta.txt", L"file C:\\src\\PROGRA~1", L"file C:\\src\\apple"}));
  EXPECT_EQ(scan.objects_sorted(), 0u);
}

TEST_F(DirScanTest, ANameMatchingTwoPatternsIsReportedTwiceInBothModes) {
  os_.AddFile(L"C:\\src\\a.txt");
  os_.AddFile(L"C:\\src\\b.doc");
  os_.AddFile(L"C:\\src\\c.txt");
  std::vector<std::wstring> patterns = {L"*.txt", L"a*"};
  ASSERT_TRUE(DirScan::SetFileFilter(patterns));
  for (int no_sort : {0, 1}) {
    Settings().noSort = no_sort;
    RecordingScan scan;
    Events files = EventsStartingWith(Walk(scan), L"file");
    EXPECT_EQ(std::count(files.begin(), files.end(), L"file C:\\src\\a.txt"), 2) << no_sort;
    EXPECT_EQ(std::count(files.begin(), files.end(), L"file C:\\src\\c.txt"), 1) << no_sort;
    EXPECT_EQ(files.size(), 3u) << no_sort;
    EXPECT_EQ(scan.directory_listings(), 2u) << no_sort;
  }
}

TEST_F(DirScanTest, DepthLimitAndRecursion) {
  os_.AddFile(L"C:\\src\\f0");
  os_.AddFile(L"C:\\src\\d1\\f1");
  os_.AddFile(L"C:\\src\\d1\\d2\\f2");

  // Without /s: only the root's files.
  {
    RecordingScan scan;
    EXPECT_EQ(Walk(scan), (Events{L"enter C:\\src\\", L"file C:\\src\\f0", L"scanned C:\\src\\",
                                  L"leave C:\\src\\"}));
  }
  // /s /lev:1: the depth-1 directory is read, its sub-directory not even reported.
  Settings().recurse = 1;
  Settings().maxDepth = 1;
  Settings().debug = 1;
  RecordingScan scan;
  Events events = Walk(scan);
  EXPECT_EQ(EventsStartingWith(events, L"file"),
            (Events{L"file C:\\src\\f0", L"file C:\\src\\d1\\f1"}));
  EXPECT_EQ(EventsStartingWith(events, L"dir"), (Events{L"dir C:\\src\\d1"}));
  EXPECT_EQ(EventsStartingWith(events, L"enter"),
            (Events{L"enter C:\\src\\", L"enter C:\\src\\d1\\"}));
  EXPECT_NE(os_.console().find(L"Max depth raised, subdirs of C:\\src\\d1\\ are not scanned.\n"),
            std::wstring::npos);
  EXPECT_EQ(scan.deepest_depth(), 1);

  // Unlimited: everything.
  Settings().maxDepth = 0;
  RecordingScan all;
  all.set_max_depth(0);
  EXPECT_EQ(EventsStartingWith(Walk(all), L"file").size(), 3u);
  EXPECT_EQ(all.deepest_depth(), 2);
}

TEST_F(DirScanTest, ExcludedDirectoriesAndFiles) {
  Settings().recurse = 1;
  os_.AddFile(L"C:\\src\\temp\\x");
  os_.AddFile(L"C:\\src\\Keep\\y");
  os_.AddFile(L"C:\\src\\a.TMP");
  os_.AddFile(L"C:\\src\\b.txt");
  std::vector<std::wstring> dirs = {L"Temp", L"C:\\src\\Keep"};
  std::vector<std::wstring> files = {L"*.tmp"};
  ASSERT_TRUE(DirScan::SetExcludedDirFilter(dirs));
  ASSERT_TRUE(DirScan::SetExcludedFileFilter(files));
  {
    RecordingScan scan;
    Events events = Walk(scan);
    // Case matters without /nocase: "temp" and "a.TMP" stay.
    EXPECT_EQ(EventsStartingWith(events, L"dir"), (Events{L"dir C:\\src\\temp"}));
    EXPECT_EQ(EventsStartingWith(events, L"file"),
              (Events{L"file C:\\src\\a.TMP", L"file C:\\src\\b.txt", L"file C:\\src\\temp\\x"}));
    EXPECT_NE(os_.console().find(L"C:\\src\\Keep : Excluded\n"), std::wstring::npos);
  }
  Settings().lowerCaseNames = 1;
  ASSERT_TRUE(DirScan::SetExcludedDirFilter(dirs));
  ASSERT_TRUE(DirScan::SetExcludedFileFilter(files));
  RecordingScan scan;
  Events events = Walk(scan);
  EXPECT_TRUE(EventsStartingWith(events, L"dir").empty());
  EXPECT_EQ(EventsStartingWith(events, L"file"), (Events{L"file C:\\src\\b.txt"}));
  EXPECT_NE(os_.console().find(L"C:\\src\\temp : Excluded\n"), std::wstring::npos);
  EXPECT_NE(os_.console().find(L"C:\\src\\a.TMP : Excluded\n"), std::wstring::npos);
  EXPECT_EQ(scan.files_found(), 1u);
}

TEST_F(DirScanTest, FileOnlyPatternsEnterEveryDirectory) {
  Settings().recurse = 1;
  Settings().noDirFilter = 1;
  os_.AddFile(L"C:\\src\\sub\\a.txt");
  os_.AddFile(L"C:\\src\\sub\\b.doc");
  os_.AddFile(L"C:\\src\\c.txt");
  std::vector<std::wstring> patterns = {L"*.txt"};
  ASSERT_TRUE(DirScan::SetFileFilter(patterns));
  RecordingScan scan;
  Events events = Walk(scan);
  EXPECT_EQ(EventsStartingWith(events, L"file"),
            (Events{L"file C:\\src\\c.txt", L"file C:\\src\\sub\\a.txt"}));
  EXPECT_EQ(EventsStartingWith(events, L"dir"), (Events{L"dir C:\\src\\sub"}));
  // Without /nodf the pattern filters directories too.
  Settings().noDirFilter = 0;
  ASSERT_TRUE(DirScan::SetFileFilter(patterns));
  RecordingScan filtered;
  EXPECT_TRUE(EventsStartingWith(Walk(filtered), L"dir").empty());
}

TEST_F(DirScanTest, ReparsePointDirectories) {
  Settings().recurse = 1;
  os_.AddDirectory(L"C:\\src\\mount", 0, FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_MOUNT_POINT);
  os_.AddDirectory(L"C:\\src\\dfs", 0, FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_DFS);
  os_.AddDirectory(L"C:\\src\\link", 0, FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_SYMLINK);
  {
    RecordingScan scan;
    Events events = Walk(scan);
    EXPECT_EQ(EventsStartingWith(events, L"link"), (Events{L"link C:\\src\\link"}));
    EXPECT_EQ(EventsStartingWith(events, L"dir"),
              (Events{L"dir C:\\src\\dfs", L"dir C:\\src\\mount"}));
  }
  Settings().excludeJunctions = 1;
  RecordingScan scan;
  Events events = Walk(scan);
  EXPECT_TRUE(EventsStartingWith(events, L"dir").empty());
  EXPECT_EQ(EventsStartingWith(events, L"link").size(), 1u);
  EXPECT_NE(os_.console().find(L"C:\\src\\mount : Excluded (Mount point)"), std::wstring::npos);
  EXPECT_NE(os_.console().find(L"C:\\src\\dfs : Excluded (DFS link)"), std::wstring::npos);
}

TEST_F(DirScanTest, PathsSwitchToTheLongFormAt200Characters) {
  std::wstring root = L"C:\\" + std::wstring(190, L'r');  // "C:\rrr...\" is 194 long
  os_.AddFile(root + L"\\abcde");                         // 199
  os_.AddFile(root + L"\\abcdef");                        // 200
  RecordingScan scan;
  ASSERT_TRUE(scan.SetSourceRoot(root));
  ASSERT_EQ(scan.FindSubDir(), 0);
  EXPECT_EQ(EventsStartingWith(scan.events, L"file"),
            (Events{L"file " + root + L"\\abcde", L"file \\\\?\\" + root + L"\\abcdef"}));
}

TEST_F(DirScanTest, ReadingFailuresEndTheDirectoryWithContinueOrTheWalkWithout) {
  Settings().recurse = 1;
  os_.AddFile(L"C:\\src\\bad\\x");
  os_.AddFile(L"C:\\src\\good\\y");
  Settings().continueOnError = 1;
  os_.Fail("FindFirstFileW", L"C:\\src\\bad\\*", ERROR_ACCESS_DENIED, 1);
  {
    RecordingScan scan;
    Events events = Walk(scan);
    EXPECT_EQ(EventsStartingWith(events, L"file"), (Events{L"file C:\\src\\good\\y"}));
    EXPECT_NE(events.end(), std::find(events.begin(), events.end(), L"leave C:\\src\\bad\\"));
    std::wstring console = os_.console();
    EXPECT_NE(console.find(L"C:\\src\\bad\\* -> Unable to get content"), std::wstring::npos);
    EXPECT_NE(console.find(L"C:\\src\\bad\\ -> Unable to get the content"), std::wstring::npos);
    EXPECT_FALSE(AbortRequested());
  }
  Settings().continueOnError = 0;
  os_.Fail("FindFirstFileW", L"C:\\src\\bad\\*", ERROR_ACCESS_DENIED, 1);
  RecordingScan scan;
  Events events = Walk(scan, kFailedWithoutRetry);
  EXPECT_TRUE(EventsStartingWith(events, L"file").empty());
  EXPECT_TRUE(AbortRequested());
  EXPECT_EQ(scan.statistics_printed, 1);
}

TEST_F(DirScanTest, ContinuedSearchesAreRetried) {
  Settings().noSort = 1;
  Settings().retryCount = 1;
  os_.AddFile(L"C:\\src\\a");
  os_.AddFile(L"C:\\src\\b");
  os_.Fail("FindNextFileW", L"C:\\src", ERROR_NETNAME_DELETED, 1);
  RecordingScan scan;
  EXPECT_EQ(EventsStartingWith(Walk(scan), L"file"),
            (Events{L"file C:\\src\\a", L"file C:\\src\\b"}));
  EXPECT_NE(os_.console().find(L"C:\\src\\* -> Unable to parse content, Retrying in 0 seconds..."),
            std::wstring::npos);
}

TEST_F(DirScanTest, AbortStopsTheWalk) {
  Settings().recurse = 1;
  os_.AddFile(L"C:\\src\\a");
  RecordingScan scan;
  ASSERT_TRUE(scan.SetSourceRoot(L"C:\\src"));
  RequestAbort();
  EXPECT_EQ(scan.FindSubDir(), kAborted);
  EXPECT_TRUE(EventsStartingWith(scan.events, L"file").empty());
  EXPECT_NE(os_.console().find(L"C:\\src\\ -> browsing ABORTED."), std::wstring::npos);
}

TEST_F(DirScanTest, AbortDuringARetryWaitEndsTheDirectory) {
  Settings().recurse = 1;
  Settings().retryCount = 3;
  Settings().retryWaitSeconds = 1;
  os_.AddFile(L"C:\\src\\a");
  os_.Fail("FindFirstFileW", L"C:\\src\\*", ERROR_SHARING_VIOLATION, 10);
  os_.set_on_sleep([](int sleeps) {
    if (sleeps == 2)
      RequestAbort();
  });
  RecordingScan scan;
  EXPECT_EQ(Walk(scan, kAborted).size(), 1u);  // entered, never read
  EXPECT_EQ(os_.sleeps(), 2);
}

TEST_F(DirScanTest, NotEnteredRootIsNotRead) {
  os_.AddFile(L"C:\\src\\a");
  RecordingScan scan;
  scan.enter_result = 0;
  EXPECT_EQ(Walk(scan), (Events{L"enter C:\\src\\"}));
  EXPECT_EQ(scan.level_count(), 0u);
}

// Hands work to workers: records what it is given.
class RecordingWorker : public DirScan {
 public:
  void TakeDirectory(DirScan* scanner, std::unique_ptr<FindData> entry,
                     std::unique_ptr<FindData> target_entry, int announced) override {
    taken.push_back(L"tree " + std::wstring(entry->LongName()) + L" " + std::to_wstring(announced) +
                    L" " + scanner->relative_path());
  }
  void TakeFile(DirScan* scanner, std::unique_ptr<FindData> entry,
                std::unique_ptr<FindData> target_entry) override {
    taken.push_back(L"file " + std::wstring(entry->LongName()));
  }
  void Wake() override { ++wakes; }
  std::vector<std::wstring> taken;
  int wakes = 0;
};

class HandingScan : public RecordingScan {
 public:
  DirScan* GetFileWorker() override { return file_workers ? &worker : nullptr; }
  DirScan* GetTreeWorker() override {
    return tree_worker_calls++ >= tree_worker_from ? &worker : nullptr;
  }
  int ListingUsesWorkers() override { return listing_uses_workers; }
  RecordingWorker worker;
  bool file_workers = true;
  int tree_worker_calls = 0;
  int tree_worker_from = 0;
  int listing_uses_workers = 0;
};

TEST_F(DirScanTest, FilesAndDirectoriesGoToWorkers) {
  Settings().recurse = 1;
  os_.AddFile(L"C:\\src\\PROGRA~2");
  os_.AddFile(L"C:\\src\\plain");
  os_.AddDirectory(L"C:\\src\\d1");
  os_.AddDirectory(L"C:\\src\\d2");
  HandingScan scan;
  Events events = Walk(scan);
  // The generated-alias name stays here; the rest is handed over.
  EXPECT_EQ(EventsStartingWith(events, L"file"), (Events{L"file C:\\src\\PROGRA~2"}));
  EXPECT_EQ(scan.worker.taken, (Events{L"tree d1 0 ", L"tree d2 0 ", L"file plain"}));
  EXPECT_EQ(scan.worker.wakes, 3);

  // A tree worker that frees up only after the listing takes the queued
  // sub-directories, announced (the relative path names them).
  HandingScan later;
  later.file_workers = false;
  later.tree_worker_from = 2;
  events = Walk(later);
  EXPECT_EQ(later.worker.taken, (Events{L"tree d1 1 d1\\", L"tree d2 1 d2\\"}));
  EXPECT_EQ(EventsStartingWith(events, L"enter"), (Events{L"enter C:\\src\\"}));
  EXPECT_EQ(later.level_count(), 0u);

  // Listing alone keeps files here unless the engine says otherwise.
  Settings().listOnly = 1;
  HandingScan listing;
  Walk(listing);
  EXPECT_EQ(std::count(listing.worker.taken.begin(), listing.worker.taken.end(), L"file plain"), 0);
  listing.listing_uses_workers = 1;
  listing.events.clear();
  listing.worker.taken.clear();
  Walk(listing);
  EXPECT_EQ(std::count(listing.worker.taken.begin(), listing.worker.taken.end(), L"file plain"), 1);
}

// A statistics line: the label padded to 42 characters.
std::wstring StatLine(const std::wstring& label, const std::wstring& value) {
  return label + std::wstring(42 - label.size(), L' ') + L": " + value + L"\n";
}

TEST_F(DirScanTest, ScanStatisticsText) {
  Settings().recurse = 1;
  os_.AddFile(L"C:\\src\\a");
  os_.AddFile(L"C:\\src\\d\\b");
  DirScan scan;
  ASSERT_TRUE(scan.SetSourceRoot(L"C:\\src"));
  ASSERT_EQ(scan.FindSubDir(), 0);
  std::wstring console = os_.console();
  EXPECT_NE(console.find(StatLine(L"Number of files found", L"2")), std::wstring::npos);
  EXPECT_NE(console.find(StatLine(L"Number of directories found", L"1")), std::wstring::npos);
  EXPECT_EQ(console.find(L"Number of object sorted"), std::wstring::npos);
  EXPECT_NE(console.find(L"File C:\\src\\a found\n"), std::wstring::npos);
  EXPECT_NE(console.find(L"Entering C:\\src\\d\\\n"), std::wstring::npos);

  Settings().debug = 1;
  DirScan debug;
  ASSERT_TRUE(debug.SetSourceRoot(L"C:\\src"));
  ASSERT_EQ(debug.FindSubDir(), 0);
  console = os_.console();
  EXPECT_NE(console.find(StatLine(L"Max depth of subdirectories", L"1")), std::wstring::npos);
  EXPECT_NE(console.find(StatLine(L"Number of object sorted", L"3")), std::wstring::npos);
  EXPECT_NE(console.find(StatLine(L"Total sort process duration", L"0.000")), std::wstring::npos);
  EXPECT_NE(console.find(StatLine(L"Sort average time", L"0.000")), std::wstring::npos);

  debug.ResetScan();
  EXPECT_EQ(debug.files_found(), 0u);
  EXPECT_EQ(debug.objects_sorted(), 0u);
  EXPECT_EQ(debug.deepest_depth(), 1);
}

TEST_F(DirScanTest, SourceRootForms) {
  os_.AddDirectory(L"C:\\data");
  os_.AddFile(L"C:\\data\\file");
  DirScan scan;
  ASSERT_TRUE(scan.SetSourceRoot(L"C:\\data\\\\\\"));
  EXPECT_EQ(scan.source_root(), L"C:\\data\\");
  EXPECT_EQ(scan.source_root_long(), L"\\\\?\\C:\\data\\");
  ASSERT_TRUE(scan.SetSourceRoot(L"C:\\"));
  EXPECT_EQ(scan.source_root(), L"C:\\");
  EXPECT_EQ(scan.source_root_long(), L"\\\\?\\C:\\");
  ASSERT_TRUE(scan.SetSourceRoot(L"\\\\?\\C:\\data"));
  EXPECT_EQ(scan.source_root(), L"C:\\data\\");
  EXPECT_EQ(scan.source_root_long(), L"\\\\?\\C:\\data\\");
  EXPECT_TRUE(DirScan::RootsSet());

  EXPECT_FALSE(scan.SetSourceRoot(L"C:\\data\\file"));
  EXPECT_NE(
      os_.console().find(L"C:\\data\\file is not an existing directory or it can't be accessed."),
      std::wstring::npos);
  EXPECT_FALSE(scan.SetSourceRoot(L"C:\\none"));
  EXPECT_FALSE(scan.SetSourceRoot(L".."));
  EXPECT_NE(os_.console().find(L".. : Invalid directory path"), std::wstring::npos);
}

}  // namespace
}  // namespace tarvik
