// The SIDs every Windows machine knows without asking a domain: the world,
// creator, NT AUTHORITY and BUILTIN accounts, with their English names.
#ifndef TARVIK_PLATFORM_WELL_KNOWN_SIDS_H_
#define TARVIK_PLATFORM_WELL_KNOWN_SIDS_H_

#include <span>
#include <string_view>

#include "common/sd/sid_value.h"
#include "platform/win_types.h"

namespace tarvik {

struct WellKnownSid {
  const wchar_t* sid;     // text form
  const wchar_t* domain;  // referenced domain ("" for the world and creator SIDs)
  const wchar_t* name;
  int type;  // SID_NAME_USE: 3 domain, 4 alias, 5 well-known group
};

std::span<const WellKnownSid> WellKnownSids();
// By SID; null when the SID is not a well-known one.
const WellKnownSid* FindWellKnownSid(const SidValue& sid);
// By "DOMAIN\name" or a bare name, case-insensitive; null when unknown.
const WellKnownSid* FindWellKnownName(std::wstring_view account);

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_WELL_KNOWN_SIDS_H_
