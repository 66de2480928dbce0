#include "translate/translator_init.h"

#include "common/sd/sd_exception.h"
#include "log/log.h"
#include "platform/os.h"
#include "translate/default_owner.h"
#include "translate/local_accounts.h"
#include "translate/rid_translator.h"
#include "translate/sd_translator.h"
#include "translate/security_trace.h"
#include "translate/sid_map_file.h"
#include "util/format.h"
#include "util/text.h"

namespace tarvik {
namespace {

constexpr DWORD kDomainControllerTypes = SV_TYPE_DOMAIN_CTRL | SV_TYPE_DOMAIN_BAKCTRL;

// The account-domain SID of server; raises failure when the server cannot
// tell.
SId DomainSidOf(const std::wstring& server, const std::wstring& failure) {
  SId sid = SId::Null();
  if (!sid.GetDomainSid(server))
    throw SDException(failure);
  return sid;
}

void RecordSettings(SdTranslator* t, SecurityMode mode, bool list_only) {
  const CopySettings& s = Settings();
  t->securityMode = mode;
  t->listOnly = list_only;
  // A backup or restore of descriptors takes them whole.
  t->copyOwner = s.copyOwner || s.backupSD || s.restoreSD;
  t->copyAudit = s.copyAudit || s.backupSD || s.restoreSD;
  t->copyDac = s.copyDac;
  t->copyDacl = true;
  t->translateLocalUsers = s.translateLocalUsers;
  t->translateLocalGroups = s.translateLocalGroups;
  t->ignoreLocalAccounts = s.ignoreLocalAccounts;
  t->ignoreStubra = s.ignoreStubra;
  t->preserveSidHistory = s.preserveSidHistory;
  t->quiet = s.quiet;
  t->debug = s.debug;
  t->localSidSourceSet = s.localSidSourceSet;
}

void CompareServers(SdTranslator* t, const Server& source, const Server& target) {
  if (EqualsNoCaseAscii(source.name, target.name)) {
    // The same accounts on both sides: nothing local to match or drop.
    t->sameServer = true;
    t->translateLocalUsers = false;
    t->translateLocalGroups = false;
    t->ignoreLocalAccounts = false;
  }
  if (source.serverType & kDomainControllerTypes) {
    // A controller has no local accounts of its own.
    t->ignoreLocalAccounts = false;
    t->sourceIsDomainController = true;
  }
}

void ReadSourceMachineSid(SdTranslator* t, const Server& source) {
  if (t->localSidSourceSet) {
    t->sourceMachineSid = SId(Settings().localSidSource);
  } else {
    t->sourceMachineSid = DomainSidOf(
        source.name, Format(L"Unable to get the local source server sid from %s", source.name));
  }
  const bool has_domain = source.joinStatus == NetSetupDomainName || !source.domainName.empty();
  if (has_domain && source.domainSid.IsValid() &&
      source.domainSid.EqualPrefix(t->sourceMachineSid)) {
    LogWarning(L"Unable to get the local source server sid from %s", source.name);
    LogWarning(
        L"Please specify a source local sid using option /localsidsource  "
        L"S-1-5-15-aaaaaaaa-bbbbbbbb-cccccccc-FFFFFFFF");
    LogWarning(L"otherwise local source SID will be applied as they are");
    t->localIsDomain = true;
  } else if (TracingSecurity()) {
    TraceSecurity(t->localSidSourceSet ? L"Given source machine SID" : L"Source machine SID",
                  t->sourceMachineSid.ToString());
  }
  t->sourceMachineSidKnown = true;
}

void ReadTargetMachineSid(SdTranslator* t, const Server& target) {
  t->targetMachineSid = DomainSidOf(
      target.name, Format(L"Unable to get the local target server sid from %s", target.name));
  if (TracingSecurity())
    TraceSecurity(L"Target machine SID", t->targetMachineSid.ToString());
  t->targetMachineSidKnown = true;
}

// The default group lies in the owner's domain; BUILTIN has no such group,
// so for BUILTIN\Administrators it lies in the target's account domain.
void SetDefaultGroup(SdTranslator* t, const DefaultOwner& chosen) {
  t->defaultGroup = chosen.builtin ? t->targetMachineSid : t->defaultOwner;
  t->defaultGroup.SetRid(chosen.groupRid);
}

// The local accounts matched between the two servers into the process-wide
// table, which the translator consults for the source machine's SIDs. An
// account without its counterpart stops the run.
bool PrepareLocalAccountTables(SdTranslator* t) {
  RidTranslator& rids = TheRidTranslator();
  rids.Clear();  // a new preparation starts from an empty table
  if (!BuildLocalAccountTables(*t, &rids))
    return false;
  t->ridMap = &rids;
  return true;
}

// The SID map file into the process-wide table, which the translator then
// consults before every other rule. A file that cannot be read stops the
// run; records in error are reported and counted, the others load.
bool PrepareSidMap(SdTranslator* t) {
  const std::wstring& path = Settings().sidMapFile;
  SidMapTable& table = TheSidMapTable();
  table.Clear();  // a new preparation starts from an empty table
  SidMapReader reader(t->sourceServer, t->targetServer, &table);
  if (!LoadSidMapFile(path, &reader))
    throw SDException(Format(L"Unable to load the sid map file %s", path));
  t->sidMap = &table;
  t->sidMapRecordsRejected = reader.counts().rejected;
  return true;
}

// Every SID workers read is given its text form now, while one thread
// runs: the form is memoised on first use, which would otherwise be a
// write to shared state.
void MemoiseTexts(SdTranslator* t) {
  for (const SId* sid : {&t->sourceMachineSid, &t->targetMachineSid, &t->newDomainSid,
                         &t->defaultOwner, &t->defaultGroup}) {
    sid->ToString();
  }
}

// Raises SDException with the reason it cannot go on.
bool PrepareServers(SdTranslator* t, const Server& source, const Server& target) {
  DefaultOwner chosen;
  if (t->copyOwner) {
    chosen = ChooseDefaultOwner(source, target);
    t->defaultOwner = chosen.owner;
  }
  ReadSourceMachineSid(t, source);
  ReadTargetMachineSid(t, target);
  if (t->copyOwner)
    SetDefaultGroup(t, chosen);
  t->sourceServer = source;
  t->targetServer = target;
  bool result = true;
  if (t->translateLocalUsers || t->translateLocalGroups)
    result = PrepareLocalAccountTables(t) && result;
  if (!Settings().sidMapFile.empty())
    result = PrepareSidMap(t) && result;
  MemoiseTexts(t);
  return result;
}

void PrepareNewDomain(SdTranslator* t, const Server& target, const std::wstring& name) {
  std::wstring controller;
  if (Os::Current().NetGetAnyDCName(SystemName(target.name), name.c_str(), &controller) !=
      NERR_Success) {
    throw SDException(Format(L"Unable to retrieve the PDC of the new Domain %s", name));
  }
  t->newDomainSid =
      DomainSidOf(controller, Format(L"Unable to get the SID of the new Domain %s", name));
  t->newDomainName = name;
  t->newDomainController = controller;
  if (TracingSecurity())
    LogInfo(L"New Domain SID is : %s\n", t->newDomainSid.ToString());
}

void ReportFailure() {
  LogWarning(L"Unable to initialize the Security Descriptor translator");
}

}  // namespace

bool InitSecurityTranslation(const Server& source, const Server& target, SecurityMode mode,
                             bool list_only) {
  SdTranslator& t = TheSdTranslator();
  if (t.initialized)
    return true;
  RecordSettings(&t, mode, list_only);
  CompareServers(&t, source, target);
  bool result = false;
  try {
    result = PrepareServers(&t, source, target);
  } catch (const SDException& error) {
    LogWarning(L"%s", error.message());
    result = false;
  }
  if (!result) {
    ReportFailure();
    return false;
  }
  t.initialized = true;
  return true;
}

bool InitNewDomainTranslation(const Server& source, const Server& target,
                              const std::optional<std::wstring>& new_domain, SecurityMode mode,
                              bool list_only) {
  SdTranslator& t = TheSdTranslator();
  if (t.initialized)
    return true;
  if (new_domain && !new_domain->empty()) {
    try {
      PrepareNewDomain(&t, target, *new_domain);
    } catch (const SDException& error) {
      LogWarning(L"%s", error.message());
      ReportFailure();
      return false;
    }
  }
  return InitSecurityTranslation(source, target, mode, list_only);
}

}  // namespace tarvik
