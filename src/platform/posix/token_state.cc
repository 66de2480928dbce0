#include "platform/posix/token_state.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "common/sd/sid_bytes.h"
#include "platform/os.h"
#include "platform/privileges.h"

namespace tarvik {
namespace {

constexpr size_t kGroupsHeader = offsetof(TOKEN_GROUPS, Groups);
constexpr size_t kPrivilegesHeader = offsetof(TOKEN_PRIVILEGES, Privileges);

BOOL Fail(DWORD error) {
  Os::SetLastError(error);
  return FALSE;
}

size_t AlignUp(size_t value, size_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

// The SID at sid, when it is a valid one, as bytes.
SidBytes SidAt(const void* sid) {
  if (sid == nullptr)
    return {};
  const auto* bytes = static_cast<const uint8_t*>(sid);
  if (bytes[0] != 1 || bytes[1] > kSidMaxSubAuthorities)
    return {};
  return SidBytes(bytes, SidLengthForCount(bytes[1]));
}

}  // namespace

TokenState::TokenState(const WorldToken& token) {
  user_.sid = token.user.ToBytes();
  user_.attributes = user_.default_attributes = 0;
  for (const WorldTokenGroup& group : token.groups) {
    DWORD attributes = 0;
    if (group.mandatory)
      attributes |= SE_GROUP_MANDATORY;
    if (group.deny_only) {
      attributes |= SE_GROUP_USE_FOR_DENY_ONLY;
    } else if (group.enabled) {
      attributes |= SE_GROUP_ENABLED | SE_GROUP_ENABLED_BY_DEFAULT;
    }
    groups_.push_back({group.sid.ToBytes(), attributes, attributes});
  }
  for (const WorldPrivilege& privilege : token.privileges) {
    const PrivilegeInfo* info = FindPrivilege(privilege.name);
    if (info == nullptr)
      continue;
    DWORD attributes =
        privilege.enabled ? SE_PRIVILEGE_ENABLED | SE_PRIVILEGE_ENABLED_BY_DEFAULT : 0;
    privileges_.push_back({info->luid, attributes});
  }
}

DWORD TokenState::WriteGroups(const std::vector<const Group*>& groups, void* buffer, DWORD length) {
  size_t sids_at = AlignUp(kGroupsHeader + groups.size() * sizeof(SID_AND_ATTRIBUTES), 4);
  size_t needed = sids_at;
  for (const Group* group : groups)
    needed += AlignUp(group->sid.size(), 4);
  needed = std::max(needed, sizeof(TOKEN_GROUPS));
  if (buffer == nullptr || length < needed)
    return static_cast<DWORD>(needed);
  auto* bytes = static_cast<uint8_t*>(buffer);
  DWORD count = static_cast<DWORD>(groups.size());
  std::memcpy(bytes, &count, sizeof(count));
  size_t sid_offset = sids_at;
  for (size_t i = 0; i < groups.size(); ++i) {
    std::memcpy(bytes + sid_offset, groups[i]->sid.data(), groups[i]->sid.size());
    SID_AND_ATTRIBUTES entry{bytes + sid_offset, groups[i]->attributes};
    std::memcpy(bytes + kGroupsHeader + i * sizeof(SID_AND_ATTRIBUTES), &entry, sizeof(entry));
    sid_offset += AlignUp(groups[i]->sid.size(), 4);
  }
  return static_cast<DWORD>(needed);
}

DWORD TokenState::WritePrivileges(const std::vector<Privilege>& privileges, void* buffer,
                                  DWORD length) {
  size_t needed = std::max(kPrivilegesHeader + privileges.size() * sizeof(LUID_AND_ATTRIBUTES),
                           sizeof(TOKEN_PRIVILEGES));
  if (buffer == nullptr || length < needed)
    return static_cast<DWORD>(needed);
  auto* bytes = static_cast<uint8_t*>(buffer);
  DWORD count = static_cast<DWORD>(privileges.size());
  std::memcpy(bytes, &count, sizeof(count));
  for (size_t i = 0; i < privileges.size(); ++i) {
    LUID_AND_ATTRIBUTES entry{{privileges[i].luid, 0}, privileges[i].attributes};
    std::memcpy(bytes + kPrivilegesHeader + i * sizeof(entry), &entry, sizeof(entry));
  }
  return static_cast<DWORD>(needed);
}

BOOL TokenState::Query(TOKEN_INFORMATION_CLASS information_class, void* information, DWORD length,
                       DWORD* return_length) const {
  if (return_length == nullptr)
    return Fail(ERROR_INVALID_PARAMETER);
  std::lock_guard lock(mutex_);
  DWORD needed;
  switch (information_class) {
    case TokenUser: {
      size_t size = sizeof(TOKEN_USER) + user_.sid.size();
      needed = static_cast<DWORD>(size);
      if (information != nullptr && length >= size) {
        auto* bytes = static_cast<uint8_t*>(information);
        std::memcpy(bytes + sizeof(TOKEN_USER), user_.sid.data(), user_.sid.size());
        TOKEN_USER user{{bytes + sizeof(TOKEN_USER), 0}};
        std::memcpy(bytes, &user, sizeof(user));
      }
      break;
    }
    case TokenGroups: {
      std::vector<const Group*> groups;
      for (const Group& group : groups_)
        groups.push_back(&group);
      needed = WriteGroups(groups, information, length);
      break;
    }
    case TokenPrivileges:
      needed = WritePrivileges(privileges_, information, length);
      break;
    default:
      return Fail(ERROR_INVALID_PARAMETER);
  }
  *return_length = needed;
  if (information == nullptr || length < needed)
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  Os::SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL TokenState::AdjustPrivileges(BOOL disable_all, const TOKEN_PRIVILEGES* new_state,
                                  TOKEN_PRIVILEGES* previous_state, DWORD previous_length,
                                  DWORD* return_length) {
  if (!disable_all && new_state == nullptr)
    return Fail(ERROR_INVALID_PARAMETER);
  std::lock_guard lock(mutex_);
  std::vector<Privilege> updated = privileges_;
  std::vector<Privilege> previous;  // the privileges whose state changes
  bool all_assigned = true;
  auto set_enabled = [&](Privilege& privilege, bool enabled) {
    bool was = (privilege.attributes & SE_PRIVILEGE_ENABLED) != 0;
    if (was == enabled)
      return;
    previous.push_back(privilege);
    privilege.attributes = enabled ? privilege.attributes | SE_PRIVILEGE_ENABLED
                                   : privilege.attributes & ~SE_PRIVILEGE_ENABLED;
  };
  if (disable_all) {
    for (Privilege& privilege : updated)
      set_enabled(privilege, false);
  } else {
    for (DWORD i = 0; i < new_state->PrivilegeCount; ++i) {
      const LUID_AND_ATTRIBUTES& wanted = new_state->Privileges[i];
      auto held = std::find_if(updated.begin(), updated.end(), [&](const Privilege& p) {
        return wanted.Luid.HighPart == 0 && p.luid == wanted.Luid.LowPart;
      });
      if (held == updated.end()) {
        all_assigned = false;
      } else if ((wanted.Attributes & SE_PRIVILEGE_REMOVED) != 0) {
        previous.push_back(*held);
        updated.erase(held);
      } else {
        set_enabled(*held, (wanted.Attributes & SE_PRIVILEGE_ENABLED) != 0);
      }
    }
  }
  if (previous_state != nullptr) {
    DWORD needed = WritePrivileges(previous, previous_state, previous_length);
    if (return_length != nullptr)
      *return_length = needed;
    if (previous_length < needed)
      return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  privileges_ = std::move(updated);
  Os::SetLastError(all_assigned ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED);
  return TRUE;
}

TokenState::Group* TokenState::FindGroup(const void* sid) {
  SidBytes wanted = SidAt(sid);
  for (Group& group : groups_) {
    if (EqualSid(group.sid, wanted))
      return &group;
  }
  return nullptr;
}

BOOL TokenState::AdjustGroups(BOOL reset_to_default, const TOKEN_GROUPS* new_state,
                              TOKEN_GROUPS* previous_state, DWORD previous_length,
                              DWORD* return_length) {
  if (!reset_to_default && new_state == nullptr)
    return Fail(ERROR_INVALID_PARAMETER);
  std::lock_guard lock(mutex_);
  // Decide every change first: a group that cannot change fails the call and
  // changes nothing.
  std::vector<std::pair<Group*, DWORD>> changes;
  bool all_assigned = true;
  if (reset_to_default) {
    for (Group& group : groups_)
      changes.emplace_back(&group, group.default_attributes);
  } else {
    for (DWORD i = 0; i < new_state->GroupCount; ++i) {
      const SID_AND_ATTRIBUTES& wanted = new_state->Groups[i];
      Group* group = FindGroup(wanted.Sid);
      if (group == nullptr) {
        all_assigned = false;
        continue;
      }
      bool enable = (wanted.Attributes & SE_GROUP_ENABLED) != 0;
      bool enabled = (group->attributes & SE_GROUP_ENABLED) != 0;
      if (enable && (group->attributes & SE_GROUP_USE_FOR_DENY_ONLY) != 0)
        return Fail(ERROR_CANT_ENABLE_DENY_ONLY);
      if (!enable && enabled && (group->attributes & SE_GROUP_MANDATORY) != 0)
        return Fail(ERROR_CANT_DISABLE_MANDATORY);
      DWORD attributes =
          enable ? group->attributes | SE_GROUP_ENABLED : group->attributes & ~SE_GROUP_ENABLED;
      changes.emplace_back(group, attributes);
    }
  }
  std::vector<const Group*> previous;
  for (auto& [group, attributes] : changes) {
    if (group->attributes != attributes)
      previous.push_back(group);
  }
  std::vector<Group> previous_copies;
  if (previous_state != nullptr) {
    for (const Group* group : previous)
      previous_copies.push_back(*group);
    std::vector<const Group*> copies;
    for (const Group& copy : previous_copies)
      copies.push_back(&copy);
    DWORD needed = WriteGroups(copies, previous_state, previous_length);
    if (return_length != nullptr)
      *return_length = needed;
    if (previous_length < needed)
      return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  for (auto& [group, attributes] : changes)
    group->attributes = attributes;
  Os::SetLastError(all_assigned ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED);
  return TRUE;
}

bool TokenState::IsPrivilegeEnabled(std::wstring_view name) const {
  const PrivilegeInfo* info = FindPrivilege(name);
  if (info == nullptr)
    return false;
  std::lock_guard lock(mutex_);
  for (const Privilege& privilege : privileges_) {
    if (privilege.luid == info->luid)
      return (privilege.attributes & SE_PRIVILEGE_ENABLED) != 0;
  }
  return false;
}

}  // namespace tarvik
