// The sharing modes of the handles open in the process.
#ifndef TARVIK_PLATFORM_POSIX_SHARE_TABLE_H_
#define TARVIK_PLATFORM_POSIX_SHARE_TABLE_H_

#include <sys/stat.h>
#include <sys/types.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/win_types.h"

namespace tarvik {

// The sharing modes of the handles open in the process, by host object: a
// handle that reads, writes or deletes an object takes part with that access
// and the sharing mode it was opened with (FILE_SHARE_*), and a new such
// handle must fit both ways, as the platform's open does. A handle that asks
// only for attributes or security takes no part. Safe to use from any thread.
class ShareTable {
 public:
  // A host object: (st_dev, st_ino) and its birth time where the host
  // keeps one, so that an inode number the host gives again to a new object
  // never meets the records of the old one.
  struct Key {
    dev_t device = 0;
    ino_t inode = 0;
    uint64_t birth = 0;  // nanoseconds since 1970; 0 where the host keeps none
    // A named data stream of the object (its attribute's name), whose
    // sharing is its own, as on NTFS; empty for the object's own data.
    std::string stream;
    bool operator==(const Key&) const = default;
    // Whether other names the same object, whichever of its streams.
    bool SameObject(const Key& other) const {
      return device == other.device && inode == other.inode && birth == other.birth;
    }
  };

  // The key of the object open on fd; false (errno set) when the host
  // cannot tell.
  static bool KeyOfDescriptor(int fd, Key* key);
  // The key of the object at path itself (a link is not followed).
  static bool KeyOfPath(const std::string& path, Key* key);
  // The key of the object a statx asked for STATX_INO and STATX_BTIME describes.
  static Key KeyOfStatx(const struct statx& info);

  // The data access that desired_access (and FILE_FLAG_DELETE_ON_CLOSE in
  // flags) asks for, in the bits of the sharing mode: FILE_SHARE_READ for
  // reading (or executing), FILE_SHARE_WRITE for writing or appending,
  // FILE_SHARE_DELETE for deleting. 0: a metadata-only open.
  static DWORD DataAccessOf(DWORD desired_access, DWORD flags);

  // Records an open of key for access (as DataAccessOf gives it, not 0)
  // sharing share_mode; false, recording nothing, when it conflicts with an
  // open recorded before.
  bool Open(const Key& key, DWORD access, DWORD share_mode);
  // Forgets one open recorded with these values.
  void Close(const Key& key, DWORD access, DWORD share_mode);
  // True when every open of key shares FILE_SHARE_DELETE, so the object may
  // be deleted or renamed.
  bool AllowsDelete(const Key& key) const;

 private:
  // How many opens there are, how many of them have each access, and how
  // many share each access.
  struct Counts {
    uint32_t opens = 0;
    uint32_t readers = 0, writers = 0, deleters = 0;
    uint32_t shared_read = 0, shared_write = 0, shared_delete = 0;
  };
  struct KeyHash {
    size_t operator()(const Key& key) const;
  };

  // The table is split by key, each part with its own lock, so that the
  // opens of different files do not wait for each other.
  static constexpr size_t kShards = 16;
  struct alignas(64) Shard {
    std::mutex mutex;
    std::unordered_map<Key, Counts, KeyHash> counts;
  };
  Shard& ShardOf(const Key& key) const;

  mutable std::array<Shard, kShards> shards_;
};

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_POSIX_SHARE_TABLE_H_
