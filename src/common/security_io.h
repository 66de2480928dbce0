// Reading a file's or directory's security descriptor into a SecDesc and
// writing one onto it (creating the object first when asked). Both log their
// own failure once and return false with the failing call's error as the
// thread's last error, which the copy engine's retry policy reads.
#ifndef TARVIK_COMMON_SECURITY_IO_H_
#define TARVIK_COMMON_SECURITY_IO_H_

#include <string>

#include "common/sec_desc.h"

namespace tarvik {

// Owner, group and DACL; with want_sacl the SACL too, with want_dac the
// resource attribute and scoped policy entries.
bool ReadSecurity(SecDesc* target, const std::wstring& path, bool want_sacl, bool want_dac,
                  bool backup_semantics, bool open_reparse_point);

// Writes the parts descriptor carries; nothing to write is success. create
// makes the object first (an empty file, or a directory that may exist).
bool WriteSecurity(SecDesc& descriptor, const std::wstring& path, bool backup_semantics,
                   bool create, bool is_directory, bool open_reparse_point);

// A descriptor larger than this is refused.
constexpr uint32_t kMaxDescriptorSize = 0xFFFF;

}  // namespace tarvik

#endif  // TARVIK_COMMON_SECURITY_IO_H_
