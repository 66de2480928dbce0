// The checks across switches that run once the log system exists, and the
// settings derived from the switches before any worker starts.
#ifndef TARVIK_DRIVER_VALIDATION_H_
#define TARVIK_DRIVER_VALIDATION_H_

#include "driver/command_line.h"
#include "settings/copy_settings.h"

namespace tarvik {

// Reads the /cm, /compress and /ondiskfull texts and checks the combinations of switches. On the
// first failure prints its message through LogText and returns false; the caller then prints the
// usage text. /backupSD and /restoreSD (without /hda) clear the switches that a security-only run
// ignores.
bool ValidateSettings(CommandLine* command, CopySettings* settings);

// The settings that follow from others: owner and audit copy, purge, the
// time selection, the chunk mode, the transfer window mode and the security
// mode. Run after ValidateSettings succeeded.
void DeriveSettings(CommandLine* command, CopySettings* settings);

}  // namespace tarvik

#endif  // TARVIK_DRIVER_VALIDATION_H_
