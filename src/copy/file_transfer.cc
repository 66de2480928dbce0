// Opening both sides of a data copy and moving the data: the target is
// created with the recovery mark as its last-write time, reserved to its
// final size, given its compression, and filled in 1 MiB blocks with
// positioned reads and writes.
#include "copy/dir_copy.h"
#include "copy/engine_state.h"
#include "log/log.h"
#include "settings/copy_settings.h"
#include "util/abort.h"

namespace tarvik {
namespace {

constexpr DWORD kTargetAccess = READ_CONTROL | FILE_READ_DATA | FILE_WRITE_DATA | FILE_APPEND_DATA |
                                FILE_READ_EA | FILE_WRITE_EA | FILE_READ_ATTRIBUTES |
                                FILE_WRITE_ATTRIBUTES;
constexpr DWORD kSourceAccess = READ_CONTROL | FILE_READ_DATA | FILE_READ_EA | FILE_READ_ATTRIBUTES;
constexpr DWORD kErrorNotEnoughServerMemory = 1130;
constexpr int kServerMemoryRetries = 20;
// A target that stays locked after a restart is given up once the waits
// add up to this many seconds.
constexpr int kLockedTargetSeconds = 81;
// Reserving space is only an optimisation: other errors than a full disk are
// tried again this many times, then the reservation is skipped.
constexpr int kReservationRepeats = 10;

FILETIME RecoveryMark() {
  return FILETIME{static_cast<DWORD>(recoveryMarkTime & 0xFFFFFFFF),
                  static_cast<DWORD>(static_cast<uint64_t>(recoveryMarkTime) >> 32)};
}

}  // namespace

void DirCopy::CreateTargetFile(CopyJob& job) {
  const CopySettings& s = Settings();
  DWORD disposition = CREATE_ALWAYS;
  DWORD flags = FILE_FLAG_BACKUP_SEMANTICS;
  int compression_state = 1;
  if (s.createOnly) {
    if (job.plannedSize != 0) {
      job.done = 1;
      LogInfo(L"File %s -> file already exist, can't proceed the copy.", job.sourcePath);
      return;
    }
    compression_state = 0;
  } else {
    flags |= job.creationAttributes;
    RequestTransfer(job.plannedSize);
  }
  ThrowIfAborted();
  ResetRetries();
  OpenTargetForCopy(job, disposition, flags);
  StampRecoveryMark(job, flags);
  const int32_t mode = CurrentCompressMode();
  if (job.restarts == 0 && compression_state != 0 && job.plannedSize > kReservationThreshold &&
      !job.compressedSource && mode != kCompressForceFile && mode != kCompressForceAll) {
    if (!ReserveSpace(job))
      return;  // a full disk in abort mode gave up the reservation and the compression
  }
  SetFileCompression(job);
}

void DirCopy::OpenTargetForCopy(CopyJob& job, DWORD disposition, DWORD flags) {
  const CopySettings& s = Settings();
  Os& os = Os::Current();
  bool waiting_for_space = false;
  int locked_seconds = 0;
  bool locked_armed = false;
  for (;;) {
    CopyJob::Close(&job.targetHandle);
    job.targetHandle = os.CreateFileW(job.targetPath.c_str(), kTargetAccess, 0, nullptr,
                                      disposition, flags, nullptr);
    if (job.targetHandle != INVALID_HANDLE_VALUE)
      break;
    const DWORD error = Os::GetLastError();
    ThrowIfAborted();
    if (error == ERROR_DISK_FULL) {
      if (s.diskFullMode == kDiskFullAbort)
        AbortOnFullDisk(job.targetPath);
      if (s.diskFullMode == kDiskFullWait) {
        WaitForSpace(
            &waiting_for_space,
            Format(L"%s -> File creation, waiting for enough space on device.", job.targetPath));
      } else {
        RetryOrThrow(L"%s -> Unable to openfile, disk full", job.targetPath);
      }
    } else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      job.bytesWritten = 0;
      job.position = 0;
      RetryOrThrow(L"%s -> Unable to open file", job.targetPath);
      disposition = CREATE_ALWAYS;
      flags = FILE_FLAG_BACKUP_SEMANTICS | job.creationAttributes;
    } else if ((error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) &&
               job.restarts > 0) {
      // After a restart the target may still be held by the connection that
      // broke: wait for it, but not forever.
      if (locked_armed)
        throw DirScanException(kObjectEnded, L"Target file is no more accessible");
      if (locked_seconds >= kLockedTargetSeconds)
        locked_armed = true;
      locked_seconds += std::max<int32_t>(s.retryWaitSeconds, 1);
      ResetRetries();
      RetryOrGiveUp(L"%s -> Unable to open file", job.targetPath);
    } else {
      RetryOrThrow(L"%s -> Unable to open file", job.targetPath);
    }
  }
  job.targetOpened = true;
  if (waiting_for_space)
    LogWarning(L"%s -> File creation resumed", job.targetPath);
}

