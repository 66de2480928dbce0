// Installs a RecordingOs and gives every test a fresh log system and settings.
#ifndef TARVIK_TESTS_LOG_LOG_FIXTURE_H_
#define TARVIK_TESTS_LOG_LOG_FIXTURE_H_

#include <gtest/gtest.h>

#include <string>

#include "log/log.h"
#include "log/log_testing.h"
#include "recording_os.h"
#include "settings/copy_settings.h"

namespace tarvik {

class LogTest : public ::testing::Test {
 protected:
  static constexpr const wchar_t* kTime = L"22:13:20 : ";  // RecordingOs::kStartTime

  void SetUp() override {
    previous_os_ = Os::Install(&os_);
    ResetLogSystemForTesting();
    Settings() = CopySettings{};
  }

  void TearDown() override {
    ResetLogSystemForTesting();
    Settings() = CopySettings{};
    Os::Install(previous_os_);
  }

  RecordingOs os_;

 private:
  Os* previous_os_ = nullptr;
};

}  // namespace tarvik

#endif  // TARVIK_TESTS_LOG_LOG_FIXTURE_H_
