#include "driver/command_report.h"

#include <ctime>

#include "log/log.h"
#include "log/message_text.h"
#include "platform/os.h"
#include "scan/name_filters.h"
#include "util/format.h"

namespace tarvik {
namespace {

void Flag(std::wstring* out, bool given, const wchar_t* name) {
  if (given)
    *out += Format(L"/%s ", name);
}

std::wstring JoinedPatterns(const wchar_t* label, const std::vector<std::wstring>& patterns) {
  std::wstring out = Format(L"%-28s: ", label);
  for (size_t i = 0; i < patterns.size(); ++i) {
    if (i != 0)
      out += L", ";
    out += Format(L"%s", patterns[i]);
  }
  return out + L"\n";
}

const wchar_t* CompressModeText(int32_t mode) {
  switch (mode) {
    case kCompressIgnore:
      return L"ignore\n";
    case kCompressForceFile:
      return L"forcefile\n";
    case kCompressForceDir:
      return L"forcedir\n";
    default:
      return L"forceall\n";
  }
}

}  // namespace

std::wstring DirectoryOptionsText(const CommandLine& command, const CopySettings& s) {
  std::wstring out = Format(L"%-28s: ", L"Directory options");
  Flag(&out, s.recurse, L"s");
  Flag(&out, s.noDirFilter, L"nodf");
  if (s.maxDepth != 0)
    out += Format(L"/%s:%ld ", L"lev", s.maxDepth);
  Flag(&out, command.purgeSwitch, L"purge");
  Flag(&out, s.preserveRoot, L"preserveroot");
  Flag(&out, s.lowerCaseNames, L"nocase");
  Flag(&out, s.copyStreams, L"stream");
  Flag(&out, s.ignoreStubra, L"ignorestubra");
  Flag(&out, s.syncDirDates, L"sdd");
  Flag(&out, s.noSort, L"nosort");
  Flag(&out, s.excludeJunctions, L"xjd");
  return out + L"\n";
}

std::wstring SwitchReportText(const CommandLine& command, const CopySettings& s) {
  std::wstring out;
  if (!s.excludedFiles.empty())
    out += JoinedPatterns(L"Excluded File", s.excludedFiles);
  if (!s.excludedDirs.empty())
    out += JoinedPatterns(L"Excluded Dir", s.excludedDirs);
  out += Format(L"%-28s: ", L"List/Modify/Create options");
  Flag(&out, s.listOnly, L"l");
  Flag(&out, s.newerOnly, L"d");
  Flag(&out, s.differentOnly, L"de");
  Flag(&out, s.createOnly, L"create");
  out += L"\n";
  if (s.checkContentMode != kCheckNone) {
    out += Format(L"%-28s: ", L"Check content mode");
    out += s.checkContentMode == kCheckBin ? L"bin\n" : L"md5\n";
  }
  if (s.compressMode != kCompressNormal)
    out += Format(L"%-28s: ", L"Compress mode") + CompressModeText(s.compressMode);
  if (command.chunkSwitch)
    out += Format(L"%-28s: ", L"Copy mode options") + Format(L"/%s ", L"chunk") + L"\n";
  out += Format(L"%-28s: ", L"Security options: ");
  Flag(&out, s.noSecurity, L"nosec");
  Flag(&out, command.ownerSwitch, L"o");
  Flag(&out, command.auditSwitch, L"a");
  Flag(&out, s.copyDac, L"dac");
  Flag(&out, s.secFix, L"secfix");
  Flag(&out, s.secForce, L"secforce");
  Flag(&out, s.secMerge, L"secmerge");
  Flag(&out, s.translateLocalGroups, L"lg");
  Flag(&out, s.translateLocalUsers, L"lu");
  Flag(&out, s.ignoreLocalAccounts, L"i");
  Flag(&out, s.noDataOnSdError, L"sd");
  Flag(&out, s.backupSD, L"backupSD");
  Flag(&out, s.restoreSD, L"restoreSD");
  Flag(&out, s.newDomain.has_value(), L"nd");
  Flag(&out, s.preserveSidHistory, L"preserveSIDh");
  Flag(&out, s.noPrivilegeChecks, L"noprivchecks");
  out += L"\n";
  if (s.threadCount != kDefaultThreadCount)
    out += Format(L"%-28s: %d\n", L"Thread count", s.threadCount);
  if (s.transferWindowBytes != 0)
    out += Format(L"%-28s: %s\n", L"Transfer window size", FormatByteSize(s.transferWindowBytes));
  out += Format(L"%-28s: /%s:%ld /%s:%ld ", L"Retry options", L"r", s.retryCount, L"w",
                s.retryWaitSeconds);
  Flag(&out, s.continueOnError, L"c");
  out += L"\n";
  if (!s.logPath.empty()) {
    out += Format(L"%-28s: /%s:%s%s%s%s%s\n", L"Log file", s.logAppend ? L"log+" : L"log",
                  s.logPath, s.logUnicode ? L" /" : L"", s.logUnicode ? L"u" : L"",
                  s.logTee ? L" /" : L"", s.logTee ? L"tee" : L"");
  }
  return out;
}

void CommandReport(const CommandLine& command, const CopySettings& settings,
                   const CommandReportInput& input) {
  Os& os = Os::Current();
  std::tm now{};
  os.LocalTime(os.time(), &now);
  LogText(L"\n%s\n", L"Command information");
  LogText(L"%s\n\n", L"===================");
  LogText(L"\n%-28s: %02d/%02d/%04d %02d:%02d:%02d\n", L"Date", now.tm_mday, now.tm_mon + 1,
          now.tm_year + 1900, now.tm_hour, now.tm_min, now.tm_sec);
  LogText(L"%-28s: %s\n", L"Source path", input.sourceRoot);
  LogText(L"%-28s: %s\n", L"Desti. path", input.targetRoot);
  LogText(L"%-28s: %s\n", L"Available space on dest.", FormatByteSize(input.targetFreeBytes));
  NameFilters::PrintFilters();
  LogText(L"%s", DirectoryOptionsText(command, settings));
  LogText(L"%s", SwitchReportText(command, settings));
}

}  // namespace tarvik
