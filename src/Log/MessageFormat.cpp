#include "Log/MessageFormat.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <limits>
#include <type_traits>

namespace {

// A width or precision beyond any buffer of the log; keeps the parse from
// overflowing on a silly number.
constexpr int kMaxNumber = 1 << 20;

// Fills [begin, begin + capacity - 1) from the front and drops what does not
// fit; the text stays terminated.
class CBoundedText {
 public:
  CBoundedText(char* buffer, int capacity)
      : mBegin(buffer), mAt(buffer), mEnd(buffer + capacity - 1) {
    *mAt = '\0';
  }

  void Append(const char* text, std::size_t length) {
    const std::size_t room = static_cast<std::size_t>(mEnd - mAt);
    const std::size_t n = std::min(length, room);
    std::memcpy(mAt, text, n);
    mAt += n;
    *mAt = '\0';
  }

  void Repeat(char c, int count) {
    for (; count > 0 && mAt < mEnd; --count) {
      *mAt++ = c;
    }
    *mAt = '\0';
  }

  // One argument through the C formatter with a format of one conversion.
  template <typename T>
  void Formatted(const char* format, T value) {
    const std::size_t room = static_cast<std::size_t>(mEnd - mAt) + 1;
    const int n = std::snprintf(mAt, room, format, value);
    if (n > 0) {
      mAt += std::min(static_cast<std::size_t>(n), room - 1);
    }
    *mAt = '\0';
  }

  // Room left before the terminator.
  std::size_t Room() const { return static_cast<std::size_t>(mEnd - mAt); }

  // Where the next byte goes; Advance(n) takes n bytes written there (at most
  // Room()) and terminates the text behind them.
  char* At() { return mAt; }
  void Advance(std::size_t n) {
    mAt += n;
    *mAt = '\0';
  }

  // Whether `length` more bytes fit whole.
  bool Fits(std::size_t length) const { return length <= static_cast<std::size_t>(mEnd - mAt); }

  int Length() const { return static_cast<int>(mAt - mBegin); }

