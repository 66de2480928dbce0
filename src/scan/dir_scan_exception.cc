#include "scan/dir_scan_exception.h"

#include "platform/os.h"
#include "util/utf.h"

namespace tarvik {

DirScanException::DirScanException(int32_t kind, std::wstring message)
    : DirScanException(kind, std::move(message), Os::GetLastError()) {}

DirScanException::DirScanException(int32_t kind, std::wstring message, DWORD code)
    : message_(std::move(message)), kind_(kind), code_(code), narrow_(ToUtf8(message_)) {}

}  // namespace tarvik
