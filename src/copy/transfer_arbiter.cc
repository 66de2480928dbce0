#include "copy/transfer_arbiter.h"

#include <atomic>
#include <condition_variable>
#include <optional>
#include <utility>

#include "log/log.h"
#include "log/message_text.h"
#include "platform/os.h"
#include "util/abort.h"

namespace tarvik {
namespace {

using Clock = std::chrono::steady_clock;

// The arbiter thread's messages (WM_USER + n).
enum : uint32_t {
  kStopMessage = 0x400 + 3,
  kTransferDoneMessage = 0x400 + 7,
  kRefreshMessage = 0x400 + 8,
  kAbortMessage = 0x400 + 9,
};

constexpr auto kTimerPeriod = std::chrono::milliseconds(250);
constexpr int kStartWaits = 10;
constexpr auto kStartWait = std::chrono::milliseconds(100);
constexpr int kMeasureTries = 10;
// After this many failed timer measurements in a row the free space counts
// as unmeasured, which grants every request.
constexpr int32_t kRefreshFailureLimit = 100;
constexpr uint64_t kUnmeasured = ~uint64_t{0};
constexpr uint32_t kDefaultClusterSize = 8192;

// percent % of value, as value x percent / 100 without overflow.
uint64_t PercentOf(uint64_t value, uint32_t percent) {
  return value / 100 * percent + value % 100 * percent / 100;
}

std::atomic<QuotaThread*> the_arbiter{nullptr};

// "C:\a\b\" gives "C:\a\"; empty when no separator is left.
std::wstring ParentDirectory(std::wstring path) {
  while (!path.empty() && (path.back() == L'\\' || path.back() == L'/'))
    path.pop_back();
  const size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator + 1);
}

}  // namespace

// The arbiter thread's message queue. The abort callback holds it too and
// may outlive the arbiter: a message posted then reaches nobody.
class ArbiterQueue {
 public:
  void Post(uint32_t message) {
    {
      std::lock_guard guard(mutex_);
      messages_.push_back(message);
    }
    changed_.notify_one();
  }

  // The next message; nothing when the deadline (if any) passed first.
  std::optional<uint32_t> Wait(std::optional<Clock::time_point> deadline) {
    std::unique_lock lock(mutex_);
    auto ready = [this] { return !messages_.empty(); };
    if (deadline) {
      if (!changed_.wait_until(lock, *deadline, ready))
        return std::nullopt;
    } else {
      changed_.wait(lock, ready);
    }
    const uint32_t message = messages_.front();
    messages_.pop_front();
    return message;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<uint32_t> messages_;
};

// The "QOS : " lines of one step, gathered under the lock and written once
// it is released: the lock is the pool's, and nobody should wait on the log
// while holding it.
class QuotaTrace {
 public:
  explicit QuotaTrace(bool on) : on_(on) {}
  ~QuotaTrace() { Emit(); }
  QuotaTrace(const QuotaTrace&) = delete;
  QuotaTrace& operator=(const QuotaTrace&) = delete;

  template <typename... Args>
  void Info(std::wstring_view format, const Args&... args) {
    if (on_)
      lines_.emplace_back(false, Format(format, args...));
  }
  template <typename... Args>
  void Warning(std::wstring_view format, const Args&... args) {
    if (on_)
      lines_.emplace_back(true, Format(format, args...));
  }
  void Emit() {
    for (const auto& [warning, text] : lines_) {
      if (warning)
        LogWarning(L"%s", text);
      else
        LogInfo(L"%s", text);
    }
    lines_.clear();
  }

