#include "text/text_format.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "text/text_helpers.h"

namespace vantorix {
namespace {

constexpr const char kNullText[] = "(NULL)";

// A directive's length letters: none, h, l, ll or q, j, z, t, L.
enum class Length { none, short_int, long_int, long_long, intmax, size, ptrdiff, long_double };

// One conversion directive as parsed from the format.
struct Directive {
  bool minus = false;
  bool plus = false;
  bool space = false;
  bool hash = false;
  bool zero = false;
  int width = -1;      // -1: none
  int precision = -1;  // -1: none
  int slots = 1;       // 1 + the number of '*'
  Length length = Length::none;
  char conversion = '\0';  // '\0': the format ended first
};

bool is_conversion(char c) {
  switch (c) {
    case 'c': case 'C': case 'd': case 'i': case 'o': case 'u': case 'x': case 'X':
    case 'e': case 'E': case 'f': case 'g': case 'G': case 'n': case 'p': case '%':
    case 's': case 'S':
      return true;
    default:
      return false;
  }
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Reads an unsigned decimal number, saturating at INT_MAX.
int read_number(const char*& p) {
  std::int64_t value = 0;
  while (is_digit(*p)) {
    value = value * 10 + (*p - '0');
    if (value > INT_MAX) value = INT_MAX;
    ++p;
  }
  return static_cast<int>(value);
}

// Parses the directive that starts after the '%' at `p`, taking the
// arguments of its '*' as it goes. Returns the position of the conversion
// character, or of the terminator when the format ended first.
const char* parse_directive(const char* p, Directive& directive, va_list& args) {
  while (*p != '\0' && !is_conversion(*p)) {
    char c = *p;
    if (c == '*') {
      ++directive.slots;
      if (directive.width == -1 && directive.precision == -1) {
        int value = va_arg(args, int);
        directive.width = value < 0 ? 0 : value;
      }
      ++p;
    } else if (c == '.') {
      ++p;
      if (*p == '*') {
        // The '*' itself is counted when the loop reaches it.
        int value = va_arg(args, int);
        directive.precision = value < 0 ? 0 : value;
      } else {
        bool negative = false;
        if (*p == '-' || *p == '+') {
          negative = *p == '-';
          ++p;
        }
        int value = read_number(p);
        directive.precision = negative ? 0 : value;
      }
    } else if (c == '0' && directive.width == -1) {
      // A zero before the width is the padding flag, so that "%0*d" still
      // takes its starred width.
      directive.zero = true;
      ++p;
    } else if (is_digit(c)) {
      if (directive.width == -1) {
        directive.width = read_number(p);
      } else {
        ++p;
      }
    } else {
      switch (c) {
        case '-': directive.minus = true; break;
        case '+': directive.plus = true; break;
        case ' ': directive.space = true; break;
        case '#': directive.hash = true; break;
        case 'h': directive.length = Length::short_int; break;
        case 'l': directive.length = directive.length == Length::long_int ? Length::long_long : Length::long_int; break;
        case 'q': directive.length = Length::long_long; break;
        case 'j': directive.length = Length::intmax; break;
        case 'z': directive.length = Length::size; break;
        case 't': directive.length = Length::ptrdiff; break;
        case 'L': directive.length = Length::long_double; break;
        default: break;
      }
      ++p;
    }
  }
  directive.conversion = *p;
  return p;
}

// Takes an argument of the integer class. The value always has 32 bits; an
// argument that a length letter makes wider is still taken whole, so that the
// arguments after it stay in step.
std::uint32_t take_integer(const Directive& directive, va_list& args) {
  switch (directive.length) {
    case Length::long_int: return static_cast<std::uint32_t>(va_arg(args, long));
    case Length::long_long: return static_cast<std::uint32_t>(va_arg(args, long long));
    case Length::intmax: return static_cast<std::uint32_t>(va_arg(args, std::intmax_t));
    case Length::size: return static_cast<std::uint32_t>(va_arg(args, std::size_t));
    case Length::ptrdiff: return static_cast<std::uint32_t>(va_arg(args, std::ptrdiff_t));
    default: return static_cast<std::uint32_t>(va_arg(args, int));
  }
}

// Lays out [prefix][zeros][digits] in a field of the directive's width.
void emit_number(TextBuilder& out, const Directive& directive, const char* prefix, std::size_t prefix_length,
                 const char* digits, std::size_t digit_count) {
  std::int64_t zeros = directive.precision > static_cast<std::int64_t>(digit_count)
                           ? directive.precision - static_cast<std::int64_t>(digit_count)
                           : 0;
  std::int64_t body = static_cast<std::int64_t>(prefix_length + digit_count) + zeros;
  std::int64_t pad = directive.width > body ? directive.width - body : 0;
  if (directive.minus) {
    out.append(std::string_view(prefix, prefix_length));
    out.fill('0', zeros);
    out.append(std::string_view(digits, digit_count));
    out.fill(' ', pad);
  } else if (directive.zero && directive.precision < 0) {
    out.append(std::string_view(prefix, prefix_length));
    out.fill('0', pad + zeros);
    out.append(std::string_view(digits, digit_count));
  } else {
    out.fill(' ', pad);
    out.append(std::string_view(prefix, prefix_length));
    out.fill('0', zeros);
    out.append(std::string_view(digits, digit_count));
  }
}

void render_integer(TextBuilder& out, const Directive& directive, std::uint32_t bits) {
  char digits[24];
  char* end = digits + sizeof digits;
  char* start = end;
  char prefix[2];
  std::size_t prefix_length = 0;
  char conversion = directive.conversion;

  std::uint64_t magnitude = bits;
  if (conversion == 'd' || conversion == 'i') {
    auto value = static_cast<std::int32_t>(bits);
    if (value < 0) {
      magnitude = static_cast<std::uint64_t>(-static_cast<std::int64_t>(value));
      prefix[prefix_length++] = '-';
    } else if (directive.plus) {
      prefix[prefix_length++] = '+';
    } else if (directive.space) {
      prefix[prefix_length++] = ' ';
    }
  }
  unsigned base = 10;
  const char* alphabet = "0123456789abcdef";
  if (conversion == 'o') base = 8;
  if (conversion == 'x') base = 16;
  if (conversion == 'X') {
    base = 16;
    alphabet = "0123456789ABCDEF";
  }
  // Precision 0 shows the value 0 as no digits at all.
  if (!(magnitude == 0 && directive.precision == 0)) {
    do {
      *--start = alphabet[magnitude % base];
      magnitude /= base;
    } while (magnitude != 0);
  }
  if (directive.hash && conversion == 'o' && (start == end || *start != '0') &&
      directive.precision <= end - start) {
    *--start = '0';
  }
  if (directive.hash && bits != 0 && (conversion == 'x' || conversion == 'X')) {
    prefix[prefix_length++] = '0';
    prefix[prefix_length++] = conversion;
  }
  emit_number(out, directive, prefix, prefix_length, start, static_cast<std::size_t>(end - start));
}

// Pointers show as 0x and lower-case hexadecimal digits, a null one as "(nil)".
void render_pointer(TextBuilder& out, const Directive& directive, const void* pointer) {
  auto value = reinterpret_cast<std::uintptr_t>(pointer);
  char digits[2 * sizeof value + 3];
  char* end = digits + sizeof digits;
  char* start = end;
  if (value == 0) {
    static constexpr char kNil[] = "(nil)";
    start -= sizeof kNil - 1;
    std::memcpy(start, kNil, sizeof kNil - 1);
  } else {
    do {
      *--start = "0123456789abcdef"[value % 16];
      value /= 16;
    } while (value != 0);
    *--start = 'x';
    *--start = '0';
  }
  Directive plain;
  plain.width = directive.width;
  plain.minus = directive.minus;
  emit_number(out, plain, "", 0, start, static_cast<std::size_t>(end - start));
}

// Characters of a wide text outside ASCII show as '?'.
char narrow(std::uint32_t c) { return c < 0x80 ? static_cast<char>(c) : '?'; }

void pad_text(TextBuilder& out, const Directive& directive, std::size_t length, bool before) {
  if (directive.width > 0 && static_cast<std::uint64_t>(directive.width) > length && directive.minus != before) {
    out.fill(' ', directive.width - static_cast<std::int64_t>(length));
  }
}

void render_string(TextBuilder& out, const Directive& directive, const char* text) {
  std::size_t length = directive.precision >= 0 ? strnlen(text, static_cast<std::size_t>(directive.precision))
                                           : std::strlen(text);
  pad_text(out, directive, length, true);
  out.append(std::string_view(text, length));
  pad_text(out, directive, length, false);
}

void render_wide_string(TextBuilder& out, const Directive& directive, const wchar_t* text) {
  std::size_t length = 0;
  while (text[length] != L'\0' &&
         (directive.precision < 0 || length < static_cast<std::size_t>(directive.precision))) {
    ++length;
  }
  pad_text(out, directive, length, true);
  for (std::size_t i = 0; i < length && !out.full(); ++i) {
    out.put(narrow(static_cast<std::uint32_t>(text[i])));
  }
  pad_text(out, directive, length, false);
}

void render_character(TextBuilder& out, const Directive& directive, char c) {
  pad_text(out, directive, 1, true);
  out.put(c);
  pad_text(out, directive, 1, false);
}

// Floating values go through the C library into a piece of kFloatPiece bytes.
constexpr int kFloatPiece = 2000;

void render_floating(TextBuilder& out, const Directive& directive, double value) {
  char format[48];
  char* f = format;
  *f++ = '%';
  if (directive.minus) *f++ = '-';
  if (directive.plus) *f++ = '+';
  if (directive.space) *f++ = ' ';
  if (directive.hash) *f++ = '#';
  if (directive.zero) *f++ = '0';
  if (directive.width >= 0) f += std::snprintf(f, 12, "%d", directive.width < kFloatPiece ? directive.width : kFloatPiece - 1);
  if (directive.precision >= 0) {
    f += std::snprintf(f, 13, ".%d", directive.precision < kFloatPiece ? directive.precision : kFloatPiece - 1);
  }
  *f++ = directive.conversion;
  *f = '\0';
  char piece[kFloatPiece];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  int length = std::snprintf(piece, sizeof piece, format, value);
#pragma GCC diagnostic pop
  if (length < 0) return;
  out.append(std::string_view(piece, length < kFloatPiece ? static_cast<std::size_t>(length) : kFloatPiece - 1));
}

// Renders one parsed directive, taking the conversion's own argument.
void render(TextBuilder& out, const Directive& directive, va_list& args) {
  switch (directive.conversion) {
    case '%':
      out.put('%');
      return;
    case 's':
    case 'S':
      if (directive.conversion == 'S' || directive.length == Length::long_int) {
        const wchar_t* text = va_arg(args, const wchar_t*);
        if (text == nullptr) {
          out.append(kNullText);
        } else {
          render_wide_string(out, directive, text);
        }
      } else {
        const char* text = va_arg(args, const char*);
        if (text == nullptr) {
          out.append(kNullText);
        } else {
          render_string(out, directive, text);
        }
      }
      return;
    case 'e': case 'E': case 'f': case 'g': case 'G':
      if (directive.length == Length::long_double) {
        render_floating(out, directive, static_cast<double>(va_arg(args, long double)));
      } else {
        render_floating(out, directive, va_arg(args, double));
      }
      return;
    case 'p':
      render_pointer(out, directive, va_arg(args, const void*));
      return;
    case 'n':
      // Taken and ignored: a format never writes through an argument.
      (void)va_arg(args, void*);
      return;
    case 'c':
    case 'C': {
      // A character always arrives as an int (or the wint_t of %lc and %C).
      auto value = static_cast<std::uint32_t>(va_arg(args, int));
      bool wide = directive.conversion == 'C' || directive.length == Length::long_int;
      render_character(out, directive, wide ? narrow(value) : static_cast<char>(value));
      return;
    }
    default:
      render_integer(out, directive, take_integer(directive, args));
      return;
  }
}

}  // namespace

int text_vformat(char* buffer, int size, const char* format, va_list args) {
  if (buffer == nullptr || format == nullptr || size == 0) return 0;
  buffer[0] = '\0';
  if (size < 0) return 0;

  // A copy, so that the helpers can take arguments through a reference on
  // every platform's va_list.
  va_list list;
  va_copy(list, args);
  TextBuilder out(std::span<char>(buffer, static_cast<std::size_t>(size)));
  const char* cursor = format;
  while (const char* percent = std::strchr(cursor, '%')) {
    out.append(std::string_view(cursor, static_cast<std::size_t>(percent - cursor)));
    Directive directive;
    const char* end = parse_directive(percent + 1, directive, list);
    if (*end == '\0') {
      // Unfinished at the end of the format: the rest is copied as it stands.
      cursor = percent;
      break;
    }
    if (directive.slots > 3) {
      out.append(std::string_view(percent, static_cast<std::size_t>(end + 1 - percent)));
    } else {
      render(out, directive, list);
    }
    cursor = end + 1;
  }
  va_end(list);
  out.append(cursor);
  return static_cast<int>(out.size());
}

int text_format(char* buffer, int size, const char* format, ...) {
  if (buffer == nullptr || format == nullptr || size == 0) return 0;
  va_list args;
  va_start(args, format);
  int length = text_vformat(buffer, size, format, args);
  va_end(args);
  return length;
}

char* copy_bounded(char* destination, const char* source, int size) {
  if (destination == nullptr || source == nullptr || size <= 0) return destination;
  std::size_t length = strnlen(source, static_cast<std::size_t>(size - 1));
  std::memcpy(destination, source, length);
  destination[length] = '\0';
  return destination;
}

}  // namespace vantorix
