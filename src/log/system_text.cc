#include "log/system_text.h"

#include "platform/os.h"

namespace tarvik {

std::wstring SystemText(DWORD code) {
  wchar_t buffer[512];
  DWORD length =
      Os::Current().FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, LANG_NEUTRAL_DEFAULT, buffer, 512, nullptr);
  if (length == 0 || length > 512)
    return std::wstring();
  std::wstring text(buffer, length);
  // Every other line the program writes ends with a single line feed; a CR LF
  // from the table would leave stray carriage returns in the log file.
  if (text.size() >= 2 && text.ends_with(L"\r\n"))
    text.erase(text.size() - 2, 1);
  return text;
}

}  // namespace tarvik
