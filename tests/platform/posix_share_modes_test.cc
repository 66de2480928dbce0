// Sharing modes between the handles of the process: which opens fit together,
// which do not, and what an open handle keeps others from deleting.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include "support/test_world.h"

namespace tarvik {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

class PosixShareModesTest : public testing::Test {
 protected:
  void SetUp() override {
    world_.WriteFile(L"C:\\f.txt", "12345");
    world_.CreateDirectory(L"C:\\dir");
  }

  HANDLE Open(const wchar_t* path, DWORD access, DWORD share, DWORD disposition = OPEN_EXISTING,
              DWORD flags = FILE_FLAG_BACKUP_SEMANTICS) {
    return os_.CreateFileW(path, access, share, nullptr, disposition, flags, nullptr);
  }

  // ERROR_SUCCESS when the open works (closing it again), else its error.
  DWORD TryOpen(const wchar_t* path, DWORD access, DWORD share, DWORD disposition = OPEN_EXISTING,
                DWORD flags = FILE_FLAG_BACKUP_SEMANTICS) {
    HANDLE handle = Open(path, access, share, disposition, flags);
    if (handle == INVALID_HANDLE_VALUE)
      return Os::GetLastError();
    EXPECT_TRUE(os_.CloseHandle(handle));
    return ERROR_SUCCESS;
  }

  TestWorld world_;
  Os& os_ = world_.os();
};

TEST_F(PosixShareModesTest, ASecondOpenMustFitTheFirstBothWays) {
  struct Case {
    DWORD first_access, first_share, second_access, second_share;
    DWORD expected;
  };
  constexpr DWORD kMetadata = FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | READ_CONTROL |
                              WRITE_DAC | WRITE_OWNER | SYNCHRONIZE | FILE_READ_EA | FILE_WRITE_EA;
  const Case cases[] = {
      // Readers sharing reading.
      {GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, ERROR_SUCCESS},
      // The first does not share writing.
      {GENERIC_READ, FILE_SHARE_READ, GENERIC_WRITE, kShareAll, ERROR_SHARING_VIOLATION},
      // The second does not share the first's reading.
      {GENERIC_READ, kShareAll, GENERIC_WRITE, FILE_SHARE_WRITE, ERROR_SHARING_VIOLATION},
      {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, GENERIC_WRITE, FILE_SHARE_READ,
       ERROR_SUCCESS},
      {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
       GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, ERROR_SUCCESS},
      {GENERIC_WRITE, 0, FILE_READ_DATA, kShareAll, ERROR_SHARING_VIOLATION},
      // Appending is writing, executing is reading.
      {FILE_READ_DATA, FILE_SHARE_READ, FILE_APPEND_DATA, kShareAll, ERROR_SHARING_VIOLATION},
      {FILE_WRITE_DATA, FILE_SHARE_WRITE, GENERIC_EXECUTE, kShareAll, ERROR_SHARING_VIOLATION},
      {GENERIC_ALL, kShareAll, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
       ERROR_SHARING_VIOLATION},
      // Deleting takes part like the data.
      {GENERIC_READ, FILE_SHARE_READ, DELETE, kShareAll, ERROR_SHARING_VIOLATION},
      {DELETE, kShareAll, GENERIC_READ, FILE_SHARE_READ, ERROR_SHARING_VIOLATION},
      {DELETE, FILE_SHARE_DELETE, DELETE, FILE_SHARE_DELETE, ERROR_SUCCESS},
      {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, DELETE, FILE_SHARE_READ, ERROR_SUCCESS},
      // Attributes and security alone never conflict, either way.
      {GENERIC_READ | GENERIC_WRITE | DELETE, 0, kMetadata, 0, ERROR_SUCCESS},
      {kMetadata, 0, GENERIC_READ | GENERIC_WRITE | DELETE, 0, ERROR_SUCCESS},
      {GENERIC_WRITE, 0, 0, 0, ERROR_SUCCESS},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.first_access << "/" << c.first_share
                                    << " then " << c.second_access << "/" << c.second_share);
    HANDLE first = Open(L"C:\\f.txt", c.first_access, c.first_share);
    ASSERT_NE(first, INVALID_HANDLE_VALUE) << Os::GetLastError();
    EXPECT_EQ(TryOpen(L"C:\\f.txt", c.second_access, c.second_share), c.expected);
    EXPECT_TRUE(os_.CloseHandle(first));
  }
  EXPECT_EQ(ERROR_SHARING_VIOLATION, 32u);
}

