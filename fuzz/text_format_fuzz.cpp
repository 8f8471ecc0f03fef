// Fuzzes the bounded formatter with formats built from the conversions the
// program itself uses (and a few neighbours), with matching arguments, and
// checks every result against snprintf where the two must agree.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "text/text_format.h"

namespace {

enum class Arg { none, integer, string, star_string, star_integer };

struct Conversion {
  const char* text;
  Arg args;
};

constexpr Conversion kConversions[] = {
    {"%s", Arg::string},     {"%.20s", Arg::string},      {"%10s", Arg::string},
    {"%-6s", Arg::string},   {"%.*s", Arg::star_string},  {"%*s", Arg::star_string},
    {"%d", Arg::integer},    {"%5d", Arg::integer},       {"%c", Arg::integer},
    {"%02x", Arg::integer},  {"%x", Arg::integer},        {"%u", Arg::integer},
    {"%*d", Arg::star_integer}, {"%%", Arg::none},        {"%5%", Arg::none},
};

using Value = std::variant<int, const char*>;

// Calls the formatter through its va_list entry point, so that formats built
// at run time can be passed without a literal format.
int format_into(char* buffer, int size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int stored = vantorix::text_vformat(buffer, size, format, args);
  va_end(args);
  return stored;
}

int reference_into(char* buffer, std::size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int length = std::vsnprintf(buffer, size, format, args);
  va_end(args);
  return length;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const int buffer_size = input.ConsumeIntegralInRange<int>(-1, 200);
  std::string format;
  std::vector<std::string> strings;
  strings.reserve(3);
  std::vector<Value> values;
  bool comparable = true;  // no null string, no negative starred value, no unfinished directive
  const int pieces = input.ConsumeIntegralInRange<int>(0, 3);
  for (int i = 0; i < pieces && values.size() < 2; ++i) {
    std::string literal = input.ConsumeRandomLengthString(24);
    for (char& c : literal) if (c == '%' || c == '\0') c = '.';
    format += literal;
    const Conversion& conversion = kConversions[input.ConsumeIntegralInRange<std::size_t>(0, std::size(kConversions) - 1)];
    format += conversion.text;
    if (conversion.args == Arg::star_string || conversion.args == Arg::star_integer) {
      int star = input.ConsumeIntegralInRange<int>(-3, 40);
      if (star < 0) comparable = false;
      values.emplace_back(star);
    }
    if (conversion.args == Arg::string || conversion.args == Arg::star_string) {
      if (input.ConsumeIntegralInRange<int>(0, 9) == 0) {
        values.emplace_back(static_cast<const char*>(nullptr));
        comparable = false;
      } else {
        strings.push_back(input.ConsumeRandomLengthString(60));
        values.emplace_back(strings.back().c_str());
      }
    } else if (conversion.args == Arg::integer || conversion.args == Arg::star_integer) {
      int value = input.ConsumeIntegral<int>();
      if (std::strcmp(conversion.text, "%c") == 0 && (value & 0xff) == 0) value = 'z';
      values.emplace_back(value);
    }
  }
  if (input.ConsumeBool()) {
    format += input.ConsumeBool() ? "%" : "%-7";  // unfinished at the end: copied literally
    comparable = false;
  }

  // Exactly `buffer_size` bytes, so AddressSanitizer sees any write past the end.
  std::unique_ptr<char[]> buffer(new char[buffer_size > 0 ? buffer_size : 1]);
  std::memset(buffer.get(), 'Q', buffer_size > 0 ? buffer_size : 1);
  int stored = std::visit(
      [&](auto... v) { return format_into(buffer.get(), buffer_size, format.c_str(), v...); },
      values.size() > 0 ? values[0] : Value{0}, values.size() > 1 ? values[1] : Value{0},
      values.size() > 2 ? values[2] : Value{0});
  if (buffer_size <= 0) {
    if (stored != 0) __builtin_trap();
    return 0;
  }
  if (stored < 0 || stored >= buffer_size || buffer[stored] != '\0') __builtin_trap();

  if (comparable) {
    std::vector<char> full(4096);
    int length = std::visit(
        [&](auto... v) { return reference_into(full.data(), full.size(), format.c_str(), v...); },
        values.size() > 0 ? values[0] : Value{0}, values.size() > 1 ? values[1] : Value{0},
        values.size() > 2 ? values[2] : Value{0});
    if (length < 0 || length >= static_cast<int>(full.size())) return 0;
    int expected = std::min(length, buffer_size - 1);
    if (stored != expected || std::memcmp(buffer.get(), full.data(), static_cast<std::size_t>(expected)) != 0)
      __builtin_trap();
  }
  return 0;
}
