#include "platform/posix/handle_table.h"

#include <unistd.h>

#include <cerrno>

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

HANDLE HandleTable::Add(std::shared_ptr<HandleObject> object) {
  std::lock_guard lock(mutex_);
  size_t slot;
  if (!free_slots_.empty()) {
    slot = free_slots_.back();
    free_slots_.pop_back();
    slots_[slot] = std::move(object);
  } else {
    slot = slots_.size();
    slots_.push_back(std::move(object));
  }
  return reinterpret_cast<HANDLE>(static_cast<uintptr_t>((slot + 1) * 4));
}

bool HandleTable::SlotOf(HANDLE handle, size_t* slot) {
  uintptr_t value = reinterpret_cast<uintptr_t>(handle);
  if (value == 0 || value % 4 != 0 || handle == INVALID_HANDLE_VALUE)
    return false;
  *slot = value / 4 - 1;
  return true;
}

std::shared_ptr<HandleObject> HandleTable::Get(HANDLE handle) const {
  size_t slot;
  if (!SlotOf(handle, &slot))
    return nullptr;
  std::lock_guard lock(mutex_);
  return slot < slots_.size() ? slots_[slot] : nullptr;
}

std::shared_ptr<HandleObject> HandleTable::Remove(HANDLE handle) {
  size_t slot;
  if (!SlotOf(handle, &slot))
    return nullptr;
  std::lock_guard lock(mutex_);
  if (slot >= slots_.size() || slots_[slot] == nullptr)
    return nullptr;
  std::shared_ptr<HandleObject> object = std::move(slots_[slot]);
  slots_[slot] = nullptr;
  free_slots_.push_back(slot);
  return object;
}

}  // namespace tarvik
