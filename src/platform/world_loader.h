// Reading and checking a world file (the schema is in docs/world.md).
#ifndef TARVIK_PLATFORM_WORLD_LOADER_H_
#define TARVIK_PLATFORM_WORLD_LOADER_H_

#include <string>
#include <string_view>
#include <vector>

#include "platform/world.h"

namespace tarvik {

// Parses the JSON text of a world file over base (the host's own world: what
// the file leaves out comes from there). file_name appears in messages;
// relative host paths are taken from base_dir. On failure returns false and
// sets *error to one message naming the file and the key at fault, such as
// "world file /tmp/w.json: servers[1].shares[0].path: expected a string,
// found a number".
bool ParseWorld(std::string_view text, const std::string& file_name, const std::string& base_dir,
                const World& base, World* world, std::wstring* error);

// Parses a file that holds only faults, as a world's "faults" (and an
// optional "comment"): {"faults": [{"call": "ReadFile", "error": 5}]}. Where
// no world describes the machine (a Windows build), this is how faults reach
// the FaultOs. Fails as ParseWorld does, the message naming the fault file.
bool ParseFaultFile(std::string_view text, const std::string& file_name,
                    std::vector<WorldFault>* faults, std::wstring* error);

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_WORLD_LOADER_H_
