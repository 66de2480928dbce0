#include "common/sd/sid_bytes.h"

#include <gtest/gtest.h>

#include "common/sd/sid_string.h"
#include "common/sd/sid_value.h"

namespace tarvik {
namespace {

std::vector<uint8_t> Sid(const wchar_t* text) {
  std::optional<SidValue> sid = ParseSid(text);
  EXPECT_TRUE(sid) << text;
  return sid ? sid->ToBytes() : std::vector<uint8_t>{};
}

TEST(SidBytesTest, ValidityFollowsTheHeader) {
  std::vector<uint8_t> sid = Sid(L"S-1-5-21-1-2-3-500");
  EXPECT_TRUE(IsValidSid(sid));
  EXPECT_EQ(GetLengthSid(sid), 8u + 5 * 4);
  EXPECT_FALSE(IsValidSid(SidBytes(sid).first(sid.size() - 1)));  // truncated
  sid[0] = 2;
  EXPECT_FALSE(IsValidSid(sid));  // revision
  std::vector<uint8_t> too_many(kSidMaxSize + 4, 0);
  too_many[0] = 1;
  too_many[1] = 16;
  EXPECT_FALSE(IsValidSid(too_many));
  EXPECT_FALSE(IsValidSid({}));
  // A span may run on past the SID: equality looks at the SID alone.
  std::vector<uint8_t> longer = Sid(L"S-1-5-18");
  longer.push_back(0xAB);
  EXPECT_TRUE(EqualSid(longer, Sid(L"S-1-5-18")));
}

TEST(SidBytesTest, EqualPrefixComparesAllButTheLastSubAuthority) {
  std::vector<uint8_t> machine = Sid(L"S-1-5-21-10-20-30-4294967295");
  EXPECT_TRUE(EqualPrefixSid(machine, Sid(L"S-1-5-21-10-20-30-1001")));
  EXPECT_FALSE(EqualPrefixSid(machine, Sid(L"S-1-5-21-10-20-31-1001")));
  EXPECT_FALSE(EqualPrefixSid(machine, Sid(L"S-1-5-21-10-20-30")));       // count differs
  EXPECT_FALSE(EqualPrefixSid(machine, Sid(L"S-1-3-21-10-20-30-1001")));  // authority differs
  EXPECT_FALSE(EqualPrefixSid(Sid(L"S-1-5"), Sid(L"S-1-5")));             // nothing to compare
  EXPECT_FALSE(EqualSid(machine, Sid(L"S-1-5-21-10-20-30-1001")));
}

TEST(SidBytesTest, ClassifiesAuthoritiesAndNtGroups) {
  struct Case {
    const wchar_t* sid;
    bool basic, creator, nt, builtin, single, logon, service;
  };
  const Case cases[] = {
      {L"S-1-0-0", true, false, false, false, false, false, false},
      {L"S-1-1-0", true, false, false, false, false, false, false},
      {L"S-1-3-0", true, true, false, false, false, false, false},
      {L"S-1-4-0", false, false, false, false, false, false, false},
      {L"S-1-5-32-544", false, false, true, true, false, false, false},
      {L"S-1-5-32", false, false, true, true, false, false, false},
      {L"S-1-5-4", false, false, true, false, true, false, false},
      {L"S-1-5-12", false, false, true, false, true, false, false},
      {L"S-1-5-21", false, false, true, false, true, false, false},
      {L"S-1-5-5", false, false, true, false, false, false, false},  // 5 is not single
      {L"S-1-5-13", false, false, true, false, false, false, false},
      {L"S-1-5-17", false, false, true, false, false, false, false},
      {L"S-1-5-22", false, false, true, false, false, false, false},
      {L"S-1-5-18-7", false, false, true, false, false, false, false},  // not single: 2 subs
      {L"S-1-5-5-0-999", false, false, true, false, false, true, false},
      {L"S-1-5-5-0", false, false, true, false, false, false, false},
      {L"S-1-5-18-1-7", false, false, true, false, false, false, true},
      {L"S-1-5-18-2-7", false, false, true, false, false, false, true},
      {L"S-1-5-18-1-7-8", false, false, true, false, false, false, false},
      {L"S-1-5-18-3-7", false, false, true, false, false, false, false},
      {L"S-1-5-18-256", false, false, true, false, false, false, true},
      {L"S-1-5-18-262-1-2-3", false, false, true, false, false, false, true},
      {L"S-1-5-18-263", false, false, true, false, false, false, false},
      {L"S-1-5-18-255", false, false, true, false, false, false, false},
      {L"S-1-5-21-1-2-3-500", false, false, true, false, false, false, false},
      {L"S-1-0x010000000005-32", false, false, false, false, false, false, false},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> sid = Sid(c.sid);
    EXPECT_EQ(IsBasicAuthority(sid), c.basic) << c.sid;
    EXPECT_EQ(IsCreatorAuthority(sid), c.creator) << c.sid;
    EXPECT_EQ(IsNtAuthority(sid), c.nt) << c.sid;
    EXPECT_EQ(IsBuiltin(sid), c.builtin) << c.sid;
    EXPECT_EQ(IsWellKnownForAccounts(sid), c.basic || c.builtin) << c.sid;
    EXPECT_EQ(IsNtSingleWellKnown(sid), c.single) << c.sid;
    EXPECT_EQ(IsLogonSession(sid), c.logon) << c.sid;
    EXPECT_EQ(IsNt18Service(sid), c.service) << c.sid;
  }
  EXPECT_FALSE(IsNtAuthority({}));
  EXPECT_FALSE(IsBasicAuthority({}));
}

TEST(SidBytesTest, ClassifiesRids) {
  for (uint32_t rid : {500u, 501u, 502u, 512u, 518u, 544u, 559u})
    EXPECT_TRUE(IsWellKnownRid(rid)) << rid;
  for (uint32_t rid : {499u, 503u, 511u, 519u, 543u, 560u, 1000u})
    EXPECT_FALSE(IsWellKnownRid(rid)) << rid;
  for (uint32_t rid : {549u, 550u, 554u, 559u})
    EXPECT_TRUE(IsBuiltinNotMigrated(rid)) << rid;
  for (uint32_t rid : {544u, 548u, 551u, 553u, 560u})
    EXPECT_FALSE(IsBuiltinNotMigrated(rid)) << rid;
}

TEST(SidBytesTest, StringForms) {
  EXPECT_EQ(SidToString(Sid(L"S-1-5-32-544")), L"S-1-5-32-544");
  EXPECT_EQ(SidToHexString(Sid(L"S-1-5-32-544")), L"S-1-5-20-220");
  EXPECT_EQ(SidToString(Sid(L"S-1-5-21-4294967295")), L"S-1-5-21-4294967295");
  EXPECT_EQ(SidToHexString(Sid(L"S-1-5-21-4294967295")), L"S-1-5-15-FFFFFFFF");
  // Authorities: six bytes 01 00 00 00 00 05, and 65536 (00 00 00 01 00 00).
  EXPECT_EQ(SidToString(Sid(L"S-1-0x010000000005-7")), L"S-1-0x010000000005-7");
  EXPECT_EQ(SidToHexString(Sid(L"S-1-0x010000000005-7")), L"S-1-0x010000000005-7");
  EXPECT_EQ(SidToString(Sid(L"S-1-65536-1")), L"S-1-65536-1");
  EXPECT_EQ(SidToHexString(Sid(L"S-1-65536-1")), L"S-1-10000-1");
  EXPECT_EQ(SidToString(Sid(L"S-1-5")), L"S-1-5");
  EXPECT_EQ(SidToString({}), L"<invalid sid>");
  EXPECT_EQ(SidToHexString({}), L"<invalid sid>");

  // The hexadecimal form reads back.
  std::optional<std::vector<uint8_t>> parsed = ParseSidString(L"S-1-5-20-220", 16);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(SidToString(*parsed), L"S-1-5-32-544");
  EXPECT_FALSE(ParseSidString(L"S-1-5-2x", 10));
  EXPECT_FALSE(ParseSidString(L"s-1-5-18", 10));
}

}  // namespace
}  // namespace tarvik
