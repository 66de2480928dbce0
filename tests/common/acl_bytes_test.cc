// ACLs and ACEs in their binary layout: building, walking, inserting and
// removing, and refusing what does not fit.
#include "common/sd/acl_bytes.h"

#include <gtest/gtest.h>

#include <vector>

namespace tarvik {
namespace {

// An access ACE (type, flags, mask) for S-1-5-32-<rid>: 8 + 16 bytes.
std::vector<uint8_t> SidAce(uint8_t type, uint8_t flags, uint32_t mask, uint32_t rid) {
  std::vector<uint8_t> ace = {type, flags, 24, 0};
  for (int i = 0; i < 4; ++i)
    ace.push_back(static_cast<uint8_t>(mask >> (8 * i)));
  const uint8_t sid[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0};
  ace.insert(ace.end(), std::begin(sid), std::end(sid));
  for (int i = 0; i < 4; ++i)
    ace.push_back(static_cast<uint8_t>(rid >> (8 * i)));
  return ace;
}

uint32_t RidOf(AceBytes ace) {
  return AceUint32(ace, 20);
}

TEST(AclBytesTest, BuildsWalksInsertsAndRemoves) {
  std::vector<uint8_t> buffer(8 + 3 * 24, 0xEE);
  ASSERT_TRUE(InitializeAcl(buffer, buffer.size(), kAclRevision));
  EXPECT_TRUE(IsValidAcl(buffer));
  EXPECT_EQ(AclSize(buffer), 80);
  EXPECT_EQ(AclAceCount(buffer), 0);
  EXPECT_FALSE(GetAce(buffer, 0).has_value());

  const auto a = SidAce(ACCESS_ALLOWED_ACE_TYPE, 0, 0x1F01FF, 544);
  const auto b = SidAce(ACCESS_DENIED_ACE_TYPE, INHERITED_ACE, 0x10000, 545);
  const auto c = SidAce(ACCESS_ALLOWED_ACE_TYPE, OBJECT_INHERIT_ACE, 0x120089, 546);
  ASSERT_TRUE(AddAce(buffer, kAclRevision, kAppendAce, a));
  ASSERT_TRUE(AddAce(buffer, kAclRevision, kAppendAce, c));
  ASSERT_TRUE(AddAce(buffer, kAclRevision, 1, b));  // between the two
  ASSERT_EQ(AclAceCount(buffer), 3);
  EXPECT_EQ(RidOf(*GetAce(buffer, 0)), 544u);
  EXPECT_EQ(RidOf(*GetAce(buffer, 1)), 545u);
  EXPECT_EQ(RidOf(*GetAce(buffer, 2)), 546u);
  AceBytes second = *GetAce(buffer, 1);
  EXPECT_EQ(AceType(second), ACCESS_DENIED_ACE_TYPE);
  EXPECT_EQ(AceFlags(second), INHERITED_ACE);
  EXPECT_EQ(AceSize(second), 24);
  EXPECT_EQ(AceUint32(second, 4), 0x10000u);
  EXPECT_EQ(AceSidOffset(second), 8u);

  // Full: nothing more goes in, and nothing changes.
  EXPECT_FALSE(AddAce(buffer, kAclRevision, kAppendAce, a));
  EXPECT_EQ(AclAceCount(buffer), 3);

  ASSERT_TRUE(DeleteAce(buffer, 0));
  EXPECT_EQ(AclAceCount(buffer), 2);
  EXPECT_EQ(RidOf(*GetAce(buffer, 0)), 545u);
  EXPECT_FALSE(DeleteAce(buffer, 2));
  // An ACE taken from the ACL itself can go back in.
  ASSERT_TRUE(AddAce(buffer, kAclRevisionDs, 0, *GetAce(buffer, 1)));
  EXPECT_EQ(RidOf(*GetAce(buffer, 0)), 546u);
  EXPECT_EQ(AclRevision(buffer), kAclRevisionDs);             // the revision only rises
  EXPECT_FALSE(AddAce(buffer, kAclRevision, kAppendAce, a));  // full again
}

TEST(AclBytesTest, RefusesWhatDoesNotFit) {
  std::vector<uint8_t> buffer(64);
  EXPECT_FALSE(InitializeAcl(buffer, 6, kAclRevision));
  EXPECT_FALSE(InitializeAcl(buffer, 10, kAclRevision));  // not a multiple of 4
  EXPECT_FALSE(InitializeAcl(buffer, 68, kAclRevision));  // past the buffer
  EXPECT_FALSE(InitializeAcl(buffer, 64, 1));
  ASSERT_TRUE(InitializeAcl(buffer, 64, kAclRevision));

  // A header claiming more than the span, or ACEs running past AclSize.
  std::vector<uint8_t> acl = {2, 0, 32, 0, 1, 0, 0, 0};
  acl.resize(16);
  EXPECT_FALSE(IsValidAcl(acl));
  acl.resize(32);
  acl[8] = 0;
  acl[10] = 28;  // 8 + 28 > 32
  EXPECT_FALSE(IsValidAcl(acl));
  acl[10] = 6;  // not a multiple of 4
  EXPECT_FALSE(IsValidAcl(acl));
  acl[10] = 24;
  EXPECT_TRUE(IsValidAcl(acl));
  EXPECT_FALSE(IsValidAcl(std::span<const uint8_t>(acl).first(7)));

  // Only whole ACEs are added.
  auto ace = SidAce(ACCESS_ALLOWED_ACE_TYPE, 0, 1, 544);
  EXPECT_FALSE(AddAce(buffer, kAclRevision, kAppendAce, std::span(ace).first(20)));
  EXPECT_FALSE(AddAce(buffer, kAclRevision, kAppendAce, {}));
  EXPECT_EQ(AceSize(std::span(ace).first(3)), 0);
  EXPECT_EQ(AceUint32(ace, 22), 0u);
}

TEST(AclBytesTest, SidOffsetsFollowTheAceLayouts) {
  std::vector<uint8_t> object(60, 0);
  object[0] = ACCESS_ALLOWED_OBJECT_ACE_TYPE;
  EXPECT_EQ(AceSidOffset(object), 12u);
  object[8] = ACE_OBJECT_TYPE_PRESENT;
  EXPECT_EQ(AceSidOffset(object), 28u);
  object[8] = ACE_OBJECT_TYPE_PRESENT | ACE_INHERITED_OBJECT_TYPE_PRESENT;
  EXPECT_EQ(AceSidOffset(object), 44u);
  for (uint8_t type : {0, 1, 2, 3, 4, 9, 10, 13, 14, 18, 19}) {
    object[0] = type;
    EXPECT_EQ(AceSidOffset(object), 8u) << int{type};
  }
  for (uint8_t type : {17, 20, 0xA5, 0xAA}) {
    object[0] = type;
    EXPECT_FALSE(AceSidOffset(object).has_value()) << int{type};
  }
  for (uint8_t type : {5, 6, 7, 8, 11, 12, 15, 16})
    EXPECT_TRUE(IsObjectAceType(type)) << int{type};
}

}  // namespace
}  // namespace tarvik