 private:
  char* mBegin;
  char* mAt;
  char* mEnd;
};

// Surrogates and values beyond Unicode are written as U+FFFD.
uint32_t CodePoint(wchar_t wc) {
  auto c = static_cast<uint32_t>(wc);
  return (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) ? 0xFFFD : c;
}

int Utf8Length(uint32_t c) {
  return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

int EncodeUtf8(uint32_t c, char* out) {
  const int n = Utf8Length(c);
  if (n == 1) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  static constexpr unsigned char kLead[5] = {0, 0, 0xC0, 0xE0, 0xF0};
  for (int i = n - 1; i > 0; --i) {
    out[i] = static_cast<char>(0x80 | (c & 0x3F));
    c >>= 6;
  }
  out[0] = static_cast<char>(kLead[n] | c);
  return n;
}

// A wide string with no width and no precision: encoded straight into the
// buffer, ASCII a byte at a time, and cut before a character that does not fit
// whole.
void WriteWidePlain(CBoundedText& out, const wchar_t* text) {
  char* at = out.At();
  char* const end = at + out.Room();
  for (; *text != L'\0'; ++text) {
    const auto c = static_cast<uint32_t>(*text);
    if (c < 0x80) {
      if (at == end) {
        break;
      }
      *at++ = static_cast<char>(c);
      continue;
    }
    const uint32_t code = CodePoint(*text);
    if (end - at < Utf8Length(code)) {
      break;
    }
    at += EncodeUtf8(code, at);
  }
  out.Advance(static_cast<std::size_t>(at - out.At()));
}

// Writes `count` wide characters (or up to the terminator when count is
// negative) as UTF-8, padded to `width`; a precision stops before the
// character that would pass it.
void WriteWide(CBoundedText& out, const wchar_t* text, std::ptrdiff_t count, bool leftAlign,
               int width, int precision) {
  if (text == nullptr) {
    text = L"(null)";
    count = -1;
  }
  if (count < 0 && width <= 0 && precision < 0) {
    WriteWidePlain(out, text);
    return;
  }
  int bytes = 0;
  const wchar_t* end = text;
  for (; count < 0 ? *end != L'\0' : end < text + count; ++end) {
    const int n = Utf8Length(CodePoint(*end));
    if (precision >= 0 && bytes + n > precision) {
      break;
    }
    bytes += n;
  }
  const int pad = width > bytes ? width - bytes : 0;
  if (!leftAlign) {
    out.Repeat(' ', pad);
  }
  for (const wchar_t* c = text; c < end; ++c) {
    char encoded[4];
    const auto n = static_cast<std::size_t>(EncodeUtf8(CodePoint(*c), encoded));
    if (!out.Fits(n)) {
      break;  // a cut line never ends in part of a character
    }
    out.Append(encoded, n);
  }
  if (leftAlign) {
    out.Repeat(' ', pad);
  }
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

int ReadNumber(const char*& p) {
  int value = 0;
  while (IsDigit(*p)) {
    value = std::min(value * 10 + (*p - '0'), kMaxNumber);
    ++p;
  }
  return value;
}

bool HasWideConversion(const char* format) {
  for (const char* p = std::strchr(format, '%'); p != nullptr; p = std::strchr(p, '%')) {
    ++p;
    if (*p == '%') {
      ++p;
      continue;
    }
    while (*p != '\0' && std::strchr("-+ #0'.*$123456789", *p) != nullptr) {
      ++p;
    }
    if (p[0] == 'l' && (p[1] == 's' || p[1] == 'c')) {
      return true;
    }
  }
  return false;
}

// One conversion, its '*' values resolved, rebuilt as a format of its own
// for the C formatter.
struct CConversion {
  char format[48];
  bool leftAlign = false;
  int width = -1;
  int precision = -1;
  char length[3] = {};
  char conversion = '\0';
};

// Parses the conversion after a '%' at `p` and takes its '*' arguments.
// False for a positional argument ("%1$d"), which this formatter leaves to
// the C library.
bool ParseConversion(const char*& p, va_list* args, CConversion& out) {
  int n = 0;
  out.format[n++] = '%';
  while (*p != '\0' && std::strchr("-+ #0'", *p) != nullptr) {
    out.leftAlign = out.leftAlign || *p == '-';
    if (n < 8) {
      out.format[n++] = *p;
    }
    ++p;
  }
  if (*p == '*') {
    ++p;
    out.width = va_arg(*args, int);
    if (out.width < 0) {
      out.leftAlign = true;
      out.format[n++] = '-';
      out.width = out.width == std::numeric_limits<int>::min() ? kMaxNumber
                                                               : std::min(-out.width, kMaxNumber);
    }
    out.width = std::min(out.width, kMaxNumber);
  } else if (IsDigit(*p)) {
    out.width = ReadNumber(p);
    if (*p == '$') {
      return false;
    }
  }
  if (*p == '.') {
    ++p;
    if (*p == '*') {
      ++p;
      out.precision = va_arg(*args, int);
      out.precision = out.precision < 0 ? -1 : std::min(out.precision, kMaxNumber);
    } else {
      out.precision = ReadNumber(p);
    }
  }
  if (out.width >= 0) {
    n += std::snprintf(out.format + n, sizeof(out.format) - static_cast<std::size_t>(n), "%d",
                       out.width);
  }
  if (out.precision >= 0) {
    n += std::snprintf(out.format + n, sizeof(out.format) - static_cast<std::size_t>(n), ".%d",
                       out.precision);
  }
  if (*p == 'h' || *p == 'l') {
    out.length[0] = *p++;
    if (*p == out.length[0]) {
      out.length[1] = *p++;
    }
  } else if (*p != '\0' && std::strchr("jztL", *p) != nullptr) {
    out.length[0] = *p++;
  }
  for (int i = 0; out.length[i] != '\0'; ++i) {
    out.format[n++] = out.length[i];
  }
  out.conversion = *p;
  if (*p != '\0') {
    ++p;
  }
  out.format[n++] = out.conversion;
  out.format[n] = '\0';
  return true;
}

bool Is(const CConversion& c, const char* length) {
  return std::strcmp(c.length, length) == 0;
}

// A decimal with no flag, width or precision, written without the C
// formatter; a number that does not fit whole keeps the digits that do, as
// the C formatter would.
template <typename T>
void WriteDecimal(CBoundedText& out, T value) {
  char digits[24];
  const std::to_chars_result made = std::to_chars(digits, digits + sizeof(digits), value);
  out.Append(digits, static_cast<std::size_t>(made.ptr - digits));
}

// Whether a conversion is a bare "%d"-like one: only a length modifier
// between the '%' and the letter.
bool IsBare(const CConversion& c) {
  return c.format[1] == c.length[0] || c.format[1] == c.conversion;
}

void WriteSigned(CBoundedText& out, const CConversion& c, va_list* args) {
  if (IsBare(c) && c.length[0] == '\0') {
    WriteDecimal(out, va_arg(*args, int));
  } else if (IsBare(c) && Is(c, "l")) {
    WriteDecimal(out, va_arg(*args, long));
  } else if (Is(c, "l")) {
    out.Formatted(c.format, va_arg(*args, long));
  } else if (Is(c, "ll")) {
    out.Formatted(c.format, va_arg(*args, long long));
  } else if (Is(c, "j")) {
    out.Formatted(c.format, va_arg(*args, intmax_t));
  } else if (Is(c, "z")) {
    out.Formatted(c.format, va_arg(*args, std::make_signed_t<std::size_t>));
  } else if (Is(c, "t")) {
    out.Formatted(c.format, va_arg(*args, std::ptrdiff_t));
  } else {
    out.Formatted(c.format, va_arg(*args, int));
  }
}

void WriteUnsigned(CBoundedText& out, const CConversion& c, va_list* args) {
  if (c.conversion == 'u' && IsBare(c) && c.length[0] == '\0') {
    WriteDecimal(out, va_arg(*args, unsigned));
  } else if (c.conversion == 'u' && IsBare(c) && Is(c, "l")) {
    WriteDecimal(out, va_arg(*args, unsigned long));
  } else if (Is(c, "l")) {
    out.Formatted(c.format, va_arg(*args, unsigned long));
  } else if (Is(c, "ll")) {
    out.Formatted(c.format, va_arg(*args, unsigned long long));
  } else if (Is(c, "j")) {
    out.Formatted(c.format, va_arg(*args, uintmax_t));
  } else if (Is(c, "z")) {
    out.Formatted(c.format, va_arg(*args, std::size_t));
  } else if (Is(c, "t")) {
    out.Formatted(c.format, va_arg(*args, std::make_unsigned_t<std::ptrdiff_t>));
  } else {
    out.Formatted(c.format, va_arg(*args, unsigned));
  }
}

// False when the format needs the C library's own handling.
bool FormatEach(CBoundedText& out, const char* format, va_list* args) {
  const char* p = format;
  while (*p != '\0') {
    if (*p != '%') {
      const char* next = std::strchr(p, '%');
      const std::size_t length =
          next == nullptr ? std::strlen(p) : static_cast<std::size_t>(next - p);
      out.Append(p, length);
      p += length;
      continue;
    }
    const char* start = p++;
    if (*p == '%') {
      out.Append("%", 1);
      ++p;
      continue;
    }
    CConversion c;
    if (!ParseConversion(p, args, c)) {
      return false;
    }
    switch (c.conversion) {
      case 'd':
      case 'i':
        WriteSigned(out, c, args);
        break;
      case 'u':
      case 'o':
      case 'x':
      case 'X':
        WriteUnsigned(out, c, args);
        break;
      case 'c':
        if (Is(c, "l")) {
          const auto wc = static_cast<wchar_t>(va_arg(*args, wint_t));
          WriteWide(out, &wc, wc == L'\0' ? 0 : 1, c.leftAlign, c.width, -1);
        } else {
          out.Formatted(c.format, va_arg(*args, int));
        }
        break;
      case 's':
        if (Is(c, "l")) {
          WriteWide(out, va_arg(*args, const wchar_t*), -1, c.leftAlign, c.width, c.precision);
        } else {
          out.Formatted(c.format, va_arg(*args, const char*));
        }
        break;
      case 'p':
        out.Formatted(c.format, va_arg(*args, void*));
        break;
      case 'f':
      case 'F':
      case 'e':
      case 'E':
      case 'g':
      case 'G':
      case 'a':
      case 'A':
        if (Is(c, "L")) {
          out.Formatted(c.format, va_arg(*args, long double));
        } else {
          out.Formatted(c.format, va_arg(*args, double));
        }
        break;
      case 'n':
        // A log message writes nothing back into its caller's memory.
        va_arg(*args, void*);
        break;
      default:
        // Not a conversion: the text stands as written.
        out.Append(start, static_cast<std::size_t>(p - start));
        break;
    }
  }
  return true;
}

}  // namespace

int FormatLogMessage(char* buffer, int capacity, const char* format, va_list args) {
  if (capacity <= 0) {
    return 0;
  }
  if (!HasWideConversion(format)) {
    const int n = std::vsnprintf(buffer, static_cast<std::size_t>(capacity), format, args);
    return n < 0 ? n : std::min(n, capacity - 1);
  }
  CBoundedText out(buffer, capacity);
  va_list each;
  va_copy(each, args);
  const bool done = FormatEach(out, format, &each);
  va_end(each);
  if (done) {
    return out.Length();
  }
  const int n = std::vsnprintf(buffer, static_cast<std::size_t>(capacity), format, args);
  return n < 0 ? n : std::min(n, capacity - 1);
}
