// Case-insensitive names in directories that the process and others change:
// the names kept per directory must never hide a change or invent a name.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/test_world.h"
#include "util/utf.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;

class PosixCaseLookupTest : public testing::Test {
 protected:
  void SetUp() override { world_.CreateDirectory(L"C:\\d"); }

  // Opens (or creates, with disposition) and closes; the error on failure.
  DWORD Touch(const std::wstring& path, DWORD disposition) {
    HANDLE handle = os_.CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    disposition, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
      return Os::GetLastError();
    EXPECT_TRUE(os_.CloseHandle(handle));
    return ERROR_SUCCESS;
  }

  // The host names in C:\d, sorted.
  std::vector<std::string> HostNames() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(world_.HostPath(L"C:\\d")))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string Host(const std::string& name) { return world_.HostPath(L"C:\\d") + "/" + name; }

  TestWorld world_;
  Os& os_ = world_.os();
};

TEST_F(PosixCaseLookupTest, ChangesByOtherProgramsAreSeen) {
  // The directory's names are read once a name is missing...
  ASSERT_EQ(Touch(L"C:\\d\\first.txt", CREATE_NEW), ERROR_SUCCESS);
  EXPECT_EQ(Touch(L"C:\\d\\FIRST.TXT", OPEN_EXISTING), ERROR_SUCCESS);
  EXPECT_EQ(Touch(L"C:\\d\\missing.txt", OPEN_EXISTING), ERROR_FILE_NOT_FOUND);

  // ...and a name another program adds or removes afterwards is seen.
  world_.WriteFile(L"C:\\d\\Added.TXT", "x");
  EXPECT_EQ(Touch(L"C:\\d\\added.txt", OPEN_EXISTING), ERROR_SUCCESS);
  ASSERT_EQ(::unlink(Host("Added.TXT").c_str()), 0);
  EXPECT_EQ(Touch(L"C:\\d\\added.txt", OPEN_EXISTING), ERROR_FILE_NOT_FOUND);
  // A name made again in another case keeps the case it is made with.
  EXPECT_EQ(Touch(L"C:\\d\\added.txt", CREATE_NEW), ERROR_SUCCESS);
  EXPECT_EQ(HostNames(), (std::vector<std::string>{"added.txt", "first.txt"}));
}

// A name the kept listing lacks is taken for new, and the open goes straight
// to the creation: a file another program made there meanwhile must still be
// met, even where the directory's time hides the change.
TEST_F(PosixCaseLookupTest, FilesMadeBehindTheListingAreMetNotReplaced) {
  ASSERT_EQ(Touch(L"C:\\d\\first.txt", CREATE_NEW), ERROR_SUCCESS);
  EXPECT_EQ(Touch(L"C:\\d\\missing.txt", OPEN_EXISTING), ERROR_FILE_NOT_FOUND);
  const std::string directory = world_.HostPath(L"C:\\d");
  for (bool hide_change : {false, true}) {
    struct stat before;
    ASSERT_EQ(::stat(directory.c_str(), &before), 0);
    world_.WriteFile(L"C:\\d\\other.txt", "keep");
    if (hide_change) {
      const timespec times[2] = {before.st_atim, before.st_mtim};
      ASSERT_EQ(::utimensat(AT_FDCWD, directory.c_str(), times, 0), 0);
    }
    EXPECT_EQ(Touch(L"C:\\d\\other.txt", CREATE_NEW), ERROR_FILE_EXISTS);
    HANDLE handle = os_.CreateFileW(L"C:\\d\\other.txt", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_ALWAYS, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Os::GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(os_.CloseHandle(handle));
    EXPECT_EQ(world_.ReadFile(L"C:\\d\\other.txt"), "keep") << hide_change;
    ASSERT_EQ(::unlink(Host("other.txt").c_str()), 0);
    EXPECT_EQ(Touch(L"C:\\d\\missing.txt", OPEN_EXISTING), ERROR_FILE_NOT_FOUND);
  }
}

TEST_F(PosixCaseLookupTest, RemovalsAndRenamesOfTheProcessAreFollowed) {
  ASSERT_EQ(Touch(L"C:\\d\\ONE.TXT", CREATE_NEW), ERROR_SUCCESS);
  ASSERT_TRUE(os_.CreateDirectoryW(L"C:\\d\\SUB", nullptr));
  EXPECT_FALSE(os_.CreateDirectoryW(L"C:\\d\\sub", nullptr));
  EXPECT_EQ(Os::GetLastError(), ERROR_ALREADY_EXISTS);

  ASSERT_TRUE(os_.DeleteFileW(L"C:\\d\\one.txt"));
  EXPECT_EQ(Touch(L"C:\\d\\one.txt", CREATE_NEW), ERROR_SUCCESS);
  ASSERT_TRUE(os_.RemoveDirectoryW(L"C:\\d\\sub"));
  ASSERT_TRUE(os_.CreateDirectoryW(L"C:\\d\\sub", nullptr));

  ASSERT_TRUE(os_.MoveFileW(L"C:\\d\\one.txt", L"C:\\d\\Two.txt"));
  EXPECT_EQ(Touch(L"C:\\d\\one.txt", OPEN_EXISTING), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Touch(L"C:\\d\\TWO.TXT", OPEN_EXISTING), ERROR_SUCCESS);
  ASSERT_TRUE(os_.MoveFileW(L"C:\\d\\two.txt", L"C:\\d\\TWO.txt"));  // case only
  EXPECT_EQ(Touch(L"C:\\d\\two.TXT", OPEN_EXISTING), ERROR_SUCCESS);

  // Delete on close counts as a removal too.
  HANDLE doomed = os_.CreateFileW(L"C:\\d\\two.txt", GENERIC_READ | DELETE, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  ASSERT_NE(doomed, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(os_.CloseHandle(doomed));
  EXPECT_EQ(Touch(L"C:\\d\\two.txt", CREATE_NEW), ERROR_SUCCESS);
  EXPECT_EQ(HostNames(), (std::vector<std::string>{"sub", "two.txt"}));
}

TEST_F(PosixCaseLookupTest, ThreadsCreatingOneNameInTwoCasesMakeOneFile) {
  constexpr int kNames = 300;
  const wchar_t* const kCases[] = {L"name", L"NAME", L"Name", L"nAME"};
  auto create = [this, &kCases](int letter_case) {
    for (int i = 0; i < kNames; ++i) {
      std::wstring name = kCases[letter_case] + std::to_wstring(i);
      EXPECT_EQ(Touch(L"C:\\d\\" + name, OPEN_ALWAYS), ERROR_SUCCESS) << ToUtf8(name);
    }
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back(create, t % 4);
  for (std::thread& thread : threads)
    thread.join();
  std::set<std::string> folded;
  std::vector<std::string> names = HostNames();
  for (std::string name : names) {
    std::transform(name.begin(), name.end(), name.begin(), ::tolower);
    folded.insert(name);
  }
  EXPECT_EQ(names.size(), static_cast<size_t>(kNames));
  EXPECT_EQ(folded.size(), static_cast<size_t>(kNames));
}

}  // namespace
}  // namespace tarvik
