#include "copy/dir_copy_thread.h"

#include "copy/dir_ref.h"
#include "copy/engine_state.h"
#include "copy/run_statistics.h"
#include "copy/transfer_arbiter.h"
#include "log/log.h"
#include "settings/copy_settings.h"
#include "util/abort.h"
#include "util/text.h"

namespace tarvik {
namespace {

// Removing a purged directory is tried this many times.
constexpr int kRemoveTries = 100;

// The identity printed in the hand-over debug lines.
uint32_t Identity(const void* object) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(object));
}

float TicksToMs(int64_t ticks, int64_t frequency) {
  return frequency > 0 ? static_cast<float>(ticks) / static_cast<float>(frequency) * 1000.0f : 0.0f;
}

int64_t Frequency() {
  LARGE_INTEGER frequency{};
  Os::Current().QueryPerformanceFrequency(&frequency);
  return frequency.QuadPart;
}

}  // namespace

DirCopyThread* AsCopyThread(PoolWorker* worker) {
  return static_cast<DirCopyThread*>(worker);
}

void CreateWorkerPool(uint32_t count) {
  if (ThePool() != nullptr)
    return;
  TheRunStatistics().Reset(count, Frequency());
  SetThePool(std::make_unique<WorkerPool>(count, [](WorkerPool& pool, uint32_t) {
    return std::unique_ptr<PoolWorker>(new DirCopyThread(&pool.lock()));
  }));
}

DirCopyThread::DirCopyThread(std::mutex* pool_lock) : lock_(pool_lock) {}

DirCopyThread::~DirCopyThread() = default;

uint32_t DirCopyThread::GetThreadNumber() const {
  return threadNumber();
}

DWORD DirCopyThread::GetThreadId() const {
  return systemThreadId();
}

PoolLock* DirCopyThread::GetPool() {
  return &lock_;
}

void DirCopyThread::PrintStatistics() {
  if (Timed())
    taskEnd_ = Now();
}

void DirCopyThread::PrintBanner() {
  if (ClaimBanner())
    DirCopy::PrintBanner();
}

void DirCopyThread::PrintSidCacheStats() {}

void DirCopyThread::RequestTransfer(uint64_t size) {
  if (QuotaThread* arbiter = TheQuotaThread())
    arbiter->AcquireTransfer(&transferEvent_, size, threadNumber());
}

void DirCopyThread::NotifyWaitingForSpace() {
  if (QuotaThread* arbiter = TheQuotaThread())
    arbiter->PostRefresh();
}

void DirCopyThread::EndTransfer() {
  if (QuotaThread* arbiter = TheQuotaThread())
    arbiter->ReleaseTransfer(threadNumber());
}

void DirCopyThread::Wake() {
  if (ClaimRunStart())
    TheRunStatistics().StampRunStart(Now());
  SignalStart();
}

// --- Taking workers ---

DirCopyThread* DirCopyThread::Take(WorkerRole role) {
  PoolWorker* worker = pool()->TakeWorker(role);
  return worker != nullptr ? AsCopyThread(worker) : nullptr;
}

DirScan* DirCopyThread::GetFileWorker() {
  // A file the comparison leaves alone costs the walker a look at two
  // entries, less than waking a worker for it: a re-run over an unchanged
  // tree would otherwise spend most of its time handing files over.
  if (LeavesCurrentFileAlone())
    return nullptr;
  return Take(WorkerRole::kFile);
}

DirScan* DirCopyThread::GetTreeWorker() {
  return Take(WorkerRole::kTree);
}

DirScan* DirCopyThread::GetPurgeWorker() {
  return Take(WorkerRole::kPurge);
}

// --- Hand-overs: they run on the scanning worker's thread and write into
// this worker's engine before its Wake. ---

