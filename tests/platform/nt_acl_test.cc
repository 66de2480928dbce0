// The xattr_NTACL value: what is written, what is read, what is refused.
#include "platform/posix/nt_acl.h"

#include <gtest/gtest.h>

#include "common/sd/sid_string.h"
#include "support/security_bytes.h"

namespace tarvik {
namespace {

std::string Bytes(std::string_view hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return out;
}

// A v1 value as Samba writes it for O:S-1-5-32-544 G:S-1-5-18 D:P(A;;FA;;;WD).
constexpr std::string_view kSambaV1 =
    "0100010000000200010004901c0000002c0000000000000038000000010200000000000520000000200200000101"
    "0000000000051200000004001c000100000000001400ff010000010100000000000100000000";

TEST(NtAclTest, WritesVersionOneWithOffsetsFromTheStartOfTheValue) {
  DescriptorParts parts;
  parts.control = SE_DACL_PRESENT | SE_DACL_PROTECTED;
  parts.owner = Sid(L"S-1-5-32-544");
  parts.group = Sid(L"S-1-5-18");
  parts.dacl = AclOf({{0x1FF, L"S-1-1-0"}});
  parts.dacl[0] = 4;  // as Samba's own ACLs carry it
  EXPECT_EQ(EncodeNtAcl(parts), Bytes(kSambaV1));

  std::optional<DescriptorParts> read = DecodeNtAcl(Bytes(kSambaV1));
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->control, SE_SELF_RELATIVE | SE_DACL_PRESENT | SE_DACL_PROTECTED);
  EXPECT_EQ(read->owner, parts.owner);
  EXPECT_EQ(read->group, parts.group);
  EXPECT_EQ(read->dacl, parts.dacl);
  EXPECT_TRUE(read->sacl.empty());

  // All four parts, an ACL whose size is not a multiple of four, and a
  // null SACL (present, no list).
  parts.sacl = AclOf({{0x10000, L"S-1-5-11"}});
  parts.control |= SE_SACL_PRESENT | SE_SACL_AUTO_INHERITED;
  read = DecodeNtAcl(EncodeNtAcl(parts));
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->sacl, parts.sacl);
  EXPECT_EQ(read->dacl, parts.dacl);
  EXPECT_EQ(read->control, parts.control | SE_SELF_RELATIVE);
  parts.sacl.clear();
  read = DecodeNtAcl(EncodeNtAcl(parts));
  ASSERT_TRUE(read.has_value());
  EXPECT_TRUE(read->sacl.empty());
  EXPECT_NE(read->control & SE_SACL_PRESENT, 0);
}

TEST(NtAclTest, ReadsTheHashedVersionsTwoToFour) {
  // Samba's values for O:SY G:SY: a 16-byte hash (v2); a hash type and a
  // 64-byte hash (v3); and a description "abc", a time and a second hash (v4).
  const std::string zeros(128, '0');
  const std::string descriptor =
      "01000080" + std::string(
                       "300000003c00000000000000000000000101000000000005120000000101000000"
                       "00000512000000");
  const std::string v2 = "020002000000020004000200" + std::string(32, '0') + descriptor;
  std::string v3 = "0300030000000200040002000100" + zeros + "0000" + "01000080" +
                   "640000007000000000000000000000000101000000000005120000000101000000000005"
                   "12000000";
  std::string v4 = "0400040000000200040002000100" + zeros + "616263000000" + "8877665544332211" +
                   zeros + "01000080" +
                   "b0000000bc00000000000000000000000101000000000005120000000101000000000005"
                   "12000000";
  for (const std::string& hex : {v2, v3, v4}) {
    std::optional<DescriptorParts> read = DecodeNtAcl(Bytes(hex));
    ASSERT_TRUE(read.has_value()) << hex.substr(0, 4);
    EXPECT_EQ(read->owner, Sid(L"S-1-5-18"));
    EXPECT_EQ(read->group, Sid(L"S-1-5-18"));
    EXPECT_EQ(read->control, SE_SELF_RELATIVE);
  }
}

TEST(NtAclTest, RefusesMalformedValuesWithoutReadingPastThem) {
  const std::string good = Bytes(kSambaV1);
  ASSERT_TRUE(DecodeNtAcl(good).has_value());
  // Every truncation.
  for (size_t size = 0; size < good.size(); ++size)
    EXPECT_FALSE(DecodeNtAcl(good.substr(0, size)).has_value()) << size;

  auto with = [&](size_t at, std::string_view hex) {
    std::string value = good;
    value.replace(at, hex.size() / 2, Bytes(hex));
    return DecodeNtAcl(value);
  };
  EXPECT_FALSE(with(0, "0500").has_value());       // unknown version
  EXPECT_FALSE(with(2, "0200").has_value());       // level differs from version
  EXPECT_FALSE(with(4, "00000000").has_value());   // null pointer
  EXPECT_FALSE(with(8, "02").has_value());         // descriptor revision
  EXPECT_FALSE(with(12, "ffffffff").has_value());  // owner far away
  EXPECT_FALSE(with(12, "fcffffff").has_value());  // offset + size overflows
  EXPECT_FALSE(with(29, "10").has_value());        // 16 sub-authorities
  EXPECT_FALSE(with(56, "03").has_value());        // ACL revision
  EXPECT_FALSE(with(58, "ff00").has_value());      // ACL larger than the value
  EXPECT_FALSE(with(58, "0400").has_value());      // ACL smaller than its header
  EXPECT_FALSE(with(60, "0200").has_value());      // more ACEs than fit
  EXPECT_FALSE(with(66, "0000").has_value());      // ACE of size 0
  EXPECT_FALSE(with(66, "0600").has_value());      // ACE without room for its mask
  EXPECT_FALSE(with(66, "2000").has_value());      // ACE beyond its ACL
  EXPECT_TRUE(with(10, "0080").has_value());       // no DACL present: DACL ignored

  // A v4 description without its terminating NUL.
  std::string v4 = Bytes("040004000000020004000200") + std::string(66, '\0') + "abc";
  EXPECT_FALSE(DecodeNtAcl(v4).has_value());
}

}  // namespace
}  // namespace tarvik
