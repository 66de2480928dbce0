#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/posix/posix_os.h"
#include "support/temp_dir.h"
#include "util/utf.h"

namespace tarvik {
namespace {

class PosixFilesTest : public testing::Test {
 protected:
  PosixFilesTest() {
    std::filesystem::create_directory(temp_.path() + "/share");
    World world;
    world.computer = L"PC";
    WorldDrive drive;
    drive.letter = L'T';
    drive.host_path = temp_.path();
    world.drives[L'T'] = drive;
    WorldServer server;
    server.name = L"FS";
    WorldShare share;
    share.name = L"s";
    share.host_path = temp_.path() + "/share";
    server.shares.push_back(share);
    world.servers.push_back(server);
    os_ = std::make_unique<PosixOs>(std::move(world));
  }

  HANDLE Open(const std::wstring& path, DWORD access, DWORD disposition, DWORD flags = 0) {
    return os_->CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition, flags,
                            nullptr);
  }

  std::string Host(const std::string& name) const { return temp_.path() + "/" + name; }

  std::string ReadHost(const std::string& name) const {
    std::ifstream in(Host(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  void WriteHost(const std::string& name, const std::string& text) const {
    std::ofstream(Host(name), std::ios::binary) << text;
  }

  std::string ReadAll(HANDLE file) {
    std::string text;
    char buffer[7];
    DWORD got = 0;
    while (os_->ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
      text.append(buffer, got);
    }
    return text;
  }

  TempDir temp_;
  std::unique_ptr<PosixOs> os_;
};

TEST_F(PosixFilesTest, CreationDispositionsAndTheirErrors) {
  HANDLE file = Open(L"T:\\new.txt", GENERIC_WRITE, CREATE_NEW);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os::GetLastError(), ERROR_SUCCESS);
  EXPECT_TRUE(os_->CloseHandle(file));
  EXPECT_EQ(Open(L"T:\\new.txt", GENERIC_WRITE, CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os::GetLastError(), ERROR_FILE_EXISTS);

  WriteHost("old.txt", "content");
  file = Open(L"T:\\old.txt", GENERIC_WRITE, OPEN_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os::GetLastError(), ERROR_ALREADY_EXISTS);
  os_->CloseHandle(file);
  EXPECT_EQ(ReadHost("old.txt"), "content");

  file = Open(L"T:\\fresh.txt", GENERIC_WRITE, OPEN_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os::GetLastError(), ERROR_SUCCESS);
  os_->CloseHandle(file);
  EXPECT_TRUE(std::filesystem::exists(Host("fresh.txt")));

  file = Open(L"T:\\old.txt", GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os::GetLastError(), ERROR_ALREADY_EXISTS);
  os_->CloseHandle(file);
  EXPECT_EQ(ReadHost("old.txt"), "");

  WriteHost("old.txt", "content");
  file = Open(L"T:\\old.txt", GENERIC_WRITE, TRUNCATE_EXISTING);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  os_->CloseHandle(file);
  EXPECT_EQ(ReadHost("old.txt"), "");
  EXPECT_EQ(Open(L"T:\\old.txt", GENERIC_READ, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os::GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Open(L"T:\\old.txt", GENERIC_READ, 0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os::GetLastError(), ERROR_INVALID_PARAMETER);

  EXPECT_EQ(Open(L"T:\\missing.txt", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os::GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Open(L"T:\\missing.txt", GENERIC_WRITE, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os::GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Open(L"T:\\no\\dir\\x.txt", GENERIC_WRITE, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os::GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(Open(L"T:\\old.txt\\x", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os::GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(Open(L"\\\\NOBODY\\s\\x", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os::GetLastError(), ERROR_BAD_NETPATH);
  EXPECT_EQ(Open(L"\\\\FS\\nothing\\x", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os::GetLastError(), ERROR_BAD_NET_NAME);
}

TEST_F(PosixFilesTest, DirectoriesOpenOnlyWithBackupSemantics) {
  std::filesystem::create_directory(Host("dir"));
  EXPECT_EQ(Open(L"T:\\dir", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os::GetLastError(), ERROR_ACCESS_DENIED);
  HANDLE dir = Open(L"T:\\dir", GENERIC_READ, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  ASSERT_NE(dir, INVALID_HANDLE_VALUE);
  char byte;
  DWORD got;
  EXPECT_FALSE(os_->ReadFile(dir, &byte, 1, &got, nullptr));
  EXPECT_EQ(Os::GetLastError(), ERROR_INVALID_FUNCTION);
  EXPECT_TRUE(os_->CloseHandle(dir));
  EXPECT_EQ(Open(L"T:\\dir", GENERIC_WRITE, CREATE_NEW, FILE_FLAG_BACKUP_SEMANTICS),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os::GetLastError(), ERROR_FILE_EXISTS);
  EXPECT_EQ(Open(L"T:\\dir", GENERIC_WRITE, CREATE_ALWAYS, FILE_FLAG_BACKUP_SEMANTICS),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os::GetLastError(), ERROR_ACCESS_DENIED);
}

TEST_F(PosixFilesTest, AccessIsCheckedByTheHostAndByTheHandle) {
  WriteHost("data.txt", "abc");
  HANDLE reader = Open(L"T:\\data.txt", GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  DWORD count = 1;
  EXPECT_FALSE(os_->WriteFile(reader, "x", 1, &count, nullptr));
  EXPECT_EQ(Os::GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(count, 0u);
  EXPECT_FALSE(os_->FlushFileBuffers(reader));
  EXPECT_EQ(Os::GetLastError(), ERROR_ACCESS_DENIED);
  os_->CloseHandle(reader);

  HANDLE writer = Open(L"T:\\data.txt", GENERIC_WRITE, OPEN_EXISTING);
  char buffer[4];
  EXPECT_FALSE(os_->ReadFile(writer, buffer, 4, &count, nullptr));
  EXPECT_EQ(Os::GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(os_->FlushFileBuffers(writer));
  os_->CloseHandle(writer);

  // The host's permission checks, made as an ordinary account (root passes
  // them all): no right to the data, but the metadata may still be opened.
  std::filesystem::permissions(temp_.path(), std::filesystem::perms::all);
  ::chmod(Host("data.txt").c_str(), 0);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        if (geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
          _exit(2);
        bool ok = Open(L"T:\\data.txt", GENERIC_WRITE, OPEN_EXISTING) == INVALID_HANDLE_VALUE &&
                  Os::GetLastError() == ERROR_ACCESS_DENIED;
        ok = ok && Open(L"T:\\data.txt", GENERIC_READ, OPEN_EXISTING) == INVALID_HANDLE_VALUE &&
             Os::GetLastError() == ERROR_ACCESS_DENIED;
        HANDLE metadata = Open(L"T:\\data.txt", FILE_READ_ATTRIBUTES, OPEN_EXISTING);
        ok = ok && metadata != INVALID_HANDLE_VALUE &&
             !os_->ReadFile(metadata, buffer, 4, &count, nullptr) &&
             Os::GetLastError() == ERROR_ACCESS_DENIED;
        _exit(ok ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST_F(PosixFilesTest, RoundTripAndAppendThroughDriveAndShare) {
  HANDLE file = Open(L"\\\\FS\\s\\log.txt", GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  EXPECT_TRUE(os_->WriteFile(file, "hello", 5, &written, nullptr));
  EXPECT_EQ(written, 5u);
  os_->CloseHandle(file);

  // Reopen and append, as a log opened for adding does.
  file = Open(L"\\\\?\\T:\\share\\log.txt", GENERIC_WRITE, OPEN_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(os_->SetFilePointer(file, 0, nullptr, FILE_END), 5u);
  EXPECT_TRUE(os_->WriteFile(file, " world", 6, &written, nullptr));
  os_->CloseHandle(file);

  file = Open(L"T:\\share\\log.txt", GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadAll(file), "hello world");
  DWORD got = 99;
  char byte;
  EXPECT_TRUE(os_->ReadFile(file, &byte, 1, &got, nullptr));  // at the end: success, nothing
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(os_->SetFilePointer(file, 6, nullptr, FILE_BEGIN), 6u);
  EXPECT_EQ(ReadAll(file), "world");
  EXPECT_EQ(os_->SetFilePointer(file, -5, nullptr, FILE_CURRENT), 6u);
  os_->CloseHandle(file);
  EXPECT_EQ(ReadHost("share/log.txt"), "hello world");
}

// A reader stops at the end it finds, not at the size the file had when it
// was opened: bytes appended since are read, and the end is still told.
TEST_F(PosixFilesTest, PositionedReadsFollowAFileThatGrew) {
  WriteHost("grows.txt", "0123");
  HANDLE file = os_->CreateFileW(L"T:\\grows.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  std::ofstream(Host("grows.txt"), std::ios::binary | std::ios::app) << "4567";
  char buffer[16] = {};
  DWORD got = 0;
  OVERLAPPED at{};
  ASSERT_TRUE(os_->ReadFile(file, buffer, sizeof(buffer), &got, &at));
  EXPECT_EQ(std::string(buffer, got), "01234567");
  at.Offset = 2;
  ASSERT_TRUE(os_->ReadFile(file, buffer, 2, &got, &at));
  EXPECT_EQ(std::string(buffer, got), "23");
  at.Offset = 8;
  EXPECT_FALSE(os_->ReadFile(file, buffer, sizeof(buffer), &got, &at));
  EXPECT_EQ(Os::GetLastError(), ERROR_HANDLE_EOF);
  os_->CloseHandle(file);
}

// A large file read in order is read ahead of its reader, well past what the
// host's own read-ahead fetches, and again as the reader comes near the end
// of what was asked; the data read is the file's.
TEST_F(PosixFilesTest, SequentialReadersAreReadAhead) {
  constexpr size_t kMiB = 1 << 20;
  constexpr size_t kSize = 16 * kMiB;
  std::string data(kSize, '\0');
  for (size_t i = 0; i < kSize; i += 4096)
    data[i] = static_cast<char>(i / 4096);
  WriteHost("large.bin", data);
  const int fd = ::open(Host("large.bin").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ::fdatasync(fd);
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  void* map = ::mmap(nullptr, kSize, PROT_READ, MAP_SHARED, fd, 0);
  ASSERT_NE(map, MAP_FAILED);
  auto resident = [&](size_t mib) {
    unsigned char page = 0;
    ::mincore(static_cast<char*>(map) + mib * kMiB, 4096, &page);
    return (page & 1) != 0;
  };
  // The host's reads end in the background: wait for them, a while.
  auto comes_in = [&](size_t mib) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!resident(mib) && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return resident(mib);
  };
  if (resident(6) || resident(12)) {
    ::munmap(map, kSize);
    ::close(fd);
    GTEST_SKIP() << "the host keeps the file in memory";
  }
  HANDLE file = Open(L"T:\\large.bin", GENERIC_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  // Small reads: the host's own read-ahead stays within a few pages.
  std::string buffer(4096, '\0');
  DWORD got = 0;
  OVERLAPPED at{};
  ASSERT_TRUE(os_->ReadFile(file, buffer.data(), 4096, &got, &at));
  EXPECT_EQ(buffer, data.substr(0, 4096));
  EXPECT_TRUE(comes_in(6));
  at.Offset = 5 * kMiB;
  ASSERT_TRUE(os_->ReadFile(file, buffer.data(), 4096, &got, &at));
  EXPECT_EQ(buffer, data.substr(5 * kMiB, 4096));
  EXPECT_TRUE(comes_in(12));
  os_->CloseHandle(file);
  ::munmap(map, kSize);
  ::close(fd);
}

TEST_F(PosixFilesTest, FilePointerIsSixtyFourBits) {
  HANDLE file = Open(L"T:\\big.bin", GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  LONG high = 1;
  EXPECT_EQ(os_->SetFilePointer(file, 16, &high, FILE_BEGIN), 16u);  // 4 GiB + 16
  EXPECT_EQ(high, 1);
  EXPECT_EQ(Os::GetLastError(), ERROR_SUCCESS);
  DWORD written;
  ASSERT_TRUE(os_->WriteFile(file, "z", 1, &written, nullptr));
  high = 0;
  EXPECT_EQ(os_->SetFilePointer(file, 0, &high, FILE_END), 17u);
  EXPECT_EQ(high, 1);
  high = -1;  // a negative 64-bit distance: back by 17 bytes from the end
  EXPECT_EQ(os_->SetFilePointer(file, -17, &high, FILE_END), 0u);
  EXPECT_EQ(high, 1);

  // Without a high part the position must fit in 32 bits.
  EXPECT_EQ(os_->SetFilePointer(file, 0, nullptr, FILE_END), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(Os::GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(os_->SetFilePointer(file, -1, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(Os::GetLastError(), ERROR_NEGATIVE_SEEK);
  EXPECT_EQ(os_->SetFilePointer(file, 0, nullptr, 7), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(Os::GetLastError(), ERROR_INVALID_PARAMETER);
  os_->CloseHandle(file);
}

TEST_F(PosixFilesTest, HandlesAreCheckedAndReleased) {
  HANDLE file = Open(L"T:\\h.txt", GENERIC_WRITE, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(file) % 4, 0u);
  EXPECT_NE(file, os_->GetStdHandle(STD_OUTPUT_HANDLE));
  EXPECT_TRUE(std::filesystem::exists(Host("h.txt")));
  EXPECT_TRUE(os_->CloseHandle(file));
  EXPECT_FALSE(std::filesystem::exists(Host("h.txt")));
  EXPECT_FALSE(os_->CloseHandle(file));
  EXPECT_EQ(Os::GetLastError(), ERROR_INVALID_HANDLE);
  DWORD count;
  char byte;
  EXPECT_FALSE(os_->ReadFile(INVALID_HANDLE_VALUE, &byte, 1, &count, nullptr));
  EXPECT_EQ(Os::GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(os_->WriteFile(reinterpret_cast<HANDLE>(4000), &byte, 1, &count, nullptr));
  EXPECT_EQ(Os::GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(PosixFilesTest, ThreadsOpenWriteAndCloseAtOnce) {
  constexpr int kThreads = 4;
  constexpr int kFiles = 50;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < kFiles; ++i) {
        std::wstring name = L"T:\\t" + std::to_wstring(t) + L"_" + std::to_wstring(i);
        HANDLE file = Open(name, GENERIC_WRITE, CREATE_ALWAYS);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        std::string text = ToUtf8(name);
        DWORD written;
        ASSERT_TRUE(
            os_->WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
        ASSERT_TRUE(os_->CloseHandle(file));
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kFiles; ++i) {
      std::string name = "t" + std::to_string(t) + "_" + std::to_string(i);
      EXPECT_EQ(ReadHost(name), "T:\\" + name);
    }
  }
}

}  // namespace
}  // namespace tarvik
