#include <gtest/gtest.h>

#include "memory_os.h"
#include "scan/dir_scan.h"
#include "scan_fixture.h"
#include "util/abort.h"

namespace tarvik {
namespace {

class RetryPolicyTest : public ::testing::Test {
 protected:
  // Fails like a system call with error, then asks the policy, until it
  // throws; returns the number of tries made.
  int FailUntilThrown(DWORD error, DirScanException* thrown) {
    int tries = 0;
    try {
      for (;;) {
        ++tries;
        Os::SetLastError(error);
        scan_.RetryOrThrow(L"%s -> Unable to get content", L"C:\\x");
      }
    } catch (const DirScanException& exception) {
      *thrown = exception;
    }
    return tries;
  }

  int Count(const std::wstring& text, const std::wstring& part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + 1))
      ++count;
    return count;
  }

  MemoryOs os_;
  ScanStateGuard guard_;
  DirScan scan_;
};

TEST_F(RetryPolicyTest, NoRetryConfiguredThrowsKind3OrGivesUpSilently) {
  Settings().retryCount = 0;
  scan_.ResetRetries();
  DirScanException thrown(0, L"");
  EXPECT_EQ(FailUntilThrown(ERROR_ACCESS_DENIED, &thrown), 1);
  EXPECT_EQ(thrown.kind(), kFailedWithoutRetry);
  EXPECT_EQ(thrown.message(), L"C:\\x -> Unable to get content");
  EXPECT_EQ(thrown.code(), ERROR_ACCESS_DENIED);

  Os::SetLastError(ERROR_ACCESS_DENIED);
  EXPECT_EQ(scan_.RetryOrGiveUp(L"%s -> Unable to copy", L"C:\\x"), 0);
  EXPECT_EQ(os_.console(), L"");
  EXPECT_EQ(os_.sleeps(), 0);
}

