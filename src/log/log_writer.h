// The output half of the log system: renders a message, appends it to the log
// file's buffer, flushes that buffer by count and by time, and prints to the
// console with the kind's colour. Runs in the writer thread, or in the caller
// while no writer exists.
#ifndef TARVIK_LOG_LOG_WRITER_H_
#define TARVIK_LOG_LOG_WRITER_H_

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "log/log.h"
#include "log/log_file.h"
#include "log/log_message.h"
#include "platform/win_types.h"

namespace tarvik {

class LogWriter {
 public:
  // Every 100th line is written at once; otherwise the buffer waits until the
  // last flush is more than kFlushIntervalSeconds old.
  static constexpr int64_t kFlushEveryLines = 100;
  static constexpr int64_t kFlushIntervalSeconds = 2;

  // Takes the file; the flush clock starts at now.
  void AttachFile(std::unique_ptr<LogFile> file, int64_t now);
  bool HasFile();
  // Writes text at the current end of the file at once, counted as one line.
  void WriteHead(const std::wstring& text);
  // Writes the rest of the buffer and closes the file. Gives up after wait
  // when an abandoned writer still holds the file (the process is ending).
  void CloseFile(std::chrono::milliseconds wait);

  // The console handle for colours; INVALID_HANDLE_VALUE means plain
  // standard output.
  void SetConsole(HANDLE console);
  void SetOptions(bool tee, bool debug_log);
  void SetWorkerPrefixHook(WorkerPrefixHook hook);

  void Write(const LogMessage& message);
  void FlushOnTimer();

  // Back to the state before CreateLogSystem (testing only).
  void Reset();

 private:
  // Returns false when no file is open, so the line goes to the console.
  // Sets trace to the /dbglog line of a flush it made.
  bool AppendToFile(const std::wstring& line, int64_t message_time, std::wstring* trace);
  void WriteConsole(LogKind kind, const std::wstring& line);
  // Caller holds file_mutex_. Writes and empties the buffer.
  void FlushBuffer();
  std::wstring FlushTrace(const wchar_t* format, int64_t time) const;
  void ReportWriteFailure();
  std::shared_ptr<const WorkerPrefixHook> worker_prefix();

  std::mutex settings_mutex_;  // console handle, options, hook
  HANDLE console_ = INVALID_HANDLE_VALUE;
  bool tee_ = false;
  bool debug_log_ = false;
  std::shared_ptr<const WorkerPrefixHook> worker_prefix_;

  std::mutex console_mutex_;  // keeps synchronous callers' lines whole

  std::mutex file_mutex_;
  std::unique_ptr<LogFile> file_;
  std::wstring buffer_;
  int64_t lines_ = 0;
  int64_t last_flush_ = 0;
  bool write_failure_reported_ = false;
  bool trace_flushes_ = false;  // debug_log_ as the file side sees it
};

}  // namespace tarvik

#endif  // TARVIK_LOG_LOG_WRITER_H_
