#include "support/test_world.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/fault_os.h"
#include "platform/posix/host_world.h"
#include "platform/posix/path_resolver.h"
#include "platform/world_loader.h"
#include "util/utf.h"

namespace tarvik {
namespace {

constexpr int64_t kUnixEpochInFileTimeSeconds = 11644473600LL;

constexpr std::string_view kDefaultWorld = R"({
  "computer": "TESTPC",
  "drives": {"C:": {"path": "c"}},
  "servers": [
    {
      "name": "FILER1",
      "sid": "S-1-5-21-1111-2222-3333",
      "shares": [{"name": "data", "path": "filer1/data"}]
    }
  ]
})";

bool IsBelow(const std::string& path, const std::string& root) {
  return path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
         path[root.size()] == '/';
}

}  // namespace

std::vector<WIN32_FIND_DATAW> FindAll(Os& os, const std::wstring& pattern, DWORD* error) {
  std::vector<WIN32_FIND_DATAW> out;
  WIN32_FIND_DATAW data;
  HANDLE find = os.FindFirstFileW(pattern.c_str(), &data);
  if (error != nullptr)
    *error = find == INVALID_HANDLE_VALUE ? Os::GetLastError() : ERROR_SUCCESS;
  if (find == INVALID_HANDLE_VALUE)
    return out;
  do {
    out.push_back(data);
  } while (os.FindNextFileW(find, &data));
  EXPECT_EQ(Os::GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_TRUE(os.FindClose(find));
  return out;
}

FILETIME FileTimeFromUnix(int64_t seconds, uint32_t ticks) {
  uint64_t value =
      static_cast<uint64_t>(seconds + kUnixEpochInFileTimeSeconds) * 10000000ull + ticks;
  return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

uint64_t FileTimeValue(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

TestWorld::TestWorld() {
  Start(kDefaultWorld);
}

TestWorld::TestWorld(std::string_view world_json) {
  Start(world_json);
}

void TestWorld::Start(std::string_view world_json) {
  World world;
  std::wstring error;
  if (!ParseWorld(world_json, root() + "/world.json", root(), MakeHostWorld(), &world, &error)) {
    ADD_FAILURE() << ToUtf8(error);
    world = MakeHostWorld();
  }
  std::vector<std::string> directories;
  for (const auto& [letter, drive] : world.drives)
    directories.push_back(drive.host_path);
  for (const WorldServer& server : world.servers) {
    for (const WorldShare& share : server.shares)
      directories.push_back(share.host_path);
  }
  for (const std::string& directory : directories) {
    if (IsBelow(directory, root()))
      std::filesystem::create_directories(directory);
  }
  std::vector<WorldFault> faults = world.faults;
  auto posix = std::make_unique<PosixOs>(std::move(world));
  posix_ = posix.get();
  if (faults.empty()) {
    os_ = std::move(posix);
  } else {
    os_ = std::make_unique<FaultOs>(std::move(posix), std::move(faults));
  }
  previous_ = Os::Install(os_.get());
}

TestWorld::~TestWorld() {
  Os::Install(previous_);
}

std::string TestWorld::HostPath(std::wstring_view windows_path) const {
  PathResolver resolver(world(), HostCurrentDirectory(world()));
  ResolvedPath resolved;
  DWORD error = resolver.Resolve(windows_path, &resolved);
  if (error != ERROR_SUCCESS) {
    ADD_FAILURE() << "cannot resolve " << ToUtf8(windows_path) << ": error " << error;
    return root() + "/unresolvable";
  }
  return resolved.host;
}

void TestWorld::WriteFile(std::wstring_view path, std::string_view bytes, const FileTimes& times) {
  std::filesystem::path host = HostPath(path);
  std::filesystem::create_directories(host.parent_path());
  {
    std::ofstream out(host, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
      ADD_FAILURE() << "cannot write " << host;
  }
  if (times.creation || times.last_access || times.last_write)
    SetTimes(path, times);
}

std::string TestWorld::ReadFile(std::wstring_view path) const {
  std::string host = HostPath(path);
  std::ifstream in(host, std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "cannot read " << host;
    return {};
  }
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void TestWorld::CreateDirectory(std::wstring_view path) {
  std::error_code error;
  std::filesystem::create_directories(HostPath(path), error);
  if (error)
    ADD_FAILURE() << "cannot create " << HostPath(path) << ": " << error.message();
}

void TestWorld::CreateSymlink(std::wstring_view path, const std::string& target) {
  std::filesystem::path host = HostPath(path);
  std::filesystem::create_directories(host.parent_path());
  if (::symlink(target.c_str(), host.c_str()) != 0)
    ADD_FAILURE() << "cannot link " << host << ": " << std::strerror(errno);
}

bool TestWorld::Exists(std::wstring_view path) const {
  struct stat info;
  return ::lstat(HostPath(path).c_str(), &info) == 0;
}

void TestWorld::SetTimes(std::wstring_view path, const FileTimes& times) {
  std::wstring name(path);
  HANDLE file = os_->CreateFileW(
      name.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    ADD_FAILURE() << "cannot open " << ToUtf8(path) << ": error " << Os::GetLastError();
    return;
  }
  const FILETIME* creation = times.creation ? &*times.creation : nullptr;
  const FILETIME* access = times.last_access ? &*times.last_access : nullptr;
  const FILETIME* write = times.last_write ? &*times.last_write : nullptr;
  if (!os_->SetFileTime(file, creation, access, write))
    ADD_FAILURE() << "cannot set the times of " << ToUtf8(path) << ": error " << Os::GetLastError();
  os_->CloseHandle(file);
}

void TestWorld::SetAttributes(std::wstring_view path, DWORD attributes) {
  std::wstring name(path);
  if (!os_->SetFileAttributesW(name.c_str(), attributes))
    ADD_FAILURE() << "cannot set the attributes of " << ToUtf8(path) << ": error "
                  << Os::GetLastError();
}

std::optional<std::string> TestWorld::GetXattr(std::wstring_view path,
                                               const std::string& name) const {
  std::string host = HostPath(path);
  ssize_t size = ::lgetxattr(host.c_str(), name.c_str(), nullptr, 0);
  if (size < 0)
    return std::nullopt;
  std::string value(static_cast<size_t>(size), '\0');
  size = ::lgetxattr(host.c_str(), name.c_str(), value.data(), value.size());
  if (size < 0)
    return std::nullopt;
  value.resize(static_cast<size_t>(size));
  return value;
}

void TestWorld::SetXattr(std::wstring_view path, const std::string& name, std::string_view value) {
  std::string host = HostPath(path);
  if (::lsetxattr(host.c_str(), name.c_str(), value.data(), value.size(), 0) != 0)
    ADD_FAILURE() << "cannot set " << name << " on " << host << ": " << std::strerror(errno);
}

}  // namespace tarvik
