// The values of named data streams, kept as Samba's streams_xattr keeps
// them: one extended attribute a stream (see stream_names.h), holding the
// stream's bytes followed by one NUL byte (an empty stream is a single
// NUL). A value without the trailing NUL, written by another program, is
// taken whole.
//
// Samba refuses stream values larger than its "smbd max xattr size"
// (65536 bytes by default, the host's own limit on one value), so a stream
// holds at most 65535 bytes; many file systems hold less (ext4 keeps all of
// a file's attributes in about 4 KB). A stream that cannot be stored fails
// with EFBIG, never stored in part.
#ifndef TARVIK_PLATFORM_POSIX_STREAM_STORE_H_
#define TARVIK_PLATFORM_POSIX_STREAM_STORE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/host_object.h"

namespace tarvik {

constexpr size_t kMaxStreamSize = 65535;

struct StoredStream {
  std::string attribute;
  std::wstring name;  // as shown (see StreamNameOfAttribute)
  uint64_t size = 0;
};

// The named streams of object, in the host's order. 0 or an errno; a host
// without user attributes has none.
int ListStreams(const HostObject& object, std::vector<StoredStream>* streams);

// The attribute that holds the stream named name: the one of that exact
// name, else the one whose shown name equals it regardless of the case of
// A-Z. ENODATA when there is none.
int FindStream(const HostObject& object, std::wstring_view name, std::string* attribute);

// The stream's data. 0 or an errno (ENODATA: no such stream).
int ReadStream(const HostObject& object, const std::string& attribute, std::string* data);

// Replaces the stream's data in one step. EFBIG, leaving the stream as it
// was, when the data is larger than kMaxStreamSize or the host cannot hold
// the value.
int WriteStream(const HostObject& object, const std::string& attribute, std::string_view data);

// The names of object's extended attributes, to hand to RemoveAllStreams:
// none where the host keeps no extended attributes. 0 or an errno.
int ListAttributesForStreams(const HostObject& object, std::vector<std::string>* names);
// Removes every named stream of object (its data being overwritten); names
// are its attributes as ListAttributesForStreams listed them.
int RemoveAllStreams(const HostObject& object, const std::vector<std::string>& names);

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_POSIX_STREAM_STORE_H_
