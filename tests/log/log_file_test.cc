#include <chrono>
#include <string>
#include <thread>

#include "log/log.h"
#include "log_fixture.h"
#include "util/utf.h"

namespace tarvik {
namespace {

const std::wstring kPath = L"C:\\logs\\run.log";

class LogFileTest : public LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    Settings().logPath = kPath;
  }
  std::string File() { return os_.FileBytes(kPath); }
  int Writes() { return os_.WriteFileCalls(kPath); }

  // Waits (in real time) for the writer's timer to act.
  bool WaitForWrites(int count) {
    for (int i = 0; i < 200 && Writes() < count; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return Writes() >= count;
  }
};

TEST_F(LogFileTest, NarrowFileIsUtf8WithLineFeedsAndIsErasedOrAppended) {
  os_.SetFile(kPath, "old\n");
  ASSERT_TRUE(CreateLogSystem(false));
  LogText(L"caf\u00e9 \u20ac\n");
  StopLogSystem();
  EXPECT_EQ(File(), "caf\xC3\xA9 \xE2\x82\xAC\n");

  ResetLogSystemForTesting();
  Settings().logPath = kPath;
  Settings().logAppend = 1;
  ASSERT_TRUE(CreateLogSystem(false));
  LogText(L"second\n");
  StopLogSystem();
  EXPECT_EQ(File(), "caf\xC3\xA9 \xE2\x82\xAC\nsecond\n");
}

TEST_F(LogFileTest, UnicodeFileStartsEveryRunWithAByteOrderMark) {
  Settings().logUnicode = 1;
  ASSERT_TRUE(CreateLogSystem(false));
  LogText(L"a\n");
  StopLogSystem();
  const std::string first = std::string("\xFF\xFE", 2) + ToUtf16Le(L"a\n");
  EXPECT_EQ(File(), first);

  ResetLogSystemForTesting();
  Settings().logPath = kPath;
  Settings().logUnicode = 1;
  Settings().logAppend = 1;
  ASSERT_TRUE(CreateLogSystem(false));
  LogText(L"b\n");
  StopLogSystem();
  EXPECT_EQ(File(), first + std::string("\xFF\xFE", 2) + ToUtf16Le(L"b\n"));
}

TEST_F(LogFileTest, UnwritableByteOrderMarkIsReportedAndTheRunGoesOn) {
  Settings().logUnicode = 1;
  os_.FailWrites(kPath, ERROR_DISK_FULL);
  EXPECT_TRUE(CreateLogSystem(false));
  EXPECT_NE(
      os_.console_text().find(L"ERROR (112) : Unable to write unicode header to the log file : " +
                              kPath + L" \n"),
      std::wstring::npos);
}

TEST_F(LogFileTest, DebugLogAnnouncesTheFileAndTracesFlushes) {
  Settings().debugLog = 1;
  ASSERT_TRUE(CreateLogSystem(false));
  EXPECT_EQ(os_.console_text(),
            std::wstring(kTime) + L"WARNING : Task log file created : " + kPath + L"\n");
  for (int i = 1; i < 100; ++i)
    LogInfo(L"x");
  std::wstring console = os_.console_text();
  EXPECT_NE(console.find(L"Flush on Count at   :  22-13-20\n"), std::wstring::npos);
  os_.AdvanceClock(3);
  LogInfo(L"y");
  EXPECT_NE(os_.console_text().find(L"Flush on Message at :  22-13-23\n"), std::wstring::npos);
  // The trace lines stay out of the file.
  StopLogSystem();
  EXPECT_EQ(File().find("Flush on"), std::string::npos);
  EXPECT_EQ(File().find("22:13:20 : WARNING : Task log file created : "), 0u);

  ResetLogSystemForTesting();
  Settings().logPath = kPath;
  Settings().logUnicode = 1;
  Settings().debugLog = 1;
  ASSERT_TRUE(CreateLogSystem(false));
  EXPECT_NE(os_.console_text().find(L"WARNING : Task unicode log file created : " + kPath + L"\n"),
            std::wstring::npos);
}

TEST_F(LogFileTest, FlushesOnEveryHundredthLineAndOnALateMessage) {
  ASSERT_TRUE(CreateLogSystem(false));
  for (int i = 1; i <= 99; ++i)
    LogInfo(L"line %d", i);
  EXPECT_EQ(Writes(), 0);
  LogInfo(L"line %d", 100);
  EXPECT_EQ(Writes(), 1);
  std::string hundred = File();
  EXPECT_EQ(hundred.substr(hundred.size() - 20), "22:13:20 : line 100\n");

  LogInfo(L"line %d", 101);
  EXPECT_EQ(Writes(), 1);
  os_.AdvanceClock(2);  // not more than the interval yet
  LogInfo(L"line %d", 102);
  EXPECT_EQ(Writes(), 1);
  os_.AdvanceClock(1);
  LogInfo(L"line %d", 103);
  EXPECT_EQ(Writes(), 2);
  EXPECT_EQ(File().substr(hundred.size()),
            "22:13:20 : line 101\n22:13:22 : line 102\n22:13:23 : line 103\n");
  // Nothing is printed to the console: Info goes to the file only.
  EXPECT_EQ(os_.console_text(), L"");
}

TEST_F(LogFileTest, TimerFlushesAStaleBuffer) {
  ASSERT_TRUE(CreateLogSystem(true));
  LogInfo(L"waiting");
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  EXPECT_EQ(Writes(), 0) << "the clock has not moved; the buffer must wait";
  os_.AdvanceClock(3);
  ASSERT_TRUE(WaitForWrites(1));
  EXPECT_EQ(File(), "22:13:20 : waiting\n");
  StopLogSystem();
}

TEST_F(LogFileTest, WriteFailureIsReportedOnceOnTheConsole) {
  ASSERT_TRUE(CreateLogSystem(false));
  os_.FailWrites(kPath, ERROR_DISK_FULL);
  for (int i = 0; i < 300; ++i)
    LogInfo(L"x");
  StopLogSystem();
  std::wstring console = os_.console_text();
  std::wstring message = L"ERROR (112) : Unable to write to the log file : " + kPath + L"\n";
  ASSERT_NE(console.find(message), std::wstring::npos);
  EXPECT_EQ(console.find(message, console.find(message) + 1), std::wstring::npos);
}

}  // namespace
}  // namespace tarvik
