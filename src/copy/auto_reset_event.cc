#include "copy/auto_reset_event.h"

#if defined(__linux__)
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#endif

namespace tarvik {
namespace {

// How often Wait looks before it sleeps: a worker that has just finished
// its task is often handed the next one within microseconds.
constexpr int kLooksBeforeSleeping = 64;

void Relax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

}  // namespace

bool AutoResetEvent::TryConsume() {
  uint32_t expected = 1;
  return signalled_.load(std::memory_order_relaxed) == 1 &&
         signalled_.compare_exchange_strong(expected, 0, std::memory_order_acquire);
}

void AutoResetEvent::Set() {
  // The store and the count of sleepers are ordered against a waiter's
  // count and its look at the state (both sequentially consistent): either
  // Set sees the sleeper, or the sleeper sees the signal before it sleeps.
  signalled_.store(1, std::memory_order_seq_cst);
  if (sleepers_.load(std::memory_order_seq_cst) == 0)
    return;
#if defined(__linux__)
  ::syscall(SYS_futex, &signalled_, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
#else
  { std::lock_guard lock(mutex_); }
  woken_.notify_one();
#endif
}

void AutoResetEvent::Sleep(std::optional<std::chrono::steady_clock::time_point> deadline) {
  sleepers_.fetch_add(1, std::memory_order_seq_cst);
#if defined(__linux__)
  timespec relative{};
  timespec* timeout = nullptr;
  if (deadline) {
    auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(
        *deadline - std::chrono::steady_clock::now());
    if (left.count() < 0)
      left = std::chrono::nanoseconds(0);
    relative.tv_sec = static_cast<time_t>(left.count() / 1000000000);
    relative.tv_nsec = static_cast<long>(left.count() % 1000000000);
    timeout = &relative;
  }
  // Returns at once when the state is no longer 0: the signal came first.
  ::syscall(SYS_futex, &signalled_, FUTEX_WAIT_PRIVATE, 0, timeout, nullptr, 0);
#else
  {
    std::unique_lock lock(mutex_);
    auto signalled = [this] { return signalled_.load(std::memory_order_seq_cst) != 0; };
    if (deadline)
      woken_.wait_until(lock, *deadline, signalled);
    else
      woken_.wait(lock, signalled);
  }
#endif
  sleepers_.fetch_sub(1, std::memory_order_seq_cst);
}

void AutoResetEvent::Wait() {
  for (int look = 0; look < kLooksBeforeSleeping; ++look) {
    if (TryConsume())
      return;
    Relax();
  }
  while (!TryConsume())
    Sleep(std::nullopt);
}

bool AutoResetEvent::WaitFor(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (TryConsume())
      return true;
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    Sleep(deadline);
  }
}

}  // namespace tarvik
