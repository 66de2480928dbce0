// Symbolic links and other reparse points through FSCTL_GET/SET/DELETE_REPARSE_POINT
// on real host links.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/posix/reparse_points.h"
#include "support/test_world.h"

namespace tarvik {
namespace {

class PosixLinksTest : public testing::Test {
 protected:
  // The handle a link copy opens on its target: the object itself.
  HANDLE OpenOwn(const std::wstring& path, DWORD disposition = OPEN_EXISTING) {
    return os_.CreateFileW(
        path.c_str(),
        READ_CONTROL | FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES,
        0, nullptr, disposition, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
        nullptr);
  }

  // FSCTL_SET_REPARSE_POINT on the object itself; the error or 0.
  DWORD SetReparse(const std::wstring& path, const std::string& buffer) {
    HANDLE handle = OpenOwn(path);
    if (handle == INVALID_HANDLE_VALUE)
      return Os::GetLastError();
    DWORD returned;
    BOOL ok =
        os_.DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, const_cast<char*>(buffer.data()),
                            static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr);
    DWORD error = ok ? 0 : Os::GetLastError();
    os_.CloseHandle(handle);
    return error;
  }

  std::string GetReparse(const std::wstring& path, DWORD* error = nullptr) {
    HANDLE handle = os_.CreateFileW(
        path.c_str(), READ_CONTROL | FILE_READ_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    std::string buffer(MAXIMUM_REPARSE_DATA_BUFFER_SIZE, '\0');
    DWORD returned = 0;
    BOOL ok = handle != INVALID_HANDLE_VALUE &&
              os_.DeviceIoControl(handle, FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer.data(),
                                  static_cast<DWORD>(buffer.size()), &returned, nullptr);
    if (error != nullptr)
      *error = ok ? 0 : Os::GetLastError();
    if (handle != INVALID_HANDLE_VALUE)
      os_.CloseHandle(handle);
    buffer.resize(returned);
    return buffer;
  }

  std::string HostLink(const std::wstring& path) {
    std::error_code error;
    return std::filesystem::read_symlink(world_.HostPath(path), error).string();
  }

  static std::string Symlink(const std::wstring& substitute, const std::wstring& print,
                             bool relative) {
    return EncodeSymlinkReparse({substitute, print, relative});
  }

  TestWorld world_;
  Os& os_ = world_.os();
};

TEST_F(PosixLinksTest, TheSymlinkLayoutIsThePublishedOne) {
  std::string buffer = Symlink(L"\\??\\C:\\a", L"C:\\a", false);
  // Tag, data length, reserved; substitute offset and length, print offset
  // and length, flags; the two names.
  const unsigned char expected[] = {0x0C, 0x00, 0x00, 0xA0, 36,   0,   0,   0,    0,   0,    16,
                                    0,    16,   0,    8,    0,    0,   0,   0,    0,   '\\', 0,
                                    '?',  0,    '?',  0,    '\\', 0,   'C', 0,    ':', 0,    '\\',
                                    0,    'a',  0,    'C',  0,    ':', 0,   '\\', 0,   'a',  0};
  EXPECT_EQ(buffer, std::string(reinterpret_cast<const char*>(expected), sizeof(expected)));
  std::optional<SymlinkReparse> decoded = DecodeSymlinkReparse(buffer);
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(decoded->substitute_name, L"\\??\\C:\\a");
  EXPECT_EQ(decoded->print_name, L"C:\\a");
  EXPECT_FALSE(decoded->relative);
  EXPECT_EQ(CheckReparseBuffer(buffer), ERROR_SUCCESS);
  EXPECT_EQ(CheckReparseBuffer(buffer.substr(0, 20)), ERROR_INVALID_REPARSE_DATA);
  buffer[10] = 100;  // a print name beyond the buffer
  EXPECT_EQ(CheckReparseBuffer(buffer), ERROR_INVALID_REPARSE_DATA);
}

TEST_F(PosixLinksTest, DirectoryLinksBecomeHostLinksBothRelativeAndAbsolute) {
  world_.WriteFile(L"C:\\target\\x\\f.txt", "target");
  world_.WriteFile(L"\\\\FILER1\\data\\t\\g.txt", "remote");
  struct Case {
    const wchar_t* link;
    std::string buffer;
    std::string host;
    std::string expected_back;  // what reading the link gives
  };
  std::string root = world_.root();
  const Case cases[] = {
      {L"C:\\links\\rel", Symlink(L"..\\target\\x", L"..\\target\\x", true), "../target/x",
       Symlink(L"..\\target\\x", L"..\\target\\x", true)},
      {L"C:\\links\\abs", Symlink(L"\\??\\c:\\TARGET\\x", L"c:\\TARGET\\x", false),
       root + "/c/target/x", Symlink(L"\\??\\C:\\target\\x", L"C:\\target\\x", false)},
      {L"C:\\links\\unc", Symlink(L"\\??\\UNC\\filer1\\data\\t", L"\\\\filer1\\data\\t", false),
       root + "/filer1/data/t",
       Symlink(L"\\??\\UNC\\FILER1\\data\\t", L"\\\\FILER1\\data\\t", false)},
  };
  world_.CreateDirectory(L"C:\\links");
  for (const Case& c : cases) {
    ASSERT_TRUE(os_.CreateDirectoryW(c.link, nullptr));
    ASSERT_EQ(SetReparse(c.link, c.buffer), 0u);
    EXPECT_EQ(HostLink(c.link), c.host);
    EXPECT_EQ(GetReparse(c.link), c.expected_back);
    EXPECT_EQ(os_.GetFileAttributesW(c.link),
              FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
  }
  EXPECT_EQ(world_.ReadFile(L"C:\\links\\rel\\f.txt"), "target");
  EXPECT_EQ(world_.ReadFile(L"C:\\links\\unc\\g.txt"), "remote");

  // A link the host made to a path off every drive reads as that path.
  world_.CreateSymlink(L"C:\\links\\off", "/nonexistent/abc");
  EXPECT_EQ(GetReparse(L"C:\\links\\off"),
            Symlink(L"\\??\\/nonexistent/abc", L"/nonexistent/abc", false));
  ASSERT_TRUE(os_.CreateDirectoryW(L"C:\\links\\off2", nullptr));
  ASSERT_EQ(SetReparse(L"C:\\links\\off2", GetReparse(L"C:\\links\\off")), 0u);
  EXPECT_EQ(HostLink(L"C:\\links\\off2"), "/nonexistent/abc");

  // Removing the reparse point leaves an empty directory.
  // (Read before the handle that shares nothing is open.)
  std::string header = GetReparse(L"C:\\links\\rel").substr(0, 8);
  ASSERT_EQ(header.size(), 8u);
  HANDLE handle = OpenOwn(L"C:\\links\\rel");
  header[4] = header[5] = 0;
  DWORD returned;
  ASSERT_TRUE(os_.DeviceIoControl(handle, FSCTL_DELETE_REPARSE_POINT, header.data(), 8, nullptr, 0,
                                  &returned, nullptr));
  os_.CloseHandle(handle);
  EXPECT_EQ(os_.GetFileAttributesW(L"C:\\links\\rel"), FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_TRUE(std::filesystem::is_empty(world_.HostPath(L"C:\\links\\rel")));
}

TEST_F(PosixLinksTest, FileLinksAndWhereLinksAreFollowed) {
  world_.WriteFile(L"C:\\data.txt", "content");
  HANDLE placeholder = OpenOwn(L"C:\\flink", CREATE_NEW);
  ASSERT_NE(placeholder, INVALID_HANDLE_VALUE);
  std::string buffer = Symlink(L"data.txt", L"data.txt", true);
  DWORD returned;
  ASSERT_TRUE(os_.DeviceIoControl(placeholder, FSCTL_SET_REPARSE_POINT, buffer.data(),
                                  static_cast<DWORD>(buffer.size()), nullptr, 0, &returned,
                                  nullptr));
  // The handle now stands for the link: times go to the link itself.
  FILETIME time = FileTimeFromUnix(1111111111);
  EXPECT_TRUE(os_.SetFileTime(placeholder, &time, &time, &time));
  os_.CloseHandle(placeholder);
  EXPECT_EQ(HostLink(L"C:\\flink"), "data.txt");
  struct stat own;
  ASSERT_EQ(::lstat(world_.HostPath(L"C:\\flink").c_str(), &own), 0);
  EXPECT_EQ(own.st_mtim.tv_sec, 1111111111);

  // Without FILE_FLAG_OPEN_REPARSE_POINT the link is followed.
  HANDLE file = os_.CreateFileW(L"C:\\FLINK", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  char text[16];
  DWORD got;
  ASSERT_TRUE(os_.ReadFile(file, text, sizeof(text), &got, nullptr));
  EXPECT_EQ(std::string(text, got), "content");
  BY_HANDLE_FILE_INFORMATION info;
  ASSERT_TRUE(os_.GetFileInformationByHandle(file, &info));
  EXPECT_EQ(info.dwFileAttributes, FILE_ATTRIBUTE_ARCHIVE);
  DWORD error;
  os_.CloseHandle(file);
  EXPECT_EQ(GetReparse(L"C:\\data.txt", &error), "");
  EXPECT_EQ(error, ERROR_NOT_A_REPARSE_POINT);

  file =
      os_.CreateFileW(L"C:\\flink", FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_TRUE(os_.GetFileInformationByHandle(file, &info));
  EXPECT_EQ(info.dwFileAttributes, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT);
  EXPECT_EQ(FileTimeValue(info.ftLastWriteTime), FileTimeValue(time));
  os_.CloseHandle(file);
  EXPECT_TRUE(os_.DeleteFileW(L"C:\\flink"));
  EXPECT_EQ(world_.ReadFile(L"C:\\data.txt"), "content");
}

TEST_F(PosixLinksTest, OtherReparsePointsAreKeptByteForByte) {
  // A mount point: substitute and print names with their NULs.
  std::string mount = {'\x03', '\x00', '\x00', '\xA0', 14, 0,   0, 0, 0, 0,   2,
                       0,      4,      0,      2,      0,  'V', 0, 0, 0, 'v', 0};
  ASSERT_TRUE(os_.CreateDirectoryW(L"C:\\mnt", nullptr));
  ASSERT_EQ(SetReparse(L"C:\\mnt", mount), 0u);
  EXPECT_EQ(GetReparse(L"C:\\mnt"), mount);
  WIN32_FIND_DATAW data;
  HANDLE find = os_.FindFirstFileW(L"C:\\mn?", &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  os_.FindClose(find);
  EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
  EXPECT_EQ(data.dwReserved0, IO_REPARSE_TAG_MOUNT_POINT);
  // Another tag on it is refused; a symbolic link the host cannot hold is
  // kept the same way.
  EXPECT_EQ(SetReparse(L"C:\\mnt", Symlink(L"x", L"x", true)), ERROR_REPARSE_TAG_MISMATCH);
  ASSERT_TRUE(os_.CreateDirectoryW(L"C:\\volume", nullptr));
  std::string volume_link = Symlink(L"\\??\\Volume{01234567-89ab}\\", L"", false);
  ASSERT_EQ(SetReparse(L"C:\\volume", volume_link), 0u);
  EXPECT_FALSE(std::filesystem::is_symlink(world_.HostPath(L"C:\\volume")));
  EXPECT_EQ(GetReparse(L"C:\\volume"), volume_link);

  // A short buffer gets what fits.
  HANDLE handle = OpenOwn(L"C:\\mnt");
  char small[12];
  DWORD returned = 0;
  EXPECT_FALSE(os_.DeviceIoControl(handle, FSCTL_GET_REPARSE_POINT, nullptr, 0, small,
                                   sizeof(small), &returned, nullptr));
  EXPECT_EQ(Os::GetLastError(), ERROR_MORE_DATA);
  EXPECT_EQ(returned, sizeof(small));
  EXPECT_FALSE(os_.DeviceIoControl(handle, FSCTL_GET_REPARSE_POINT, nullptr, 0, small, 4, &returned,
                                   nullptr));
  EXPECT_EQ(Os::GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  std::string header = mount.substr(0, 8);
  header[4] = 0;
  ASSERT_TRUE(os_.DeviceIoControl(handle, FSCTL_DELETE_REPARSE_POINT, header.data(), 8, nullptr, 0,
                                  &returned, nullptr));
  os_.CloseHandle(handle);
  EXPECT_EQ(os_.GetFileAttributesW(L"C:\\mnt"), FILE_ATTRIBUTE_DIRECTORY);

  // A directory with content cannot become a link.
  world_.WriteFile(L"C:\\full\\f", "");
  EXPECT_EQ(SetReparse(L"C:\\full", Symlink(L"x", L"x", true)), ERROR_DIR_NOT_EMPTY);
  EXPECT_EQ(world_.ReadFile(L"C:\\full\\f"), "");
}

TEST(PosixLinksWorldTest, AVolumeWithoutLinksRefusesThem) {
  TestWorld world(R"({"computer": "TESTPC", "drives": {"C:": {"path": "c",
                      "volume": {"links": false}}}})");
  ASSERT_TRUE(world.os().CreateDirectoryW(L"C:\\l", nullptr));
  HANDLE handle =
      world.os().CreateFileW(L"C:\\l", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  std::string buffer = EncodeSymlinkReparse({L"x", L"x", true});
  DWORD returned;
  EXPECT_FALSE(world.os().DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, buffer.data(),
                                          static_cast<DWORD>(buffer.size()), nullptr, 0, &returned,
                                          nullptr));
  EXPECT_EQ(Os::GetLastError(), ERROR_INVALID_FUNCTION);
  world.os().CloseHandle(handle);
}

}  // namespace
}  // namespace tarvik
