// The resume keys of the server-side copy: FSCTL_SRV_REQUEST_RESUME_KEY
// hands out 24 opaque bytes that name one open source handle, and
// FSCTL_SRV_COPYCHUNK on a target handle finds the source by them.
//
// A key is a random secret of this Os followed by a serial number, never
// the handle value itself: handle values are reused once closed, and a key
// must not lead to whatever file is opened next under the same value.
#ifndef TARVIK_PLATFORM_POSIX_RESUME_KEYS_H_
#define TARVIK_PLATFORM_POSIX_RESUME_KEYS_H_

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/posix/handle_table.h"
#include "platform/win_types.h"

namespace tarvik {

class ResumeKeys {
 public:
  using Key = std::array<uint8_t, kResumeKeySize>;

  ResumeKeys();

  // A new key for the handle, open on object.
  Key Issue(HANDLE handle, const std::shared_ptr<HandleObject>& object);

  // The handle a key was issued for and its object, while the object lives;
  // false for a key that is not one of this Os's or whose object has gone.
  // The caller checks that the handle still holds the object.
  bool Find(const uint8_t* key, HANDLE* handle, std::shared_ptr<HandleObject>* object) const;

 private:
  struct Entry {
    HANDLE handle;
    std::weak_ptr<HandleObject> object;
  };
  static constexpr size_t kSecretSize = 16;

  // Drops the keys of objects that have gone.
  void Sweep();

  std::array<uint8_t, kSecretSize> secret_{};
  mutable std::mutex mutex_;
  uint64_t next_serial_ = 1;
  std::unordered_map<uint64_t, Entry> entries_;
  size_t sweep_at_ = 64;  // entries_ size that triggers the next sweep
};

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_POSIX_RESUME_KEYS_H_
