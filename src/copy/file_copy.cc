// One file: the decisions around the data copy, the restarts, the checks of
// the amount written and the clean-up of a failed copy.
#include "copy/dir_copy.h"
#include "copy/engine_state.h"
#include "copy/run_statistics.h"
#include "log/log.h"
#include "settings/copy_settings.h"
#include "translate/home_dir.h"
#include "translate/security_apply.h"
#include "util/abort.h"

namespace tarvik {
namespace {

bool NetworkFailure(DWORD error) {
  return error == ERROR_NETNAME_DELETED || error == ERROR_BAD_NET_NAME ||
         error == ERROR_VC_DISCONNECTED || error == ERROR_NETWORK_UNREACHABLE;
}

}  // namespace

SecurityWorkspace& DirCopy::Workspace() {
  if (securityWorkspace_ == nullptr)
    securityWorkspace_ = std::make_unique<SecurityWorkspace>();
  return *securityWorkspace_;
}

void DirCopy::CountSecurityFailure() {
  ++counters_.securityDescriptorsChecked;
  ++counters_.securitySettingsFailed;
  resultBits_ |= kResultSecurityError;
}

bool DirCopy::SecurityStep(bool is_directory, bool is_new, bool source_is_reparse_point) {
  const CopySettings& s = Settings();
  switch (s.securityMode) {
    case SecurityMode::None:
      return true;
    case SecurityMode::Copy:
      if (!is_new)
        return true;
      break;
    default:
      break;
  }
  try {
    bool waited_for_creation = false;
    for (;;) {
      bool changed = false;
      const bool applied =
          s.securityMode == SecurityMode::HomeDir
              ? PropagateHomeDirSecurity(&Workspace(), target_path_, is_directory, !is_new,
                                         source_is_reparse_point, &changed)
              : ApplySecurity(&Workspace(), current_path_, target_path_, is_directory, !is_new,
                              &changed, source_is_reparse_point);
      if (applied) {
        ++counters_.securityDescriptorsChecked;
        if (changed)
          ++counters_.securitySettingsDone;
        standInCreated_ = is_new && !is_directory && !s.listOnly;
        return true;
      }
      const DWORD error = Os::GetLastError();
      if (NetworkFailure(error)) {
        RetryOrThrow(L"");
      } else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        // A target made a moment ago may not be visible yet.
        if (!waited_for_creation) {
          waited_for_creation = true;
          Os::Current().Sleep(100);
        } else {
          RetryOrThrow(L"%s -> SD not set", target_path_);
        }
      } else {
        CountSecurityFailure();
        return false;
      }
    }
  } catch (DirScanException& e) {
    if (!e.counted()) {
      e.set_counted();
      CountSecurityFailure();
    }
    if (e.kind() > 7 || !s.continueOnError)
      throw;
    ReportException(e);
    return false;
  }
}

bool DirCopy::CopyOneFile(FindData* target, bool is_new) {
  const CopySettings& s = Settings();
  ResetRetries();
  Os::SetLastError(0);
  if (s.restoreSD && is_new)
    return true;
  FindData* source = current_entry();
  if (!s.quiet && ((!s.backupSD && !s.restoreSD) || (s.backupSD && is_new))) {
    if (s.fullPaths)
      LogInfo(L"%s -> %s", current_path_, target_path_);
    else
      LogInfo(L"%s", current_path_);
  }
  const bool reparse = source->IsReparsePoint();
  standInCreated_ = false;
  targetExists_ = true;
  bool ok = false;
  try {
    const bool security_ok = SecurityStep(false, is_new, reparse);
    if (s.backupSD || s.restoreSD)
      return security_ok;
    if (!security_ok && s.noDataOnSdError) {
      if (!s.createOnly && source->FileSize() != 0) {
        LogWarning(L"skipping the copy of file content (/sd) to %s", target_path_);
        ++counters_.skippedContentCopies;
      }
      source->data.nFileSizeHigh = 0;
      source->data.nFileSizeLow = 0;
    }
    if ((source->attributes() & FILE_ATTRIBUTE_OFFLINE) && source->FileSize() == 0) {
      // A stub without data: only its times. A listing changes nothing.
      if (!s.listOnly) {
        HANDLE handle = INVALID_HANDLE_VALUE;
        SetFileTimes(target_path_, &handle, &source->data.ftCreationTime,
                     &source->data.ftLastAccessTime, &source->data.ftLastWriteTime);
      }
      ok = true;
    } else if (source->HasReparseTag(IO_REPARSE_TAG_SYMLINK)) {
      ok = s.listOnly || CopyFileLink();
    } else if (s.listOnly) {
      if (security_ok)
        counters_.bytesCopied += source->FileSize();
      ok = true;
    } else {
      ok = CopyFileData(target);
    }
    if (s.ignoreStubra)
      source->data.dwFileAttributes &= ~FILE_ATTRIBUTE_OFFLINE;
    if (ok && !s.listOnly && targetExists_ &&
        (is_new || target == nullptr || target->attributes() != source->attributes())) {
      ok = ApplyAttributes();
    }
  } catch (const DirScanException& e) {
    if (e.IsFatal() || !s.continueOnError)
      RequestAbort();
    ReportException(e);
    ok = false;
  }
  if (ok && !targetExists_)
    return true;  // /create left an existing or non-empty file alone: nothing to count
  if (reparse)
    ++(ok ? counters_.fileLinks : counters_.fileLinksFailed);
  else
    ++(ok ? counters_.filesCopied : counters_.fileCopiesFailed);
  if (!ok)
    resultBits_ |= kResultDataError;
  return ok;
}

