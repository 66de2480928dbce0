// The process-wide cache of resolved SIDs, shared by every worker: account
// lookups consult it before asking a server and fill it afterwards.
#ifndef TARVIK_COMMON_SID_CACHE_H_
#define TARVIK_COMMON_SID_CACHE_H_

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "common/hash_lru.h"
#include "common/sid.h"
#include "common/sid_lookup_cache.h"

namespace tarvik {

template <>
struct HashLruTraits<SId> {
  // The RID: the accounts of a domain spread over the buckets. Raises
  // SDException "Invalid SID" for an invalid SID.
  static uint32_t Hash(const SId& sid);
  static bool Equal(const SId& a, const SId& b) { return a.EqualSid(b); }
};

class SidCache : public SidLookupCache {
 public:
  static constexpr uint32_t kDefaultCapacity = 100000;

  // When the table cannot be allocated the cache warns once and stays
  // unavailable: every look-up then goes to the servers.
  explicit SidCache(uint32_t capacity = kDefaultCapacity);

  bool Find(const SId& sid, SId* copy) override;
  bool FindByName(std::wstring_view name, SId* copy) override;
  bool Insert(const SId& sid) override;
  bool FindDecision(const SId& sid, SId* copy, SidHistoryDecision* decision) override;
  bool RecordDecision(const SId& sid, const SidHistoryDecision& decision) override;

  bool available() const { return table_ != nullptr; }
  uint32_t capacity() const { return capacity_; }
  // The table's counters (zero when unavailable); read without the lock.
  const HashLru<SId>* table() const { return table_.get(); }
  // The "SID cache stats" block, through the log.
  void PrintStatistics() const;

 private:
  // With the lock held: copies the entry equal to sid into *copy and
  // returns it, or null when there is none.
  const SId* CopyEntryLocked(const SId& sid, SId* copy);

  mutable std::mutex mutex_;
  std::unique_ptr<HashLruFixed<SId>> table_;
  // The decisions recorded with entries, by the entry's SID bytes; an entry
  // given up takes its decision along.
  std::unordered_map<std::string, SidHistoryDecision> decisions_;
  uint32_t capacity_;
};

// The statistics block of the installed cache, or "SID cache is
// unavailable." when no cache (or none that can tell) is installed.
void PrintSidCacheStatistics();

}  // namespace tarvik

#endif  // TARVIK_COMMON_SID_CACHE_H_
