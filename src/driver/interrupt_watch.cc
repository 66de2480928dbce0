#include "driver/interrupt_watch.h"

#include <atomic>
#include <chrono>
#include <csignal>

#include "util/abort.h"

namespace tarvik {
namespace {

// Written by the signal handler, so it must be lock-free.
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

constexpr std::chrono::milliseconds kPollPeriod{50};

extern "C" void OnInterrupt(int) {
  interrupted.store(true, std::memory_order_relaxed);
  std::signal(SIGINT, OnInterrupt);  // later interrupts are caught too
}

}  // namespace

InterruptWatch::~InterruptWatch() {
  Stop();
}

void InterruptWatch::Start() {
  interrupted.store(false);
  stop_ = false;
  std::signal(SIGINT, OnInterrupt);
  watcher_ = std::thread(&InterruptWatch::Watch, this);
}

void InterruptWatch::Stop() {
  if (!watcher_.joinable())
    return;
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  stop_requested_.notify_all();
  watcher_.join();
  std::signal(SIGINT, SIG_DFL);
}

void InterruptWatch::Watch() {
  std::unique_lock lock(mutex_);
  while (!stop_) {
    if (interrupted.exchange(false, std::memory_order_relaxed)) {
      lock.unlock();
      RequestAbort();
      lock.lock();
      continue;
    }
    stop_requested_.wait_for(lock, kPollPeriod);
  }
}

}  // namespace tarvik
