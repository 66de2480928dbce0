#include "driver/xcopy_driver.h"

#include <optional>

#include "common/sd/sd_exception.h"
#include "copy/dir_copy.h"
#include "copy/root_setup.h"
#include "copy/run_statistics.h"
#include "driver/interrupt_watch.h"
#include "driver/switch_table.h"
#include "driver/usage.h"
#include "driver/xcopy_command_line.h"
#include "log/log.h"
#include "platform/os.h"
#include "scan/name_filters.h"
#include "settings/copy_settings.h"

namespace tarvik {
namespace {

void PrintXcopyBanner() {
  BannerText(L"\n%s %s\n\n", L"ROREV64", L"04.19");
  BannerText(L"\tXCOPY command line: data, attributes and times are copied, security is not.\n");
  BannerText(L"\tStarted under another name, the program takes its own command line.\n\n");
  ShowBanner();
}

// What the front end does not take from its switches: no security, no
// purge, no selection by name, the default retries.
void PrepareSettings(CopySettings* s) {
  s->maxDepth = 0;
  s->copyOwner = 0;
  s->copyAudit = 0;
  s->translateLocalGroups = 0;
  s->translateLocalUsers = 0;
  s->ignoreLocalAccounts = 0;
  s->noDataOnSdError = 0;
  s->createOnly = 0;
  s->purge = 0;
  s->securityMode = SecurityMode::None;
  s->retryCount = kDefaultRetryCount;
  s->retryWaitSeconds = kDefaultRetryWaitSeconds;
}

bool ClearNameFilters() {
  return NameFilters::SetFileFilter({}) && NameFilters::SetExcludedFileFilter({}) &&
         NameFilters::SetExcludedDirFilter({});
}

// The whole run on the one engine. Its result bits, with those of every
// failure its counters show: a run that reports a failure never ends with 0.
int RunSingleEngine(DirCopy* engine) {
  uint32_t bits = engine->RunEngine();
  ScanCounters scan;
  scan.mismatchedFiles = engine->mismatched_files();
  scan.mismatchedDirectories = engine->mismatched_dirs();
  scan.directoryReadsFailed = engine->directory_reads_failed();
  bits |= FailureBits(engine->counters(), scan);
  return static_cast<int>(bits);
}

int SetUpAndRun(DirCopy* engine, const XcopyCommandLine& command) {
  try {
    if (!ClearNameFilters())
      return kExitCritical;
    const std::wstring* target = command.destination ? &*command.destination : nullptr;
    if (!SetRootPathCopy2(engine, command.source, target))
      return kExitCritical;
    return RunSingleEngine(engine);
  } catch (const DirScanException& e) {
    engine->ReportException(e);
    return kExitCritical;
  } catch (const SDException& e) {
    LogText(L"%s\n", e.message());
    return kExitCritical;
  }
}

}  // namespace

int XcopyDriver(std::span<const std::wstring> args) {
  DirCopy engine;
  CopySettings& settings = Settings();
  SwitchRegistry registry;
  // The log switches are accepted, but this front end never opens a log
  // file: they go to settings of their own.
  CopySettings log_switches;
  RegisterLogSwitches(&registry, &log_switches);
  XcopyCommandLine command;
  RegisterXcopySwitches(&registry, &settings, &command);
  settings.noSecurity = 1;
  Os::Current().SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  PrintXcopyBanner();

  if (args.size() < 2) {
    LogText(L"\n Arguments are missing.\n");
    return PrintXcopyUsage();
  }
  if (!ReadXcopyCommandLine(args, registry, &command) || command.help)
    return PrintXcopyUsage();

  InterruptWatch interrupts;
  interrupts.Start();
  PrepareSettings(&settings);
  engine.set_max_depth(settings.maxDepth);
  const int code = SetUpAndRun(&engine, command);
  interrupts.Stop();
  return code;
}

}  // namespace tarvik
