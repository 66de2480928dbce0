// The rules of SID translation, in their order.
#include <gtest/gtest.h>

#include "translate/sd_translator.h"
#include "translate/translator_fixture.h"

namespace tarvik {
namespace {

using TranslateSidTest = TranslatorTest;

TEST_F(TranslateSidTest, LocalAccountsOfTheSourceMachine) {
  const SdTranslator between = BetweenMembers();
  // The well-known RIDs become the target machine's (S4).
  EXPECT_EQ(Translate(between, Rid(kFs1, 500)), Rid(kFs2, 500));
  EXPECT_EQ(Translate(between, Rid(kFs1, 513)), Rid(kFs2, 513));
  // An account no table matched: dropped with /i, else it goes on to the
  // later rules, which keep it (FS2 does not know FS1's accounts by name).
  EXPECT_EQ(Translate(between, Rid(kFs1, 1001), true), L"dropped");
  EXPECT_EQ(Translate(between, Rid(kFs1, 1001), false), Rid(kFs1, 1001));
  // 503 and 519 are no well-known RIDs: an ordinary local account.
  EXPECT_EQ(Translate(between, Rid(kFs1, 503), true), L"dropped");
  EXPECT_EQ(Translate(between, Rid(kFs1, 519), true), L"dropped");

  SdTranslator same = BetweenMembers();
  same.targetServer.name = L"\\\\FS1";
  same.targetMachineSid = DomainSidOf(kFs1);
  same.sameServer = true;
  EXPECT_EQ(Translate(same, Rid(kFs1, 500)), Rid(kFs1, 500));  // S3

  EXPECT_EQ(Translate(IntoNewDomain(), Rid(kFs1, 500)), Rid(kNewDom, 500));  // S2

  // Local SIDs that cannot be told from domain SIDs, or a controller as the
  // source: no SID counts as local; 500 is then a well-known RID of any
  // domain (S11) and 1001 is not dropped.
  for (bool local_is_domain : {true, false}) {
    SdTranslator t = BetweenMembers();
    t.localIsDomain = local_is_domain;
    t.sourceIsDomainController = !local_is_domain;
    EXPECT_EQ(Translate(t, Rid(kFs1, 500)), Rid(kFs1, 500));
    EXPECT_EQ(Translate(t, Rid(kFs1, 1001), true), Rid(kFs1, 1001));
  }
  // Before the source machine SID is known nothing is local either.
  SdTranslator unknown = BetweenMembers();
  unknown.sourceMachineSidKnown = false;
  EXPECT_EQ(Translate(unknown, Rid(kFs1, 1001), true), Rid(kFs1, 1001));
  world_.TakeOutput();
}

TEST_F(TranslateSidTest, MatchedLocalAccountsComeFirst) {
  FakeRidMap rids;
  rids.Map(1003, 1012);
  rids.Map(500, 1010);  // the table wins over the well-known RIDs
  SdTranslator t = BetweenMembers();
  t.ridMap = &rids;
  // Not consulted without /lu or /lg.
  EXPECT_EQ(Translate(t, Rid(kFs1, 1003), true), L"dropped");
  t.translateLocalGroups = true;
  EXPECT_EQ(Translate(t, Rid(kFs1, 1003), true), Rid(kFs2, 1012));
  EXPECT_EQ(Translate(t, Rid(kFs1, 500)), Rid(kFs2, 1010));
  EXPECT_EQ(Translate(t, Rid(kFs1, 1001), true), L"dropped");  // not in the table

  // The owner-defaulted flag stays with the SID.
  SId source = SidOf(Rid(kFs1, 1003));
  source.set_defaulted(true);
  SId result;
  ASSERT_TRUE(t.TranslateSid(&workspace_, source, &result, true));
  EXPECT_TRUE(result.defaulted());
}

TEST_F(TranslateSidTest, WellKnownSidsAndRids) {
  const SdTranslator t = BetweenMembers();
  EXPECT_EQ(Translate(t, L"S-1-1-0"), L"S-1-1-0");  // Everyone
  EXPECT_EQ(Translate(t, L"S-1-3-0"), L"S-1-3-0");  // CREATOR OWNER
  EXPECT_EQ(Translate(t, L"S-1-0-0"), L"S-1-0-0");
  EXPECT_EQ(Translate(t, L"S-1-5-18"), L"S-1-5-18");
  EXPECT_EQ(Translate(t, L"S-1-5-11"), L"S-1-5-11");
  EXPECT_EQ(Translate(t, L"S-1-5-5-0-73519"), L"dropped");  // logon session
  EXPECT_EQ(Translate(t, L"S-1-5-18-1-4"), L"S-1-5-18-1-4");
  EXPECT_EQ(Translate(t, L"S-1-5-18-257-1-2"), L"S-1-5-18-257-1-2");
  for (uint32_t rid : {549u, 550u, 554u, 557u, 559u})
    EXPECT_EQ(Translate(t, Rid(L"S-1-5-32", rid)), L"dropped") << rid;
  for (uint32_t rid : {544u, 545u, 551u, 552u, 553u})
    EXPECT_EQ(Translate(t, Rid(L"S-1-5-32", rid)), Rid(L"S-1-5-32", rid)) << rid;
  // Well-known RIDs of a domain stay without a new domain (S11).
  EXPECT_EQ(Translate(t, Rid(kCorp, 512)), Rid(kCorp, 512));
  EXPECT_EQ(Translate(t, Rid(kCorp, 518)), Rid(kCorp, 518));

  // The rule that decided is traced with the result.
  Settings().debugSecurity = 1;
  world_.TakeOutput();
  Translate(t, L"S-1-5-32-545");
  std::wstring output = world_.TakeOutput();
  EXPECT_TRUE(Holds(output, L"SID to migrate       : S-1-5-32-545")) << output;
  EXPECT_TRUE(Holds(output, L"Migrated SID (S9)    : S-1-5-32-545")) << output;
  Translate(t, Rid(kFs1, 500));
  output = world_.TakeOutput();
  EXPECT_TRUE(Holds(output, L"Migrated SID (S4)    : " + Rid(kFs2, 500))) << output;
}

TEST_F(TranslateSidTest, NewDomainMovesDomainAccountsByName) {
  const SdTranslator t = IntoNewDomain();
  EXPECT_EQ(Translate(t, Rid(kCorp, 512)), Rid(kNewDom, 512));  // S10
  EXPECT_EQ(Translate(t, Rid(kCorp, 518)), L"dropped");         // Schema Admins
  // Enterprise Admins is no well-known RID here: found by name.
  EXPECT_EQ(Translate(t, Rid(kCorp, 519)), Rid(kNewDom, 519));
  EXPECT_EQ(Translate(t, Rid(kCorp, 1104)), Rid(kNewDom, 3104));
  // No such name in the new domain, no name at all, a server that cannot
  // tell: dropped.
  EXPECT_EQ(Translate(t, Rid(kCorp, 1120)), L"dropped");
  EXPECT_EQ(Translate(t, Rid(kCorp, 1108)), L"dropped");  // deleted account
  EXPECT_EQ(Translate(t, Rid(kIsland, 1000)), L"dropped");
  // Well-known SIDs stay as they are.
  EXPECT_EQ(Translate(t, L"S-1-5-32-545"), L"S-1-5-32-545");
  Settings().debugSecurity = 1;
  world_.TakeOutput();
  Translate(t, Rid(kCorp, 1104));
  std::wstring output = world_.TakeOutput();
  EXPECT_TRUE(Holds(output, L"Migrated SID (S11)   : " + Rid(kNewDom, 3104))) << output;
}

TEST_F(TranslateSidTest, NewDomainFindsTheCurrentSidBehindAHistoricalName) {
  // carol's CORP SID resolves as NEWCORP\carol, and the SID cache now holds
  // that old SID under this name; moving into NEWCORP must still give her
  // NEWCORP SID.
  SdTranslator t = BetweenMembers();
  t.newDomainName = L"NEWCORP";
  t.newDomainController = L"\\\\DC2";
  t.newDomainSid = DomainSidOf(kNewCorp);
  EXPECT_EQ(Translate(t, Rid(kCorp, 1199)), Rid(kNewCorp, 2201));
  SId cached;
  ASSERT_TRUE(cache_.FindByName(L"NEWCORP\\carol", &cached));
  EXPECT_EQ(Translate(t, Rid(kCorp, 1199)), Rid(kNewCorp, 2201));
  world_.TakeOutput();
}

TEST_F(TranslateSidTest, SidMapDecidesBeforeEveryRule) {
  FakeSidMap map;
  map.Map(Rid(kFs1, 500), Rid(kNewCorp, 2202));
  map.Map(L"S-1-1-0", L"S-1-5-11");
  map.Revoke(Rid(kCorp, 1104));
  SdTranslator t = BetweenMembers();
  t.sidMap = &map;
  EXPECT_EQ(Translate(t, Rid(kFs1, 500)), Rid(kNewCorp, 2202));
  EXPECT_EQ(Translate(t, L"S-1-1-0"), L"S-1-5-11");
  EXPECT_EQ(Translate(t, Rid(kCorp, 1104)), L"revoked " + Rid(kCorp, 1104));
  EXPECT_EQ(Translate(t, L"S-1-3-0"), L"S-1-3-0");  // not in the map

  Settings().debugSecurity = 1;
  world_.TakeOutput();
  Translate(t, Rid(kFs1, 500));
  Translate(t, Rid(kCorp, 1104));
  std::wstring output = world_.TakeOutput();
  EXPECT_TRUE(Holds(output, L"Mapping found        : Administrator:" + Rid(kFs1, 500) +
                                L" --> migrator:" + Rid(kNewCorp, 2202)))
      << output;
  EXPECT_TRUE(Holds(output, L"Revoqued SID found   : alice")) << output;
}

TEST_F(TranslateSidTest, HistoricalSidsArePreservedOnlyWhenAsked) {
  SdTranslator t = BetweenMembers();
  const std::wstring old_dave = Rid(kOld, 1300);
  t.preserveSidHistory = true;
  EXPECT_EQ(Translate(t, old_dave), old_dave);  // S12
  t.preserveSidHistory = false;
  EXPECT_EQ(Translate(t, old_dave), Rid(kNewCorp, 2205));  // S13

  Settings().debugSecurity = 1;
  world_.TakeOutput();
  Translate(t, old_dave);
  std::wstring output = world_.TakeOutput();
  EXPECT_TRUE(Holds(output, L"Migrated SID (S13)   : " + Rid(kNewCorp, 2205))) << output;
  EXPECT_TRUE(Holds(output, L"Historical SID : " + old_dave + L" is no more preserved")) << output;
  // A SID that stays is no warning.
  Translate(t, Rid(kCorp, 1104));
  output = world_.TakeOutput();
  EXPECT_TRUE(Holds(output, L"Migrated SID (S13)   : " + Rid(kCorp, 1104))) << output;
  EXPECT_FALSE(Holds(output, L"no more preserved")) << output;
  // Without /dbgsec neither trace nor warning.
  Settings().debugSecurity = 0;
  Translate(t, old_dave);
  EXPECT_EQ(world_.TakeOutput(), L"");
}

}  // namespace
}  // namespace tarvik
