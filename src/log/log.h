// The log system: every line the program prints goes through five producer
// operations. Producers format at once and hand the text to one writer thread,
// which adds the prefixes, colours the console and batches the log file. Before
// CreateLogSystem (and after StopLogSystem's writer has gone) the operations run
// synchronously in the calling thread and write to standard output.
#ifndef TARVIK_LOG_LOG_H_
#define TARVIK_LOG_LOG_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/os.h"
#include "util/format.h"

namespace tarvik {

enum class LogKind : int32_t { Text = 0, Info = 1, Warning = 2, Error = 3 };

enum LogFlags : uint32_t {
  kLogToFile = 0x01,
  kLogToConsole = 0x02,
  kLogThreadPrefix = 0x10,
  kLogTimePrefix = 0x20,
};

// Hands one formatted message to the writer (or writes it at once before the
// writer exists). Blocks while 1024 messages are pending.
void PostLogMessage(LogKind kind, DWORD code, uint32_t flags, std::wstring text);

template <typename... Args>
void LogText(std::wstring_view format, const Args&... args) {
  PostLogMessage(LogKind::Text, 0, kLogToFile | kLogToConsole, Format(format, args...));
}

template <typename... Args>
void LogInfo(std::wstring_view format, const Args&... args) {
  PostLogMessage(LogKind::Info, 0, kLogToFile | kLogThreadPrefix | kLogTimePrefix,
                 Format(format, args...));
}

template <typename... Args>
void LogWarning(std::wstring_view format, const Args&... args) {
  PostLogMessage(LogKind::Warning, 0,
                 kLogToFile | kLogToConsole | kLogThreadPrefix | kLogTimePrefix,
                 Format(format, args...));
}

template <typename... Args>
void LogError(DWORD code, std::wstring_view format, const Args&... args) {
  PostLogMessage(LogKind::Error, code,
                 kLogToFile | kLogToConsole | kLogThreadPrefix | kLogTimePrefix,
                 Format(format, args...));
}

// The code is the calling thread's last error, read after formatting.
template <typename... Args>
void LogLastError(std::wstring_view format, const Args&... args) {
  std::wstring text = Format(format, args...);
  PostLogMessage(LogKind::Error, Os::GetLastError(),
                 kLogToFile | kLogToConsole | kLogThreadPrefix | kLogTimePrefix, std::move(text));
}

// The start-up banner: collected first, shown on the console at once by
// ShowBanner, and written at the head of the log file when one is opened.
void AppendBanner(const std::wstring& text);
template <typename... Args>
void BannerText(std::wstring_view format, const Args&... args) {
  AppendBanner(Format(format, args...));
}
void ShowBanner();

// Opens the log file named by the settings (logPath, logAppend, logUnicode),
// prepares the console and, with start_writer, starts the writer thread.
// Returns false only when the log file cannot be opened.
bool CreateLogSystem(bool start_writer);

// Ends the writer, writes what is buffered and closes the file.
void StopLogSystem();

// The copy engine installs this to turn a system thread id into the worker
// prefix ("TH%.3d : "); without it the thread prefix is empty. The hook runs
// in the writer thread: it must not wait for a lock that a thread may hold
// while it logs, or a full queue would stop both.
using WorkerPrefixHook = std::function<std::wstring(DWORD thread_id)>;
void SetWorkerPrefixHook(WorkerPrefixHook hook);

}  // namespace tarvik

#endif  // TARVIK_LOG_LOG_H_
