// The NT security descriptor of a host object as Samba keeps it: the
// extended attribute value xattr_NTACL, in NDR. It is written as version 1
// (version and union level 1, a unique pointer, then the self-relative
// descriptor); versions 1 to 4 are read (the later ones add hashes and a
// description, which are skipped). NDR counts the descriptor's relative
// pointers from the start of the whole value, not from the descriptor.
#ifndef TARVIK_PLATFORM_POSIX_NT_ACL_H_
#define TARVIK_PLATFORM_POSIX_NT_ACL_H_

#include <optional>
#include <string>
#include <string_view>

#include "common/sd/descriptor_bytes.h"

namespace tarvik {

// The xattr_NTACL version 1 value holding the descriptor.
std::string EncodeNtAcl(const DescriptorParts& parts);
// The descriptor of a version 1 to 4 value; nothing for any other or a
// malformed value.
std::optional<DescriptorParts> DecodeNtAcl(std::string_view value);

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_POSIX_NT_ACL_H_
