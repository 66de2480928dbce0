#include "common/sd/ace_text.h"

#include <gtest/gtest.h>

namespace tarvik {
namespace {

TEST(AceTextTest, TypeAndInheritanceNames) {
  EXPECT_EQ(AceTypeName(0), L"Allowed");
  EXPECT_EQ(AceTypeName(11), L"Allowed callback oject");
  EXPECT_EQ(AceTypeName(20), L"Process trust label");
  EXPECT_EQ(AceTypeName(21), L"Unknown ACE type");
  EXPECT_EQ(AceTypeName(0xA5), L"Kestro Unix attr");
  EXPECT_EQ(AceTypeName(0xA8), L"Kestro Stubra");
  EXPECT_EQ(AceTypeName(0xAA), L"Kestro Unix attr64_AA");
  EXPECT_EQ(AceTypeName(0xAB), L"Unknown ACE type");
  EXPECT_EQ(InheritanceFlagsText(0), L"");
  EXPECT_EQ(InheritanceFlagsText(0x03), L"OI,CI");
  EXPECT_EQ(InheritanceFlagsText(0x1F | 0x40), L"OI,CI,NP,IO,IA");
}

TEST(AceTextTest, MaskNotation) {
  EXPECT_EQ(MaskText(0x1F01FF), L"FULL:EWXPOD (0x001F01FF)");
  EXPECT_EQ(MaskText(0x1301BF), L"CHGE:EWXD   (0x001301BF)");
  EXPECT_EQ(MaskText(0x1200A9), L"READ:EX     (0x001200A9)");
  EXPECT_EQ(MaskText(0x1), L"SPEC:(0x00000001)");
  EXPECT_EQ(MaskText(0x80000000), L"GENERIC_RD  SPEC:(0x80000000)");
  EXPECT_EQ(MaskText(0xF0000000),
            L"GENERIC_RD  GENERIC_WR  GENERIC_EXE GENERIC_ALL SPEC:(0xF0000000)");
  EXPECT_EQ(MaskText(0x40000), L"SPEC:P      (0x00040000)");
}

}  // namespace
}  // namespace tarvik
