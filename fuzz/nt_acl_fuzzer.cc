// security.NTACL values as a file server may hold them: every version the
// decoder reads. A value it accepts, written back and read again, gives the
// same descriptor.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/posix/nt_acl.h"
#include "same_descriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view value(reinterpret_cast<const char*>(data), size);
  std::optional<tarvik::DescriptorParts> parts = tarvik::DecodeNtAcl(value);
  if (!parts)
    return 0;
  std::optional<tarvik::DescriptorParts> again = tarvik::DecodeNtAcl(tarvik::EncodeNtAcl(*parts));
  if (!again || !tarvik::SameDescriptor(*parts, *again)) {
    std::fprintf(stderr, "decoded: control %04x owner %zu group %zu sacl %zu dacl %zu\n",
                 parts->control, parts->owner.size(), parts->group.size(), parts->sacl.size(),
                 parts->dacl.size());
    if (again)
      std::fprintf(stderr, "again:   control %04x owner %zu group %zu sacl %zu dacl %zu\n",
                   again->control, again->owner.size(), again->group.size(), again->sacl.size(),
                   again->dacl.size());
    std::abort();
  }
  return 0;
}
