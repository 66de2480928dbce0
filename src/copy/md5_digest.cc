#include "copy/md5_digest.h"

#include <openssl/err.h>
#include <openssl/evp.h>

#include "log/log.h"

namespace tarvik {
namespace {

// Fetched once for the process and shared by every worker: an EVP_MD is
// immutable once fetched.
const EVP_MD* Md5Algorithm() {
  static EVP_MD* const md5 = EVP_MD_fetch(nullptr, "MD5", nullptr);
  return md5;
}

}  // namespace

bool LoadMd5Functions() {
  if (Md5Algorithm() != nullptr)
    return true;
  const int32_t reason = static_cast<int32_t>(ERR_GET_REASON(ERR_peek_last_error()));
  ERR_clear_error();
  LogText(
      L"The MD5Init can not be found in ntcrypt.dll, error : %I32d, MD5 checkum calculation is "
      L"disabled\n",
      reason);
  return false;
}

Md5Digest::~Md5Digest() {
  EVP_MD_CTX_free(context_);
}

void Md5Digest::Start() {
  state_ = State::kFailed;
  if (context_ == nullptr)
    context_ = EVP_MD_CTX_new();
  const EVP_MD* md5 = Md5Algorithm();
  if (context_ != nullptr && md5 != nullptr && EVP_DigestInit_ex(context_, md5, nullptr) == 1)
    state_ = State::kRunning;
}

void Md5Digest::Add(const void* data, size_t size) {
  if (state_ == State::kRunning && EVP_DigestUpdate(context_, data, size) != 1)
    state_ = State::kFailed;
}

void Md5Digest::Finish() {
  if (state_ != State::kRunning)
    return;
  unsigned int length = 0;
  state_ = EVP_DigestFinal_ex(context_, value_.data(), &length) == 1 && length == kSize
               ? State::kFinished
               : State::kFailed;
}

bool Md5Digest::Matches(const Md5Digest& other) const {
  return state_ == State::kFinished && other.state_ == State::kFinished && value_ == other.value_;
}

}  // namespace tarvik
