// DirCopyThread: a complete copy engine running on a worker thread of the
// pool. It takes one task at a time: a whole sub-tree (TREE), one file
// (FILE) or an extra target directory (PURGE), handed over by the worker
// that found it, and returns to the pool when the task is done.
#ifndef TARVIK_COPY_DIR_COPY_THREAD_H_
#define TARVIK_COPY_DIR_COPY_THREAD_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "copy/auto_reset_event.h"
#include "copy/dir_copy.h"
#include "copy/pool_lock.h"
#include "copy/worker_pool.h"

namespace tarvik {

class DirCopyThread : public DirCopy, public PoolWorker {
 public:
  explicit DirCopyThread(std::mutex* pool_lock);
  ~DirCopyThread() override;

  // --- Overrides ---
  uint32_t GetThreadNumber() const override;
  // The walk's end of a TREE task: the task end is stamped here; the counters
  // reach the run totals once the whole task is over (MergeStatistics).
  void PrintStatistics() override;
  DirScan* GetFileWorker() override;
  DirScan* GetTreeWorker() override;
  DirScan* GetPurgeWorker() override;
  void TakeDirectory(DirScan* scanner, std::unique_ptr<FindData> entry,
                     std::unique_ptr<FindData> target_entry, int announced) override;
  void TakeFile(DirScan* scanner, std::unique_ptr<FindData> entry,
                std::unique_ptr<FindData> target_entry) override;
  void TakePurge(DirScan* scanner) override;
  void AttachDirRef(DirRef** out, DirRef* dir_ref, PoolLock* lock) override;
  void ReleaseDirRef(DirRef** place) override;
  void Wake() override;
  PoolLock* GetPool() override;
  DirRef* CreateDirRef(const std::wstring& target_path, const FindData* entry,
                       DirRef* parent) override;
  DirRef* QueueDirRef(const std::wstring& target_path, const FindData* entry,
                      DirRef* parent) override;
  DirRef* CreatePurgeDirRef(const std::wstring& target_path, const FindData* entry,
                            DirRef* parent) override;
  void PrintBanner() override;
  void PrintSidCacheStats() override;
  DWORD GetThreadId() const override;
  // The transfer window: ask before the data, report its end.
  void RequestTransfer(uint64_t size) override;
  void NotifyWaitingForSpace() override;
  void EndTransfer() override;

  // The driver counts the root directory as the first tree hand-over.
  void set_trees_taken(int32_t count) { treesTaken_ = count; }
  int32_t files_taken() const { return filesTaken_; }
  int32_t trees_taken() const { return treesTaken_; }

 protected:
  void RunTask() override;

 private:
  void RunRole();
  void ReleaseTaskStates();
  void MergeStatistics();
  void ResetForNextTask();
  void CompleteDirRef(DirRef* ref);
  void SyncDirectoryDates(const DirRef& ref);
  void RemovePurgedDirectory(const DirRef& ref);
  DirCopyThread* Take(WorkerRole role);
  static DirRef* NewDirRef(const std::wstring& target_path, const FindData* entry, DirRef* parent,
                           int32_t remove_when_released);

  PoolLock lock_;
  AutoResetEvent transferEvent_;  // signalled by the transfer window
  int32_t filesTaken_ = 0;
  int32_t treesTaken_ = 0;
  int64_t taskStart_ = 0;
  int64_t taskEnd_ = 0;
  // The priority this worker's thread runs at, so that a task of the same
  // role as the last one costs no system call.
  std::optional<int> priority_;
};

// Builds the process-wide pool of count workers (nothing when it exists),
// and sizes the run totals for them.
void CreateWorkerPool(uint32_t count);

// The worker behind a pool slot.
DirCopyThread* AsCopyThread(PoolWorker* worker);

}  // namespace tarvik

#endif  // TARVIK_COPY_DIR_COPY_THREAD_H_
