// The local accounts of a server as its network management interface lists
// them: the names of its local groups, and its local users with their level-2
// account data. Local account translation (/lu, /lg) matches the two
// servers' lists by name.
#ifndef TARVIK_SERVER_LOCAL_ACCOUNT_DIRECTORY_H_
#define TARVIK_SERVER_LOCAL_ACCOUNT_DIRECTORY_H_

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/net_types.h"

namespace tarvik {

// One local user: every field of the system's level-2 record, owned. A
// user read through the display information has only its name, comment,
// flags and full name.
struct LocalUser {
  USER_INFO_2 info;
};

// Local users by their name in upper case.
using CMapUser = std::map<std::wstring, LocalUser>;

// One entry of a group list: the name, and at level 1 the comment.
struct LocalGroupName {
  std::wstring name;
  std::wstring comment;
};

// The local groups of server ("\\NAME"; empty: this computer) at level 0
// (names) or 1 (names and comments), every buffer of the enumeration in the
// order of the calls. 0, or ERROR_INVALID_DATA with names empty after the
// reason was printed with its system text.
DWORD LocalGroupEnum(const std::wstring& server, std::vector<LocalGroupName>* names, DWORD level);

// Adds every local user of server to map. 0, or ERROR_INVALID_DATA after the
// reason was logged. When the user enumeration is refused for another
// reason than access, the display information is tried instead.
DWORD EnumerateLocalUsers(const std::wstring& server, CMapUser* map);

// map[upper-case name] := user, replacing a user stored under that name.
void AddLocalUser(CMapUser* map, std::wstring_view name, LocalUser user);
// The user of that name in any letter case, or null.
const LocalUser* FindLocalUser(const CMapUser& map, std::wstring_view name);
// One LogInfo line per user: name, full name and comment.
void PrintLocalUsers(const CMapUser& map);

}  // namespace tarvik

#endif  // TARVIK_SERVER_LOCAL_ACCOUNT_DIRECTORY_H_
