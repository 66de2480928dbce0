#include "copy_fixture.h"

#include "copy/dir_copy_thread.h"
#include "copy/engine_state.h"
#include "copy/root_setup.h"
#include "copy/worker_pool.h"
#include "log/log_testing.h"
#include "scan/dir_scan.h"
#include "scan/name_filters.h"
#include "translate/sd_translator.h"
#include "util/abort.h"
#include "util/utf.h"

namespace tarvik {

size_t CopyRun::Count(std::wstring_view text) const {
  size_t count = 0;
  for (size_t at = output.find(text); at != std::wstring::npos; at = output.find(text, at + 1))
    ++count;
  return count;
}

std::string WorldWithFaults(std::string_view faults_json) {
  return std::string(R"({"computer": "TESTPC", "drives": {"C:": {"path": "c"}}, "faults": )") +
         std::string(faults_json) + "}";
}

CopyEngineTest::CopyEngineTest() : world_(std::make_unique<TestWorld>()) {
  ResetProcessState();
}

CopyEngineTest::~CopyEngineTest() {
  DestroyWorkerPool();
  ResetProcessState();
}

void CopyEngineTest::ResetProcessState() {
  ResetLogSystemForTesting();
  ResetAbortForTesting();
  ResetEngineState();
  ResetSdTranslator();
  NameFilters::ResetFiltersForTesting();
  Settings() = CopySettings();
  CopySettings& s = Settings();
  s.recurse = 1;
  s.noSecurity = 1;
  s.securityMode = SecurityMode::None;
  s.retryCount = 1;
  s.retryWaitSeconds = 0;
  s.threadCount = 4;
}

void CopyEngineTest::UseWorld(std::string_view json) {
  world_.reset();
  world_ = std::make_unique<TestWorld>(json);
}

CopyRun CopyEngineTest::Run(const std::wstring& source, const std::wstring& target) {
  CopyRun run;
  DestroyWorkerPool();
  ResetAbortForTesting();
  ResetEngineState();
  ResetSdTranslator();
  TheRunServers() = RunServers();
  NameFilters::ResetFiltersForTesting();
  const CopySettings& s = Settings();
  EXPECT_TRUE(NameFilters::SetFileFilter(s.filePatterns));
  NameFilters::SetExcludedFileFilter(s.excludedFiles);
  NameFilters::SetExcludedDirFilter(s.excludedDirs);

  ::testing::internal::CaptureStdout();
  CreateWorkerPool(static_cast<uint32_t>(s.threadCount));
  WorkerPool* pool = ThePool();
  DirCopyThread* root = AsCopyThread(pool->TakeWorker(WorkerRole::kTree));
  root->set_max_depth(s.maxDepth);
  run.started = SetRoots(root, source, target);
  if (run.started) {
    root->set_trees_taken(1);
    root->Wake();
  } else {
    pool->ReleaseWorker(root);
  }
  pool->WaitForWorkers();
  run.output = FromUtf8(::testing::internal::GetCapturedStdout());
  run.totals = TheRunStatistics().Snapshot();
  run.exitBits = TheRunStatistics().ExitBits();
  DestroyWorkerPool();
  return run;
}

WIN32_FIND_DATAW CopyEngineTest::Info(const std::wstring& path) {
  WIN32_FIND_DATAW data{};
  HANDLE find = Os::Current().FindFirstFileW(path.c_str(), &data);
  EXPECT_NE(find, INVALID_HANDLE_VALUE) << ToUtf8(path);
  if (find != INVALID_HANDLE_VALUE)
    Os::Current().FindClose(find);
  return data;
}

uint64_t CopyEngineTest::LastWrite(const std::wstring& path) {
  return FileTimeValue(Info(path).ftLastWriteTime);
}

DWORD CopyEngineTest::Attributes(const std::wstring& path) {
  return Os::Current().GetFileAttributesW(path.c_str());
}

}  // namespace tarvik