// Until the copy is complete the target carries the recovery mark as its
// last-write time, so that a later run recopies a file left half-written.
void DirCopy::StampRecoveryMark(CopyJob& job, DWORD flags) {
  Os& os = Os::Current();
  const FILETIME mark = RecoveryMark();
  for (;;) {
    if (os.SetFileTime(job.targetHandle, &job.creationTime, &job.lastAccessTime, &mark))
      return;
    const DWORD error = Os::GetLastError();
    RetryOrThrow(L"%s -> Unable to set recovery time", job.targetPath);
    if (error != ERROR_INVALID_HANDLE && !IsNetworkError(error))
      continue;
    os.CloseHandle(job.targetHandle);
    for (;;) {
      job.targetHandle = os.CreateFileW(job.targetPath.c_str(), kTargetAccess, 0, nullptr,
                                        OPEN_EXISTING, flags, nullptr);
      if (job.targetHandle != INVALID_HANDLE_VALUE)
        break;
      RetryOrThrow(L"%s -> Unable to open for time setting", job.targetPath);
    }
  }
}

bool DirCopy::ReserveSpace(CopyJob& job) {
  ResetRetries();
  return ReserveStep(job, false) && ReserveStep(job, true);
}

// One of the two calls of the reservation: the file pointer to the planned
// size, then the end of file there. False when a full disk made it give up.
bool DirCopy::ReserveStep(CopyJob& job, bool end_of_file) {
  const CopySettings& s = Settings();
  Os& os = Os::Current();
  bool waiting_for_space = false;
  int repeats = 0;
  for (;;) {
    ThrowIfAborted();
    bool ok;
    if (end_of_file) {
      ok = os.SetEndOfFile(job.targetHandle) != FALSE;
    } else {
      LONG high = static_cast<LONG>(job.plannedSize >> 32);
      Os::SetLastError(ERROR_SUCCESS);
      const DWORD low = os.SetFilePointer(job.targetHandle, static_cast<LONG>(job.plannedSize),
                                          &high, FILE_BEGIN);
      ok = low != INVALID_SET_FILE_POINTER || Os::GetLastError() == ERROR_SUCCESS;
    }
    if (ok)
      break;
    const DWORD error = Os::GetLastError();
    ThrowIfAborted();
    if (error != ERROR_DISK_FULL) {
      if (++repeats >= kReservationRepeats)
        return true;  // only the reservation is lost
      continue;
    }
    if (s.diskFullMode == kDiskFullWait) {
      WaitForSpace(
          &waiting_for_space,
          Format(end_of_file ? L"%s -> Final file space allocation, waiting for enough space on "
                               L"device."
                             : L"%s -> space allocation, waiting for enough space on device.",
                 job.targetPath));
    } else if (s.diskFullMode == kDiskFullRetry) {
      if (end_of_file)
        RetryOrThrow(L"%s ->  Unable to reserve file space", job.targetPath);
      else
        RetryOrThrow(L"%s -> Unable to seek the file", job.targetPath);
    } else {
      const int again = end_of_file
                            ? RetryOrGiveUp(L"%s -> Unable to reserve file space", job.targetPath)
                            : RetryOrGiveUp(L"%s -> Unable to seek the file", job.targetPath);
      if (!again)
        return false;
    }
  }
  if (waiting_for_space) {
    LogWarning(end_of_file ? L"%s -> Final file space allocation resumed"
                           : L"%s -> File space allocation resumed",
               job.targetPath);
  }
  return true;
}

