#include "platform/posix/dos_attributes.h"

#include <cstring>

namespace tarvik {
namespace {

// xattr_DosInfoValidFlags.
constexpr uint32_t XATTR_DOSINFO_ATTRIB = 0x01;
constexpr uint32_t XATTR_DOSINFO_CREATE_TIME = 0x10;

// NDR as Samba marshals this record: little-endian, each scalar aligned to
// its size (8-byte values to 4), counted from the start of the value. The
// record is the hex string (NUL-terminated), the version, and a union that
// repeats the version as its level before its members.
class NdrReader {
 public:
  explicit NdrReader(std::string_view data) : data_(data) {}

  size_t offset() const { return offset_; }
  bool AtEnd() const { return offset_ >= data_.size(); }

  // A NUL-terminated ASCII string.
  bool String(std::string_view* out) {
    size_t end = data_.find('\0', offset_);
    if (end == std::string_view::npos)
      return false;
    *out = data_.substr(offset_, end - offset_);
    offset_ = end + 1;
    return true;
  }
  bool U16(uint16_t* out) { return Scalar(2, 2, out); }
  bool U32(uint32_t* out) { return Scalar(4, 4, out); }
  bool U64(uint64_t* out) { return Scalar(8, 4, out); }
  bool Skip64() {
    uint64_t ignored;
    return U64(&ignored);
  }

 private:
  template <typename T>
  bool Scalar(size_t size, size_t alignment, T* out) {
    size_t start = (offset_ + alignment - 1) / alignment * alignment;
    if (start + size > data_.size())
      return false;
    uint64_t value = 0;
    for (size_t i = 0; i < size; ++i)
      value |= static_cast<uint64_t>(static_cast<uint8_t>(data_[start + i])) << (8 * i);
    *out = static_cast<T>(value);
    offset_ = start + size;
    return true;
  }

  std::string_view data_;
  size_t offset_ = 0;
};

void Append(std::string* out, uint64_t value, size_t size) {
  for (size_t i = 0; i < size; ++i)
    out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// The legacy form: hex text such as "0x20", with or without a NUL.
std::optional<DosInfo> DecodeHex(std::string_view text) {
  if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X'))
    return std::nullopt;
  uint64_t value = 0;
  for (char c : text.substr(2)) {
    int digit = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
    if (digit < 0 || value > 0xFFFFFFF)
      return std::nullopt;
    value = value * 16 + static_cast<uint64_t>(digit);
  }
  DosInfo info;
  info.attributes = static_cast<DWORD>(value);
  return info;
}

}  // namespace

std::string EncodeDosAttrib(DWORD attributes, uint64_t creation_time) {
  std::string out;
  out.push_back('\0');  // attrib_hex: empty
  out.push_back('\0');  // alignment of the version
  Append(&out, 5, 2);   // version
  Append(&out, 5, 2);   // the union's level
  Append(&out, 0, 2);   // alignment of its members
  Append(&out, XATTR_DOSINFO_ATTRIB | XATTR_DOSINFO_CREATE_TIME, 4);
  Append(&out, attributes, 4);
  Append(&out, creation_time, 8);
  return out;
}

std::optional<DosInfo> DecodeDosAttrib(std::string_view value) {
  NdrReader reader(value);
  std::string_view hex;
  if (!reader.String(&hex))
    return DecodeHex(value);
  if (reader.AtEnd())
    return DecodeHex(hex);
  uint16_t version, level;
  if (!reader.U16(&version) || !reader.U16(&level) || level != version)
    return std::nullopt;
  DosInfo info;
  uint32_t valid = 0, attributes = 0, flags = 0;
  uint64_t creation = 0;
  switch (version) {
    case 1:  // attrib, ea_size, size, alloc_size, create_time, change_time
      if (!reader.U32(&attributes) || !reader.U32(&flags) || !reader.Skip64() || !reader.Skip64() ||
          !reader.U64(&creation)) {
        return std::nullopt;
      }
      valid = XATTR_DOSINFO_ATTRIB | XATTR_DOSINFO_CREATE_TIME;
      break;
    case 2:  // flags, attrib, ea_size, size, alloc_size, create_time, ...
      if (!reader.U32(&flags) || !reader.U32(&attributes) || !reader.U32(&flags) ||
          !reader.Skip64() || !reader.Skip64() || !reader.U64(&creation)) {
        return std::nullopt;
      }
      valid = XATTR_DOSINFO_ATTRIB;  // its creation time was never trusted
      break;
    case 3:  // valid_flags, attrib, ea_size, size, alloc_size, create_time, change_time
      if (!reader.U32(&valid) || !reader.U32(&attributes) || !reader.U32(&flags) ||
          !reader.Skip64() || !reader.Skip64() || !reader.U64(&creation)) {
        return std::nullopt;
      }
      break;
    case 4:  // valid_flags, attrib, itime, create_time
      if (!reader.U32(&valid) || !reader.U32(&attributes) || !reader.Skip64() ||
          !reader.U64(&creation)) {
        return std::nullopt;
      }
      break;
    case 5:  // valid_flags, attrib, create_time
      if (!reader.U32(&valid) || !reader.U32(&attributes) || !reader.U64(&creation))
        return std::nullopt;
      break;
    case 0xFFFF:  // the attributes as hex text only
      return DecodeHex(hex);
    default:
      return std::nullopt;
  }
  if (valid & XATTR_DOSINFO_ATTRIB)
    info.attributes = attributes;
  if ((valid & XATTR_DOSINFO_CREATE_TIME) && creation != 0)
    info.creation_time = creation;
  return info;
}

}  // namespace tarvik
