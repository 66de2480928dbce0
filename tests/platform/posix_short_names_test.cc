// 8.3 aliases: how they are made, and what listings report on volumes that
// keep them and on volumes that do not.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/posix/short_names.h"
#include "support/test_world.h"
#include "util/utf.h"

namespace tarvik {
namespace {

TEST(ShortNamesTest, OnlyNamesThatFitEightDotThreeAreValid) {
  for (const wchar_t* name : {L"README.TXT", L"readme.txt", L"Makefile", L"A", L"A.B",
                              L"12345678.123", L"$%'-_@~`.!()", L"{}^#&", L"LONGFI~1.TXT"}) {
    EXPECT_TRUE(IsValidShortName(name)) << name;
  }
  for (const wchar_t* name :
       {L"", L"a.b.c", L"abcdefghi", L"a.html", L"a b", L".gitignore", L"x.", L"a+b", L"a,b",
        L"a;b", L"a=b", L"[a]", L"caf\u00e9", L"a\uF022b", L"123456789.1"}) {
    EXPECT_FALSE(IsValidShortName(name)) << name;
  }
}

TEST(ShortNamesTest, AliasesAreMadeAsNtfsMakesThem) {
  std::vector<std::wstring> names = {
      L"Program Files",    // blanks go
      L"a.b.config.json",  // all dots but the last go; the extension is cut to three
      L".gitignore",       // leading dots go: no extension
      L"a+b;c.txt",        // characters an 8.3 name cannot hold become '_'
      L"caf\u00e9.txt",    // so does anything outside ASCII
      L"x.html",           // a short base is kept whole
      L"trailing\uF029",   // a host name's trailing dot, as listings show it
      L".",                // the directory's own entries have none
      L"..",
      L"Makefile",  // valid as it is
      L"readme.txt",
  };
  std::vector<std::wstring> expected = {
      L"PROGRA~1",   L"ABCONF~1.JSO",
      L"GITIGN~1",   L"A_B_C~1.TXT",
      L"CAF_~1.TXT", L"X~1.HTM",
      L"TRAILI~1",   L"",
      L"",           L"",
      L"",
  };
  EXPECT_EQ(ShortNamesFor(names), expected);
}

TEST(ShortNamesTest, NumbersAvoidOtherAliasesAndValidNames) {
  // The numbers follow the order of the names, and skip what another entry
  // of the directory is already called, in any case.
  std::vector<std::wstring> aliases = ShortNamesFor(
      {L"Long File Name 2.txt", L"longfi~2.txt", L"Long File Name 1.txt", L"Long File Name 3.txt",
       L"LONGFI~4.TXT", L"Long File Name 4.txt", L"Long File Name.text"});
  EXPECT_EQ(aliases,
            (std::vector<std::wstring>{L"LONGFI~1.TXT", L"", L"LONGFI~3.TXT", L"LONGFI~5.TXT", L"",
                                       L"LONGFI~6.TXT", L"LONGFI~1.TEX"}));

  // From ~10 on the base gives way to the number.
  std::vector<std::wstring> many;
  for (int i = 0; i < 12; ++i)
    many.push_back(L"Quarterly report " + std::to_wstring(i) + L".xlsx");
  aliases = ShortNamesFor(many);
  EXPECT_EQ(aliases[0], L"QUARTE~1.XLS");
  EXPECT_EQ(aliases[8], L"QUARTE~9.XLS");
  EXPECT_EQ(aliases[9], L"QUART~10.XLS");
  EXPECT_EQ(aliases[11], L"QUART~12.XLS");

  // A short base does not shrink: "AB~10" still fits.
  many.clear();
  for (int i = 0; i < 10; ++i)
    many.push_back(L"a" + std::wstring(i + 1, L' ') + L"b");
  EXPECT_EQ(ShortNamesFor(many)[9], L"AB~10");
}

// A listing's names and aliases, or the error of FindFirstFileW.
std::map<std::wstring, std::wstring> Aliases(Os& os, const std::wstring& pattern,
                                             DWORD* error = nullptr) {
  std::map<std::wstring, std::wstring> out;
  for (const WIN32_FIND_DATAW& data : FindAll(os, pattern, error))
    out[data.cFileName] = data.cAlternateFileName;
  return out;
}

class PosixShortNamesTest : public testing::Test {
 protected:
  // The same names on a volume with aliases and on one without.
  void MakeTree(const std::wstring& root) {
    // Made in an order unlike the listing's, which must not matter.
    world_.WriteFile(root + L"\\dir\\Long File Name 2.txt", "");
    world_.WriteFile(root + L"\\dir\\Long File Name 1.txt", "");
    world_.WriteFile(root + L"\\dir\\LONGFI~3.TXT", "");
    world_.WriteFile(root + L"\\dir\\Long File Name 3.txt", "");
    world_.WriteFile(root + L"\\dir\\readme.txt", "");
    world_.CreateDirectory(root + L"\\dir\\Program Files");
  }

