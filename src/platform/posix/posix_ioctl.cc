// PosixOs: DeviceIoControl on files and directories: compression and
// reparse points.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "platform/posix/errno_map.h"
#include "platform/posix/file_lookup.h"
#include "platform/posix/host_object.h"
#include "platform/posix/posix_os.h"
#include "platform/posix/reparse_points.h"
#include "platform/posix/symlink_targets.h"

namespace tarvik {
namespace {

constexpr DWORD kModifyRights =
    GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_ATTRIBUTES;

BOOL Fail(DWORD error) {
  Os::SetLastError(error);
  return FALSE;
}

HostObject ObjectOf(const HandleObject& object) {
  return HostObject{object.host_path, object.is_link || object.path_only ? -1 : object.fd};
}

// The object a handle stands for: the link itself for a handle opened on
// one, else what was opened (a link at the path having been followed).
HostObject Self(const HandleObject& object) {
  return object.is_link ? HostObject{object.host_path, -1} : ObjectOf(object);
}

// A name for a temporary entry beside host_path.
std::string TemporaryBeside(const std::string& host_path) {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  char suffix[32];
  std::snprintf(suffix, sizeof(suffix), ".tarvik-%016llx",
                static_cast<unsigned long long>(random()));
  return ParentOf(host_path) + "/" + suffix;
}

// Points the handle at what now stands at its path.
DWORD Reopen(HandleObject& object, bool as_link) {
  int flags = as_link               ? O_PATH | O_NOFOLLOW | O_CLOEXEC
              : object.is_directory ? O_RDONLY | O_DIRECTORY | O_CLOEXEC
                                    : O_RDWR | O_CLOEXEC;
  int fd = ::open(object.host_path.c_str(), flags);
  if (fd < 0)
    return ErrorFromErrno(errno);
  // The old object is gone and the host may give its inode number to the
  // next file made: the handle's sharing goes with what it now refers to,
  // before the old descriptor lets the inode go.
  ShareTable::Key key;
  if (ShareTable::KeyOfDescriptor(fd, &key))
    object.MoveShare(key);
  else
    object.ReleaseShare();
  object.Close();
  object.fd = fd;
  object.is_link = as_link;
  object.path_only = false;
  return ERROR_SUCCESS;
}

// Puts a host symbolic link holding target where the object stands: an empty
// directory is removed first, a file is replaced in one step.
DWORD ReplaceWithLink(HandleObject& object, const std::string& target) {
  const std::string& path = object.host_path;
  if (object.is_directory && !object.is_link) {
    if (::rmdir(path.c_str()) != 0)
      return errno == ENOTEMPTY || errno == EEXIST ? ERROR_DIR_NOT_EMPTY : ErrorFromErrno(errno);
    if (::symlink(target.c_str(), path.c_str()) != 0) {
      int saved = errno;
      ::mkdir(path.c_str(), 0777);
      return ErrorFromErrno(saved);
    }
  } else {
    std::string temporary = TemporaryBeside(path);
    if (::symlink(target.c_str(), temporary.c_str()) != 0)
      return ErrorFromErrno(errno);
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
      int saved = errno;
      ::unlink(temporary.c_str());
      return ErrorFromErrno(saved);
    }
  }
  return Reopen(object, true);
}

// Puts an empty file or directory where a link stands, with the host mode
// of a new object of the volume.
DWORD ReplaceLinkWithEmpty(HandleObject& object) {
  const std::string& path = object.host_path;
  const bool open_modes = object.volume != nullptr && object.volume->ignore_system_acls;
  if (object.is_directory) {
    if (::unlink(path.c_str()) != 0)
      return ErrorFromErrno(errno);
    if (::mkdir(path.c_str(), 0777) != 0)
      return ErrorFromErrno(errno);
    if (open_modes && ::chmod(path.c_str(), 0777) != 0)
      return ErrorFromErrno(errno);
  } else {
    std::string temporary = TemporaryBeside(path);
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
      return ErrorFromErrno(errno);
    if (open_modes && ::fchmod(fd, 0666) != 0) {
      const int saved = errno;
      ::close(fd);
      ::unlink(temporary.c_str());
      return ErrorFromErrno(saved);
    }
    ::close(fd);
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
      int saved = errno;
      ::unlink(temporary.c_str());
      return ErrorFromErrno(saved);
    }
  }
  return Reopen(object, false);
}