void DirCopy::SetFileCompression(CopyJob& job) {
  const int32_t mode = CurrentCompressMode();
  if (mode == kCompressIgnore)
    return;
  const FindData* target_dir = TargetDirectoryEntry();
  const bool target_dir_compressed =
      target_dir != nullptr && (target_dir->attributes() & FILE_ATTRIBUTE_COMPRESSED);
  if (mode == kCompressForceFile || mode == kCompressForceAll || job.compressedSource) {
    if (!target_dir_compressed)  // a compressed directory hands it down by itself
      RequestCompression(job.targetHandle, COMPRESSION_FORMAT_DEFAULT, job.targetPath,
                         &counters_.compressedFiles, job.restarts == 0);
    return;
  }
  const FindData* source_dir = SourceDirectoryEntry();
  const bool source_dir_compressed =
      source_dir != nullptr && (source_dir->attributes() & FILE_ATTRIBUTE_COMPRESSED);
  // An uncompressed file in a compressed directory must not inherit it.
  if (source_dir_compressed && target_dir_compressed)
    RequestCompression(job.targetHandle, COMPRESSION_FORMAT_NONE, job.targetPath, nullptr, false);
}

void DirCopy::RequestCompression(HANDLE handle, WORD format, const std::wstring& path,
                                 uint32_t* counter, bool count) {
  ResetRetries();
  for (;;) {
    ThrowIfAborted();
    WORD value = format;
    DWORD returned = 0;
    if (Os::Current().DeviceIoControl(handle, FSCTL_SET_COMPRESSION, &value, sizeof(value), nullptr,
                                      0, &returned, nullptr)) {
      if (counter != nullptr && count)
        ++*counter;
      return;
    }
    const DWORD error = Os::GetLastError();
    if (error == ERROR_COMPRESSION_DISABLED) {
      if (SwitchCompressionToIgnore())
        LogWarning(
            L"target volume doesn't support compression, compression information is now "
            L"ignored");
      return;
    }
    if (!IsNetworkError(error))
      return;
    if (!RetryOrGiveUp(L"%s -> Unable to change compression mode", path))
      return;
  }
}

void DirCopy::OpenSourceFile(CopyJob& job) {
  OpenForReading(job.sourcePath, &job.sourceHandle, false);
}

bool DirCopy::OpenTargetFile(CopyJob& job) {
  return OpenForReading(job.targetPath, &job.targetHandle, true);
}

