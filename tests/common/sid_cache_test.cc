// The process-wide SID cache: look-ups, duplicates, eviction of the oldest
// entry, look-up by name, statistics.
#include "common/sid_cache.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

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
  SId found;
  EXPECT_FALSE(cache.Find(Account(1, 1000), &found));  // empty: a miss, no comparison
  EXPECT_EQ(cache.table()->misses, 1u);
  EXPECT_EQ(cache.table()->comparisons, 0u);

  ASSERT_TRUE(cache.Insert(Account(1, 1000)));
  EXPECT_FALSE(cache.Insert(Account(1, 1000)));
  EXPECT_EQ(cache.table()->items, 1u);
  // The same RID in another domain shares the bucket and is told apart.
  ASSERT_TRUE(cache.Insert(Account(2, 1000)));
  EXPECT_EQ(cache.table()->collisions, 1u);
  EXPECT_EQ(cache.table()->hashOk, 1u);
  EXPECT_TRUE(cache.Find(Account(1, 1000), &found));
  ASSERT_TRUE(cache.Find(Account(2, 1000), &found));
  EXPECT_TRUE(found.EqualSid(Account(2, 1000)));
  EXPECT_EQ(cache.table()->hits, 2u);
  EXPECT_FALSE(cache.Find(Account(3, 1000), &found));

  EXPECT_THROW(cache.Find(SId::Null(), &found), SDException);
}

TEST(SidCacheTest, AFullCacheGivesUpTheOldestEntryEvenWhenFoundSince) {
  SidCache cache(SidCache::kDefaultCapacity);
  for (uint32_t rid = 1; rid <= SidCache::kDefaultCapacity; ++rid)
    ASSERT_TRUE(cache.Insert(Account(1, rid)));
  SId found;
  ASSERT_TRUE(cache.Find(Account(1, 1), &found));
  ASSERT_TRUE(cache.Insert(Account(1, SidCache::kDefaultCapacity + 1)));
  EXPECT_FALSE(cache.Find(Account(1, 1), &found));
  EXPECT_TRUE(cache.Find(Account(1, 2), &found));
  EXPECT_TRUE(cache.Find(Account(1, SidCache::kDefaultCapacity + 1), &found));
  EXPECT_EQ(cache.table()->items, SidCache::kDefaultCapacity);
}

TEST(SidCacheTest, EntriesCopiedOutWhileOtherThreadsEvictThem) {
  SidCache cache(8);  // small: every insertion past eight evicts
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (uint32_t t = 0; t < 4; ++t) {
    threads.emplace_back([&cache, &wrong, t] {
      SId found;
      for (uint32_t i = 0; i < 2000; ++i) {
        const SId sid = Account(t, i % 32);
        cache.Insert(sid);
        if (cache.Find(sid, &found) && !found.EqualSid(sid))
          ++wrong;
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_LE(cache.table()->items, 8u);
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
  SId found;
  EXPECT_FALSE(cache.FindByName(L"Administrators", &found));
  ASSERT_TRUE(cache.FindByName(L"builtin\\ADMINISTRATORS", &found));
  EXPECT_EQ(found.ToString(), L"S-1-5-32-544");
  EXPECT_FALSE(cache.FindByName(L"BUILTIN\\Users", &found));

  cache.PrintStatistics();
  EXPECT_EQ(world.TakeOutput(),
            L"SID cache stats:\nCache size:  16 items\nItems:       1\nCollisions:  0\n"
            L"Comparisons: 0\nHits:        0\nHash OK:     1\nMiss:        0\n\n");
}

}  // namespace
}  // namespace tarvik
