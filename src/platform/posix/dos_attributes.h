// The DOS attributes and creation time of a host file, kept as Samba keeps
// them: the extended attribute user.DOSATTRIB holding an NDR-encoded
// xattr_DOSATTRIB. Written as version 5; the legacy hex text and versions 1
// to 5 are read.
#ifndef TARVIK_PLATFORM_POSIX_DOS_ATTRIBUTES_H_
#define TARVIK_PLATFORM_POSIX_DOS_ATTRIBUTES_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/win_types.h"

namespace tarvik {

constexpr char kDosAttributeName[] = "user.DOSATTRIB";
// Where a symbolic link keeps them: user.* attributes cannot be set on a link.
constexpr char kLinkDosAttributeName[] = "trusted.DOSATTRIB";

struct DosInfo {
  std::optional<DWORD> attributes;
  std::optional<uint64_t> creation_time;  // NT time, 100 ns since 1601
};

// Version 5: empty hex string, version 5, valid flags 0x11 (attributes and
// creation time), the attributes and the creation time.
std::string EncodeDosAttrib(DWORD attributes, uint64_t creation_time);

// Nullopt for a value that is none of the known forms.
std::optional<DosInfo> DecodeDosAttrib(std::string_view value);

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_POSIX_DOS_ATTRIBUTES_H_
