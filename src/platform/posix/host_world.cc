#include "platform/posix/host_world.h"

#include <fcntl.h>
#include <grp.h>
#include <limits.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>

#include "platform/privileges.h"
#include "platform/world_loader.h"
#include "util/text.h"
#include "util/utf.h"

namespace tarvik {
namespace {

constexpr size_t kMaxComputerName = 15;  // NetBIOS

std::wstring HostComputerName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof(name) - 1) != 0 || name[0] == '\0')
    return L"LOCALHOST";
  std::string host(name);
  host = host.substr(0, host.find('.'));
  std::wstring computer;
  for (wchar_t c : FromUtf8(host))
    computer += c >= L'a' && c <= L'z' ? c - (L'a' - L'A') : c;
  return computer.substr(0, kMaxComputerName);
}

// Reads at most limit bytes; a longer file is refused with EFBIG.
bool ReadWholeFile(const std::string& path, size_t limit, std::string* text, int* error_number) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error_number = errno;
    return false;
  }
  char buffer[65536];
  for (;;) {
    ssize_t got = ::read(fd, buffer, sizeof(buffer));
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0) {
      *error_number = errno;
      ::close(fd);
      return false;
    }
    if (got == 0)
      break;
    if (static_cast<size_t>(got) > limit - text->size()) {
      *error_number = EFBIG;
      ::close(fd);
      return false;
    }
    text->append(buffer, static_cast<size_t>(got));
  }
  ::close(fd);
  return true;
}

// A stable machine SID for this host: S-1-5-21 and three numbers taken from
// the machine id, or from the host name when there is none.
SidValue HostMachineSid(const std::wstring& computer) {
  std::string id;
  int ignored;
  uint32_t parts[3] = {0, 0, 0};
  if (ReadWholeFile("/etc/machine-id", 4096, &id, &ignored) && id.size() >= 24) {
    for (int i = 0; i < 3; ++i) {
      parts[i] = static_cast<uint32_t>(std::strtoul(id.substr(i * 8, 8).c_str(), nullptr, 16));
    }
  } else {
    uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (wchar_t c : computer)
      hash = (hash ^ static_cast<uint64_t>(c)) * 1099511628211ull;
    parts[0] = static_cast<uint32_t>(hash);
    parts[1] = static_cast<uint32_t>(hash >> 32);
    parts[2] = static_cast<uint32_t>(hash * 31);
  }
  SidValue sid;
  sid.authority = 5;
  sid.sub_authorities = {21, parts[0], parts[1], parts[2]};
  return sid;
}

WorldDomain UnixUsers() {
  WorldDomain domain;
  domain.name = L"Unix User";
  domain.sid = *ParseSid(L"S-1-22-1");
  std::set<std::wstring> names;
  std::set<DWORD> ids;
  setpwent();
  while (struct passwd* entry = getpwent()) {
    WorldAccount account;
    account.name = FromUtf8(entry->pw_name);
    account.rid = entry->pw_uid;
    account.type = WorldAccount::Type::kUser;
    std::string gecos = entry->pw_gecos != nullptr ? entry->pw_gecos : "";
    account.full_name = FromUtf8(gecos.substr(0, gecos.find(',')));
    account.primary_group_rid = entry->pw_gid;
    if (!names.insert(ToLowerAscii(account.name)).second || !ids.insert(account.rid).second) {
      continue;
    }
    domain.accounts.push_back(std::move(account));
  }
  endpwent();
  return domain;
}

WorldDomain UnixGroups() {
  WorldDomain domain;
  domain.name = L"Unix Group";
  domain.sid = *ParseSid(L"S-1-22-2");
  std::set<std::wstring> names;
  std::set<DWORD> ids;
  setgrent();
  while (struct group* entry = getgrent()) {
    WorldAccount account;
    account.name = FromUtf8(entry->gr_name);
    account.rid = entry->gr_gid;
    account.type = WorldAccount::Type::kGroup;
    for (char** member = entry->gr_mem; member != nullptr && *member != nullptr; ++member) {
      account.members.push_back(L"Unix User\\" + FromUtf8(*member));
    }
    if (!names.insert(ToLowerAscii(account.name)).second || !ids.insert(account.rid).second) {
      continue;
    }
    domain.accounts.push_back(std::move(account));
  }
  endgrent();
  return domain;
}

