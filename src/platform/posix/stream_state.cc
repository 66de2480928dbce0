#include "platform/posix/stream_state.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/os.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/stream_store.h"

namespace tarvik {
namespace {

constexpr uint64_t kEndOfFile = 0xFFFFFFFFFFFFFFFFull;

BOOL Fail(DWORD error) {
  Os::SetLastError(error);
  return FALSE;
}

uint64_t OffsetOf(const OVERLAPPED& overlapped) {
  return (static_cast<uint64_t>(overlapped.OffsetHigh) << 32) | overlapped.Offset;
}

}  // namespace

uint64_t StreamState::size() const {
  std::lock_guard lock(mutex_);
  return data_.size();
}

uint64_t StreamState::position() const {
  std::lock_guard lock(mutex_);
  return position_;
}

void StreamState::set_position(uint64_t position) {
  std::lock_guard lock(mutex_);
  position_ = position;
}

BOOL StreamState::Read(void* buffer, DWORD size, DWORD* read, OVERLAPPED* overlapped) {
  std::lock_guard lock(mutex_);
  uint64_t offset = overlapped != nullptr ? OffsetOf(*overlapped) : position_;
  size_t got = 0;
  if (offset < data_.size())
    got = static_cast<size_t>(std::min<uint64_t>(size, data_.size() - offset));
  if (got > 0)
    std::memcpy(buffer, data_.data() + offset, got);
  if (read != nullptr)
    *read = static_cast<DWORD>(got);
  if (overlapped == nullptr) {
    position_ = offset + got;
    return TRUE;
  }
  overlapped->Internal = 0;
  overlapped->InternalHigh = got;
  // A positioned read at or past the end is a failure, as for a file.
  if (got == 0 && size > 0)
    return Fail(ERROR_HANDLE_EOF);
  return TRUE;
}

BOOL StreamState::Write(const HostObject& file, const void* buffer, DWORD size, DWORD* written,
                        OVERLAPPED* overlapped) {
  if (written != nullptr)
    *written = 0;
  if (size == 0)
    return TRUE;
  std::lock_guard lock(mutex_);
  uint64_t offset = overlapped != nullptr ? OffsetOf(*overlapped) : position_;
  if (offset == kEndOfFile)
    offset = data_.size();
  if (offset > kMaxStreamSize || size > kMaxStreamSize - offset)
    return Fail(ERROR_FILE_TOO_LARGE);
  std::string data = data_;
  size_t end = static_cast<size_t>(offset) + size;
  if (end > data.size())
    data.resize(end, '\0');
  std::memcpy(data.data() + offset, buffer, size);
  if (!Store(file, std::move(data)))
    return FALSE;
  if (written != nullptr)
    *written = size;
  if (overlapped != nullptr) {
    overlapped->Internal = 0;
    overlapped->InternalHigh = size;
  } else {
    position_ = end;
  }
  return TRUE;
}

BOOL StreamState::SetEnd(const HostObject& file) {
  std::lock_guard lock(mutex_);
  if (position_ > kMaxStreamSize)
    return Fail(ERROR_FILE_TOO_LARGE);
  std::string data = data_;
  data.resize(static_cast<size_t>(position_), '\0');
  return Store(file, std::move(data));
}

bool StreamState::Store(const HostObject& file, std::string data) {
  int error = WriteStream(file, attribute_, data);
  if (error != 0)
    return Fail(ErrorFromErrno(error));
  data_ = std::move(data);
  return true;
}

}  // namespace tarvik
