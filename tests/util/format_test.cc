#include "util/format.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace tarvik {
namespace {

TEST(FormatTest, WindowsStringConventions) {
  std::wstring wide = L"w\u00e9";
  std::string narrow = "n";
  EXPECT_EQ(Format(L"%s|%ls|%ws|%hs|%S", wide, L"x", wide, narrow, "y"), L"w\u00e9|x|w\u00e9|n|y");
  EXPECT_EQ(Format(L"[%-28s]", L"Date"), L"[Date                        ]");
  EXPECT_EQ(Format(L"[%5s][%.2s]", L"ab", L"abcd"), L"[   ab][ab]");
  EXPECT_EQ(Format(L"%c%hc%C", L'\u00e9', 'a', 'b'), L"\u00e9ab");
  EXPECT_EQ(Format(L"100%%"), L"100%");
  EXPECT_EQ(Format(L"%s", static_cast<const wchar_t*>(nullptr)), L"(null)");
}

TEST(FormatTest, IntegerSizesFlagsAndPrecision) {
  EXPECT_EQ(Format(L"TH%.3d : ", 3), L"TH003 : ");
  EXPECT_EQ(Format(L"%02d/%04d", 7, 2026), L"07/2026");
  EXPECT_EQ(Format(L"%ld %lu %lx %lX", -5, 4294967295u, 255u, 255u), L"-5 4294967295 ff FF");
  EXPECT_EQ(Format(L"%I64d %I64u", int64_t{-9000000000}, uint64_t{18000000000000000000u}),
            L"-9000000000 18000000000000000000");
  EXPECT_EQ(Format(L"%I64d", 12), L"12");  // a narrower value widens safely
  EXPECT_EQ(Format(L"%u", -1), L"4294967295");
  EXPECT_EQ(Format(L"%I32d %hd", 7, 65537), L"7 1");
  EXPECT_EQ(Format(L"%*d|%-*d|%.*d", 4, 1, 3, 2, 3, 5), L"   1|2  |005");
  EXPECT_EQ(Format(L"%+d % d %#x %o", 5, 5, 16u, 8u), L"+5  5 0x10 10");
  EXPECT_EQ(Format(L"%.2f %e", 1.005, 1.0), L"1.00 1.000000e+00");
}

TEST(FormatTest, MismatchesAreErrors) {
  EXPECT_THROW(Format(L"%d", int64_t{1}), FormatError);
  EXPECT_THROW(Format(L"%u", size_t{1}), FormatError);
  EXPECT_THROW(Format(L"%s", "narrow"), FormatError);
  EXPECT_THROW(Format(L"%hs", L"wide"), FormatError);
  EXPECT_THROW(Format(L"%d"), FormatError);
  EXPECT_THROW(Format(L"%d", 1, 2), FormatError);
  EXPECT_THROW(Format(L"%d", L"text"), FormatError);
  EXPECT_THROW(Format(L"%f", 1), FormatError);
  EXPECT_THROW(Format(L"%n", 1), FormatError);
  EXPECT_THROW(Format(L"50%"), FormatError);
  try {
    Format(L"%d files", int64_t{1});
  } catch (const FormatError& error) {
    EXPECT_NE(std::string(error.what()).find("%d files"), std::string::npos);
  }
}

}  // namespace
}  // namespace tarvik
