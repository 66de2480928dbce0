#include "driver/program_entry.h"

#include "driver/run_driver.h"
#include "driver/xcopy_driver.h"
#include "util/text.h"

namespace tarvik {

bool IsXcopyProgramName(std::wstring_view program) {
  size_t separator = program.find_last_of(L"\\/");
  std::wstring_view name =
      separator == std::wstring_view::npos ? program : program.substr(separator + 1);
  // The front end's own program file is named after its banner as well.
  return StartsWithNoCaseAscii(name, L"xcopy") || StartsWithNoCaseAscii(name, L"rorev64");
}

int RunProgram(std::span<const std::wstring> args) {
  if (!args.empty() && IsXcopyProgramName(args[0]))
    return XcopyDriver(args);
  return RunDriver(args);
}

}  // namespace tarvik
