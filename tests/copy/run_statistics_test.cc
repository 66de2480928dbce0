#include "copy/run_statistics.h"

#include <gtest/gtest.h>

#include <iterator>
#include <thread>
#include <vector>

#include "util/format.h"

namespace tarvik {
namespace {

TEST(RunStatisticsTest, RunThatCopiedNothing) {
  RunTotals totals;
  CopySettings settings;
  EXPECT_EQ(RunStatisticsText(totals, settings, {}),
            L"\nCopy engine Statistics\n======================\n\n"
            L"File(s) copied                            : 0\n"
            L"File(s) recovered                         : 0\n"
            L"Directory(ies) created                    : 0\n"
            L"Amount of copied byte(s)                  : 0 Byte(s) (0 Byte(s))\n"
            L"\n");
}

TEST(RunStatisticsTest, CopiedRunWithFailuresAndBitrate) {
  RunTotals totals;
  totals.copy.filesCopied = 3;
  totals.copy.directoriesCreated = 2;
  totals.copy.fileCopiesFailed = 1;
  totals.copy.deletedFiles = 1;
  totals.copy.fileLinks = 4;
  totals.copy.bytesCopied = 1536;
  totals.scan.filesRecovered = 1;
  totals.frequency = 1000;
  totals.runStart = 1000;
  totals.runEnd = 3000;  // two seconds
  CopySettings settings;
  EXPECT_EQ(RunStatisticsText(totals, settings, {}),
            L"\nCopy engine Statistics\n======================\n\n"
            L"File(s) copied                            : 3\n"
            L"File(s) recovered                         : 1\n"
            L"Directory(ies) created                    : 2\n"
            L"Copy of File(s) failed                    : 1 !\n"
            L"Number of file(s) symlink                 : 4\n"
            L"Number of Deleted file(s)                 : 1\n"
            L"Amount of copied byte(s)                  : 1 KB (1 536 Byte(s))\n"
            L"Estimated copy bitrate                    : 0.750 KB/s\n"
            L"Global copy duration                      : 2.000 \n"
            L"\n");

  // /create renames the lines and drops the amount.
  settings.createOnly = 1;
  std::wstring text = RunStatisticsText(totals, settings, {});
  EXPECT_NE(text.find(L"File(s) created                           : 3\n"), std::wstring::npos);
  EXPECT_NE(text.find(L"Creation of File(s) failed                : 1 !\n"), std::wstring::npos);
  EXPECT_EQ(text.find(L"Amount"), std::wstring::npos);
}

TEST(RunStatisticsTest, ListingHeadingHasNoBitrate) {
  RunTotals totals;
  totals.copy.bytesCopied = 5;
  totals.runEnd = 10;
  CopySettings settings;
  settings.listOnly = 1;
  std::wstring text = RunStatisticsText(totals, settings, {});
  EXPECT_EQ(text.rfind(L"\nCopy engine Statistics : results should be like this\n", 0), 0u);
  EXPECT_NE(text.find(L"like this\n" + std::wstring(52, L'=') + L"\n\n"), std::wstring::npos);
  EXPECT_EQ(text.find(L"bitrate"), std::wstring::npos);
}

TEST(RunStatisticsTest, SecurityOnlyModes) {
  RunTotals totals;
  totals.scan.filesFound = 7;
  totals.scan.directoriesFound = 2;
  totals.copy.securitySettingsDone = 9;
  CopySettings settings;
  settings.backupSD = 1;
  EXPECT_EQ(RunStatisticsText(totals, settings, {}),
            L"\nCopy engine Statistics\n======================\n\n"
            L"Number of file(s) found                   : 7\n"
            L"Number of directory(ies) found            : 3\n"
            L"Number of Security Descriptor(s) backuped : 9\n"
            L"\n");
  settings.backupSD = 0;
  settings.restoreSD = 1;
  totals.copy.securityDescriptorsChecked = 4;
  totals.copy.securitySettingsFailed = 1;
  EXPECT_EQ(RunStatisticsText(totals, settings, {}),
            L"\nCopy engine Statistics\n======================\n\n"
            L"Number of Security Descriptor(s) checked  : 4\n"
            L"Number of Security Descriptor(s) restored : 9\n"
            L"Security Descriptor Setting(s) failed     : 1 !\n"
            L"\n");
}

TEST(RunStatisticsTest, DebugStatisticsAddTheRunningTimeTable) {
  RunStatistics statistics;
  statistics.Reset(4, 1000);
  TaskReport task;
  task.copy.filesCopied = 1;
  task.scan.filesFound = 2;
  task.scan.deepestLevel = 3;
  DirCopyStats timings;
  timings.runningTime = 1500;
  timings.copyCount = 2;
  timings.findCount = 5;
  statistics.Merge(task, 2, &timings);
  task.scan.deepestLevel = 1;
  statistics.Merge(task, 9, &timings);  // outside the table: counters only
  RunTotals totals = statistics.Snapshot();
  EXPECT_EQ(totals.copy.filesCopied, 2u);
  EXPECT_EQ(totals.scan.deepestLevel, 3u);

  CopySettings settings;
  settings.debugStats = 1;
  std::wstring text = RunStatisticsText(totals, settings, {});
  EXPECT_EQ(text.rfind(L"\nSID cache Statistics\n", 0), 0u);
  EXPECT_NE(text.find(L"Max depth of subdirectories               : 3\n"), std::wstring::npos);
  EXPECT_NE(text.find(L"Sort average time                         : 0.000\n"), std::wstring::npos);
  EXPECT_NE(text.find(L"Compare engine Statistics\n"), std::wstring::npos);
  EXPECT_NE(text.find(L"\nThreads Running time\n====================\n\n"
                      L"  Th        RT Dur        CP Dur        CP    Byte Count      Find Dur"
                      L"      Find    Delete Dur    Delete        MG Dur\n"
                      L"   0         0.000         0.000         0             0         0.000"
                      L"         0         0.000         0         0.000\n"),
            std::wstring::npos)
      << text;
  EXPECT_NE(text.find(L"   2      1500.000         0.000         2"), std::wstring::npos);
  EXPECT_NE(text.find(L"   3         0.000"), std::wstring::npos);
  EXPECT_EQ(text.find(L"   4         0.000"), std::wstring::npos);
  EXPECT_NE(text.find(L" TOT" + std::wstring(37, L' ') + L"2" + std::wstring(37, L' ') + L"5"),
            std::wstring::npos)
      << text;
}

TEST(RunStatisticsTest, MergesFromManyThreads) {
  RunStatistics statistics;
  statistics.Reset(8, 1);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&statistics, t] {
      for (int i = 0; i < 1000; ++i) {
        TaskReport task;
        task.copy.bytesCopied = 1;
        task.resultBits = (i == 500 && t == 3) ? uint32_t{kResultDataError} : 0u;
        DirCopyStats timings;
        timings.copyCount = 1;
        statistics.Merge(task, t, &timings);
        statistics.CountAttach();
      }
    });
  }
  for (auto& thread : threads)
    thread.join();
  RunTotals totals = statistics.Snapshot();
  EXPECT_EQ(totals.copy.bytesCopied, 8000u);
  EXPECT_EQ(totals.attachRefCount, 8000u);
  EXPECT_EQ(totals.exitBits, kResultDataError);
  EXPECT_EQ(totals.rows[3].copyCount, 1000);
}

