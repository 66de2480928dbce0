#include "log/standard_output.h"

#include <algorithm>
#include <limits>

#include "platform/os.h"

namespace tarvik {

void WriteAllToConsole(HANDLE console, std::wstring_view text) {
  Os& os = Os::Current();
  while (!text.empty()) {
    DWORD chunk =
        static_cast<DWORD>(std::min<size_t>(text.size(), std::numeric_limits<DWORD>::max()));
    DWORD written = 0;
    if (!os.WriteConsoleW(console, text.data(), chunk, &written) || written == 0)
      return;
    text.remove_prefix(std::min<size_t>(written, text.size()));
  }
}

void WriteToStandardOutput(std::wstring_view text) {
  WriteAllToConsole(Os::Current().GetStdHandle(STD_OUTPUT_HANDLE), text);
}

}  // namespace tarvik
