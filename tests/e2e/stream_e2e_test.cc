// Named streams through the built program: written on the source as a
// Samba file server writes them, copied with /stream, compared with /cm,
// copied again when their directory is newer, and refused visibly where the
// target cannot hold them.
#include <gtest/gtest.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#include <utime.h>

#include <filesystem>
#include <optional>
#include <string>

#include "e2e_support.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;

std::string StreamAttribute(const std::string& name) {
  return "user.DosStream." + name + ":$DATA";
}

// As the server stores a stream: its bytes and one NUL.
void PutStream(const std::string& path, const std::string& name, const std::string& bytes) {
  const std::string value = bytes + std::string(1, '\0');
  ASSERT_EQ(setxattr(path.c_str(), StreamAttribute(name).c_str(), value.data(), value.size(), 0), 0)
      << path << " " << name;
}

std::optional<std::string> StoredStream(const std::string& path, const std::string& name) {
  std::string value(70000, '\0');
  const ssize_t size =
      getxattr(path.c_str(), StreamAttribute(name).c_str(), value.data(), value.size());
  if (size < 0)
    return std::nullopt;
  value.resize(static_cast<size_t>(size));
  return value;
}

bool HasStreams(const std::string& path) {
  char names[4096];
  const ssize_t size = listxattr(path.c_str(), names, sizeof names);
  return size > 0 &&
         std::string(names, static_cast<size_t>(size)).find("user.DosStream.") != std::string::npos;
}

void MakeNewer(const std::string& path, int seconds) {
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  const utimbuf times{info.st_atime, info.st_mtime + seconds};
  ASSERT_EQ(utime(path.c_str(), &times), 0);
}

class StreamE2eTest : public ::testing::Test {
 protected:
  TempDir temp_;
};

TEST_F(StreamE2eTest, StreamsOfFilesAndDirectoriesArriveByteIdentical) {
  const std::string src = temp_ / "src";
  fs::create_directories(src + "/sub");
  WriteFile(src + "/a.txt", "the main data");
  PutStream(src + "/a.txt", "one", std::string("bytes\0with a NUL", 16));
  PutStream(src + "/a.txt", "Two", "");
  WriteFile(src + "/plain.txt", "no streams");
  PutStream(src + "/sub", "meta", "of the directory");
  const RunOptions world = DriveCWorld(temp_);

  // Without /stream nothing of them travels.
  RunResult plain = RunProgram({"C:\\src", "C:\\bare", "/s", "/nosec", "/r:0", "/w:0"}, world);
  EXPECT_EQ(plain.exitCode, 0) << plain.out;
  EXPECT_FALSE(HasStreams(temp_ / "bare/a.txt"));
  EXPECT_FALSE(HasStreams(temp_ / "bare/sub"));

  RunResult copy = RunProgram(
      {"C:\\src", "C:\\dst", "/s", "/nosec", "/stream", "/cm:bin", "/r:0", "/w:0"}, world);
  EXPECT_EQ(copy.exitCode, 0) << copy.out;
  // The file, then each named stream, each printed once; the unnamed
  // stream is the file itself.
  EXPECT_EQ(Count(copy.out, "C:\\src\\a.txt\n"), 1u) << copy.out;
  EXPECT_EQ(Count(copy.out, "C:\\src\\a.txt:one\n"), 1u);
  EXPECT_EQ(Count(copy.out, "C:\\src\\a.txt:Two\n"), 1u);
  EXPECT_EQ(Count(copy.out, "$DATA"), 0u);
  EXPECT_EQ(Count(copy.out, "C:\\src\\sub:meta\n"), 1u);
  EXPECT_EQ(Count(copy.out, "C:\\dst\\a.txt:one check content OK\n"), 1u);
  EXPECT_EQ(Count(copy.out, "C:\\dst\\sub:meta check content OK\n"), 1u);
  const std::string dst = temp_ / "dst";
  EXPECT_EQ(ReadFile(dst + "/a.txt"), "the main data");
  EXPECT_EQ(StoredStream(dst + "/a.txt", "one"), std::string("bytes\0with a NUL\0", 17));
  EXPECT_EQ(StoredStream(dst + "/a.txt", "Two"), std::string(1, '\0'));
  EXPECT_EQ(StoredStream(dst + "/sub", "meta"), std::string("of the directory\0", 17));
  EXPECT_FALSE(HasStreams(dst + "/plain.txt"));

  // A directory whose source is newer has its streams copied again; an
  // unchanged one is left alone with /d.
  PutStream(src + "/sub", "meta", "changed");
  MakeNewer(src + "/sub", 10);
  RunResult again =
      RunProgram({"C:\\src", "C:\\dst", "/s", "/nosec", "/stream", "/d", "/r:0", "/w:0"}, world);
  EXPECT_LT(again.exitCode, 8) << again.out;
  EXPECT_EQ(Count(again.out, "C:\\src\\sub:meta\n"), 1u) << again.out;
  EXPECT_EQ(Count(again.out, "C:\\src\\a.txt"), 0u);
  EXPECT_EQ(StoredStream(dst + "/sub", "meta"), std::string("changed\0", 8));
}

