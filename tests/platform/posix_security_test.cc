// Security descriptors of host files through GetKernelObjectSecurity and
// SetKernelObjectSecurity: storage, the parts, the rights they need, and
// what Samba's own decoder makes of the stored value.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "common/sd/sid_string.h"
#include "platform/fault_os.h"
#include "platform/posix/nt_acl.h"
#include "support/security_bytes.h"
#include "support/test_world.h"

namespace tarvik {
namespace {

DescriptorParts FullDescriptor() {
  DescriptorParts parts;
  parts.control = SE_DACL_PRESENT | SE_DACL_PROTECTED | SE_SACL_PRESENT | SE_SACL_AUTO_INHERITED;
  parts.owner = Sid(L"S-1-5-32-544");
  parts.group = Sid(L"S-1-5-21-1-2-3-513");
  parts.dacl = AclOf({{0x1F01FF, L"S-1-5-18"}, {0x120089, L"S-1-1-0"}});
  parts.sacl = AclOf({{0x10000, L"S-1-1-0"}});
  return parts;
}

struct AllowedEntry {
  uint8_t flags;
  uint32_t mask;
  std::wstring sid;
};

// An ACL (revision 2) of allowed ACEs with their flags.
std::vector<uint8_t> AclWithFlags(const std::vector<AllowedEntry>& entries) {
  std::vector<std::pair<uint32_t, std::wstring>> aces;
  for (const AllowedEntry& entry : entries)
    aces.emplace_back(entry.mask, entry.sid);
  std::vector<uint8_t> acl = AclOf(aces);
  size_t at = 8;
  for (const AllowedEntry& entry : entries) {
    acl[at + 1] = entry.flags;
    at += acl[at + 2];
  }
  return acl;
}

class PosixSecurityTest : public testing::Test {
 protected:
  HANDLE Open(const std::wstring& path, DWORD access, DWORD flags = 0) {
    return os_.CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, flags | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  }

  // The parts asked for, read through a handle opened for them.
  std::optional<DescriptorParts> Get(const std::wstring& path, SECURITY_INFORMATION parts,
                                     DWORD flags = 0) {
    HANDLE file = Open(path, READ_CONTROL | ACCESS_SYSTEM_SECURITY, flags);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    std::vector<uint8_t> buffer(1024);
    DWORD needed = 0;
    BOOL ok = os_.GetKernelObjectSecurity(file, parts, buffer.data(),
                                          static_cast<DWORD>(buffer.size()), &needed);
    os_.CloseHandle(file);
    if (!ok)
      return std::nullopt;
    buffer.resize(needed);
    return ParseSelfRelative(buffer, 0, 0);
  }

  BOOL Set(const std::wstring& path, SECURITY_INFORMATION parts, const DescriptorParts& value,
           DWORD flags = 0) {
    HANDLE file = Open(path, WRITE_DAC | WRITE_OWNER | ACCESS_SYSTEM_SECURITY, flags);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    std::vector<uint8_t> bytes = BuildSelfRelative(value);
    BOOL ok = os_.SetKernelObjectSecurity(file, parts, bytes.data());
    DWORD error = Os::GetLastError();
    os_.CloseHandle(file);
    Os::SetLastError(error);
    return ok;
  }

  // The stored value, wherever this process could write it.
  std::optional<std::string> Stored(const std::wstring& path) {
    std::optional<std::string> value = world_.GetXattr(path, "security.NTACL");
    return value ? value : world_.GetXattr(path, "user.NTACL");
  }

  TestWorld world_{R"({"computer": "TESTPC", "drives": {"C:": {"path": "c"},
      "D:": {"path": "d", "volume": {"ignore_system_acls": true}}},
      "token": {"user": "S-1-22-1-0", "privileges": [
        {"name": "SeSecurityPrivilege", "enabled": true}]}})"};
  Os& os_ = world_.os();
};

