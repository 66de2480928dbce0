// The transfer window arbiter: one thread that decides when a worker may
// start copying a file's data. With a transfer window the sizes of the
// transfers running at the same time stay within the window (a transfer
// larger than the whole window runs alone); when waiting on a full disk a
// transfer starts only when the target volume keeps its reserve of free
// space after it. Workers ask (AcquireTransfer), block on their own event
// until granted, and report the end (ReleaseTransfer); only the arbiter
// thread grants requests that had to wait.
#ifndef TARVIK_COPY_TRANSFER_ARBITER_H_
#define TARVIK_COPY_TRANSFER_ARBITER_H_

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "copy/auto_reset_event.h"
#include "platform/win_types.h"
#include "settings/copy_settings.h"

namespace tarvik {

struct QuotaConfig {
  int32_t mode = kQuotaNone;  // QuotaMode
  uint32_t threadCount = 1;   // slots of the running table
  uint64_t windowBytes = 0;   // transferWindowBytes
  int32_t highWaterMark = 100;
  bool debug = false;  // "QOS : " traces (/dbgtrf)
};

// One transfer request.
struct QOSData {
  AutoResetEvent* event;  // the worker's own; set when granted or dropped
  uint64_t size;
  uint32_t threadNumber;  // 0-based; traces print number + 1
};

class ArbiterQueue;
class QuotaTrace;

class QuotaThread {
 public:
  // lock: the worker pool's lock, which guards the arbiter's state too.
  QuotaThread(const QuotaConfig& config, std::mutex* lock);
  // Stops the thread when it still runs.
  ~QuotaThread();
  QuotaThread(const QuotaThread&) = delete;
  QuotaThread& operator=(const QuotaThread&) = delete;

  // Starts the thread; false when its start signal did not come within one
  // second (the thread is kept either way).
  bool Start();
  // Ends the thread. Requests still waiting are dropped, so that nobody
  // waits for a grant that can no longer come.
  void Stop();

  // The path whose volume is measured, then measured afresh.
  void SetTarget(const std::wstring& path);
  // Returns when the transfer of size bytes by that worker may start (at
  // once after an abort).
  void AcquireTransfer(AutoResetEvent* event, uint64_t size, uint32_t thread_number);
  // The worker's transfer ended (nothing when it has none running).
  void ReleaseTransfer(uint32_t thread_number);
  // A worker met a full disk: measure the free space again.
  void PostRefresh();
  // Drops every waiting request.
  void PostAbort();
  // What RequestAbort calls: posts the abort message. It holds the message
  // queue, not the arbiter, so it stays harmless after the arbiter is gone.
  std::function<void()> AbortCallback() const;

  // For tests, under the lock.
  uint64_t WindowSumForTesting();
  uint64_t FreeSpaceForTesting();
  size_t WaitingCountForTesting();

 private:
  bool Bypassed() const;
  void ThreadMain();
  void OnTransferDone();
  void OnRefresh();
  void OnTimer();
  void OnAbort();
  // The steps below run with the lock held.
  // Measures the target volume; with reset the figures are forgotten first.
  bool RefreshFreeSpace(bool reset, QuotaTrace* trace);
  bool MeasureVolume(ULARGE_INTEGER* total, ULARGE_INTEGER* free) const;
  void RemoveOrphan(uint32_t thread_number, QuotaTrace* trace);
  bool FitsWindow(uint64_t size) const;
  bool FitsSpace(uint64_t size) const;
  uint64_t RoundToClusters(uint64_t size) const;
  void Run(std::unique_ptr<QOSData> request);
  void AdmitWaitingToWindow(QuotaTrace* trace);
  void EvaluateSpace(QuotaTrace* trace);
  void GrantWaiting(std::unique_ptr<QOSData> request, QuotaTrace* trace);
  // Sets the event of every waiting request; a null trace logs nothing.
  void DropWaiting(QuotaTrace* trace);

  const QuotaConfig config_;
  std::mutex* const lock_;
  std::shared_ptr<ArbiterQueue> queue_;
  AutoResetEvent started_;
  std::thread thread_;

  // Guarded by *lock_.
  std::vector<std::unique_ptr<QOSData>> running_;
  uint32_t runningCount_ = 0;
  std::deque<std::unique_ptr<QOSData>> waiting_;
  uint64_t windowSum_ = 0;
  uint64_t freeSpace_ = ~uint64_t{0};
  uint64_t totalSize_ = 0;
  uint32_t clusterSize_ = 8192;
  uint64_t reserve_ = 0;
  std::wstring targetPath_;
  int32_t refreshFailures_ = 0;
  bool stopped_ = false;
};

// The process-wide arbiter of the threaded run, null when none.
QuotaThread* TheQuotaThread();
// Creates and starts the arbiter for the run's settings over the pool's
// lock and makes RequestAbort reach it. False when its start signal did not
// come (the run goes on).
bool StartQuotaThread(const CopySettings& settings, uint32_t thread_count, std::mutex* pool_lock);
// The run's target root: its volume is the one measured.
void SetQuotaTarget(const std::wstring& path);
// Stops and frees the arbiter.
void StopQuotaThread();

}  // namespace tarvik

#endif  // TARVIK_COPY_TRANSFER_ARBITER_H_
