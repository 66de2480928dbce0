// Reparse points. A symbolic link is a host symbolic link; any other reparse
// point (a mount point, a DFS link, ...) is a file or directory whose raw
// REPARSE_DATA_BUFFER is kept, byte for byte, in the extended attribute
// user.SmbReparse, and whose DOS attributes carry FILE_ATTRIBUTE_REPARSE_POINT.
#ifndef TARVIK_PLATFORM_POSIX_REPARSE_POINTS_H_
#define TARVIK_PLATFORM_POSIX_REPARSE_POINTS_H_

#include <optional>
#include <string>
#include <string_view>

#include "platform/win_types.h"

namespace tarvik {

constexpr char kReparseAttributeName[] = "user.SmbReparse";

struct SymlinkReparse {
  std::wstring substitute_name;  // "\??\C:\dir" or, relative, "..\dir"
  std::wstring print_name;       // "C:\dir"
  bool relative = false;         // SYMLINK_FLAG_RELATIVE
};

// The tag of a buffer, 0 when it has none.
DWORD ReparseTagOf(std::string_view buffer);

// ERROR_SUCCESS when the buffer is a well-formed REPARSE_DATA_BUFFER (header,
// data length, and for a symbolic link names inside the path buffer).
DWORD CheckReparseBuffer(std::string_view buffer);

// The symbolic link layout: substitute name first, then the print name, no
// terminating NULs.
std::string EncodeSymlinkReparse(const SymlinkReparse& link);
std::optional<SymlinkReparse> DecodeSymlinkReparse(std::string_view buffer);

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_POSIX_REPARSE_POINTS_H_
