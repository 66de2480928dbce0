// The main command line: switch parsing and the checks across switches, up to
// the settings of a run. Arguments are the input split at line ends; the
// program's own name comes first. Nothing the user can type may crash it.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "driver/command_line.h"
#include "driver/switch_registry.h"
#include "driver/switch_table.h"
#include "driver/validation.h"
#include "log/log_testing.h"
#include "platform/posix/host_world.h"
#include "platform/posix/posix_os.h"
#include "settings/copy_settings.h"
#include "util/utf.h"

namespace {

std::vector<std::wstring> Arguments(const uint8_t* data, size_t size) {
  std::vector<std::wstring> args = {L"tarvik"};
  std::string text(reinterpret_cast<const char*>(data), size);
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos)
      end = text.size();
    args.push_back(tarvik::FromUtf8(text.substr(start, end - start)));
    start = end + 1;
  }
  return args;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The reasons and the usage text go to standard output: not to the terminal.
  int null = ::open("/dev/null", O_WRONLY);
  ::dup2(null, STDOUT_FILENO);
  static std::unique_ptr<tarvik::Os> os =
      std::make_unique<tarvik::PosixOs>(tarvik::MakeHostWorld());
  tarvik::Os::Install(os.get());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tarvik::ResetLogSystemForTesting();
  tarvik::CopySettings& settings = tarvik::Settings();
  settings = tarvik::CopySettings();
  tarvik::CommandLine command;
  tarvik::SwitchRegistry registry;
  tarvik::RegisterLogSwitches(&registry, &settings);
  tarvik::RegisterRunSwitches(&registry, &settings, &command);
  std::vector<std::wstring> args = Arguments(data, size);
  if (tarvik::ReadCommandLine(args, registry, &command, &settings) &&
      tarvik::ValidateSettings(&command, &settings)) {
    tarvik::DeriveSettings(&command, &settings);
  }
  return 0;
}
