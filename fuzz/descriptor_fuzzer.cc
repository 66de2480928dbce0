// Self-relative security descriptors, with their ACLs, ACEs and SIDs, as
// read from any source. A descriptor the walker accepts is valid to the
// system's own check once rebuilt, and rebuilding it again changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "common/sd/descriptor_bytes.h"

namespace {

// The self-relative mark says how the bytes are laid out, not what they hold.
bool Same(const tarvik::DescriptorParts& a, const tarvik::DescriptorParts& b) {
  constexpr uint16_t kSelfRelative = 0x8000;
  return (a.control | kSelfRelative) == (b.control | kSelfRelative) && a.owner == b.owner &&
         a.group == b.group && a.sacl == b.sacl && a.dacl == b.dacl;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> bytes(data, size);
  std::optional<tarvik::DescriptorParts> parts = tarvik::ParseSelfRelative(bytes, 0, 0);
  if (!parts)
    return 0;
  std::vector<uint8_t> rebuilt = tarvik::BuildSelfRelative(*parts);
  if (!tarvik::IsValidSecurityDescriptor(rebuilt.data()))
    std::abort();
  std::optional<tarvik::DescriptorParts> again = tarvik::ParseSelfRelative(rebuilt, 0, 0);
  if (!again || !Same(*parts, *again))
    std::abort();
  std::optional<tarvik::DescriptorParts> in_memory = tarvik::ReadDescriptorInMemory(rebuilt.data());
  if (!in_memory || !Same(*parts, *in_memory))
    std::abort();
  return 0;
}
