#include "util/format.h"

#include <algorithm>
#include <cstdio>

#include "util/utf.h"

namespace tarvik {
namespace {

enum class Size { kDefault, kShort, kLong32, kLong64, kPointer };

struct Conversion {
  std::string flags;
  int width = -1;
  int precision = -1;
  Size size = Size::kDefault;
  bool narrow = false;  // 'h' on a string or character conversion
  bool wide = false;    // 'l' or 'w' on a string or character conversion
  wchar_t type = 0;
};

class Formatter {
 public:
  Formatter(std::wstring_view format, std::span<const FormatArg> args)
      : format_(format), args_(args) {}

  std::wstring Run() {
    while (pos_ < format_.size()) {
      wchar_t c = format_[pos_++];
      if (c != L'%') {
        out_ += c;
        continue;
      }
      if (pos_ < format_.size() && format_[pos_] == L'%') {
        out_ += L'%';
        ++pos_;
        continue;
      }
      Convert(ParseSpec());
    }
    if (next_arg_ != args_.size()) {
      Fail("more arguments than conversions");
    }
    return std::move(out_);
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw FormatError("format \"" + ToUtf8(format_) + "\": " + what);
  }

  const FormatArg& NextArg(wchar_t type) {
    if (next_arg_ >= args_.size()) {
      Fail(std::string("missing argument for %") + static_cast<char>(type));
    }
    return args_[next_arg_++];
  }

  int ReadNumberOrStar() {
    if (pos_ < format_.size() && format_[pos_] == L'*') {
      ++pos_;
      const FormatArg& arg = NextArg(L'*');
      if (arg.kind() != FormatArg::Kind::kSigned && arg.kind() != FormatArg::Kind::kUnsigned) {
        Fail("'*' needs an integer argument");
      }
      return static_cast<int>(arg.as_signed());
    }
    int value = 0;
    while (pos_ < format_.size() && format_[pos_] >= L'0' && format_[pos_] <= L'9') {
      value = value * 10 + (format_[pos_++] - L'0');
    }
    return value;
  }

  bool Consume(std::wstring_view text) {
    if (format_.substr(pos_, text.size()) == text) {
      pos_ += text.size();
      return true;
    }
    return false;
  }

  Conversion ParseSpec() {
    Conversion conversion;
    while (pos_ < format_.size() &&
           std::wstring_view(L"-+ #0").find(format_[pos_]) != std::wstring_view::npos) {
      conversion.flags += static_cast<char>(format_[pos_++]);
    }
    if (pos_ < format_.size() &&
        (format_[pos_] == L'*' || (format_[pos_] >= L'0' && format_[pos_] <= L'9'))) {
      conversion.width = ReadNumberOrStar();
      if (conversion.width < 0) {
        conversion.flags += '-';
        conversion.width = -conversion.width;
      }
    }
    if (Consume(L".")) {
      conversion.precision = ReadNumberOrStar();
    }
    if (Consume(L"I64") || Consume(L"ll")) {
      conversion.size = Size::kLong64;
    } else if (Consume(L"I32")) {
      conversion.size = Size::kLong32;
    } else if (Consume(L"I")) {
      conversion.size = Size::kPointer;
    } else if (Consume(L"h")) {
      conversion.size = Size::kShort;
      conversion.narrow = true;
    } else if (Consume(L"l") || Consume(L"w")) {
      conversion.size = Size::kLong32;
      conversion.wide = true;
    }
    if (pos_ >= format_.size()) {
      Fail("conversion without a type at the end");
    }
    conversion.type = format_[pos_++];
    return conversion;
  }

  void Pad(std::wstring text, const Conversion& conversion) {
    if (conversion.width > 0 && text.size() < static_cast<size_t>(conversion.width)) {
      std::wstring fill(conversion.width - text.size(), L' ');
      text = conversion.flags.find('-') != std::string::npos ? text + fill : fill + text;
    }
    out_ += text;
  }

  void Convert(const Conversion& conversion) {
    switch (conversion.type) {
      case L'd':
      case L'i':
      case L'u':
      case L'x':
      case L'X':
      case L'o':
        return ConvertInteger(conversion);
      case L'f':
      case L'F':
      case L'e':
      case L'E':
      case L'g':
      case L'G':
        return ConvertDouble(conversion);
      case L's':
      case L'S':
        return ConvertString(conversion);
      case L'c':
      case L'C':
        return ConvertChar(conversion);
      case L'p':
        return ConvertPointer(conversion);
      default:
        Fail(std::string("unsupported conversion %") + static_cast<char>(conversion.type));
    }
  }

  static int BitsOf(Size size) {
    switch (size) {
      case Size::kShort:
        return 16;
      case Size::kLong64:
      case Size::kPointer:
        return 64;
      default:
        return 32;
    }
  }

