#include "driver/command_line.h"

#include "driver/switch_table.h"
#include "driver_test.h"

namespace tarvik {
namespace {

class CommandLineTest : public DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    RegisterLogSwitches(&registry_, &settings_);
    RegisterRunSwitches(&registry_, &settings_, &command_);
  }

  bool Read(const std::vector<std::wstring>& args) {
    return ReadCommandLine(args, registry_, &command_, &settings_);
  }

  CopySettings settings_;
  CommandLine command_;
  SwitchRegistry registry_;
};

TEST_F(CommandLineTest, SeparatesDirectoriesPatternsAndSwitches) {
  EXPECT_TRUE(Read({L"tarvik", L"src", L"SRC"}));  // the comparison keeps letter case
  EXPECT_EQ(command_.sourceDir, L"src");
  EXPECT_EQ(command_.destinationDir, L"SRC");
  EXPECT_TRUE(settings_.filePatterns.empty());

  EXPECT_TRUE(Read({L"tarvik", L"/srv/a", L"/srv/b", L"a.txt", L"b*.txt", L"/s", L"/r:2"}));
  EXPECT_EQ(command_.sourceDir, L"/srv/a");
  EXPECT_EQ(settings_.filePatterns, (std::vector<std::wstring>{L"a.txt", L"b*.txt"}));
  EXPECT_EQ(settings_.recurse, 1);
  EXPECT_EQ(settings_.retryCount, 2);
  EXPECT_EQ(TakeOutput(), L"");

  EXPECT_FALSE(Read({L"tarvik", L"src", L"dst", L"/s", L"a.txt"}));
  EXPECT_EQ(TakeOutput(), L"a.txt argument is not an option.\n");
}

}  // namespace
}  // namespace tarvik
