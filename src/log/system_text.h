// The system's message text for an error code.
#ifndef TARVIK_LOG_SYSTEM_TEXT_H_
#define TARVIK_LOG_SYSTEM_TEXT_H_

#include <string>

#include "platform/win_types.h"

namespace tarvik {

// The text as FormatMessageW gives it from the system table (language
// neutral, inserts ignored, at most 512 characters), with its closing line
// break written as the host's single "\n". Empty when the code has no text.
std::wstring SystemText(DWORD code);

}  // namespace tarvik

#endif  // TARVIK_LOG_SYSTEM_TEXT_H_
