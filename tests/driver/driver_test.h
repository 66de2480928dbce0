// A fixture for the command-line tests: fresh settings and log system for
// every test, and the text that the program printed to standard output.
#ifndef TARVIK_TESTS_DRIVER_DRIVER_TEST_H_
#define TARVIK_TESTS_DRIVER_DRIVER_TEST_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/os.h"

namespace tarvik {

class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Everything printed since the test began (or since the last call).
  std::wstring TakeOutput();

  // Wide argument vectors from literals.

 private:
  std::unique_ptr<Os> os_;
  Os* previous_os_ = nullptr;
};

}  // namespace tarvik

#endif  // TARVIK_TESTS_DRIVER_DRIVER_TEST_H_
