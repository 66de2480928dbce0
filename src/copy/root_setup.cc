#include "copy/root_setup.h"

#include "copy/copy_counters.h"
#include "copy/run_statistics.h"
#include "log/log.h"
#include "settings/copy_settings.h"
#include "translate/home_dir.h"
#include "translate/sd_translator.h"
#include "translate/translator_init.h"

namespace tarvik {
namespace {

// Security modes that translate descriptors between the two servers.
bool ServersNeeded(SecurityMode mode) {
  return mode == SecurityMode::Copy || mode == SecurityMode::Fix || mode == SecurityMode::Force ||
         mode == SecurityMode::Merge;
}

// The destination without its trailing backslashes.
std::wstring HomeDirRoot(const std::wstring& target) {
  const size_t end = target.find_last_not_of(L'\\');
  return end == std::wstring::npos ? target : target.substr(0, end + 1);
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
      if (!InitNewDomainTranslation(servers.source, servers.target, s.newDomain, s.securityMode,
                                    s.listOnly)) {
        return false;
      }
      // A map record left out hands its SID to the other rules: the copy
      // goes on, but its descriptors are not all the map asked for.
      if (TheSdTranslator().sidMapRecordsRejected > 0)
        TheRunStatistics().AddExitBits(kResultSecurityError);
      return true;
    }
    // A home-directory run that cannot prepare its descriptors stops here,
    // before any object is copied without them.
    if (s.securityMode == SecurityMode::HomeDir)
      return InitHomeDirTranslation(servers.target, HomeDirRoot(target), s.homeDirAccount,
                                    s.listOnly);
    return true;
  } catch (const DirScanException& e) {
    engine->ReportException(e);
    return false;
  }
}

}  // namespace tarvik
