#include "copy/root_setup.h"

#include "log/log.h"
#include "settings/copy_settings.h"
#include "translate/sd_translator.h"
#include "translate/translator_init.h"

namespace tarvik {
namespace {

// Security modes that translate descriptors between the two servers.
bool ServersNeeded(SecurityMode mode) {
  return mode == SecurityMode::Copy || mode == SecurityMode::Fix || mode == SecurityMode::Force ||
         mode == SecurityMode::Merge;
}

}  // namespace

RunServers& TheRunServers() {
  static RunServers* servers = new RunServers;
  return *servers;
}

bool SetRoots(DirCopy* engine, const std::wstring& source, const std::wstring& target) {
  const CopySettings& s = Settings();
  try {
    if (!engine->SetSourceRoot(source) || !engine->PrepareTargetRoot(target))
      return false;
    const bool needed = ServersNeeded(s.securityMode);
    RunServers& servers = TheRunServers();
    if (!servers.source.GetFromPath(source, needed) && needed)
      return false;
    if (!servers.target.GetFromPath(target, needed) && needed)
      return false;
    PrintServerReport(servers.source, servers.target);
    TheSdTranslator().copyDacl = true;
    if (needed) {
      return InitNewDomainTranslation(servers.source, servers.target, s.newDomain, s.securityMode,
                                      s.listOnly);
    }
    if (s.securityMode == SecurityMode::HomeDir)
      NoteSecurityUnavailable();
    return true;
  } catch (const DirScanException& e) {
    engine->ReportException(e);
    return false;
  }
}

}  // namespace tarvik
