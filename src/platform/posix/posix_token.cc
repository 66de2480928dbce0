// PosixOs: the process token and the privilege names.
#include "platform/posix/posix_os.h"
#include "platform/privileges.h"

namespace tarvik {
namespace {

constexpr DWORD kEnglishUs = 0x0409;

BOOL Fail(DWORD error) {
  Os::SetLastError(error);
  return FALSE;
}

// Stores text in a caller's buffer of *length characters: on success *length
// leaves the NUL out, when too small it is the size needed with the NUL.
BOOL CopyName(const wchar_t* text, wchar_t* buffer, DWORD* length) {
  if (length == nullptr)
    return Fail(ERROR_INVALID_PARAMETER);
  std::wstring_view view = text;
  if (buffer == nullptr || *length < view.size() + 1) {
    *length = static_cast<DWORD>(view.size() + 1);
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  std::copy(view.begin(), view.end(), buffer);
  buffer[view.size()] = L'\0';
  *length = static_cast<DWORD>(view.size());
  Os::SetLastError(ERROR_SUCCESS);
  return TRUE;
}

}  // namespace

std::shared_ptr<HandleObject> PosixOs::TokenObject(HANDLE token, DWORD access) const {
  std::shared_ptr<HandleObject> object = handles_.Get(token);
  if (object == nullptr || object->kind != HandleObject::Kind::kToken) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if ((object->access & access) != access) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return object;
}

BOOL PosixOs::OpenProcessToken(HANDLE process, DWORD desired_access, HANDLE* token) {
  if (token == nullptr)
    return Fail(ERROR_INVALID_PARAMETER);
  if (process != GetCurrentProcess())
    return Fail(ERROR_INVALID_HANDLE);
  auto object = std::make_shared<HandleObject>(HandleObject::Kind::kToken, -1, false);
  object->access = desired_access;
  *token = handles_.Add(std::move(object));
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL PosixOs::GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS information_class,
                                  void* information, DWORD length, DWORD* return_length) {
  if (TokenObject(token, TOKEN_QUERY) == nullptr)
    return FALSE;
  return token_.Query(information_class, information, length, return_length);
}

BOOL PosixOs::AdjustTokenPrivileges(HANDLE token, BOOL disable_all, TOKEN_PRIVILEGES* new_state,
                                    DWORD length, TOKEN_PRIVILEGES* previous_state,
                                    DWORD* return_length) {
  DWORD access = TOKEN_ADJUST_PRIVILEGES | (previous_state != nullptr ? TOKEN_QUERY : 0);
  if (TokenObject(token, access) == nullptr)
    return FALSE;
  return token_.AdjustPrivileges(disable_all, new_state, previous_state, length, return_length);
}

BOOL PosixOs::AdjustTokenGroups(HANDLE token, BOOL reset_to_default, TOKEN_GROUPS* new_state,
                                DWORD length, TOKEN_GROUPS* previous_state, DWORD* return_length) {
  DWORD access = TOKEN_ADJUST_GROUPS | (previous_state != nullptr ? TOKEN_QUERY : 0);
  if (TokenObject(token, access) == nullptr)
    return FALSE;
  return token_.AdjustGroups(reset_to_default, new_state, previous_state, length, return_length);
}

BOOL PosixOs::LookupPrivilegeValueW(const wchar_t* system, const wchar_t* name, LUID* luid) {
  DWORD error = ERROR_SUCCESS;
  if (NamedServer(system, &error) == nullptr)
    return Fail(error);
  if (name == nullptr || luid == nullptr)
    return Fail(ERROR_INVALID_PARAMETER);
  const PrivilegeInfo* info = FindPrivilege(std::wstring_view(name));
  if (info == nullptr)
    return Fail(ERROR_NO_SUCH_PRIVILEGE);
  *luid = LUID{info->luid, 0};
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL PosixOs::LookupPrivilegeNameW(const wchar_t* system, const LUID* luid, wchar_t* name,
                                   DWORD* length) {
  DWORD error = ERROR_SUCCESS;
  if (NamedServer(system, &error) == nullptr)
    return Fail(error);
  if (luid == nullptr)
    return Fail(ERROR_INVALID_PARAMETER);
  const PrivilegeInfo* info = luid->HighPart == 0 ? FindPrivilege(luid->LowPart) : nullptr;
  if (info == nullptr)
    return Fail(ERROR_NO_SUCH_PRIVILEGE);
  return CopyName(info->name, name, length);
}

BOOL PosixOs::LookupPrivilegeDisplayNameW(const wchar_t* system, const wchar_t* name,
                                          wchar_t* display_name, DWORD* length,
                                          DWORD* language_id) {
  DWORD error = ERROR_SUCCESS;
  if (NamedServer(system, &error) == nullptr)
    return Fail(error);
  if (name == nullptr)
    return Fail(ERROR_INVALID_PARAMETER);
  const PrivilegeInfo* info = FindPrivilege(std::wstring_view(name));
  if (info == nullptr)
    return Fail(ERROR_NO_SUCH_PRIVILEGE);
  if (language_id != nullptr)
    *language_id = kEnglishUs;
  return CopyName(info->display_name, display_name, length);
}

}  // namespace tarvik