TEST_F(PosixShareModesTest, AnyNameOfTheObjectMeetsItsHandles) {
  HANDLE writer = Open(L"C:\\f.txt", GENERIC_WRITE, 0);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(TryOpen(L"C:\\F.TXT", GENERIC_READ, kShareAll), ERROR_SHARING_VIOLATION);
  ASSERT_EQ(
      ::link(world_.HostPath(L"C:\\f.txt").c_str(), world_.HostPath(L"C:\\dir\\hard.txt").c_str()),
      0);
  EXPECT_EQ(TryOpen(L"C:\\dir\\hard.txt", GENERIC_READ, kShareAll), ERROR_SHARING_VIOLATION);
  // Another file, and the directory that holds the file, are other objects.
  world_.WriteFile(L"C:\\g.txt", "");
  EXPECT_EQ(TryOpen(L"C:\\g.txt", GENERIC_READ | GENERIC_WRITE, 0), ERROR_SUCCESS);
  EXPECT_EQ(TryOpen(L"C:\\", GENERIC_READ, 0), ERROR_SUCCESS);
  EXPECT_TRUE(os_.CloseHandle(writer));

  // A link opened as itself is not what it points to.
  world_.CreateSymlink(L"C:\\link", "f.txt");
  HANDLE link = Open(L"C:\\link", GENERIC_READ, 0, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
  ASSERT_NE(link, INVALID_HANDLE_VALUE);
  EXPECT_EQ(TryOpen(L"C:\\f.txt", GENERIC_READ, 0), ERROR_SUCCESS);
  EXPECT_EQ(TryOpen(L"C:\\link", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT),
            ERROR_SHARING_VIOLATION);
  EXPECT_TRUE(os_.CloseHandle(link));
}

TEST_F(PosixShareModesTest, ClosingReleasesAndAFailedOpenHoldsNothing) {
  HANDLE reader1 = Open(L"C:\\f.txt", GENERIC_READ, FILE_SHARE_READ);
  HANDLE reader2 = Open(L"C:\\f.txt", GENERIC_READ, FILE_SHARE_READ);
  ASSERT_NE(reader1, INVALID_HANDLE_VALUE);
  ASSERT_NE(reader2, INVALID_HANDLE_VALUE);
  EXPECT_EQ(TryOpen(L"C:\\f.txt", GENERIC_WRITE, kShareAll), ERROR_SHARING_VIOLATION);
  EXPECT_TRUE(os_.CloseHandle(reader1));
  EXPECT_EQ(TryOpen(L"C:\\f.txt", GENERIC_WRITE, kShareAll), ERROR_SHARING_VIOLATION);
  EXPECT_TRUE(os_.CloseHandle(reader2));
  EXPECT_EQ(TryOpen(L"C:\\f.txt", GENERIC_READ | GENERIC_WRITE | DELETE, 0), ERROR_SUCCESS);

  // Nor does an open refused for another reason.
  world_.SetAttributes(L"C:\\f.txt", FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(TryOpen(L"C:\\f.txt", GENERIC_WRITE, 0), ERROR_ACCESS_DENIED);
  EXPECT_EQ(TryOpen(L"C:\\f.txt", GENERIC_READ, 0), ERROR_SUCCESS);
  world_.SetAttributes(L"C:\\f.txt", FILE_ATTRIBUTE_NORMAL);
}

TEST_F(PosixShareModesTest, ARefusedOpenChangesNothing) {
  HANDLE reader = Open(L"C:\\f.txt", GENERIC_READ, FILE_SHARE_READ);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_EQ(TryOpen(L"C:\\f.txt", GENERIC_WRITE, kShareAll, CREATE_ALWAYS),
            ERROR_SHARING_VIOLATION);
  EXPECT_EQ(TryOpen(L"C:\\f.txt", GENERIC_WRITE, kShareAll, TRUNCATE_EXISTING),
            ERROR_SHARING_VIOLATION);
  EXPECT_EQ(TryOpen(L"C:\\f.txt", GENERIC_WRITE, kShareAll, OPEN_ALWAYS), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(world_.ReadFile(L"C:\\f.txt"), "12345");
  // Delete-on-close asks to delete.
  EXPECT_EQ(
      TryOpen(L"C:\\f.txt", GENERIC_READ, kShareAll, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE),
      ERROR_SHARING_VIOLATION);
  EXPECT_TRUE(world_.Exists(L"C:\\f.txt"));
  EXPECT_TRUE(os_.CloseHandle(reader));
  EXPECT_EQ(world_.ReadFile(L"C:\\f.txt"), "12345");
}

TEST_F(PosixShareModesTest, DeletingAndRenamingNeedEveryHandleToShareDeleting) {
  HANDLE reader = Open(L"C:\\f.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(os_.DeleteFileW(L"C:\\f.txt"));
  EXPECT_EQ(Os::GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(os_.MoveFileW(L"C:\\f.txt", L"C:\\moved.txt"));
  EXPECT_EQ(Os::GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_TRUE(world_.Exists(L"C:\\f.txt"));
  EXPECT_FALSE(world_.Exists(L"C:\\moved.txt"));
  // A handle for attributes alone holds nothing back.
  HANDLE metadata = Open(L"C:\\f.txt", FILE_READ_ATTRIBUTES | READ_CONTROL, 0);
  ASSERT_NE(metadata, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(os_.CloseHandle(reader));
  HANDLE sharing = Open(L"C:\\f.txt", GENERIC_READ, kShareAll);
  ASSERT_NE(sharing, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(os_.MoveFileW(L"C:\\f.txt", L"C:\\moved.txt")) << Os::GetLastError();
  EXPECT_TRUE(os_.DeleteFileW(L"C:\\moved.txt")) << Os::GetLastError();
  EXPECT_FALSE(world_.Exists(L"C:\\moved.txt"));
  EXPECT_TRUE(os_.CloseHandle(sharing));
  EXPECT_TRUE(os_.CloseHandle(metadata));

  // Directories follow the same rules.
  HANDLE directory = Open(L"C:\\dir", FILE_READ_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE);
  ASSERT_NE(directory, INVALID_HANDLE_VALUE);
  EXPECT_EQ(TryOpen(L"C:\\dir", GENERIC_READ | DELETE, kShareAll), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(TryOpen(L"C:\\dir", GENERIC_READ, FILE_SHARE_WRITE | FILE_SHARE_DELETE),
            ERROR_SHARING_VIOLATION);
  EXPECT_EQ(TryOpen(L"C:\\dir", GENERIC_READ | GENERIC_WRITE, kShareAll), ERROR_SUCCESS);
  EXPECT_FALSE(os_.RemoveDirectoryW(L"C:\\dir"));
  EXPECT_EQ(Os::GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(os_.MoveFileW(L"C:\\dir", L"C:\\dir2"));
  EXPECT_EQ(Os::GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_TRUE(os_.CloseHandle(directory));
  EXPECT_TRUE(os_.RemoveDirectoryW(L"C:\\dir")) << Os::GetLastError();
}

TEST_F(PosixShareModesTest, ExclusiveOpensExcludeEachOtherAcrossThreads) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 200;
  std::atomic<int> inside{0};
  std::atomic<int> overlaps{0};
  std::atomic<int> wins{0};
  std::atomic<int> other_errors{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      // Half ask for everything alone, half read while sharing reading.
      bool exclusive = t % 2 == 0;
      for (int i = 0; i < kRounds; ++i) {
        HANDLE handle = exclusive ? Open(L"C:\\f.txt", GENERIC_READ | GENERIC_WRITE, 0)
                                  : Open(L"C:\\f.txt", GENERIC_READ, FILE_SHARE_READ);
        if (handle == INVALID_HANDLE_VALUE) {
          if (Os::GetLastError() != ERROR_SHARING_VIOLATION)
            ++other_errors;
          continue;
        }
        ++wins;
        if (exclusive) {
          if (inside.fetch_add(1000) != 0)
            ++overlaps;
          std::this_thread::yield();
          inside.fetch_sub(1000);
        } else {
          if (inside.fetch_add(1) >= 1000)
            ++overlaps;
          std::this_thread::yield();
          inside.fetch_sub(1);
        }
        os_.CloseHandle(handle);
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_EQ(other_errors.load(), 0);
  EXPECT_GT(wins.load(), 0);
  // Every handle is closed: nothing is held back any more.
  EXPECT_EQ(TryOpen(L"C:\\f.txt", GENERIC_ALL, 0), ERROR_SUCCESS);
  EXPECT_TRUE(os_.DeleteFileW(L"C:\\f.txt"));
}

}  // namespace
}  // namespace tarvik
