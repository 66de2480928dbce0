// The switches of the main command line and the handlers of their values.
#ifndef TARVIK_DRIVER_SWITCH_TABLE_H_
#define TARVIK_DRIVER_SWITCH_TABLE_H_

#include "driver/command_line.h"
#include "driver/switch_registry.h"
#include "settings/copy_settings.h"

namespace tarvik {

// The log switches /tee, /u, /log:path and /log+:path. Every front end
// accepts them, so they are registered first.
void RegisterLogSwitches(SwitchRegistry* registry, CopySettings* settings);

// Every other switch of the main command line, always in the same order.
// Settings and command must outlive the registry.
void RegisterRunSwitches(SwitchRegistry* registry, CopySettings* settings, CommandLine* command);

}  // namespace tarvik

#endif  // TARVIK_DRIVER_SWITCH_TABLE_H_
