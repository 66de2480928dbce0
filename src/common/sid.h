// SId: one security identifier as the security layer holds it, with what has
// been learned about it: its account name, domain and type as resolved on some
// server, its memoised text form, and the links that SID translation attaches
// (the SID it maps to, whether it is revoked).
//
// An SId holds any SID the system allows, up to 15 sub-authorities (app
// container and capability SIDs have 10 or more). Machine and domain SIDs
// are held with the placeholder RID 0xFFFFFFFF appended, so that they have the
// length of their accounts' SIDs: account X belongs to domain D exactly when
// D.EqualPrefix(X), and D.SetRid(r) names the account with RID r.
//
// Lookups go through the Os to the server named (empty: this computer) and
// consult the installed SidLookupCache, when there is one, before asking.
#ifndef TARVIK_COMMON_SID_H_
#define TARVIK_COMMON_SID_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/sd/sid_bytes.h"
#include "platform/account_types.h"

namespace tarvik {

// The server argument of a system call: null for this computer.
const wchar_t* SystemName(const std::wstring& server);

class SId {
 public:
  static constexpr size_t kMaxSubAuthorities = kSidMaxSubAuthorities;
  static constexpr size_t kBufferSize = SidLengthForCount(kMaxSubAuthorities);  // 68

  // S-1-5-0-0-0-0-0-0-0-0 (NT authority, 8 sub-authorities 0), cacheable.
  SId();
  // Raises SDException as Assign does.
  explicit SId(SidBytes sid, bool cacheable = true);
  // The account name (as LookupName takes it) resolved on server, without
  // trace; the result is unresolved (type SidTypeUnknown) when it fails.
  static SId FromName(std::wstring_view server, std::wstring_view name, bool cacheable = true);
  // A null SID (not valid), as a SID that is not known yet.
  static SId Null();

  // Copying takes the SID and everything learned about it, but not the
  // mapped link; assignment keeps the target's cacheable flag.
  SId(const SId& other);
  SId& operator=(const SId& other);
  // Moving relocates the whole value, links included, so that a container
  // that moves its entries keeps their links.
  SId(SId&& other) noexcept = default;
  SId& operator=(SId&& other) noexcept = default;

  // --- Value handling ---
  // An empty span makes the SID null (invalid). Otherwise raises "Invalid
  // source sid" for bytes that are no valid SID.
  void Assign(SidBytes sid);
  // The bytes of the SID (empty when null).
  SidBytes Bytes() const;
  // False only for a null SID; such a SID has type SidTypeInvalid.
  bool IsValid() const;
  // The last sub-authority; raises "Invalid SID" for an invalid SID.
  uint32_t GetRid() const;
  // Writes rid into the last sub-authority and forgets what was learned about
  // the SID (name, domain, string form, defaulted, resolved, mapped, revoked).
  // Raises "Invalid SID" for an invalid SID.
  void SetRid(uint32_t rid);
  // This SID := source's authority, domain's sub-authorities but the last,
  // and source's RID. domain is a placeholder-RID domain SID.
  void ReplaceDomain(const SId& source, const SId& domain);
  // Holds domain_id (the SID of an account domain) as a domain SID: the
  // placeholder RID appended, type SidTypeDomain, resolved, with this name.
  // Raises "CopySid" when the result would exceed 15 sub-authorities.
  void AssignDomain(SidBytes domain_id, std::wstring domain_name);
  // The account-domain SID of server (its machine SID, or on a domain
  // controller its domain's SID) as a domain SID. True at once when already
  // resolved; false, logged, when the server cannot tell.
  bool GetDomainSid(std::wstring_view server);

  bool EqualSid(const SId& other) const;
  // This (a placeholder-RID domain SID) holds account.
  bool EqualPrefix(const SId& account) const;

