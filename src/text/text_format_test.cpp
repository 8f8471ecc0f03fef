#include "text/text_format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace vantorix {
namespace {

struct Formatted {
  std::string text;
  int result;
};

// Formats without the compile-time format check, so that the tests can pass
// the malformed directives the formatter must survive.
Formatted format_into(int size, const char* format, ...) {
  std::vector<char> buffer(size > 0 ? size : 1, '\x7f');
  va_list args;
  va_start(args, format);
  int result = text_vformat(buffer.data(), size, format, args);
  va_end(args);
  return {std::string(buffer.data()), result};
}

int unchecked(char* buffer, int size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int result = text_vformat(buffer, size, format, args);
  va_end(args);
  return result;
}

// The C library's rendering of the same directive, for comparison.
std::string c_library(const char* format, ...) {
  char buffer[4096];
  va_list args;
  va_start(args, format);
  int length = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return std::string(buffer, static_cast<std::size_t>(length));
}

TEST(TextFormat, CutsAtTheBufferEndAndCountsWhatWasStored) {
  Formatted f = format_into(8, "%s", "abcdefghij");
  EXPECT_EQ(f.text, "abcdefg");
  EXPECT_EQ(f.result, 7);

  f = format_into(3, "abc");
  EXPECT_EQ(f.text, "ab");
  EXPECT_EQ(f.result, 2);

  f = format_into(1, "abc%s%d", "x", 5);
  EXPECT_EQ(f.text, "");
  EXPECT_EQ(f.result, 0);

  f = format_into(6, "abc%sxyz", "12345");
  EXPECT_EQ(f.text, "abc12");
  EXPECT_EQ(f.result, 5);

  f = format_into(64, "%s=%d;", "key", 12);
  EXPECT_EQ(f.text, "key=12;");
  EXPECT_EQ(f.result, 7);
}

TEST(TextFormat, ConversionsAfterAFullBufferStillTakeTheirArguments) {
  // If %d left its argument behind, %s would take 5 as a pointer.
  Formatted f = format_into(4, "abcdef%d%s%c%s", 5, "x", 'y', nullptr);
  EXPECT_EQ(f.text, "abc");
  EXPECT_EQ(f.result, 3);
  f = format_into(1, "%*d%.*s%s", 3, 4, 2, "zz", "last");
  EXPECT_EQ(f.text, "");
}

TEST(TextFormat, RefusesNullBufferNullFormatAndSizeZero) {
  char buffer[8] = "keep";
  EXPECT_EQ(unchecked(nullptr, 8, "abc"), 0);
  EXPECT_EQ(unchecked(buffer, 8, nullptr), 0);
  EXPECT_EQ(unchecked(buffer, 0, "abc"), 0);
  EXPECT_STREQ(buffer, "keep");
  EXPECT_EQ(text_format(buffer, 0, "%s", "abc"), 0);
  EXPECT_STREQ(buffer, "keep");

  EXPECT_EQ(unchecked(buffer, -5, "abc"), 0);
  EXPECT_STREQ(buffer, "");
}

TEST(TextFormat, NullStringIsNeitherPaddedNorCut) {
  for (const char* format : {"%s", "%10s", "%-10s", "%.2s", "%8.3s", "%S"}) {
    SCOPED_TRACE(format);
    EXPECT_EQ(format_into(64, format, nullptr).text, "(NULL)");
  }
  EXPECT_EQ(format_into(5, "%s", nullptr).text, "(NUL");
}

TEST(TextFormat, PercentDirectivesTakeNoArgument) {
  EXPECT_EQ(format_into(64, "%%").text, "%");
  EXPECT_EQ(format_into(64, "%5%%d", 7).text, "%7");
  EXPECT_EQ(format_into(64, "%-3%|%s", "a").text, "%|a");
  EXPECT_EQ(format_into(64, "50%% of %d", 8).text, "50% of 8");
}

TEST(TextFormat, UnfinishedDirectiveAtTheEndIsCopied) {
  struct Case {
    const char* format;
    const char* expected;
  };
  for (const Case& c : {Case{"100%", "100%"}, Case{"%", "%"}, Case{"a%5", "a%5"},
                        Case{"x%-+ #", "x%-+ #"}, Case{"%.3l", "%.3l"}}) {
    SCOPED_TRACE(c.format);
    Formatted f = format_into(64, c.format);
    EXPECT_EQ(f.text, c.expected);
    EXPECT_EQ(f.result, static_cast<int>(std::strlen(c.expected)));
  }
  // A '*' before the end has already taken its argument.
  EXPECT_EQ(format_into(64, "%d %*", 1, 2).text, "1 %*");
  // The literal copy is cut like any other text.
  EXPECT_EQ(format_into(4, "ab%-5").text, "ab%");
}

TEST(TextFormat, MoreThanTwoStarsAreCopiedLiterally) {
  // The first '*' takes the width; the conversion takes nothing.
  EXPECT_EQ(format_into(64, "%***d|%d", 3, 9).text, "%***d|9");
  EXPECT_EQ(format_into(64, "%*.**s|%s", 3, 4, "x").text, "%*.**s|x");
  // Two stars are still a conversion.
  EXPECT_EQ(format_into(64, "%*.*s|", 6, 2, "abcdef").text, "    ab|");
}

TEST(TextFormat, NegativeStarredWidthAndPrecisionCountAsZero) {
  EXPECT_EQ(format_into(64, "[%*d]", -5, 42).text, "[42]");
  EXPECT_EQ(format_into(64, "[%.*s]", -1, "abc").text, "[]");
  EXPECT_EQ(format_into(64, "[%*s]", -4, "ab").text, "[ab]");
  EXPECT_EQ(format_into(64, "[%.*d]", -3, 0).text, "[]");
  EXPECT_EQ(format_into(64, "[%*d]", 5, 42).text, "[   42]");
  EXPECT_EQ(format_into(64, "[%-*d]", 5, 42).text, "[42   ]");
  EXPECT_EQ(format_into(64, "[%0*d]", 5, 42).text, "[00042]");
  EXPECT_EQ(format_into(64, "[%.-2s]", "abc").text, "[]");
}

TEST(TextFormat, TheProgramsOwnFormats) {
  EXPECT_EQ(format_into(64, "%02x", 10).text, "0a");
  EXPECT_EQ(format_into(64, "%02x", static_cast<int>(static_cast<signed char>(0xE9))).text,
            "ffffffe9");
  EXPECT_EQ(format_into(64, "%d", INT_MIN).text, "-2147483648");
  EXPECT_EQ(format_into(64, "%.20s", "abcdefghijklmnopqrstuvwxy").text, "abcdefghijklmnopqrst");
  EXPECT_EQ(format_into(64, "%c%c", 'o', 'k').text, "ok");
  EXPECT_EQ(format_into(64, "%s %s %s %d%s", "+OK", "Joe", "/home", 0, "\n").text,
            "+OK Joe /home 0\n");
}

TEST(TextFormat, IntegersMatchTheCLibrary) {
  const char* formats[] = {"%d",   "%i",    "%5d",   "%-5d|", "%05d",   "%+d",   "% d",
                           "%+5d", "%.3d",  "%8.3d", "%-8.3d|", "%08.3d", "%.0d", "%u",
                           "%x",   "%X",    "%#x",   "%#08x", "%#X",    "%o",    "%#o",
                           "%#.0o", "%#5.3o", "%3c|", "%-3c|", "%hd",   "%hhx"};
  const int values[] = {0, 1, -1, 7, 42, -42, 255, 65, INT_MAX, INT_MIN};
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  for (const char* format : formats) {
    for (int value : values) {
      SCOPED_TRACE(std::string(format) + " " + std::to_string(value));
      std::string expected = c_library(format, value);
      // The formatter always shows 32 bits, whatever the length letters say.
      if (std::strcmp(format, "%hd") == 0) expected = std::to_string(value);
      if (std::strcmp(format, "%hhx") == 0) expected = c_library("%x", value);
      // The C standard: with '#' the first digit of an octal number is a 0,
      // even for 0 at precision 0. MinGW's C library shows nothing there.
      if (std::strcmp(format, "%#.0o") == 0 && value == 0) expected.assign(1, '0');
      Formatted f = format_into(128, format, value);
      EXPECT_EQ(f.text, expected.c_str());
      EXPECT_EQ(f.result, static_cast<int>(expected.size()));
    }
  }
#pragma GCC diagnostic pop
}

TEST(TextFormat, StringsAndFloatsMatchTheCLibrary) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  for (const char* format : {"%s", "%8s", "%-8s|", "%.2s", "%8.2s", "%-8.2s|", "%.0s", "%05s"}) {
    for (const char* value : {"", "abc", "abcdefghijkl"}) {
      SCOPED_TRACE(std::string(format) + " " + value);
      EXPECT_EQ(format_into(128, format, value).text, c_library(format, value));
    }
  }
  for (const char* format : {"%f", "%.2f", "%10.3e", "%g", "%G", "%-12.4E|", "%+f", "%08.1f", "%#g"}) {
    for (double value : {0.0, 1.5, -2.25e10, 1e-5, 123456789.125}) {
      SCOPED_TRACE(std::string(format) + " " + std::to_string(value));
      EXPECT_EQ(format_into(128, format, value).text, c_library(format, value));
    }
  }
#pragma GCC diagnostic pop
}