// Without a stored descriptor an object shows what Samba serves for it
// (checked against a live smbd by the Samba end-to-end test): the mode
// mapped (C:), or synthesised where system ACLs are ignored (D:).
TEST_F(PosixSecurityTest, WithoutAStoredDescriptorOneIsMadeAsSambaMakesIt) {
  struct Expected {
    std::wstring path;
    mode_t mode;
    std::vector<AllowedEntry> dacl;  // with the owner and group as "O" and "G"
  };
  constexpr uint8_t kInheritable = 0xB;
  const std::vector<Expected> cases = {
      {L"C:\\f", 0640, {{0, 0x1F019F, L"O"}, {0, 0x120089, L"G"}, {0, 0, L"S-1-1-0"}}},
      {L"C:\\d",
       0750,
       {{0, 0x1F01FF, L"O"},
        {0, 0x1200A9, L"G"},
        {0, 0, L"S-1-1-0"},
        {kInheritable, 0x1F01FF, L"S-1-3-0"},
        {kInheritable, 0x1200A9, L"S-1-3-1"},
        {kInheritable, 0x1200A9, L"S-1-1-0"}}},
      {L"D:\\f", 0640, {{0, 0x1F01FF, L"O"}, {0, 0x1200A9, L"G"}, {0, 0x1F01FF, L"S-1-5-18"}}},
      {L"D:\\d",
       0246,
       {{0, 0x130116, L"O"},
        {0, 0x1200A9, L"G"},
        {0, 0x1201BF, L"S-1-1-0"},
        {0, 0x1F01FF, L"S-1-5-18"}}},
  };
  for (const Expected& expected : cases) {
    if (expected.path.back() == L'd')
      world_.CreateDirectory(expected.path);
    else
      world_.WriteFile(expected.path, "");
    const std::string host = world_.HostPath(expected.path);
    ASSERT_EQ(::chmod(host.c_str(), expected.mode), 0);
    struct stat info;
    ASSERT_EQ(::stat(host.c_str(), &info), 0);
    const std::wstring owner = L"S-1-22-1-" + std::to_wstring(info.st_uid);
    const std::wstring group = L"S-1-22-2-" + std::to_wstring(info.st_gid);
    std::optional<DescriptorParts> read = Get(expected.path, 0xF);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->control, SE_SELF_RELATIVE | SE_DACL_PRESENT);
    EXPECT_EQ(read->owner, Sid(owner));
    EXPECT_EQ(read->group, Sid(group));
    EXPECT_TRUE(read->sacl.empty());
    std::vector<AllowedEntry> dacl = expected.dacl;
    for (AllowedEntry& entry : dacl)
      entry.sid = entry.sid == L"O" ? owner : entry.sid == L"G" ? group : entry.sid;
    EXPECT_EQ(read->dacl, AclWithFlags(dacl))
        << std::string(expected.path.begin(), expected.path.end());
    EXPECT_FALSE(Stored(expected.path).has_value());  // reading writes nothing
  }
}

