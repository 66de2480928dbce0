// The translation of whole descriptors: owner and group, or their defaults;
// DACL and SACL; the parts and the control of the descriptor built.
#include <gtest/gtest.h>

#include <cstring>

#include "common/sd/descriptor_bytes.h"
#include "translate/acl_builder.h"
#include "translate/sd_translator.h"
#include "translate/translator_fixture.h"

namespace tarvik {
namespace {

constexpr SECURITY_DESCRIPTOR_CONTROL kProtectedAutoInherited = 0x1000 | 0x0400;

class TranslateDescriptorTest : public TranslatorTest {
 protected:
  TranslateDescriptorTest() {
    translator_.defaultOwner = SidOf(Rid(kNewCorp, 2202));
    translator_.defaultGroup = SidOf(Rid(kNewCorp, 2210));
  }

  // Puts a self-relative descriptor of these parts into the workspace's
  // source, as reading it from an object would.
  void LoadSource(const DescriptorParts& parts, SECURITY_INFORMATION information) {
    std::vector<uint8_t> bytes = BuildSelfRelative(parts);
    workspace_.source.Reserve(static_cast<uint32_t>(bytes.size()));
    std::memcpy(workspace_.source.buffer(), bytes.data(), bytes.size());
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(workspace_.source.descriptor(), &control, &revision));
    workspace_.source.TakeRead(information, control, revision);
  }

  DescriptorParts Typical(const std::wstring& owner) {
    DescriptorParts parts;
    parts.control = kProtectedAutoInherited | SE_DACL_PRESENT | SE_SACL_PRESENT;
    parts.owner = SidBytesOf(owner);
    parts.group = SidBytesOf(Rid(kCorp, 513));
    parts.dacl =
        RawAcl({RawAce(0, 0, 0x1F01FF, Rid(kFs1, 500)), RawAce(0, 0, 0x1200A9, L"S-1-5-5-0-1")});
    parts.sacl = RawAcl({RawAce(2, 0xC0, 0x10000, L"S-1-1-0")});
    return parts;
  }

  DescriptorParts Built() {
    std::optional<DescriptorParts> parts = ReadDescriptorInMemory(workspace_.built.descriptor());
    EXPECT_TRUE(parts);
    return parts ? *parts : DescriptorParts();
  }

