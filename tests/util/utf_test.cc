#include "util/utf.h"

#include <gtest/gtest.h>

namespace tarvik {
namespace {

TEST(UtfTest, RoundTripsEveryPlane) {
  std::wstring text = L"a\u00e9\u20ac\U0001F600z";
  EXPECT_EQ(ToUtf8(text), "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80z");
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
  EXPECT_EQ(FromUtf16Le(ToUtf16Le(text)), text);
  EXPECT_EQ(ToUtf16Le(L"\U0001F600"), std::string("\x3d\xd8\x00\xde", 4));
  // Appending keeps what is there, whether the text starts in ASCII or not.
  std::string bytes = "/dir/";
  AppendUtf8(&bytes, L"\u00e9t\u00e9");
  EXPECT_EQ(bytes, "/dir/\xc3\xa9t\xc3\xa9");
  std::wstring wide = L"C:\\";
  AppendFromUtf8(&wide, "x\xc3\xa9");
  EXPECT_EQ(wide, L"C:\\x\u00e9");
}

TEST(UtfTest, MalformedInputBecomesReplacementCharacters) {
  EXPECT_EQ(FromUtf8("a\xff"
                     "b"),
            L"a\uFFFDb");
  EXPECT_EQ(FromUtf8("\xc0\xaf"), L"\uFFFD\uFFFD");            // overlong
  EXPECT_EQ(FromUtf8("\xed\xa0\x80"), L"\uFFFD\uFFFD\uFFFD");  // surrogate
  EXPECT_EQ(FromUtf8("\xe2\x82"), L"\uFFFD\uFFFD");            // cut short
  EXPECT_EQ(ToUtf8(std::wstring(1, static_cast<wchar_t>(0xD800))), "\xef\xbf\xbd");
  EXPECT_EQ(FromUtf16Le(std::string("\x00\xd8"
                                    "a",
                                    3)),
            L"\uFFFD");
}

}  // namespace
}  // namespace tarvik