bool DirCopy::CopyFileData(FindData* target) {
  CopyJob job;
  try {
    const bool ok = CopyFileDataUnguarded(target, job);
    targetExists_ = job.targetOpened || standInCreated_;
    return ok;
  } catch (const DirScanException& e) {
    resultBits_ |= kResultDataError;
    if (e.kind() == kAborted)
      LogWarning(L"%s -> copy ABORTED.", current_path_);
    CloseJobHandles(job);
    // Only a target this copy created or truncated is partial; an existing
    // one it never opened is still the last good copy.
    if (job.targetOpened || standInCreated_)
      DeleteAfterFailure(job.targetPath.empty() ? target_path_ : job.targetPath, true);
    // A failed copy ends its transfer too: otherwise its bytes would stay
    // in the window until this worker copies again, and other workers could
    // wait for room that never comes.
    EndTransfer();
    if (e.IsFatal() || !Settings().continueOnError)
      throw;
    if (e.kind() != kAborted)
      ReportException(e);
    return false;
  }
}

bool DirCopy::CopyFileDataUnguarded(FindData* target, CopyJob& job) {
  const CopySettings& s = Settings();
  FindData* source = current_entry();
  ResetRetries();
  job.targetPath = target_path_;
  // A read-only target is written without the attribute, which is put back
  // at the end.
  bool restore_read_only = false;
  bool clear_read_only = false;
  if (target != nullptr && (target->attributes() & FILE_ATTRIBUTE_READONLY)) {
    clear_read_only = true;
    restore_read_only = true;
    job.creationAttributes = target->attributes() & ~FILE_ATTRIBUTE_READONLY;
  } else {
    job.creationAttributes = source->attributes() & ~FILE_ATTRIBUTE_READONLY;
    restore_read_only = (source->attributes() & FILE_ATTRIBUTE_READONLY) != 0;
  }
  if (s.ignoreStubra)
    job.creationAttributes &= ~FILE_ATTRIBUTE_OFFLINE;
  // What the creation of a file may carry; the rest is set afterwards.
  job.creationAttributes &= ~(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT |
                              FILE_ATTRIBUTE_COMPRESSED | kPlaceholderMark);
  FillJob(job);
  CopyWithRestarts(job, target, clear_read_only);
  CheckMd5IfDigested(job);
  CopyJob::Close(&job.targetHandle);
  if (s.copyStreams && !s.createOnly)
    CopyFileStreams(job);
  Os& os = Os::Current();
  if (job.targetOpened || standInCreated_) {
    // The real times replace the recovery mark: from here on the file is
    // complete.
    HANDLE handle = INVALID_HANDLE_VALUE;
    SetFileTimes(job.targetPath, &handle, &source->data.ftCreationTime,
                 &source->data.ftLastAccessTime, &source->data.ftLastWriteTime);
    if (restore_read_only) {
      const DWORD attributes = target != nullptr ? (target->attributes() | FILE_ATTRIBUTE_READONLY)
                                                 : source->attributes();
      ResetRetries();
      while (!os.SetFileAttributesW(job.targetPath.c_str(), attributes))
        RetryOrThrow(L"%s -> Unable to reset attributes of the file", job.targetPath);
    }
  }
  CloseJobHandles(job);
  if (!s.createOnly)
    EndTransfer();
  return job.done != 0;
}

