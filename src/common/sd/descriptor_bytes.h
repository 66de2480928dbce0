// Security descriptors in their published binary layout, and the system's
// operations on a descriptor in memory:
//
//   header: revision (1), reserved byte, control (16-bit), then the owner,
//   group, SACL and DACL -- as 32-bit offsets in the self-relative form
//   (SE_SELF_RELATIVE set), as pointers in the absolute form.
//
// Descriptors read from objects are self-relative; a descriptor being built
// is absolute, its pointers reaching SIDs and ACLs held elsewhere.
#ifndef TARVIK_COMMON_SD_DESCRIPTOR_BYTES_H_
#define TARVIK_COMMON_SD_DESCRIPTOR_BYTES_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
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

// --- The system's operations on a descriptor in memory ---
// Each returns false where the system fails the call (an absolute-only
// operation on a self-relative descriptor, a revision other than 1).

// An empty absolute descriptor of revision (only 1 is accepted).
bool InitializeSecurityDescriptor(SECURITY_DESCRIPTOR* descriptor, DWORD revision);
// Owner and group: the descriptor points at sid (null: none) and the
// defaulted bit follows defaulted.
bool SetSecurityDescriptorOwner(SECURITY_DESCRIPTOR* descriptor, const void* sid, bool defaulted);
bool SetSecurityDescriptorGroup(SECURITY_DESCRIPTOR* descriptor, const void* sid, bool defaulted);
// DACL and SACL: present sets the PRESENT bit (a present null ACL grants
// everyone everything); not present clears the pointer.
bool SetSecurityDescriptorDacl(SECURITY_DESCRIPTOR* descriptor, bool present, const void* acl,
                               bool defaulted);
bool SetSecurityDescriptorSacl(SECURITY_DESCRIPTOR* descriptor, bool present, const void* acl,
                               bool defaulted);
// Only the inheritance and protection bits and SE_RM_CONTROL_VALID can be
// set this way; bits outside them fail the call.
bool SetSecurityDescriptorControl(SECURITY_DESCRIPTOR* descriptor, SECURITY_DESCRIPTOR_CONTROL mask,
                                  SECURITY_DESCRIPTOR_CONTROL bits);

// Readers for both forms. A part the descriptor lacks gives null.
bool GetSecurityDescriptorOwner(const void* descriptor, const void** sid, bool* defaulted);
bool GetSecurityDescriptorGroup(const void* descriptor, const void** sid, bool* defaulted);
bool GetSecurityDescriptorDacl(const void* descriptor, bool* present, const void** acl,
                               bool* defaulted);
bool GetSecurityDescriptorSacl(const void* descriptor, bool* present, const void** acl,
                               bool* defaulted);
bool GetSecurityDescriptorControl(const void* descriptor, SECURITY_DESCRIPTOR_CONTROL* control,
                                  DWORD* revision);
// Revision 1 and every part it holds well formed.
bool IsValidSecurityDescriptor(const void* descriptor);

}  // namespace tarvik

#endif  // TARVIK_COMMON_SD_DESCRIPTOR_BYTES_H_
