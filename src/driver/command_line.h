// What the main command line gives beyond CopySettings: the positional
// arguments, the switch texts that are checked only after the parse, and the
// switches whose settings are derived later.
#ifndef TARVIK_DRIVER_COMMAND_LINE_H_
#define TARVIK_DRIVER_COMMAND_LINE_H_

#include <cstdint>
#include <span>
#include <string>

#include "settings/copy_settings.h"

namespace tarvik {

class SwitchRegistry;

struct CommandLine {
  std::wstring sourceDir;
  std::wstring destinationDir;

  // Checked after the parse, once the log system exists.
  std::wstring checkContentText;  // /cm
  std::wstring compressText;      // /compress
  std::wstring diskFullText;      // /ondiskfull

  int32_t chunkSwitch = 0;        // /chunk
  int32_t restartableSwitch = 0;  // /z: accepted, no effect

  // The security switches as typed (after the security-only override), for
  // the command report: /backupSD and /restoreSD force copyOwner and
  // copyAudit on, but /o and /a are shown only when typed.
  int32_t ownerSwitch = 0;
  int32_t auditSwitch = 0;
  int32_t purgeSwitch = 0;
};

// Checks the positional arguments (args[0] is the program), stores srcdir,
// destdir and the name patterns that follow them, and parses the switches
// after the first argument that begins with '/'. Prints the reason and
// returns false when the command line cannot be accepted.
bool ReadCommandLine(std::span<const std::wstring> args, const SwitchRegistry& registry,
                     CommandLine* command, CopySettings* settings);

}  // namespace tarvik

#endif  // TARVIK_DRIVER_COMMAND_LINE_H_
