#include "server/local_account_directory.h"

#include <new>

#include "common/sid.h"
#include "log/log.h"
#include "log/message_text.h"
#include "platform/os.h"
#include "util/text.h"

namespace tarvik {
namespace {

constexpr const char* kGroupEnumCall = "NetLocalGroupEnum";
// The display information is asked for this many users at a time.
constexpr DWORD kDisplayEntriesWanted = 1000;

void ReportGroupEnumFailure(NET_API_STATUS status, const std::wstring& server) {
  switch (status) {
    case ERROR_ACCESS_DENIED:
      PrintWithSystemText(status, L"%hs: No access for %ls\n", kGroupEnumCall, server);
      break;
    case NERR_InvalidComputer:
      PrintWithSystemText(status, L"%hs: No available computer %ls\n", kGroupEnumCall, server);
      break;
    default:
      PrintWithSystemText(status, L"%hs: Error nas=%d\n", kGroupEnumCall, status);
      break;
  }
}

// A call that says more entries remain must hand some back, or the
// enumeration would ask for ever.
NET_API_STATUS WithProgress(NET_API_STATUS status, size_t entries) {
  return status == ERROR_MORE_DATA && entries == 0 ? ERROR_INVALID_DATA : status;
}

// The users read so far stay in map; the caller decides what the partial
// result is worth.
DWORD EnumerateThroughDisplayInformation(const std::wstring& server, CMapUser* map) {
  Os& os = Os::Current();
  DWORD index = 0;
  for (;;) {
    std::vector<NET_DISPLAY_USER> users;
    DWORD returned = 0;
    NET_API_STATUS status =
        os.NetQueryDisplayInformation(SystemName(server), 1, index, kDisplayEntriesWanted,
                                      MAX_PREFERRED_LENGTH, &returned, &users);
    status = WithProgress(status, users.size());
    if (status != NERR_Success && status != ERROR_MORE_DATA) {
      LogError(status, L"Local User Enum : NetQueryDisplayInformation method failure");
      return ERROR_INVALID_DATA;
    }
    for (NET_DISPLAY_USER& display : users) {
      index = display.usri1_next_index;
      LocalUser user;
      user.info.usri2_name = std::move(display.usri1_name);
      user.info.usri2_comment = std::move(display.usri1_comment);
      user.info.usri2_flags = display.usri1_flags;
      user.info.usri2_full_name = std::move(display.usri1_full_name);
      AddLocalUser(map, user.info.usri2_name, user);
    }
    if (status != ERROR_MORE_DATA)
      return NERR_Success;
  }
}

}  // namespace

DWORD LocalGroupEnum(const std::wstring& server, std::vector<LocalGroupName>* names, DWORD level) {
  names->clear();
  Os& os = Os::Current();
  DWORD_PTR resume = 0;
  NET_API_STATUS status;
  do {
    std::vector<LOCALGROUP_INFO_1> groups;
    DWORD read = 0;
    DWORD total = 0;
    status = os.NetLocalGroupEnum(SystemName(server), level, &groups, MAX_PREFERRED_LENGTH, &read,
                                  &total, &resume);
    status = WithProgress(status, groups.size());
    if (status != NERR_Success && status != ERROR_MORE_DATA) {
      ReportGroupEnumFailure(status, server);
      names->clear();
      return ERROR_INVALID_DATA;
    }
    if (names->empty()) {
      try {
        names->reserve(total);
      } catch (const std::bad_alloc&) {
        PrintWithSystemText(ERROR_ACCESS_DENIED, L"%hs: No memory to handle request\n",
                            kGroupEnumCall);
        return ERROR_INVALID_DATA;
      }
    }
    for (LOCALGROUP_INFO_1& group : groups)
      names->push_back({std::move(group.lgrpi1_name), std::move(group.lgrpi1_comment)});
  } while (status == ERROR_MORE_DATA);
  return NERR_Success;
}

DWORD EnumerateLocalUsers(const std::wstring& server, CMapUser* map) {
  Os& os = Os::Current();
  DWORD resume = 0;
  NET_API_STATUS status;
  do {
    std::vector<USER_INFO_2> users;
    DWORD read = 0;
    DWORD total = 0;
    status = os.NetUserEnum(SystemName(server), 2, 0, &users, MAX_PREFERRED_LENGTH, &read, &total,
                            &resume);
    status = WithProgress(status, users.size());
    if (status == ERROR_ACCESS_DENIED) {
      // Only a finished enumeration counts: a part of the users would let
      // the others go untranslated.
      LogError(ERROR_ACCESS_DENIED, L"Local User Enum : No access for %ls\n", server);
      return ERROR_INVALID_DATA;
    }
    if (status != NERR_Success && status != ERROR_MORE_DATA) {
      if (status == NERR_InvalidComputer)
        LogError(NERR_InvalidComputer, L"Local User Enum : No available computer %ls", server);
      LogError(status, L"Local User Enum : Trying alternative method");
      return EnumerateThroughDisplayInformation(server, map);
    }
    for (USER_INFO_2& info : users) {
      std::wstring name = info.usri2_name;
      AddLocalUser(map, name, LocalUser{std::move(info)});
    }
  } while (status == ERROR_MORE_DATA);
  return NERR_Success;
}

void AddLocalUser(CMapUser* map, std::wstring_view name, LocalUser user) {
  (*map)[ToUpperAscii(name)] = std::move(user);
}

const LocalUser* FindLocalUser(const CMapUser& map, std::wstring_view name) {
  auto it = map.find(ToUpperAscii(name));
  return it == map.end() ? nullptr : &it->second;
}

void PrintLocalUsers(const CMapUser& map) {
  for (const auto& [key, user] : map) {
    LogInfo(L"%ls:%ls \"%ls\"", user.info.usri2_name, user.info.usri2_full_name,
            user.info.usri2_comment);
  }
}

}  // namespace tarvik