void DirCopyThread::TakeDirectory(DirScan* scanner, std::unique_ptr<FindData> entry,
                                  std::unique_ptr<FindData> target_entry, int announced) {
  const CopySettings& s = Settings();
  ++treesTaken_;
  resultBits_ = 0;
  const std::wstring relative = scanner->relative_path();
  source_root_ = scanner->source_root() + relative;
  source_root_long_ = scanner->source_root_long() + relative;
  target_root_ = *scanner->GetTargetRoot() + relative;
  target_root_long_ = *scanner->GetTargetRootLong() + relative;
  if (announced == 0) {
    const std::wstring name(entry->LongName());
    const std::wstring target_name = s.lowerCaseNames ? ToLowerAscii(name) : name;
    source_root_ += name + L"\\";
    source_root_long_ += name + L"\\";
    target_root_ += target_name + L"\\";
    target_root_long_ += target_name + L"\\";
  }
  relative_path_.clear();
  BuildCurrentPath();
  BuildTargetPath(L"");
  max_depth_ = scanner->max_depth();
  depth_ = scanner->depth() + 1;
  deepest_depth_ = depth_;
  if (s.debugThreads) {
    LogInfo(L"%s  Tree from thread id %d, currentinfo 0x%x.", L"", scanner->GetThreadNumber(),
            Identity(entry.get()));
  }

  TargetDir* scanner_state = scanner->GetTargetDir();
  auto state = std::make_unique<TargetDir>();
  state->name =
      std::wstring(target_entry != nullptr ? target_entry->LongName() : entry->LongName());
  if ((target_entry != nullptr && target_entry->IsReparsePoint()) ||
      (scanner_state != nullptr && (scanner_state->flags & kTargetDirBehindLink))) {
    state->flags |= kTargetDirBehindLink;
  }
  state->own_entry = std::move(target_entry);
  state->dir_ref = CreateDirRef(target_path_, entry.get(),
                                scanner_state != nullptr ? scanner_state->dir_ref : nullptr);
  state->parent = nullptr;
  DirRef* dir_ref = state->dir_ref;
  PushTargetDir(std::move(state));
  current_entry_ = std::move(entry);
  AttachDirRef(nullptr, dir_ref, scanner->GetPool());
}

void DirCopyThread::TakeFile(DirScan* scanner, std::unique_ptr<FindData> entry,
                             std::unique_ptr<FindData> target_entry) {
  ++filesTaken_;
  resultBits_ = 0;
  source_root_ = scanner->source_root();
  source_root_long_ = scanner->source_root_long();
  current_path_ = scanner->current_path();
  current_path_long_ = scanner->current_path_long();
  current_entry_ = std::move(entry);

  // The source directory, for the decisions that look at it (compression).
  auto level = std::make_unique<DirLevel>();
  if (DirLevel* scanner_level = scanner->GetLevel()) {
    level->attributes = scanner_level->attributes;
    if (scanner_level->own_entry != nullptr)
      level->own_entry = std::make_unique<FindData>(*scanner_level->own_entry);
  }
  PushLevel(std::move(level));

  auto state = std::make_unique<TargetDir>();
  if (TargetDir* scanner_state = scanner->GetTargetDir()) {
    state->flags = scanner_state->flags;
    state->dir_ref = scanner_state->dir_ref;
    state->name = scanner_state->name;
    if (scanner_state->own_entry != nullptr)
      state->own_entry = std::make_unique<FindData>(*scanner_state->own_entry);
  }
  DirRef* dir_ref = state->dir_ref;
  if (target_entry != nullptr) {
    if (target_entry->NameKey.empty())
      target_entry->MakeNameKey();
    const std::wstring key = target_entry->NameKey;
    state->file_map.emplace(key, std::move(target_entry));
  }
  PushTargetDir(std::move(state));
  AttachDirRef(nullptr, dir_ref, scanner->GetPool());

  target_root_ = *scanner->GetTargetRoot();
  target_root_long_ = *scanner->GetTargetRootLong();
  relative_path_ = scanner->relative_path();
  BuildTargetPath(relative_path_);
  if (Settings().debugThreads) {
    LogInfo(L"%s File from thread id %d, currentinfo 0x%x.", current_path_,
            scanner->GetThreadNumber(), Identity(scanner->GetLevel()));
  }
}

