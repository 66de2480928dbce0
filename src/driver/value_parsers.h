// Conversions of switch values to numbers, with the runtime's rules for
// blanks, signs and overflow so that every switch reads numbers the same way.
#ifndef TARVIK_DRIVER_VALUE_PARSERS_H_
#define TARVIK_DRIVER_VALUE_PARSERS_H_

#include <cstdint>
#include <optional>
#include <string_view>

namespace tarvik {

// A signed base-10 value that must take the whole text: leading blanks and a
// sign are allowed, an out-of-range value is clamped to the 32-bit range and
// an empty text is 0. Anything left over ("5x", "5 ", a lone sign) fails.
std::optional<int32_t> ParseWholeDecimal(std::wstring_view text);

// The leading decimal number of a text: blanks and a sign, then digits up to
// the first other character. 0 when there are none; clamped to 32 bits.
int32_t ParseLeadingDecimal(std::wstring_view text);

}  // namespace tarvik

#endif  // TARVIK_DRIVER_VALUE_PARSERS_H_
