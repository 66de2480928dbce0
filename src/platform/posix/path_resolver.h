// Turns the paths the program passes to file calls into host paths through
// the world: drive letters, \\server\share names, the \\?\ long forms, host
// paths beginning with '/', and paths relative to the current directory.
#ifndef TARVIK_PLATFORM_POSIX_PATH_RESOLVER_H_
#define TARVIK_PLATFORM_POSIX_PATH_RESOLVER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/directory_index.h"
#include "platform/win_types.h"
#include "platform/world.h"

namespace tarvik {

// The names of a resolved path below its root: those of its directory,
// shared by the paths resolved in it, and its own last one.
class PathComponents {
 public:
  PathComponents() = default;
  explicit PathComponents(std::vector<std::wstring> names);
  // The names of a directory's entry called name.
  PathComponents(const PathComponents& directory, std::wstring_view name);

  size_t size() const { return shared_size() + (has_last_ ? 1 : 0); }
  bool empty() const { return size() == 0; }
  const std::wstring& operator[](size_t i) const {
    return i < shared_size() ? (*shared_)[i] : last_;
  }
  const std::wstring& back() const { return (*this)[size() - 1]; }
  bool operator==(const PathComponents& other) const;

 private:
  size_t shared_size() const { return shared_ == nullptr ? 0 : shared_->size(); }

  std::shared_ptr<const std::vector<std::wstring>> shared_;
  std::wstring last_;
  bool has_last_ = false;
};

struct ResolvedPath {
  std::string host;   // "/srv/a/b"
  std::wstring full;  // the absolute form: "Z:\srv\a\b", "\\SRV\share\a", or "/x" off every drive
  const WorldDrive* drive = nullptr;    // the drive the path lies on, if any
  const WorldServer* server = nullptr;  // with share: the server of a network path
  const WorldShare* share = nullptr;
  const WorldVolume* volume = nullptr;  // of the share or drive; null off every drive

  // How host was made: the root's host directory and the names below it.
  std::string root_host;
  PathComponents components;
  // Whether host is still those names as given (MatchCase has not put the
  // names the host holds in their place).
  bool host_as_named = true;

  bool IsRoot() const { return components.empty(); }
};

class PathResolver {
 public:
  // current_directory: absolute, in any of the forms Resolve accepts.
  PathResolver(const World& world, std::wstring current_directory);

  // ERROR_SUCCESS with out filled, or the error the file call fails with:
  // ERROR_PATH_NOT_FOUND (unknown or unmounted drive), ERROR_NOT_READY (no
  // medium), ERROR_BAD_NETPATH (unknown or unreachable server),
  // ERROR_BAD_NET_NAME (unknown share), ERROR_INVALID_NAME, ERROR_BAD_PATHNAME.
  // The host path is made from the names as given (with the private-use
  // characters of name_mapping.h moved back), without looking at the host.
  DWORD Resolve(std::wstring_view path, ResolvedPath* out) const;

  // Names are case-insensitive and case-preserving: walks the path component
  // by component and, where the exact host name is missing, takes the entry
  // whose shown name equals the component regardless of the case of A-Z.
  // Components from the first that has no match on are kept as given. True
  // when path->host changed. Symbolic links above the last component are
  // followed by the host, as the platform follows them. last_missing tells
  // that the caller's lstat of path->host just found nothing, which spares
  // looking at the exact name again.
  bool MatchCase(ResolvedPath* path, bool last_missing = false) const;

  // The Windows form of a host path: on the drive that holds it, else on a
  // share that holds it, else empty.
  std::wstring WindowsPathOf(const std::string& host_path) const;

  const std::wstring& current_directory() const { return current_directory_; }

  // The names of the directories MatchCase looked through; creations and
  // removals of this process are reported to it.
  DirectoryIndex& names() const { return names_; }

  // A directory resolved a moment ago (path_resolver.cc).
  struct KnownDirectory;
  ~PathResolver();

 private:
  struct Root {
    std::string host;
    std::wstring windows;  // ends with '\' ("Z:\", "\\SRV\share\"), or "/" for host paths
    const WorldDrive* drive = nullptr;
    const WorldServer* server = nullptr;
    const WorldShare* share = nullptr;
  };

  // The directories any thread resolved lately, shared (path_resolver.cc).
  class SharedDirectories;

  // The resolution of directory (text ending with a separator), from this
  // thread's known directories, the shared ones, or made now; null when it
  // fails.
  const KnownDirectory* Known(std::wstring_view directory) const;
  // The resolution of directory made now, or null when it fails.
  std::shared_ptr<const KnownDirectory> MakeKnown(std::wstring_view directory) const;
  // The resolution of a plain name in a known directory.
  DWORD ResolveIn(const KnownDirectory& directory, std::wstring_view name, ResolvedPath* out) const;
  // Resolve without showing a host path on the drive that holds it
  // (*host_form tells whether it is one) and without the volume.
  DWORD ResolveAsWritten(std::wstring_view path, ResolvedPath* out, bool* host_form) const;
  // Shows a host path on the drive that holds it, and fills in the volume.
  void ShowOnDrive(bool host_form, ResolvedPath* out) const;
  DWORD Absolute(std::wstring_view path, std::wstring* out) const;
  DWORD DriveRoot(wchar_t letter, Root* root) const;
  DWORD ShareRoot(std::wstring_view server_name, std::wstring_view share_name, Root* root) const;
  DWORD HostRoot(Root* root) const;
  // Appends the host name of one component to *host: names holding
  // characters the host shows in the private-use range are mapped back.
  static DWORD AppendComponent(std::wstring_view component, std::string* host);

  const World& world_;
  std::wstring current_directory_;
  // Tells this resolver's known directories from another's.
  const uint64_t id_;
  std::unique_ptr<SharedDirectories> shared_directories_;
  mutable DirectoryIndex names_;
};

// Splits text at '\' (and '/' unless literal) and applies the platform's
// normalisation: empty and "." segments vanish, ".." removes the previous
// one, a segment's single trailing '.' and the last segment's trailing dots
// and blanks are dropped. Literal (\\?\) paths only lose empty segments.
std::vector<std::wstring> SplitPathComponents(std::wstring_view text, bool literal);

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_POSIX_PATH_RESOLVER_H_
