#include "common/sid_cache.h"

#include <new>

#include "common/sd/sd_exception.h"
#include "log/log.h"
#include "util/text.h"

namespace tarvik {

namespace {

std::string DecisionKey(const SId& sid) {
  SidBytes bytes = sid.Bytes();
  return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

}  // namespace

uint32_t HashLruTraits<SId>::Hash(const SId& sid) {
  if (!sid.IsValid())
    throw SDException(L"Invalid SID");
  return sid.GetRid();
}

SidCache::SidCache(uint32_t capacity) : capacity_(capacity) {
  try {
    table_ = std::make_unique<HashLruFixed<SId>>(capacity);
  } catch (const std::bad_alloc&) {
    LogWarning(L"Unable to allocate memory for SID cache, cache unavailable.\n");
  }
}

const SId* SidCache::CopyEntryLocked(const SId& sid, SId* copy) {
  const SId* entry = table_->Find(sid);
  if (entry != nullptr)
    *copy = *entry;
  return entry;
}

bool SidCache::Find(const SId& sid, SId* copy) {
  if (!table_)
    return false;
  std::lock_guard<std::mutex> lock(mutex_);
  return CopyEntryLocked(sid, copy) != nullptr;
}

bool SidCache::FindByName(std::wstring_view name, SId* copy) {
  if (!table_)
    return false;
  const size_t slash = name.find(L'\\');
  if (slash == std::wstring_view::npos)
    return false;
  const std::wstring_view domain = name.substr(0, slash);
  const std::wstring_view account = name.substr(slash + 1);
  std::lock_guard<std::mutex> lock(mutex_);
  HashLru<SId>::Iterator it;
  for (SId* entry = table_->First(&it); entry != nullptr; entry = table_->Next(&it)) {
    if (EqualsNoCaseAscii(entry->domainName(), domain) &&
        EqualsNoCaseAscii(entry->accountName(), account)) {
      *copy = *entry;
      return true;
    }
  }
  return false;
}

bool SidCache::Insert(const SId& sid) {
  if (!table_)
    return false;
  std::unique_ptr<SId> copy;
  try {
    copy = std::make_unique<SId>(sid);
  } catch (const std::bad_alloc&) {
    throw SDException(L"Unable to allocate memory for SID cache");
  }
  std::unique_ptr<SId> evicted;
  std::lock_guard<std::mutex> lock(mutex_);
  const bool inserted = table_->Insert(copy, &evicted, false);
  if (evicted && !decisions_.empty())
    decisions_.erase(DecisionKey(*evicted));
  return inserted;
}

bool SidCache::FindDecision(const SId& sid, SId* copy, SidHistoryDecision* decision) {
  if (!table_)
    return false;
  std::lock_guard<std::mutex> lock(mutex_);
  const SId* entry = CopyEntryLocked(sid, copy);
  if (entry == nullptr)
    return false;
  auto it = decisions_.find(DecisionKey(*entry));
  *decision = it == decisions_.end() ? SidHistoryDecision() : it->second;
  return true;
}

bool SidCache::RecordDecision(const SId& sid, const SidHistoryDecision& decision) {
  if (!table_)
    return false;
  std::lock_guard<std::mutex> lock(mutex_);
  if (table_->Find(sid) == nullptr)
    return false;
  decisions_[DecisionKey(sid)] = decision;
  return true;
}

void SidCache::PrintStatistics() const {
  if (!table_) {
    LogText(L"SID cache is unavailable.\n");
    return;
  }
  LogText(L"SID cache stats:\n");
  LogText(L"Cache size:  %d items\n", capacity_);
  LogText(L"Items:       %d\n", table_->items);
  LogText(L"Collisions:  %d\n", table_->collisions);
  LogText(L"Comparisons: %d\n", table_->comparisons);
  LogText(L"Hits:        %d\n", table_->hits);
  LogText(L"Hash OK:     %d\n", table_->hashOk);
  LogText(L"Miss:        %d\n", table_->misses);
  LogText(L"\n");
}

void PrintSidCacheStatistics() {
  if (const auto* cache = dynamic_cast<const SidCache*>(InstalledSidLookupCache())) {
    cache->PrintStatistics();
    return;
  }
  LogText(L"SID cache is unavailable.\n");
}

}  // namespace tarvik
