#include <gtest/gtest.h>

#include <regex>

#include "driver/program_entry.h"
#include "driver/time_span.h"
#include "driver/version_info.h"
#include "util/utf.h"

namespace tarvik {
namespace {

TEST(VersionInfoTest, BuildsTheVersionText) {
  EXPECT_EQ(VersionText((4 << 16) | 20, (2 << 16) | 0), L"4.20-0002");
  EXPECT_EQ(VersionText((4 << 16) | 20, (0 << 16) | 3), L"4.20-00000003");
  EXPECT_EQ(VersionText((4 << 16) | 20, (2 << 16) | 3), L"4.20-00020003");
  EXPECT_EQ(VersionText((1 << 16) | 5, 0), L"1.05");
  EXPECT_EQ(VersionText((12 << 16) | 123, (10000 << 16)), L"12.123-10000");

  VersionInfo info = ReadVersionInfo();
  EXPECT_TRUE(info.valid);
  EXPECT_EQ(info.internalName, L"TARVIK");
  EXPECT_EQ(info.fileDescription, L"File migration tool");
  EXPECT_EQ(info.versionText, L"4.20-0002");
  EXPECT_EQ(info.productName, L"tarvik file migration");
  EXPECT_EQ(info.legalNotice, L"Copyright (c) 2026 the tarvik developers");
  EXPECT_TRUE(std::regex_match(ToUtf8(info.buildDate),
                               std::regex("(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                                          "[ 123][0-9] 20[0-9][0-9]")))
      << ToUtf8(info.buildDate);
  EXPECT_TRUE(
      std::regex_match(ToUtf8(info.buildTime), std::regex("[0-2][0-9]:[0-5][0-9]:[0-6][0-9]")));
}

TEST(TimeSpanTest, FormatsEachFieldWithinItsUnit) {
  const int64_t span = 2 * 86400 + 3 * 3600 + 4 * 60 + 5;
  EXPECT_EQ(FormatTimeSpan(span, L"%D|%H|%M|%S|%%|%X|%"), L"2|03|04|05|%|%X|%");
  EXPECT_EQ(FormatTimeSpan(1000 * 86400LL, L"%D days"), L"1000 days");
  EXPECT_EQ(FormatTimeSpan(-5, L"%S"), L"00");
  EXPECT_EQ(FormatTimeSpan(0, L""), L"");
}

TEST(TimeSpanTest, ElapsedTimeStartsAtTheLargestUnit) {
  EXPECT_EQ(ElapsedTimeText(0), L"secs: 00");
  EXPECT_EQ(ElapsedTimeText(59), L"secs: 59");
  EXPECT_EQ(ElapsedTimeText(60), L"mins: 01, secs: 00");
  EXPECT_EQ(ElapsedTimeText(61), L"mins: 01, secs: 01");
  EXPECT_EQ(ElapsedTimeText(187), L"mins: 03, secs: 07");
  EXPECT_EQ(ElapsedTimeText(3599), L"mins: 59, secs: 59");
  EXPECT_EQ(ElapsedTimeText(3600), L"hours: 01, mins: 00, secs: 00");
  EXPECT_EQ(ElapsedTimeText(86399), L"hours: 23, mins: 59, secs: 59");
  EXPECT_EQ(ElapsedTimeText(90000), L"days: 1, hours: 01, mins: 00, secs: 00");
}

TEST(ProgramEntryTest, XcopyIsChosenByTheLastComponentOfTheProgramName) {
  for (const wchar_t* name :
       {L"xcopy", L"XCOPY.EXE", L"C:\\tools\\xcopy.exe", L"/usr/bin/xcopy",
        L"/opt/tarvik\\bin/XCopy64", L"xcopy-mirror", L"rorev64.exe", L"C:\\bin\\ROREV64.EXE"}) {
    EXPECT_TRUE(IsXcopyProgramName(name)) << name;
  }
  for (const wchar_t* name : {L"tarvik", L"myxcopy.exe", L"/usr/xcopy/tarvik", L"C:\\xcopy\\t.exe",
                              L"xcop", L"", L"xcopy/"}) {
    EXPECT_FALSE(IsXcopyProgramName(name)) << name;
  }
}

}  // namespace
}  // namespace tarvik
