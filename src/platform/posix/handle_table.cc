#include "platform/posix/handle_table.h"

#include <unistd.h>

#include <cerrno>
#include <functional>
#include <thread>

namespace tarvik {

HandleObject::~HandleObject() {
  ReleaseShare();
  Close();
}

bool HandleObject::TakeShare(ShareTable& table, const ShareTable::Key& key, DWORD data_access,
                             DWORD share_mode) {
  if (!table.Open(key, data_access, share_mode))
    return false;
  share_table_ = &table;
  share_key_ = key;
  share_access_ = data_access;
  share_mode_ = share_mode;
  return true;
}

std::optional<ShareTable::Key> HandleObject::identity() const {
  if (looked_at_open)
    return ShareTable::KeyOfStatx(*looked_at_open);
  if (share_table_ != nullptr)
    return share_key_;
  return std::nullopt;
}

void HandleObject::ReleaseShare() {
  if (share_table_ == nullptr)
    return;
  share_table_->Close(share_key_, share_access_, share_mode_);
  share_table_ = nullptr;
}

bool HandleObject::MoveShare(const ShareTable::Key& key) {
  if (share_table_ == nullptr || key == share_key_)
    return true;
  ShareTable* table = share_table_;
  ReleaseShare();
  return TakeShare(*table, key, share_access_, share_mode_);
}

int HandleObject::Close() {
  if (!owns_fd || fd < 0)
    return 0;
  int result = ::close(fd);
  fd = -1;
  // EINTR still releases the descriptor on Linux; retrying could close a
  // descriptor another thread has just been given.
  return result == 0 || errno == EINTR ? 0 : errno;
}

namespace {

// The shard where this thread adds its handles: one of its own, mostly, so
// that the threads opening and closing files side by side do not wait for
// each other.
size_t ShardOfThisThread() {
  thread_local const size_t shard =
      std::hash<std::thread::id>()(std::this_thread::get_id()) % HandleTable::kShards;
  return shard;
}

}  // namespace

HANDLE HandleTable::Add(std::shared_ptr<HandleObject> object) {
  const size_t shard_index = ShardOfThisThread();
  Shard& shard = shards_[shard_index];
  std::lock_guard lock(shard.mutex);
  size_t slot;
  if (!shard.free_slots.empty()) {
    slot = shard.free_slots.back();
    shard.free_slots.pop_back();
    shard.slots[slot] = std::move(object);
  } else {
    slot = shard.slots.size();
    shard.slots.push_back(std::move(object));
  }
  return reinterpret_cast<HANDLE>(static_cast<uintptr_t>((slot * kShards + shard_index + 1) * 4));
}

bool HandleTable::SlotOf(HANDLE handle, size_t* shard, size_t* slot) {
  uintptr_t value = reinterpret_cast<uintptr_t>(handle);
  if (value == 0 || value % 4 != 0 || handle == INVALID_HANDLE_VALUE)
    return false;
  *shard = (value / 4 - 1) % kShards;
  *slot = (value / 4 - 1) / kShards;
  return true;
}

std::shared_ptr<HandleObject> HandleTable::Get(HANDLE handle) const {
  size_t shard_index, slot;
  if (!SlotOf(handle, &shard_index, &slot))
    return nullptr;
  const Shard& shard = shards_[shard_index];
  std::lock_guard lock(shard.mutex);
  return slot < shard.slots.size() ? shard.slots[slot] : nullptr;
}

std::shared_ptr<HandleObject> HandleTable::Remove(HANDLE handle) {
  size_t shard_index, slot;
  if (!SlotOf(handle, &shard_index, &slot))
    return nullptr;
  Shard& shard = shards_[shard_index];
  std::lock_guard lock(shard.mutex);
  if (slot >= shard.slots.size() || shard.slots[slot] == nullptr)
    return nullptr;
  std::shared_ptr<HandleObject> object = std::move(shard.slots[slot]);
  shard.slots[slot] = nullptr;
  shard.free_slots.push_back(slot);
  return object;
}

}  // namespace tarvik
