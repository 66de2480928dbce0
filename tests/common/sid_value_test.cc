#include "common/sd/sid_value.h"

#include <gtest/gtest.h>

namespace tarvik {
namespace {

TEST(SidValueTest, ParsesAndPrintsTheTextForm) {
  std::optional<SidValue> sid = ParseSid(L"S-1-5-21-3623811015-3361044348-30300820-1013");
  ASSERT_TRUE(sid);
  EXPECT_EQ(sid->authority, 5u);
  EXPECT_EQ(sid->sub_authorities,
            (std::vector<uint32_t>{21, 3623811015u, 3361044348u, 30300820u, 1013}));
  EXPECT_EQ(sid->ToString(), L"S-1-5-21-3623811015-3361044348-30300820-1013");
  EXPECT_EQ(sid->Rid(), 1013u);
  EXPECT_EQ(sid->Parent().WithRid(500).ToString(), L"S-1-5-21-3623811015-3361044348-30300820-500");

  EXPECT_EQ(ParseSid(L"S-1-1-0")->ToString(), L"S-1-1-0");
  EXPECT_EQ(ParseSid(L"S-1-5")->sub_authorities.size(), 0u);
  // Authorities beyond 32 bits are written in hexadecimal.
  EXPECT_EQ(ParseSid(L"S-1-0x010000000005-1")->ToString(), L"S-1-0x010000000005-1");
  EXPECT_EQ(ParseSid(L"S-1-65536-1")->ToString(), L"S-1-65536-1");
}

TEST(SidValueTest, RejectsMalformedText) {
  for (const wchar_t* text :
       {L"", L"S-1", L"S-1-", L"s-1-5-18", L"S-2-5-18", L"S-1-5--18", L"S-1-5-18-", L"S-1-5-x",
        L"S-1-5-4294967296", L"S-1-5- 18", L"S-1-5-+18", L"S-1-0x1000000000000-1",
        L"S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-16"}) {
    EXPECT_FALSE(ParseSid(text)) << text;
  }
  EXPECT_TRUE(ParseSid(L"S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15"));
  EXPECT_TRUE(ParseSid(L"S-1-5-4294967295"));
}

}  // namespace
}  // namespace tarvik