void DirCopyThread::TakePurge(DirScan* scanner) {
  ++treesTaken_;
  resultBits_ = 0;
  max_depth_ = scanner->max_depth();
  // A purged directory always lies below a kept one: /preserveroot, which
  // keeps the extras of the root level, has nothing to keep here.
  depth_ = scanner->depth() + 1;
  source_root_.clear();
  source_root_long_.clear();
  auto state = std::make_unique<TargetDir>();
  TargetDir* scanner_state = scanner->GetTargetDir();
  if (scanner_state != nullptr) {
    state->flags = scanner_state->flags;
    state->dir_ref = scanner_state->dir_ref;
    state->name = scanner_state->name;
    if (scanner_state->own_entry != nullptr)
      state->own_entry = std::make_unique<FindData>(*scanner_state->own_entry);
  }
  DirRef* dir_ref = state->dir_ref;
  PushTargetDir(std::move(state));
  AttachDirRef(nullptr, dir_ref, &lock_);
  target_root_ = *scanner->GetTargetRoot();
  target_root_long_ = *scanner->GetTargetRootLong();
  relative_path_ = scanner->relative_path();
  BuildTargetPath(relative_path_);
  if (Settings().debugThreads) {
    LogInfo(L"%s  Purge from thread id %d, currentinfo 0x%x.", L"", scanner->GetThreadNumber(),
            Identity(scanner_state));
  }
}

// --- DirRefs ---

DirRef* DirCopyThread::NewDirRef(const std::wstring& target_path, const FindData* entry,
                                 DirRef* parent, int32_t remove_when_released) {
  auto* ref = new DirRef;
  if (entry != nullptr) {
    ref->creationTime = entry->data.ftCreationTime;
    ref->lastAccessTime = entry->data.ftLastAccessTime;
    ref->lastWriteTime = entry->data.ftLastWriteTime;
    ref->attributes = entry->attributes();
  }
  ref->path = target_path;
  ref->parent = parent;
  ref->removeWhenReleased = remove_when_released;
  return ref;
}

DirRef* DirCopyThread::CreateDirRef(const std::wstring& target_path, const FindData* entry,
                                    DirRef* parent) {
  return NewDirRef(target_path, entry, parent, 0);
}

DirRef* DirCopyThread::QueueDirRef(const std::wstring& target_path, const FindData* entry,
                                   DirRef* parent) {
  DirRef* ref = NewDirRef(target_path, entry, parent, 0);
  AttachDirRef(nullptr, ref, nullptr);
  return ref;
}

DirRef* DirCopyThread::CreatePurgeDirRef(const std::wstring& target_path, const FindData* entry,
                                         DirRef* parent) {
  DirRef* ref = NewDirRef(target_path, entry, parent, 1);
  AttachDirRef(nullptr, ref, nullptr);
  return ref;
}

void DirCopyThread::AttachDirRef(DirRef** out, DirRef* dir_ref, PoolLock* lock) {
  if (out != nullptr)
    *out = dir_ref;
  if (dir_ref == nullptr)
    return;
  PoolLock* used = lock != nullptr ? lock : &lock_;
  int changed = 0;
  {
    std::lock_guard guard(used->mutex());
    changed = AttachDirRefChain(dir_ref);
  }
  TheRunStatistics().CountAttach(static_cast<uint32_t>(changed));
}

void DirCopyThread::ReleaseDirRef(DirRef** place) {
  if (place == nullptr || *place == nullptr)
    return;
  std::vector<DirRef*> completed;
  int changed = 0;
  {
    std::lock_guard guard(lock_.mutex());
    changed = ReleaseDirRefChain(*place, &completed);
  }
  TheRunStatistics().CountRelease(static_cast<uint32_t>(changed));
  for (DirRef* ref : completed) {
    if (!AbortRequested())
      CompleteDirRef(ref);
    delete ref;
  }
  *place = nullptr;
}

