#include "log/log_writer.h"

#include "log/log_format.h"
#include "log/standard_output.h"
#include "platform/os.h"
#include "util/format.h"

namespace tarvik {
namespace {

constexpr WORD kAttributeDefault = 7;
constexpr WORD kAttributeWarning = 14;  // yellow
constexpr WORD kAttributeError = 12;    // light red

}  // namespace

void LogWriter::AttachFile(std::unique_ptr<LogFile> file, int64_t now) {
  std::lock_guard lock(file_mutex_);
  file_ = std::move(file);
  buffer_.clear();
  last_flush_ = now;
}

bool LogWriter::HasFile() {
  std::lock_guard lock(file_mutex_);
  return file_ != nullptr;
}

void LogWriter::WriteHead(const std::wstring& text) {
  std::lock_guard lock(file_mutex_);
  if (file_ == nullptr)
    return;
  if (!file_->Write(text))
    ReportWriteFailure();
  ++lines_;
}

void LogWriter::CloseFile(std::chrono::milliseconds wait) {
  std::unique_lock lock(file_mutex_, std::defer_lock);
  // Polled rather than a timed lock: the thread sanitizer cannot follow the
  // clock-based wait of a timed mutex.
  auto deadline = std::chrono::steady_clock::now() + wait;
  while (!lock.try_lock()) {
    if (std::chrono::steady_clock::now() >= deadline)
      return;
    Os::Current().Sleep(1);
  }
  if (file_ == nullptr)
    return;
  FlushBuffer();
  file_.reset();
}

void LogWriter::SetConsole(HANDLE console) {
  std::lock_guard lock(settings_mutex_);
  console_ = console;
}

void LogWriter::SetOptions(bool tee, bool debug_log) {
  {
    std::lock_guard lock(settings_mutex_);
    tee_ = tee;
    debug_log_ = debug_log;
  }
  std::lock_guard lock(file_mutex_);
  trace_flushes_ = debug_log;
}

void LogWriter::SetWorkerPrefixHook(WorkerPrefixHook hook) {
  auto shared = hook ? std::make_shared<const WorkerPrefixHook>(std::move(hook)) : nullptr;
  std::lock_guard lock(settings_mutex_);
  worker_prefix_ = std::move(shared);
}

std::shared_ptr<const WorkerPrefixHook> LogWriter::worker_prefix() {
  std::lock_guard lock(settings_mutex_);
  return worker_prefix_;
}

void LogWriter::Write(const LogMessage& message) {
  std::wstring body = LogBody(message);
  if (body.empty())
    return;
  // The hook is called outside every log lock: it takes the pool's own lock.
  std::shared_ptr<const WorkerPrefixHook> hook = worker_prefix();
  std::wstring line = LogPrefix(message, hook.get()) + body;

  bool to_console = (message.flags & kLogToConsole) != 0;
  std::wstring trace;
  if ((message.flags & kLogToFile) && !AppendToFile(line, message.time, &trace))
    to_console = true;
  if (!trace.empty())
    WriteToStandardOutput(trace);

  bool tee;
  {
    std::lock_guard lock(settings_mutex_);
    tee = tee_;
  }
  if (to_console || tee)
    WriteConsole(message.kind, line);
}

bool LogWriter::AppendToFile(const std::wstring& line, int64_t message_time, std::wstring* trace) {
  std::lock_guard lock(file_mutex_);
  if (file_ == nullptr)
    return false;
  buffer_ += line;
  ++lines_;
  if (lines_ % kFlushEveryLines == 0) {
    FlushBuffer();
    last_flush_ = Os::Current().time();
    *trace = FlushTrace(L"Flush on Count at   :  %s\n", last_flush_);
  } else if (message_time > last_flush_ + kFlushIntervalSeconds) {
    int64_t now = Os::Current().time();
    FlushBuffer();
    *trace = FlushTrace(L"Flush on Message at :  %s\n", now);
    last_flush_ = now;
  }
  return true;
}

void LogWriter::FlushOnTimer() {
  std::wstring trace;
  {
    std::lock_guard lock(file_mutex_);
    if (file_ == nullptr)
      return;
    int64_t now = Os::Current().time();
    if (now - last_flush_ <= kFlushIntervalSeconds)
      return;
    FlushBuffer();
    trace = FlushTrace(L"Flush on Timer at   :  %s\n", now);
    last_flush_ = now;
  }
  if (!trace.empty())
    WriteToStandardOutput(trace);
}

void LogWriter::FlushBuffer() {
  if (buffer_.empty())
    return;
  if (!file_->Write(buffer_))
    ReportWriteFailure();
  buffer_.clear();
}

std::wstring LogWriter::FlushTrace(const wchar_t* format, int64_t time) const {
  if (!trace_flushes_)
    return std::wstring();
  return Format(format, FlushTraceTime(time));
}

void LogWriter::ReportWriteFailure() {
  // Said once: a full or lost log disk would otherwise repeat it on every
  // flush, and the console still carries the run's warnings and errors.
  if (write_failure_reported_)
    return;
  write_failure_reported_ = true;
  DWORD code = Os::GetLastError();
  WriteToStandardOutput(
      Format(L"ERROR (%d) : Unable to write to the log file : %s\n", code, file_->path()));
}

void LogWriter::WriteConsole(LogKind kind, const std::wstring& line) {
  HANDLE console;
  {
    std::lock_guard lock(settings_mutex_);
    console = console_;
  }
  std::lock_guard lock(console_mutex_);
  Os& os = Os::Current();
  if (console == INVALID_HANDLE_VALUE) {
    WriteToStandardOutput(line);
    return;
  }
  WORD colour = kind == LogKind::Warning ? kAttributeWarning
                : kind == LogKind::Error ? kAttributeError
                                         : 0;
  if (colour != 0)
    os.SetConsoleTextAttribute(console, colour);
  WriteAllToConsole(console, line);
  if (colour != 0)
    os.SetConsoleTextAttribute(console, kAttributeDefault);
}

void LogWriter::Reset() {
  CloseFile(std::chrono::milliseconds(1000));
  {
    std::lock_guard lock(settings_mutex_);
    console_ = INVALID_HANDLE_VALUE;
    tee_ = false;
    debug_log_ = false;
    worker_prefix_.reset();
  }
  std::lock_guard lock(file_mutex_);
  buffer_.clear();
  lines_ = 0;
  last_flush_ = 0;
  write_failure_reported_ = false;
  trace_flushes_ = false;
}

}  // namespace tarvik
