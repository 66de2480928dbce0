// Historical SIDs: resolution through account names, and the decisions kept
// in the SID cache per SID and per domain.
#include "translate/sid_history.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "common/sid_cache.h"
#include "translate/translator_fixture.h"

namespace tarvik {
namespace {

using Kind = SidHistoryDecision::Kind;

class SidHistoryTest : public TranslatorTest {
 protected:
  std::wstring Resolve(const std::wstring& sid) {
    return ResolveHistoricalSid(translator_, SidOf(sid)).ToString();
  }

  // The decision the cache holds for sid: "undecided", "itself", the target,
  // or "absent" when the cache has no entry.
  std::wstring Decision(const SId& sid) {
    SId copy;
    SidHistoryDecision decision;
    if (!cache_.FindDecision(sid, &copy, &decision))
      return L"absent";
    switch (decision.kind) {
      case Kind::kUndecided:
        return L"undecided";
      case Kind::kMapsToItself:
        return L"itself";
      case Kind::kMapsTo:
        return SId(decision.target).ToString();
    }
    return L"?";
  }

  SdTranslator translator_ = BetweenMembers();
};

TEST_F(SidHistoryTest, AMigratedDomainMapsToItsNewAccounts) {
  // OLD is gone: its Administrator resolves to NEWCORP's, so NEWCORP names
  // the domain, and dave's current SID is found by name on the target.
  EXPECT_EQ(Resolve(Rid(kOld, 1300)), Rid(kNewCorp, 2205));
  EXPECT_EQ(Decision(SidOf(Rid(kOld, 1300))), Rid(kNewCorp, 2205));
  EXPECT_EQ(Decision(DomainSidOf(kOld)), Rid(kNewCorp, kMachineSidPlaceholderRid));
  EXPECT_EQ(Decision(DomainSidOf(kNewCorp)), L"undecided");  // entered for the link
  // The next account of the migrated domain goes by its own name.
  EXPECT_EQ(Resolve(Rid(kOld, 1301)), Rid(kNewCorp, 2206));
  // An account nobody knows any more stays.
  EXPECT_EQ(Resolve(Rid(kOld, 1399)), Rid(kOld, 1399));
  EXPECT_EQ(Decision(SidOf(Rid(kOld, 1399))), L"itself");
  world_.TakeOutput();
}

TEST_F(SidHistoryTest, ALivingDomainKeepsItsSids) {
  EXPECT_EQ(Resolve(Rid(kCorp, 1104)), Rid(kCorp, 1104));
  EXPECT_EQ(Decision(DomainSidOf(kCorp)), L"itself");
  EXPECT_EQ(Decision(SidOf(Rid(kCorp, 1104))), L"itself");
  // A deleted account and a SID nobody maps stay; so does carol's old SID,
  // since CORP is still in use.
  EXPECT_EQ(Resolve(Rid(kCorp, 1108)), Rid(kCorp, 1108));
  EXPECT_EQ(Resolve(Rid(kCorp, 1199)), Rid(kCorp, 1199));
  // A SID of a domain nobody knows: its domain cannot be named, so it stays
  // and no domain entry is made.
  EXPECT_EQ(Resolve(Rid(L"S-1-5-21-4-4-4", 1000)), Rid(L"S-1-5-21-4-4-4", 1000));
  EXPECT_EQ(Decision(DomainSidOf(L"S-1-5-21-4-4-4")), L"absent");
  world_.TakeOutput();
}

TEST_F(SidHistoryTest, StoredDecisionsAreUsedAndLiveWithTheirEntries) {
  const SId alice = SidOf(Rid(kCorp, 1104));
  ASSERT_EQ(Resolve(Rid(kCorp, 1104)), Rid(kCorp, 1104));
  // What the entry says is the answer, without asking again.
  SidHistoryDecision planted{Kind::kMapsTo, SidBytesOf(Rid(kNewCorp, 2202))};
  ASSERT_TRUE(cache_.RecordDecision(alice, planted));
  EXPECT_EQ(Resolve(Rid(kCorp, 1104)), Rid(kNewCorp, 2202));

  // No entry, no decision recorded.
  EXPECT_FALSE(cache_.RecordDecision(SidOf(Rid(kCorp, 4242)), planted));

  // An evicted entry takes its decision along; the SID is decided afresh.
  SidCache small(4);
  InstallSidLookupCache(&small);
  ASSERT_TRUE(small.Insert(alice));
  ASSERT_TRUE(small.RecordDecision(alice, planted));
  for (uint32_t rid = 1; rid <= 4; ++rid)
    small.Insert(SidOf(Rid(kIsland, rid)));
  SId copy;
  SidHistoryDecision decision;
  EXPECT_FALSE(small.FindDecision(alice, &copy, &decision));
  ASSERT_TRUE(small.Insert(alice));
  ASSERT_TRUE(small.FindDecision(alice, &copy, &decision));
  EXPECT_EQ(decision.kind, Kind::kUndecided);
  EXPECT_EQ(Resolve(Rid(kCorp, 1104)), Rid(kCorp, 1104));
  InstallSidLookupCache(&cache_);
  world_.TakeOutput();
}

TEST_F(SidHistoryTest, DecidedWithoutACacheToo) {
  InstallSidLookupCache(nullptr);
  EXPECT_EQ(Resolve(Rid(kOld, 1300)), Rid(kNewCorp, 2205));
  EXPECT_EQ(Resolve(Rid(kCorp, 1104)), Rid(kCorp, 1104));
  InstallSidLookupCache(&cache_);
  world_.TakeOutput();
}

TEST_F(SidHistoryTest, ServerFailureKeepsTheSid) {
  translator_.sourceServer.name = L"\\\\GONE";
  EXPECT_EQ(Resolve(Rid(kOld, 1300)), Rid(kOld, 1300));
  EXPECT_EQ(Decision(SidOf(Rid(kOld, 1300))), L"absent");
  world_.TakeOutput();
}

TEST_F(SidHistoryTest, ThreadsShareTheDecisions) {
  // A cache so small that entries are given up while others work on them.
  SidCache small(6);
  InstallSidLookupCache(&small);
  struct Case {
    std::wstring sid, expected;
  };
  const std::vector<Case> cases = {{Rid(kOld, 1300), Rid(kNewCorp, 2205)},
                                   {Rid(kOld, 1301), Rid(kNewCorp, 2206)},
                                   {Rid(kOld, 1399), Rid(kOld, 1399)},
                                   {Rid(kCorp, 1104), Rid(kCorp, 1104)},
                                   {Rid(kCorp, 1106), Rid(kCorp, 1106)}};
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&, i] {
      for (int round = 0; round < 10; ++round) {
        const Case& c = cases[(i + round) % cases.size()];
        if (ResolveHistoricalSid(translator_, SidOf(c.sid)).ToString() != c.expected)
          ++wrong;
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(wrong.load(), 0);
  InstallSidLookupCache(&cache_);
  world_.TakeOutput();
}

}  // namespace
}  // namespace tarvik