bool DirCopy::OpenForReading(const std::wstring& path, HANDLE* handle, bool missing_allowed) {
  Os& os = Os::Current();
  int server_memory_waits = 0;
  for (;;) {
    if (*handle != INVALID_HANDLE_VALUE) {
      os.CloseHandle(*handle);
      *handle = INVALID_HANDLE_VALUE;
    }
    *handle = os.CreateFileW(path.c_str(), kSourceAccess, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (*handle != INVALID_HANDLE_VALUE)
      return true;
    const DWORD error = Os::GetLastError();
    ThrowIfAborted();
    if (error == ERROR_FILE_NOT_FOUND && missing_allowed)
      return false;
    if (error == kErrorNotEnoughServerMemory && server_memory_waits < kServerMemoryRetries) {
      ++server_memory_waits;
      SleepUnlessAborted(1000);
      continue;
    }
    RetryOrThrow(L"%s -> Unable to open", path);
  }
}

void DirCopy::TransferData(CopyJob& job) {
  if (CurrentChunkMode() == kChunkModeServerCopy)
    ChunkCopy(job);
  else
    CopyDataLoop(job);
}

void DirCopy::CopyDataLoop(CopyJob& job) {
  Os& os = Os::Current();
  IoSlot& slot = *slots_[0];
  uint8_t* const buffer = slot.BufferFor(job.plannedSize);
  // Every attempt digests the source from its first byte.
  if (Settings().checkContentMode == kCheckMd5)
    job.sourceDigest.Start();
  for (;;) {
    slot.kind = IoKind::kReading;
    slot.requested = kIoBlockSize;
    slot.bytesRead = 0;
    OVERLAPPED at = OverlappedAt(job.position);
    if (!os.ReadFile(job.sourceHandle, buffer, kIoBlockSize, &slot.bytesRead, &at)) {
      const DWORD error = Os::GetLastError();
      ThrowIfAborted();
      if (error == ERROR_HANDLE_EOF) {
        job.done = 1;
        return;
      }
      if (IsNetworkError(error)) {
        LogError(error, L"%s -> unable to read file", job.sourcePath);
        job.networkFailure = 1;
        return;
      }
      if (!RetryOrGiveUp(L"%s -> unable to read file", job.sourcePath))
        return;
      continue;
    }
    ThrowIfAborted();
    if (slot.bytesRead == 0) {
      job.done = 1;
      return;
    }
    job.sourceDigest.Add(buffer, slot.bytesRead);  // with /cm md5 only
    if (!WriteBlock(job, buffer, slot.bytesRead))
      return;
    if (job.bytesWritten == job.plannedSize) {
      job.done = 1;
      return;
    }
    if (job.sourceHandle == INVALID_HANDLE_VALUE || job.targetHandle == INVALID_HANDLE_VALUE)
      return;
  }
}

// Writes one block read from the source at the job's position. False when
// the copy must stop here (the caller restarts it or gives up).
bool DirCopy::WriteBlock(CopyJob& job, const uint8_t* data, DWORD size) {
  Os& os = Os::Current();
  IoSlot& slot = *slots_[0];
  slot.kind = IoKind::kWriting;
  slot.bytesToWrite = size;
  slot.bufferDone = 0;
  bool waiting_for_space = false;
  while (slot.bufferDone < size) {
    OVERLAPPED at = OverlappedAt(job.position);
    slot.lastWritten = 0;
    const BOOL ok = os.WriteFile(job.targetHandle, data + slot.bufferDone, size - slot.bufferDone,
                                 &slot.lastWritten, &at);
    if (ok && slot.lastWritten == 0)
      Os::SetLastError(ERROR_WRITE_FAULT);  // no progress: handled as a failed write
    if (!ok || slot.lastWritten == 0) {
      if (!OnWriteFailure(job, &waiting_for_space, L"%s -> unable to write file", job.targetPath))
        return false;
      continue;
    }
    if (waiting_for_space) {
      LogWarning(L"%s -> write file resumed", job.targetPath);
      waiting_for_space = false;
    }
    job.position += slot.lastWritten;
    job.bytesWritten += slot.lastWritten;
    slot.bufferDone += slot.lastWritten;
  }
  slot.kind = IoKind::kIdle;
  return true;
}

bool DirCopy::OnWriteFailure(CopyJob& job, bool* waiting_for_space, const wchar_t* format,
                             const std::wstring& subject) {
  const CopySettings& s = Settings();
  const DWORD error = Os::GetLastError();
  ThrowIfAborted();
  if (error == ERROR_DISK_FULL && s.diskFullMode == kDiskFullAbort)
    AbortOnFullDisk(job.targetPath);
  if (error == ERROR_DISK_FULL && s.diskFullMode == kDiskFullWait) {
    WaitForSpace(waiting_for_space,
                 Format(L"%s -> write file, waiting for enough space on device.", job.targetPath));
    return true;
  }
  if (IsNetworkError(error)) {
    LogError(error, format, subject);
    job.networkFailure = 1;
    return false;
  }
  return RetryOrGiveUp(format, subject);
}

}  // namespace tarvik
