// The NT metadata of real host files: attributes and times in user.DOSATTRIB,
// the read-only rules, positioned I/O, directories and compression.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/posix/dos_attributes.h"
#include "support/test_world.h"

namespace tarvik {
namespace {

std::string Bytes(std::string_view hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return out;
}

class PosixMetadataTest : public testing::Test {
 protected:
  HANDLE Open(const std::wstring& path, DWORD access, DWORD disposition = OPEN_EXISTING,
              DWORD flags = 0) {
    return os_.CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                           flags | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  }

  DWORD Attributes(const std::wstring& path) { return os_.GetFileAttributesW(path.c_str()); }

  TestWorld world_{R"({
    "computer": "TESTPC",
    "drives": {
      "C:": {"path": "c", "volume": {"serial": 305419896}},
      "N:": {"path": "n", "volume": {"compression": false}},
      "S:": {"path": "s", "volume": {"ignore_system_acls": true}}
    }
  })"};
  Os& os_ = world_.os();
};

TEST_F(PosixMetadataTest, AttributesLiveInDosAttribAsSambaKeepsThem) {
  world_.WriteFile(L"C:\\f.txt", "data");
  EXPECT_EQ(Attributes(L"C:\\f.txt"), FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_FALSE(world_.GetXattr(L"C:\\f.txt", kDosAttributeName).has_value());

  world_.SetTimes(L"C:\\f.txt", {.creation = FileTimeFromUnix(1000000000, 1234567)});
  world_.SetAttributes(L"C:\\f.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                         FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_COMPRESSED);
  EXPECT_EQ(Attributes(L"C:\\f.txt"), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  std::string expected = Bytes("00000500050000001100000006000000");
  uint64_t creation = FileTimeValue(FileTimeFromUnix(1000000000, 1234567));
  for (int i = 0; i < 8; ++i)
    expected.push_back(static_cast<char>(creation >> (8 * i)));
  EXPECT_EQ(world_.GetXattr(L"C:\\f.txt", kDosAttributeName), expected);

  world_.SetAttributes(L"C:\\f.txt", FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(Attributes(L"C:\\f.txt"), FILE_ATTRIBUTE_NORMAL);

  // What Samba and older writers left is read.
  world_.SetXattr(L"C:\\f.txt", kDosAttributeName, std::string("0x22\0", 5));
  EXPECT_EQ(Attributes(L"C:\\f.txt"), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
  world_.SetXattr(L"C:\\f.txt", kDosAttributeName,
                  Bytes("30783230000003000300000011000000210000000000000005000000000000000010000"
                        "000000000443322110000d901553322110000d901"));
  EXPECT_EQ(Attributes(L"C:\\f.txt"), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
  HANDLE file = Open(L"C:\\f.txt", FILE_READ_ATTRIBUTES);
  FILETIME created;
  ASSERT_TRUE(os_.GetFileTime(file, &created, nullptr, nullptr));
  EXPECT_EQ(FileTimeValue(created), 0x01D9000011223344u);
  os_.CloseHandle(file);

  // Directories keep theirs the same way.
  world_.CreateDirectory(L"C:\\d");
  EXPECT_EQ(Attributes(L"C:\\d"), FILE_ATTRIBUTE_DIRECTORY);
  world_.SetAttributes(L"C:\\d", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY);
  EXPECT_EQ(Attributes(L"C:\\d"), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(Attributes(L"C:\\"), FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(Attributes(L"C:\\none"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Os::GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Attributes(L"C:\\none\\x"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Os::GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST_F(PosixMetadataTest, TimesRoundTripAndHandlesDescribeTheirFile) {
  FILETIME creation = FileTimeFromUnix(946684800, 1);
  FILETIME access = FileTimeFromUnix(1300000000, 5000000);
  FILETIME write = FileTimeFromUnix(1200000000, 9999999);
  world_.WriteFile(L"C:\\t.bin", "abcdef",
                   {.creation = creation, .last_access = access, .last_write = write});
  struct stat host;
  ASSERT_EQ(::stat(world_.HostPath(L"C:\\t.bin").c_str(), &host), 0);
  EXPECT_EQ(host.st_mtim.tv_sec, 1200000000);
  EXPECT_EQ(host.st_mtim.tv_nsec, 999999900);

  // Reading does not change the access time.
  HANDLE file = Open(L"C:\\t.bin", GENERIC_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  char buffer[16];
  DWORD got;
  ASSERT_TRUE(os_.ReadFile(file, buffer, sizeof(buffer), &got, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  ASSERT_TRUE(os_.GetFileInformationByHandle(file, &info));
  EXPECT_EQ(info.dwFileAttributes, FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(FileTimeValue(info.ftCreationTime), FileTimeValue(creation));
  EXPECT_EQ(FileTimeValue(info.ftLastAccessTime), FileTimeValue(access));
  EXPECT_EQ(FileTimeValue(info.ftLastWriteTime), FileTimeValue(write));
  EXPECT_EQ(info.dwVolumeSerialNumber, 305419896u);
  EXPECT_EQ(info.nFileSizeLow, 6u);
  EXPECT_EQ(info.nNumberOfLinks, 1u);
  EXPECT_EQ((uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow, host.st_ino);
  // Setting times needs the right to write attributes.
  EXPECT_FALSE(os_.SetFileTime(file, nullptr, nullptr, &creation));
  EXPECT_EQ(Os::GetLastError(), ERROR_ACCESS_DENIED);
  os_.CloseHandle(file);

  // Null, zero and all-ones times leave the time alone.
  file = Open(L"C:\\t.bin", FILE_WRITE_ATTRIBUTES);
  FILETIME zero{0, 0}, keep{0xFFFFFFFF, 0xFFFFFFFF};
  FILETIME later = FileTimeFromUnix(1600000000);
  ASSERT_TRUE(os_.SetFileTime(file, &zero, &keep, &later));
  FILETIME got_creation, got_access, got_write;
  ASSERT_TRUE(os_.GetFileTime(file, &got_creation, &got_access, &got_write));
  EXPECT_EQ(FileTimeValue(got_creation), FileTimeValue(creation));
  EXPECT_EQ(FileTimeValue(got_access), FileTimeValue(access));
  EXPECT_EQ(FileTimeValue(got_write), FileTimeValue(later));
  os_.CloseHandle(file);

  // A directory's times, through a handle with backup semantics.
  world_.CreateDirectory(L"C:\\dir");
  world_.SetTimes(L"C:\\dir", {.creation = creation, .last_write = write});
  file = Open(L"C:\\dir", FILE_READ_ATTRIBUTES);
  ASSERT_TRUE(os_.GetFileTime(file, &got_creation, nullptr, &got_write));
  EXPECT_EQ(FileTimeValue(got_creation), FileTimeValue(creation));
  EXPECT_EQ(FileTimeValue(got_write), FileTimeValue(write));
  os_.CloseHandle(file);
}

// A file being written must look unfinished to whoever reads it next, even
// after the process died between any two of its calls.
TEST_F(PosixMetadataTest, UnfinishedFilesShowTheTimeTheirWriterSet) {
  auto last_write = [this](const std::wstring& path) {
    HANDLE reader = Open(path, FILE_READ_ATTRIBUTES);
    FILETIME time{};
    EXPECT_TRUE(os_.GetFileTime(reader, nullptr, nullptr, &time));
    os_.CloseHandle(reader);
    return FileTimeValue(time);
  };
  auto host_mode = [this](const std::wstring& path) {
    struct stat host {};
    EXPECT_EQ(::stat(world_.HostPath(path).c_str(), &host), 0);
    return host.st_mode;
  };
  const FILETIME mark = FileTimeFromUnix(4734060);
  const FILETIME real = FileTimeFromUnix(1500000000);

  HANDLE writer = Open(L"C:\\p.bin", GENERIC_WRITE | FILE_WRITE_ATTRIBUTES, CREATE_NEW);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(last_write(L"C:\\p.bin"), 0u);  // born unfinished
  ASSERT_TRUE(os_.SetFileTime(writer, nullptr, nullptr, &mark));
  DWORD written;
  ASSERT_TRUE(os_.WriteFile(writer, "data", 4, &written, nullptr));
  // A write that moved the host's time, and a process that died before
  // putting it back: the time the writer set is still what shows.
  ASSERT_EQ(::utimensat(AT_FDCWD, world_.HostPath(L"C:\\p.bin").c_str(), nullptr, 0), 0);
  EXPECT_EQ(last_write(L"C:\\p.bin"), FileTimeValue(mark));
  os_.CloseHandle(writer);
  EXPECT_EQ(last_write(L"C:\\p.bin"), FileTimeValue(mark));
  EXPECT_EQ(host_mode(L"C:\\p.bin") & S_ISVTX, 0u);
  EXPECT_FALSE(world_.GetXattr(L"C:\\p.bin", "user.tarvik.pwt").has_value());

  // Truncated, it is unfinished again until its writer closes it.
  writer = Open(L"C:\\p.bin", GENERIC_WRITE, CREATE_ALWAYS);
  EXPECT_EQ(last_write(L"C:\\p.bin"), 0u);
  ASSERT_TRUE(os_.WriteFile(writer, "new", 3, &written, nullptr));
  os_.CloseHandle(writer);
  EXPECT_NE(last_write(L"C:\\p.bin"), 0u);

  // Made and closed with nothing written (as a copy makes its target with
  // its security before the data), it stays unfinished until a time is set.
  HANDLE maker = Open(L"C:\\q.bin", GENERIC_WRITE, CREATE_NEW);
  os_.CloseHandle(maker);
  EXPECT_EQ(last_write(L"C:\\q.bin"), 0u);
  HANDLE setter = Open(L"C:\\q.bin", FILE_WRITE_ATTRIBUTES);
  ASSERT_TRUE(os_.SetFileTime(setter, nullptr, nullptr, &real));
  os_.CloseHandle(setter);
  EXPECT_EQ(last_write(L"C:\\q.bin"), FileTimeValue(real));
  EXPECT_EQ(host_mode(L"C:\\q.bin") & S_ISVTX, 0u);
}

TEST_F(PosixMetadataTest, CreationTakesTheRequestedAttributes) {
  HANDLE file = Open(L"C:\\h.txt", GENERIC_WRITE, CREATE_NEW,
                     FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written;
  // The handle that created a read-only file may still write it.
  EXPECT_TRUE(os_.WriteFile(file, "x", 1, &written, nullptr));
  os_.CloseHandle(file);
  EXPECT_EQ(Attributes(L"C:\\h.txt"),
            FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
  world_.SetAttributes(L"C:\\h.txt", FILE_ATTRIBUTE_HIDDEN);

  // Replacing a hidden file must keep it hidden; then it takes the new ones.
  EXPECT_EQ(Open(L"C:\\h.txt", GENERIC_WRITE, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os::GetLastError(), ERROR_ACCESS_DENIED);
  file = Open(L"C:\\h.txt", GENERIC_WRITE, CREATE_ALWAYS,
              FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os::GetLastError(), ERROR_ALREADY_EXISTS);
  os_.CloseHandle(file);
  EXPECT_EQ(Attributes(L"C:\\h.txt"),
            FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(world_.ReadFile(L"C:\\h.txt"), "");
}

TEST_F(PosixMetadataTest, ReadOnlyRefusesWritesDeletionAndRemoval) {
  world_.WriteFile(L"C:\\ro.txt", "keep");
  world_.SetAttributes(L"C:\\ro.txt", FILE_ATTRIBUTE_READONLY);
  for (DWORD disposition : {OPEN_EXISTING, OPEN_ALWAYS, TRUNCATE_EXISTING, CREATE_ALWAYS}) {
    EXPECT_EQ(Open(L"C:\\ro.txt", GENERIC_WRITE, disposition), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Os::GetLastError(), ERROR_ACCESS_DENIED) << disposition;
  }
  EXPECT_EQ(Open(L"C:\\ro.txt", FILE_APPEND_DATA), INVALID_HANDLE_VALUE);
  // Through a link, the rule is the target's.
  world_.CreateSymlink(L"C:\\rolink", "ro.txt");
  EXPECT_EQ(Open(L"C:\\rolink", GENERIC_WRITE), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os::GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Open(L"C:\\ro.txt", GENERIC_READ, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os::GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(os_.DeleteFileW(L"C:\\ro.txt"));
  EXPECT_EQ(Os::GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(world_.ReadFile(L"C:\\ro.txt"), "keep");

  // Metadata may still change, and reading is fine.
  HANDLE file = Open(L"C:\\ro.txt", FILE_WRITE_ATTRIBUTES | FILE_WRITE_EA | GENERIC_READ);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  FILETIME time = FileTimeFromUnix(1500000000);
  EXPECT_TRUE(os_.SetFileTime(file, &time, &time, &time));
  os_.CloseHandle(file);

  world_.CreateDirectory(L"C:\\rod");
  world_.SetAttributes(L"C:\\rod", FILE_ATTRIBUTE_READONLY);
  world_.WriteFile(L"C:\\rod\\inside", "");  // a read-only directory still takes files
  EXPECT_TRUE(os_.DeleteFileW(L"C:\\rod\\inside"));
  EXPECT_FALSE(os_.RemoveDirectoryW(L"C:\\rod"));
  EXPECT_EQ(Os::GetLastError(), ERROR_ACCESS_DENIED);

  world_.SetAttributes(L"C:\\rod", FILE_ATTRIBUTE_NORMAL);
  EXPECT_TRUE(os_.RemoveDirectoryW(L"C:\\rod"));
  world_.SetAttributes(L"C:\\ro.txt", FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_TRUE(os_.DeleteFileW(L"C:\\ro.txt"));
}

TEST_F(PosixMetadataTest, PositionedReadsAndWritesAndTheEndOfFile) {
  HANDLE file = Open(L"C:\\p.bin", GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  auto at = [](uint64_t offset) {
    OVERLAPPED overlapped{};
    overlapped.Offset = static_cast<DWORD>(offset);
    overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return overlapped;
  };
  DWORD count;
  OVERLAPPED second = at(5), first = at(0);
  ASSERT_TRUE(os_.WriteFile(file, "world", 5, &count, &second));
  ASSERT_TRUE(os_.WriteFile(file, "hello", 5, &count, &first));
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(second.InternalHigh, 5u);
  OVERLAPPED end{};
  end.Offset = end.OffsetHigh = 0xFFFFFFFF;
  ASSERT_TRUE(os_.WriteFile(file, "!", 1, &count, &end));

  char buffer[8];
  OVERLAPPED middle = at(3);
  ASSERT_TRUE(os_.ReadFile(file, buffer, sizeof(buffer), &count, &middle));
  EXPECT_EQ(std::string(buffer, count), "loworld!");
  OVERLAPPED tail = at(9);
  ASSERT_TRUE(os_.ReadFile(file, buffer, sizeof(buffer), &count, &tail));
  EXPECT_EQ(std::string(buffer, count), "d!");
  for (uint64_t offset : {uint64_t{11}, uint64_t{1000}, uint64_t{1} << 33}) {
    OVERLAPPED past = at(offset);
    count = 77;
    EXPECT_FALSE(os_.ReadFile(file, buffer, sizeof(buffer), &count, &past));
    EXPECT_EQ(Os::GetLastError(), ERROR_HANDLE_EOF);
    EXPECT_EQ(count, 0u);
  }
  // The file pointer stayed at the start.
  ASSERT_TRUE(os_.ReadFile(file, buffer, 5, &count, nullptr));
  EXPECT_EQ(std::string(buffer, count), "hello");

  // The end of the file follows the pointer, both ways.
  LONG high = 0;
  EXPECT_EQ(os_.SetFilePointer(file, 100000, &high, FILE_BEGIN), 100000u);
  ASSERT_TRUE(os_.SetEndOfFile(file));
  EXPECT_EQ(std::filesystem::file_size(world_.HostPath(L"C:\\p.bin")), 100000u);
  EXPECT_EQ(os_.SetFilePointer(file, 4, nullptr, FILE_BEGIN), 4u);
  ASSERT_TRUE(os_.SetEndOfFile(file));
  os_.CloseHandle(file);
  EXPECT_EQ(world_.ReadFile(L"C:\\p.bin"), "hell");

  file = Open(L"C:\\p.bin", GENERIC_READ);
  EXPECT_FALSE(os_.SetEndOfFile(file));
  EXPECT_EQ(Os::GetLastError(), ERROR_ACCESS_DENIED);
  os_.CloseHandle(file);
}

TEST_F(PosixMetadataTest, DirectoriesAreMadeAndRemovedAsOnThePlatform) {
  EXPECT_TRUE(os_.CreateDirectoryW(L"C:\\a", nullptr));
  EXPECT_FALSE(os_.CreateDirectoryW(L"C:\\a", nullptr));
  EXPECT_EQ(Os::GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_FALSE(os_.CreateDirectoryW(L"C:\\x\\y", nullptr));
  EXPECT_EQ(Os::GetLastError(), ERROR_PATH_NOT_FOUND);
  world_.WriteFile(L"C:\\a\\f", "1");
  EXPECT_FALSE(os_.RemoveDirectoryW(L"C:\\a"));
  EXPECT_EQ(Os::GetLastError(), ERROR_DIR_NOT_EMPTY);
  EXPECT_FALSE(os_.RemoveDirectoryW(L"C:\\a\\f"));
  EXPECT_EQ(Os::GetLastError(), ERROR_DIRECTORY);
  EXPECT_FALSE(os_.DeleteFileW(L"C:\\a"));
  EXPECT_EQ(Os::GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(os_.DeleteFileW(L"C:\\a\\nothing"));
  EXPECT_EQ(Os::GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(os_.RemoveDirectoryW(L"C:\\"));

  // Removing a directory link removes the link only.
  world_.CreateSymlink(L"C:\\alink", "a");
  EXPECT_FALSE(os_.DeleteFileW(L"C:\\alink"));
  EXPECT_TRUE(os_.RemoveDirectoryW(L"C:\\alink"));
  EXPECT_EQ(world_.ReadFile(L"C:\\a\\f"), "1");

  // A directory opened to be deleted on close goes at the close.
  EXPECT_TRUE(os_.DeleteFileW(L"C:\\a\\f"));
  HANDLE dir = Open(L"C:\\a", GENERIC_WRITE, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE);
  ASSERT_NE(dir, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(world_.Exists(L"C:\\a"));
  os_.CloseHandle(dir);
  EXPECT_FALSE(world_.Exists(L"C:\\a"));
}

// Where the NT ACL alone decides, new objects are open to every host user
// whatever the umask; elsewhere the umask applies.
TEST_F(PosixMetadataTest, NewObjectsOfAVolumeIgnoringSystemAclsAreOpenToAll) {
  const mode_t saved_umask = ::umask(077);
  for (const std::wstring drive : {L"C:", L"S:"}) {
    const bool open = drive == L"S:";
    HANDLE file = Open(drive + L"\\f", GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(os_.WriteFile(file, "x", 1, &written, nullptr));
    os_.CloseHandle(file);
    ASSERT_TRUE(os_.CreateDirectoryW((drive + L"\\d").c_str(), nullptr));
    struct stat info;
    ASSERT_EQ(::stat(world_.HostPath(drive + L"\\f").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, open ? 0666u : 0600u);
    ASSERT_EQ(::stat(world_.HostPath(drive + L"\\d").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, open ? 0777u : 0700u);
  }
  ::umask(saved_umask);
}

TEST_F(PosixMetadataTest, CompressionIsTheCompressedAttribute) {
  world_.CreateDirectory(L"C:\\z");
  HANDLE dir = Open(L"C:\\z", GENERIC_READ | GENERIC_WRITE);
  ASSERT_NE(dir, INVALID_HANDLE_VALUE);
  WORD format = COMPRESSION_FORMAT_DEFAULT;
  DWORD returned;
  ASSERT_TRUE(os_.DeviceIoControl(dir, FSCTL_SET_COMPRESSION, &format, sizeof(format), nullptr, 0,
                                  &returned, nullptr));
  os_.CloseHandle(dir);
  EXPECT_EQ(Attributes(L"C:\\z"), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_COMPRESSED);

  // What is made inside inherits it; attributes leave it alone.
  HANDLE file = Open(L"C:\\z\\f", GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  WORD state = 99;
  ASSERT_TRUE(os_.DeviceIoControl(file, FSCTL_GET_COMPRESSION, nullptr, 0, &state, sizeof(state),
                                  &returned, nullptr));
  EXPECT_EQ(state, COMPRESSION_FORMAT_LZNT1);
  EXPECT_EQ(returned, 2u);
  format = COMPRESSION_FORMAT_NONE;
  ASSERT_TRUE(os_.DeviceIoControl(file, FSCTL_SET_COMPRESSION, &format, sizeof(format), nullptr, 0,
                                  &returned, nullptr));
  os_.CloseHandle(file);
  EXPECT_EQ(Attributes(L"C:\\z\\f"), FILE_ATTRIBUTE_ARCHIVE);
  ASSERT_TRUE(os_.CreateDirectoryW(L"C:\\z\\sub", nullptr));
  world_.SetAttributes(L"C:\\z\\sub", FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(Attributes(L"C:\\z\\sub"),
            FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_HIDDEN);

  // A volume without compression refuses it.
  world_.WriteFile(L"N:\\f", "");
  file = Open(L"N:\\f", GENERIC_READ | GENERIC_WRITE);
  format = COMPRESSION_FORMAT_DEFAULT;
  EXPECT_FALSE(os_.DeviceIoControl(file, FSCTL_SET_COMPRESSION, &format, sizeof(format), nullptr, 0,
                                   &returned, nullptr));
  EXPECT_EQ(Os::GetLastError(), ERROR_COMPRESSION_DISABLED);
  format = COMPRESSION_FORMAT_NONE;
  EXPECT_TRUE(os_.DeviceIoControl(file, FSCTL_SET_COMPRESSION, &format, sizeof(format), nullptr, 0,
                                  &returned, nullptr));
  os_.CloseHandle(file);
  file = Open(L"N:\\f", GENERIC_READ);
  format = COMPRESSION_FORMAT_DEFAULT;
  EXPECT_FALSE(os_.DeviceIoControl(file, FSCTL_SET_COMPRESSION, &format, sizeof(format), nullptr, 0,
                                   &returned, nullptr));
  EXPECT_EQ(Os::GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(os_.DeviceIoControl(file, 0x12345678, nullptr, 0, nullptr, 0, &returned, nullptr));
  EXPECT_EQ(Os::GetLastError(), ERROR_INVALID_FUNCTION);
  os_.CloseHandle(file);
}

TEST(PosixPrivilegeTest, TheSystemAccessListNeedsTheEnabledSecurityPrivilege) {
  for (bool enabled : {false, true}) {
    TestWorld world(std::string(R"({"computer": "TESTPC", "drives": {"C:": {"path": "c"}},
      "token": {"user": "S-1-22-1-0", "privileges": [
        {"name": "SeSecurityPrivilege", "enabled": )") +
                    (enabled ? "true" : "false") + "}]}}");
    world.WriteFile(L"C:\\f", "");
    HANDLE file =
        world.os().CreateFileW(L"C:\\f", READ_CONTROL | ACCESS_SYSTEM_SECURITY, 0, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    EXPECT_EQ(file != INVALID_HANDLE_VALUE, enabled);
    if (file == INVALID_HANDLE_VALUE)
      EXPECT_EQ(Os::GetLastError(), ERROR_PRIVILEGE_NOT_HELD);
    else
      world.os().CloseHandle(file);
  }
}

}  // namespace
}  // namespace tarvik
