#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/posix/posix_os.h"
#include "support/test_world.h"
#include "util/utf.h"

namespace tarvik {
namespace {

using Listing = std::vector<std::pair<std::wstring, uint64_t>>;

class PosixStreamsTest : public testing::Test {
 protected:
  PosixStreamsTest() {
    world_.WriteFile(L"C:\\f.txt", "main");
    world_.CreateDirectory(L"C:\\dir");
  }

  HANDLE Open(const std::wstring& path, DWORD access, DWORD disposition) {
    return os_->CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  }

  // Writes data at offset through a new handle; the last error on failure.
  DWORD Write(const std::wstring& path, const std::string& data, DWORD offset = 0,
              DWORD disposition = CREATE_ALWAYS) {
    HANDLE stream = Open(path, GENERIC_WRITE, disposition);
    if (stream == INVALID_HANDLE_VALUE)
      return Os::GetLastError();
    OVERLAPPED at{};
    at.Offset = offset;
    DWORD written = 0;
    DWORD error =
        os_->WriteFile(stream, data.data(), static_cast<DWORD>(data.size()), &written, &at)
            ? ERROR_SUCCESS
            : Os::GetLastError();
    os_->CloseHandle(stream);
    return error;
  }

  // The stream's data read in small positioned blocks until the end.
  std::string Read(const std::wstring& path) {
    HANDLE stream = Open(path, GENERIC_READ, OPEN_EXISTING);
    if (stream == INVALID_HANDLE_VALUE)
      return "<" + std::to_string(Os::GetLastError()) + ">";
    std::string data;
    char buffer[3];
    DWORD got = 0;
    OVERLAPPED at{};
    while (os_->ReadFile(stream, buffer, sizeof(buffer), &got, &at)) {
      data.append(buffer, got);
      at.Offset += got;
    }
    EXPECT_EQ(Os::GetLastError(), ERROR_HANDLE_EOF);
    os_->CloseHandle(stream);
    return data;
  }

  NTSTATUS List(const std::wstring& path, ULONG length, Listing* listing,
                uintptr_t* information = nullptr) {
    HANDLE file = Open(path, READ_CONTROL | FILE_READ_ATTRIBUTES, OPEN_EXISTING);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    std::vector<char> buffer(length);
    IO_STATUS_BLOCK status{};
    NTSTATUS result =
        os_->NtQueryInformationFile(file, &status, buffer.data(), length, FileStreamInformation);
    os_->CloseHandle(file);
    EXPECT_EQ(result, status.Status);
    if (information != nullptr)
      *information = status.Information;
    listing->clear();
    for (size_t at = 0; status.Information > 0;) {
      FILE_STREAM_INFORMATION record;
      std::memcpy(&record, buffer.data() + at, kFileStreamInformationHeaderSize);
      EXPECT_EQ(at % 8, 0u);
      std::string name(buffer.data() + at + kFileStreamInformationHeaderSize,
                       record.StreamNameLength);
      listing->emplace_back(FromUtf16Le(name), record.StreamSize.QuadPart);
      if (record.NextEntryOffset == 0)
        break;
      at += record.NextEntryOffset;
    }
    return result;
  }

  std::string RawValue(const std::wstring& path, const std::string& attribute) const {
    return world_.GetXattr(path, attribute).value_or("<none>");
  }

