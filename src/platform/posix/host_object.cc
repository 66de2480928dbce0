#include "platform/posix/host_object.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <algorithm>
#include <cerrno>

#include "platform/posix/dos_attributes.h"
#include "platform/posix/file_times.h"
#include "platform/posix/pending_write.h"
#include "platform/posix/reparse_points.h"

namespace tarvik {
namespace {

constexpr DWORD kStoredAttributes =
    kSettableAttributes | FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_REPARSE_POINT;

uint64_t NtTime(const struct statx_timestamp& time) {
  return NtTimeFromUnix(time.tv_sec, time.tv_nsec);
}

// The creation time a file without a stored one shows: its birth time where
// the host keeps one, else the oldest of its other times.
uint64_t HostCreationTime(const struct statx& info) {
  if (info.stx_mask & STATX_BTIME)
    return NtTime(info.stx_btime);
  return std::min(NtTime(info.stx_mtime), NtTime(info.stx_ctime));
}

}  // namespace

int GetHostXattr(const HostObject& object, const char* name, std::string* value) {
  auto read = [&](void* buffer, size_t size) {
    return object.fd >= 0 ? ::fgetxattr(object.fd, name, buffer, size)
                          : ::lgetxattr(object.path.c_str(), name, buffer, size);
  };
  // Most values are small, and many are missing: a first read into the
  // stack allocates nothing for a missing one.
  char small[256];
  const ssize_t first = read(small, sizeof(small));
  if (first >= 0) {
    value->assign(small, static_cast<size_t>(first));
    return 0;
  }
  if (errno != ERANGE)
    return errno;
  // Larger: ask its size, then read it (again if it grew meanwhile).
  for (;;) {
    const ssize_t needed = read(nullptr, 0);
    if (needed < 0)
      return errno;
    value->resize(static_cast<size_t>(needed) + 1);
    const ssize_t size = read(value->data(), value->size());
    if (size >= 0) {
      value->resize(static_cast<size_t>(size));
      return 0;
    }
    if (errno != ERANGE)
      return errno;
  }
}

int SetHostXattr(const HostObject& object, const char* name, const std::string& value) {
  int result = object.fd >= 0
                   ? ::fsetxattr(object.fd, name, value.data(), value.size(), 0)
                   : ::lsetxattr(object.path.c_str(), name, value.data(), value.size(), 0);
  return result == 0 ? 0 : errno;
}

int RemoveHostXattr(const HostObject& object, const char* name) {
  int result =
      object.fd >= 0 ? ::fremovexattr(object.fd, name) : ::lremovexattr(object.path.c_str(), name);
  return result == 0 ? 0 : errno;
}

int ListHostXattrs(const HostObject& object, std::vector<std::string>* names) {
  std::string list(256, '\0');
  for (;;) {
    ssize_t size = object.fd >= 0 ? ::flistxattr(object.fd, list.data(), list.size())
                                  : ::llistxattr(object.path.c_str(), list.data(), list.size());
    if (size >= 0) {
      list.resize(static_cast<size_t>(size));
      break;
    }
    if (errno != ERANGE)
      return errno;
    ssize_t needed = object.fd >= 0 ? ::flistxattr(object.fd, nullptr, 0)
                                    : ::llistxattr(object.path.c_str(), nullptr, 0);
    if (needed < 0)
      return errno;
    list.resize(static_cast<size_t>(needed) + 1);
  }
  names->clear();
  for (size_t start = 0; start < list.size();) {
    size_t end = list.find('\0', start);
    if (end == std::string::npos)
      end = list.size();
    if (end > start)
      names->emplace_back(list, start, end - start);
    start = end + 1;
  }
  return 0;
}

namespace {

// The DOS information an object keeps in its extended attributes.
struct StoredDos {
  std::optional<DosInfo> info;
  DWORD reparse_tag = 0;  // of the kept buffer, when the attributes mark a reparse point
  bool damaged = false;
};

// Whether names, when given, hold name.
bool MayHold(const std::vector<std::string>* names, const char* name) {
  return names == nullptr || std::find(names->begin(), names->end(), name) != names->end();
}

// names, when given, are the object's attribute names listed a moment ago.
StoredDos ReadStoredDos(const HostObject& object, bool is_link,
                        const std::vector<std::string>* names = nullptr) {
  StoredDos stored;
  std::string value;
  // A link's attributes are read by its path.
  HostObject link;
  if (is_link)
    link = HostObject{object.path, -1};
  const HostObject& self = is_link ? link : object;
  const char* name = is_link ? kLinkDosAttributeName : kDosAttributeName;
  if (!MayHold(names, name) || GetHostXattr(self, name, &value) != 0)
    return stored;
  stored.info = DecodeDosAttrib(value);
  if (!stored.info) {
    stored.damaged = true;
    return stored;
  }
  if (is_link || !stored.info->attributes ||
      (*stored.info->attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return stored;
  }
  std::string buffer;
  if (MayHold(names, kReparseAttributeName) &&
      GetHostXattr(self, kReparseAttributeName, &buffer) == 0)
    stored.reparse_tag = ReparseTagOf(buffer);
  stored.damaged = stored.reparse_tag == 0;
  return stored;
}

}  // namespace

DWORD StoredDirectoryAttributes(const std::string& directory) {
  // "/." reaches the directory itself where the path is a link to it.
  StoredDos stored = ReadStoredDos(HostObject{directory + "/.", -1}, false);
  return stored.info && stored.info->attributes ? *stored.info->attributes : 0;
}

bool DosInfoDamaged(const HostObject& object) {
  return ReadStoredDos(object, false).damaged;
}

int ReadHostInfo(const HostObject& object, HostInfo* info, const HostInfoHints& hints) {
  struct statx host;
  if (hints.stored_dos_only) {
    host = {};
    host.stx_mode = S_IFREG;
  } else if (hints.known_stat != nullptr) {
    host = *hints.known_stat;
  } else {
    int result = object.fd >= 0 ? ::statx(object.fd, "", AT_EMPTY_PATH, kHostInfoMask, &host)
                                : ::statx(AT_FDCWD, object.path.c_str(), AT_SYMLINK_NOFOLLOW,
                                          kHostInfoMask, &host);
    if (result != 0)
      return errno;
  }
  *info = HostInfo{};
  info->is_link = S_ISLNK(host.stx_mode);
  info->is_directory = S_ISDIR(host.stx_mode);
  if (info->is_link) {
    // A link to a directory is a directory link, as the platform keeps them.
    struct stat target;
    info->is_directory = ::stat(object.path.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
  }
  info->size = S_ISREG(host.stx_mode) ? host.stx_size : 0;
  info->index = host.stx_ino;
  info->device = (static_cast<uint64_t>(host.stx_dev_major) << 32) | host.stx_dev_minor;
  info->links = host.stx_nlink;
  info->last_access_time = NtTime(host.stx_atime);
  info->last_write_time = NtTime(host.stx_mtime);
  info->creation_time = hints.stored_dos_only ? 0 : HostCreationTime(host);
  if (IsWritePending(host.stx_mode)) {
    info->write_pending = true;
    const bool reads_record =
        !hints.without_pending_time && MayHold(hints.attribute_names, kPendingWriteTimeName);
    info->last_write_time = reads_record ? PendingWriteTime(object, &info->write_time_recorded) : 0;
  }
  if (host.stx_mask & STATX_BTIME) {
    info->birth =
        static_cast<uint64_t>(host.stx_btime.tv_sec) * 1000000000ull + host.stx_btime.tv_nsec;
  }

  // A link's own attributes are not among those listed through a descriptor.
  const StoredDos stored =
      ReadStoredDos(object, info->is_link, info->is_link ? nullptr : hints.attribute_names);
  info->dos_info_damaged = stored.damaged;
  DWORD attributes = info->is_directory ? 0 : FILE_ATTRIBUTE_ARCHIVE;
  if (stored.info && stored.info->attributes) {
    info->has_stored = true;
    info->stored_attributes = *stored.info->attributes;
    attributes = *stored.info->attributes & kStoredAttributes;
  }
  if (stored.info && stored.info->creation_time)
    info->creation_time = *stored.info->creation_time;

  if (info->is_link) {
    attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    info->reparse_tag = IO_REPARSE_TAG_SYMLINK;
  } else if (stored.reparse_tag != 0) {
    info->reparse_tag = stored.reparse_tag;
  } else {
    attributes &= ~FILE_ATTRIBUTE_REPARSE_POINT;
  }
  if (info->is_directory)
    attributes |= FILE_ATTRIBUTE_DIRECTORY;
  info->attributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
  return 0;
}

int WriteDosInfo(const HostObject& object, const HostInfo& info, DWORD attributes,
                 uint64_t creation_time) {
  DWORD stored = attributes & kStoredAttributes;
  if (info.is_link)
    stored &= ~FILE_ATTRIBUTE_REPARSE_POINT;
  else if (info.is_directory)
    stored |= FILE_ATTRIBUTE_DIRECTORY;  // as Samba stores a directory's
  // Nothing to keep when the stored state (or, without one, what the object
  // shows by default) already says it.
  DWORD current = info.has_stored                      ? info.stored_attributes
                  : info.is_directory && !info.is_link ? FILE_ATTRIBUTE_DIRECTORY
                  : info.is_directory                  ? 0
                                                       : FILE_ATTRIBUTE_ARCHIVE;
  if (stored == current && creation_time == info.creation_time)
    return 0;
  std::string value = EncodeDosAttrib(stored, creation_time);
  if (!info.is_link)
    return SetHostXattr(object, kDosAttributeName, value);
  HostObject link{object.path, -1};
  int error = SetHostXattr(link, kLinkDosAttributeName, value);
  // Without the right to trusted.* attributes a link keeps no metadata of
  // its own.
  return error == EPERM || error == ENOTSUP ? 0 : error;
}

int SetHostTimes(const HostObject& object, const uint64_t* last_access,
                 const uint64_t* last_write) {
  struct timespec times[2];
  times[0] = last_access ? TimespecFromNtTime(*last_access) : timespec{0, UTIME_OMIT};
  times[1] = last_write ? TimespecFromNtTime(*last_write) : timespec{0, UTIME_OMIT};
  int result = object.fd >= 0
                   ? ::futimens(object.fd, times)
                   : ::utimensat(AT_FDCWD, object.path.c_str(), times, AT_SYMLINK_NOFOLLOW);
  return result == 0 ? 0 : errno;
}

}  // namespace tarvik
