#include "platform/posix/errno_map.h"

#include <cerrno>

#include "platform/win_error.h"

namespace tarvik {

DWORD ErrorFromErrno(int error_number) {
  switch (error_number) {
    case 0:
      return ERROR_SUCCESS;
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case EFBIG:
      return ERROR_FILE_TOO_LARGE;
    case EROFS:
      return ERROR_WRITE_PROTECT;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case ELOOP:
      return ERROR_CANT_RESOLVE_FILENAME;
    case EIO:
      return ERROR_IO_DEVICE;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;
    case EXDEV:
      return ERROR_NOT_SAME_DEVICE;
    case EBUSY:
      return ERROR_BUSY;
    case ETXTBSY:
      return ERROR_SHARING_VIOLATION;
    case ENOLCK:
      return ERROR_LOCK_VIOLATION;
    case ENOTSUP:
      return ERROR_NOT_SUPPORTED;
    case ENOSYS:
      return ERROR_CALL_NOT_IMPLEMENTED;
    case EPIPE:
      return ERROR_BROKEN_PIPE;
    case ESPIPE:
      return ERROR_INVALID_FUNCTION;
    case ENXIO:
    case ENODEV:
    case ENOMEDIUM:
      return ERROR_NOT_READY;
    // A network file system that lost its server.
    case ESTALE:
    case ENOTCONN:
    case ECONNRESET:
    case ECONNABORTED:
    case EHOSTDOWN:
      return ERROR_NETNAME_DELETED;
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ENETDOWN:
      return ERROR_NETWORK_UNREACHABLE;
    case ECONNREFUSED:
      return ERROR_BAD_NETPATH;
    case ETIMEDOUT:
      return ERROR_UNEXP_NET_ERR;
    case EINTR:
      return ERROR_OPERATION_ABORTED;
    default:
      return ERROR_GEN_FAILURE;
  }
}

}  // namespace tarvik
