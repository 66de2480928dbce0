#include "platform/posix/pending_write.h"

#include <sys/xattr.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace tarvik {
namespace {

int ChangeMode(const HostObject& file, bool pending) {
  struct stat info;
  int result = file.fd >= 0 ? ::fstat(file.fd, &info) : ::lstat(file.path.c_str(), &info);
  if (result != 0)
    return errno;
  if (!S_ISREG(info.st_mode))
    return 0;
  mode_t mode = info.st_mode & 07777;
  mode_t wanted = pending ? mode | kWritePendingBit : mode & ~kWritePendingBit;
  if (wanted == mode)
    return 0;
  result = file.fd >= 0 ? ::fchmod(file.fd, wanted) : ::chmod(file.path.c_str(), wanted);
  return result == 0 ? 0 : errno;
}

}  // namespace

uint64_t PendingWriteTime(int fd, const char* path, bool* recorded) {
  unsigned char value[8];
  ssize_t size = fd >= 0 ? ::fgetxattr(fd, kPendingWriteTimeName, value, sizeof(value))
                         : ::lgetxattr(path, kPendingWriteTimeName, value, sizeof(value));
  *recorded = size == static_cast<ssize_t>(sizeof(value));
  if (!*recorded)
    return 0;
  uint64_t time = 0;
  for (int i = 7; i >= 0; --i)
    time = (time << 8) | value[i];
  return time;
}

int BeginPendingWrite(const HostObject& file) {
  return ChangeMode(file, true);
}

int RecordPendingWriteTime(const HostObject& file, uint64_t time) {
  std::string value(8, '\0');
  for (int i = 0; i < 8; ++i)
    value[i] = static_cast<char>(time >> (8 * i));
  return SetHostXattr(file, kPendingWriteTimeName, value);
}

int RemovePendingWriteTime(const HostObject& file) {
  return RemoveHostXattr(file, kPendingWriteTimeName);
}

int EndPendingWrite(const HostObject& file, bool removes_record) {
  // The bit goes first: a record without it is never read.
  int error = ChangeMode(file, false);
  if (error == 0 && removes_record) {
    error = RemovePendingWriteTime(file);
    if (error == ENODATA)
      error = 0;
  }
  return error;
}

}  // namespace tarvik
