#include "platform/posix/symlink_targets.h"

#include "platform/posix/name_mapping.h"
#include "platform/win_error.h"
#include "util/text.h"
#include "util/utf.h"

namespace tarvik {
namespace {

constexpr std::wstring_view kNtPrefix = L"\\??\\";

}  // namespace

SymlinkReparse SymlinkFromHostTarget(const std::string& host_target, const PathResolver& resolver) {
  SymlinkReparse link;
  if (!host_target.empty() && host_target[0] == '/') {
    std::wstring windows = resolver.WindowsPathOf(host_target);
    if (windows.empty())
      windows = FromUtf8(host_target);  // the host path, which the platform resolves as well
    link.print_name = windows;
    link.substitute_name = windows.substr(0, 2) == L"\\\\"
                               ? std::wstring(kNtPrefix) + L"UNC\\" + windows.substr(2)
                               : std::wstring(kNtPrefix) + windows;
    return link;
  }
  std::wstring text;
  size_t start = 0;
  while (start <= host_target.size()) {
    size_t slash = host_target.find('/', start);
    if (slash == std::string::npos)
      slash = host_target.size();
    std::string name = host_target.substr(start, slash - start);
    if (!name.empty()) {
      if (!text.empty())
        text += L'\\';
      text += name == "." || name == ".." ? FromUtf8(name) : WindowsNameFromHost(name);
    }
    start = slash + 1;
  }
  link.relative = true;
  link.substitute_name = text;
  link.print_name = text;
  return link;
}

bool HostTargetFromSymlink(const SymlinkReparse& link, const PathResolver& resolver,
                           std::string* host_target) {
  std::wstring_view name = link.substitute_name;
  if (name.empty())
    return false;
  if (link.relative) {
    std::string target;
    size_t start = 0;
    while (start <= name.size()) {
      size_t cut = name.find(L'\\', start);
      if (cut == std::wstring_view::npos)
        cut = name.size();
      std::wstring_view component = name.substr(start, cut - start);
      if (!component.empty()) {
        if (!target.empty())
          target += '/';
        target += HostNameFromWindows(component);
      }
      start = cut + 1;
    }
    if (target.empty() || name[0] == L'\\')
      return false;
    *host_target = target;
    return true;
  }
  std::wstring windows(name);
  if (windows.substr(0, kNtPrefix.size()) == kNtPrefix) {
    windows.erase(0, kNtPrefix.size());
    if (StartsWithNoCaseAscii(windows, L"UNC\\"))
      windows = L"\\\\" + windows.substr(4);
  }
  bool absolute = (windows.size() >= 3 && windows[1] == L':' && windows[2] == L'\\') ||
                  windows.substr(0, 2) == L"\\\\" || windows.substr(0, 1) == L"/";
  ResolvedPath resolved;
  if (!absolute || resolver.Resolve(windows, &resolved) != ERROR_SUCCESS)
    return false;
  resolver.MatchCase(&resolved);
  *host_target = resolved.host;
  return true;
}

}  // namespace tarvik
