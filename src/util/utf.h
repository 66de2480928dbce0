// Conversions between the program's wide strings and the byte encodings used at
// the platform boundary: UTF-8 for host paths, the console and narrow log files,
// UTF-16LE for unicode log files.
#ifndef TARVIK_UTIL_UTF_H_
#define TARVIK_UTIL_UTF_H_

#include <string>
#include <string_view>

namespace tarvik {

// Invalid code points (lone surrogates, values above U+10FFFF) become U+FFFD.
std::string ToUtf8(std::wstring_view text);
// The same, appended to *out.
void AppendUtf8(std::string* out, std::wstring_view text);

// Malformed sequences become U+FFFD, one per offending byte.
std::wstring FromUtf8(std::string_view bytes);
// The same, appended to *out.
void AppendFromUtf8(std::wstring* out, std::string_view bytes);

// Little-endian UTF-16 code units as bytes, with surrogate pairs above U+FFFF.
std::string ToUtf16Le(std::wstring_view text);

// Reads little-endian UTF-16 bytes; a trailing odd byte is dropped.
std::wstring FromUtf16Le(std::string_view bytes);

}  // namespace tarvik

#endif  // TARVIK_UTIL_UTF_H_
