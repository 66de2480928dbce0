#include "scan/dir_scan.h"

#include <algorithm>
#include <new>

#include "log/log.h"
#include "scan/path_forms.h"
#include "settings/copy_settings.h"
#include "util/abort.h"
#include "util/text.h"

namespace tarvik {

std::atomic<bool> DirScan::roots_set_{false};

DirScan::DirScan() : max_depth_(Settings().maxDepth) {}

DirScan::~DirScan() {
  DirScan::ReleaseLevels();
}

// --- Virtual operations: what a plain scanner does ---

const std::wstring* DirScan::GetTargetRoot() const {
  return nullptr;
}

const std::wstring* DirScan::GetTargetRootLong() const {
  return nullptr;
}

const std::wstring* DirScan::GetTargetPath() const {
  return nullptr;
}

const std::wstring* DirScan::GetTargetPathLong() const {
  return nullptr;
}

TargetDir* DirScan::GetTargetDir() {
  return nullptr;
}

DirLevel* DirScan::GetLevel() {
  return nullptr;
}

uint32_t DirScan::GetThreadNumber() const {
  return 0;
}

int DirScan::OnFile() {
  LogInfo(L"File %s found\n", current_path_);
  return 1;
}

int DirScan::OnDirectory() {
  LogInfo(L"Dir %s found\n", current_path_);
  return 1;
}

int DirScan::OnDirectoryLink(FindData* target_entry) {
  LogInfo(L"Symbolink Dir link %s found\n", current_path_);
  return 1;
}

int DirScan::EnterDirectory(int root) {
  LogInfo(L"Entering %s\n", current_path_);
  return 1;
}

int DirScan::LeaveDirectory() {
  LogInfo(L"Leaving %s\n", current_path_);
  return 1;
}

void DirScan::PrintStatistics() {
  PrintScanStatistics();
}

int DirScan::OnTargetFilesLeft(TargetDir::EntryMap& files) {
  return 1;
}

int DirScan::OnDirectoryScanned() {
  return 1;
}

int DirScan::ListingUsesWorkers() {
  return 0;
}

DirScan* DirScan::GetFileWorker() {
  return nullptr;
}

DirScan* DirScan::GetTreeWorker() {
  return nullptr;
}

DirScan* DirScan::GetPurgeWorker() {
  return nullptr;
}

void DirScan::TakeDirectory(DirScan* scanner, std::unique_ptr<FindData> entry,
                            std::unique_ptr<FindData> target_entry, int announced) {}

void DirScan::TakeFile(DirScan* scanner, std::unique_ptr<FindData> entry,
                       std::unique_ptr<FindData> target_entry) {}

HANDLE DirScan::GetProcessHandle() {
  return kCurrentProcessHandle;
}

void DirScan::AttachDirRef(DirRef** out, DirRef* dir_ref, PoolLock* lock) {}

void DirScan::ReleaseDirRef(DirRef** place) {}

void DirScan::ReleaseLevels() {
  // Newest first, as they were pushed: a level before the state it entered.
  target_dirs_.clear();
  levels_.clear();
}

void DirScan::DetachLevels() {
  for (std::unique_ptr<DirLevel>& level : levels_)
    static_cast<void>(level.release());
  levels_.clear();
}

void DirScan::Wake() {}

void DirScan::TakePurge(DirScan* scanner) {}

PoolLock* DirScan::GetPool() {
  return nullptr;
}

// --- Paths and stacks ---

void DirScan::BuildCurrentPath(std::wstring_view tail) {
  current_path_long_ = source_root_long_;
  current_path_long_ += relative_path_;
  current_path_long_ += tail;
  if (source_root_.size() + relative_path_.size() + tail.size() >= kLongPathThreshold) {
    current_path_ = current_path_long_;
    return;
  }
  current_path_ = source_root_;
  current_path_ += relative_path_;
  current_path_ += tail;
}

void DirScan::SetRelativePath(std::wstring text) {
  relative_path_ = std::move(text);
  BuildCurrentPath();
}

DirLevel* DirScan::PushLevel(std::unique_ptr<DirLevel> level) {
  level->parent = TopLevel();
  levels_.push_back(std::move(level));
  return levels_.back().get();
}

void DirScan::PopLevel() {
  if (levels_.empty())
    return;
  levels_.pop_back();
  if (DirLevel* top = TopLevel())
    relative_path_.resize(std::min(relative_path_.size(), top->path_length));
}

TargetDir* DirScan::PushTargetDir(std::unique_ptr<TargetDir> state) {
  target_dirs_.push_back(std::move(state));
  return target_dirs_.back().get();
}

std::unique_ptr<TargetDir> DirScan::PopTargetDir() {
  if (target_dirs_.empty())
    return nullptr;
  std::unique_ptr<TargetDir> state = std::move(target_dirs_.back());
  target_dirs_.pop_back();
  return state;
}

// --- The walk ---

int DirScan::FindSubDir() {
  if (!RootsSet())
    return kNoRootSet;
  try {
    BuildCurrentPath();
    if (levels_.empty()) {
      auto level = std::make_unique<DirLevel>();
      if (current_entry_ == nullptr)
        current_entry_ = std::make_unique<FindData>();
      current_entry_->MakeNameKey();
      level->path_length = relative_path_.size();
      level->attributes = current_entry_->attributes();
      level->own_entry = std::make_unique<FindData>(*current_entry_);
      PushLevel(std::move(level));
    }
    if (EnterDirectory(1)) {
      WalkLevels();
    } else {
      PopLevel();
    }
    PrintStatistics();
    return 0;
  } catch (const DirScanException& exception) {
    ReportException(exception);
    RequestAbort();
    PrintStatistics();
    return exception.kind();
  } catch (const std::bad_alloc&) {
    DirScanException exception(kOutOfMemory, L"DirScan::FindSubDir : unable to allocate memory.");
    ReportException(exception);
    RequestAbort();
    PrintStatistics();
    return exception.kind();
  }
}

void DirScan::ThrowIfWalkAborted() {
  if (!AbortRequested())
    return;
  LogWarning(L"%s%s -> browsing ABORTED.", source_root_, relative_path_);
  throw DirScanException(kAborted, L"");
}

void DirScan::WalkLevels() {
  while (!levels_.empty()) {
    ThrowIfWalkAborted();
    for (;;) {
      int found = ScanNext();
      if (found == kDirectoryDone)
        break;
      ThrowIfWalkAborted();
      if (found == kFileFound) {
        OnFile();
      } else {
        OnDirectory();
      }
    }
    TargetDir* state = TopTargetDir();
    if (state != nullptr && !state->file_map.empty()) {
      // After a failed reading the leftovers are not known to be extra:
      // they must not reach the purge (which refuses them too).
      if (TopLevel()->state != LevelState::kReadFailed)
        OnTargetFilesLeft(state->file_map);
      state->file_map.clear();
    }
    if (DescendIntoNextSubDir())
      continue;
    ThrowIfWalkAborted();
    LeaveTopLevel();
  }
}

bool DirScan::DescendIntoNextSubDir() {
  for (;;) {
    ThrowIfWalkAborted();
    if (!NextSubDir())
      return false;
    DirScan* worker = GetTreeWorker();
    if (worker == nullptr)
      break;
    HandOverQueuedSubDir(worker);
  }
  ++depth_;
  deepest_depth_ = std::max(deepest_depth_, depth_);
  // Not entered: its content is skipped, but it is still left.
  return EnterDirectory(0) != 0;
}

void DirScan::HandOverQueuedSubDir(DirScan* worker) {
  DirLevel* level = TopLevel();
  std::unique_ptr<FindData> entry = std::move(level->own_entry);
  current_entry_.reset();
  std::unique_ptr<FindData> target_entry;
  if (TargetDir* state = TopTargetDir())
    target_entry = state->TakeDirectory(entry->NameKey);
  worker->TakeDirectory(this, std::move(entry), std::move(target_entry), 1);
  PopLevel();
  BuildCurrentPath();
  worker->Wake();
}

void DirScan::LeaveTopLevel() {
  if (TopLevel()->state == LevelState::kReadFailed) {
    if (TargetDir* state = TopTargetDir())
      state->dir_map.clear();
  }
  OnDirectoryScanned();
  LeaveDirectory();
  PopLevel();
  BuildCurrentPath();
  if (depth_ > 0)
    --depth_;
}

int DirScan::ScanNext() {
  DirLevel* level = TopLevel();
  if (level == nullptr)
    return kDirectoryDone;
  if (level->state == LevelState::kNew) {
    level->state = LevelState::kReading;
  } else if (level->state >= LevelState::kReadCompletely) {
    return kDirectoryDone;
  }
  try {
    while (ReadNextEntry()) {
      int found = ProcessEntry();
      if (found != kDirectoryDone)
        return found;
    }
  } catch (const DirScanException& exception) {
    level->state = LevelState::kReadFailed;
    level->CloseSearch();
    BuildCurrentPath();
    if (exception.kind() == kAborted) {
      ReportException(exception);
      LogWarning(L"%s -> browsing ABORTED.", current_path_);
      return kDirectoryDone;
    }
    ++directory_reads_failed_;
    if (exception.IsFatal() || !Settings().continueOnError)
      throw;
    ReportException(exception);
    LogWarning(L"%s -> Unable to get the content", current_path_);
    return kDirectoryDone;
  }
  if (level->state != LevelState::kNoDescent && level->state != LevelState::kReadFailed)
    level->state = LevelState::kReadCompletely;
  BuildCurrentPath();
  level->CloseSearch();
  return kDirectoryDone;
}

int DirScan::ProcessEntry() {
  BuildCurrentPath(current_entry_->LongName());
  if (current_entry_->IsDirectory())
    return ProcessDirectoryEntry();
  return ProcessFileEntry();
}

namespace {

// The three texts the exclusion tests look at, lower-cased with /nocase.
struct EntryNames {
  std::wstring name;
  std::wstring display_path;
  std::wstring long_path;
};

EntryNames NamesForFilters(std::wstring_view name, const std::wstring& root,
                           const std::wstring& long_root, const std::wstring& relative) {
  EntryNames names{std::wstring(name), root + relative + std::wstring(name),
                   long_root + relative + std::wstring(name)};
  if (Settings().lowerCaseNames) {
    names.name = ToLowerAscii(names.name);
    names.display_path = ToLowerAscii(names.display_path);
    names.long_path = ToLowerAscii(names.long_path);
  }
  return names;
}

}  // namespace

bool DirScan::IsExcludedDirectory(const FindData& entry, const wchar_t** suffix) {
  *suffix = L"";
  if (!ExcludedDirs().empty()) {
    EntryNames names =
        NamesForFilters(entry.LongName(), source_root_, source_root_long_, relative_path_);
    if (MatchesAny(ExcludedDirs(), names.name, names.display_path, names.long_path))
      return true;
  }
  if (Settings().excludeJunctions) {
    if (entry.HasReparseTag(IO_REPARSE_TAG_MOUNT_POINT)) {
      *suffix = L" (Mount point)";
      return true;
    }
    if (entry.HasReparseTag(IO_REPARSE_TAG_DFS)) {
      *suffix = L" (DFS link)";
      return true;
    }
  }
  return false;
}

int DirScan::ProcessDirectoryEntry() {
  TargetDir* state = TopTargetDir();
  const std::wstring key = current_entry_->NameKey;
  if (!Settings().recurse || (max_depth_ != 0 && depth_ >= max_depth_)) {
    if (state != nullptr)
      state->dir_map.erase(key);
    current_entry_.reset();
    return kDirectoryDone;
  }
  const wchar_t* suffix = L"";
  if (IsExcludedDirectory(*current_entry_, &suffix)) {
    LogInfo(L"%s : Excluded%s", current_path_, suffix);
    if (state != nullptr)
      state->dir_map.erase(key);
    current_entry_.reset();
    return kDirectoryDone;
  }
  ++dirs_found_;
  if (current_entry_->HasReparseTag(IO_REPARSE_TAG_SYMLINK)) {
    std::unique_ptr<FindData> target_entry = state != nullptr ? state->TakeDirectory(key) : nullptr;
    OnDirectoryLink(target_entry.get());
    current_entry_.reset();
    return kDirectoryDone;
  }
  DirScan* worker = GetTreeWorker();
  if (worker == nullptr) {
    TopLevel()->sub_dirs.push_back(std::make_unique<FindData>(*current_entry_));
    return kSubDirQueued;
  }
  // A generated-alias name is created on the target before the worker
  // starts, so that no sibling's alias can take it meanwhile.
  if (current_entry_->ShortNameFirst != 0 &&
      (state == nullptr || state->FindDirectory(key) == nullptr)) {
    OnDirectory();
  }
  std::unique_ptr<FindData> target_entry = state != nullptr ? state->TakeDirectory(key) : nullptr;
  worker->TakeDirectory(this, std::move(current_entry_), std::move(target_entry), 0);
  worker->Wake();
  return kDirectoryDone;
}

int DirScan::ProcessFileEntry() {
  TargetDir* state = TopTargetDir();
  const std::vector<std::wstring>& excluded = ExcludedFiles();
  const std::vector<std::wstring>& selected = FileOnlyPatterns();
  if (!excluded.empty() || !selected.empty()) {
    EntryNames names = NamesForFilters(current_entry_->LongName(), source_root_, source_root_long_,
                                       relative_path_);
    if (!excluded.empty() &&
        MatchesAny(excluded, names.name, names.display_path, names.long_path)) {
      LogInfo(L"%s : Excluded", current_path_);
      if (state != nullptr)
        state->file_map.erase(current_entry_->NameKey);
      current_entry_.reset();
      return kDirectoryDone;
    }
    if (!selected.empty() &&
        !MatchesAny(selected, names.name, names.display_path, names.long_path)) {
      current_entry_.reset();
      return kDirectoryDone;
    }
  }
  ++files_found_;
  bool listing_alone = Settings().listOnly && !ListingUsesWorkers();
  if (listing_alone || current_entry_->ShortNameFirst != 0)
    return kFileFound;
  DirScan* worker = GetFileWorker();
  if (worker == nullptr)
    return kFileFound;
  std::unique_ptr<FindData> target_entry =
      state != nullptr ? state->TakeFile(current_entry_->NameKey) : nullptr;
  worker->TakeFile(this, std::move(current_entry_), std::move(target_entry));
  worker->Wake();
  return kDirectoryDone;
}

bool DirScan::NextSubDir() {
  DirLevel* level = TopLevel();
  if (level == nullptr)
    return false;
  if (!Settings().recurse) {
    level->state = LevelState::kNoDescent;
    return false;
  }
  if (max_depth_ != 0 && depth_ >= max_depth_) {
    if (Settings().debug)
      LogInfo(L"Max depth raised, subdirs of %s are not scanned.\n", current_path_);
    level->state = LevelState::kNoDescent;
    return false;
  }
  if (level->state == LevelState::kNoDescent)
    return false;
  if (level->state == LevelState::kReadCompletely)
    level->state = LevelState::kTakingSubDirs;
  relative_path_.resize(std::min(relative_path_.size(), level->path_length));
  if (level->sub_dirs.empty())
    return false;
  std::unique_ptr<FindData> entry = std::move(level->sub_dirs.front());
  level->sub_dirs.pop_front();
  relative_path_ += entry->LongName();
  relative_path_ += L'\\';
  BuildCurrentPath();
  auto child = std::make_unique<DirLevel>();
  child->path_length = relative_path_.size();
  child->attributes = entry->attributes();
  current_entry_ = std::make_unique<FindData>(*entry);
  child->own_entry = std::move(entry);
  PushLevel(std::move(child));
  return true;
}

// --- Reading ---

bool DirScan::Timed() const {
  return Settings().debugStats || Settings().debugResults;
}

void DirScan::ThrowIfAborted() {
  if (AbortRequested())
    throw DirScanException(kAborted, L"");
}

namespace {

const std::vector<std::wstring>& PatternsToRead() {
  static const std::vector<std::wstring> kAll = {L"*"};
  const std::vector<std::wstring>& patterns = NameFilters::ReadingPatterns();
  return patterns.empty() ? kAll : patterns;
}

}  // namespace

bool DirScan::StartSearch(DirLevel& level, WIN32_FIND_DATAW* data) {
  Os& os = Os::Current();
  for (;;) {
    ++directory_listings_;
    LARGE_INTEGER start{}, end{};
    bool timed = Timed();
    if (timed)
      os.QueryPerformanceCounter(&start);
    HANDLE find = os.FindFirstFileW(current_path_.c_str(), data);
    DWORD error = Os::GetLastError();
    if (timed) {
      os.QueryPerformanceCounter(&end);
      search_time_ += end.QuadPart - start.QuadPart;
      ++searches_timed_;
    }
    if (find != INVALID_HANDLE_VALUE && find != nullptr) {
      level.find_handle = find;
      return true;
    }
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES)
      return false;
    Os::SetLastError(error);
    RetryOrThrow(L"%s -> Unable to get content", current_path_);
  }
}

