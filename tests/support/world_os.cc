#include "support/world_os.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "log/log_testing.h"
#include "platform/fault_os.h"
#include "platform/world_loader.h"
#include "settings/copy_settings.h"
#include "util/utf.h"

namespace tarvik {
namespace {

void CreateShareAndDriveDirectories(const World& world) {
  std::error_code ignored;
  for (const auto& [letter, drive] : world.drives) {
    if (!drive.host_path.empty() && drive.host_path != "/")
      std::filesystem::create_directories(drive.host_path, ignored);
  }
  for (const WorldServer& server : world.servers) {
    for (const WorldShare& share : server.shares)
      std::filesystem::create_directories(share.host_path, ignored);
  }
}

}  // namespace

World FixedHostWorld() {
  World base;
  base.computer = L"HOST";
  WorldDrive root;
  root.letter = L'Z';
  root.host_path = "/";
  base.drives[L'Z'] = root;
  WorldServer local;
  local.name = L"HOST";
  local.sid = *ParseSid(L"S-1-5-21-1-2-3");
  AddStandardAccounts(&local);
  base.servers.push_back(local);
  WorldDomain users;
  users.name = L"Unix User";
  users.sid = *ParseSid(L"S-1-22-1");
  WorldAccount root_user;
  root_user.name = L"root";
  users.accounts.push_back(root_user);
  base.domains.push_back(users);
  base.token.user = *ParseSid(L"S-1-22-1-0");
  return base;
}

WorldOs::WorldOs(const std::string& json, const Decorator& decorate) {
  std::string pattern = (std::filesystem::temp_directory_path() / "tarvik-XXXXXX").string();
  dir_ = ::mkdtemp(pattern.data());
  output_path_ = dir_ + "/stdout";
  output_fd_ = ::open(output_path_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  World world;
  std::wstring error;
  if (!ParseWorld(json, "test.json", dir_, FixedHostWorld(), &world, &error))
    ADD_FAILURE() << ToUtf8(error);
  CreateShareAndDriveDirectories(world);
  auto posix = std::make_unique<PosixOs>(world, PosixOs::StdFds{0, output_fd_, 2});
  posix_ = posix.get();
  if (world.faults.empty()) {
    os_ = std::move(posix);
  } else {
    os_ = std::make_unique<FaultOs>(std::move(posix), world.faults);
  }
  if (decorate)
    os_ = decorate(std::move(os_));
  previous_ = Os::Install(os_.get());
  ResetLogSystemForTesting();
  Settings() = CopySettings{};
}

WorldOs::~WorldOs() {
  ResetLogSystemForTesting();
  Settings() = CopySettings{};
  Os::Install(previous_);
  os_.reset();
  ::close(output_fd_);
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

std::wstring WorldOs::TakeOutput() {
  std::ifstream file(output_path_, std::ios::binary);
  std::stringstream bytes;
  bytes << file.rdbuf();
  std::string all = bytes.str();
  std::string fresh = all.substr(std::min(consumed_, all.size()));
  consumed_ = all.size();
  return FromUtf8(fresh);
}

}  // namespace tarvik
