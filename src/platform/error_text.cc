#include "platform/error_text.h"

#include "platform/os.h"
#include "platform/win_error.h"

namespace tarvik {
namespace {

#define E(code, text) \
  { code, #code, text }

constexpr SystemErrorInfo kErrors[] = {
    E(ERROR_SUCCESS, L"The operation completed successfully."),
    E(ERROR_INVALID_FUNCTION, L"Incorrect function."),
    E(ERROR_FILE_NOT_FOUND, L"The system cannot find the file specified."),
    E(ERROR_PATH_NOT_FOUND, L"The system cannot find the path specified."),
    E(ERROR_TOO_MANY_OPEN_FILES, L"The system cannot open the file."),
    E(ERROR_ACCESS_DENIED, L"Access is denied."),
    E(ERROR_INVALID_HANDLE, L"The handle is invalid."),
    E(ERROR_NOT_ENOUGH_MEMORY,
      L"Not enough memory resources are available to process this command."),
    E(ERROR_INVALID_DATA, L"The data is invalid."),
    E(ERROR_OUTOFMEMORY, L"Not enough memory resources are available to complete this operation."),
    E(ERROR_INVALID_DRIVE, L"The system cannot find the drive specified."),
    E(ERROR_NOT_SAME_DEVICE, L"The system cannot move the file to a different disk drive."),
    E(ERROR_NO_MORE_FILES, L"There are no more files."),
    E(ERROR_WRITE_PROTECT, L"The media is write protected."),
    E(ERROR_NOT_READY, L"The device is not ready."),
    E(ERROR_WRITE_FAULT, L"The system cannot write to the specified device."),
    E(ERROR_READ_FAULT, L"The system cannot read from the specified device."),
    E(ERROR_GEN_FAILURE, L"A device attached to the system is not functioning."),
    E(ERROR_SHARING_VIOLATION,
      L"The process cannot access the file because it is being used by another process."),
    E(ERROR_LOCK_VIOLATION,
      L"The process cannot access the file because another process has locked a portion of the "
      L"file."),
    E(ERROR_HANDLE_EOF, L"Reached the end of the file."),
    E(ERROR_HANDLE_DISK_FULL, L"The disk is full."),
    E(ERROR_NOT_SUPPORTED, L"The request is not supported."),
    E(ERROR_BAD_NETPATH, L"The network path was not found."),
    E(ERROR_NETWORK_BUSY, L"The network is busy."),
    E(ERROR_UNEXP_NET_ERR, L"An unexpected network error occurred."),
    E(ERROR_NETNAME_DELETED, L"The specified network name is no longer available."),
    E(ERROR_NETWORK_ACCESS_DENIED, L"Network access is denied."),
    E(ERROR_BAD_NET_NAME, L"The network name cannot be found."),
    E(ERROR_FILE_EXISTS, L"The file exists."),
    E(ERROR_INVALID_PARAMETER, L"The parameter is incorrect."),
    E(ERROR_BROKEN_PIPE, L"The pipe has been ended."),
    E(ERROR_OPEN_FAILED, L"The system cannot open the device or file specified."),
    E(ERROR_BUFFER_OVERFLOW, L"The file name is too long."),
    E(ERROR_DISK_FULL, L"There is not enough space on the disk."),
    E(ERROR_CALL_NOT_IMPLEMENTED, L"This function is not supported on this system."),
    E(ERROR_INSUFFICIENT_BUFFER, L"The data area passed to a system call is too small."),
    E(ERROR_INVALID_NAME, L"The filename, directory name, or volume label syntax is incorrect."),
    E(ERROR_INVALID_LEVEL, L"The system call level is not correct."),
    E(ERROR_NEGATIVE_SEEK,
      L"An attempt was made to move the file pointer before the beginning of the file."),
    E(ERROR_DIR_NOT_EMPTY, L"The directory is not empty."),
    E(ERROR_BAD_PATHNAME, L"The specified path is invalid."),
    E(ERROR_BUSY, L"The requested resource is in use."),
    E(ERROR_ALREADY_EXISTS, L"Cannot create a file when that file already exists."),
    E(ERROR_FILENAME_EXCED_RANGE, L"The filename or extension is too long."),
    E(ERROR_FILE_TOO_LARGE, L"The file size exceeds the limit allowed and cannot be saved."),
    E(ERROR_MORE_DATA, L"More data is available."),
    E(ERROR_EAS_DIDNT_FIT, L"The extended attributes did not fit in the buffer."),
    E(ERROR_VC_DISCONNECTED, L"The session was canceled."),
    E(ERROR_NO_MORE_ITEMS, L"No more data is available."),
    E(ERROR_DIRECTORY, L"The directory name is invalid."),
    E(ERROR_MR_MID_NOT_FOUND,
      L"The system cannot find message text for message number 0x%1 in the message file for %2."),
    E(ERROR_COMPRESSION_DISABLED, L"Compression is disabled for this volume."),
    E(ERROR_OPERATION_ABORTED,
      L"The I/O operation has been aborted because of either a thread exit or an application "
      L"request."),
    E(ERROR_INVALID_FLAGS, L"Invalid flags."),
    E(ERROR_NO_TOKEN, L"An attempt was made to reference a token that does not exist."),
    E(ERROR_IO_DEVICE, L"The request could not be performed because of an I/O device error."),
    E(ERROR_NOT_FOUND, L"Element not found."),
    E(ERROR_BAD_DEVICE, L"The specified device name is invalid."),
    E(ERROR_CONNECTION_UNAVAIL,
      L"The device is not currently connected but it is a remembered connection."),
    E(ERROR_DEVICE_ALREADY_REMEMBERED,
      L"The local device name has a remembered connection to another network resource."),
    E(ERROR_NO_NET_OR_BAD_PATH,
      L"The network path was either typed incorrectly, does not exist, or the network provider is "
      L"not currently available. Please try retyping the path or contact your network "
      L"administrator."),
    E(ERROR_EXTENDED_ERROR, L"An extended error has occurred."),
    E(ERROR_NETWORK_UNREACHABLE,
      L"The network location cannot be reached. For information about network troubleshooting, "
      L"see Windows Help."),
    E(ERROR_NOT_ALL_ASSIGNED,
      L"Not all privileges or groups referenced are assigned to the caller."),
    E(ERROR_SOME_NOT_MAPPED, L"Some mapping between account names and security IDs was not done."),
    E(ERROR_INVALID_OWNER, L"This security ID may not be assigned as the owner of this object."),
    E(ERROR_INVALID_PRIMARY_GROUP,
      L"This security ID may not be assigned as the primary group of an object."),
    E(ERROR_NO_LOGON_SERVERS,
      L"There are currently no logon servers available to service the logon request."),
    E(ERROR_NO_SUCH_PRIVILEGE, L"A specified privilege does not exist."),
    E(ERROR_PRIVILEGE_NOT_HELD, L"A required privilege is not held by the client."),
    E(ERROR_NO_SUCH_USER, L"The specified account does not exist."),
    E(ERROR_NO_SUCH_GROUP, L"The specified group does not exist."),
    E(ERROR_NONE_MAPPED, L"No mapping between account names and security IDs was done."),
    E(ERROR_INVALID_ACL, L"The access control list (ACL) structure is invalid."),
    E(ERROR_INVALID_SID, L"The security ID structure is invalid."),
    E(ERROR_INVALID_SECURITY_DESCR, L"The security descriptor structure is invalid."),
    E(ERROR_BAD_INHERITANCE_ACL,
      L"The inherited access control list (ACL) or access control entry (ACE) could not be built."),
    E(ERROR_NO_SUCH_DOMAIN,
      L"The specified domain either does not exist or could not be contacted."),
    E(ERROR_NO_SUCH_ALIAS, L"The specified local group does not exist."),
    E(ERROR_TRUSTED_RELATIONSHIP_FAILURE,
      L"The trust relationship between this workstation and the primary domain failed."),
    E(ERROR_DOMAIN_CONTROLLER_NOT_FOUND, L"Could not find the domain controller for this domain."),
    E(ERROR_FILE_CORRUPT, L"The file or directory is corrupted and unreadable."),
    E(ERROR_CANT_ACCESS_FILE, L"The file cannot be accessed by the system."),
    E(ERROR_CANT_RESOLVE_FILENAME, L"The name of the file cannot be resolved by the system."),
    E(NERR_GroupNotFound, L"The group name could not be found."),
    E(NERR_UserNotFound, L"The user name could not be found."),
    E(ERROR_NOT_CONNECTED, L"This network connection does not exist."),
    E(NERR_NetNameNotFound, L"This shared resource does not exist."),
    E(NERR_InvalidComputer, L"This computer name is invalid."),
    E(NERR_DCNotFound, L"Could not find domain controller for this domain."),
    E(ERROR_NOT_A_REPARSE_POINT, L"The file or directory is not a reparse point."),
    E(ERROR_REPARSE_TAG_INVALID, L"The tag present in the reparse point buffer is invalid."),
    E(ERROR_REPARSE_ATTRIBUTE_CONFLICT,
      L"The reparse point attribute cannot be set because it conflicts with an existing "
      L"attribute."),
    E(ERROR_INVALID_REPARSE_DATA, L"The data present in the reparse point buffer is invalid."),
    E(ERROR_REPARSE_TAG_MISMATCH,
      L"There is a mismatch between the tag specified in the request and the tag present in the "
      L"reparse point."),
};

#undef E

}  // namespace

const SystemErrorInfo* FindSystemError(DWORD code) {
  for (const SystemErrorInfo& info : kErrors) {
    if (info.code == code)
      return &info;
  }
  return nullptr;
}

const SystemErrorInfo* FindSystemErrorByName(std::string_view name) {
  for (const SystemErrorInfo& info : kErrors) {
    if (name == info.name)
      return &info;
  }
  return nullptr;
}

}  // namespace tarvik
