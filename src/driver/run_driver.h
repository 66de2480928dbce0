// The body of the main thread for the normal command line.
#ifndef TARVIK_DRIVER_RUN_DRIVER_H_
#define TARVIK_DRIVER_RUN_DRIVER_H_

#include <span>
#include <string>

namespace tarvik {

// Runs the program for args (args[0] is the program) and returns the process
// exit code. Fills the process-wide settings; the current Os must be
// installed.
int RunDriver(std::span<const std::wstring> args);

}  // namespace tarvik

#endif  // TARVIK_DRIVER_RUN_DRIVER_H_
