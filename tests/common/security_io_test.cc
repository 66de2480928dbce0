#include "common/security_io.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/ace_dump.h"
#include "common/sd/descriptor_bytes.h"
#include "common/security_workspace.h"
#include "log/log_testing.h"
#include "platform/posix/nt_acl.h"
#include "settings/copy_settings.h"
#include "support/security_bytes.h"
#include "support/test_world.h"
#include "util/utf.h"

namespace tarvik {
namespace {

std::string WorldJson(bool security_privilege, const std::string& faults = "") {
  return std::string(R"({"computer": "TESTPC", "drives": {"C:": {"path": "c"}},
      "token": {"user": "S-1-22-1-0", "privileges": [
        {"name": "SeSecurityPrivilege", "enabled": )") +
         (security_privilege ? "true" : "false") + "}]}" +
         (faults.empty() ? "" : ", \"faults\": " + faults) + "}";
}

class SecurityIoTest : public testing::Test {
 protected:
  SecurityIoTest() { Reset(); }
  ~SecurityIoTest() override { Reset(); }

  static void Reset() {
    ResetLogSystemForTesting();
    Settings() = CopySettings();
  }

  // What the operation printed.
  template <typename F>
  std::wstring Output(F&& operation) {
    testing::internal::CaptureStdout();
    operation();
    return FromUtf8(testing::internal::GetCapturedStdout());
  }

  // A descriptor stored on path as Samba stores it.
  void Store(const std::wstring& path, const DescriptorParts& parts) {
    world().SetXattr(path, "security.NTACL", EncodeNtAcl(parts));
  }

  std::optional<DescriptorParts> Stored(const std::wstring& path) {
    std::optional<std::string> value = world().GetXattr(path, "security.NTACL");
    if (!value)
      return std::nullopt;
    return DecodeNtAcl(*value);
  }

  TestWorld& world() { return *world_; }
  void UseWorld(const std::string& json) {
    world_.reset();  // gives the installed Os back before the next installs its own
    world_ = std::make_unique<TestWorld>(json);
  }

  std::unique_ptr<TestWorld> world_ = std::make_unique<TestWorld>(WorldJson(true));
};

TEST_F(SecurityIoTest, ABuiltDescriptorCreatesTheObjectAndReadsBack) {
  SecurityWorkspace w;
  w.translatedOwner.Assign(Sid(L"S-1-5-32-544"));
  w.translatedGroup.Assign(Sid(L"S-1-5-21-1-2-3-513"));
  std::vector<uint8_t> dacl = AclOf({{0x1F01FF, L"S-1-5-18"}, {0x120089, L"S-1-1-0"}});
  w.translatedDacl.Attach(dacl, 1, 0);
  w.built.SetOwner(w.translatedOwner);
  w.built.SetGroup(w.translatedGroup);
  w.built.SetDacl(w.translatedDacl);
  // Protection and inheritance are carried; SACL protection is not.
  w.built.set_control(SE_DACL_PROTECTED | SE_SACL_PROTECTED | SE_DACL_AUTO_INHERITED);
  EXPECT_EQ(w.built.parts(), 0x7u);

  world().CreateDirectory(L"C:\\dst");
  ASSERT_TRUE(WriteSecurity(w.built, L"C:\\dst\\f", true, true, false, false));
  EXPECT_EQ(world().ReadFile(L"C:\\dst\\f"), "");
  std::optional<DescriptorParts> stored = Stored(L"C:\\dst\\f");
  ASSERT_TRUE(stored.has_value());
  EXPECT_EQ(stored->owner, Sid(L"S-1-5-32-544"));
  EXPECT_EQ(stored->dacl, dacl);
  EXPECT_NE(stored->control & SE_DACL_PROTECTED, 0);
  EXPECT_NE(stored->control & SE_DACL_AUTO_INHERITED, 0);
  EXPECT_EQ(stored->control & SE_DACL_AUTO_INHERIT_REQ, 0);  // a request, not kept
  EXPECT_EQ(stored->control & SE_SACL_PROTECTED, 0);

  ASSERT_TRUE(ReadSecurity(&w.source, L"C:\\dst\\f", false, false, true, false));
  EXPECT_EQ(w.source.parts(), 0x7u);
  EXPECT_NE(w.source.control() & SE_SELF_RELATIVE, 0);
  SId owner;
  ASSERT_TRUE(w.source.GetOwner(&owner));
  EXPECT_TRUE(owner.EqualSid(w.translatedOwner));
  ASSERT_TRUE(w.source.GetDacl(&w.sourceDacl));
  EXPECT_EQ(w.sourceDacl.count(), 2u);
  EXPECT_TRUE(w.sourceDacl.EqualAsSet(w.translatedDacl));
  EXPECT_FALSE(w.source.GetSacl(&w.sourceSacl));  // not asked for

  // The same descriptor on a directory; the directory is made first.
  ASSERT_TRUE(WriteSecurity(w.built, L"C:\\dst\\d", true, true, true, false));
  EXPECT_TRUE(Stored(L"C:\\dst\\d").has_value());
}

TEST_F(SecurityIoTest, CreationAcceptsAnExistingDirectoryAndEmptiesAnExistingFile) {
  SecDesc descriptor;
  SId owner(Sid(L"S-1-5-32-544"));
  descriptor.SetOwner(owner);
  world().CreateDirectory(L"C:\\d");
  world().WriteFile(L"C:\\f", "data");
  Settings().debugSystem = 1;
  std::wstring out = Output([&] {
    EXPECT_TRUE(WriteSecurity(descriptor, L"C:\\d", true, true, true, false));
    EXPECT_TRUE(WriteSecurity(descriptor, L"C:\\f", true, true, false, false));
  });
  EXPECT_NE(out.find(L"C:\\d -> directory should not exist at this point"), std::wstring::npos)
      << out;
  EXPECT_EQ(world().ReadFile(L"C:\\f"), "");

  // Nothing to write: nothing is created.
  SecDesc empty;
  EXPECT_TRUE(WriteSecurity(empty, L"C:\\none", true, true, false, false));
  EXPECT_FALSE(world().Exists(L"C:\\none"));
  // Setting no owner takes the part away again.
  descriptor.SetOwner(SId::Null());
  EXPECT_EQ(descriptor.parts(), 0u);
}

TEST_F(SecurityIoTest, ReadingFailuresAreLoggedOnceAndReturnFalse) {
  SecDesc descriptor;
  std::wstring out = Output(
      [&] { EXPECT_FALSE(ReadSecurity(&descriptor, L"C:\\missing", false, false, true, false)); });
  EXPECT_NE(out.find(L"Get SD Unable to open file C:\\missing, error 0x2"), std::wstring::npos)
      << out;

  // The SACL needs SeSecurityPrivilege.
  UseWorld(WorldJson(false));
  world().WriteFile(L"C:\\f", "");
  out =
      Output([&] { EXPECT_FALSE(ReadSecurity(&descriptor, L"C:\\f", true, false, true, false)); });
  EXPECT_NE(out.find(L"Get SD Unable to open file C:\\f, error 0x522"), std::wstring::npos) << out;
  EXPECT_TRUE(ReadSecurity(&descriptor, L"C:\\f", false, false, true, false));
}

// A DACL of count ACEs for one SID (20-byte ACEs).
std::vector<uint8_t> BigAcl(size_t count) {
  std::vector<uint8_t> acl = AclOf({});
  std::vector<uint8_t> one = AclOf({{0x1F01FF, L"S-1-5-18"}});
  for (size_t i = 0; i < count; ++i)
    acl.insert(acl.end(), one.begin() + 8, one.end());
  size_t size = acl.size();
  acl[2] = static_cast<uint8_t>(size);
  acl[3] = static_cast<uint8_t>(size >> 8);
  acl[4] = static_cast<uint8_t>(count);
  acl[5] = static_cast<uint8_t>(count >> 8);
  return acl;
}

TEST_F(SecurityIoTest, TheBufferGrowsToWhatTheDescriptorNeeds) {
  // ext4 keeps an attribute in one block; tmpfs holds one of up to 64 KiB.
  if (!std::filesystem::is_directory("/dev/shm"))
    GTEST_SKIP() << "no tmpfs at /dev/shm";
  const char* previous = std::getenv("TMPDIR");
  std::string kept = previous == nullptr ? "" : previous;
  ::setenv("TMPDIR", "/dev/shm", 1);
  UseWorld(WorldJson(true));
  if (previous == nullptr)
    ::unsetenv("TMPDIR");
  else
    ::setenv("TMPDIR", kept.c_str(), 1);

  DescriptorParts parts;
  parts.control = SE_DACL_PRESENT;
  parts.owner = Sid(L"S-1-5-32-544");
  parts.dacl = BigAcl(3000);  // 60,008 bytes
  world().WriteFile(L"C:\\big", "");
  Store(L"C:\\big", parts);
  SecDesc descriptor;
  ASSERT_TRUE(ReadSecurity(&descriptor, L"C:\\big", false, false, true, false));
  EXPECT_GE(descriptor.capacity(), 60000u);
  Acl dacl;
  ASSERT_TRUE(descriptor.GetDacl(&dacl));
  EXPECT_EQ(dacl.count(), 3000u);
}

TEST_F(SecurityIoTest, DescriptorsOver64KiBAreRefused) {
  // ERROR_MORE_DATA doubles the buffer: 1 KiB, 2, 4, 8, 16, 32, then 64 KiB,
  // one byte more than a descriptor may have.
  UseWorld(WorldJson(true, R"([
      {"call": "GetKernelObjectSecurity", "path": "C:\\fits", "error": "ERROR_MORE_DATA",
       "count": 5},
      {"call": "GetKernelObjectSecurity", "path": "C:\\big", "error": "ERROR_MORE_DATA",
       "count": 0}])"));
  world().WriteFile(L"C:\\fits", "");
  world().WriteFile(L"C:\\big", "");
  SecDesc descriptor;
  EXPECT_TRUE(ReadSecurity(&descriptor, L"C:\\fits", false, false, true, false));
  EXPECT_EQ(descriptor.capacity(), 32768u);
  std::wstring out = Output(
      [&] { EXPECT_FALSE(ReadSecurity(&descriptor, L"C:\\big", false, false, true, false)); });
  EXPECT_NE(out.find(L"Allocate memory request for SD > 64Kb ?? for file C:\\big"),
            std::wstring::npos)
      << out;
}

TEST_F(SecurityIoTest, WriteFailuresReportTheDescriptorUnderTheSecurityTrace) {
  UseWorld(WorldJson(true, R"([{"call": "SetKernelObjectSecurity", "path": "C:\\f",
                                "error": "ERROR_ACCESS_DENIED"}])"));
  world().WriteFile(L"C:\\f", "");
  SecDesc descriptor;
  SId owner(Sid(L"S-1-5-32-544"));
  descriptor.SetOwner(owner);
  Settings().debugSecurity = 1;
  std::wstring out = Output([&] {
    EXPECT_FALSE(WriteSecurity(descriptor, L"C:\\f", true, false, false, false));
    EXPECT_EQ(Os::GetLastError(), ERROR_ACCESS_DENIED);
  });
  EXPECT_NE(out.find(L"C:\\f -> Security descriptor validated by windows function : "
                     L"IsValidSecurityDescriptor"),
            std::wstring::npos)
      << out;
  EXPECT_NE(out.find(L"SID owner              : S-1-5-20-220"), std::wstring::npos) << out;
  EXPECT_NE(out.find(L"SID group              : NO SID"), std::wstring::npos) << out;
  EXPECT_NE(out.find(L"C:\\f -> Unable to set SD"), std::wstring::npos) << out;
}

TEST(DescriptorDumpTest, ShowsRevisionControlAndSidsInHexadecimal) {
  SecDesc descriptor;
  SId group(Sid(L"S-1-5-21-10-4095-3-513"));
  descriptor.SetGroup(group);
  std::wstring text = DescriptorDumpText(descriptor.descriptor());
  EXPECT_EQ(text,
            L"\nSecurity descriptor dump\n"
            L"revision               : 1\n"
            L"Size                   : 0\n"
            L"Control                : 0x0\n"
            L"SID owner              : NO SID\n"
            L"SID group              : S-1-5-15-a-fff-3-201");
}

}  // namespace
}  // namespace tarvik
