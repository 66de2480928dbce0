// The ACE, ACL and descriptor texts of the security traces and failure
// reports, over any descriptor the walker accepts: they read the entries
// again to format them, and resolve the SIDs they name through the platform.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>

#include "common/ace_dump.h"
#include "common/acl.h"
#include "common/sd/descriptor_bytes.h"
#include "common/sec_desc.h"
#include "common/sid.h"
#include "platform/posix/host_world.h"
#include "platform/posix/posix_os.h"
#include "settings/copy_settings.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static std::unique_ptr<tarvik::Os> os =
      std::make_unique<tarvik::PosixOs>(tarvik::MakeHostWorld());
  tarvik::Os::Install(os.get());
  return 0;
}

// The first byte chooses the trace options; the rest is the descriptor.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0)
    return 0;
  tarvik::Settings().debugSid = (data[0] & 1) != 0;
  std::optional<tarvik::DescriptorParts> parts =
      tarvik::ParseSelfRelative(std::span<const uint8_t>(data + 1, size - 1), 0, 0);
  if (!parts)
    return 0;
  std::vector<uint8_t> bytes = tarvik::BuildSelfRelative(*parts);
  tarvik::SecDesc descriptor;
  descriptor.Reserve(static_cast<uint32_t>(bytes.size()));
  std::memcpy(descriptor.buffer(), bytes.data(), bytes.size());
  tarvik::SECURITY_DESCRIPTOR_CONTROL control = 0;
  tarvik::DWORD revision = 0;
  if (!tarvik::GetSecurityDescriptorControl(descriptor.descriptor(), &control, &revision))
    return 0;
  descriptor.TakeRead(tarvik::OWNER_SECURITY_INFORMATION | tarvik::GROUP_SECURITY_INFORMATION |
                          tarvik::DACL_SECURITY_INFORMATION | tarvik::SACL_SECURITY_INFORMATION,
                      control, revision);
  tarvik::SId owner;
  if (descriptor.GetOwner(&owner))
    owner.DisplayName(L"");
  tarvik::Acl dacl;
  tarvik::Acl sacl;
  descriptor.GetDacl(&dacl);
  descriptor.GetSacl(&sacl);
  tarvik::AclText(dacl, L"");
  tarvik::AclText(sacl, L"");
  tarvik::DescriptorDumpText(descriptor.descriptor());
  return 0;
}
