// Verification of copied content: /cm bin reads source and target side by
// side in the engine's two 1 MiB slots and compares them byte for byte;
// /cm md5 reads the target back after the copy and compares its digest with
// the one the data loop computed from the source. Neither ever changes the
// target: a mismatch is counted and reported, and the next run's comparison
// of dates decides whether the file is copied again.
#include <algorithm>

#include "copy/dir_copy.h"
#include "copy/run_statistics.h"
#include "log/log.h"
#include "settings/copy_settings.h"
#include "util/abort.h"

namespace tarvik {
namespace {

// After the last block, this much more of the target is read to find bytes
// beyond the source's end.
constexpr DWORD kExtraBytesProbe = 1024;

}  // namespace

bool DirCopy::CompareContent() {
  const CopySettings& s = Settings();
  const FindData* source = current_entry();
  if (s.restoreSD || s.backupSD || s.createOnly)
    return true;
  if ((source->attributes() & FILE_ATTRIBUTE_OFFLINE) && source->FileSize() == 0)
    return true;
  if (source->HasReparseTag(IO_REPARSE_TAG_SYMLINK))
    return true;
  CopyJob job;
  job.sourcePath = current_path_;
  job.targetPath = target_path_;
  job.mainData = 1;
  ResetRetries();
  try {
    bool same = CompareObject(job, source->FileSize());
    if (s.copyStreams)
      same = CompareStreams(job) && same;
    CloseJobHandles(job);
    return same;
  } catch (const DirScanException& e) {
    resultBits_ |= kResultDataError;
    CloseJobHandles(job);
    if (e.kind() == kAborted)
      LogWarning(L"%s -> comparison ABORTED.", job.sourcePath);
    // Like a failed copy: without /c the run ends, after the report.
    if (e.IsFatal() || !s.continueOnError)
      RequestAbort();
    if (e.kind() != kAborted)
      ReportException(e);
    return false;
  }
}

bool DirCopy::CompareObject(CopyJob& job, uint64_t size) {
  const CopySettings& s = Settings();
  for (int32_t attempts = 0;; ++attempts) {
    ThrowIfAborted();
    // The first attempt always runs; each failed one uses up a retry.
    if (attempts > 0 && attempts >= s.retryCount)
      throw DirScanException(kFailedAfterRetries,
                             Format(L"Comparison failed after %ld retries.", attempts));
    CloseJobHandles(job);
    job.bytesWritten = 0;
    job.position = 0;
    job.plannedSize = size;
    job.done = 0;
    job.networkFailure = 0;
    OpenSourceFile(job);
    if (!OpenTargetFile(job)) {
      // The target cannot hold the source's content: a mismatch.
      LogWarning(L"%s file missing on target", job.targetPath);
      ++counters_.contentMismatches;
      return false;
    }
    if (CompareBlocks(job))
      break;
    if (job.done)
      return false;
  }
  if (!s.quiet) {
    if (s.fullPaths)
      LogInfo(L"%s same content as  %s", job.sourcePath, job.targetPath);
    else
      LogInfo(L"%s check content OK", job.targetPath);
  }
  return true;
}

bool DirCopy::CompareBlocks(CopyJob& job) {
  uint8_t* const source = slots_[0]->BufferFor(job.plannedSize);
  uint8_t* const target = slots_[1]->BufferFor(job.plannedSize);
  for (;;) {
    const uint64_t block_start = job.position;
    DWORD source_bytes = 0;
    const BlockRead source_read =
        ReadBlock(job, false, block_start, source, kIoBlockSize, &source_bytes);
    if (source_read == BlockRead::kFailed)
      return false;
    ThrowIfAborted();
    const bool source_ended = source_read == BlockRead::kEnd || source_bytes == 0;

    // As many target bytes as the source gave, a whole block past its end.
    const DWORD wanted = source_bytes != 0 ? source_bytes : kIoBlockSize;
    DWORD target_bytes = 0;
    bool target_ended = false;
    while (target_bytes < wanted) {
      DWORD got = 0;
      const BlockRead read =
          ReadBlock(job, true, job.position, target + target_bytes, wanted - target_bytes, &got);
      if (read == BlockRead::kFailed)
        return false;
      if (read == BlockRead::kEnd || got == 0) {
        target_ended = true;
        break;
      }
      target_bytes += got;
      job.position += got;
      job.bytesWritten += got;
    }
    if (target_ended && job.bytesWritten < job.plannedSize)
      return ContentMismatch(job, L"smaller than source, partially migrated");
    ThrowIfAborted();

    const DWORD common = std::min(source_bytes, target_bytes);
    const uint8_t* const differs = std::mismatch(source, source + common, target).first;
    if (differs != source + common) {
      // The offset in the file: the block's start plus the index in it.
      const uint64_t offset = block_start + static_cast<uint64_t>(differs - source);
      job.done = 1;
      ++counters_.contentMismatches;
      LogWarning(L"%s content mismatch : inconsistency in content detected at offset %I64d",
                 job.targetPath, static_cast<int64_t>(offset));
      return false;
    }
    if (source_bytes == 0 && target_bytes > 0) {
      // Only a source empty from its first byte is "empty"; past data it
      // is the target that goes on.
      return ContentMismatch(job, block_start == 0 ? L"not empty but source file empty"
                                                   : L"larger than source, extra bytes at the end");
    }
    if (source_bytes > target_bytes)
      return ContentMismatch(job, L"smaller than source, partially migrated");
    if (source_bytes < target_bytes)
      return ContentMismatch(job, L"larger than source, extra bytes at the end");
    if (job.bytesWritten == job.plannedSize) {
      // The whole planned size matched: the target must end here.
      DWORD extra = 0;
      const BlockRead probe = ReadBlock(job, true, job.position, target, kExtraBytesProbe, &extra);
      if (probe == BlockRead::kFailed)
        return false;
      if (probe == BlockRead::kData && extra > 0)
        return ContentMismatch(job, L"larger than source, extra bytes at the end");
      job.done = 1;
      ++counters_.contentsChecked;
      return true;
    }
    // A side that ended early (the source changed meanwhile) is compared
    // again from the start by the caller.
    if (source_ended || target_ended || job.sourceHandle == INVALID_HANDLE_VALUE ||
        job.targetHandle == INVALID_HANDLE_VALUE) {
      return false;
    }
  }
}

bool DirCopy::ContentMismatch(CopyJob& job, const wchar_t* what) {
  job.done = 1;
  ++counters_.contentMismatches;
  LogWarning(L"%s content mismatch : %s", job.targetPath, what);
  return false;
}

DirCopy::BlockRead DirCopy::ReadBlock(CopyJob& job, bool target, uint64_t offset, uint8_t* buffer,
                                      DWORD size, DWORD* read) {
  Os& os = Os::Current();
  const HANDLE handle = target ? job.targetHandle : job.sourceHandle;
  const std::wstring& path = target ? job.targetPath : job.sourcePath;
  for (;;) {
    *read = 0;
    OVERLAPPED at = OverlappedAt(offset);
    if (os.ReadFile(handle, buffer, size, read, &at))
      return BlockRead::kData;
    const DWORD error = Os::GetLastError();
    ThrowIfAborted();
    if (error == ERROR_HANDLE_EOF)
      return BlockRead::kEnd;
    if (IsNetworkError(error)) {
      LogError(error, L"%s -> unable to read file", path);
      job.networkFailure = 1;
      return BlockRead::kFailed;
    }
    if (!RetryOrGiveUp(L"%s -> unable to read file", path))
      return BlockRead::kFailed;
  }
}

bool DirCopy::CheckMd5(CopyJob& job) {
  const CopySettings& s = Settings();
  // The write handle goes first: the target is read as any reader sees it.
  CopyJob::Close(&job.targetHandle);
  ResetRetries();
  try {
    for (int32_t attempts = 0;; ++attempts) {
      ThrowIfAborted();
      if (attempts > 0 && attempts >= s.retryCount)
        throw DirScanException(kFailedAfterRetries,
                               Format(L"Comparison failed after %ld retries.", attempts));
      if (!OpenTargetFile(job)) {
        LogWarning(L"%s file missing on target, MD5 check not possible", job.targetPath);
        ++counters_.md5Mismatches;
        return false;
      }
      const bool complete = DigestTarget(job);
      CopyJob::Close(&job.targetHandle);
      if (complete)
        break;
    }
  } catch (const DirScanException& e) {
    CopyJob::Close(&job.targetHandle);
    if (e.kind() == kAborted || e.IsFatal())
      throw;
    // A target that cannot be read back is not confirmed: counted as a
    // mismatch, while the copy itself stands.
    ReportException(e);
    ++counters_.md5Mismatches;
    return false;
  }
  if (job.targetDigest.Matches(job.sourceDigest)) {
    ++counters_.md5Checked;
    return true;
  }
  ++counters_.md5Mismatches;
  LogWarning(L"%s MD5 check failed, content mismatch", job.targetPath);
  return false;
}

bool DirCopy::DigestTarget(CopyJob& job) {
  uint8_t* const buffer = slots_[1]->BufferFor(job.plannedSize);
  job.targetDigest.Start();
  // To the end of the file, not only the planned size: bytes beyond what
  // was written must not pass unseen.
  for (uint64_t position = 0;;) {
    DWORD read = 0;
    const BlockRead result = ReadBlock(job, true, position, buffer, kIoBlockSize, &read);
    if (result == BlockRead::kFailed)
      return false;
    if (result == BlockRead::kEnd || read == 0)
      break;
    job.targetDigest.Add(buffer, read);
    position += read;
  }
  job.targetDigest.Finish();
  return true;
}

}  // namespace tarvik
