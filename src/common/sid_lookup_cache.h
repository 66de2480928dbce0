// Where SId lookups meet the process-wide SID cache. The cache installs itself
// here before the workers start; while none is installed every lookup asks
// the server.
#ifndef TARVIK_COMMON_SID_LOOKUP_CACHE_H_
#define TARVIK_COMMON_SID_LOOKUP_CACHE_H_

#include <string_view>

namespace tarvik {

class SId;

class SidLookupCache {
 public:
  virtual ~SidLookupCache() = default;

  // Copies the stored entry equal to sid into *copy; false when there is
  // none. The copy is made while the cache holds its lock: another thread
  // may give the entry up at any moment after.
  virtual bool Find(const SId& sid, SId* copy) = 0;
  // For "DOMAIN\account" only: copies the first entry whose domain and
  // account name equal the two parts (case-insensitive).
  virtual bool FindByName(std::wstring_view name, SId* copy) = 0;
  // Stores a copy unless an equal SID is stored; false when nothing was added.
  virtual bool Insert(const SId& sid) = 0;
};

// The installed cache, or null. Install returns the previous one; the caller
// keeps ownership.
SidLookupCache* InstalledSidLookupCache();
SidLookupCache* InstallSidLookupCache(SidLookupCache* cache);

}  // namespace tarvik

#endif  // TARVIK_COMMON_SID_LOOKUP_CACHE_H_
