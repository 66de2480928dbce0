// The fixed pool of worker threads of a run. One worker starts at the source
// root; while it walks, it offers sub-directories (role TREE), single files
// (FILE) and extra target directories (PURGE) to free workers, and does the
// work itself when none is free. The run is over when the last busy worker
// returns to the pool.
#ifndef TARVIK_COPY_WORKER_POOL_H_
#define TARVIK_COPY_WORKER_POOL_H_

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "copy/auto_reset_event.h"
#include "platform/win_types.h"

namespace tarvik {

enum class WorkerRole : int32_t { kFree = 0, kTree = 1, kFile = 2, kPurge = 3 };

class WorkerPool;

// The thread base of a worker: a thread that waits for its start event and
// runs one task per wake until the pool ends the run.
class PoolWorker {
 public:
  PoolWorker() = default;
  virtual ~PoolWorker() = default;
  PoolWorker(const PoolWorker&) = delete;
  PoolWorker& operator=(const PoolWorker&) = delete;

  // 0-based order of construction.
  uint32_t threadNumber() const { return threadNumber_; }
  // Set by the pool under its lock before the wake; read by the worker after.
  WorkerRole role() const { return role_; }
  // 0 until the thread has started.
  DWORD systemThreadId() const { return threadId_.load(std::memory_order_acquire); }

  // Sets the start event: one call starts exactly one task.
  void SignalStart() { startEvent_.Set(); }

 protected:
  // Runs the task of the current role and ends with pool()->ReleaseWorker(this).
  virtual void RunTask() = 0;
  WorkerPool* pool() const { return pool_; }

 private:
  friend class WorkerPool;
  void ThreadMain();

  WorkerPool* pool_ = nullptr;
  uint32_t threadNumber_ = 0;
  WorkerRole role_ = WorkerRole::kFree;
  std::atomic<DWORD> threadId_{0};
  AutoResetEvent startEvent_;
  std::thread thread_;
};

class WorkerPool {
 public:
  using Factory =
      std::function<std::unique_ptr<PoolWorker>(WorkerPool& pool, uint32_t thread_number)>;

  // Builds count workers and starts their threads; each waits for a task.
  WorkerPool(uint32_t count, const Factory& factory);
  // Ends and joins every thread still running.
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Moves a free worker to the busy list, or returns null: when none is free,
  // or for TREE and PURGE when the TREE limit is reached.
  PoolWorker* TakeWorker(WorkerRole role);
  // Returns a busy worker to the free list; the release that empties the
  // busy list ends the run and wakes every free worker to end its thread.
  void ReleaseWorker(PoolWorker* worker);
  // Waits until every worker thread has ended.
  void WaitForWorkers();

  // "TH%.3d : " with the 1-based worker number, 0 for another thread.
  std::wstring WorkerPrefix(DWORD thread_id) const;

  // The one lock over the pool's lists and every DirRef count.
  std::mutex& lock() { return lock_; }
  bool terminating() const { return terminate_.load(std::memory_order_acquire); }
  uint32_t size() const { return static_cast<uint32_t>(workers_.size()); }
  uint32_t treeLimit() const { return treeLimit_; }
  PoolWorker* worker(uint32_t index) const { return workers_[index].get(); }

  // For tests: the current TREE and FILE counts.
  uint32_t TreeCountForTesting();
  uint32_t FileCountForTesting();

 private:
  friend class PoolWorker;
  void EndRun();
  // Called by each worker thread as it starts: maps its id to its number.
  void RegisterThread(DWORD thread_id, uint32_t number);

  std::mutex lock_;
  std::vector<std::unique_ptr<PoolWorker>> workers_;
  std::deque<PoolWorker*> free_;
  std::vector<PoolWorker*> busy_;
  uint32_t treeCount_ = 0;
  uint32_t fileCount_ = 0;
  uint32_t treeLimit_ = 1;
  std::atomic<bool> terminate_{false};

  // Written while the threads start, read by the log writer; never held
  // while logging.
  mutable std::mutex idsLock_;
  std::unordered_map<DWORD, uint32_t> numbers_;
};

// The process-wide pool of the threaded run (null when none).
WorkerPool* ThePool();
// Installs pool as the process-wide pool (null removes it) and makes the log
// prefix follow it.
void SetThePool(std::unique_ptr<WorkerPool> pool);
// Ends the threads of the process-wide pool and frees it.
void DestroyWorkerPool();
// The log prefix of a thread: empty without a pool.
std::wstring WorkerPrefix(DWORD thread_id);

}  // namespace tarvik

#endif  // TARVIK_COPY_WORKER_POOL_H_
