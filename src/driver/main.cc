// The process entry: the arguments become wide strings, the platform layer is
// created (the real system in a Windows build, PosixOs over the world
// elsewhere), and the program name selects the front end.
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "driver/program_entry.h"
#include "driver/usage.h"
#include "platform/os.h"
#include "util/format.h"
#include "util/utf.h"
#ifdef _WIN32
#include "platform/win32/win32_os.h"
#else
#include "platform/posix/posix_os.h"
#endif

namespace {

void WriteError(const std::wstring& text) {
  tarvik::Os& os = tarvik::Os::Current();
  tarvik::DWORD written = 0;
  os.WriteConsoleW(os.GetStdHandle(tarvik::STD_ERROR_HANDLE), text.data(),
                   static_cast<tarvik::DWORD>(text.size()), &written);
}

int Run(const std::vector<std::wstring>& args) {
  std::wstring error;
#ifdef _WIN32
  std::unique_ptr<tarvik::Os> os = tarvik::CreateWin32Os(&error);
#else
  std::unique_ptr<tarvik::Os> os = tarvik::CreatePosixOs(&error);
#endif
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

}  // namespace

#ifdef _WIN32
// The arguments as the system passed them, in UTF-16 (linked with -municode).
int wmain(int argc, wchar_t** argv) {
  return Run(std::vector<std::wstring>(argv, argv + argc));
}
#else
int main(int argc, char** argv) {
  std::vector<std::wstring> args;
  args.reserve(argc);
  for (int i = 0; i < argc; ++i)
    args.push_back(tarvik::FromUtf8(argv[i]));
  return Run(args);
}
#endif
