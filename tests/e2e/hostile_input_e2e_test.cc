// Source trees with damaged metadata, as a file server may hold them: each
// damaged object is reported on one line, counted and failed, and every
// other object is copied intact.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/sd/descriptor_bytes.h"
#include "e2e_support.h"
#include "platform/posix/dos_attributes.h"
#include "platform/posix/nt_acl.h"
#include "support/security_bytes.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;

void SetAttribute(const std::string& path, const char* name, const std::string& value) {
  ASSERT_EQ(setxattr(path.c_str(), name, value.data(), value.size(), 0), 0) << path << " " << name;
}

std::string Hex(std::string_view hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return bytes;
}

// A descriptor the walker accepts whose only ACE holds a SID claiming more
// sub-authorities than the ACE has room for.
std::string DescriptorWithDamagedAce() {
  DescriptorParts parts;
  parts.control = 0x8004;  // self-relative, DACL present
  parts.owner = Sid(L"S-1-5-32-544");
  parts.group = Sid(L"S-1-5-18");
  parts.dacl = AclOf({{0x1F01FF, L"S-1-1-0"}});
  parts.dacl[8 + 8 + 1] = 5;
  return EncodeNtAcl(parts);
}

// Builds the source tree: good objects and one object per kind of damage.
void MakeSource(const std::string& src) {
  fs::create_directories(src + "/sub");
  fs::create_directories(src + "/bad_dir");
  for (const char* name : {"good1", "good2", "sub/good3", "bad_dir/inner", "bad_sd", "bad_ace",
                           "bad_dos", "bad_reparse", "bad_mark"}) {
    WriteFile(src + "/" + name, std::string("data of ") + name);
  }
  SetAttribute(src + "/good2", "user.DOSATTRIB", "0x22");  // hidden, archive
  SetAttribute(src + "/bad_sd", "security.NTACL", Hex("0300deadbeef"));
  SetAttribute(src + "/bad_ace", "security.NTACL", DescriptorWithDamagedAce());
  SetAttribute(src + "/bad_dos", "user.DOSATTRIB", Hex("00112233"));
  SetAttribute(src + "/bad_dir", "user.DOSATTRIB", "garbage");
  // A symbolic link buffer whose names do not fit its data.
  SetAttribute(src + "/bad_reparse", "user.DOSATTRIB", "0x420");
  SetAttribute(src + "/bad_reparse", "user.SmbReparse", Hex("0c0000a00400000001020304"));
  // Marked a reparse point, with no buffer at all.
  SetAttribute(src + "/bad_mark", "user.DOSATTRIB", "0x420");
}

// Every regular file under dst is complete: the bytes of its source and no
// mark of an unfinished write.
void ExpectOnlyCompleteFiles(const std::string& src, const std::string& dst) {
  for (const auto& entry : fs::recursive_directory_iterator(dst)) {
    if (!entry.is_regular_file())
      continue;
    const fs::path relative = entry.path().lexically_relative(dst);
    EXPECT_EQ(ReadFile(entry.path()), ReadFile((fs::path(src) / relative).string())) << relative;
    struct stat info {};
    ASSERT_EQ(stat(entry.path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & S_ISVTX, 0u) << relative;
  }
}

TEST(HostileInputE2eTest, DamagedMetadataFailsOnlyTheObjectItIsOn) {
  TempDir temp;
  const std::string src = temp / "src";
  const std::string dst = temp / "dst";
  MakeSource(src);

  RunResult result = RunProgram({src, dst, "/s", "/r:0", "/w:0", "/c"});
  // Security and data failures, nothing worse.
  EXPECT_EQ(result.exitCode, 6) << result.out;
  const std::string& out = result.out;
  for (const std::string& line : {
           "ERROR (1338) : Unable to get SD of file " + src + "\\bad_sd\n",
           "ERROR (1392) : " + src + "\\bad_dos -> Unable to open\n",
           "ERROR (4392) : " + src + "\\bad_reparse : unable to get reparse buffer\n",
           "ERROR (1392) : " + src + "\\bad_mark -> Unable to open\n",
           "ERROR (1392) : " + src + "\\bad_dir\\* -> Unable to get content\n",
       }) {
    EXPECT_EQ(Count(out, line), 1u) << line << out;
  }
  EXPECT_EQ(Count(out, "WARNING : " + src + "\\bad_ace -> Invalid ACE\n"), 1u) << out;
  EXPECT_EQ(Count(out, "ERROR (1338) : " + dst + "\\bad_ace -> Unable to fix security\n"), 1u);
  EXPECT_NE(out.find("Reading of Directory(ies) failed          : 1 !"), std::string::npos) << out;
  EXPECT_NE(out.find("Security Descriptor Setting(s) failed     : 2 !"), std::string::npos) << out;

  for (const char* name : {"good1", "good2", "sub/good3"})
    EXPECT_EQ(ReadFile(dst + "/" + name), ReadFile(src + "/" + name)) << name;
  std::string value(256, '\0');
  ssize_t size = getxattr((dst + "/good2").c_str(), "user.DOSATTRIB", value.data(), value.size());
  ASSERT_GT(size, 0);
  std::optional<DosInfo> info = DecodeDosAttrib(value.substr(0, size));
  ASSERT_TRUE(info && info->attributes);
  EXPECT_EQ(*info->attributes & 0x2, 0x2u);  // still hidden
  for (const char* name : {"bad_dos", "bad_reparse", "bad_mark", "bad_dir/inner"})
    EXPECT_FALSE(fs::exists(dst + "/" + name)) << name;
  ExpectOnlyCompleteFiles(src, dst);

  // Without /c the first failure ends the run: a failure in its exit code,
  // and nothing half-copied left behind.
  const std::string dst2 = temp / "dst2";
  result = RunProgram({src, dst2, "/s", "/r:0", "/w:0"});
  EXPECT_NE(result.exitCode & 4, 0) << result.out;
  EXPECT_LT(result.exitCode, 16) << result.out;
  ExpectOnlyCompleteFiles(src, dst2);
}

}  // namespace
}  // namespace tarvik
