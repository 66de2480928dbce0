#include "scan/path_forms.h"

#include <gtest/gtest.h>

namespace tarvik {
namespace {

TEST(PathFormsTest, NormalizationKeepsRootsAndDropsTrailingSeparatorsAndDots) {
  EXPECT_EQ(NormalizeRootPath(L"C:\\data\\\\\\"), L"C:\\data");
  EXPECT_EQ(NormalizeRootPath(L"C:\\"), L"C:\\");
  EXPECT_EQ(NormalizeRootPath(L"C:\\data..."), L"C:\\data");
  EXPECT_EQ(NormalizeRootPath(L"."), L".");
  EXPECT_EQ(NormalizeRootPath(L".\\"), L".");
  EXPECT_EQ(NormalizeRootPath(L"\\\\srv\\share\\"), L"\\\\srv\\share");
  EXPECT_EQ(NormalizeRootPath(L"/srv/a/"), L"/srv/a");
  EXPECT_EQ(NormalizeRootPath(L"/"), L"/");
  EXPECT_EQ(NormalizeRootPath(L".."), L"");
  EXPECT_EQ(NormalizeRootPath(L"\\\\\\"), L"");
}

TEST(PathFormsTest, UnusableRoots) {
  EXPECT_TRUE(IsUnusableRootPath(L"..", NormalizeRootPath(L"..")));
  EXPECT_TRUE(IsUnusableRootPath(L"", NormalizeRootPath(L"")));
  // "x\.." would become "x": another directory than the one typed.
  EXPECT_TRUE(IsUnusableRootPath(L"x\\..\\", NormalizeRootPath(L"x\\..\\")));
  EXPECT_TRUE(IsUnusableRootPath(L"/srv/..", NormalizeRootPath(L"/srv/..")));
  EXPECT_FALSE(IsUnusableRootPath(L".", L"."));
  EXPECT_FALSE(IsUnusableRootPath(L"C:\\data.", L"C:\\data"));
  EXPECT_FALSE(IsUnusableRootPath(L"..\\x", L"..\\x"));
}

TEST(PathFormsTest, LongForms) {
  EXPECT_EQ(LongPathForm(L"C:\\data"), L"\\\\?\\C:\\data");
  EXPECT_EQ(LongPathForm(L"C:\\"), L"\\\\?\\C:\\");
  EXPECT_EQ(LongPathForm(L"\\\\srv\\share\\a"), L"\\\\?\\UNC\\srv\\share\\a");
  EXPECT_EQ(LongPathForm(L"\\\\?\\C:\\x"), L"\\\\?\\C:\\x");
  EXPECT_EQ(LongPathForm(L"\\\\?\\UNC\\srv\\s"), L"\\\\?\\UNC\\srv\\s");
  EXPECT_EQ(LongPathForm(L"/srv/a"), L"\\\\?\\UNC\\/srv/a");
  // Relative forms cannot carry the prefix.
  EXPECT_EQ(LongPathForm(L"data\\x"), L"data\\x");
  EXPECT_EQ(LongPathForm(L"C:data"), L"C:data");

  EXPECT_EQ(DisplayFormOfLongPath(L"\\\\?\\C:\\x"), L"C:\\x");
  EXPECT_EQ(DisplayFormOfLongPath(L"\\\\?\\UNC\\srv\\share"), L"\\\\srv\\share");
  EXPECT_EQ(DisplayFormOfLongPath(L"\\\\?\\UNC\\/srv/a"), L"/srv/a");
}

TEST(PathFormsTest, VolumePartEnds) {
  EXPECT_EQ(VolumePartEnd(L"\\\\?\\C:\\"), 6);
  EXPECT_EQ(VolumePartEnd(L"\\\\?\\C:\\a\\b\\"), 6);
  // "\\?\UNC\srv\share\a\": the '\' after the share.
  EXPECT_EQ(VolumePartEnd(L"\\\\?\\UNC\\srv\\share\\a\\"), 17);
  EXPECT_EQ(VolumePartEnd(L"\\\\?\\UNC\\srv\\"), kNoVolumeEnd);
  EXPECT_EQ(VolumePartEnd(L"\\\\?\\UNC\\/srv/a\\"), 8);
  EXPECT_EQ(VolumePartEnd(L"out\\a\\"), -1);
  EXPECT_EQ(VolumePartEnd(L"\\out\\"), 0);

  std::wstring host = L"\\\\?\\UNC\\/srv/a\\";
  EXPECT_TRUE(IsPathSeparatorAt(host, 12));  // the '/' before "a"
  EXPECT_FALSE(IsPathSeparatorAt(L"\\\\?\\C:\\a/b", 9));
}

TEST(PathFormsTest, SelfAndParentsEndAtTheVolumeRoot) {
  using Chain = std::vector<std::wstring>;
  EXPECT_EQ(SelfAndParents(L"\\\\?\\C:\\a\\b\\"),
            (Chain{L"\\\\?\\C:\\a\\b", L"\\\\?\\C:\\a", L"\\\\?\\C:\\"}));
  EXPECT_EQ(SelfAndParents(L"\\\\?\\C:\\"), (Chain{L"\\\\?\\C:\\"}));
  EXPECT_EQ(SelfAndParents(L"\\\\?\\UNC\\srv\\share\\a\\"),
            (Chain{L"\\\\?\\UNC\\srv\\share\\a", L"\\\\?\\UNC\\srv\\share\\"}));
  EXPECT_EQ(SelfAndParents(L"\\\\?\\UNC\\srv\\share\\"), (Chain{L"\\\\?\\UNC\\srv\\share\\"}));
  // A host path: '/' separates, and the host root "/" ends the chain, also
  // when the root carries the separator the walk appends.
  EXPECT_EQ(SelfAndParents(L"\\\\?\\UNC\\/srv/a\\"),
            (Chain{L"\\\\?\\UNC\\/srv/a", L"\\\\?\\UNC\\/srv", L"\\\\?\\UNC\\/"}));
  EXPECT_EQ(SelfAndParents(L"\\\\?\\UNC\\/\\"), (Chain{L"\\\\?\\UNC\\/"}));
  EXPECT_EQ(SelfAndParents(L"out\\a"), (Chain{L"out\\a", L"out"}));
}

}  // namespace
}  // namespace tarvik
