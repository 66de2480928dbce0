// What the files of Win32Os use around a system call: the copy of the
// system's last error into the Os's, the pointer casts between tarvik's
// records and the system's (the layouts are the same: win32_layouts.cc), and
// the buffers of the network calls.
// Includes the system's headers: see platform/win32/windows_api.h for where
// it goes among a file's includes.
#ifndef TARVIK_PLATFORM_WIN32_WIN32_CALL_H_
#define TARVIK_PLATFORM_WIN32_WIN32_CALL_H_

#include <memory>
#include <string>

#include "platform/os.h"

#include "platform/win32/windows_api.h"

namespace tarvik {

// The result of a system call, its last error kept as the Os's.
template <typename Result>
Result Kept(Result result) {
  Os::SetLastError(::GetLastError());
  return result;
}

// A failure with the given error.
template <typename Result>
Result FailWith(Result result, DWORD error) {
  Os::SetLastError(error);
  return result;
}

// The same object seen as the system's type of the same size: tarvik's
// DWORD is unsigned int where the system's is unsigned long, and tarvik's
// records are the system's under another name.
template <typename To, typename From>
To* As(From* pointer) {
  static_assert(sizeof(To) == sizeof(From), "a pointer cast between records of different sizes");
  return reinterpret_cast<To*>(pointer);
}
template <typename To, typename From>
const To* As(const From* pointer) {
  static_assert(sizeof(To) == sizeof(From), "a pointer cast between records of different sizes");
  return reinterpret_cast<const To*>(pointer);
}

// The network calls answer their status, and leave it as the last error too.
inline DWORD NetStatus(DWORD status) {
  Os::SetLastError(status);
  return status;
}

// A buffer a Net* or Ds* call handed back, freed with NetApiBufferFree.
struct NetBufferFree {
  void operator()(void* buffer) const { ::NetApiBufferFree(buffer); }
};
template <typename Record>
using NetBuffer = std::unique_ptr<Record, NetBufferFree>;

// A string field of such a buffer (null: empty).
inline std::wstring TextOf(const wchar_t* text) {
  return text == nullptr ? std::wstring() : std::wstring(text);
}

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_WIN32_WIN32_CALL_H_
