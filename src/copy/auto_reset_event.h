// An auto-reset event: Set releases exactly one Wait (the next one when no
// thread waits yet); the event is then unsignalled again.
//
// Every file a walker hands to a worker goes through one Set and one Wait,
// so both stay off the kernel where they can: Set makes a system call only
// when a thread sleeps on the event, and Wait looks a few times before it
// sleeps. On Linux a sleeping thread waits on the state word itself (one
// system call to sleep, one to wake); elsewhere on a condition variable.
#ifndef TARVIK_COPY_AUTO_RESET_EVENT_H_
#define TARVIK_COPY_AUTO_RESET_EVENT_H_

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>

#if !defined(__linux__)
#include <condition_variable>
#include <mutex>
#endif

namespace tarvik {

class AutoResetEvent {
 public:
  void Set();
  void Wait();
  // False when the time ran out without the event being set.
  bool WaitFor(std::chrono::milliseconds timeout);

 private:
  // Takes the signal when it is there.
  bool TryConsume();
  // Sleeps while the event is unsignalled, until woken or until the
  // deadline; returns at once when the event is already signalled.
  void Sleep(std::optional<std::chrono::steady_clock::time_point> deadline);

  std::atomic<uint32_t> signalled_{0};
  std::atomic<uint32_t> sleepers_{0};
#if !defined(__linux__)
  std::mutex mutex_;
  std::condition_variable woken_;
#endif
};

}  // namespace tarvik

#endif  // TARVIK_COPY_AUTO_RESET_EVENT_H_
