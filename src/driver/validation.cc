#include "driver/validation.h"

#include <iterator>

#include "copy/md5_digest.h"
#include "driver/value_parsers.h"
#include "log/log.h"
#include "util/text.h"

namespace tarvik {
namespace {

bool Refuse(const wchar_t* message) {
  LogText(message);
  return false;
}

bool ReadCheckContentMode(const std::wstring& text, CopySettings* settings) {
  if (text.empty())
    return true;
  if (EqualsNoCaseAscii(text, L"bin")) {
    settings->checkContentMode = kCheckBin;
  } else if (EqualsNoCaseAscii(text, L"md5")) {
    settings->checkContentMode = kCheckMd5;
  } else {
    LogText(L"\n bad check content mode  %s\n", text);
    LogText(L" only \"bin\" and \"md5\" check content mode are supported.\n");
    return false;
  }
  return true;
}

bool ReadCompressMode(const std::wstring& text, CopySettings* settings) {
  if (text.empty())
    return true;
  static constexpr const wchar_t* kWords[] = {L"normal", L"ignore", L"forcefile", L"forcedir",
                                              L"forceall"};
  for (int32_t mode = 0; mode < static_cast<int32_t>(std::size(kWords)); ++mode) {
    if (EqualsNoCaseAscii(text, kWords[mode])) {
      settings->compressMode = mode;
      return true;
    }
  }
  LogText(L"\n bad compress mode  %s\n", text);
  LogText(
      L" only \"normal\", \"ignore\", \"file\", \"dir\" and \"all\" compress mode are "
      L"supported.\n");
  return false;
}

bool ReadDiskFullMode(const std::wstring& text, CopySettings* settings) {
  if (text.empty())
    return true;
  std::wstring_view word = text;
  size_t comma = text.find(L',');
  if (comma != std::wstring::npos) {
    settings->diskFullHighWaterMark = ParseLeadingDecimal(word.substr(comma + 1));
    word = word.substr(0, comma);
  }
  const int32_t mark = settings->diskFullHighWaterMark;
  if (EqualsNoCaseAscii(word, L"abort")) {
    settings->diskFullMode = kDiskFullAbort;
  } else if (EqualsNoCaseAscii(word, L"retry")) {
    settings->diskFullMode = kDiskFullRetry;
  } else if (EqualsNoCaseAscii(word, L"wait") && mark >= 1 && mark <= 100) {
    settings->diskFullMode = kDiskFullWait;
  } else {
    LogText(L"\n bad on disk full mode  %s\n", text);
    LogText(
        L" only \"abort\", \"retry\", and \"wait[,{hwm}] \" on disk full mode are supported.\n");
    return false;
  }
  return true;
}

bool CheckSecuritySwitches(const CopySettings& s) {
  if (s.noSecurity) {
    if (s.secForce)
      return Refuse(L"\n /nosec and /secforce are exclusive switches.\n");
    if (s.secMerge)
      return Refuse(L"\n /nosec and /secmerge are exclusive switches.\n");
    if (s.secFix)
      return Refuse(L"\n /nosec and /secfix are exclusive switches.\n");
    if (s.copyDac)
      return Refuse(L"\n /nosec and /dac are exclusive switches.\n");
  } else if (s.secForce && s.secFix) {
    return Refuse(L"\n /secforce and /secfix are exclusive switches.\n");
  }
  return true;
}

// A security-only run copies no data, so the switches about data, names
// and the tree are void; the mode decides the security handling.
void ApplySecurityOnlyOverride(CopySettings* s) {
  s->purge = 0;
  s->createOnly = 0;
  s->lowerCaseNames = 0;
  s->newerOnly = 0;
  s->preserveRoot = 0;
  s->checkContentMode = kCheckNone;
  s->differentOnly = 0;
  s->ignoreStubra = 0;
  s->ignoreLocalAccounts = 0;
  s->noSecurity = 0;
  s->secForce = 0;
  s->secMerge = 0;
  s->secFix = 0;
  s->noDataOnSdError = s->listOnly;
}

SecurityMode SecurityModeOf(const CopySettings& s) {
  if (s.noSecurity)
    return SecurityMode::None;
  if (s.secForce || s.backupSD || s.restoreSD)
    return SecurityMode::Force;
  if (s.secFix)
    return SecurityMode::Fix;
  if (s.secMerge)
    return SecurityMode::Merge;
  if (s.homeDirMode)
    return SecurityMode::HomeDir;
  return SecurityMode::Copy;
}

}  // namespace

bool ValidateSettings(CommandLine* command, CopySettings* settings) {
  CopySettings& s = *settings;
  if (s.copyStreams && s.createOnly) {
    return Refuse(L"\n /stream and /create are exclusive switches.\n");
  }
  if (s.threadCount < 1 || s.threadCount > kMaxThreadCount) {
    LogText(L"\n Illegal thread count value. Thread count must be in the range 1 to %d.\n",
            kMaxThreadCount);
    return false;
  }
  if (!ReadCheckContentMode(command->checkContentText, settings) ||
      !ReadCompressMode(command->compressText, settings) ||
      !ReadDiskFullMode(command->diskFullText, settings)) {
    return false;
  }
  const bool security_only = s.backupSD || s.restoreSD;
  if (s.backupSD && s.restoreSD) {
    return Refuse(L"\n /BackupSD and /RestoreSD are exclusive switches.\n");
  }
  if (!CheckSecuritySwitches(s))
    return false;
  if (security_only && (s.noSecurity || s.secForce || s.secFix || s.secMerge)) {
    LogText(
        L"Warning :  /%s, /%s, /%s and /%s have no effect when they are used in conjunction "
        L"with /%s or /%s switches.\n",
        L"nosec", L"secfix", L"secforce", L"secmerge", L"backupSD", L"restoreSD");
  }
  if (s.newerOnly && s.differentOnly) {
    return Refuse(L"\n /d and /de are exclusive switches.\n");
  }
  if (s.homeDirMode) {
    if (s.secForce || s.secFix || s.secMerge || s.backupSD || s.restoreSD || s.noSecurity) {
      return Refuse(
          L"\n /hda and one of /secfix /secmerge /secforce /backupSD /restoreSD /nosec are "
          L"exclusive switches.\n");
    }
  } else if (security_only) {
    ApplySecurityOnlyOverride(settings);
  }
  return true;
}

void DeriveSettings(CommandLine* command, CopySettings* settings) {
  CopySettings& s = *settings;
  command->ownerSwitch = s.copyOwner;
  command->auditSwitch = s.copyAudit;
  command->purgeSwitch = s.purge;
  const int32_t security_only = s.backupSD || s.restoreSD;
  s.copyOwner = s.copyOwner || security_only;
  s.copyAudit = s.copyAudit || security_only;
  s.purge = s.purge || s.backupSD;
  s.timeSelection = s.newerOnly || s.differentOnly;
  // Without the MD5 algorithm the run copies without the MD5 check.
  if (s.checkContentMode == kCheckMd5 && !LoadMd5Functions())
    s.checkContentMode = kCheckNone;
  s.chunkMode = command->chunkSwitch ? 2 : 0;
  if (s.diskFullMode == kDiskFullWait) {
    s.quotaMode = kQuotaWaitForSpace;
  } else if (s.transferWindowBytes != 0) {
    s.quotaMode = kQuotaTransferWindow;
  } else {
    s.quotaMode = kQuotaNone;
  }
  s.securityMode = SecurityModeOf(s);
}

}  // namespace tarvik
