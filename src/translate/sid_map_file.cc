#include "translate/sid_map_file.h"

#include "log/log.h"
#include "log/message_text.h"
#include "platform/os.h"
#include "util/utf.h"

namespace tarvik {
namespace {

class MemoryByteStream : public ByteStream {
 public:
  explicit MemoryByteStream(std::string_view bytes) : bytes_(bytes) {}
  Result Read(uint8_t* byte) override {
    if (position_ == bytes_.size())
      return Result::kEnd;
    *byte = static_cast<uint8_t>(bytes_[position_++]);
    return Result::kByte;
  }

 private:
  std::string_view bytes_;
  size_t position_ = 0;
};

// UTF-8 as written on this system; a line that is not UTF-8 is read as the
// single-byte text the format began with, each byte one character.
std::wstring DecodeLine(const std::string& bytes) {
  std::wstring text = FromUtf8(bytes);
  if (ToUtf8(text) == bytes)
    return text;
  text.clear();
  for (char byte : bytes)
    text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(byte)));
  return text;
}

// Hands every line of stream to reader; the result of the last read (kEnd
// when the stream was read to its end).
ByteStream::Result ReadLines(ByteStream& stream, SidMapReader* reader) {
  std::string line;
  bool cut = false;
  bool pending = false;  // a byte of the current line was read
  for (;;) {
    uint8_t byte = 0;
    const ByteStream::Result result = stream.Read(&byte);
    if (result == ByteStream::Result::kError)
      return result;
    if (result == ByteStream::Result::kEnd || byte == '\n') {
      if (result == ByteStream::Result::kEnd && !pending)
        return result;
      reader->ReadLine(DecodeLine(line), cut);
      if (result == ByteStream::Result::kEnd)
        return result;
      line.clear();
      cut = false;
      pending = false;
      continue;
    }
    pending = true;
    if (byte == '\r')
      continue;
    // The rest of an over-long line is read past, not kept.
    if (line.size() < kMaxSidMapLineBytes)
      line.push_back(static_cast<char>(byte));
    else
      cut = true;
  }
}

}  // namespace

bool LoadSidMapFile(const std::wstring& path, SidMapReader* reader) {
  Os& os = Os::Current();
  HANDLE file = os.CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    LogLastError(L"Unable to open for read %s file", path);
    return false;
  }
  FileByteStream stream(file);
  const ByteStream::Result result = ReadLines(stream, reader);
  if (result == ByteStream::Result::kError) {
    // A map read in part would let the run go on without the rest of it.
    LogLastError(L"Unable to read %s file", path);
  }
  os.CloseHandle(file);
  return result == ByteStream::Result::kEnd;
}

void ReadSidMapText(std::string_view bytes, SidMapReader* reader) {
  MemoryByteStream stream(bytes);
  ReadLines(stream, reader);
}

}  // namespace tarvik
