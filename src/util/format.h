// The program's one formatter: printf-style formats with the Windows wide-printf
// conventions, fed with typed C++ arguments instead of a va_list.
//
//   %s %ls %ws %S(narrow) %hs   strings (%s is wide, %hs and %S narrow)
//   %c %lc %wc %hc %C           characters
//   %d %i %u %x %X %o           32-bit integers (also with l, h, I32)
//   %I64d %lld ...              64-bit integers
//   %f %e %g %E %G              doubles;  %p pointers;  %% a percent sign
//   flags - + blank # 0, width and precision, either of them may be '*'.
//
// A conversion that does not fit its argument (a 64-bit count passed to %d, a
// narrow string to %s, too few arguments) throws FormatError: the mistake is
// reported where it happens instead of printing garbage.
#ifndef TARVIK_UTIL_FORMAT_H_
#define TARVIK_UTIL_FORMAT_H_

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>

namespace tarvik {

class FormatError : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

// One argument of a format call, captured by type.
class FormatArg {
 public:
  enum class Kind { kSigned, kUnsigned, kDouble, kWide, kNarrow, kChar, kPointer };

  template <typename T>
  requires(std::is_integral_v<T> && !std::is_same_v<T, wchar_t> && !std::is_same_v<T, char> &&
           !std::is_same_v<T, char16_t> && !std::is_same_v<T, char32_t>) FormatArg(T value)
      : size_(sizeof(T)) {
    if constexpr (std::is_signed_v<T>) {
      kind_ = Kind::kSigned;
      signed_ = value;
    } else {
      kind_ = Kind::kUnsigned;
      unsigned_ = value;
    }
  }
  template <typename T>
  requires std::is_enum_v<T> FormatArg(T value)
      : FormatArg(static_cast<std::underlying_type_t<T>>(value)) {}
  FormatArg(char c) : kind_(Kind::kChar), size_(1), unsigned_(static_cast<unsigned char>(c)) {}
  FormatArg(wchar_t c) : kind_(Kind::kChar), size_(4), unsigned_(static_cast<uint32_t>(c)) {}
  FormatArg(char16_t c) : kind_(Kind::kChar), size_(2), unsigned_(c) {}
  FormatArg(double value) : kind_(Kind::kDouble), size_(8), double_(value) {}
  FormatArg(float value) : kind_(Kind::kDouble), size_(4), double_(value) {}
  FormatArg(const wchar_t* text) : kind_(Kind::kWide), wide_(text ? text : L"(null)") {}
  FormatArg(const std::wstring& text) : kind_(Kind::kWide), wide_(text) {}
  FormatArg(std::wstring_view text) : kind_(Kind::kWide), wide_(text) {}
  FormatArg(const char* text) : kind_(Kind::kNarrow), narrow_(text ? text : "(null)") {}
  FormatArg(const std::string& text) : kind_(Kind::kNarrow), narrow_(text) {}
  FormatArg(std::string_view text) : kind_(Kind::kNarrow), narrow_(text) {}
  FormatArg(const void* pointer)
      : kind_(Kind::kPointer),
        size_(sizeof(void*)),
        unsigned_(reinterpret_cast<uintptr_t>(pointer)) {}
  FormatArg(std::nullptr_t) : FormatArg(static_cast<const void*>(nullptr)) {}

  Kind kind() const { return kind_; }
  int size() const { return size_; }
  int64_t as_signed() const {
    return kind_ == Kind::kSigned ? signed_ : static_cast<int64_t>(unsigned_);
  }
  uint64_t as_unsigned() const {
    return kind_ == Kind::kSigned ? static_cast<uint64_t>(signed_) : unsigned_;
  }
  double as_double() const { return double_; }
  std::wstring_view wide() const { return wide_; }
  std::string_view narrow() const { return narrow_; }

 private:
  Kind kind_;
  int size_ = 0;
  union {
    int64_t signed_;
    uint64_t unsigned_;
    double double_;
  };
  std::wstring_view wide_;
  std::string_view narrow_;
};

// Formats with already captured arguments; the variadic Format below is the usual entry.
std::wstring FormatArgs(std::wstring_view format, std::span<const FormatArg> args);

template <typename... Args>
std::wstring Format(std::wstring_view format, const Args&... args) {
  if constexpr (sizeof...(Args) == 0) {
    return FormatArgs(format, {});
  } else {
    const FormatArg list[] = {FormatArg(args)...};
    return FormatArgs(format, list);
  }
}

}  // namespace tarvik

#endif  // TARVIK_UTIL_FORMAT_H_
