#include "platform/posix/resume_keys.h"

#include <algorithm>
#include <cstring>
#include <random>

namespace tarvik {

ResumeKeys::ResumeKeys() {
  std::random_device random;
  for (uint8_t& byte : secret_)
    byte = static_cast<uint8_t>(random());
}

ResumeKeys::Key ResumeKeys::Issue(HANDLE handle, const std::shared_ptr<HandleObject>& object) {
  std::lock_guard lock(mutex_);
  const uint64_t serial = next_serial_++;
  entries_[serial] = Entry{handle, object};
  if (entries_.size() >= sweep_at_)
    Sweep();
  Key key{};
  std::memcpy(key.data(), secret_.data(), kSecretSize);
  std::memcpy(key.data() + kSecretSize, &serial, sizeof(serial));
  return key;
}

bool ResumeKeys::Find(const uint8_t* key, HANDLE* handle,
                      std::shared_ptr<HandleObject>* object) const {
  if (!std::equal(secret_.begin(), secret_.end(), key))
    return false;
  uint64_t serial = 0;
  std::memcpy(&serial, key + kSecretSize, sizeof(serial));
  std::lock_guard lock(mutex_);
  auto found = entries_.find(serial);
  if (found == entries_.end())
    return false;
  *object = found->second.object.lock();
  *handle = found->second.handle;
  return *object != nullptr;
}

// A copy asks for one key per file, so the table would grow with the run;
// the keys of closed handles go whenever it has doubled since the last sweep.
void ResumeKeys::Sweep() {
  std::erase_if(entries_, [](const auto& entry) { return entry.second.object.expired(); });
  sweep_at_ = std::max<size_t>(64, entries_.size() * 2);
}

}  // namespace tarvik
