// The table of local RIDs matched between two servers: sorted buckets, one
// entry per source RID, its dump, and its use from many threads.
#include "translate/rid_translator.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "support/world_os.h"

namespace tarvik {
namespace {

TEST(RidTranslatorTest, OneEntryPerSourceRidInSortedBuckets) {
  WorldOs world("{}");
  RidTranslator rids;
  // 1011 and 1000 both fall into bucket 10; 1003 into bucket 2.
  EXPECT_TRUE(rids.Add(1011, 2011));
  EXPECT_TRUE(rids.Add(1000, 2000));
  EXPECT_TRUE(rids.Add(1003, 1012));
  EXPECT_FALSE(rids.Add(1000, 9999));
  EXPECT_EQ(rids.count(), 3u);
  EXPECT_EQ(rids.Lookup(1000), 2000u);
  EXPECT_EQ(rids.Lookup(1011), 2011u);
  EXPECT_EQ(rids.Lookup(1003), 1012u);
  // Bucket 10 as well, before, between and after its entries.
  EXPECT_EQ(rids.Lookup(989), std::nullopt);
  EXPECT_EQ(rids.Lookup(1022), std::nullopt);
  EXPECT_EQ(rids.Lookup(1001), std::nullopt);

  world.TakeOutput();
  rids.Dump();
  const std::wstring output = world.TakeOutput();
  size_t at = 0;
  for (const wchar_t* line :
       {L"Local RID translation table includes 3 entries:\n", L"Bucket     Source -> Destination\n",
        L" 0x02  0x000003EB -> 0x000003F4\n", L" 0x0A  0x000003E8 -> 0x000007D0\n",
        L" 0x0A  0x000003F3 -> 0x000007DB\n"}) {
    at = output.find(line, at);
    ASSERT_NE(at, std::wstring::npos) << "missing or out of order: " << line << "\n" << output;
  }

  rids.Clear();
  EXPECT_EQ(rids.count(), 0u);
  EXPECT_EQ(rids.Lookup(1000), std::nullopt);
}

TEST(RidTranslatorTest, ManyThreadsAddAndLookUp) {
  RidTranslator rids;
  std::vector<std::thread> threads;
  for (uint32_t t = 0; t < 4; ++t) {
    threads.emplace_back([&rids, t] {
      for (uint32_t i = 0; i < 250; ++i) {
        const uint32_t rid = 1000 + i * 4 + t;
        EXPECT_TRUE(rids.Add(rid, rid + 100000));
        EXPECT_EQ(rids.Lookup(rid), rid + 100000);
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(rids.count(), 1000u);
  for (uint32_t rid = 1000; rid < 2000; ++rid)
    ASSERT_EQ(rids.Lookup(rid), rid + 100000) << rid;
}

}  // namespace
}  // namespace tarvik
