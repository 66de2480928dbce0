#include "common/ace_dump.h"

#include <cstring>

#include "common/sd/ace_text.h"
#include "common/sd/byte_order.h"
#include "common/sd/descriptor_bytes.h"
#include "common/sd/sd_exception.h"
#include "common/sid.h"
#include "log/log.h"
#include "settings/copy_settings.h"
#include "util/format.h"
#include "util/utf.h"

namespace tarvik {
namespace {

constexpr uint16_t kClaimUint64 = 2;
constexpr uint16_t kClaimString = 3;

uint16_t U16(AceBytes bytes, size_t offset) {
  return Fits(bytes, offset, 2) ? ReadLe16(bytes, offset) : 0;
}

uint64_t U64(AceBytes bytes, size_t offset) {
  return static_cast<uint64_t>(AceUint32(bytes, offset)) |
         (static_cast<uint64_t>(AceUint32(bytes, offset + 4)) << 32);
}

// A NUL-terminated UTF-16 string at offset, cut at the end of bytes.
std::wstring Utf16At(AceBytes bytes, size_t offset) {
  std::wstring text;
  for (size_t at = offset; at + 2 <= bytes.size(); at += 2) {
    const uint16_t unit = U16(bytes, at);
    if (unit == 0)
      break;
    text += static_cast<wchar_t>(unit);
  }
  return text;
}

bool IsAuditOrAlarm(uint8_t type) {
  return type == 2 || type == 3 || type == 7 || type == 8;
}

std::wstring VendorText(const Ace& ace, const std::wstring& name) {
  AceBytes bytes = ace.bytes();
  const uint32_t uid = AceUint32(bytes, 4);
  const uint32_t gid = AceUint32(bytes, 8);
  switch (ace.type()) {
    case kVendorUnixAttrAce:
      return Format(L"%-20s: uid=0x%lx gid=0x%lx mode=%04o", name, uid, gid,
                    static_cast<uint32_t>(U16(bytes, 12)));
    case kVendorStubAce:
      return Format(L"%-20s", name);
    case kVendorUnixAttr64A9Ace:
      return Format(L"%-20s: uid=0x%lx gid=0x%lx major=0x%lx minor=0x%lx", name, uid, gid,
                    AceUint32(bytes, 12), AceUint32(bytes, 16));
    case kVendorUnixAttr64AaAce:
      return Format(L"%-20s: uid=0x%lx gid=0x%lx mode=%04o extFlags=%04u nlink=%u", name, uid, gid,
                    static_cast<uint32_t>(U16(bytes, 12)), static_cast<uint32_t>(U16(bytes, 14)),
                    static_cast<uint32_t>(U16(bytes, 26)));
    default:
      break;
  }
  if (ace.size() <= kAceHeaderSize)
    return Format(L"%-20s: (NULL)", name);
  AceBytes body = bytes.subspan(kAceHeaderSize, ace.size() - kAceHeaderSize);
  std::wstring text;
  if (ace.type() == kVendorUnixLinkAce) {
    std::string utf8(body.begin(), body.end());
    text = FromUtf8(utf8.substr(0, utf8.find('\0')));
  } else {
    text = Utf16At(body, 0);
  }
  return Format(L"%-20s: \"%s\"", name, text);
}

// The values of the claim attribute that follows the SID (the published
// relative claim layout; offsets count from the start of the claim).
std::wstring ClaimText(const Ace& ace, const std::wstring& name) {
  AceBytes bytes = ace.bytes().first(std::min<size_t>(ace.size(), ace.bytes().size()));
  const SidBytes sid = ace.Sid();
  if (!IsValidSid(sid))
    return L"";
  AceBytes claim = bytes.subspan(8 + GetLengthSid(sid));
  const std::wstring attribute = Utf16At(claim, AceUint32(claim, 0));
  const uint16_t value_type = U16(claim, 4);
  const uint32_t value_count = AceUint32(claim, 12);
  std::wstring text;
  for (uint32_t i = 0; i < value_count && 16 + 4 * (i + 1) <= claim.size(); ++i) {
    const uint32_t offset = AceUint32(claim, 16 + 4 * i);
    if (value_type == kClaimUint64 && offset + 8 <= claim.size())
      text += Format(L"( %s = 0x%llx ) : %s", attribute, U64(claim, offset), name);
    else if (value_type == kClaimString)
      text +=
          Format(L"( %s = %s ) : %s", attribute, Utf16At(claim, AceUint32(claim, offset)), name);
  }
  return text;
}

}  // namespace

std::wstring AceText(const Ace& ace, std::wstring_view server) {
  if (ace.empty())
    return L"Invalid ACE";
  const uint8_t type = ace.type();
  const std::wstring name = AceTypeName(type);
  if (type >= kVendorUnixAttrAce && type <= kVendorUnixAttr64AaAce)
    return VendorText(ace, name);
  if (type == SYSTEM_RESOURCE_ATTRIBUTE_ACE_TYPE)
    return ClaimText(ace, name);
  if (type > 8 && type != SYSTEM_SCOPED_POLICY_ID_ACE_TYPE) {
    return Format(L"%-20s: (0x%02X) Flags : 0x%2x size : 0x%x", name, static_cast<uint32_t>(type),
                  static_cast<uint32_t>(ace.flags()), static_cast<uint32_t>(ace.size()));
  }
  Ace::Parts parts;
  try {
    ace.Parse(&parts);
  } catch (const SDException&) {
    return L"Invalid ACE";  // a damaged SID: the trace shows it, the copy reports it
  }
  SId sid(parts.sid, true);
  if (type == SYSTEM_SCOPED_POLICY_ID_ACE_TYPE) {
    std::wstring text = Format(L"%-20s: %s ", sid.DisplayName(server), name);
    if (Settings().debugSid)
      text += Format(L"; SID : %s ", sid.ToString());
    return text;
  }
  std::wstring text;
  if (IsAuditOrAlarm(type)) {
    const wchar_t* outcome = (parts.flags & SUCCESSFUL_ACCESS_ACE_FLAG) ? L"Success"
                             : (parts.flags & FAILED_ACCESS_ACE_FLAG)   ? L"Failed "
                                                                        : L"???????";
    text = Format(L"%-20s: %s ", name, outcome);
  } else {
    text = Format(L"%-20s: %s ", sid.DisplayName(server), name);
  }
  text += MaskText(parts.mask);
  const uint8_t inheritance = parts.flags & 0x1F;
  if (inheritance != 0) {
    text += Format(L" Flags:%s (0x%02lX)", InheritanceFlagsText(inheritance),
                   static_cast<uint32_t>(parts.flags));
  }
  if (Settings().debugSid)
    text += Format(L"; SID : %s ", sid.ToHexString());
  return text;
}

std::wstring AclText(const Acl& acl, std::wstring_view server) {
  if (!acl.has_acl())
    return L"No Access control list.\n";
  std::wstring text;
  Ace ace;
  for (uint32_t i = 0; i < acl.count(); ++i) {
    acl.GetAce(i, &ace);
    text += L"   " + AceText(ace, server) + L"\n";
  }
  return text;
}

namespace {

// "S-<revision>-<authority>" and "-<sub-authority>" each, in lower-case
// hexadecimal; "NO SID" for none.
std::wstring HexSid(const void* sid) {
  if (sid == nullptr)
    return L"NO SID";
  const uint8_t* bytes = static_cast<const uint8_t*>(sid);
  uint64_t authority = 0;
  for (int i = 2; i < 8; ++i)
    authority = authority << 8 | bytes[i];
  std::wstring text = Format(L"S-%x-%I64x", static_cast<uint32_t>(bytes[0]), authority);
  for (uint8_t i = 0; i < bytes[1]; ++i) {
    uint32_t sub = 0;
    std::memcpy(&sub, bytes + 8 + 4 * i, 4);
    text += Format(L"-%lx", sub);
  }
  return text;
}

}  // namespace

std::wstring DescriptorDumpText(const void* descriptor) {
  const uint8_t* bytes = static_cast<const uint8_t*>(descriptor);
  uint16_t control = static_cast<uint16_t>(bytes[2] | bytes[3] << 8);
  const void* owner = nullptr;
  const void* group = nullptr;
  bool defaulted = false;
  GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
  GetSecurityDescriptorGroup(descriptor, &group, &defaulted);
  std::wstring text = L"\nSecurity descriptor dump\n";
  text += Format(L"revision               : %d\n", static_cast<int>(bytes[0]));
  text += Format(L"Size                   : %d\n", static_cast<int>(bytes[1]));
  text += Format(L"Control                : 0x%x\n", static_cast<uint32_t>(control));
  text += Format(L"SID owner              : %s\n", HexSid(owner));
  text += Format(L"SID group              : %s", HexSid(group));
  return text;
}

void DescriptorDump(const void* descriptor) {
  LogWarning(L"%s", DescriptorDumpText(descriptor));
}

}  // namespace tarvik
