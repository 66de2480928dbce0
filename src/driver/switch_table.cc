#include "driver/switch_table.h"

#include <optional>

#include "common/sd/sid_string.h"
#include "driver/excluded_file_pattern.h"
#include "driver/value_parsers.h"

namespace tarvik {
namespace {

constexpr int64_t kBytesPerMegabyte = 1048576;

// A value switch that stores its first value as text.
SwitchHandler StoreText(std::wstring* target) {
  return [target](std::span<const std::wstring_view> values) -> const char* {
    target->assign(values[0]);
    return nullptr;
  };
}

// A value switch whose first value is a whole decimal number of at least
// `minimum`; `store` receives it.
SwitchHandler StoreNumber(int32_t minimum, const char* error, std::function<void(int32_t)> store) {
  return [minimum, error,
          store = std::move(store)](std::span<const std::wstring_view> values) -> const char* {
    std::optional<int32_t> number = ParseWholeDecimal(values[0]);
    if (!number || *number < minimum)
      return error;
    store(*number);
    return nullptr;
  };
}

SwitchHandler StoreInteger(int32_t minimum, const char* error, int32_t* target) {
  return StoreNumber(minimum, error, [target](int32_t value) { *target = value; });
}

SwitchHandler StoreLogPath(CopySettings* settings, int32_t append) {
  return [settings, append](std::span<const std::wstring_view> values) -> const char* {
    settings->logPath.assign(values[0]);
    settings->logAppend = append;
    return nullptr;
  };
}

SwitchHandler StoreLocalSidSource(CopySettings* settings) {
  return [settings](std::span<const std::wstring_view> values) -> const char* {
    std::optional<std::vector<uint8_t>> sid;
    if (IsLocalSidSourceText(values[0]))
      sid = ParseSidString(values[0], 16);
    if (!sid) {
      return "SID not well formatted, please follows the  "
             "S-1-5-15-aaaaaaaa-bbbbbbbb-cccccccc-FFFFFFFF syntax.";
    }
    settings->localSidSource = std::move(*sid);
    settings->localSidSourceSet = 1;
    return nullptr;
  };
}

void RegisterSecuritySwitches(SwitchRegistry* registry, CopySettings* settings) {
  registry->RegisterFlagSwitch(L"nosec", &settings->noSecurity);
  registry->RegisterFlagSwitch(L"noprivchecks", &settings->noPrivilegeChecks);
  registry->RegisterFlagSwitch(L"o", &settings->copyOwner);
  registry->RegisterFlagSwitch(L"a", &settings->copyAudit);
  registry->RegisterFlagSwitch(L"dac", &settings->copyDac);
  registry->RegisterFlagSwitch(L"secfix", &settings->secFix);
  registry->RegisterFlagSwitch(L"secforce", &settings->secForce);
  registry->RegisterFlagSwitch(L"secmerge", &settings->secMerge);
  registry->RegisterFlagSwitch(L"lg", &settings->translateLocalGroups);
  registry->RegisterFlagSwitch(L"lu", &settings->translateLocalUsers);
  registry->RegisterFlagSwitch(L"i", &settings->ignoreLocalAccounts);
}

void RegisterWalkAndSelectionSwitches(SwitchRegistry* registry, CopySettings* settings,
                                      CommandLine* command) {
  registry->RegisterFlagSwitch(L"s", &settings->recurse);
  registry->RegisterFlagSwitch(L"nosort", &settings->noSort);
  registry->RegisterFlagSwitch(L"chunk", &command->chunkSwitch);
  registry->RegisterValueSwitch(
      L"lev",
      StoreInteger(1, "The value of this switch must be a positive decimal value and not 0.",
                   &settings->maxDepth));
  registry->RegisterValueSwitch(
      L"hda", [settings](std::span<const std::wstring_view> values) -> const char* {
        settings->homeDirAccount.assign(values[0]);
        settings->homeDirMode = 1;
        return nullptr;
      });
  registry->RegisterFlagSwitch(L"d", &settings->newerOnly);
  registry->RegisterValueSwitch(L"cm", StoreText(&command->checkContentText));
  registry->RegisterValueSwitch(L"compress", StoreText(&command->compressText));
  registry->RegisterValueSwitch(L"ondiskfull", StoreText(&command->diskFullText));
  registry->RegisterFlagSwitch(L"de", &settings->differentOnly);
  registry->RegisterFlagSwitch(L"sd", &settings->noDataOnSdError);
  registry->RegisterFlagSwitch(L"l", &settings->listOnly);
  registry->RegisterFlagSwitch(L"create", &settings->createOnly);
  registry->RegisterFlagSwitch(L"z", &command->restartableSwitch);
}

void RegisterRetryAndThreadSwitches(SwitchRegistry* registry, CopySettings* settings) {
  registry->RegisterValueSwitch(
      L"r",
      StoreInteger(0, "The number of retries must be a positive value.", &settings->retryCount));
  registry->RegisterValueSwitch(
      L"w", StoreInteger(0, "The time value between two retries must be a positive value.",
                         &settings->retryWaitSeconds));
  registry->RegisterValueSwitch(
      L"th",
      StoreInteger(0, "The number of thread must be a positive value.", &settings->threadCount));
  registry->RegisterValueSwitch(
      L"trfwindow",
      StoreNumber(0, "The transfer window size must be a positive value.", [settings](int32_t mb) {
        settings->transferWindowBytes = static_cast<uint64_t>(mb * kBytesPerMegabyte);
      }));
  registry->RegisterFlagSwitch(L"c", &settings->continueOnError);
}

void RegisterTargetSwitches(SwitchRegistry* registry, CopySettings* settings) {
  registry->RegisterFlagSwitch(L"purge", &settings->purge);
  registry->RegisterFlagSwitch(L"preserveroot", &settings->preserveRoot);
  registry->RegisterFlagSwitch(L"f", &settings->fullPaths);
  registry->RegisterFlagSwitch(L"q", &settings->quiet);
  registry->RegisterFlagSwitch(L"nocase", &settings->lowerCaseNames);
  registry->RegisterFlagSwitch(L"sdd", &settings->syncDirDates);
  registry->RegisterFlagSwitch(L"backupSD", &settings->backupSD);
  registry->RegisterFlagSwitch(L"restoreSD", &settings->restoreSD);
  registry->RegisterValueSwitch(
      L"nd", [settings](std::span<const std::wstring_view> values) -> const char* {
        settings->newDomain = std::wstring(values[0]);
        return nullptr;
      });
  registry->RegisterFlagSwitch(L"preserveSIDh", &settings->preserveSidHistory);
}

void RegisterFilterSwitches(SwitchRegistry* registry, CopySettings* settings) {
  registry->RegisterListSwitch(
      L"xf", kMaxListSwitchValues,
      [settings](std::span<const std::wstring_view> values) -> const char* {
        settings->excludedFiles.clear();
        for (std::wstring_view value : values) {
          settings->excludedFiles.push_back(NormalizeExcludedFilePattern(value));
        }
        return nullptr;
      });
  registry->RegisterListSwitch(
      L"xd", kMaxListSwitchValues,
      [settings](std::span<const std::wstring_view> values) -> const char* {
        settings->excludedDirs.assign(values.begin(), values.end());
        return nullptr;
      });
  registry->RegisterFlagSwitch(L"nodf", &settings->noDirFilter);
  registry->RegisterFlagSwitch(L"stream", &settings->copyStreams);
  registry->RegisterFlagSwitch(L"ignorestubra", &settings->ignoreStubra);
  registry->RegisterFlagSwitch(L"xjd", &settings->excludeJunctions);
}

// The debug flags go straight into the settings: the log system reads
// debugLog while it is being created, to announce its file.
void RegisterDebugSwitches(SwitchRegistry* registry, CopySettings* settings) {
  registry->RegisterFlagSwitch(L"dbg", &settings->debug);
  registry->RegisterFlagSwitch(L"dbgth", &settings->debugThreads);
  registry->RegisterFlagSwitch(L"dbgres", &settings->debugResults);
  registry->RegisterFlagSwitch(L"dbgsec", &settings->debugSecurity);
  registry->RegisterFlagSwitch(L"dbgstats", &settings->debugStats);
  registry->RegisterFlagSwitch(L"dbgpriv", &settings->debugPrivileges);
  registry->RegisterFlagSwitch(L"dbgsys", &settings->debugSystem);
  registry->RegisterFlagSwitch(L"dbglog", &settings->debugLog);
  registry->RegisterFlagSwitch(L"dbgtrf", &settings->debugTransfer);
  registry->RegisterFlagSwitch(L"dbgsid", &settings->debugSid);
}

}  // namespace

void RegisterLogSwitches(SwitchRegistry* registry, CopySettings* settings) {
  registry->RegisterFlagSwitch(L"tee", &settings->logTee);
  registry->RegisterFlagSwitch(L"u", &settings->logUnicode);
  registry->RegisterValueSwitch(L"log", StoreLogPath(settings, 0));
  registry->RegisterValueSwitch(L"log+", StoreLogPath(settings, 1));
}

void RegisterRunSwitches(SwitchRegistry* registry, CopySettings* settings, CommandLine* command) {
  RegisterSecuritySwitches(registry, settings);
  RegisterWalkAndSelectionSwitches(registry, settings, command);
  RegisterRetryAndThreadSwitches(registry, settings);
  RegisterTargetSwitches(registry, settings);
  RegisterFilterSwitches(registry, settings);
  registry->RegisterValueSwitch(L"localsidsource", StoreLocalSidSource(settings));
  registry->RegisterValueSwitch(L"sidmapfile", StoreText(&settings->sidMapFile));
  RegisterDebugSwitches(registry, settings);
}

}  // namespace tarvik
