// Md5Digest on Windows: the system's cryptography (CNG, bcrypt.dll) computes
// the digest, so a Windows build needs no OpenSSL.
#include <algorithm>

#include "copy/md5_digest.h"
#include "log/log.h"

#include "platform/win32/windows_api.h"

// Needs windows.h's types.
#include <bcrypt.h>

// The digest's context, named as the header declares it: here a CNG hash.
struct evp_md_ctx_st {
  BCRYPT_HASH_HANDLE hash = nullptr;
};

namespace tarvik {
namespace {

struct Md5Provider {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  ::NTSTATUS status = 0;  // the system's signed status: negative is a failure
};

// Opened once for the process and shared by every worker: CNG algorithm
// handles may be used from any number of threads.
const Md5Provider& Md5() {
  static const Md5Provider provider = [] {
    Md5Provider opened;
    opened.status =
        ::BCryptOpenAlgorithmProvider(&opened.algorithm, BCRYPT_MD5_ALGORITHM, nullptr, 0);
    if (opened.status < 0)
      opened.algorithm = nullptr;
    return opened;
  }();
  return provider;
}

void DestroyHash(evp_md_ctx_st* context) {
  if (context != nullptr && context->hash != nullptr) {
    ::BCryptDestroyHash(context->hash);
    context->hash = nullptr;
  }
}

}  // namespace

bool LoadMd5Functions() {
  if (Md5().algorithm != nullptr)
    return true;
  LogText(
      L"The MD5Init can not be found in ntcrypt.dll, error : %I32d, MD5 checkum calculation is "
      L"disabled\n",
      static_cast<int32_t>(Md5().status));
  return false;
}

Md5Digest::~Md5Digest() {
  DestroyHash(context_);
  delete context_;
}

void Md5Digest::Start() {
  state_ = State::kFailed;
  if (context_ == nullptr)
    context_ = new evp_md_ctx_st;
  DestroyHash(context_);
  BCRYPT_ALG_HANDLE md5 = Md5().algorithm;
  if (md5 != nullptr && ::BCryptCreateHash(md5, &context_->hash, nullptr, 0, nullptr, 0, 0) >= 0)
    state_ = State::kRunning;
}

void Md5Digest::Add(const void* data, size_t size) {
  const auto* bytes = static_cast<const UCHAR*>(data);
  while (state_ == State::kRunning && size > 0) {
    const auto chunk = static_cast<ULONG>(std::min<size_t>(size, 1u << 30));
    if (::BCryptHashData(context_->hash, const_cast<UCHAR*>(bytes), chunk, 0) < 0)
      state_ = State::kFailed;
    bytes += chunk;
    size -= chunk;
  }
}

void Md5Digest::Finish() {
  if (state_ != State::kRunning)
    return;
  state_ = ::BCryptFinishHash(context_->hash, value_.data(), kSize, 0) >= 0 ? State::kFinished
                                                                            : State::kFailed;
  DestroyHash(context_);
}

bool Md5Digest::Matches(const Md5Digest& other) const {
  return state_ == State::kFinished && other.state_ == State::kFinished && value_ == other.value_;
}

}  // namespace tarvik
