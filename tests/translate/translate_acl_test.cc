// The translation of ACLs: each entry translated, copied or dropped by its
// type, and the result in canonical order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/sd/ace_text.h"
#include "translate/acl_builder.h"
#include "translate/sd_translator.h"
#include "translate/translator_fixture.h"

namespace tarvik {
namespace {

constexpr uint8_t kInherited = 0x10;
const std::vector<uint8_t> kGuid = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
const std::vector<uint8_t> kCondition = {'a', 'r', 't', 'x', 0x50, 0, 0, 0};

// An object entry's object part: flags (object type present) and its GUID.
std::vector<uint8_t> ObjectPart() {
  std::vector<uint8_t> part;
  PutU32(&part, 1);
  part.insert(part.end(), kGuid.begin(), kGuid.end());
  return part;
}

// The source ACL every test starts from, deliberately out of order.
std::vector<uint8_t> MixedAcl() {
  return RawAcl({
      RawAce(0, kInherited, 0x1200A9, L"S-1-1-0"),  // Everyone, inherited
      RawAce(1, 0, 0x10000, Rid(kCorp, 1104)),      // deny alice
      RawAce(0, 0, 0x1F01FF, Rid(kFs1, 1001)),      // unmatched local user
      RawAce(0, 0, 0x1F01FF, L"S-1-5-5-0-999"),     // logon session
      RawAce(0, 0, 0x1F01FF, L"S-1-5-32-550"),      // Print Operators
      OpaqueAce(kVendorStubAce, {}),                // stub file
      OpaqueAce(kVendorUnixAttrAce, {1, 0, 0, 0, 2, 0, 0, 0, 0xED, 1, 0, 0}),
      OpaqueAce(17, {1, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 16, 0, 0x30, 0, 0}),  // label
      RawAce(18, 0, 0, L"S-1-1-0", {}, {9, 9, 9, 9}),                       // resource attribute
      RawAce(5, 0, 0x100, Rid(kFs1, 500), ObjectPart()),                    // object entry
      RawAce(9, 0, 0x1200A9, Rid(kFs1, 500), {}, kCondition),               // conditional entry
      RawAce(1, kInherited, 0x10000, L"S-1-3-0"),  // deny CREATOR OWNER, inherited
  });
}

// "type:SID" per entry ("type" alone for entries without a SID).
std::vector<std::wstring> Entries(const Acl& acl) {
  std::vector<std::wstring> entries;
  Ace ace;
  for (uint32_t i = 0; i < acl.count(); ++i) {
    acl.GetAce(i, &ace);
    Ace::Parts parts;
    std::wstring entry = std::to_wstring(ace.type());
    if (ace.Parse(&parts))
      entry += L":" + SId(parts.sid).ToString();
    entries.push_back(entry);
  }
  return entries;
}

class TranslateAclTest : public TranslatorTest {
 protected:
  void Translate(const SdTranslator& t) {
    source_bytes_ = MixedAcl();
    source_.Attach(source_bytes_, 1, 0);
    t.TranslateAcl(&workspace_, source_, &result_);
  }

