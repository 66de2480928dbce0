#include "copy/copy_job.h"

#include "platform/os.h"

namespace tarvik {

IoSlot::~IoSlot() {
  if (largeBuffer_ != nullptr)
    Os::Current().VirtualFree(largeBuffer_, 0, MEM_RELEASE);
}

uint8_t* IoSlot::BufferFor(uint64_t planned_size) {
  if (planned_size > kIoBlockSize && largeBuffer_ == nullptr && !largeBufferRefused_) {
    // A system without such memory is no failure: the heap buffer serves.
    largeBuffer_ =
        Os::Current().VirtualAlloc(nullptr, kIoBlockSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    largeBufferRefused_ = largeBuffer_ == nullptr;
  }
  if (largeBuffer_ != nullptr && planned_size > kIoBlockSize)
    return static_cast<uint8_t*>(largeBuffer_);
  if (!heapBuffer_)
    heapBuffer_.reset(new uint8_t[kIoBlockSize]);
  return heapBuffer_.get();
}

void CopyJob::Close(HANDLE* handle) {
  if (*handle == INVALID_HANDLE_VALUE)
    return;
  Os::Current().CloseHandle(*handle);
  *handle = INVALID_HANDLE_VALUE;
}

}  // namespace tarvik
