// Operations on SIDs in their published binary layout: revision (1), the
// sub-authority count, the 6-byte big-endian identifier authority, then each
// sub-authority as a little-endian 32-bit value. The functions take the bytes
// where they lie (a buffer, an ACE, a security descriptor); a span may run on
// past the end of the SID.
#ifndef TARVIK_COMMON_SD_SID_BYTES_H_
#define TARVIK_COMMON_SD_SID_BYTES_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tarvik {

using SidBytes = std::span<const uint8_t>;

constexpr size_t kSidHeaderSize = 8;
constexpr size_t kSidMaxSubAuthorities = 15;
constexpr size_t kSidMaxSize = kSidHeaderSize + 4 * kSidMaxSubAuthorities;  // 68

// The last sub-authority of a machine or domain SID as the security layer
// holds it: such a SID then has the length of the account SIDs of its domain,
// so that membership is a prefix comparison and an account SID is the domain
// SID with its last sub-authority replaced.
constexpr uint32_t kMachineSidPlaceholderRid = 0xFFFFFFFF;

constexpr size_t SidLengthForCount(size_t sub_authority_count) {
  return kSidHeaderSize + 4 * sub_authority_count;
}

// Revision 1, at most 15 sub-authorities, and all of them within the span.
bool IsValidSid(SidBytes sid);

// The accessors below expect a valid SID.
size_t GetLengthSid(SidBytes sid);
uint8_t SidSubAuthorityCount(SidBytes sid);
uint64_t SidIdentifierAuthority(SidBytes sid);
// Index below the sub-authority count.
uint32_t SidSubAuthority(SidBytes sid, size_t index);
void SetSidSubAuthority(std::span<uint8_t> sid, size_t index, uint32_t value);
// The last sub-authority, 0 for a SID without any.
uint32_t SidRid(SidBytes sid);

// False when either SID is invalid.
bool EqualSid(SidBytes a, SidBytes b);
// Same sub-authority count, same authority and every sub-authority but the
// last equal: the membership test of an account in a placeholder-RID domain
// SID. False when either SID is invalid or has no sub-authority.
bool EqualPrefixSid(SidBytes a, SidBytes b);

// Classification of a valid SID ("first" and "second" are its first two
// sub-authorities). Each is false for an invalid SID.
bool IsBasicAuthority(SidBytes sid);        // null, world, local or creator authority
bool IsCreatorAuthority(SidBytes sid);      // authority 3
bool IsNtAuthority(SidBytes sid);           // authority 5
bool IsBuiltin(SidBytes sid);               // S-1-5-32-...
bool IsWellKnownForAccounts(SidBytes sid);  // basic authority or builtin
// S-1-5-x with x a single well-known NT group (not 5, not 13 to 17).
bool IsNtSingleWellKnown(SidBytes sid);
bool IsLogonSession(SidBytes sid);  // S-1-5-5-x-y
// S-1-5-18-1-x, S-1-5-18-2-x, or S-1-5-18-256..262-...
bool IsNt18Service(SidBytes sid);

// RIDs that every domain and every machine gives the same meaning.
bool IsWellKnownRid(uint32_t rid);
// Builtin aliases that a migration does not carry over.
bool IsBuiltinNotMigrated(uint32_t rid);

// "S-1-5-32-544"; an authority above 32 bits as "0x" and twelve hexadecimal
// digits. "<invalid sid>" for an invalid SID.
std::wstring SidToString(SidBytes sid);
// The same with every number in upper-case hexadecimal ("S-1-5-20-220").
std::wstring SidToHexString(SidBytes sid);

}  // namespace tarvik

#endif  // TARVIK_COMMON_SD_SID_BYTES_H_
