#include "platform/posix/reparse_points.h"

#include "platform/win_error.h"
#include "util/utf.h"

namespace tarvik {
namespace {

uint32_t Read(std::string_view bytes, size_t offset, size_t size) {
  uint32_t value = 0;
  for (size_t i = 0; i < size; ++i)
    value |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[offset + i])) << (8 * i);
  return value;
}

void Append(std::string* out, uint32_t value, size_t size) {
  for (size_t i = 0; i < size; ++i)
    out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

constexpr size_t kSymlinkPathStart =
    REPARSE_DATA_BUFFER_HEADER_SIZE + SYMLINK_REPARSE_DATA_HEADER_SIZE;

}  // namespace

DWORD ReparseTagOf(std::string_view buffer) {
  return buffer.size() < 4 ? 0 : Read(buffer, 0, 4);
}

DWORD CheckReparseBuffer(std::string_view buffer) {
  if (buffer.size() < REPARSE_DATA_BUFFER_HEADER_SIZE ||
      buffer.size() > MAXIMUM_REPARSE_DATA_BUFFER_SIZE) {
    return ERROR_INVALID_REPARSE_DATA;
  }
  DWORD tag = ReparseTagOf(buffer);
  if (tag == 0)
    return ERROR_REPARSE_TAG_INVALID;
  if (Read(buffer, 4, 2) != buffer.size() - REPARSE_DATA_BUFFER_HEADER_SIZE)
    return ERROR_INVALID_REPARSE_DATA;
  if (tag == IO_REPARSE_TAG_SYMLINK && !DecodeSymlinkReparse(buffer))
    return ERROR_INVALID_REPARSE_DATA;
  return ERROR_SUCCESS;
}

std::string EncodeSymlinkReparse(const SymlinkReparse& link) {
  std::string substitute = ToUtf16Le(link.substitute_name);
  std::string print = ToUtf16Le(link.print_name);
  std::string out;
  Append(&out, IO_REPARSE_TAG_SYMLINK, 4);
  Append(&out,
         static_cast<uint32_t>(SYMLINK_REPARSE_DATA_HEADER_SIZE + substitute.size() + print.size()),
         2);
  Append(&out, 0, 2);
  Append(&out, 0, 2);  // substitute name offset
  Append(&out, static_cast<uint32_t>(substitute.size()), 2);
  Append(&out, static_cast<uint32_t>(substitute.size()), 2);  // print name offset
  Append(&out, static_cast<uint32_t>(print.size()), 2);
  Append(&out, link.relative ? SYMLINK_FLAG_RELATIVE : 0, 4);
  out += substitute;
  out += print;
  return out;
}

std::optional<SymlinkReparse> DecodeSymlinkReparse(std::string_view buffer) {
  if (buffer.size() < kSymlinkPathStart || ReparseTagOf(buffer) != IO_REPARSE_TAG_SYMLINK)
    return std::nullopt;
  size_t data_end = REPARSE_DATA_BUFFER_HEADER_SIZE + Read(buffer, 4, 2);
  if (data_end > buffer.size())
    return std::nullopt;
  std::string_view paths = buffer.substr(kSymlinkPathStart, data_end - kSymlinkPathStart);
  auto name = [&](size_t field, std::wstring* out) {
    size_t offset = Read(buffer, REPARSE_DATA_BUFFER_HEADER_SIZE + field, 2);
    size_t length = Read(buffer, REPARSE_DATA_BUFFER_HEADER_SIZE + field + 2, 2);
    if (offset % 2 != 0 || length % 2 != 0 || offset + length > paths.size())
      return false;
    *out = FromUtf16Le(paths.substr(offset, length));
    return true;
  };
  SymlinkReparse link;
  if (!name(0, &link.substitute_name) || !name(4, &link.print_name))
    return std::nullopt;
  link.relative =
      (Read(buffer, REPARSE_DATA_BUFFER_HEADER_SIZE + 8, 4) & SYMLINK_FLAG_RELATIVE) != 0;
  return link;
}

}  // namespace tarvik
