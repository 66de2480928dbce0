#include "log/log_format.h"

#include <ctime>

#include "log/system_text.h"
#include "platform/os.h"
#include "util/format.h"

namespace tarvik {
namespace {

std::tm LocalTimeOf(int64_t time) {
  std::tm parts{};
  if (!Os::Current().LocalTime(time, &parts))
    parts = std::tm{};
  return parts;
}

std::wstring ErrorBody(const LogMessage& message) {
  if (!message.text.empty()) {
    if (message.code != 0)
      return Format(L"ERROR (%d) : %s\n", message.code, message.text);
    return Format(L"ERROR : %s\n", message.text);
  }
  if (message.code == 0)
    return std::wstring();
  std::wstring system_text = SystemText(message.code);
  // A code without a system text must still end its line.
  if (system_text.empty())
    system_text = L"\n";
  return Format(L"ERROR (%d) : %s", message.code, system_text);
}

}  // namespace

std::wstring TimePrefix(int64_t time) {
  std::tm parts = LocalTimeOf(time);
  return Format(L"%02d:%02d:%02d : ", parts.tm_hour, parts.tm_min, parts.tm_sec);
}

std::wstring FlushTraceTime(int64_t time) {
  std::tm parts = LocalTimeOf(time);
  return Format(L"%02d-%02d-%02d", parts.tm_hour, parts.tm_min, parts.tm_sec);
}

std::wstring LogPrefix(const LogMessage& message, const WorkerPrefixHook* worker_prefix) {
  std::wstring prefix;
  if ((message.flags & kLogThreadPrefix) && message.kind != LogKind::Text &&
      worker_prefix != nullptr && *worker_prefix) {
    prefix = (*worker_prefix)(message.threadId);
  }
  if (message.flags & kLogTimePrefix)
    prefix += TimePrefix(message.time);
  return prefix;
}

std::wstring LogBody(const LogMessage& message) {
  switch (message.kind) {
    case LogKind::Text:
      return message.text;
    case LogKind::Info:
      return message.text + L"\n";
    case LogKind::Warning:
      return Format(L"WARNING : %s\n", message.text);
    case LogKind::Error:
      return ErrorBody(message);
  }
  return std::wstring();
}

}  // namespace tarvik
