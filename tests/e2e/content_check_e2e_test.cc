// Verification of copied content by the built program: /cm bin after a copy
// and, in a listing, of targets whose date matches; /cm md5 reading the
// target back. A target is corrupted behind the program's back with its
// last-write time kept, so that only the comparison can notice.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>

#include "e2e_support.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;

constexpr size_t kBlock = 1048576;

// A statistics line: the label padded to 42 columns.
std::string StatLine(const std::string& label, const std::string& value) {
  return label + std::string(42 - label.size(), ' ') + ": " + value + "\n";
}

// Replaces the file's bytes in place and puts its last-write time back.
void Corrupt(const std::string& path, const std::string& bytes) {
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0) << path;
  WriteFile(path, bytes);
  const timespec times[2] = {info.st_atim, info.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

class ContentCheckE2eTest : public ::testing::Test {
 protected:
  RunOptions World(const std::string& faults = "[]") { return DriveCWorld(temp_, faults); }

  void MakeSource(const std::map<std::string, std::string>& files) {
    fs::create_directories(temp_ / "src");
    for (const auto& [name, bytes] : files)
      WriteFile(temp_ / ("src/" + name), bytes);
  }

  TempDir temp_;
};

TEST_F(ContentCheckE2eTest, BinaryComparisonReportsEveryKindOfDifference) {
  const std::map<std::string, std::string> files = {
      {"same.bin", RandomBytes(kBlock + 100, 1)},
      {"ten.txt", "0123456789"},
      {"later.bin", RandomBytes(2 * kBlock + 10, 2)},
      {"longer.bin", RandomBytes(3000, 3)},
      {"shorter.bin", RandomBytes(kBlock + 500, 4)},
      {"empty", ""},
      {"gone.txt", "present when copied"},
  };
  MakeSource(files);
  const std::vector<std::string> copy = {"C:\\src", "C:\\dst", "/s", "/nosec", "/r:0", "/w:0"};

  // The copy compares every file it wrote, the empty one too.
  std::vector<std::string> args = copy;
  args.push_back("/cm:bin");
  RunResult result = RunProgram(args, World());
  EXPECT_EQ(result.exitCode, 0) << result.out;
  for (const auto& [name, bytes] : files)
    EXPECT_EQ(Count(result.out, "C:\\dst\\" + name + " check content OK\n"), 1u) << name;
  EXPECT_EQ(Count(result.out, StatLine("Count of File content checked", "7")), 1u) << result.out;
  EXPECT_EQ(Count(result.out, "Count of File content mismatch"), 0u);

  // Each target damaged in one of the ways the comparison tells apart.
  const std::string dst = temp_ / "dst/";
  std::string ten = files.at("ten.txt");
  ten[5] = 'X';
  Corrupt(dst + "ten.txt", ten);
  std::string later = files.at("later.bin");
  later[kBlock + 1000] ^= 0x5A;
  Corrupt(dst + "later.bin", later);
  Corrupt(dst + "longer.bin", files.at("longer.bin") + "!");
  Corrupt(dst + "shorter.bin", files.at("shorter.bin").substr(0, kBlock + 100));
  Corrupt(dst + "empty", "x");

  // A listing compares the files whose date matches and changes nothing;
  // gone.txt vanishes between the listing and its comparison.
  args = copy;
  args.insert(args.end(), {"/l", "/cm:bin"});
  result = RunProgram(args, World(R"([{"call": "CreateFileW", "path": "*\\dst\\gone.txt",
                                       "error": "ERROR_FILE_NOT_FOUND"}])"));
  EXPECT_EQ(result.exitCode, 4) << result.out;
  const std::string warning = "WARNING : C:\\dst\\";
  const char* const mismatches[] = {
      "ten.txt content mismatch : inconsistency in content detected at offset 5",
      "later.bin content mismatch : inconsistency in content detected at offset 1049576",
      "longer.bin content mismatch : larger than source, extra bytes at the end",
      "shorter.bin content mismatch : smaller than source, partially migrated",
      "empty content mismatch : not empty but source file empty",
      "gone.txt file missing on target",
  };
  for (const std::string line : mismatches) {
    EXPECT_EQ(Count(result.out, warning + line + "\n"), 1u) << line << "\n" << result.out;
  }
  EXPECT_EQ(Count(result.out, "C:\\dst\\same.bin check content OK\n"), 1u) << result.out;
  EXPECT_EQ(Count(result.out, "check content OK"), 1u);
  EXPECT_EQ(Count(result.out, StatLine("Count of File content checked", "1")), 1u) << result.out;
  EXPECT_EQ(Count(result.out, StatLine("Count of File content mismatch", "6 !")), 1u);
  EXPECT_EQ(ReadFile(dst + "ten.txt"), ten);
  EXPECT_EQ(ReadFile(dst + "later.bin"), later);
  EXPECT_EQ(ReadFile(dst + "empty"), "x");

  // With /f both paths are named.
  result = RunProgram({"C:\\src", "C:\\dst", "same.bin", "/s", "/nosec", "/l", "/cm:bin", "/f"},
                      World());
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(Count(result.out, "C:\\src\\same.bin same content as  C:\\dst\\same.bin\n"), 1u)
      << result.out;
}

