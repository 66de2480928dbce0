#include "platform/posix/pending_write.h"

#include <cerrno>
#include <span>
#include <string>

#include "common/sd/byte_order.h"

namespace tarvik {
namespace {

// Sets or clears the bit; *changed tells whether the mode had to change.
int ChangeMode(const HostObject& file, bool pending, bool* changed) {
  *changed = false;
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
  if (result != 0)
    return errno;
  *changed = true;
  return 0;
}

}  // namespace

uint64_t PendingWriteTime(const HostObject& file, bool* recorded) {
  std::string value;
  *recorded = GetHostXattr(file, kPendingWriteTimeName, &value) == 0 && value.size() == 8;
  if (!*recorded)
    return 0;
  return ReadLe64(std::span(reinterpret_cast<const uint8_t*>(value.data()), value.size()), 0);
}

int BeginPendingWrite(const HostObject& file) {
  bool changed;
  return ChangeMode(file, true, &changed);
}

int RecordPendingWriteTime(const HostObject& file, uint64_t time) {
  std::string value(8, '\0');
  WriteLe64(std::span(reinterpret_cast<uint8_t*>(value.data()), value.size()), 0, time);
  return SetHostXattr(file, kPendingWriteTimeName, value);
}

int RemovePendingWriteTime(const HostObject& file) {
  return RemoveHostXattr(file, kPendingWriteTimeName);
}

int EndPendingWrite(const HostObject& file, bool removes_record) {
  // The bit goes first: a record without it is never read. A file that was
  // not pending has no record worth removing.
  bool changed;
  int error = ChangeMode(file, false, &changed);
  if (error == 0 && changed && removes_record) {
    error = RemovePendingWriteTime(file);
    if (error == ENODATA)
      error = 0;
  }
  return error;
}

}  // namespace tarvik
