#include "platform/posix/deferred_descriptors.h"

namespace tarvik {
namespace {

// A key of one of the file's streams names the file too.
bool SameObject(const ShareTable::Key& first, const ShareTable::Key& second) {
  return first.device == second.device && first.inode == second.inode &&
         first.birth == second.birth;
}

}  // namespace

void DeferredDescriptors::Hold(const std::string& host_path, const ShareTable::Key& identity,
                               DescriptorParts descriptor) {
  std::lock_guard<std::mutex> lock(mutex_);
  held_[host_path] = Held{identity, std::move(descriptor)};
  count_.store(held_.size(), std::memory_order_release);
}

std::optional<DescriptorParts> DeferredDescriptors::Find(const std::string& host_path,
                                                         const ShareTable::Key* identity) const {
  if (count_.load(std::memory_order_acquire) == 0)
    return std::nullopt;
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = held_.find(host_path);
  if (found == held_.end() ||
      (identity != nullptr && !SameObject(found->second.identity, *identity)))
    return std::nullopt;
  return found->second.descriptor;
}

void DeferredDescriptors::Forget(const std::string& host_path) {
  if (count_.load(std::memory_order_acquire) == 0)
    return;
  std::lock_guard<std::mutex> lock(mutex_);
  held_.erase(host_path);
  count_.store(held_.size(), std::memory_order_release);
}

std::vector<std::pair<std::string, DeferredDescriptors::Held>> DeferredDescriptors::TakeAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::pair<std::string, Held>> all(std::make_move_iterator(held_.begin()),
                                                std::make_move_iterator(held_.end()));
  held_.clear();
  count_.store(0, std::memory_order_release);
  return all;
}

}  // namespace tarvik
