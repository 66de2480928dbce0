// The descriptor a new file or directory inherits from its parent: the
// computation on its own, then through CreateFileW and CreateDirectoryW.
#include "platform/posix/inherited_security.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "common/sd/acl_bytes.h"
#include "platform/posix/nt_acl.h"
#include "platform/posix/posix_os.h"
#include "support/security_bytes.h"
#include "support/test_world.h"

namespace tarvik {
namespace {

constexpr uint8_t OI = OBJECT_INHERIT_ACE;
constexpr uint8_t CI = CONTAINER_INHERIT_ACE;
constexpr uint8_t NP = NO_PROPAGATE_INHERIT_ACE;
constexpr uint8_t IO = INHERIT_ONLY_ACE;
constexpr uint8_t ID = INHERITED_ACE;
constexpr uint32_t kFullControl = 0x1F01FF;
constexpr uint32_t kRead = FILE_GENERIC_READ;
constexpr uint8_t kAudit = SYSTEM_AUDIT_ACE_TYPE;
constexpr uint8_t kAllow = ACCESS_ALLOWED_ACE_TYPE;
constexpr uint8_t kDeny = ACCESS_DENIED_ACE_TYPE;

const std::wstring kOwner = L"S-1-5-21-7-8-9-1001";
const std::wstring kGroup = L"S-1-22-2-100";

// One ACE as the tests compare it.
struct AceView {
  uint8_t type;
  uint8_t flags;
  uint32_t mask;
  std::wstring sid;
  bool operator==(const AceView&) const = default;
};

void PrintTo(const AceView& ace, std::ostream* out) {
  *out << "{type " << int{ace.type} << ", flags 0x" << std::hex << int{ace.flags} << ", mask 0x"
       << ace.mask << std::dec << ", " << std::string(ace.sid.begin(), ace.sid.end()) << "}";
}

std::vector<uint8_t> MakeAce(uint8_t type, uint8_t flags, uint32_t mask, std::wstring_view sid) {
  std::vector<uint8_t> sid_bytes = Sid(sid);
  std::vector<uint8_t> ace = {type, flags, static_cast<uint8_t>(8 + sid_bytes.size()), 0};
  for (int i = 0; i < 4; ++i)
    ace.push_back(static_cast<uint8_t>(mask >> (8 * i)));
  ace.insert(ace.end(), sid_bytes.begin(), sid_bytes.end());
  return ace;
}

std::vector<uint8_t> MakeAcl(const std::vector<std::vector<uint8_t>>& aces, uint8_t revision = 2) {
  std::vector<uint8_t> acl = {revision, 0, 0, 0, 0, 0, 0, 0};
  for (const std::vector<uint8_t>& ace : aces)
    acl.insert(acl.end(), ace.begin(), ace.end());
  acl[2] = static_cast<uint8_t>(acl.size());
  acl[3] = static_cast<uint8_t>(acl.size() >> 8);
  acl[4] = static_cast<uint8_t>(aces.size());
  acl[5] = static_cast<uint8_t>(aces.size() >> 8);
  return acl;
}

std::vector<AceView> AcesOf(const std::vector<uint8_t>& acl) {
  EXPECT_TRUE(IsValidAcl(acl));
  std::vector<AceView> aces;
  for (uint32_t i = 0; i < AclAceCount(acl); ++i) {
    AceBytes ace = *GetAce(acl, i);
    aces.push_back({AceType(ace), AceFlags(ace), AceUint32(ace, 4),
                    SidToString(ace.subspan(*AceSidOffset(ace)))});
  }
  return aces;
}

DescriptorParts ParentWithDacl(std::vector<uint8_t> dacl) {
  DescriptorParts parent;
  parent.control = SE_DACL_PRESENT;
  parent.owner = Sid(L"S-1-5-32-544");
  parent.group = Sid(L"S-1-5-18");
  parent.dacl = std::move(dacl);
  return parent;
}

std::optional<DescriptorParts> Inherit(const DescriptorParts& parent, bool is_directory,
                                       DWORD expected_error = ERROR_SUCCESS) {
  DWORD error = 0xDEAD;
  std::optional<DescriptorParts> child =
      InheritedDescriptor(parent, is_directory, Sid(kOwner), Sid(kGroup), &error);
  EXPECT_EQ(error, expected_error);
  return child;
}

TEST(InheritedDescriptorTest, InheritanceFlagsForFilesAndDirectories) {
  DescriptorParts parent = ParentWithDacl(MakeAcl({
      MakeAce(kAllow, OI, kRead, L"S-1-5-21-1-2-3-1"),
      MakeAce(kAllow, CI, kRead, L"S-1-5-21-1-2-3-2"),
      MakeAce(kDeny, OI | CI, 0x2, L"S-1-5-21-1-2-3-3"),
      MakeAce(kAllow, OI | CI | NP, kRead, L"S-1-5-21-1-2-3-4"),
      MakeAce(kAllow, OI | IO, kRead, L"S-1-5-21-1-2-3-5"),
      MakeAce(kAllow, CI | IO, kRead, L"S-1-5-21-1-2-3-6"),
      MakeAce(kAllow, OI | NP, kRead, L"S-1-5-21-1-2-3-7"),
      MakeAce(kAllow, CI | NP | IO, kRead, L"S-1-5-21-1-2-3-8"),
      MakeAce(kAllow, 0, kFullControl, L"S-1-5-21-1-2-3-9"),
      MakeAce(kAllow, OI | CI | ID, kRead, L"S-1-5-21-1-2-3-10"),
  }));

  std::optional<DescriptorParts> file = Inherit(parent, false);
  ASSERT_TRUE(file.has_value());
  EXPECT_EQ(file->owner, Sid(kOwner));
  EXPECT_EQ(file->group, Sid(kGroup));
  EXPECT_EQ(file->control, SE_DACL_PRESENT);
  EXPECT_TRUE(file->sacl.empty());
  // The ACEs with OBJECT_INHERIT, every inheritance flag gone.
  EXPECT_EQ(AcesOf(file->dacl), (std::vector<AceView>{
                                    {kAllow, ID, kRead, L"S-1-5-21-1-2-3-1"},
                                    {kDeny, ID, 0x2, L"S-1-5-21-1-2-3-3"},
                                    {kAllow, ID, kRead, L"S-1-5-21-1-2-3-4"},
                                    {kAllow, ID, kRead, L"S-1-5-21-1-2-3-5"},
                                    {kAllow, ID, kRead, L"S-1-5-21-1-2-3-7"},
                                    {kAllow, ID, kRead, L"S-1-5-21-1-2-3-10"},
                                }));

  std::optional<DescriptorParts> directory = Inherit(parent, true);
  ASSERT_TRUE(directory.has_value());
  EXPECT_EQ(AcesOf(directory->dacl),
            (std::vector<AceView>{
                // Object-inherit only: passes on to the files, not for the directory.
                {kAllow, OI | IO | ID, kRead, L"S-1-5-21-1-2-3-1"},
                {kAllow, CI | ID, kRead, L"S-1-5-21-1-2-3-2"},
                {kDeny, OI | CI | ID, 0x2, L"S-1-5-21-1-2-3-3"},
                // No propagation: for this directory only.
                {kAllow, ID, kRead, L"S-1-5-21-1-2-3-4"},
                {kAllow, OI | IO | ID, kRead, L"S-1-5-21-1-2-3-5"},
                // Inherit-only in the parent applies to the child.
                {kAllow, CI | ID, kRead, L"S-1-5-21-1-2-3-6"},
                {kAllow, ID, kRead, L"S-1-5-21-1-2-3-8"},
                {kAllow, OI | CI | ID, kRead, L"S-1-5-21-1-2-3-10"},
            }));
}

TEST(InheritedDescriptorTest, CreatorSidsAndGenericRightsSplitIntoEffectiveAndInheritOnly) {
  DescriptorParts parent = ParentWithDacl(MakeAcl({
      MakeAce(kAllow, OI | CI | IO, GENERIC_ALL, L"S-1-3-0"),
      MakeAce(kAllow, CI | NP, kRead, L"S-1-3-1"), MakeAce(kAllow, OI, kRead, L"S-1-3-0"),
      MakeAce(kAllow, OI | CI, GENERIC_READ | DELETE, L"S-1-5-18"),
      MakeAce(kAllow, OI | CI, kRead, L"S-1-3-4"),  // OWNER RIGHTS is no creator SID
  }));

  std::optional<DescriptorParts> file = Inherit(parent, false);
  ASSERT_TRUE(file.has_value());
  EXPECT_EQ(AcesOf(file->dacl), (std::vector<AceView>{
                                    {kAllow, ID, kFullControl, kOwner},
                                    {kAllow, ID, kRead, kOwner},
                                    {kAllow, ID, FILE_GENERIC_READ | DELETE, L"S-1-5-18"},
                                    {kAllow, ID, kRead, L"S-1-3-4"},
                                }));

  std::optional<DescriptorParts> directory = Inherit(parent, true);
  ASSERT_TRUE(directory.has_value());
  EXPECT_EQ(AcesOf(directory->dacl),
            (std::vector<AceView>{
                {kAllow, ID, kFullControl, kOwner},
                {kAllow, OI | CI | IO | ID, GENERIC_ALL, L"S-1-3-0"},
                // Stops here: the creator's group alone, nothing passes on.
                {kAllow, ID, kRead, kGroup},
                // Object-inherit only: not for the directory, so no effective ACE.
                {kAllow, OI | IO | ID, kRead, L"S-1-3-0"},
                {kAllow, ID, FILE_GENERIC_READ | DELETE, L"S-1-5-18"},
                {kAllow, OI | CI | IO | ID, GENERIC_READ | DELETE, L"S-1-5-18"},
                {kAllow, OI | CI | ID, kRead, L"S-1-3-4"},
            }));
  // The owner SID is longer than CREATOR OWNER: sizes follow it.
  EXPECT_EQ(AceSize(*GetAce(directory->dacl, 0)), 8 + Sid(kOwner).size());
}

TEST(InheritedDescriptorTest, SaclAndAutoInheritedMarks) {
  DescriptorParts parent = ParentWithDacl(MakeAcl({MakeAce(kAllow, OI | CI, kRead, L"S-1-1-0")}));
  parent.control |= SE_DACL_AUTO_INHERITED | SE_DACL_PROTECTED | SE_SACL_PRESENT |
                    SE_SACL_AUTO_INHERITED | SE_SACL_PROTECTED;
  constexpr uint8_t kBoth = SUCCESSFUL_ACCESS_ACE_FLAG | FAILED_ACCESS_ACE_FLAG;
  parent.sacl = MakeAcl({
      MakeAce(kAudit, kBoth | OI | CI, DELETE, L"S-1-1-0"),
      MakeAce(kAudit, FAILED_ACCESS_ACE_FLAG | CI | IO, GENERIC_WRITE, L"S-1-3-0"),
      MakeAce(kAudit, SUCCESSFUL_ACCESS_ACE_FLAG, kRead, L"S-1-5-18"),
  });

  std::optional<DescriptorParts> file = Inherit(parent, false);
  ASSERT_TRUE(file.has_value());
  // Protection stays with the parent; the auto-inherited marks pass on.
  EXPECT_EQ(file->control,
            SE_DACL_PRESENT | SE_DACL_AUTO_INHERITED | SE_SACL_PRESENT | SE_SACL_AUTO_INHERITED);
  EXPECT_EQ(AcesOf(file->sacl), (std::vector<AceView>{{kAudit, kBoth | ID, DELETE, L"S-1-1-0"}}));

  std::optional<DescriptorParts> directory = Inherit(parent, true);
  ASSERT_TRUE(directory.has_value());
  EXPECT_EQ(AcesOf(directory->sacl),
            (std::vector<AceView>{
                {kAudit, kBoth | OI | CI | ID, DELETE, L"S-1-1-0"},
                {kAudit, FAILED_ACCESS_ACE_FLAG | ID, FILE_GENERIC_WRITE, kOwner},
                {kAudit, FAILED_ACCESS_ACE_FLAG | CI | IO | ID, GENERIC_WRITE, L"S-1-3-0"},
            }));

  // A SACL that passes nothing on leaves the child without one.
  parent.sacl = MakeAcl({MakeAce(kAudit, kBoth, DELETE, L"S-1-1-0")});
  file = Inherit(parent, false);
  ASSERT_TRUE(file.has_value());
  EXPECT_EQ(file->control, SE_DACL_PRESENT | SE_DACL_AUTO_INHERITED);
  EXPECT_TRUE(file->sacl.empty());
}

TEST(InheritedDescriptorTest, ObjectAcesKeepTheirGuidsAndRevision) {
  // Allowed-object ACE: mask, object flags, the object type GUID, then the SID.
  auto object_ace = [](uint8_t flags, std::wstring_view sid_text) {
    std::vector<uint8_t> sid = Sid(sid_text);
    // GENERIC_ALL, the object type present.
    std::vector<uint8_t> ace = {ACCESS_ALLOWED_OBJECT_ACE_TYPE,
                                flags,
                                static_cast<uint8_t>(28 + sid.size()),
                                0,
                                0x00,
                                0x00,
                                0x00,
                                0x10,
                                1,
                                0,
                                0,
                                0};
    for (uint8_t i = 0; i < 16; ++i)
      ace.push_back(static_cast<uint8_t>(0xA0 + i));
    ace.insert(ace.end(), sid.begin(), sid.end());
    return ace;
  };
  DescriptorParts parent = ParentWithDacl(
      MakeAcl({object_ace(OI | CI, L"S-1-3-0"), object_ace(CI, L"S-1-1-0")}, kAclRevisionDs));
  std::optional<DescriptorParts> directory = Inherit(parent, true);
  ASSERT_TRUE(directory.has_value());
  EXPECT_EQ(AclRevision(directory->dacl), kAclRevisionDs);
  constexpr uint8_t kObject = ACCESS_ALLOWED_OBJECT_ACE_TYPE;
  EXPECT_EQ(AcesOf(directory->dacl), (std::vector<AceView>{
                                         {kObject, ID, kFullControl, kOwner},
                                         {kObject, OI | CI | IO | ID, GENERIC_ALL, L"S-1-3-0"},
                                         {kObject, ID, kFullControl, L"S-1-1-0"},
                                         {kObject, CI | IO | ID, GENERIC_ALL, L"S-1-1-0"},
                                     }));
  // The GUID is carried over untouched.
  AceBytes effective = *GetAce(directory->dacl, 0);
  EXPECT_EQ(AceUint32(effective, 8), ACE_OBJECT_TYPE_PRESENT);
  EXPECT_EQ(effective[12], 0xA0);
  EXPECT_EQ(effective[27], 0xAF);
}

TEST(InheritedDescriptorTest, NothingStoredWithoutInheritableDaclAces) {
  // Only the object itself, or only the directories when a file is made.
  DescriptorParts parent = ParentWithDacl(MakeAcl({
      MakeAce(kAllow, 0, kFullControl, L"S-1-1-0"),
      MakeAce(kAllow, CI, kRead, L"S-1-5-18"),
  }));
  parent.control |= SE_SACL_PRESENT;
  parent.sacl = MakeAcl({MakeAce(kAudit, FAILED_ACCESS_ACE_FLAG | OI, DELETE, L"S-1-1-0")});
  EXPECT_FALSE(Inherit(parent, false).has_value());
  EXPECT_TRUE(Inherit(parent, true).has_value());

  // Object-inherit with no propagation gives a directory nothing.
  parent = ParentWithDacl(MakeAcl({MakeAce(kAllow, OI | NP, kRead, L"S-1-1-0")}));
  EXPECT_FALSE(Inherit(parent, true).has_value());
  EXPECT_TRUE(Inherit(parent, false).has_value());

  // No DACL, a null DACL, an empty one, a malformed one.
  DescriptorParts no_dacl = ParentWithDacl({});
  no_dacl.control = 0;
  EXPECT_FALSE(Inherit(no_dacl, false).has_value());
  EXPECT_FALSE(Inherit(ParentWithDacl({}), true).has_value());
  EXPECT_FALSE(Inherit(ParentWithDacl(MakeAcl({})), true).has_value());
  std::vector<uint8_t> malformed = MakeAcl({MakeAce(kAllow, OI | CI, kRead, L"S-1-1-0")});
  malformed[4] = 2;  // claims an ACE more than it holds
  EXPECT_FALSE(Inherit(ParentWithDacl(malformed), false).has_value());
}

TEST(InheritedDescriptorTest, AnAclThatOutgrowsTheLimitFails) {
  // 3000 CREATOR OWNER ACEs: 60 KB in the parent; each becomes a longer
  // owner ACE for a file, and two ACEs for a directory.
  std::vector<std::vector<uint8_t>> aces(3000, MakeAce(kAllow, OI | CI, kRead, L"S-1-3-0"));
  DescriptorParts parent = ParentWithDacl(MakeAcl(aces));
  ASSERT_TRUE(IsValidAcl(parent.dacl));
  EXPECT_FALSE(Inherit(parent, false, ERROR_BAD_INHERITANCE_ACL).has_value());
  EXPECT_FALSE(Inherit(parent, true, ERROR_BAD_INHERITANCE_ACL).has_value());
  // Just below the limit still works.
  aces.resize(1800);  // 1800 * 36 + 8 bytes for a file
  std::optional<DescriptorParts> file = Inherit(ParentWithDacl(MakeAcl(aces)), false);
  ASSERT_TRUE(file.has_value());
  EXPECT_EQ(AclAceCount(file->dacl), 1800);
  EXPECT_EQ(AclSize(file->dacl), 1800 * 36 + 8);
}

// Through the Os: the world's token user owns what it creates.
class CreationInheritsTest : public testing::Test {
 protected:
  HANDLE Open(const std::wstring& path, DWORD access, DWORD disposition,
              SECURITY_ATTRIBUTES* attributes = nullptr) {
    return os_.CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, attributes,
                           disposition, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  }

