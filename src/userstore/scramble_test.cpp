#include "userstore/scramble.h"

#include <gtest/gtest.h>

#include <string>

namespace vantorix {
namespace {

constexpr const char* kKey = "quietlyturnbrasskeysunderoldbridges";

std::string scramble(const std::string& password) {
  return password_scramble(kKey, password.c_str(), 1).value_or("(null)");
}

std::string unscramble(const std::string& form) { return password_unscramble(kKey, form.c_str(), 1).value_or("(null)"); }

// Worked by hand from the key schedule: seed 1 turns "quie..." into the working
// key 114, 232, 196, 132, 23, ... and each character c becomes (c + key byte) mod 127.
TEST(Scramble, KnownVectors) {
  EXPECT_EQ(scramble("abc"), "544c2900");
  EXPECT_EQ(scramble("Secret1"), "464f29777c1b0b00");
  EXPECT_EQ(scramble("~ !"), "710a6600");
  EXPECT_EQ(scramble(""), "00");
  EXPECT_EQ(unscramble("544c2900"), "abc");
  EXPECT_EQ(unscramble("00"), "");
  EXPECT_EQ(unscramble(""), "");
  EXPECT_EQ(unscramble("0"), "");
}

TEST(Scramble, EveryPrintableAsciiPasswordRoundTrips) {
  // Each printable character at every position of the working key, the
  // positions beyond the defined 100 included.
  for (int c = 32; c <= 126; ++c) {
    std::string password(kMaxScrambledPassword, static_cast<char>(c));
    std::string form = scramble(password);
    ASSERT_EQ(form.size(), 2 * password.size() + 2) << c;
    EXPECT_EQ(form.substr(form.size() - 2), "00");
    EXPECT_EQ(unscramble(form), password) << "character " << c;
  }
  std::string mixed;
  for (int i = 0; i < kMaxScrambledPassword; ++i) mixed += static_cast<char>(1 + (i * 37) % 126);
  EXPECT_EQ(unscramble(scramble(mixed)), mixed);
}

TEST(Scramble, CharactersFrom127UpDoNotComeBack) {
  EXPECT_EQ(scramble("\x7f"), "7200");
  EXPECT_EQ(unscramble("7200"), "");  // 127 comes back as the terminator
  std::string high = "a\xe9z";
  EXPECT_NE(unscramble(scramble(high)), high);
}

TEST(Scramble, RefusesMissingTextsAndOverlongPasswords) {
  EXPECT_EQ(password_scramble(nullptr, "x", 1), std::nullopt);
  EXPECT_EQ(password_scramble(kKey, nullptr, 1), std::nullopt);
  EXPECT_EQ(password_unscramble(nullptr, "00", 1), std::nullopt);
  EXPECT_EQ(password_unscramble(kKey, nullptr, 1), std::nullopt);
  EXPECT_EQ(password_scramble(kKey, std::string(kMaxScrambledPassword + 1, 'a').c_str(), 1), std::nullopt);
}

TEST(Scramble, UnscrambledPasswordIsAtMost511Characters) {
  std::string form(4000, '6');  // 2000 bytes of 0x66
  EXPECT_EQ(unscramble(form).size(), static_cast<std::size_t>(kMaxScrambledPassword));
}

TEST(Scramble, MixWrapsIntoZeroTo126) {
  EXPECT_EQ(scramble_mix(0, 0), 0);  // 127000 is a multiple of 127
  EXPECT_EQ(scramble_mix(126, 0), 126);
  EXPECT_EQ(scramble_mix(127, 0), 0);
  EXPECT_EQ(scramble_mix(-128, 0), 126);
  EXPECT_EQ(scramble_mix(-128, -255), 125);
  EXPECT_EQ(scramble_mix(127, 255), 1);
}

TEST(Hex, EncodesTwoLowerCaseDigitsPerByte) {
  const std::uint8_t bytes[] = {0x00, 0x0f, 0x80, 0xff, 0x7a};
  EXPECT_EQ(hex_encode_bytes(bytes, 5), "000f80ff7a");
  EXPECT_EQ(hex_encode_bytes(bytes, 0), "");
  EXPECT_EQ(hex_encode_bytes(bytes, -1), "");
  std::uint8_t many[3000] = {};
  EXPECT_EQ(hex_encode_bytes(many, 3000).size(), static_cast<std::size_t>(2 * kMaxEncodedBytes));
}

TEST(Hex, DecodesPairsByTheDigitRule) {
  struct Case {
    const char* text;
    std::string bytes;
  };
  const Case cases[] = {
      {"", ""},
      {"7", ""},                      // a lone last digit yields nothing
      {"00ff7a", std::string("\x00\xff\x7a", 3)},
      {"abc", "\xab"},
      {"AB", "\x8b"},  // (-22 * 16 - 21) kept to 8 bits
      {"g0", std::string(1, '\x00')},  // 'g' - 87 = 16: 256 kept to 8 bits
  };
  std::uint8_t bytes[8];
  for (const auto& c : cases) {
    const int count = hex_decode_pairs(c.text, bytes);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), count), c.bytes) << c.text;
  }
  EXPECT_EQ(hex_decode_pairs(nullptr, bytes), 0);
  EXPECT_EQ(hex_decode_pairs("0102030405060708090a", bytes), 8) << "never past the caller's buffer";
}

}  // namespace
}  // namespace vantorix