WorldToken HostToken() {
  WorldToken token;
  uid_t uid = geteuid();
  token.user = ParseSid(L"S-1-22-1")->WithRid(uid);
  auto add_group = [&](const SidValue& sid) {
    for (const WorldTokenGroup& group : token.groups) {
      if (group.sid == sid)
        return;
    }
    WorldTokenGroup group;
    group.sid = sid;
    token.groups.push_back(group);
  };
  SidValue unix_group = *ParseSid(L"S-1-22-2");
  add_group(unix_group.WithRid(getegid()));
  int count = getgroups(0, nullptr);
  if (count > 0) {
    std::vector<gid_t> gids(static_cast<size_t>(count));
    count = getgroups(count, gids.data());
    for (int i = 0; i < count; ++i)
      add_group(unix_group.WithRid(gids[static_cast<size_t>(i)]));
  }
  add_group(*ParseSid(L"S-1-1-0"));   // Everyone
  add_group(*ParseSid(L"S-1-5-11"));  // Authenticated Users
  add_group(*ParseSid(L"S-1-5-32-545"));
  if (uid == 0) {
    add_group(*ParseSid(L"S-1-5-32-544"));
    // An administrator's token: every privilege held, the usual few enabled.
    for (const PrivilegeInfo& info : AllPrivileges()) {
      std::wstring_view name = info.name;
      bool enabled = name == L"SeChangeNotifyPrivilege" || name == L"SeImpersonatePrivilege" ||
                     name == L"SeCreateGlobalPrivilege";
      token.privileges.push_back({info.name, enabled});
    }
  }
  return token;
}

}  // namespace

World MakeHostWorld() {
  World world;
  world.computer = HostComputerName();

  WorldDrive root;
  root.letter = L'Z';
  root.type = WorldDrive::Type::kFixed;
  root.host_path = "/";
  world.drives[root.letter] = root;

  WorldServer local;
  local.name = world.computer;
  local.sid = HostMachineSid(world.computer);
  local.role = WorldServer::Role::kStandalone;
  local.join_status = WorldServer::JoinStatus::kWorkgroup;
  local.workgroup = L"WORKGROUP";
  local.type = ServerTypeForRole(local.role);
  AddStandardAccounts(&local);
  world.servers.push_back(std::move(local));

  world.domains.push_back(UnixUsers());
  world.domains.push_back(UnixGroups());
  world.token = HostToken();
  return world;
}

bool LoadWorldFile(const std::string& path, World* world, std::wstring* error) {
  std::string text;
  int error_number = 0;
  // A world file describes a few servers and domains: far below this. The
  // bound also ends the reading of an endless stream such as /dev/zero.
  constexpr size_t kMaxWorldFileSize = 16 << 20;
  if (!ReadWholeFile(path, kMaxWorldFileSize, &text, &error_number)) {
    *error = L"world file " + FromUtf8(path) +
             (error_number == EFBIG ? L": larger than 16 MiB"
                                    : L": cannot read: " + FromUtf8(std::strerror(error_number)));
    return false;
  }
  std::string directory =
      path.find('/') == std::string::npos ? "." : path.substr(0, path.rfind('/'));
  if (directory.empty())
    directory = "/";
  char resolved[PATH_MAX];
  if (::realpath(directory.c_str(), resolved) != nullptr)
    directory = resolved;
  return ParseWorld(text, path, directory, MakeHostWorld(), world, error);
}

bool LoadWorldFromEnvironment(World* world, std::wstring* error) {
  const char* path = std::getenv("TARVIK_WORLD");
  if (path == nullptr || path[0] == '\0') {
    *world = MakeHostWorld();
    return true;
  }
  return LoadWorldFile(path, world, error);
}

}  // namespace tarvik
