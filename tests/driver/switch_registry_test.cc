#include "driver/switch_registry.h"

#include "driver_test.h"

namespace tarvik {
namespace {

class SwitchRegistryTest : public DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    registry_.RegisterFlagSwitch(L"s", &recurse_);
    registry_.RegisterFlagSwitch(L"backupSD", &backup_);
    registry_.RegisterValueSwitch(L"r", Recorder(&r_calls_));
    registry_.RegisterValueSwitch(L"log", Recorder(&log_calls_));
    registry_.RegisterValueSwitch(L"log+", Recorder(&log_plus_calls_));
    registry_.RegisterListSwitch(L"xf", 3, Recorder(&xf_calls_));
    registry_.RegisterValueSwitch(
        L"bad", [](std::span<const std::wstring_view>) { return "value refused."; });
  }

  using Calls = std::vector<std::vector<std::wstring>>;

  static SwitchHandler Recorder(Calls* calls) {
    return [calls](std::span<const std::wstring_view> values) -> const char* {
      calls->emplace_back(values.begin(), values.end());
      return nullptr;
    };
  }

  bool Parse(const std::vector<std::wstring>& args) { return registry_.ParseSwitches(args); }

  SwitchRegistry registry_;
  int32_t recurse_ = 7;
  int32_t backup_ = 7;
  Calls r_calls_, log_calls_, log_plus_calls_, xf_calls_;
};

TEST_F(SwitchRegistryTest, RegistrationSkipsIncompleteSwitchesAndClearsFlags) {
  EXPECT_EQ(recurse_, 0);
  int32_t flag = 5;
  size_t before = registry_.switches().size();
  registry_.RegisterFlagSwitch(L"", &flag);
  registry_.RegisterFlagSwitch(L"x", nullptr);
  registry_.RegisterValueSwitch(L"", Recorder(&r_calls_));
  registry_.RegisterValueSwitch(L"v", nullptr);
  registry_.RegisterListSwitch(L"l", 0, Recorder(&r_calls_));
  registry_.RegisterListSwitch(L"l", 2, nullptr);
  registry_.RegisterListSwitch(L"", 2, Recorder(&r_calls_));
  EXPECT_EQ(registry_.switches().size(), before);
  EXPECT_EQ(flag, 5);
}

TEST_F(SwitchRegistryTest, FindsNamesWithoutRegardToCaseAndValuesOnlyAfterAColon) {
  std::optional<std::wstring_view> value;
  EXPECT_EQ(registry_.FindSwitch(L"BACKUPSD", &value)->name, L"backupSD");
  EXPECT_FALSE(value.has_value());
  EXPECT_EQ(registry_.FindSwitch(L"R:5", &value)->name, L"r");
  EXPECT_EQ(value, L"5");
  EXPECT_EQ(registry_.FindSwitch(L"r:", &value)->name, L"r");
  EXPECT_EQ(value, L"");
  EXPECT_EQ(registry_.FindSwitch(L"log+:a:b", &value)->name, L"log+");
  EXPECT_EQ(value, L"a:b");
  EXPECT_EQ(registry_.FindSwitch(L"log:x", &value)->name, L"log");
  // Neither a flag switch nor a list switch takes a ':' value.
  EXPECT_EQ(registry_.FindSwitch(L"s:1", &value), nullptr);
  EXPECT_EQ(registry_.FindSwitch(L"xf:*.tmp", &value), nullptr);
  EXPECT_EQ(registry_.FindSwitch(L"re", &value), nullptr);
  EXPECT_EQ(registry_.FindSwitch(L"", &value), nullptr);
  EXPECT_FALSE(value.has_value());
}

TEST_F(SwitchRegistryTest, AppliesFlagsAndValues) {
  EXPECT_TRUE(Parse({}));
  EXPECT_TRUE(Parse({L"/S", L"/r:5", L"/r", L"8", L"9", L"/s", L"/r:", L"/xf", L"a", L"b", L"c"}));
  EXPECT_EQ(recurse_, 1);
  EXPECT_EQ(r_calls_, (Calls{{L"5"}, {L"8", L"9"}, {L""}}));
  EXPECT_EQ(xf_calls_, (Calls{{L"a", L"b", L"c"}}));
  EXPECT_EQ(TakeOutput(), L"");
}

TEST_F(SwitchRegistryTest, ReportsEachKindOfErrorOnceAndStops) {
  struct Case {
    std::vector<std::wstring> args;
    const wchar_t* message;
  };
  const Case cases[] = {
      {{L"/r:5", L"6", L"/s"}, L"6 argument is not an option.\n"},
      {{L"s"}, L"s argument is not an option.\n"},
      {{L""}, L" argument is not an option.\n"},
      {{L"/s:1"}, L" Unknown /s:1 switch.\n"},
      {{L"/xf:*.tmp"}, L" Unknown /xf:*.tmp switch.\n"},
      {{L"/"}, L" Unknown / switch.\n"},
      {{L"/xf"}, L" /xf switch requires at least one argument.\n"},
      {{L"/XF", L"/s"}, L" /XF switch requires at least one argument.\n"},
      {{L"/r"}, L" /r switch requires at least one argument.\n"},
      {{L"/xf", L"a", L"b", L"c", L"d", L"/s"}, L" /xf switch requires at most 3 argument(s).\n"},
      {{L"/bad:x", L"/s"}, L" Syntax error in /bad:x switch: value refused.\n"},
      {{L"/bad", L"x"}, L" Syntax error in /bad switch: value refused.\n"},
  };
  for (const Case& c : cases) {
    recurse_ = 0;
    EXPECT_FALSE(Parse(c.args));
    EXPECT_EQ(TakeOutput(), c.message);
    EXPECT_EQ(recurse_, 0) << "parsing went on after " << c.args[0];
  }
  // The value before the stray argument was applied.
  EXPECT_EQ(r_calls_, (Calls{{L"5"}}));
  EXPECT_TRUE(xf_calls_.empty());
}

}  // namespace
}  // namespace tarvik