bool DirScan::ContinueSearch(DirLevel& level, WIN32_FIND_DATAW* data) {
  Os& os = Os::Current();
  for (;;) {
    LARGE_INTEGER start{}, end{};
    bool timed = Timed();
    if (timed)
      os.QueryPerformanceCounter(&start);
    BOOL found = os.FindNextFileW(level.find_handle, data);
    DWORD error = Os::GetLastError();
    if (timed) {
      os.QueryPerformanceCounter(&end);
      search_time_ += end.QuadPart - start.QuadPart;
      ++searches_timed_;
    }
    ThrowIfAborted();
    if (found)
      return true;
    if (error == ERROR_NO_MORE_FILES || error == ERROR_FILE_NOT_FOUND) {
      level.CloseSearch();
      return false;
    }
    Os::SetLastError(error);
    RetryOrThrow(L"%s -> Unable to parse content", current_path_);
  }
}

bool DirScan::ReadNextEntry() {
  DirLevel* level = TopLevel();
  if (level == nullptr)
    return false;
  if (Settings().noSort)
    return ReadUnsorted(*level);
  if (!level->sorted_loaded) {
    LoadSorted(*level);
  } else {
    ThrowIfAborted();
  }
  current_entry_ = level->TakeSortedEntry();
  return current_entry_ != nullptr;
}

