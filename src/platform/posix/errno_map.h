// Host errno values as the system error codes the program expects.
#ifndef TARVIK_PLATFORM_POSIX_ERRNO_MAP_H_
#define TARVIK_PLATFORM_POSIX_ERRNO_MAP_H_

#include "platform/win_types.h"

namespace tarvik {

// ENOENT maps to ERROR_FILE_NOT_FOUND; callers that know a directory of the
// path is missing report ERROR_PATH_NOT_FOUND themselves.
DWORD ErrorFromErrno(int error_number);

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_POSIX_ERRNO_MAP_H_
