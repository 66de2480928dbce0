// Self-relative security descriptors, with their ACLs, ACEs and SIDs, as
// read from any source. A descriptor the walker accepts is valid to the
// system's own check once rebuilt, and rebuilding it again changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "common/sd/descriptor_bytes.h"
#include "same_descriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> bytes(data, size);
  std::optional<tarvik::DescriptorParts> parts = tarvik::ParseSelfRelative(bytes, 0, 0);
  if (!parts)
    return 0;
  std::vector<uint8_t> rebuilt = tarvik::BuildSelfRelative(*parts);
  if (!tarvik::IsValidSecurityDescriptor(rebuilt.data()))
    std::abort();
  std::optional<tarvik::DescriptorParts> again = tarvik::ParseSelfRelative(rebuilt, 0, 0);
  if (!again || !tarvik::SameDescriptor(*parts, *again))
    std::abort();
  std::optional<tarvik::DescriptorParts> in_memory = tarvik::ReadDescriptorInMemory(rebuilt.data());
  if (!in_memory || !tarvik::SameDescriptor(*parts, *in_memory))
    std::abort();
  return 0;
}
