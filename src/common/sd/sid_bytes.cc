#include "common/sd/sid_bytes.h"

#include <algorithm>

#include "util/format.h"

namespace tarvik {
namespace {

constexpr uint64_t kCreatorAuthority = 3;
constexpr uint64_t kNtAuthority = 5;
constexpr uint32_t kBuiltinDomainRid = 32;
constexpr uint32_t kLogonSessionRid = 5;
constexpr uint32_t kLocalSystemRid = 18;

uint32_t First(SidBytes sid) {
  return SidSubAuthority(sid, 0);
}

uint32_t Second(SidBytes sid) {
  return SidSubAuthority(sid, 1);
}

bool IsNt(SidBytes sid, size_t minimum_count) {
  return IsValidSid(sid) && SidIdentifierAuthority(sid) == kNtAuthority &&
         SidSubAuthorityCount(sid) >= minimum_count;
}

// The authority as text: decimal while it fits in 32 bits, else "0x" and its
// six bytes.
std::wstring AuthorityText(uint64_t authority, bool hex) {
  if (authority > 0xFFFFFFFFull)
    return Format(L"0x%012I64X", authority);
  return Format(hex ? L"%lX" : L"%lu", static_cast<uint32_t>(authority));
}

std::wstring ToText(SidBytes sid, bool hex) {
  if (!IsValidSid(sid))
    return L"<invalid sid>";
  std::wstring text = L"S-1-" + AuthorityText(SidIdentifierAuthority(sid), hex);
  for (size_t i = 0; i < SidSubAuthorityCount(sid); ++i)
    text += Format(hex ? L"-%lX" : L"-%lu", SidSubAuthority(sid, i));
  return text;
}

}  // namespace

bool IsValidSid(SidBytes sid) {
  if (sid.size() < kSidHeaderSize || sid[0] != 1 || sid[1] > kSidMaxSubAuthorities)
    return false;
  return sid.size() >= SidLengthForCount(sid[1]);
}

size_t GetLengthSid(SidBytes sid) {
  return SidLengthForCount(sid[1]);
}

uint8_t SidSubAuthorityCount(SidBytes sid) {
  return sid[1];
}

uint64_t SidIdentifierAuthority(SidBytes sid) {
  uint64_t authority = 0;
  for (size_t i = 2; i < kSidHeaderSize; ++i)
    authority = authority << 8 | sid[i];
  return authority;
}

uint32_t SidSubAuthority(SidBytes sid, size_t index) {
  size_t offset = kSidHeaderSize + 4 * index;
  return static_cast<uint32_t>(sid[offset]) | static_cast<uint32_t>(sid[offset + 1]) << 8 |
         static_cast<uint32_t>(sid[offset + 2]) << 16 |
         static_cast<uint32_t>(sid[offset + 3]) << 24;
}

void SetSidSubAuthority(std::span<uint8_t> sid, size_t index, uint32_t value) {
  size_t offset = kSidHeaderSize + 4 * index;
  for (size_t i = 0; i < 4; ++i)
    sid[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t SidRid(SidBytes sid) {
  uint8_t count = SidSubAuthorityCount(sid);
  return count == 0 ? 0 : SidSubAuthority(sid, count - 1);
}

bool EqualSid(SidBytes a, SidBytes b) {
  if (!IsValidSid(a) || !IsValidSid(b))
    return false;
  size_t length = GetLengthSid(a);
  return length == GetLengthSid(b) && std::equal(a.begin(), a.begin() + length, b.begin());
}

bool EqualPrefixSid(SidBytes a, SidBytes b) {
  if (!IsValidSid(a) || !IsValidSid(b))
    return false;
  uint8_t count = SidSubAuthorityCount(a);
  if (count == 0 || count != SidSubAuthorityCount(b))
    return false;
  // Everything up to the last sub-authority: header, authority, the others.
  size_t prefix = SidLengthForCount(count - 1);
  return std::equal(a.begin() + 2, a.begin() + prefix, b.begin() + 2);
}

bool IsBasicAuthority(SidBytes sid) {
  if (!IsValidSid(sid))
    return false;
  uint64_t authority = SidIdentifierAuthority(sid);
  return authority <= kCreatorAuthority;  // null (0), world, local, creator
}

bool IsCreatorAuthority(SidBytes sid) {
  return IsValidSid(sid) && SidIdentifierAuthority(sid) == kCreatorAuthority;
}

bool IsNtAuthority(SidBytes sid) {
  return IsNt(sid, 0);
}

bool IsBuiltin(SidBytes sid) {
  return IsNt(sid, 1) && First(sid) == kBuiltinDomainRid;
}

bool IsWellKnownForAccounts(SidBytes sid) {
  return IsBasicAuthority(sid) || IsBuiltin(sid);
}

bool IsNtSingleWellKnown(SidBytes sid) {
  if (!IsNt(sid, 1) || SidSubAuthorityCount(sid) != 1)
    return false;
  uint32_t first = First(sid);
  // 5 (logon sessions) and 13 to 17 are not single groups.
  return (first >= 1 && first <= 4) || (first >= 6 && first <= 12) || (first >= 18 && first <= 21);
}

bool IsLogonSession(SidBytes sid) {
  return IsNt(sid, 1) && SidSubAuthorityCount(sid) == 3 && First(sid) == kLogonSessionRid;
}

bool IsNt18Service(SidBytes sid) {
  if (!IsNt(sid, 2) || First(sid) != kLocalSystemRid)
    return false;
  uint32_t second = Second(sid);
  if (second == 1 || second == 2)
    return SidSubAuthorityCount(sid) == 3;
  return second >= 256 && second <= 262;
}

bool IsWellKnownRid(uint32_t rid) {
  return (rid >= 500 && rid <= 502) || (rid >= 512 && rid <= 518) || (rid >= 544 && rid <= 559);
}

bool IsBuiltinNotMigrated(uint32_t rid) {
  return rid == 549 || rid == 550 || (rid >= 554 && rid <= 559);
}

std::wstring SidToString(SidBytes sid) {
  return ToText(sid, false);
}

std::wstring SidToHexString(SidBytes sid) {
  return ToText(sid, true);
}

}  // namespace tarvik
