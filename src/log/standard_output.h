// Direct output to the process's standard output, bypassing the writer's
// queue: the synchronous mode, the banner and the few texts that must not wait.
#ifndef TARVIK_LOG_STANDARD_OUTPUT_H_
#define TARVIK_LOG_STANDARD_OUTPUT_H_

#include <string_view>

#include "platform/win_types.h"

namespace tarvik {

// Writes all of text to the console handle; a short write is continued.
void WriteAllToConsole(HANDLE console, std::wstring_view text);

void WriteToStandardOutput(std::wstring_view text);

}  // namespace tarvik

#endif  // TARVIK_LOG_STANDARD_OUTPUT_H_