// Steps of one object's copy (the main data or a named stream) until it is
// done or the restarts are spent, then the check of the copied size.
void DirCopy::CopyWithRestarts(CopyJob& job, const FindData* target, bool clear_read_only) {
  const CopySettings& s = Settings();
  while (!job.done) {
    ThrowIfAborted();
    CloseJobHandles(job);
    TargetDir* state = TopTargetDir();
    if (job.restarts > 0) {
      // A restart after every retry is spent ends the copy; so does the first
      // one when no retry is configured.
      if (job.restarts >= s.retryCount)
        throw DirScanException(kFailedAfterRetries, Format(L"%s -> Failed after %ld retries.",
                                                           job.sourcePath, job.restarts));
      LogWarning(L"%s Restarting the copy", job.sourcePath);
      if (state != nullptr)
        state->flags |= kTargetDirRestarted;
      RefreshSource(job);
    } else if (state != nullptr && (state->flags & kTargetDirRestarted)) {
      RefreshSource(job);
    }
    ThrowIfAborted();
    job.bytesWritten = 0;
    job.position = 0;
    job.plannedSize = job.SourceSize();
    job.networkFailure = 0;
    if (s.createOnly && target != nullptr && target->FileSize() != 0) {
      LogInfo(L"File %s already exist, can't proceed the copy.", job.sourcePath);
      job.done = 1;
      break;
    }
    // The source first: a source that cannot be read must leave the
    // target's last good copy as it is.
    ResetRetries();
    OpenSourceFile(job);
    if (clear_read_only) {
      ClearTargetReadOnly(*target);
      clear_read_only = false;
    }
    CreateTargetFile(job);
    if (s.createOnly || job.plannedSize == 0) {
      job.done = 1;
    } else {
      const int64_t start = Timed() ? Now() : 0;
      TransferData(job);
      if (Timed()) {
        counters_.copyTime += Now() - start;
        ++counters_.copyCount;
      }
    }
    if (!job.done)
      ++job.restarts;
  }
  if (!s.createOnly) {
    counters_.bytesCopied += job.bytesWritten;
    if (job.bytesWritten != job.plannedSize)
      CheckCopiedSize(job);
  }
}

// With /cm md5, once the size is settled and while the target still
// carries the recovery mark. Every copy attempt starts the digest afresh
// (the data loop as it reads, the server-side copy by reading the source
// once the server is done), so written bytes mean the digest is the one
// of this copy. The check's result leaves the copy's alone.
void DirCopy::CheckMd5IfDigested(CopyJob& job) {
  if (job.sourceDigest.started() && job.bytesWritten != 0) {
    job.sourceDigest.Finish();
    CheckMd5(job);
  }
}

void DirCopy::ClearTargetReadOnly(const FindData& target) {
  Os& os = Os::Current();
  for (;;) {
    if (os.SetFileAttributesW(target_path_.c_str(), target.attributes() & ~FILE_ATTRIBUTE_READONLY))
      return;
    if (Os::GetLastError() == ERROR_FILE_NOT_FOUND)
      return;
    RetryOrThrow(L"%s -> Unable to reset attributes of the file", target_path_);
  }
}

void DirCopy::FillJob(CopyJob& job) {
  const FindData* source = current_entry();
  job.sourcePath = current_path_;
  job.attributes = source->attributes();
  job.creationTime = source->data.ftCreationTime;
  job.lastAccessTime = source->data.ftLastAccessTime;
  job.lastWriteTime = source->data.ftLastWriteTime;
  job.sizeHigh = source->data.nFileSizeHigh;
  job.sizeLow = source->data.nFileSizeLow;
  job.offlineSource = (source->attributes() & FILE_ATTRIBUTE_OFFLINE) ? 1 : 0;
  job.compressedSource = (source->attributes() & FILE_ATTRIBUTE_COMPRESSED) ? 1 : 0;
  job.restarts = 0;
  job.mainData = 1;
}

// Before a restart: the source may have changed since it was listed.
void DirCopy::RefreshSource(CopyJob& job) {
  if (!job.mainData) {
    ReadStreamInformation(job);  // a named stream has no entry of its own
    return;
  }
  WIN32_FIND_DATAW fresh{};
  while (!GetFileInfo(job.sourcePath, &fresh, 0)) {
    ThrowIfAborted();
    RetryOrThrow(L"%s -> Unable to retrieve file information", job.sourcePath);
  }
  FindData fresh_entry;
  fresh_entry.data = fresh;
  FindData old_entry;
  old_entry.data.ftLastWriteTime = job.lastWriteTime;
  const bool creation_changed =
      fresh.ftCreationTime.dwLowDateTime != job.creationTime.dwLowDateTime ||
      fresh.ftCreationTime.dwHighDateTime != job.creationTime.dwHighDateTime;
  if (!creation_changed && CompareTimes(fresh_entry, old_entry) != kSourceNewer)
    return;
  job.attributes = fresh.dwFileAttributes;
  job.creationTime = fresh.ftCreationTime;
  job.lastAccessTime = fresh.ftLastAccessTime;
  job.lastWriteTime = fresh.ftLastWriteTime;
  job.sizeHigh = fresh.nFileSizeHigh;
  job.sizeLow = fresh.nFileSizeLow;
  if (job.mainData) {
    FindData* source = current_entry();
    source->data.dwFileAttributes = fresh.dwFileAttributes;
    source->data.ftCreationTime = fresh.ftCreationTime;
    source->data.ftLastAccessTime = fresh.ftLastAccessTime;
    source->data.ftLastWriteTime = fresh.ftLastWriteTime;
    source->data.nFileSizeHigh = fresh.nFileSizeHigh;
    source->data.nFileSizeLow = fresh.nFileSizeLow;
  }
}

