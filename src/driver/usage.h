// The program's summary of its command line, printed whenever a command line
// cannot be accepted.
#ifndef TARVIK_DRIVER_USAGE_H_
#define TARVIK_DRIVER_USAGE_H_

#include "driver/version_info.h"

namespace tarvik {

// The exit code of a run that copied nothing: a refused command line, a
// failed start or a fatal error.
constexpr int kExitCritical = 8;

// Prints the usage text line by line through LogText, then stops the log
// system so that an open log file receives it too. Returns kExitCritical,
// the code the caller must end the process with.
int PrintUsage(const VersionInfo& version);

}  // namespace tarvik

#endif  // TARVIK_DRIVER_USAGE_H_