bool DirScan::ReadUnsorted(DirLevel& level) {
  const std::vector<std::wstring>& patterns = PatternsToRead();
  WIN32_FIND_DATAW data;
  for (;;) {
    if (level.pattern_index >= patterns.size()) {
      ThrowIfAborted();
      return false;
    }
    BuildCurrentPath(patterns[level.pattern_index]);
    bool found =
        level.find_handle == nullptr ? StartSearch(level, &data) : ContinueSearch(level, &data);
    if (!found) {
      ++level.pattern_index;
      continue;
    }
    auto entry = std::make_unique<FindData>();
    entry->data = data;
    if (entry->IsDotOrDotDot())
      continue;
    entry->MakeNameKey();
    current_entry_ = std::move(entry);
    ThrowIfAborted();
    return true;
  }
}

void DirScan::LoadSorted(DirLevel& level) {
  level.sorted_loaded = true;
  level.sorted_entries.reserve(1000);
  WIN32_FIND_DATAW data;
  for (const std::wstring& pattern : PatternsToRead()) {
    BuildCurrentPath(pattern);
    if (!StartSearch(level, &data))
      continue;
    do {
      auto entry = std::make_unique<FindData>();
      entry->data = data;
      if (entry->IsDotOrDotDot())
        continue;
      entry->MakeSortKeys();
      level.sorted_entries.push_back(std::move(entry));
      ++objects_sorted_;
    } while (ContinueSearch(level, &data));
  }
  BuildCurrentPath();
  if (!level.sorted_entries.empty())
    SortEntries(level);
}

