// PosixOs: opening, reading and writing files, and the calls on the metadata
// of files and directories by handle or by name.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/posix/errno_map.h"
#include "platform/posix/file_lookup.h"
#include "platform/posix/file_times.h"
#include "platform/posix/handle_writes.h"
#include "platform/posix/host_object.h"
#include "platform/posix/name_mapping.h"
#include "platform/posix/object_security.h"
#include "platform/posix/pending_write.h"
#include "platform/posix/posix_os.h"
#include "platform/posix/stream_names.h"
#include "platform/posix/stream_store.h"

namespace tarvik {
namespace {

constexpr DWORD kReadRights = GENERIC_READ | GENERIC_ALL | FILE_READ_DATA;
constexpr DWORD kWriteRights = GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA;
constexpr DWORD kWriteAttributeRights = GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_ATTRIBUTES;

// What an open step answers when the object appeared or vanished between
// the look and the open: look again.
constexpr DWORD kLookAgain = 0xFFFFFFFF;

// How often a creation retries when the file appears or vanishes between the
// look and the open.
constexpr int kOpenAttempts = 16;
// Files from this size on are read with the sequential hint, and ahead of
// their reader.
constexpr off_t kSequentialHintSize = 512 * 1024;
// How far ahead of a sequential reader the host is asked to read, and how
// near the reader may come to the end of that before it is asked again.
// The host's own read-ahead grows only as the reader catches up with it and
// keeps a single request in flight: a cold read of a large file reached
// half of what the disk gives. 16 MiB ahead read no faster than 8, and 64
// workers reading large files hold at most 512 MiB ahead of them.
constexpr uint64_t kReadAheadWindow = 8 << 20;
constexpr uint64_t kReadAheadRefill = 4 << 20;

BOOL Fail(DWORD error) {
  Os::SetLastError(error);
  return FALSE;
}

HANDLE FailHandle(DWORD error) {
  Os::SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

int OpenRetryingInterrupts(const std::string& path, int flags, mode_t mode = 0666) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

HostObject ObjectOf(const HandleObject& object) {
  return HostObject{object.host_path, object.is_link || object.path_only ? -1 : object.fd};
}

// After a last-write time was set through the handle: a handle that may
// write the file's data keeps that time where its writes cannot move it
// (a copy in progress keeps the mark its writer chose, whatever instant the
// process dies at); one that may not sets the time of a finished file.
// known: the object's state read just before, or null.
int KeepWriteTime(HandleObject& object, uint64_t write_time, const HostInfo* known) {
  HostObject host = ObjectOf(object);
  if (object.is_directory || object.is_link)
    return 0;
  // A stream's writes never move the file's time: nothing to keep, but a
  // file being written shows its recorded time, which follows the new one.
  if (object.stream != nullptr) {
    HostInfo info;
    if (known == nullptr && ReadHostInfo(host, &info) == 0)
      known = &info;
    return known != nullptr && known->write_time_recorded ? RecordPendingWriteTime(host, write_time)
                                                          : 0;
  }
  if ((object.access & kWriteRights) == 0) {
    if (known != nullptr && !known->write_pending)
      return 0;
    return EndPendingWrite(host, true);
  }
  // Where the host refuses the mark (a file of another owner) or the record
  // (no user attributes), the time is put back after every write instead:
  // a process that dies in the middle of a write leaves the host's time.
  if (!object.write_pending) {
    if (BeginPendingWrite(host) != 0)
      return 0;
    object.write_pending = true;
  }
  if (RecordPendingWriteTime(host, write_time) != 0) {
    EndPendingWrite(host, false);
    object.write_pending = false;
    return 0;
  }
  object.write_time_recorded = true;
  object.wrote = true;
  return 0;
}

// A time the caller passes to mean "leave it": zero, or all ones (which also
// asks to stop updating the time on later changes).
bool KeepsTime(const FILETIME* time) {
  if (time == nullptr)
    return true;
  uint64_t value = NtTimeFromFileTime(*time);
  return value == 0 || value == 0xFFFFFFFFFFFFFFFFull || value == 0xFFFFFFFFFFFFFFFEull;
}

bool IsDirectoryHost(const std::string& host_path) {
  struct stat info;
  return ::stat(host_path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// What CreateFileW was asked for.
struct OpenRequest {
  DWORD access = 0;
  DWORD share_mode = 0;
  DWORD disposition = 0;
  DWORD flags = 0;
  bool path_is_link = false;  // the path names a symbolic link (followed or not)
};

// Whether the open replaces the data of an existing file.
bool Replaces(const OpenRequest& request) {
  return request.disposition == CREATE_ALWAYS || request.disposition == TRUNCATE_EXISTING;
}

// Whether the open makes the file when nothing is there.
bool MayCreate(const OpenRequest& request) {
  return request.disposition == CREATE_NEW || request.disposition == CREATE_ALWAYS ||
         request.disposition == OPEN_ALWAYS;
}

// Whether the listing the index keeps of the path's directory lacks its
// last name (see DirectoryIndex::LacksName).
bool LikelyNew(const ResolvedPath& resolved, DirectoryIndex& names) {
  return !resolved.IsRoot() && !HasMappedCharacters(resolved.components.back()) &&
         names.LacksName(ParentOf(resolved.host), NameOf(resolved.host));
}

ShareTable::Key ShareKeyOf(const HostInfo& info) {
  return {makedev(static_cast<unsigned>(info.device >> 32), static_cast<unsigned>(info.device)),
          static_cast<ino_t>(info.index),
          info.birth,
          {}};
}

// Records the new handle in the sharing of the object it opened, before
// anything is changed: ERROR_SHARING_VIOLATION when it does not fit the
// handles already open.
// known_key, when given, is the object's key as read a moment ago.
DWORD TakeShare(ShareTable& shares, const OpenRequest& request, HandleObject& file,
                const ShareTable::Key* known_key = nullptr) {
  DWORD access = ShareTable::DataAccessOf(request.access, request.flags);
  if (access == 0)
    return ERROR_SUCCESS;
  ShareTable::Key key;
  if (known_key != nullptr)
    key = *known_key;
  else if (!ShareTable::KeyOfDescriptor(file.fd, &key))
    return ErrorFromErrno(errno);
  if (!file.TakeShare(shares, key, access, request.share_mode))
    return ERROR_SHARING_VIOLATION;
  return ERROR_SUCCESS;
}

// ERROR_SHARING_VIOLATION when a handle open on the object does not let it
// be deleted or renamed.
DWORD CheckDeleteShare(const ShareTable& shares, const HostInfo& info) {
  return shares.AllowsDelete(ShareKeyOf(info)) ? ERROR_SUCCESS : ERROR_SHARING_VIOLATION;
}

DWORD InheritedCompression(const ResolvedPath& resolved, const std::string& host) {
  if (resolved.volume != nullptr && !resolved.volume->compression)
    return 0;
  return StoredDirectoryAttributes(ParentOf(host)) & FILE_ATTRIBUTE_COMPRESSED;
}

// The platform's rules on the attributes of an object being opened: the
// read-only attribute is the platform's, not the host's (the account may well
// be allowed to write the host file), and replacing a hidden or system file
// needs the caller to keep those attributes.
DWORD CheckAttributes(const HostInfo& meta, const OpenRequest& request) {
  bool want_write = (request.access & kWriteRights) != 0;
  bool replaces = Replaces(request);
  bool deletes = (request.flags & FILE_FLAG_DELETE_ON_CLOSE) != 0;
  bool changes_data = !meta.is_directory && (want_write || replaces);
  if ((meta.attributes & FILE_ATTRIBUTE_READONLY) && (deletes || changes_data))
    return ERROR_ACCESS_DENIED;
  if (request.disposition == CREATE_ALWAYS) {
    DWORD kept = meta.attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    if ((kept & ~request.flags) != 0)
      return ERROR_ACCESS_DENIED;
  }
  return ERROR_SUCCESS;
}

DWORD OpenLink(const std::string& host, const OpenRequest& request, ShareTable& shares,
               std::shared_ptr<HandleObject>* out) {
  if (Replaces(request))
    return ERROR_ACCESS_DENIED;
  if (request.flags & FILE_FLAG_DELETE_ON_CLOSE) {
    HostInfo meta;
    if (ReadHostInfo(HostObject{host, -1}, &meta) == 0 &&
        (meta.attributes & FILE_ATTRIBUTE_READONLY)) {
      return ERROR_ACCESS_DENIED;
    }
  }
  int fd = OpenRetryingInterrupts(host, O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0)
    return errno == ENOENT ? kLookAgain : ErrorFromErrno(errno);
  auto link = std::make_shared<HandleObject>(HandleObject::Kind::kFile, fd, true);
  link->host_path = host;
  link->is_link = true;
  link->is_directory = IsDirectoryHost(host);
  DWORD error = TakeShare(shares, request, *link);
  if (error != ERROR_SUCCESS)
    return error;
  *out = std::move(link);
  return ERROR_SUCCESS;
}

// The host open flags for the data of a file (not a directory).
int FileOpenFlags(const OpenRequest& request) {
  bool want_read = (request.access & kReadRights) != 0;
  bool want_write = (request.access & kWriteRights) != 0;
  bool writes = want_write || Replaces(request);
  int flags = O_CLOEXEC | O_NOCTTY;
  flags |= want_read && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
  if (want_write && (request.access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA)) == 0)
    flags |= O_APPEND;
  if (request.flags & FILE_FLAG_WRITE_THROUGH)
    flags |= O_DSYNC;
  return flags;
}

// Opens host with flags; reading a source must not change its access time
// where the host allows.
int OpenData(const std::string& host, int flags) {
  if ((flags & O_ACCMODE) != O_RDONLY)
    return OpenRetryingInterrupts(host, flags);
  int fd = OpenRetryingInterrupts(host, flags | O_NOATIME);
  if (fd < 0 && errno == EPERM)
    fd = OpenRetryingInterrupts(host, flags);
  return fd;
}

// Whether the request needs only the object's security, attributes or
// times, which go through the path: its handle needs no host descriptor.
bool NeedsNoData(const OpenRequest& request) {
  return (request.access & (kReadRights | kWriteRights)) == 0 && !Replaces(request) &&
         ShareTable::DataAccessOf(request.access, request.flags) == 0;
}

// The open of an existing object once its host descriptor is there: checks
// the attribute rules on what was opened, records the share, and only then
// truncates. opened, when given, is the descriptor's statx (kHostInfoMask).
DWORD FinishOpen(std::shared_ptr<HandleObject> file, const OpenRequest& request, ShareTable& shares,
                 const struct statx* opened, std::shared_ptr<HandleObject>* out) {
  const DWORD disposition = request.disposition;
  const bool want_read = (request.access & kReadRights) != 0;
  const bool want_write = (request.access & kWriteRights) != 0;
  const bool replaces = Replaces(request);
  const bool directory = file->is_directory;
  const HostObject host = ObjectOf(*file);
  // Data read with attributes that cannot be read would be copied as what it
  // is not: the object is reported damaged instead.
  if (want_read && !want_write && !replaces && !directory && DosInfoDamaged(host))
    return ERROR_FILE_CORRUPT;
  // Overwritten data takes the file's named streams with it, as on NTFS; the
  // listing of its attributes also spares reading those it does not have.
  std::vector<std::string> names;
  HostInfoHints hints;
  hints.known_stat = opened;
  if (replaces) {
    int list_error = ListAttributesForStreams(host, &names);
    if (list_error != 0)
      return ErrorFromErrno(list_error);
    hints.attribute_names = &names;
  }
  bool checks_attributes =
      want_write || replaces || (request.flags & FILE_FLAG_DELETE_ON_CLOSE) != 0;
  HostInfo meta;
  if (checks_attributes) {
    int meta_error = ReadHostInfo(host, &meta, hints);
    if (meta_error != 0)
      return ErrorFromErrno(meta_error);
    DWORD error = CheckAttributes(meta, request);
    if (error != ERROR_SUCCESS)
      return error;
  }
  // A file left unfinished, by a process that ended before it stored the
  // descriptor the file inherited, is to inherit it again.
  file->lacks_inherited_descriptor = replaces && meta.write_pending && !HasStoredDescriptor(names);
  // Only a handle that cannot change the size itself keeps it.
  const bool keeps_size = !want_write && !replaces && !directory && !file->path_only;
  ShareTable::Key key;
  if (checks_attributes) {
    key = ShareKeyOf(meta);
    if (keeps_size && !meta.is_link)
      file->size_at_open = meta.size;
  } else {
    // One look gives the object's identity and, for a reader, its size.
    struct statx looked;
    if (opened == nullptr) {
      if (::statx(file->fd, "", AT_EMPTY_PATH, STATX_TYPE | STATX_SIZE | STATX_INO | STATX_BTIME,
                  &looked) != 0) {
        return ErrorFromErrno(errno);
      }
      opened = &looked;
    }
    key = ShareTable::KeyOfStatx(*opened);
    if (keeps_size && S_ISREG(opened->stx_mode))
      file->size_at_open = opened->stx_size;
  }
  DWORD share_error = TakeShare(shares, request, *file, &key);
  if (share_error != ERROR_SUCCESS)
    return share_error;
  if (replaces) {
    // The file is marked unfinished before its data goes; a time recorded
    // for an earlier writing no longer says anything.
    if (!meta.write_pending && BeginPendingWrite(host) == 0)
      meta.write_pending = true;
    if (meta.write_time_recorded)
      RemovePendingWriteTime(host);
    file->write_pending = meta.write_pending;
    // An empty file (one made a moment ago for its descriptor) is left as it
    // is: on ext4 a truncation also makes the close flush the data at once.
    if (meta.size != 0 && ::ftruncate(file->fd, 0) != 0)
      return ErrorFromErrno(errno);
    int stream_error = RemoveAllStreams(host, names);
    if (stream_error != 0)
      return ErrorFromErrno(stream_error);
  }
  if (disposition == CREATE_ALWAYS) {
    // An overwritten file takes the attributes of the request; it keeps its
    // creation time.
    DWORD attributes = (request.flags & kSettableAttributes) | FILE_ATTRIBUTE_ARCHIVE |
                       (meta.attributes & FILE_ATTRIBUTE_COMPRESSED);
    int write_error = WriteDosInfo(host, meta, attributes, meta.creation_time);
    if (write_error != 0)
      return ErrorFromErrno(write_error);
  }
  *out = std::move(file);
  return ERROR_SUCCESS;
}

// Opens an existing object (what a link at the path points to, unless the
// request is for the link itself) that a look at the path found.
DWORD OpenExisting(const ResolvedPath& resolved, const struct statx& info,
                   const OpenRequest& request, ShareTable& shares,
                   std::shared_ptr<HandleObject>* out) {
  const std::string& host = resolved.host;
  DWORD disposition = request.disposition;
  if (disposition == CREATE_NEW)
    return ERROR_FILE_EXISTS;
  if (S_ISLNK(info.stx_mode))
    return OpenLink(host, request, shares, out);
  bool want_read = (request.access & kReadRights) != 0;
  bool want_write = (request.access & kWriteRights) != 0;
  bool replaces = Replaces(request);
  bool directory = S_ISDIR(info.stx_mode);
  // Directories open only for backup semantics, and are never replaced.
  if (directory && ((request.flags & FILE_FLAG_BACKUP_SEMANTICS) == 0 || replaces))
    return ERROR_ACCESS_DENIED;
  if (NeedsNoData(request) && !request.path_is_link) {
    // Security, attributes and times alone: the handle needs no host
    // descriptor (two calls fewer), its calls go through the path.
    auto file = std::make_shared<HandleObject>(HandleObject::Kind::kFile, -1, true);
    file->host_path = host;
    file->path_only = true;
    file->is_directory = directory;
    file->looked_at_open = info;
    *out = std::move(file);
    return ERROR_SUCCESS;
  }
  int fd = OpenData(
      host, directory ? O_CLOEXEC | O_NOCTTY | O_RDONLY | O_DIRECTORY : FileOpenFlags(request));
  bool path_only = false;
  // Opening only to read or change metadata needs no right to the data.
  if (fd < 0 && errno == EACCES && !want_read && !want_write && !replaces) {
    fd = OpenRetryingInterrupts(host, O_PATH | O_CLOEXEC);
    path_only = fd >= 0;
  }
  if (fd < 0)
    return errno == ENOENT ? kLookAgain : ErrorFromErrno(errno);
  auto file = std::make_shared<HandleObject>(HandleObject::Kind::kFile, fd, true);
  file->host_path = host;
  file->path_only = path_only;
  file->is_directory = directory;
  return FinishOpen(std::move(file), request, shares, nullptr, out);
}

// What OpenAsNamed answers besides ERROR_SUCCESS and the errors of the file
// it opened.
constexpr DWORD kNotThere = 0xFFFFFFFE;   // nothing at the path as named
constexpr DWORD kLookFirst = 0xFFFFFFFD;  // something else: look at the path first

// Opens the file the path names as written, without a look at it first:
// what most opens of an existing file's data meet. Links, directories and
// refusals go the long way, through a look.
// *size is the size of the file opened.
DWORD OpenAsNamed(const ResolvedPath& resolved, const OpenRequest& request, ShareTable& shares,
                  std::shared_ptr<HandleObject>* out, off_t* size) {
  if (request.disposition == CREATE_NEW || NeedsNoData(request))
    return kLookFirst;
  int fd = OpenData(resolved.host, FileOpenFlags(request) | O_NOFOLLOW);
  if (fd < 0)
    return errno == ENOENT ? kNotThere : kLookFirst;
  auto file = std::make_shared<HandleObject>(HandleObject::Kind::kFile, fd, true);
  file->host_path = resolved.host;
  struct statx opened;
  if (::statx(fd, "", AT_EMPTY_PATH, kHostInfoMask, &opened) != 0)
    return ErrorFromErrno(errno);
  if (S_ISDIR(opened.stx_mode))
    return kLookFirst;
  *size = static_cast<off_t>(opened.stx_size);
  return FinishOpen(std::move(file), request, shares, &opened, out);
}

// Whether the object open on the handle is what its host path names now.
bool StillAtItsPath(const HandleObject& object) {
  ShareTable::Key opened, named;
  return object.fd >= 0 && ShareTable::KeyOfDescriptor(object.fd, &opened) &&
         ShareTable::KeyOfPath(object.host_path, &named) && opened == named;
}

// Whether the creator gives the new object a descriptor of its own instead
// of the one it would inherit.
bool GivesDescriptor(const SECURITY_ATTRIBUTES* security_attributes) {
  return security_attributes != nullptr && security_attributes->lpSecurityDescriptor != nullptr;
}

// Whether new objects on the volume are open to every host user (files
// 0666, directories 0777) whatever the umask: where the server lets the NT
// ACL alone decide, the host must not refuse a user what the ACL grants.
bool OpensHostModes(const WorldVolume* volume) {
  return volume != nullptr && volume->ignore_system_acls;
}

// Creates the file; it inherits its descriptor for creator, the token's
// user, unless creator is null.
DWORD CreateNew(const ResolvedPath& resolved, const OpenRequest& request, const SidValue* creator,
                ShareTable& shares, DeferredDescriptors& deferred,
                std::shared_ptr<HandleObject>* out) {
  const std::string& host = resolved.host;
  if (!MayCreate(request))
    return NotFoundError(host);
  if (resolved.IsRoot())
    return ERROR_ACCESS_DENIED;
  bool want_read = (request.access & kReadRights) != 0;
  int flags = O_CLOEXEC | O_NOCTTY | O_CREAT | O_EXCL | (want_read ? O_RDWR : O_WRONLY);
  if ((request.access & kWriteRights) != 0 &&
      (request.access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA)) == 0) {
    flags |= O_APPEND;
  }
  if (request.flags & FILE_FLAG_WRITE_THROUGH)
    flags |= O_DSYNC;
  // Born unfinished: no instant shows the new file as complete.
  int fd = OpenRetryingInterrupts(host, flags, 0666 | kWritePendingBit);
  if (fd < 0) {
    if (errno == EEXIST)
      return kLookAgain;
    return HostError(errno, host);
  }
  if (OpensHostModes(resolved.volume) && ::fchmod(fd, 0666 | kWritePendingBit) != 0) {
    const int error = errno;
    ::close(fd);
    ::unlink(host.c_str());
    return HostError(error, host);
  }
  *out = std::make_shared<HandleObject>(HandleObject::Kind::kFile, fd, true);
  (*out)->host_path = host;
  (*out)->write_pending = true;
  // One look at the new file gives its identity and its host owner.
  struct statx created;
  if (::statx(fd, "", AT_EMPTY_PATH, STATX_INO | STATX_BTIME | STATX_UID | STATX_GID, &created) !=
      0) {
    const int error = errno;
    ::unlink(host.c_str());
    *out = nullptr;
    return HostError(error, host);
  }
  const ShareTable::Key key = ShareTable::KeyOfStatx(created);
  // Another thread opened the new file before its creator could record it:
  // as if that one had come first.
  DWORD share_error = TakeShare(shares, request, **out, &key);
  if (share_error != ERROR_SUCCESS) {
    *out = nullptr;
    return share_error == ERROR_SHARING_VIOLATION ? kLookAgain : share_error;
  }
  // A new file gets the requested attributes and the archive bit, and is
  // compressed in a compressed directory.
  DWORD attributes = (request.flags & kSettableAttributes) | FILE_ATTRIBUTE_ARCHIVE;
  attributes |= InheritedCompression(resolved, host);
  if (attributes != FILE_ATTRIBUTE_ARCHIVE) {
    HostInfo meta;
    int write_error = ReadHostInfo(ObjectOf(**out), &meta);
    if (write_error == 0)
      write_error = WriteDosInfo(ObjectOf(**out), meta, attributes, meta.creation_time);
    if (write_error != 0) {
      ::unlink(host.c_str());
      *out = nullptr;
      return ErrorFromErrno(write_error);
    }
  }
  if (creator != nullptr) {
    // Born unfinished, the file is shown with the descriptor it inherits,
    // which is stored when its writing ends or merged into the one its
    // creator sets first.
    const HostOwner owner{created.stx_uid, created.stx_gid};
    DWORD error = ERROR_SUCCESS;
    std::optional<DescriptorParts> inherited =
        InheritedDescriptorOf(ObjectOf(**out), false, *creator, &owner, &error);
    if (error != ERROR_SUCCESS) {
      ::unlink(host.c_str());
      *out = nullptr;
      return error;
    }
    if (inherited)
      deferred.Hold(host, key, std::move(*inherited));
  }
  return ERROR_SUCCESS;
}

}  // namespace

// --- Opening ---

HANDLE PosixOs::CreateFileW(const wchar_t* file_name, DWORD desired_access, DWORD share_mode,
                            SECURITY_ATTRIBUTES* security_attributes, DWORD creation_disposition,
                            DWORD flags_and_attributes, HANDLE template_file) {
  if (file_name == nullptr || creation_disposition < CREATE_NEW ||
      creation_disposition > TRUNCATE_EXISTING) {
    return FailHandle(ERROR_INVALID_PARAMETER);
  }
  bool want_write = (desired_access & kWriteRights) != 0;
  if (creation_disposition == TRUNCATE_EXISTING && !want_write)
    return FailHandle(ERROR_INVALID_PARAMETER);
  // The system access list is open only to a holder of the enabled
  // security privilege.
  if ((desired_access & ACCESS_SYSTEM_SECURITY) != 0 &&
      !token_.IsPrivilegeEnabled(L"SeSecurityPrivilege")) {
    return FailHandle(ERROR_PRIVILEGE_NOT_HELD);
  }
  std::wstring_view file_path, stream;
  DWORD error = SplitStreamPath(file_name, &file_path, &stream);
  if (error != ERROR_SUCCESS)
    return FailHandle(error);
  if (!stream.empty()) {
    return CreateStreamW(file_name, std::wstring(file_path), std::wstring(stream), desired_access,
                         share_mode, security_attributes, creation_disposition,
                         flags_and_attributes);
  }
  ResolvedPath resolved;
  error = resolver_.Resolve(file_path, &resolved);
  if (error != ERROR_SUCCESS)
    return FailHandle(error);

  OpenRequest request;
  request.access = desired_access;
  request.share_mode = share_mode & (FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  request.disposition = creation_disposition;
  request.flags = flags_and_attributes;
  std::shared_ptr<HandleObject> file;
  bool existed = false;
  off_t size = 0;
  for (int attempt = 0; attempt < kOpenAttempts && file == nullptr; ++attempt) {
    struct statx info;
    bool follow = (flags_and_attributes & FILE_FLAG_OPEN_REPARSE_POINT) == 0;
    // The object itself first; a link is followed only when it is there.
    bool missing = false;
    auto probe = [&] {
      missing = false;
      if (::statx(AT_FDCWD, resolved.host.c_str(), AT_SYMLINK_NOFOLLOW, kHostInfoMask, &info) !=
          0) {
        missing = errno == ENOENT;
        return errno;
      }
      request.path_is_link = S_ISLNK(info.stx_mode);
      if (follow && request.path_is_link &&
          ::statx(AT_FDCWD, resolved.host.c_str(), 0, kHostInfoMask, &info) != 0)
        return errno;
      return 0;
    };
    // Most opens meet a file at the name as written: it is opened at once,
    // and its look comes from its descriptor. A name the directory's
    // listing lacks is most likely new: the open that could create it skips
    // that first open and goes to the case look-up and the creation.
    if (attempt > 0)
      error = kLookFirst;
    else if (MayCreate(request) && LikelyNew(resolved, resolver_.names()))
      error = kNotThere;
    else
      error = OpenAsNamed(resolved, request, shares_, &file, &size);
    if (error != kLookFirst && error != kNotThere) {
      if (error != ERROR_SUCCESS)
        return FailHandle(error);
      existed = true;
      break;
    }
    int host_error;
    if (error == kNotThere) {
      missing = true;
      host_error = ENOENT;
    } else {
      host_error = probe();
    }
    if ((host_error == ENOENT || host_error == ENOTDIR) && resolver_.MatchCase(&resolved, missing))
      host_error = probe();
    if (host_error == 0) {
      existed = true;
      size = static_cast<off_t>(info.stx_size);
      error = OpenExisting(resolved, info, request, shares_, &file);
    } else if (host_error == ENOENT) {
      existed = false;
      const std::string parent = ParentOf(resolved.host);
      const std::string name = NameOf(resolved.host);
      if (resolver_.names().BeginCreate(parent, name)) {
        const SidValue* creator =
            GivesDescriptor(security_attributes) ? nullptr : &world_.token.user;
        error = CreateNew(resolved, request, creator, shares_, deferred_, &file);
        resolver_.names().EndCreate(parent, name, error == ERROR_SUCCESS);
      } else {
        // Another letter case of the name is there, or on its way: let its
        // creator finish and look again.
        resolver_.names().WaitForCreation(parent, name);
        error = kLookAgain;
      }
    } else {
      error = host_error == ENOTDIR ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(host_error);
    }
    // The object appeared or vanished between the look and the open.
    if (error == kLookAgain)
      continue;
    if (error != ERROR_SUCCESS)
      return FailHandle(error);
  }
  if (file == nullptr)
    return FailHandle(ERROR_SHARING_VIOLATION);
  if (file->lacks_inherited_descriptor)
    HoldInheritedDescriptor(*file);

  file->path = file_name;
  file->access = desired_access;
  file->volume = resolved.volume;
  file->volume_root = resolved.root_host;
  file->delete_on_close = (flags_and_attributes & FILE_FLAG_DELETE_ON_CLOSE) != 0;
  // A file shorter than a few read-ahead windows gains nothing from the hint.
  if ((flags_and_attributes & FILE_FLAG_SEQUENTIAL_SCAN) && !file->is_directory && !file->is_link &&
      size >= kSequentialHintSize) {
    ::posix_fadvise(file->fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    file->reads_ahead = true;
  }
  HANDLE handle = handles_.Add(std::move(file));
  bool reports_existing =
      creation_disposition == CREATE_ALWAYS || creation_disposition == OPEN_ALWAYS;
  SetLastError(reports_existing && existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

// --- Data ---

namespace {

// Asks the host to read the file ahead of a sequential reader at offset:
// one request for the next few MiB whenever the reader comes near the end
// of the last one. A hint only: nothing fails with it.
void ReadAhead(HandleObject& object, uint64_t offset) {
  uint64_t end = object.read_ahead_end.load(std::memory_order_relaxed);
  if (offset + kReadAheadRefill < end)
    return;
  const uint64_t from = std::max(end, offset);
  const uint64_t to = offset + kReadAheadWindow;
  if (!object.read_ahead_end.compare_exchange_strong(end, to, std::memory_order_relaxed))
    return;  // another read of the handle asked meanwhile
  ::posix_fadvise(object.fd, static_cast<off_t>(from), static_cast<off_t>(to - from),
                  POSIX_FADV_WILLNEED);
}

}  // namespace

BOOL PosixOs::ReadFile(HANDLE file, void* buffer, DWORD bytes_to_read, DWORD* bytes_read,
                       OVERLAPPED* overlapped) {
  if (bytes_read != nullptr)
    *bytes_read = 0;
  std::shared_ptr<HandleObject> object = Lookup(file);
  if (object == nullptr)
    return FALSE;
  if (buffer == nullptr && bytes_to_read > 0)
    return Fail(ERROR_INVALID_PARAMETER);
  bool is_file = object->kind == HandleObject::Kind::kFile;
  if (object->kind == HandleObject::Kind::kFind)
    return Fail(ERROR_INVALID_HANDLE);
  if (is_file && (object->access & kReadRights) == 0)
    return Fail(ERROR_ACCESS_DENIED);
  if (object->stream != nullptr)
    return object->stream->Read(buffer, bytes_to_read, bytes_read, overlapped);
  if (is_file && (object->is_directory || object->is_link || object->path_only))
    return Fail(ERROR_INVALID_FUNCTION);
  if (overlapped != nullptr && !is_file)
    return Fail(ERROR_INVALID_PARAMETER);
  // A file read returns everything up to the end; a pipe or terminal returns
  // what is there.
  uint64_t offset = overlapped == nullptr ? 0
                                          : (static_cast<uint64_t>(overlapped->OffsetHigh) << 32) |
                                                overlapped->Offset;
  if (object->reads_ahead && overlapped != nullptr)
    ReadAhead(*object, offset);
  size_t total = 0;
  char* out = static_cast<char*>(buffer);
  while (total < bytes_to_read) {
    ssize_t got = overlapped == nullptr ? ::read(object->fd, out + total, bytes_to_read - total)
                                        : ::pread(object->fd, out + total, bytes_to_read - total,
                                                  static_cast<off_t>(offset + total));
    if (got < 0) {
      if (errno == EINTR)
        continue;
      if (errno == EISDIR)
        return Fail(ERROR_INVALID_FUNCTION);
      if (errno == EPIPE)
        break;
      return Fail(ErrorFromErrno(errno));
    }
    if (got == 0)
      break;
    total += static_cast<size_t>(got);
    if (!is_file)
      break;
    if (overlapped != nullptr && total < bytes_to_read && offset + total == object->size_at_open)
      break;
  }
  if (bytes_read != nullptr)
    *bytes_read = static_cast<DWORD>(total);
  if (overlapped != nullptr) {
    overlapped->Internal = 0;
    overlapped->InternalHigh = total;
    // A positioned read at or past the end of the file is a failure.
    if (total == 0 && bytes_to_read > 0)
      return Fail(ERROR_HANDLE_EOF);
  }
  return TRUE;
}

BOOL PosixOs::WriteFile(HANDLE file, const void* buffer, DWORD bytes_to_write, DWORD* bytes_written,
                        OVERLAPPED* overlapped) {
  if (bytes_written != nullptr)
    *bytes_written = 0;
  std::shared_ptr<HandleObject> object = Lookup(file);
  if (object == nullptr)
    return FALSE;
  if (buffer == nullptr && bytes_to_write > 0)
    return Fail(ERROR_INVALID_PARAMETER);
  if (object->kind == HandleObject::Kind::kFind)
    return Fail(ERROR_INVALID_HANDLE);
  bool is_file = object->kind == HandleObject::Kind::kFile;
  if (is_file && (object->access & kWriteRights) == 0)
    return Fail(ERROR_ACCESS_DENIED);
  if (object->stream != nullptr) {
    return object->stream->Write(ObjectOf(*object), buffer, bytes_to_write, bytes_written,
                                 overlapped);
  }
  if (is_file && (object->is_directory || object->is_link || object->path_only))
    return Fail(ERROR_INVALID_FUNCTION);
  if (overlapped == nullptr) {
    size_t written = 0;
    BOOL ok = WriteAll(*object, static_cast<const char*>(buffer), bytes_to_write, &written);
    if (bytes_written != nullptr)
      *bytes_written = static_cast<DWORD>(written);
    if (is_file && written > 0)
      WroteThrough(*object);
    return ok;
  }
  if (!is_file)
    return Fail(ERROR_INVALID_PARAMETER);
  uint64_t offset = (static_cast<uint64_t>(overlapped->OffsetHigh) << 32) | overlapped->Offset;
  if (offset == 0xFFFFFFFFFFFFFFFFull) {  // the end of the file
    struct stat info;
    if (::fstat(object->fd, &info) != 0)
      return Fail(ErrorFromErrno(errno));
    offset = static_cast<uint64_t>(info.st_size);
  }
  size_t total = 0;
  const char* data = static_cast<const char*>(buffer);
  BOOL ok = TRUE;
  while (total < bytes_to_write) {
    ssize_t done = ::pwrite(object->fd, data + total, bytes_to_write - total,
                            static_cast<off_t>(offset + total));
    if (done < 0) {
      if (errno == EINTR)
        continue;
      ok = Fail(errno == EBADF ? ERROR_ACCESS_DENIED : ErrorFromErrno(errno));
      break;
    }
    total += static_cast<size_t>(done);
  }
  if (bytes_written != nullptr)
    *bytes_written = static_cast<DWORD>(total);
  overlapped->Internal = 0;
  overlapped->InternalHigh = total;
  if (total > 0)
    WroteThrough(*object);
  return ok;
}

DWORD PosixOs::SetFilePointer(HANDLE file, LONG distance_low, LONG* distance_high, DWORD method) {
  std::shared_ptr<HandleObject> object = Lookup(file);
  if (object == nullptr)
    return INVALID_SET_FILE_POINTER;
  if (object->kind == HandleObject::Kind::kFind || object->is_link ||
      (object->path_only && object->stream == nullptr)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_SET_FILE_POINTER;
  }
  int64_t distance = distance_high == nullptr
                         ? static_cast<int64_t>(distance_low)
                         : static_cast<int64_t>((static_cast<uint64_t>(*distance_high) << 32) |
                                                static_cast<uint32_t>(distance_low));
  StreamState* stream = object->stream.get();
  int64_t base = 0;
  if (method == FILE_CURRENT) {
    base = stream != nullptr ? static_cast<int64_t>(stream->position())
                             : ::lseek(object->fd, 0, SEEK_CUR);
  } else if (method == FILE_END) {
    struct stat info;
    base = stream != nullptr                 ? static_cast<int64_t>(stream->size())
           : ::fstat(object->fd, &info) == 0 ? info.st_size
                                             : -1;
  } else if (method != FILE_BEGIN) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (base < 0) {
    SetLastError(ErrorFromErrno(errno));
    return INVALID_SET_FILE_POINTER;
  }
  int64_t target;
  if (__builtin_add_overflow(base, distance, &target) || target < 0) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return INVALID_SET_FILE_POINTER;
  }
  // Without a high part the position must be told in 32 bits.
  if (distance_high == nullptr && target >= static_cast<int64_t>(INVALID_SET_FILE_POINTER)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (stream != nullptr) {
    stream->set_position(static_cast<uint64_t>(target));
  } else if (::lseek(object->fd, target, SEEK_SET) < 0) {
    SetLastError(ErrorFromErrno(errno));
    return INVALID_SET_FILE_POINTER;
  }
  if (distance_high != nullptr)
    *distance_high = static_cast<LONG>(target >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(target);
}

BOOL PosixOs::SetEndOfFile(HANDLE file) {
  std::shared_ptr<HandleObject> object = Lookup(file);
  if (object == nullptr)
    return FALSE;
  if (object->kind != HandleObject::Kind::kFile)
    return Fail(ERROR_INVALID_HANDLE);
  if ((object->access & kWriteRights) == 0)
    return Fail(ERROR_ACCESS_DENIED);
  if (object->stream != nullptr)
    return object->stream->SetEnd(ObjectOf(*object));
  if (object->is_directory || object->is_link || object->path_only)
    return Fail(ERROR_INVALID_PARAMETER);
  off_t end = ::lseek(object->fd, 0, SEEK_CUR);
  struct stat info;
  if (end < 0 || ::fstat(object->fd, &info) != 0)
    return Fail(ErrorFromErrno(errno));
  if (end > info.st_size) {
    // The space is reserved, as the platform does, so that a full disk shows
    // here and not in the middle of the data.
    int result;
    do {
      result = ::fallocate(object->fd, 0, 0, end);
    } while (result != 0 && errno == EINTR);
    if (result == 0) {
      WroteThrough(*object);
      return TRUE;
    }
    if (errno != EOPNOTSUPP && errno != ENOSYS)
      return Fail(ErrorFromErrno(errno));
  }
  if (::ftruncate(object->fd, end) != 0)
    return Fail(ErrorFromErrno(errno));
  WroteThrough(*object);
  return TRUE;
}

BOOL PosixOs::FlushFileBuffers(HANDLE file) {
  std::shared_ptr<HandleObject> object = Lookup(file);
  if (object == nullptr)
    return FALSE;
  if (object->kind == HandleObject::Kind::kFind)
    return Fail(ERROR_INVALID_HANDLE);
  if (object->kind == HandleObject::Kind::kConsole) {
    // Terminals and pipes hold nothing back; a redirected file is synced.
    if (object->is_terminal)
      return Fail(ERROR_INVALID_HANDLE);
    if (::fsync(object->fd) != 0 && errno != EINVAL && errno != EROFS)
      return Fail(ErrorFromErrno(errno));
    return TRUE;
  }
  if ((object->access & kWriteRights) == 0)
    return Fail(ERROR_ACCESS_DENIED);
  if (object->is_link || object->path_only)
    return TRUE;
  if (::fsync(object->fd) != 0)
    return Fail(ErrorFromErrno(errno));
  return TRUE;
}

BOOL PosixOs::CloseHandle(HANDLE handle) {
  std::shared_ptr<HandleObject> object = handles_.Remove(handle);
  if (object == nullptr)
    return Fail(ERROR_INVALID_HANDLE);
  object->ReleaseShare();
  // The writer is done: the file shows the time the handle left on it.
  // A descriptor that cannot be stored leaves the file unfinished.
  DWORD store_error = ERROR_SUCCESS;
  if (object->write_pending && object->wrote && !object->delete_on_close) {
    PutBackSetTimes(*object);
    store_error = StoreHeldDescriptor(*object);
    if (store_error == ERROR_SUCCESS)
      EndPendingWrite(ObjectOf(*object), object->write_time_recorded);
  }
  // Only the object the handle opened goes: another may stand at its path
  // by now (the object was renamed, or replaced and made again).
  if (object->delete_on_close && object->stream != nullptr) {
    RemoveHostXattr(ObjectOf(*object), object->stream->attribute().c_str());
  } else if (object->delete_on_close && StillAtItsPath(*object)) {
    if (object->is_directory && !object->is_link)
      ::rmdir(object->host_path.c_str());
    else
      ::unlink(object->host_path.c_str());
    resolver_.names().Forget(ParentOf(object->host_path));
    deferred_.Forget(object->host_path);
  }
  // A call still running on another thread keeps the descriptor until it ends.
  if (object.use_count() == 1) {
    int error_number = object->Close();
    if (error_number != 0)
      return Fail(ErrorFromErrno(error_number));
  }
  return store_error == ERROR_SUCCESS ? TRUE : Fail(store_error);
}

// --- Metadata by handle ---

DWORD PosixOs::VolumeSerialOf(const HandleObject& object, uint64_t device) const {
  DWORD serial = object.volume != nullptr ? object.volume->serial : 0;
  const std::string& root = object.volume_root.empty() ? std::string("/") : object.volume_root;
  uint64_t root_device = 0;
  {
    std::lock_guard lock(root_devices_mutex_);
    auto known = root_devices_.find(root);
    if (known != root_devices_.end())
      root_device = known->second;
  }
  if (root_device == 0) {
    struct stat info;
    if (::stat(root.c_str(), &info) != 0)
      return serial;
    root_device = (static_cast<uint64_t>(major(info.st_dev)) << 32) | minor(info.st_dev);
    std::lock_guard lock(root_devices_mutex_);
    root_devices_[root] = root_device;
  }
  // A host file system mounted below the drive's root is another volume, as
  // a volume mounted in a folder is: its serial differs, so that objects of
  // the two never share an identity (inode numbers repeat between them).
  if (device == root_device)
    return serial;
  DWORD folded = static_cast<DWORD>((device >> 32) * 0x9E3779B1u) ^ static_cast<DWORD>(device);
  return serial ^ (folded == 0 ? 1 : folded);
}

BOOL PosixOs::GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information) {
  std::shared_ptr<HandleObject> object = Lookup(file);
  if (object == nullptr)
    return FALSE;
  if (object->kind != HandleObject::Kind::kFile)
    return Fail(ERROR_INVALID_HANDLE);
  if (information == nullptr)
    return Fail(ERROR_INVALID_PARAMETER);
  HostInfo info;
  int error = ReadHostInfo(ObjectOf(*object), &info);
  if (error != 0)
    return Fail(HostError(error, object->host_path));
  information->dwFileAttributes = info.attributes;
  information->ftCreationTime = FileTimeFromNtTime(info.creation_time);
  information->ftLastAccessTime = FileTimeFromNtTime(info.last_access_time);
  information->ftLastWriteTime = FileTimeFromNtTime(info.last_write_time);
  information->dwVolumeSerialNumber = VolumeSerialOf(*object, info.device);
  // A stream shows the file's metadata with its own size.
  uint64_t size = object->stream != nullptr ? object->stream->size() : info.size;
  information->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  information->nFileSizeLow = static_cast<DWORD>(size);
  information->nNumberOfLinks = info.links;
  information->nFileIndexHigh = static_cast<DWORD>(info.index >> 32);
  information->nFileIndexLow = static_cast<DWORD>(info.index);
  return TRUE;
}

BOOL PosixOs::GetFileTime(HANDLE file, FILETIME* creation, FILETIME* last_access,
                          FILETIME* last_write) {
  std::shared_ptr<HandleObject> object = Lookup(file);
  if (object == nullptr)
    return FALSE;
  if (object->kind != HandleObject::Kind::kFile)
    return Fail(ERROR_INVALID_HANDLE);
  HostInfo info;
  int error = ReadHostInfo(ObjectOf(*object), &info);
  if (error != 0)
    return Fail(HostError(error, object->host_path));
  if (creation != nullptr)
    *creation = FileTimeFromNtTime(info.creation_time);
  if (last_access != nullptr)
    *last_access = FileTimeFromNtTime(info.last_access_time);
  if (last_write != nullptr)
    *last_write = FileTimeFromNtTime(info.last_write_time);
  return TRUE;
}

BOOL PosixOs::SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* last_access,
                          const FILETIME* last_write) {
  std::shared_ptr<HandleObject> object = Lookup(file);
  if (object == nullptr)
    return FALSE;
  if (object->kind != HandleObject::Kind::kFile)
    return Fail(ERROR_INVALID_HANDLE);
  if ((object->access & kWriteAttributeRights) == 0)
    return Fail(ERROR_ACCESS_DENIED);
  HostObject host = ObjectOf(*object);
  HostInfo info;
  const HostInfo* known = nullptr;
  if (!KeepsTime(creation)) {
    // Only a stream's handle goes by the recorded last-write time (see
    // KeepWriteTime).
    HostInfoHints hints;
    hints.without_pending_time = object->stream == nullptr;
    // A writer of a file keeps its own time whatever the object's state: the
    // stored DOS information is all it needs.
    hints.stored_dos_only = host.fd >= 0 && object->stream == nullptr && !object->is_directory &&
                            (object->access & kWriteRights) != 0;
    if (object->looked_at_open)
      hints.known_stat = &*object->looked_at_open;
    int error = ReadHostInfo(host, &info, hints);
    known = &info;
    if (error == 0)
      error = WriteDosInfo(host, info, info.attributes, NtTimeFromFileTime(*creation));
    if (error != 0)
      return Fail(HostError(error, object->host_path));
  }
  uint64_t access_time = KeepsTime(last_access) ? 0 : NtTimeFromFileTime(*last_access);
  uint64_t write_time = KeepsTime(last_write) ? 0 : NtTimeFromFileTime(*last_write);
  if (access_time == 0 && write_time == 0)
    return TRUE;
  // A last-write time set without write rights ends the file's writing
  // (KeepWriteTime): its descriptor goes first.
  if (write_time != 0 && (object->access & kWriteRights) == 0 && object->stream == nullptr) {
    DWORD store_error = StoreHeldDescriptor(*object);
    if (store_error != ERROR_SUCCESS)
      return Fail(store_error);
  }
  int error = SetHostTimes(host, access_time != 0 ? &access_time : nullptr,
                           write_time != 0 ? &write_time : nullptr);
  if (error == 0 && write_time != 0)
    error = KeepWriteTime(*object, write_time, known);
  if (error != 0)
    return Fail(HostError(error, object->host_path));
  if (access_time != 0)
    object->kept_last_access = access_time;
  if (write_time != 0)
    object->kept_last_write = write_time;
  return TRUE;
}

// --- Metadata by name ---

DWORD PosixOs::GetFileAttributesW(const wchar_t* file_name) {
  ResolvedPath resolved;
  HostInfo info;
  DWORD error = ResolveExisting(resolver_, file_name, &resolved, &info);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return INVALID_FILE_ATTRIBUTES;
  }
  return info.attributes;
}

BOOL PosixOs::SetFileAttributesW(const wchar_t* file_name, DWORD attributes) {
  ResolvedPath resolved;
  HostInfo info;
  DWORD error = ResolveExisting(resolver_, file_name, &resolved, &info);
  if (error != ERROR_SUCCESS)
    return Fail(error);
  // FILE_ATTRIBUTE_NORMAL alone clears them all; compression and reparse
  // points have calls of their own.
  DWORD settable = attributes & kSettableAttributes;
  if (info.is_directory)
    settable &= ~FILE_ATTRIBUTE_TEMPORARY;
  DWORD kept = info.attributes & (FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_REPARSE_POINT);
  int host_error =
      WriteDosInfo(HostObject{resolved.host, -1}, info, settable | kept, info.creation_time);
  if (host_error != 0)
    return Fail(HostError(host_error, resolved.host));
  return TRUE;
}

// --- Names ---

BOOL PosixOs::CreateDirectoryW(const wchar_t* path, SECURITY_ATTRIBUTES* security_attributes) {
  ResolvedPath resolved;
  HostInfo info;
  DWORD error = ResolveExisting(resolver_, path, &resolved, &info);
  if (error == ERROR_SUCCESS)
    return Fail(ERROR_ALREADY_EXISTS);
  if (error != ERROR_FILE_NOT_FOUND)
    return Fail(error);
  const std::string parent = ParentOf(resolved.host);
  const std::string name = NameOf(resolved.host);
  // Another letter case of the name being made by another thread: that one
  // is the directory.
  if (!resolver_.names().BeginCreate(parent, name))
    return Fail(ERROR_ALREADY_EXISTS);
  bool made = ::mkdir(resolved.host.c_str(), 0777) == 0;
  int mkdir_error = errno;
  if (made && OpensHostModes(resolved.volume) && ::chmod(resolved.host.c_str(), 0777) != 0) {
    mkdir_error = errno;
    ::rmdir(resolved.host.c_str());
    made = false;
  }
  // A directory left without the descriptor it inherits is not made.
  DWORD inherit_error = ERROR_SUCCESS;
  if (made && !GivesDescriptor(security_attributes)) {
    inherit_error =
        StoreInheritedDescriptor(HostObject{resolved.host, -1}, true, world_.token.user);
    if (inherit_error != ERROR_SUCCESS) {
      ::rmdir(resolved.host.c_str());
      made = false;
    }
  }
  resolver_.names().EndCreate(parent, name, made);
  if (inherit_error != ERROR_SUCCESS)
    return Fail(inherit_error);
  if (!made) {
    return Fail(mkdir_error == EEXIST ? ERROR_ALREADY_EXISTS
                                      : HostError(mkdir_error, resolved.host));
  }
  if (DWORD compressed = InheritedCompression(resolved, resolved.host)) {
    HostObject directory{resolved.host, -1};
    if (ReadHostInfo(directory, &info) == 0)
      WriteDosInfo(directory, info, info.attributes | compressed, info.creation_time);
  }
  return TRUE;
}

BOOL PosixOs::RemoveDirectoryW(const wchar_t* path) {
  ResolvedPath resolved;
  HostInfo info;
  DWORD error = ResolveExisting(resolver_, path, &resolved, &info);
  if (error != ERROR_SUCCESS)
    return Fail(error);
  if (resolved.IsRoot())
    return Fail(ERROR_ACCESS_DENIED);
  if (!info.is_directory)
    return Fail(ERROR_DIRECTORY);
  if (info.attributes & FILE_ATTRIBUTE_READONLY)
    return Fail(ERROR_ACCESS_DENIED);
  error = CheckDeleteShare(shares_, info);
  if (error != ERROR_SUCCESS)
    return Fail(error);
  // A directory link goes, not what it points to.
  int result = info.is_link ? ::unlink(resolved.host.c_str()) : ::rmdir(resolved.host.c_str());
  resolver_.names().Forget(ParentOf(resolved.host));
  if (result != 0)
    return Fail(errno == EEXIST ? ERROR_DIR_NOT_EMPTY : HostError(errno, resolved.host));
  return TRUE;
}

BOOL PosixOs::DeleteFileW(const wchar_t* file_name) {
  if (file_name == nullptr)
    return Fail(ERROR_INVALID_PARAMETER);
  std::wstring_view file_path, stream;
  DWORD error = SplitStreamPath(file_name, &file_path, &stream);
  if (error != ERROR_SUCCESS)
    return Fail(error);
  if (!stream.empty())
    return DeleteStreamW(std::wstring(file_path), std::wstring(stream));
  // Without a stream the file's path is the whole name.
  ResolvedPath resolved;
  HostInfo info;
  error = ResolveExisting(resolver_, file_name, &resolved, &info);
  if (error != ERROR_SUCCESS)
    return Fail(error);
  if (info.is_directory || (info.attributes & FILE_ATTRIBUTE_READONLY))
    return Fail(ERROR_ACCESS_DENIED);
  error = CheckDeleteShare(shares_, info);
  if (error != ERROR_SUCCESS)
    return Fail(error);
  const int result = ::unlink(resolved.host.c_str());
  const int unlink_error = errno;
  resolver_.names().Forget(ParentOf(resolved.host));
  if (result != 0)
    return Fail(HostError(unlink_error, resolved.host));
  deferred_.Forget(resolved.host);
  return TRUE;
}

BOOL PosixOs::MoveFileW(const wchar_t* existing_name, const wchar_t* new_name) {
  ResolvedPath source;
  HostInfo source_info;
  DWORD error = ResolveExisting(resolver_, existing_name, &source, &source_info);
  if (error != ERROR_SUCCESS)
    return Fail(error);
  if (new_name == nullptr)
    return Fail(ERROR_INVALID_PARAMETER);
  ResolvedPath target;
  error = resolver_.Resolve(new_name, &target);
  if (error != ERROR_SUCCESS)
    return Fail(error);
  if (source.IsRoot() || target.IsRoot())
    return Fail(ERROR_ACCESS_DENIED);
  error = CheckDeleteShare(shares_, source_info);
  if (error != ERROR_SUCCESS)
    return Fail(error);
  resolver_.MatchCase(&target);
  // What is held for the file's old name is stored before the name goes.
  error = StoreHeldDescriptor(HostObject{source.host, -1}, ShareKeyOf(source_info));
  if (error != ERROR_SUCCESS)
    return Fail(error);
  struct stat existing;
  if (::lstat(target.host.c_str(), &existing) == 0) {
    // Only the object itself may stand there: a change of the letter case
    // of its name, or no change at all.
    bool same = existing.st_ino == source_info.index &&
                existing.st_dev == makedev(static_cast<unsigned>(source_info.device >> 32),
                                           static_cast<unsigned>(source_info.device));
    if (!same)
      return Fail(ERROR_ALREADY_EXISTS);
    target.host = ParentOf(target.host) + "/" + HostNameFromWindows(target.components.back());
    target.host_as_named = false;
    if (target.host == source.host)
      return TRUE;
  }
  int result =
      ::renameat2(AT_FDCWD, source.host.c_str(), AT_FDCWD, target.host.c_str(), RENAME_NOREPLACE);
  if (result != 0 && errno == EINVAL) {
    // A file system without the no-replace flag: the look above stands.
    result = ::rename(source.host.c_str(), target.host.c_str());
  }
  const int rename_error = errno;
  resolver_.names().Forget(ParentOf(source.host));
  resolver_.names().Forget(ParentOf(target.host));
  errno = rename_error;
  if (result != 0) {
    if (errno == EEXIST || errno == ENOTEMPTY)
      return Fail(ERROR_ALREADY_EXISTS);
    if (errno == ENOENT)
      return Fail(ERROR_PATH_NOT_FOUND);
    return Fail(ErrorFromErrno(errno));
  }
  return TRUE;
}

}  // namespace tarvik
