#include "platform/posix/wildcard.h"

#include <gtest/gtest.h>

namespace tarvik {
namespace {

bool Lists(std::wstring_view pattern, std::wstring_view name) {
  return MatchesExpression(ListingExpression(pattern), name);
}

TEST(WildcardTest, PatternsAreRewrittenIntoTheDosWildcards) {
  EXPECT_EQ(ListingExpression(L"*.*"), L"*");
  EXPECT_EQ(ListingExpression(L"*.txt"), L"<.txt");
  EXPECT_EQ(ListingExpression(L"a?c"), L"a>c");
  EXPECT_EQ(ListingExpression(L"*."), L"<\"");
  EXPECT_EQ(ListingExpression(L"a.*"), L"a\"*");
  EXPECT_EQ(ListingExpression(L"a.b"), L"a.b");
}

TEST(WildcardTest, StarsQuestionMarksAndCase) {
  EXPECT_TRUE(Lists(L"*", L"anything.at.all"));
  EXPECT_TRUE(Lists(L"*.TXT", L"readme.txt"));
  EXPECT_TRUE(Lists(L"*.txt", L"a.b.txt"));
  EXPECT_FALSE(Lists(L"*.txt", L"a.txt.bak"));
  EXPECT_FALSE(Lists(L"*.txt", L"txt"));
  EXPECT_TRUE(Lists(L"R*E.*", L"Readme.md"));
  EXPECT_TRUE(Lists(L"a?c", L"abc"));
  EXPECT_FALSE(Lists(L"a?c", L"ac"));
  EXPECT_FALSE(Lists(L"a?c", L"abbc"));
  // Only A-Z fold.
  EXPECT_FALSE(Lists(L"\u00C9t\u00E9", L"\u00E9t\u00E9"));
}

TEST(WildcardTest, DotRules) {
  // "*.*" lists names without a dot too; "*." lists only those.
  EXPECT_TRUE(Lists(L"*.*", L"Makefile"));
  EXPECT_TRUE(Lists(L"*.*", L"a.b"));
  EXPECT_TRUE(Lists(L"*.", L"Makefile"));
  EXPECT_FALSE(Lists(L"*.", L"a.b"));
  // "a.*" takes "a" itself; "?" at a dot or the end matches nothing.
  EXPECT_TRUE(Lists(L"a.*", L"a"));
  EXPECT_TRUE(Lists(L"a.*", L"a.x"));
  EXPECT_FALSE(Lists(L"a.*", L"ab"));
  EXPECT_TRUE(Lists(L"????????.???", L"abc.d"));
  EXPECT_TRUE(Lists(L"??", L"a"));
  EXPECT_FALSE(Lists(L"??", L"abc"));
  EXPECT_FALSE(Lists(L"a?.txt", L"a.xtxt"));
}

TEST(WildcardTest, DosWildcardsGivenDirectly) {
  EXPECT_TRUE(MatchesExpression(L"<.doc", L"x.y.doc"));
  EXPECT_FALSE(MatchesExpression(L"<", L"a.b"));  // cannot take the last dot
  EXPECT_TRUE(MatchesExpression(L"<", L"ab"));
  EXPECT_TRUE(MatchesExpression(L"a\"", L"a"));
  EXPECT_TRUE(MatchesExpression(L"a\"", L"a."));
  EXPECT_FALSE(MatchesExpression(L"a\"", L"ab"));
  EXPECT_TRUE(MatchesExpression(L">>>", L"ab"));
  EXPECT_TRUE(HasWildcards(L"a<b"));
  EXPECT_FALSE(HasWildcards(L"plain.txt"));
}

}  // namespace
}  // namespace tarvik
