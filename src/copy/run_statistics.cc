#include "copy/run_statistics.h"

#include "log/log.h"
#include "log/message_text.h"
#include "util/format.h"

namespace tarvik {
namespace {

// Performance-counter ticks as milliseconds, in single precision as printed.
float TicksToMs(int64_t ticks, int64_t frequency) {
  if (frequency <= 0)
    return 0;
  return static_cast<float>(ticks) / static_cast<float>(frequency) * 1000.0f;
}

void Line(std::wstring* out, const wchar_t* label, uint32_t value) {
  *out += Format(L"%-42s: %ld\n", label, value);
}

void LineIfSet(std::wstring* out, const wchar_t* label, uint32_t value) {
  if (value != 0)
    Line(out, label, value);
}

// A failure count: marked with " !" and printed only when not 0.
void FailureLine(std::wstring* out, const wchar_t* label, uint32_t value) {
  if (value != 0)
    *out += Format(L"%-42s: %ld !\n", label, value);
}

void SidCacheBlock(std::wstring* out, const SidCacheFigures& cache) {
  *out += L"\nSID cache Statistics\n";
  *out += L"====================\n\n";
  *out += Format(L"%-42s: %d items\n", L"Cache size", cache.cacheSize);
  *out += Format(L"%-42s: %d\n", L"Items", cache.items);
  *out += Format(L"%-42s: %d\n", L"Collisions", cache.collisions);
  *out += Format(L"%-42s: %d\n", L"Comparisons", cache.comparisons);
  *out += Format(L"%-42s: %d\n", L"Hits", cache.hits);
  *out += Format(L"%-42s: %d\n", L"Hash OK", cache.hashOk);
  *out += Format(L"%-42s: %d\n", L"Miss", cache.miss);
}

void ScanningBlock(std::wstring* out, const ScanCounters& scan) {
  *out += L"\nScanning engine Statistics\n";
  *out += L"==========================\n\n";
  Line(out, L"Number of files found", scan.filesFound);
  Line(out, L"Number of directories found", scan.directoriesFound);
  Line(out, L"Max depth of subdirectories", scan.deepestLevel);
  Line(out, L"Number of find loop", scan.findLoops);
  Line(out, L"Number of object sorted", scan.objectsSorted);
  *out += Format(L"%-42s: %.3f\n", L"Total sort process duration (micro s)", scan.sortTime);
  if (scan.objectsSorted != 0) {
    *out += Format(L"%-42s: %.3f\n", L"Sort average time (micro s)",
                   scan.sortTime / static_cast<float>(scan.objectsSorted));
  } else {
    *out += Format(L"%-42s: %.3f\n", L"Sort average time", 0.0f);
  }
}

void RunningTimeTable(std::wstring* out, const RunTotals& totals) {
  *out += L"\nThreads Running time\n";
  *out += L"====================\n\n";
  *out += Format(L"%4s%14s%14s%10s%14s%14s%10s%14s%10s%14s\n", L"Th", L"RT Dur", L"CP Dur", L"CP",
                 L"Byte Count", L"Find Dur", L"Find", L"Delete Dur", L"Delete", L"MG Dur");
  int32_t copies = 0, finds = 0, deletes = 0;
  const int64_t f = totals.frequency;
  for (size_t i = 0; i < totals.rows.size(); ++i) {
    const DirCopyStats& row = totals.rows[i];
    *out +=
        Format(L"%4d%14.3f%14.3f%10d%14I64d%14.3f%10d%14.3f%10d%14.3f\n", static_cast<int32_t>(i),
               TicksToMs(row.runningTime, f), TicksToMs(row.copyTime, f), row.copyCount,
               row.byteCount, TicksToMs(row.findTime, f), row.findCount,
               TicksToMs(row.deleteTime, f), row.deleteCount, TicksToMs(row.mgTime, f));
    copies += row.copyCount;
    finds += row.findCount;
    deletes += row.deleteCount;
  }
  *out += Format(L"%4s%14s%14s%10d%14s%14s%10d%14s%10d%14s\n", L"TOT", L"", L"", copies, L"", L"",
                 finds, L"", deletes, L"");
}

void CopyModeLines(std::wstring* out, const RunTotals& totals, const CopySettings& settings) {
  const CopyCounters& c = totals.copy;
  const bool create = settings.createOnly != 0;
  Line(out, create ? L"File(s) created" : L"File(s) copied", c.filesCopied);
  Line(out, L"File(s) recovered", totals.scan.filesRecovered);
  Line(out, L"Directory(ies) created", c.directoriesCreated);
  LineIfSet(out, L"Directory(ies) renamed", c.directoriesRenamed);
  LineIfSet(out, L"File(s) renamed", c.filesRenamed);
  FailureLine(out, create ? L"Creation of File(s) failed" : L"Copy of File(s) failed",
              c.fileCopiesFailed);
  FailureLine(out, L"Skipped copy(ies) of file content", c.skippedContentCopies);
  FailureLine(out, L"Creation of Directory(ies) failed", c.directoryCreationsFailed);
  FailureLine(out, L"Reading of Directory(ies) failed", totals.scan.directoryReadsFailed);
  FailureLine(out, L"Mismatched File(s)", totals.scan.mismatchedFiles);
  FailureLine(out, L"Mismatched Directory(ies)", totals.scan.mismatchedDirectories);
  LineIfSet(out, L"Security Descriptor Setting(s) done:", c.securitySettingsDone);
  FailureLine(out, L"Security Descriptor Setting(s) failed", c.securitySettingsFailed);
  LineIfSet(out, L"Number of Purged file(s)", c.purgedFiles);
  LineIfSet(out, L"Number of Purged directory(ies)", c.purgedDirectories);
  FailureLine(out, L"Number of Purged file(s) failed", c.purgedFilesFailed);
  FailureLine(out, L"Number of Purged directory(ies) failed", c.purgedDirectoriesFailed);
  LineIfSet(out, L"Number of file(s) symlink", c.fileLinks);
  LineIfSet(out, L"Number of directory(ies) symlink", c.directoryLinks);
  FailureLine(out, L"Number of file(s) symlink failed", c.fileLinksFailed);
  FailureLine(out, L"Number of directory(ies) symlink failed", c.directoryLinksFailed);
  LineIfSet(out, L"Number of Deleted file(s)", c.deletedFiles);
  FailureLine(out, L"Number of Deleted file(s) failed", c.deletedFilesFailed);
  LineIfSet(out, L"Count of compressed file(s)", c.compressedFiles);
  LineIfSet(out, L"Count of compressed dir(s)", c.compressedDirectories);

  if (settings.checkContentMode == kCheckBin) {
    LineIfSet(out, L"Count of File content checked", c.contentsChecked);
    FailureLine(out, L"Count of File content mismatch", c.contentMismatches);
  } else if (settings.checkContentMode == kCheckMd5) {
    LineIfSet(out, L"Count of File MD5 checked", c.md5Checked);
    FailureLine(out, L"Count of File MD5 mismatch", c.md5Mismatches);
  }

  if (!create) {
    *out += Format(L"%-42s: ", L"Amount of copied byte(s)");
    *out += CopiedAmountText(c.bytesCopied);
    if (c.bytesCopied != 0 && !settings.listOnly) {
      const float duration_ms = TicksToMs(totals.runEnd - totals.runStart, totals.frequency);
      const float bitrate =
          duration_ms > 0 ? static_cast<float>(c.bytesCopied) / duration_ms * 1000.0f / 1024.0f
                          : 0.0f;
      *out += Format(L"%-42s: %.3f KB/s\n", L"Estimated copy bitrate", bitrate);
      *out += Format(L"%-42s: %.3f \n", L"Global copy duration", duration_ms / 1000.0f);
    }
  }
}

void SecurityOnlyEnd(std::wstring* out, const CopyCounters& c, const CopySettings& settings) {
  LineIfSet(out,
            settings.backupSD ? L"Number of Security Descriptor(s) backuped"
                              : L"Number of Security Descriptor(s) restored",
            c.securitySettingsDone);
  FailureLine(out, L"Security Descriptor Setting(s) failed", c.securitySettingsFailed);
  *out += L"\n";
}

}  // namespace

void RunStatistics::Reset(uint32_t thread_count, int64_t frequency) {
  std::lock_guard lock(statisticsLock_);
  totals_ = RunTotals();
  totals_.frequency = frequency;
  totals_.rows.assign(thread_count, DirCopyStats());
}

void RunStatistics::Merge(const TaskReport& task, uint32_t row_index, const DirCopyStats* timings) {
  std::lock_guard lock(statisticsLock_);
  totals_.copy.Add(task.copy);
  totals_.scan.Add(task.scan);
  totals_.filesTaken += task.filesTaken;
  totals_.treesTaken += task.treesTaken;
  totals_.exitBits |= task.resultBits | FailureBits(task.copy, task.scan);
  if (timings == nullptr || row_index >= totals_.rows.size())
    return;
  DirCopyStats& row = totals_.rows[row_index];
  row.runningTime += timings->runningTime;
  row.copyTime += timings->copyTime;
  row.deleteTime += timings->deleteTime;
  row.findTime += timings->findTime;
  row.mgTime += timings->mgTime;
  row.byteCount += timings->byteCount;
  row.copyCount += timings->copyCount;
  row.deleteCount += timings->deleteCount;
  row.findCount += timings->findCount;
  row.otherCount += timings->otherCount;
}

void RunStatistics::AddExitBits(uint32_t bits) {
  std::lock_guard lock(statisticsLock_);
  totals_.exitBits |= bits;
}

void RunStatistics::CountAttach(uint32_t count) {
  std::lock_guard lock(statisticsLock_);
  totals_.attachRefCount += count;
}

void RunStatistics::CountRelease(uint32_t count) {
  std::lock_guard lock(statisticsLock_);
  totals_.releaseRefCount += count;
}

void RunStatistics::StampRunStart(int64_t ticks) {
  std::lock_guard lock(statisticsLock_);
  totals_.runStart = ticks;
}

void RunStatistics::StampRunEnd(int64_t ticks) {
  std::lock_guard lock(statisticsLock_);
  totals_.runEnd = ticks;
}

RunTotals RunStatistics::Snapshot() {
  std::lock_guard lock(statisticsLock_);
  return totals_;
}

uint32_t RunStatistics::ExitBits() {
  std::lock_guard lock(statisticsLock_);
  return totals_.exitBits;
}

uint32_t FailureBits(const CopyCounters& c, const ScanCounters& scan) {
  uint32_t bits = 0;
  if (scan.mismatchedFiles != 0 || scan.mismatchedDirectories != 0)
    bits |= kResultMismatch;
  // /sd skips the data of a file whose security failed: a security failure.
  if (c.securitySettingsFailed != 0 || c.skippedContentCopies != 0)
    bits |= kResultSecurityError;
  const uint32_t data_failures[] = {c.fileCopiesFailed,        c.directoryCreationsFailed,
                                    scan.directoryReadsFailed, c.purgedFilesFailed,
                                    c.purgedDirectoriesFailed, c.fileLinksFailed,
                                    c.directoryLinksFailed,    c.deletedFilesFailed,
                                    c.contentMismatches,       c.md5Mismatches};
  for (uint32_t failures : data_failures) {
    if (failures != 0)
      bits |= kResultDataError;
  }
  return bits;
}

RunStatistics& TheRunStatistics() {
  static RunStatistics* statistics = new RunStatistics;
  return *statistics;
}

std::wstring CopiedAmountText(uint64_t bytes) {
  return FormatByteSize(bytes) + L"\n";
}

std::wstring RunStatisticsText(const RunTotals& totals, const CopySettings& settings,
                               const SidCacheFigures& sid_cache) {
  std::wstring out;
  const bool stats = settings.debugStats != 0;
  if (stats) {
    SidCacheBlock(&out, sid_cache);
    ScanningBlock(&out, totals.scan);
  }
  out += L"\n";
  if (stats) {
    out += L"Compare engine Statistics\n";
    out += L"=========================\n\n";
    Line(&out, L"Number of MisMatched files", totals.scan.mismatchedFiles);
    Line(&out, L"Number of MisMatched directories", totals.scan.mismatchedDirectories);
    out += L"\n";
  }
  out += L"Copy engine Statistics";
  if (settings.listOnly)
    out +=
        L" : results should be like this\n======================"
        L"==============================\n\n";
  else
    out += L"\n======================\n\n";
  if (stats) {
    Line(&out, L"same", totals.scan.sameAge);
    Line(&out, L"source newer", totals.scan.sourceNewer);
    Line(&out, L"source older", totals.scan.sourceOlder);
    Line(&out, L"get info amount", totals.scan.getInfoCalls);
    Line(&out, L"Number of dir time stamp setting error", totals.scan.directoryTimeErrors);
    Line(&out, L"File thread count", static_cast<uint32_t>(totals.filesTaken));
    Line(&out, L"Tree thread count", static_cast<uint32_t>(totals.treesTaken));
    Line(&out, L"Release ref count", totals.releaseRefCount);
    Line(&out, L"Attache ref count", totals.attachRefCount);
  }
  if (settings.backupSD) {
    LineIfSet(&out, L"Number of file(s) found", totals.scan.filesFound);
    if (totals.scan.directoriesFound != 0)
      Line(&out, L"Number of directory(ies) found", totals.scan.directoriesFound + 1);
    SecurityOnlyEnd(&out, totals.copy, settings);
    return out;
  }
  if (settings.restoreSD) {
    LineIfSet(&out, L"Number of Security Descriptor(s) checked",
              totals.copy.securityDescriptorsChecked);
    SecurityOnlyEnd(&out, totals.copy, settings);
    return out;
  }
  CopyModeLines(&out, totals, settings);
  if (stats)
    RunningTimeTable(&out, totals);
  out += L"\n";
  return out;
}

void PrintRunStatistics(const SidCacheFigures& sid_cache) {
  LogText(L"%s", RunStatisticsText(TheRunStatistics().Snapshot(), Settings(), sid_cache));
}

std::wstring SummaryResultsText(const CopyCounters& c, const ScanCounters& scan,
                                const CopySettings& settings, int32_t sid_cache_size) {
  std::wstring out;
  if (settings.debug) {
    out += Format(L"%-42s: %ld items\n", L"Cache size", sid_cache_size);
    Line(&out, L"same", scan.sameAge);
    Line(&out, L"source newer", scan.sourceNewer);
    Line(&out, L"source older", scan.sourceOlder);
  }
  out +=
      settings.listOnly ? L"\nThe summary results should be like this:\n" : L"\nSummary results:\n";
  auto failure = [&out](const wchar_t* label, uint32_t value) {
    if (value != 0)
      out += Format(L"%-42s: %ld!\n", label, value);
  };
  if (settings.backupSD || settings.restoreSD) {
    if (settings.backupSD) {
      LineIfSet(&out, L"Number of file(s) found", scan.filesFound);
      if (scan.directoriesFound != 0)
        Line(&out, L"Number of directory(ies) found", scan.directoriesFound + 1);
    } else {
      LineIfSet(&out, L"Number of Security Descriptor(s) checked", c.securityDescriptorsChecked);
    }
    SecurityOnlyEnd(&out, c, settings);
    return out;
  }
  const bool create = settings.createOnly != 0;
  LineIfSet(&out, create ? L"File(s) created" : L"File(s) copied", c.filesCopied);
  LineIfSet(&out, L"Directory(ies) created)", c.directoriesCreated);
  LineIfSet(&out, L"File(s)deleted", c.deletedFiles);
  failure(create ? L"Creation of File(s) failed" : L"Copy of File(s) failed", c.fileCopiesFailed);
  LineIfSet(&out, L"Skipped copy(ies) of file content", c.skippedContentCopies);
  failure(L"Creation of Directory(ies) failed", c.directoryCreationsFailed);
  failure(L"Reading of Directory(ies) failed", scan.directoryReadsFailed);
  failure(L"Mismatched File(s)", scan.mismatchedFiles);
  failure(L"Mismatched Directory(ies)", scan.mismatchedDirectories);
  LineIfSet(&out, L"Security Descriptor Setting(s) done", c.securitySettingsDone);
  failure(L"Security Descriptor Setting(s) failed", c.securitySettingsFailed);
  LineIfSet(&out, L"Number of Purged file(s)", c.purgedFiles);
  LineIfSet(&out, L"Number of Purged directory(ies)", c.purgedDirectories);
  failure(L"Number of Purged file(s) failed", c.purgedFilesFailed);
  failure(L"Number of Purged directory(ies) failed", c.purgedDirectoriesFailed);
  if (c.bytesCopied != 0 && !create) {
    out += L"Amount of copied byte(s) : ";
    const std::wstring amount = FormatByteSize(c.bytesCopied);
    if (c.bytesCopied >= 1024) {
      out += amount + L"\n\n";
    } else {
      // Without a larger unit the exact count is not repeated.
      out += amount.substr(0, amount.find(L" (")) + L"\n\n";
    }
  } else {
    out += L"\n";
  }
  return out;
}

}  // namespace tarvik
