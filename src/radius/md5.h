// The MD5 message digest (RFC 1321), over one buffer or fed in pieces.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>

namespace vantorix {

inline constexpr int kMd5DigestSize = 16;

/// Bytes to digest, one piece after another, as if they stood in one buffer.
using Md5Pieces = std::initializer_list<std::span<const std::uint8_t>>;

/// Writes the digest of `pieces` to `output` (any alignment, not overlapping
/// them) in one pass: only the part of a block that pieces split is copied.
void md5_of(Md5Pieces pieces, std::uint8_t* output);

/// One digest computation: any number of `update` calls, then one `final`.
/// Allocates nothing and cannot fail; a copy carries the state so far, so a
/// common prefix can be digested once and continued in several ways.
class Md5 {
 public:
  Md5();
  /// Feeds the next bytes (zero bytes included) of the message.
  void update(std::span<const std::uint8_t> input);
  /// Writes the 16-byte digest to `output` (any alignment). The object is
  /// used up: feed it no more.
  void final(std::uint8_t* output);

 private:
  std::array<std::uint32_t, 4> state_ = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  std::uint64_t length_ = 0;               // bytes fed so far
  std::array<std::uint8_t, 64> buffer_{};  // the part of a block not yet processed
};

/// HMAC-MD5 (RFC 2104): MD5 keyed with `key`, fed in pieces like Md5. A copy
/// made before the first `update` is a keyed start that can be used again,
/// so a key is prepared once for many messages.
class HmacMd5 {
 public:
  explicit HmacMd5(std::span<const std::uint8_t> key);
  void update(std::span<const std::uint8_t> input) { inner_.update(input); }
  /// Writes the 16-byte code to `output`. The object is used up.
  void final(std::uint8_t* output);
  /// Writes the code of `pieces` alone to `output` in one pass, as `md5_of`
  /// does, whatever `update` has been fed; the object stays as it is.
  void code_of(Md5Pieces pieces, std::uint8_t* output) const;

 private:
  Md5 inner_;
  Md5 outer_;
  // The digest states after the key's inner and outer pad blocks.
  std::array<std::uint32_t, 4> inner_start_{};
  std::array<std::uint32_t, 4> outer_start_{};
};

/// Writes the 16-byte digest of `length` bytes at `input` to `output` (any
/// alignment); a negative length digests nothing. `input` may hold zero bytes
/// and must not overlap `output`.
void md5_digest(std::uint8_t* output, const std::uint8_t* input, std::int32_t length);

}  // namespace vantorix
