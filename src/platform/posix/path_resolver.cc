#include "platform/posix/path_resolver.h"

#include <dirent.h>
#include <sys/stat.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <functional>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "platform/posix/name_mapping.h"
#include "platform/win_error.h"
#include "util/text.h"
#include "util/utf.h"

namespace tarvik {
namespace {

// Numbers the resolvers, whose known directories each thread keeps apart.
std::atomic<uint64_t> next_resolver_id{1};

bool IsSeparator(wchar_t c, bool literal) {
  return c == L'\\' || (!literal && c == L'/');
}

bool IsDriveSpec(std::wstring_view text) {
  return text.size() >= 2 && text[1] == L':' &&
         ((text[0] >= L'A' && text[0] <= L'Z') || (text[0] >= L'a' && text[0] <= L'z'));
}

bool HasLongPrefix(std::wstring_view text) {
  return text.size() >= 4 && text[0] == L'\\' && text[1] == L'\\' &&
         (text[2] == L'?' || text[2] == L'.') && text[3] == L'\\';
}

bool IsUnc(std::wstring_view text) {
  return text.size() >= 2 && IsSeparator(text[0], false) && IsSeparator(text[1], false);
}

// Splits off the text up to the next separator.
std::wstring_view NextSegment(std::wstring_view* rest, bool literal) {
  size_t end = 0;
  while (end < rest->size() && !IsSeparator((*rest)[end], literal))
    ++end;
  std::wstring_view segment = rest->substr(0, end);
  rest->remove_prefix(end < rest->size() ? end + 1 : end);
  return segment;
}

std::wstring_view TrimTrailing(std::wstring_view text, std::wstring_view characters) {
  while (!text.empty() && characters.find(text.back()) != std::wstring_view::npos) {
    text.remove_suffix(1);
  }
  return text;
}

// The characters no file name may hold. ':' separates a stream name, which
// file calls do not take yet.
bool IsForbiddenInName(wchar_t c) {
  return c < 0x20 || c == L'<' || c == L'>' || c == L'"' || c == L'|' || c == L'?' || c == L'*' ||
         c == L':' || c == L'/' || c == L'\\';
}

bool EqualsNoCaseBytes(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (ToLowerAscii(static_cast<unsigned char>(a[i])) !=
        ToLowerAscii(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// Ends a host directory's path with '/', so that a name can follow.
void AddHostSeparator(std::string* host) {
  if (host->empty() || host->back() != '/')
    *host += '/';
}

std::string JoinHost(const std::string& directory, const std::string& name) {
  std::string joined = directory;
  AddHostSeparator(&joined);
  joined += name;
  return joined;
}

// The entry of directory whose name equals host_name, or whose shown name
// equals windows_name, regardless of the case of A-Z; for names shown through
// the private-use mapping, which the directory index leaves out.
bool FindNameNoCase(const std::string& directory, const std::string& host_name,
                    std::wstring_view windows_name, std::string* found) {
  DIR* listing = ::opendir(directory.c_str());
  if (listing == nullptr)
    return false;
  bool matched = false;
  while (struct dirent* entry = ::readdir(listing)) {
    std::string_view name = entry->d_name;
    if (name == "." || name == "..")
      continue;
    bool equal = EqualsNoCaseBytes(name, host_name) ||
                 EqualsNoCaseAscii(WindowsNameFromHost(name), windows_name);
    if (equal) {
      *found = name;
      matched = true;
      break;
    }
  }
  ::closedir(listing);
  return matched;
}

}  // namespace

std::vector<std::wstring> SplitPathComponents(std::wstring_view text, bool literal) {
  bool ends_with_separator = !text.empty() && IsSeparator(text.back(), literal);
  std::vector<std::wstring> components;
  while (!text.empty()) {
    std::wstring_view segment = NextSegment(&text, literal);
    if (segment.empty())
      continue;
    if (!literal) {
      if (segment == L".")
        continue;
      if (segment == L"..") {
        if (!components.empty())
          components.pop_back();
        continue;
      }
      bool last = text.empty() && !ends_with_separator;
      if (last) {
        segment = TrimTrailing(segment, L". ");
      } else if (segment.size() >= 2 && segment.back() == L'.' &&
                 segment[segment.size() - 2] != L'.') {
        segment.remove_suffix(1);
      }
      if (segment.empty())
        continue;
    }
    components.emplace_back(segment);
  }
  return components;
}

PathComponents::PathComponents(std::vector<std::wstring> names) {
  if (!names.empty())
    shared_ = std::make_shared<const std::vector<std::wstring>>(std::move(names));
}

PathComponents::PathComponents(const PathComponents& directory, std::wstring_view name)
    : last_(name), has_last_(true) {
  if (!directory.has_last_) {
    shared_ = directory.shared_;
  } else {
    // A directory that is itself an entry of a directory: its names are
    // gathered once here, for every path resolved in it.
    std::vector<std::wstring> names;
    names.reserve(directory.size());
    for (size_t i = 0; i < directory.size(); ++i)
      names.push_back(directory[i]);
    shared_ = std::make_shared<const std::vector<std::wstring>>(std::move(names));
  }
}

bool PathComponents::operator==(const PathComponents& other) const {
  if (size() != other.size())
    return false;
  for (size_t i = 0; i < size(); ++i) {
    if ((*this)[i] != other[i])
      return false;
  }
  return true;
}

DWORD PathResolver::Absolute(std::wstring_view path, std::wstring* out) const {
  const std::wstring& cwd = current_directory_;
  if (HasLongPrefix(path) || IsUnc(path) || path[0] == L'/') {
    out->assign(path);
  } else if (IsDriveSpec(path)) {
    if (path.size() > 2 && IsSeparator(path[2], false)) {
      out->assign(path);
    } else if (IsDriveSpec(cwd) && ToLowerAscii(cwd[0]) == ToLowerAscii(path[0])) {
      *out = cwd + L"\\" + std::wstring(path.substr(2));
    } else {
      *out = std::wstring(path.substr(0, 2)) + L"\\" + std::wstring(path.substr(2));
    }
  } else if (IsSeparator(path[0], false)) {
    // Rooted on the current directory's drive, share or host root.
    if (IsDriveSpec(cwd)) {
      *out = cwd.substr(0, 2) + std::wstring(path);
    } else if (IsUnc(cwd)) {
      std::wstring_view rest = std::wstring_view(cwd).substr(2);
      std::wstring_view server = NextSegment(&rest, false);
      std::wstring_view share = NextSegment(&rest, false);
      *out = L"\\\\" + std::wstring(server) + L"\\" + std::wstring(share) + std::wstring(path);
    } else {
      *out = L"/" + std::wstring(path.substr(1));
    }
  } else {
    *out = cwd + L"\\" + std::wstring(path);
  }
  return ERROR_SUCCESS;
}

DWORD PathResolver::DriveRoot(wchar_t letter, Root* root) const {
  const WorldDrive* drive = world_.FindDrive(letter);
  if (drive == nullptr || drive->type == WorldDrive::Type::kUnmounted) {
    return ERROR_PATH_NOT_FOUND;
  }
  if (drive->type == WorldDrive::Type::kRemote) {
    // A remembered connection reconnects on first use, as the redirector does.
    std::wstring_view rest = std::wstring_view(drive->connection->remote).substr(2);
    std::wstring_view server = NextSegment(&rest, false);
    std::wstring_view share = NextSegment(&rest, false);
    DWORD error = ShareRoot(server, share, root);
    if (error != ERROR_SUCCESS)
      return error;
  } else {
    if (drive->host_path.empty())
      return ERROR_NOT_READY;
    root->host = drive->host_path;
  }
  root->windows = std::wstring(1, drive->letter) + L":\\";
  root->drive = drive;
  return ERROR_SUCCESS;
}

DWORD PathResolver::ShareRoot(std::wstring_view server_name, std::wstring_view share_name,
                              Root* root) const {
  if (server_name.empty() || share_name.empty())
    return ERROR_BAD_PATHNAME;
  const WorldServer* server = world_.FindServer(server_name);
  if (server == nullptr || !server->reachable)
    return ERROR_BAD_NETPATH;
  root->server = server;
  root->windows = L"\\\\" + server->name + L"\\";
  if (const WorldShare* share = server->FindShare(share_name)) {
    root->share = share;
    root->host = share->host_path;
    root->windows += share->name + L"\\";
    return ERROR_SUCCESS;
  }
  // The local computer offers every drive as an administrative share X$.
  bool administrative = share_name.size() == 2 && share_name[1] == L'$';
  if (administrative && EqualsNoCaseAscii(server->name, world_.computer)) {
    const WorldDrive* drive = world_.FindDrive(share_name[0]);
    if (drive != nullptr && !drive->host_path.empty() &&
        (drive->type == WorldDrive::Type::kFixed || drive->type == WorldDrive::Type::kRamdisk)) {
      root->host = drive->host_path;
      root->drive = drive;
      root->windows += std::wstring(1, drive->letter) + L"$\\";
      return ERROR_SUCCESS;
    }
  }
  return ERROR_BAD_NET_NAME;
}

DWORD PathResolver::HostRoot(Root* root) const {
  root->host = "/";
  root->windows = L"/";
  return ERROR_SUCCESS;
}

DWORD PathResolver::AppendComponent(std::wstring_view component, std::string* host) {
  if (component == L"." || component == L"..")
    return ERROR_INVALID_NAME;
  for (wchar_t c : component) {
    if (IsForbiddenInName(c))
      return ERROR_INVALID_NAME;
  }
  AppendHostName(host, component);
  return ERROR_SUCCESS;
}

bool PathResolver::MatchCase(ResolvedPath* path, bool last_missing) const {
  std::string host = path->root_host;
  bool changed = false;
  size_t i = 0;
  // Most misses are new names in a directory that exists as named: only the
  // last name needs a look through its directory.
  size_t count = path->components.size();
  // The parent as named, when it exists: what the index checks its listing
  // against.
  struct stat parent_info;
  bool parent_known = false;
  if (count >= 2) {
    std::string parent;
    if (path->host_as_named) {
      parent = path->host.substr(0, path->host.rfind('/'));
    } else {
      parent = host;
      for (size_t j = 0; j + 1 < count; ++j)
        parent = JoinHost(parent, HostNameFromWindows(path->components[j]));
    }
    if (::stat(parent.c_str(), &parent_info) == 0 && S_ISDIR(parent_info.st_mode)) {
      host = std::move(parent);
      i = count - 1;
      parent_known = true;
    }
  }
  for (; i < path->components.size(); ++i) {
    std::string exact = HostNameFromWindows(path->components[i]);
    std::string candidate = JoinHost(host, exact);
    const bool last_as_named = parent_known && i == count - 1;
    const bool known_missing = last_as_named && last_missing && candidate == path->host;
    struct stat info;
    if (!known_missing && ::lstat(candidate.c_str(), &info) == 0) {
      host = std::move(candidate);
      continue;
    }
    if (!known_missing && errno != ENOENT)
      break;
    std::string found;
    bool matched =
        HasMappedCharacters(path->components[i])
            ? FindNameNoCase(host, exact, path->components[i], &found)
            : names_.FindNoCase(host, exact, &found, last_as_named ? &parent_info : nullptr);
    if (!matched)
      break;
    host = JoinHost(host, found);
    changed = true;
  }
  if (!changed)
    return false;
  for (; i < path->components.size(); ++i)
    host = JoinHost(host, HostNameFromWindows(path->components[i]));
  path->host = std::move(host);
  path->host_as_named = false;
  return true;
}

std::wstring PathResolver::WindowsPathOf(const std::string& host_path) const {
  auto below = [&](const std::string& root) -> std::optional<std::wstring> {
    if (root.empty() || host_path.compare(0, root.size(), root) != 0)
      return std::nullopt;
    if (host_path.size() > root.size() && root.back() != '/' && host_path[root.size()] != '/')
      return std::nullopt;
    std::wstring rest;
    std::string_view tail = std::string_view(host_path).substr(root.size());
    while (!tail.empty()) {
      size_t slash = tail.find('/');
      std::string_view name = tail.substr(0, slash);
      if (!name.empty()) {
        if (!rest.empty())
          rest += L'\\';
        rest += WindowsNameFromHost(name);
      }
      if (slash == std::string_view::npos)
        break;
      tail.remove_prefix(slash + 1);
    }
    return rest;
  };
  if (const WorldDrive* drive = world_.DriveForHostPath(host_path)) {
    if (auto rest = below(drive->host_path))
      return std::wstring(1, drive->letter) + L":\\" + *rest;
  }
  // The deepest share that holds the path, those of this computer first.
  const WorldServer* best_server = nullptr;
  const WorldShare* best_share = nullptr;
  std::wstring best_rest;
  for (const WorldServer& server : world_.servers) {
    for (const WorldShare& share : server.shares) {
      auto rest = below(share.host_path);
      if (!rest)
        continue;
      bool local = EqualsNoCaseAscii(server.name, world_.computer);
      bool better = best_share == nullptr ||
                    share.host_path.size() > best_share->host_path.size() ||
                    (share.host_path.size() == best_share->host_path.size() && local);
      if (better) {
        best_server = &server;
        best_share = &share;
        best_rest = *rest;
      }
    }
  }
  if (best_share == nullptr)
    return std::wstring();
  std::wstring unc = L"\\\\" + best_server->name + L"\\" + best_share->name;
  return best_rest.empty() ? unc : unc + L"\\" + best_rest;
}

// The resolution of a directory, as the calls for the entries of the same
// few directories need it: a path ending in a plain name resolves as its
// directory does, followed by that name.
struct PathResolver::KnownDirectory {
  uint64_t resolver = 0;  // PathResolver::id_
  std::wstring text;      // as the caller wrote it, ending with its separator
  ResolvedPath resolved;  // before the host form is shown on a drive
  bool host_form = false;
  // A host form as ShowOnDrive shows it.
  const WorldDrive* shown_drive = nullptr;
  std::wstring shown_full;
};

// The directories the threads resolved lately. Workers take files from many
// directories in turn, more than a thread's own memo holds; a directory is
// resolved once for all of them. Entries never go stale (a resolution is a
// function of the path alone); the table is emptied part by part as it
// fills.
class PathResolver::SharedDirectories {
 public:
  std::shared_ptr<const KnownDirectory> Find(std::wstring_view text) {
    Part& part = PartOf(text);
    std::lock_guard lock(part.mutex);
    auto found = part.directories.find(text);
    return found == part.directories.end() ? nullptr : found->second;
  }

  void Add(std::shared_ptr<const KnownDirectory> directory) {
    Part& part = PartOf(directory->text);
    std::lock_guard lock(part.mutex);
    if (part.directories.size() >= kPerPart)
      part.directories.clear();
    part.directories.try_emplace(directory->text, std::move(directory));
  }

 private:
  static constexpr size_t kParts = 16;
  static constexpr size_t kPerPart = 64;

  struct TextHash {
    using is_transparent = void;
    size_t operator()(std::wstring_view text) const { return std::hash<std::wstring_view>()(text); }
  };
  struct alignas(64) Part {
    std::mutex mutex;
    std::unordered_map<std::wstring, std::shared_ptr<const KnownDirectory>, TextHash,
                       std::equal_to<>>
        directories;
  };

  Part& PartOf(std::wstring_view text) { return parts_[TextHash()(text) % kParts]; }

  std::array<Part, kParts> parts_;
};

PathResolver::PathResolver(const World& world, std::wstring current_directory)
    : world_(world),
      current_directory_(std::move(current_directory)),
      id_(next_resolver_id.fetch_add(1)),
      shared_directories_(std::make_unique<SharedDirectories>()) {}

PathResolver::~PathResolver() = default;

namespace {

// This thread's last few directories, looked at before the shared ones so
// that no thread waits for another in the common case.
constexpr size_t kKnownDirectories = 4;
thread_local std::array<std::shared_ptr<const PathResolver::KnownDirectory>, kKnownDirectories>
    known_directories;
thread_local size_t next_known_directory = 0;

// Where the last component of path begins, when it is a plain name after a
// separator: no '.' or blank at its end, no separator in it, after a '\'
// (a '/' separates only outside the \\?\ form). npos otherwise.
size_t PlainLastComponent(std::wstring_view path) {
  size_t separator = FindLastSeparator(path);
  if (separator == std::wstring_view::npos || separator + 1 == path.size())
    return std::wstring_view::npos;
  if (path[separator] == L'/' && HasLongPrefix(path))
    return std::wstring_view::npos;
  std::wstring_view name = path.substr(separator + 1);
  if (name.back() == L'.' || name.back() == L' ')
    return std::wstring_view::npos;
  return separator + 1;
}

}  // namespace

DWORD PathResolver::Resolve(std::wstring_view path, ResolvedPath* out) const {
  if (path.empty())
    return ERROR_PATH_NOT_FOUND;
  const size_t name_start = PlainLastComponent(path);
  if (name_start != std::wstring_view::npos) {
    const KnownDirectory* directory = Known(path.substr(0, name_start));
    if (directory != nullptr)
      return ResolveIn(*directory, path.substr(name_start), out);
  }
  bool host_form = false;
  DWORD error = ResolveAsWritten(path, out, &host_form);
  if (error != ERROR_SUCCESS)
    return error;
  ShowOnDrive(host_form, out);
  return ERROR_SUCCESS;
}

const PathResolver::KnownDirectory* PathResolver::Known(std::wstring_view directory) const {
  for (const auto& known : known_directories) {
    if (known != nullptr && known->resolver == id_ && known->text == directory)
      return known.get();
  }
  std::shared_ptr<const KnownDirectory> found = shared_directories_->Find(directory);
  if (found == nullptr) {
    found = MakeKnown(directory);
    if (found == nullptr)
      return nullptr;
    shared_directories_->Add(found);
  }
  auto& slot = known_directories[next_known_directory];
  next_known_directory = (next_known_directory + 1) % kKnownDirectories;
  slot = std::move(found);
  return slot.get();
}

std::shared_ptr<const PathResolver::KnownDirectory> PathResolver::MakeKnown(
    std::wstring_view directory) const {
  auto made = std::make_shared<KnownDirectory>();
  if (ResolveAsWritten(directory, &made->resolved, &made->host_form) != ERROR_SUCCESS)
    return nullptr;
  if (made->host_form) {
    ResolvedPath shown = made->resolved;
    ShowOnDrive(true, &shown);
    made->shown_drive = shown.drive;
    made->shown_full = std::move(shown.full);
  }
  made->text.assign(directory);
  made->resolver = id_;
  return made;
}

DWORD PathResolver::ResolveIn(const KnownDirectory& directory, std::wstring_view name,
                              ResolvedPath* out) const {
  const ResolvedPath& known = directory.resolved;
  // Room for the name too: the appends below then allocate nothing for an
  // ASCII name.
  out->host.reserve(known.host.size() + 1 + name.size());
  out->host.assign(known.host);
  AddHostSeparator(&out->host);
  const size_t name_at = out->host.size();
  DWORD error = AppendComponent(name, &out->host);
  if (error != ERROR_SUCCESS)
    return error;
  out->host_as_named = true;
  out->root_host = known.root_host;
  out->components = PathComponents(known.components, name);
  out->drive = known.drive;
  out->server = known.server;
  out->share = known.share;
  // A name on the drive that shows its directory is shown below it there.
  const WorldDrive* drive = directory.host_form ? world_.DriveForHostPath(out->host) : nullptr;
  if (drive != nullptr && drive == directory.shown_drive) {
    out->drive = drive;
    out->full.reserve(directory.shown_full.size() + 1 + name.size());
    out->full.assign(directory.shown_full);
    if (out->full.back() != L'\\')
      out->full += L'\\';
    AppendFromUtf8(&out->full, std::string_view(out->host).substr(name_at));
    out->volume = &drive->volume;
    return ERROR_SUCCESS;
  }
  out->full.reserve(known.full.size() + 1 + name.size());
  out->full.assign(known.full);
  if (!known.components.empty())
    out->full += directory.host_form ? L'/' : L'\\';
  out->full += name;
  ShowOnDrive(directory.host_form, out);
  return ERROR_SUCCESS;
}

DWORD PathResolver::ResolveAsWritten(std::wstring_view path, ResolvedPath* out,
                                     bool* host_form_out) const {
  if (path.empty())
    return ERROR_PATH_NOT_FOUND;
  std::wstring absolute;
  DWORD error = Absolute(path, &absolute);
  if (error != ERROR_SUCCESS)
    return error;

  std::wstring_view rest = absolute;
  bool literal = false;
  bool unc = false;
  if (HasLongPrefix(rest)) {
    literal = rest[2] == L'?';
    rest.remove_prefix(4);
    if (StartsWithNoCaseAscii(rest, L"UNC\\")) {
      rest.remove_prefix(4);
      // The long form the program builds for a path that is neither a drive
      // path nor a UNC name: "\\?\UNC\" + "/srv/a".
      unc = rest.empty() || rest[0] != L'/';
    } else if (rest.empty() || (rest[0] != L'/' && !IsDriveSpec(rest))) {
      return ERROR_INVALID_NAME;
    }
  } else if (IsUnc(rest)) {
    rest.remove_prefix(2);
    unc = true;
  }

  Root root;
  if (unc) {
    std::wstring_view server = NextSegment(&rest, literal);
    std::wstring_view share = NextSegment(&rest, literal);
    error = ShareRoot(server, share, &root);
  } else if (!rest.empty() && rest[0] == L'/') {
    error = HostRoot(&root);
  } else {
    if (rest.size() > 2 && !IsSeparator(rest[2], literal))
      return ERROR_INVALID_NAME;
    error = DriveRoot(rest[0], &root);
    rest.remove_prefix(2);
  }
  if (error != ERROR_SUCCESS)
    return error;

  // A host path keeps '\' as a separator too: the program appends "\name".
  bool host_form = root.windows == L"/";
  std::vector<std::wstring> components = SplitPathComponents(rest, literal && !host_form);
  std::string host = root.host;
  std::wstring full = root.windows;
  for (size_t i = 0; i < components.size(); ++i) {
    AddHostSeparator(&host);
    error = AppendComponent(components[i], &host);
    if (error != ERROR_SUCCESS)
      return error;
    if (i > 0)
      full += host_form ? L'/' : L'\\';
    full += components[i];
  }

  out->host = std::move(host);
  out->host_as_named = true;
  out->root_host = root.host;
  out->components = PathComponents(std::move(components));
  out->drive = root.drive;
  out->server = root.server;
  out->share = root.share;
  out->full = std::move(full);
  *host_form_out = host_form;
  return ERROR_SUCCESS;
}

void PathResolver::ShowOnDrive(bool host_form, ResolvedPath* out) const {
  if (host_form) {
    // A host path is shown on the drive that holds it, when one does.
    out->drive = world_.DriveForHostPath(out->host);
    if (out->drive != nullptr) {
      std::string below = out->host.substr(out->drive->host_path.size());
      std::wstring windows = std::wstring(1, out->drive->letter) + L":";
      for (wchar_t c : FromUtf8(below))
        windows += c == L'/' ? L'\\' : c;
      if (windows.size() == 2 || windows[2] != L'\\')
        windows.insert(2, L"\\");
      out->full = std::move(windows);
    }
  }
  out->volume = out->share != nullptr   ? &out->share->volume
                : out->drive != nullptr ? &out->drive->volume
                                        : nullptr;
}

}  // namespace tarvik