// Everything below the directory is done: its dates, or its removal.
void DirCopyThread::CompleteDirRef(DirRef* ref) {
  const CopySettings& s = Settings();
  if (ref->excludedFromPurge) {
    LogInfo(L"%s -> Directory excluded from purge.", ref->path);
  } else if (!ref->removeWhenReleased) {
    if (s.syncDirDates && !s.listOnly)
      SyncDirectoryDates(*ref);
  } else if (s.listOnly) {
    ++counters_.purgedDirectories;
    if (!s.quiet)
      LogInfo(L"%s -> Directory removed.", ref->path);
  } else {
    RemovePurgedDirectory(*ref);
  }
}

void DirCopyThread::SyncDirectoryDates(const DirRef& ref) {
  Os& os = Os::Current();
  const bool read_only = (ref.attributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (read_only)
    os.SetFileAttributesW(ref.path.c_str(), ref.attributes & ~FILE_ATTRIBUTE_READONLY);
  HANDLE handle = INVALID_HANDLE_VALUE;
  SetFileTimes(ref.path, &handle, &ref.creationTime, &ref.lastAccessTime, &ref.lastWriteTime);
  if (read_only)
    os.SetFileAttributesW(ref.path.c_str(), ref.attributes);
}

void DirCopyThread::RemovePurgedDirectory(const DirRef& ref) {
  const CopySettings& s = Settings();
  Os& os = Os::Current();
  bool removable = true;
  if (ref.attributes & FILE_ATTRIBUTE_READONLY)
    removable = os.SetFileAttributesW(ref.path.c_str(), ref.attributes & ~FILE_ATTRIBUTE_READONLY);
  for (int attempt = 0; removable && attempt < kRemoveTries; ++attempt) {
    Os::SetLastError(0);
    if (os.RemoveDirectoryW(ref.path.c_str())) {
      ++counters_.purgedDirectories;
      if (!s.quiet)
        LogInfo(L"%s -> Directory removed.", ref.path);
      return;
    }
    os.Sleep(pool()->size());
  }
  ++counters_.purgedDirectoriesFailed;
  LogWarning(L"%s -> Directory removing failed.", ref.path);
}

// --- The task ---

void DirCopyThread::RunTask() {
  const CopySettings& s = Settings();
  if (Timed())
    taskStart_ = Now();
  const int priority =
      role() == WorkerRole::kFile ? THREAD_PRIORITY_HIGHEST : THREAD_PRIORITY_NORMAL;
  if (priority_ != priority) {
    Os::Current().SetCurrentThreadPriority(priority);
    priority_ = priority;
  }
  const WorkerRole task_role = role();
  RunRole();
  ReleaseTaskStates();
  if (s.debugThreads) {
    LogInfo(task_role == WorkerRole::kFile    ? L"%s -> File thread ended."
            : task_role == WorkerRole::kPurge ? L"%s -> Purge thread ended."
                                              : L"%s -> Tree thread ended.",
            target_path_);
  }
  MergeStatistics();
  ResetForNextTask();
  pool()->ReleaseWorker(this);
}

void DirCopyThread::RunRole() {
  try {
    switch (role()) {
      case WorkerRole::kTree:
        RunEngine();
        break;
      case WorkerRole::kFile:
        OnFile();
        break;
      case WorkerRole::kPurge:
        PurgeHandedDirectory();
        break;
      case WorkerRole::kFree:
        break;
    }
  } catch (const DirScanException& e) {
    // A walk reports and counts its own failures; what reaches here ended
    // the task early.
    ReportException(e);
    resultBits_ |= kResultCritical;
    if (e.IsFatal() || !Settings().continueOnError)
      RequestAbort();
  } catch (const std::exception& e) {
    LogText(L"Tarvik failure : %hs\n", e.what());
    resultBits_ |= kResultCritical;
    RequestAbort();
  }
}

// Takes the task's target states off the stack and releases their DirRefs;
// states above the task's own one mean that the walk stopped early.
void DirCopyThread::ReleaseTaskStates() {
  if (target_dirs_.empty())
    return;
  std::unique_ptr<TargetDir> task_state = std::move(target_dirs_.front());
  target_dirs_.erase(target_dirs_.begin());
  ReleaseDirRef(&task_state->dir_ref);
  task_state.reset();
  if (!target_dirs_.empty())
    LogWarning(L"%s -> directory partially processed.", source_root_);
  while (!target_dirs_.empty()) {
    std::unique_ptr<TargetDir> state = PopTargetDir();
    ReleaseDirRef(&state->dir_ref);
  }
}

void DirCopyThread::MergeStatistics() {
  const CopySettings& s = Settings();
  TaskReport task;
  task.copy = counters_;
  task.scan.sameAge = same_age_count();
  task.scan.sourceOlder = source_older_count();
  task.scan.sourceNewer = source_newer_count();
  task.scan.filesRecovered = recovery_count();
  task.scan.filesFound = files_found();
  task.scan.directoriesFound = dirs_found();
  task.scan.deepestLevel = static_cast<uint32_t>(deepest_depth());
  task.scan.findLoops = directory_listings();
  task.scan.objectsSorted = objects_sorted();
  task.scan.sortTime = total_sort_duration();
  task.scan.getInfoCalls = information_queries();
  task.scan.directoryTimeErrors = time_setting_failures();
  task.scan.mismatchedFiles = mismatched_files();
  task.scan.mismatchedDirectories = mismatched_dirs();
  task.scan.directoryReadsFailed = directory_reads_failed();
  task.scan.findTime = search_time();
  task.scan.findCount = static_cast<int32_t>(searches_timed());
  task.filesTaken = filesTaken_;
  task.treesTaken = treesTaken_;
  task.resultBits = resultBits_;
  if (!Timed()) {
    TheRunStatistics().Merge(task, threadNumber(), nullptr);
    return;
  }
  if (role() != WorkerRole::kTree || taskEnd_ == 0)
    taskEnd_ = Now();
  DirCopyStats timings;
  timings.runningTime = taskEnd_ - taskStart_;
  timings.copyTime = counters_.copyTime;
  timings.deleteTime = counters_.deleteTime;
  timings.findTime = search_time();
  timings.byteCount = static_cast<int64_t>(counters_.bytesCopied);
  timings.copyCount = counters_.copyCount;
  timings.deleteCount = counters_.deleteCount;
  timings.findCount = static_cast<int32_t>(searches_timed());
  TheRunStatistics().Merge(task, threadNumber(), &timings);
  if (s.debugResults) {
    const int64_t frequency = TheRunStatistics().Snapshot().frequency;
    const float copy_ms = TicksToMs(counters_.copyTime, frequency);
    const float bitrate =
        counters_.bytesCopied != 0 && copy_ms > 0
            ? static_cast<float>(counters_.bytesCopied) / copy_ms * 1000.0f / 1024.0f
            : 0.0f;
    LogInfo(
        L"time : %12.3f ms     cp dur : %12.3f ms     br : %10.3f KB/s     size : %12I64d     "
        L"dir : %5d     file cp : %5d",
        TicksToMs(taskEnd_ - taskStart_, frequency), copy_ms, bitrate,
        static_cast<int64_t>(counters_.bytesCopied), dirs_found(), counters_.filesCopied);
  }
}

void DirCopyThread::ResetForNextTask() {
  ResetScan();
  current_entry_.reset();
  ResetCopyCounters();
  filesTaken_ = 0;
  treesTaken_ = 0;
  taskStart_ = 0;
  taskEnd_ = 0;
}

}  // namespace tarvik
