#include "driver/switch_table.h"

#include "driver_test.h"

namespace tarvik {
namespace {

class SwitchTableTest : public DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    RegisterLogSwitches(&registry_, &settings_);
    RegisterRunSwitches(&registry_, &settings_, &command_);
  }

  bool Parse(const std::vector<std::wstring>& args) { return registry_.ParseSwitches(args); }

  CopySettings settings_;
  CommandLine command_;
  SwitchRegistry registry_;
};

TEST_F(SwitchTableTest, LogSwitchesComeFirst) {
  std::vector<std::wstring> names;
  for (const Switch& s : registry_.switches())
    names.push_back(s.name);
  ASSERT_GE(names.size(), 4u);
  EXPECT_EQ(std::vector<std::wstring>(names.begin(), names.begin() + 4),
            (std::vector<std::wstring>{L"tee", L"u", L"log", L"log+"}));
}

TEST_F(SwitchTableTest, EachFlagSetsItsOwnField) {
  struct Flag {
    const wchar_t* arg;
    int32_t* field;
  };
  CopySettings& s = settings_;
  const Flag flags[] = {
      {L"/nosec", &s.noSecurity},
      {L"/noprivchecks", &s.noPrivilegeChecks},
      {L"/o", &s.copyOwner},
      {L"/a", &s.copyAudit},
      {L"/dac", &s.copyDac},
      {L"/secfix", &s.secFix},
      {L"/secforce", &s.secForce},
      {L"/secmerge", &s.secMerge},
      {L"/lg", &s.translateLocalGroups},
      {L"/lu", &s.translateLocalUsers},
      {L"/i", &s.ignoreLocalAccounts},
      {L"/s", &s.recurse},
      {L"/nosort", &s.noSort},
      {L"/chunk", &command_.chunkSwitch},
      {L"/d", &s.newerOnly},
      {L"/de", &s.differentOnly},
      {L"/sd", &s.noDataOnSdError},
      {L"/l", &s.listOnly},
      {L"/create", &s.createOnly},
      {L"/z", &command_.restartableSwitch},
      {L"/c", &s.continueOnError},
      {L"/purge", &s.purge},
      {L"/preserveroot", &s.preserveRoot},
      {L"/f", &s.fullPaths},
      {L"/q", &s.quiet},
      {L"/nocase", &s.lowerCaseNames},
      {L"/sdd", &s.syncDirDates},
      {L"/backupSD", &s.backupSD},
      {L"/restoreSD", &s.restoreSD},
      {L"/preserveSIDh", &s.preserveSidHistory},
      {L"/nodf", &s.noDirFilter},
      {L"/stream", &s.copyStreams},
      {L"/ignorestubra", &s.ignoreStubra},
      {L"/xjd", &s.excludeJunctions},
      {L"/dbg", &s.debug},
      {L"/dbgth", &s.debugThreads},
      {L"/dbgres", &s.debugResults},
      {L"/dbgsec", &s.debugSecurity},
      {L"/dbgstats", &s.debugStats},
      {L"/dbgpriv", &s.debugPrivileges},
      {L"/dbgsys", &s.debugSystem},
      {L"/dbglog", &s.debugLog},
      {L"/dbgtrf", &s.debugTransfer},
      {L"/dbgsid", &s.debugSid},
      {L"/tee", &s.logTee},
      {L"/u", &s.logUnicode},
  };
  for (const Flag& flag : flags) {
    ASSERT_TRUE(Parse({flag.arg})) << flag.arg;
    int32_t set = 0;
    for (const Flag& other : flags)
      set += *other.field;
    EXPECT_EQ(*flag.field, 1) << flag.arg;
    EXPECT_EQ(set, 1) << flag.arg << " set another field as well";
    *flag.field = 0;
  }
  // The debug switches wait in the command line until validation.
  EXPECT_EQ(settings_.debug + settings_.debugLog + settings_.debugSid, 0);
  EXPECT_EQ(TakeOutput(), L"");
}

TEST_F(SwitchTableTest, NumericSwitchesTakeWholeDecimalValues) {
  EXPECT_TRUE(Parse({L"/R:5", L"/w:0", L"/th", L"8", L"9", L"/lev:3", L"/trfwindow:10"}));
  EXPECT_EQ(settings_.retryCount, 5);
  EXPECT_EQ(settings_.retryWaitSeconds, 0);
  EXPECT_EQ(settings_.threadCount, 8);
  EXPECT_EQ(settings_.maxDepth, 3);
  EXPECT_EQ(settings_.transferWindowBytes, 10485760u);
  EXPECT_TRUE(Parse({L"/r:", L"/th:0", L"/r: 7", L"/trfwindow:99999999999"}));
  EXPECT_EQ(settings_.retryCount, 7);
  EXPECT_EQ(settings_.threadCount, 0);  // the range is checked later
  EXPECT_EQ(settings_.transferWindowBytes, 2147483647ull * 1048576);
  EXPECT_EQ(TakeOutput(), L"");

  const std::pair<const wchar_t*, const wchar_t*> refused[] = {
      {L"/r:-1",
       L" Syntax error in /r:-1 switch: The number of retries must be a positive value.\n"},
      {L"/r:5x",
       L" Syntax error in /r:5x switch: The number of retries must be a positive value.\n"},
      {L"/w:x",
       L" Syntax error in /w:x switch: The time value between two retries must be a positive "
       L"value.\n"},
      {L"/th:-2",
       L" Syntax error in /th:-2 switch: The number of thread must be a positive value.\n"},
      {L"/trfwindow:1.5",
       L" Syntax error in /trfwindow:1.5 switch: The transfer window size must be a positive "
       L"value.\n"},
      {L"/lev:0",
       L" Syntax error in /lev:0 switch: The value of this switch must be a positive decimal value "
       L"and not 0.\n"},
      {L"/lev:",
       L" Syntax error in /lev: switch: The value of this switch must be a positive decimal value "
       L"and not 0.\n"},
  };
  for (const auto& [arg, message] : refused) {
    EXPECT_FALSE(Parse({arg}));
    EXPECT_EQ(TakeOutput(), message);
  }
  EXPECT_EQ(settings_.retryCount, 7);
}

