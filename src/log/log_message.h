// One log line on its way from a producer to the writer.
#ifndef TARVIK_LOG_LOG_MESSAGE_H_
#define TARVIK_LOG_LOG_MESSAGE_H_

#include <cstdint>
#include <string>

#include "log/log.h"
#include "platform/win_types.h"

namespace tarvik {

struct LogMessage {
  DWORD threadId = 0;  // system thread id of the producer
  DWORD code = 0;      // system error code, 0 when none
  std::wstring text;   // the producer's formatted text
  LogKind kind = LogKind::Text;
  int64_t time = 0;  // seconds since 1970 when the producer called
  uint32_t flags = 0;
};

}  // namespace tarvik

#endif  // TARVIK_LOG_LOG_MESSAGE_H_
