// PosixOs: account lookups, answered by the computer named as the world
// describes it.
#include <algorithm>

#include "common/sd/sid_bytes.h"
#include "platform/posix/posix_os.h"

namespace tarvik {
namespace {

BOOL Fail(DWORD error) {
  Os::SetLastError(error);
  return FALSE;
}

SidValue ToSidValue(SidBytes sid) {
  SidValue value;
  value.authority = SidIdentifierAuthority(sid);
  for (size_t i = 0; i < SidSubAuthorityCount(sid); ++i)
    value.sub_authorities.push_back(SidSubAuthority(sid, i));
  return value;
}

// Stores text in a caller's buffer of *size characters. Sizes count the NUL
// when the text does not fit and leave it out when it does.
bool Fits(const std::wstring& text, DWORD size) {
  return size >= text.size() + 1;
}

void Store(const std::wstring& text, wchar_t* buffer, DWORD* size) {
  std::copy(text.begin(), text.end(), buffer);
  buffer[text.size()] = L'\0';
  *size = static_cast<DWORD>(text.size());
}

}  // namespace

BOOL PosixOs::LookupAccountSidW(const wchar_t* system, const void* sid, wchar_t* name,
                                DWORD* name_size, wchar_t* referenced_domain, DWORD* domain_size,
                                SID_NAME_USE* use) {
  if (sid == nullptr || name_size == nullptr || domain_size == nullptr || use == nullptr)
    return Fail(ERROR_INVALID_PARAMETER);
  // The header tells how long the SID is.
  const auto* bytes = static_cast<const uint8_t*>(sid);
  SidBytes view(bytes, kSidHeaderSize);
  if (bytes[0] != 1 || bytes[1] > kSidMaxSubAuthorities)
    return Fail(ERROR_INVALID_SID);
  view = SidBytes(bytes, SidLengthForCount(bytes[1]));
  DWORD error = ERROR_SUCCESS;
  const WorldServer* server = NamedServer(system, &error);
  if (server == nullptr)
    return Fail(error);
  AccountEntry entry;
  error = accounts_.LookupSid(*server, ToSidValue(view), &entry);
  if (error != ERROR_SUCCESS)
    return Fail(error);
  bool name_fits = name != nullptr && Fits(entry.name, *name_size);
  bool domain_fits = referenced_domain != nullptr && Fits(entry.domain, *domain_size);
  if (!name_fits || !domain_fits) {
    *name_size = static_cast<DWORD>(entry.name.size() + 1);
    *domain_size = static_cast<DWORD>(entry.domain.size() + 1);
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  Store(entry.name, name, name_size);
  Store(entry.domain, referenced_domain, domain_size);
  *use = entry.use;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL PosixOs::LookupAccountNameW(const wchar_t* system, const wchar_t* account_name, PSID sid,
                                 DWORD* sid_size, wchar_t* referenced_domain, DWORD* domain_size,
                                 SID_NAME_USE* use) {
  if (account_name == nullptr || sid_size == nullptr || domain_size == nullptr || use == nullptr)
    return Fail(ERROR_INVALID_PARAMETER);
  DWORD error = ERROR_SUCCESS;
  const WorldServer* server = NamedServer(system, &error);
  if (server == nullptr)
    return Fail(error);
  AccountEntry entry;
  error = accounts_.LookupName(*server, account_name, &entry);
  if (error != ERROR_SUCCESS)
    return Fail(error);
  std::vector<uint8_t> bytes = entry.sid.ToBytes();
  bool sid_fits = sid != nullptr && *sid_size >= bytes.size();
  bool domain_fits = referenced_domain != nullptr && Fits(entry.domain, *domain_size);
  if (!sid_fits || !domain_fits) {
    *sid_size = static_cast<DWORD>(bytes.size());
    *domain_size = static_cast<DWORD>(entry.domain.size() + 1);
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  std::copy(bytes.begin(), bytes.end(), static_cast<uint8_t*>(sid));
  *sid_size = static_cast<DWORD>(bytes.size());
  Store(entry.domain, referenced_domain, domain_size);
  *use = entry.use;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

}  // namespace tarvik
