// Win32Os against the system it runs on (Windows, or Wine in the suite):
// the calls reach the system with tarvik's records, the last error comes
// back as the Os's, and the contract's additions to the system hold.
#include "platform/win32/win32_os.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/fault_os.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;

class Win32OsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
    dir_ = fs::temp_directory_path() / ("tarvik-test-" + std::to_string(tick));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(dir_, ignored))
      fs::permissions(entry.path(), fs::perms::owner_all, ignored);
    fs::remove_all(dir_, ignored);
  }

  std::wstring PathOf(const wchar_t* name) const { return (dir_ / name).wstring(); }

  HANDLE Create(const std::wstring& path, DWORD disposition) {
    return os_.CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  }

  static std::string ReadAll(const std::wstring& path) {
    std::ifstream in(fs::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path dir_;
  Win32Os os_;
};

TEST_F(Win32OsTest, FailuresLeaveTheSystemsErrorAsTheOsLastError) {
  Os::SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(Create(PathOf(L"missing\\file"), OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os::GetLastError(), ERROR_PATH_NOT_FOUND);
  HANDLE file = Create(PathOf(L"file"), CREATE_NEW);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(os_.CloseHandle(file));
  EXPECT_EQ(Create(PathOf(L"file"), CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os::GetLastError(), ERROR_FILE_EXISTS);
  EXPECT_EQ(os_.GetFileAttributesW(PathOf(L"nothing").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Os::GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(Win32OsTest, PositionedTransfersLeaveTheFilePointerAlone) {
  HANDLE file = Create(PathOf(L"data"), CREATE_NEW);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD done = 0;
  ASSERT_TRUE(os_.WriteFile(file, "head", 4, &done, nullptr));
  OVERLAPPED at{};
  at.Offset = 10;
  ASSERT_TRUE(os_.WriteFile(file, "tail", 4, &done, &at));
  LONG high = 0;
  EXPECT_EQ(os_.SetFilePointer(file, 0, &high, FILE_CURRENT), 4u);

  char buffer[8] = {};
  at.Offset = 10;
  ASSERT_TRUE(os_.ReadFile(file, buffer, sizeof(buffer), &done, &at));
  EXPECT_EQ(std::string(buffer, done), "tail");
  EXPECT_EQ(os_.SetFilePointer(file, 0, &high, FILE_CURRENT), 4u);
  at.Offset = 14;
  EXPECT_FALSE(os_.ReadFile(file, buffer, sizeof(buffer), &done, &at));
  EXPECT_EQ(Os::GetLastError(), ERROR_HANDLE_EOF);
  EXPECT_TRUE(os_.CloseHandle(file));
  EXPECT_EQ(ReadAll(PathOf(L"data")), std::string("head\0\0\0\0\0\0tail", 14));
}

TEST_F(Win32OsTest, TimesAttributesAndListingsPassThrough) {
  HANDLE file = Create(PathOf(L"f\u00e9\U0001F600.txt"), CREATE_NEW);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD done = 0;
  ASSERT_TRUE(os_.WriteFile(file, "12345", 5, &done, nullptr));
  const FILETIME when = {0x12345600, 0x01D00000};  // 2015
  ASSERT_TRUE(os_.SetFileTime(file, nullptr, nullptr, &when));
  FILETIME creation{}, access{}, write{};
  ASSERT_TRUE(os_.GetFileTime(file, &creation, &access, &write));
  EXPECT_EQ(write.dwLowDateTime, when.dwLowDateTime);
  EXPECT_EQ(write.dwHighDateTime, when.dwHighDateTime);
  BY_HANDLE_FILE_INFORMATION information{};
  ASSERT_TRUE(os_.GetFileInformationByHandle(file, &information));
  EXPECT_EQ(information.nFileSizeLow, 5u);
  EXPECT_EQ(information.nNumberOfLinks, 1u);
  ASSERT_TRUE(os_.CloseHandle(file));

  const std::wstring path = PathOf(L"f\u00e9\U0001F600.txt");
  ASSERT_TRUE(os_.SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(os_.GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_HIDDEN);

  WIN32_FIND_DATAW found{};
  HANDLE find = os_.FindFirstFileW(PathOf(L"*.txt").c_str(), &found);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_STREQ(found.cFileName, L"f\u00e9\U0001F600.txt");
  EXPECT_EQ(found.nFileSizeLow, 5u);
  EXPECT_EQ(found.ftLastWriteTime.dwLowDateTime, when.dwLowDateTime);
  EXPECT_TRUE(found.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_FALSE(os_.FindNextFileW(find, &found));
  EXPECT_EQ(Os::GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_TRUE(os_.FindClose(find));
}

TEST_F(Win32OsTest, WideTextToARedirectedHandleIsUtf8) {
  const std::wstring path = PathOf(L"out.txt");
  HANDLE file = Create(path, CREATE_NEW);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  const std::wstring text = L"a\u00e9\u20ac\U0001F600\r\n";
  DWORD written = 0;
  ASSERT_TRUE(os_.WriteConsoleW(file, text.data(), static_cast<DWORD>(text.size()), &written));
  EXPECT_EQ(written, text.size());
  EXPECT_TRUE(os_.SetConsoleTextAttribute(file, FOREGROUND_RED));  // no colours, no failure
  EXPECT_TRUE(os_.CloseHandle(file));
  EXPECT_EQ(ReadAll(path), "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\r\n");
}

TEST_F(Win32OsTest, SystemTokenAndMessagesAnswerInTarviksRecords) {
  OSVERSIONINFOEXW version{};
  EXPECT_FALSE(os_.GetVersionExW(&version));
  EXPECT_EQ(Os::GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  version.dwOSVersionInfoSize = sizeof(version);
  ASSERT_TRUE(os_.GetVersionExW(&version));
  EXPECT_GE(version.dwMajorVersion, 6u);
  EXPECT_EQ(version.dwPlatformId, VER_PLATFORM_WIN32_NT);

  wchar_t text[512];
  DWORD length = os_.FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                    nullptr, ERROR_ACCESS_DENIED, 0, text, 512, nullptr);
  ASSERT_GT(length, 2u);
  EXPECT_EQ(std::wstring(text + length - 2, 2), L"\r\n");

  HANDLE token = nullptr;
  ASSERT_TRUE(os_.OpenProcessToken(os_.GetCurrentProcess(), TOKEN_QUERY, &token));
  DWORD needed = 0;
  EXPECT_FALSE(os_.GetTokenInformation(token, TokenUser, nullptr, 0, &needed));
  EXPECT_EQ(Os::GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  std::string buffer(needed, '\0');
  ASSERT_TRUE(os_.GetTokenInformation(token, TokenUser, buffer.data(), needed, &needed));
  const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
  wchar_t name[256], domain[256];
  DWORD name_size = 256, domain_size = 256;
  SID_NAME_USE use = SidTypeInvalid;
  ASSERT_TRUE(
      os_.LookupAccountSidW(nullptr, user->User.Sid, name, &name_size, domain, &domain_size, &use));
  EXPECT_GT(name_size, 0u);
  EXPECT_TRUE(os_.CloseHandle(token));

  LUID luid{};
  EXPECT_TRUE(os_.LookupPrivilegeValueW(nullptr, L"SeBackupPrivilege", &luid));
  EXPECT_FALSE(os_.LookupPrivilegeValueW(nullptr, L"SeNoSuchPrivilege", &luid));
  EXPECT_EQ(Os::GetLastError(), ERROR_NO_SUCH_PRIVILEGE);
}

// Faults come from the file TARVIK_FAULTS names and wrap Win32Os; a world
// file is refused, the machine being real.
TEST_F(Win32OsTest, FaultFileWrapsTheSystemAndWorldIsRefused) {
  const std::wstring faults = PathOf(L"faults.json");
  std::ofstream(fs::path(faults)) << R"({"faults": [{"call": "CreateFileW",
      "path": "*\\blocked.txt", "error": "ERROR_ACCESS_DENIED", "count": 0}]})";
  ASSERT_EQ(::_wputenv_s(L"TARVIK_FAULTS", faults.c_str()), 0);
  std::wstring error;
  std::unique_ptr<Os> os = CreateWin32Os(&error);
  ASSERT_NE(os, nullptr) << std::string(error.begin(), error.end());
  EXPECT_NE(dynamic_cast<FaultOs*>(os.get()), nullptr);
  const std::wstring blocked = PathOf(L"blocked.txt"), open = PathOf(L"open.txt");
  EXPECT_EQ(os->CreateFileW(blocked.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os::GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(fs::exists(fs::path(blocked)));
  HANDLE file = os->CreateFileW(open.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(os->CloseHandle(file));

  std::ofstream(fs::path(faults)) << R"({"faults": [{"call": "Frobnicate", "error": 5}]})";
  EXPECT_EQ(CreateWin32Os(&error), nullptr);
  EXPECT_NE(error.find(L"fault file"), std::wstring::npos);
  EXPECT_NE(error.find(L"Frobnicate"), std::wstring::npos);
  ASSERT_EQ(::_wputenv_s(L"TARVIK_FAULTS", L""), 0);

  ASSERT_EQ(::_wputenv_s(L"TARVIK_WORLD", L"C:\\world.json"), 0);
  EXPECT_EQ(CreateWin32Os(&error), nullptr);
  EXPECT_NE(error.find(L"TARVIK_WORLD"), std::wstring::npos);
  ASSERT_EQ(::_wputenv_s(L"TARVIK_WORLD", L""), 0);
  EXPECT_NE(CreateWin32Os(&error), nullptr);
}

}  // namespace
}  // namespace tarvik
