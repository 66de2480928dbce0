// The process-wide log system: the pending count under the log lock, the
// writer thread, the banner and the console input mode.
#include <memory>
#include <mutex>
#include <vector>

#include "log/log.h"
#include "log/log_file.h"
#include "log/log_message.h"
#include "log/log_testing.h"
#include "log/log_thread.h"
#include "log/log_writer.h"
#include "log/standard_output.h"
#include "platform/os.h"
#include "settings/copy_settings.h"

namespace tarvik {
namespace {

constexpr int kMaxPendingMessages = 1024;
constexpr int kStopStepsWithoutProgress = 20;

class LogSystem : public LogSink {
 public:
  void Post(LogKind kind, DWORD code, uint32_t flags, std::wstring text);
  void WriteLogMessage(const LogMessage& message) override;
  void FlushOnTimer() override { writer_.FlushOnTimer(); }

  void AppendBanner(const std::wstring& text);
  void ShowBanner();
  bool Create(bool start_writer);
  void Stop();
  void SetWorkerPrefixHook(WorkerPrefixHook hook) { writer_.SetWorkerPrefixHook(std::move(hook)); }

  void Reset();
  int max_pending();
  int pending();
  void set_stop_wait_step(std::chrono::milliseconds step);
  bool WaitForAbandoned(std::chrono::milliseconds timeout);

 private:
  // Waits for a free place in the queue; returns the writer to post to, or
  // null when the caller writes the message itself.
  std::shared_ptr<LogThread> ReservePlace();
  bool OpenLogFile(const CopySettings& settings);
  void PrepareConsoleInput();
  void RestoreConsoleInput();
  // Waits for the writer in steps; true when it ended, false when abandoned.
  bool WaitForWriter(LogThread& thread);

  std::mutex lock_;  // the log lock
  int pending_ = 0;
  int max_pending_ = 0;
  std::shared_ptr<LogThread> thread_;
  std::vector<std::shared_ptr<LogThread>> abandoned_;  // kept alive for threads that may still run
  std::chrono::milliseconds stop_wait_step_{1000};

  std::mutex banner_mutex_;
  std::wstring banner_;

  std::mutex console_input_mutex_;
  DWORD saved_input_mode_ = 0;
  bool input_mode_saved_ = false;

