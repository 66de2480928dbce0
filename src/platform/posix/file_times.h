// NT times (100 ns since 1601-01-01 UTC, as FILETIME holds them) and host
// times.
#ifndef TARVIK_PLATFORM_POSIX_FILE_TIMES_H_
#define TARVIK_PLATFORM_POSIX_FILE_TIMES_H_

#include <time.h>

#include <cstdint>

#include "platform/win_types.h"

namespace tarvik {

constexpr int64_t kNtTimeUnixEpochSeconds = 11644473600LL;  // 1601 to 1970

inline uint64_t NtTimeFromFileTime(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

inline FILETIME FileTimeFromNtTime(uint64_t time) {
  return FILETIME{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
}

// Times before 1601 are taken as 1601.
inline uint64_t NtTimeFromUnix(int64_t seconds, int64_t nanoseconds) {
  int64_t since_1601 = seconds + kNtTimeUnixEpochSeconds;
  if (since_1601 < 0)
    return 0;
  return static_cast<uint64_t>(since_1601) * 10000000ull + static_cast<uint64_t>(nanoseconds) / 100;
}

inline struct timespec TimespecFromNtTime(uint64_t time) {
  struct timespec out;
  out.tv_sec =
      static_cast<time_t>(static_cast<int64_t>(time / 10000000ull) - kNtTimeUnixEpochSeconds);
  out.tv_nsec = static_cast<long>(time % 10000000ull) * 100;
  return out;
}

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_POSIX_FILE_TIMES_H_
