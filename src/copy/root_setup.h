// The set-up of the roots before the first worker is woken: the source root
// is checked, the target root prepared, and the servers behind both paths
// resolved.
#ifndef TARVIK_COPY_ROOT_SETUP_H_
#define TARVIK_COPY_ROOT_SETUP_H_

#include <string>

#include "copy/dir_copy.h"
#include "server/server.h"

namespace tarvik {

// The source and target servers of the run; written by the root set-up and
// read-only afterwards.
struct RunServers {
  Server source;
  Server target;
};
RunServers& TheRunServers();

// Root set-up of the threaded run on its first worker. True when the run can
// start; every failure has been reported.
bool SetRoots(DirCopy* engine, const std::wstring& source, const std::wstring& target);

// Root set-up of the XCOPY front end's single engine. The source may be a
// directory, a file, or a path whose last component holds a '*'; a file or a
// pattern makes its directory the source root and its last component the file
// filter, and a file turns recurse off. The target defaults to the current
// directory. True when the run can start; every failure has been reported,
// except a path that cannot be made absolute, which throws kOutOfMemory.
bool SetRootPathCopy2(DirCopy* engine, const std::wstring& source, const std::wstring* target);

}  // namespace tarvik

#endif  // TARVIK_COPY_ROOT_SETUP_H_
