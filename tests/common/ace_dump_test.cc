// The texts of ACEs and ACLs in the security traces.
#include "common/ace_dump.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/sd/ace_text.h"
#include "settings/copy_settings.h"
#include "support/world_os.h"
#include "test_aces.h"
#include "two_domain_world.h"

namespace tarvik {
namespace {

Ace Raw(std::vector<uint8_t> bytes) {
  bytes[2] = static_cast<uint8_t>(bytes.size());
  Ace ace;
  ace.CopyFrom(bytes);
  return ace;
}

class AceDumpTest : public ::testing::Test {
 protected:
  AceDumpTest() : world_(TwoDomainWorld()) {}
  WorldOs world_;
};

TEST_F(AceDumpTest, AccessAndAuditEntries) {
  EXPECT_EQ(AceText(BuiltinAce(ACCESS_ALLOWED_ACE_TYPE, 0x03, 0x1F01FF, 544), L""),
            L"BUILTIN\\Administrators: Allowed FULL:EWXPOD (0x001F01FF) Flags:OI,CI (0x03)");
  EXPECT_EQ(AceText(BuiltinAce(ACCESS_DENIED_ACE_TYPE, 0, 0x00100000, 545), L""),
            L"BUILTIN\\Users       : Denied SPEC:(0x00100000)");
  EXPECT_EQ(AceText(BuiltinAce(SYSTEM_AUDIT_ACE_TYPE, FAILED_ACCESS_ACE_FLAG, 0x1, 545), L""),
            L"Audit               : Failed  SPEC:(0x00000001)");
  Settings().debugSid = 1;
  EXPECT_EQ(AceText(BuiltinAce(ACCESS_ALLOWED_ACE_TYPE, 0, 0x1, 545), L""),
            L"BUILTIN\\Users       : Allowed SPEC:(0x00000001); SID : S-1-5-20-221 ");
  Settings().debugSid = 0;

  Acl acl;
  EXPECT_EQ(AclText(acl, L""), L"No Access control list.\n");
  AceList list = {BuiltinAce(ACCESS_ALLOWED_ACE_TYPE, 0, 0x1200A9, 545)};
  acl.Set(&list);
  EXPECT_EQ(AclText(acl, L""), L"   BUILTIN\\Users       : Allowed READ:EX     (0x001200A9)\n");
  list.clear();
  acl.Set(&list);
  EXPECT_EQ(AclText(acl, L""), L"");
}

TEST_F(AceDumpTest, VendorAndOtherEntries) {
  EXPECT_EQ(AceText(Raw({0xA6, 0, 0, 0, 'a', 'b', 'c', 0}), L""), L"Kestro Unix link    : \"abc\"");
  EXPECT_EQ(AceText(Raw({0xA6, 0, 0, 0}), L""), L"Kestro Unix link    : (NULL)");
  EXPECT_EQ(AceText(Raw({0xA7, 0, 0, 0, 'x', 0, 'y', 0}), L""), L"Kestro Unix name    : \"xy\"");
  EXPECT_EQ(AceText(Raw({0xA5, 0, 0, 0, 0x10, 0, 0, 0, 0x20, 0, 0, 0, 0xED, 0x01, 0, 0}), L""),
            L"Kestro Unix attr    : uid=0x10 gid=0x20 mode=0755");
  EXPECT_EQ(AceText(Raw({0xA8, 0, 0, 0}), L""), L"Kestro Stubra       ");
  EXPECT_EQ(AceText(Raw({17, 0x10, 0, 0, 1, 0, 0, 0}), L""),
            L"Mandatory label     : (0x11) Flags : 0x10 size : 0x8");
  EXPECT_EQ(AceText(Ace(), L""), L"Invalid ACE");
}

}  // namespace
}  // namespace tarvik
