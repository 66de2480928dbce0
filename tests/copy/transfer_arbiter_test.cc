// The transfer window arbiter: the window under many threads, the order in
// which waiting requests run, orphans, aborts, and the wait for disk space
// on a volume whose free space changes.
#include "copy/transfer_arbiter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/test_world.h"
#include "util/abort.h"
#include "util/utf.h"

namespace tarvik {
namespace {

using namespace std::chrono_literals;

constexpr uint64_t kMB = 1048576;

QuotaConfig Window(uint64_t bytes, uint32_t threads, bool debug = false) {
  QuotaConfig config;
  config.mode = kQuotaTransferWindow;
  config.threadCount = threads;
  config.windowBytes = bytes;
  config.debug = debug;
  return config;
}

// Waits until the arbiter holds count waiting requests.
void AwaitWaiting(QuotaThread& arbiter, size_t count) {
  for (int i = 0; i < 2000 && arbiter.WaitingCountForTesting() != count; ++i)
    std::this_thread::sleep_for(1ms);
  ASSERT_EQ(arbiter.WaitingCountForTesting(), count);
}

// A worker of the tests: asks on its own thread, so that the test can watch
// it wait.
struct Asker {
  AutoResetEvent event;
  std::future<void> done;

  void Ask(QuotaThread& arbiter, uint64_t size, uint32_t number) {
    done = std::async(std::launch::async, [&arbiter, this, size, number] {
      arbiter.AcquireTransfer(&event, size, number);
    });
  }
  bool Granted() { return done.wait_for(2s) == std::future_status::ready; }
  bool StillWaiting() { return done.wait_for(50ms) == std::future_status::timeout; }
};

// Stops the arbiter before the askers go, so that a failed assertion cannot
// leave one waiting for ever.
struct StopFirst {
  QuotaThread& arbiter;
  ~StopFirst() { arbiter.Stop(); }
};

class TransferArbiterTest : public ::testing::Test {
 protected:
  ~TransferArbiterTest() override { ResetAbortForTesting(); }
  std::mutex lock_;
  TestWorld world_;
};

// Many workers, a small window, sizes around it and a few larger than it:
// the bytes in flight never exceed the window unless one transfer runs
// alone, every waiter runs, and the arbiter ends empty. Some workers ask
// again without releasing (a restarted copy), which the orphan path absorbs.
TEST_F(TransferArbiterTest, WindowHoldsUnderStress) {
  constexpr uint32_t kThreads = 24;
  constexpr int kRounds = 150;
  constexpr uint64_t kWindow = 1000;
  QuotaThread arbiter(Window(kWindow, kThreads), &lock_);
  ASSERT_TRUE(arbiter.Start());
  std::atomic<uint64_t> in_flight{0};
  std::atomic<int> running{0};
  std::atomic<int> violations{0};
  std::atomic<int> completed{0};
  auto worker = [&](uint32_t number) {
    std::mt19937 random(number);
    AutoResetEvent event;
    for (int round = 0; round < kRounds; ++round) {
      const uint64_t size = random() % 16 == 0 ? kWindow + 1 + random() % 500 : 1 + random() % 600;
      arbiter.AcquireTransfer(&event, size, number);
      const uint64_t now = in_flight.fetch_add(size) + size;
      const int alone = running.fetch_add(1) + 1;
      if (now > kWindow && alone != 1)
        ++violations;
      if (random() % 4 == 0)
        std::this_thread::yield();
      running.fetch_sub(1);
      in_flight.fetch_sub(size);
      if (random() % 10 != 0 || round == kRounds - 1)
        arbiter.ReleaseTransfer(number);  // else: asks again without releasing
    }
    ++completed;
  };
  std::vector<std::thread> threads;
  for (uint32_t i = 0; i < kThreads; ++i)
    threads.emplace_back(worker, i);
  auto joined = std::async(std::launch::async, [&] {
    for (auto& thread : threads)
      thread.join();
  });
  if (joined.wait_for(60s) != std::future_status::ready) {
    arbiter.PostAbort();  // let the test end; the failure is recorded
    ADD_FAILURE() << "workers still waiting: " << kThreads - completed.load();
  }
  joined.wait();
  EXPECT_EQ(violations.load(), 0);
  EXPECT_EQ(completed.load(), static_cast<int>(kThreads));
  EXPECT_EQ(arbiter.WaitingCountForTesting(), 0u);
  EXPECT_EQ(arbiter.WindowSumForTesting(), 0u);
  arbiter.Stop();
}

// The cases of the window one by one, with their traces: a second 60 MB file
// waits for the first; waiting 80, 10 and 10 MB with 30 MB free let the two
// small ones pass; a file larger than the window runs alone; a worker that
// asks twice loses its first request.
TEST_F(TransferArbiterTest, WindowOrderAndTraces) {
  QuotaThread arbiter(Window(100 * kMB, 5, true), &lock_);
  ASSERT_TRUE(arbiter.Start());
  ::testing::internal::CaptureStdout();
  Asker first, second;
  Asker big, small1, small2, hold, top_up;
  Asker alone, orphan;
  StopFirst stop{arbiter};
  first.Ask(arbiter, 60 * kMB, 0);
  ASSERT_TRUE(first.Granted());
  second.Ask(arbiter, 60 * kMB, 1);
  AwaitWaiting(arbiter, 1);
  EXPECT_TRUE(second.StillWaiting());
  arbiter.ReleaseTransfer(0);
  ASSERT_TRUE(second.Granted());
  arbiter.ReleaseTransfer(1);

  hold.Ask(arbiter, 70 * kMB, 0);
  ASSERT_TRUE(hold.Granted());
  top_up.Ask(arbiter, 25 * kMB, 4);
  ASSERT_TRUE(top_up.Granted());
  big.Ask(arbiter, 80 * kMB, 1);
  AwaitWaiting(arbiter, 1);
  small1.Ask(arbiter, 10 * kMB, 2);
  AwaitWaiting(arbiter, 2);
  small2.Ask(arbiter, 10 * kMB, 3);
  AwaitWaiting(arbiter, 3);
  arbiter.ReleaseTransfer(4);  // 30 MB free
  EXPECT_TRUE(small1.Granted());
  EXPECT_TRUE(small2.Granted());
  EXPECT_TRUE(big.StillWaiting());
  arbiter.ReleaseTransfer(0);
  EXPECT_TRUE(big.Granted());
  for (uint32_t n : {1u, 2u, 3u})
    arbiter.ReleaseTransfer(n);
  EXPECT_EQ(arbiter.WindowSumForTesting(), 0u);

  alone.Ask(arbiter, 150 * kMB, 0);
  ASSERT_TRUE(alone.Granted());
  EXPECT_EQ(arbiter.WindowSumForTesting(), 150 * kMB);
  orphan.Ask(arbiter, 5 * kMB, 0);  // asks again without releasing
  ASSERT_TRUE(orphan.Granted());
  EXPECT_EQ(arbiter.WindowSumForTesting(), 5 * kMB);
  arbiter.ReleaseTransfer(0);
  arbiter.Stop();
  const std::string out = ::testing::internal::GetCapturedStdout();
  for (const char* text :
       {"QOS : thread 2 placed in waiting list", "QOS : thread 1 removed from running tab",
        "QOS : thread 2 removed from waiting list and placed in running tab",
        "QOS : thread 1 allowed to run, current transfert windows : ",
        "QOS : thread 3 removed from waiting list and placed in running tab",
        "QOS : thread 4 removed from waiting list and placed in running tab"}) {
    EXPECT_NE(out.find(text), std::string::npos) << text << "\n" << out;
  }
  const size_t removed = out.find("QOS : Orphean thread 1 removed from running list");
  ASSERT_NE(removed, std::string::npos) << out;
  EXPECT_NE(out.find("QOS : thread 1 allowed to run", removed), std::string::npos);
}

// A single worker, or no mode at all: nothing waits and nothing is traced.
TEST_F(TransferArbiterTest, SingleWorkerIsNeverHeld) {
  QuotaThread arbiter(Window(kMB, 1, true), &lock_);
  ASSERT_TRUE(arbiter.Start());
  ::testing::internal::CaptureStdout();
  AutoResetEvent event;
  arbiter.AcquireTransfer(&event, 10 * kMB, 0);
  arbiter.AcquireTransfer(&event, 10 * kMB, 0);
  arbiter.ReleaseTransfer(0);
  arbiter.Stop();
  EXPECT_EQ(::testing::internal::GetCapturedStdout().find("QOS"), std::string::npos);
}

// An abort wakes every waiting worker, and one that asks after the abort
// does not wait at all.
TEST_F(TransferArbiterTest, AbortWakesEveryWaiter) {
  QuotaThread arbiter(Window(10 * kMB, 4, true), &lock_);
  ASSERT_TRUE(arbiter.Start());
  AddAbortCallback(arbiter.AbortCallback());
  ::testing::internal::CaptureStdout();
  Asker holder, waiters[2], late;
  StopFirst stop{arbiter};
  holder.Ask(arbiter, 10 * kMB, 0);
  ASSERT_TRUE(holder.Granted());
  waiters[0].Ask(arbiter, kMB, 1);
  waiters[1].Ask(arbiter, kMB, 2);
  AwaitWaiting(arbiter, 2);
  RequestAbort();
  EXPECT_TRUE(waiters[0].Granted());
  EXPECT_TRUE(waiters[1].Granted());
  late.Ask(arbiter, kMB, 3);
  EXPECT_TRUE(late.Granted());
  arbiter.Stop();
  const std::string out = ::testing::internal::GetCapturedStdout();
  for (const char* text :
       {"QOS : thread 2 removed from waiting list due to abort",
        "QOS : thread 3 removed from waiting list due to abort", "QOS : thread 2 aborted",
        "QOS : thread 3 aborted", "QOS : thread 4 aborted"}) {
    EXPECT_NE(out.find(text), std::string::npos) << text << "\n" << out;
  }
}

// Waiting for disk space on a volume of 100 GB with a high-water mark of 90:
// the reserve is 10 GB, a 1-byte file takes a whole cluster, a request that
// would eat into the reserve waits until the volume has room again (the
// arbiter measures it every 250 ms while nothing runs).
TEST_F(TransferArbiterTest, DiskSpaceWaitsUntilTheVolumeGrows) {
  constexpr uint64_t kGB = 1024 * kMB;
  const std::string figures = world_.root() + "/space";
  auto set_free = [&](uint64_t free) {
    std::ofstream(figures + ".new") << free << " " << 100 * kGB << "\n";
    std::rename((figures + ".new").c_str(), figures.c_str());
  };
  set_free(20 * kGB);
  TestWorld world(R"({"drives": {"D:": {"path": "d", "volume": {"figures_file": ")" + figures +
                  R"("}}}})");
  world.CreateDirectory(L"D:\\dst");
  QuotaConfig config;
  config.mode = kQuotaWaitForSpace;
  config.threadCount = 3;
  config.highWaterMark = 90;
  config.debug = true;
  QuotaThread arbiter(config, &lock_);
  ASSERT_TRUE(arbiter.Start());
  arbiter.SetTarget(L"D:\\dst\\");
  EXPECT_EQ(arbiter.FreeSpaceForTesting(), 20 * kGB);
  ::testing::internal::CaptureStdout();
  Asker tiny, large;
  StopFirst stop{arbiter};
  tiny.Ask(arbiter, 1, 0);
  ASSERT_TRUE(tiny.Granted());
  EXPECT_EQ(arbiter.FreeSpaceForTesting(), 20 * kGB - 8192);
  arbiter.ReleaseTransfer(0);
  set_free(15 * kGB);  // the volume shrinks
  large.Ask(arbiter, 12 * kGB, 1);
  AwaitWaiting(arbiter, 1);
  std::this_thread::sleep_for(600ms);  // a few measurements: still too little
  EXPECT_TRUE(large.StillWaiting());
  set_free(30 * kGB);  // ... and grows
  EXPECT_TRUE(large.Granted());
  arbiter.ReleaseTransfer(1);
  arbiter.Stop();
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("QOS : thread 2 placed in waiting list, space available : "),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("QOS : thread 2 removed from waiting list and placed in running tab"),
            std::string::npos);
  EXPECT_NE(out.find("QOS : thread 2 allowed to run, space available : "), std::string::npos);
}

}  // namespace
}  // namespace tarvik
