#include "log/log_thread.h"

#include "platform/os.h"

namespace tarvik {

LogThread::LogThread(LogSink* sink, bool with_timer) : sink_(sink), with_timer_(with_timer) {}

LogThread::~LogThread() {
  if (thread_.joinable())
    thread_.detach();
}

void LogThread::Start() {
  thread_ = std::thread([this] { Run(); });
  std::unique_lock lock(mutex_);
  // Like the started event's ten waits of 100 ms; a late start is not an error.
  state_changed_.wait_for(lock, std::chrono::milliseconds(1000), [this] { return started_; });
}

bool LogThread::Post(std::unique_ptr<LogMessage>& message) {
  {
    std::lock_guard lock(mutex_);
    if (!accepting_)
      return false;
    queue_.push_back(std::move(message));
  }
  wake_.notify_one();
  return true;
}

void LogThread::RequestStop() {
  {
    std::lock_guard lock(mutex_);
    if (!accepting_)
      return;
    queue_.push_back(nullptr);
  }
  wake_.notify_one();
}

bool LogThread::WaitForEnd(std::chrono::milliseconds timeout) {
  {
    std::unique_lock lock(mutex_);
    if (!state_changed_.wait_for(lock, timeout, [this] { return ended_; }))
      return false;
  }
  if (thread_.joinable())
    thread_.join();
  return true;
}

void LogThread::Detach() {
  if (thread_.joinable())
    thread_.detach();
}

void LogThread::Run() {
  Os::Current().SetCurrentThreadPriority(THREAD_PRIORITY_HIGHEST);
  {
    std::lock_guard lock(mutex_);
    started_ = true;
  }
  state_changed_.notify_all();
  ProcessUntilStop();
  DrainAfterStop();
  {
    std::lock_guard lock(mutex_);
    ended_ = true;
  }
  state_changed_.notify_all();
}

void LogThread::ProcessUntilStop() {
  using Clock = std::chrono::steady_clock;
  Clock::time_point next_tick = Clock::now() + kTimerPeriod;
  for (;;) {
    std::unique_ptr<LogMessage> message;
    {
      std::unique_lock lock(mutex_);
      auto has_message = [this] { return !queue_.empty(); };
      bool woke = with_timer_ ? wake_.wait_until(lock, next_tick, has_message)
                              : (wake_.wait(lock, has_message), true);
      if (woke) {
        message = std::move(queue_.front());
        queue_.pop_front();
        if (message == nullptr)
          return;  // the stop request; the timer ends with it
      }
    }
    if (message != nullptr)
      sink_->WriteLogMessage(*message);
    // Checked after every message too, so a steady stream of lines cannot
    // starve the time flush.
    if (with_timer_ && Clock::now() >= next_tick) {
      sink_->FlushOnTimer();
      next_tick = Clock::now() + kTimerPeriod;
    }
  }
}

void LogThread::DrainAfterStop() {
  // Messages posted after the stop request are still written here, in order;
  // only once the queue is empty does the writer turn new ones away, so a
  // producer's later lines cannot overtake its earlier ones.
  for (;;) {
    std::unique_ptr<LogMessage> message;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) {
        accepting_ = false;
        return;
      }
      message = std::move(queue_.front());
      queue_.pop_front();
    }
    if (message != nullptr)
      sink_->WriteLogMessage(*message);
  }
}

}  // namespace tarvik
