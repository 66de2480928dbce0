#include "driver/run_driver.h"

#include "driver/banner.h"
#include "driver/command_line.h"
#include "driver/switch_registry.h"
#include "driver/switch_table.h"
#include "driver/usage.h"
#include "driver/validation.h"
#include "driver/version_info.h"
#include "log/log.h"
#include "platform/os.h"
#include "settings/copy_settings.h"

namespace tarvik {

int RunDriver(std::span<const std::wstring> args) {
  const VersionInfo version = ReadVersionInfo();
  CopySettings& settings = Settings();
  CommandLine command;
  SwitchRegistry registry;
  RegisterLogSwitches(&registry, &settings);
  RegisterRunSwitches(&registry, &settings, &command);
  Os::Current().SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  PrintBanner(version);

  if (!ReadCommandLine(args, registry, &command, &settings))
    return PrintUsage(version);
  if (!CreateLogSystem(true)) {
    LogLastError(L"Log system creation failure.\n");
    return PrintUsage(version);
  }
  if (!ValidateSettings(&command, &settings))
    return PrintUsage(version);
  DeriveSettings(&command, &settings);

  // The copy engine is not part of this build yet: refuse rather than
  // pretend that the tree was copied.
  LogText(L"\n Copying is not available in this build yet; nothing was copied.\n");
  StopLogSystem();
  return kExitCritical;
}

}  // namespace tarvik
