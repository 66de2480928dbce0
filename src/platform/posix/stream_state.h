// The state behind a handle open on a named data stream. The stream's value
// is read when the handle opens and kept here; every change stores the whole
// new value with one call, so that the attribute is never seen half-written
// and a change the host refuses leaves it as it was. Handles on one stream
// each keep their own copy: a change through one is not seen through another
// already open.
#ifndef TARVIK_PLATFORM_POSIX_STREAM_STATE_H_
#define TARVIK_PLATFORM_POSIX_STREAM_STATE_H_

#include <cstdint>
#include <mutex>
#include <string>

#include "platform/posix/host_object.h"
#include "platform/win_types.h"

namespace tarvik {

class StreamState {
 public:
  StreamState(std::string attribute, std::string data)
      : attribute_(std::move(attribute)), data_(std::move(data)) {}

  const std::string& attribute() const { return attribute_; }
  uint64_t size() const;
  uint64_t position() const;
  void set_position(uint64_t position);

  // ReadFile and WriteFile on the stream, with their results and errors
  // (the last error set on failure). file holds the stream's attribute.
  BOOL Read(void* buffer, DWORD size, DWORD* read, OVERLAPPED* overlapped);
  BOOL Write(const HostObject& file, const void* buffer, DWORD size, DWORD* written,
             OVERLAPPED* overlapped);
  // SetEndOfFile: the stream ends at the position, grown with zeros.
  BOOL SetEnd(const HostObject& file);

 private:
  // Stores data as the stream's value and keeps it; false with the last
  // error set, keeping the old value, when the host refuses it.
  bool Store(const HostObject& file, std::string data);

  const std::string attribute_;
  mutable std::mutex mutex_;
  std::string data_;
  uint64_t position_ = 0;
};

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_POSIX_STREAM_STATE_H_