TEST(TextFormat, WideArgumentsStayInStep) {
  // 2^32 + 7 where long has 64 bits; just 7 where it has 32 (Windows).
  const long long wide_value = (1LL << 32) | 7;
  const long wide = static_cast<long>(wide_value);
  EXPECT_EQ(format_into(64, "%ld|%s", wide, "x").text, "7|x");
  EXPECT_EQ(format_into(64, "%lld|%zu|%s", -1LL, static_cast<std::size_t>(3), "y").text,
            "-1|3|y");
  EXPECT_EQ(format_into(64, "%Lf|%s", 2.5L, "z").text, "2.500000|z");
}

TEST(TextFormat, HugeWidthsAreBoundedByTheBuffer) {
  Formatted f = format_into(16, "%*d", INT_MAX, 1);
  EXPECT_EQ(f.text, std::string(15, ' '));
  EXPECT_EQ(f.result, 15);
  f = format_into(64, "%99999999999s|", "a");
  EXPECT_EQ(f.result, 63);
  // An integer wider than the 22 characters of its piece is still shown whole.
  f = format_into(64, "%30d", 5);
  EXPECT_EQ(f.text, std::string(29, ' ') + "5");
  // A floating rendering stops at 1999 characters.
  f = format_into(4096, "%5000f|", 1.0);
  EXPECT_EQ(f.result, 2000);
  EXPECT_EQ(f.text.back(), '|');
}

