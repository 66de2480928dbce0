// The context of one data copy (the unnamed data of a file, or one named
// stream) and the engine's data buffers.
#ifndef TARVIK_COPY_COPY_JOB_H_
#define TARVIK_COPY_COPY_JOB_H_

#include <cstdint>
#include <memory>
#include <string>

#include "copy/md5_digest.h"
#include "platform/win_error.h"
#include "platform/win_types.h"

namespace tarvik {

// Data moves through buffers of this size, allocated once per engine.
constexpr DWORD kIoBlockSize = 1048576;

// Files above this size get their final size reserved before the data.
constexpr uint64_t kReservationThreshold = 65536;

// A positioned read or write at position.
inline OVERLAPPED OverlappedAt(uint64_t position) {
  OVERLAPPED overlapped{};
  overlapped.Offset = static_cast<DWORD>(position & 0xFFFFFFFF);
  overlapped.OffsetHigh = static_cast<DWORD>(position >> 32);
  return overlapped;
}

enum class IoKind : int32_t { kIdle = 0, kWriting = 1, kReading = 2 };

struct IoSlot {
  IoSlot() = default;
  ~IoSlot();
  IoSlot(const IoSlot&) = delete;
  IoSlot& operator=(const IoSlot&) = delete;

  // A buffer of kIoBlockSize bytes for a copy of planned_size bytes. Copies
  // of more than one block get (from the first such copy on) memory the
  // system backs with large pages, which moves data about twice as fast;
  // smaller copies use a heap buffer, of which they touch only what they
  // need, so that many workers copying small files stay small.
  uint8_t* BufferFor(uint64_t planned_size);

  IoKind kind = IoKind::kIdle;
  DWORD requested = 0;
  DWORD bytesRead = 0;
  DWORD bytesToWrite = 0;
  DWORD lastWritten = 0;
  DWORD bufferDone = 0;  // bytes of the buffer already written

 private:
  std::unique_ptr<uint8_t[]> heapBuffer_;  // left uninitialised: written before read
  void* largeBuffer_ = nullptr;
  bool largeBufferRefused_ = false;
};

struct CopyJob {
  uint64_t plannedSize = 0;
  uint64_t bytesWritten = 0;
  uint64_t position = 0;
  DWORD creationAttributes = 0;
  std::wstring sourcePath;
  std::wstring targetPath;
  HANDLE sourceHandle = INVALID_HANDLE_VALUE;
  HANDLE targetHandle = INVALID_HANDLE_VALUE;
  int32_t done = 0;

  // The source as last seen (refreshed before a restart).
  DWORD attributes = 0;
  FILETIME creationTime{};
  FILETIME lastAccessTime{};
  FILETIME lastWriteTime{};
  DWORD sizeHigh = 0;
  DWORD sizeLow = 0;

  int32_t restarts = 0;
  int32_t networkFailure = 0;
  int32_t mainData = 0;
  int32_t offlineSource = 0;
  int32_t compressedSource = 0;

  // The target was opened (created or truncated) by this job at least once:
  // only then do its times and attributes belong to this copy.
  bool targetOpened = false;

  // With /cm md5: the digest of the bytes read from the source by the data
  // loop, and the digest of the target read back after the copy.
  Md5Digest sourceDigest;
  Md5Digest targetDigest;

  // Closes the handle when it is open and marks it closed.
  static void Close(HANDLE* handle);

  uint64_t SourceSize() const { return (static_cast<uint64_t>(sizeHigh) << 32) | sizeLow; }
};

// Four system errors mean that the connection to a server was lost.
inline bool IsNetworkError(DWORD error) {
  return error == ERROR_NETNAME_DELETED || error == ERROR_BAD_NET_NAME ||
         error == ERROR_VC_DISCONNECTED || error == ERROR_NETWORK_UNREACHABLE;
}

}  // namespace tarvik

#endif  // TARVIK_COPY_COPY_JOB_H_
