#include "server/privileges.h"

#include <new>
#include <vector>

#include "common/sd/sd_exception.h"
#include "common/sid.h"
#include "log/log.h"
#include "platform/os.h"

namespace tarvik {
namespace {

constexpr DWORD kComputerNameSize = 16;
constexpr DWORD kPrivilegeNameSize = 1024;
// The system whose privilege names are meant: this computer.
constexpr const wchar_t* kThisSystem = L".";

// Closes the process token however the operation ends.
class TokenHandle {
 public:
  TokenHandle() = default;
  ~TokenHandle() {
    if (handle_ != nullptr)
      Os::Current().CloseHandle(handle_);
  }
  TokenHandle(const TokenHandle&) = delete;
  TokenHandle& operator=(const TokenHandle&) = delete;

  bool Open(DWORD access) {
    Os& os = Os::Current();
    return os.OpenProcessToken(os.GetCurrentProcess(), access, &handle_) != FALSE;
  }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_ = nullptr;
};

enum class ReadResult { kRead, kNoMemory, kFailed };

// One class of token information, size query first.
ReadResult ReadTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS information_class,
                                std::vector<uint8_t>* buffer) {
  Os& os = Os::Current();
  DWORD needed = 0;
  if (!os.GetTokenInformation(token, information_class, nullptr, 0, &needed) &&
      Os::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    return ReadResult::kFailed;
  }
  try {
    buffer->assign(needed, 0);
  } catch (const std::bad_alloc&) {
    Os::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return ReadResult::kNoMemory;
  }
  if (!os.GetTokenInformation(token, information_class, buffer->data(), needed, &needed))
    return ReadResult::kFailed;
  return ReadResult::kRead;
}

void LogClosingWarnings() {
  LogWarning(L" Please set the required privilege(s).");
  LogWarning(L" You must logon again to get the new privilege(s).");
}

// The SID of a token group as text and as "DOMAIN\name" on this computer.
void DescribeGroupSid(const void* sid, std::wstring* text, std::wstring* name) {
  // The SID lies in the token buffer; its header tells its length.
  const uint8_t* bytes = static_cast<const uint8_t*>(sid);
  SidBytes view(bytes, SidLengthForCount(bytes[1] <= kSidMaxSubAuthorities ? bytes[1] : 0));
  *text = SidToString(view);
  try {
    SId group(view);
    *name = group.DisplayName(L"");
  } catch (const SDException& error) {
    *name = error.message();
  }
}

bool SameLuid(const LUID& a, const LUID& b) {
  return a.LowPart == b.LowPart && a.HighPart == b.HighPart;
}

}  // namespace

int RequiredPrivilegeLevel(const CopySettings& settings) {
  // Home-directory security reads the template directory's SACL.
  bool system_acls = settings.copyAudit || settings.copyDac || settings.backupSD ||
                     settings.restoreSD || settings.homeDirMode;
  return system_acls ? 3 : 2;
}

std::wstring ProcessPrivileges::LocalComputerName() {
  if (!local_computer_name_.empty())
    return local_computer_name_;
  DWORD error = Os::GetLastError();
  wchar_t buffer[kComputerNameSize] = {};
  DWORD size = kComputerNameSize;
  if (!Os::Current().GetComputerNameW(buffer, &size)) {
    LogLastError(L"Unable to get the local computer name");
    Os::SetLastError(error);
    return L"??";
  }
  local_computer_name_.assign(buffer, size);
  // Callers name the computer in messages about their own last error.
  Os::SetLastError(error);
  return local_computer_name_;
}

bool ProcessPrivileges::EnablePrivilege(std::wstring_view name_in, bool enable) {
  Os& os = Os::Current();
  std::wstring name(name_in);
  TokenHandle token;
  if (!token.Open(TOKEN_ADJUST_PRIVILEGES)) {
    LogLastError(L"OpenProcessToken failure");
    return false;
  }
  LUID luid;
  if (!os.LookupPrivilegeValueW(kThisSystem, name.c_str(), &luid)) {
    LogLastError(L"LookupPrivilegeValue \"%s\" error on %s computer: ", name, LocalComputerName());
    return false;
  }
  TOKEN_PRIVILEGES privileges;
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Luid = luid;
  privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
  os.AdjustTokenPrivileges(token.get(), FALSE, &privileges, sizeof(privileges), nullptr, nullptr);
  // Success with ERROR_NOT_ALL_ASSIGNED means the token lacks the privilege.
  if (Os::GetLastError() != ERROR_SUCCESS) {
    LogLastError(L"AdjustTokenPrivileges \"%s\" failed on %s computer: ", name,
                 LocalComputerName());
    return false;
  }
  return true;
}

