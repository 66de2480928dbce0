// The writer's rendering of one message: the thread and time prefixes and the
// body that its kind prescribes.
#ifndef TARVIK_LOG_LOG_FORMAT_H_
#define TARVIK_LOG_LOG_FORMAT_H_

#include <cstdint>
#include <string>

#include "log/log.h"
#include "log/log_message.h"

namespace tarvik {

// "HH:MM:SS : " in local time; the writer stamps lines with the producer's time.
std::wstring TimePrefix(int64_t time);

// Local time as "HH-MM-SS", used by the flush trace.
std::wstring FlushTraceTime(int64_t time);

// The worker prefix (when the hook is given and the kind is not Text) then the
// time prefix, each as the message's flags ask.
std::wstring LogPrefix(const LogMessage& message, const WorkerPrefixHook* worker_prefix);

// The text the message's kind prescribes; empty means nothing is written.
std::wstring LogBody(const LogMessage& message);

}  // namespace tarvik

#endif  // TARVIK_LOG_LOG_FORMAT_H_