  LogWriter writer_;
};

// Never destroyed: a writer abandoned at shut-down may still use it while the
// process exits.
LogSystem& TheLogSystem() {
  static LogSystem* system = new LogSystem;
  return *system;
}

void LogSystem::Post(LogKind kind, DWORD code, uint32_t flags, std::wstring text) {
  Os& os = Os::Current();
  auto message = std::make_unique<LogMessage>();
  message->threadId = os.GetCurrentThreadId();
  message->code = code;
  message->text = std::move(text);
  message->kind = kind;
  message->time = os.time();
  message->flags = flags;

  std::shared_ptr<LogThread> thread = ReservePlace();
  if (thread != nullptr && thread->Post(message))
    return;
  WriteLogMessage(*message);
}

std::shared_ptr<LogThread> LogSystem::ReservePlace() {
  for (;;) {
    {
      std::lock_guard lock(lock_);
      if (pending_ < kMaxPendingMessages) {
        ++pending_;
        if (pending_ > max_pending_)
          max_pending_ = pending_;
        return thread_;
      }
    }
    Os::Current().Sleep(1);
  }
}

void LogSystem::WriteLogMessage(const LogMessage& message) {
  {
    std::lock_guard lock(lock_);
    if (pending_ > 0)
      --pending_;
  }
  writer_.Write(message);
}

void LogSystem::AppendBanner(const std::wstring& text) {
  std::lock_guard lock(banner_mutex_);
  banner_ += text;
}

void LogSystem::ShowBanner() {
  std::wstring banner;
  {
    std::lock_guard lock(banner_mutex_);
    banner = banner_;
  }
  WriteToStandardOutput(banner);
}

bool LogSystem::Create(bool start_writer) {
  {
    std::lock_guard lock(lock_);
    if (thread_ != nullptr)
      return true;
  }
  const CopySettings& settings = Settings();
  writer_.SetOptions(settings.logTee != 0, settings.debugLog != 0);
  if (!settings.logPath.empty() && !OpenLogFile(settings))
    return false;

  std::wstring banner;
  {
    std::lock_guard lock(banner_mutex_);
    banner = banner_;
  }
  if (!banner.empty())
    writer_.WriteHead(banner);

  PrepareConsoleInput();
  Os& os = Os::Current();
  writer_.SetConsole(os.GetStdHandle(STD_OUTPUT_HANDLE));
  if (!start_writer)
    return true;

  auto thread = std::make_shared<LogThread>(this, writer_.HasFile());
  thread->Start();
  std::lock_guard lock(lock_);
  thread_ = std::move(thread);
  return true;
}

bool LogSystem::OpenLogFile(const CopySettings& settings) {
  const std::wstring& path = settings.logPath;
  std::unique_ptr<LogFile> file =
      LogFile::Open(path, settings.logAppend != 0, settings.logUnicode != 0);
  if (file == nullptr) {
    LogLastError(L"Unable to open the log file : %s", path);
    return false;
  }
  bool mark_failed = settings.logUnicode && !file->WriteByteOrderMark();
  DWORD mark_error = Os::GetLastError();
  writer_.AttachFile(std::move(file), Os::Current().time());
  if (mark_failed) {
    Os::SetLastError(mark_error);
    LogLastError(L"Unable to write unicode header to the log file : %s ", path);
  }
  if (settings.debugLog) {
    if (settings.logUnicode) {
      LogWarning(L"Task unicode log file created : %s", path);
    } else {
      LogWarning(L"Task log file created : %s", path);
    }
  }
  return true;
}

void LogSystem::PrepareConsoleInput() {
  Os& os = Os::Current();
  HANDLE input = os.GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  if (!os.GetConsoleMode(input, &mode))
    return;
  std::lock_guard lock(console_input_mutex_);
  saved_input_mode_ = mode;
  input_mode_saved_ = true;
  // Quick edit would freeze every console write while the user selects text.
  if (mode & ENABLE_QUICK_EDIT_MODE)
    os.SetConsoleMode(input, mode & ~ENABLE_QUICK_EDIT_MODE);
}

void LogSystem::RestoreConsoleInput() {
  std::lock_guard lock(console_input_mutex_);
  if (input_mode_saved_ && (saved_input_mode_ & ENABLE_QUICK_EDIT_MODE)) {
    Os& os = Os::Current();
    os.SetConsoleMode(os.GetStdHandle(STD_INPUT_HANDLE), saved_input_mode_);
  }
  input_mode_saved_ = false;
}

void LogSystem::Stop() {
  std::shared_ptr<LogThread> thread;
  {
    std::lock_guard lock(lock_);
    thread = thread_;
  }
  if (thread != nullptr) {
    thread->RequestStop();
    if (!WaitForWriter(*thread)) {
      thread->Detach();
      std::lock_guard lock(lock_);
      abandoned_.push_back(thread);
      // Its queue will not be worked off; producers must not wait for it.
      pending_ = 0;
    }
    std::lock_guard lock(lock_);
    thread_.reset();
  }
  std::chrono::milliseconds step;
  {
    std::lock_guard lock(lock_);
    step = stop_wait_step_;
  }
  writer_.CloseFile(step);
  RestoreConsoleInput();
}

bool LogSystem::WaitForWriter(LogThread& thread) {
  int steps_without_progress = 0;
  int last_pending = pending();
  for (;;) {
    std::chrono::milliseconds step;
    {
      std::lock_guard lock(lock_);
      step = stop_wait_step_;
    }
    if (thread.WaitForEnd(step))
      return true;
    int now_pending = pending();
    if (now_pending != last_pending) {
      steps_without_progress = 0;
      last_pending = now_pending;
    } else if (++steps_without_progress >= kStopStepsWithoutProgress) {
      return false;
    }
  }
}

void LogSystem::Reset() {
  Stop();
  writer_.Reset();
  {
    std::lock_guard lock(banner_mutex_);
    banner_.clear();
  }
  std::lock_guard lock(lock_);
  pending_ = 0;
  max_pending_ = 0;
  stop_wait_step_ = std::chrono::milliseconds(1000);
}

int LogSystem::max_pending() {
  std::lock_guard lock(lock_);
  return max_pending_;
}

int LogSystem::pending() {
  std::lock_guard lock(lock_);
  return pending_;
}

void LogSystem::set_stop_wait_step(std::chrono::milliseconds step) {
  std::lock_guard lock(lock_);
  stop_wait_step_ = step;
}

bool LogSystem::WaitForAbandoned(std::chrono::milliseconds timeout) {
  std::vector<std::shared_ptr<LogThread>> threads;
  {
    std::lock_guard lock(lock_);
    threads = abandoned_;
  }
  for (auto& thread : threads) {
    if (!thread->WaitForEnd(timeout))
      return false;
  }
  return true;
}

}  // namespace

void PostLogMessage(LogKind kind, DWORD code, uint32_t flags, std::wstring text) {
  TheLogSystem().Post(kind, code, flags, std::move(text));
}

void AppendBanner(const std::wstring& text) {
  TheLogSystem().AppendBanner(text);
}

void ShowBanner() {
  TheLogSystem().ShowBanner();
}

bool CreateLogSystem(bool start_writer) {
  return TheLogSystem().Create(start_writer);
}

void StopLogSystem() {
  TheLogSystem().Stop();
}

void SetWorkerPrefixHook(WorkerPrefixHook hook) {
  TheLogSystem().SetWorkerPrefixHook(std::move(hook));
}

void ResetLogSystemForTesting() {
  TheLogSystem().Reset();
}

int MaxPendingLogMessagesForTesting() {
  return TheLogSystem().max_pending();
}

int PendingLogMessagesForTesting() {
  return TheLogSystem().pending();
}

void SetStopWaitStepForTesting(std::chrono::milliseconds step) {
  TheLogSystem().set_stop_wait_step(step);
}

bool WaitForAbandonedLogWritersForTesting(std::chrono::milliseconds timeout) {
  return TheLogSystem().WaitForAbandoned(timeout);
}

}  // namespace tarvik
