// Stream-information answers, as a file server returns them. The reader
// ends on any input, never reads outside it, and every stream it yields
// has a name that stays on the object it was listed for.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "copy/stream_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tarvik::StreamListReader reader(data, size);
  tarvik::NamedStream stream;
  // Every record takes at least its header, so the list ends in this many.
  for (size_t steps = 0; steps <= size / 24 + 1; ++steps) {
    switch (reader.Next(&stream)) {
      case tarvik::StreamListReader::Step::kEnd:
      case tarvik::StreamListReader::Step::kDamaged:
        return 0;
      case tarvik::StreamListReader::Step::kStream:
        if (stream.objectName.size() < 2 || stream.objectName[0] != L':' ||
            stream.objectName.find_first_of(L":\\/", 1) != std::wstring::npos) {
          std::abort();
        }
        break;
    }
  }
  std::abort();  // the reader did not end
}
