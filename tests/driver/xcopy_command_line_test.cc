#include "driver/xcopy_command_line.h"

#include "driver/switch_table.h"
#include "driver_test.h"

namespace tarvik {
namespace {

class XcopyCommandLineTest : public DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    RegisterLogSwitches(&registry_, &log_settings_);
    RegisterXcopySwitches(&registry_, &settings_, &command_);
  }

  bool Read(std::vector<std::wstring> args) {
    command_.destination.reset();
    args.insert(args.begin(), L"xcopy");
    return ReadXcopyCommandLine(args, registry_, &command_);
  }

  CopySettings settings_;
  CopySettings log_settings_;
  XcopyCommandLine command_;
  SwitchRegistry registry_;
};

TEST_F(XcopyCommandLineTest, TakesSourceDestinationAndSwitchesInAnyCase) {
  EXPECT_TRUE(Read({L"src", L"dst", L"/s", L"/E", L"/q", L"/Z"}));
  EXPECT_EQ(command_.source, L"src");
  EXPECT_EQ(command_.destination, L"dst");
  EXPECT_EQ(settings_.recurse, 1);
  EXPECT_EQ(settings_.quiet, 1);
  EXPECT_EQ(command_.restartable, 1);

  EXPECT_TRUE(Read({L"src", L"/D", L"/c", L"/F", L"/l", L"/dbg"}));
  EXPECT_EQ(command_.destination, std::nullopt);  // the current directory
  EXPECT_EQ(settings_.timeSelection, 1);
  EXPECT_EQ(settings_.differentOnly, 0);
  EXPECT_EQ(settings_.continueOnError, 1);
  EXPECT_EQ(settings_.fullPaths, 1);
  EXPECT_EQ(settings_.listOnly, 1);
  EXPECT_EQ(settings_.debug, 1);

  // Accepted, but they never reach the run's settings.
  EXPECT_TRUE(Read({L"src", L"dst", L"/log:x.log", L"/tee", L"/u"}));
  EXPECT_EQ(log_settings_.logPath, L"x.log");
  EXPECT_EQ(settings_.logPath, L"");
  EXPECT_EQ(TakeOutput(), L"");

  EXPECT_TRUE(Read({L"src", L"/?"}));
  EXPECT_EQ(command_.help, 1);
  EXPECT_TRUE(Read({L"/?", L"dst"}));  // the first argument is always the source
  EXPECT_EQ(command_.source, L"/?");
}

TEST_F(XcopyCommandLineTest, RefusesWhatItDoesNotKnow) {
  EXPECT_FALSE(Read({L"src", L"dst", L"/y"}));
  EXPECT_EQ(TakeOutput(), L" Unknown /y switch.\n");
  EXPECT_FALSE(Read({L"src", L"dst", L"/s", L"more"}));
  EXPECT_EQ(TakeOutput(), L"more argument is not an option.\n");
  // Only argument 2 can be the destination.
  EXPECT_FALSE(Read({L"src", L"/s", L"dst"}));
  EXPECT_EQ(TakeOutput(), L"dst argument is not an option.\n");
}

TEST_F(XcopyCommandLineTest, HostPathsAreDestinationsButSwitchFormsStaySwitches) {
  EXPECT_TRUE(Read({L"/srv/a", L"/srv/b", L"/s"}));
  EXPECT_EQ(command_.source, L"/srv/a");
  EXPECT_EQ(command_.destination, L"/srv/b");
  EXPECT_TRUE(Read({L"src", L"/new/"}));
  EXPECT_EQ(command_.destination, L"/new/");
  EXPECT_TRUE(Read({L"src", L"/tmp"}));  // one component: only when it exists
  EXPECT_EQ(command_.destination, L"/tmp");

  EXPECT_FALSE(Read({L"src", L"/no_such_directory_here"}));
  EXPECT_EQ(TakeOutput(), L" Unknown /no_such_directory_here switch.\n");
  EXPECT_TRUE(Read({L"src", L"/log:/tmp/x.log", L"/S"}));
  EXPECT_EQ(command_.destination, std::nullopt);
  for (const wchar_t* form : {L"/s", L"/D", L"/?", L"/tee", L"/log+:/var/x"})
    EXPECT_FALSE(IsXcopyDestination(form, registry_)) << form;
}

}  // namespace
}  // namespace tarvik
