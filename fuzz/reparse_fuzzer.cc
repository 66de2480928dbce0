// Reparse-point buffers read from a source object. A symbolic link buffer
// the decoder accepts, written back and read again, names the same target,
// and what the checker accepts the tag reader reads.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/posix/reparse_points.h"
#include "platform/win_error.h"

using tarvik::DWORD;
using tarvik::ERROR_SUCCESS;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view buffer(reinterpret_cast<const char*>(data), size);
  DWORD tag = tarvik::ReparseTagOf(buffer);
  if (tarvik::CheckReparseBuffer(buffer) == ERROR_SUCCESS && tag == 0)
    std::abort();
  std::optional<tarvik::SymlinkReparse> link = tarvik::DecodeSymlinkReparse(buffer);
  if (!link)
    return 0;
  std::string encoded = tarvik::EncodeSymlinkReparse(*link);
  std::optional<tarvik::SymlinkReparse> again = tarvik::DecodeSymlinkReparse(encoded);
  if (!again || again->substitute_name != link->substitute_name ||
      again->print_name != link->print_name || again->relative != link->relative ||
      tarvik::CheckReparseBuffer(encoded) != ERROR_SUCCESS) {
    std::abort();
  }
  return 0;
}
