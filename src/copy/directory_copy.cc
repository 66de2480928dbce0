// Target directories: creating a missing one, and entering one (its
// attributes, then the listing of its entries into the comparison maps).
#include "copy/dir_copy.h"
#include "copy/engine_state.h"
#include "log/log.h"
#include "settings/copy_settings.h"
#include "util/abort.h"

namespace tarvik {
namespace {

// A listing pattern longer than this uses the long form of the path.
constexpr size_t kListingPatternLimit = 199;

bool EndsListing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
         error == ERROR_NO_MORE_FILES;
}

}  // namespace

std::unique_ptr<FindData> DirCopy::OnTargetDirectoryMissing() {
  const CopySettings& s = Settings();
  if (s.restoreSD)
    return nullptr;
  ResetRetries();
  if (!s.quiet) {
    if (s.fullPaths)
      LogInfo(L"%s -> %s", current_path_, target_path_);
    else
      LogInfo(L"%s", current_path_);
  }
  if (s.listOnly) {
    ++counters_.directoriesCreated;
    // The directory that would be created stands in for the missing one, so
    // that its content is listed too, whichever worker enters it.
    if (const FindData* source = current_entry()) {
      auto would_be = std::make_unique<FindData>(*source);
      would_be->data.dwFileAttributes |= FILE_ATTRIBUTE_DIRECTORY;
      return would_be;
    }
    return nullptr;
  }
  std::unique_ptr<FindData> created;
  try {
    // The security step creates the directory with its descriptor; without
    // one, or after it failed, the directory is made plainly.
    bool secured = false;
    if (s.securityMode != SecurityMode::None)
      secured =
          SecurityStep(true, true, current_entry() != nullptr && current_entry()->IsReparsePoint());
    if (!secured || s.securityMode == SecurityMode::HomeDir) {
      if (s.securityMode == SecurityMode::None || !IsDirectory(target_path_))
        CreateTargetDirectory();
    }
    WIN32_FIND_DATAW data{};
    if (!GetFileInfo(target_path_, &data, 0))
      return nullptr;
    created = std::make_unique<FindData>();
    created->data = data;
    created->MakeNameKey();
    CompressNewDirectory(*created);
    if (s.copyStreams) {
      CopyDirectoryStreams();
      if (s.checkContentMode == kCheckBin)
        CompareDirectoryStreams();
    }
    ++counters_.directoriesCreated;
    return created;
  } catch (DirScanException& e) {
    if (!e.counted()) {
      e.set_counted();
      ++counters_.directoryCreationsFailed;
    }
    if (e.IsFatal() || !s.continueOnError)
      throw;
    ReportException(e);
    return created;
  }
}

void DirCopy::CreateTargetDirectory() {
  const CopySettings& s = Settings();
  Os& os = Os::Current();
  bool waiting_for_space = false;
  for (;;) {
    if (os.CreateDirectoryW(target_path_.c_str(), nullptr))
      break;
    const DWORD error = Os::GetLastError();
    ThrowIfAborted();
    if (error == ERROR_ALREADY_EXISTS) {
      if (s.debugSystem)
        LogInfo(L"%s -> directory should not exist at this point", target_path_);
      break;
    }
    if (error == ERROR_DISK_FULL && s.diskFullMode == kDiskFullAbort)
      AbortOnFullDisk(target_path_);
    if (error == ERROR_DISK_FULL && s.diskFullMode == kDiskFullWait) {
      WaitForSpace(
          &waiting_for_space,
          Format(L"%s -> create directory, waiting for enough space on device.", target_path_));
      continue;
    }
    RetryOrThrow(L"%s -> unable to create the directory", target_path_);
  }
}

