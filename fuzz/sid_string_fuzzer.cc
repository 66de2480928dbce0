// SID texts of the command line, the world file and the SID map file. A
// text that parses prints back to a canonical text that parses to the same
// SID, whichever parser read it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/sd/sid_string.h"
#include "common/sd/sid_value.h"

namespace {

// The bytes as UTF-16 units, two at a time, so that every wide character
// can reach the parsers.
std::wstring WideText(const uint8_t* data, size_t size) {
  std::wstring text;
  for (size_t i = 0; i + 1 < size; i += 2)
    text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
  return text;
}

void CheckStrict(const std::wstring& text) {
  std::optional<tarvik::SidValue> sid = tarvik::ParseSid(text);
  if (!sid)
    return;
  std::optional<tarvik::SidValue> again = tarvik::ParseSid(sid->ToString());
  if (!again || *again != *sid)
    std::abort();
  // The strict form is one the command-line parser reads too, to the same
  // bytes, unless its authority was written in hexadecimal.
  std::optional<std::vector<uint8_t>> bytes = tarvik::ParseSidString(sid->ToString(), 10);
  if (sid->authority <= 0xFFFFFFFFu && (!bytes || *bytes != sid->ToBytes()))
    std::abort();
}

void CheckCommandLine(const std::wstring& text, int base) {
  std::optional<std::vector<uint8_t>> bytes = tarvik::ParseSidString(text, base);
  if (!bytes)
    return;
  // Revision, count, authority and sub-authorities, nothing else.
  if (bytes->size() < 8 || (*bytes)[0] != 1 || bytes->size() != 8 + 4u * (*bytes)[1] ||
      (*bytes)[1] > tarvik::kMaxSubAuthorities) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring narrow(data, data + size);  // the texts people type
  for (const std::wstring& text : {narrow, WideText(data, size)}) {
    CheckStrict(text);
    CheckCommandLine(text, 10);
    CheckCommandLine(text, 16);
    tarvik::IsLocalSidSourceText(text);
  }
  return 0;
}
