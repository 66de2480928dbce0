// An auto-reset event: Set releases exactly one Wait (the next one when no
// thread waits yet); the event is then unsignalled again.
#ifndef TARVIK_COPY_AUTO_RESET_EVENT_H_
#define TARVIK_COPY_AUTO_RESET_EVENT_H_

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tarvik {

class AutoResetEvent {
 public:
  void Set();
  void Wait();
  // False when the time ran out without the event being set.
  bool WaitFor(std::chrono::milliseconds timeout);

 private:
  std::mutex mutex_;
  std::condition_variable signalled_changed_;
  bool signalled_ = false;
};

}  // namespace tarvik

#endif  // TARVIK_COPY_AUTO_RESET_EVENT_H_
