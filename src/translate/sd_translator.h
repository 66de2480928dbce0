// SdTranslator: what the run knows for carrying security descriptors from
// the source server to the target server, and the translation of SIDs, ACLs
// and whole descriptors built on it.
//
// One instance serves the process. The translator initialisation fills it
// before the first worker starts; from then on it is read-only and every
// worker translates through it at once, each with its own SecurityWorkspace.
// The shared tables it reads (the SID cache, the SID map, the local account
// table) lock themselves.
#ifndef TARVIK_TRANSLATE_SD_TRANSLATOR_H_
#define TARVIK_TRANSLATE_SD_TRANSLATOR_H_

#include <memory>
#include <string>

#include "common/acl.h"
#include "common/security_workspace.h"
#include "common/sid.h"
#include "server/server.h"
#include "settings/copy_settings.h"
#include "translate/missing_names.h"
#include "translate/translation_tables.h"

namespace tarvik {

struct SdTranslator {
  SdTranslator();

  // --- What the run replicates ---
  SecurityMode securityMode = SecurityMode::None;
  bool copyOwner = false;             // /o (forced by /backupSD and /restoreSD)
  bool copyAudit = false;             // /a (forced by /backupSD and /restoreSD)
  bool copyDac = false;               // /dac: resource attribute and scoped policy entries too
  bool copyDacl = true;               // the DACL is always translated
  bool translateLocalUsers = false;   // /lu
  bool translateLocalGroups = false;  // /lg
  bool ignoreLocalAccounts = false;   // /i: drop unmatched local accounts
  bool ignoreStubra = false;          // drop the vendor stub-file entry
  bool preserveSidHistory = false;    // keep historical SIDs as they are
  bool listOnly = false;
  bool quiet = false;
  bool debug = false;

  // --- The two servers ---
  bool sameServer = false;
  bool sourceIsDomainController = false;
  // The source's machine SID is its domain's SID: its local accounts cannot
  // be told from domain accounts and are carried as they are.
  bool localIsDomain = false;
  SId sourceMachineSid;  // placeholder-RID account-domain SIDs
  SId targetMachineSid;
  bool sourceMachineSidKnown = false;
  bool targetMachineSidKnown = false;
  bool localSidSourceSet = false;
  bool initialized = false;

  // --- A new domain (/nd) ---
  std::wstring newDomainName;        // empty without one
  std::wstring newDomainController;  // "\\NAME" of a controller near the target
  SId newDomainSid;                  // placeholder-RID domain SID
  // Names not found in the new domain: each is asked for, and reported,
  // once per run.
  std::shared_ptr<MissingNames> missingInNewDomain = std::make_shared<MissingNames>();

  // Owner and group given to a target whose own cannot be carried over.
  SId defaultOwner;
  SId defaultGroup;

  Server sourceServer;
  Server targetServer;

  // The SID map file's entries and the matched local accounts; null while
  // the run has none.
  const SidMapLookup* sidMap = nullptr;
  const RidMapLookup* ridMap = nullptr;
  // Records of the SID map file that were in error and not loaded: the SIDs
  // they name go through the other rules, and the run must say so in its
  // exit code.
  int sidMapRecordsRejected = 0;

  bool HasNewDomain() const { return !newDomainName.empty(); }

  // The SID that means source's account on the target. False when the SID
  // cannot be carried over (the caller drops it); a true result may be
  // revoked, which the caller drops as well. ignore_local drops source-local
  // accounts that no table matched.
  bool TranslateSid(SecurityWorkspace* workspace, const SId& source, SId* result,
                    bool ignore_local) const;

  // Every entry of source translated or dropped, in canonical order, into
  // result; presence and defaulted flags as source's. Raises SDException for
  // an ACL or entry that cannot be read or built.
  void TranslateAcl(SecurityWorkspace* workspace, Acl& source, Acl* result) const;

  // workspace->source into workspace->built: owner and group (with /o),
  // DACL, SACL (with /a or /dac), control. False when the descriptor could
  // not be taken apart or built; what was built so far stays, incomplete,
  // and must not be written.
  bool TranslateSecurityDescriptor(SecurityWorkspace* workspace) const;
};

// The process-wide translator, and its return to the state before
// initialisation (at the start of a run, and by tests).
SdTranslator& TheSdTranslator();
void ResetSdTranslator();

// The same operations on the process-wide translator.
bool TranslateSid(SecurityWorkspace* workspace, const SId& source, SId* result, bool ignore_local);
void TranslateAcl(SecurityWorkspace* workspace, Acl& source, Acl* result);
bool TranslateSecurityDescriptor(SecurityWorkspace* workspace);

}  // namespace tarvik

#endif  // TARVIK_TRANSLATE_SD_TRANSLATOR_H_
