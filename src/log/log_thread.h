// The writer thread: takes messages from its queue in the order they were
// posted and hands them to the sink; with a log file it also runs the 250 ms
// flush timer. Asked to stop, it first writes what was already posted, then
// refuses further messages so that their producers write them themselves.
#ifndef TARVIK_LOG_LOG_THREAD_H_
#define TARVIK_LOG_LOG_THREAD_H_

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "log/log_message.h"

namespace tarvik {

class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void WriteLogMessage(const LogMessage& message) = 0;
  virtual void FlushOnTimer() = 0;
};

class LogThread {
 public:
  static constexpr std::chrono::milliseconds kTimerPeriod{250};

  LogThread(LogSink* sink, bool with_timer);
  // A thread still running here has been abandoned by Detach.
  ~LogThread();
  LogThread(const LogThread&) = delete;
  LogThread& operator=(const LogThread&) = delete;

  // Starts the thread and waits (at most about a second) until it runs.
  void Start();

  // Queues the message; false once the writer has stopped taking messages.
  bool Post(std::unique_ptr<LogMessage>& message);

  void RequestStop();
  // True when the thread has ended within timeout (it is then joined).
  bool WaitForEnd(std::chrono::milliseconds timeout);
  // Lets a writer that makes no progress go; it may still finish later.
  void Detach();

 private:
  void Run();
  void ProcessUntilStop();
  void DrainAfterStop();

  LogSink* sink_;
  bool with_timer_;
  std::thread thread_;

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable state_changed_;
  std::deque<std::unique_ptr<LogMessage>> queue_;  // a null entry is the stop request
  bool started_ = false;
  bool accepting_ = true;
  bool ended_ = false;
};

}  // namespace tarvik

#endif  // TARVIK_LOG_LOG_THREAD_H_
