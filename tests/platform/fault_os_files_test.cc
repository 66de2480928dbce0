// Faults on the file, listing and volume calls, configured by the world.
#include <gtest/gtest.h>

#include "platform/fault_os.h"
#include "support/test_world.h"

namespace tarvik {
namespace {

TEST(FaultOsFilesTest, EveryFileCallCanFailOnChosenPaths) {
  TestWorld world(R"({
    "computer": "TESTPC",
    "drives": {"C:": {"path": "c"}},
    "faults": [
      {"call": "FindFirstFileW", "path": "C:\\busy\\*", "error": "ERROR_NETNAME_DELETED", "count": 2},
      {"call": "FindNextFileW", "path": "c:/slow/*", "error": 64, "after": 1},
      {"call": "DeleteFileW", "path": "*.lock", "error": "ERROR_SHARING_VIOLATION", "count": 0},
      {"call": "DeviceIoControl", "path": "C:\\z\\*", "error": "ERROR_INVALID_FUNCTION"},
      {"call": "NtQueryInformationFile", "path": "C:\\z\\*", "error": "ERROR_ACCESS_DENIED"},
      {"call": "SetFileTime", "path": "C:\\z\\*", "error": 5, "after": 1},
      {"call": "GetDriveTypeW", "path": "C:\\", "error": 21},
      {"call": "MoveFileW", "path": "C:\\m\\old", "error": 32}
    ]
  })");
  Os& os = world.os();
  ASSERT_NE(dynamic_cast<FaultOs*>(&os), nullptr);
  world.WriteFile(L"C:\\busy\\a", "");
  world.WriteFile(L"C:\\slow\\a", "");
  world.WriteFile(L"C:\\slow\\b", "");
  WIN32_FIND_DATAW data;
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(os.FindFirstFileW(L"\\\\?\\C:\\BUSY\\*", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Os::GetLastError(), ERROR_NETNAME_DELETED);
  }
  HANDLE find = os.FindFirstFileW(L"C:\\busy\\*", &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(os.FindClose(find));

  // The search's later calls match the path it was started with.
  find = os.FindFirstFileW(L"C:\\slow\\*", &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(os.FindNextFileW(find, &data));
  EXPECT_FALSE(os.FindNextFileW(find, &data));
  EXPECT_EQ(Os::GetLastError(), ERROR_NETNAME_DELETED);
  EXPECT_TRUE(os.FindNextFileW(find, &data));
  EXPECT_TRUE(os.FindClose(find));

  world.WriteFile(L"C:\\x.lock", "");
  for (int i = 0; i < 3; ++i) {
    EXPECT_FALSE(os.DeleteFileW(L"C:\\x.lock"));
    EXPECT_EQ(Os::GetLastError(), ERROR_SHARING_VIOLATION);
  }
  EXPECT_TRUE(world.Exists(L"C:\\x.lock"));

  world.WriteFile(L"C:\\z\\f", "");
  HANDLE file = os.CreateFileW(L"C:\\z\\f", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  WORD format = COMPRESSION_FORMAT_DEFAULT;
  DWORD returned = 9;
  EXPECT_FALSE(
      os.DeviceIoControl(file, FSCTL_SET_COMPRESSION, &format, 2, nullptr, 0, &returned, nullptr));
  EXPECT_EQ(Os::GetLastError(), ERROR_INVALID_FUNCTION);
  EXPECT_EQ(returned, 0u);
  EXPECT_TRUE(
      os.DeviceIoControl(file, FSCTL_SET_COMPRESSION, &format, 2, nullptr, 0, &returned, nullptr));
  // A native call answers the fault's error as its status.
  IO_STATUS_BLOCK io{};
  char streams[256];
  EXPECT_EQ(os.NtQueryInformationFile(file, &io, streams, sizeof streams, FileStreamInformation),
            STATUS_ACCESS_DENIED);
  EXPECT_EQ(io.Status, STATUS_ACCESS_DENIED);
  FILETIME time = FileTimeFromUnix(1000);
  EXPECT_TRUE(os.SetFileTime(file, nullptr, nullptr, &time));
  EXPECT_FALSE(os.SetFileTime(file, nullptr, nullptr, &time));
  EXPECT_EQ(Os::GetLastError(), ERROR_ACCESS_DENIED);
  os.CloseHandle(file);

  EXPECT_EQ(os.GetDriveTypeW(L"C:\\"), DRIVE_UNKNOWN);
  EXPECT_EQ(Os::GetLastError(), ERROR_NOT_READY);
  EXPECT_EQ(os.GetDriveTypeW(L"C:\\"), DRIVE_FIXED);

  world.WriteFile(L"C:\\m\\old", "");
  EXPECT_FALSE(os.MoveFileW(L"C:\\m\\old", L"C:\\m\\new"));
  EXPECT_EQ(Os::GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_TRUE(os.MoveFileW(L"C:\\m\\old", L"C:\\m\\new"));
}

TEST(FaultOsFilesTest, TheNewCallsAreKnownToTheWorldFile) {
  for (const wchar_t* name :
       {L"SetEndOfFile", L"GetFileInformationByHandle", L"GetFileTime", L"SetFileTime",
        L"GetFileAttributesW", L"SetFileAttributesW", L"FindFirstFileW", L"FindNextFileW",
        L"FindClose", L"CreateDirectoryW", L"RemoveDirectoryW", L"DeleteFileW", L"MoveFileW",
        L"DeviceIoControl", L"GetDiskFreeSpaceExW", L"GetDriveTypeW"}) {
    const FaultableCall* call = FindFaultableCall(name);
    ASSERT_NE(call, nullptr);
    EXPECT_TRUE(call->takes_path);
  }
}

}  // namespace
}  // namespace tarvik
