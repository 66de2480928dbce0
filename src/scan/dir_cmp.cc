#include "scan/dir_cmp.h"

#include "log/log.h"
#include "scan/path_forms.h"
#include "settings/copy_settings.h"
#include "util/text.h"

namespace tarvik {

DirCmp::DirCmp() = default;

DirCmp::~DirCmp() = default;

// --- Overrides of DirScan ---

const std::wstring* DirCmp::GetTargetRoot() const {
  return &target_root_;
}

const std::wstring* DirCmp::GetTargetRootLong() const {
  return &target_root_long_;
}

const std::wstring* DirCmp::GetTargetPath() const {
  return &target_path_;
}

const std::wstring* DirCmp::GetTargetPathLong() const {
  return &target_path_long_;
}

TargetDir* DirCmp::GetTargetDir() {
  return TopTargetDir();
}

DirLevel* DirCmp::GetLevel() {
  return TopLevel();
}

void DirCmp::DetachLevels() {
  DirScan::DetachLevels();
  for (std::unique_ptr<TargetDir>& state : target_dirs_)
    static_cast<void>(state.release());
  target_dirs_.clear();
}

PoolLock* DirCmp::GetPool() {
  return nullptr;
}

// --- Paths ---

void DirCmp::BuildTargetPath(std::wstring_view text) {
  target_path_long_ = target_root_long_;
  target_path_long_ += text;
  if (target_root_.size() + text.size() >= kLongPathThreshold) {
    target_path_ = target_path_long_;
    return;
  }
  target_path_ = target_root_;
  target_path_ += text;
}

void DirCmp::SetTargetEntryPath(std::wstring_view name, bool lower_case) {
  std::wstring text = relative_path_;
  text += name;
  BuildTargetPath(lower_case ? ToLowerAscii(text) : text);
}

void DirCmp::AppendRelativePath(std::wstring_view name) {
  if (!name.empty()) {
    relative_path_ += name;
    relative_path_ += L'\\';
  }
  BuildTargetPath(relative_path_);
}

// --- Comparison ---

int DirCmp::CompareTimes(const FindData& source, const FindData& target) {
  if (target.LastWriteTime() == recoveryMarkTime)
    return kRecover;
  // Unsigned differences: times near the ends of the range cannot overflow.
  uint64_t source_time = static_cast<uint64_t>(source.LastWriteTime());
  uint64_t target_time = static_cast<uint64_t>(target.LastWriteTime());
  const uint64_t tolerance = static_cast<uint64_t>(kTimeTolerance);
  if (target_time > source_time && target_time - source_time > tolerance)
    return kSourceOlder;
  if (source_time > target_time && source_time - target_time > tolerance)
    return kSourceNewer;
  return kSameAge;
}

int DirCmp::CompareTimes(const FindData& target) const {
  return CompareTimes(*current_entry_, target);
}

bool DirCmp::NamesDifferInCase(const FindData& source, std::wstring_view target_name) const {
  std::wstring_view source_name =
      Settings().lowerCaseNames ? std::wstring_view(source.NameKey) : source.LongName();
  size_t length = source.NameKey.size();
  return source_name.substr(0, length) != target_name.substr(0, length);
}

void DirCmp::ResetComparisonCounters() {
  same_age_count_ = 0;
  source_older_count_ = 0;
  source_newer_count_ = 0;
  recovery_count_ = 0;
  mismatched_dirs_ = 0;
  mismatched_files_ = 0;
}

void DirCmp::ResetScan() {
  DirScan::ResetScan();
  ResetComparisonCounters();
}

// --- Files and sub-directories ---

int DirCmp::OnFile() {
  SetTargetEntryPath(current_entry_->LongName(), Settings().lowerCaseNames != 0);
  TargetDir* state = TopTargetDir();
  std::unique_ptr<FindData> target;
  if (state != nullptr && state->existed())
    target = state->TakeFile(current_entry_->NameKey);
  if (target != nullptr) {
    ReportFile(*target);
  } else {
    OnTargetFileMissing();
  }
  current_entry_.reset();
  return 1;
}

void DirCmp::ReportFile(FindData& target) {
  if (target.IsDirectory()) {
    OnShouldBeFile(target);
    return;
  }
  if (NamesDifferInCase(*current_entry_, target.LongName()))
    OnFileCaseDiffers(target);
  switch (CompareTimes(target)) {
    case kSourceNewer:
      OnFileNewer(target);
      ++source_newer_count_;
      break;
    case kSourceOlder:
      OnFileOlder(target);
      ++source_older_count_;
      break;
    case kSameAge:
      OnFileSameDate(target);
      ++same_age_count_;
      break;
    default:
      LogWarning(L"%s -> File will be recovered following posterior copy failure", target_path_);
      OnFileNewer(target);
      ++recovery_count_;
      break;
  }
}

int DirCmp::OnDirectory() {
  TargetDir* state = TopTargetDir();
  const FindData& source = *current_entry_;
  if (state != nullptr && state->existed() && state->FindDirectory(source.NameKey) != nullptr)
    return 1;  // left for EnterDirectory
  SetTargetEntryPath(source.LongName(), Settings().lowerCaseNames != 0);
  std::unique_ptr<FindData> placeholder = OnTargetDirectoryMissing();
  if (state == nullptr)
    return 1;
  if (placeholder == nullptr)
    placeholder = std::make_unique<FindData>(source);
  placeholder->data.dwFileAttributes |= kPlaceholderMark;
  placeholder->ShortNameFirst = source.ShortNameFirst;
  placeholder->SortName = source.SortName;
  placeholder->MakeNameKey();
  std::wstring key = placeholder->NameKey;
  state->dir_map[std::move(key)] = std::move(placeholder);
  return 1;
}

int DirCmp::OnDirectoryLink(FindData* target_entry) {
  LogInfo(L"%s directory is a symbolic link\n", current_path_);
  return 1;
}

// --- Entering and leaving directories ---

int DirCmp::EnterDirectory(int root) {
  if (target_root_.empty())
    return 1;
  TargetDir* parent = TopTargetDir();
  std::wstring relative;
  if (parent != nullptr)
    relative = Settings().lowerCaseNames ? ToLowerAscii(relative_path_) : relative_path_;
  BuildTargetPath(relative);

  if (parent == nullptr) {
    auto state = std::make_unique<TargetDir>();
    state->dir_ref = QueueDirRef(target_path_, current_entry_.get(), nullptr);
    return EnterRoot(*PushTargetDir(std::move(state)), true);
  }
  if (root != 0)
    return EnterRoot(*parent, false);

  auto state = std::make_unique<TargetDir>();
  state->parent = parent;
  state->name = std::wstring(current_entry_->LongName());
  state->dir_ref = QueueDirRef(target_path_, current_entry_.get(), parent->dir_ref);
  return EnterDescended(*PushTargetDir(std::move(state)));
}

int DirCmp::EnterDescended(TargetDir& state) {
  const FindData& source = *current_entry_;
  std::unique_ptr<FindData> found = state.parent->TakeDirectory(source.NameKey);
  if (found == nullptr)
    return EnterMissing(state);
  bool placeholder = found->IsPlaceholder();
  state.own_entry = std::move(found);
  if (state.own_entry->IsReparsePoint() || (state.parent->flags & kTargetDirBehindLink))
    state.flags |= kTargetDirBehindLink;
  if (!placeholder) {
    if (NamesDifferInCase(source, state.own_entry->LongName()))
      OnDirectoryCaseDiffers(SourceNameAsCompared(source));
    switch (CompareTimes(*state.own_entry)) {
      case kSourceNewer:
        OnDirectoryNewer();
        ++source_newer_count_;
        break;
      case kSourceOlder:
        OnDirectoryOlder();
        ++source_older_count_;
        break;
      case kSameAge:
        OnDirectorySameAge();
        ++same_age_count_;
        break;
      default:
        break;
    }
  }
  return FinishEnter(state);
}

int DirCmp::EnterMissing(TargetDir& state) {
  std::unique_ptr<FindData> created = OnTargetDirectoryMissing();
  if (created == nullptr)
    return 0;
  state.name = std::wstring(created->LongName());
  state.own_entry = std::move(created);
  if (state.dir_ref == nullptr) {
    state.dir_ref = QueueDirRef(target_path_, current_entry_.get(),
                                state.parent != nullptr ? state.parent->dir_ref : nullptr);
  }
  return EnterTargetDirectory(state);
}

int DirCmp::EnterRoot(TargetDir& state, bool run_root) {
  if (state.own_entry == nullptr) {
    auto entry = std::make_unique<FindData>();
    if (!GetFileInfo(target_path_, &entry->data, 0)) {
      DWORD error = Os::GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return EnterMissing(state);
      return EnterTargetDirectory(state);
    }
    state.name = std::wstring(entry->LongName());
    state.own_entry = std::move(entry);
  }
  if (run_root) {
    CompareRootName(state);
  } else if (NamesDifferInCase(*current_entry_, state.name)) {
    OnDirectoryCaseDiffers(SourceNameAsCompared(*current_entry_));
  }
  if (state.dir_ref == nullptr) {
    state.dir_ref = QueueDirRef(target_path_, current_entry_.get(),
                                state.parent != nullptr ? state.parent->dir_ref : nullptr);
  }
  OnDirectoryNewer();
  return FinishEnter(state);
}

// The run's target root as typed against the name the target really has
// (a case-insensitive file system finds it under either).
void DirCmp::CompareRootName(const TargetDir& state) {
  std::wstring typed = target_path_;
  while (!typed.empty() && typed.back() == L'\\')
    typed.pop_back();
  size_t separator = typed.find_last_of(L'\\');
  if (!typed.empty() && typed[0] == L'/')
    separator = typed.find_last_of(L"\\/");
  size_t start = separator == std::wstring::npos ? 0 : separator + 1;
  std::wstring_view last = std::wstring_view(typed).substr(start);
  const std::wstring& found = state.name;
  if (last.substr(0, found.size()) == found)
    return;
  std::wstring as_found = typed.substr(0, start) + found;
  LogWarning(L"%s -> should be renamed to %s", as_found, typed);
}

int DirCmp::FinishEnter(TargetDir& state) {
  if (state.own_entry != nullptr) {
    if (!state.own_entry->IsDirectory())
      return OnShouldBeDirectory();
    if (!state.own_entry->IsPlaceholder())
      state.flags |= kTargetDirExisted;
  }
  return EnterTargetDirectory(state);
}

int DirCmp::EnterTargetDirectory(TargetDir& state) {
  if (state.own_entry != nullptr)
    state.own_entry->data.dwFileAttributes &= ~kPlaceholderMark;
  return OnEnterTargetDirectory();
}

std::wstring DirCmp::SourceNameAsCompared(const FindData& source) const {
  return Settings().lowerCaseNames ? source.NameKey : std::wstring(source.LongName());
}

int DirCmp::LeaveDirectory() {
  TargetDir* state = TopTargetDir();
  if (state == nullptr || state->parent == nullptr)
    return 1;
  BuildTargetPath(Settings().lowerCaseNames ? ToLowerAscii(relative_path_) : relative_path_);
  int result = OnLeaveTargetDirectory();
  std::unique_ptr<TargetDir> popped = PopTargetDir();
  popped->parent->dir_map.erase(ToLowerAscii(popped->name));
  return result;
}

void DirCmp::PrintStatistics() {
  PrintScanStatistics();
  if (mismatched_files_ != 0)
    LogText(L"%-42s: %ld\n", L"Number of MisMatched files", mismatched_files_);
  if (mismatched_dirs_ != 0)
    LogText(L"%-42s: %ld\n", L"Number of MisMatched directories", mismatched_dirs_);
}

// --- The difference report ---

int DirCmp::OnEnterTargetDirectory() {
  LogInfo(L"Entering directory %s\n", target_path_);
  return 1;
}

int DirCmp::OnLeaveTargetDirectory() {
  LogInfo(L"Leaving directory %s\n", target_path_);
  return 1;
}

std::unique_ptr<FindData> DirCmp::OnTargetDirectoryMissing() {
  LogInfo(L"%s directory does not exist\n", target_path_);
  return nullptr;
}

void DirCmp::OnDirectoryNewer() {
  LogInfo(L"%s directory is newer than %s directory\n", current_path_, target_path_);
}

void DirCmp::OnDirectorySameAge() {
  LogInfo(L"%s directory and %s directory have the same age\n", current_path_, target_path_);
}

void DirCmp::OnDirectoryCaseDiffers(const std::wstring& name) {
  LogInfo(L"%s directory name and %s directory name are case different\n", current_path_,
          target_path_);
}

void DirCmp::OnDirectoryOlder() {
  LogInfo(L"%s directory is older than %s directory\n", current_path_, target_path_);
}

void DirCmp::OnFileSameDate(FindData& target) {
  if (current_entry_->FileSize() == target.FileSize()) {
    LogInfo(L"%s and %s files are identical\n", current_path_, target_path_);
  } else {
    LogInfo(L"%s and %s files have same date but not same size !\n", current_path_, target_path_);
  }
}

void DirCmp::OnFileCaseDiffers(FindData& target) {
  LogInfo(L"%s file name and %s file name are case different\n", current_path_, target_path_);
}

void DirCmp::OnFileNewer(FindData& target) {
  LogInfo(L"%s file is newer than %s file\n", current_path_, target_path_);
}

int DirCmp::OnTargetFileMissing() {
  LogInfo(L"%s file does not exist\n", target_path_);
  return 1;
}

void DirCmp::OnFileOlder(FindData& target) {
  LogInfo(L"%s file is older than %s file\n", current_path_, target_path_);
}

int DirCmp::OnShouldBeDirectory() {
  LogInfo(L"MisMatched error: %s pathname should be a directory\n", target_path_);
  ++mismatched_files_;
  return 1;
}

int DirCmp::OnShouldBeFile(FindData& target) {
  LogInfo(L"MisMatched error: %s pathname should be a file\n", target_path_);
  ++mismatched_dirs_;
  return 1;
}

DirRef* DirCmp::CreateDirRef(const std::wstring& target_path, const FindData* entry,
                             DirRef* parent) {
  return nullptr;
}

DirRef* DirCmp::QueueDirRef(const std::wstring& target_path, const FindData* entry,
                            DirRef* parent) {
  return nullptr;
}

}  // namespace tarvik
