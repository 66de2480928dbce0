// A PosixOs on a world given as JSON, installed as the current Os for the
// length of a test, with its standard output (where the log writes while no
// writer thread runs) captured in a file the test reads back.
//
// The world is laid over FixedHostWorld() rather than the machine's own, so
// that nothing a test sees depends on the machine it runs on.
#ifndef TARVIK_TESTS_SUPPORT_WORLD_OS_H_
#define TARVIK_TESTS_SUPPORT_WORLD_OS_H_

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "platform/os.h"
#include "platform/posix/posix_os.h"
#include "platform/world.h"

namespace tarvik {

// A small host world: computer HOST (machine SID S-1-5-21-1-2-3, standard
// accounts), drive Z: on the host root, the "Unix User" domain with root,
// and a token of root.
World FixedHostWorld();

class WorldOs {
 public:
  // Wraps the Os of the world (a test double that changes a few answers)
  // before it is installed.
  using Decorator = std::function<std::unique_ptr<Os>(std::unique_ptr<Os>)>;

  explicit WorldOs(const std::string& json, const Decorator& decorate = nullptr);
  ~WorldOs();
  WorldOs(const WorldOs&) = delete;
  WorldOs& operator=(const WorldOs&) = delete;

  Os& os() { return *os_; }
  PosixOs& posix() { return *posix_; }

  // What was written to standard output since the last call.
  std::wstring TakeOutput();

 private:
  std::string dir_;
  std::string output_path_;
  int output_fd_ = -1;
  size_t consumed_ = 0;
  PosixOs* posix_ = nullptr;
  std::unique_ptr<Os> os_;
  Os* previous_ = nullptr;
};

}  // namespace tarvik

#endif  // TARVIK_TESTS_SUPPORT_WORLD_OS_H_
