// The reversible scrambling of passwords in the user file.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vantorix {

/// The longest password that can be scrambled (and so stored in the user file).
inline constexpr int kMaxScrambledPassword = 511;
/// Bytes of the working key that the key string and the key schedule define;
/// positions from here on use a zero key byte.
inline constexpr int kWorkingKeySize = 100;
/// `hex_encode_bytes` encodes at most this many bytes, `hex_decode_pairs`
/// decodes at most kMaxDecodedBytes.
inline constexpr int kMaxEncodedBytes = 2047;
inline constexpr int kMaxDecodedBytes = 4096;

/// The working key of one key string and seed: the key string with its
/// terminator, the rest zero, the first 20 bytes stirred by the seed.
struct ScrambleKey {
  std::array<std::uint8_t, kWorkingKeySize> bytes{};
};

/// Runs the key schedule over `key` (at most its first 99 characters count).
ScrambleKey scramble_key_schedule(std::string_view key, int seed);

/// The hexadecimal form of `password`: two lower-case digits per character
/// plus "00". Nothing when the password is longer than 511 characters.
std::optional<std::string> scramble_with(const ScrambleKey& key, std::string_view password);

/// The plain password of a hexadecimal form, into `plain` (replacing what it
/// held): at most 511 characters, and a decoded zero cuts it short.
void unscramble_with(const ScrambleKey& key, std::string_view hex_form, std::string& plain);

/// `scramble_with` under a key string and seed; nothing when `key` or
/// `password` is null as well.
std::optional<std::string> password_scramble(const char* key, const char* password, int seed);

/// `unscramble_with` under a key string and seed; nothing when `key` or
/// `hex_form` is null.
std::optional<std::string> password_unscramble(const char* key, const char* hex_form, int seed);

/// Two lower-case hexadecimal digits per byte, for at most kMaxEncodedBytes
/// bytes; a negative count encodes none.
std::string hex_encode_bytes(const std::uint8_t* bytes, int count);

/// Decodes pairs of digits into `out` (at most kMaxDecodedBytes and at most
/// `out.size()` bytes) and returns how many bytes it wrote. A null text
/// decodes to nothing.
int hex_decode_pairs(const char* text, std::span<std::uint8_t> out);

/// (a + b + 127000) mod 127.
int scramble_mix(int a, int b);

}  // namespace vantorix
