// DirLevel: one directory on the walk stack, with its open search, its
// sorted entries and the sub-directories waiting for descent.
#ifndef TARVIK_SCAN_DIR_LEVEL_H_
#define TARVIK_SCAN_DIR_LEVEL_H_

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "platform/win_types.h"
#include "scan/find_data.h"

namespace tarvik {

enum class LevelState : int32_t {
  kNew = 0,
  kReading = 1,
  kReadCompletely = 2,
  kTakingSubDirs = 3,  // sub-directories being taken
  kNoDescent = 4,      // no (more) descent: no /s, or the depth limit
  kReadFailed = 5,     // reading failed and was abandoned
};

struct DirLevel {
  DirLevel() = default;
  // Closes a search left open.
  ~DirLevel();
  DirLevel(const DirLevel&) = delete;
  DirLevel& operator=(const DirLevel&) = delete;

  void CloseSearch();
  // The next sorted entry, or null when the array is used up.
  std::unique_ptr<FindData> TakeSortedEntry();
  bool HasSortedEntries() const { return next_sorted < sorted_entries.size(); }

  DirLevel* parent = nullptr;  // the level below on the stack; null at the root
  HANDLE find_handle = nullptr;
  uint32_t pattern_index = 0;  // unsorted reading only
  size_t path_length = 0;      // length of the relative path when pushed
  LevelState state = LevelState::kNew;
  DWORD attributes = 0;  // of the directory itself
  std::unique_ptr<FindData> own_entry;
  // Sorted reading: the whole directory, read and sorted on the first call,
  // then handed out from the front (next_sorted is the front).
  bool sorted_loaded = false;
  std::vector<std::unique_ptr<FindData>> sorted_entries;
  size_t next_sorted = 0;
  // Sub-directories found here, waiting for descent, in the order found.
  std::deque<std::unique_ptr<FindData>> sub_dirs;
};

}  // namespace tarvik

#endif  // TARVIK_SCAN_DIR_LEVEL_H_
