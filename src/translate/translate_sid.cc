// The translation of one SID: the first rule that applies decides.
#include <optional>

#include "log/log.h"
#include "translate/sd_translator.h"
#include "translate/security_trace.h"
#include "translate/sid_history.h"
#include "util/format.h"

namespace tarvik {
namespace {

// A rule's answer: carried (true) or dropped (false), or nothing when the
// rules after it decide.
using RuleOutcome = std::optional<bool>;

constexpr uint32_t kSchemaAdminsRid = 518;

void TraceMigrated(int rule, const SId& result) {
  if (TracingSecurity())
    TraceSecurity(Format(L"Migrated SID (S%d)", rule), result.ToString());
}

bool Keep(int rule, const SId& source, SId* result) {
  *result = source;
  TraceMigrated(rule, *result);
  return true;
}

bool MoveToDomain(int rule, const SId& source, const SId& domain, SId* result) {
  result->ReplaceDomain(source, domain);
  TraceMigrated(rule, *result);
  return true;
}

// An account the server named (not merely a SID it could not map).
bool Named(const SId& sid) {
  return sid.named() && sid.accountType() != SidTypeDeletedAccount;
}

// The SID map file decides first: a target, or revoked.
RuleOutcome ApplySidMap(const SdTranslator& t, const SId& source, SId* result) {
  if (t.sidMap == nullptr)
    return std::nullopt;
  std::optional<SidMapEntry> entry = t.sidMap->Find(source);
  if (!entry)
    return std::nullopt;
  if (entry->revoked) {
    *result = source;
    result->set_revoked(true);
    if (TracingSecurity()) {
      SId named = source;
      TraceSecurity(L"Revoqued SID found", named.Name(t.sourceServer.name));
    }
    return true;
  }
  *result = entry->target;
  if (TracingSecurity()) {
    SId named_source = source;
    SId named_target = entry->target;
    LogInfo(L"%-20s : %s:%s --> %s:%s", L"Mapping found", named_source.Name(t.sourceServer.name),
            source.ToString(), named_target.Name(t.targetServer.name), named_target.ToString());
  }
  return true;
}

// Accounts of the source machine itself: matched local accounts, then the
// well-known RIDs every machine has.
RuleOutcome TranslateSourceLocal(const SdTranslator& t, const SId& source, SId* result,
                                 bool ignore_local) {
  if (!t.sourceMachineSidKnown || t.localIsDomain || t.sourceIsDomainController ||
      !t.sourceMachineSid.EqualPrefix(source)) {
    return std::nullopt;
  }
  const uint32_t rid = source.GetRid();
  if ((t.translateLocalUsers || t.translateLocalGroups) && t.ridMap != nullptr) {
    if (std::optional<uint32_t> mapped = t.ridMap->Lookup(rid)) {
      *result = t.targetMachineSid;
      result->SetRid(*mapped);
      result->set_defaulted(source.defaulted());
      TraceMigrated(1, *result);
      return true;
    }
  }
  if (IsWellKnownRid(rid)) {
    if (t.HasNewDomain())
      return MoveToDomain(2, source, t.newDomainSid, result);
    if (t.sameServer)
      return Keep(3, source, result);
    return MoveToDomain(4, source, t.targetMachineSid, result);
  }
  if (ignore_local)
    return false;
  return std::nullopt;
}

// SIDs whose meaning does not depend on the machine or the domain, and the
// well-known RIDs of any domain.
RuleOutcome TranslateWellKnown(const SdTranslator& t, const SId& source, SId* result) {
  if (source.IsBasicAuthority())
    return Keep(5, source, result);
  if (!source.IsNtAuthority())
    return std::nullopt;
  if (source.IsNtSingleWellKnown())
    return Keep(6, source, result);
  if (source.IsLogonSession())
    return false;
  if (source.IsNt18Service())
    return Keep(8, source, result);
  const size_t count = SidSubAuthorityCount(source.Bytes());
  const uint32_t rid = source.GetRid();
  if (source.IsBuiltin() && count == 2) {
    if (IsBuiltinNotMigrated(rid))
      return false;
    return Keep(9, source, result);
  }
  if (count >= 2 && IsWellKnownRid(rid)) {
    if (!t.HasNewDomain())
      return Keep(11, source, result);
    if (rid == kSchemaAdminsRid)
      return false;
    return MoveToDomain(10, source, t.newDomainSid, result);
  }
  return std::nullopt;
}

// Into a new domain: the account of the same name there.
bool TranslateIntoNewDomain(const SdTranslator& t, const SId& source, SId* result) {
  SId named = source;
  named.LookupSid(t.sourceServer.name);
  // A deleted account has no name to be found by: without this, the
  // domain's own SID would come back for "DOMAIN\".
  if (!Named(named) || named.accountName().empty())
    return false;
  const std::wstring name = Format(L"%s\\%s", t.newDomainName, named.accountName());
  SId found = SId::Null();
  const bool present = t.missingInNewDomain->Lookup(name, [&] {
    found = SId::FromName(t.newDomainController, name);
    if (Named(found) && !t.newDomainSid.EqualPrefix(found)) {
      // The SID cache can hold a historical SID under the name of the
      // account that carries it now; the controller itself knows the
      // current one.
      found = SId::FromName(t.newDomainController, name, false);
    }
    // Only the controller's answer that there is no such account is final;
    // a failed request may succeed for the next entry.
    return !Named(found) && found.resolved();
  });
  if (!present || !Named(found))
    return false;
  *result = found;
  TraceMigrated(11, *result);
  return true;
}

bool TranslateHistorical(const SId& source, const SdTranslator& t, SId* result) {
  *result = ResolveHistoricalSid(t, source);
  TraceMigrated(13, *result);
  if (!result->EqualSid(source) && TracingSecurity())
    LogWarning(L"Historical SID : %s is no more preserved", source.ToString());
  return true;
}

}  // namespace

bool SdTranslator::TranslateSid(SecurityWorkspace* workspace, const SId& source, SId* result,
                                bool ignore_local) const {
  if (TracingSecurity())
    TraceSecurity(L"SID to migrate", source.ToString());
  // An SId only ever holds a valid SID or none at all.
  if (!source.IsValid())
    return false;
  if (RuleOutcome outcome = ApplySidMap(*this, source, result))
    return *outcome;
  if (RuleOutcome outcome = TranslateSourceLocal(*this, source, result, ignore_local))
    return *outcome;
  if (RuleOutcome outcome = TranslateWellKnown(*this, source, result))
    return *outcome;
  if (HasNewDomain())
    return TranslateIntoNewDomain(*this, source, result);
  if (preserveSidHistory)
    return Keep(12, source, result);
  return TranslateHistorical(source, *this, result);
}

}  // namespace tarvik
