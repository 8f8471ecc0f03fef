// The reversible scrambling of passwords in the user file.
#pragma once

#include <cstdint>

namespace vantorix {

/// The hexadecimal form of `password` scrambled with `key` and `seed`: two
/// lower-case digits per character plus "00". Null when `key` or `password`
/// is null, or when the password is longer than 511 characters. The text lives
/// in a buffer that the next call overwrites.
const char* password_scramble(const char* key, const char* password, int seed);

/// The plain password of a hexadecimal form; both texts must be present. The
/// text lives in a buffer that the next call overwrites.
const char* password_unscramble(const char* key, const char* hex_form, int seed);

/// Two lower-case hexadecimal digits per byte, in a buffer the next call overwrites.
const char* hex_encode_bytes(const std::uint8_t* bytes, int count);

/// Decodes pairs of digits; stores the number of bytes in `count`. The bytes
/// live in a buffer the next call overwrites.
const std::uint8_t* hex_decode_pairs(const char* text, int* count);

/// (a + b + 127000) mod 127.
int scramble_mix(int a, int b);

}  // namespace vantorix
