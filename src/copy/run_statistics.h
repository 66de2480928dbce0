// The run totals: every worker adds its task's counters here under
// statisticsLock, and the run driver prints them once all workers have ended.
#ifndef TARVIK_COPY_RUN_STATISTICS_H_
#define TARVIK_COPY_RUN_STATISTICS_H_

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "copy/copy_counters.h"
#include "settings/copy_settings.h"

namespace tarvik {

// One row of the running-time table, per worker.
struct DirCopyStats {
  int64_t runningTime = 0;
  int64_t copyTime = 0;
  int64_t deleteTime = 0;
  int64_t findTime = 0;
  int64_t mgTime = 0;  // nothing adds to it; the column prints 0.000
  int64_t byteCount = 0;
  int32_t copyCount = 0;
  int32_t deleteCount = 0;
  int32_t findCount = 0;
  int32_t otherCount = 0;
};

// What one task hands to the totals.
struct TaskReport {
  CopyCounters copy;
  ScanCounters scan;
  int32_t filesTaken = 0;
  int32_t treesTaken = 0;
  uint32_t resultBits = 0;
};

// The SID cache figures shown with /dbgstats.
struct SidCacheFigures {
  int32_t cacheSize = 0;
  int32_t items = 0;
  int32_t collisions = 0;
  int32_t comparisons = 0;
  int32_t hits = 0;
  int32_t hashOk = 0;
  int32_t miss = 0;
};

struct RunTotals {
  CopyCounters copy;
  ScanCounters scan;
  int64_t filesTaken = 0;
  int64_t treesTaken = 0;
  uint32_t exitBits = 0;
  uint32_t releaseRefCount = 0;
  uint32_t attachRefCount = 0;
  int64_t runStart = 0;
  int64_t runEnd = 0;
  int64_t frequency = 1;
  std::vector<DirCopyStats> rows;  // indexed by thread number
};

class RunStatistics {
 public:
  // Zeroes the totals and sizes the running-time table.
  void Reset(uint32_t thread_count, int64_t frequency);

  // Adds a task's counters and ORs its result bits. With row_index valid
  // (below the table size), also adds the task's timings to that row.
  void Merge(const TaskReport& task, uint32_t row_index, const DirCopyStats* timings);
  void AddExitBits(uint32_t bits);

  // Counted under the pool lock by the reference-count operations; kept
  // here so that the printer finds them with the rest.
  void CountAttach(uint32_t count = 1);
  void CountRelease(uint32_t count = 1);

  void StampRunStart(int64_t ticks);
  void StampRunEnd(int64_t ticks);

  RunTotals Snapshot();
  uint32_t ExitBits();

 private:
  std::mutex statisticsLock_;
  RunTotals totals_;
};

// The exit bits that the failure counters (those the summary marks with
// " !") imply: a run that reports a failure never ends with 0.
uint32_t FailureBits(const CopyCounters& copy, const ScanCounters& scan);

// The process-wide run totals.
RunStatistics& TheRunStatistics();

// The "Copy engine Statistics" block printed at the end of a threaded run.
std::wstring RunStatisticsText(const RunTotals& totals, const CopySettings& settings,
                               const SidCacheFigures& sid_cache);
// Prints it through LogText.
void PrintRunStatistics(const SidCacheFigures& sid_cache = {});

// "1 MB (1 234 567 Byte(s))\n".
std::wstring CopiedAmountText(uint64_t bytes);

// The "Summary results" block of a single engine (the comparison statistics
// come first and are passed in as text).
std::wstring SummaryResultsText(const CopyCounters& copy, const ScanCounters& scan,
                                const CopySettings& settings, int32_t sid_cache_size);

}  // namespace tarvik

#endif  // TARVIK_COPY_RUN_STATISTICS_H_
