// The objects behind HANDLE values. A handle is a small number (a multiple of
// four, as on the platform it stands for) that indexes a table; the objects are
// shared so that a call in progress keeps its object alive while another
// thread closes the handle. The handles of one host object obey each other's
// sharing modes through a ShareTable.
#ifndef TARVIK_PLATFORM_POSIX_HANDLE_TABLE_H_
#define TARVIK_PLATFORM_POSIX_HANDLE_TABLE_H_

#include <sys/stat.h>

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/find_state.h"
#include "platform/posix/share_table.h"
#include "platform/posix/stream_state.h"
#include "platform/win_types.h"
#include "platform/world.h"

namespace tarvik {

struct HandleObject {
  enum class Kind { kConsole, kFile, kFind, kToken };

  HandleObject(Kind kind_in, int fd_in, bool owns_fd_in)
      : kind(kind_in), fd(fd_in), owns_fd(owns_fd_in) {}
  ~HandleObject();
  HandleObject(const HandleObject&) = delete;
  HandleObject& operator=(const HandleObject&) = delete;

  // Closes the descriptor now (once); returns the errno of close(), or 0.
  int Close();

  const Kind kind;
  int fd;
  const bool owns_fd;

  // Files.
  std::wstring path;  // as the caller named it
  std::string host_path;
  DWORD access = 0;  // GENERIC_* / FILE_* rights granted
  bool delete_on_close = false;
  bool is_directory = false;
  // Opened as the symbolic link itself (fd is an O_PATH descriptor, or -1
  // once the link was replaced): metadata goes through host_path.
  bool is_link = false;
  // No data: an O_PATH descriptor, or none at all for a handle opened for
  // metadata alone; metadata goes through host_path.
  bool path_only = false;
  // The size of a regular file when the handle opened it; a positioned read
  // that comes up short exactly there has met the end of the file, without
  // another read to be told so. The maximum where unknown.
  uint64_t size_at_open = UINT64_MAX;
  // A large file opened for sequential reading is read ahead of its reader
  // (see ReadAhead in posix_files.cc); read_ahead_end is where what was
  // asked of the host so far ends.
  bool reads_ahead = false;
  std::atomic<uint64_t> read_ahead_end{0};
  // What the look at the path found when a handle for metadata alone was
  // opened (not through a link): a SetFileTime goes by it, since what it
  // needs of it stays while the object does (its kind and birth time), or
  // changes only with a writer of this process at work on the same file
  // (whether its writing has ended).
  std::optional<struct statx> looked_at_open;
  // Opened to replace the data of a file left unfinished without a stored
  // descriptor (see deferred_descriptors.h).
  bool lacks_inherited_descriptor = false;
  const WorldVolume* volume = nullptr;  // null: a host path off every drive
  std::string volume_root;              // the host directory of the drive or share
  // Records the handle's open in table (see ShareTable::Open); false when
  // it conflicts. The record goes with ReleaseShare, or with the object.
  bool TakeShare(ShareTable& table, const ShareTable::Key& key, DWORD data_access,
                 DWORD share_mode);
  void ReleaseShare();
  // The key of the object the handle opened, where the handle knows it
  // without a look: from the look at its open, or from its share record.
  std::optional<ShareTable::Key> identity() const;
  // The host object behind the handle was replaced by another (a file by a
  // link, say): the handle's record moves to key, the new object, so that
  // the old one's records do not outlive it. False, holding no record, when
  // the new object is already open in a way the handle's record conflicts
  // with.
  bool MoveShare(const ShareTable::Key& key);
  // Times set through this handle (NT times, 0 = none). As on NTFS, later
  // writes through the handle keep them instead of moving the last-write
  // time on: a copy in progress keeps the time its writer chose.
  std::atomic<uint64_t> kept_last_access{0};
  std::atomic<uint64_t> kept_last_write{0};
  // The file's writing has not ended (see pending_write.h): this handle made
  // it pending, or recorded a last-write time for it. A handle that wrote
  // data, reserved space or recorded a time ends that when it closes.
  std::atomic<bool> write_pending{false};
  std::atomic<bool> write_time_recorded{false};
  std::atomic<bool> wrote{false};

  // A named data stream of the object at host_path (fd is open on that
  // object): the stream's value and position. Null for the object's own data.
  std::unique_ptr<StreamState> stream;

  // Searches.
  std::unique_ptr<FindState> find;

  // Consoles.
  bool is_terminal = false;
  std::atomic<DWORD> console_mode{0};

 private:
  ShareTable* share_table_ = nullptr;  // null: no part taken
  ShareTable::Key share_key_;
  DWORD share_access_ = 0;
  DWORD share_mode_ = 0;
};

class HandleTable {
 public:
  // The table is split in shards, each with its own lock.
  static constexpr size_t kShards = 64;

  HANDLE Add(std::shared_ptr<HandleObject> object);
  // Null for a value that names no open handle.
  std::shared_ptr<HandleObject> Get(HANDLE handle) const;
  // Takes the object out of the table; null when the handle was not open.
  std::shared_ptr<HandleObject> Remove(HANDLE handle);

 private:
  struct alignas(64) Shard {
    mutable std::mutex mutex;
    std::vector<std::shared_ptr<HandleObject>> slots;
    std::vector<size_t> free_slots;
  };

  static bool SlotOf(HANDLE handle, size_t* shard, size_t* slot);

  std::array<Shard, kShards> shards_;
};

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_POSIX_HANDLE_TABLE_H_
