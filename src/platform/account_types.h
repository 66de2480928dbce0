// The records and constants of account lookups and of the process token, with
// their published values and layouts.
#ifndef TARVIK_PLATFORM_ACCOUNT_TYPES_H_
#define TARVIK_PLATFORM_ACCOUNT_TYPES_H_

#include <cstdint>

#include "platform/win_types.h"

namespace tarvik {

// A SID in its published binary layout, where the caller keeps it.
using PSID = void*;

// The kind of account a lookup found.
enum SID_NAME_USE : int32_t {
  SidTypeUser = 1,
  SidTypeGroup = 2,
  SidTypeDomain = 3,
  SidTypeAlias = 4,
  SidTypeWellKnownGroup = 5,
  SidTypeDeletedAccount = 6,
  SidTypeInvalid = 7,
  SidTypeUnknown = 8,
  SidTypeComputer = 9,
};

// Locally unique id; privileges are named by one.
struct LUID {
  DWORD LowPart;
  LONG HighPart;
};

struct LUID_AND_ATTRIBUTES {
  LUID Luid;
  DWORD Attributes;
};

struct SID_AND_ATTRIBUTES {
  PSID Sid;
  DWORD Attributes;
};

// Variable-length records: the array runs on for the count given, and the
// SIDs a record points to follow it in the same buffer.
constexpr DWORD ANYSIZE_ARRAY = 1;

struct TOKEN_PRIVILEGES {
  DWORD PrivilegeCount;
  LUID_AND_ATTRIBUTES Privileges[ANYSIZE_ARRAY];
};

struct TOKEN_GROUPS {
  DWORD GroupCount;
  SID_AND_ATTRIBUTES Groups[ANYSIZE_ARRAY];
};

struct TOKEN_USER {
  SID_AND_ATTRIBUTES User;
};

enum TOKEN_INFORMATION_CLASS : int32_t {
  TokenUser = 1,
  TokenGroups = 2,
  TokenPrivileges = 3,
};

// Token access rights.
constexpr DWORD TOKEN_DUPLICATE = 0x0002;
constexpr DWORD TOKEN_QUERY = 0x0008;
constexpr DWORD TOKEN_ADJUST_PRIVILEGES = 0x0020;
constexpr DWORD TOKEN_ADJUST_GROUPS = 0x0040;
constexpr DWORD TOKEN_ALL_ACCESS = 0x000F01FF;

// Privilege attributes.
constexpr DWORD SE_PRIVILEGE_ENABLED_BY_DEFAULT = 0x00000001;
constexpr DWORD SE_PRIVILEGE_ENABLED = 0x00000002;
constexpr DWORD SE_PRIVILEGE_REMOVED = 0x00000004;

// Group attributes.
constexpr DWORD SE_GROUP_MANDATORY = 0x00000001;
constexpr DWORD SE_GROUP_ENABLED_BY_DEFAULT = 0x00000002;
constexpr DWORD SE_GROUP_ENABLED = 0x00000004;
constexpr DWORD SE_GROUP_OWNER = 0x00000008;
constexpr DWORD SE_GROUP_USE_FOR_DENY_ONLY = 0x00000010;

constexpr DWORD ERROR_CANT_DISABLE_MANDATORY = 310;
constexpr DWORD ERROR_CANT_ENABLE_DENY_ONLY = 629;

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_ACCOUNT_TYPES_H_