  SdTranslator translator_ = BetweenMembers();
};

TEST_F(TranslateDescriptorTest, OwnerAndGroupAreTranslatedOrDefaulted) {
  translator_.copyOwner = true;
  // An unmatched local account never owns a target on another server, even
  // without /i; the group is a well-known RID of CORP and stays.
  LoadSource(Typical(Rid(kFs1, 1001)), 0xF);
  Settings().debugSecurity = 1;
  world_.TakeOutput();
  ASSERT_TRUE(translator_.TranslateSecurityDescriptor(&workspace_));
  DescriptorParts built = Built();
  EXPECT_EQ(built.owner, SidBytesOf(Rid(kNewCorp, 2202)));
  EXPECT_EQ(built.group, SidBytesOf(Rid(kCorp, 513)));
  EXPECT_EQ(workspace_.built.parts() & 0x3, 0x3u);
  std::wstring output = world_.TakeOutput();
  EXPECT_TRUE(Holds(output, L"Original Owner SID " + Rid(kFs1, 1001) +
                                L" removed, owner set to the user connected to the target"))
      << output;
  EXPECT_TRUE(Holds(output, L"Owner SID set to     : " + Rid(kNewCorp, 2202))) << output;
  EXPECT_TRUE(Holds(output, L"Owner set to         : NEWCORP\\migrator")) << output;
  EXPECT_TRUE(Holds(output, L"Group set to         : CORP\\Domain Users")) << output;

  // A well-known owner is carried; a missing group takes the default.
  DescriptorParts parts = Typical(L"S-1-5-32-544");
  parts.group.clear();
  LoadSource(parts, 0xF);
  ASSERT_TRUE(translator_.TranslateSecurityDescriptor(&workspace_));
  built = Built();
  EXPECT_EQ(built.owner, SidBytesOf(L"S-1-5-32-544"));
  EXPECT_EQ(built.group, SidBytesOf(Rid(kNewCorp, 2210)));
  output = world_.TakeOutput();
  EXPECT_TRUE(Holds(output,
                    L"Original group SID <invalid sid> removed, group set to the primary "
                    L"group of the user connected to the target"))
      << output;

  // A revoked owner is replaced as well.
  FakeSidMap map;
  map.Revoke(L"S-1-5-32-544");
  translator_.sidMap = &map;
  LoadSource(Typical(L"S-1-5-32-544"), 0xF);
  ASSERT_TRUE(translator_.TranslateSecurityDescriptor(&workspace_));
  EXPECT_EQ(Built().owner, SidBytesOf(Rid(kNewCorp, 2202)));
  world_.TakeOutput();
}

TEST_F(TranslateDescriptorTest, OnTheSameServerOnlySlashIDropsLocalOwners) {
  translator_.copyOwner = true;
  translator_.sameServer = true;
  translator_.targetServer.name = L"\\\\FS1";
  translator_.targetMachineSid = DomainSidOf(kFs1);
  LoadSource(Typical(Rid(kFs1, 1001)), 0xF);
  ASSERT_TRUE(translator_.TranslateSecurityDescriptor(&workspace_));
  EXPECT_EQ(Built().owner, SidBytesOf(Rid(kFs1, 1001)));
  translator_.ignoreLocalAccounts = true;
  ASSERT_TRUE(translator_.TranslateSecurityDescriptor(&workspace_));
  EXPECT_EQ(Built().owner, SidBytesOf(Rid(kNewCorp, 2202)));
  world_.TakeOutput();
}

TEST_F(TranslateDescriptorTest, PartsAndControlFollowTheSwitches) {
  // Without /o, /a or /dac: the DACL alone, with the source's control.
  LoadSource(Typical(Rid(kCorp, 1104)), 0xF);
  ASSERT_TRUE(translator_.TranslateSecurityDescriptor(&workspace_));
  EXPECT_EQ(workspace_.built.parts(), static_cast<SECURITY_INFORMATION>(DACL_SECURITY_INFORMATION));
  EXPECT_EQ(workspace_.built.control(), workspace_.source.control());
  EXPECT_EQ(workspace_.built.control() & kProtectedAutoInherited, kProtectedAutoInherited);
  DescriptorParts built = Built();
  EXPECT_TRUE(built.owner.empty());
  // The logon session entry is gone; the local Administrator is FS2's.
  EXPECT_EQ(built.dacl, RawAcl({RawAce(0, 0, 0x1F01FF, Rid(kFs2, 500))}));

  // /a adds the SACL; /dac also the attribute and scope parts.
  translator_.copyAudit = true;
  ASSERT_TRUE(translator_.TranslateSecurityDescriptor(&workspace_));
  EXPECT_EQ(workspace_.built.parts(), static_cast<SECURITY_INFORMATION>(DACL_SECURITY_INFORMATION |
                                                                        SACL_SECURITY_INFORMATION));
  EXPECT_EQ(Built().sacl, RawAcl({RawAce(2, 0xC0, 0x10000, L"S-1-1-0")}));
  translator_.copyAudit = false;
  translator_.copyDac = true;
  LoadSource(Typical(Rid(kCorp, 1104)), 0x6F);
  ASSERT_TRUE(translator_.TranslateSecurityDescriptor(&workspace_));
  EXPECT_EQ(workspace_.built.parts(), 0x6Cu);

  // A source without a DACL part gives a descriptor without one, and the
  // built descriptor starts empty each time.
  translator_.copyDac = false;
  LoadSource(Typical(Rid(kCorp, 1104)), 0x3);
  ASSERT_TRUE(translator_.TranslateSecurityDescriptor(&workspace_));
  EXPECT_EQ(workspace_.built.parts(), 0u);
  EXPECT_EQ(workspace_.built.control(), 0);
  world_.TakeOutput();
}

TEST_F(TranslateDescriptorTest, CapabilitySidsAreCarried) {
  // Ten sub-authorities, as profile and home shares grant to app packages.
  const std::wstring capability =
      L"S-1-15-3-1024-1065365936-1281604716-3511738428-1654721687-432734479-3232135806-"
      L"4053264122-3456934681";
  translator_.copyAudit = true;
  DescriptorParts parts = Typical(Rid(kCorp, 1104));
  parts.dacl =
      RawAcl({RawAce(0, 0, 0x1F01FF, Rid(kCorp, 1104)), RawAce(0, 0, 0x1200A9, capability)});
  parts.sacl = RawAcl({RawAce(2, 0xC0, 0x10000, capability)});
  LoadSource(parts, 0xF);
  ASSERT_TRUE(translator_.TranslateSecurityDescriptor(&workspace_));
  DescriptorParts built = Built();
  EXPECT_EQ(built.dacl, parts.dacl);
  EXPECT_EQ(built.sacl, parts.sacl);
  world_.TakeOutput();
}

TEST_F(TranslateDescriptorTest, AnEntryThatCannotBeReadFailsTheTranslation) {
  DescriptorParts parts = Typical(Rid(kCorp, 1104));
  std::vector<uint8_t> broken = RawAce(0, 0, 0x1F01FF, L"S-1-1-0");
  broken[8] = 7;  // the SID's revision
  parts.dacl = RawAcl({RawAce(0, 0, 0x1F01FF, L"S-1-1-0"), broken});
  LoadSource(parts, 0xF);
  EXPECT_FALSE(translator_.TranslateSecurityDescriptor(&workspace_));
  EXPECT_EQ(world_.TakeOutput(), L"");
}

}  // namespace
}  // namespace tarvik
