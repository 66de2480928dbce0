#include "copy/worker_pool.h"

#include <algorithm>

#include "copy/run_statistics.h"
#include "log/log.h"
#include "platform/os.h"
#include "settings/copy_settings.h"

namespace tarvik {
namespace {

const wchar_t* RoleName(WorkerRole role) {
  return role == WorkerRole::kFile ? L"FILE" : L"TREE";
}

bool IsTreeRole(WorkerRole role) {
  return role == WorkerRole::kTree || role == WorkerRole::kPurge;
}

struct PoolSlot {
  std::mutex lock;  // guards the pointer, never held while logging
  std::unique_ptr<WorkerPool> pool;
};

PoolSlot& TheSlot() {
  static PoolSlot* slot = new PoolSlot;
  return *slot;
}

}  // namespace

void PoolWorker::ThreadMain() {
  // The worker's number is known before its first task, and only the worker
  // itself logs under its prefix. Its id shows only once it is registered,
  // so that whoever sees the id also finds its number.
  const DWORD id = Os::Current().GetCurrentThreadId();
  pool_->RegisterThread(id, threadNumber_ + 1);
  threadId_.store(id, std::memory_order_release);
  for (;;) {
    startEvent_.Wait();
    if (pool_->terminating()) {
      if (Settings().debugThreads) {
        LogInfo(L"Thread Terminaison requested.");
        LogText(L"Thread %2d : %s\n", threadNumber_, L"Thread terminated");
      }
      return;
    }
    RunTask();
  }
}

WorkerPool::WorkerPool(uint32_t count, const Factory& factory) {
  workers_.reserve(count);
  numbers_.reserve(count);
  // The threads start without the pool waiting for each: on a busy machine
  // every hand-shake would wait for a time slice, and a start event set
  // before the thread waits on it is kept until it does.
  for (uint32_t i = 0; i < count; ++i) {
    std::unique_ptr<PoolWorker> worker = factory(*this, i);
    worker->pool_ = this;
    worker->threadNumber_ = i;
    PoolWorker* raw = worker.get();
    raw->thread_ = std::thread(&PoolWorker::ThreadMain, raw);
    {
      std::lock_guard lock(lock_);
      free_.push_back(raw);
    }
    workers_.push_back(std::move(worker));
  }
  treeLimit_ = count * 30 / 100 + 1;
}

void WorkerPool::RegisterThread(DWORD thread_id, uint32_t number) {
  std::lock_guard lock(idsLock_);
  numbers_[thread_id] = number;
}

WorkerPool::~WorkerPool() {
  bool running = false;
  for (const auto& worker : workers_)
    running = running || worker->thread_.joinable();
  if (running) {
    terminate_.store(true, std::memory_order_release);
    for (const auto& worker : workers_)
      worker->SignalStart();
    WaitForWorkers();
  }
}

PoolWorker* WorkerPool::TakeWorker(WorkerRole role) {
  PoolWorker* worker = nullptr;
  {
    std::lock_guard lock(lock_);
    if (free_.empty())
      return nullptr;
    if (IsTreeRole(role)) {
      if (treeCount_ >= treeLimit_)
        return nullptr;
      ++treeCount_;
    } else {
      ++fileCount_;
    }
    worker = free_.front();
    free_.pop_front();
    worker->role_ = role;
    busy_.push_back(worker);
  }
  if (Settings().debugThreads)
    LogInfo(L"Thread %d allocated, type %s.", worker->threadNumber(), RoleName(role));
  return worker;
}

void WorkerPool::ReleaseWorker(PoolWorker* worker) {
  const bool debug = Settings().debugThreads != 0;
  if (debug)
    LogInfo(L"Thread %d Release requested.", worker->threadNumber());
  bool released = false;
  bool run_over = false;
  {
    std::lock_guard lock(lock_);
    auto it = std::find(busy_.begin(), busy_.end(), worker);
    if (it != busy_.end()) {
      busy_.erase(it);
      if (IsTreeRole(worker->role_))
        --treeCount_;
      else if (worker->role_ == WorkerRole::kFile)
        --fileCount_;
      worker->role_ = WorkerRole::kFree;
      free_.push_back(worker);
      released = true;
      run_over = busy_.empty();
    }
  }
  if (debug) {
    LogInfo(L"%s", released ? Format(L"Thread %d Release Done.", worker->threadNumber())
                            : Format(L"Thread %d not released.\n", worker->threadNumber()));
  }
  if (run_over)
    EndRun();
}

void WorkerPool::EndRun() {
  LARGE_INTEGER now{};
  Os::Current().QueryPerformanceCounter(&now);
  TheRunStatistics().StampRunEnd(now.QuadPart);
  std::deque<PoolWorker*> to_wake;
  {
    std::lock_guard lock(lock_);
    terminate_.store(true, std::memory_order_release);
    to_wake.swap(free_);
  }
  for (PoolWorker* worker : to_wake)
    worker->SignalStart();
}

void WorkerPool::WaitForWorkers() {
  for (const auto& worker : workers_) {
    if (worker->thread_.joinable())
      worker->thread_.join();
  }
}

std::wstring WorkerPool::WorkerPrefix(DWORD thread_id) const {
  uint32_t number = 0;
  {
    std::lock_guard lock(idsLock_);
    auto it = numbers_.find(thread_id);
    if (it != numbers_.end())
      number = it->second;
  }
  return Format(L"TH%.3d : ", number);
}

uint32_t WorkerPool::TreeCountForTesting() {
  std::lock_guard lock(lock_);
  return treeCount_;
}

uint32_t WorkerPool::FileCountForTesting() {
  std::lock_guard lock(lock_);
  return fileCount_;
}

WorkerPool* ThePool() {
  std::lock_guard lock(TheSlot().lock);
  return TheSlot().pool.get();
}

void SetThePool(std::unique_ptr<WorkerPool> pool) {
  std::unique_ptr<WorkerPool> previous;
  {
    std::lock_guard lock(TheSlot().lock);
    previous = std::move(TheSlot().pool);
    TheSlot().pool = std::move(pool);
  }
  SetWorkerPrefixHook([](DWORD thread_id) { return WorkerPrefix(thread_id); });
}

void DestroyWorkerPool() {
  std::unique_ptr<WorkerPool> pool;
  {
    std::lock_guard lock(TheSlot().lock);
    pool = std::move(TheSlot().pool);
  }
}

std::wstring WorkerPrefix(DWORD thread_id) {
  std::lock_guard lock(TheSlot().lock);
  if (TheSlot().pool == nullptr)
    return std::wstring();
  return TheSlot().pool->WorkerPrefix(thread_id);
}

}  // namespace tarvik
