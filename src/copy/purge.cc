// The purge of target objects that have no source counterpart, and the case
// renames of targets that match their source only when case is ignored.
//
// A purge deletes; it is kept to what is certainly extra: nothing is purged
// after the source directory could not be read completely, nothing inside a
// target link (whatever it points to may lie outside the target tree), and
// no link is ever entered: a link is removed as it is.
#include "copy/dir_copy.h"
#include "copy/dir_ref.h"
#include "log/log.h"
#include "scan/dir_level.h"
#include "scan/name_filters.h"
#include "settings/copy_settings.h"
#include "util/abort.h"
#include "util/text.h"

namespace tarvik {

bool DirCopy::PurgeAllowed() const {
  const CopySettings& s = Settings();
  if (AbortRequested() || !s.purge || (s.preserveRoot && depth_ == 0))
    return false;
  const TargetDir* state = TopTargetDir();
  return state == nullptr || (state->flags & kTargetDirBehindLink) == 0;
}

bool DirCopy::SourceReadFailed() const {
  const DirLevel* level = TopLevel();
  return level != nullptr && level->state == LevelState::kReadFailed;
}

std::wstring DirCopy::TargetRelativePath() const {
  return Settings().lowerCaseNames ? ToLowerAscii(relative_path_) : relative_path_;
}

int DirCopy::OnTargetFilesLeft(TargetDir::EntryMap& files) {
  if (!PurgeAllowed())
    return 1;
  const std::wstring relative = TargetRelativePath();
  if (SourceReadFailed()) {
    BuildTargetPath(relative);
    LogWarning(L"%s -> error when browing source, file's purge can't be achieved.", target_path_);
    return 1;
  }
  bool all_deleted = true;
  for (auto& [key, entry] : files) {
    if (AbortRequested())
      break;
    BuildTargetPath(relative + std::wstring(entry->LongName()));
    if (!DeleteExtraFile(*entry, key, false))
      all_deleted = false;
  }
  files.clear();
  return all_deleted ? 1 : 0;
}

bool DirCopy::DeleteExtraFile(FindData& entry, std::wstring_view filter_name,
                              bool in_removed_directory) {
  const CopySettings& s = Settings();
  if (!in_removed_directory && NameFilters::IsExcludedFileName(filter_name)) {
    LogInfo(L"%s -> File excluded from purge.", target_path_);
    return true;
  }
  bool deleted = true;
  if (!s.listOnly) {
    Os& os = Os::Current();
    if (entry.attributes() & FILE_ATTRIBUTE_READONLY) {
      entry.data.dwFileAttributes &= ~FILE_ATTRIBUTE_READONLY;
      deleted = os.SetFileAttributesW(target_path_.c_str(), entry.attributes()) != FALSE;
    }
    deleted = deleted && os.DeleteFileW(target_path_.c_str());
  }
  if (!deleted) {
    ++counters_.purgedFilesFailed;
    LogWarning(L"%s -> File deletion failed.", target_path_);
    return false;
  }
  ++counters_.purgedFiles;
  if (!s.quiet)
    LogInfo(L"%s -> File deleted.", target_path_);
  return true;
}

bool DirCopy::DeleteListedFiles(TargetDir::EntryList& files) {
  bool all_deleted = true;
  for (std::unique_ptr<FindData>& entry : files) {
    if (AbortRequested())
      break;
    BuildTargetPath(relative_path_ + std::wstring(entry->LongName()));
    const std::wstring name(entry->LongName());
    if (!DeleteExtraFile(*entry, name, true))
      all_deleted = false;
  }
  files.clear();
  return all_deleted;
}

int DirCopy::OnDirectoryScanned() {
  TargetDir* state = TopTargetDir();
  if (state == nullptr || !PurgeAllowed())
    return 1;
  if (state->flags & kTargetDirPurged) {
    PurgeListedTree();
    return 1;
  }
  if (SourceReadFailed()) {
    BuildTargetPath(TargetRelativePath());
    LogWarning(L"%s -> error when browing source, tree's purge can't be achieved.", target_path_);
    state->dir_map.clear();
    return 1;
  }
  // The purge walks the target under its own spelling of the names.
  const std::wstring walked_relative = relative_path_;
  relative_path_ = TargetRelativePath();
  while (!state->dir_map.empty() && !AbortRequested()) {
    auto first = state->dir_map.begin();
    std::unique_ptr<FindData> entry = std::move(first->second);
    state->dir_map.erase(first);
    // A directory made by this run for a source directory is not extra.
    if (entry->IsPlaceholder())
      continue;
    const bool excluded = NameFilters::IsExcludedDirName(entry->LongName());
    TargetDir& extra = PushPurgeDirectory(std::move(entry));
    if (excluded) {
      MarkExcludedFromPurge(extra);
    } else if (!extra.own_entry->IsReparsePoint()) {
      EmptyPurgedDirectory(extra);
      PurgeListedTree();
    }
    PopPurgeDirectory();
  }
  relative_path_ = walked_relative;
  return 1;
}

TargetDir& DirCopy::PushPurgeDirectory(std::unique_ptr<FindData> entry) {
  TargetDir* parent = TopTargetDir();
  auto state = std::make_unique<TargetDir>();
  state->parent = parent;
  state->flags = kTargetDirPurged;
  state->name = std::wstring(entry->LongName());
  relative_path_ += state->name + L"\\";
  BuildTargetPath(relative_path_);
  state->dir_ref = CreatePurgeDirRef(target_path_, entry.get(), parent->dir_ref);
  state->own_entry = std::move(entry);
  return *PushTargetDir(std::move(state));
}

void DirCopy::PopPurgeDirectory() {
  std::unique_ptr<TargetDir> state = PopTargetDir();
  relative_path_.resize(relative_path_.size() - state->name.size() - 1);
  ReleaseDirRef(&state->dir_ref);
}

void DirCopy::MarkExcludedFromPurge(TargetDir& state) {
  if (state.dir_ref != nullptr)
    state.dir_ref->excludedFromPurge = 1;
  else
    LogInfo(L"%s -> Directory excluded from purge.", target_path_);
}

void DirCopy::EmptyPurgedDirectory(TargetDir& state) {
  BuildTargetPath(relative_path_);
  ListTargetDirectory(state, true);
  DeleteListedFiles(state.file_list);
}

void DirCopy::PurgeHandedDirectory() {
  TargetDir* state = TopTargetDir();
  if (state == nullptr || !PurgeAllowed())
    return;
  EmptyPurgedDirectory(*state);
  PurgeListedTree();
}

// Depth first over the sub-directories listed in the directories being
// purged, from the top one down; whole sub-trees go to PURGE workers while
// there are any. A directory is removed when the last work inside it ends.
void DirCopy::PurgeListedTree() {
  TargetDir* start = TopTargetDir();
  for (;;) {
    TargetDir* top = TopTargetDir();
    if (top->sub_dir_list.empty() || AbortRequested()) {
      if (top == start)
        return;
      PopPurgeDirectory();
      continue;
    }
    std::unique_ptr<FindData> entry = std::move(top->sub_dir_list.front());
    top->sub_dir_list.erase(top->sub_dir_list.begin());
    TargetDir& extra = PushPurgeDirectory(std::move(entry));
    // A link goes as it is, without a look at what it points to.
    if (extra.own_entry->IsReparsePoint())
      continue;
    DirScan* worker = GetPurgeWorker();
    if (worker == nullptr) {
      EmptyPurgedDirectory(extra);
      continue;
    }
    worker->TakePurge(this);
    worker->Wake();
    PopPurgeDirectory();
  }
}

}  // namespace tarvik
