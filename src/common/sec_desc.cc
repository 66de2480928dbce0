#include "common/sec_desc.h"

#include <cstring>
#include <new>

#include "common/sd/acl_bytes.h"
#include "common/sd/descriptor_bytes.h"
#include "common/sd/sd_exception.h"

namespace tarvik {
namespace {

constexpr uint32_t kAbsoluteSize = sizeof(SECURITY_DESCRIPTOR);

// The SID a descriptor points at, as bytes (its length from its header).
SidBytes SidAt(const void* sid) {
  const uint8_t* bytes = static_cast<const uint8_t*>(sid);
  return SidBytes(bytes, SidLengthForCount(bytes[1]));
}

}  // namespace

SecDesc::SecDesc() {
  Reserve(kAbsoluteSize);
  Reset();
}

void SecDesc::Reserve(uint32_t size) {
  if (size <= capacity_ && storage_ != nullptr)
    return;
  size_t units = (size + sizeof(uint64_t) - 1) / sizeof(uint64_t);
  std::unique_ptr<uint64_t[]> grown(new (std::nothrow) uint64_t[units]());
  if (grown == nullptr)
    throw SDException(L"Unable to allocate SD");
  storage_ = std::move(grown);
  capacity_ = static_cast<uint32_t>(units * sizeof(uint64_t));
}

SECURITY_DESCRIPTOR* SecDesc::absolute() {
  return reinterpret_cast<SECURITY_DESCRIPTOR*>(storage_.get());
}

void SecDesc::Reset() {
  if (!InitializeSecurityDescriptor(absolute(), revision_))
    throw SDException(L"Unable to initialise SD");
  parts_ = 0;
  control_ = 0;
}

void SecDesc::SetOwner(const SId& sid) {
  const bool some = sid.IsValid();
  if (!SetSecurityDescriptorOwner(absolute(), some ? sid.Bytes().data() : nullptr, sid.defaulted()))
    throw SDException(L"Unable to set owner");
  parts_ = some ? parts_ | OWNER_SECURITY_INFORMATION : parts_ & ~OWNER_SECURITY_INFORMATION;
}

void SecDesc::SetGroup(const SId& sid) {
  const bool some = sid.IsValid();
  if (!SetSecurityDescriptorGroup(absolute(), some ? sid.Bytes().data() : nullptr, sid.defaulted()))
    throw SDException(L"Unable to set group");
  parts_ = some ? parts_ | GROUP_SECURITY_INFORMATION : parts_ & ~GROUP_SECURITY_INFORMATION;
}

void SecDesc::SetDacl(const Acl& acl) {
  const void* bytes = acl.has_acl() ? acl.acl().data() : nullptr;
  if (!SetSecurityDescriptorDacl(absolute(), acl.present() != 0, bytes, acl.defaulted() != 0))
    throw SDException(L"Unable to set dacl");
  parts_ |= DACL_SECURITY_INFORMATION;
}

void SecDesc::SetSacl(const Acl& acl) {
  const void* bytes = acl.has_acl() ? acl.acl().data() : nullptr;
  if (!SetSecurityDescriptorSacl(absolute(), acl.present() != 0, bytes, acl.defaulted() != 0))
    throw SDException(L"Unable to set sacl");
  parts_ |= SACL_SECURITY_INFORMATION;
}

namespace {

// The owner or group the getter finds in descriptor, copied into sid.
template <typename Getter>
void CopySid(const void* descriptor, Getter get, const wchar_t* failure, SId* sid) {
  const void* bytes = nullptr;
  bool defaulted = false;
  if (!get(descriptor, &bytes, &defaulted))
    throw SDException(failure);
  if (bytes == nullptr)
    *sid = SId::Null();
  else
    sid->Assign(SidAt(bytes));
  sid->set_defaulted(defaulted);
}

}  // namespace

bool SecDesc::GetOwner(SId* sid) const {
  if ((parts_ & OWNER_SECURITY_INFORMATION) == 0)
    return false;
  CopySid(descriptor(), GetSecurityDescriptorOwner, L"Unable to get owner", sid);
  return true;
}

bool SecDesc::GetGroup(SId* sid) const {
  if ((parts_ & GROUP_SECURITY_INFORMATION) == 0)
    return false;
  CopySid(descriptor(), GetSecurityDescriptorGroup, L"Unable to get group", sid);
  return true;
}

namespace {

// The ACL the getter finds in descriptor, used where it lies; its size comes
// from its header.
template <typename Getter>
void AttachAcl(const void* descriptor, Getter get, const wchar_t* failure, Acl* acl) {
  bool present = false;
  bool defaulted = false;
  const void* bytes = nullptr;
  if (!get(descriptor, &present, &bytes, &defaulted))
    throw SDException(failure);
  std::span<uint8_t> span;
  if (bytes != nullptr) {
    uint8_t* at = static_cast<uint8_t*>(const_cast<void*>(bytes));
    span = std::span<uint8_t>(at, static_cast<size_t>(at[2] | at[3] << 8));
  }
  acl->Attach(span, present ? 1 : 0, defaulted ? 1 : 0);
}

}  // namespace

bool SecDesc::GetDacl(Acl* acl) {
  if ((parts_ & DACL_SECURITY_INFORMATION) == 0)
    return false;
  AttachAcl(descriptor(), GetSecurityDescriptorDacl, L"Unable to get DACL", acl);
  return true;
}

bool SecDesc::GetSacl(Acl* acl) {
  constexpr SECURITY_INFORMATION kSaclParts =
      SACL_SECURITY_INFORMATION | ATTRIBUTE_SECURITY_INFORMATION | SCOPE_SECURITY_INFORMATION;
  if ((parts_ & kSaclParts) == 0)
    return false;
  AttachAcl(descriptor(), GetSecurityDescriptorSacl, L"Unable to get SACL", acl);
  return true;
}

void SecDesc::TakeRead(SECURITY_INFORMATION parts, SECURITY_DESCRIPTOR_CONTROL control,
                       uint32_t revision) {
  parts_ = parts;
  control_ = control;
  revision_ = revision;
}

}  // namespace tarvik
