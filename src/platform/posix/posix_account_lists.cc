// PosixOs: the enumerations of a server's local groups and users, served from
// the world. Entries come in the world's order, a buffer's worth at a time.
#include <algorithm>

#include "platform/posix/posix_os.h"

namespace tarvik {
namespace {

// What one entry takes of the system's buffer on a 64-bit system: the
// record (pointers and DWORDs) and every string with its NUL.
constexpr size_t kLocalGroupInfo0Size = 8;
constexpr size_t kLocalGroupInfo1Size = 16;
constexpr size_t kUserInfo2Size = 144;
constexpr size_t kDisplayUserSize = 40;
constexpr size_t kLogonHoursSize = UNITS_PER_WEEK / 8;
// NetQueryDisplayInformation never returns more at once.
constexpr DWORD kDisplayEntriesPerCall = 100;

DWORD Status(DWORD status) {
  Os::SetLastError(status);
  return status;
}

size_t StringSize(const std::wstring& text) {
  return (text.size() + 1) * sizeof(char16_t);
}

size_t SizeOf(const LOCALGROUP_INFO_1& group, DWORD level) {
  if (level == 0)
    return kLocalGroupInfo0Size + StringSize(group.lgrpi1_name);
  return kLocalGroupInfo1Size + StringSize(group.lgrpi1_name) + StringSize(group.lgrpi1_comment);
}

size_t SizeOf(const USER_INFO_2& user) {
  size_t size = kUserInfo2Size + user.usri2_logon_hours.size();
  for (const std::wstring* text :
       {&user.usri2_name, &user.usri2_password, &user.usri2_home_dir, &user.usri2_comment,
        &user.usri2_script_path, &user.usri2_full_name, &user.usri2_usr_comment, &user.usri2_parms,
        &user.usri2_workstations, &user.usri2_logon_server}) {
    size += StringSize(*text);
  }
  return size;
}

size_t SizeOf(const NET_DISPLAY_USER& user) {
  return kDisplayUserSize + StringSize(user.usri1_name) + StringSize(user.usri1_comment) +
         StringSize(user.usri1_full_name);
}

// Copies entries from start on into out while they fit in prefmaxlen bytes
// and number at most limit; at least one, so that every call makes
// progress. Returns the position after the last one copied.
template <typename T, typename SizeFn>
size_t TakePage(const std::vector<T>& all, size_t start, DWORD prefmaxlen, size_t limit,
                SizeFn size_of, std::vector<T>* out) {
  out->clear();
  size_t used = 0;
  size_t at = start;
  while (at < all.size() && out->size() < limit) {
    used += size_of(all[at]);
    if (prefmaxlen != MAX_PREFERRED_LENGTH && used > prefmaxlen && !out->empty())
      break;
    out->push_back(all[at++]);
  }
  return at;
}

// The builtin groups first, then the account domain's.
std::vector<LOCALGROUP_INFO_1> GroupsOf(const World& world, const WorldServer& server,
                                        DWORD level) {
  std::vector<LOCALGROUP_INFO_1> groups;
  auto add = [&](const std::wstring& name, const std::wstring& comment) {
    groups.push_back({name, level == 1 ? comment : std::wstring()});
  };
  for (const WorldLocalGroup& group : server.local_groups) {
    if (group.builtin)
      add(group.name, group.comment);
  }
  for (const WorldLocalGroup& group : server.local_groups) {
    if (!group.builtin)
      add(group.name, group.comment);
  }
  // A controller's account domain is its domain.
  const WorldDomain* domain = server.role == WorldServer::Role::kDomainController
                                  ? world.FindDomain(server.domain)
                                  : nullptr;
  if (domain != nullptr) {
    for (const WorldAccount& account : domain->accounts) {
      if (account.type == WorldAccount::Type::kAlias)
        add(account.name, account.comment);
    }
  }
  return groups;
}

USER_INFO_2 UserInfo(const std::wstring& name, DWORD privilege, DWORD flags,
                     const std::wstring& full_name, const std::wstring& comment) {
  USER_INFO_2 user;
  user.usri2_name = name;
  user.usri2_priv = privilege;
  user.usri2_flags = flags;
  user.usri2_full_name = full_name;
  user.usri2_comment = comment;
  user.usri2_units_per_week = UNITS_PER_WEEK;
  user.usri2_logon_hours.assign(kLogonHoursSize, 0xFF);  // every hour allowed
  return user;
}

USER_INFO_2 UserInfo(const WorldLocalUser& local) {
  DWORD flags =
      UF_SCRIPT | UF_NORMAL_ACCOUNT | local.flags | (local.disabled ? UF_ACCOUNTDISABLE : 0);
  USER_INFO_2 user = UserInfo(local.name, local.privilege, flags, local.full_name, local.comment);
  user.usri2_home_dir = local.home_dir;
  user.usri2_script_path = local.script_path;
  return user;
}

USER_INFO_2 UserInfo(const WorldAccount& account) {
  bool computer = account.type == WorldAccount::Type::kComputer;
  DWORD privilege = account.rid == 500   ? USER_PRIV_ADMIN
                    : account.rid == 501 ? USER_PRIV_GUEST
                                         : USER_PRIV_USER;
  DWORD flags = UF_SCRIPT | (computer ? UF_WORKSTATION_TRUST_ACCOUNT : UF_NORMAL_ACCOUNT) |
                (account.disabled ? UF_ACCOUNTDISABLE : 0);
  return UserInfo(account.name, privilege, flags, account.full_name, account.comment);
}

bool Wanted(DWORD filter, DWORD flags) {
  if (filter == 0)
    return true;
  if ((flags & UF_WORKSTATION_TRUST_ACCOUNT) != 0)
    return (filter & FILTER_WORKSTATION_TRUST_ACCOUNT) != 0;
  return (filter & FILTER_NORMAL_ACCOUNT) != 0;
}

// The users of the server's account database, with their RIDs beside them.
std::vector<std::pair<USER_INFO_2, DWORD>> UsersOf(const World& world, const WorldServer& server,
                                                   DWORD filter) {
  std::vector<std::pair<USER_INFO_2, DWORD>> users;
  if (server.role != WorldServer::Role::kDomainController) {
    for (const WorldLocalUser& local : server.local_users) {
      USER_INFO_2 user = UserInfo(local);
      if (Wanted(filter, user.usri2_flags))
        users.emplace_back(std::move(user), local.rid);
    }
    return users;
  }
  const WorldDomain* domain = world.FindDomain(server.domain);
  if (domain == nullptr)
    return users;
  for (const WorldAccount& account : domain->accounts) {
    if (account.type != WorldAccount::Type::kUser && account.type != WorldAccount::Type::kComputer)
      continue;
    USER_INFO_2 user = UserInfo(account);
    if (Wanted(filter, user.usri2_flags))
      users.emplace_back(std::move(user), account.rid);
  }
  return users;
}

// Where an enumeration goes on (a null handle starts over), and what the
// next call is told.
template <typename Handle>
size_t ResumeAt(const Handle* resume_handle, size_t total) {
  return resume_handle == nullptr ? 0 : std::min(static_cast<size_t>(*resume_handle), total);
}

template <typename Handle>
DWORD Finish(size_t end, size_t total, Handle* resume_handle) {
  bool more = end < total;
  if (resume_handle != nullptr)
    *resume_handle = more ? static_cast<Handle>(end) : 0;
  return Status(more ? ERROR_MORE_DATA : NERR_Success);
}

// One call's page of an enumeration that resumes by handle: the entries
// from the handle on, as many as prefmaxlen takes.
template <typename T, typename Handle, typename SizeOfFn>
DWORD ServePage(const std::vector<T>& all, DWORD prefmaxlen, SizeOfFn size_of,
                std::vector<T>* buffer, DWORD* entries_read, DWORD* total_entries,
                Handle* resume_handle) {
  size_t start = ResumeAt(resume_handle, all.size());
  size_t end = TakePage(all, start, prefmaxlen, all.size(), size_of, buffer);
  *entries_read = static_cast<DWORD>(buffer->size());
  *total_entries = static_cast<DWORD>(all.size() - start);
  return Finish(end, all.size(), resume_handle);
}

}  // namespace

NET_API_STATUS PosixOs::NetLocalGroupEnum(const wchar_t* server_name, DWORD level,
                                          std::vector<LOCALGROUP_INFO_1>* buffer, DWORD prefmaxlen,
                                          DWORD* entries_read, DWORD* total_entries,
                                          DWORD_PTR* resume_handle) {
  if (level > 1)
    return Status(ERROR_INVALID_LEVEL);
  if (buffer == nullptr || entries_read == nullptr || total_entries == nullptr)
    return Status(ERROR_INVALID_PARAMETER);
  DWORD error = ERROR_SUCCESS;
  const WorldServer* server = NamedServer(server_name, &error);
  if (server == nullptr)
    return Status(error);
  std::vector<LOCALGROUP_INFO_1> groups = GroupsOf(world_, *server, level);
  auto size_of = [level](const LOCALGROUP_INFO_1& group) { return SizeOf(group, level); };
  return ServePage(groups, prefmaxlen, size_of, buffer, entries_read, total_entries, resume_handle);
}

NET_API_STATUS PosixOs::NetUserEnum(const wchar_t* server_name, DWORD level, DWORD filter,
                                    std::vector<USER_INFO_2>* buffer, DWORD prefmaxlen,
                                    DWORD* entries_read, DWORD* total_entries,
                                    DWORD* resume_handle) {
  if (level != 2)
    return Status(ERROR_INVALID_LEVEL);
  if (buffer == nullptr || entries_read == nullptr || total_entries == nullptr)
    return Status(ERROR_INVALID_PARAMETER);
  DWORD error = ERROR_SUCCESS;
  const WorldServer* server = NamedServer(server_name, &error);
  if (server == nullptr)
    return Status(error);
  std::vector<USER_INFO_2> users;
  for (auto& [user, rid] : UsersOf(world_, *server, filter))
    users.push_back(std::move(user));
  auto size_of = [](const USER_INFO_2& user) { return SizeOf(user); };
  return ServePage(users, prefmaxlen, size_of, buffer, entries_read, total_entries, resume_handle);
}

NET_API_STATUS PosixOs::NetQueryDisplayInformation(const wchar_t* server_name, DWORD level,
                                                   DWORD index, DWORD entries_requested,
                                                   DWORD prefmaxlen, DWORD* returned_entry_count,
                                                   std::vector<NET_DISPLAY_USER>* buffer) {
  if (level != 1)
    return Status(ERROR_INVALID_LEVEL);
  if (buffer == nullptr || returned_entry_count == nullptr)
    return Status(ERROR_INVALID_PARAMETER);
  DWORD error = ERROR_SUCCESS;
  const WorldServer* server = NamedServer(server_name, &error);
  if (server == nullptr)
    return Status(error);
  std::vector<NET_DISPLAY_USER> users;
  for (const auto& [user, rid] : UsersOf(world_, *server, FILTER_NORMAL_ACCOUNT)) {
    NET_DISPLAY_USER display;
    display.usri1_name = user.usri2_name;
    display.usri1_comment = user.usri2_comment;
    display.usri1_flags = user.usri2_flags;
    display.usri1_full_name = user.usri2_full_name;
    display.usri1_user_id = rid;
    display.usri1_next_index = static_cast<DWORD>(users.size() + 1);
    users.push_back(std::move(display));
  }
  size_t start = std::min<size_t>(index, users.size());
  size_t limit = std::min(entries_requested, kDisplayEntriesPerCall);
  auto size_of = [](const NET_DISPLAY_USER& user) { return SizeOf(user); };
  size_t end = TakePage(users, start, prefmaxlen, limit, size_of, buffer);
  *returned_entry_count = static_cast<DWORD>(buffer->size());
  return Status(end < users.size() ? ERROR_MORE_DATA : NERR_Success);
}

}  // namespace tarvik
