// The system's names and English message texts for the error codes the
// program meets, as FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM) gives them.
#ifndef TARVIK_PLATFORM_ERROR_TEXT_H_
#define TARVIK_PLATFORM_ERROR_TEXT_H_

#include <string_view>

#include "platform/win_types.h"

namespace tarvik {

struct SystemErrorInfo {
  DWORD code;
  const char* name;     // "ERROR_ACCESS_DENIED"
  const wchar_t* text;  // "Access is denied." (FormatMessageW adds "\r\n")
};

// Null when the code has no text.
const SystemErrorInfo* FindSystemError(DWORD code);
// By symbolic name ("ERROR_DISK_FULL", "NERR_UserNotFound"); null if unknown.
const SystemErrorInfo* FindSystemErrorByName(std::string_view name);

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_ERROR_TEXT_H_
