#include <string>
#include <thread>

#include "log/log.h"
#include "log/log_testing.h"
#include "log_fixture.h"
#include "platform/os.h"

namespace tarvik {
namespace {

std::wstring WorkerPrefixFor(DWORD thread_id) {
  return Format(L"TH%.3d : ", thread_id == 77 ? 3 : 0);
}

TEST_F(LogTest, BeforeCreationLinesGoToStandardOutputWithoutColours) {
  LogText(L"plain %d\n", 1);
  LogText(L"");
  LogInfo(L"info");
  LogWarning(L"careful");
  LogError(0, L"");  // nothing to say: no line at all

  EXPECT_EQ(os_.console_text(),
            std::wstring(L"plain 1\n") + kTime + L"info\n" + kTime + L"WARNING : careful\n");
  EXPECT_TRUE(os_.attribute_calls().empty());
  for (const auto& write : os_.console_writes())
    EXPECT_EQ(write.handle, RecordingOs::StdOutput());
}

TEST_F(LogTest, ErrorBodies) {
  LogError(5, L"%s -> Unable to open file", L"C:\\data\\a.txt");
  LogError(5, L"");
  LogError(0, L"no code");
  LogError(1234, L"");  // a code the system has no text for still ends its line
  Os::SetLastError(ERROR_FILE_NOT_FOUND);
  LogLastError(L"open %s", L"b");
  LogText(L"end\n");

  std::wstring t = kTime;
  EXPECT_EQ(os_.console_text(), t + L"ERROR (5) : C:\\data\\a.txt -> Unable to open file\n" + t +
                                    L"ERROR (5) : Access is denied.\n" + t + L"ERROR : no code\n" +
                                    t + L"ERROR (1234) : \n" + t + L"ERROR (2) : open b\n" +
                                    L"end\n");
}

TEST_F(LogTest, WorkerPrefixAndTimePrefixThroughTheWriter) {
  SetWorkerPrefixHook(WorkerPrefixFor);
  ASSERT_TRUE(CreateLogSystem(true));
  std::thread worker([] {
    RecordingOs::SetThreadIdForThisThread(77);
    LogInfo(L"from worker %d", 3);
  });
  worker.join();
  LogInfo(L"from main");
  LogText(L"text has no prefix\n");
  os_.AdvanceClock(3661);
  LogWarning(L"later");
  StopLogSystem();

  EXPECT_EQ(os_.console_text(), std::wstring(L"TH003 : 22:13:20 : from worker 3\n") +
                                    L"TH000 : 22:13:20 : from main\n" + L"text has no prefix\n" +
                                    L"TH000 : 23:14:21 : WARNING : later\n");
}

TEST_F(LogTest, ColoursWarningsAndErrorsAndRestoresTheDefault) {
  ASSERT_TRUE(CreateLogSystem(true));
  LogText(L"text\n");
  LogWarning(L"warn");
  LogInfo(L"info");
  LogError(5, L"bad");
  StopLogSystem();

  auto writes = os_.console_writes();
  ASSERT_EQ(writes.size(), 4u);
  EXPECT_EQ(writes[0].attribute, 7);
  EXPECT_EQ(writes[1].attribute, 14);
  EXPECT_EQ(writes[2].attribute, 7);
  EXPECT_EQ(writes[3].attribute, 12);
  EXPECT_EQ(os_.attribute_calls(), (std::vector<WORD>{14, 7, 12, 7}));
}

TEST_F(LogTest, InfoGoesToTheConsoleOnlyWithoutFileOrWithTee) {
  Settings().logPath = L"C:\\run.log";
  ASSERT_TRUE(CreateLogSystem(true));
  LogInfo(L"info");
  LogText(L"text\n");
  LogWarning(L"warn");
  LogError(5, L"err");
  StopLogSystem();
  std::wstring t = kTime;
  EXPECT_EQ(os_.console_text(), L"text\n" + t + L"WARNING : warn\n" + t + L"ERROR (5) : err\n");
  EXPECT_EQ(os_.FileBytes(L"C:\\run.log"),
            "22:13:20 : info\ntext\n22:13:20 : WARNING : warn\n22:13:20 : ERROR (5) : err\n");

  ResetLogSystemForTesting();
  RecordingOs tee_os;
  Os* fixture_os = Os::Install(&tee_os);
  Settings().logTee = 1;
  ASSERT_TRUE(CreateLogSystem(true));
  LogInfo(L"info");
  LogText(L"text\n");
  StopLogSystem();
  Os::Install(fixture_os);
  EXPECT_EQ(tee_os.console_text(), t + L"info\ntext\n");
  EXPECT_EQ(tee_os.FileBytes(L"C:\\run.log"), "22:13:20 : info\ntext\n");
}

TEST_F(LogTest, StopWritesEverythingPostedAndLaterLinesAreNotLost) {
  Settings().logPath = L"C:\\run.log";
  ASSERT_TRUE(CreateLogSystem(true));
  for (int i = 0; i < 50; ++i)
    LogText(L"%d\n", i);
  StopLogSystem();
  std::string expected;
  for (int i = 0; i < 50; ++i)
    expected += std::to_string(i) + "\n";
  EXPECT_EQ(os_.FileBytes(L"C:\\run.log"), expected);
  EXPECT_EQ(os_.OpenHandles(), 0);

  // After the stop the file is closed; a late line reaches the console.
  LogInfo(L"late");
  EXPECT_EQ(os_.FileBytes(L"C:\\run.log"), expected);
  EXPECT_NE(os_.console_text().find(std::wstring(kTime) + L"late\n"), std::wstring::npos);

  // Stopping twice is harmless.
  StopLogSystem();
}

TEST_F(LogTest, ConsoleQuickEditIsSwitchedOffWhileRunning) {
  os_.SetInputMode(ENABLE_QUICK_EDIT_MODE | 0x1);
  ASSERT_TRUE(CreateLogSystem(true));
  EXPECT_EQ(os_.set_input_modes(), std::vector<DWORD>{0x1});
  StopLogSystem();
  EXPECT_EQ(os_.set_input_modes(), (std::vector<DWORD>{0x1, ENABLE_QUICK_EDIT_MODE | 0x1}));

  // A mode without quick edit is left alone.
  ResetLogSystemForTesting();
  os_.SetInputMode(0x1);
  ASSERT_TRUE(CreateLogSystem(true));
  StopLogSystem();
  EXPECT_EQ(os_.set_input_modes().size(), 2u);
}

TEST_F(LogTest, WriterRunsAtHighestPriority) {
  ASSERT_TRUE(CreateLogSystem(true));
  StopLogSystem();
  EXPECT_EQ(os_.thread_priorities_set(), std::set<int>{THREAD_PRIORITY_HIGHEST});
}

TEST_F(LogTest, UnopenableLogFileFailsCreationWithAnErrorOnStandardOutput) {
  Settings().logPath = L"Q:\\missing\\run.log";
  os_.FailOpen(L"Q:\\missing\\run.log", ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(CreateLogSystem(true));
  EXPECT_EQ(
      os_.console_text(),
      std::wstring(kTime) + L"ERROR (3) : Unable to open the log file : Q:\\missing\\run.log\n");
  EXPECT_TRUE(os_.attribute_calls().empty());
}

TEST_F(LogTest, BannerIsShownAtOnceAndHeadsTheLogFile) {
  BannerText(L"\n%s %s\n\n", L"tarvik", L"4.20");
  BannerText(L"\tBuild %s\n\n", L"today");
  EXPECT_EQ(os_.console_text(), L"");
  ShowBanner();
  const std::wstring banner = L"\ntarvik 4.20\n\n\tBuild today\n\n";
  EXPECT_EQ(os_.console_text(), banner);

  Settings().logPath = L"C:\\run.log";
  ASSERT_TRUE(CreateLogSystem(false));
  // The banner was written at once and counts as a line: the 99th line
  // completes a hundred and is written with it.
  EXPECT_EQ(os_.FileBytes(L"C:\\run.log"), "\ntarvik 4.20\n\n\tBuild today\n\n");
  for (int i = 0; i < 98; ++i)
    LogInfo(L"x");
  EXPECT_EQ(os_.WriteFileCalls(L"C:\\run.log"), 1);
  LogInfo(L"x");
  EXPECT_EQ(os_.WriteFileCalls(L"C:\\run.log"), 2);
}

}  // namespace
}  // namespace tarvik
