// The bounded formatter behind every line the program writes.
#pragma once

#include <cstdarg>

/// Marks a printf-style function so that every call is type-checked; nothing
/// on a compiler that does not know the attribute. MinGW's "printf" is the
/// Microsoft C library's, which knows neither %zu nor %lld; the formatter
/// follows the C standard, which is "gnu_printf" there.
#if defined(__MINGW32__)
#define VANTORIX_PRINTF(format_index, first_arg_index) \
  __attribute__((format(gnu_printf, format_index, first_arg_index)))
#elif defined(__GNUC__) || defined(__clang__)
#define VANTORIX_PRINTF(format_index, first_arg_index) \
  __attribute__((format(printf, format_index, first_arg_index)))
#else
#define VANTORIX_PRINTF(format_index, first_arg_index)
#endif

namespace vantorix {

/// Formats `format` with the arguments in `args` into `buffer`, which holds
/// `size` bytes counting the terminator; never writes past it.
/// Returns 0 and leaves the buffer untouched when `buffer` or `format` is null
/// or `size` is 0; a negative size gives an empty text and 0 as well.
/// Otherwise returns the number of characters stored (the text's length), not
/// the length the whole output would have had. Differences from snprintf:
///  - a null string argument prints "(NULL)", neither padded nor cut;
///  - a negative width or precision taken from '*' counts as 0;
///  - an unfinished directive at the end of the format, and one with more
///    than two '*', are copied literally;
///  - integer conversions always take 32 bits, floating ones 64 bits.
/// Beyond the conversions the program's own formats use:
///  - an integer, character or string conversion is shown in full, whatever
///    its width or precision, cut only by the end of the buffer; a floating
///    one shows at most its first 1999 characters, and a width or precision
///    above 1999 counts as 1999;
///  - an argument that a length letter makes wider than 32 bits (%ld, %lld,
///    %zu, %jd, %td) is taken whole, so later arguments stay in step, and its
///    low 32 bits are shown; %Lf takes a long double and shows it as a double;
///  - a '0' before the width is the zero-padding flag, so %0*d takes its
///    starred width like the C library;
///  - %p takes a pointer and shows 0x and hexadecimal digits, "(nil)" for null;
///  - %n takes its pointer and writes nothing through it;
///  - %S, %ls, %C and %lc take wide characters and show those outside ASCII as '?'.
int text_vformat(char* buffer, int size, const char* format, va_list args);

/// `text_vformat` over its own arguments.
int text_format(char* buffer, int size, const char* format, ...) VANTORIX_PRINTF(3, 4);

/// Copies `source` up to its terminator, at most `size` - 1 characters, and
/// terminates `destination`. Does nothing when either pointer is null or
/// `size` is 0 or less. Returns `destination`.
char* copy_bounded(char* destination, const char* source, int size);

}  // namespace vantorix
