#include "driver/value_parsers.h"

#include <gtest/gtest.h>

#include "driver/excluded_file_pattern.h"

namespace tarvik {
namespace {

TEST(ValueParsersTest, WholeDecimalTakesTheWholeText) {
  EXPECT_EQ(ParseWholeDecimal(L"5"), 5);
  EXPECT_EQ(ParseWholeDecimal(L"  +5"), 5);
  EXPECT_EQ(ParseWholeDecimal(L"\t-12"), -12);
  EXPECT_EQ(ParseWholeDecimal(L"007"), 7);
  EXPECT_EQ(ParseWholeDecimal(L""), 0);
  EXPECT_EQ(ParseWholeDecimal(L"2147483647"), 2147483647);
  EXPECT_EQ(ParseWholeDecimal(L"2147483648"), 2147483647);
  EXPECT_EQ(ParseWholeDecimal(L"99999999999999999999"), 2147483647);
  EXPECT_EQ(ParseWholeDecimal(L"-2147483648"), -2147483647 - 1);
  EXPECT_EQ(ParseWholeDecimal(L"-99999999999"), -2147483647 - 1);
  for (const wchar_t* text : {L"5x", L"5 ", L" ", L"-", L"+", L"x5", L"1.5", L"0x10", L"5-"}) {
    EXPECT_FALSE(ParseWholeDecimal(text).has_value()) << text;
  }
}

TEST(ValueParsersTest, LeadingDecimalStopsAtTheFirstOtherCharacter) {
  EXPECT_EQ(ParseLeadingDecimal(L"50"), 50);
  EXPECT_EQ(ParseLeadingDecimal(L"50%"), 50);
  EXPECT_EQ(ParseLeadingDecimal(L" 7,8"), 7);
  EXPECT_EQ(ParseLeadingDecimal(L"-3"), -3);
  EXPECT_EQ(ParseLeadingDecimal(L""), 0);
  EXPECT_EQ(ParseLeadingDecimal(L"x1"), 0);
  EXPECT_EQ(ParseLeadingDecimal(L"99999999999"), 2147483647);
}

TEST(ExcludedFilePatternTest, RewritesPlatformWildcardsAndDropsRedundantOnes) {
  EXPECT_EQ(NormalizeExcludedFilePattern(L"*?.tmp"), L"*.tmp");
  EXPECT_EQ(NormalizeExcludedFilePattern(L"**?*x"), L"*x");
  EXPECT_EQ(NormalizeExcludedFilePattern(L"?*.b"), L"?*.b");
  EXPECT_EQ(NormalizeExcludedFilePattern(L"a\""), L"a.");
  // The quote turns into the dot that makes the '<' before it a '*'.
  EXPECT_EQ(NormalizeExcludedFilePattern(L"<\"txt"), L"*.txt");
  EXPECT_EQ(NormalizeExcludedFilePattern(L"<a"), L"<a");
  EXPECT_EQ(NormalizeExcludedFilePattern(L"a>b>"), L"a?b?");
  EXPECT_EQ(NormalizeExcludedFilePattern(L"*>"), L"*");
  EXPECT_EQ(NormalizeExcludedFilePattern(L"<.<\""), L"*.*.");
  EXPECT_EQ(NormalizeExcludedFilePattern(L""), L"");
}

}  // namespace
}  // namespace tarvik
