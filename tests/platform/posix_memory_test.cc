// Memory the program asks for directly.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "support/test_world.h"

namespace tarvik {
namespace {

constexpr DWORD kCommit = MEM_COMMIT | MEM_RESERVE;

TEST(PosixMemoryTest, AllocationsAreZeroedWritableAndReleasedOnce) {
  TestWorld world;
  Os& os = world.os();
  for (SIZE_T size : {SIZE_T{1}, SIZE_T{4096}, SIZE_T{1048576}, SIZE_T{3 * 1048576 + 5}}) {
    SCOPED_TRACE(size);
    auto* bytes = static_cast<uint8_t*>(os.VirtualAlloc(nullptr, size, kCommit, PAGE_READWRITE));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(bytes[size - 1], 0);
    std::memset(bytes, 0xAB, size);
    if (size >= 1048576) {  // a buffer worth a large page starts on one
      EXPECT_EQ(reinterpret_cast<uintptr_t>(bytes) % (2u << 20), 0u);
    }
    EXPECT_TRUE(os.VirtualFree(bytes, 0, MEM_RELEASE));
    EXPECT_FALSE(os.VirtualFree(bytes, 0, MEM_RELEASE));
    EXPECT_EQ(Os::GetLastError(), ERROR_INVALID_ADDRESS);
  }
}

TEST(PosixMemoryTest, RefusesWhatTheProgramNeverAsksFor) {
  TestWorld world;
  Os& os = world.os();
  int local = 0;
  EXPECT_EQ(os.VirtualAlloc(nullptr, 0, kCommit, PAGE_READWRITE), nullptr);
  EXPECT_EQ(Os::GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(os.VirtualAlloc(&local, 4096, kCommit, PAGE_READWRITE), nullptr);
  EXPECT_EQ(os.VirtualAlloc(nullptr, 4096, MEM_RESERVE, PAGE_READWRITE), nullptr);
  EXPECT_EQ(os.VirtualAlloc(nullptr, 4096, kCommit, 0x02 /* PAGE_READONLY */), nullptr);
  EXPECT_EQ(Os::GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(os.VirtualAlloc(nullptr, SIZE_MAX, kCommit, PAGE_READWRITE), nullptr);

  void* memory = os.VirtualAlloc(nullptr, 4096, kCommit, PAGE_READWRITE);
  ASSERT_NE(memory, nullptr);
  EXPECT_FALSE(os.VirtualFree(memory, 4096, MEM_RELEASE));  // a release names no size
  EXPECT_EQ(Os::GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(os.VirtualFree(&local, 0, MEM_RELEASE));
  EXPECT_EQ(Os::GetLastError(), ERROR_INVALID_ADDRESS);
  EXPECT_TRUE(os.VirtualFree(memory, 0, MEM_RELEASE));
}

TEST(PosixMemoryTest, ManyThreadsAllocateAndReleaseTheirOwn) {
  TestWorld world;
  Os& os = world.os();
  std::vector<std::thread> threads;
  std::vector<int> failures(8, 0);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&os, &failures, t] {
      for (int i = 0; i < 50; ++i) {
        const SIZE_T size = (i % 2 == 0) ? 4096 : 1048576;
        auto* bytes =
            static_cast<uint8_t*>(os.VirtualAlloc(nullptr, size, kCommit, PAGE_READWRITE));
        if (bytes == nullptr) {
          ++failures[t];
          continue;
        }
        bytes[size - 1] = static_cast<uint8_t>(t);
        if (!os.VirtualFree(bytes, 0, MEM_RELEASE))
          ++failures[t];
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(failures, std::vector<int>(8, 0));
}

}  // namespace
}  // namespace tarvik
