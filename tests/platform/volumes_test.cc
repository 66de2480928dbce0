// Free space and drive types as the world tells them.
#include <gtest/gtest.h>

#include <fstream>

#include "support/test_world.h"

namespace tarvik {
namespace {

class VolumesTest : public testing::Test {
 protected:
  struct Space {
    uint64_t to_caller, total, free;
  };

  Space Query(const wchar_t* path) {
    ULARGE_INTEGER to_caller{}, total{}, free{};
    if (!world_.os().GetDiskFreeSpaceExW(path, &to_caller, &total, &free))
      return {0, 0, Os::GetLastError()};
    return {to_caller.QuadPart, total.QuadPart, free.QuadPart};
  }

  TestWorld world_{R"({
    "computer": "TESTPC",
    "drives": {
      "C:": {"path": "c"},
      "D:": {"path": "d", "volume": {"total_bytes": 1000000, "free_bytes": 600000,
                                     "available_bytes": 500000}},
      "E:": {"path": "e", "volume": {"figures_file": "e.space"}},
      "M:": {"connection": {"remote": "\\\\FILER1\\data"}},
      "R:": {"type": "cdrom"},
      "U:": {"type": "unmounted"}
    },
    "servers": [{"name": "FILER1", "sid": "S-1-5-21-1-2-3",
                 "shares": [{"name": "data", "path": "filer1/data",
                             "volume": {"total_bytes": 50, "free_bytes": 7}}]}]
  })"};
};

TEST_F(VolumesTest, FreeSpaceComesFromTheWorldOrTheHost) {
  Space fixed = Query(L"D:\\");
  EXPECT_EQ(fixed.to_caller, 500000u);
  EXPECT_EQ(fixed.total, 1000000u);
  EXPECT_EQ(fixed.free, 600000u);
  world_.CreateDirectory(L"D:\\sub");
  EXPECT_EQ(Query(L"D:\\sub\\").total, 1000000u);
  EXPECT_EQ(Query(L"\\\\FILER1\\data\\").free, 7u);
  EXPECT_EQ(Query(L"M:\\").total, 50u);

  // The figures file is read again at every query.
  std::string figures = world_.root() + "/e.space";
  std::ofstream(figures) << "300 1000\n";
  Space first = Query(L"E:\\");
  EXPECT_EQ(first.free, 300u);
  EXPECT_EQ(first.to_caller, 300u);
  std::ofstream(figures) << "20 1000 10";
  Space second = Query(L"E:\\");
  EXPECT_EQ(second.free, 20u);
  EXPECT_EQ(second.to_caller, 10u);
  std::ofstream(figures) << "2000 1000";
  EXPECT_EQ(Query(L"E:\\").free, ERROR_INVALID_DATA);

  Space host = Query(L"C:\\");
  EXPECT_GT(host.total, 0u);
  EXPECT_LE(host.free, host.total);
  EXPECT_LE(host.to_caller, host.free);

  EXPECT_EQ(Query(L"C:\\missing\\").free, ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(Query(L"R:\\").free, ERROR_NOT_READY);
  EXPECT_EQ(Query(L"\\\\NOBODY\\x\\").free, ERROR_BAD_NETPATH);
}

TEST_F(VolumesTest, DriveTypesComeFromTheWorldsDrives) {
  Os& os = world_.os();
  EXPECT_EQ(os.GetDriveTypeW(L"C:\\"), DRIVE_FIXED);
  EXPECT_EQ(os.GetDriveTypeW(L"d:"), DRIVE_FIXED);
  EXPECT_EQ(os.GetDriveTypeW(L"\\\\?\\C:\\"), DRIVE_FIXED);
  EXPECT_EQ(os.GetDriveTypeW(L"M:\\"), DRIVE_REMOTE);
  EXPECT_EQ(os.GetDriveTypeW(L"R:\\"), DRIVE_CDROM);
  EXPECT_EQ(os.GetDriveTypeW(L"U:\\"), DRIVE_NO_ROOT_DIR);
  EXPECT_EQ(os.GetDriveTypeW(L"Q:\\"), DRIVE_NO_ROOT_DIR);
  EXPECT_EQ(os.GetDriveTypeW(L"\\\\FILER1\\data\\"), DRIVE_REMOTE);
  EXPECT_EQ(os.GetDriveTypeW(L"\\\\FILER1\\data\\sub\\"), DRIVE_NO_ROOT_DIR);
  EXPECT_EQ(os.GetDriveTypeW(L"\\\\FILER1\\nothing\\"), DRIVE_NO_ROOT_DIR);
}

}  // namespace
}  // namespace tarvik
