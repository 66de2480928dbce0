// PosixOs: the SMB2 server-side copy requests. Two handles on shares of one
// server that offers the copy (world: server_side_copy) copy between each
// other without the data passing through the caller: the host copies it
// with copy_file_range. Anywhere else the requests are refused as by a
// volume or server that does not know them.
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/nt_status.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/handle_writes.h"
#include "platform/posix/posix_os.h"

namespace tarvik {
namespace {

// The limits of a Windows server's defaults: a request beyond them is
// refused and answered with them, so that a client can size the next one.
constexpr ULONG kMaxChunks = 256;
constexpr ULONG kMaxChunkSize = 1048576;
constexpr ULONG kMaxRequestBytes = 16777216;

constexpr size_t kResumeKeyAnswerSize = kResumeKeySize + sizeof(ULONG);  // the key, ContextLength
constexpr size_t kChunkSize = sizeof(SRV_COPYCHUNK);
constexpr size_t kCopyAnswerSize = sizeof(SRV_COPYCHUNK_RESPONSE);

constexpr DWORD kReadRights = GENERIC_READ | GENERIC_ALL | FILE_READ_DATA;
// Positioned writes: a handle that may only append cannot take chunks.
constexpr DWORD kWriteRights = GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA;

NTSTATUS Answer(IO_STATUS_BLOCK* io_status, NTSTATUS status, size_t information) {
  if (io_status != nullptr)
    *io_status = {status, information};
  return status;
}

// A file's own data on the host. A named stream's handle is open on its
// file, whose data the host would copy instead: it is refused.
bool IsDataFile(const HandleObject& object) {
  return object.kind == HandleObject::Kind::kFile && !object.is_directory && !object.is_link &&
         !object.path_only && object.stream == nullptr && object.fd >= 0;
}

// The server whose share holds the handle's object, when that share offers
// the server-side copy; null otherwise (a drive, or a share without it).
const WorldServer* CopyingServer(const World& world, const HandleObject& object) {
  if (object.volume == nullptr)
    return nullptr;
  for (const WorldServer& server : world.servers) {
    for (const WorldShare& share : server.shares) {
      if (&share.volume == object.volume)
        return share.server_side_copy ? &server : nullptr;
    }
  }
  return nullptr;
}

// Copies one range with read and write, for hosts where copy_file_range
// cannot join the two files. Returns what copy_file_range would.
ssize_t CopyThroughBuffer(int in, off_t* in_offset, int out, off_t* out_offset, size_t length,
                          std::vector<char>* buffer) {
  buffer->resize(std::min<size_t>(length, kMaxChunkSize));
  ssize_t got;
  do {
    got = ::pread(in, buffer->data(), std::min(length, buffer->size()), *in_offset);
  } while (got < 0 && errno == EINTR);
  if (got <= 0)
    return got;
  size_t put = 0;
  while (put < static_cast<size_t>(got)) {
    const ssize_t done =
        ::pwrite(out, buffer->data() + put, got - put, *out_offset + static_cast<off_t>(put));
    if (done < 0 && errno == EINTR)
      continue;
    if (done <= 0) {
      if (done == 0)
        errno = EIO;  // no progress is no end of the source
      if (put == 0)
        return -1;
      break;  // a short count: the caller asks again and meets the error
    }
    put += static_cast<size_t>(done);
  }
  *in_offset += static_cast<off_t>(put);
  *out_offset += static_cast<off_t>(put);
  return static_cast<ssize_t>(put);
}

// The copy of one request's chunks, in order. The host may copy less than
// asked at each call; the source's end ends the request early.
class ChunkCopier {
 public:
  ChunkCopier(int in, int out) : in_(in), out_(out) {}

