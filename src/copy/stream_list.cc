#include "copy/stream_list.h"

#include <cstring>

#include "platform/win_types.h"

namespace tarvik {
namespace {

uint32_t ReadU32(const uint8_t* at) {
  uint32_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

uint64_t ReadU64(const uint8_t* at) {
  uint64_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

bool EqualsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    wchar_t x = a[i], y = b[i];
    if (x >= L'a' && x <= L'z')
      x -= L'a' - L'A';
    if (y >= L'a' && y <= L'z')
      y -= L'a' - L'A';
    if (x != y)
      return false;
  }
  return true;
}

// A character no stream name may hold; the name would otherwise reach
// another object than the one listed.
bool ForbiddenInStreamName(char16_t c) {
  return c == u'\0' || c == u':' || c == u'\\' || c == u'/';
}

}  // namespace

bool StreamObjectName(const std::u16string& record_name, std::wstring* object_name) {
  std::wstring name;
  name.reserve(record_name.size());
  for (char16_t c : record_name)
    name.push_back(static_cast<wchar_t>(c));  // UTF-16 units, as the paths hold them
  const std::wstring_view suffix = kStreamSuffix;
  if (name.size() < 1 + 1 + suffix.size() || name[0] != L':')
    return false;
  if (!EqualsIgnoringAsciiCase(std::wstring_view(name).substr(name.size() - suffix.size()),
                               suffix)) {
    return false;
  }
  name.resize(name.size() - suffix.size());
  for (size_t i = 1; i < name.size(); ++i) {
    if (ForbiddenInStreamName(static_cast<char16_t>(name[i])))
      return false;
  }
  *object_name = std::move(name);
  return true;
}

StreamListReader::Step StreamListReader::Next(NamedStream* stream) {
  while (!ended_) {
    // An empty answer is an empty list; a record announced past the end of
    // the answer is a list cut short.
    if (length_ == 0)
      return Step::kEnd;
    if (length_ - cursor_ < kFileStreamInformationHeaderSize)
      return Step::kDamaged;
    const uint8_t* record = buffer_ + cursor_;
    const uint32_t next = ReadU32(record);
    const uint32_t name_bytes = ReadU32(record + 4);
    const uint64_t size = ReadU64(record + 8);
    if (name_bytes % 2 != 0 || name_bytes > length_ - cursor_ - kFileStreamInformationHeaderSize ||
        (next != 0 && next < kFileStreamInformationHeaderSize + name_bytes) ||
        (next != 0 && next > length_ - cursor_)) {
      return Step::kDamaged;
    }
    std::u16string name(name_bytes / 2, u'\0');
    std::memcpy(name.data(), record + kFileStreamInformationHeaderSize, name_bytes);
    if (next == 0)
      ended_ = true;
    else
      cursor_ += next;
    if (name.empty())
      continue;
    if (name.size() == std::char_traits<wchar_t>::length(kUnnamedStream) &&
        EqualsIgnoringAsciiCase(std::wstring(name.begin(), name.end()), kUnnamedStream)) {
      continue;
    }
    if (!StreamObjectName(name, &stream->objectName))
      return Step::kDamaged;
    stream->size = size;
    return Step::kStream;
  }
  return Step::kEnd;
}

}  // namespace tarvik
