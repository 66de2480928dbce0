// Shared pieces of the scanner's tests: a fixture that gives every test fresh
// settings, filters, abort flag and log system, and engines that record what
// the walk tells them.
#ifndef TARVIK_TESTS_SCAN_SCAN_FIXTURE_H_
#define TARVIK_TESTS_SCAN_SCAN_FIXTURE_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log/log_testing.h"
#include "scan/dir_cmp.h"
#include "scan/dir_scan.h"
#include "settings/copy_settings.h"
#include "util/abort.h"

namespace tarvik {

// Resets every process-wide state the scanner reads, before and after.
class ScanStateGuard {
 public:
  ScanStateGuard() { Reset(); }
  ~ScanStateGuard() { Reset(); }
  static void Reset() {
    ResetLogSystemForTesting();
    Settings() = CopySettings{};
    Settings().retryCount = 0;
    Settings().retryWaitSeconds = 0;
    NameFilters::ResetFiltersForTesting();
    ResetAbortForTesting();
    DirScan::SetRootsSet(false);
  }
};

// A scanner that records the walk's calls: "file <path>", "dir <path>",
// "enter <path>", "leave <path>", "link <path>".
class RecordingScan : public DirScan {
 public:
  int OnFile() override {
    events.push_back(L"file " + current_path());
    return 1;
  }
  int OnDirectory() override {
    events.push_back(L"dir " + current_path());
    return 1;
  }
  int OnDirectoryLink(FindData* target) override {
    events.push_back(L"link " + current_path());
    return 1;
  }
  int EnterDirectory(int root) override {
    events.push_back(L"enter " + current_path());
    return enter_result;
  }
  int LeaveDirectory() override {
    events.push_back(L"leave " + current_path());
    return 1;
  }
  int OnDirectoryScanned() override {
    events.push_back(L"scanned " + current_path());
    return 1;
  }
  void PrintStatistics() override { ++statistics_printed; }

  std::vector<std::wstring> events;
  int enter_result = 1;
  int statistics_printed = 0;
};

// A comparison that lists the target directory when it enters it (as the
// copy engine does) and records each event with the target path, or the
// name it is given.
class RecordingCmp : public DirCmp {
 public:
  int OnEnterTargetDirectory() override;
  int OnLeaveTargetDirectory() override {
    events.push_back(L"leave-target " + target_path());
    return 1;
  }
  std::unique_ptr<FindData> OnTargetDirectoryMissing() override;
  void OnDirectoryNewer() override { events.push_back(L"dir-newer " + target_path()); }
  void OnDirectorySameAge() override { events.push_back(L"dir-same " + target_path()); }
  void OnDirectoryCaseDiffers(const std::wstring& name) override {
    events.push_back(L"dir-case " + name);
  }
  void OnDirectoryOlder() override { events.push_back(L"dir-older " + target_path()); }
  void OnFileSameDate(FindData& target) override {
    events.push_back(L"file-same " + target_path());
  }
  void OnFileCaseDiffers(FindData& target) override {
    events.push_back(L"file-case " + std::wstring(target.LongName()));
  }
  void OnFileNewer(FindData& target) override { events.push_back(L"file-newer " + target_path()); }
  int OnTargetFileMissing() override {
    events.push_back(L"file-missing " + target_path());
    return 1;
  }
  void OnFileOlder(FindData& target) override { events.push_back(L"file-older " + target_path()); }
  int OnShouldBeDirectory() override {
    events.push_back(L"should-be-dir " + target_path());
    DirCmp::OnShouldBeDirectory();  // counts the mismatch
    return should_be_directory_result;
  }
  int OnShouldBeFile(FindData& target) override {
    events.push_back(L"should-be-file " + target_path());
    return DirCmp::OnShouldBeFile(target);
  }
  int OnTargetFilesLeft(TargetDir::EntryMap& files) override;

  // With create_missing, a missing target directory is created (through
  // the Os) and its entry returned, as the copy engine does.
  bool create_missing = false;
  int should_be_directory_result = 1;
  std::vector<std::wstring> events;
};

// The events that start with prefix.
std::vector<std::wstring> EventsStartingWith(const std::vector<std::wstring>& events,
                                             const std::wstring& prefix);

}  // namespace tarvik

#endif  // TARVIK_TESTS_SCAN_SCAN_FIXTURE_H_
