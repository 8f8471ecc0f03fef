#include "text/text_helpers.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <clocale>
#include <string>

namespace vantorix {
namespace {

TEST(AsciiCase, FoldsOnlyTheLettersAToZWhateverTheLocale) {
  // A locale whose tolower() folds bytes above 127 must change nothing here.
  const char* previous = std::setlocale(LC_CTYPE, nullptr);
  const std::string saved = previous != nullptr ? previous : "C";
  std::setlocale(LC_CTYPE, "C.UTF-8");
  std::string text = "ABC xyz [\\]^_` @ \xC9\xE9 Z";
  ascii_lower_in_place(text);
  EXPECT_EQ(text, "abc xyz [\\]^_` @ \xC9\xE9 z");
  std::setlocale(LC_CTYPE, saved.c_str());

  EXPECT_TRUE(equals_nocase("Radius_Host", "RADIUS_HOST"));
  EXPECT_FALSE(equals_nocase("radius_host", "radius_hos"));
  EXPECT_FALSE(equals_nocase("[", "{"));  // differ by the case bit, but are no letters
  EXPECT_FALSE(equals_nocase("\xC9", "\xE9"));
}

struct CompareCase {
  const char* first;
  const char* second;
  int n;
  int sign;  // -1, 0 or 1
};

TEST(ComparePrefixNocase, FoldsLettersAndStopsAtTheCount) {
  const CompareCase cases[] = {
      {"filtername", "FILTERNAME", 10, 0}, {"filternames", "filtername", 10, 0},
      {"filter", "filtername", 10, -1},    {"abc", "abd", 3, -1},
      {"abc", "abd", 2, 0},                {"x", "y", 0, 0},
      {"ab", "AB", 10, 0},                 {"\xe9", "a", 1, 1},
      {"[", "A", 1, -1},  // '[' sorts before the folded 'a'
      {"", "a", 1, -1},
      {nullptr, "", 5, 0},  // a null text counts as empty
  };
  for (const auto& c : cases) {
    int result = compare_prefix_nocase(c.first, c.second, c.n);
    int sign = (result > 0) - (result < 0);
    EXPECT_EQ(sign, c.sign) << c.first << " / " << c.second << " / " << c.n;
  }
}

TEST(LeadingNumber, ReadsAsAtoiDoesWithoutOverflow) {
  struct Case {
    const char* text;
    int value;
  };
  const Case cases[] = {
      {"1812", 1812},          {"  1812", 1812},        {"\t\n\v\f\r 7", 7},      {"+1812", 1812},
      {"-5", -5},              {"1812abc", 1812},       {"18 12", 18},            {"abc", 0},
      {"", 0},                 {"-", 0},                {"+-1", 0},               {"0001645", 1645},
      {"2147483647", INT_MAX}, {"2147483648", INT_MAX}, {"-2147483648", INT_MIN}, {"-2147483649", INT_MIN},
      {"99999999999999999999999", INT_MAX},             {"-99999999999999999999999", INT_MIN},
  };
  for (const Case& c : cases) EXPECT_EQ(leading_number(c.text), c.value) << '"' << c.text << '"';
  EXPECT_EQ(leading_number(std::string_view("12345", 2)), 12) << "reads no further than the view";
}

TEST(TextBuilder, CutsAtTheCapacityAndAlwaysTerminates) {
  std::array<char, 8> area;
  area.fill('#');
  TextBuilder text(area);
  EXPECT_STREQ(text.c_str(), "");
  text.append("abc");
  text.put('d');
  text.fill('-', 2);
  EXPECT_EQ(text.view(), "abcd--");
  EXPECT_FALSE(text.full());
  text.append("xyz");
  EXPECT_EQ(text.view(), "abcd--x");
  EXPECT_TRUE(text.full());
  text.fill('-', 1LL << 40);
  text.put('!');
  EXPECT_STREQ(text.c_str(), "abcd--x");
  EXPECT_EQ(area[7], '\0');

  TextBuilder none(std::span<char>{});
  none.append("abc");
  EXPECT_EQ(none.size(), 0u);
  EXPECT_STREQ(none.c_str(), "");
}

}  // namespace
}  // namespace vantorix
