#include "copy/auto_reset_event.h"

namespace tarvik {

void AutoResetEvent::Set() {
  {
    std::lock_guard lock(mutex_);
    signalled_ = true;
  }
  signalled_changed_.notify_one();
}

void AutoResetEvent::Wait() {
  std::unique_lock lock(mutex_);
  signalled_changed_.wait(lock, [this] { return signalled_; });
  signalled_ = false;
}

bool AutoResetEvent::WaitFor(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  if (!signalled_changed_.wait_for(lock, timeout, [this] { return signalled_; }))
    return false;
  signalled_ = false;
  return true;
}

}  // namespace tarvik
