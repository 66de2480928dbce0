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

  // The stored entry equal to sid, or null. The entry stays valid while it is
  // not evicted; the caller copies what it needs at once.
  virtual SId* Find(const SId& sid) = 0;
  // For "DOMAIN\account" only: the first entry whose domain and account name
  // equal the two parts (case-insensitive), or null.
  virtual SId* FindByName(std::wstring_view name) = 0;
  // Stores a copy unless an equal SID is stored; false when nothing was added.
  virtual bool Insert(const SId& sid) = 0;
};

// The installed cache, or null. Install returns the previous one; the caller
// keeps ownership.
SidLookupCache* InstalledSidLookupCache();
SidLookupCache* InstallSidLookupCache(SidLookupCache* cache);

}  // namespace tarvik

#endif  // TARVIK_COMMON_SID_LOOKUP_CACHE_H_