TEST_F(PosixSecurityTest, PartsRoundTripAndTheOthersAreKept) {
  world_.WriteFile(L"C:\\f", "");
  DescriptorParts full = FullDescriptor();
  ASSERT_TRUE(Set(L"C:\\f", 0xF, full));
  std::optional<DescriptorParts> read = Get(L"C:\\f", 0xF);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->owner, full.owner);
  EXPECT_EQ(read->group, full.group);
  EXPECT_EQ(read->dacl, full.dacl);
  EXPECT_EQ(read->sacl, full.sacl);
  EXPECT_EQ(read->control, full.control | SE_SELF_RELATIVE);
  std::optional<std::string> stored = Stored(L"C:\\f");
  ASSERT_TRUE(stored.has_value());
  std::optional<DescriptorParts> decoded = DecodeNtAcl(*stored);
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(decoded->dacl, full.dacl);

  // Only the parts asked for come back, with their control bits.
  read = Get(L"C:\\f", DACL_SECURITY_INFORMATION);
  ASSERT_TRUE(read.has_value());
  EXPECT_TRUE(read->owner.empty() && read->group.empty() && read->sacl.empty());
  EXPECT_EQ(read->control, SE_SELF_RELATIVE | SE_DACL_PRESENT | SE_DACL_PROTECTED);
  read = Get(L"C:\\f", OWNER_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->owner, full.owner);
  EXPECT_TRUE(read->dacl.empty());
  EXPECT_EQ(read->control, SE_SELF_RELATIVE | SE_SACL_PRESENT | SE_SACL_AUTO_INHERITED);

  // Setting one part changes that part only.
  DescriptorParts dacl_only;
  dacl_only.control = SE_DACL_PRESENT;
  dacl_only.owner = Sid(L"S-1-5-18");  // not asked for: ignored
  dacl_only.dacl = AclOf({{0x1F01FF, L"S-1-5-32-545"}});
  ASSERT_TRUE(Set(L"C:\\f", DACL_SECURITY_INFORMATION, dacl_only));
  read = Get(L"C:\\f", 0xF);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->owner, full.owner);
  EXPECT_EQ(read->group, full.group);
  EXPECT_EQ(read->sacl, full.sacl);
  EXPECT_EQ(read->dacl, dacl_only.dacl);
  EXPECT_EQ(read->control,
            SE_SELF_RELATIVE | SE_DACL_PRESENT | SE_SACL_PRESENT | SE_SACL_AUTO_INHERITED);

  DescriptorParts owner_only;
  owner_only.owner = Sid(L"S-1-5-18");
  ASSERT_TRUE(Set(L"C:\\f", OWNER_SECURITY_INFORMATION, owner_only));
  read = Get(L"C:\\f", 0xF);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->owner, owner_only.owner);
  EXPECT_EQ(read->group, full.group);
  EXPECT_EQ(read->dacl, dacl_only.dacl);

  // Asking for an owner without giving one.
  EXPECT_FALSE(Set(L"C:\\f", OWNER_SECURITY_INFORMATION, DescriptorParts{}));
  EXPECT_EQ(Os::GetLastError(), ERROR_INVALID_OWNER);
}

TEST_F(PosixSecurityTest, AnAbsoluteDescriptorIsTakenAsWell) {
  world_.WriteFile(L"C:\\f", "");
  std::vector<uint8_t> group = Sid(L"S-1-5-32-545");
  std::vector<uint8_t> dacl = AclOf({{0x120089, L"S-1-5-11"}});
  SECURITY_DESCRIPTOR absolute = {
      1, 0, SE_DACL_PRESENT, nullptr, group.data(), nullptr, reinterpret_cast<ACL*>(dacl.data())};
  HANDLE file = Open(L"C:\\f", WRITE_DAC | WRITE_OWNER);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(os_.SetKernelObjectSecurity(
      file, GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &absolute));
  std::vector<uint8_t> garbage(64, 0xEE);
  EXPECT_FALSE(os_.SetKernelObjectSecurity(file, DACL_SECURITY_INFORMATION, garbage.data()));
  EXPECT_EQ(Os::GetLastError(), ERROR_INVALID_SECURITY_DESCR);
  os_.CloseHandle(file);
  std::optional<DescriptorParts> read = Get(L"C:\\f", 0xF);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->group, group);
  EXPECT_EQ(read->dacl, dacl);
  EXPECT_FALSE(read->owner.empty());  // the synthesized owner stayed
}

