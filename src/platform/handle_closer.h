// Closes a handle when it goes out of scope. The handle is read at that
// moment, so a loop may open it again and again; the thread's last error is
// kept, since it is the error of the call that failed and callers report it.
#ifndef TARVIK_PLATFORM_HANDLE_CLOSER_H_
#define TARVIK_PLATFORM_HANDLE_CLOSER_H_

#include "platform/os.h"

namespace tarvik {

class HandleCloser {
 public:
  explicit HandleCloser(HANDLE* handle) : handle_(handle) {}
  HandleCloser(const HandleCloser&) = delete;
  HandleCloser& operator=(const HandleCloser&) = delete;
  ~HandleCloser() {
    if (*handle_ == INVALID_HANDLE_VALUE)
      return;
    const DWORD error = Os::GetLastError();
    Os::Current().CloseHandle(*handle_);
    *handle_ = INVALID_HANDLE_VALUE;
    Os::SetLastError(error);
  }

 private:
  HANDLE* handle_;
};

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_HANDLE_CLOSER_H_
