#include "platform/posix/dos_attributes.h"

#include <gtest/gtest.h>

namespace tarvik {
namespace {

std::string Bytes(std::string_view hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return out;
}

constexpr uint64_t kCreation = 0x01D9000011223344ull;

// The layouts below are what Samba's own marshalling produces.
TEST(DosAttributesTest, WritesVersionFive) {
  EXPECT_EQ(EncodeDosAttrib(0x21, kCreation),
            Bytes("00000500050000001100000021000000443322110000d901"));
}

TEST(DosAttributesTest, ReadsEveryVersion) {
  struct Case {
    const char* hex;
    DWORD attributes;
    std::optional<uint64_t> creation;
  };
  const Case cases[] = {
      {"00000500050000001100000021000000443322110000d901", 0x21, kCreation},
      {"000004000400000011000000220000000807060504030201443322110000d901", 0x22, kCreation},
      {"30783230000003000300000011000000200000000000000005000000000000000010000000000000"
       "443322110000d901553322110000d901",
       0x20, kCreation},
      {"3078310001000100010000000000000007000000000000000800000000000000443322110000d901"
       "0900000000000000",
       0x01, kCreation},
      // Version 5 whose valid flags hold only the attributes.
      {"00000500050000000100000006000000443322110000d901", 0x06, std::nullopt},
  };
  for (const Case& c : cases) {
    std::optional<DosInfo> info = DecodeDosAttrib(Bytes(c.hex));
    ASSERT_TRUE(info.has_value()) << c.hex;
    EXPECT_EQ(info->attributes, c.attributes) << c.hex;
    EXPECT_EQ(info->creation_time, c.creation) << c.hex;
  }
  std::optional<DosInfo> round = DecodeDosAttrib(EncodeDosAttrib(0x827, 42));
  ASSERT_TRUE(round.has_value());
  EXPECT_EQ(round->attributes, 0x827u);
  EXPECT_EQ(round->creation_time, 42u);
}

TEST(DosAttributesTest, ReadsTheLegacyHexTextAndRefusesGarbage) {
  for (std::string_view text : {std::string_view("0x20\0", 5), std::string_view("0x20")}) {
    std::optional<DosInfo> info = DecodeDosAttrib(text);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->attributes, 0x20u);
    EXPECT_FALSE(info->creation_time.has_value());
  }
  EXPECT_FALSE(DecodeDosAttrib("").has_value());
  EXPECT_FALSE(DecodeDosAttrib("hello").has_value());
  EXPECT_FALSE(DecodeDosAttrib(Bytes("0000050005000000110000")).has_value());    // cut short
  EXPECT_FALSE(DecodeDosAttrib(Bytes("000009000900000011000000")).has_value());  // no such version
  EXPECT_FALSE(
      DecodeDosAttrib(Bytes("00000500040000001100000021000000443322110000d901")).has_value());
}

}  // namespace
}  // namespace tarvik