// Copies what fits of value into the caller's buffer.
BOOL ReturnBytes(const std::string& value, void* out_buffer, DWORD out_size,
                 DWORD* bytes_returned) {
  if (out_buffer == nullptr || out_size < REPARSE_DATA_BUFFER_HEADER_SIZE)
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  DWORD size = static_cast<DWORD>(std::min<size_t>(value.size(), out_size));
  std::memcpy(out_buffer, value.data(), size);
  if (bytes_returned != nullptr)
    *bytes_returned = size;
  return size < value.size() ? Fail(ERROR_MORE_DATA) : TRUE;
}

BOOL GetCompression(HandleObject& object, void* out_buffer, DWORD out_size, DWORD* bytes_returned) {
  if (out_buffer == nullptr || out_size < sizeof(WORD))
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  HostInfo info;
  int error = ReadHostInfo(ObjectOf(object), &info);
  if (error != 0)
    return Fail(HostError(error, object.host_path));
  WORD format = (info.attributes & FILE_ATTRIBUTE_COMPRESSED) ? COMPRESSION_FORMAT_LZNT1
                                                              : COMPRESSION_FORMAT_NONE;
  std::memcpy(out_buffer, &format, sizeof(format));
  if (bytes_returned != nullptr)
    *bytes_returned = sizeof(format);
  return TRUE;
}

BOOL SetCompression(HandleObject& object, std::string_view input) {
  if (input.size() < sizeof(WORD))
    return Fail(ERROR_INVALID_PARAMETER);
  WORD format;
  std::memcpy(&format, input.data(), sizeof(format));
  if (format > COMPRESSION_FORMAT_LZNT1)
    return Fail(ERROR_INVALID_PARAMETER);
  if ((object.access & kModifyRights) == 0)
    return Fail(ERROR_ACCESS_DENIED);
  if (object.is_link)
    return Fail(ERROR_INVALID_PARAMETER);
  bool compress = format != COMPRESSION_FORMAT_NONE;
  if (compress && object.volume != nullptr && !object.volume->compression)
    return Fail(ERROR_COMPRESSION_DISABLED);
  HostObject host = ObjectOf(object);
  HostInfo info;
  int error = ReadHostInfo(host, &info);
  if (error == 0) {
    DWORD attributes = compress ? info.attributes | FILE_ATTRIBUTE_COMPRESSED
                                : info.attributes & ~FILE_ATTRIBUTE_COMPRESSED;
    error = WriteDosInfo(host, info, attributes, info.creation_time);
  }
  return error == 0 ? TRUE : Fail(HostError(error, object.host_path));
}

