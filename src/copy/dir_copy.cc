#include "copy/dir_copy.h"

#include "common/sid_cache.h"
#include "copy/engine_state.h"
#include "copy/root_setup.h"
#include "copy/run_statistics.h"
#include "log/log.h"
#include "settings/copy_settings.h"
#include "util/abort.h"

namespace tarvik {
namespace {

// A server copies data itself only between its own shares: the servers of
// the two roots must have the same name, letter for letter.
void CheckChunkCopy() {
  if (CurrentChunkMode() != kChunkModeServerCopy)
    return;
  const RunServers& servers = TheRunServers();
  if (servers.source.name != servers.target.name && SwitchChunkCopyOff())
    LogWarning(L"Chunk copy can't be activated, copy mode is set to sync");
}

}  // namespace

DirCopy::DirCopy() {
  slots_[0] = std::make_unique<IoSlot>();
  slots_[1] = std::make_unique<IoSlot>();
}

DirCopy::~DirCopy() = default;

void DirCopy::ResetCopyCounters() {
  counters_ = CopyCounters();
  resultBits_ = 0;
}

int DirCopy::ListingUsesWorkers() {
  return Settings().checkContentMode == kCheckBin ? 1 : 0;
}

void DirCopy::ReleaseLevels() {
  DirCmp::ReleaseLevels();
  streamInfo_.reset();
  streamInfoSize_ = 0;
}

void DirCopy::PrintStatistics() {
  DirCmp::PrintStatistics();
  ScanCounters scan;
  scan.sameAge = same_age_count();
  scan.sourceNewer = source_newer_count();
  scan.sourceOlder = source_older_count();
  scan.filesFound = files_found();
  scan.directoriesFound = dirs_found();
  scan.mismatchedFiles = mismatched_files();
  scan.mismatchedDirectories = mismatched_dirs();
  scan.directoryReadsFailed = directory_reads_failed();
  LogText(L"%s", SummaryResultsText(counters_, scan, Settings(), 0));
}

void DirCopy::PrintBanner() {
  CheckChunkCopy();
  const CopySettings& s = Settings();
  if (s.listOnly) {
    LogText(L"\nProcessing the evaluation of the copy from %s to %s ...\n\n", source_root_,
            target_root_);
    return;
  }
  const wchar_t* what = s.backupSD    ? L"backup of security"
                        : s.restoreSD ? L"restore of security"
                                      : L"copy";
  LogText(L"\nProcessing the %s from %s to %s ...\n\n", what, source_root_, target_root_);
}

void DirCopy::PrintSidCacheStats() {
  PrintSidCacheStatistics();
}

DWORD DirCopy::GetThreadId() const {
  return 0;
}

void DirCopy::RequestTransfer(uint64_t) {}
void DirCopy::NotifyWaitingForSpace() {}
void DirCopy::EndTransfer() {}

DirRef* DirCopy::CreatePurgeDirRef(const std::wstring&, const FindData*, DirRef*) {
  return nullptr;
}

uint32_t DirCopy::RunEngine() {
  PrintBanner();
  if (FindSubDir() != 0)
    resultBits_ |= kResultCritical;
  if (Settings().debug)
    PrintSidCacheStats();
  if (mismatched_files() != 0 || mismatched_dirs() != 0)
    resultBits_ |= kResultMismatch;
  if ((resultBits_ & kResultDataError) && counters_.directoriesCreated == 0 &&
      counters_.filesCopied == 0) {
    resultBits_ |= kResultCritical;
  }
  return resultBits_;
}

// --- Directory events: the named streams and renames come later; the
// walk only needs the directory to exist, which OnTargetDirectoryMissing and
// OnEnterTargetDirectory see to. ---

int DirCopy::OnLeaveTargetDirectory() {
  if (TargetDir* state = TopTargetDir())
    ReleaseDirRef(&state->dir_ref);
  return 1;
}

// --- File events ---

bool DirCopy::CopyDecided(FindData* target, bool is_new) {
  const CopySettings& s = Settings();
  if (!CopyOneFile(target, is_new))
    return false;
  // A listing copies nothing, so there is nothing new to compare.
  if (s.checkContentMode != kCheckBin || s.listOnly)
    return true;
  return CompareContent();
}

int DirCopy::OnTargetFileMissing() {
  return CopyDecided(nullptr, true) ? 1 : 0;
}

void DirCopy::OnFileNewer(FindData& target) {
  CopyDecided(&target, false);
}

void DirCopy::OnFileOlder(FindData& target) {
  const CopySettings& s = Settings();
  if (s.differentOnly || !s.timeSelection) {
    CopyDecided(&target, false);
    return;
  }
  if (s.ignoreStubra)
    AttributeOnlyUpdate(target, true);
}

void DirCopy::OnFileSameDate(FindData& target) {
  const CopySettings& s = Settings();
  FindData* source = current_entry();
  bool done;
  if (s.timeSelection && (!s.differentOnly || source->FileSize() == target.FileSize())) {
    const bool security_done = SecurityStep(false, false, source->IsReparsePoint());
    done = AttributeOnlyUpdate(target, false) && security_done;
  } else {
    done = CopyDecided(&target, false);
    if (!s.listOnly)
      return;  // a real copy was compared by CopyDecided
  }
  // A file left alone because of its date is compared as it is, also in a
  // listing, where the comparison is all that is done with it.
  if (done && s.checkContentMode == kCheckBin)
    CompareContent();
}

bool DirCopy::LeavesCurrentFileAlone() const {
  // The cases below are those where OnFileSameDate and OnFileOlder do
  // nothing. A case misjudged either way only changes which thread runs
  // OnFile for the file, never what OnFile does.
  const CopySettings& s = Settings();
  if (!s.timeSelection || s.ignoreStubra || s.checkContentMode == kCheckBin ||
      (s.securityMode != SecurityMode::None && s.securityMode != SecurityMode::Copy)) {
    return false;
  }
  const TargetDir* state = TopTargetDir();
  const FindData* source = current_entry();
  if (state == nullptr || !state->existed() || source == nullptr)
    return false;
  const FindData* target = state->FindFile(source->NameKey);
  if (target == nullptr || target->IsDirectory() ||
      NamesDifferInCase(*source, target->LongName())) {
    return false;
  }
  switch (CompareTimes(*target)) {
    case kSameAge:
      return (!s.differentOnly || source->FileSize() == target->FileSize()) &&
             source->attributes() == target->attributes();
    case kSourceOlder:
      return !s.differentOnly;
    default:
      return false;
  }
}

// The attribute-only branch of /d: the data is left alone, the attributes
// follow the source (without the offline bit with /ignorestubra).
bool DirCopy::AttributeOnlyUpdate(FindData& target, bool symlink_tag_only) {
  const CopySettings& s = Settings();
  FindData* source = current_entry();
  if (s.ignoreStubra)
    source->data.dwFileAttributes &= ~FILE_ATTRIBUTE_OFFLINE;
  if (s.listOnly || source->attributes() == target.attributes())
    return true;
  auto count_failure = [&] {
    const bool link =
        symlink_tag_only ? source->HasReparseTag(IO_REPARSE_TAG_SYMLINK) : source->IsReparsePoint();
    if (link)
      ++counters_.fileLinksFailed;
    else
      ++counters_.fileCopiesFailed;
    resultBits_ |= kResultDataError;
  };
  try {
    if (ApplyAttributes())
      return true;
  } catch (const DirScanException&) {
    count_failure();  // the walk reports it and stops
    throw;
  }
  count_failure();
  return false;
}

void DirCopy::SleepUnlessAborted(DWORD milliseconds) {
  for (DWORD slept = 0; slept < milliseconds && !AbortRequested(); slept += 100)
    Os::Current().Sleep(100);
}

void DirCopy::WaitForSpace(bool* waiting, const std::wstring& message) {
  if (!*waiting) {
    *waiting = true;
    NotifyWaitingForSpace();
    LogWarning(L"%s", message);
  }
  SleepUnlessAborted(2000);
}

void DirCopy::AbortOnFullDisk(const std::wstring& path) {
  RequestAbort();
  LogError(ERROR_DISK_FULL, L"%s -> No space left on device.", path);
  throw DirScanException(kAborted, L"");
}

bool DirCopy::Timed() const {
  return Settings().debugResults || Settings().debugStats;
}

int64_t DirCopy::Now() const {
  LARGE_INTEGER now{};
  Os::Current().QueryPerformanceCounter(&now);
  return now.QuadPart;
}

const FindData* DirCopy::SourceDirectoryEntry() const {
  DirLevel* level = TopLevel();
  return level != nullptr ? level->own_entry.get() : nullptr;
}

const FindData* DirCopy::TargetDirectoryEntry() const {
  TargetDir* state = TopTargetDir();
  return state != nullptr ? state->own_entry.get() : nullptr;
}

}  // namespace tarvik
