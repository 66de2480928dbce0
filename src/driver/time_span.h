// Texts of a duration, for the elapsed time of a run.
#ifndef TARVIK_DRIVER_TIME_SPAN_H_
#define TARVIK_DRIVER_TIME_SPAN_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvik {

// Replaces %D with the whole days, %H, %M and %S with the hours, minutes and
// seconds within the next larger unit as two digits, and %% with '%'.
// Negative spans count as 0.
std::wstring FormatTimeSpan(int64_t seconds, std::wstring_view format);

// The span in its largest non-zero unit and the smaller ones, e.g.
// "mins: 03, secs: 07" for 187 seconds.
std::wstring ElapsedTimeText(int64_t seconds);

}  // namespace tarvik

#endif  // TARVIK_DRIVER_TIME_SPAN_H_