  TestWorld world_{R"({
    "computer": "TESTPC",
    "drives": {
      "C:": {"path": "c", "volume": {"short_names": true}},
      "D:": {"path": "d"}
    },
    "servers": [{"name": "FILER1", "sid": "S-1-5-21-1-2-3",
                 "shares": [{"name": "data", "path": "filer1/data",
                             "volume": {"short_names": true}}]}]
  })"};
  Os& os_ = world_.os();
};

TEST_F(PosixShortNamesTest, ListingsReportTheAliasesOfTheirVolume) {
  MakeTree(L"C:");
  std::map<std::wstring, std::wstring> expected = {
      {L".", L""},
      {L"..", L""},
      {L"Long File Name 1.txt", L"LONGFI~1.TXT"},
      {L"Long File Name 2.txt", L"LONGFI~2.TXT"},
      {L"LONGFI~3.TXT", L""},
      {L"Long File Name 3.txt", L"LONGFI~4.TXT"},
      {L"Program Files", L"PROGRA~1"},
      {L"readme.txt", L""},
  };
  EXPECT_EQ(Aliases(os_, L"C:\\dir\\*"), expected);
  // The same again, and the same whatever the pattern picks out.
  EXPECT_EQ(Aliases(os_, L"C:\\dir\\*"), expected);
  EXPECT_EQ(Aliases(os_, L"C:\\dir\\*name 3.txt"),
            (std::map<std::wstring, std::wstring>{{L"Long File Name 3.txt", L"LONGFI~4.TXT"}}));
  // One named object reports its alias too, in any case of its name.
  EXPECT_EQ(Aliases(os_, L"C:\\dir\\long file name 3.TXT"),
            (std::map<std::wstring, std::wstring>{{L"Long File Name 3.txt", L"LONGFI~4.TXT"}}));
  EXPECT_EQ(Aliases(os_, L"C:\\dir\\Program Files"),
            (std::map<std::wstring, std::wstring>{{L"Program Files", L"PROGRA~1"}}));
  EXPECT_EQ(Aliases(os_, L"C:\\dir\\readme.txt"),
            (std::map<std::wstring, std::wstring>{{L"readme.txt", L""}}));

  // A share's volume keeps them as well.
  MakeTree(L"\\\\FILER1\\data");
  EXPECT_EQ(Aliases(os_, L"\\\\FILER1\\data\\dir\\*"), expected);

  // A new name takes the next free number; the others keep theirs.
  world_.WriteFile(L"C:\\dir\\Long File Name 9.txt", "");
  expected[L"Long File Name 9.txt"] = L"LONGFI~5.TXT";
  EXPECT_EQ(Aliases(os_, L"C:\\dir\\*"), expected);
}

TEST_F(PosixShortNamesTest, VolumesWithoutTheKeyReportNoAliases) {
  MakeTree(L"D:");
  std::map<std::wstring, std::wstring> listed = Aliases(os_, L"D:\\dir\\*");
  ASSERT_EQ(listed.size(), 8u);
  for (const auto& [name, alias] : listed)
    EXPECT_EQ(alias, L"") << name;
  EXPECT_EQ(Aliases(os_, L"D:\\dir\\Program Files")[L"Program Files"], L"");
  // Nor does a host path off every drive.
  std::string host = world_.HostPath(L"C:\\dir");
  EXPECT_EQ(Aliases(os_, FromUtf8(host) + L"\\*")[L"Program Files"], L"");
}

}  // namespace
}  // namespace tarvik
