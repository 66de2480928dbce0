#include "copy/run_statistics.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

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
