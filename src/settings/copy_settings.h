// CopySettings: the effective settings of one run. The run driver fills the one
// process-wide instance from the command line before any worker starts; from
// then on it is read-only, except that the copy engine may switch compressMode
// to ignore once when a target volume refuses compression.
#ifndef TARVIK_SETTINGS_COPY_SETTINGS_H_
#define TARVIK_SETTINGS_COPY_SETTINGS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarvik {

enum class SecurityMode : int32_t {
  None = 0,
  Copy = 1,
  Fix = 2,
  Force = 3,
  Merge = 4,
  HomeDir = 5
};

enum QuotaMode : int32_t { kQuotaNone = 0, kQuotaTransferWindow = 1, kQuotaWaitForSpace = 2 };
enum DiskFullMode : int32_t { kDiskFullAbort = 0, kDiskFullRetry = 1, kDiskFullWait = 2 };
enum CompressMode : int32_t {
  kCompressNormal = 0,
  kCompressIgnore = 1,
  kCompressForceFile = 2,
  kCompressForceDir = 3,
  kCompressForceAll = 4
};
enum CheckContentMode : int32_t { kCheckNone = 0, kCheckMd5 = 1, kCheckBin = 2 };

constexpr int32_t kDefaultThreadCount = 64;
constexpr int32_t kMaxThreadCount = 256;
constexpr int32_t kDefaultRetryCount = 100;
constexpr int32_t kDefaultRetryWaitSeconds = 30;
constexpr int32_t kMaxListSwitchValues = 1000;

// Flags are 32-bit integers holding 0 or 1, because the switch parser sets
// them through a pointer to such an integer.
struct CopySettings {
  // Walk.
  int32_t recurse = 0;
  int32_t maxDepth = 0;
  int32_t noSort = 0;
  int32_t chunkMode = 0;
  int32_t noDirFilter = 0;
  int32_t excludeJunctions = 0;
  std::vector<std::wstring> filePatterns;
  std::vector<std::wstring> excludedFiles;
  std::vector<std::wstring> excludedDirs;

  // Retries and threads.
  int32_t continueOnError = 0;
  int32_t retryCount = kDefaultRetryCount;
  int32_t retryWaitSeconds = kDefaultRetryWaitSeconds;
  int32_t threadCount = kDefaultThreadCount;

  // Transfer window and disk full.
  uint64_t transferWindowBytes = 0;
  int32_t quotaMode = kQuotaNone;
  int32_t diskFullMode = kDiskFullAbort;
  int32_t diskFullHighWaterMark = 100;

  // Data.
  int32_t compressMode = kCompressNormal;
  int32_t checkContentMode = kCheckNone;
  int32_t newerOnly = 0;
  int32_t differentOnly = 0;
  int32_t timeSelection = 0;
  int32_t listOnly = 0;
  int32_t createOnly = 0;
  int32_t purge = 0;
  int32_t preserveRoot = 0;
  int32_t lowerCaseNames = 0;
  int32_t syncDirDates = 0;
  int32_t copyStreams = 0;
  int32_t ignoreStubra = 0;

  // Output.
  int32_t fullPaths = 0;
  int32_t quiet = 0;

  // Security.
  int32_t noSecurity = 0;
  int32_t secFix = 0;
  int32_t secForce = 0;
  int32_t secMerge = 0;
  SecurityMode securityMode = SecurityMode::Copy;
  int32_t copyOwner = 0;
  int32_t copyAudit = 0;
  int32_t copyDac = 0;
  int32_t translateLocalGroups = 0;
  int32_t translateLocalUsers = 0;
  int32_t ignoreLocalAccounts = 0;
  int32_t noDataOnSdError = 0;
  std::wstring sidMapFile;
  int32_t homeDirMode = 0;
  std::wstring homeDirAccount;
  std::optional<std::wstring> newDomain;
  int32_t preserveSidHistory = 0;
  std::vector<uint8_t> localSidSource;  // raw SID bytes, valid when localSidSourceSet
  int32_t localSidSourceSet = 0;
  int32_t backupSD = 0;
  int32_t restoreSD = 0;
  int32_t noPrivilegeChecks = 0;

  // Log.
  std::wstring logPath;
  int32_t logAppend = 0;
  int32_t logUnicode = 0;
  int32_t logTee = 0;

  // Debug traces; each only adds lines.
  int32_t debug = 0;
  int32_t debugThreads = 0;
  int32_t debugResults = 0;
  int32_t debugSecurity = 0;
  int32_t debugStats = 0;
  int32_t debugPrivileges = 0;
  int32_t debugSystem = 0;
  int32_t debugLog = 0;
  int32_t debugTransfer = 0;
  int32_t debugSid = 0;
};

// The process-wide instance.
inline CopySettings& Settings() {
  static CopySettings settings;
  return settings;
}

}  // namespace tarvik

#endif  // TARVIK_SETTINGS_COPY_SETTINGS_H_