  // --- Classification (false for an invalid SID) ---
  bool IsBasicAuthority() const { return tarvik::IsBasicAuthority(Bytes()); }
  bool IsCreatorAuthority() const { return tarvik::IsCreatorAuthority(Bytes()); }
  bool IsNtAuthority() const { return tarvik::IsNtAuthority(Bytes()); }
  bool IsBuiltin() const { return tarvik::IsBuiltin(Bytes()); }
  bool IsWellKnownForAccounts() const { return tarvik::IsWellKnownForAccounts(Bytes()); }
  bool IsNtSingleWellKnown() const { return tarvik::IsNtSingleWellKnown(Bytes()); }
  bool IsLogonSession() const { return tarvik::IsLogonSession(Bytes()); }
  bool IsNt18Service() const { return tarvik::IsNt18Service(Bytes()); }

  // --- Text ---
  // Decimal form, memoised; "<invalid sid>" for an invalid SID.
  const std::wstring& ToString() const;
  // Upper-case hexadecimal form ("S-1-5-20-220"); "<invalid sid>" if invalid.
  std::wstring ToHexString() const;
  // "DOMAIN\name" (or the name alone when the domain is empty), resolving on
  // server first; the decimal form for an unknown SID, "<deleted account>" in
  // place of the name of a deleted one.
  std::wstring DisplayName(std::wstring_view server);
  std::wstring Name(std::wstring_view server);
  std::wstring Domain(std::wstring_view server);

  // --- Lookups ---
  // Resolves the SID on server. An unmappable SID (ERROR_NONE_MAPPED) is
  // resolved as SidTypeUnknown; any other failure is logged and leaves the
  // SID unresolved so that a later call asks again.
  SID_NAME_USE LookupSid(std::wstring_view server);
  // Makes this the SID of account name ("DOMAIN\name" or "name") on server.
  // A failure is logged and leaves SidTypeUnknown (resolved only for
  // ERROR_NONE_MAPPED). With trace, a found account is logged.
  SID_NAME_USE LookupName(std::wstring_view server, std::wstring_view name, bool trace);

  // --- What was learned ---
  bool resolved() const { return resolved_; }
  // A lookup gave the SID a name: it was resolved to an account type other
  // than unknown.
  bool named() const {
    return !null_ && resolved_ && account_type_ != SidTypeUnknown &&
           account_type_ != SidTypeInvalid;
  }
  // SidTypeInvalid for a null SID.
  SID_NAME_USE accountType() const { return null_ ? SidTypeInvalid : account_type_; }
  const std::wstring& accountName() const { return account_name_; }
  const std::wstring& domainName() const { return domain_name_; }
  // The owner-defaulted or group-defaulted flag of the descriptor it came from.
  bool defaulted() const { return defaulted_; }
  void set_defaulted(bool defaulted) { defaulted_ = defaulted; }
  // Lookups consult and fill the SID cache (false for SID map entries).
  bool cacheable() const { return cacheable_; }
  void set_cacheable(bool cacheable) { cacheable_ = cacheable; }
  bool revoked() const { return revoked_; }
  void set_revoked(bool revoked) { revoked_ = revoked; }
  // The SID this one translates to; not owned (the SID map table and the SID
  // cache keep their entries for the whole run). May point at this SID.
  const SId* mapped() const { return mapped_; }
  void set_mapped(const SId* mapped) { mapped_ = mapped; }

 private:
  // The default SID (authority 5, 8 sub-authorities 0), everything learned
  // forgotten.
  void Reinitialise();
  void ForgetLearned();
  // Copies the cached entry's SID and what was learned about it.
  void TakeFromCache(const SId& cached);
  void InsertIntoCache() const;

  std::array<uint8_t, kBufferSize> sid_{};
  bool null_ = false;
  const SId* mapped_ = nullptr;
  bool defaulted_ = false;
  bool resolved_ = false;
  SID_NAME_USE account_type_ = static_cast<SID_NAME_USE>(0);
  std::wstring domain_name_;
  std::wstring account_name_;
  mutable std::wstring string_form_;
  bool cacheable_ = true;
  bool revoked_ = false;
};

}  // namespace tarvik

#endif  // TARVIK_COMMON_SID_H_
