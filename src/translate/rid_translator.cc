#include "translate/rid_translator.h"

#include <algorithm>
#include <new>

#include "common/sd/sd_exception.h"
#include "log/log.h"

namespace tarvik {
namespace {

// The position of the first entry of bucket whose source RID is not smaller
// than rid.
template <typename Bucket>
size_t Position(const Bucket& bucket, uint32_t rid) {
  auto at =
      std::lower_bound(bucket.begin(), bucket.end(), rid,
                       [](const auto& entry, uint32_t wanted) { return entry.source < wanted; });
  return static_cast<size_t>(at - bucket.begin());
}

}  // namespace

bool RidTranslator::Add(uint32_t source_rid, uint32_t target_rid) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Entry>& bucket = buckets_[source_rid % kBuckets];
  const size_t at = Position(bucket, source_rid);
  if (at < bucket.size() && bucket[at].source == source_rid)
    return false;
  try {
    bucket.insert(bucket.begin() + static_cast<std::ptrdiff_t>(at), Entry{source_rid, target_rid});
  } catch (const std::bad_alloc&) {
    throw SDException(L"Unable to allocate Rid translator item");
  }
  ++count_;
  return true;
}

std::optional<uint32_t> RidTranslator::Lookup(uint32_t source_rid) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::vector<Entry>& bucket = buckets_[source_rid % kBuckets];
  const size_t at = Position(bucket, source_rid);
  if (at == bucket.size() || bucket[at].source != source_rid)
    return std::nullopt;
  return bucket[at].target;
}

void RidTranslator::Dump() const {
  std::lock_guard<std::mutex> lock(mutex_);
  LogInfo(L"Local RID translation table includes %ld entries:", count_);
  LogInfo(L"Bucket     Source -> Destination");
  for (uint32_t bucket = 0; bucket < kBuckets; ++bucket) {
    for (const Entry& entry : buckets_[bucket])
      LogInfo(L" 0x%02lX  0x%08lX -> 0x%08lX", bucket, entry.source, entry.target);
  }
}

uint32_t RidTranslator::count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return count_;
}

void RidTranslator::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (std::vector<Entry>& bucket : buckets_)
    bucket.clear();
  count_ = 0;
}

RidTranslator& TheRidTranslator() {
  static RidTranslator translator;
  return translator;
}

}  // namespace tarvik
