// Little-endian 16-, 32- and 64-bit values inside byte spans, as the published
// security layouts store them. The readers and writers trust the caller with
// the bounds; Fits is the check.
#ifndef TARVIK_COMMON_SD_BYTE_ORDER_H_
#define TARVIK_COMMON_SD_BYTE_ORDER_H_

#include <cstddef>
#include <cstdint>
#include <span>

namespace tarvik {

inline uint16_t ReadLe16(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

inline uint32_t ReadLe32(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
         static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

inline uint64_t ReadLe64(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<uint64_t>(ReadLe32(bytes, at)) | static_cast<uint64_t>(ReadLe32(bytes, at + 4))
                                                          << 32;
}

inline void WriteLe16(std::span<uint8_t> bytes, size_t at, uint16_t value) {
  bytes[at] = static_cast<uint8_t>(value);
  bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

inline void WriteLe32(std::span<uint8_t> bytes, size_t at, uint32_t value) {
  for (size_t i = 0; i < 4; ++i)
    bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

inline void WriteLe64(std::span<uint8_t> bytes, size_t at, uint64_t value) {
  WriteLe32(bytes, at, static_cast<uint32_t>(value));
  WriteLe32(bytes, at + 4, static_cast<uint32_t>(value >> 32));
}

// length bytes from at lie inside bytes.
inline bool Fits(std::span<const uint8_t> bytes, size_t at, size_t length) {
  return at <= bytes.size() && length <= bytes.size() - at;
}

}  // namespace tarvik

#endif  // TARVIK_COMMON_SD_BYTE_ORDER_H_
