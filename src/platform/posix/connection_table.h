// The network connections made without a drive letter (WNetAddConnectionW
// with no local name): each \\server\share counted as often as it was made.
#ifndef TARVIK_PLATFORM_POSIX_CONNECTION_TABLE_H_
#define TARVIK_PLATFORM_POSIX_CONNECTION_TABLE_H_

#include <map>
#include <mutex>
#include <string>

#include "util/text.h"

namespace tarvik {

class ConnectionTable {
 public:
  void Add(const std::wstring& remote) {
    std::lock_guard lock(mutex_);
    ++counts_[ToLowerAscii(remote)];
  }
  // False when no such connection was made.
  bool Remove(const std::wstring& remote) {
    std::lock_guard lock(mutex_);
    auto it = counts_.find(ToLowerAscii(remote));
    if (it == counts_.end())
      return false;
    if (--it->second == 0)
      counts_.erase(it);
    return true;
  }
  bool Contains(const std::wstring& remote) const {
    std::lock_guard lock(mutex_);
    return counts_.count(ToLowerAscii(remote)) != 0;
  }

 private:
  mutable std::mutex mutex_;
  std::map<std::wstring, int> counts_;
};

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_POSIX_CONNECTION_TABLE_H_
