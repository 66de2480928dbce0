#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "copy_fixture.h"
#include "scan/dir_cmp.h"
#include "util/utf.h"

namespace tarvik {
namespace {

std::string RandomBytes(size_t size, uint32_t seed) {
  std::mt19937_64 generator(seed);
  std::string bytes(size + 8, '\0');
  for (size_t i = 0; i < size; i += 8) {
    const uint64_t value = generator();
    std::memcpy(&bytes[i], &value, 8);
  }
  bytes.resize(size);
  return bytes;
}

const FILETIME kOld = FileTimeFromUnix(1000000000, 1234567);  // 2001
const FILETIME kNew = FileTimeFromUnix(1500000000, 7654321);  // 2017

FileTimes Written(FILETIME last_write) {
  return FileTimes{
      .creation = FileTimeFromUnix(900000000), .last_access = last_write, .last_write = last_write};
}

constexpr DWORD kAttributeMask = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                 FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                 FILE_ATTRIBUTE_DIRECTORY;

TEST_F(CopyEngineTest, CopiesATreeWithOneAndWithManyWorkers) {
  const std::string big = RandomBytes(65537, 1);
  const std::string huge = RandomBytes(3 * 1048576 + 17, 2);
  world().WriteFile(L"C:\\src\\a.txt", "hello", Written(kOld));
  world().CreateDirectory(L"C:\\src\\empty");
  world().WriteFile(L"C:\\src\\sub\\one.bin", "x", Written(kNew));
  world().WriteFile(L"C:\\src\\sub\\big.bin", big, Written(kOld));
  world().WriteFile(L"C:\\src\\sub\\deep\\huge.bin", huge, Written(kNew));
  world().WriteFile(L"C:\\src\\sub\\deep\\zero", "", Written(kOld));
  world().WriteFile(L"C:\\src\\ro.txt", "read only", Written(kOld));
  world().SetAttributes(L"C:\\src\\ro.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);

  for (int32_t threads : {1, 8}) {
    SCOPED_TRACE(threads);
    const std::wstring dst = L"C:\\dst" + std::to_wstring(threads);
    Settings().threadCount = threads;
    CopyRun run = Run(L"C:\\src", dst);
    ASSERT_TRUE(run.started) << ToUtf8(run.output);
    EXPECT_EQ(run.exitBits, 0u) << ToUtf8(run.output);
    EXPECT_EQ(world().ReadFile(dst + L"\\a.txt"), "hello");
    EXPECT_EQ(world().ReadFile(dst + L"\\sub\\one.bin"), "x");
    EXPECT_EQ(world().ReadFile(dst + L"\\sub\\big.bin"), big);
    EXPECT_EQ(world().ReadFile(dst + L"\\sub\\deep\\huge.bin"), huge);
    EXPECT_EQ(world().ReadFile(dst + L"\\sub\\deep\\zero"), "");
    EXPECT_EQ(world().ReadFile(dst + L"\\ro.txt"), "read only");
    EXPECT_TRUE(world().Exists(dst + L"\\empty"));
    for (const wchar_t* name : {L"\\a.txt", L"\\sub\\one.bin", L"\\sub\\big.bin",
                                L"\\sub\\deep\\huge.bin", L"\\sub\\deep\\zero", L"\\ro.txt"}) {
      SCOPED_TRACE(ToUtf8(name));
      const WIN32_FIND_DATAW source = Info(L"C:\\src" + std::wstring(name));
      const WIN32_FIND_DATAW target = Info(dst + name);
      EXPECT_EQ(FileTimeValue(target.ftLastWriteTime), FileTimeValue(source.ftLastWriteTime));
      EXPECT_EQ(FileTimeValue(target.ftCreationTime), FileTimeValue(source.ftCreationTime));
      EXPECT_EQ(target.dwFileAttributes & kAttributeMask, source.dwFileAttributes & kAttributeMask);
    }
    EXPECT_EQ(run.totals.copy.filesCopied, 6u);
    EXPECT_EQ(run.totals.copy.directoriesCreated, 4u);  // the root, empty, sub, deep
    EXPECT_EQ(run.totals.copy.bytesCopied, 5u + 1 + big.size() + huge.size() + 9);
    EXPECT_EQ(run.totals.copy.fileCopiesFailed, 0u);
    EXPECT_EQ(run.totals.scan.filesFound, 6u);
    EXPECT_EQ(run.Count(L"Processing the copy from C:\\src\\ to " + dst + L"\\ ..."), 1u);
    EXPECT_TRUE(run.Printed(L"C:\\src\\sub\\deep\\huge.bin\n"));
    if (threads == 1) {
      EXPECT_EQ(run.totals.treesTaken, 1);
      EXPECT_EQ(run.totals.filesTaken, 0);
      EXPECT_TRUE(run.Printed(L"TH001 : ")) << ToUtf8(run.output);
      EXPECT_FALSE(run.Printed(L"TH002 : "));
    } else {
      EXPECT_GT(run.totals.filesTaken + run.totals.treesTaken, 1);
    }
  }
}

TEST_F(CopyEngineTest, DirectoryDatesAreSetAfterTheLastWorkerLeftThem) {
  const FILETIME dir_time = FileTimeFromUnix(1100000000, 99);
  for (int i = 0; i < 40; ++i)
    world().WriteFile(L"C:\\src\\many\\f" + std::to_wstring(i), RandomBytes(70000, i),
                      Written(kNew));
  for (int i = 0; i < 5; ++i)
    world().WriteFile(L"C:\\src\\many\\nested" + std::to_wstring(i) + L"\\g", "g", Written(kNew));
  world().SetTimes(L"C:\\src\\many", Written(dir_time));
  for (int i = 0; i < 5; ++i)
    world().SetTimes(L"C:\\src\\many\\nested" + std::to_wstring(i), Written(kOld));
  world().SetTimes(L"C:\\src", Written(kOld));

  Settings().threadCount = 16;
  Settings().syncDirDates = 1;
  CopyRun run = Run();
  ASSERT_EQ(run.exitBits, 0u) << ToUtf8(run.output);
  EXPECT_EQ(LastWrite(L"C:\\dst\\many"), FileTimeValue(dir_time));
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(LastWrite(L"C:\\dst\\many\\nested" + std::to_wstring(i)), FileTimeValue(kOld));
  // Every reference taken was given back.
  EXPECT_EQ(run.totals.attachRefCount, run.totals.releaseRefCount);
  EXPECT_GT(run.totals.attachRefCount, 0u);

  // Without /sdd the directories keep the dates their files gave them.
  Settings().syncDirDates = 0;
  run = Run(L"C:\\src", L"C:\\plain");
  EXPECT_NE(LastWrite(L"C:\\plain\\many"), FileTimeValue(dir_time));
}

// The files of the decision test: the source side and what the target holds.
void WriteDecisionTree(TestWorld& world) {
  world.WriteFile(L"C:\\src\\newer.txt", "source", Written(kNew));
  world.WriteFile(L"C:\\dst\\newer.txt", "target", Written(kOld));
  world.WriteFile(L"C:\\src\\older.txt", "source", Written(kOld));
  world.WriteFile(L"C:\\dst\\older.txt", "target", Written(kNew));
  world.WriteFile(L"C:\\src\\same.txt", "source", Written(kNew));
  world.WriteFile(L"C:\\dst\\same.txt", "target", Written(kNew));
  world.WriteFile(L"C:\\src\\sized.txt", "longer source", Written(kNew));
  world.WriteFile(L"C:\\dst\\sized.txt", "target", Written(kNew));
  world.WriteFile(L"C:\\src\\missing.txt", "source", Written(kNew));
}

TEST_F(CopyEngineTest, DateSelectionsDecideWhatIsCopied) {
  struct Case {
    const char* name;
    int32_t newer_only;
    int32_t different_only;
    // Whether newer, older, same and sized end up with the source's data.
    bool older, same, sized;
  };
  const Case cases[] = {
      {"all", 0, 0, true, true, true},
      {"/d", 1, 0, false, false, false},
      {"/de", 0, 1, true, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(world().HostPath(L"C:\\dst"));
    WriteDecisionTree(world());
    Settings().newerOnly = c.newer_only;
    Settings().differentOnly = c.different_only;
    Settings().timeSelection = c.newer_only || c.different_only;
    CopyRun run = Run();
    EXPECT_EQ(run.exitBits, 0u) << ToUtf8(run.output);
    auto expect = [&](const wchar_t* name, bool copied) {
      const std::string data = world().ReadFile(std::wstring(L"C:\\dst\\") + name);
      EXPECT_EQ(data != "target", copied) << ToUtf8(name) << ": " << data;
    };
    expect(L"newer.txt", true);
    expect(L"missing.txt", true);
    expect(L"older.txt", c.older);
    expect(L"same.txt", c.same);
    expect(L"sized.txt", c.sized);
    EXPECT_EQ(run.totals.copy.filesCopied, 2u + c.older + c.same + c.sized);
    EXPECT_EQ(run.totals.scan.sourceNewer, 1u);
    EXPECT_EQ(run.totals.scan.sourceOlder, 1u);
    EXPECT_EQ(run.totals.scan.sameAge, 2u);
  }
}

// A /d re-run hands to workers only the files it has something to do with;
// those it leaves alone it looks at itself.
TEST_F(CopyEngineTest, ReRunHandsOverOnlyFilesWithWorkToDo) {
  for (int i = 0; i < 30; ++i)
    world().WriteFile(L"C:\\src\\same" + std::to_wstring(i), "data", Written(kOld));
  world().WriteFile(L"C:\\src\\older.txt", "source", Written(kOld));
  world().WriteFile(L"C:\\src\\touched.txt", "source", Written(kOld));
  world().WriteFile(L"C:\\src\\changed.txt", "source", Written(kOld));
  Settings().threadCount = 8;
  CopyRun run = Run();
  ASSERT_EQ(run.exitBits, 0u) << ToUtf8(run.output);

  world().WriteFile(L"C:\\dst\\older.txt", "target", Written(kNew));
  world().SetAttributes(L"C:\\src\\touched.txt", FILE_ATTRIBUTE_HIDDEN);
  world().WriteFile(L"C:\\src\\changed.txt", "changed", Written(kNew));
  Settings().newerOnly = 1;
  Settings().timeSelection = 1;
  run = Run();
  EXPECT_EQ(run.exitBits, 0u) << ToUtf8(run.output);
  EXPECT_EQ(run.totals.filesTaken, 2);  // touched.txt and changed.txt
  EXPECT_EQ(run.totals.scan.sameAge, 31u);
  EXPECT_EQ(run.totals.scan.sourceOlder, 1u);
  EXPECT_EQ(run.totals.scan.sourceNewer, 1u);
  EXPECT_EQ(run.totals.copy.filesCopied, 1u);
  EXPECT_EQ(world().ReadFile(L"C:\\dst\\changed.txt"), "changed");
  EXPECT_EQ(world().ReadFile(L"C:\\dst\\older.txt"), "target");
  EXPECT_TRUE(Attributes(L"C:\\dst\\touched.txt") & FILE_ATTRIBUTE_HIDDEN);
}

TEST_F(CopyEngineTest, ListingWritesNothing) {
  WriteDecisionTree(world());
  world().WriteFile(L"C:\\src\\newdir\\inside.txt", "12345", Written(kNew));
  Settings().listOnly = 1;
  Settings().newerOnly = 1;
  Settings().timeSelection = 1;
  CopyRun run = Run();
  EXPECT_EQ(run.exitBits, 0u);
  EXPECT_TRUE(
      run.Printed(L"\nProcessing the evaluation of the copy from C:\\src\\ to C:\\dst\\ ..."));
  EXPECT_EQ(world().ReadFile(L"C:\\dst\\newer.txt"), "target");
  EXPECT_FALSE(world().Exists(L"C:\\dst\\missing.txt"));
  EXPECT_FALSE(world().Exists(L"C:\\dst\\newdir"));
  EXPECT_EQ(run.totals.copy.bytesCopied, 6u + 6 + 5);  // newer, missing, inside
  EXPECT_EQ(run.totals.copy.directoriesCreated, 1u);
  EXPECT_EQ(LastWrite(L"C:\\dst\\newer.txt"), FileTimeValue(kOld));
}

TEST_F(CopyEngineTest, CreateOnlyMakesEmptyFilesAndLeavesOthersAlone) {
  world().WriteFile(L"C:\\src\\zero.txt", "", Written(kNew));
  world().WriteFile(L"C:\\src\\data.txt", "12345", Written(kNew));
  world().WriteFile(L"C:\\src\\existing.txt", "new data", Written(kNew));
  world().WriteFile(L"C:\\dst\\existing.txt", "old", Written(kOld));
  Settings().createOnly = 1;
  CopyRun run = Run();
  EXPECT_EQ(run.exitBits, 0u) << ToUtf8(run.output);
  EXPECT_TRUE(world().Exists(L"C:\\dst\\zero.txt"));
  EXPECT_FALSE(world().Exists(L"C:\\dst\\data.txt"));
  EXPECT_EQ(world().ReadFile(L"C:\\dst\\existing.txt"), "old");
  EXPECT_EQ(LastWrite(L"C:\\dst\\existing.txt"), FileTimeValue(kOld));
  EXPECT_TRUE(run.Printed(L"File C:\\src\\existing.txt already exist, can't proceed the copy."));
  EXPECT_TRUE(
      run.Printed(L"File C:\\src\\data.txt -> file already exist, can't proceed the copy."));
  EXPECT_EQ(run.totals.copy.filesCopied, 1u);
  EXPECT_EQ(run.totals.copy.bytesCopied, 0u);

  // With security, every new file is created (empty) by the security step,
  // with the source's descriptor.
  Settings().noSecurity = 0;
  Settings().securityMode = SecurityMode::Copy;
  run = Run(L"C:\\src", L"C:\\secured");
  EXPECT_EQ(run.exitBits, 0u) << ToUtf8(run.output);
  EXPECT_TRUE(world().GetXattr(L"C:\\secured\\data.txt", "security.NTACL").has_value());
  // The three files and the target root this run made.
  EXPECT_TRUE(world().GetXattr(L"C:\\secured", "security.NTACL").has_value());
  EXPECT_EQ(run.totals.copy.securitySettingsDone, 4u);
  EXPECT_EQ(world().ReadFile(L"C:\\secured\\data.txt"), "");
  EXPECT_EQ(LastWrite(L"C:\\secured\\data.txt"), FileTimeValue(kNew));
  EXPECT_EQ(run.totals.copy.filesCopied, 3u);
}

TEST_F(CopyEngineTest, ReadOnlyTargetIsOverwrittenAndStaysReadOnly) {
  world().WriteFile(L"C:\\src\\ro.txt", "fresh", Written(kNew));
  world().WriteFile(L"C:\\dst\\ro.txt", "stale", Written(kOld));
  world().SetAttributes(L"C:\\dst\\ro.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
  world().SetAttributes(L"C:\\src\\ro.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
  CopyRun run = Run();
  EXPECT_EQ(run.exitBits, 0u) << ToUtf8(run.output);
  EXPECT_EQ(world().ReadFile(L"C:\\dst\\ro.txt"), "fresh");
  EXPECT_TRUE(Attributes(L"C:\\dst\\ro.txt") & FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(LastWrite(L"C:\\dst\\ro.txt"), FileTimeValue(kNew));
}

TEST_F(CopyEngineTest, NetworkErrorRestartsTheCopyFromTheStart) {
  UseWorld(WorldWithFaults(
      R"([{"call": "ReadFile", "path": "*\\src\\big.bin", "error": "ERROR_NETNAME_DELETED",
          "count": 1, "after": 1}])"));
  const std::string big = RandomBytes(2 * 1048576 + 5, 3);
  world().WriteFile(L"C:\\src\\big.bin", big, Written(kNew));
  Settings().retryCount = 2;
  CopyRun run = Run();
  EXPECT_EQ(run.exitBits, 0u) << ToUtf8(run.output);
  EXPECT_EQ(world().ReadFile(L"C:\\dst\\big.bin"), big);
  EXPECT_EQ(LastWrite(L"C:\\dst\\big.bin"), FileTimeValue(kNew));
  EXPECT_EQ(run.Count(L"C:\\src\\big.bin -> unable to read file"), 1u) << ToUtf8(run.output);
  EXPECT_EQ(run.Count(L"C:\\src\\big.bin Restarting the copy"), 1u);
  // Only the data of the complete copy counts.
  EXPECT_EQ(run.totals.copy.bytesCopied, big.size());
}

TEST_F(CopyEngineTest, BlockSizedCopiesWithAndWithoutLargePageBuffers) {
  // Without large-page memory the heap buffer carries every copy.
  for (const char* faults : {"[]", R"([{"call": "VirtualAlloc", "error": "ERROR_NOT_ENOUGH_MEMORY",
                                      "count": 0}])"}) {
    SCOPED_TRACE(faults);
    UseWorld(WorldWithFaults(faults));
    std::vector<std::string> data;
    for (size_t size : {size_t{1048575}, size_t{1048576}, size_t{1048577}, size_t{3 * 1048576 + 7},
                        size_t{100}}) {
      data.push_back(RandomBytes(size, static_cast<uint32_t>(size)));
      world().WriteFile(L"C:\\src\\f" + std::to_wstring(data.size()) + L".bin", data.back(),
                        Written(kNew));
    }
    Settings().threadCount = 1;  // one engine takes every size in turn
    CopyRun run = Run();
    EXPECT_EQ(run.exitBits, 0u) << ToUtf8(run.output);
    for (size_t i = 0; i < data.size(); ++i)
      EXPECT_EQ(world().ReadFile(L"C:\\dst\\f" + std::to_wstring(i + 1) + L".bin"), data[i]) << i;
  }
}

TEST_F(CopyEngineTest, RestartsEndAfterTheRetryCount) {
  UseWorld(WorldWithFaults(
      R"([{"call": "ReadFile", "path": "*\\src\\big.bin", "error": "ERROR_VC_DISCONNECTED",
          "count": 0, "after": 1}])"));
  world().WriteFile(L"C:\\src\\big.bin", RandomBytes(1048576 + 1, 4), Written(kNew));
  world().WriteFile(L"C:\\src\\small.txt", "small", Written(kNew));
  Settings().retryCount = 2;
  Settings().continueOnError = 1;
  Settings().threadCount = 1;
  CopyRun run = Run();
  EXPECT_EQ(run.Count(L"Restarting the copy"), 1u) << ToUtf8(run.output);
  EXPECT_TRUE(run.Printed(L"C:\\src\\big.bin -> Failed after 2 retries."));
  EXPECT_TRUE(run.Printed(L"C:\\dst\\big.bin -> DELETED due to copy ABORT."));
  EXPECT_FALSE(world().Exists(L"C:\\dst\\big.bin"));
  EXPECT_EQ(world().ReadFile(L"C:\\dst\\small.txt"), "small");  // /c goes on
  EXPECT_EQ(run.totals.copy.fileCopiesFailed, 1u);
  EXPECT_EQ(run.totals.copy.deletedFiles, 1u);
  EXPECT_EQ(run.exitBits, uint32_t{kResultDataError});
}

TEST_F(CopyEngineTest, PartialTargetKeepsTheRecoveryMarkAndIsRecoveredLater) {
  UseWorld(WorldWithFaults(
      R"([{"call": "WriteFile", "path": "*\\dst\\part.bin", "error": "ERROR_WRITE_FAULT",
          "count": 0, "after": 1},
         {"call": "DeleteFileW", "path": "*\\dst\\part.bin", "error": "ERROR_ACCESS_DENIED",
          "count": 1}])"));
  const std::string data = RandomBytes(3 * 1048576, 5);
  world().WriteFile(L"C:\\src\\part.bin", data, Written(kOld));
  world().CreateDirectory(L"C:\\dst");
  Settings().threadCount = 1;
  Settings().retryCount = 0;
  Settings().continueOnError = 1;
  CopyRun run = Run();
  EXPECT_TRUE(run.Printed(L"C:\\dst\\part.bin -> DELETION FAILED.")) << ToUtf8(run.output);
  EXPECT_EQ(run.totals.copy.deletedFilesFailed, 1u);
  EXPECT_EQ(run.totals.copy.fileCopiesFailed, 1u);
  // Nothing was copied: the data error is also a critical one.
  EXPECT_EQ(run.exitBits, uint32_t{kResultDataError | kResultCritical});
  ASSERT_TRUE(world().Exists(L"C:\\dst\\part.bin"));
  EXPECT_EQ(LastWrite(L"C:\\dst\\part.bin"), static_cast<uint64_t>(recoveryMarkTime));

  // The next run recopies it, even when only newer files are copied.
  UseWorld(WorldWithFaults("[]"));
  Settings().newerOnly = 1;
  Settings().timeSelection = 1;
  world().WriteFile(L"C:\\src\\part.bin", data, Written(kOld));
  world().WriteFile(L"C:\\dst\\part.bin", "partial", Written(kNew));
  FileTimes marked;
  marked.last_write = FILETIME{static_cast<DWORD>(recoveryMarkTime & 0xFFFFFFFF),
                               static_cast<DWORD>(static_cast<uint64_t>(recoveryMarkTime) >> 32)};
  world().SetTimes(L"C:\\dst\\part.bin", marked);
  run = Run();
  EXPECT_EQ(run.exitBits, 0u) << ToUtf8(run.output);
  EXPECT_TRUE(
      run.Printed(L"C:\\dst\\part.bin -> File will be recovered following posterior "
                  L"copy failure"));
  EXPECT_EQ(run.totals.scan.filesRecovered, 1u);
  EXPECT_EQ(world().ReadFile(L"C:\\dst\\part.bin"), data);
  EXPECT_EQ(LastWrite(L"C:\\dst\\part.bin"), FileTimeValue(kOld));
}

TEST_F(CopyEngineTest, UnreadableSourceLeavesTheTargetsLastGoodCopy) {
  // Every source opens once, for the setting of its times below; then never.
  UseWorld(WorldWithFaults(
      R"([{"call": "CreateFileW", "path": "*\\src\\*.txt", "error": "ERROR_SHARING_VIOLATION",
          "after": 3, "count": 0}])"));
  world().WriteFile(L"C:\\src\\a_older.txt", "fresh", Written(kNew));
  world().WriteFile(L"C:\\dst\\a_older.txt", "good", Written(kOld));
  world().WriteFile(L"C:\\src\\b_ro.txt", "fresh", Written(kNew));
  world().WriteFile(L"C:\\dst\\b_ro.txt", "read-only", Written(kOld));
  world().SetAttributes(L"C:\\dst\\b_ro.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
  world().WriteFile(L"C:\\src\\c_new.txt", "fresh", Written(kNew));
  Settings().retryCount = 0;
  Settings().threadCount = 1;
  for (const int security : {0, 1}) {
    for (const int continue_on_error : {1, 0}) {
      SCOPED_TRACE(testing::Message() << "security " << security << ", /c " << continue_on_error);
      Settings().noSecurity = security == 0;
      Settings().securityMode = security == 0 ? SecurityMode::None : SecurityMode::Copy;
      Settings().continueOnError = continue_on_error;
      CopyRun run = Run();
      EXPECT_TRUE(run.Printed(L"C:\\src\\a_older.txt -> Unable to open")) << ToUtf8(run.output);
      EXPECT_EQ(world().ReadFile(L"C:\\dst\\a_older.txt"), "good");
      EXPECT_EQ(LastWrite(L"C:\\dst\\a_older.txt"), FileTimeValue(kOld));
      EXPECT_FALSE(run.Printed(L"C:\\dst\\a_older.txt -> Trying to DELETE"));
      EXPECT_TRUE(run.exitBits & kResultDataError);
      if (!continue_on_error)
        continue;  // the first failure ends the run
      EXPECT_EQ(world().ReadFile(L"C:\\dst\\b_ro.txt"), "read-only");
      EXPECT_TRUE(Attributes(L"C:\\dst\\b_ro.txt") & FILE_ATTRIBUTE_READONLY);
      // A new target that the failed copy made (empty, with its security)
      // goes again.
      EXPECT_FALSE(world().Exists(L"C:\\dst\\c_new.txt"));
      EXPECT_EQ(run.totals.copy.fileCopiesFailed, 3u);
    }
  }
}

TEST_F(CopyEngineTest, DiskFullAbortsTheRunOrIsRetried) {
  const std::string data = RandomBytes(1048576 + 3, 6);
  {
    UseWorld(WorldWithFaults(
        R"([{"call": "WriteFile", "path": "*\\dst\\full.bin", "error": "ERROR_DISK_FULL",
            "count": 1}])"));
    world().WriteFile(L"C:\\src\\full.bin", data, Written(kNew));
    world().WriteFile(L"C:\\src\\later.txt", "later", Written(kNew));
    Settings().diskFullMode = kDiskFullAbort;
    Settings().threadCount = 1;
    CopyRun run = Run();
    EXPECT_TRUE(run.Printed(L"C:\\dst\\full.bin -> No space left on device."))
        << ToUtf8(run.output);
    EXPECT_TRUE(run.Printed(L"C:\\src\\full.bin -> copy ABORTED."));
    EXPECT_TRUE(run.Printed(L"browsing ABORTED."));
    EXPECT_FALSE(world().Exists(L"C:\\dst\\full.bin"));
    EXPECT_FALSE(world().Exists(L"C:\\dst\\later.txt"));  // the whole run stopped
    // The data error; whether the walk also ends on the abort (critical)
    // depends on where it notices it.
    EXPECT_EQ(run.exitBits & ~uint32_t{kResultCritical}, uint32_t{kResultDataError});
  }
  {
    UseWorld(WorldWithFaults(
        R"([{"call": "WriteFile", "path": "*\\dst\\full.bin", "error": "ERROR_DISK_FULL",
            "count": 1}])"));
    world().WriteFile(L"C:\\src\\full.bin", data, Written(kNew));
    Settings().diskFullMode = kDiskFullRetry;
    CopyRun run = Run();
    EXPECT_EQ(run.exitBits, 0u) << ToUtf8(run.output);
    EXPECT_TRUE(
        run.Printed(L"C:\\dst\\full.bin -> unable to write file, Retrying in 0 seconds..."));
    EXPECT_EQ(world().ReadFile(L"C:\\dst\\full.bin"), data);
  }
}