TEST_F(ContentCheckE2eTest, Md5ReadsEveryCopiedFileBack) {
  const std::string big = RandomBytes(kBlock + kBlock / 2, 5);
  MakeSource({{"big.bin", big}, {"small.txt", "small"}, {"empty", ""}});
  RunResult result =
      RunProgram({"C:\\src", "C:\\dst", "/s", "/nosec", "/r:0", "/w:0", "/cm:md5"}, World());
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(ReadFile(temp_ / "dst/big.bin"), big);
  // The empty file has no data to digest.
  EXPECT_EQ(Count(result.out, StatLine("Count of File MD5 checked", "2")), 1u) << result.out;
  EXPECT_EQ(Count(result.out, "Count of File MD5 mismatch"), 0u);

  // A target that cannot be read back is not confirmed: counted and in the
  // exit code, while the copy itself stands.
  result = RunProgram({"C:\\src", "C:\\dst2", "/s", "/nosec", "/r:0", "/w:0", "/cm:md5"},
                      World(R"([{"call": "ReadFile", "path": "*\\dst2\\big.bin",
                                 "error": "ERROR_NETNAME_DELETED", "count": 0}])"));
  EXPECT_EQ(result.exitCode, 4) << result.out;
  EXPECT_EQ(Count(result.out, "C:\\dst2\\big.bin -> unable to read file"), 1u) << result.out;
  EXPECT_EQ(Count(result.out, "Comparison failed after 1 retries."), 1u) << result.out;
  EXPECT_EQ(Count(result.out, StatLine("Count of File MD5 checked", "1")), 1u) << result.out;
  EXPECT_EQ(Count(result.out, StatLine("Count of File MD5 mismatch", "1 !")), 1u);
  EXPECT_EQ(Count(result.out, StatLine("File(s) copied", "3")), 1u);
  EXPECT_EQ(ReadFile(temp_ / "dst2/big.bin"), big);
}

TEST_F(ContentCheckE2eTest, WithoutAnMd5AlgorithmTheRunCopiesUnchecked) {
  MakeSource({{"a.txt", "data"}});
  // A crypto configuration that offers no MD5.
  const std::string config = temp_ / "openssl.cnf";
  WriteFile(config,
            "openssl_conf = init\n[init]\nproviders = providers\n[providers]\nbase = base\n"
            "[base]\nactivate = 1\n");
  RunOptions options = World();
  options.environment["OPENSSL_CONF"] = config;
  RunResult result = RunProgram({"C:\\src", "C:\\dst", "/s", "/nosec", "/cm:md5"}, options);
  EXPECT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(Count(result.out, "The MD5Init can not be found in ntcrypt.dll, error : "), 1u)
      << result.out;
  EXPECT_EQ(Count(result.out, "MD5 checkum calculation is disabled\n"), 1u);
  EXPECT_EQ(Count(result.out, "Count of File MD5"), 0u);
  EXPECT_EQ(Count(result.out, "Check content mode"), 0u);
  EXPECT_EQ(ReadFile(temp_ / "dst/a.txt"), "data");
}

}  // namespace
}  // namespace tarvik
