// A Windows machine on a temporary host directory, for tests that run real
// code on real trees.
//
// A TestWorld makes a fresh directory, builds a world whose drives and shares
// are sub-directories of it, and installs a PosixOs on that world as
// Os::Current() until it is destroyed (the previous Os is put back). The
// default world has
//
//   C:                  <root>/c
//   \\FILER1\data       <root>/filer1/data
//   /any/host/path      the host path itself (as everywhere on Linux)
//
// A world given as JSON uses the schema of docs/world.md; its relative host
// paths are taken from root(), and every drive and share directory that lies
// under root() is created. A world with "faults" is served through a FaultOs.
//
//   TestWorld world;
//   world.WriteFile(L"C:\\src\\a.txt", "hello", FileTimes{.last_write = T(2020)});
//   world.CreateDirectory(L"\\\\FILER1\\data\\dst");
//   RunTheEngine(L"C:\\src", L"\\\\FILER1\\data\\dst");
//   EXPECT_EQ(world.ReadFile(L"\\\\FILER1\\data\\dst\\a.txt"), "hello");
//
// The helpers take Windows paths and work on the host directly (not through
// the Os), except the times and attributes, which are NT metadata and go
// through the installed Os. A helper that fails records a test failure.
#ifndef TARVIK_TESTS_SUPPORT_TEST_WORLD_H_
#define TARVIK_TESTS_SUPPORT_TEST_WORLD_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os.h"
#include "platform/posix/posix_os.h"
#include "platform/world.h"
#include "support/temp_dir.h"

namespace tarvik {

// The three NT times of a file; an absent time is left as it is.
struct FileTimes {
  std::optional<FILETIME> creation = std::nullopt;
  std::optional<FILETIME> last_access = std::nullopt;
  std::optional<FILETIME> last_write = std::nullopt;
};

// Every entry FindFirstFileW/FindNextFileW give for a pattern, through os;
// with error, the error of FindFirstFileW (ERROR_SUCCESS when it found one).
// The listing must end with ERROR_NO_MORE_FILES and close cleanly.
std::vector<WIN32_FIND_DATAW> FindAll(Os& os, const std::wstring& pattern, DWORD* error = nullptr);

// A FILETIME from seconds since 1970 (UTC) plus 100-ns ticks.
FILETIME FileTimeFromUnix(int64_t seconds, uint32_t ticks = 0);
uint64_t FileTimeValue(const FILETIME& time);

class TestWorld {
 public:
  // The default world above.
  TestWorld();
  // A world from JSON text, over the host's own world.
  explicit TestWorld(std::string_view world_json);
  ~TestWorld();
  TestWorld(const TestWorld&) = delete;
  TestWorld& operator=(const TestWorld&) = delete;

  // The temporary directory that holds everything.
  const std::string& root() const { return temp_.path(); }
  // The installed Os (a FaultOs when the world has faults) and the PosixOs.
  Os& os() { return *os_; }
  PosixOs& posix() { return *posix_; }
  const World& world() const { return posix_->world(); }

  // The host path a Windows path names (resolved as the Os resolves it).
  std::string HostPath(std::wstring_view windows_path) const;

  // Creates (or replaces) a file with these bytes, creating missing parent
  // directories, and then sets the times given.
  void WriteFile(std::wstring_view path, std::string_view bytes, const FileTimes& times = {});
  std::string ReadFile(std::wstring_view path) const;
  // Creates the directory and its missing parents.
  void CreateDirectory(std::wstring_view path);
  // A host symbolic link at path holding target verbatim (a host path, or a
  // relative one).
  void CreateSymlink(std::wstring_view path, const std::string& target);
  bool Exists(std::wstring_view path) const;  // without following a last symlink

  // Through the Os: SetFileTime and SetFileAttributesW.
  void SetTimes(std::wstring_view path, const FileTimes& times);
  void SetAttributes(std::wstring_view path, DWORD attributes);

  // Extended attributes of the host file itself (a symlink's own ones).
  std::optional<std::string> GetXattr(std::wstring_view path, const std::string& name) const;
  void SetXattr(std::wstring_view path, const std::string& name, std::string_view value);

 private:
  void Start(std::string_view world_json);

  TempDir temp_;
  PosixOs* posix_ = nullptr;
  std::unique_ptr<Os> os_;
  Os* previous_ = nullptr;
};

}  // namespace tarvik

#endif  // TARVIK_TESTS_SUPPORT_TEST_WORLD_H_
