#include "common/sd/sd_exception.h"

#include "util/utf.h"

namespace tarvik {

SDException::SDException(std::wstring message, int code)
    : message_(std::move(message)), code_(code), narrow_(ToUtf8(message_)) {}

}  // namespace tarvik
