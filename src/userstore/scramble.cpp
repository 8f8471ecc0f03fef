#include "userstore/scramble.h"

#include <cstring>

namespace vantorix {
namespace {

// The working key: the key string with its terminator, the rest zero, and
// the first 20 bytes stirred by the seed. It is as long as the longest
// password, so every position beyond the defined 100 meets a zero key byte
// both when scrambling and when unscrambling.
const std::uint8_t* working_key(const char* key, int seed) {
  ScrambleBuffers& buffers = scramble_buffers();
  if (buffers.working_key_ready && buffers.working_key_seed == seed &&
      std::strncmp(buffers.working_key_source, key, kWorkingKeySize - 1) == 0) {
    return buffers.working_key;
  }
  std::uint8_t* bytes = buffers.working_key;
  std::memset(bytes, 0, sizeof buffers.working_key);
  std::memset(buffers.working_key_source, 0, sizeof buffers.working_key_source);
  for (int i = 0; i < kWorkingKeySize - 1 && key[i] != '\0'; ++i) {
    bytes[i] = static_cast<std::uint8_t>(key[i]);
    buffers.working_key_source[i] = key[i];
  }
  // Unsigned arithmetic: only the low 8 bits of the running sum ever matter,
  // and it must not overflow whatever the seed.
  std::uint32_t s = static_cast<std::uint32_t>(seed);
  for (int i = 0; i < 20; ++i) {
    bytes[i] = static_cast<std::uint8_t>(bytes[i] + s);
    s += bytes[i];
  }
  buffers.working_key_seed = seed;
  buffers.working_key_ready = true;
  return bytes;
}

inline int signed_byte(std::uint8_t byte) { return static_cast<std::int8_t>(byte); }

inline int hex_value(unsigned char c) { return c >= '0' && c <= '9' ? c - '0' : c - 87; }

}  // namespace

ScrambleBuffers& scramble_buffers() {
  static ScrambleBuffers buffers;
  return buffers;
}

int scramble_mix(int a, int b) {
  return static_cast<int>((static_cast<std::int64_t>(a) + b + 127000) % 127);
}

const char* hex_encode_bytes(const std::uint8_t* bytes, int count) {
  static constexpr char kDigits[] = "0123456789abcdef";
  char* out = scramble_buffers().hex_text;
  if (bytes == nullptr || count < 0) count = 0;
  if (count > (kHexTextSize - 1) / 2) count = (kHexTextSize - 1) / 2;
  for (int i = 0; i < count; ++i) {
    out[2 * i] = kDigits[bytes[i] >> 4];
    out[2 * i + 1] = kDigits[bytes[i] & 0x0f];
  }
  out[2 * count] = '\0';
  return out;
}

const std::uint8_t* hex_decode_pairs(const char* text, int* count) {
  std::uint8_t* out = scramble_buffers().decoded;
  std::size_t pairs = text == nullptr ? 0 : std::strlen(text) / 2;
  if (pairs > kDecodedBytesSize) pairs = kDecodedBytesSize;
  for (std::size_t i = 0; i < pairs; ++i) {
    int high = hex_value(static_cast<unsigned char>(text[2 * i]));
    int low = hex_value(static_cast<unsigned char>(text[2 * i + 1]));
    out[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  if (count != nullptr) *count = static_cast<int>(pairs);
  return out;
}

const char* password_scramble(const char* key, const char* password, int seed) {
  if (key == nullptr || password == nullptr) return nullptr;
  std::size_t length = 0;
  while (length <= kMaxScrambledPassword && password[length] != '\0') ++length;
  if (length > kMaxScrambledPassword) return nullptr;

  const std::uint8_t* working = working_key(key, seed);
  std::uint8_t* scrambled = scramble_buffers().scrambled;
  for (std::size_t i = 0; i < length; ++i) {
    int c = signed_byte(static_cast<std::uint8_t>(password[i]));
    scrambled[i] = static_cast<std::uint8_t>(scramble_mix(c, working[i]));
  }
  scrambled[length] = 0;
  return hex_encode_bytes(scrambled, static_cast<int>(length) + 1);
}

const char* password_unscramble(const char* key, const char* hex_form, int seed) {
  if (key == nullptr || hex_form == nullptr) return nullptr;
  int count = 0;
  const std::uint8_t* decoded = hex_decode_pairs(hex_form, &count);

  // The last decoded byte is the form's closing "00" and is not used.
  int length = count > 0 ? count - 1 : 0;
  if (length > kMaxScrambledPassword) length = kMaxScrambledPassword;

  const std::uint8_t* working = working_key(key, seed);
  char* plain = scramble_buffers().plain;
  for (int i = 0; i < length; ++i) {
    plain[i] = static_cast<char>(scramble_mix(signed_byte(decoded[i]), -static_cast<int>(working[i])));
  }
  plain[length] = '\0';
  return plain;
}

}  // namespace vantorix