  TestWorld world_;
  PosixOs* os_ = &world_.posix();
};

TEST_F(PosixStreamsTest, StreamsAreWrittenListedAndReadBackInSambasFormat) {
  EXPECT_EQ(Write(L"C:\\f.txt:one", "hello"), ERROR_SUCCESS);
  EXPECT_EQ(Write(L"C:\\f.txt:Two:$DATA", "second"), ERROR_SUCCESS);
  EXPECT_EQ(Write(L"C:\\f.txt:two", "!", 7, OPEN_EXISTING), ERROR_SUCCESS);  // grows with a zero
  Listing listing;
  EXPECT_EQ(List(L"C:\\f.txt", 4096, &listing), STATUS_SUCCESS);
  ASSERT_EQ(listing.size(), 3u);
  EXPECT_EQ(listing[0], std::make_pair(std::wstring(L"::$DATA"), uint64_t{4}));
  std::sort(listing.begin() + 1, listing.end());
  EXPECT_EQ(listing[1], std::make_pair(std::wstring(L":Two:$DATA"), uint64_t{8}));
  EXPECT_EQ(listing[2], std::make_pair(std::wstring(L":one:$DATA"), uint64_t{5}));

  EXPECT_EQ(Read(L"C:\\f.txt:ONE"), "hello");
  EXPECT_EQ(Read(L"C:\\f.txt:two:$data"), std::string("second\0!", 8));
  EXPECT_EQ(Read(L"C:\\f.txt::$DATA"), "main");
  EXPECT_EQ(RawValue(L"C:\\f.txt", "user.DosStream.one:$DATA"), std::string("hello\0", 6));
  EXPECT_EQ(RawValue(L"C:\\f.txt", "user.DosStream.Two:$DATA"), std::string("second\0!\0", 9));

  // A stream handle shows the file's metadata with the stream's size, and
  // its times are the file's.
  HANDLE stream = Open(L"C:\\f.txt:one", GENERIC_READ | FILE_WRITE_ATTRIBUTES, OPEN_EXISTING);
  BY_HANDLE_FILE_INFORMATION info{};
  ASSERT_TRUE(os_->GetFileInformationByHandle(stream, &info));
  EXPECT_EQ(info.nFileSizeLow, 5u);
  FILETIME time{0x12345600, 0x01D00000};
  EXPECT_TRUE(os_->SetFileTime(stream, nullptr, nullptr, &time));
  os_->CloseHandle(stream);
  HANDLE file = Open(L"C:\\f.txt", GENERIC_READ, OPEN_EXISTING);
  FILETIME written{};
  EXPECT_TRUE(os_->GetFileTime(file, nullptr, nullptr, &written));
  EXPECT_EQ(written.dwHighDateTime, time.dwHighDateTime);
  EXPECT_EQ(written.dwLowDateTime, time.dwLowDateTime);
  os_->CloseHandle(file);
}

TEST_F(PosixStreamsTest, ValuesOfOtherWritersAndStreamsOfDirectories) {
  // Without the trailing NUL the value is taken whole; names a stream
  // cannot hold are shown mapped and still open under that name.
  const std::string zone = "[ZoneTransfer]";
  world_.SetXattr(L"C:\\f.txt", "user.DosStream.Zone.Identifier:$DATA", zone);
  world_.SetXattr(L"C:\\f.txt", "user.DosStream.a:b\xff:$DATA", std::string("x\0", 2));
  world_.SetXattr(L"C:\\f.txt", "user.other", "y");
  Listing listing;
  EXPECT_EQ(List(L"C:\\f.txt", 4096, &listing), STATUS_SUCCESS);
  std::sort(listing.begin(), listing.end());
  const std::wstring mapped =
      L":a\xF022"
      L"b\xFFFD:$DATA";
  EXPECT_EQ(listing, (Listing{{L"::$DATA", 4}, {L":Zone.Identifier:$DATA", 14}, {mapped, 1}}));
  EXPECT_EQ(Read(L"C:\\f.txt:zone.identifier"), zone);
  EXPECT_EQ(Read(L"C:\\f.txt" + mapped), "x");

  uintptr_t information = 1;
  EXPECT_EQ(List(L"C:\\dir", 4096, &listing, &information), STATUS_SUCCESS);
  EXPECT_EQ(information, 0u);
  EXPECT_EQ(Write(L"C:\\dir:meta", "d"), ERROR_SUCCESS);
  EXPECT_EQ(List(L"C:\\dir", 4096, &listing), STATUS_SUCCESS);
  EXPECT_EQ(listing, (Listing{{L":meta:$DATA", 1}}));
  EXPECT_EQ(Read(L"C:\\dir:meta"), "d");
}

TEST_F(PosixStreamsTest, ListingAnswersForSmallBuffersAndOtherClasses) {
  ASSERT_EQ(Write(L"C:\\f.txt:s", "1"), ERROR_SUCCESS);
  Listing listing;
  uintptr_t information = 0;
  const ULONG first = kFileStreamInformationHeaderSize + 14;  // "::$DATA"
  EXPECT_EQ(List(L"C:\\f.txt", first + 8, &listing, &information), STATUS_BUFFER_OVERFLOW);
  EXPECT_EQ(information, first);
  EXPECT_EQ(listing, (Listing{{L"::$DATA", 4}}));
  EXPECT_EQ(List(L"C:\\f.txt", first - 1, &listing, &information), STATUS_BUFFER_TOO_SMALL);
  EXPECT_EQ(information, 0u);

  HANDLE file = Open(L"C:\\f.txt", GENERIC_READ, OPEN_EXISTING);
  IO_STATUS_BLOCK status{};
  char buffer[64];
  EXPECT_EQ(os_->NtQueryInformationFile(file, &status, buffer, sizeof(buffer),
                                        static_cast<FILE_INFORMATION_CLASS>(5)),
            STATUS_INVALID_INFO_CLASS);
  os_->CloseHandle(file);
}

TEST_F(PosixStreamsTest, AStreamBeyondTheLimitFailsAndKeepsItsValue) {
  // A value larger than the first read's buffer is read whole.
  ASSERT_EQ(Write(L"C:\\f.txt:mid", std::string(3000, 'm')), ERROR_SUCCESS);
  EXPECT_EQ(Read(L"C:\\f.txt:mid"), std::string(3000, 'm'));
  ASSERT_EQ(Write(L"C:\\f.txt:big", std::string(100, 'a')), ERROR_SUCCESS);
  EXPECT_EQ(Write(L"C:\\f.txt:big", "b", 65535, OPEN_EXISTING), ERROR_FILE_TOO_LARGE);
  EXPECT_EQ(Read(L"C:\\f.txt:big"), std::string(100, 'a'));
  HANDLE stream = Open(L"C:\\f.txt:big", GENERIC_WRITE, OPEN_EXISTING);
  LONG high = 0;
  os_->SetFilePointer(stream, 70000, &high, FILE_BEGIN);
  EXPECT_FALSE(os_->SetEndOfFile(stream));
  EXPECT_EQ(Os::GetLastError(), ERROR_FILE_TOO_LARGE);
  os_->CloseHandle(stream);
  // Within the limit the host may still refuse (ext4 holds about 4 KB).
  DWORD error = Write(L"C:\\f.txt:big", std::string(65535, 'c'), 0, OPEN_EXISTING);
  if (error == ERROR_SUCCESS) {
    EXPECT_EQ(Read(L"C:\\f.txt:big"), std::string(65535, 'c'));
  } else {
    EXPECT_EQ(error, ERROR_FILE_TOO_LARGE);
    EXPECT_EQ(Read(L"C:\\f.txt:big"), std::string(100, 'a'));
  }
}

TEST_F(PosixStreamsTest, DeletingOverwritingAndCreating) {
  ASSERT_EQ(Write(L"C:\\f.txt:a", "1"), ERROR_SUCCESS);
  ASSERT_EQ(Write(L"C:\\f.txt:b", "2"), ERROR_SUCCESS);
  EXPECT_TRUE(os_->DeleteFileW(L"C:\\f.txt:A"));
  EXPECT_FALSE(os_->DeleteFileW(L"C:\\f.txt:a"));
  EXPECT_EQ(Os::GetLastError(), ERROR_FILE_NOT_FOUND);
  Listing listing;
  List(L"C:\\f.txt", 4096, &listing);
  EXPECT_EQ(listing, (Listing{{L"::$DATA", 4}, {L":b:$DATA", 1}}));
  EXPECT_EQ(Read(L"C:\\f.txt::$DATA"), "main");

  // The file's data overwritten takes its streams along.
  HANDLE file = Open(L"C:\\f.txt", GENERIC_WRITE, CREATE_ALWAYS);
  os_->CloseHandle(file);
  List(L"C:\\f.txt", 4096, &listing);
  EXPECT_EQ(listing, (Listing{{L"::$DATA", 0}}));

  // A stream made where no file is makes an empty, finished file.
  EXPECT_EQ(Write(L"C:\\new.txt:s", "n", 0, CREATE_NEW), ERROR_SUCCESS);
  EXPECT_EQ(Write(L"C:\\new.txt:s", "n", 0, CREATE_NEW), ERROR_FILE_EXISTS);
  struct stat made;
  ASSERT_EQ(::stat(world_.HostPath(L"C:\\new.txt").c_str(), &made), 0);
  EXPECT_EQ(made.st_size, 0);
  EXPECT_EQ(made.st_mode & S_ISVTX, 0u);

  // A read-only file keeps its streams as they are.
  ASSERT_TRUE(os_->SetFileAttributesW(L"C:\\new.txt", FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(Write(L"C:\\new.txt:s", "x", 0, OPEN_EXISTING), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(os_->DeleteFileW(L"C:\\new.txt:s"));
  EXPECT_EQ(Os::GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Read(L"C:\\new.txt:s"), "n");
}

TEST_F(PosixStreamsTest, NamesThatNameNoStream) {
  EXPECT_EQ(Read(L"C:\\f.txt:missing"), "<2>");  // ERROR_FILE_NOT_FOUND
  EXPECT_EQ(Read(L"C:\\none.txt:s"), "<2>");
  EXPECT_EQ(Write(L"C:\\f.txt:a:b", "x"), ERROR_INVALID_NAME);
  EXPECT_EQ(Write(L"C:\\f.txt:a:$DATA:x", "x"), ERROR_INVALID_NAME);
  EXPECT_EQ(Write(L"C:\\f.txt:", "x"), ERROR_INVALID_NAME);
  EXPECT_EQ(Write(L"C:\\f.txt::", "x"), ERROR_INVALID_NAME);
  EXPECT_EQ(Write(L"C:\\f.txt:" + std::wstring(240, L's'), "x"), ERROR_FILENAME_EXCED_RANGE);
  EXPECT_FALSE(os_->DeleteFileW(L"C:\\f.txt:a:b"));
  EXPECT_EQ(Os::GetLastError(), ERROR_INVALID_NAME);
  EXPECT_EQ(RawValue(L"C:\\f.txt", "user.DosStream.a:$DATA"), "<none>");
}

}  // namespace
}  // namespace tarvik
