// Named streams (/stream): each named data stream of a file or directory is
// copied as an object of its own, the object's path followed by a colon and
// the stream's name, through the same steps, restarts and checks as a
// file's main data.
#include "copy/dir_copy.h"
#include "log/log.h"
#include "settings/copy_settings.h"

namespace tarvik {
namespace {

// The stream list is read into a buffer of this size; a list that does not
// fit makes it grow, up to the last size.
constexpr uint32_t kStreamInfoSize = 32768;
constexpr uint32_t kStreamInfoLimit = 16 * 1024 * 1024;

constexpr DWORD kDirectoryReadAccess =
    READ_CONTROL | FILE_READ_DATA | FILE_READ_EA | FILE_READ_ATTRIBUTES;

// The path a directory's stream hangs on: without the separator that ends a
// directory's path, except for a drive's root.
std::wstring StreamBase(const std::wstring& path) {
  std::wstring base = path;
  while (base.size() > 1 && base.back() == L'\\' && base[base.size() - 2] != L':')
    base.pop_back();
  return base;
}

}  // namespace

StreamListReader DirCopy::QueryStreams(HANDLE handle, const std::wstring& path) {
  Os& os = Os::Current();
  if (!streamInfo_) {
    streamInfoSize_ = kStreamInfoSize;
    streamInfo_.reset(new uint8_t[streamInfoSize_]);
  }
  ResetRetries();
  for (;;) {
    std::fill_n(streamInfo_.get(), 32, uint8_t{0});
    IO_STATUS_BLOCK io{};
    const NTSTATUS status = os.NtQueryInformationFile(handle, &io, streamInfo_.get(),
                                                      streamInfoSize_, FileStreamInformation);
    if (status == STATUS_SUCCESS && io.Information <= streamInfoSize_)
      return StreamListReader(streamInfo_.get(), io.Information);
    // More streams than the buffer holds: a larger buffer, not a failure
    // and not a shortened list.
    if ((status == STATUS_BUFFER_OVERFLOW || status == STATUS_BUFFER_TOO_SMALL) &&
        streamInfoSize_ < kStreamInfoLimit) {
      streamInfoSize_ *= 2;
      streamInfo_.reset(new uint8_t[streamInfoSize_]);
      continue;
    }
    ThrowIfAborted();
    Os::SetLastError(ERROR_INVALID_FUNCTION);
    RetryOrThrow(L"%s -> Unable to query file information", path);
  }
}

void DirCopy::FillStreamJob(CopyJob& job, const std::wstring& source_path,
                            const std::wstring& target_path, const NamedStream& stream) {
  job.sourcePath = source_path + stream.objectName;
  job.targetPath = target_path + stream.objectName;
  job.mainData = 0;
  job.restarts = 0;
  job.done = 0;
  job.compressedSource = 0;
  job.offlineSource = 0;
  job.creationAttributes = 0;
}

void DirCopy::ReadStreamInformation(CopyJob& job) {
  Os& os = Os::Current();
  ResetRetries();
  OpenSourceFile(job);
  BY_HANDLE_FILE_INFORMATION info{};
  while (!os.GetFileInformationByHandle(job.sourceHandle, &info)) {
    ThrowIfAborted();
    RetryOrThrow(L"%s -> Unable to get datastream information", job.sourcePath);
  }
  job.attributes = info.dwFileAttributes;
  job.creationTime = info.ftCreationTime;
  job.lastAccessTime = info.ftLastAccessTime;
  job.lastWriteTime = info.ftLastWriteTime;
  job.sizeHigh = info.nFileSizeHigh;
  job.sizeLow = info.nFileSizeLow;
}

// Walks the list in place, each stream copied before the next record is
// read; a list that cannot be trusted fails the object rather than leave
// streams behind unnoticed.
void DirCopy::CopyStreamsOf(HANDLE object, const std::wstring& source_path,
                            const std::wstring& target_path, bool remove_failed_stream) {
  const CopySettings& s = Settings();
  StreamListReader streams = QueryStreams(object, source_path);
  NamedStream stream;
  for (;;) {
    const StreamListReader::Step step = streams.Next(&stream);
    if (step == StreamListReader::Step::kEnd)
      return;
    if (step == StreamListReader::Step::kDamaged)
      throw DirScanException(kObjectEnded,
                             Format(L"%s -> Unable to query file information", source_path),
                             ERROR_INVALID_DATA);
    CopyJob job;
    FillStreamJob(job, source_path, target_path, stream);
    try {
      ReadStreamInformation(job);
      if (!s.quiet) {
        if (s.fullPaths)
          LogInfo(L"%s -> %s", job.sourcePath, job.targetPath);
        else
          LogInfo(L"%s", job.sourcePath);
      }
      CopyWithRestarts(job, nullptr, false);
      CheckMd5IfDigested(job);
    } catch (...) {
      CloseJobHandles(job);
      if (remove_failed_stream && job.targetOpened)
        DeleteAfterFailure(job.targetPath, false);
      throw;
    }
    CloseJobHandles(job);
  }
}

void DirCopy::CopyFileStreams(CopyJob& main) {
  if (main.sourceHandle == INVALID_HANDLE_VALUE)
    OpenSourceFile(main);
  // A failed stream fails the file, whose clean-up removes it whole.
  CopyStreamsOf(main.sourceHandle, main.sourcePath, main.targetPath, false);
}

bool DirCopy::CopyDirectoryStreams() {
  const CopySettings& s = Settings();
  Os& os = Os::Current();
  const std::wstring source_path = StreamBase(current_path_);
  const std::wstring target_path = StreamBase(target_path_);
  ResetRetries();
  // A read-only directory takes no new stream: the attribute is cleared for
  // the copy and put back after it.
  const FindData* target = TargetDirectoryEntry();
  const bool read_only = target != nullptr && (target->attributes() & FILE_ATTRIBUTE_READONLY);
  HANDLE directory = INVALID_HANDLE_VALUE;
  bool ok = true;
  try {
    if (read_only) {
      while (!os.SetFileAttributesW(target_path.c_str(),
                                    target->attributes() & ~FILE_ATTRIBUTE_READONLY)) {
        if (Os::GetLastError() == ERROR_FILE_NOT_FOUND)
          break;
        RetryOrThrow(L"%s -> Unable to reset attributes of the file", target_path);
      }
    }
    for (;;) {
      directory = os.CreateFileW(source_path.c_str(), kDirectoryReadAccess, FILE_SHARE_READ,
                                 nullptr, OPEN_EXISTING,
                                 FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
      if (directory != INVALID_HANDLE_VALUE)
        break;
      ThrowIfAborted();
      RetryOrThrow(L"%s -> unable to open", source_path);
    }
    CopyStreamsOf(directory, source_path, target_path, true);
  } catch (const DirScanException& e) {
    resultBits_ |= kResultDataError;
    if (e.kind() == kAborted)
      LogWarning(L"%s -> copy ABORTED.", source_path);
    ok = false;
    if (e.IsFatal() || !s.continueOnError) {
      CopyJob::Close(&directory);
      throw;
    }
    if (e.kind() != kAborted)
      ReportException(e);
  }
  CopyJob::Close(&directory);
  if (read_only)
    os.SetFileAttributesW(target_path.c_str(), target->attributes());
  return ok;
}

bool DirCopy::CompareStreams(CopyJob& main) {
  if (main.sourceHandle == INVALID_HANDLE_VALUE)
    OpenSourceFile(main);
  StreamListReader streams = QueryStreams(main.sourceHandle, main.sourcePath);
  bool same = true;
  NamedStream stream;
  for (;;) {
    const StreamListReader::Step step = streams.Next(&stream);
    if (step == StreamListReader::Step::kEnd)
      return same;
    if (step == StreamListReader::Step::kDamaged)
      throw DirScanException(kObjectEnded,
                             Format(L"%s -> Unable to query file information", main.sourcePath),
                             ERROR_INVALID_DATA);
    CopyJob job;
    FillStreamJob(job, main.sourcePath, main.targetPath, stream);
    try {
      same = CompareObject(job, stream.size) && same;
    } catch (...) {
      CloseJobHandles(job);
      throw;
    }
    CloseJobHandles(job);
  }
}

bool DirCopy::CompareDirectoryStreams() {
  const CopySettings& s = Settings();
  CopyJob directory;
  directory.sourcePath = StreamBase(current_path_);
  directory.targetPath = StreamBase(target_path_);
  ResetRetries();
  try {
    Os& os = Os::Current();
    for (;;) {
      directory.sourceHandle = os.CreateFileW(
          directory.sourcePath.c_str(), kDirectoryReadAccess, FILE_SHARE_READ, nullptr,
          OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
      if (directory.sourceHandle != INVALID_HANDLE_VALUE)
        break;
      ThrowIfAborted();
      RetryOrThrow(L"%s -> unable to open", directory.sourcePath);
    }
    const bool same = CompareStreams(directory);
    CloseJobHandles(directory);
    return same;
  } catch (const DirScanException& e) {
    resultBits_ |= kResultDataError;
    CloseJobHandles(directory);
    if (e.kind() == kAborted)
      LogWarning(L"%s -> Comparison ABORTED.", directory.sourcePath);
    if (e.IsFatal() || !s.continueOnError)
      throw;
    if (e.kind() != kAborted)
      ReportException(e);
    return false;
  }
}

// --- Directory events ---

void DirCopy::OnDirectoryNewer() {
  const CopySettings& s = Settings();
  if (!s.copyStreams || s.listOnly)
    return;
  CopyDirectoryStreams();
  if (s.checkContentMode == kCheckBin)
    CompareDirectoryStreams();
}

void DirCopy::OnDirectoryOlder() {
  if (Settings().copyStreams && !Settings().timeSelection)
    OnDirectoryNewer();
}

void DirCopy::OnDirectorySameAge() {
  const CopySettings& s = Settings();
  if (!s.copyStreams)
    return;
  const bool compare = s.checkContentMode == kCheckBin;
  if (s.timeSelection || s.listOnly) {
    if (compare)
      CompareDirectoryStreams();
    return;
  }
  if (CopyDirectoryStreams() && compare)
    CompareDirectoryStreams();
}

}  // namespace tarvik
