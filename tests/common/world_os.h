// A PosixOs on a world given as JSON, installed as the current Os for the
// length of a test, with its standard output (where the log writes while no
// writer thread runs) captured in a file the test reads back.
#ifndef TARVIK_TESTS_COMMON_WORLD_OS_H_
#define TARVIK_TESTS_COMMON_WORLD_OS_H_

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "log/log_testing.h"
#include "platform/fault_os.h"
#include "platform/posix/posix_os.h"
#include "platform/world_loader.h"
#include "settings/copy_settings.h"
#include "util/utf.h"

namespace tarvik {

class WorldOs {
 public:
  explicit WorldOs(const std::string& json) {
    std::string pattern = (std::filesystem::temp_directory_path() / "tarvik-XXXXXX").string();
    dir_ = ::mkdtemp(pattern.data());
    output_path_ = dir_ + "/stdout";
    output_fd_ = ::open(output_path_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    World world;
    std::wstring error;
    if (!ParseWorld(json, "test.json", dir_, BaseWorld(), &world, &error))
      ADD_FAILURE() << ToUtf8(error);
    CreateDirectories(world);
    auto posix = std::make_unique<PosixOs>(world, PosixOs::StdFds{0, output_fd_, 2});
    posix_ = posix.get();
    if (world.faults.empty()) {
      os_ = std::move(posix);
    } else {
      os_ = std::make_unique<FaultOs>(std::move(posix), world.faults);
    }
    previous_ = Os::Install(os_.get());
    ResetLogSystemForTesting();
    Settings() = CopySettings{};
  }

  ~WorldOs() {
    ResetLogSystemForTesting();
    Settings() = CopySettings{};
    Os::Install(previous_);
    os_.reset();
    ::close(output_fd_);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  WorldOs(const WorldOs&) = delete;
  WorldOs& operator=(const WorldOs&) = delete;

  Os& os() { return *os_; }
  PosixOs& posix() { return *posix_; }

  // What was written to standard output since the last call.
  std::wstring TakeOutput() {
    std::ifstream file(output_path_, std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    std::string all = bytes.str();
    std::string fresh = all.substr(std::min(consumed_, all.size()));
    consumed_ = all.size();
    return FromUtf8(fresh);
  }

 private:
  // A fixed host part, so that nothing depends on the machine.
  static World BaseWorld() {
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

  static void CreateDirectories(const World& world) {
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

  std::string dir_;
  std::string output_path_;
  int output_fd_ = -1;
  size_t consumed_ = 0;
  PosixOs* posix_ = nullptr;
  std::unique_ptr<Os> os_;
  Os* previous_ = nullptr;
};

}  // namespace tarvik

#endif  // TARVIK_TESTS_COMMON_WORLD_OS_H_
