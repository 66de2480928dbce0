#include "util/utf.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace tarvik {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsScalarValue(char32_t c) {
  return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

void AppendCodePointUtf8(std::string& out, char32_t c) {
  if (!IsScalarValue(c))
    c = kReplacement;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// A wide string holds code points where wchar_t has 32 bits (Linux) and
// UTF-16 code units where it has 16 (Windows).
constexpr bool kWideIsUtf16 = sizeof(wchar_t) == 2;

// The code point at text[*i], moving *i past it: a surrogate pair is one
// code point in UTF-16 strings; a lone surrogate comes out as itself.
char32_t NextCodePoint(std::wstring_view text, size_t* i) {
  auto c = static_cast<char32_t>(text[(*i)++]);
  if (kWideIsUtf16 && c >= 0xD800 && c <= 0xDBFF && *i < text.size()) {
    auto low = static_cast<char32_t>(text[*i]);
    if (low >= 0xDC00 && low <= 0xDFFF) {
      ++*i;
      return 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
    }
  }
  return c;
}

void AppendCodePointWide(std::wstring& out, char32_t c) {
  if (kWideIsUtf16 && c >= 0x10000) {
    c -= 0x10000;
    out += static_cast<wchar_t>(0xD800 | (c >> 10));
    out += static_cast<wchar_t>(0xDC00 | (c & 0x3FF));
  } else {
    out += static_cast<wchar_t>(c);
  }
}

// How many ASCII characters text begins with: they are their own encoding
// in both forms, and most text (paths above all) is nothing else.
template <typename Text>
size_t LeadingAscii(Text text) {
  size_t length = 0;
  while (length < text.size() &&
         static_cast<std::make_unsigned_t<typename Text::value_type>>(text[length]) < 0x80) {
    ++length;
  }
  return length;
}

}  // namespace

void AppendUtf8(std::string* out, std::wstring_view text) {
  const size_t ascii = LeadingAscii(text);
  out->append(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(ascii));
  for (size_t i = ascii; i < text.size();)
    AppendCodePointUtf8(*out, NextCodePoint(text, &i));
}

std::string ToUtf8(std::wstring_view text) {
  std::string out;
  AppendUtf8(&out, text);
  return out;
}

void AppendFromUtf8(std::wstring* out, std::string_view bytes) {
  size_t i = LeadingAscii(bytes);
  out->append(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(i));
  while (i < bytes.size()) {
    auto lead = static_cast<uint8_t>(bytes[i]);
    int length = lead < 0x80           ? 1
                 : (lead >> 5) == 0x6  ? 2
                 : (lead >> 4) == 0xE  ? 3
                 : (lead >> 3) == 0x1E ? 4
                                       : 0;
    if (length == 0 || i + length > bytes.size()) {
      *out += static_cast<wchar_t>(kReplacement);
      ++i;
      continue;
    }
    char32_t c = length == 1 ? lead : lead & (0xFF >> (length + 1));
    bool valid = true;
    for (int k = 1; k < length; ++k) {
      auto next = static_cast<uint8_t>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) {
        valid = false;
        break;
      }
      c = (c << 6) | (next & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (!valid || c < kSmallest[length] || !IsScalarValue(c)) {
      *out += static_cast<wchar_t>(kReplacement);
      ++i;
      continue;
    }
    AppendCodePointWide(*out, c);
    i += length;
  }
}

std::wstring FromUtf8(std::string_view bytes) {
  std::wstring out;
  AppendFromUtf8(&out, bytes);
  return out;
}

std::string ToUtf16Le(std::wstring_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  auto put = [&out](uint16_t unit) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
  };
  for (size_t i = 0; i < text.size();) {
    char32_t c = NextCodePoint(text, &i);
    if (!IsScalarValue(c))
      c = kReplacement;
    if (c < 0x10000) {
      put(static_cast<uint16_t>(c));
    } else {
      c -= 0x10000;
      put(static_cast<uint16_t>(0xD800 | (c >> 10)));
      put(static_cast<uint16_t>(0xDC00 | (c & 0x3FF)));
    }
  }
  return out;
}

std::wstring FromUtf16Le(std::string_view bytes) {
  std::wstring out;
  size_t count = bytes.size() / 2;
  auto unit_at = [&bytes](size_t k) {
    return static_cast<char32_t>(static_cast<uint8_t>(bytes[2 * k]) |
                                 (static_cast<uint8_t>(bytes[2 * k + 1]) << 8));
  };
  for (size_t k = 0; k < count; ++k) {
    char32_t unit = unit_at(k);
    if (unit >= 0xD800 && unit <= 0xDBFF && k + 1 < count) {
      char32_t low = unit_at(k + 1);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendCodePointWide(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        ++k;
        continue;
      }
    }
    out += static_cast<wchar_t>(IsScalarValue(unit) ? unit : kReplacement);
  }
  return out;
}

}  // namespace tarvik