void DirScan::SortEntries(DirLevel& level) {
  Os& os = Os::Current();
  bool timed = Settings().debugStats != 0;
  LARGE_INTEGER start{}, end{}, frequency{};
  if (timed)
    os.QueryPerformanceCounter(&start);
  try {
    std::sort(level.sorted_entries.begin(), level.sorted_entries.end(),
              [](const std::unique_ptr<FindData>& a, const std::unique_ptr<FindData>& b) {
                if (AbortRequested())
                  throw DirScanException(kAborted, L"ABORT");
                return SortsBefore(*a, *b);
              });
  } catch (const DirScanException&) {
    // An interrupted sort may have left moved-from slots behind.
    level.sorted_entries.clear();
    level.next_sorted = 0;
    throw;
  }
  if (timed) {
    os.QueryPerformanceCounter(&end);
    os.QueryPerformanceFrequency(&frequency);
    if (frequency.QuadPart > 0) {
      last_sort_duration_ = static_cast<float>(static_cast<double>(end.QuadPart - start.QuadPart) *
                                               1000000.0 / static_cast<double>(frequency.QuadPart));
      total_sort_duration_ += last_sort_duration_;
    }
  }
}

// --- Single-path information ---

bool DirScan::GetFileInfo(const std::wstring& path, WIN32_FIND_DATAW* find_data,
                          int open_reparse_point) {
  ++information_queries_;
  ResetRetries();
  std::wstring query = path;
  bool drive_root = query.size() == 3 && query[1] == L':' && query[2] == L'\\';
  if (!drive_root) {
    while (!query.empty() && query.back() == L'\\')
      query.pop_back();
  }
  try {
    return QueryFileInfo(query, find_data, open_reparse_point);
  } catch (const DirScanException& exception) {
    if (exception.IsFatal())
      throw;
    ReportException(exception);
    Os::SetLastError(exception.code());
    return false;
  }
}

