// The names and notations every security trace and dump shows for ACEs.
#ifndef TARVIK_COMMON_SD_ACE_TEXT_H_
#define TARVIK_COMMON_SD_ACE_TEXT_H_

#include <cstdint>
#include <string>

namespace tarvik {

// The vendor ACE types written by some storage servers, carried through.
constexpr uint8_t kVendorUnixAttrAce = 0xA5;
constexpr uint8_t kVendorUnixLinkAce = 0xA6;
constexpr uint8_t kVendorUnixNameAce = 0xA7;
constexpr uint8_t kVendorStubAce = 0xA8;  // marks a stub (offline content) file
constexpr uint8_t kVendorUnixAttr64A9Ace = 0xA9;
constexpr uint8_t kVendorUnixAttr64AaAce = 0xAA;

// "Allowed", "Denied", ..., the vendor names, or "Unknown ACE type".
std::wstring AceTypeName(uint8_t type);

// The inheritance flags 0x01 to 0x10 as "OI", "CI", "NP", "IO", "IA" joined
// with ","; empty for none.
std::wstring InheritanceFlagsText(uint8_t flags);

// An access mask as the traces show it: the generic rights, a class (FULL,
// CHGE, READ, SPEC), the letters of the standard rights it holds and the
// mask in hexadecimal, e.g. "FULL:EWXPOD (0x001F01FF)".
std::wstring MaskText(uint32_t mask);

}  // namespace tarvik

#endif  // TARVIK_COMMON_SD_ACE_TEXT_H_
