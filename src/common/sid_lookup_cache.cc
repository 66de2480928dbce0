#include "common/sid_lookup_cache.h"

#include <atomic>

namespace tarvik {
namespace {

std::atomic<SidLookupCache*> installed_cache{nullptr};

}  // namespace

SidLookupCache* InstalledSidLookupCache() {
  return installed_cache.load(std::memory_order_acquire);
}

SidLookupCache* InstallSidLookupCache(SidLookupCache* cache) {
  return installed_cache.exchange(cache, std::memory_order_acq_rel);
}

}  // namespace tarvik