  void Create(const std::wstring& path, DWORD disposition = CREATE_NEW,
              SECURITY_ATTRIBUTES* attributes = nullptr) {
    HANDLE file = Open(path, GENERIC_WRITE, disposition, attributes);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << Os::GetLastError();
    os_.CloseHandle(file);
  }

  // A new file whose writing ends: one byte written, then closed.
  void CreateWritten(const std::wstring& path) {
    HANDLE file = Open(path, GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << Os::GetLastError();
    DWORD written = 0;
    EXPECT_TRUE(os_.WriteFile(file, "x", 1, &written, nullptr));
    EXPECT_TRUE(os_.CloseHandle(file));
  }

  void SetDescriptor(const std::wstring& path, const DescriptorParts& parts,
                     SECURITY_INFORMATION information = 0xF) {
    HANDLE file = Open(path, WRITE_DAC | WRITE_OWNER | ACCESS_SYSTEM_SECURITY, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    std::vector<uint8_t> bytes = BuildSelfRelative(parts);
    EXPECT_TRUE(os_.SetKernelObjectSecurity(file, information, bytes.data()));
    os_.CloseHandle(file);
  }

  std::optional<DescriptorParts> Get(const std::wstring& path) {
    HANDLE file = Open(path, READ_CONTROL | ACCESS_SYSTEM_SECURITY, OPEN_EXISTING);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    std::vector<uint8_t> buffer(70000);
    DWORD needed = 0;
    BOOL ok = os_.GetKernelObjectSecurity(file, 0xF, buffer.data(),
                                          static_cast<DWORD>(buffer.size()), &needed);
    os_.CloseHandle(file);
    if (!ok)
      return std::nullopt;
    buffer.resize(needed);
    return ParseSelfRelative(buffer, 0, 0);
  }

  // The descriptor the object keeps, wherever this process could write it.
  std::optional<DescriptorParts> Stored(const std::wstring& path) {
    std::optional<std::string> value = world_.GetXattr(path, "security.NTACL");
    if (!value)
      value = world_.GetXattr(path, "user.NTACL");
    return value ? DecodeNtAcl(*value) : std::nullopt;
  }

  std::wstring HostGroupSid(const std::wstring& path) {
    struct stat info;
    EXPECT_EQ(::stat(world_.HostPath(path).c_str(), &info), 0);
    return L"S-1-22-2-" + std::to_wstring(info.st_gid);
  }

  TestWorld world_{R"({"computer": "TESTPC", "drives": {"C:": {"path": "c"}},
      "token": {"user": "S-1-5-21-7-8-9-1001", "privileges": [
        {"name": "SeSecurityPrivilege", "enabled": true}]}})"};
  Os& os_ = world_.os();
};

TEST_F(CreationInheritsTest, NewObjectsUnderAStoredDescriptorInheritIt) {
  world_.CreateDirectory(L"C:\\p");
  DescriptorParts parent = ParentWithDacl(MakeAcl({
      MakeAce(kAllow, OI | CI, kFullControl, L"S-1-5-18"),
      MakeAce(kAllow, OI, kRead, L"S-1-5-32-545"),
      MakeAce(kAllow, OI | CI | IO, GENERIC_ALL, L"S-1-3-0"),
      MakeAce(kAllow, 0, kRead, L"S-1-1-0"),
  }));
  parent.control |= SE_DACL_AUTO_INHERITED | SE_SACL_PRESENT;
  parent.sacl = MakeAcl({MakeAce(kAudit, FAILED_ACCESS_ACE_FLAG | CI, DELETE, L"S-1-1-0")});
  SetDescriptor(L"C:\\p", parent);

  ASSERT_TRUE(os_.CreateDirectoryW(L"C:\\p\\d", nullptr));
  std::optional<DescriptorParts> directory = Get(L"C:\\p\\d");
  ASSERT_TRUE(directory.has_value());
  EXPECT_EQ(directory->owner, Sid(kOwner));
  EXPECT_EQ(directory->group, Sid(HostGroupSid(L"C:\\p\\d")));
  EXPECT_EQ(directory->control,
            SE_SELF_RELATIVE | SE_DACL_PRESENT | SE_DACL_AUTO_INHERITED | SE_SACL_PRESENT);
  EXPECT_EQ(AcesOf(directory->dacl), (std::vector<AceView>{
                                         {kAllow, OI | CI | ID, kFullControl, L"S-1-5-18"},
                                         {kAllow, OI | IO | ID, kRead, L"S-1-5-32-545"},
                                         {kAllow, ID, kFullControl, kOwner},
                                         {kAllow, OI | CI | IO | ID, GENERIC_ALL, L"S-1-3-0"},
                                     }));
  EXPECT_EQ(AcesOf(directory->sacl),
            (std::vector<AceView>{{kAudit, FAILED_ACCESS_ACE_FLAG | CI | ID, DELETE, L"S-1-1-0"}}));
  EXPECT_TRUE(Stored(L"C:\\p\\d").has_value());

  // A file in the new directory: its grandparent's object-inherit ACEs reach it.
  Create(L"C:\\p\\d\\f", OPEN_ALWAYS);
  std::optional<DescriptorParts> grandchild = Get(L"C:\\p\\d\\f");
  ASSERT_TRUE(grandchild.has_value());
  EXPECT_EQ(AcesOf(grandchild->dacl), (std::vector<AceView>{
                                          {kAllow, ID, kFullControl, L"S-1-5-18"},
                                          {kAllow, ID, kRead, L"S-1-5-32-545"},
                                          {kAllow, ID, kFullControl, kOwner},
                                      }));
  EXPECT_TRUE(grandchild->sacl.empty());  // the audit ACE is for directories only

  Create(L"C:\\p\\f");
  std::optional<DescriptorParts> file = Get(L"C:\\p\\f");
  ASSERT_TRUE(file.has_value());
  EXPECT_EQ(file->owner, Sid(kOwner));
  EXPECT_EQ(file->control, SE_SELF_RELATIVE | SE_DACL_PRESENT | SE_DACL_AUTO_INHERITED);
  EXPECT_EQ(AcesOf(file->dacl), AcesOf(grandchild->dacl));

  // Reached through a directory link, the parent is the link's target.
  world_.CreateSymlink(L"C:\\link", world_.HostPath(L"C:\\p"));
  CreateWritten(L"C:\\link\\via_link");
  ASSERT_TRUE(Stored(L"C:\\p\\via_link").has_value());
  EXPECT_EQ(Stored(L"C:\\p\\via_link")->dacl, file->dacl);

  // Replacing a file keeps what it has; only a new object inherits.
  DescriptorParts own = ParentWithDacl(MakeAcl({MakeAce(kAllow, 0, kRead, L"S-1-1-0")}));
  SetDescriptor(L"C:\\p\\f", own);
  Create(L"C:\\p\\f", CREATE_ALWAYS);
  Create(L"C:\\p\\f", TRUNCATE_EXISTING);
  ASSERT_TRUE(Stored(L"C:\\p\\f").has_value());
  EXPECT_EQ(Stored(L"C:\\p\\f")->dacl, own.dacl);
  world_.WriteFile(L"C:\\p\\host", "made on the host");
  Create(L"C:\\p\\host", CREATE_ALWAYS);
  EXPECT_FALSE(Stored(L"C:\\p\\host").has_value());

  // A creator that gives a descriptor of its own gets none inherited.
  std::vector<uint8_t> given = BuildSelfRelative(own);
  SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), given.data(), FALSE};
  Create(L"C:\\p\\given", CREATE_NEW, &attributes);
  EXPECT_FALSE(Stored(L"C:\\p\\given").has_value());
  ASSERT_TRUE(os_.CreateDirectoryW(L"C:\\p\\given_dir", &attributes));
  EXPECT_FALSE(Stored(L"C:\\p\\given_dir").has_value());
  // Without a descriptor in them, the attributes change nothing.
  attributes.lpSecurityDescriptor = nullptr;
  ASSERT_TRUE(os_.CreateDirectoryW(L"C:\\p\\plain_dir", &attributes));
  EXPECT_TRUE(Stored(L"C:\\p\\plain_dir").has_value());
}

// A new file's inherited descriptor is stored once: merged into the first one
// set on it, or when its writing ends; until then it is shown as inherited.
TEST_F(CreationInheritsTest, ANewFileStoresItsInheritedDescriptorOnce) {
  world_.CreateDirectory(L"C:\\p");
  SetDescriptor(L"C:\\p", ParentWithDacl(MakeAcl({MakeAce(kAllow, OI, kRead, L"S-1-5-18")})));
  const std::vector<AceView> inherited{{kAllow, ID, kRead, L"S-1-5-18"}};

  // Made and closed empty, as a copy makes its target before the data.
  Create(L"C:\\p\\set");
  EXPECT_FALSE(Stored(L"C:\\p\\set").has_value());
  ASSERT_TRUE(Get(L"C:\\p\\set").has_value());
  EXPECT_EQ(AcesOf(Get(L"C:\\p\\set")->dacl), inherited);
  // A DACL set on it keeps the inherited owner, and is what is stored.
  DescriptorParts own = ParentWithDacl(MakeAcl({MakeAce(kAllow, 0, kRead, L"S-1-1-0")}));
  SetDescriptor(L"C:\\p\\set", own, DACL_SECURITY_INFORMATION);
  std::optional<DescriptorParts> stored = Stored(L"C:\\p\\set");
  ASSERT_TRUE(stored.has_value());
  EXPECT_EQ(stored->owner, Sid(kOwner));
  EXPECT_EQ(stored->dacl, own.dacl);
  HANDLE writer = Open(L"C:\\p\\set", GENERIC_WRITE, CREATE_ALWAYS);
  DWORD written = 0;
  EXPECT_TRUE(os_.WriteFile(writer, "x", 1, &written, nullptr));
  EXPECT_TRUE(os_.CloseHandle(writer));
  EXPECT_EQ(Stored(L"C:\\p\\set")->dacl, own.dacl);

  // Its writing ends at the close of the handle that wrote...
  CreateWritten(L"C:\\p\\written");
  ASSERT_TRUE(Stored(L"C:\\p\\written").has_value());
  EXPECT_EQ(AcesOf(Stored(L"C:\\p\\written")->dacl), inherited);
  // ... or with a last-write time set without write rights (an empty copy).
  Create(L"C:\\p\\timed");
  HANDLE timer = Open(L"C:\\p\\timed", FILE_WRITE_ATTRIBUTES, OPEN_EXISTING);
  FILETIME time{0x10000000, 0x01d00000};
  EXPECT_TRUE(os_.SetFileTime(timer, nullptr, nullptr, &time));
  os_.CloseHandle(timer);
  ASSERT_TRUE(Stored(L"C:\\p\\timed").has_value());
  EXPECT_EQ(AcesOf(Stored(L"C:\\p\\timed")->dacl), inherited);

  // A rename takes it along; a file deleted takes it with it, and one made
  // at the same path by another process gets none of it.
  Create(L"C:\\p\\moved");
  ASSERT_TRUE(os_.MoveFileW(L"C:\\p\\moved", L"C:\\p\\moved2"));
  ASSERT_TRUE(Stored(L"C:\\p\\moved2").has_value());
  Create(L"C:\\p\\deleted");
  ASSERT_TRUE(os_.DeleteFileW(L"C:\\p\\deleted"));
  world_.WriteFile(L"C:\\p\\deleted", "made on the host");
  Create(L"C:\\p\\replaced");
  ASSERT_EQ(::unlink(world_.HostPath(L"C:\\p\\replaced").c_str()), 0);
  world_.WriteFile(L"C:\\p\\replaced", "made on the host");
  for (const wchar_t* path : {L"C:\\p\\deleted", L"C:\\p\\replaced"}) {
    HANDLE timed = Open(path, FILE_WRITE_ATTRIBUTES, OPEN_EXISTING);
    EXPECT_TRUE(os_.SetFileTime(timed, nullptr, nullptr, &time));
    os_.CloseHandle(timed);
    EXPECT_FALSE(Stored(path).has_value()) << path;
  }

  // A file left unfinished by a process that ended before storing it gets
  // it when its data is written again.
  world_.WriteFile(L"C:\\p\\crashed", "");
  ASSERT_EQ(::chmod(world_.HostPath(L"C:\\p\\crashed").c_str(), 01644), 0);
  HANDLE again = Open(L"C:\\p\\crashed", GENERIC_WRITE, CREATE_ALWAYS);
  EXPECT_TRUE(os_.WriteFile(again, "x", 1, &written, nullptr));
  EXPECT_TRUE(os_.CloseHandle(again));
  ASSERT_TRUE(Stored(L"C:\\p\\crashed").has_value());
  EXPECT_EQ(AcesOf(Stored(L"C:\\p\\crashed")->dacl), inherited);

  // Whatever is still held when the process ends is stored then.
  {
    PosixOs other(world_.world());
    HANDLE left = other.CreateFileW(L"C:\\p\\left", GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(left, INVALID_HANDLE_VALUE);
    other.CloseHandle(left);
    EXPECT_FALSE(Stored(L"C:\\p\\left").has_value());
  }
  EXPECT_TRUE(Stored(L"C:\\p\\left").has_value());
}

TEST_F(CreationInheritsTest, WithoutAStoredParentDescriptorNothingIsStored) {
  world_.CreateDirectory(L"C:\\q");
  ASSERT_TRUE(os_.CreateDirectoryW(L"C:\\q\\d", nullptr));
  Create(L"C:\\q\\f");
  Create(L"C:\\q\\d\\f");
  for (const wchar_t* path : {L"C:\\q\\d", L"C:\\q\\f", L"C:\\q\\d\\f"}) {
    EXPECT_FALSE(Stored(path).has_value()) << path;
    std::optional<DescriptorParts> shown = Get(path);
    ASSERT_TRUE(shown.has_value());
    EXPECT_EQ(SidToString(shown->owner).substr(0, 9), L"S-1-22-1-") << path;
  }

  // A stored DACL that passes nothing on: the children stay as the host makes them.
  SetDescriptor(L"C:\\q", ParentWithDacl(MakeAcl({MakeAce(kAllow, 0, kRead, L"S-1-1-0")})));
  ASSERT_TRUE(os_.CreateDirectoryW(L"C:\\q\\d2", nullptr));
  Create(L"C:\\q\\f2");
  EXPECT_FALSE(Stored(L"C:\\q\\d2").has_value());
  EXPECT_FALSE(Stored(L"C:\\q\\f2").has_value());
}

TEST_F(CreationInheritsTest, AnObjectThatCannotKeepItsDescriptorIsNotLeftBehind) {
  // 150 CREATOR OWNER ACEs: the parent's value fits where the host keeps
  // attributes; a directory's, three times as large, may not.
  world_.CreateDirectory(L"C:\\big");
  std::vector<std::vector<uint8_t>> aces(150, MakeAce(kAllow, OI | CI, kRead, L"S-1-3-0"));
  SetDescriptor(L"C:\\big", ParentWithDacl(MakeAcl(aces)));
  ASSERT_TRUE(Stored(L"C:\\big").has_value());
  if (os_.CreateDirectoryW(L"C:\\big\\d", nullptr)) {
    std::optional<DescriptorParts> stored = Stored(L"C:\\big\\d");
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(AclAceCount(stored->dacl), 300);
  } else {
    EXPECT_NE(Os::GetLastError(), ERROR_SUCCESS);
    EXPECT_FALSE(world_.Exists(L"C:\\big\\d"));
    // The name is free again for a later attempt.
    SetDescriptor(L"C:\\big", ParentWithDacl(MakeAcl({})));
    EXPECT_TRUE(os_.CreateDirectoryW(L"C:\\big\\d", nullptr));
  }
}

}  // namespace
}  // namespace tarvik
