// A fixture that runs the threaded copy engine in-process on a test world:
// fresh settings, filters and engine state for every test, and the run's
// output, totals and exit bits.
#ifndef TARVIK_TESTS_COPY_COPY_FIXTURE_H_
#define TARVIK_TESTS_COPY_COPY_FIXTURE_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include "copy/run_statistics.h"
#include "settings/copy_settings.h"
#include "support/test_world.h"

namespace tarvik {

struct CopyRun {
  bool started = false;
  uint32_t exitBits = 0;
  RunTotals totals;
  std::wstring output;

  bool Printed(std::wstring_view text) const { return output.find(text) != std::wstring::npos; }
  size_t Count(std::wstring_view text) const;
};

class CopyEngineTest : public ::testing::Test {
 protected:
  CopyEngineTest();
  ~CopyEngineTest() override;

  // Replaces the world (for example with one that has faults).
  void UseWorld(std::string_view json);
  TestWorld& world() { return *world_; }

  // Copies source to target with the current settings, all in this process.
  CopyRun Run(const std::wstring& source = L"C:\\src", const std::wstring& target = L"C:\\dst");

  // The NT times and attributes of a path, through the installed Os.
  WIN32_FIND_DATAW Info(const std::wstring& path);
  uint64_t LastWrite(const std::wstring& path);
  DWORD Attributes(const std::wstring& path);

 private:
  void ResetProcessState();
  std::unique_ptr<TestWorld> world_;
};

// A world with the default drives and the given "faults" array.
std::string WorldWithFaults(std::string_view faults_json);

}  // namespace tarvik

#endif  // TARVIK_TESTS_COPY_COPY_FIXTURE_H_
