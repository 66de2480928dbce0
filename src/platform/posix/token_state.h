// The process token: its user, its groups and its privileges, with their
// current attributes. It starts as the world describes it; AdjustTokenGroups
// and AdjustTokenPrivileges change it for the rest of the process, whichever
// handle they are given, as every handle of the process token names one
// token.
#ifndef TARVIK_PLATFORM_POSIX_TOKEN_STATE_H_
#define TARVIK_PLATFORM_POSIX_TOKEN_STATE_H_

#include <cstdint>
#include <mutex>
#include <string_view>
#include <vector>

#include "platform/account_types.h"
#include "platform/world.h"

namespace tarvik {

class TokenState {
 public:
  explicit TokenState(const WorldToken& token);

  // GetTokenInformation for TokenUser, TokenGroups and TokenPrivileges.
  BOOL Query(TOKEN_INFORMATION_CLASS information_class, void* information, DWORD length,
             DWORD* return_length) const;
  BOOL AdjustPrivileges(BOOL disable_all, const TOKEN_PRIVILEGES* new_state,
                        TOKEN_PRIVILEGES* previous_state, DWORD previous_length,
                        DWORD* return_length);
  BOOL AdjustGroups(BOOL reset_to_default, const TOKEN_GROUPS* new_state,
                    TOKEN_GROUPS* previous_state, DWORD previous_length, DWORD* return_length);

  // Whether the token holds the privilege (by its system name) and has it
  // enabled: what the file calls check where the system enforces privileges.
  bool IsPrivilegeEnabled(std::wstring_view name) const;

 private:
  struct Privilege {
    DWORD luid;
    DWORD attributes;
  };
  struct Group {
    std::vector<uint8_t> sid;
    DWORD attributes;
    DWORD default_attributes;
  };

  // Writes the groups in the TOKEN_GROUPS layout; the size needed.
  static DWORD WriteGroups(const std::vector<const Group*>& groups, void* buffer, DWORD length);
  static DWORD WritePrivileges(const std::vector<Privilege>& privileges, void* buffer,
                               DWORD length);
  Group* FindGroup(const void* sid);

  mutable std::mutex mutex_;
  Group user_;
  std::vector<Group> groups_;
  std::vector<Privilege> privileges_;
};

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_POSIX_TOKEN_STATE_H_
