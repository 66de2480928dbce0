// SecurityWorkspace: everything one security operation on one object needs,
// owned by one worker and reused from object to object. The descriptor built
// for a target points into the translated SIDs and ACLs held here, so the
// workspace outlives every write of it.
#ifndef TARVIK_COMMON_SECURITY_WORKSPACE_H_
#define TARVIK_COMMON_SECURITY_WORKSPACE_H_

#include <string>

#include "common/acl.h"
#include "common/sec_desc.h"
#include "common/sid.h"

namespace tarvik {

struct SecurityWorkspace {
  std::wstring sourcePath;
  std::wstring targetPath;

  SecDesc source;   // read from the source object
  SecDesc current;  // read from the target object when it already existed
  SecDesc built;    // being built for the target (absolute)

  Acl sourceDacl;
  Acl translatedDacl;
  Acl sourceSacl;
  Acl translatedSacl;

  SId sourceOwner;
  SId sourceGroup;
  SId translatedOwner;
  SId translatedGroup;

  // Why the last translation failed, as the failing operation said it.
  std::wstring translationFailure;
};

}  // namespace tarvik

#endif  // TARVIK_COMMON_SECURITY_WORKSPACE_H_
