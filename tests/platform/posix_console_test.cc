#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "platform/error_text.h"
#include "platform/posix/posix_os.h"

namespace tarvik {
namespace {

World NamedWorld(const std::wstring& computer) {
  World world;
  world.computer = computer;
  return world;
}

// Everything readable on fd within a short wait.
std::string Drain(int fd) {
  std::string bytes;
  struct pollfd ready = {fd, POLLIN, 0};
  while (::poll(&ready, 1, 100) > 0 && (ready.revents & POLLIN)) {
    char buffer[256];
    ssize_t got = ::read(fd, buffer, sizeof(buffer));
    if (got <= 0)
      break;
    bytes.append(buffer, static_cast<size_t>(got));
  }
  return bytes;
}

TEST(PosixConsoleTest, RedirectedOutputGetsTextWithoutColours) {
  int pipe_fds[2];
  ASSERT_EQ(::pipe(pipe_fds), 0);
  {
    PosixOs os(NamedWorld(L"PC"), {0, pipe_fds[1], pipe_fds[1]});
    HANDLE out = os.GetStdHandle(STD_OUTPUT_HANDLE);
    EXPECT_TRUE(
        os.SetConsoleTextAttribute(out, FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_INTENSITY));
    DWORD written = 0;
    EXPECT_TRUE(os.WriteConsoleW(out, L"h\u00e9llo \U0001F600\n", 8, &written));
    EXPECT_EQ(written, 8u);
    EXPECT_TRUE(os.SetConsoleTextAttribute(out, 7));
    DWORD mode = 0;
    EXPECT_FALSE(os.GetConsoleMode(out, &mode));
    EXPECT_EQ(Os::GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(os.SetConsoleMode(out, 0));
    EXPECT_EQ(Os::GetLastError(), ERROR_INVALID_HANDLE);
  }
  EXPECT_EQ(Drain(pipe_fds[0]), "h\xc3\xa9llo \xf0\x9f\x98\x80\n");
  ::close(pipe_fds[0]);
  ::close(pipe_fds[1]);
}

TEST(PosixConsoleTest, ATerminalGetsColoursAndKeepsItsMode) {
  int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
    GTEST_SKIP() << "no pseudo terminals here";
  }
  int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);
  {
    PosixOs os(NamedWorld(L"PC"), {terminal, terminal, terminal});
    HANDLE out = os.GetStdHandle(STD_OUTPUT_HANDLE);
    EXPECT_TRUE(os.SetConsoleTextAttribute(out, 14));
    EXPECT_EQ(Drain(master), "\x1b[0;93m");  // yellow: bright yellow
    EXPECT_TRUE(os.SetConsoleTextAttribute(out, 12));
    EXPECT_EQ(Drain(master), "\x1b[0;91m");  // light red: bright red
    EXPECT_TRUE(os.SetConsoleTextAttribute(out, 0x1F));
    EXPECT_EQ(Drain(master), "\x1b[0;97;44m");
    EXPECT_TRUE(os.SetConsoleTextAttribute(out, 7));
    EXPECT_EQ(Drain(master), "\x1b[0m");

    DWORD mode = 0;
    ASSERT_TRUE(os.GetConsoleMode(out, &mode));
    EXPECT_EQ(mode, 3u);
    EXPECT_TRUE(os.SetConsoleMode(out, 5));
    ASSERT_TRUE(os.GetConsoleMode(out, &mode));
    EXPECT_EQ(mode, 5u);
    HANDLE in = os.GetStdHandle(STD_INPUT_HANDLE);
    ASSERT_TRUE(os.GetConsoleMode(in, &mode));
    EXPECT_TRUE(mode & ENABLE_QUICK_EDIT_MODE);
    EXPECT_TRUE(os.SetConsoleMode(in, (mode & ~ENABLE_QUICK_EDIT_MODE) | ENABLE_EXTENDED_FLAGS));
    ASSERT_TRUE(os.GetConsoleMode(in, &mode));
    EXPECT_FALSE(mode & ENABLE_QUICK_EDIT_MODE);
  }
  ::close(terminal);
  ::close(master);
}

TEST(PosixConsoleTest, StandardHandlesAreThreeDistinctHandles) {
  PosixOs os(NamedWorld(L"PC"));
  HANDLE in = os.GetStdHandle(STD_INPUT_HANDLE);
  HANDLE out = os.GetStdHandle(STD_OUTPUT_HANDLE);
  HANDLE err = os.GetStdHandle(STD_ERROR_HANDLE);
  EXPECT_NE(in, out);
  EXPECT_NE(out, err);
  EXPECT_NE(in, err);
  EXPECT_NE(out, INVALID_HANDLE_VALUE);
  EXPECT_EQ(os.GetStdHandle(5), INVALID_HANDLE_VALUE);
  EXPECT_EQ(os.GetStdHandle(STD_OUTPUT_HANDLE), out);
}

TEST(PosixConsoleTest, ComputerNameFollowsTheBufferRules) {
  PosixOs os(NamedWorld(L"FILESRV01"));
  wchar_t buffer[16];
  DWORD size = 16;
  ASSERT_TRUE(os.GetComputerNameW(buffer, &size));
  EXPECT_EQ(size, 9u);
  EXPECT_EQ(std::wstring(buffer), L"FILESRV01");

  size = 9;  // no room for the terminating zero
  EXPECT_FALSE(os.GetComputerNameW(buffer, &size));
  EXPECT_EQ(Os::GetLastError(), ERROR_BUFFER_OVERFLOW);
  EXPECT_EQ(size, 10u);
  size = 0;
  EXPECT_FALSE(os.GetComputerNameW(nullptr, &size));
  EXPECT_EQ(size, 10u);
  size = 10;
  EXPECT_TRUE(os.GetComputerNameW(buffer, &size));
  EXPECT_EQ(size, 9u);
  EXPECT_FALSE(os.GetComputerNameW(buffer, nullptr));
  EXPECT_EQ(Os::GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(PosixConsoleTest, SystemMessagesEndWithALineBreak) {
  PosixOs os(NamedWorld(L"PC"));
  auto text = [&](DWORD code) {
    wchar_t buffer[512];
    DWORD length = os.FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, code, LANG_NEUTRAL_DEFAULT, buffer, 512, nullptr);
    return std::wstring(buffer, length);
  };
  EXPECT_EQ(text(5), L"Access is denied.\r\n");
  EXPECT_EQ(text(2), L"The system cannot find the file specified.\r\n");
  EXPECT_EQ(text(112), L"There is not enough space on the disk.\r\n");
  EXPECT_EQ(text(64), L"The specified network name is no longer available.\r\n");
  EXPECT_EQ(text(1332), L"No mapping between account names and security IDs was done.\r\n");
  EXPECT_EQ(text(67), L"The network name cannot be found.\r\n");

  for (DWORD code : {ERROR_SUCCESS,
                     ERROR_INVALID_FUNCTION,
                     ERROR_FILE_NOT_FOUND,
                     ERROR_PATH_NOT_FOUND,
                     ERROR_TOO_MANY_OPEN_FILES,
                     ERROR_ACCESS_DENIED,
                     ERROR_INVALID_HANDLE,
                     ERROR_NOT_ENOUGH_MEMORY,
                     ERROR_INVALID_DATA,
                     ERROR_OUTOFMEMORY,
                     ERROR_INVALID_DRIVE,
                     ERROR_NOT_SAME_DEVICE,
                     ERROR_NO_MORE_FILES,
                     ERROR_WRITE_PROTECT,
                     ERROR_NOT_READY,
                     ERROR_WRITE_FAULT,
                     ERROR_READ_FAULT,
                     ERROR_GEN_FAILURE,
                     ERROR_SHARING_VIOLATION,
                     ERROR_LOCK_VIOLATION,
                     ERROR_HANDLE_EOF,
                     ERROR_HANDLE_DISK_FULL,
                     ERROR_NOT_SUPPORTED,
                     ERROR_BAD_NETPATH,
                     ERROR_NETWORK_BUSY,
                     ERROR_UNEXP_NET_ERR,
                     ERROR_NETNAME_DELETED,
                     ERROR_NETWORK_ACCESS_DENIED,
                     ERROR_BAD_NET_NAME,
                     ERROR_FILE_EXISTS,
                     ERROR_INVALID_PARAMETER,
                     ERROR_BROKEN_PIPE,
                     ERROR_OPEN_FAILED,
                     ERROR_BUFFER_OVERFLOW,
                     ERROR_DISK_FULL,
                     ERROR_CALL_NOT_IMPLEMENTED,
                     ERROR_INSUFFICIENT_BUFFER,
                     ERROR_INVALID_NAME,
                     ERROR_INVALID_LEVEL,
                     ERROR_DIR_NOT_EMPTY,
                     ERROR_NEGATIVE_SEEK,
                     ERROR_BAD_PATHNAME,
                     ERROR_BUSY,
                     ERROR_ALREADY_EXISTS,
                     ERROR_FILENAME_EXCED_RANGE,
                     ERROR_FILE_TOO_LARGE,
                     ERROR_MORE_DATA,
                     ERROR_VC_DISCONNECTED,
                     ERROR_NO_MORE_ITEMS,
                     ERROR_DIRECTORY,
                     ERROR_NOT_ALL_ASSIGNED,
                     ERROR_SOME_NOT_MAPPED,
                     ERROR_OPERATION_ABORTED,
                     ERROR_IO_DEVICE,
                     ERROR_NOT_A_REPARSE_POINT,
                     ERROR_REPARSE_TAG_INVALID,
                     ERROR_INVALID_FLAGS,
                     ERROR_NO_TOKEN,
                     ERROR_BAD_DEVICE,
                     ERROR_CONNECTION_UNAVAIL,
                     ERROR_DEVICE_ALREADY_REMEMBERED,
                     ERROR_NO_NET_OR_BAD_PATH,
                     ERROR_EXTENDED_ERROR,
                     ERROR_NETWORK_UNREACHABLE,
                     ERROR_NOT_CONNECTED,
                     ERROR_NONE_MAPPED,
                     ERROR_NO_SUCH_PRIVILEGE,
                     ERROR_PRIVILEGE_NOT_HELD,
                     ERROR_INVALID_OWNER,
                     ERROR_INVALID_PRIMARY_GROUP,
                     ERROR_NO_SUCH_DOMAIN,
                     ERROR_NO_SUCH_USER,
                     ERROR_NO_SUCH_ALIAS,
                     ERROR_NO_SUCH_GROUP,
                     ERROR_INVALID_SID,
                     ERROR_INVALID_ACL,
                     ERROR_INVALID_SECURITY_DESCR,
                     ERROR_BAD_INHERITANCE_ACL,
                     ERROR_DOMAIN_CONTROLLER_NOT_FOUND,
                     ERROR_NO_LOGON_SERVERS,
                     ERROR_TRUSTED_RELATIONSHIP_FAILURE,
                     ERROR_COMPRESSION_DISABLED,
                     ERROR_CANT_ACCESS_FILE,
                     ERROR_CANT_RESOLVE_FILENAME,
                     ERROR_NOT_FOUND,
                     NERR_Success,
                     NERR_UserNotFound,
                     NERR_GroupNotFound,
                     NERR_InvalidComputer,
                     NERR_NetNameNotFound,
                     NERR_DCNotFound}) {
    std::wstring message = text(code);
    ASSERT_GT(message.size(), 3u) << code;
    EXPECT_EQ(message.substr(message.size() - 2), L"\r\n") << code;
    EXPECT_EQ(message.find(L"\r\n"), message.size() - 2) << code;
  }

  wchar_t buffer[64];
  EXPECT_EQ(os.FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 99999, 0, buffer, 64, nullptr),
            0u);
  EXPECT_EQ(Os::GetLastError(), ERROR_MR_MID_NOT_FOUND);
  // "Access is denied.\r\n" is 19 characters and needs 20 with its zero.
  EXPECT_EQ(os.FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, 0, buffer, 19, nullptr), 0u);
  EXPECT_EQ(Os::GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(os.FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, 0, buffer, 20, nullptr), 19u);
  EXPECT_EQ(os.FormatMessageW(0, nullptr, 5, 0, buffer, 64, nullptr), 0u);
  EXPECT_EQ(Os::GetLastError(), ERROR_INVALID_PARAMETER);

