// The command report printed before the copy starts: the date, the roots,
// the free space of the target and every switch that shapes the run.
#ifndef TARVIK_DRIVER_COMMAND_REPORT_H_
#define TARVIK_DRIVER_COMMAND_REPORT_H_

#include <cstdint>
#include <string>

#include "driver/command_line.h"
#include "settings/copy_settings.h"

namespace tarvik {

struct CommandReportInput {
  std::wstring sourceRoot;  // as the engine holds them
  std::wstring targetRoot;
  uint64_t targetFreeBytes = 0;
};

// Prints the report through LogText.
void CommandReport(const CommandLine& command, const CopySettings& settings,
                   const CommandReportInput& input);

// The switch lines alone, from "Directory options" on, without the filter
// line (which the name filters print themselves).
std::wstring DirectoryOptionsText(const CommandLine& command, const CopySettings& settings);
std::wstring SwitchReportText(const CommandLine& command, const CopySettings& settings);

}  // namespace tarvik

#endif  // TARVIK_DRIVER_COMMAND_REPORT_H_
