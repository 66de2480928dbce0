// The counters one copy engine keeps while it works. They are plain integers
// touched only by the engine's own thread; a worker adds them to the run
// totals once per task.
#ifndef TARVIK_COPY_COPY_COUNTERS_H_
#define TARVIK_COPY_COPY_COUNTERS_H_

#include <cstdint>

namespace tarvik {

// Exit-code bits of an engine and of the run.
enum ResultBits : uint32_t {
  kResultMismatch = 1,
  kResultSecurityError = 2,
  kResultDataError = 4,
  kResultCritical = 8,
};

struct CopyCounters {
  uint32_t directoriesCreated = 0;
  uint32_t filesCopied = 0;  // or created, with /create
  uint32_t directoriesRenamed = 0;
  uint32_t filesRenamed = 0;
  uint32_t directoryCreationsFailed = 0;
  uint32_t fileCopiesFailed = 0;
  uint32_t compressedFiles = 0;
  uint32_t compressedDirectories = 0;
  uint32_t securitySettingsFailed = 0;
  uint32_t securitySettingsDone = 0;
  uint32_t securityDescriptorsChecked = 0;
  uint32_t purgedDirectories = 0;
  uint32_t purgedFiles = 0;
  uint32_t purgedDirectoriesFailed = 0;
  uint32_t purgedFilesFailed = 0;
  uint32_t directoryLinks = 0;
  uint32_t fileLinks = 0;
  uint32_t directoryLinksFailed = 0;
  uint32_t fileLinksFailed = 0;
  uint32_t contentsChecked = 0;
  uint32_t contentMismatches = 0;
  uint32_t md5Checked = 0;
  uint32_t md5Mismatches = 0;
  uint32_t deletedFiles = 0;
  uint32_t deletedFilesFailed = 0;
  uint32_t skippedContentCopies = 0;

  // Data bytes written, or with /l the bytes that would be written.
  uint64_t bytesCopied = 0;

  // Performance-counter ticks spent in data copies and in the deletions that
  // follow an aborted copy; measured only with /dbgres or /dbgstats.
  int64_t copyTime = 0;
  int64_t deleteTime = 0;
  int32_t copyCount = 0;
  int32_t deleteCount = 0;

  void Add(const CopyCounters& other);
};

// What the scanner and the comparison counted during one task.
struct ScanCounters {
  uint32_t sameAge = 0;
  uint32_t sourceOlder = 0;
  uint32_t sourceNewer = 0;
  uint32_t filesRecovered = 0;
  uint32_t filesFound = 0;
  uint32_t directoriesFound = 0;
  uint32_t deepestLevel = 0;  // kept as the maximum
  uint32_t findLoops = 0;
  uint32_t objectsSorted = 0;
  float sortTime = 0;  // microseconds
  uint32_t getInfoCalls = 0;
  uint32_t directoryTimeErrors = 0;
  uint32_t mismatchedFiles = 0;
  uint32_t mismatchedDirectories = 0;
  uint32_t directoryReadsFailed = 0;  // source directories whose content could not be read
  int64_t findTime = 0;               // performance-counter ticks
  int32_t findCount = 0;

  void Add(const ScanCounters& other);
};

}  // namespace tarvik

#endif  // TARVIK_COPY_COPY_COUNTERS_H_
