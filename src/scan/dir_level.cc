#include "scan/dir_level.h"

#include "platform/os.h"

namespace tarvik {

DirLevel::~DirLevel() {
  CloseSearch();
}

void DirLevel::CloseSearch() {
  if (find_handle != nullptr && find_handle != INVALID_HANDLE_VALUE)
    Os::Current().FindClose(find_handle);
  find_handle = nullptr;
}

std::unique_ptr<FindData> DirLevel::TakeSortedEntry() {
  if (!HasSortedEntries())
    return nullptr;
  std::unique_ptr<FindData> entry = std::move(sorted_entries[next_sorted++]);
  if (next_sorted == sorted_entries.size()) {
    sorted_entries.clear();
    next_sorted = 0;
  }
  return entry;
}

}  // namespace tarvik
