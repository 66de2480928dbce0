// DirRef: the number of tasks still working inside one target directory.
// Work that must wait until everything below a directory is done (its dates
// with /sdd, its removal when purged) happens when the count drops to 0.
// Every count change happens under the pool lock.
#ifndef TARVIK_COPY_DIR_REF_H_
#define TARVIK_COPY_DIR_REF_H_

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace tarvik {

class DirRef {
 public:
  int32_t count = 0;
  // The source directory's times and attributes, set on the target at the end.
  FILETIME creationTime{};
  FILETIME lastAccessTime{};
  FILETIME lastWriteTime{};
  DWORD attributes = 0;
  std::wstring path;  // the target directory
  // Holds one reference for every attached descendant, so it completes after
  // all of them. Null at the top of a chain.
  DirRef* parent = nullptr;
  int32_t removeWhenReleased = 0;  // set for directories being purged
  int32_t excludedFromPurge = 0;
};

// Adds one reference to ref and to every ancestor; returns how many counts
// changed. The caller holds the pool lock.
int AttachDirRefChain(DirRef* ref);

// Drops one reference along the chain. The DirRefs whose count reached 0
// are appended to completed, child before parent; the caller completes and
// frees them outside the lock. Returns how many counts changed. The caller
// holds the pool lock.
int ReleaseDirRefChain(DirRef* ref, std::vector<DirRef*>* completed);

}  // namespace tarvik

#endif  // TARVIK_COPY_DIR_REF_H_
