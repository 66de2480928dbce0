// The process entry behind main: chooses the front end by the program's name.
#ifndef TARVIK_DRIVER_PROGRAM_ENTRY_H_
#define TARVIK_DRIVER_PROGRAM_ENTRY_H_

#include <span>
#include <string>
#include <string_view>

namespace tarvik {

// True when the last component of the program path (after the last '\' or
// '/') begins with "xcopy" in any letter case.
bool IsXcopyProgramName(std::wstring_view program);

// Runs the front end that the program name selects and returns the exit code.
int RunProgram(std::span<const std::wstring> args);

}  // namespace tarvik

#endif  // TARVIK_DRIVER_PROGRAM_ENTRY_H_
