// The process-wide SID cache: look-ups, duplicates, eviction of the oldest
// entry, look-up by name, statistics.
#include "common/sid_cache.h"

#include <gtest/gtest.h>

#include <string>

#include "common/sd/sd_exception.h"
#include "common/sd/sid_value.h"
#include "support/world_os.h"

namespace tarvik {
namespace {

SId Sid(const std::wstring& text) {
  std::optional<SidValue> value = ParseSid(text);
  EXPECT_TRUE(value.has_value()) << text.size();
  std::vector<uint8_t> bytes = value ? value->ToBytes() : std::vector<uint8_t>{};
  return SId(bytes);
}

SId Account(uint32_t domain, uint32_t rid) {
  return Sid(L"S-1-5-21-1-2-" + std::to_wstring(domain) + L"-" + std::to_wstring(rid));
}

TEST(SidCacheTest, FindsInsertsAndRefusesDuplicates) {
  SidCache cache(16);
  EXPECT_EQ(cache.Find(Account(1, 1000)), nullptr);  // empty: a miss, no comparison
  EXPECT_EQ(cache.table()->misses, 1u);
  EXPECT_EQ(cache.table()->comparisons, 0u);

  ASSERT_TRUE(cache.Insert(Account(1, 1000)));
  EXPECT_FALSE(cache.Insert(Account(1, 1000)));
  EXPECT_EQ(cache.table()->items, 1u);
  // The same RID in another domain shares the bucket and is told apart.
  ASSERT_TRUE(cache.Insert(Account(2, 1000)));
  EXPECT_EQ(cache.table()->collisions, 1u);
  EXPECT_EQ(cache.table()->hashOk, 1u);
  ASSERT_NE(cache.Find(Account(1, 1000)), nullptr);
  EXPECT_TRUE(cache.Find(Account(2, 1000))->EqualSid(Account(2, 1000)));
  EXPECT_EQ(cache.table()->hits, 2u);
  EXPECT_EQ(cache.Find(Account(3, 1000)), nullptr);

  EXPECT_THROW(cache.Find(SId::Null()), SDException);
}

TEST(SidCacheTest, AFullCacheGivesUpTheOldestEntryEvenWhenFoundSince) {
  SidCache cache(SidCache::kDefaultCapacity);
  for (uint32_t rid = 1; rid <= SidCache::kDefaultCapacity; ++rid)
    ASSERT_TRUE(cache.Insert(Account(1, rid)));
  ASSERT_NE(cache.Find(Account(1, 1)), nullptr);
  ASSERT_TRUE(cache.Insert(Account(1, SidCache::kDefaultCapacity + 1)));
  EXPECT_EQ(cache.Find(Account(1, 1)), nullptr);
  EXPECT_NE(cache.Find(Account(1, 2)), nullptr);
  EXPECT_NE(cache.Find(Account(1, SidCache::kDefaultCapacity + 1)), nullptr);
  EXPECT_EQ(cache.table()->items, SidCache::kDefaultCapacity);
}

TEST(SidCacheTest, RemovalAndIterationKeepTheTableWhole) {
  HashLruFixed<SId> table(3);
  std::unique_ptr<SId> evicted;
  for (uint32_t rid : {1, 4, 2}) {  // 1 and 4 share a bucket
    auto value = std::make_unique<SId>(Account(1, rid));
    ASSERT_TRUE(table.Insert(value, &evicted, false));
  }
  EXPECT_EQ(table.collisionsNow, 1u);
  ASSERT_NE(table.Remove(Account(1, 4)), nullptr);
  EXPECT_EQ(table.collisionsNow, 0u);
  EXPECT_EQ(table.Remove(Account(1, 4)), nullptr);
  HashLru<SId>::Iterator it;
  int seen = 0;
  for (SId* entry = table.First(&it); entry != nullptr; entry = table.Next(&it))
    ++seen;
  EXPECT_EQ(seen, 2);
  // The freed node serves the next insertion; the next after that evicts
  // the oldest entry.
  auto value = std::make_unique<SId>(Account(1, 7));
  ASSERT_TRUE(table.Insert(value, &evicted, false));
  EXPECT_EQ(evicted, nullptr);
  value = std::make_unique<SId>(Account(1, 8));
  ASSERT_TRUE(table.Insert(value, &evicted, false));
  ASSERT_NE(evicted, nullptr);
  EXPECT_TRUE(evicted->EqualSid(Account(1, 1)));
  table.Clear();
  EXPECT_EQ(table.items, 0u);
  EXPECT_EQ(table.First(&it), nullptr);
}

TEST(SidCacheTest, FindsByDomainAndAccountName) {
  WorldOs world(R"({"computer": "HOST"})");
  SidCache cache(16);
  SId admins = SId::FromName(L"", L"BUILTIN\\Administrators");
  ASSERT_TRUE(cache.Insert(admins));
  EXPECT_EQ(cache.FindByName(L"Administrators"), nullptr);
  SId* found = cache.FindByName(L"builtin\\ADMINISTRATORS");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->ToString(), L"S-1-5-32-544");
  EXPECT_EQ(cache.FindByName(L"BUILTIN\\Users"), nullptr);

  cache.PrintStatistics();
  EXPECT_EQ(world.TakeOutput(),
            L"SID cache stats:\nCache size:  16 items\nItems:       1\nCollisions:  0\n"
            L"Comparisons: 0\nHits:        0\nHash OK:     1\nMiss:        0\n\n");
}

}  // namespace
}  // namespace tarvik
