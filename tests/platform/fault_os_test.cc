#include "platform/fault_os.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "platform/posix/posix_os.h"
#include "support/temp_dir.h"

namespace tarvik {
namespace {

WorldFault Fault(const wchar_t* call, const wchar_t* pattern, DWORD error, uint32_t count,
                 uint32_t after) {
  WorldFault fault;
  fault.call = call;
  fault.path_pattern = pattern;
  fault.error = error;
  fault.count = count;
  fault.after = after;
  return fault;
}

class FaultOsTest : public testing::Test {
 protected:
  void Start(std::vector<WorldFault> faults) {
    std::filesystem::create_directory(temp_.path() + "/locked");
    World world;
    world.computer = L"PC";
    WorldDrive drive;
    drive.letter = L'T';
    drive.host_path = temp_.path();
    world.drives[L'T'] = drive;
    os_ = std::make_unique<FaultOs>(std::make_unique<PosixOs>(std::move(world)), std::move(faults));
  }

  HANDLE Open(const std::wstring& path, DWORD disposition = OPEN_ALWAYS) {
    return os_->CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, disposition, 0,
                            nullptr);
  }

  TempDir temp_;
  std::unique_ptr<FaultOs> os_;
};

TEST_F(FaultOsTest, FailsTheChosenCallsTheChosenNumberOfTimes) {
  Start({Fault(L"CreateFileW", L"t:/LOCKED/*", ERROR_SHARING_VIOLATION, 2, 1)});
  std::vector<DWORD> results;
  for (int i = 0; i < 5; ++i) {
    HANDLE file = Open(L"\\\\?\\T:\\locked\\f" + std::to_wstring(i));
    results.push_back(file == INVALID_HANDLE_VALUE ? Os::GetLastError() : 0);
    if (file != INVALID_HANDLE_VALUE)
      os_->CloseHandle(file);
  }
  EXPECT_EQ(results, (std::vector<DWORD>{0, 32, 32, 0, 0}));
  // Other paths never matched.
  HANDLE other = Open(L"T:\\free");
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os::GetLastError(), ERROR_SUCCESS);
  os_->CloseHandle(other);
  // The inner call's own result survives: the file exists now.
  other = Open(L"T:\\free");
  EXPECT_EQ(Os::GetLastError(), ERROR_ALREADY_EXISTS);
  os_->CloseHandle(other);
}

TEST_F(FaultOsTest, HandleCallsMatchThePathTheHandleWasOpenedWith) {
  Start({Fault(L"WriteFile", L"*\\big.bin", ERROR_DISK_FULL, 0, 2),
         Fault(L"CloseHandle", L"", ERROR_NETNAME_DELETED, 1, 0)});
  HANDLE big = Open(L"T:\\big.bin");
  ASSERT_NE(big, INVALID_HANDLE_VALUE);
  DWORD written = 9;
  EXPECT_TRUE(os_->WriteFile(big, "a", 1, &written, nullptr));
  EXPECT_TRUE(os_->WriteFile(big, "b", 1, &written, nullptr));
  for (int i = 0; i < 3; ++i) {  // count 0: for ever after the first two
    EXPECT_FALSE(os_->WriteFile(big, "c", 1, &written, nullptr));
    EXPECT_EQ(Os::GetLastError(), ERROR_DISK_FULL);
    EXPECT_EQ(written, 0u);
  }
  HANDLE small = Open(L"T:\\small.bin");
  EXPECT_TRUE(os_->WriteFile(small, "a", 1, &written, nullptr));

  // A failed close still releases the handle.
  EXPECT_FALSE(os_->CloseHandle(big));
  EXPECT_EQ(Os::GetLastError(), ERROR_NETNAME_DELETED);
  EXPECT_FALSE(os_->CloseHandle(big));
  EXPECT_EQ(Os::GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_TRUE(os_->CloseHandle(small));
  std::ifstream in(temp_.path() + "/big.bin");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "ab");
}

TEST(FaultPatternTest, CaseSeparatorsAndLongPrefixesDoNotMatter) {
  EXPECT_TRUE(
      MatchesPathPattern(L"\\\\DC2\\public\\locked\\*", L"\\\\?\\UNC\\dc2\\Public\\locked\\a"));
  EXPECT_TRUE(MatchesPathPattern(L"M:\\big\\*", L"m:/big/x/y.bin"));
  EXPECT_TRUE(MatchesPathPattern(L"*.t?p", L"Z:\\a\\b.tmp"));
  EXPECT_FALSE(MatchesPathPattern(L"*.t?p", L"Z:\\a\\b.tmpx"));
  EXPECT_FALSE(MatchesPathPattern(L"M:\\big\\*", L"M:\\bigger\\x"));
  EXPECT_TRUE(MatchesPathPattern(L"*", L""));
  EXPECT_NE(FindFaultableCall(L"CreateFileW"), nullptr);
  EXPECT_FALSE(FindFaultableCall(L"GetComputerNameW")->takes_path);
  EXPECT_EQ(FindFaultableCall(L"createfilew"), nullptr);
}

TEST(CreatePosixOsTest, AWorldWithFaultsGetsTheFaultInjector) {
  TempDir temp;
  std::string file = temp.path() + "/w.json";
  std::ofstream(file) << R"({"computer": "WORLD1",
                             "faults": [{"call": "GetComputerNameW", "error": "ERROR_NOT_READY"}]})";
  ::setenv("TARVIK_WORLD", file.c_str(), 1);
  std::wstring error;
  std::unique_ptr<Os> os = CreatePosixOs(&error);
  ::unsetenv("TARVIK_WORLD");
  ASSERT_NE(os, nullptr) << std::string(error.begin(), error.end());
  ASSERT_NE(dynamic_cast<FaultOs*>(os.get()), nullptr);
  wchar_t name[16];
  DWORD size = 16;
  EXPECT_FALSE(os->GetComputerNameW(name, &size));
  EXPECT_EQ(Os::GetLastError(), ERROR_NOT_READY);
  size = 16;
  EXPECT_TRUE(os->GetComputerNameW(name, &size));
  EXPECT_EQ(std::wstring(name), L"WORLD1");

  std::ofstream(file) << R"({"computer": 5})";
  ::setenv("TARVIK_WORLD", file.c_str(), 1);
  EXPECT_EQ(CreatePosixOs(&error), nullptr);
  ::unsetenv("TARVIK_WORLD");
  EXPECT_EQ(error, L"world file " + std::wstring(file.begin(), file.end()) +
                       L": computer: expected a string, found a number");
}

}  // namespace
}  // namespace tarvik