TEST_F(SwitchTableTest, TextSwitchesKeepTheirValues) {
  EXPECT_TRUE(Parse({L"/hda:DOM\\admin", L"/nd:NEWDOM", L"/sidmapfile", L"map.txt", L"/cm:MD5",
                     L"/compress:forcedir", L"/ondiskfull:wait,50", L"/log:run.log"}));
  EXPECT_EQ(settings_.homeDirMode, 1);
  EXPECT_EQ(settings_.homeDirAccount, L"DOM\\admin");
  EXPECT_EQ(settings_.newDomain, L"NEWDOM");
  EXPECT_EQ(settings_.sidMapFile, L"map.txt");
  EXPECT_EQ(command_.checkContentText, L"MD5");
  EXPECT_EQ(command_.compressText, L"forcedir");
  EXPECT_EQ(command_.diskFullText, L"wait,50");
  EXPECT_EQ(settings_.logPath, L"run.log");
  EXPECT_EQ(settings_.logAppend, 0);
  EXPECT_EQ(settings_.checkContentMode, 0);  // read by validation

  EXPECT_TRUE(Parse({L"/log+:other.log", L"/nd:"}));
  EXPECT_EQ(settings_.logPath, L"other.log");
  EXPECT_EQ(settings_.logAppend, 1);
  EXPECT_EQ(settings_.newDomain, L"");
  EXPECT_TRUE(Parse({L"/log:third.log"}));
  EXPECT_EQ(settings_.logAppend, 0);
}

TEST_F(SwitchTableTest, ExclusionListsHoldUpToAThousandValues) {
  EXPECT_TRUE(Parse({L"/xf", L"*?.tmp", L"a<\"b", L"x>", L"/xd", L"*?.tmp", L"Temp"}));
  EXPECT_EQ(settings_.excludedFiles, (std::vector<std::wstring>{L"*.tmp", L"a*.b", L"x?"}));
  EXPECT_EQ(settings_.excludedDirs, (std::vector<std::wstring>{L"*?.tmp", L"Temp"}));
  EXPECT_TRUE(Parse({L"/xf", L"new"}));
  EXPECT_EQ(settings_.excludedFiles, std::vector<std::wstring>{L"new"});

  std::vector<std::wstring> args = {L"/xf"};
  args.insert(args.end(), 1000, L"f");
  EXPECT_TRUE(Parse(args));
  EXPECT_EQ(settings_.excludedFiles.size(), 1000u);
  args.push_back(L"f");
  EXPECT_FALSE(Parse(args));
  EXPECT_EQ(TakeOutput(), L" /xf switch requires at most 1000 argument(s).\n");
}

TEST_F(SwitchTableTest, LocalSidSourceMustBeAHexadecimalSid) {
  EXPECT_TRUE(Parse({L"/localsidsource:S-1-5-15-aaaaaaaa-bbbbbbbb-cccccccc-FFFFFFFF"}));
  EXPECT_EQ(settings_.localSidSourceSet, 1);
  EXPECT_EQ(settings_.localSidSource,
            (std::vector<uint8_t>{1,    5,    0,    0,    0,    0,    0,    5,    0x15, 0,
                                  0,    0,    0xaa, 0xaa, 0xaa, 0xaa, 0xbb, 0xbb, 0xbb, 0xbb,
                                  0xcc, 0xcc, 0xcc, 0xcc, 0xff, 0xff, 0xff, 0xff}));

  settings_.localSidSource.clear();
  settings_.localSidSourceSet = 0;
  for (const wchar_t* bad : {L"S-1-5-15-aaaaaaaaa", L"S-1-5-xyz", L"s-1-5-15", L"S-1-A-15",
                             L"S-1-5-1-2-3-4-5-6-7-8-9-a-b-c-d-e-f-10", L""}) {
    EXPECT_FALSE(Parse({std::wstring(L"/localsidsource:") + bad})) << bad;
    EXPECT_EQ(TakeOutput(), std::wstring(L" Syntax error in /localsidsource:") + bad +
                                L" switch: SID not well formatted, please follows the  "
                                L"S-1-5-15-aaaaaaaa-bbbbbbbb-cccccccc-FFFFFFFF syntax.\n");
  }
  EXPECT_EQ(settings_.localSidSourceSet, 0);
  EXPECT_TRUE(settings_.localSidSource.empty());
}

}  // namespace
}  // namespace tarvik
