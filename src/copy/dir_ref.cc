#include "copy/dir_ref.h"

namespace tarvik {

int AttachDirRefChain(DirRef* ref) {
  int changed = 0;
  for (DirRef* r = ref; r != nullptr; r = r->parent) {
    ++r->count;
    ++changed;
  }
  return changed;
}

int ReleaseDirRefChain(DirRef* ref, std::vector<DirRef*>* completed) {
  int changed = 0;
  for (DirRef* r = ref; r != nullptr; r = r->parent) {
    ++changed;
    if (r->count-- == 1)
      completed->push_back(r);
  }
  return changed;
}

}  // namespace tarvik
