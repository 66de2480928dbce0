// The process entry: the arguments become wide strings, the platform layer is
// created from the world, and the program name selects the front end.
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "driver/program_entry.h"
#include "driver/usage.h"
#include "platform/os.h"
#include "platform/posix/posix_os.h"
#include "util/format.h"
#include "util/utf.h"

namespace {

void WriteError(const std::wstring& text) {
  tarvik::Os& os = tarvik::Os::Current();
  tarvik::DWORD written = 0;
  os.WriteConsoleW(os.GetStdHandle(tarvik::STD_ERROR_HANDLE), text.data(),
                   static_cast<tarvik::DWORD>(text.size()), &written);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::wstring> args;
  args.reserve(argc);
  for (int i = 0; i < argc; ++i)
    args.push_back(tarvik::FromUtf8(argv[i]));

  std::wstring error;
  std::unique_ptr<tarvik::Os> os = tarvik::CreatePosixOs(&error);
  if (os == nullptr) {
    // No platform layer exists to print through; the message stays one line.
    for (wchar_t& c : error) {
      if (c == L'\n' || c == L'\r')
        c = L' ';
    }
    std::fprintf(stderr, "%s\n", tarvik::ToUtf8(error).c_str());
    return tarvik::kExitCritical;
  }
  // Kept until the process ends: a log writer abandoned at shut-down may
  // still use it while the process exits.
  tarvik::Os::Install(os.release());

  try {
    return tarvik::RunProgram(args);
  } catch (const std::exception& e) {
    WriteError(tarvik::Format(L"Internal error: %hs\n", e.what()));
    return tarvik::kExitCritical;
  }
}