bool DirScan::GetFileInfo(const std::wstring& path, FindRecord* record, int open_reparse_point) {
  WIN32_FIND_DATAW find_data{};
  const bool found = GetFileInfo(path, &find_data, open_reparse_point);
  *record = find_data;
  return found;
}

bool DirScan::QueryFileInfo(const std::wstring& path, WIN32_FIND_DATAW* find_data,
                            int open_reparse_point) {
  Os& os = Os::Current();
  const DWORD access = READ_CONTROL | FILE_READ_ATTRIBUTES | FILE_READ_EA | FILE_READ_DATA;
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  const DWORD flags =
      FILE_FLAG_BACKUP_SEMANTICS | (open_reparse_point ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
  for (;;) {
    HANDLE find = os.FindFirstFileW(path.c_str(), find_data);
    if (find != INVALID_HANDLE_VALUE && find != nullptr) {
      os.FindClose(find);
      return true;
    }
    HANDLE file =
        os.CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE || file == nullptr) {
      DWORD error = Os::GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return false;
      // A name the system refuses stays refused: waiting out the whole
      // retry budget on it would only delay the same answer.
      if (error == ERROR_INVALID_NAME || error == ERROR_BAD_PATHNAME)
        return false;
      RetryOrThrow(L"%ls -> Unable to get information", path);
      continue;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (os.GetFileInformationByHandle(file, &info)) {
      find_data->dwFileAttributes = info.dwFileAttributes;
      find_data->ftCreationTime = info.ftCreationTime;
      find_data->ftLastAccessTime = info.ftLastAccessTime;
      find_data->ftLastWriteTime = info.ftLastWriteTime;
      find_data->nFileSizeHigh = info.nFileSizeHigh;
      find_data->nFileSizeLow = info.nFileSizeLow;
      os.CloseHandle(file);
      return true;
    }
    DWORD error = Os::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND && QueryDirectoryByAttributes(path, file, find_data)) {
      os.CloseHandle(file);
      return true;
    }
    os.CloseHandle(file);
    Os::SetLastError(error);
    RetryOrThrow(L"%ls -> Unable to get information", path);
  }
}

