// The XCOPY front end: the program started under a name like xcopy accepts
// the XCOPY command line and copies with one engine in the main thread,
// without security, privileges, worker pool or log file.
#ifndef TARVIK_DRIVER_XCOPY_DRIVER_H_
#define TARVIK_DRIVER_XCOPY_DRIVER_H_

#include <span>
#include <string>

namespace tarvik {

// Runs the front end for args (args[0] is the program) and returns the
// process exit code: the engine's result bits, or 8 for a refused command
// line or a failed root set-up. Fills the process-wide settings; the current
// Os must be installed.
int XcopyDriver(std::span<const std::wstring> args);

}  // namespace tarvik

#endif  // TARVIK_DRIVER_XCOPY_DRIVER_H_
