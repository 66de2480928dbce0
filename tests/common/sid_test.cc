#include "common/sid.h"

#include <gtest/gtest.h>

#include <functional>

#include "common/sd/sd_exception.h"
#include "common/sd/sid_value.h"
#include "common/sid_lookup_cache.h"
#include "support/world_os.h"
#include "two_domain_world.h"
#include "util/utf.h"

namespace tarvik {
namespace {

std::vector<uint8_t> Bytes(const std::wstring& text) {
  std::optional<SidValue> sid = ParseSid(text);
  EXPECT_TRUE(sid) << ToUtf8(text);
  return sid ? sid->ToBytes() : std::vector<uint8_t>{};
}

SId Sid(const std::wstring& text) {
  return SId(Bytes(text));
}

std::wstring ExceptionText(const std::function<void()>& action) {
  try {
    action();
  } catch (const SDException& error) {
    return error.message();
  }
  return L"(no exception)";
}

TEST(SIdTest, HoldsEverySidUpToFifteenSubAuthorities) {
  SId sid;
  EXPECT_EQ(sid.ToString(), L"S-1-5-0-0-0-0-0-0-0-0");
  EXPECT_TRUE(sid.cacheable());
  // A capability SID has ten sub-authorities; fifteen is the most there are.
  for (const wchar_t* text :
       {L"S-1-15-3-1024-1065365936-1281604716-3511738428-1654721687-432734479-3232135806-"
        L"4053264122-3456934681",
        L"S-1-5-21-1-2-3-4-5-6-7-8-9-10-11-12-13-14"}) {
    sid.Assign(Bytes(text));
    EXPECT_EQ(sid.ToString(), text);
    SId copy = sid;
    EXPECT_TRUE(copy.EqualSid(sid));
  }
  std::vector<uint8_t> broken = Bytes(L"S-1-5-18");
  broken[0] = 3;
  EXPECT_EQ(ExceptionText([&] { sid.Assign(broken); }), L"Invalid source sid");
  std::vector<uint8_t> sixteen = Bytes(L"S-1-5-21-1-2-3-4-5-6-7-8-9-10-11-12-13-14");
  sixteen[1] = 16;
  sixteen.resize(sixteen.size() + 4);
  EXPECT_EQ(ExceptionText([&] { sid.Assign(sixteen); }), L"Invalid source sid");
  EXPECT_EQ(sid.ToString(), L"S-1-5-21-1-2-3-4-5-6-7-8-9-10-11-12-13-14");  // unchanged
}

TEST(SIdTest, NullSidIsInvalidEverywhere) {
  SId sid = SId::Null();
  EXPECT_FALSE(sid.IsValid());
  EXPECT_EQ(sid.accountType(), SidTypeInvalid);
  EXPECT_EQ(sid.ToString(), L"<invalid sid>");
  EXPECT_EQ(sid.ToHexString(), L"<invalid sid>");
  EXPECT_EQ(sid.DisplayName(L""), L"<invalid sid>");
  EXPECT_EQ(sid.Name(L""), L"<invalid sid>");
  EXPECT_EQ(sid.Domain(L""), L"<invalid sid>");
  EXPECT_EQ(sid.LookupSid(L""), SidTypeInvalid);  // asks nobody: no Os is needed
  EXPECT_EQ(ExceptionText([&] { sid.GetRid(); }), L"Invalid SID");
  EXPECT_EQ(ExceptionText([&] { sid.SetRid(5); }), L"Invalid SID");
  EXPECT_FALSE(sid.EqualSid(SId::Null()));
}

TEST(SIdTest, RidArithmeticAndDomains) {
  SId domain;
  domain.AssignDomain(Bytes(L"S-1-5-21-10-20-30"), L"CORP");
  EXPECT_EQ(domain.ToString(), L"S-1-5-21-10-20-30-4294967295");
  EXPECT_EQ(domain.accountType(), SidTypeDomain);
  EXPECT_TRUE(domain.resolved());
  EXPECT_EQ(domain.GetRid(), kMachineSidPlaceholderRid);
  SId account = Sid(L"S-1-5-21-10-20-30-1001");
  EXPECT_TRUE(domain.EqualPrefix(account));
  EXPECT_FALSE(domain.EqualPrefix(Sid(L"S-1-5-21-10-20-31-1001")));

  // SetRid names another account and forgets what was known.
  SId copy = domain;
  copy.set_revoked(true);
  copy.set_defaulted(true);
  copy.SetRid(500);
  EXPECT_EQ(copy.ToString(), L"S-1-5-21-10-20-30-500");
  EXPECT_FALSE(copy.resolved());
  EXPECT_TRUE(copy.domainName().empty());
  EXPECT_FALSE(copy.revoked());
  EXPECT_FALSE(copy.defaulted());

  // ReplaceDomain moves an account into another domain of the same shape.
  SId target;
  SId new_domain;
  new_domain.AssignDomain(Bytes(L"S-1-5-21-7-8-9"), L"NEW");
  target.ReplaceDomain(account, new_domain);
  EXPECT_EQ(target.ToString(), L"S-1-5-21-7-8-9-1001");

  // Fourteen sub-authorities and the placeholder make fifteen; one more is
  // too many.
  domain.AssignDomain(Bytes(L"S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14"), L"X");
  EXPECT_EQ(domain.GetRid(), kMachineSidPlaceholderRid);
  EXPECT_EQ(ExceptionText([&] {
              domain.AssignDomain(Bytes(L"S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15"), L"X");
            }),
            L"CopySid");
}

TEST(SIdTest, CopyingKeepsWhatWasLearnedButNotTheLinks) {
  SId mapped_to = Sid(L"S-1-5-32-544");
  SId source;
  source.AssignDomain(Bytes(L"S-1-5-21-1-2-3"), L"DOM");
  source.set_revoked(true);
  source.set_mapped(&mapped_to);
  source.set_cacheable(false);

  SId assigned;  // cacheable
  assigned = source;
  EXPECT_EQ(assigned.ToString(), source.ToString());
  EXPECT_EQ(assigned.domainName(), L"DOM");
  EXPECT_TRUE(assigned.resolved());
  EXPECT_TRUE(assigned.revoked());
  EXPECT_EQ(assigned.mapped(), nullptr);
  EXPECT_TRUE(assigned.cacheable());  // assignment keeps the target's flag

  SId constructed(source);
  EXPECT_EQ(constructed.mapped(), nullptr);
  EXPECT_FALSE(constructed.cacheable());

  // Moving relocates the value with its link (as a growing vector does).
  std::vector<SId> table(1, Sid(L"S-1-5-18"));
  table[0].set_mapped(&mapped_to);
  table.reserve(table.capacity() + 8);
  EXPECT_EQ(table[0].mapped(), &mapped_to);
}

TEST(SIdTest, StringFormsOfAuthorities) {
  EXPECT_EQ(Sid(L"S-1-5-32-544").ToHexString(), L"S-1-5-20-220");
  EXPECT_EQ(Sid(L"S-1-0x010000000005-21").ToString(), L"S-1-0x010000000005-21");
  EXPECT_EQ(Sid(L"S-1-0x010000000005-21").ToHexString(), L"S-1-0x010000000005-15");
  EXPECT_EQ(Sid(L"S-1-65536-1").ToString(), L"S-1-65536-1");
  SId sid = Sid(L"S-1-5-21-1-2-3-1000");
  EXPECT_EQ(sid.ToString(), L"S-1-5-21-1-2-3-1000");
  sid.SetRid(1001);  // a change of the SID drops the memo
  EXPECT_EQ(sid.ToString(), L"S-1-5-21-1-2-3-1001");
}

// A cache that records how it is asked.
class FakeCache : public SidLookupCache {
 public:
  bool Find(const SId& sid, SId* copy) override {
    ++finds;
    for (SId& entry : entries) {
      if (entry.EqualSid(sid)) {
        *copy = entry;
        return true;
      }
    }
    return false;
  }
  bool FindByName(std::wstring_view name, SId* copy) override {
    ++finds_by_name;
    for (SId& entry : entries) {
      if (entry.domainName() + L"\\" + entry.accountName() == name) {
        *copy = entry;
        return true;
      }
    }
    return false;
  }
  bool Insert(const SId& sid) override {
    entries.push_back(sid);
    return true;
  }
  std::vector<SId> entries;
  int finds = 0;
  int finds_by_name = 0;
};

class SIdLookupTest : public ::testing::Test {
 protected:
  SIdLookupTest() : world_(TwoDomainWorld()) {}

