// Operations on ACLs and ACEs in their published binary layout, where they
// lie (a buffer, a security descriptor):
//
//   ACL header (8 bytes): revision, 0, AclSize (16-bit), AceCount (16-bit), 0
//   ACE header (4 bytes): type, flags, AceSize (16-bit); then the body
//
// All 16- and 32-bit values are little-endian. Every function checks its
// bounds: a span too short for what its header claims is invalid.
#ifndef TARVIK_COMMON_SD_ACL_BYTES_H_
#define TARVIK_COMMON_SD_ACL_BYTES_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "common/sd/sid_bytes.h"

namespace tarvik {

using AclBytes = std::span<const uint8_t>;
using AceBytes = std::span<const uint8_t>;

constexpr size_t kAclHeaderSize = 8;
constexpr size_t kAceHeaderSize = 4;
constexpr uint8_t kAclRevision = 2;
constexpr uint8_t kAclRevisionDs = 4;  // needed by object ACEs
constexpr uint32_t kAppendAce = 0xFFFFFFFF;
constexpr size_t kMaxAclSize = 65532;  // the largest multiple of 4 an AclSize holds

// ACE types and flags the program looks at.
constexpr uint8_t ACCESS_ALLOWED_ACE_TYPE = 0;
constexpr uint8_t ACCESS_DENIED_ACE_TYPE = 1;
constexpr uint8_t SYSTEM_AUDIT_ACE_TYPE = 2;
constexpr uint8_t ACCESS_ALLOWED_OBJECT_ACE_TYPE = 5;
constexpr uint8_t ACCESS_DENIED_OBJECT_ACE_TYPE = 6;
constexpr uint8_t SYSTEM_MANDATORY_LABEL_ACE_TYPE = 17;
constexpr uint8_t SYSTEM_RESOURCE_ATTRIBUTE_ACE_TYPE = 18;
constexpr uint8_t SYSTEM_SCOPED_POLICY_ID_ACE_TYPE = 19;
constexpr uint8_t OBJECT_INHERIT_ACE = 0x01;
constexpr uint8_t CONTAINER_INHERIT_ACE = 0x02;
constexpr uint8_t NO_PROPAGATE_INHERIT_ACE = 0x04;
constexpr uint8_t INHERIT_ONLY_ACE = 0x08;
constexpr uint8_t INHERITED_ACE = 0x10;
constexpr uint8_t SUCCESSFUL_ACCESS_ACE_FLAG = 0x40;
constexpr uint8_t FAILED_ACCESS_ACE_FLAG = 0x80;
// Object ACEs: which GUIDs follow the mask.
constexpr uint32_t ACE_OBJECT_TYPE_PRESENT = 0x1;
constexpr uint32_t ACE_INHERITED_OBJECT_TYPE_PRESENT = 0x2;

uint8_t AclRevision(AclBytes acl);
uint16_t AclSize(AclBytes acl);
uint16_t AclAceCount(AclBytes acl);

// A header that fits the span, a revision from 2 to 4, and ACEs that each
// fit the header's size, with an AceSize of at least 4 and a multiple of 4.
bool IsValidAcl(AclBytes acl);

// An empty ACL of length bytes (8 to 65532, a multiple of 4) with revision 2
// or 4, written at the start of buffer. False when the values or the buffer
// do not fit.
bool InitializeAcl(std::span<uint8_t> buffer, size_t length, uint8_t revision);

// The ACE at index, or nothing when the ACL is invalid or index is past its
// ACEs.
std::optional<AceBytes> GetAce(AclBytes acl, uint32_t index);

// Inserts the ACEs of aces (one or more whole ACEs) before the ACE at index,
// or after the last one with kAppendAce (or any index past the end). The
// ACL's revision rises to revision when that is higher. False, changing
// nothing, when the ACL is invalid, aces is not a sequence of whole ACEs, or
// the ACL's AclSize has no room for them.
bool AddAce(std::span<uint8_t> acl, uint8_t revision, uint32_t index, AceBytes aces);

// Removes the ACE at index; false when there is none.
bool DeleteAce(std::span<uint8_t> acl, uint32_t index);

uint8_t AceType(AceBytes ace);
uint8_t AceFlags(AceBytes ace);
uint16_t AceSize(AceBytes ace);
// The 32-bit value at offset (the mask at 4); 0 when it does not fit.
uint32_t AceUint32(AceBytes ace, size_t offset);

// The file rights that the generic rights of mask stand for (the generic
// bits replaced by them).
uint32_t MapGenericFileRights(uint32_t mask);
// True for the object ACE types (5 to 8, 11, 12, 15, 16).
bool IsObjectAceType(uint8_t type);
// True for the types whose mask is at 4 and SID at 8 (0 to 4, 9, 10, 13, 14,
// 18, 19).
bool IsPlainSidAceType(uint8_t type);
// Where the SID of an ACE starts: 8 for the plain types, after the GUIDs an
// object ACE declares present; nothing for the types without a SID.
std::optional<size_t> AceSidOffset(AceBytes ace);

}  // namespace tarvik

#endif  // TARVIK_COMMON_SD_ACL_BYTES_H_
