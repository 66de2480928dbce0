// Finding the host object a Windows name stands for, and the errors the
// platform reports when it is not there.
#ifndef TARVIK_PLATFORM_POSIX_FILE_LOOKUP_H_
#define TARVIK_PLATFORM_POSIX_FILE_LOOKUP_H_

#include <string>

#include "platform/posix/host_object.h"
#include "platform/posix/path_resolver.h"
#include "platform/win_types.h"

namespace tarvik {

// ERROR_PATH_NOT_FOUND when a directory above host_path is missing,
// ERROR_FILE_NOT_FOUND otherwise.
DWORD NotFoundError(const std::string& host_path);

// The error for a host errno on host_path (ENOENT told apart as above).
DWORD HostError(int error_number, const std::string& host_path);

// The host directory that holds host_path.
std::string ParentOf(const std::string& host_path);
// The last name of a host path.
std::string NameOf(const std::string& host_path);

// Resolves file_name and reads the object it names, itself and not what a
// symbolic link points to, matching the case of its names where needed.
DWORD ResolveExisting(const PathResolver& resolver, const wchar_t* file_name,
                      ResolvedPath* resolved, HostInfo* info);

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_POSIX_FILE_LOOKUP_H_
