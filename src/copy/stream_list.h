// Walks the answer of the stream-information query: records of a next-entry
// offset, a name length in bytes, the stream's size and allocation size, and
// the UTF-16 name ":name:$DATA". The answer comes from the file server, so
// every offset and length is checked before it is followed.
#ifndef TARVIK_COPY_STREAM_LIST_H_
#define TARVIK_COPY_STREAM_LIST_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarvik {

// The stream suffix and the name of the unnamed stream.
inline constexpr wchar_t kStreamSuffix[] = L":$DATA";
inline constexpr wchar_t kUnnamedStream[] = L"::$DATA";

struct NamedStream {
  std::wstring objectName;  // ":name", appended to the object's path
  uint64_t size = 0;
};

class StreamListReader {
 public:
  enum class Step { kStream, kEnd, kDamaged };

  // length: the bytes the query stored.
  StreamListReader(const uint8_t* buffer, size_t length) : buffer_(buffer), length_(length) {}

  // The next named stream. Records without a name and the unnamed stream
  // are passed over. kDamaged for a record that overruns the answer, points
  // backwards or names something that is not a data stream: the list cannot
  // be trusted past it.
  Step Next(NamedStream* stream);

 private:
  const uint8_t* buffer_;
  size_t length_;
  size_t cursor_ = 0;
  bool ended_ = false;
};

// ":name:$DATA" to ":name"; false for anything else.
bool StreamObjectName(const std::u16string& record_name, std::wstring* object_name);

}  // namespace tarvik

#endif  // TARVIK_COPY_STREAM_LIST_H_
