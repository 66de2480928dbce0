#include <gtest/gtest.h>

#include "memory_os.h"
#include "scan/dir_cmp.h"
#include "scan_fixture.h"

namespace tarvik {
namespace {

class TargetRootTest : public ::testing::Test {
 protected:
  void SetUp() override { os_.AddShare(L"SRV", L"share"); }

  bool Contains(const std::wstring& text) { return os_.console().find(text) != std::wstring::npos; }

  MemoryOs os_;
  ScanStateGuard guard_;
  DirCmp cmp_;
};

TEST_F(TargetRootTest, MissingIntermediateDirectoriesAreCreated) {
  ASSERT_TRUE(cmp_.PrepareTargetRoot(L"\\\\SRV\\share\\a\\b\\c\\"));
  EXPECT_EQ(cmp_.target_root(), L"\\\\SRV\\share\\a\\b\\c\\");
  EXPECT_EQ(cmp_.target_root_long(), L"\\\\?\\UNC\\SRV\\share\\a\\b\\c\\");
  EXPECT_EQ(
      os_.created_directories(),
      (std::vector<std::wstring>{L"\\\\?\\UNC\\SRV\\share\\a", L"\\\\?\\UNC\\SRV\\share\\a\\b"}));
  EXPECT_FALSE(os_.Exists(L"\\\\SRV\\share\\a\\b\\c"));
  EXPECT_TRUE(
      Contains(L"Missing directory \\\\?\\UNC\\SRV\\share\\a has been created successfully"));
  EXPECT_TRUE(DirScan::RootsSet());

  // Now only the target itself is missing: nothing more is created.
  ASSERT_TRUE(cmp_.PrepareTargetRoot(L"\\\\SRV\\share\\a\\b\\c"));
  EXPECT_EQ(os_.created_directories().size(), 2u);
}

TEST_F(TargetRootTest, ListingModeOnlyTells) {
  Settings().listOnly = 1;
  ASSERT_TRUE(cmp_.PrepareTargetRoot(L"\\\\SRV\\share\\a\\b"));
  EXPECT_TRUE(os_.created_directories().empty());
  EXPECT_TRUE(Contains(L"Missing directory \\\\?\\UNC\\SRV\\share\\a will be created"));
  EXPECT_FALSE(Contains(L"\\b will be created"));

  Settings().quiet = 1;
  ASSERT_TRUE(cmp_.PrepareTargetRoot(L"\\\\SRV\\share\\x\\y"));
  EXPECT_FALSE(Contains(L"\\x will be created"));
}

TEST_F(TargetRootTest, UnreachableServersAndSharesStopTheRun) {
  DirScan::SetRootsSet(true);
  EXPECT_FALSE(cmp_.PrepareTargetRoot(L"\\\\SRV\\nope\\a\\b"));
  EXPECT_TRUE(Contains(L"\\\\?\\UNC\\SRV\\nope\\a\\b : Invalid Network path"));
  EXPECT_FALSE(DirScan::RootsSet());
  EXPECT_FALSE(cmp_.PrepareTargetRoot(L"\\\\NOSRV\\share"));
  EXPECT_TRUE(Contains(L"\\\\?\\UNC\\NOSRV\\share\\ : Invalid Network path"));
  EXPECT_TRUE(os_.created_directories().empty());

  DirCmp walker;
  EXPECT_EQ(walker.FindSubDir(), kNoRootSet);
}

TEST_F(TargetRootTest, VolumeRootsNeedNoCreation) {
  os_.AddDirectory(L"D:\\");
  ASSERT_TRUE(cmp_.PrepareTargetRoot(L"D:\\"));
  EXPECT_EQ(cmp_.target_root(), L"D:\\");
  EXPECT_EQ(cmp_.target_root_long(), L"\\\\?\\D:\\");
  ASSERT_TRUE(cmp_.PrepareTargetRoot(L"\\\\SRV\\share"));
  EXPECT_EQ(cmp_.target_root_long(), L"\\\\?\\UNC\\SRV\\share\\");
  EXPECT_TRUE(os_.created_directories().empty());
  EXPECT_EQ(os_.find_first_paths(),
            (std::vector<std::wstring>{L"\\\\?\\D:\\", L"\\\\?\\UNC\\SRV\\share\\"}));
}

TEST_F(TargetRootTest, CreationFailures) {
  // Another process was first: accepted silently.
  os_.Fail("CreateDirectoryW", L"\\\\SRV\\share\\a", ERROR_ALREADY_EXISTS, 1);
  ASSERT_TRUE(cmp_.PrepareTargetRoot(L"\\\\SRV\\share\\a\\b"));
  EXPECT_FALSE(Contains(L"Missing directory"));

  os_.Fail("CreateDirectoryW", L"\\\\SRV\\share\\m", ERROR_ACCESS_DENIED, 1);
  EXPECT_FALSE(cmp_.PrepareTargetRoot(L"\\\\SRV\\share\\m\\n"));
  EXPECT_TRUE(Contains(L"Unable to create an intermediate target directory"));

  os_.Fail("FindFirstFileW", L"\\\\SRV\\share\\p\\q", ERROR_ACCESS_DENIED, 1);
  EXPECT_FALSE(cmp_.PrepareTargetRoot(L"\\\\SRV\\share\\p\\q"));
  EXPECT_TRUE(Contains(L"\\\\?\\UNC\\SRV\\share\\p\\q : Unexpected error when trying to access"));
}

TEST_F(TargetRootTest, RelativeRootsGetAnAbsoluteLongForm) {
  os_.AddDirectory(L"C:\\cwd\\rel");
  ASSERT_TRUE(cmp_.PrepareTargetRoot(L"out\\a\\b"));
  EXPECT_EQ(cmp_.target_root(), L"out\\a\\b\\");
  EXPECT_EQ(cmp_.target_root_long(), L"\\\\?\\C:\\cwd\\out\\a\\b\\");
  EXPECT_EQ(os_.created_directories(),
            (std::vector<std::wstring>{L"\\\\?\\C:\\cwd\\out", L"\\\\?\\C:\\cwd\\out\\a"}));
  ASSERT_TRUE(cmp_.SetSourceRoot(L"rel\\"));
  EXPECT_EQ(cmp_.source_root(), L"rel\\");
  EXPECT_EQ(cmp_.source_root_long(), L"\\\\?\\C:\\cwd\\rel\\");
}

TEST_F(TargetRootTest, UnusableAndAbsentPaths) {
  EXPECT_FALSE(cmp_.PrepareTargetRoot(L".."));
  EXPECT_TRUE(Contains(L".. : Invalid directory path"));
  EXPECT_FALSE(DirScan::RootsSet());
  EXPECT_TRUE(cmp_.PrepareTargetRoot(nullptr));
  EXPECT_TRUE(DirScan::RootsSet());
  EXPECT_TRUE(cmp_.target_root().empty());
}

}  // namespace
}  // namespace tarvik
