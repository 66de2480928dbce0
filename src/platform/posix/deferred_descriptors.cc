#include "platform/posix/deferred_descriptors.h"

#include <functional>

namespace tarvik {
DeferredDescriptors::Shard& DeferredDescriptors::ShardOf(const std::string& host_path) const {
  return shards_[(std::hash<std::string>()(host_path) >> 8) % kShards];
}

void DeferredDescriptors::Hold(const std::string& host_path, const ShareTable::Key& identity,
                               DescriptorParts descriptor) {
  Shard& shard = ShardOf(host_path);
  std::lock_guard<std::mutex> lock(shard.mutex);
  auto [place, added] =
      shard.held.insert_or_assign(host_path, Held{identity, std::move(descriptor)});
  if (added)
    count_.fetch_add(1, std::memory_order_release);
}

std::optional<DescriptorParts> DeferredDescriptors::Find(
    const std::string& host_path, const std::optional<ShareTable::Key>& identity) const {
  if (count_.load(std::memory_order_acquire) == 0)
    return std::nullopt;
  Shard& shard = ShardOf(host_path);
  std::lock_guard<std::mutex> lock(shard.mutex);
  auto found = shard.held.find(host_path);
  if (found == shard.held.end() || (identity && !found->second.identity.SameObject(*identity))) {
    return std::nullopt;
  }
  return found->second.descriptor;
}

void DeferredDescriptors::Forget(const std::string& host_path) {
  if (count_.load(std::memory_order_acquire) == 0)
    return;
  Shard& shard = ShardOf(host_path);
  std::lock_guard<std::mutex> lock(shard.mutex);
  if (shard.held.erase(host_path) != 0)
    count_.fetch_sub(1, std::memory_order_release);
}

std::vector<std::pair<std::string, DeferredDescriptors::Held>> DeferredDescriptors::TakeAll() {
  std::vector<std::pair<std::string, Held>> all;
  for (Shard& shard : shards_) {
    std::lock_guard<std::mutex> lock(shard.mutex);
    count_.fetch_sub(shard.held.size(), std::memory_order_release);
    for (auto& entry : shard.held)
      all.emplace_back(entry.first, std::move(entry.second));
    shard.held.clear();
  }
  return all;
}

}  // namespace tarvik
