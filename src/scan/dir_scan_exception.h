// DirScanException: the failure that travels through the walk and the copy
// engine. It carries the system error code of the calling thread at the
// moment it was built, so that whoever catches it reports the failing call's
// error and not whatever a later call left behind.
#ifndef TARVIK_SCAN_DIR_SCAN_EXCEPTION_H_
#define TARVIK_SCAN_DIR_SCAN_EXCEPTION_H_

#include <cstdint>
#include <exception>
#include <string>

#include "platform/win_types.h"

namespace tarvik {

enum DirScanErrorKind : int32_t {
  kBadSourceRoot = 1,            // the source root is not an existing directory
  kFailedWithoutRetry = 3,       // failed and no retry was configured
  kFailedAfterRetries = 4,       // failed after its retries
  kObjectEnded = 5,              // the copy engine ends one object
  kDirectorySecurityNotSet = 6,  // security of a created directory not set
  kAborted = 7,                  // the run is being aborted
  kFatal = 8,                    // not supported, or a required object cannot be opened
  kNoRootSet = 9,                // only a result of FindSubDir: no source root was set
  kOutOfMemory = 10,
};

class DirScanException : public std::exception {
 public:
  // The code is the calling thread's last error.
  DirScanException(int32_t kind, std::wstring message);
  DirScanException(int32_t kind, std::wstring message, DWORD code);

  const std::wstring& message() const { return message_; }
  int32_t kind() const { return kind_; }
  DWORD code() const { return code_; }
  // Kinds above kAborted end the walk even with /c.
  bool IsFatal() const { return kind_ > kAborted; }

  // Set by the first catcher that counts the failure, so that it is counted
  // once however far it travels.
  bool counted() const { return counted_ != 0; }
  void set_counted() { counted_ = 1; }

  const char* what() const noexcept override { return narrow_.c_str(); }

 private:
  std::wstring message_;
  int32_t kind_;
  DWORD code_;
  int32_t counted_ = 0;
  std::string narrow_;
};

}  // namespace tarvik

#endif  // TARVIK_SCAN_DIR_SCAN_EXCEPTION_H_
