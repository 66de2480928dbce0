// The command line of the XCOPY front end: "source [destination] [switches]",
// its switch table and its usage text.
#ifndef TARVIK_DRIVER_XCOPY_COMMAND_LINE_H_
#define TARVIK_DRIVER_XCOPY_COMMAND_LINE_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "driver/switch_registry.h"
#include "settings/copy_settings.h"

namespace tarvik {

struct XcopyCommandLine {
  std::wstring source;
  std::optional<std::wstring> destination;  // none: the current directory
  int32_t help = 0;                         // /?
  int32_t restartable = 0;                  // /z: accepted, no effect
};

// The front end's switches: /? /d /s /e /c /q /f /l /z /dbg. Settings and
// command must outlive the registry.
void RegisterXcopySwitches(SwitchRegistry* registry, CopySettings* settings,
                           XcopyCommandLine* command);

// Whether argument 2 is the destination. It is unless it begins with '/'.
// Where host paths begin with '/' as well, such an argument is still the
// destination when it is none of the registered switch forms and names a
// host path: it holds a second '/' ("/srv/b", "/new/") or names an existing
// object ("/srv").
bool IsXcopyDestination(const std::wstring& arg, const SwitchRegistry& registry);

// Stores the source (args[1]) and the destination, and parses the switches
// that follow them. args must hold the source. Prints the parser's message
// and returns false when a switch is refused.
bool ReadXcopyCommandLine(std::span<const std::wstring> args, const SwitchRegistry& registry,
                          XcopyCommandLine* command);

// Prints the front end's usage text through LogText. Returns 8, the code the
// caller must end the process with.
int PrintXcopyUsage();

}  // namespace tarvik

#endif  // TARVIK_DRIVER_XCOPY_COMMAND_LINE_H_
