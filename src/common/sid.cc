#include "common/sid.h"

#include <algorithm>
#include <vector>

#include "common/sd/sd_exception.h"
#include "common/sid_lookup_cache.h"
#include "log/log.h"
#include "platform/os.h"

namespace tarvik {
namespace {

constexpr uint8_t kNtAuthority = 5;
// The sub-authorities of the default SID, all 0.
constexpr uint8_t kDefaultSubAuthorities = 8;
// Name buffers of the lookups; a longer name is asked for again.
constexpr DWORD kNameBufferSize = 513;
// The domain SID fallback reads the SID of the server's own name.
constexpr DWORD kDomainSidBufferSize = 128;

const std::wstring& InvalidSidText() {
  static const std::wstring text = L"<invalid sid>";
  return text;
}

// The server as messages name it.
std::wstring ServerText(std::wstring_view server) {
  return server.empty() ? std::wstring(L"this computer") : std::wstring(server);
}

std::wstring_view WithoutLeadingBackslashes(std::wstring_view text) {
  while (!text.empty() && text.front() == L'\\')
    text.remove_prefix(1);
  return text;
}

}  // namespace

const wchar_t* SystemName(const std::wstring& server) {
  return server.empty() ? nullptr : server.c_str();
}

SId::SId() {
  Reinitialise();
}

SId::SId(SidBytes sid, bool cacheable) : cacheable_(cacheable) {
  Assign(sid);
}

SId SId::FromName(std::wstring_view server, std::wstring_view name, bool cacheable) {
  SId sid;
  sid.cacheable_ = cacheable;
  sid.LookupName(server, name, false);
  return sid;
}

SId SId::Null() {
  SId sid;
  sid.Assign({});
  return sid;
}

SId::SId(const SId& other)
    : sid_(other.sid_),
      null_(other.null_),
      defaulted_(other.defaulted_),
      resolved_(other.resolved_),
      account_type_(other.account_type_),
      domain_name_(other.domain_name_),
      account_name_(other.account_name_),
      string_form_(other.string_form_),
      cacheable_(other.cacheable_),
      revoked_(other.revoked_) {}

SId& SId::operator=(const SId& other) {
  if (this == &other)
    return *this;
  sid_ = other.sid_;
  null_ = other.null_;
  mapped_ = nullptr;
  defaulted_ = other.defaulted_;
  resolved_ = other.resolved_;
  account_type_ = other.account_type_;
  domain_name_ = other.domain_name_;
  account_name_ = other.account_name_;
  string_form_ = other.string_form_;
  revoked_ = other.revoked_;
  return *this;
}

void SId::ForgetLearned() {
  mapped_ = nullptr;
  defaulted_ = false;
  resolved_ = false;
  account_type_ = static_cast<SID_NAME_USE>(0);
  domain_name_.clear();
  account_name_.clear();
  string_form_.clear();
  revoked_ = false;
}

void SId::Reinitialise() {
  ForgetLearned();
  sid_.fill(0);
  sid_[0] = 1;
  sid_[1] = kDefaultSubAuthorities;
  sid_[7] = kNtAuthority;
  null_ = false;
}

void SId::Assign(SidBytes sid) {
  if (sid.empty()) {
    ForgetLearned();
    sid_.fill(0);
    null_ = true;
    return;
  }
  if (!IsValidSid(sid))
    throw SDException(L"Invalid source sid");
  Reinitialise();
  std::copy_n(sid.begin(), GetLengthSid(sid), sid_.begin());
}

SidBytes SId::Bytes() const {
  if (null_)
    return {};
  return SidBytes(sid_.data(), GetLengthSid(SidBytes(sid_)));
}

bool SId::IsValid() const {
  return !null_;
}

uint32_t SId::GetRid() const {
  if (!IsValid())
    throw SDException(L"Invalid SID");
  return SidRid(Bytes());
}

void SId::SetRid(uint32_t rid) {
  if (!IsValid() || SidSubAuthorityCount(Bytes()) == 0)
    throw SDException(L"Invalid SID");
  ForgetLearned();
  SetSidSubAuthority(sid_, SidSubAuthorityCount(Bytes()) - 1, rid);
}

void SId::ReplaceDomain(const SId& source, const SId& domain) {
  if (!source.IsValid() || !domain.IsValid())
    throw SDException(L"Invalid SID");
  SidBytes domain_bytes = domain.Bytes();
  uint8_t count = SidSubAuthorityCount(domain_bytes);
  if (count == 0)
    throw SDException(L"InitializeSid fail");
  std::array<uint8_t, kBufferSize> bytes{};
  bytes[0] = 1;
  bytes[1] = count;
  std::copy_n(source.Bytes().begin() + 2, 6, bytes.begin() + 2);
  for (size_t i = 0; i + 1 < count; ++i)
    SetSidSubAuthority(bytes, i, SidSubAuthority(domain_bytes, i));
  SetSidSubAuthority(bytes, count - 1, SidRid(source.Bytes()));
  ForgetLearned();
  sid_ = bytes;
  null_ = false;
}

void SId::AssignDomain(SidBytes domain_id, std::wstring domain_name) {
  if (!IsValidSid(domain_id))
    throw SDException(L"Invalid source sid");
  uint8_t count = SidSubAuthorityCount(domain_id);
  if (count + 1u > kMaxSubAuthorities)
    throw SDException(L"CopySid");
  std::vector<uint8_t> bytes(domain_id.begin(), domain_id.begin() + GetLengthSid(domain_id));
  bytes[1] = count + 1;
  bytes.resize(SidLengthForCount(count + 1));
  SetSidSubAuthority(bytes, count, kMachineSidPlaceholderRid);
  Assign(bytes);
  domain_name_ = std::move(domain_name);
  account_type_ = SidTypeDomain;
  resolved_ = true;
}

bool SId::GetDomainSid(std::wstring_view server) {
  if (resolved_)
    return true;
  Os& os = Os::Current();
  std::wstring system(server);
  USER_MODALS_INFO_2 modals;
  if (os.NetUserModalsGet(SystemName(system), 2, &modals) == NERR_Success) {
    AssignDomain(modals.usrmod2_domain_id, modals.usrmod2_domain_name);
    return true;
  }
  // Without the account database's answer, the server's own name names its
  // account domain.
  std::wstring account(WithoutLeadingBackslashes(server));
  std::vector<uint8_t> sid(kDomainSidBufferSize);
  DWORD sid_size = kDomainSidBufferSize;
  std::wstring domain(kDomainSidBufferSize, L'\0');
  DWORD domain_size = kDomainSidBufferSize;
  SID_NAME_USE use;
  if (!os.LookupAccountNameW(SystemName(system), account.c_str(), sid.data(), &sid_size,
                             domain.data(), &domain_size, &use)) {
    LogLastError(L"Unable to get the domain SID info from %s", server);
    return false;
  }
  domain.resize(domain_size);
  AssignDomain(sid, domain);
  return true;
}

bool SId::EqualSid(const SId& other) const {
  return tarvik::EqualSid(Bytes(), other.Bytes());
}

bool SId::EqualPrefix(const SId& account) const {
  return EqualPrefixSid(Bytes(), account.Bytes());
}

const std::wstring& SId::ToString() const {
  if (!IsValid())
    return InvalidSidText();
  if (string_form_.empty())
    string_form_ = SidToString(Bytes());
  return string_form_;
}

std::wstring SId::ToHexString() const {
  return SidToHexString(Bytes());
}

std::wstring SId::DisplayName(std::wstring_view server) {
  if (!IsValid())
    return InvalidSidText();
  if (!resolved_)
    LookupSid(server);
  if (account_type_ == SidTypeUnknown)
    return ToString();
  std::wstring name =
      account_type_ == SidTypeDeletedAccount ? std::wstring(L"<deleted account>") : account_name_;
  if (domain_name_.empty())
    return name;
  return Format(L"%s\\%s", domain_name_, name);
}

std::wstring SId::Name(std::wstring_view server) {
  if (!IsValid())
    return InvalidSidText();
  if (!resolved_)
    LookupSid(server);
  if (account_type_ == SidTypeUnknown)
    return L"<unknown sid type>";
  if (account_type_ == SidTypeDeletedAccount)
    return L"<deleted account>";
  return account_name_;
}

std::wstring SId::Domain(std::wstring_view server) {
  if (!IsValid())
    return InvalidSidText();
  if (!resolved_)
    LookupSid(server);
  if (account_type_ == SidTypeUnknown)
    return L"<unknown sid type>";
  return domain_name_;
}

SID_NAME_USE SId::LookupSid(std::wstring_view server) {
  if (!IsValid() || resolved_)
    return accountType();
  if (cacheable_) {
    if (SidLookupCache* cache = InstalledSidLookupCache()) {
      SId cached;
      if (cache->Find(*this, &cached)) {
        TakeFromCache(cached);
        return account_type_;
      }
    }
  }
  Os& os = Os::Current();
  std::wstring system(server);
  std::wstring name(kNameBufferSize, L'\0');
  std::wstring domain(kNameBufferSize, L'\0');
  DWORD name_size = kNameBufferSize;
  DWORD domain_size = kNameBufferSize;
  SID_NAME_USE use;
  BOOL found = os.LookupAccountSidW(SystemName(system), sid_.data(), name.data(), &name_size,
                                    domain.data(), &domain_size, &use);
  if (!found && Os::GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    name.assign(name_size, L'\0');
    domain.assign(domain_size, L'\0');
    found = os.LookupAccountSidW(SystemName(system), sid_.data(), name.data(), &name_size,
                                 domain.data(), &domain_size, &use);
  }
  if (found) {
    account_name_.assign(name.c_str());
    domain_name_.assign(domain.c_str());
    account_type_ = use;
  } else {
    account_type_ = SidTypeUnknown;
    if (Os::GetLastError() != ERROR_NONE_MAPPED) {
      LogLastError(L"Lookup account sid from %s failed", ServerText(server));
      return account_type_;
    }
  }
  resolved_ = true;
  InsertIntoCache();
  return account_type_;
}

SID_NAME_USE SId::LookupName(std::wstring_view server, std::wstring_view name, bool trace) {
  Reinitialise();
  size_t backslash = name.find(L'\\');
  if (backslash != std::wstring_view::npos && cacheable_) {
    if (SidLookupCache* cache = InstalledSidLookupCache()) {
      SId cached;
      if (cache->FindByName(name, &cached)) {
        TakeFromCache(cached);
        return account_type_;
      }
    }
  }
  Os& os = Os::Current();
  std::wstring system(server);
  std::wstring account(name);
  std::array<uint8_t, kSidMaxSize> sid{};
  DWORD sid_size = kSidMaxSize;
  std::wstring domain(kNameBufferSize, L'\0');
  DWORD domain_size = kNameBufferSize;
  SID_NAME_USE use;
  BOOL found = os.LookupAccountNameW(SystemName(system), account.c_str(), sid.data(), &sid_size,
                                     domain.data(), &domain_size, &use);
  if (!found && Os::GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    domain.assign(domain_size, L'\0');
    sid_size = kSidMaxSize;
    found = os.LookupAccountNameW(SystemName(system), account.c_str(), sid.data(), &sid_size,
                                  domain.data(), &domain_size, &use);
  }
  if (!found) {
    DWORD error = Os::GetLastError();
    LogLastError(L"Lookup account name \"%s\" from %s failed", name, ServerText(server));
    account_type_ = SidTypeUnknown;
    // No such account is an answer; the SID left here is still not the
    // account's, so it has no place in the cache.
    resolved_ = error == ERROR_NONE_MAPPED;
    return account_type_;
  }
  Assign(sid);
  if (trace) {
    LogInfo(L"Looking up for \"%s\" account from %ls server : %s", name, ServerText(server),
            ToString());
  }
  account_name_ = backslash == std::wstring_view::npos ? std::wstring(name)
                                                       : std::wstring(name.substr(backslash + 1));
  domain_name_.assign(domain.c_str());
  account_type_ = use;
  resolved_ = true;
  InsertIntoCache();
  return account_type_;
}

void SId::TakeFromCache(const SId& cached) {
  *this = cached;
}

void SId::InsertIntoCache() const {
  if (!cacheable_)
    return;
  if (SidLookupCache* cache = InstalledSidLookupCache())
    cache->Insert(*this);
}

}  // namespace tarvik
