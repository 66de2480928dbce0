// user.DOSATTRIB values: the legacy hex text and every NDR version. What the
// decoder reads, written back as version 5 and read again, is the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/posix/dos_attributes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view value(reinterpret_cast<const char*>(data), size);
  std::optional<tarvik::DosInfo> info = tarvik::DecodeDosAttrib(value);
  if (!info || !info->attributes || !info->creation_time)
    return 0;
  std::optional<tarvik::DosInfo> again =
      tarvik::DecodeDosAttrib(tarvik::EncodeDosAttrib(*info->attributes, *info->creation_time));
  if (!again || again->attributes != info->attributes ||
      again->creation_time != info->creation_time) {
    std::abort();
  }
  return 0;
}
