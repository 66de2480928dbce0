// The world as the host shows it, and the loading of a world file.
#ifndef TARVIK_PLATFORM_POSIX_HOST_WORLD_H_
#define TARVIK_PLATFORM_POSIX_HOST_WORLD_H_

#include <string>

#include "platform/world.h"

namespace tarvik {

// The default world: this host alone. Its computer is the host name in upper
// case in a workgroup, drive Z: is '/', the host's users and groups are the
// accounts S-1-22-1-<uid> and S-1-22-2-<gid>, and the token holds every
// privilege for root and none otherwise.
World MakeHostWorld();

// Reads the world file at path over the host world. False with *error set to
// the full message when the file cannot be read or is not a valid world.
bool LoadWorldFile(const std::string& path, World* world, std::wstring* error);

// The world named by TARVIK_WORLD, or the host world when it is not set.
bool LoadWorldFromEnvironment(World* world, std::wstring* error);

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_POSIX_HOST_WORLD_H_
