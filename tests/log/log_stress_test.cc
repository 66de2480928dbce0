#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "log/log.h"
#include "log/log_testing.h"
#include "log_fixture.h"
#include "util/utf.h"

namespace tarvik {
namespace {

// Checks that text is made of whole "P<producer> <n>\n" lines, each producer's
// numbers running 0..per_producer-1 in order.
void ExpectWholeOrderedLines(const std::wstring& text, int producers, int per_producer) {
  std::vector<int> next(producers, 0);
  std::wistringstream lines(text);
  std::wstring line;
  int count = 0;
  while (std::getline(lines, line)) {
    int producer = -1, number = -1;
    wchar_t tail = 0;
    ASSERT_EQ(std::swscanf(line.c_str(), L"P%d %d%lc", &producer, &number, &tail), 2)
        << "garbled: " << line;
    ASSERT_TRUE(producer >= 0 && producer < producers) << line;
    ASSERT_EQ(number, next[producer]) << "producer " << producer << " out of order";
    ++next[producer];
    ++count;
  }
  EXPECT_EQ(count, producers * per_producer);
  EXPECT_EQ(text.back(), L'\n');
}

void Produce(int producers, int per_producer) {
  std::vector<std::thread> threads;
  for (int p = 0; p < producers; ++p) {
    threads.emplace_back([p, per_producer] {
      for (int i = 0; i < per_producer; ++i)
        LogText(L"P%d %d\n", p, i);
    });
  }
  for (auto& thread : threads)
    thread.join();
}

TEST_F(LogTest, ManyProducersLoseDuplicateOrInterleaveNothing) {
  constexpr int kProducers = 32;
  constexpr int kLines = 2000;
  Settings().logPath = L"C:\\stress.log";
  ASSERT_TRUE(CreateLogSystem(true));
  Produce(kProducers, kLines);
  StopLogSystem();

  ExpectWholeOrderedLines(os_.console_text(), kProducers, kLines);
  ExpectWholeOrderedLines(FromUtf8(os_.FileBytes(L"C:\\stress.log")), kProducers, kLines);
  EXPECT_LE(MaxPendingLogMessagesForTesting(), 1024);
  EXPECT_EQ(PendingLogMessagesForTesting(), 0);
}

TEST_F(LogTest, ProducersWaitWhenAThousandTwentyFourLinesArePending) {
  ASSERT_TRUE(CreateLogSystem(true));
  os_.HoldConsole();
  std::thread producers([] { Produce(4, 500); });
  // The writer blocks on its first line; the rest fill the queue to the bound.
  for (int i = 0; i < 500 && PendingLogMessagesForTesting() < 1023; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(MaxPendingLogMessagesForTesting(), 1024);
  EXPECT_EQ(os_.console_writes().size(), 0u);
  os_.ReleaseConsole();
  producers.join();
  StopLogSystem();
  ExpectWholeOrderedLines(os_.console_text(), 4, 500);
  EXPECT_EQ(MaxPendingLogMessagesForTesting(), 1024);
}

TEST_F(LogTest, StopAbandonsAWriterWithoutProgressButStillWritesTheFile) {
  Settings().logPath = L"C:\\stuck.log";
  SetStopWaitStepForTesting(std::chrono::milliseconds(10));
  ASSERT_TRUE(CreateLogSystem(true));
  LogInfo(L"buffered");  // file only: written by the writer before it blocks
  for (int i = 0; i < 100 && PendingLogMessagesForTesting() != 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  os_.HoldConsole();
  LogText(L"blocks the writer\n");
  LogText(L"never reached\n");

  auto start = std::chrono::steady_clock::now();
  StopLogSystem();
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(200));  // twenty steps of 10 ms
  EXPECT_LT(waited, std::chrono::seconds(5));
  EXPECT_EQ(os_.FileBytes(L"C:\\stuck.log"), "22:13:20 : buffered\nblocks the writer\n");
  EXPECT_EQ(os_.OpenHandles(), 0);

  // New lines no longer wait for the abandoned writer.
  std::thread late([] { LogText(L"after stop\n"); });
  os_.ReleaseConsole();
  late.join();
  ASSERT_TRUE(WaitForAbandonedLogWritersForTesting(std::chrono::seconds(10)));
  std::wstring console = os_.console_text();
  EXPECT_NE(console.find(L"after stop\n"), std::wstring::npos);
  EXPECT_NE(console.find(L"blocks the writer\n"), std::wstring::npos);
}

}  // namespace
}  // namespace tarvik
