#include "log/message_text.h"

#include "log/log.h"
#include "log/standard_output.h"
#include "log/system_text.h"
#include "platform/os.h"
#include "util/utf.h"

namespace tarvik {
namespace {

std::wstring GroupDigits(uint64_t value) {
  std::wstring digits = Format(L"%I64u", value);
  std::wstring grouped;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0)
      grouped += L' ';
    grouped += digits[i];
  }
  return grouped;
}

}  // namespace

std::wstring FormatByteSize(uint64_t bytes) {
  struct Unit {
    int shift;
    const wchar_t* name;
  };
  static constexpr Unit kUnits[] = {{30, L"GB"}, {20, L"MB"}, {10, L"KB"}, {0, L"Byte(s)"}};
  Unit unit = kUnits[3];
  for (const Unit& candidate : kUnits) {
    if ((bytes >> candidate.shift) != 0) {
      unit = candidate;
      break;
    }
  }
  // Unsigned throughout: a count at or above 2^63 must not print negative.
  return Format(L"%I64u %s", bytes >> unit.shift, unit.name) + L" (" + GroupDigits(bytes) +
         L" Byte(s))";
}

std::wstring HexDumpText(const void* data, size_t length, const wchar_t* title) {
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  std::wstring text;
  if (title != nullptr)
    text += Format(L"\n   %s\n", title);
  text += L"   |@________    0__________   4__________   8__________   C__________\n";
  for (size_t offset = 0; offset < length; offset += 16) {
    text += Format(L"   |%04x.%04x: ", static_cast<uint32_t>(offset >> 16),
                   static_cast<uint32_t>(offset & 0xFFFF));
    for (size_t position = 0; position < 16; ++position) {
      if (position % 4 == 0)
        text += L"  ";
      size_t index = offset + position;
      text += index < length ? Format(L"%02x ", bytes[index]) : std::wstring(L".. ");
    }
    text += L"\n";
  }
  return text;
}

void HexDump(const void* data, size_t length, const wchar_t* title) {
  std::wstring text = HexDumpText(data, length, title);
  if (!text.empty())
    LogText(L"%s", text);
}

ByteStream::Result FileByteStream::Read(uint8_t* byte) {
  if (position_ == filled_) {
    DWORD read = 0;
    if (!Os::Current().ReadFile(file_, buffer_, sizeof buffer_, &read, nullptr))
      return Result::kError;
    if (read == 0)
      return Result::kEnd;
    filled_ = read;
    position_ = 0;
  }
  *byte = buffer_[position_++];
  return Result::kByte;
}

DWORD ReadTextLine(ByteStream& stream, std::wstring* line) {
  line->clear();
  std::string bytes;
  DWORD status = ERROR_SUCCESS;
  for (;;) {
    uint8_t byte = 0;
    ByteStream::Result result = stream.Read(&byte);
    if (result == ByteStream::Result::kEnd) {
      status = ERROR_HANDLE_EOF;
      break;
    }
    if (result == ByteStream::Result::kError) {
      status = ERROR_READ_FAULT;
      break;
    }
    if (byte == '\n')
      break;
    if (byte != '\r')
      bytes += static_cast<char>(byte);
  }
  *line = FromUtf8(bytes);
  return status;
}

void PrintTextWithSystemText(DWORD code, std::wstring_view text) {
  WriteToStandardOutput(text);
  std::wstring system_text = SystemText(code);
  if (!system_text.empty())
    WriteToStandardOutput(Format(L" Error=%ls\n", system_text));
}

}  // namespace tarvik
