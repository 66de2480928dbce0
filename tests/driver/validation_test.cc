#include "driver/validation.h"

#include "driver/switch_table.h"
#include "driver_test.h"

namespace tarvik {
namespace {

class ValidationTest : public DriverTest {
 protected:
  // Parses the switches into fresh settings and validates them; derives the
  // settings when validation passed.
  bool Validate(const std::vector<std::wstring>& switches) {
    settings_ = CopySettings();
    command_ = CommandLine();
    SwitchRegistry registry;
    RegisterLogSwitches(&registry, &settings_);
    RegisterRunSwitches(&registry, &settings_, &command_);
    EXPECT_TRUE(registry.ParseSwitches(switches));
    if (!ValidateSettings(&command_, &settings_))
      return false;
    DeriveSettings(&command_, &settings_);
    return true;
  }

  void ExpectRefused(const std::vector<std::wstring>& switches, const std::wstring& message) {
    EXPECT_FALSE(Validate(switches)) << switches[0];
    EXPECT_EQ(TakeOutput(), message) << switches[0];
  }

  void ExpectAccepted(const std::vector<std::wstring>& switches) {
    EXPECT_TRUE(Validate(switches)) << (switches.empty() ? L"" : switches[0]);
    EXPECT_EQ(TakeOutput(), L"");
  }

