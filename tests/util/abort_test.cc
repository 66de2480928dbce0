#include "util/abort.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace tarvik {
namespace {

TEST(AbortTest, CallbacksRunOnceInOrderWhateverTheNumberOfRequests) {
  ResetAbortForTesting();
  std::vector<int> calls;
  AddAbortCallback([&] { calls.push_back(1); });
  AddAbortCallback([&] { calls.push_back(2); });
  EXPECT_FALSE(AbortRequested());
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i)
    threads.emplace_back([] { RequestAbort(); });
  for (auto& thread : threads)
    thread.join();
  EXPECT_TRUE(AbortRequested());
  EXPECT_EQ(calls, (std::vector<int>{1, 2}));
  ResetAbortForTesting();
  EXPECT_FALSE(AbortRequested());
}

}  // namespace
}  // namespace tarvik
