#include "common/sd/ace_text.h"

#include <iterator>

#include "util/format.h"

namespace tarvik {
namespace {

constexpr uint32_t kGenericRead = 0x80000000;
constexpr uint32_t kGenericWrite = 0x40000000;
constexpr uint32_t kGenericExecute = 0x20000000;
constexpr uint32_t kGenericAll = 0x10000000;

// What a file's generic rights map to, and the classes built from them.
constexpr uint32_t kFileRead = 0x120089;
constexpr uint32_t kFileWrite = 0x120116;
constexpr uint32_t kFileExecute = 0x1200A0;
constexpr uint32_t kFull = 0x1F01FF;
constexpr uint32_t kChange = 0x1301BF;
constexpr uint32_t kReadClass = 0x1200A9;
constexpr uint32_t kWriteDac = 0x40000;
constexpr uint32_t kWriteOwner = 0x80000;
constexpr uint32_t kDelete = 0x10000;

bool Holds(uint32_t mask, uint32_t bits) {
  return (mask & bits) == bits;
}

}  // namespace

std::wstring AceTypeName(uint8_t type) {
  static const wchar_t* const kStandard[] = {
      L"Allowed",
      L"Denied",
      L"Audit",
      L"Alarm",
      L"Allowed compound",
      L"Allowed object",
      L"Denied object",
      L"Audit object",
      L"Alarm object",
      L"Allowed callback",
      L"Denied callback",
      L"Allowed callback oject",
      L"Denied callback oject",
      L"Audit callback",
      L"Alarm callback",
      L"Audit callback object",
      L"Alarm callback object",
      L"Mandatory label",
      L"Resource attribute",
      L"Scoped policy",
      L"Process trust label",
  };
  static const wchar_t* const kVendor[] = {
      L"Kestro Unix attr", L"Kestro Unix link",      L"Kestro Unix name",
      L"Kestro Stubra",    L"Kestro Unix attr64_A9", L"Kestro Unix attr64_AA",
  };
  if (type < std::size(kStandard))
    return kStandard[type];
  if (type >= kVendorUnixAttrAce && type <= kVendorUnixAttr64AaAce)
    return kVendor[type - kVendorUnixAttrAce];
  return L"Unknown ACE type";
}

std::wstring InheritanceFlagsText(uint8_t flags) {
  static const wchar_t* const kNames[] = {L"OI", L"CI", L"NP", L"IO", L"IA"};
  std::wstring text;
  for (int bit = 0; bit < 5; ++bit) {
    if ((flags & (1u << bit)) == 0)
      continue;
    if (!text.empty())
      text += L',';
    text += kNames[bit];
  }
  return text;
}

std::wstring MaskText(uint32_t mask) {
  struct Named {
    uint32_t bits;
    const wchar_t* text;
  };
  static constexpr Named kGeneric[] = {{kGenericRead, L"GENERIC_RD  "},
                                       {kGenericWrite, L"GENERIC_WR  "},
                                       {kGenericExecute, L"GENERIC_EXE "},
                                       {kGenericAll, L"GENERIC_ALL "}};
  static constexpr Named kLetters[] = {{kFileRead, L"E"}, {kFileWrite, L"W"},  {kFileExecute, L"X"},
                                       {kWriteDac, L"P"}, {kWriteOwner, L"O"}, {kDelete, L"D"}};
  std::wstring text;
  for (const Named& generic : kGeneric) {
    if (mask & generic.bits)
      text += generic.text;
  }
  text += Holds(mask, kFull)        ? L"FULL:"
          : Holds(mask, kChange)    ? L"CHGE:"
          : Holds(mask, kReadClass) ? L"READ:"
                                    : L"SPEC:";
  std::wstring letters;
  for (const Named& letter : kLetters) {
    if (Holds(mask, letter.bits))
      letters += letter.text;
  }
  if (letters.empty())
    return text + Format(L"(0x%08lX)", mask);
  return text + Format(L"%-6s (0x%08lX)", letters, mask);
}

}  // namespace tarvik