  CopySettings settings_;
  CommandLine command_;
};

TEST_F(ValidationTest, DefaultsPass) {
  ExpectAccepted({});
  EXPECT_EQ(settings_.securityMode, SecurityMode::Copy);
  EXPECT_EQ(settings_.threadCount, 64);
  EXPECT_EQ(settings_.retryCount, 100);
  EXPECT_EQ(settings_.retryWaitSeconds, 30);
  EXPECT_EQ(settings_.quotaMode, kQuotaNone);
  EXPECT_EQ(settings_.diskFullHighWaterMark, 100);
  EXPECT_EQ(settings_.chunkMode, 0);
  EXPECT_EQ(settings_.purge + settings_.copyOwner + settings_.copyAudit + settings_.timeSelection,
            0);
}

TEST_F(ValidationTest, ThreadCountMustBeInRange) {
  const std::wstring message =
      L"\n Illegal thread count value. Thread count must be in the range 1 to 256.\n";
  ExpectRefused({L"/th:0"}, message);
  ExpectRefused({L"/th:257"}, message);
  ExpectRefused({L"/th:99999999999"}, message);
  ExpectAccepted({L"/th:256"});
  EXPECT_EQ(settings_.threadCount, 256);
  ExpectAccepted({L"/th:1"});
}

TEST_F(ValidationTest, ReadsModeWords) {
  ExpectAccepted({L"/cm:MD5"});
  EXPECT_EQ(settings_.checkContentMode, kCheckMd5);
  ExpectAccepted({L"/cm", L"Bin"});
  EXPECT_EQ(settings_.checkContentMode, kCheckBin);
  ExpectAccepted({L"/cm:"});
  EXPECT_EQ(settings_.checkContentMode, kCheckNone);
  ExpectRefused({L"/cm:sha1"},
                L"\n bad check content mode  sha1\n only \"bin\" and \"md5\" check "
                L"content mode are supported.\n");

  const wchar_t* words[] = {L"NORMAL", L"ignore", L"ForceFile", L"forcedir", L"forceall"};
  for (int32_t mode = 0; mode < 5; ++mode) {
    ExpectAccepted({std::wstring(L"/compress:") + words[mode]});
    EXPECT_EQ(settings_.compressMode, mode);
  }
  ExpectRefused({L"/compress:file"},
                L"\n bad compress mode  file\n only \"normal\", \"ignore\", \"file\", \"dir\" and "
                L"\"all\" compress mode are supported.\n");
}

TEST_F(ValidationTest, ReadsTheDiskFullMode) {
  ExpectAccepted({L"/ondiskfull:wait"});
  EXPECT_EQ(settings_.diskFullMode, kDiskFullWait);
  EXPECT_EQ(settings_.diskFullHighWaterMark, 100);
  EXPECT_EQ(settings_.quotaMode, kQuotaWaitForSpace);
  ExpectAccepted({L"/ondiskfull:WAIT,1"});
  EXPECT_EQ(settings_.diskFullHighWaterMark, 1);
  ExpectAccepted({L"/ondiskfull:retry,500"});  // the mark matters only for wait
  EXPECT_EQ(settings_.diskFullMode, kDiskFullRetry);
  EXPECT_EQ(settings_.quotaMode, kQuotaNone);
  ExpectAccepted({L"/ondiskfull:Abort"});
  EXPECT_EQ(settings_.diskFullMode, kDiskFullAbort);

  for (const wchar_t* text : {L"wait,0", L"wait,101", L"wait,", L"wait,x", L"stop", L"wait ,50"}) {
    ExpectRefused({std::wstring(L"/ondiskfull:") + text},
                  std::wstring(L"\n bad on disk full mode  ") + text +
                      L"\n only \"abort\", \"retry\", and \"wait[,{hwm}] \" on disk full mode are "
                      L"supported.\n");
  }
}

TEST_F(ValidationTest, TransferWindowGivesWayToTheWaitForSpace) {
  ExpectAccepted({L"/trfwindow:10"});
  EXPECT_EQ(settings_.transferWindowBytes, 10485760u);
  EXPECT_EQ(settings_.quotaMode, kQuotaTransferWindow);
  ExpectAccepted({L"/trfwindow:10", L"/ondiskfull:wait,80"});
  EXPECT_EQ(settings_.quotaMode, kQuotaWaitForSpace);
  ExpectAccepted({L"/trfwindow:0"});
  EXPECT_EQ(settings_.quotaMode, kQuotaNone);
}

// Each message is checked end to end; here the order in which the
// combinations are tested.
TEST_F(ValidationTest, ReportsOnlyTheFirstConflict) {
  ExpectRefused({L"/stream", L"/create", L"/th:0"},
                L"\n /stream and /create are exclusive switches.\n");
  ExpectRefused({L"/nosec", L"/secfix", L"/dac"},
                L"\n /nosec and /secfix are exclusive switches.\n");
  ExpectRefused({L"/nosec", L"/secforce", L"/secmerge", L"/secfix"},
                L"\n /nosec and /secforce are exclusive switches.\n");
  ExpectRefused({L"/backupSD", L"/restoreSD", L"/nosec", L"/secfix"},
                L"\n /BackupSD and /RestoreSD are exclusive switches.\n");
  ExpectRefused({L"/secforce", L"/secfix", L"/d", L"/de"},
                L"\n /secforce and /secfix are exclusive switches.\n");
  const std::wstring hda =
      L"\n /hda and one of /secfix /secmerge /secforce /backupSD /restoreSD /nosec are exclusive "
      L"switches.\n";
  for (const wchar_t* other :
       {L"/secfix", L"/secmerge", L"/secforce", L"/backupSD", L"/restoreSD", L"/nosec"}) {
    ExpectRefused({L"/hda:acct", other}, hda);
  }
  ExpectAccepted({L"/nosec", L"/o", L"/a", L"/lg"});
}

TEST_F(ValidationTest, DerivesTheSecurityMode) {
  const std::pair<std::vector<std::wstring>, SecurityMode> cases[] = {
      {{}, SecurityMode::Copy},
      {{L"/nosec"}, SecurityMode::None},
      {{L"/secforce"}, SecurityMode::Force},
      {{L"/secfix"}, SecurityMode::Fix},
      {{L"/secmerge"}, SecurityMode::Merge},
      {{L"/secmerge", L"/secfix"}, SecurityMode::Fix},
      {{L"/secforce", L"/secmerge"}, SecurityMode::Force},
      {{L"/hda:acct"}, SecurityMode::HomeDir},
      {{L"/restoreSD"}, SecurityMode::Force},
  };
  for (const auto& [switches, mode] : cases) {
    ExpectAccepted(switches);
    EXPECT_EQ(settings_.securityMode, mode);
  }
  EXPECT_EQ(settings_.homeDirMode, 0);
  ExpectAccepted({L"/hda:acct"});
  EXPECT_EQ(settings_.homeDirAccount, L"acct");
}

TEST_F(ValidationTest, SecurityOnlyRunsIgnoreDataSwitches) {
  EXPECT_TRUE(
      Validate({L"/backupSD", L"/secfix", L"/purge", L"/create", L"/nocase", L"/d",
                L"/preserveroot", L"/cm:md5", L"/ignorestubra", L"/i", L"/lg", L"/lu", L"/sd"}));
  EXPECT_EQ(TakeOutput(),
            L"Warning :  /nosec, /secfix, /secforce and /secmerge have no effect when they are "
            L"used in conjunction with /backupSD or /restoreSD switches.\n");
  EXPECT_EQ(settings_.securityMode, SecurityMode::Force);
  EXPECT_EQ(settings_.copyOwner, 1);
  EXPECT_EQ(settings_.copyAudit, 1);
  EXPECT_EQ(settings_.purge, 1);  // a backup purges extra target objects
  EXPECT_EQ(settings_.secFix, 0);
  EXPECT_EQ(settings_.createOnly + settings_.lowerCaseNames + settings_.newerOnly +
                settings_.preserveRoot + settings_.checkContentMode + settings_.ignoreStubra +
                settings_.ignoreLocalAccounts + settings_.timeSelection,
            0);
  EXPECT_EQ(settings_.noDataOnSdError, 0);  // follows /l
  EXPECT_EQ(settings_.translateLocalGroups + settings_.translateLocalUsers, 2);
  // The typed switches as the report shows them: /purge was cleared.
  EXPECT_EQ(command_.ownerSwitch + command_.auditSwitch + command_.purgeSwitch, 0);

  ExpectAccepted({L"/restoreSD", L"/l", L"/purge", L"/o"});
  EXPECT_EQ(settings_.noDataOnSdError, 1);
  EXPECT_EQ(settings_.listOnly, 1);
  EXPECT_EQ(settings_.purge, 0);  // a restore never purges
  EXPECT_EQ(settings_.copyAudit, 1);
  EXPECT_EQ(command_.ownerSwitch, 1);
  EXPECT_EQ(command_.auditSwitch, 0);

  // /d and /de are checked before the override clears /d.
  ExpectRefused({L"/backupSD", L"/d", L"/de"}, L"\n /d and /de are exclusive switches.\n");
}

TEST_F(ValidationTest, DerivesTheRemainingSettings) {
  ExpectAccepted({L"/o", L"/a", L"/purge", L"/chunk", L"/de", L"/dbg", L"/dbglog", L"/dbgsid"});
  EXPECT_EQ(settings_.copyOwner, 1);
  EXPECT_EQ(settings_.copyAudit, 1);
  EXPECT_EQ(settings_.purge, 1);
  EXPECT_EQ(settings_.chunkMode, 2);
  EXPECT_EQ(settings_.timeSelection, 1);
  EXPECT_EQ(settings_.debug + settings_.debugLog + settings_.debugSid, 3);
  EXPECT_EQ(settings_.debugThreads + settings_.debugResults + settings_.debugSecurity +
                settings_.debugStats + settings_.debugPrivileges + settings_.debugSystem +
                settings_.debugTransfer,
            0);
  ExpectAccepted({L"/d"});
  EXPECT_EQ(settings_.timeSelection, 1);
}

}  // namespace
}  // namespace tarvik
