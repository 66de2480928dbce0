// Where SId lookups meet the process-wide SID cache. The cache installs itself
// here before the workers start; while none is installed every lookup asks
// the server.
#ifndef TARVIK_COMMON_SID_LOOKUP_CACHE_H_
#define TARVIK_COMMON_SID_LOOKUP_CACHE_H_

#include <cstdint>
#include <string_view>
#include <vector>

namespace tarvik {

class SId;

// What the resolution of historical SIDs decided, kept in the cache beside
// the entry it is about, and gone with it: for an account entry, what the
// SID becomes; for a domain entry (the domain SID with the placeholder RID),
// what becomes of the domain's accounts. Decisions are copied in and out
// under the cache's lock; nobody holds a pointer into the cache.
struct SidHistoryDecision {
  enum class Kind : uint8_t {
    kUndecided,
    // The SID stays; for a domain, every account of it stays.
    kMapsToItself,
    // The SID becomes target; for a domain, its accounts now live in the
    // domain whose placeholder-RID SID is target.
    kMapsTo,
  };
  Kind kind = Kind::kUndecided;
  std::vector<uint8_t> target;  // the SID's bytes, for kMapsTo
};

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

  // Copies the entry equal to sid and the decision recorded with it
  // (undecided when there is none); false when there is no such entry. A
  // cache that keeps no decisions has none.
  virtual bool FindDecision(const SId& sid, SId* copy, SidHistoryDecision* decision) {
    return false;
  }
  // Records decision with the entry equal to sid, replacing what was there;
  // false when there is no such entry (never stored, or given up since).
  virtual bool RecordDecision(const SId& sid, const SidHistoryDecision& decision) { return false; }
};

// The installed cache, or null. Install returns the previous one; the caller
// keeps ownership.
SidLookupCache* InstalledSidLookupCache();
SidLookupCache* InstallSidLookupCache(SidLookupCache* cache);

}  // namespace tarvik

#endif  // TARVIK_COMMON_SID_LOOKUP_CACHE_H_
