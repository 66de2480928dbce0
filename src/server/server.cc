#include "server/server.h"

#include <vector>

#include "log/log.h"
#include "platform/os.h"
#include "settings/copy_settings.h"
#include "util/format.h"
#include "util/text.h"

namespace tarvik {
namespace {

constexpr const wchar_t* kFunction = L"Server::GetFromPath";
constexpr const wchar_t* kUnknownUser = L"Unknown";
constexpr DWORD kComputerNameSize = 16;
constexpr DWORD kRemoteNameSize = 255;
constexpr DWORD kDeviceNameSize = 1024;
constexpr DWORD kUserNameSize = 1024;
constexpr DWORD kFullPathSize = 32768;

std::wstring_view WithoutLeadingBackslashes(std::wstring_view text) {
  while (!text.empty() && text.front() == L'\\')
    text.remove_prefix(1);
  return text;
}

// The text before the first '.', as the first label of a DNS name.
std::wstring FirstLabel(std::wstring_view name) {
  return std::wstring(name.substr(0, name.find(L'.')));
}

std::wstring UpperAscii(std::wstring_view text) {
  std::wstring upper(text);
  for (wchar_t& c : upper) {
    if (c >= L'a' && c <= L'z')
      c -= L'a' - L'A';
  }
  return upper;
}

// The user a connection (name: a drive, a UNC name, or null for this
// process) uses; the buffer grows once when the name does not fit. The
// status of the call, with *user set on success.
DWORD ConnectionUser(const wchar_t* name, std::wstring* user) {
  Os& os = Os::Current();
  std::vector<wchar_t> buffer(kUserNameSize);
  DWORD length = kUserNameSize;
  DWORD status = os.WNetGetUserW(name, buffer.data(), &length);
  if (status == ERROR_MORE_DATA) {
    buffer.assign(length, L'\0');
    status = os.WNetGetUserW(name, buffer.data(), &length);
  }
  if (status == ERROR_SUCCESS)
    user->assign(buffer.data());
  return status;
}

// The remote name behind a mapped drive, from its connection or, for a
// remembered connection, from its device name
// (\Device\LanmanRedirector\;X:0000000000001234\server\share).
bool RemoteNameOfDrive(const std::wstring& drive, std::wstring* remote) {
  Os& os = Os::Current();
  std::vector<wchar_t> buffer(kRemoteNameSize);
  DWORD length = kRemoteNameSize;
  DWORD status = os.WNetGetConnectionW(drive.c_str(), buffer.data(), &length);
  if (status == ERROR_SUCCESS) {
    remote->assign(buffer.data());
    return true;
  }
  if (status != ERROR_NOT_CONNECTED && status != ERROR_CONNECTION_UNAVAIL) {
    Os::SetLastError(status);
    return false;
  }
  std::vector<wchar_t> device(kDeviceNameSize);
  if (os.QueryDosDeviceW(drive.c_str(), device.data(), kDeviceNameSize) == 0)
    return false;
  std::wstring_view text = device.data();
  size_t at = text.find(UpperAscii(drive));
  size_t slash = at == std::wstring_view::npos ? at : text.find(L'\\', at + drive.size());
  if (slash == std::wstring_view::npos || slash + 1 == text.size()) {
    Os::SetLastError(status);
    return false;
  }
  *remote = L"\\\\" + std::wstring(text.substr(slash + 1));
  return true;
}

}  // namespace

Server::Server() : domainSid(SId::Null()) {}

bool Server::GetFromPath(std::wstring_view path_in, bool need_account_info) {
  Os& os = Os::Current();
  std::wstring path(path_in);
  if (path.starts_with(L"\\\\?\\")) {
    path.erase(0, 4);
    // The long form of a UNC path is \\?\UNC\server\share.
    if (StartsWithNoCaseAscii(path, L"UNC\\"))
      path.replace(0, 3, L"\\");
  }

  wchar_t computer_buffer[kComputerNameSize] = {};
  DWORD computer_size = kComputerNameSize;
  if (!os.GetComputerNameW(computer_buffer, &computer_size)) {
    LogLastError(L"%s: unable to get local computer name: ", kFunction);
    return false;
  }
  std::wstring computer(computer_buffer, computer_size);

  std::wstring remote;  // \\server\share... of a network path
  bool user_known = false;
  if (path.starts_with(L"\\\\")) {
    pathType = L"UNCpath";
    fullPath = path;
    remote = path;
  } else {
    std::vector<wchar_t> full_buffer(kFullPathSize);
    DWORD full_length =
        os.GetFullPathNameW(path.c_str(), kFullPathSize, full_buffer.data(), nullptr);
    if (full_length == 0 || full_length >= kFullPathSize) {
      LogLastError(L"%s: unable to allocate memory to get fullpath: ", kFunction);
      return false;
    }
    std::wstring full(full_buffer.data(), full_length);
    if (full.starts_with(L"/")) {
      // A host path that no drive holds: a local directory of its own.
      pathType = L"/";
      fullPath = full;
    } else {
      std::wstring drive = std::wstring(1, full[0]) + L":";
      pathType = drive;
      switch (os.GetDriveTypeW((drive + L"\\").c_str())) {
        case DRIVE_UNKNOWN:
          LogLastError(L"Drive %s is unknown on current system.", drive);
          return false;
        case DRIVE_NO_ROOT_DIR:
          LogLastError(L"Drive %s is not mounted on current system.", drive);
          return false;
        case DRIVE_CDROM:
          LogLastError(L"Drive %s is a CDROM", drive);
          return false;
        case DRIVE_FIXED:
          fullPath = full;
          break;
        case DRIVE_REMOTE:
          if (!RemoteNameOfDrive(drive, &remote)) {
            LogLastError(L"%s: unable to get remote connection from %s : ", kFunction, path);
            return false;
          }
          fullPath = remote + full.substr(2);
          userName = kUnknownUser;
          if (need_account_info && ConnectionUser(drive.c_str(), &userName) != ERROR_SUCCESS)
            userName = kUnknownUser;
          user_known = true;
          break;
        default:  // removable, RAM disk: local, without a full path
          break;
      }
    }
  }

  // Split the remote name: \\server\share\rest.
  std::wstring network_name;  // "\\server"; empty for this computer
  std::wstring connection;    // "\\server\share"
  if (!remote.empty()) {
    std::wstring_view rest = WithoutLeadingBackslashes(remote);
    std::wstring_view server_part = rest.substr(0, rest.find(L'\\'));
    std::wstring_view after_server =
        server_part.size() < rest.size() ? rest.substr(server_part.size() + 1) : L"";
    std::wstring_view share = after_server.substr(0, after_server.find(L'\\'));
    // A local computer named in a UNC path is this computer; its share still
    // names the volume the path lies on.
    if (!EqualsNoCaseAscii(server_part, computer))
      network_name = L"\\\\" + std::wstring(server_part);
    shareName = share;
    subPath = after_server.substr(share.size());
    connection = L"\\\\" + std::wstring(server_part) + L"\\" + shareName;
  }
  const wchar_t* system = network_name.empty() ? nullptr : network_name.c_str();

  if (!user_known) {
    userName = kUnknownUser;
    if (need_account_info) {
      DWORD status = ConnectionUser(system == nullptr ? nullptr : remote.c_str(), &userName);
      if ((status == ERROR_NOT_CONNECTED || status == ERROR_NO_NET_OR_BAD_PATH) &&
          system != nullptr) {
        DWORD connected = os.WNetAddConnectionW(connection.c_str(), nullptr, nullptr);
        if (connected != ERROR_SUCCESS) {
          LogError(connected, L"%s: unable to connect to %s : ", kFunction, path);
        } else {
          status = ConnectionUser(remote.c_str(), &userName);
          os.WNetCancelConnectionW(connection.c_str(), FALSE);
        }
      }
      if (status != ERROR_SUCCESS)
        userName = kUnknownUser;
    }
  }

  bool result = true;
  SERVER_INFO_101 info;
  NET_API_STATUS status = os.NetServerGetInfo(system, 101, &info);
  if (status != NERR_Success) {
    LogError(status, L"unable get server info from %s",
             system == nullptr ? std::wstring(L"current computer") : network_name);
    result = false;
  } else {
    name = L"\\\\" + UpperAscii(WithoutLeadingBackslashes(info.sv101_name));
    osMajor = info.sv101_version_major & 0xF;
    osMinor = info.sv101_version_minor;
    osVersion = Format(L"%ld.%ld", osMajor, osMinor);
    serverComment = info.sv101_comment;
    serverType = info.sv101_type;
  }

  if (!shareName.empty()) {
    SHARE_INFO_1005 share_info;
    if (os.NetShareGetInfo(system, shareName.c_str(), 1005, &share_info) == NERR_Success) {
      isDfsShare = (share_info.shi1005_flags & SHI1005_FLAGS_DFS) != 0;
    }
  }

  DOMAIN_CONTROLLER_INFOW controller;
  std::wstring join_name;
  NETSETUP_JOIN_STATUS join_status;
  if (os.DsGetDcNameW(system, nullptr, nullptr, nullptr, DS_GC_SERVER_REQUIRED, &controller) ==
      ERROR_SUCCESS) {
    domainName = UpperAscii(FirstLabel(controller.DomainName));
    dcName = FirstLabel(WithoutLeadingBackslashes(controller.DomainControllerName));
    if (need_account_info) {
      if (domainSid.GetDomainSid(dcName)) {
        if (Settings().debugSecurity)
          LogInfo(L"%s %-13s : %s", L"Domain", domainName, domainSid.ToString());
      } else {
        LogWarning(L"Unable to get the local server sid from %s", dcName);
      }
    }
    if (os.NetGetJoinInformation(system, &join_name, &join_status) == NERR_Success)
      joinStatus = join_status;
  } else if (os.NetGetJoinInformation(system, &join_name, &join_status) == NERR_Success) {
    joinStatus = join_status;
    if (join_status == NetSetupDomainName)
      domainName = join_name;
  }

  if (!result)
    return false;

  // A local account of the server or of this computer is shown by its name
  // alone; a domain account keeps its domain.
  size_t backslash = userName.find(L'\\');
  if (backslash != std::wstring::npos) {
    std::wstring_view domain_part = std::wstring_view(userName).substr(0, backslash);
    std::wstring user_part = userName.substr(backslash + 1);
    if (EqualsNoCaseAscii(domain_part, WithoutLeadingBackslashes(name))) {
      userName = user_part;
      joinStatus = NetSetupWorkgroupName;
    } else if (EqualsNoCaseAscii(domain_part, computer)) {
      userName =
          domainName.empty() || joinStatus == NetSetupWorkgroupName ? user_part : kUnknownUser;
    }
  }
  qualifiedName = joinStatus == NetSetupDomainName ? Format(L"%s.%s", name, domainName) : name;

  std::wstring root = RootText();
  if (!root.empty()) {
    ULARGE_INTEGER free_to_caller{}, total{}, total_free{};
    if (os.GetDiskFreeSpaceExW(root.c_str(), &free_to_caller, &total, &total_free)) {
      freeBytesToCaller = free_to_caller.QuadPart;
      totalBytes = total.QuadPart;
      freeBytes = total_free.QuadPart;
    } else {
      LogWarning(L"%s -> unable to get volume size info", path);
    }
  }
  return true;
}

std::wstring Server::RootText() const {
  if (pathType == L"UNCpath")
    return Format(L"%s\\%s\\", qualifiedName, shareName);
  // A host directory off every drive is its own root.
  if (pathType == L"/")
    return fullPath;
  if (pathType.empty())
    return L"";
  return Format(L"%s\\", pathType);
}

bool Server::MatchesName(std::wstring_view text) const {
  std::wstring_view bare = WithoutLeadingBackslashes(text);
  if (name.empty())
    return false;
  return EqualsNoCaseAscii(bare, WithoutLeadingBackslashes(name)) ||
         EqualsNoCaseAscii(bare, WithoutLeadingBackslashes(qualifiedName));
}

void Server::PrintServerLine() const {
  LogText(L"%-15s %s %s\n", WithoutLeadingBackslashes(name), osVersion, serverComment);
}

void PrintServerReport(const Server& source, const Server& target) {
  LogText(L"\n%-28s: ", L"Server SRC");
  if (source.name.empty()) {
    LogText(L"%s", L"UNKNOWN\n");
  } else {
    source.PrintServerLine();
  }
  LogText(L"%-28s: ", L"Server DEST");
  if (target.name.empty()) {
    LogText(L"%s", L"UNKNOWN\n");
  } else {
    target.PrintServerLine();
  }
}

}  // namespace tarvik
