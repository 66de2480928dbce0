#include "common/sd/sid_string.h"

#include <gtest/gtest.h>

namespace tarvik {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(ParseSidStringTest, ReadsTheBinaryLayout) {
  // BUILTIN\Administrators, S-1-5-32-544.
  const Bytes administrators = {1, 2, 0, 0, 0, 0, 0, 5, 0x20, 0, 0, 0, 0x20, 0x02, 0, 0};
  EXPECT_EQ(ParseSidString(L"S-1-5-32-544", 10), administrators);
  EXPECT_EQ(ParseSidString(L"S-1-5-20-220", 16), administrators);
  EXPECT_EQ(ParseSidString(L"S-1-5-20-220", 10),
            (Bytes{1, 2, 0, 0, 0, 0, 0, 5, 20, 0, 0, 0, 220, 0, 0, 0}));

  EXPECT_EQ(
      ParseSidString(L"S-1-5-15-aaaaaaaa-bbbbbbbb-cccccccc-FFFFFFFF", 16),
      (Bytes{1,    5,    0,    0,    0,    0,    0,    5,    0x15, 0,    0,    0,    0xaa, 0xaa,
             0xaa, 0xaa, 0xbb, 0xbb, 0xbb, 0xbb, 0xcc, 0xcc, 0xcc, 0xcc, 0xff, 0xff, 0xff, 0xff}));
  // The authority is six bytes, most significant first.
  EXPECT_EQ(ParseSidString(L"S-1-65536", 10), (Bytes{1, 0, 0, 0, 0, 1, 0, 0}));
  EXPECT_EQ(ParseSidString(L"S-1-281474976710655-0", 10),
            (Bytes{1, 1, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0, 0, 0, 0}));
  EXPECT_EQ(ParseSidString(L"S-1-5-4294967295", 10),
            (Bytes{1, 1, 0, 0, 0, 0, 0, 5, 0xff, 0xff, 0xff, 0xff}));
}

TEST(ParseSidStringTest, CountsUpToFifteenSubAuthorities) {
  std::optional<Bytes> nine = ParseSidString(L"S-1-5-21-1-2-3-4-5-6-7-8", 10);
  ASSERT_TRUE(nine.has_value());
  EXPECT_EQ((*nine)[1], 9);
  EXPECT_EQ(nine->size(), 8u + 9 * 4);

  std::wstring fifteen = L"S-1-5";
  for (int i = 0; i < 15; ++i)
    fifteen += L"-7";
  ASSERT_TRUE(ParseSidString(fifteen, 10).has_value());
  EXPECT_EQ((*ParseSidString(fifteen, 10))[1], 15);
  EXPECT_FALSE(ParseSidString(fifteen + L"-7", 10).has_value());
}

TEST(ParseSidStringTest, RejectsMalformedTexts) {
  for (const wchar_t* text : {
           L"S-1-5-2x",               // not a decimal digit
           L"s-1-5-18",               // the S must be a capital letter
           L"S-1",                    // no authority
           L"",                       //
           L"S-1-5-",                 // empty sub-authority
           L"S-1-5--7",               //
           L"S--5-7",                 // empty revision
           L"S-2-5-7",                // only revision 1 exists
           L"S-1-0x5-7",              // the authority is decimal
           L"S-1-281474976710656-7",  // authority wider than six bytes
           L"S-1-5-4294967296",       // sub-authority wider than 32 bits
           L"S-1-5-+7",               //
           L"S-1-5- 7",               //
           L"X-1-5-7",                //
       }) {
    EXPECT_FALSE(ParseSidString(text, 10).has_value()) << text;
  }
  EXPECT_FALSE(ParseSidString(L"S-1-5-100000000", 16).has_value());
  EXPECT_FALSE(ParseSidString(L"S-1-5-fg", 16).has_value());
  EXPECT_FALSE(ParseSidString(L"S-1-A-7", 16).has_value());  // authority stays decimal
  EXPECT_FALSE(ParseSidString(L"S-1-5-7", 8).has_value());
}

TEST(LocalSidSourceTextTest, AcceptsHexadecimalComponentsOfThirtyTwoBits) {
  EXPECT_TRUE(IsLocalSidSourceText(L"S-1-5-15-aaaaaaaa-bbbbbbbb-cccccccc-FFFFFFFF"));
  EXPECT_TRUE(IsLocalSidSourceText(L"S-1-5-15-0000000aaaaaaaa"));  // leading zeros fit
  EXPECT_FALSE(IsLocalSidSourceText(L"S-1-5-15-1aaaaaaaa"));
  EXPECT_FALSE(IsLocalSidSourceText(L"S-1-5-15-xyz"));
  EXPECT_FALSE(IsLocalSidSourceText(L"s-1-5-15"));
  EXPECT_FALSE(IsLocalSidSourceText(L"S-"));
  EXPECT_FALSE(IsLocalSidSourceText(L"S-1-5-"));
  EXPECT_FALSE(IsLocalSidSourceText(L"1-5-15"));
}

}  // namespace
}  // namespace tarvik
