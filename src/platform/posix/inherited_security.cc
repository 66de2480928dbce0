#include "platform/posix/inherited_security.h"

#include <cstdint>
#include <vector>

#include "common/sd/acl_bytes.h"
#include "common/sd/byte_order.h"
#include "platform/win_error.h"

namespace tarvik {
namespace {

constexpr uint8_t kInheritanceFlags =
    OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE | NO_PROPAGATE_INHERIT_ACE | INHERIT_ONLY_ACE;
constexpr DWORD kGenericRights = GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL;

constexpr uint8_t kCreatorOwner[] = {1, 1, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0};  // S-1-3-0
constexpr uint8_t kCreatorGroup[] = {1, 1, 0, 0, 0, 0, 0, 3, 1, 0, 0, 0};  // S-1-3-1

// The SIDs that stand for the creator, and what they become.
struct Creator {
  SidBytes owner;
  SidBytes group;
};

bool HasAccessMask(uint8_t type) {
  return IsPlainSidAceType(type) || IsObjectAceType(type);
}

// The creator's SID that stands in for the ACE's CREATOR OWNER or CREATOR
// GROUP; empty for any other ACE.
SidBytes CreatorReplacement(AceBytes ace, const Creator& creator) {
  std::optional<size_t> at = AceSidOffset(ace);
  if (!at || *at >= ace.size())
    return {};
  SidBytes sid = ace.subspan(*at);
  if (EqualSid(sid, kCreatorOwner))
    return creator.owner;
  if (EqualSid(sid, kCreatorGroup))
    return creator.group;
  return {};
}

// Whether the ACE that applies to the new object differs from the parent's
// beyond its flags: such an ACE cannot also carry the inheritance on.
bool NeedsEffectiveCopy(AceBytes ace, const Creator& creator) {
  return !CreatorReplacement(ace, creator).empty() ||
         (HasAccessMask(AceType(ace)) && (AceUint32(ace, 4) & kGenericRights) != 0);
}

// The parent's ACE as it applies to the new object alone: the creator's SIDs
// in place of the CREATOR ones, file rights for generic ones, no inheritance.
void AppendEffective(AceBytes ace, const Creator& creator, std::vector<uint8_t>& acl) {
  const size_t start = acl.size();
  SidBytes replacement = CreatorReplacement(ace, creator);
  if (replacement.empty()) {
    acl.insert(acl.end(), ace.begin(), ace.end());
  } else {
    const size_t sid_at = *AceSidOffset(ace);
    const size_t sid_end = sid_at + GetLengthSid(ace.subspan(sid_at));
    acl.insert(acl.end(), ace.begin(), ace.begin() + static_cast<ptrdiff_t>(sid_at));
    acl.insert(acl.end(), replacement.begin(),
               replacement.begin() + static_cast<ptrdiff_t>(GetLengthSid(replacement)));
    acl.insert(acl.end(), ace.begin() + static_cast<ptrdiff_t>(sid_end), ace.end());
    WriteLe16(acl, start + 2, static_cast<uint16_t>(acl.size() - start));
  }
  acl[start + 1] = static_cast<uint8_t>((AceFlags(ace) & ~kInheritanceFlags) | INHERITED_ACE);
  if (HasAccessMask(AceType(ace)))
    WriteLe32(acl, start + 4, MapGenericFileRights(AceUint32(ace, 4)));
}

// The parent's ACE unchanged but for its flags.
void AppendWithFlags(AceBytes ace, uint8_t flags, std::vector<uint8_t>& acl) {
  const size_t start = acl.size();
  acl.insert(acl.end(), ace.begin(), ace.end());
  acl[start + 1] = flags;
}

// The ACEs of parent_acl that pass to the new object, in their order, after
// an ACL header to be filled in; nothing when the ACL is null or malformed or
// passes no ACE on.
std::optional<std::vector<uint8_t>> InheritedAcl(AclBytes parent_acl, bool is_directory,
                                                 const Creator& creator) {
  if (parent_acl.empty() || !IsValidAcl(parent_acl))
    return std::nullopt;
  std::vector<uint8_t> acl(kAclHeaderSize, 0);
  size_t count = 0;
  for (uint32_t i = 0; i < AclAceCount(parent_acl); ++i) {
    AceBytes ace = *GetAce(parent_acl, i);
    const uint8_t flags = AceFlags(ace);
    const bool object_inherit = (flags & OBJECT_INHERIT_ACE) != 0;
    const bool container_inherit = (flags & CONTAINER_INHERIT_ACE) != 0;
    const bool no_propagate = (flags & NO_PROPAGATE_INHERIT_ACE) != 0;
    // A file is the end of the line; a directory passes the ACE on to its
    // own children unless the ACE stops with this generation.
    const bool applies = is_directory ? container_inherit : object_inherit;
    const bool passes_on = is_directory && (object_inherit || container_inherit) && !no_propagate;
    if (applies && passes_on && !NeedsEffectiveCopy(ace, creator)) {
      AppendWithFlags(ace, static_cast<uint8_t>((flags & ~INHERIT_ONLY_ACE) | INHERITED_ACE), acl);
      ++count;
      continue;
    }
    if (applies) {
      AppendEffective(ace, creator, acl);
      ++count;
    }
    if (passes_on) {
      AppendWithFlags(ace, static_cast<uint8_t>(flags | INHERIT_ONLY_ACE | INHERITED_ACE), acl);
      ++count;
    }
  }
  if (count == 0)
    return std::nullopt;
  acl[0] = AclRevision(parent_acl);
  WriteLe16(acl, 2, static_cast<uint16_t>(acl.size()));
  WriteLe16(acl, 4, static_cast<uint16_t>(count));
  return acl;
}

}  // namespace

std::optional<DescriptorParts> InheritedDescriptor(const DescriptorParts& parent, bool is_directory,
                                                   SidBytes owner, SidBytes group, DWORD* error) {
  *error = ERROR_SUCCESS;
  const Creator creator{owner, group};
  std::optional<std::vector<uint8_t>> dacl;
  if (parent.control & SE_DACL_PRESENT)
    dacl = InheritedAcl(parent.dacl, is_directory, creator);
  // No inherited DACL: the object keeps the default the host gives it (see
  // the header), and with it no stored SACL either.
  if (!dacl)
    return std::nullopt;
  std::optional<std::vector<uint8_t>> sacl;
  if (parent.control & SE_SACL_PRESENT)
    sacl = InheritedAcl(parent.sacl, is_directory, creator);
  if (dacl->size() > kMaxAclSize || (sacl && sacl->size() > kMaxAclSize)) {
    *error = ERROR_BAD_INHERITANCE_ACL;
    return std::nullopt;
  }

  DescriptorParts child;
  child.owner.assign(owner.begin(), owner.begin() + static_cast<ptrdiff_t>(GetLengthSid(owner)));
  child.group.assign(group.begin(), group.begin() + static_cast<ptrdiff_t>(GetLengthSid(group)));
  child.control = SE_DACL_PRESENT | (parent.control & SE_DACL_AUTO_INHERITED);
  child.dacl = std::move(*dacl);
  if (sacl) {
    child.control |= SE_SACL_PRESENT | (parent.control & SE_SACL_AUTO_INHERITED);
    child.sacl = std::move(*sacl);
  }
  return child;
}

}  // namespace tarvik
