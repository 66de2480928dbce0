// The retry budget of a scanner object and the two file operations built on
// it. A failing call is reported, the thread waits (/w), and the caller tries
// again, up to /r retries; then the failure is thrown or handed back.
#include "log/log.h"
#include "scan/dir_scan.h"
#include "settings/copy_settings.h"
#include "util/abort.h"

namespace tarvik {
namespace {

constexpr DWORD kRetryPauseMilliseconds = 100;
constexpr int kPausesPerSecond = 10;

bool IsUnsupported(DWORD error) {
  return error == ERROR_NOT_SUPPORTED || error == ERROR_CALL_NOT_IMPLEMENTED;
}

// Errors after which a handle no longer reaches its file: the path must be
// opened again before the next try.
bool NeedsReopen(DWORD error) {
  return error == ERROR_INVALID_HANDLE || error == ERROR_NETNAME_DELETED ||
         error == ERROR_BAD_NET_NAME || error == ERROR_VC_DISCONNECTED ||
         error == ERROR_NETWORK_UNREACHABLE;
}

bool IsValidHandle(HANDLE handle) {
  return handle != INVALID_HANDLE_VALUE && handle != nullptr;
}

}  // namespace

void DirScan::ResetRetries() {
  retries_left_ = Settings().retryCount;
  retried_ = 0;
}

bool DirScan::WaitBeforeRetry() {
  int pauses = Settings().retryWaitSeconds * kPausesPerSecond;
  for (int i = 0; i < pauses; ++i) {
    if (AbortRequested()) {
      retries_left_ = 0;
      return false;
    }
    Os::Current().Sleep(kRetryPauseMilliseconds);
  }
  return true;
}

void DirScan::RetryOrThrowMessage(DWORD error, std::wstring message) {
  if (IsUnsupported(error))
    throw DirScanException(kFatal, std::move(message), error);
  if (AbortRequested())
    throw DirScanException(kAborted, L"", error);
  if (retries_left_ > 0) {
    --retries_left_;
    retried_ = 1;
    LogError(error, L"%s, Retrying in %ld seconds...", message, Settings().retryWaitSeconds);
    WaitBeforeRetry();
    return;
  }
  if (retried_ == 0)
    throw DirScanException(kFailedWithoutRetry, std::move(message), error);
  throw DirScanException(kFailedAfterRetries,
                         Format(L"%s, Failed after %ld retries.", message, Settings().retryCount),
                         error);
}

int DirScan::RetryOrGiveUpMessage(DWORD error, std::wstring message) {
  if (IsUnsupported(error))
    throw DirScanException(kFatal, std::move(message), error);
  if (AbortRequested())
    throw DirScanException(kAborted, L"", error);
  if (retries_left_ > 0) {
    --retries_left_;
    retried_ = 1;
    LogError(error, L"%s, Retrying in %ld seconds...", message, Settings().retryWaitSeconds);
    return WaitBeforeRetry() ? 1 : 0;
  }
  if (retried_ != 0)
    LogError(error, L"%s, Failed after %ld retries.", message, Settings().retryCount);
  return 0;
}

bool DirScan::SetFileTimes(const std::wstring& path, HANDLE* handle, const FILETIME* creation,
                           const FILETIME* last_access, const FILETIME* last_write) {
  ResetRetries();
  HANDLE local = INVALID_HANDLE_VALUE;
  HANDLE* place = handle != nullptr ? handle : &local;
  bool opened_here = false;
  bool done = true;
  try {
    SetTimesWithRetries(path, place, &opened_here, creation, last_access, last_write);
  } catch (const DirScanException& exception) {
    done = false;
    ++time_setting_failures_;
    ReportException(exception);
    if (exception.IsFatal())
      RequestAbort();
  }
  if (opened_here) {
    if (IsValidHandle(*place))
      Os::Current().CloseHandle(*place);
    *place = INVALID_HANDLE_VALUE;
  }
  return done;
}

void DirScan::SetTimesWithRetries(const std::wstring& path, HANDLE* handle, bool* opened_here,
                                  const FILETIME* creation, const FILETIME* last_access,
                                  const FILETIME* last_write) {
  Os& os = Os::Current();
  if (!IsValidHandle(*handle)) {
    *opened_here = true;
    OpenForTimeSetting(path, handle);
  }
  for (;;) {
    if (os.SetFileTime(*handle, creation, last_access, last_write))
      return;
    DWORD error = Os::GetLastError();
    RetryOrThrow(L"%s -> Unable to set access time", path);
    if (NeedsReopen(error)) {
      os.CloseHandle(*handle);
      *handle = INVALID_HANDLE_VALUE;
      *opened_here = true;
      OpenForTimeSetting(path, handle);
    }
  }
}

void DirScan::OpenForTimeSetting(const std::wstring& path, HANDLE* handle) {
  Os& os = Os::Current();
  for (;;) {
    *handle = os.CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES | FILE_WRITE_EA, 0, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (IsValidHandle(*handle))
      return;
    *handle = INVALID_HANDLE_VALUE;
    RetryOrThrow(L"%s -> Unable to open for time setting", path);
  }
}

bool DirScan::IsDirectory(const std::wstring& path) {
  WIN32_FIND_DATAW data{};
  return GetFileInfo(path, &data, 0) && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace tarvik
