// Whether two descriptors a round trip gave hold the same parts.
#ifndef TARVIK_FUZZ_SAME_DESCRIPTOR_H_
#define TARVIK_FUZZ_SAME_DESCRIPTOR_H_

#include <cstdint>

#include "common/sd/descriptor_bytes.h"

namespace tarvik {

// The self-relative mark says how the bytes are laid out, not what they hold.
inline bool SameDescriptor(const DescriptorParts& a, const DescriptorParts& b) {
  constexpr uint16_t kSelfRelative = 0x8000;
  return (a.control | kSelfRelative) == (b.control | kSelfRelative) && a.owner == b.owner &&
         a.group == b.group && a.sacl == b.sacl && a.dacl == b.dacl;
}

}  // namespace tarvik

#endif  // TARVIK_FUZZ_SAME_DESCRIPTOR_H_
