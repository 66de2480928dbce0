// The Windows build's MD5 (CNG) against RFC 1321's own test values.
#include "copy/md5_digest.h"

#include <gtest/gtest.h>

#include <string>

namespace tarvik {
namespace {

std::string Hex(const Md5Digest& digest) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (uint8_t byte : digest.value()) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}

TEST(Md5DigestTest, ComputesRfc1321ValuesPieceByPieceAndRestarts) {
  ASSERT_TRUE(LoadMd5Functions());
  Md5Digest whole, pieces;
  whole.Start();
  whole.Add("message digest", 14);
  whole.Finish();
  EXPECT_EQ(Hex(whole), "f96b697d7cb7938d525a2f31aaf161d0");

  pieces.Start();
  pieces.Add("message", 7);
  pieces.Add(" digest", 7);
  EXPECT_FALSE(pieces.Matches(whole));  // still running
  pieces.Finish();
  EXPECT_TRUE(pieces.Matches(whole));

  pieces.Start();  // drops what was added
  pieces.Finish();
  EXPECT_EQ(Hex(pieces), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_FALSE(pieces.Matches(whole));
  EXPECT_FALSE(Md5Digest().Matches(Md5Digest()));  // never started
}

}  // namespace
}  // namespace tarvik
