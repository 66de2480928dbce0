#include "util/abort.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace tarvik {
namespace {

std::atomic<bool> abort_requested{false};

struct Callbacks {
  std::mutex mutex;
  std::vector<std::function<void()>> list;
};

Callbacks& TheCallbacks() {
  static Callbacks* callbacks = new Callbacks;
  return *callbacks;
}

}  // namespace

void RequestAbort() {
  if (abort_requested.exchange(true, std::memory_order_acq_rel))
    return;
  std::vector<std::function<void()>> list;
  {
    std::lock_guard lock(TheCallbacks().mutex);
    list = TheCallbacks().list;
  }
  for (const auto& callback : list)
    callback();
}

bool AbortRequested() {
  return abort_requested.load(std::memory_order_acquire);
}

void AddAbortCallback(std::function<void()> callback) {
  std::lock_guard lock(TheCallbacks().mutex);
  TheCallbacks().list.push_back(std::move(callback));
}

void ResetAbortForTesting() {
  abort_requested.store(false, std::memory_order_release);
  std::lock_guard lock(TheCallbacks().mutex);
  TheCallbacks().list.clear();
}

}  // namespace tarvik