  void ConvertInteger(const Conversion& conversion) {
    const FormatArg& arg = NextArg(conversion.type);
    bool is_integer = arg.kind() == FormatArg::Kind::kSigned ||
                      arg.kind() == FormatArg::Kind::kUnsigned ||
                      arg.kind() == FormatArg::Kind::kChar;
    if (!is_integer) {
      Fail(std::string("%") + static_cast<char>(conversion.type) + " needs an integer argument");
    }
    int bits = BitsOf(conversion.size);
    if (arg.size() * 8 > std::max(bits, 32)) {
      Fail(std::string("a ") + std::to_string(arg.size() * 8) + "-bit argument does not fit %" +
           static_cast<char>(conversion.type) + " (use %I64" + static_cast<char>(conversion.type) +
           ")");
    }
    std::string printf_spec = "%" + conversion.flags;
    if (conversion.width >= 0)
      printf_spec += std::to_string(conversion.width);
    if (conversion.precision >= 0)
      printf_spec += "." + std::to_string(conversion.precision);
    printf_spec += "ll";
    printf_spec += static_cast<char>(conversion.type);
    char buffer[128];
    bool is_signed = conversion.type == L'd' || conversion.type == L'i';
    if (is_signed) {
      long long value = bits == 64   ? static_cast<long long>(arg.as_signed())
                        : bits == 32 ? static_cast<int32_t>(arg.as_signed())
                                     : static_cast<int16_t>(arg.as_signed());
      std::snprintf(buffer, sizeof buffer, printf_spec.c_str(), value);
    } else {
      unsigned long long value = bits == 64   ? arg.as_unsigned()
                                 : bits == 32 ? static_cast<uint32_t>(arg.as_unsigned())
                                              : static_cast<uint16_t>(arg.as_unsigned());
      std::snprintf(buffer, sizeof buffer, printf_spec.c_str(), value);
    }
    out_ += FromUtf8(buffer);
  }

  void ConvertDouble(const Conversion& conversion) {
    const FormatArg& arg = NextArg(conversion.type);
    double value;
    if (arg.kind() == FormatArg::Kind::kDouble) {
      value = arg.as_double();
    } else {
      Fail(std::string("%") + static_cast<char>(conversion.type) +
           " needs a floating-point argument");
    }
    std::string printf_spec = "%" + conversion.flags;
    if (conversion.width >= 0)
      printf_spec += std::to_string(conversion.width);
    if (conversion.precision >= 0)
      printf_spec += "." + std::to_string(conversion.precision);
    printf_spec += static_cast<char>(conversion.type);
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, printf_spec.c_str(), value);
    out_ += FromUtf8(buffer);
  }

  void ConvertString(const Conversion& conversion) {
    const FormatArg& arg = NextArg(conversion.type);
    // In the wide printf family %s is wide and %S narrow; h and l/w force either.
    bool want_narrow = conversion.narrow || (conversion.type == L'S' && !conversion.wide);
    std::wstring text;
    if (want_narrow) {
      if (arg.kind() != FormatArg::Kind::kNarrow) {
        Fail("%hs needs a narrow string argument");
      }
      text = FromUtf8(arg.narrow());
    } else {
      if (arg.kind() != FormatArg::Kind::kWide) {
        Fail("%s needs a wide string argument (use %hs for a narrow one)");
      }
      text = arg.wide();
    }
    if (conversion.precision >= 0 && text.size() > static_cast<size_t>(conversion.precision)) {
      text.resize(conversion.precision);
    }
    Pad(std::move(text), conversion);
  }

  void ConvertChar(const Conversion& conversion) {
    const FormatArg& arg = NextArg(conversion.type);
    bool is_integer = arg.kind() == FormatArg::Kind::kChar ||
                      arg.kind() == FormatArg::Kind::kSigned ||
                      arg.kind() == FormatArg::Kind::kUnsigned;
    if (!is_integer) {
      Fail("%c needs a character argument");
    }
    bool want_narrow = conversion.narrow || (conversion.type == L'C' && !conversion.wide);
    wchar_t c = want_narrow ? static_cast<wchar_t>(static_cast<unsigned char>(arg.as_unsigned()))
                            : static_cast<wchar_t>(arg.as_unsigned());
    Pad(std::wstring(1, c), conversion);
  }

  void ConvertPointer(const Conversion& conversion) {
    const FormatArg& arg = NextArg(conversion.type);
    if (arg.kind() != FormatArg::Kind::kPointer) {
      Fail("%p needs a pointer argument");
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%016llX",
                  static_cast<unsigned long long>(arg.as_unsigned()));
    Pad(FromUtf8(buffer), conversion);
  }

  std::wstring_view format_;
  std::span<const FormatArg> args_;
  size_t pos_ = 0;
  size_t next_arg_ = 0;
  std::wstring out_;
};

}  // namespace

std::wstring FormatArgs(std::wstring_view format, std::span<const FormatArg> args) {
  return Formatter(format, args).Run();
}

}  // namespace tarvik
