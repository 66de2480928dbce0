// The descriptors that files made by this process inherit, held in memory
// until their writing ends.
//
// A copy makes its target file with the descriptor the file inherits and
// replaces it with the source's a moment later. On ext4 the inherited
// descriptor, stored alone, lands in an extended-attribute block of its own
// that the replacement frees again (with a synchronous discard where the
// volume is mounted with it): a block allocated and freed for every file
// copied. So a new file's inherited descriptor is held here instead, and
// stored once: merged into the descriptor the creator sets, or as it is when
// the file's writing ends (pending_write.h) without one. Until then the file
// is marked unfinished on the host, and this process shows it with the
// descriptor held for it.
#ifndef TARVIK_PLATFORM_POSIX_DEFERRED_DESCRIPTORS_H_
#define TARVIK_PLATFORM_POSIX_DEFERRED_DESCRIPTORS_H_

#include <array>
#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/sd/descriptor_bytes.h"
#include "platform/posix/share_table.h"

namespace tarvik {

class DeferredDescriptors {
 public:
  struct Held {
    ShareTable::Key identity;  // the file the descriptor belongs to
    DescriptorParts descriptor;
  };

  // Holds descriptor for the file just made at host_path (identity: its key).
  void Hold(const std::string& host_path, const ShareTable::Key& identity,
            DescriptorParts descriptor);
  // The descriptor held for the file at host_path, when there is one and the
  // file is the one identity names (none: whatever stands there).
  std::optional<DescriptorParts> Find(const std::string& host_path,
                                      const std::optional<ShareTable::Key>& identity) const;
  // Lets go of what is held for host_path: stored, or the file is gone.
  void Forget(const std::string& host_path);
  // Everything held, which is let go.
  std::vector<std::pair<std::string, Held>> TakeAll();

 private:
  // Split by path, each part with its own lock, so that the workers making
  // files side by side do not wait for each other.
  static constexpr size_t kShards = 16;
  struct alignas(64) Shard {
    std::mutex mutex;
    std::unordered_map<std::string, Held> held;
  };
  Shard& ShardOf(const std::string& host_path) const;

  // Most calls of a run that holds nothing are spared the locks.
  std::atomic<size_t> count_{0};
  mutable std::array<Shard, kShards> shards_;
};

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_POSIX_DEFERRED_DESCRIPTORS_H_
