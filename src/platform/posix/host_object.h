// The NT view of a host file, directory or symbolic link: its attributes,
// times, size and reparse tag, made from the host's own metadata and the
// extended attributes that keep what the host has no place for (see
// dos_attributes.h and reparse_points.h).
#ifndef TARVIK_PLATFORM_POSIX_HOST_OBJECT_H_
#define TARVIK_PLATFORM_POSIX_HOST_OBJECT_H_

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace tarvik {

// One host object: its path (the object itself: a symbolic link is not
// followed) and, when open, a descriptor that the metadata calls may use.
struct HostObject {
  std::string path;
  int fd = -1;  // -1: use the path (a link, or a descriptor opened without data access)
};

struct HostInfo {
  DWORD attributes = 0;
  uint64_t creation_time = 0;  // NT times
  uint64_t last_access_time = 0;
  uint64_t last_write_time = 0;
  uint64_t size = 0;
  uint64_t index = 0;  // the inode
  uint64_t device = 0;
  uint64_t birth = 0;  // the host's birth time in nanoseconds since 1970, 0 where it keeps none
  DWORD links = 1;
  DWORD reparse_tag = 0;  // with FILE_ATTRIBUTE_REPARSE_POINT
  bool is_directory = false;
  bool is_link = false;              // a host symbolic link
  DWORD stored_attributes = 0;       // as kept in the attribute (or the default)
  bool has_stored = false;           // the DOS attribute exists
  bool write_pending = false;        // a file whose writing has not ended (see pending_write.h)
  bool write_time_recorded = false;  // ... with its last-write time recorded
  // The stored DOS attributes cannot be decoded, or mark a reparse point whose
  // buffer is missing: what the object shows is a default, not what it is.
  bool dos_info_damaged = false;
};

// The attributes that SetFileAttributesW can change; the others belong to the
// object's kind (directory, reparse point) or to other calls (compression).
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// What ReadHostInfo asks of statx.
constexpr unsigned kHostInfoMask = STATX_BASIC_STATS | STATX_BTIME;

// What the caller of ReadHostInfo already knows, or does not need: each
// spares host calls.
struct HostInfoHints {
  // The object's statx (kHostInfoMask), read a moment ago.
  const struct statx* known_stat = nullptr;
  // The names of the object's extended attributes, listed a moment ago:
  // those absent are not read.
  const std::vector<std::string>* attribute_names = nullptr;
  // The last-write time of a file whose writing has not ended is not needed:
  // its record is not read (last_write_time and write_time_recorded of such
  // a file are then not what it shows).
  bool without_pending_time = false;
  // The object is a file (not a directory, nor a link) open on the
  // descriptor, and only what WriteDosInfo needs of it is wanted: its stored
  // attributes and creation time, without a statx. A creation time that is
  // not stored then reads as 0, so that setting one always stores it.
  bool stored_dos_only = false;
};

// 0, or the errno of the host's failure.
int ReadHostInfo(const HostObject& object, HostInfo* info, const HostInfoHints& hints = {});

// The DOS attributes a directory keeps stored (of the directory a link at
// the path leads to); 0 when it keeps none or they cannot be read. One host
// call, where ReadHostInfo takes two.
DWORD StoredDirectoryAttributes(const std::string& directory);

// Whether the object's stored DOS attributes cannot be read (as
// HostInfo::dos_info_damaged says), without the rest of ReadHostInfo.
bool DosInfoDamaged(const HostObject& object);

// Stores attributes (settable ones, compressed, and the reparse-point mark of
// a kept reparse buffer) and the creation time, unless info (the object's
// current state) shows them already. A symbolic link keeps them where the
// host allows it, or not at all. Returns 0 or an errno.
int WriteDosInfo(const HostObject& object, const HostInfo& info, DWORD attributes,
                 uint64_t creation_time);

// Extended attributes of the object itself. Get returns ENODATA when absent.
int GetHostXattr(const HostObject& object, const char* name, std::string* value);
int SetHostXattr(const HostObject& object, const char* name, const std::string& value);
int RemoveHostXattr(const HostObject& object, const char* name);
// The names of the object's extended attributes (those the caller may see).
int ListHostXattrs(const HostObject& object, std::vector<std::string>* names);

// Sets the host times (null: unchanged); the object itself, not a link's target.
int SetHostTimes(const HostObject& object, const uint64_t* last_access, const uint64_t* last_write);

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_POSIX_HOST_OBJECT_H_