void DirCopy::CheckCopiedSize(CopyJob& job) {
  Os& os = Os::Current();
  if (job.sourceHandle != INVALID_HANDLE_VALUE) {
    BY_HANDLE_FILE_INFORMATION info{};
    ResetRetries();
    while (!os.GetFileInformationByHandle(job.sourceHandle, &info))
      RetryOrThrow(L"%s -> Unable to query file information", job.sourcePath);
    const uint64_t size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    const uint64_t first_planned = job.plannedSize;
    job.plannedSize = size;
    if (job.bytesWritten == size) {
      // The source changed during the copy and the copy has all of it.
      if (job.bytesWritten < first_planned && job.targetHandle != INVALID_HANDLE_VALUE)
        CutTarget(job);
      if (job.mainData) {
        FindData* source = current_entry();
        source->data.ftCreationTime = info.ftCreationTime;
        source->data.ftLastAccessTime = info.ftLastAccessTime;
        source->data.ftLastWriteTime = info.ftLastWriteTime;
        source->data.nFileSizeHigh = info.nFileSizeHigh;
        source->data.nFileSizeLow = info.nFileSizeLow;
      }
      return;
    }
  }
  throw DirScanException(
      kObjectEnded,
      Format(L"The source file size (%I64d) is not equal to the amount of written bytes (%I64d) ?",
             static_cast<int64_t>(job.plannedSize), static_cast<int64_t>(job.bytesWritten)));
}

// The target was reserved to the size first planned: cut it to what was
// written.
void DirCopy::CutTarget(CopyJob& job) {
  Os& os = Os::Current();
  ResetRetries();
  for (;;) {
    LONG high = static_cast<LONG>(job.bytesWritten >> 32);
    const DWORD low =
        os.SetFilePointer(job.targetHandle, static_cast<LONG>(job.bytesWritten), &high, FILE_BEGIN);
    const bool moved = low != INVALID_SET_FILE_POINTER || Os::GetLastError() == ERROR_SUCCESS;
    if (moved && os.SetEndOfFile(job.targetHandle))
      return;
    RetryOrThrow(L"%s -> Unable to adjust file size", job.targetPath);
  }
}

bool DirCopy::ApplyAttributes() {
  const FindData* source = current_entry();
  DWORD attributes = source->attributes();
  if (source->IsDirectory())
    attributes &= ~FILE_ATTRIBUTE_TEMPORARY;
  ResetRetries();
  try {
    while (!Os::Current().SetFileAttributesW(target_path_.c_str(), attributes))
      RetryOrThrow(L"%s -> Unable to set attributes", target_path_);
    return true;
  } catch (const DirScanException& e) {
    if (e.IsFatal() || !Settings().continueOnError)
      throw;
    ReportException(e);
    return false;
  }
}

void DirCopy::CloseJobHandles(CopyJob& job) {
  CopyJob::Close(&job.sourceHandle);
  CopyJob::Close(&job.targetHandle);
}

// A copy that ended with an exception must not leave a partial file that
// could pass for a complete one.
bool DirCopy::DeleteAfterFailure(const std::wstring& path, bool whole_file) {
  if (whole_file)
    LogWarning(L"%s -> Trying to DELETE due to copy ABORT.", path);
  const int64_t start = Timed() ? Now() : 0;
  const BOOL deleted = Os::Current().DeleteFileW(path.c_str());
  const DWORD error = Os::GetLastError();
  if (Timed()) {
    counters_.deleteTime += Now() - start;
    ++counters_.deleteCount;
  }
  if (deleted) {
    ++counters_.deletedFiles;
    LogWarning(L"%s -> DELETED due to copy ABORT.", path);
    return true;
  }
  // A stream that never came into being leaves nothing to remove.
  if (whole_file || error != ERROR_FILE_NOT_FOUND) {
    ++counters_.deletedFilesFailed;
    LogError(error, L"%s -> DELETION FAILED.", path);
  }
  return false;
}

}  // namespace tarvik
