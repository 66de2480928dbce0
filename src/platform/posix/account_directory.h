// Account lookups as a computer of the world answers them: the well-known
// SIDs, its builtin aliases, its own local accounts, the accounts of its
// domain and of the domains that domain trusts (SID history included), and
// the host's own account authorities, which every computer knows.
#ifndef TARVIK_PLATFORM_POSIX_ACCOUNT_DIRECTORY_H_
#define TARVIK_PLATFORM_POSIX_ACCOUNT_DIRECTORY_H_

#include <string>
#include <string_view>
#include <vector>

#include "common/sd/sid_value.h"
#include "platform/account_types.h"
#include "platform/world.h"

namespace tarvik {

struct AccountEntry {
  SidValue sid;
  std::wstring name;    // empty for a deleted account
  std::wstring domain;  // the referenced domain
  SID_NAME_USE use = SidTypeUnknown;
};

class AccountDirectory {
 public:
  explicit AccountDirectory(const World& world) : world_(world) {}

  // As seen from server: ERROR_SUCCESS with *entry, or ERROR_NONE_MAPPED.
  DWORD LookupSid(const WorldServer& server, const SidValue& sid, AccountEntry* entry) const;
  // account: "DOMAIN\name", "DOMAIN" or a bare name (well-known names,
  // builtin aliases, the server's own accounts, its domain's, then the
  // trusted domains' and the host's).
  DWORD LookupName(const WorldServer& server, std::wstring_view account, AccountEntry* entry) const;

  // The domains whose accounts server can resolve: its own domain, the
  // domains that one trusts (through transitive trusts), and the host's
  // account authorities.
  std::vector<const WorldDomain*> KnownDomains(const WorldServer& server) const;
  // Whether server's domain trusts (directly or transitively) domain.
  bool Knows(const WorldServer& server, const WorldDomain& domain) const;

 private:
  bool FindInServer(const WorldServer& server, const SidValue& sid, AccountEntry* entry) const;
  bool FindInDomain(const WorldDomain& domain, const SidValue& sid, AccountEntry* entry) const;
  bool FindNameInServer(const WorldServer& server, std::wstring_view name,
                        AccountEntry* entry) const;
  bool FindNameInDomain(const WorldDomain& domain, std::wstring_view name,
                        AccountEntry* entry) const;
  bool FindBuiltin(const WorldServer& server, const SidValue* sid, std::wstring_view name,
                   AccountEntry* entry) const;
  // The domain of a member server or controller, or null.
  const WorldDomain* DomainOf(const WorldServer& server) const;

  const World& world_;
};

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_POSIX_ACCOUNT_DIRECTORY_H_