TEST_F(CopyEngineTest, SymbolicLinksAreCopiedAsLinks) {
  world().WriteFile(L"C:\\src\\real\\file.txt", "data", Written(kNew));
  world().CreateSymlink(L"C:\\src\\to_file", "real/file.txt");
  world().CreateSymlink(L"C:\\src\\to_dir", "real");
  CopyRun run = Run();
  EXPECT_EQ(run.exitBits, 0u) << ToUtf8(run.output);
  EXPECT_EQ(run.totals.copy.fileLinks, 1u);
  EXPECT_EQ(run.totals.copy.directoryLinks, 1u);
  EXPECT_EQ(run.totals.copy.filesCopied, 1u);
  char target[256] = {};
  ASSERT_GT(readlink(world().HostPath(L"C:\\dst\\to_file").c_str(), target, sizeof(target) - 1), 0);
  EXPECT_STREQ(target, "real/file.txt");
  ASSERT_GT(readlink(world().HostPath(L"C:\\dst\\to_dir").c_str(), target, sizeof(target) - 1), 0);
  EXPECT_EQ(std::string(target, 4), "real");
  // The link works on the copy: it leads to the copied file.
  EXPECT_EQ(world().ReadFile(L"C:\\dst\\to_file"), "data");
}

TEST_F(CopyEngineTest, FileAgainstDirectoryIsAMismatch) {
  world().WriteFile(L"C:\\src\\was_dir\\inside.txt", "inside", Written(kNew));
  world().WriteFile(L"C:\\src\\was_file", "file", Written(kNew));
  world().WriteFile(L"C:\\dst\\was_dir", "a file where a directory belongs", Written(kOld));
  world().CreateDirectory(L"C:\\dst\\was_file");
  Settings().continueOnError = 1;
  CopyRun run = Run();
  EXPECT_TRUE(run.exitBits & kResultMismatch) << ToUtf8(run.output);
  EXPECT_EQ(run.totals.scan.mismatchedFiles, 1u);
  // A directory where a file belongs is only in the target's directory map:
  // the file looks missing, and its copy fails; so does the copy of the file
  // inside the directory that a file stands for.
  EXPECT_EQ(run.totals.scan.mismatchedDirectories, 0u);
  EXPECT_EQ(run.totals.copy.fileCopiesFailed, 2u);
  EXPECT_TRUE(run.exitBits & kResultDataError);
  EXPECT_TRUE(run.Printed(L"MisMatched error: C:\\dst\\was_dir\\ pathname should be a directory"))
      << ToUtf8(run.output);
  // Neither object is replaced.
  EXPECT_EQ(world().ReadFile(L"C:\\dst\\was_dir"), "a file where a directory belongs");
  EXPECT_EQ(Attributes(L"C:\\dst\\was_file") & FILE_ATTRIBUTE_DIRECTORY,
            DWORD{FILE_ATTRIBUTE_DIRECTORY});
}