TEST_F(RetryPolicyTest, RetriesWaitThenThrowKind4NamingTheSetting) {
  Settings().retryCount = 2;
  Settings().retryWaitSeconds = 1;
  scan_.ResetRetries();
  DirScanException thrown(0, L"");
  EXPECT_EQ(FailUntilThrown(ERROR_SHARING_VIOLATION, &thrown), 3);
  EXPECT_EQ(thrown.kind(), kFailedAfterRetries);
  EXPECT_EQ(thrown.message(), L"C:\\x -> Unable to get content, Failed after 2 retries.");
  EXPECT_EQ(thrown.code(), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(Count(os_.console(), L"C:\\x -> Unable to get content, Retrying in 1 seconds..."), 2);
  // Each wait is ten pauses of 100 ms.
  EXPECT_EQ(os_.sleeps(), 20);
  EXPECT_EQ(os_.slept_milliseconds(), 2000u);
  EXPECT_TRUE(scan_.retried());
}

TEST_F(RetryPolicyTest, GiveUpLogsTheFinalLineOnlyAfterRetries) {
  Settings().retryCount = 2;
  Settings().retryWaitSeconds = 0;
  scan_.ResetRetries();
  int tries = 0;
  for (;;) {
    ++tries;
    Os::SetLastError(ERROR_NETNAME_DELETED);
    if (scan_.RetryOrGiveUp(L"%s -> Unable to copy", L"C:\\f") == 0)
      break;
  }
  EXPECT_EQ(tries, 3);
  std::wstring console = os_.console();
  EXPECT_EQ(Count(console, L"C:\\f -> Unable to copy, Retrying in 0 seconds..."), 2);
  EXPECT_EQ(Count(console, L"C:\\f -> Unable to copy, Failed after 2 retries."), 1);
}

TEST_F(RetryPolicyTest, UnsupportedIsFatalAtOnce) {
  Settings().retryCount = 5;
  scan_.ResetRetries();
  DirScanException thrown(0, L"");
  EXPECT_EQ(FailUntilThrown(ERROR_NOT_SUPPORTED, &thrown), 1);
  EXPECT_EQ(thrown.kind(), kFatal);
  EXPECT_TRUE(thrown.IsFatal());
  EXPECT_EQ(FailUntilThrown(ERROR_CALL_NOT_IMPLEMENTED, &thrown), 1);
  EXPECT_EQ(thrown.kind(), kFatal);
  Os::SetLastError(ERROR_NOT_SUPPORTED);
  EXPECT_THROW(scan_.RetryOrGiveUp(L"x"), DirScanException);
  EXPECT_EQ(os_.sleeps(), 0);
}

TEST_F(RetryPolicyTest, AbortEndsTheWaitAndTheNextFailureThrowsKind7) {
  Settings().retryCount = 5;
  Settings().retryWaitSeconds = 30;
  scan_.ResetRetries();
  os_.set_on_sleep([](int sleeps) {
    if (sleeps == 3)
      RequestAbort();
  });
  Os::SetLastError(ERROR_SHARING_VIOLATION);
  scan_.RetryOrThrow(L"%s -> Unable", L"C:\\x");  // returns after the cut wait
  EXPECT_EQ(os_.sleeps(), 3);
  EXPECT_EQ(scan_.retries_left(), 0);

  DirScanException thrown(0, L"");
  EXPECT_EQ(FailUntilThrown(ERROR_SHARING_VIOLATION, &thrown), 1);
  EXPECT_EQ(thrown.kind(), kAborted);
  EXPECT_EQ(thrown.message(), L"");

  Os::SetLastError(ERROR_SHARING_VIOLATION);
  EXPECT_THROW(scan_.RetryOrGiveUp(L"x"), DirScanException);
}

TEST_F(RetryPolicyTest, PartlyUsedBudgetStillNamesTheFullSetting) {
  Settings().retryCount = 3;
  scan_.ResetRetries();
  Os::SetLastError(ERROR_SHARING_VIOLATION);
  scan_.RetryOrThrow(L"first");
  DirScanException thrown(0, L"");
  EXPECT_EQ(FailUntilThrown(ERROR_SHARING_VIOLATION, &thrown), 3);
  EXPECT_EQ(thrown.message(), L"C:\\x -> Unable to get content, Failed after 3 retries.");
}

TEST_F(RetryPolicyTest, SetFileTimesOpensRetriesAndReopensAfterALostHandle) {
  os_.AddFile(L"C:\\d\\f.txt");
  Settings().retryCount = 2;
  FILETIME write{0x1234, 0x01D00000};
  os_.Fail("SetFileTime", L"C:\\d\\f.txt", ERROR_INVALID_HANDLE, 1);
  HANDLE handle = INVALID_HANDLE_VALUE;
  EXPECT_TRUE(scan_.SetFileTimes(L"C:\\d\\f.txt", &handle, nullptr, nullptr, &write));
  EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(os_.open_handles(), 0);
  EXPECT_EQ(os_.set_file_time_calls(), 2);
  EXPECT_EQ(scan_.time_setting_failures(), 0u);
  WIN32_FIND_DATAW data{};
  ASSERT_TRUE(scan_.GetFileInfo(L"C:\\d\\f.txt", &data, 0));
  EXPECT_EQ(data.ftLastWriteTime.dwLowDateTime, 0x1234u);

  // A handle the caller gives stays open.
  HANDLE given = os_.CreateFileW(L"C:\\d\\f.txt", 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE kept = given;
  EXPECT_TRUE(scan_.SetFileTimes(L"C:\\d\\f.txt", &kept, nullptr, nullptr, &write));
  EXPECT_EQ(kept, given);
  EXPECT_EQ(os_.open_handles(), 1);
  os_.CloseHandle(given);
}

TEST_F(RetryPolicyTest, SetFileTimesCountsFailuresAndAbortsOnFatalOnes) {
  os_.AddFile(L"C:\\d\\f.txt");
  Settings().retryCount = 0;
  FILETIME write{1, 1};
  os_.Fail("SetFileTime", L"C:\\d\\f.txt", ERROR_ACCESS_DENIED, 1);
  EXPECT_FALSE(scan_.SetFileTimes(L"C:\\d\\f.txt", nullptr, nullptr, nullptr, &write));
  EXPECT_EQ(scan_.time_setting_failures(), 1u);
  EXPECT_NE(os_.console().find(L"C:\\d\\f.txt -> Unable to set access time"), std::wstring::npos);
  EXPECT_FALSE(AbortRequested());
  EXPECT_EQ(os_.open_handles(), 0);

  os_.Fail("CreateFileW", L"C:\\d\\f.txt", ERROR_NOT_SUPPORTED, 1);
  EXPECT_FALSE(scan_.SetFileTimes(L"C:\\d\\f.txt", nullptr, nullptr, nullptr, &write));
  EXPECT_EQ(scan_.time_setting_failures(), 2u);
  EXPECT_TRUE(AbortRequested());
}

TEST_F(RetryPolicyTest, GetFileInfoQueriesEveryWay) {
  os_.AddFile(L"C:\\d\\f.txt", 42, 7);
  WIN32_FIND_DATAW data{};
  ASSERT_TRUE(scan_.GetFileInfo(L"C:\\d\\f.txt", &data, 0));
  EXPECT_EQ(data.nFileSizeLow, 42u);
  EXPECT_EQ(std::wstring(data.cFileName), L"f.txt");

  // Trailing separators are dropped; a drive root is answered by the handle.
  data = WIN32_FIND_DATAW{};
  EXPECT_TRUE(scan_.IsDirectory(L"C:\\d\\\\"));
  EXPECT_TRUE(scan_.IsDirectory(L"C:\\"));
  EXPECT_FALSE(scan_.IsDirectory(L"C:\\d\\f.txt"));

  // Missing: false without a message.
  EXPECT_FALSE(scan_.GetFileInfo(L"C:\\d\\none", &data, 0));
  EXPECT_EQ(Os::GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(scan_.GetFileInfo(L"C:\\nodir\\none", &data, 0));
  EXPECT_EQ(os_.console(), L"");

  // A failure without retries is reported and answers false.
  os_.Fail("FindFirstFileW", L"C:\\d\\f.txt", ERROR_ACCESS_DENIED, 1);
  os_.Fail("CreateFileW", L"C:\\d\\f.txt", ERROR_ACCESS_DENIED, 1);
  EXPECT_FALSE(scan_.GetFileInfo(L"C:\\d\\f.txt", &data, 0));
  EXPECT_EQ(Os::GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_NE(os_.console().find(L"C:\\d\\f.txt -> Unable to get information"), std::wstring::npos);
  EXPECT_EQ(scan_.information_queries(), 7u);

  // A fatal failure propagates.
  os_.Fail("FindFirstFileW", L"C:\\d\\f.txt", ERROR_ACCESS_DENIED, 1);
  os_.Fail("CreateFileW", L"C:\\d\\f.txt", ERROR_NOT_SUPPORTED, 1);
  EXPECT_THROW(scan_.GetFileInfo(L"C:\\d\\f.txt", &data, 0), DirScanException);
  EXPECT_EQ(os_.open_handles(), 0);
}

TEST_F(RetryPolicyTest, GetFileInfoFallsBackToAttributesForADirectory) {
  os_.AddDirectory(L"C:\\d\\sub", 99);
  os_.Fail("FindFirstFileW", L"C:\\d\\sub", ERROR_ACCESS_DENIED, 2);
  os_.Fail("GetFileInformationByHandle", L"C:\\d\\sub", ERROR_FILE_NOT_FOUND, 1);
  WIN32_FIND_DATAW data{};
  data.cFileName[0] = L'x';
  ASSERT_TRUE(scan_.GetFileInfo(L"C:\\d\\sub", &data, 0));
  EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(data.ftLastWriteTime.dwLowDateTime, 99u);
  EXPECT_EQ(data.cFileName[0], L'\0');
  EXPECT_EQ(os_.open_handles(), 0);
}

}  // namespace
}  // namespace tarvik
