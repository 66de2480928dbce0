// Ctrl-C during a run: the signal handler only records the interrupt (all it
// may safely do); a watcher thread turns it into the process-wide abort
// request, which every copy loop, wait and walk polls.
#ifndef TARVIK_DRIVER_INTERRUPT_WATCH_H_
#define TARVIK_DRIVER_INTERRUPT_WATCH_H_

#include <condition_variable>
#include <mutex>
#include <thread>

namespace tarvik {

class InterruptWatch {
 public:
  InterruptWatch() = default;
  // Stops the watch if it still runs.
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  // Installs the handler and starts the watcher.
  void Start();
  // Restores the default handler and ends the watcher.
  void Stop();

 private:
  void Watch();

  std::thread watcher_;
  std::mutex mutex_;
  std::condition_variable stop_requested_;
  bool stop_ = false;
};

}  // namespace tarvik

#endif  // TARVIK_DRIVER_INTERRUPT_WATCH_H_