  // Copies the chunks; on failure the counts say how far they got. Chunks
  // that continue each other on both sides are copied by one host call, as
  // a server may: the answer counts them one by one all the same.
  NTSTATUS Copy(const SRV_COPYCHUNK* chunks, ULONG count, SRV_COPYCHUNK_RESPONSE* answer) {
    *answer = {};
    for (ULONG first = 0; first < count;) {
      ULONG end = first + 1;
      uint64_t length = chunks[first].Length;
      while (end < count && Continues(chunks[end - 1], chunks[end])) {
        length += chunks[end].Length;
        ++end;
      }
      uint64_t done = 0;
      const NTSTATUS status = CopyRange(chunks[first], length, &done);
      answer->TotalBytesWritten += static_cast<ULONG>(done);
      for (; first < end && done >= chunks[first].Length; ++first) {
        done -= chunks[first].Length;
        ++answer->ChunksWritten;
      }
      if (status != STATUS_SUCCESS || first < end) {
        answer->ChunkBytesWritten = static_cast<ULONG>(done);
        return status;
      }
    }
    return STATUS_SUCCESS;
  }

 private:
  static bool Continues(const SRV_COPYCHUNK& before, const SRV_COPYCHUNK& next) {
    return next.SourceOffset == before.SourceOffset + before.Length &&
           next.TargetOffset == before.TargetOffset + before.Length;
  }

  // Copies length bytes from where the chunk starts.
  NTSTATUS CopyRange(const SRV_COPYCHUNK& chunk, uint64_t length, uint64_t* done) {
    off_t in_offset = static_cast<off_t>(chunk.SourceOffset);
    off_t out_offset = static_cast<off_t>(chunk.TargetOffset);
    while (*done < length) {
      const size_t rest = length - *done;
      ssize_t copied = through_buffer_
                           ? CopyThroughBuffer(in_, &in_offset, out_, &out_offset, rest, &buffer_)
                           : ::copy_file_range(in_, &in_offset, out_, &out_offset, rest, 0);
      if (copied < 0 && errno == EINTR)
        continue;
      if (copied < 0 && !through_buffer_ &&
          (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL)) {
        through_buffer_ = true;  // the host cannot join these two files
        continue;
      }
      if (copied < 0)
        return NtStatusFromWin32Error(ErrorFromErrno(errno));
      if (copied == 0)
        break;  // the source ends here
      *done += static_cast<uint64_t>(copied);
    }
    return STATUS_SUCCESS;
  }