TEST_F(PosixSecurityTest, ASmallBufferGivesTheLengthNeeded) {
  world_.WriteFile(L"C:\\f", "");
  ASSERT_TRUE(Set(L"C:\\f", 0xF, FullDescriptor()));
  HANDLE file = Open(L"C:\\f", READ_CONTROL);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD needed = 0;
  EXPECT_FALSE(os_.GetKernelObjectSecurity(file, 0x7, nullptr, 0, &needed));
  EXPECT_EQ(Os::GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  std::vector<uint8_t> expected = BuildSelfRelative([] {
    DescriptorParts parts = FullDescriptor();
    parts.sacl.clear();
    parts.control = SE_DACL_PRESENT | SE_DACL_PROTECTED;
    return parts;
  }());
  EXPECT_EQ(needed, expected.size());
  std::vector<uint8_t> buffer(needed);
  DWORD again = 0;
  EXPECT_FALSE(os_.GetKernelObjectSecurity(file, 0x7, buffer.data(), needed - 1, &again));
  EXPECT_EQ(Os::GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(again, needed);
  EXPECT_TRUE(os_.GetKernelObjectSecurity(file, 0x7, buffer.data(), needed, &again));
  EXPECT_EQ(buffer, expected);
  os_.CloseHandle(file);
}

TEST_F(PosixSecurityTest, EachPartNeedsItsRight) {
  world_.WriteFile(L"C:\\f", "");
  std::vector<uint8_t> bytes = BuildSelfRelative(FullDescriptor());
  std::vector<uint8_t> buffer(1024);
  DWORD needed = 0;
  struct Case {
    DWORD access;
    SECURITY_INFORMATION parts;
    bool get;
    bool allowed;
  };
  const Case cases[] = {
      {GENERIC_READ, 0x7, true, true},
      {FILE_READ_ATTRIBUTES, OWNER_SECURITY_INFORMATION, true, false},
      {GENERIC_READ, SACL_SECURITY_INFORMATION, true, false},
      {ACCESS_SYSTEM_SECURITY, SACL_SECURITY_INFORMATION, true, true},
      {WRITE_DAC, DACL_SECURITY_INFORMATION, true, false},
      {WRITE_DAC, DACL_SECURITY_INFORMATION, false, true},
      {WRITE_DAC, OWNER_SECURITY_INFORMATION, false, false},
      {WRITE_OWNER, GROUP_SECURITY_INFORMATION, false, true},
      {WRITE_OWNER, DACL_SECURITY_INFORMATION, false, false},
      {GENERIC_ALL, 0x7, false, true},
      {GENERIC_ALL, SACL_SECURITY_INFORMATION, false, false},
      {ACCESS_SYSTEM_SECURITY, SACL_SECURITY_INFORMATION, false, true},
  };
  for (const Case& c : cases) {
    HANDLE file = Open(L"C:\\f", c.access);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    BOOL ok = c.get ? os_.GetKernelObjectSecurity(file, c.parts, buffer.data(),
                                                  static_cast<DWORD>(buffer.size()), &needed)
                    : os_.SetKernelObjectSecurity(file, c.parts, bytes.data());
    EXPECT_EQ(ok != FALSE, c.allowed) << std::hex << c.access << " " << c.parts << " " << c.get;
    if (!ok) {
      EXPECT_EQ(Os::GetLastError(), ERROR_ACCESS_DENIED);
    }
    os_.CloseHandle(file);
  }
}

TEST(PosixSecurityPrivilegeTest, TheSaclIsReachedOnlyWithTheSecurityPrivilegeEnabled) {
  TestWorld world(R"({"computer": "TESTPC", "drives": {"C:": {"path": "c"}},
      "token": {"user": "S-1-22-1-0", "privileges": [
        {"name": "SeSecurityPrivilege", "enabled": false}]}})");
  world.WriteFile(L"C:\\f", "");
  Os& os = world.os();
  auto open = [&] {
    return os.CreateFileW(L"C:\\f", READ_CONTROL | ACCESS_SYSTEM_SECURITY, 0, nullptr,
                          OPEN_EXISTING, 0, nullptr);
  };
  EXPECT_EQ(open(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os::GetLastError(), ERROR_PRIVILEGE_NOT_HELD);

  HANDLE token = nullptr;
  ASSERT_TRUE(os.OpenProcessToken(os.GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
  TOKEN_PRIVILEGES enable = {1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
  ASSERT_TRUE(
      os.LookupPrivilegeValueW(nullptr, L"SeSecurityPrivilege", &enable.Privileges[0].Luid));
  ASSERT_TRUE(os.AdjustTokenPrivileges(token, FALSE, &enable, 0, nullptr, nullptr));
  os.CloseHandle(token);

  HANDLE file = open();
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  std::vector<uint8_t> buffer(256);
  DWORD needed = 0;
  EXPECT_TRUE(os.GetKernelObjectSecurity(file, 0xF, buffer.data(), 256, &needed));
  os.CloseHandle(file);
}

TEST_F(PosixSecurityTest, StoredValuesAreReadFromEitherAttributeAndCheckedFirst) {
  world_.WriteFile(L"C:\\f", "");
  DescriptorParts parts = FullDescriptor();
  world_.SetXattr(L"C:\\f", "user.NTACL", EncodeNtAcl(parts));
  std::optional<DescriptorParts> read = Get(L"C:\\f", 0xF);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->owner, parts.owner);

  // A damaged value is reported, not replaced by a made-up one, and can
  // still be overwritten as a whole.
  world_.SetXattr(L"C:\\f", "user.NTACL", std::string("\x01\x00\x01\x00", 4));
  EXPECT_FALSE(Get(L"C:\\f", 0xF).has_value());
  EXPECT_EQ(Os::GetLastError(), ERROR_INVALID_SECURITY_DESCR);
  EXPECT_FALSE(Set(L"C:\\f", DACL_SECURITY_INFORMATION, parts));
  EXPECT_EQ(Os::GetLastError(), ERROR_INVALID_SECURITY_DESCR);
  EXPECT_TRUE(Set(L"C:\\f", 0xF, parts));
  read = Get(L"C:\\f", 0xF);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->sacl, parts.sacl);
}

TEST_F(PosixSecurityTest, ASymbolicLinkKeepsItsOwnDescriptor) {
  world_.WriteFile(L"C:\\target", "");
  world_.CreateSymlink(L"C:\\link", "target");
  DescriptorParts parts = FullDescriptor();
  BOOL ok = Set(L"C:\\link", 0xF, parts, FILE_FLAG_OPEN_REPARSE_POINT);
  if (!ok) {
    // Only a process that may write security.* or trusted.* can keep it.
    EXPECT_EQ(Os::GetLastError(), ERROR_NOT_SUPPORTED);
    return;
  }
  std::optional<DescriptorParts> read = Get(L"C:\\link", 0xF, FILE_FLAG_OPEN_REPARSE_POINT);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->dacl, parts.dacl);
  read = Get(L"C:\\target", 0xF);  // the target is untouched
  ASSERT_TRUE(read.has_value());
  EXPECT_NE(read->dacl, parts.dacl);
}

TEST(PosixSecurityFaultTest, BothCallsFailOnTheHandlesOfChosenPaths) {
  TestWorld world(R"({"computer": "TESTPC", "drives": {"C:": {"path": "c"}},
    "faults": [
      {"call": "GetKernelObjectSecurity", "path": "C:\\x\\*", "error": 5},
      {"call": "SetKernelObjectSecurity", "path": "C:\\x\\*", "error": 32}
    ]})");
  Os& os = world.os();
  ASSERT_NE(dynamic_cast<FaultOs*>(&os), nullptr);
  world.WriteFile(L"C:\\x\\f", "");
  world.WriteFile(L"C:\\y", "");
  std::vector<uint8_t> bytes = BuildSelfRelative(FullDescriptor());
  std::vector<uint8_t> buffer(1024);
  DWORD needed = 0;
  for (const wchar_t* path : {L"C:\\x\\f", L"C:\\y"}) {
    bool faulty = path[3] == L'x';
    HANDLE file =
        os.CreateFileW(path, READ_CONTROL | WRITE_DAC, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(os.SetKernelObjectSecurity(file, DACL_SECURITY_INFORMATION, bytes.data()) != FALSE,
              !faulty);
    if (faulty) {
      EXPECT_EQ(Os::GetLastError(), 32u);
    }
    EXPECT_EQ(os.GetKernelObjectSecurity(file, DACL_SECURITY_INFORMATION, buffer.data(), 1024,
                                         &needed) != FALSE,
              !faulty);
    if (faulty) {
      EXPECT_EQ(Os::GetLastError(), 5u);
    }
    os.CloseHandle(file);
  }
}

// Samba's python bindings, where installed: the interpreter that imports them.
std::string SambaPython() {
  for (const char* python : {"python3", "/usr/bin/python3"}) {
    std::string command = std::string(python) + " -c 'import samba.dcerpc.xattr' 2>/dev/null";
    if (std::system(command.c_str()) == 0)
      return python;
  }
  return "";
}

std::string RunPython(const std::string& python, const std::string& script) {
  std::string command = python + " -c '" + script + "' 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  std::string output;
  char chunk[256];
  while (pipe != nullptr && std::fgets(chunk, sizeof chunk, pipe) != nullptr)
    output += chunk;
  if (pipe != nullptr)
    ::pclose(pipe);
  return output;
}

TEST_F(PosixSecurityTest, SambaReadsWhatWeWriteAndWeReadWhatSambaWrites) {
  std::string python = SambaPython();
  if (python.empty())
    GTEST_SKIP() << "python3-samba is not installed";
  world_.WriteFile(L"C:\\ours", "");
  ASSERT_TRUE(Set(L"C:\\ours", 0xF, FullDescriptor()));
  std::string ours = world_.HostPath(L"C:\\ours");
  std::string name =
      world_.GetXattr(L"C:\\ours", "security.NTACL") ? "security.NTACL" : "user.NTACL";
  std::string sddl =
      RunPython(python,
                "import os\n"
                "from samba.ndr import ndr_unpack\n"
                "from samba.dcerpc import xattr, security\n"
                "n = ndr_unpack(xattr.NTACL, os.getxattr(\"" +
                    ours + "\", \"" + name +
                    "\"))\n"
                    "print(n.version, n.info.as_sddl(security.dom_sid(\"S-1-5-21-9-9-9\")))\n");
  EXPECT_EQ(
      sddl,
      "1 O:BAG:S-1-5-21-1-2-3-513D:P(A;;0x001f01ff;;;SY)(A;;0x00120089;;;WD)S:AI(A;;SD;;;WD)\n");

  world_.WriteFile(L"C:\\theirs", "");
  std::string theirs = world_.HostPath(L"C:\\theirs");
  std::string result = RunPython(
      python,
      "import os\n"
      "from samba.ndr import ndr_pack\n"
      "from samba.dcerpc import xattr, security\n"
      "sd = security.descriptor.from_sddl(\"O:SYG:BUD:PAI(A;OICI;0x1301bf;;;AU)(D;;FA;;;BG)\", "
      "security.dom_sid(\"S-1-5-21-9-9-9\"))\n"
      "n = xattr.NTACL()\n"
      "n.version = 1\n"
      "n.info = sd\n"
      "os.setxattr(\"" +
          theirs +
          "\", \"user.NTACL\", ndr_pack(n))\n"
          "print(\"ok\")\n");
  ASSERT_EQ(result, "ok\n");
  std::optional<DescriptorParts> read = Get(L"C:\\theirs", 0xF);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->owner, Sid(L"S-1-5-18"));
  EXPECT_EQ(read->group, Sid(L"S-1-5-32-545"));
  EXPECT_EQ(read->control,
            SE_SELF_RELATIVE | SE_DACL_PRESENT | SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED);
  ASSERT_GE(read->dacl.size(), 8u);
  EXPECT_EQ(read->dacl[4], 2);  // two ACEs
  EXPECT_EQ(read->dacl[8], 0);  // allowed
  EXPECT_EQ(read->dacl[9], 3);  // object and container inherit
}

// A DACL of count 20-byte ACEs.
std::vector<uint8_t> LargeAcl(size_t count) {
  std::vector<uint8_t> one = AclOf({{0x1F01FF, L"S-1-5-18"}});
  std::vector<uint8_t> acl = AclOf({});
  for (size_t i = 0; i < count; ++i)
    acl.insert(acl.end(), one.begin() + 8, one.end());
  acl[2] = static_cast<uint8_t>(acl.size());
  acl[3] = static_cast<uint8_t>(acl.size() >> 8);
  acl[4] = static_cast<uint8_t>(count);
  acl[5] = static_cast<uint8_t>(count >> 8);
  return acl;
}

TEST_F(PosixSecurityTest, ADescriptorTooLargeForTheHostIsNotAFullDisk) {
  world_.WriteFile(L"C:\\f", "");
  DescriptorParts parts = FullDescriptor();
  parts.dacl = LargeAcl(3000);  // with the SACL, more than an attribute can hold
  parts.sacl = LargeAcl(500);
  EXPECT_FALSE(Set(L"C:\\f", 0xF, parts));
  EXPECT_EQ(Os::GetLastError(), ERROR_EAS_DIDNT_FIT);
  EXPECT_FALSE(Stored(L"C:\\f").has_value());
}

}  // namespace
}  // namespace tarvik