bool DirScan::QueryDirectoryByAttributes(const std::wstring& path, HANDLE file,
                                         WIN32_FIND_DATAW* find_data) {
  Os& os = Os::Current();
  DWORD attributes = os.GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    Os::SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  HANDLE find = os.FindFirstFileW(path.c_str(), find_data);
  if (find != INVALID_HANDLE_VALUE && find != nullptr) {
    os.FindClose(find);
  } else {
    os.GetFileTime(file, &find_data->ftCreationTime, &find_data->ftLastAccessTime,
                   &find_data->ftLastWriteTime);
    find_data->cFileName[0] = L'\0';
    find_data->cAlternateFileName[0] = L'\0';
  }
  find_data->dwFileAttributes = attributes;
  return true;
}

int DirScan::ReportException(const DirScanException& exception) {
  if (!exception.message().empty())
    LogError(exception.code(), L"%s", exception.message());
  return exception.kind();
}

void DirScan::ResetScan() {
  ReleaseLevels();
  depth_ = 0;
  relative_path_.clear();
  dirs_found_ = 0;
  files_found_ = 0;
  retries_left_ = 0;
  retried_ = 0;
  information_queries_ = 0;
  directory_listings_ = 0;
  total_sort_duration_ = 0;
  objects_sorted_ = 0;
  time_setting_failures_ = 0;
  directory_reads_failed_ = 0;
  searches_timed_ = 0;
}