  const int in_;
  const int out_;
  bool through_buffer_ = false;
  std::vector<char> buffer_;
};

// The request's chunks are within the server's limits.
bool WithinLimits(const SRV_COPYCHUNK* chunks, ULONG count) {
  uint64_t total = 0;
  for (ULONG i = 0; i < count; ++i) {
    if (chunks[i].Length > kMaxChunkSize)
      return false;
    total += chunks[i].Length;
  }
  return total <= kMaxRequestBytes;
}

// Offsets that the host can reach.
bool Addressable(const SRV_COPYCHUNK* chunks, ULONG count) {
  constexpr uint64_t kMaxOffset = static_cast<uint64_t>(INT64_MAX) - kMaxChunkSize;
  for (ULONG i = 0; i < count; ++i) {
    if (chunks[i].SourceOffset > kMaxOffset || chunks[i].TargetOffset > kMaxOffset)
      return false;
  }
  return true;
}

NTSTATUS AnswerLimits(IO_STATUS_BLOCK* io_status, void* output) {
  const SRV_COPYCHUNK_RESPONSE limits{kMaxChunks, kMaxChunkSize, kMaxRequestBytes};
  std::memcpy(output, &limits, sizeof(limits));
  return Answer(io_status, STATUS_INVALID_PARAMETER, sizeof(limits));
}

// The chunks of a copy-chunk request, or the answer that refuses it.
NTSTATUS ReadChunks(const void* input, ULONG input_length, void* output, ULONG output_length,
                    IO_STATUS_BLOCK* io_status, std::vector<SRV_COPYCHUNK>* chunks) {
  if (output == nullptr || output_length < kCopyAnswerSize || input == nullptr ||
      input_length < kCopyChunkHeaderSize) {
    return Answer(io_status, STATUS_INVALID_PARAMETER, 0);
  }
  const uint8_t* request = static_cast<const uint8_t*>(input);
  ULONG count = 0;
  std::memcpy(&count, request + kResumeKeySize, sizeof(count));
  if (count > kMaxChunks)
    return AnswerLimits(io_status, output);
  if (input_length < kCopyChunkHeaderSize + count * kChunkSize)
    return Answer(io_status, STATUS_INVALID_PARAMETER, 0);
  chunks->resize(count);
  std::memcpy(chunks->data(), request + kCopyChunkHeaderSize, count * kChunkSize);
  if (!WithinLimits(chunks->data(), count))
    return AnswerLimits(io_status, output);
  if (!Addressable(chunks->data(), count))
    return Answer(io_status, STATUS_INVALID_PARAMETER, 0);
  return STATUS_SUCCESS;
}

}  // namespace

NTSTATUS PosixOs::NtFsControlFile(HANDLE file, HANDLE event, void* apc_routine, void* apc_context,
                                  IO_STATUS_BLOCK* io_status, ULONG control_code, void* input,
                                  ULONG input_length, void* output, ULONG output_length) {
  if (event != nullptr || apc_routine != nullptr || apc_context != nullptr)
    return Answer(io_status, STATUS_INVALID_PARAMETER, 0);
  std::shared_ptr<HandleObject> object = handles_.Get(file);
  if (object == nullptr)
    return Answer(io_status, STATUS_INVALID_HANDLE, 0);
  const WorldServer* server = CopyingServer(world_, *object);
  if (server == nullptr ||
      (control_code != FSCTL_SRV_REQUEST_RESUME_KEY && control_code != FSCTL_SRV_COPYCHUNK)) {
    return Answer(io_status, STATUS_INVALID_DEVICE_REQUEST, 0);
  }
  if (!IsDataFile(*object))
    return Answer(io_status, STATUS_INVALID_PARAMETER, 0);

  if (control_code == FSCTL_SRV_REQUEST_RESUME_KEY) {
    if (output == nullptr || output_length < kResumeKeyAnswerSize)
      return Answer(io_status, STATUS_INVALID_PARAMETER, 0);
    const ResumeKeys::Key key = resume_keys_.Issue(file, object);
    const ULONG context_length = 0;
    std::memcpy(output, key.data(), key.size());
    std::memcpy(static_cast<uint8_t*>(output) + key.size(), &context_length,
                sizeof(context_length));
    return Answer(io_status, STATUS_SUCCESS, kResumeKeyAnswerSize);
  }

  // FSCTL_SRV_COPYCHUNK on the target.
  std::vector<SRV_COPYCHUNK> chunks;
  const NTSTATUS refused =
      ReadChunks(input, input_length, output, output_length, io_status, &chunks);
  if (refused != STATUS_SUCCESS)
    return refused;
  // The source: a key of this server for a handle still open.
  HANDLE source_handle = nullptr;
  std::shared_ptr<HandleObject> source;
  if (!resume_keys_.Find(static_cast<const uint8_t*>(input), &source_handle, &source) ||
      handles_.Get(source_handle) != source || CopyingServer(world_, *source) != server) {
    return Answer(io_status, STATUS_OBJECT_NAME_NOT_FOUND, 0);
  }
  // This control code wants the target readable too (its write-only
  // variant is another code).
  if ((source->access & kReadRights) == 0 || (object->access & kWriteRights) == 0 ||
      (object->access & kReadRights) == 0) {
    return Answer(io_status, STATUS_ACCESS_DENIED, 0);
  }

  SRV_COPYCHUNK_RESPONSE answer{};
  const NTSTATUS status = ChunkCopier(source->fd, object->fd)
                              .Copy(chunks.data(), static_cast<ULONG>(chunks.size()), &answer);
  if (answer.TotalBytesWritten > 0)
    WroteThrough(*object);
  std::memcpy(output, &answer, sizeof(answer));
  return Answer(io_status, status, sizeof(answer));
}

}  // namespace tarvik