 private:
  bool on_;
  std::vector<std::pair<bool, std::wstring>> lines_;
};

QuotaThread::QuotaThread(const QuotaConfig& config, std::mutex* lock)
    : config_(config),
      lock_(lock),
      queue_(std::make_shared<ArbiterQueue>()),
      running_(config.threadCount) {}

QuotaThread::~QuotaThread() {
  Stop();
}

bool QuotaThread::Start() {
  thread_ = std::thread(&QuotaThread::ThreadMain, this);
  for (int i = 0; i < kStartWaits; ++i) {
    if (started_.WaitFor(kStartWait))
      return true;
  }
  return false;
}

void QuotaThread::Stop() {
  if (thread_.joinable()) {
    queue_->Post(kStopMessage);
    thread_.join();
  }
  std::lock_guard guard(*lock_);
  stopped_ = true;
  DropWaiting(nullptr);
}

std::function<void()> QuotaThread::AbortCallback() const {
  return [queue = queue_] { queue->Post(kAbortMessage); };
}

void QuotaThread::SetTarget(const std::wstring& path) {
  QuotaTrace trace(config_.debug);
  std::lock_guard guard(*lock_);
  targetPath_ = path;
  RefreshFreeSpace(true, &trace);
}

bool QuotaThread::Bypassed() const {
  return config_.mode == kQuotaNone ||
         (config_.mode == kQuotaTransferWindow && config_.threadCount <= 1);
}

void QuotaThread::AcquireTransfer(AutoResetEvent* event, uint64_t size, uint32_t thread_number) {
  if (Bypassed() || size == 0 || thread_number >= running_.size())
    return;
  const bool window = config_.mode == kQuotaTransferWindow;
  bool wait = false;
  {
    QuotaTrace trace(config_.debug);
    std::lock_guard guard(*lock_);
    RemoveOrphan(thread_number, &trace);
    auto request = std::make_unique<QOSData>(QOSData{event, size, thread_number});
    if (stopped_ || AbortRequested()) {
      // Nobody grants after an abort: the worker goes on and sees it.
    } else if (window) {
      if (FitsWindow(size)) {
        windowSum_ += size;
        Run(std::move(request));
      } else if (windowSum_ == 0) {
        windowSum_ = size;  // larger than the whole window: it runs alone
        Run(std::move(request));
      } else {
        waiting_.push_back(std::move(request));
        wait = true;
        trace.Info(L"QOS : thread %d placed in waiting list", thread_number + 1);
      }
    } else {
      const uint64_t rounded = RoundToClusters(size);
      if (FitsSpace(rounded)) {
        freeSpace_ -= rounded;
        Run(std::move(request));
      } else {
        waiting_.push_back(std::move(request));
        wait = true;
        trace.Info(L"QOS : thread %d placed in waiting list, space available : %s",
                   thread_number + 1, FormatByteSize(freeSpace_));
      }
    }
  }
  if (wait)
    event->Wait();
  if (!config_.debug)
    return;
  if (AbortRequested()) {
    LogInfo(L"QOS : thread %d aborted", thread_number + 1);
    return;
  }
  std::wstring figure;
  {
    std::lock_guard guard(*lock_);
    figure = FormatByteSize(window ? windowSum_ : freeSpace_);
  }
  if (window)
    LogInfo(L"QOS : thread %d allowed to run, current transfert windows : %s", thread_number + 1,
            figure);
  else
    LogInfo(L"QOS : thread %d allowed to run, space available : %s", thread_number + 1, figure);
}

// The worker's slot is cleared here, on its own thread, rather than by the
// arbiter when it reads the message: a worker that starts its next transfer
// before then would otherwise lose the new request instead of the old one,
// and the window would no longer count a running transfer.
void QuotaThread::ReleaseTransfer(uint32_t thread_number) {
  if (Bypassed() || thread_number >= running_.size())
    return;
  {
    QuotaTrace trace(config_.debug);
    std::lock_guard guard(*lock_);
    std::unique_ptr<QOSData> request = std::move(running_[thread_number]);
    if (request != nullptr) {
      --runningCount_;
      if (config_.mode == kQuotaTransferWindow) {
        if (windowSum_ < request->size) {
          windowSum_ = 0;
          for (const auto& other : running_)
            windowSum_ += other != nullptr ? other->size : 0;
          trace.Info(L"QOS : thread %d erroneous current transfer windows size has been fixed",
                     thread_number + 1);
        } else {
          windowSum_ -= request->size;
        }
      }
      trace.Info(L"QOS : thread %d removed from running tab", thread_number + 1);
    }
  }
  queue_->Post(kTransferDoneMessage);
}

void QuotaThread::PostRefresh() {
  if (config_.mode != kQuotaNone)
    queue_->Post(kRefreshMessage);
}

void QuotaThread::PostAbort() {
  queue_->Post(kAbortMessage);
}

uint64_t QuotaThread::WindowSumForTesting() {
  std::lock_guard guard(*lock_);
  return windowSum_;
}

uint64_t QuotaThread::FreeSpaceForTesting() {
  std::lock_guard guard(*lock_);
  return freeSpace_;
}

size_t QuotaThread::WaitingCountForTesting() {
  std::lock_guard guard(*lock_);
  return waiting_.size();
}

// --- The arbiter thread ---

void QuotaThread::ThreadMain() {
  Os::Current().SetCurrentThreadPriority(THREAD_PRIORITY_HIGHEST);
  started_.Set();
  bool timer = true;
  Clock::time_point tick = Clock::now() + kTimerPeriod;
  for (;;) {
    const std::optional<uint32_t> message =
        queue_->Wait(timer ? std::optional(tick) : std::nullopt);
    if (!message) {
      OnTimer();
      tick = Clock::now() + kTimerPeriod;
      continue;
    }
    switch (*message) {
      case kStopMessage:
        return;
      case kTransferDoneMessage:
        OnTransferDone();
        break;
      case kRefreshMessage:
        OnRefresh();
        break;
      case kAbortMessage:
        timer = false;  // for good
        OnAbort();
        break;
      default:
        break;
    }
    // A tick that fell due meanwhile is not put off by a busy queue.
    if (timer && Clock::now() >= tick) {
      OnTimer();
      tick = Clock::now() + kTimerPeriod;
    }
  }
}

void QuotaThread::OnTransferDone() {
  QuotaTrace trace(config_.debug);
  std::lock_guard guard(*lock_);
  if (config_.mode == kQuotaTransferWindow)
    AdmitWaitingToWindow(&trace);
  else
    EvaluateSpace(&trace);
}

void QuotaThread::OnRefresh() {
  QuotaTrace trace(config_.debug);
  std::lock_guard guard(*lock_);
  RefreshFreeSpace(false, &trace);
}

void QuotaThread::OnTimer() {
  if (config_.mode != kQuotaWaitForSpace)
    return;
  QuotaTrace trace(config_.debug);
  std::lock_guard guard(*lock_);
  EvaluateSpace(&trace);
}

void QuotaThread::OnAbort() {
  QuotaTrace trace(config_.debug);
  std::lock_guard guard(*lock_);
  DropWaiting(&trace);
}

// --- Steps under the lock ---

// A worker that asks again without having reported the end of its last
// transfer: that request is forgotten.
void QuotaThread::RemoveOrphan(uint32_t thread_number, QuotaTrace* trace) {
  std::unique_ptr<QOSData>& slot = running_[thread_number];
  if (slot != nullptr) {
    if (windowSum_ >= slot->size)
      windowSum_ -= slot->size;
    slot.reset();
    --runningCount_;
    trace->Info(L"QOS : Orphean thread %d removed from running list", thread_number + 1);
    // The room it held may let waiting requests run.
    if (!waiting_.empty())
      queue_->Post(kTransferDoneMessage);
    return;
  }
  for (auto it = waiting_.begin(); it != waiting_.end(); ++it) {
    if ((*it)->threadNumber != thread_number)
      continue;
    trace->Info(L"QOS : Orphean thread %d found in waiting list", thread_number + 1);
    waiting_.erase(it);
    trace->Info(L"QOS : Orphean thread %d removed from waiting list", thread_number + 1);
    return;
  }
}

bool QuotaThread::FitsWindow(uint64_t size) const {
  const uint64_t limit = config_.windowBytes;
  return size <= limit && windowSum_ <= limit - size;
}

// The free space must stay above the reserve after the transfer. A request
// larger than the free space waits too (rather than wrapping around and
// running at once): it waits for room, as the user asked.
bool QuotaThread::FitsSpace(uint64_t rounded) const {
  return freeSpace_ > rounded && freeSpace_ - rounded > reserve_;
}

uint64_t QuotaThread::RoundToClusters(uint64_t size) const {
  const uint64_t cluster = clusterSize_ != 0 ? clusterSize_ : 1;
  const uint64_t clusters = size / cluster + (size % cluster != 0 ? 1 : 0);
  return clusters > kUnmeasured / cluster ? kUnmeasured : clusters * cluster;
}

void QuotaThread::Run(std::unique_ptr<QOSData> request) {
  std::unique_ptr<QOSData>& slot = running_[request->threadNumber];
  if (slot == nullptr)
    ++runningCount_;
  slot = std::move(request);
}

void QuotaThread::GrantWaiting(std::unique_ptr<QOSData> request, QuotaTrace* trace) {
  trace->Info(L"QOS : thread %d removed from waiting list and placed in running tab",
              request->threadNumber + 1);
  AutoResetEvent* event = request->event;
  Run(std::move(request));
  event->Set();
}

// Admits, from the head of the waiting list, every request that still fits
// beside those admitted before it; when none fits and nothing runs, the
// first of the largest runs alone.
void QuotaThread::AdmitWaitingToWindow(QuotaTrace* trace) {
  if (waiting_.empty())
    return;
  const uint64_t limit = config_.windowBytes;
  std::vector<bool> admit(waiting_.size(), false);
  uint64_t admitted = 0;
  bool any = false;
  size_t largest = 0;
  for (size_t i = 0; i < waiting_.size(); ++i) {
    const uint64_t size = waiting_[i]->size;
    if (size > waiting_[largest]->size)
      largest = i;
    if (size <= limit && admitted <= limit - size && windowSum_ <= limit - size - admitted) {
      admit[i] = true;
      admitted += size;
      any = true;
    }
  }
  if (!any && windowSum_ == 0)
    admit[largest] = true;
  std::deque<std::unique_ptr<QOSData>> kept;
  for (size_t i = 0; i < waiting_.size(); ++i) {
    if (!admit[i]) {
      kept.push_back(std::move(waiting_[i]));
      continue;
    }
    windowSum_ += waiting_[i]->size;
    GrantWaiting(std::move(waiting_[i]), trace);
  }
  waiting_ = std::move(kept);
}

// The free space is measured again only when nothing runs; it is not given
// back when a transfer ends.
void QuotaThread::EvaluateSpace(QuotaTrace* trace) {
  if (waiting_.empty())
    return;
  if (runningCount_ == 0) {
    if (!RefreshFreeSpace(false, trace)) {
      trace->Warning(L"%s -> unable to get volume size info", targetPath_);
      if (++refreshFailures_ < kRefreshFailureLimit)
        return;
      freeSpace_ = kUnmeasured;
    }
    refreshFailures_ = 0;
  }
  std::deque<std::unique_ptr<QOSData>> kept;
  for (auto& request : waiting_) {
    const uint64_t rounded = RoundToClusters(request->size);
    if (!FitsSpace(rounded)) {
      kept.push_back(std::move(request));
      continue;
    }
    freeSpace_ -= rounded;
    GrantWaiting(std::move(request), trace);
  }
  waiting_ = std::move(kept);
}

// Wakes every waiting worker; they see the abort (or the stop) and go on
// without a grant.
void QuotaThread::DropWaiting(QuotaTrace* trace) {
  while (!waiting_.empty()) {
    std::unique_ptr<QOSData> request = std::move(waiting_.front());
    waiting_.pop_front();
    if (trace != nullptr)
      trace->Info(L"QOS : thread %d removed from waiting list due to abort",
                  request->threadNumber + 1);
    request->event->Set();
  }
}

// The volume's figures come from GetDiskFreeSpaceExW; the cluster size keeps
// its default, which the platform does not report.
bool QuotaThread::RefreshFreeSpace(bool reset, QuotaTrace* trace) {
  if (reset) {
    freeSpace_ = kUnmeasured;
    clusterSize_ = kDefaultClusterSize;
  }
  if (config_.mode != kQuotaWaitForSpace)
    return true;
  if (targetPath_.empty())
    return false;
  Os& os = Os::Current();
  for (int attempt = 0; attempt < kMeasureTries; ++attempt) {
    ULARGE_INTEGER total{};
    ULARGE_INTEGER free{};
    if (MeasureVolume(&total, &free)) {
      freeSpace_ = free.QuadPart;
      totalSize_ = total.QuadPart;
      reserve_ = totalSize_ - PercentOf(totalSize_, static_cast<uint32_t>(config_.highWaterMark));
      return true;
    }
    if (config_.debug) {
      trace->Warning(L"%s -> unable to get volume size info", targetPath_);
      os.Sleep(10);
    }
  }
  return false;
}

// The target root is created by the walk, after the first measurement: a
// path that does not exist yet is measured through its nearest existing
// ancestor, which lies on the same volume.
bool QuotaThread::MeasureVolume(ULARGE_INTEGER* total, ULARGE_INTEGER* free) const {
  Os& os = Os::Current();
  std::wstring path = targetPath_;
  for (;;) {
    ULARGE_INTEGER available{};
    if (os.GetDiskFreeSpaceExW(path.c_str(), &available, total, free))
      return true;
    const DWORD error = Os::GetLastError();
    if (error != ERROR_PATH_NOT_FOUND && error != ERROR_FILE_NOT_FOUND)
      return false;
    path = ParentDirectory(path);
    if (path.empty())
      return false;
  }
}

// --- The process-wide arbiter ---

QuotaThread* TheQuotaThread() {
  return the_arbiter.load(std::memory_order_acquire);
}

bool StartQuotaThread(const CopySettings& settings, uint32_t thread_count, std::mutex* pool_lock) {
  if (TheQuotaThread() != nullptr)
    return true;
  QuotaConfig config;
  config.mode = settings.quotaMode;
  config.threadCount = thread_count;
  config.windowBytes = settings.transferWindowBytes;
  config.highWaterMark = settings.diskFullHighWaterMark;
  config.debug = settings.debugTransfer != 0;
  auto* arbiter = new QuotaThread(config, pool_lock);
  AddAbortCallback(arbiter->AbortCallback());
  the_arbiter.store(arbiter, std::memory_order_release);
  return arbiter->Start();
}

void SetQuotaTarget(const std::wstring& path) {
  if (QuotaThread* arbiter = TheQuotaThread())
    arbiter->SetTarget(path);
}

void StopQuotaThread() {
  QuotaThread* arbiter = the_arbiter.exchange(nullptr, std::memory_order_acq_rel);
  if (arbiter == nullptr)
    return;
  arbiter->Stop();
  delete arbiter;
}

}  // namespace tarvik
