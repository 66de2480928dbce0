#include "translate/sid_history.h"

#include <string>
#include <vector>

#include "common/sd/sid_bytes.h"
#include "common/sid_lookup_cache.h"
#include "util/format.h"

namespace tarvik {
namespace {

using Kind = SidHistoryDecision::Kind;

constexpr uint32_t kAdministratorRid = 500;

SidHistoryDecision MapsToItself() {
  return SidHistoryDecision{Kind::kMapsToItself, {}};
}

SidHistoryDecision MapsTo(const SId& target) {
  SidBytes bytes = target.Bytes();
  return SidHistoryDecision{Kind::kMapsTo, std::vector<uint8_t>(bytes.begin(), bytes.end())};
}

// The domain entry of account: its domain's SID with the placeholder RID,
// named domain_name.
SId DomainEntryOf(const SId& account, const std::wstring& domain_name) {
  SidBytes bytes = account.Bytes();
  std::vector<uint8_t> domain_id(bytes.begin(), bytes.end() - 4);
  domain_id[1] -= 1;
  SId entry = SId::Null();
  entry.AssignDomain(domain_id, domain_name);
  return entry;
}

// "DOMAIN\account" looked up on the target server itself. Not through the
// SID cache: it may hold a historical SID under the name of the account
// that carries it now, which would make every SID map to itself.
SId LookupOnTarget(const SdTranslator& t, const std::wstring& domain, const std::wstring& account) {
  return SId::FromName(t.targetServer.name, Format(L"%s\\%s", domain, account), false);
}

// The domain entry of sid and its decision. A domain met for the first time
// is named by its Administrator (RID 500) as the source server resolves it:
// once the domain has been migrated, that is the domain which now carries
// its SIDs. A null SID when the domain cannot be named.
SId DomainOf(const SdTranslator& t, const SId& sid, SidLookupCache* cache,
             SidHistoryDecision* decision) {
  SId entry;
  if (cache != nullptr && cache->FindDecision(DomainEntryOf(sid, L""), &entry, decision))
    return entry;
  SId administrator = sid;
  administrator.SetRid(kAdministratorRid);
  administrator.LookupSid(t.sourceServer.name);
  if (!administrator.named() || administrator.domainName().empty())
    return SId::Null();
  entry = DomainEntryOf(sid, administrator.domainName());
  if (cache != nullptr)
    cache->Insert(entry);
  *decision = SidHistoryDecision();
  return entry;
}

// The first account of a domain decides for the domain: when its name finds
// it again on the target, the domain is still in use and all its SIDs stay.
SidHistoryDecision DecideForDomain(const SdTranslator& t, const SId& sid, const SId& domain,
                                   SidLookupCache* cache) {
  SId found = LookupOnTarget(t, domain.domainName(), sid.accountName());
  if (!found.named())
    return MapsToItself();
  if (found.EqualSid(sid)) {
    if (cache != nullptr)
      cache->RecordDecision(domain, MapsToItself());
    return MapsToItself();
  }
  if (cache != nullptr) {
    SId new_domain = DomainEntryOf(found, found.domainName());
    cache->Insert(new_domain);
    cache->RecordDecision(domain, MapsTo(new_domain));
  }
  return MapsTo(found);
}

// In a migrated domain, each account by its own name.
SidHistoryDecision DecideByName(const SdTranslator& t, const SId& sid) {
  SId found = LookupOnTarget(t, sid.domainName(), sid.accountName());
  if (!found.named() || found.EqualSid(sid))
    return MapsToItself();
  return MapsTo(found);
}

SidHistoryDecision Decide(const SdTranslator& t, const SId& sid, SidLookupCache* cache) {
  if (SidSubAuthorityCount(sid.Bytes()) == 0)
    return MapsToItself();
  SidHistoryDecision domain_decision;
  SId domain = DomainOf(t, sid, cache, &domain_decision);
  if (!domain.IsValid())
    return MapsToItself();
  if (domain_decision.kind == Kind::kMapsToItself || sid.accountType() == SidTypeDeletedAccount ||
      sid.accountType() == SidTypeUnknown) {
    return MapsToItself();
  }
  if (domain_decision.kind == Kind::kUndecided)
    return DecideForDomain(t, sid, domain, cache);
  return DecideByName(t, sid);
}

}  // namespace

SId ResolveHistoricalSid(const SdTranslator& t, const SId& source) {
  SId sid = source;
  sid.LookupSid(t.sourceServer.name);
  if (!sid.resolved())
    return source;
  SidLookupCache* cache = sid.cacheable() ? InstalledSidLookupCache() : nullptr;
  SidHistoryDecision decision;
  SId cached;
  const bool found = cache != nullptr && cache->FindDecision(sid, &cached, &decision);
  if (!found || decision.kind == Kind::kUndecided) {
    // Without an entry the decision is still made, only not kept.
    decision = Decide(t, sid, cache);
    if (cache != nullptr) {
      if (!found)
        cache->Insert(sid);
      cache->RecordDecision(sid, decision);
    }
  }
  if (decision.kind == Kind::kMapsTo)
    return SId(decision.target);
  return source;
}

}  // namespace tarvik
