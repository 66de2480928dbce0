// The server-side copy (/chunk): when source and target lie on one SMB2
// server, the server copies the data itself with copy-chunk requests and no
// byte passes through the engine. The request is built in the first slot
// (the source's resume key, the chunk count, then the chunks); the second
// takes the server's answers. A server without the request turns the
// server-side copy off for the rest of the run; any other refusal sends
// this one object through the data loop.
#include <algorithm>
#include <cstring>

#include "copy/dir_copy.h"
#include "copy/engine_state.h"
#include "log/log.h"
#include "platform/nt_status.h"
#include "settings/copy_settings.h"
#include "util/abort.h"

namespace tarvik {
namespace {

constexpr ULONG kChunksPerRequest = 16;
// Requests and answers take a page or two: the slots' heap buffers, which
// hold only the pages touched, serve them whatever the file's size.
constexpr uint64_t kSmallBuffer = 0;
constexpr ULONG kChunkLength = 1048576;
// What the answers may fill of the second slot.
constexpr ULONG kAnswerLength = 65536;

ULONG RequestLength(ULONG count) {
  return static_cast<ULONG>(kCopyChunkHeaderSize + count * sizeof(SRV_COPYCHUNK));
}

// Stores after the key the chunks that continue the job where it stands:
// up to 16 of 1 MiB, not beyond the planned size. Returns the bytes asked
// for; *count is the number of chunks.
uint64_t StoreBatch(const CopyJob& job, uint8_t* request, ULONG* count) {
  uint64_t batch = 0;
  ULONG chunks = 0;
  while (chunks < kChunksPerRequest && job.bytesWritten + batch < job.plannedSize) {
    const uint64_t offset = job.bytesWritten + batch;
    const auto length =
        static_cast<ULONG>(std::min<uint64_t>(job.plannedSize - offset, kChunkLength));
    const SRV_COPYCHUNK chunk{offset, offset, length, 0};
    std::memcpy(request + RequestLength(chunks), &chunk, sizeof(chunk));
    batch += length;
    ++chunks;
  }
  const ULONG reserved = 0;
  std::memcpy(request + kResumeKeySize, &chunks, sizeof(chunks));
  std::memcpy(request + kResumeKeySize + sizeof(chunks), &reserved, sizeof(reserved));
  *count = chunks;
  return batch;
}

}  // namespace

void DirCopy::ChunkCopy(CopyJob& job) {
  uint8_t* const request = slots_[0]->BufferFor(kSmallBuffer);
  if (!TakeResumeKey(job, request)) {
    CopyDataLoop(job);
    return;
  }
  for (;;) {
    ULONG count = 0;
    const uint64_t batch = StoreBatch(job, request, &count);
    DWORD written = 0;
    if (!SendChunks(job, count, &written))
      return;
    // An answer short of the batch is continued where it stopped; one of
    // nothing means the source ended early, which the size check settles as
    // for the data loop.
    if (written == 0)
      break;
    written = static_cast<DWORD>(std::min<uint64_t>(written, batch));
    job.bytesWritten += written;
    job.position += written;
    if (job.bytesWritten == job.plannedSize)
      break;
    if (job.sourceHandle == INVALID_HANDLE_VALUE || job.targetHandle == INVALID_HANDLE_VALUE)
      return;
  }
  // No byte passed through the engine: with /cm md5 the source is read once
  // more for the digest that the target is checked against.
  if (Settings().checkContentMode == kCheckMd5 && !DigestSource(job))
    return;
  job.done = 1;
}

bool DirCopy::TakeResumeKey(CopyJob& job, uint8_t* request) {
  uint8_t* const answer = slots_[1]->BufferFor(kSmallBuffer);
  IO_STATUS_BLOCK io_status{};
  const NTSTATUS status = Os::Current().NtFsControlFile(job.sourceHandle, nullptr, nullptr, nullptr,
                                                        &io_status, FSCTL_SRV_REQUEST_RESUME_KEY,
                                                        nullptr, 0, answer, kAnswerLength);
  ThrowIfAborted();
  if (status == STATUS_SUCCESS) {
    std::memcpy(request, answer, kResumeKeySize);
    return true;
  }
  if (status == STATUS_INVALID_DEVICE_REQUEST && SwitchChunkCopyOff()) {
    LogWarning(L"%s -> IOCTL 0x%x Alternative Get Resume Key unsupported. Copy Chunk is disabled",
               job.sourcePath, FSCTL_SRV_REQUEST_RESUME_KEY);
  }
  return false;
}

bool DirCopy::SendChunks(CopyJob& job, ULONG count, DWORD* written) {
  uint8_t* const request = slots_[0]->BufferFor(kSmallBuffer);
  uint8_t* const answer = slots_[1]->BufferFor(kSmallBuffer);
  bool waiting_for_space = false;
  while (job.targetHandle != INVALID_HANDLE_VALUE) {
    IO_STATUS_BLOCK io_status{};
    const NTSTATUS status = Os::Current().NtFsControlFile(
        job.targetHandle, nullptr, nullptr, nullptr, &io_status, FSCTL_SRV_COPYCHUNK, request,
        RequestLength(count), answer, kAnswerLength);
    if (status == STATUS_SUCCESS) {
      SRV_COPYCHUNK_RESPONSE response{};
      std::memcpy(&response, answer, sizeof(response));
      *written = response.TotalBytesWritten;
      if (waiting_for_space)
        LogWarning(L"%s -> write file resumed", job.targetPath);
      return true;
    }
    // The native call leaves the last error alone: the status gives the
    // reason that the retry policy and the messages show.
    Os::SetLastError(Win32ErrorFromNtStatus(status));
    if (!OnWriteFailure(job, &waiting_for_space, L"Error while copying chunk from %s : ",
                        job.sourcePath)) {
      if (!job.networkFailure)
        LogInfo(L"%s -> file not writeable.", job.targetPath);
      return false;
    }
  }
  return false;
}

bool DirCopy::DigestSource(CopyJob& job) {
  uint8_t* const buffer = slots_[0]->BufferFor(job.plannedSize);
  job.sourceDigest.Start();
  // What was copied, as the data loop would have read it.
  for (uint64_t position = 0; position < job.bytesWritten;) {
    const auto size =
        static_cast<DWORD>(std::min<uint64_t>(job.bytesWritten - position, kIoBlockSize));
    DWORD read = 0;
    const BlockRead result = ReadBlock(job, false, position, buffer, size, &read);
    if (result == BlockRead::kFailed)
      return false;
    if (result == BlockRead::kEnd || read == 0)
      break;  // a source that shrank since: the digests will differ
    job.sourceDigest.Add(buffer, read);
    position += read;
  }
  return true;
}

}  // namespace tarvik
