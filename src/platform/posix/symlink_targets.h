// The targets of symbolic links, between the host's form (what a host link
// holds) and the platform's (the names of a symbolic link reparse buffer).
// An absolute Windows target is kept as the host path it resolves to, so
// that the link works on the host too; a relative one stays relative.
#ifndef TARVIK_PLATFORM_POSIX_SYMLINK_TARGETS_H_
#define TARVIK_PLATFORM_POSIX_SYMLINK_TARGETS_H_

#include <string>

#include "platform/posix/path_resolver.h"
#include "platform/posix/reparse_points.h"

namespace tarvik {

// A host link target as the platform shows it: relative names mapped one by
// one; an absolute host path on the drive or share that holds it, or, off
// every drive and share, as the host path itself.
SymlinkReparse SymlinkFromHostTarget(const std::string& host_target, const PathResolver& resolver);

// The host target for a link, or false when the target cannot be a host path
// (an unknown drive, a volume name): such a link is kept as a raw reparse
// point instead.
bool HostTargetFromSymlink(const SymlinkReparse& link, const PathResolver& resolver,
                           std::string* host_target);

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_POSIX_SYMLINK_TARGETS_H_
