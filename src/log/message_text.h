// Small text services shared by reports: byte counts, hexadecimal dumps, the
// line reader of text files, and the direct console error line.
#ifndef TARVIK_LOG_MESSAGE_TEXT_H_
#define TARVIK_LOG_MESSAGE_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/win_types.h"
#include "util/format.h"

namespace tarvik {

// The count in its largest unit, truncated, then the exact count in groups of
// three digits: "11 MB (12 345 678 Byte(s))".
std::wstring FormatByteSize(uint64_t bytes);

// The dump that HexDump prints: the title (when given), a ruler, then one line
// of up to 16 bytes each.
std::wstring HexDumpText(const void* data, size_t length, const wchar_t* title);

// Prints HexDumpText through LogText as one text.
void HexDump(const void* data, size_t length, const wchar_t* title = nullptr);

// A source of bytes read one at a time.
class ByteStream {
 public:
  enum class Result { kByte, kEnd, kError };
  virtual ~ByteStream() = default;
  virtual Result Read(uint8_t* byte) = 0;
};

// Reads an open file handle through the Os, a block at a time.
class FileByteStream : public ByteStream {
 public:
  explicit FileByteStream(HANDLE file) : file_(file) {}
  Result Read(uint8_t* byte) override;

 private:
  HANDLE file_;
  uint8_t buffer_[4096];
  DWORD filled_ = 0;
  DWORD position_ = 0;
};

// Reads the next line into line: '\n' ends it (returns 0), '\r' is dropped.
// At the end of the stream returns ERROR_HANDLE_EOF (38), on a read error
// ERROR_READ_FAULT (30); a last line without '\n' comes with 38, so the
// caller uses the line before stopping. The line's bytes are read as UTF-8.
DWORD ReadTextLine(ByteStream& stream, std::wstring* line);

// Prints text to standard output at once (not through the log queue), then
// " Error=<system text>" for code when the system has a text for it.
void PrintTextWithSystemText(DWORD code, std::wstring_view text);

template <typename... Args>
void PrintWithSystemText(DWORD code, std::wstring_view format, const Args&... args) {
  PrintTextWithSystemText(code, Format(format, args...));
}

}  // namespace tarvik

#endif  // TARVIK_LOG_MESSAGE_TEXT_H_
