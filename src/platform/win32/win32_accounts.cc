// The enumerations of a server's local groups and users, and the account
// lookups. An enumeration gives entries both when it is done (NERR_Success)
// and when more remain (ERROR_MORE_DATA).
#include <string>
#include <vector>

#include "platform/win32/win32_os.h"

#include "platform/win32/win32_call.h"

namespace tarvik {
namespace {

bool HasEntries(DWORD status) {
  return status == NERR_Success || status == ERROR_MORE_DATA;
}

LOCALGROUP_INFO_1 GroupOf(const ::LOCALGROUP_INFO_1& record) {
  return {TextOf(record.lgrpi1_name), TextOf(record.lgrpi1_comment)};
}

USER_INFO_2 UserOf(const ::USER_INFO_2& record) {
  USER_INFO_2 user;
  user.usri2_name = TextOf(record.usri2_name);
  user.usri2_password_age = record.usri2_password_age;
  user.usri2_priv = record.usri2_priv;
  user.usri2_home_dir = TextOf(record.usri2_home_dir);
  user.usri2_comment = TextOf(record.usri2_comment);
  user.usri2_flags = record.usri2_flags;
  user.usri2_script_path = TextOf(record.usri2_script_path);
  user.usri2_auth_flags = record.usri2_auth_flags;
  user.usri2_full_name = TextOf(record.usri2_full_name);
  user.usri2_usr_comment = TextOf(record.usri2_usr_comment);
  user.usri2_parms = TextOf(record.usri2_parms);
  user.usri2_workstations = TextOf(record.usri2_workstations);
  user.usri2_last_logon = record.usri2_last_logon;
  user.usri2_last_logoff = record.usri2_last_logoff;
  user.usri2_acct_expires = record.usri2_acct_expires;
  user.usri2_max_storage = record.usri2_max_storage;
  user.usri2_units_per_week = record.usri2_units_per_week;
  if (record.usri2_logon_hours != nullptr) {
    const size_t bytes = (record.usri2_units_per_week + 7) / 8;
    user.usri2_logon_hours.assign(record.usri2_logon_hours, record.usri2_logon_hours + bytes);
  }
  user.usri2_bad_pw_count = record.usri2_bad_pw_count;
  user.usri2_num_logons = record.usri2_num_logons;
  user.usri2_logon_server = TextOf(record.usri2_logon_server);
  user.usri2_country_code = record.usri2_country_code;
  user.usri2_code_page = record.usri2_code_page;
  return user;
}

NET_DISPLAY_USER DisplayUserOf(const ::NET_DISPLAY_USER& record) {
  NET_DISPLAY_USER user;
  user.usri1_name = TextOf(record.usri1_name);
  user.usri1_comment = TextOf(record.usri1_comment);
  user.usri1_flags = record.usri1_flags;
  user.usri1_full_name = TextOf(record.usri1_full_name);
  user.usri1_user_id = record.usri1_user_id;
  user.usri1_next_index = record.usri1_next_index;
  return user;
}

}  // namespace

NET_API_STATUS Win32Os::NetLocalGroupEnum(const wchar_t* server_name, DWORD level,
                                          std::vector<LOCALGROUP_INFO_1>* buffer, DWORD prefmaxlen,
                                          DWORD* entries_read, DWORD* total_entries,
                                          DWORD_PTR* resume_handle) {
  if (level != 0 && level != 1)
    return NetStatus(ERROR_INVALID_LEVEL);
  ::LPBYTE raw = nullptr;
  ::DWORD read = 0, total = 0;
  const DWORD status = ::NetLocalGroupEnum(server_name, level, &raw, prefmaxlen, &read, &total,
                                           As<::DWORD_PTR>(resume_handle));
  NetBuffer<void> owner(raw);
  buffer->clear();
  if (HasEntries(status)) {
    for (::DWORD i = 0; i < read; ++i) {
      if (level == 0)
        buffer->push_back({TextOf(reinterpret_cast<::LOCALGROUP_INFO_0*>(raw)[i].lgrpi0_name), {}});
      else
        buffer->push_back(GroupOf(reinterpret_cast<::LOCALGROUP_INFO_1*>(raw)[i]));
    }
  }
  *entries_read = static_cast<DWORD>(buffer->size());
  *total_entries = total;
  return NetStatus(status);
}

NET_API_STATUS Win32Os::NetUserEnum(const wchar_t* server_name, DWORD level, DWORD filter,
                                    std::vector<USER_INFO_2>* buffer, DWORD prefmaxlen,
                                    DWORD* entries_read, DWORD* total_entries,
                                    DWORD* resume_handle) {
  if (level != 2)
    return NetStatus(ERROR_INVALID_LEVEL);
  ::LPBYTE raw = nullptr;
  ::DWORD read = 0, total = 0;
  const DWORD status = ::NetUserEnum(server_name, level, filter, &raw, prefmaxlen, &read, &total,
                                     As<::DWORD>(resume_handle));
  NetBuffer<void> owner(raw);
  buffer->clear();
  if (HasEntries(status)) {
    for (::DWORD i = 0; i < read; ++i)
      buffer->push_back(UserOf(reinterpret_cast<::USER_INFO_2*>(raw)[i]));
  }
  *entries_read = static_cast<DWORD>(buffer->size());
  *total_entries = total;
  return NetStatus(status);
}

NET_API_STATUS Win32Os::NetQueryDisplayInformation(const wchar_t* server_name, DWORD level,
                                                   DWORD index, DWORD entries_requested,
                                                   DWORD prefmaxlen, DWORD* returned_entry_count,
                                                   std::vector<NET_DISPLAY_USER>* buffer) {
  if (level != 1)
    return NetStatus(ERROR_INVALID_LEVEL);
  void* raw = nullptr;
  ::DWORD returned = 0;
  const DWORD status = ::NetQueryDisplayInformation(server_name, level, index, entries_requested,
                                                    prefmaxlen, &returned, &raw);
  NetBuffer<void> owner(raw);
  buffer->clear();
  if (HasEntries(status)) {
    for (::DWORD i = 0; i < returned; ++i)
      buffer->push_back(DisplayUserOf(static_cast<::NET_DISPLAY_USER*>(raw)[i]));
  }
  *returned_entry_count = static_cast<DWORD>(buffer->size());
  return NetStatus(status);
}

BOOL Win32Os::LookupAccountSidW(const wchar_t* system, const void* sid, wchar_t* name,
                                DWORD* name_size, wchar_t* referenced_domain, DWORD* domain_size,
                                SID_NAME_USE* use) {
  return Kept(::LookupAccountSidW(system, const_cast<void*>(sid), name, As<::DWORD>(name_size),
                                  referenced_domain, As<::DWORD>(domain_size),
                                  As<::SID_NAME_USE>(use)));
}

BOOL Win32Os::LookupAccountNameW(const wchar_t* system, const wchar_t* account_name, PSID sid,
                                 DWORD* sid_size, wchar_t* referenced_domain, DWORD* domain_size,
                                 SID_NAME_USE* use) {
  return Kept(::LookupAccountNameW(system, account_name, sid, As<::DWORD>(sid_size),
                                   referenced_domain, As<::DWORD>(domain_size),
                                   As<::SID_NAME_USE>(use)));
}

}  // namespace tarvik