TEST_F(CopyEngineTest, DiskFullWaitWarnsOnceAndResumes) {
  UseWorld(WorldWithFaults(
      R"([{"call": "WriteFile", "path": "*\\dst\\full.bin", "error": "ERROR_DISK_FULL",
          "count": 1, "after": 1}])"));
  const std::string data = RandomBytes(2 * 1048576, 7);
  world().WriteFile(L"C:\\src\\full.bin", data, Written(kNew));
  Settings().diskFullMode = kDiskFullWait;
  CopyRun run = Run();
  EXPECT_EQ(run.exitBits, 0u) << ToUtf8(run.output);
  EXPECT_EQ(run.Count(L"C:\\dst\\full.bin -> write file, waiting for enough space on device."), 1u)
      << ToUtf8(run.output);
  EXPECT_EQ(run.Count(L"C:\\dst\\full.bin -> write file resumed"), 1u);
  EXPECT_EQ(world().ReadFile(L"C:\\dst\\full.bin"), data);
}

TEST_F(CopyEngineTest, CompressionFollowsTheModeUntilTheVolumeRefusesIt) {
  world().WriteFile(L"C:\\src\\a.txt", "a", Written(kNew));
  world().WriteFile(L"C:\\src\\b.txt", "b", Written(kNew));
  world().WriteFile(L"C:\\src\\dir\\c.txt", "c", Written(kNew));
  Settings().compressMode = kCompressForceAll;
  CopyRun run = Run();
  EXPECT_EQ(run.exitBits, 0u) << ToUtf8(run.output);
  EXPECT_TRUE(Attributes(L"C:\\dst\\a.txt") & FILE_ATTRIBUTE_COMPRESSED);
  EXPECT_TRUE(Attributes(L"C:\\dst\\dir") & FILE_ATTRIBUTE_COMPRESSED);
  EXPECT_GE(run.totals.copy.compressedFiles, 2u);
  // The root is compressed; dir, made inside it, inherits the state.
  EXPECT_EQ(run.totals.copy.compressedDirectories, 1u);

  UseWorld(R"({"computer": "TESTPC",
               "drives": {"C:": {"path": "c", "volume": {"compression": false}}}})");
  world().WriteFile(L"C:\\src\\a.txt", "a", Written(kNew));
  world().WriteFile(L"C:\\src\\b.txt", "b", Written(kNew));
  world().WriteFile(L"C:\\src\\dir\\c.txt", "c", Written(kNew));
  Settings().compressMode = kCompressForceFile;
  run = Run();
  EXPECT_EQ(run.exitBits, 0u) << ToUtf8(run.output);
  EXPECT_EQ(run.Count(L"target volume doesn't support compression, compression information is "
                      L"now ignored"),
            1u)
      << ToUtf8(run.output);
  EXPECT_EQ(Settings().compressMode, kCompressIgnore);
  EXPECT_EQ(run.totals.copy.compressedFiles, 0u);
  EXPECT_EQ(world().ReadFile(L"C:\\dst\\dir\\c.txt"), "c");
}

}  // namespace
}  // namespace tarvik