// The host keeps a file's extended attributes in one block on ext4; a
// stream tmpfs holds does not fit there.
TEST_F(StreamE2eTest, AStreamTheTargetCannotHoldFailsTheFileVisibly) {
  struct statfs shm {
  }, tmp{};
  if (statfs("/dev/shm", &shm) != 0 || shm.f_type != TMPFS_MAGIC ||
      statfs(temp_.path().c_str(), &tmp) != 0 || tmp.f_type != EXT4_SUPER_MAGIC) {
    GTEST_SKIP() << "needs a tmpfs /dev/shm and an ext4 temporary directory";
  }
  std::string pattern = "/dev/shm/tarvik_e2e_XXXXXX";
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const std::string shm_dir = pattern;
  fs::create_directories(shm_dir + "/src");
  WriteFile(shm_dir + "/src/big.txt", "main");
  PutStream(shm_dir + "/src/big.txt", "large", RandomBytes(16384, 7));
  WriteFile(shm_dir + "/src/small.txt", "fine");
  PutStream(shm_dir + "/src/small.txt", "tag", "kept");
  const std::string world_file = temp_ / "world.json";
  WriteFile(world_file, R"({"computer": "E2EPC", "drives": {"C:": {"path": ")" + temp_.path() +
                            R"("}, "D:": {"path": ")" + shm_dir + R"("}}})");
  RunOptions world;
  world.environment["TARVIK_WORLD"] = world_file;

  // /c: the failure must not end the run before the other file is copied.
  RunResult result =
      RunProgram({"D:\\src", "C:\\dst", "/s", "/nosec", "/stream", "/c", "/r:0", "/w:0"}, world);
  fs::remove_all(shm_dir);
  EXPECT_NE(result.exitCode & 4, 0) << result.out;
  EXPECT_EQ(Count(result.out, "ERROR (223) : D:\\src\\big.txt:large -> Failed after"), 1u)
      << result.out;
  EXPECT_EQ(Count(result.out, "Copy of File(s) failed                    : 1 !"), 1u) << result.out;
  // Nothing half-copied stays behind; the other file is whole.
  EXPECT_FALSE(fs::exists(temp_ / "dst/big.txt"));
  EXPECT_EQ(StoredStream(temp_ / "dst/small.txt", "tag"), std::string("kept\0", 5));
}

TEST_F(StreamE2eTest, AVolumeWithoutStreamsRefusesThemVisibly) {
  fs::create_directories(temp_ / "src");
  fs::create_directories(temp_ / "fat");
  WriteFile(temp_ / "src/tagged.txt", "main");
  PutStream(temp_ / "src/tagged.txt", "tag", "kept");
  WriteFile(temp_ / "src/plain.txt", "plain");
  const std::string world_file = temp_ / "world.json";
  WriteFile(world_file, R"({"computer": "E2EPC", "drives": {"C:": {"path": ")" + temp_.path() +
                            R"("}, "F:": {"path": ")" + (temp_ / "fat") +
                            R"(", "volume": {"file_system": "FAT32", "streams": false}}}})");
  RunOptions world;
  world.environment["TARVIK_WORLD"] = world_file;

  RunResult result =
      RunProgram({"C:\\src", "F:\\dst", "/s", "/nosec", "/stream", "/c", "/r:0", "/w:0"}, world);
  EXPECT_NE(result.exitCode & 4, 0) << result.out;
  EXPECT_EQ(Count(result.out, "ERROR (123) : F:\\dst\\tagged.txt:tag -> Unable to open file"), 1u)
      << result.out;
  EXPECT_FALSE(fs::exists(temp_ / "fat/dst/tagged.txt"));
  EXPECT_EQ(ReadFile(temp_ / "fat/dst/plain.txt"), "plain");
  EXPECT_FALSE(HasStreams(temp_ / "fat/dst/plain.txt"));
}

}  // namespace
}  // namespace tarvik
