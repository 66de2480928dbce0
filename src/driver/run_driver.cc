#include "driver/run_driver.h"

#include "common/sid_cache.h"
#include "copy/dir_copy_thread.h"
#include "copy/root_setup.h"
#include "copy/run_statistics.h"
#include "copy/transfer_arbiter.h"
#include "copy/worker_pool.h"
#include "driver/banner.h"
#include "driver/command_line.h"
#include "driver/command_report.h"
#include "driver/interrupt_watch.h"
#include "driver/switch_registry.h"
#include "driver/switch_table.h"
#include "driver/time_span.h"
#include "driver/usage.h"
#include "driver/validation.h"
#include "driver/version_info.h"
#include "log/log.h"
#include "log/system_report.h"
#include "platform/os.h"
#include "scan/name_filters.h"
#include "server/privileges.h"
#include "settings/copy_settings.h"

namespace tarvik {
namespace {

// Checks and enables the privileges of the process token. False ends the
// run as a critical error.
bool PreparePrivileges(const CopySettings& s) {
  ProcessPrivileges privileges;
  const int level = RequiredPrivilegeLevel(s);
  if (!s.noPrivilegeChecks &&
      !privileges.CheckPrivileges(kRequiredPrivileges, level, s.debugPrivileges != 0)) {
    return false;
  }
  if (privileges.EnableCopyPrivileges(level == 3))
    return true;
  if (!s.noPrivilegeChecks)
    return false;
  LogText(L"Warning : setting privileges failed, some actions may failed.\nPlease check the log\n");
  return true;
}

// With /dbgsys. The addresses and the mask are printed as the 32-bit values
// their formats take.
void PrintHardwareBlock() {
  SYSTEM_INFO info{};
  Os::Current().GetSystemInfo(&info);
  LogText(L"\n%s\n", L"Hardware information");
  LogText(L"%s\n\n", L"====================");
  LogText(L"%-28s: %u\n", L"OEM ID", info.OemId());
  LogText(L"%-28s: %u\n", L"Number of processors", info.dwNumberOfProcessors);
  LogText(L"%-28s: %u\n", L"Page size", info.dwPageSize);
  LogText(L"%-28s: %u\n", L"Processor type", info.dwProcessorType);
  LogText(L"%-28s: 0x%lx\n", L"Minimum application address",
          static_cast<uint32_t>(reinterpret_cast<uintptr_t>(info.lpMinimumApplicationAddress)));
  LogText(L"%-28s: 0x%lx\n", L"Maximum application address",
          static_cast<uint32_t>(reinterpret_cast<uintptr_t>(info.lpMaximumApplicationAddress)));
  LogText(L"%-28s: %u\n", L"Active processor mask",
          static_cast<uint32_t>(info.dwActiveProcessorMask));
}

void PrintSystemBlock() {
  LogText(L"\n%s\n", L"System information");
  LogText(L"%s\n\n", L"==================");
  LogText(L"%-28s: ", L"Client OS");
  std::wstring description;
  if (DescribeOperatingSystem(&description))
    LogText(L"%s\n", description);
  else
    LogText(L"%s", L"Unknown, assuming a WIN2K OS\n");
}

bool SetNameFilters(const CopySettings& s) {
  return NameFilters::SetFileFilter(s.filePatterns) &&
         NameFilters::SetExcludedFileFilter(s.excludedFiles) &&
         NameFilters::SetExcludedDirFilter(s.excludedDirs);
}

// Steps from the engine's preparation to the end of the copy. Returns the
// driver's own code: 0, or 8 when the run could not start.
int RunCopy(const CommandLine& command, CopySettings& settings) {
  CreateWorkerPool(static_cast<uint32_t>(settings.threadCount));
  WorkerPool* pool = ThePool();
  // A late start signal does not stop the run.
  StartQuotaThread(settings, pool->size(), &pool->lock());
  DirCopyThread* root = AsCopyThread(pool->TakeWorker(WorkerRole::kTree));
  root->set_max_depth(settings.maxDepth);
  if (!SetNameFilters(settings)) {
    pool->ReleaseWorker(root);
    pool->WaitForWorkers();
    return kExitCritical;
  }
  if (settings.debugSystem)
    PrintHardwareBlock();
  PrintSystemBlock();
  if (!SetRoots(root, command.sourceDir, command.destinationDir)) {
    pool->ReleaseWorker(root);
    pool->WaitForWorkers();
    return kExitCritical;
  }
  root->set_trees_taken(1);
  SetQuotaTarget(root->target_root());
  CommandReportInput report;
  report.sourceRoot = root->source_root();
  report.targetRoot = root->target_root();
  report.targetFreeBytes = TheRunServers().target.freeBytes;
  CommandReport(command, settings, report);
  root->Wake();
  pool->WaitForWorkers();
  return 0;
}

SidCacheFigures SidCacheFiguresOf(const SidCache& cache) {
  SidCacheFigures figures;
  figures.cacheSize = static_cast<int32_t>(cache.capacity());
  if (const HashLru<SId>* table = cache.table()) {
    figures.items = static_cast<int32_t>(table->items);
    figures.collisions = static_cast<int32_t>(table->collisions);
    figures.comparisons = static_cast<int32_t>(table->comparisons);
    figures.hits = static_cast<int32_t>(table->hits);
    figures.hashOk = static_cast<int32_t>(table->hashOk);
    figures.miss = static_cast<int32_t>(table->misses);
  }
  return figures;
}

}  // namespace

int RunDriver(std::span<const std::wstring> args) {
  Os& os = Os::Current();
  const int64_t start_time = os.time();
  const VersionInfo version = ReadVersionInfo();
  CopySettings& settings = Settings();
  CommandLine command;
  SwitchRegistry registry;
  RegisterLogSwitches(&registry, &settings);
  RegisterRunSwitches(&registry, &settings, &command);
  os.SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
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

  // Every account lookup of the run goes through the one cache.
  SidCache sid_cache;
  SidLookupCache* previous_cache = InstallSidLookupCache(&sid_cache);
  int code = kExitCritical;
  if (PreparePrivileges(settings)) {
    InterruptWatch interrupts;
    interrupts.Start();
    code = RunCopy(command, settings);
    interrupts.Stop();
  }
  PrintRunStatistics(SidCacheFiguresOf(sid_cache));
  LogText(L"\nElapsed time: %s\n", ElapsedTimeText(os.time() - start_time));
  StopQuotaThread();
  const int exit_code = code | static_cast<int>(TheRunStatistics().ExitBits());
  // The writer may still hold workers' lines: the pool, which names their
  // threads for the line prefixes, goes only after the log.
  StopLogSystem();
  DestroyWorkerPool();
  InstallSidLookupCache(previous_cache);
  return exit_code;
}

}  // namespace tarvik