  std::vector<uint8_t> source_bytes_;
  Acl source_;
  Acl result_;
};

TEST_F(TranslateAclTest, EntriesAreTranslatedOrDroppedThenOrdered) {
  SdTranslator t = BetweenMembers();
  t.ignoreLocalAccounts = true;
  t.ignoreStubra = true;
  Translate(t);
  const std::vector<std::wstring> expected = {
      L"1:" + Rid(kCorp, 1104),  // explicit denies
      L"5:" + Rid(kFs2, 500),    // other explicit entries
      L"1:S-1-3-0",              // inherited denies
      L"0:S-1-1-0",              // other inherited entries
      L"165",
      L"17",
      L"18:S-1-1-0",
      L"9:" + Rid(kFs2, 500),  // entries above type 8 keep their places
  };
  EXPECT_EQ(Entries(result_), expected);
  EXPECT_EQ(result_.present(), 1);
  // The warning names the target of the stub file.
  EXPECT_TRUE(Holds(world_.TakeOutput(),
                    L"\\\\FS2\\plain\\file.txt -> STUBRA Stub file, file content not guaranty"));

  // The object entry keeps its object part; the conditional entry its
  // condition; both with the target's SID.
  Ace ace;
  result_.GetAce(1, &ace);
  std::vector<uint8_t> expected_object = RawAce(5, 0, 0x100, Rid(kFs2, 500), ObjectPart());
  EXPECT_EQ(std::vector<uint8_t>(ace.bytes().begin(), ace.bytes().end()), expected_object);
  result_.GetAce(7, &ace);
  std::vector<uint8_t> expected_callback = RawAce(9, 0, 0x1200A9, Rid(kFs2, 500), {}, kCondition);
  EXPECT_EQ(std::vector<uint8_t>(ace.bytes().begin(), ace.bytes().end()), expected_callback);
  // Entries that are copied stay byte for byte.
  result_.GetAce(4, &ace);
  EXPECT_EQ(ace.size(), 16);
  EXPECT_EQ(ace.bytes()[12], 0xED);
}

TEST_F(TranslateAclTest, WithoutSwitchesLocalAccountsAndStubsStay) {
  Translate(BetweenMembers());
  std::vector<std::wstring> entries = Entries(result_);
  EXPECT_EQ(entries.size(), 10u);
  EXPECT_NE(std::find(entries.begin(), entries.end(), L"0:" + Rid(kFs1, 1001)), entries.end());
  EXPECT_NE(std::find(entries.begin(), entries.end(), L"168"), entries.end());
  EXPECT_EQ(std::find(entries.begin(), entries.end(), L"0:S-1-5-32-550"), entries.end());
  EXPECT_FALSE(Holds(world_.TakeOutput(), L"STUBRA"));
}

TEST_F(TranslateAclTest, TracesTellWhatBecameOfEachEntry) {
  Settings().debugSecurity = 1;
  SdTranslator t = BetweenMembers();
  t.ignoreLocalAccounts = true;
  t.ignoreStubra = true;
  world_.TakeOutput();
  Translate(t);
  std::wstring output = world_.TakeOutput();
  for (const wchar_t* label :
       {L"ACE Kestro : Discarded : ", L"ACE Kestro           : ", L"ACE Opaque           : ",
        L"ACE Copied           : ", L"ACE Removed          : ", L"ACE Translated       : ",
        L"to                   : "}) {
    EXPECT_TRUE(Holds(output, label)) << label << "\n" << output;
  }
}

TEST_F(TranslateAclTest, AbsentAndNullAclsStaySo) {
  const SdTranslator t = BetweenMembers();
  Acl absent;
  absent.Attach({}, 0, 0);
  t.TranslateAcl(&workspace_, absent, &result_);
  EXPECT_EQ(result_.present(), 0);
  EXPECT_FALSE(result_.has_acl());

  // A null DACL (present, no ACL) stays null, even in a result that held
  // an ACL before.
  Translate(t);
  ASSERT_TRUE(result_.has_acl());
  Acl null_acl;
  null_acl.Attach({}, 1, 1);
  t.TranslateAcl(&workspace_, null_acl, &result_);
  EXPECT_EQ(result_.present(), 1);
  EXPECT_EQ(result_.defaulted(), 1);
  EXPECT_FALSE(result_.has_acl());

  // An empty ACL stays an empty ACL.
  std::vector<uint8_t> empty = RawAcl({});
  Acl empty_acl;
  empty_acl.Attach(empty, 1, 0);
  t.TranslateAcl(&workspace_, empty_acl, &result_);
  EXPECT_TRUE(result_.has_acl());
  EXPECT_EQ(result_.count(), 0u);
  world_.TakeOutput();
}

}  // namespace
}  // namespace tarvik
