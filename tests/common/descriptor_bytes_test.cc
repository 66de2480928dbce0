#include "common/sd/descriptor_bytes.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "support/security_bytes.h"

namespace tarvik {
namespace {

TEST(DescriptorBytesTest, ReadsDescriptorsInMemoryInBothLayouts) {
  std::vector<uint8_t> owner = Sid(L"S-1-5-21-1-2-3-500");
  std::vector<uint8_t> dacl = AclOf({{0x120089, L"S-1-5-32-545"}, {0x1F01FF, L"S-1-5-18"}});
  SECURITY_DESCRIPTOR absolute = {
      1,       0,       SE_DACL_PRESENT | SE_DACL_AUTO_INHERITED, owner.data(),
      nullptr, nullptr, reinterpret_cast<ACL*>(dacl.data())};
  std::optional<DescriptorParts> read = ReadDescriptorInMemory(&absolute);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->owner, owner);
  EXPECT_TRUE(read->group.empty());
  EXPECT_EQ(read->dacl, dacl);
  EXPECT_EQ(read->control, SE_DACL_PRESENT | SE_DACL_AUTO_INHERITED);

  std::vector<uint8_t> relative = BuildSelfRelative(*read);
  std::optional<DescriptorParts> again = ReadDescriptorInMemory(relative.data());
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(again->owner, owner);
  EXPECT_EQ(again->dacl, dacl);
  EXPECT_EQ(again->control, read->control | SE_SELF_RELATIVE);

  owner[1] = 16;
  EXPECT_FALSE(ReadDescriptorInMemory(&absolute).has_value());
  absolute.Revision = 2;
  EXPECT_FALSE(ReadDescriptorInMemory(&absolute).has_value());
}

TEST(DescriptorBytesTest, BuildsAnAbsoluteDescriptorAndReadsItBack) {
  SECURITY_DESCRIPTOR descriptor;
  EXPECT_FALSE(InitializeSecurityDescriptor(&descriptor, 2));
  ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, 1));
  std::vector<uint8_t> owner = Sid(L"S-1-5-32-544");
  std::vector<uint8_t> dacl = AclOf({{0x1F01FF, L"S-1-1-0"}});
  ASSERT_TRUE(SetSecurityDescriptorOwner(&descriptor, owner.data(), true));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, true, dacl.data(), false));
  ASSERT_TRUE(SetSecurityDescriptorSacl(&descriptor, false, nullptr, true));
  EXPECT_EQ(descriptor.Control, SE_OWNER_DEFAULTED | SE_DACL_PRESENT);
  EXPECT_TRUE(IsValidSecurityDescriptor(&descriptor));

  // Only inheritance and protection bits are settable.
  EXPECT_FALSE(SetSecurityDescriptorControl(&descriptor, SE_DACL_PRESENT, 0));
  ASSERT_TRUE(SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED,
                                           SE_DACL_PROTECTED));
  EXPECT_EQ(descriptor.Control, SE_OWNER_DEFAULTED | SE_DACL_PRESENT | SE_DACL_PROTECTED);

  // The same reads from the self-relative copy as from the absolute one.
  std::vector<uint8_t> relative = BuildSelfRelative(*ReadDescriptorInMemory(&descriptor));
  EXPECT_FALSE(SetSecurityDescriptorOwner(reinterpret_cast<SECURITY_DESCRIPTOR*>(relative.data()),
                                          nullptr, false));
  for (const void* form :
       {static_cast<const void*>(&descriptor), static_cast<const void*>(relative.data())}) {
    const void* sid = nullptr;
    bool defaulted = false;
    ASSERT_TRUE(GetSecurityDescriptorOwner(form, &sid, &defaulted));
    ASSERT_NE(sid, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(static_cast<const uint8_t*>(sid),
                                   static_cast<const uint8_t*>(sid) + owner.size()),
              owner);
    EXPECT_TRUE(defaulted);
    ASSERT_TRUE(GetSecurityDescriptorGroup(form, &sid, &defaulted));
    EXPECT_EQ(sid, nullptr);
    bool present = false;
    const void* acl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(form, &present, &acl, &defaulted));
    EXPECT_TRUE(present);
    ASSERT_NE(acl, nullptr);
    EXPECT_EQ(0, memcmp(acl, dacl.data(), dacl.size()));
    ASSERT_TRUE(GetSecurityDescriptorSacl(form, &present, &acl, &defaulted));
    EXPECT_FALSE(present);
    EXPECT_EQ(acl, nullptr);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(form, &control, &revision));
    EXPECT_EQ(revision, 1u);
    EXPECT_EQ(control & SE_DACL_PROTECTED, SE_DACL_PROTECTED);
  }

  // A part that is malformed makes the descriptor invalid.
  owner[1] = 16;
  EXPECT_FALSE(IsValidSecurityDescriptor(&descriptor));
}

}  // namespace
}  // namespace tarvik
