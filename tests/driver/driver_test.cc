#include "driver_test.h"

#include "log/log.h"
#include "log/log_testing.h"
#include "platform/posix/host_world.h"
#include "platform/posix/posix_os.h"
#include "settings/copy_settings.h"
#include "util/utf.h"

namespace tarvik {

void DriverTest::SetUp() {
  // The host's own world, whatever TARVIK_WORLD says.
  os_ = std::make_unique<PosixOs>(MakeHostWorld());
  previous_os_ = Os::Install(os_.get());
  Settings() = CopySettings();
  ResetLogSystemForTesting();
  ::testing::internal::CaptureStdout();
}

void DriverTest::TearDown() {
  if (os_ == nullptr)
    return;
  ::testing::internal::GetCapturedStdout();
  ResetLogSystemForTesting();
  Os::Install(previous_os_);
}

std::wstring DriverTest::TakeOutput() {
  std::string captured = ::testing::internal::GetCapturedStdout();
  ::testing::internal::CaptureStdout();
  return FromUtf8(captured);
}

}  // namespace tarvik