  // Looks sid up on server and returns "type DisplayName".
  std::wstring Show(const std::wstring& text, const std::wstring& server = L"") {
    SId sid = Sid(text);
    SID_NAME_USE type = sid.LookupSid(server);
    return std::to_wstring(type) + L" " + sid.DisplayName(server);
  }

  WorldOs world_;
};

TEST_F(SIdLookupTest, ResolvesWhatTheServerKnows) {
  EXPECT_EQ(Show(L"S-1-1-0"), L"5 Everyone");
  EXPECT_EQ(Show(L"S-1-5-18"), L"5 NT AUTHORITY\\SYSTEM");
  EXPECT_EQ(Show(L"S-1-5-32-544"), L"4 BUILTIN\\Administrators");
  EXPECT_EQ(Show(std::wstring(kFs1Sid) + L"-1001"), L"1 FS1\\svc_backup");
  EXPECT_EQ(Show(std::wstring(kFs1Sid) + L"-1003"), L"4 FS1\\Sales");
  EXPECT_EQ(Show(std::wstring(kCorpSid) + L"-1104"), L"1 CORP\\alice");
  EXPECT_EQ(Show(std::wstring(kCorpSid) + L"-1106"), L"2 CORP\\Sales Team");
  EXPECT_EQ(Show(std::wstring(kCorpSid) + L"-1107"), L"9 CORP\\FS1$");
  EXPECT_EQ(Show(std::wstring(kCorpSid) + L"-513"), L"2 CORP\\Domain Users");
  // A trusted domain; a former SID finds the account that carries it now.
  EXPECT_EQ(Show(std::wstring(kNewCorpSid) + L"-2202"), L"1 NEWCORP\\migrator");
  EXPECT_EQ(Show(std::wstring(kCorpSid) + L"-1199"), L"1 NEWCORP\\carol");
  // A deleted account keeps its domain but has no name.
  SId deleted = Sid(std::wstring(kCorpSid) + L"-1108");
  EXPECT_EQ(deleted.LookupSid(L""), SidTypeDeletedAccount);
  EXPECT_EQ(deleted.DisplayName(L""), L"CORP\\<deleted account>");
  EXPECT_EQ(deleted.Name(L""), L"<deleted account>");
  EXPECT_EQ(deleted.Domain(L""), L"CORP");
  // FS1's local accounts are FS1's alone: DC1 does not know them.
  EXPECT_EQ(Show(std::wstring(kFs1Sid) + L"-1001", L"\\\\DC1"),
            L"8 " + std::wstring(kFs1Sid) + L"-1001");
  EXPECT_EQ(world_.TakeOutput(), L"");
}

TEST_F(SIdLookupTest, AnUnmappableSidIsAnAnswerAndAnUnreachableServerIsNot) {
  SId unknown = Sid(L"S-1-5-21-5-5-5-1000");  // ISLAND: nobody trusts it
  EXPECT_EQ(unknown.LookupSid(L""), SidTypeUnknown);
  EXPECT_TRUE(unknown.resolved());
  EXPECT_EQ(unknown.DisplayName(L""), L"S-1-5-21-5-5-5-1000");
  EXPECT_EQ(unknown.Name(L""), L"<unknown sid type>");
  EXPECT_EQ(unknown.Domain(L""), L"<unknown sid type>");
  EXPECT_EQ(world_.TakeOutput(), L"");  // no such account is not an error

  SId sid = Sid(std::wstring(kCorpSid) + L"-1104");
  EXPECT_EQ(sid.LookupSid(L"\\\\GONE"), SidTypeUnknown);
  EXPECT_FALSE(sid.resolved());  // asked again later
  std::wstring output = world_.TakeOutput();
  EXPECT_NE(output.find(L"Lookup account sid from \\\\GONE failed"), std::wstring::npos) << output;
  EXPECT_NE(output.find(L"53"), std::wstring::npos) << output;
  EXPECT_EQ(sid.LookupSid(L"\\\\DC1"), SidTypeUser);
  EXPECT_EQ(sid.DisplayName(L"\\\\DC1"), L"CORP\\alice");
}

TEST_F(SIdLookupTest, LookupNameFindsAccountsAndTraces) {
  SId alice;
  EXPECT_EQ(alice.LookupName(L"\\\\DC1", L"CORP\\alice", true), SidTypeUser);
  EXPECT_EQ(alice.ToString(), std::wstring(kCorpSid) + L"-1104");
  EXPECT_EQ(alice.accountName(), L"alice");
  EXPECT_EQ(alice.domainName(), L"CORP");
  EXPECT_TRUE(alice.resolved());
  std::wstring output = world_.TakeOutput();
  EXPECT_NE(output.find(L"Looking up for \"CORP\\alice\" account from \\\\DC1 server : " +
                        std::wstring(kCorpSid) + L"-1104"),
            std::wstring::npos)
      << output;

  SId local;
  EXPECT_EQ(local.LookupName(L"", L"svc_backup", false), SidTypeUser);
  EXPECT_EQ(local.DisplayName(L""), L"FS1\\svc_backup");
  EXPECT_EQ(SId::FromName(L"", L"Everyone").ToString(), L"S-1-1-0");
  EXPECT_EQ(SId::FromName(L"", L"BUILTIN\\Administrators").ToString(), L"S-1-5-32-544");
  EXPECT_EQ(SId::FromName(L"", L"migrator").ToString(), std::wstring(kNewCorpSid) + L"-2202");
  EXPECT_EQ(world_.TakeOutput(), L"");

  SId nobody;
  EXPECT_EQ(nobody.LookupName(L"", L"nobody", false), SidTypeUnknown);
  EXPECT_TRUE(nobody.resolved());
  output = world_.TakeOutput();
  EXPECT_NE(output.find(L"Lookup account name \"nobody\" from this computer failed"),
            std::wstring::npos)
      << output;

  SId far;
  EXPECT_EQ(far.LookupName(L"\\\\GONE", L"CORP\\alice", false), SidTypeUnknown);
  EXPECT_FALSE(far.resolved());
}

TEST_F(SIdLookupTest, GetDomainSidReadsTheAccountDomain) {
  SId machine = SId::Null();
  ASSERT_TRUE(machine.GetDomainSid(L"\\\\FS1"));
  EXPECT_EQ(machine.ToString(), std::wstring(kFs1Sid) + L"-4294967295");
  EXPECT_EQ(machine.domainName(), L"FS1");
  EXPECT_TRUE(machine.EqualPrefix(Sid(std::wstring(kFs1Sid) + L"-1001")));
  EXPECT_TRUE(machine.GetDomainSid(L"\\\\GONE"));  // already resolved: not asked again

  SId domain = SId::Null();
  ASSERT_TRUE(domain.GetDomainSid(L"dc1"));
  EXPECT_EQ(domain.ToString(), std::wstring(kCorpSid) + L"-4294967295");
  EXPECT_EQ(domain.domainName(), L"CORP");

  SId unreachable = SId::Null();
  EXPECT_FALSE(unreachable.GetDomainSid(L"\\\\GONE"));
  std::wstring output = world_.TakeOutput();
  EXPECT_NE(output.find(L"Unable to get the domain SID info from \\\\GONE"), std::wstring::npos)
      << output;
}

TEST(SIdFallbackTest, GetDomainSidFallsBackToTheServerName) {
  WorldOs world(TwoDomainWorld("", "FS1", "CORP",
                               R"([{"call": "NetUserModalsGet", "error": 5, "count": 0}])"));
  SId machine = SId::Null();
  ASSERT_TRUE(machine.GetDomainSid(L"\\\\FS1"));
  EXPECT_EQ(machine.ToString(), std::wstring(kFs1Sid) + L"-4294967295");
  EXPECT_EQ(machine.domainName(), L"FS1");
  EXPECT_EQ(world.TakeOutput(), L"");
}

TEST_F(SIdLookupTest, LookupsGoThroughTheInstalledCache) {
  FakeCache cache;
  SidLookupCache* previous = InstallSidLookupCache(&cache);
  SId alice = Sid(std::wstring(kCorpSid) + L"-1104");
  EXPECT_EQ(alice.LookupSid(L""), SidTypeUser);
  EXPECT_EQ(cache.finds, 1);
  ASSERT_EQ(cache.entries.size(), 1u);  // filled after the server answered

  SId again = Sid(std::wstring(kCorpSid) + L"-1104");
  EXPECT_EQ(again.LookupSid(L"\\\\GONE"), SidTypeUser);  // from the cache, not GONE
  EXPECT_EQ(again.DisplayName(L""), L"CORP\\alice");
  EXPECT_EQ(cache.entries.size(), 1u);

  // Names: only DOMAIN\name forms are looked up in the cache.
  SId by_name;
  EXPECT_EQ(by_name.LookupName(L"\\\\GONE", L"CORP\\alice", false), SidTypeUser);
  EXPECT_EQ(by_name.ToString(), std::wstring(kCorpSid) + L"-1104");
  EXPECT_EQ(cache.finds_by_name, 1);
  SId bare;
  bare.LookupName(L"", L"alice", false);
  EXPECT_EQ(cache.finds_by_name, 1);

  // A SID that must stay out of the cache neither reads nor fills it.
  SId private_sid(Bytes(std::wstring(kNewCorpSid) + L"-2202"), false);
  int finds = cache.finds;
  size_t entries = cache.entries.size();
  private_sid.LookupSid(L"");
  EXPECT_EQ(cache.finds, finds);
  EXPECT_EQ(cache.entries.size(), entries);

  InstallSidLookupCache(previous);
  world_.TakeOutput();
}

}  // namespace
}  // namespace tarvik
