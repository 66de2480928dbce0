#include "platform/os.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace tarvik {
namespace {

std::atomic<Os*> current_os{nullptr};
thread_local DWORD last_error = ERROR_SUCCESS;

}  // namespace

Os& Os::Current() {
  Os* os = current_os.load(std::memory_order_acquire);
  if (os == nullptr) {
    std::fputs("tarvik: no platform layer installed\n", stderr);
    std::abort();
  }
  return *os;
}

Os* Os::Install(Os* os) {
  return current_os.exchange(os, std::memory_order_acq_rel);
}

DWORD Os::GetLastError() {
  return last_error;
}

void Os::SetLastError(DWORD code) {
  last_error = code;
}

}  // namespace tarvik