// --- Statistics ---

void DirScan::PrintScanStatistics() {
  LogText(L"%-42s: %ld\n", L"Number of files found", files_found_);
  LogText(L"%-42s: %ld\n", L"Number of directories found", dirs_found_);
  if (!Settings().debug)
    return;
  LogText(L"%-42s: %ld\n", L"Max depth of subdirectories", deepest_depth_);
  LogText(L"%-42s: %ld\n", L"Number of object sorted", objects_sorted_);
  LogText(L"%-42s: %.3f\n", L"Total sort process duration", total_sort_duration_);
  float average = objects_sorted_ == 0 ? 0.0f : total_sort_duration_ / objects_sorted_;
  LogText(L"%-42s: %.3f\n", L"Sort average time", average);
}

// --- The source root ---

bool DirScan::SetSourceRoot(const std::wstring& path) {
  try {
    std::wstring normalized = NormalizeRootPath(path);
    if (IsUnusableRootPath(path, normalized)) {
      throw DirScanException(kBadSourceRoot, Format(kUnusableRootMessage, path),
                             ERROR_INVALID_NAME);
    }
    auto entry = std::make_unique<FindData>();
    if (!GetFileInfo(normalized, &entry->data, 0) || !entry->IsDirectory()) {
      throw DirScanException(
          kBadSourceRoot,
          Format(L"%s is not an existing directory or it can't be accessed.", path));
    }
    current_entry_ = std::move(entry);
    if (HasLongPrefix(normalized)) {
      source_root_long_ = normalized;
      source_root_ = DisplayFormOfLongPath(normalized);
    } else {
      source_root_ = normalized;
      source_root_long_ = LongFormOfRoot(normalized);
    }
    EnsureTrailingBackslash(&source_root_);
    EnsureTrailingBackslash(&source_root_long_);
    BuildCurrentPath();
    SetRootsSet(true);
    return true;
  } catch (const DirScanException& exception) {
    ReportException(exception);
    return false;
  }
}

}  // namespace tarvik
