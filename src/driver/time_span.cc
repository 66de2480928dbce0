#include "driver/time_span.h"

#include "util/format.h"

namespace tarvik {
namespace {

constexpr int64_t kMinute = 60;
constexpr int64_t kHour = 60 * kMinute;
constexpr int64_t kDay = 24 * kHour;

}  // namespace

std::wstring FormatTimeSpan(int64_t seconds, std::wstring_view format) {
  if (seconds < 0)
    seconds = 0;
  std::wstring text;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != L'%' || i + 1 == format.size()) {
      text.push_back(format[i]);
      continue;
    }
    const wchar_t code = format[++i];
    switch (code) {
      case L'D':
        text += Format(L"%I64d", seconds / kDay);
        break;
      case L'H':
        text += Format(L"%02I64d", seconds % kDay / kHour);
        break;
      case L'M':
        text += Format(L"%02I64d", seconds % kHour / kMinute);
        break;
      case L'S':
        text += Format(L"%02I64d", seconds % kMinute);
        break;
      case L'%':
        text.push_back(L'%');
        break;
      default:  // not a span field: keep it as written
        text.push_back(L'%');
        text.push_back(code);
        break;
    }
  }
  return text;
}

std::wstring ElapsedTimeText(int64_t seconds) {
  if (seconds >= kDay)
    return FormatTimeSpan(seconds, L"days: %D, hours: %H, mins: %M, secs: %S");
  if (seconds >= kHour)
    return FormatTimeSpan(seconds, L"hours: %H, mins: %M, secs: %S");
  if (seconds >= kMinute)
    return FormatTimeSpan(seconds, L"mins: %M, secs: %S");
  return FormatTimeSpan(seconds, L"secs: %S");
}

}  // namespace tarvik