bool ProcessPrivileges::EnableCopyPrivileges(bool with_security) {
  if (!EnablePrivilege(L"SeBackupPrivilege", true))
    return false;
  if (!EnablePrivilege(L"SeRestorePrivilege", true))
    return false;
  return !with_security || EnablePrivilege(L"SeSecurityPrivilege", true);
}

bool ProcessPrivileges::CheckPrivileges(std::span<const wchar_t* const> names, int count,
                                        bool trace) {
  Os& os = Os::Current();
  TokenHandle token;
  if (!token.Open(TOKEN_QUERY | TOKEN_ADJUST_GROUPS)) {
    LogLastError(L"OpenProcessToken failure");
    return false;
  }

  std::vector<uint8_t> buffer;
  switch (ReadTokenInformation(token.get(), TokenGroups, &buffer)) {
    case ReadResult::kRead:
      break;
    case ReadResult::kNoMemory:
      LogLastError(L"Unable to allocate memory to get process token information");
      return false;
    case ReadResult::kFailed:
      LogLastError(L"GetTokenInformation failure");
      LogClosingWarnings();
      return false;
  }
  auto* groups = reinterpret_cast<TOKEN_GROUPS*>(buffer.data());
  for (DWORD i = 0; i < groups->GroupCount; ++i) {
    SID_AND_ATTRIBUTES& group = groups->Groups[i];
    if (trace) {
      std::wstring text, account;
      DescribeGroupSid(group.Sid, &text, &account);
      LogText(L"Groups sid : %s, name : %s, state : %s\n", text, account,
              (group.Attributes & SE_GROUP_ENABLED) != 0 ? L"Enable" : L"Disable");
    }
    if ((group.Attributes & SE_GROUP_USE_FOR_DENY_ONLY) == 0)
      group.Attributes |= SE_GROUP_ENABLED;
  }
  if (trace)
    LogText(L"\n");
  if (!os.AdjustTokenGroups(token.get(), FALSE, groups, static_cast<DWORD>(buffer.size()), nullptr,
                            nullptr) &&
      Os::GetLastError() != ERROR_SUCCESS) {
    LogLastError(L"AdjustTokenGroups \"%s\" failed on %s computer : ", L"enable the token groups",
                 LocalComputerName());
  }

  switch (ReadTokenInformation(token.get(), TokenPrivileges, &buffer)) {
    case ReadResult::kRead:
      break;
    case ReadResult::kNoMemory:
      LogLastError(L"Unable to allocate memory to get process token information");
      return false;
    case ReadResult::kFailed:
      LogLastError(L"GetTokenInformation failure");
      LogClosingWarnings();
      return false;
  }
  const auto* held = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
  if (trace) {
    for (DWORD i = 0; i < held->PrivilegeCount; ++i) {
      wchar_t privilege_name[kPrivilegeNameSize];
      DWORD length = kPrivilegeNameSize;
      if (os.LookupPrivilegeNameW(kThisSystem, &held->Privileges[i].Luid, privilege_name,
                                  &length)) {
        LogText(L"Privilege \"%ls\" on %s computer: \n", privilege_name, LocalComputerName());
      }
    }
    LogText(L"\n");
  }

  bool result = true;
  size_t wanted = std::min(names.size(), static_cast<size_t>(count < 0 ? 0 : count));
  for (size_t n = 0; n < wanted; ++n) {
    const wchar_t* name = names[n];
    LUID luid;
    if (!os.LookupPrivilegeValueW(kThisSystem, name, &luid)) {
      LogLastError(L"LookupPrivilegeValue \"%ls\" error on %s computer", name, LocalComputerName());
      result = false;
      continue;
    }
    bool found = false;
    for (DWORD i = 0; i < held->PrivilegeCount && !found; ++i)
      found = SameLuid(held->Privileges[i].Luid, luid);
    if (found) {
      if (trace) {
        LogText(L"privilege found \"%ls\" on %s computer", name, LocalComputerName());
        LogText(L"\n");
      }
      continue;
    }
    if (trace)
      LogText(L"\n");
    result = false;
    DWORD length = 0;
    DWORD language = 0;
    os.LookupPrivilegeDisplayNameW(kThisSystem, name, nullptr, &length, &language);
    std::vector<wchar_t> display;
    try {
      display.assign(length + 1, L'\0');
    } catch (const std::bad_alloc&) {
      Os::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      LogLastError(L"Unable to allocate memory to get Display Name of a privilege");
      break;
    }
    length = static_cast<DWORD>(display.size());
    if (os.LookupPrivilegeDisplayNameW(kThisSystem, name, display.data(), &length, &language)) {
      LogWarning(L"You do not have the \"%ls\" privilege on %s computer.", display.data(),
                 LocalComputerName());
    } else {
      LogLastError(L"LookupPrivilegeDisplayName \"%ls\" error on %s computer: ", name,
                   LocalComputerName());
    }
  }
  if (!result)
    LogClosingWarnings();
  return result;
}

}  // namespace tarvik