void DirCopy::CompressNewDirectory(const FindData& created) {
  const int32_t mode = CurrentCompressMode();
  const FindData* source = current_entry();
  const bool source_compressed =
      source != nullptr && (source->attributes() & FILE_ATTRIBUTE_COMPRESSED);
  if (mode == kCompressIgnore ||
      !(mode == kCompressForceDir || mode == kCompressForceAll || source_compressed) ||
      (created.attributes() & FILE_ATTRIBUTE_COMPRESSED)) {
    return;
  }
  Os& os = Os::Current();
  HANDLE handle = INVALID_HANDLE_VALUE;
  for (;;) {
    handle = os.CreateFileW(target_path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle != INVALID_HANDLE_VALUE)
      break;
    ThrowIfAborted();
    if (!RetryOrGiveUp(L"%s -> unable to open", target_path_))
      return;
  }
  try {
    RequestCompression(handle, COMPRESSION_FORMAT_DEFAULT, target_path_,
                       &counters_.compressedDirectories, true);
  } catch (...) {
    os.CloseHandle(handle);
    throw;
  }
  os.CloseHandle(handle);
}

int DirCopy::OnEnterTargetDirectory() {
  const CopySettings& s = Settings();
  ResetRetries();
  TargetDir* state = TopTargetDir();
  try {
    const DirLevel* level = TopLevel();
    const DWORD source_attributes = level != nullptr ? level->attributes : FILE_ATTRIBUTE_DIRECTORY;
    const bool reparse = (source_attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (s.backupSD || s.restoreSD) {
      if (!state->existed())
        return 1;
      SecurityStep(true, false, reparse);
    } else {
      if (state->existed())
        SecurityStep(true, false, reparse);
      const DWORD wanted = source_attributes & ~FILE_ATTRIBUTE_TEMPORARY;
      const bool differ =
          state->own_entry == nullptr || state->own_entry->attributes() != source_attributes;
      if (!s.listOnly && (!state->existed() || differ)) {
        while (!Os::Current().SetFileAttributesW(target_path_.c_str(), wanted))
          RetryOrThrow(L"%s -> Unable to set attributes on directory", target_path_);
      }
    }
    ListTargetDirectory(*state, false);
    return 1;
  } catch (DirScanException& e) {
    if (!e.counted()) {
      e.set_counted();
      ++counters_.directoryCreationsFailed;
    }
    if (e.IsFatal() || !s.continueOnError)
      throw;
    ReportException(e);
    return 0;
  }
}

// Reads the target directory into the state's maps (or, for a purge, its
// lists), every entry under its lower-cased name.
void DirCopy::ListTargetDirectory(TargetDir& state, bool into_lists) {
  state.file_map.clear();
  state.dir_map.clear();
  std::wstring pattern = target_path_ + L"*";
  if (pattern.size() > kListingPatternLimit)
    pattern = target_path_long_ + L"*";
  Os& os = Os::Current();
  WIN32_FIND_DATAW data{};
  HANDLE find = INVALID_HANDLE_VALUE;
  for (;;) {
    const int64_t start = Timed() ? Now() : 0;
    find = os.FindFirstFileW(pattern.c_str(), &data);
    const DWORD error = Os::GetLastError();
    CountSearch(start);
    if (find != INVALID_HANDLE_VALUE)
      break;
    if (EndsListing(error))
      return;
    Os::SetLastError(error);
    RetryOrThrow(L"%s -> Unable to get content", target_path_);
  }
  try {
    for (;;) {
      auto entry = std::make_unique<FindData>();
      entry->data = data;
      if (!entry->IsDotOrDotDot()) {
        entry->MakeNameKey();
        if (into_lists) {
          (entry->IsDirectory() ? state.sub_dir_list : state.file_list).push_back(std::move(entry));
        } else {
          state.AddEntry(std::move(entry));
        }
      }
      for (;;) {
        const int64_t start = Timed() ? Now() : 0;
        const BOOL found = os.FindNextFileW(find, &data);
        const DWORD error = Os::GetLastError();
        CountSearch(start);
        if (found)
          break;
        if (EndsListing(error)) {
          os.FindClose(find);
          return;
        }
        Os::SetLastError(error);
        RetryOrThrow(L"%s -> Unable to parse content", target_path_);
      }
    }
  } catch (...) {
    os.FindClose(find);
    throw;
  }
}

void DirCopy::CountSearch(int64_t start) {
  if (!Timed())
    return;
  search_time_ += Now() - start;
  ++searches_timed_;
}

}  // namespace tarvik
