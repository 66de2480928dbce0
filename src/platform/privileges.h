// The privileges a token can hold: their names, locally unique ids (the
// published low parts) and English display names.
#ifndef TARVIK_PLATFORM_PRIVILEGES_H_
#define TARVIK_PLATFORM_PRIVILEGES_H_

#include <span>
#include <string_view>

#include "platform/win_types.h"

namespace tarvik {

struct PrivilegeInfo {
  DWORD luid;
  const wchar_t* name;          // "SeBackupPrivilege"
  const wchar_t* display_name;  // "Back up files and directories"
};

std::span<const PrivilegeInfo> AllPrivileges();
// Case-insensitive, as the lookup by name is; null when unknown.
const PrivilegeInfo* FindPrivilege(std::wstring_view name);
const PrivilegeInfo* FindPrivilege(DWORD luid);

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_PRIVILEGES_H_
