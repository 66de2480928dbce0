#include "platform/posix/path_resolver.h"

#include "platform/win_error.h"
#include "util/text.h"
#include "util/utf.h"

namespace tarvik {
namespace {

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

PathResolver::PathResolver(const World& world, std::wstring current_directory)
    : world_(world), current_directory_(std::move(current_directory)) {}

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

DWORD PathResolver::ComponentToHost(const std::string& parent, std::wstring_view component,
                                    std::string* host_name) const {
  if (component == L"." || component == L"..")
    return ERROR_INVALID_NAME;
  for (wchar_t c : component) {
    if (IsForbiddenInName(c))
      return ERROR_INVALID_NAME;
  }
  *host_name = ToUtf8(component);
  return ERROR_SUCCESS;
}

DWORD PathResolver::Resolve(std::wstring_view path, ResolvedPath* out) const {
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
    std::string name;
    error = ComponentToHost(host, components[i], &name);
    if (error != ERROR_SUCCESS)
      return error;
    if (host.back() != '/')
      host += '/';
    host += name;
    if (i > 0)
      full += host_form ? L'/' : L'\\';
    full += components[i];
  }

  out->host = std::move(host);
  out->drive = root.drive;
  out->server = root.server;
  out->share = root.share;
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
      full = std::move(windows);
    }
  }
  out->full = std::move(full);
  return ERROR_SUCCESS;
}

}  // namespace tarvik
