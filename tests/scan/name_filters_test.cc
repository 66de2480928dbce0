#include "scan/name_filters.h"

#include <gtest/gtest.h>

#include "log/log_testing.h"
#include "memory_os.h"
#include "settings/copy_settings.h"

namespace tarvik {
namespace {

TEST(WildcardMatchTest, OrdinaryWildcards) {
  EXPECT_TRUE(WildcardMatch(L"file.txt", L"*.txt"));
  EXPECT_TRUE(WildcardMatch(L"file.txt", L"*"));
  EXPECT_TRUE(WildcardMatch(L"", L"*"));
  EXPECT_TRUE(WildcardMatch(L"abc", L"a**c"));
  EXPECT_TRUE(WildcardMatch(L"abc", L"a?c"));
  EXPECT_FALSE(WildcardMatch(L"ac", L"a?c"));
  EXPECT_FALSE(WildcardMatch(L"abc", L"ab"));
  EXPECT_FALSE(WildcardMatch(L"ab", L"abc"));
  EXPECT_FALSE(WildcardMatch(L"File.txt", L"file.txt"));  // exact: /nocase lower-cases first
  EXPECT_TRUE(WildcardMatch(L"a.b.tmp", L"*.tmp"));
  EXPECT_FALSE(WildcardMatch(L"a.tmp.x", L"*.tmp"));
}

TEST(WildcardMatchTest, DosWildcards) {
  EXPECT_TRUE(WildcardMatch(L"file.txt", L"<.txt"));
  EXPECT_TRUE(WildcardMatch(L"abc", L"<"));
  EXPECT_FALSE(WildcardMatch(L"a.b.c", L"<"));
  EXPECT_TRUE(WildcardMatch(L"a.b.c", L"<.c"));
  EXPECT_TRUE(WildcardMatch(L"a.b", L"<b"));
  EXPECT_TRUE(WildcardMatch(L"abc", L"a>c"));
  EXPECT_FALSE(WildcardMatch(L"a.c", L"a>c"));
  EXPECT_TRUE(WildcardMatch(L"a", L"a>"));
  EXPECT_TRUE(WildcardMatch(L"a.", L"a>"));  // a final '.' may be swallowed
  EXPECT_TRUE(WildcardMatch(L"a", L"a\""));
  EXPECT_TRUE(WildcardMatch(L"a.", L"a\""));
  EXPECT_FALSE(WildcardMatch(L"ab", L"a\""));
}

TEST(WildcardMatchTest, NullArguments) {
  EXPECT_TRUE(WildcardMatch(static_cast<const wchar_t*>(nullptr), nullptr));
  EXPECT_FALSE(WildcardMatch(nullptr, L"*"));
  EXPECT_FALSE(WildcardMatch(L"a", nullptr));
}

TEST(WildcardMatchTest, ManyStarsStayFast) {
  std::wstring name(250, L'a');
  std::wstring pattern;
  for (int i = 0; i < 20; ++i)
    pattern += L"*a";
  pattern += L"*b";
  EXPECT_FALSE(WildcardMatch(name, pattern));
  EXPECT_TRUE(WildcardMatch(name + L"b", pattern));
}

class NameFiltersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLogSystemForTesting();
    Settings() = CopySettings{};
    NameFilters::ResetFiltersForTesting();
  }
  void TearDown() override {
    NameFilters::ResetFiltersForTesting();
    Settings() = CopySettings{};
    ResetLogSystemForTesting();
  }
  MemoryOs os_;
};

TEST_F(NameFiltersTest, ReadingAndFileOnlyPatternsAndTheirReportLine) {
  NameFilters::PrintFilters();
  EXPECT_EQ(os_.console(), L"Files filter(s)             : *.*\n");

  ASSERT_TRUE(NameFilters::SetFileFilter({}));
  EXPECT_EQ(NameFilters::ReadingPatterns(), std::vector<std::wstring>{L"*"});
  NameFilters::PrintFilters();
  EXPECT_TRUE(os_.console().ends_with(L"Files and Dirs filter(s)    : * \n"));

  std::vector<std::wstring> names = {L"*.txt", L"a*"};
  ASSERT_TRUE(NameFilters::SetFileFilter(names));
  EXPECT_EQ(NameFilters::ReadingPatterns(), names);
  EXPECT_TRUE(NameFilters::FileOnlyPatterns().empty());

  Settings().noDirFilter = 1;
  ASSERT_TRUE(NameFilters::SetFileFilter(names));
  EXPECT_EQ(NameFilters::ReadingPatterns(), std::vector<std::wstring>{L"*"});
  EXPECT_EQ(NameFilters::FileOnlyPatterns(), names);
  NameFilters::PrintFilters();
  EXPECT_TRUE(os_.console().ends_with(L"Files filter(s)             : *.txt a* \n"));
}

TEST_F(NameFiltersTest, ExclusionsFollowNoCase) {
  std::vector<std::wstring> dirs = {L"Temp"};
  std::vector<std::wstring> files = {L"*.TMP"};
  ASSERT_TRUE(NameFilters::SetExcludedDirFilter(dirs));
  ASSERT_TRUE(NameFilters::SetExcludedFileFilter(files));
  EXPECT_TRUE(NameFilters::IsExcludedDirName(L"Temp"));
  EXPECT_FALSE(NameFilters::IsExcludedDirName(L"temp"));
  EXPECT_FALSE(NameFilters::IsExcludedFileName(L"a.tmp"));

  Settings().lowerCaseNames = 1;
  ASSERT_TRUE(NameFilters::SetExcludedDirFilter(dirs));
  ASSERT_TRUE(NameFilters::SetExcludedFileFilter(files));
  EXPECT_EQ(NameFilters::ExcludedDirs(), std::vector<std::wstring>{L"temp"});
  EXPECT_TRUE(NameFilters::IsExcludedDirName(L"temp"));
  EXPECT_TRUE(NameFilters::IsExcludedDirName(L"TEMP"));
  EXPECT_TRUE(NameFilters::IsExcludedFileName(L"A.Tmp"));

  ASSERT_TRUE(NameFilters::SetExcludedDirFilter({}));
  EXPECT_FALSE(NameFilters::IsExcludedDirName(L"temp"));
}

TEST_F(NameFiltersTest, PathPatternsMatchOnlyExactly) {
  std::vector<std::wstring> patterns = {L"C:\\src\\temp", L"C:\\src\\t*"};
  EXPECT_TRUE(
      NameFilters::MatchesAny(patterns, L"temp", L"C:\\src\\temp", L"\\\\?\\C:\\src\\temp"));
  EXPECT_FALSE(NameFilters::MatchesAny(patterns, L"tx", L"C:\\src\\tx", L"\\\\?\\C:\\src\\tx"));
  std::vector<std::wstring> long_pattern = {L"\\\\?\\C:\\src\\x"};
  EXPECT_TRUE(NameFilters::MatchesAny(long_pattern, L"x", L"C:\\src\\x", L"\\\\?\\C:\\src\\x"));
}

}  // namespace
}  // namespace tarvik
