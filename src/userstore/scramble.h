// The reversible scrambling of passwords in the user file.
#pragma once

#include <cstdint>

namespace vantorix {

/// The longest password that can be scrambled (and so stored in the user file).
inline constexpr int kMaxScrambledPassword = 511;
/// Bytes of the working key that the key string and the key schedule define;
/// positions from here on use a zero key byte.
inline constexpr int kWorkingKeySize = 100;
/// Sizes of the result buffers, terminators included.
inline constexpr int kScrambledBytesSize = kMaxScrambledPassword + 1;
inline constexpr int kHexTextSize = 4096;
inline constexpr int kDecodedBytesSize = 4096;
inline constexpr int kPlainPasswordSize = kMaxScrambledPassword + 1;

/// The result buffers that the operations below return and overwrite.
struct ScrambleBuffers {
  std::uint8_t scrambled[kScrambledBytesSize] = {};
  char hex_text[kHexTextSize] = {};
  std::uint8_t decoded[kDecodedBytesSize] = {};
  char plain[kPlainPasswordSize] = {};
  // The working key of the last key and seed used, made again only when they change.
  std::uint8_t working_key[kMaxScrambledPassword] = {};
  char working_key_source[kWorkingKeySize] = {};
  int working_key_seed = 0;
  bool working_key_ready = false;
};

/// The process-wide result buffers (reset for tests with `scramble_buffers() = {};`).
ScrambleBuffers& scramble_buffers();

/// The hexadecimal form of `password` scrambled with `key` and `seed`: two
/// lower-case digits per character plus "00". Null when `key` or `password`
/// is null, or when the password is longer than 511 characters. The text lives
/// in a buffer that the next call overwrites.
const char* password_scramble(const char* key, const char* password, int seed);

/// The plain password of a hexadecimal form (at most 511 characters; a
/// decoded zero cuts it short). Null when `key` or `hex_form` is null. The
/// text lives in a buffer that the next call overwrites.
const char* password_unscramble(const char* key, const char* hex_form, int seed);

/// Two lower-case hexadecimal digits per byte, in a buffer the next call
/// overwrites; at most 2047 bytes are encoded, a negative count encodes none.
const char* hex_encode_bytes(const std::uint8_t* bytes, int count);

/// Decodes pairs of digits (at most 4096 bytes); stores the number of bytes
/// in `count` when it is given. The bytes live in a buffer the next call overwrites.
const std::uint8_t* hex_decode_pairs(const char* text, int* count);

/// (a + b + 127000) mod 127.
int scramble_mix(int a, int b);

}  // namespace vantorix
