// The NT security descriptor of a host object as Samba keeps it: the
// extended attribute value xattr_NTACL, in NDR. It is written as version 1
// (version and union level 1, a unique pointer, then the self-relative
// descriptor); versions 1 to 4 are read (the later ones add hashes and a
// description, which are skipped). NDR counts the descriptor's relative
// pointers from the start of the whole value, not from the descriptor.
#ifndef TARVIK_PLATFORM_POSIX_NT_ACL_H_
#define TARVIK_PLATFORM_POSIX_NT_ACL_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win_types.h"

namespace tarvik {

// The parts of a descriptor, each as its bytes in the published layout.
// An absent owner or group is empty; an ACL that is present (its control
// bit) but empty is a null ACL.
struct DescriptorParts {
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  std::vector<uint8_t> owner;
  std::vector<uint8_t> group;
  std::vector<uint8_t> sacl;
  std::vector<uint8_t> dacl;
};

// Reads a self-relative descriptor whose header is at header and whose
// offsets count from base, every part inside data. Nothing when any part
// is out of bounds or malformed (a SID with a bad revision or count, an ACL
// whose ACEs do not fit its size).
std::optional<DescriptorParts> ParseSelfRelative(std::span<const uint8_t> data, size_t header,
                                                 size_t base);

// The bytes a descriptor in memory spans, self-relative or absolute (whose
// parts the caller's pointers reach): as the system trusts its caller for
// this call, only the fields that say how long each part is are read.
// Nothing for a descriptor of another revision or with a malformed part.
std::optional<DescriptorParts> ReadDescriptorInMemory(const void* descriptor);

// A self-relative descriptor of the parts, SE_SELF_RELATIVE set; its
// offsets are increased by bias (where the descriptor will lie in a larger
// buffer). Parts follow the header in NDR's order: owner, group, SACL, DACL.
std::vector<uint8_t> BuildSelfRelative(const DescriptorParts& parts, size_t bias = 0);

// The xattr_NTACL version 1 value holding the descriptor.
std::string EncodeNtAcl(const DescriptorParts& parts);
// The descriptor of a version 1 to 4 value; nothing for any other or a
// malformed value.
std::optional<DescriptorParts> DecodeNtAcl(std::string_view value);

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_POSIX_NT_ACL_H_
