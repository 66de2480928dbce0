// The state behind a search handle of FindFirstFileW/FindNextFileW.
#ifndef TARVIK_PLATFORM_POSIX_FIND_STATE_H_
#define TARVIK_PLATFORM_POSIX_FIND_STATE_H_

#include <string>
#include <vector>

namespace tarvik {

struct FindState {
  struct Entry {
    std::string host_name;
    std::wstring windows_name;
    std::wstring short_name;  // the 8.3 alias, or empty
  };

  std::string directory;       // host path of the directory being listed
  std::vector<Entry> entries;  // the matching names, in listing order
  size_t next = 0;             // the next entry to report
};

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_POSIX_FIND_STATE_H_
