#include "platform/posix/file_lookup.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/posix/errno_map.h"
#include "platform/win_error.h"

namespace tarvik {

std::string ParentOf(const std::string& host_path) {
  size_t slash = host_path.rfind('/');
  return slash == 0 || slash == std::string::npos ? "/" : host_path.substr(0, slash);
}

std::string NameOf(const std::string& host_path) {
  size_t slash = host_path.rfind('/');
  return slash == std::string::npos ? host_path : host_path.substr(slash + 1);
}

DWORD NotFoundError(const std::string& host_path) {
  struct stat info;
  std::string parent = ParentOf(host_path);
  if (::stat(parent.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
    return ERROR_PATH_NOT_FOUND;
  return ERROR_FILE_NOT_FOUND;
}

DWORD HostError(int error_number, const std::string& host_path) {
  if (error_number == ENOENT)
    return NotFoundError(host_path);
  return ErrorFromErrno(error_number);
}

DWORD ResolveExisting(const PathResolver& resolver, const wchar_t* file_name,
                      ResolvedPath* resolved, HostInfo* info) {
  if (file_name == nullptr)
    return ERROR_INVALID_PARAMETER;
  DWORD error = resolver.Resolve(file_name, resolved);
  if (error != ERROR_SUCCESS)
    return error;
  int host_error = ReadHostInfo(HostObject{resolved->host, -1}, info);
  if ((host_error == ENOENT || host_error == ENOTDIR) &&
      resolver.MatchCase(resolved, host_error == ENOENT))
    host_error = ReadHostInfo(HostObject{resolved->host, -1}, info);
  if (host_error == ENOTDIR)
    return ERROR_PATH_NOT_FOUND;
  return host_error == 0 ? ERROR_SUCCESS : HostError(host_error, resolved->host);
}

}  // namespace tarvik
