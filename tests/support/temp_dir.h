// A fresh directory under the system's temporary directory, removed with
// everything in it at the end of the test.
#ifndef TARVIK_TESTS_SUPPORT_TEMP_DIR_H_
#define TARVIK_TESTS_SUPPORT_TEMP_DIR_H_

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace tarvik {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tarvik-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace tarvik

#endif  // TARVIK_TESTS_SUPPORT_TEMP_DIR_H_
