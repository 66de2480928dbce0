// One MD5 digest (RFC 1321) over bytes given piece by piece, and the check
// at run set-up that the system can compute one.
#ifndef TARVIK_COPY_MD5_DIGEST_H_
#define TARVIK_COPY_MD5_DIGEST_H_

#include <array>
#include <cstddef>
#include <cstdint>

struct evp_md_ctx_st;

namespace tarvik {

// Makes the MD5 algorithm ready for the whole run. When the system cannot
// provide it, says so once and returns false: the run then copies without
// the MD5 check.
bool LoadMd5Functions();

class Md5Digest {
 public:
  static constexpr size_t kSize = 16;

  Md5Digest() = default;
  ~Md5Digest();
  Md5Digest(const Md5Digest&) = delete;
  Md5Digest& operator=(const Md5Digest&) = delete;

  // Starts an empty digest, dropping whatever was added before.
  void Start();
  // Nothing unless the digest is running (between Start and Finish).
  void Add(const void* data, size_t size);
  void Finish();

  // Start was called: the digest is running, finished or failed.
  bool started() const { return state_ != State::kIdle; }
  // Both digests were finished without a failure and hold the same bytes.
  // A digest that failed matches nothing, so a failure never passes for a
  // good copy.
  bool Matches(const Md5Digest& other) const;
  const std::array<uint8_t, kSize>& value() const { return value_; }

 private:
  enum class State { kIdle, kRunning, kFinished, kFailed };

  evp_md_ctx_st* context_ = nullptr;  // made on the first Start
  std::array<uint8_t, kSize> value_{};
  State state_ = State::kIdle;
};

}  // namespace tarvik

#endif  // TARVIK_COPY_MD5_DIGEST_H_
