// The owner and primary group given to a target object whose own owner or
// group cannot be carried over: the account the run is connected to the
// target as, else BUILTIN\Administrators.
#ifndef TARVIK_TRANSLATE_DEFAULT_OWNER_H_
#define TARVIK_TRANSLATE_DEFAULT_OWNER_H_

#include <cstdint>

#include "common/sid.h"
#include "server/server.h"

namespace tarvik {

struct DefaultOwner {
  SId owner;
  // The RID of the owner's primary group, in the owner's domain, or, for
  // BUILTIN\Administrators, in the target's account domain.
  uint32_t groupRid = 0;
  bool builtin = false;
};

// Logs why the choice fell back where it did (warnings only: a default is
// always found).
DefaultOwner ChooseDefaultOwner(const Server& source, const Server& target);

}  // namespace tarvik

#endif  // TARVIK_TRANSLATE_DEFAULT_OWNER_H_