  EXPECT_STREQ(FindSystemErrorByName("ERROR_DISK_FULL")->text,
               L"There is not enough space on the disk.");
  EXPECT_EQ(FindSystemErrorByName("NERR_UserNotFound")->code, 2221u);
  EXPECT_EQ(FindSystemErrorByName("ERROR_NOPE"), nullptr);
}

TEST(PosixConsoleTest, ClocksAndThreads) {
  PosixOs os(NamedWorld(L"PC"));
  FILETIME now;
  os.GetSystemTimeAsFileTime(&now);
  uint64_t ticks = (uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
  int64_t unix_seconds = static_cast<int64_t>(ticks / 10000000) - 11644473600LL;
  EXPECT_LE(std::abs(unix_seconds - os.time()), 2);

  std::tm parts;
  ASSERT_TRUE(os.LocalTime(86400 * 365, &parts));
  EXPECT_EQ(parts.tm_year, 71 - (parts.tm_yday > 300 ? 1 : 0));

  LARGE_INTEGER frequency, before, after;
  ASSERT_TRUE(os.QueryPerformanceFrequency(&frequency));
  EXPECT_EQ(frequency.QuadPart, 1000000000);
  os.QueryPerformanceCounter(&before);
  os.Sleep(20);
  os.QueryPerformanceCounter(&after);
  EXPECT_GE(after.QuadPart - before.QuadPart, 20 * 1000000);

  DWORD main_id = os.GetCurrentThreadId();
  EXPECT_EQ(os.GetCurrentThreadId(), main_id);
  DWORD other_id = 0;
  std::thread([&] { other_id = os.GetCurrentThreadId(); }).join();
  EXPECT_NE(other_id, main_id);
  EXPECT_TRUE(os.SetCurrentThreadPriority(THREAD_PRIORITY_NORMAL));
  // A thread lowered goes below the process; one raised stays with it, so
  // that a woken worker does not take the processor from its waker.
  const int base = ::getpriority(PRIO_PROCESS, 0);
  int raised = 0, lowered = 0;
  std::thread([&] {
    EXPECT_TRUE(os.SetCurrentThreadPriority(THREAD_PRIORITY_HIGHEST));
    raised = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
    EXPECT_TRUE(os.SetCurrentThreadPriority(-1));  // below normal
    lowered = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
  }).join();
  EXPECT_EQ(raised, base);
  EXPECT_EQ(lowered, std::min(base + 2, 19));

  UINT first = os.SetErrorMode(SEM_FAILCRITICALERRORS);
  EXPECT_EQ(os.SetErrorMode(first), SEM_FAILCRITICALERRORS);
}

}  // namespace
}  // namespace tarvik