TEST(TextFormat, PointerAndWideConversions) {
  int target = 99;
  // 0x and the digits, as glibc shows it (the Microsoft library pads to 16
  // digits without 0x).
  const auto address = static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(&target));
  EXPECT_EQ(format_into(64, "%p|%p", nullptr, &target).text, "(nil)|0x" + c_library("%llx", address));
  // %n writes nothing through its argument.
  EXPECT_EQ(format_into(64, "ab%n|%d", &target, 3).text, "ab|3");
  EXPECT_EQ(target, 99);
  EXPECT_EQ(format_into(64, "%S|%.1ls|%C", L"h\u00e9", L"ok", 0x263A).text, "h?|o|?");
}

TEST(CopyBounded, CopiesAtMostSizeMinusOneAndTerminates) {
  char buffer[8];
  EXPECT_EQ(copy_bounded(buffer, "abcdefghij", 8), buffer);
  EXPECT_STREQ(buffer, "abcdefg");
  copy_bounded(buffer, "ab", 8);
  EXPECT_STREQ(buffer, "ab");
  copy_bounded(buffer, "xyz", 1);
  EXPECT_STREQ(buffer, "");

  char keep[8] = "keep";
  EXPECT_EQ(copy_bounded(keep, "new", 0), keep);
  copy_bounded(keep, "new", -3);
  copy_bounded(keep, nullptr, 8);
  EXPECT_STREQ(keep, "keep");
  EXPECT_EQ(copy_bounded(nullptr, "new", 8), nullptr);
}

}  // namespace
}  // namespace vantorix