BOOL GetReparsePoint(HandleObject& object, const PathResolver& resolver, void* out_buffer,
                     DWORD out_size, DWORD* bytes_returned) {
  HostInfo info;
  int error = ReadHostInfo(Self(object), &info);
  if (error != 0)
    return Fail(HostError(error, object.host_path));
  if (info.is_link) {
    std::string target(4096, '\0');
    ssize_t size = ::readlink(object.host_path.c_str(), target.data(), target.size());
    if (size < 0)
      return Fail(HostError(errno, object.host_path));
    target.resize(static_cast<size_t>(size));
    std::string buffer = EncodeSymlinkReparse(SymlinkFromHostTarget(target, resolver));
    return ReturnBytes(buffer, out_buffer, out_size, bytes_returned);
  }
  if ((info.attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
    return Fail(ERROR_NOT_A_REPARSE_POINT);
  std::string buffer;
  error = GetHostXattr(ObjectOf(object), kReparseAttributeName, &buffer);
  if (error != 0)
    return Fail(error == ENODATA ? ERROR_NOT_A_REPARSE_POINT : ErrorFromErrno(error));
  // A kept buffer the system would never have taken is damaged: it is not
  // handed on to be set elsewhere.
  DWORD check = CheckReparseBuffer(buffer);
  if (check != ERROR_SUCCESS)
    return Fail(check);
  return ReturnBytes(buffer, out_buffer, out_size, bytes_returned);
}

BOOL SetReparsePoint(HandleObject& object, const PathResolver& resolver, std::string_view input) {
  if ((object.access & kModifyRights) == 0)
    return Fail(ERROR_ACCESS_DENIED);
  if (object.volume != nullptr && !object.volume->links)
    return Fail(ERROR_INVALID_FUNCTION);
  DWORD error = CheckReparseBuffer(input);
  if (error != ERROR_SUCCESS)
    return Fail(error);
  DWORD tag = ReparseTagOf(input);
  HostInfo info;
  int host_error = ReadHostInfo(Self(object), &info);
  if (host_error != 0)
    return Fail(HostError(host_error, object.host_path));
  if (info.reparse_tag != 0 && info.reparse_tag != tag)
    return Fail(ERROR_REPARSE_TAG_MISMATCH);

  std::string host_target;
  bool as_link = tag == IO_REPARSE_TAG_SYMLINK &&
                 HostTargetFromSymlink(*DecodeSymlinkReparse(input), resolver, &host_target) &&
                 (info.is_link || (info.attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0);
  if (as_link) {
    error = ReplaceWithLink(object, host_target);
    if (error != ERROR_SUCCESS)
      return Fail(error);
    // What the object kept of its own moves to the link where the host
    // allows it.
    HostObject link{object.host_path, -1};
    HostInfo link_info;
    if (!info.is_link && ReadHostInfo(link, &link_info) == 0)
      WriteDosInfo(link, link_info, info.attributes, info.creation_time);
    return TRUE;
  }
  if (info.is_link)
    return Fail(ERROR_REPARSE_ATTRIBUTE_CONFLICT);  // a link that cannot hold this target
  HostObject host = ObjectOf(object);
  host_error = SetHostXattr(host, kReparseAttributeName, std::string(input));
  if (host_error == 0) {
    host_error = WriteDosInfo(host, info, info.attributes | FILE_ATTRIBUTE_REPARSE_POINT,
                              info.creation_time);
  }
  return host_error == 0 ? TRUE : Fail(HostError(host_error, object.host_path));
}

BOOL DeleteReparsePoint(HandleObject& object, std::string_view input) {
  if ((object.access & kModifyRights) == 0)
    return Fail(ERROR_ACCESS_DENIED);
  if (input.size() < REPARSE_DATA_BUFFER_HEADER_SIZE)
    return Fail(ERROR_INVALID_REPARSE_DATA);
  HostInfo info;
  int host_error = ReadHostInfo(Self(object), &info);
  if (host_error != 0)
    return Fail(HostError(host_error, object.host_path));
  if (info.reparse_tag == 0)
    return Fail(ERROR_NOT_A_REPARSE_POINT);
  if (info.reparse_tag != ReparseTagOf(input))
    return Fail(ERROR_REPARSE_TAG_MISMATCH);
  if (info.is_link) {
    DWORD error = ReplaceLinkWithEmpty(object);
    return error == ERROR_SUCCESS ? TRUE : Fail(error);
  }
  HostObject host = ObjectOf(object);
  host_error = RemoveHostXattr(host, kReparseAttributeName);
  if (host_error == 0 || host_error == ENODATA) {
    host_error = WriteDosInfo(host, info, info.attributes & ~FILE_ATTRIBUTE_REPARSE_POINT,
                              info.creation_time);
  }
  return host_error == 0 ? TRUE : Fail(HostError(host_error, object.host_path));
}

}  // namespace

BOOL PosixOs::DeviceIoControl(HANDLE device, DWORD control_code, void* in_buffer, DWORD in_size,
                              void* out_buffer, DWORD out_size, DWORD* bytes_returned,
                              OVERLAPPED* overlapped) {
  if (bytes_returned != nullptr)
    *bytes_returned = 0;
  std::shared_ptr<HandleObject> object = Lookup(device);
  if (object == nullptr)
    return FALSE;
  if (object->kind != HandleObject::Kind::kFile)
    return Fail(ERROR_INVALID_HANDLE);
  // Compression and reparse points belong to the file, not to one stream.
  if (object->stream != nullptr)
    return Fail(ERROR_INVALID_FUNCTION);
  std::string_view input(static_cast<const char*>(in_buffer), in_buffer == nullptr ? 0 : in_size);
  switch (control_code) {
    case FSCTL_GET_COMPRESSION:
      return GetCompression(*object, out_buffer, out_size, bytes_returned);
    case FSCTL_SET_COMPRESSION:
      return SetCompression(*object, input);
    case FSCTL_GET_REPARSE_POINT:
      return GetReparsePoint(*object, resolver_, out_buffer, out_size, bytes_returned);
    case FSCTL_SET_REPARSE_POINT:
      return SetReparsePoint(*object, resolver_, input);
    case FSCTL_DELETE_REPARSE_POINT:
      return DeleteReparsePoint(*object, input);
    default:
      return Fail(ERROR_INVALID_FUNCTION);
  }
}

}  // namespace tarvik