TEST(RunStatisticsTest, EveryFailureLineSetsAnExitBit) {
  struct Case {
    const wchar_t* label;
    void (*set)(RunTotals&);
    uint32_t bit;
  };
  const Case cases[] = {
      {L"Copy of File(s) failed", [](RunTotals& t) { t.copy.fileCopiesFailed = 1; },
       kResultDataError},
      {L"Skipped copy(ies) of file content", [](RunTotals& t) { t.copy.skippedContentCopies = 1; },
       kResultSecurityError},
      {L"Creation of Directory(ies) failed",
       [](RunTotals& t) { t.copy.directoryCreationsFailed = 1; }, kResultDataError},
      {L"Reading of Directory(ies) failed", [](RunTotals& t) { t.scan.directoryReadsFailed = 1; },
       kResultDataError},
      {L"Mismatched File(s)", [](RunTotals& t) { t.scan.mismatchedFiles = 1; }, kResultMismatch},
      {L"Mismatched Directory(ies)", [](RunTotals& t) { t.scan.mismatchedDirectories = 1; },
       kResultMismatch},
      {L"Security Descriptor Setting(s) failed",
       [](RunTotals& t) { t.copy.securitySettingsFailed = 1; }, kResultSecurityError},
      {L"Number of Purged file(s) failed", [](RunTotals& t) { t.copy.purgedFilesFailed = 1; },
       kResultDataError},
      {L"Number of Purged directory(ies) failed",
       [](RunTotals& t) { t.copy.purgedDirectoriesFailed = 1; }, kResultDataError},
      {L"Number of file(s) symlink failed", [](RunTotals& t) { t.copy.fileLinksFailed = 1; },
       kResultDataError},
      {L"Number of directory(ies) symlink failed",
       [](RunTotals& t) { t.copy.directoryLinksFailed = 1; }, kResultDataError},
      {L"Number of Deleted file(s) failed", [](RunTotals& t) { t.copy.deletedFilesFailed = 1; },
       kResultDataError},
      {L"Count of File content mismatch", [](RunTotals& t) { t.copy.contentMismatches = 1; },
       kResultDataError},
  };
  CopySettings settings;
  settings.checkContentMode = kCheckBin;
  RunTotals all;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    RunTotals totals;
    c.set(totals);
    c.set(all);
    EXPECT_NE(RunStatisticsText(totals, settings, {}).find(Format(L"%-42s: 1 !\n", c.label)),
              std::wstring::npos);
    RunStatistics statistics;
    statistics.Reset(1, 1);
    statistics.Merge(TaskReport{.copy = totals.copy, .scan = totals.scan}, 0, nullptr);
    EXPECT_EQ(statistics.ExitBits(), c.bit);
  }
  // No other line is marked: a new failure line needs its bit and its case.
  const std::wstring text = RunStatisticsText(all, settings, {});
  size_t marked = 0;
  for (size_t at = text.find(L" !\n"); at != std::wstring::npos; at = text.find(L" !\n", at + 1))
    ++marked;
  EXPECT_EQ(marked, std::size(cases));

  RunTotals md5;
  md5.copy.md5Mismatches = 1;
  settings.checkContentMode = kCheckMd5;
  EXPECT_NE(RunStatisticsText(md5, settings, {}).find(L"Count of File MD5 mismatch"),
            std::wstring::npos);
  EXPECT_EQ(FailureBits(md5.copy, md5.scan), uint32_t{kResultDataError});
  EXPECT_EQ(FailureBits(CopyCounters(), ScanCounters()), 0u);
}

TEST(RunStatisticsTest, SummaryResultsOfASingleEngine) {
  CopyCounters copy;
  ScanCounters scan;
  CopySettings settings;
  EXPECT_EQ(SummaryResultsText(copy, scan, settings, 0), L"\nSummary results:\n\n");
  copy.filesCopied = 2;
  copy.directoriesCreated = 1;
  copy.fileCopiesFailed = 1;
  copy.bytesCopied = 1536;
  EXPECT_EQ(SummaryResultsText(copy, scan, settings, 0),
            L"\nSummary results:\n"
            L"File(s) copied                            : 2\n"
            L"Directory(ies) created)                   : 1\n"
            L"Copy of File(s) failed                    : 1!\n"
            L"Amount of copied byte(s) : 1 KB (1 536 Byte(s))\n\n");
  copy.bytesCopied = 12;
  settings.listOnly = 1;
  std::wstring text = SummaryResultsText(copy, scan, settings, 0);
  EXPECT_EQ(text.rfind(L"\nThe summary results should be like this:\n", 0), 0u);
  EXPECT_NE(text.find(L"Amount of copied byte(s) : 12 Byte(s)\n\n"), std::wstring::npos);
}

}  // namespace
}  // namespace tarvik
