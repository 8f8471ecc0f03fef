#include "userstore/scramble.h"

#include <algorithm>
#include <cstring>

namespace vantorix {
namespace {

// Scrambled and unscrambled characters are 8-bit signed in the key's arithmetic.
inline int signed_byte(std::uint8_t byte) { return static_cast<std::int8_t>(byte); }

inline int hex_value(unsigned char c) { return c >= '0' && c <= '9' ? c - '0' : c - 87; }

// The key byte at position `i` of a password: the working key is defined for
// its first 100 positions and zero beyond them.
inline int key_byte(const ScrambleKey& key, std::size_t i) {
  return i < key.bytes.size() ? key.bytes[i] : 0;
}

}  // namespace

ScrambleKey scramble_key_schedule(std::string_view key, int seed) {
  ScrambleKey working;
  const std::size_t length = std::min<std::size_t>(key.size(), kWorkingKeySize - 1);
  std::copy_n(key.begin(), length, working.bytes.begin());
  // Unsigned arithmetic: only the low 8 bits of the running sum ever matter,
  // and it must not overflow whatever the seed.
  std::uint32_t s = static_cast<std::uint32_t>(seed);
  for (int i = 0; i < 20; ++i) {
    working.bytes[i] = static_cast<std::uint8_t>(working.bytes[i] + s);
    s += working.bytes[i];
  }
  return working;
}

int scramble_mix(int a, int b) {
  return static_cast<int>((static_cast<std::int64_t>(a) + b + 127000) % 127);
}

std::string hex_encode_bytes(const std::uint8_t* bytes, int count) {
  static constexpr char kDigits[] = "0123456789abcdef";
  if (bytes == nullptr || count < 0) count = 0;
  count = std::min(count, kMaxEncodedBytes);
  std::string text(2 * static_cast<std::size_t>(count), '\0');
  for (int i = 0; i < count; ++i) {
    text[2 * i] = kDigits[bytes[i] >> 4];
    text[2 * i + 1] = kDigits[bytes[i] & 0x0f];
  }
  return text;
}

int hex_decode_pairs(const char* text, std::span<std::uint8_t> out) {
  std::size_t pairs = text == nullptr ? 0 : std::strlen(text) / 2;
  pairs = std::min({pairs, static_cast<std::size_t>(kMaxDecodedBytes), out.size()});
  for (std::size_t i = 0; i < pairs; ++i) {
    const int high = hex_value(static_cast<unsigned char>(text[2 * i]));
    const int low = hex_value(static_cast<unsigned char>(text[2 * i + 1]));
    out[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  return static_cast<int>(pairs);
}

std::optional<std::string> scramble_with(const ScrambleKey& key, std::string_view password) {
  if (password.size() > static_cast<std::size_t>(kMaxScrambledPassword)) return std::nullopt;
  // The scrambled bytes and their closing zero, encoded two digits each.
  std::array<std::uint8_t, kMaxScrambledPassword + 1> scrambled{};
  for (std::size_t i = 0; i < password.size(); ++i) {
    const int c = signed_byte(static_cast<std::uint8_t>(password[i]));
    scrambled[i] = static_cast<std::uint8_t>(scramble_mix(c, key_byte(key, i)));
  }
  return hex_encode_bytes(scrambled.data(), static_cast<int>(password.size()) + 1);
}

void unscramble_with(const ScrambleKey& key, std::string_view hex_form, std::string& plain) {
  // Decoded straight from the text: the last pair is the form's closing "00"
  // and is not used.
  const std::size_t pairs = std::min<std::size_t>(hex_form.size() / 2, kMaxDecodedBytes);
  const std::size_t length = std::min<std::size_t>(pairs > 0 ? pairs - 1 : 0, kMaxScrambledPassword);
  plain.resize(length);
  for (std::size_t i = 0; i < length; ++i) {
    const int high = hex_value(static_cast<unsigned char>(hex_form[2 * i]));
    const int low = hex_value(static_cast<unsigned char>(hex_form[2 * i + 1]));
    const auto decoded = static_cast<std::uint8_t>(high * 16 + low);
    plain[i] = static_cast<char>(scramble_mix(signed_byte(decoded), -key_byte(key, i)));
  }
  // A character that comes back as zero ends the password, as it would end a C text.
  plain.resize(std::strlen(plain.c_str()));
}

std::optional<std::string> password_scramble(const char* key, const char* password, int seed) {
  if (key == nullptr || password == nullptr) return std::nullopt;
  return scramble_with(scramble_key_schedule(key, seed), password);
}

std::optional<std::string> password_unscramble(const char* key, const char* hex_form, int seed) {
  if (key == nullptr || hex_form == nullptr) return std::nullopt;
  std::string plain;
  unscramble_with(scramble_key_schedule(key, seed), hex_form, plain);
  return plain;
}

}  // namespace vantorix
