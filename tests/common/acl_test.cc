// ACEs and ACLs as values: parsing and building entries, the canonical order
// of a rebuilt ACL, and the two comparisons.
#include "common/acl.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/sd/ace_text.h"
#include "common/sd/sd_exception.h"
#include "log/log_testing.h"
#include "settings/copy_settings.h"
#include "support/test_world.h"
#include "test_aces.h"

namespace tarvik {
namespace {

std::vector<uint32_t> Rids(const Acl& acl) {
  std::vector<uint32_t> rids;
  Ace ace;
  for (uint32_t i = 0; i < acl.count(); ++i) {
    acl.GetAce(i, &ace);
    rids.push_back(SidRid(ace.Sid()));
  }
  return rids;
}

Acl& Built(Acl& acl, std::vector<Ace> entries) {
  AceList list(entries.begin(), entries.end());
  acl.Set(&list);
  return acl;
}

TEST(AceTest, ParseBuildAndCompare) {
  Ace allowed = BuiltinAce(ACCESS_ALLOWED_ACE_TYPE, OBJECT_INHERIT_ACE, 0x1F01FF, 544);
  Ace::Parts parts;
  ASSERT_TRUE(allowed.Parse(&parts));
  EXPECT_EQ(parts.type, ACCESS_ALLOWED_ACE_TYPE);
  EXPECT_EQ(parts.flags, OBJECT_INHERIT_ACE);
  EXPECT_EQ(parts.mask, 0x1F01FFu);
  EXPECT_EQ(SidRid(parts.sid), 544u);
  EXPECT_EQ(allowed.size(), 24);

  // An object ACE keeps the object part of the ACE it rewrites.
  std::vector<uint8_t> object(8 + 4 + 16, 0);
  object[0] = ACCESS_ALLOWED_OBJECT_ACE_TYPE;
  object[8] = ACE_OBJECT_TYPE_PRESENT;
  object[12] = 0xAB;  // first GUID byte
  Ace rewritten;
  rewritten.Build(BuiltinSid(545), 0x100, 0, ACCESS_ALLOWED_OBJECT_ACE_TYPE, object);
  EXPECT_EQ(rewritten.size(), 8 + 4 + 16 + 16);
  EXPECT_EQ(rewritten.bytes()[12], 0xAB);
  EXPECT_EQ(SidRid(rewritten.Sid()), 545u);
  EXPECT_TRUE(rewritten.Parse(&parts));
  // An ACL holding it takes the directory-service revision.
  AceList with_object = {allowed, rewritten};
  tarvik::Acl rebuilt;
  rebuilt.Set(&with_object);
  EXPECT_EQ(rebuilt.revision(), kAclRevisionDs);
  EXPECT_EQ(rebuilt.acl()[0], kAclRevisionDs);
  AceList plain = {allowed};
  rebuilt.Set(&plain);
  EXPECT_EQ(rebuilt.acl()[0], kAclRevision);

  // A type without a SID parses its header only; above 16 builds nothing.
  Ace label;
  label.Build(BuiltinSid(1), 1, 0, SYSTEM_MANDATORY_LABEL_ACE_TYPE);
  EXPECT_TRUE(label.empty());
  std::vector<uint8_t> raw = {SYSTEM_MANDATORY_LABEL_ACE_TYPE, 0, 8, 0, 1, 0, 0, 0};
  label.CopyFrom(raw);
  EXPECT_FALSE(label.Parse(&parts));
  EXPECT_EQ(parts.type, SYSTEM_MANDATORY_LABEL_ACE_TYPE);

  // A SID running past AceSize, and a short source, are refused.
  std::vector<uint8_t> bad(allowed.bytes().begin(), allowed.bytes().end());
  bad[2] = 20;
  Ace broken;
  broken.CopyFrom(std::span(bad).first(20));
  EXPECT_THROW(broken.Parse(&parts), SDException);
  EXPECT_THROW(broken.CopyFrom({}), SDException);
  EXPECT_THROW(broken.CopyFrom(std::span(bad).first(3)), SDException);

  EXPECT_TRUE(allowed.SameTypeAndSid(BuiltinAce(ACCESS_ALLOWED_ACE_TYPE, 0, 1, 544)));
  EXPECT_FALSE(allowed.SameTypeAndSid(BuiltinAce(ACCESS_DENIED_ACE_TYPE, 0, 1, 544)));
  EXPECT_FALSE(allowed.Equals(BuiltinAce(ACCESS_ALLOWED_ACE_TYPE, 0, 0x1F01FF, 544)));
}

TEST(AceTest, VendorAttributeAcesIgnoreTheLinkCount) {
  std::vector<uint8_t> raw(32, 0);
  raw[0] = kVendorUnixAttr64AaAce;
  raw[2] = 32;
  raw[4] = 7;     // uid
  raw[12] = 0x1;  // mode
  raw[26] = 1;    // link count
  Ace a, b;
  a.CopyFrom(raw);
  raw[26] = 2;
  b.CopyFrom(raw);
  EXPECT_TRUE(a.Equals(b));
  raw[12] = 0x2;
  b.CopyFrom(raw);
  EXPECT_FALSE(a.Equals(b));
}

TEST(AclTest, RebuiltAclsAreInCanonicalOrder) {
  Acl acl;
  // allowed(inherited), deny(explicit), allowed(explicit), deny(inherited)
  Built(acl,
        {BuiltinAce(ACCESS_ALLOWED_ACE_TYPE, INHERITED_ACE, 1, 1),
         BuiltinAce(ACCESS_DENIED_ACE_TYPE, 0, 1, 2), BuiltinAce(ACCESS_ALLOWED_ACE_TYPE, 0, 1, 3),
         BuiltinAce(ACCESS_DENIED_ACE_TYPE, INHERITED_ACE, 1, 4)});
  EXPECT_EQ(Rids(acl), (std::vector<uint32_t>{2, 3, 4, 1}));
  EXPECT_EQ(acl.present(), 1);
  EXPECT_TRUE(IsValidAcl(acl.acl()));

  // A callback entry (type 9) keeps its place between two allowed entries.
  Built(acl, {BuiltinAce(ACCESS_ALLOWED_ACE_TYPE, 0, 1, 1), BuiltinAce(9, 0, 1, 2),
              BuiltinAce(ACCESS_ALLOWED_ACE_TYPE, 0, 1, 3)});
  EXPECT_EQ(Rids(acl), (std::vector<uint32_t>{1, 2, 3}));

  // Explicit entries after inherited ones, denies first in each group.
  Built(acl, {BuiltinAce(ACCESS_ALLOWED_ACE_TYPE, INHERITED_ACE, 1, 1),
              BuiltinAce(ACCESS_ALLOWED_ACE_TYPE, INHERITED_ACE, 1, 2),
              BuiltinAce(ACCESS_DENIED_ACE_TYPE, INHERITED_ACE, 1, 3),
              BuiltinAce(ACCESS_ALLOWED_ACE_TYPE, 0, 1, 4),
              BuiltinAce(ACCESS_DENIED_ACE_TYPE, 0, 1, 5)});
  EXPECT_EQ(Rids(acl), (std::vector<uint32_t>{5, 4, 3, 1, 2}));

  // An empty list makes a present, empty ACL of 8 bytes.
  Built(acl, {});
  EXPECT_EQ(acl.count(), 0u);
  EXPECT_EQ(acl.size(), 8u);
  EXPECT_EQ(acl.present(), 1);

  Ace missing;
  EXPECT_THROW(acl.GetAce(0, &missing), SDException);
}

TEST(AclTest, ClearContainsAndPresence) {
  std::vector<uint8_t> descriptor_part(8 + 2 * 24);
  ASSERT_TRUE(InitializeAcl(descriptor_part, descriptor_part.size(), kAclRevision));
  ASSERT_TRUE(AddAce(descriptor_part, kAclRevision, kAppendAce,
                     BuiltinAce(ACCESS_ALLOWED_ACE_TYPE, 0, 1, 544).bytes()));
  ASSERT_TRUE(AddAce(descriptor_part, kAclRevision, kAppendAce,
                     BuiltinAce(ACCESS_DENIED_ACE_TYPE, 0, 1, 545).bytes()));
  Acl acl;
  acl.Attach(descriptor_part, 1, 0);
  EXPECT_EQ(acl.count(), 2u);
  EXPECT_TRUE(acl.ContainsTypeAndSid(BuiltinAce(ACCESS_DENIED_ACE_TYPE, 0, 9, 545)));
  EXPECT_FALSE(acl.ContainsTypeAndSid(BuiltinAce(ACCESS_ALLOWED_ACE_TYPE, 0, 1, 545)));
  acl.Clear();
  EXPECT_EQ(AclAceCount(descriptor_part), 0);  // emptied where it lies
  EXPECT_FALSE(acl.has_acl());
  EXPECT_EQ(acl.revision(), kAclRevision);

  Acl absent;
  absent.Attach({}, 0, 0);
  acl.CopyPresence(absent);
  EXPECT_EQ(acl.present(), 0);
  EXPECT_FALSE(acl.has_acl());
}

TEST(AclTest, ExactAndEffectiveComparisons) {
  const Ace a = BuiltinAce(ACCESS_ALLOWED_ACE_TYPE, 0, 1, 1);
  const Ace b = BuiltinAce(ACCESS_ALLOWED_ACE_TYPE, 0, 1, 2);
  Acl x, y;
  EXPECT_FALSE(Built(x, {a, a}).EqualAsSet(Built(y, {a, b})));
  EXPECT_TRUE(Built(x, {a, b}).EqualAsSet(Built(y, {b, a})));

  // Generic rights count as what they stand for; masks of one SID add up.
  Built(x, {BuiltinAce(ACCESS_ALLOWED_ACE_TYPE, 0, 0x80000000, 7)});
  Built(y, {BuiltinAce(ACCESS_ALLOWED_ACE_TYPE, 0, 0x120089, 7)});
  EXPECT_TRUE(x.Equivalent(y));
  EXPECT_FALSE(x.EqualAsSet(y));
  Built(x, {BuiltinAce(ACCESS_ALLOWED_ACE_TYPE, 0, 0x1, 7),
            BuiltinAce(ACCESS_ALLOWED_ACE_TYPE, 0, 0x2, 7)});
  Built(y, {BuiltinAce(ACCESS_ALLOWED_ACE_TYPE, 0, 0x3, 7)});
  EXPECT_TRUE(x.Equivalent(y));
  Built(y, {BuiltinAce(ACCESS_ALLOWED_ACE_TYPE, 0, 0x1, 7)});
  EXPECT_FALSE(x.Equivalent(y));

  // Entries only the other ACL has are not looked at.
  Built(x, {BuiltinAce(ACCESS_ALLOWED_ACE_TYPE, 0, 1, 1)});
  Built(y, {BuiltinAce(ACCESS_ALLOWED_ACE_TYPE, 0, 1, 1),
            BuiltinAce(ACCESS_DENIED_ACE_TYPE, 0, 1, 501)});
  EXPECT_TRUE(x.Equivalent(y));
  EXPECT_FALSE(y.Equivalent(x));

  // Audit classes are kept apart.
  Built(x, {BuiltinAce(SYSTEM_AUDIT_ACE_TYPE, SUCCESSFUL_ACCESS_ACE_FLAG, 1, 1)});
  Built(y, {BuiltinAce(SYSTEM_AUDIT_ACE_TYPE, FAILED_ACCESS_ACE_FLAG, 1, 1)});
  EXPECT_FALSE(x.Equivalent(y));
}

TEST(AclTest, AnEntryBeyond64KiBFailsAndIsTracedUnderTheSecurityTrace) {
  // 2,731 entries of 24 bytes: 65,552 bytes with the header, 20 too many.
  AceList list;
  Ace ace = BuiltinAce(ACCESS_ALLOWED_ACE_TYPE, 0, 0x1F01FF, 544);
  for (int i = 0; i < 2731; ++i)
    list.push_back(ace);
  tarvik::Acl acl;
  TestWorld world;  // the log's clock
  ResetLogSystemForTesting();
  Settings() = CopySettings();
  Settings().debugSecurity = 1;
  testing::internal::CaptureStdout();
  EXPECT_THROW(acl.Set(&list), SDException);
  std::string out = testing::internal::GetCapturedStdout();
  Settings() = CopySettings();
  EXPECT_NE(out.find("ACE insertion failure"), std::string::npos) << out.substr(0, 400);
  EXPECT_NE(out.find("Acl::Set : ACLbuf size : 65552 : ACEs total size :  65544"),
            std::string::npos);
  EXPECT_NE(out.find("failed inserted ACE Obj : ACE size = 24 , ACLbuf used size : 65552"),
            std::string::npos);
  EXPECT_NE(out.find("ACE Obj : ACE size = 24 , ACLbuf used size : 65528"), std::string::npos);

  // One entry fewer fits.
  list.pop_back();
  EXPECT_NO_THROW(acl.Set(&list));
  EXPECT_EQ(acl.size(), 65528u);
}

}  // namespace
}  // namespace tarvik
