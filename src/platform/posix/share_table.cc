#include "platform/posix/share_table.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <functional>

namespace tarvik {

namespace {

// FILE_EXECUTE (FILE_TRAVERSE on a directory): reading, as far as sharing goes.
constexpr DWORD kFileExecute = 0x0020;

constexpr DWORD kReadAccess =
    GENERIC_READ | GENERIC_EXECUTE | GENERIC_ALL | FILE_READ_DATA | kFileExecute;
constexpr DWORD kWriteAccess = GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA;
constexpr DWORD kDeleteAccess = GENERIC_ALL | DELETE;

bool KeyOf(int directory, const char* path, int flags, ShareTable::Key* key) {
  struct statx info;
  if (::statx(directory, path, flags, STATX_INO | STATX_BTIME, &info) != 0)
    return false;
  *key = ShareTable::KeyOfStatx(info);
  return true;
}

}  // namespace

ShareTable::Key ShareTable::KeyOfStatx(const struct statx& info) {
  Key key;
  key.device = makedev(info.stx_dev_major, info.stx_dev_minor);
  key.inode = info.stx_ino;
  key.birth =
      (info.stx_mask & STATX_BTIME)
          ? static_cast<uint64_t>(info.stx_btime.tv_sec) * 1000000000ull + info.stx_btime.tv_nsec
          : 0;
  return key;
}

DWORD ShareTable::DataAccessOf(DWORD desired_access, DWORD flags) {
  DWORD access = 0;
  if (desired_access & kReadAccess)
    access |= FILE_SHARE_READ;
  if (desired_access & kWriteAccess)
    access |= FILE_SHARE_WRITE;
  if ((desired_access & kDeleteAccess) || (flags & FILE_FLAG_DELETE_ON_CLOSE))
    access |= FILE_SHARE_DELETE;
  return access;
}

bool ShareTable::KeyOfDescriptor(int fd, Key* key) {
  return KeyOf(fd, "", AT_EMPTY_PATH, key);
}

bool ShareTable::KeyOfPath(const std::string& path, Key* key) {
  return KeyOf(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, key);
}

size_t ShareTable::KeyHash::operator()(const Key& key) const {
  return std::hash<uint64_t>()(static_cast<uint64_t>(key.inode) * 0x9E3779B97F4A7C15ull ^
                               static_cast<uint64_t>(key.device) ^ key.birth) ^
         std::hash<std::string>()(key.stream);
}

ShareTable::Shard& ShareTable::ShardOf(const Key& key) const {
  return shards_[(KeyHash()(key) >> 8) % kShards];
}

bool ShareTable::Open(const Key& key, DWORD access, DWORD share_mode) {
  Shard& shard = ShardOf(key);
  std::lock_guard lock(shard.mutex);
  Counts& counts = shard.counts[key];
  // What every open so far lets others do, and what some open so far does.
  DWORD shared_by_all = (counts.shared_read == counts.opens ? FILE_SHARE_READ : 0) |
                        (counts.shared_write == counts.opens ? FILE_SHARE_WRITE : 0) |
                        (counts.shared_delete == counts.opens ? FILE_SHARE_DELETE : 0);
  DWORD in_use = (counts.readers > 0 ? FILE_SHARE_READ : 0) |
                 (counts.writers > 0 ? FILE_SHARE_WRITE : 0) |
                 (counts.deleters > 0 ? FILE_SHARE_DELETE : 0);
  if ((access & ~shared_by_all) != 0 || (in_use & ~share_mode) != 0) {
    if (counts.opens == 0)
      shard.counts.erase(key);
    return false;
  }
  ++counts.opens;
  counts.readers += (access & FILE_SHARE_READ) != 0;
  counts.writers += (access & FILE_SHARE_WRITE) != 0;
  counts.deleters += (access & FILE_SHARE_DELETE) != 0;
  counts.shared_read += (share_mode & FILE_SHARE_READ) != 0;
  counts.shared_write += (share_mode & FILE_SHARE_WRITE) != 0;
  counts.shared_delete += (share_mode & FILE_SHARE_DELETE) != 0;
  return true;
}

void ShareTable::Close(const Key& key, DWORD access, DWORD share_mode) {
  Shard& shard = ShardOf(key);
  std::lock_guard lock(shard.mutex);
  auto found = shard.counts.find(key);
  if (found == shard.counts.end())
    return;
  Counts& counts = found->second;
  if (--counts.opens == 0) {
    shard.counts.erase(found);
    return;
  }
  counts.readers -= (access & FILE_SHARE_READ) != 0;
  counts.writers -= (access & FILE_SHARE_WRITE) != 0;
  counts.deleters -= (access & FILE_SHARE_DELETE) != 0;
  counts.shared_read -= (share_mode & FILE_SHARE_READ) != 0;
  counts.shared_write -= (share_mode & FILE_SHARE_WRITE) != 0;
  counts.shared_delete -= (share_mode & FILE_SHARE_DELETE) != 0;
}

bool ShareTable::AllowsDelete(const Key& key) const {
  Shard& shard = ShardOf(key);
  std::lock_guard lock(shard.mutex);
  auto found = shard.counts.find(key);
  return found == shard.counts.end() || found->second.shared_delete == found->second.opens;
}

}  // namespace tarvik
