#include "radius/md5.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace vantorix {
namespace {

constexpr std::size_t kMd5BlockSize = 64;

inline std::uint32_t rotate_left(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// Little-endian words; on a little-endian machine a plain copy, which the
// compiler makes one load or store.
inline std::uint32_t load_le32(const std::uint8_t* p) {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline void store_le32(std::uint8_t* p, std::uint32_t v) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(p, &v, sizeof v);
    return;
  }
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

// The four round functions and their steps: a = b + ((a + f(b,c,d) + x + t) <<< s).
inline std::uint32_t f1(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return z ^ (x & (y ^ z)); }
inline std::uint32_t f2(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return y ^ (z & (x ^ y)); }
inline std::uint32_t f3(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return x ^ y ^ z; }
inline std::uint32_t f4(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return y ^ (x | ~z); }

inline void step1(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t x,
                  std::uint32_t t, int s) {
  a = b + rotate_left(a + f1(b, c, d) + x + t, s);
}
inline void step2(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t x,
                  std::uint32_t t, int s) {
  a = b + rotate_left(a + f2(b, c, d) + x + t, s);
}
inline void step3(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t x,
                  std::uint32_t t, int s) {
  a = b + rotate_left(a + f3(b, c, d) + x + t, s);
}
inline void step4(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t x,
                  std::uint32_t t, int s) {
  a = b + rotate_left(a + f4(b, c, d) + x + t, s);
}

// The RFC 1321 compression function over one 64-byte block.
void md5_block(std::uint32_t state[4], const std::uint8_t* block) {
  std::uint32_t x[16];
  for (int i = 0; i < 16; ++i) x[i] = load_le32(block + 4 * i);
  std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];

  step1(a, b, c, d, x[0], 0xd76aa478, 7);
  step1(d, a, b, c, x[1], 0xe8c7b756, 12);
  step1(c, d, a, b, x[2], 0x242070db, 17);
  step1(b, c, d, a, x[3], 0xc1bdceee, 22);
  step1(a, b, c, d, x[4], 0xf57c0faf, 7);
  step1(d, a, b, c, x[5], 0x4787c62a, 12);
  step1(c, d, a, b, x[6], 0xa8304613, 17);
  step1(b, c, d, a, x[7], 0xfd469501, 22);
  step1(a, b, c, d, x[8], 0x698098d8, 7);
  step1(d, a, b, c, x[9], 0x8b44f7af, 12);
  step1(c, d, a, b, x[10], 0xffff5bb1, 17);
  step1(b, c, d, a, x[11], 0x895cd7be, 22);
  step1(a, b, c, d, x[12], 0x6b901122, 7);
  step1(d, a, b, c, x[13], 0xfd987193, 12);
  step1(c, d, a, b, x[14], 0xa679438e, 17);
  step1(b, c, d, a, x[15], 0x49b40821, 22);

  step2(a, b, c, d, x[1], 0xf61e2562, 5);
  step2(d, a, b, c, x[6], 0xc040b340, 9);
  step2(c, d, a, b, x[11], 0x265e5a51, 14);
  step2(b, c, d, a, x[0], 0xe9b6c7aa, 20);
  step2(a, b, c, d, x[5], 0xd62f105d, 5);
  step2(d, a, b, c, x[10], 0x02441453, 9);
  step2(c, d, a, b, x[15], 0xd8a1e681, 14);
  step2(b, c, d, a, x[4], 0xe7d3fbc8, 20);
  step2(a, b, c, d, x[9], 0x21e1cde6, 5);
  step2(d, a, b, c, x[14], 0xc33707d6, 9);
  step2(c, d, a, b, x[3], 0xf4d50d87, 14);
  step2(b, c, d, a, x[8], 0x455a14ed, 20);
  step2(a, b, c, d, x[13], 0xa9e3e905, 5);
  step2(d, a, b, c, x[2], 0xfcefa3f8, 9);
  step2(c, d, a, b, x[7], 0x676f02d9, 14);
  step2(b, c, d, a, x[12], 0x8d2a4c8a, 20);

  step3(a, b, c, d, x[5], 0xfffa3942, 4);
  step3(d, a, b, c, x[8], 0x8771f681, 11);
  step3(c, d, a, b, x[11], 0x6d9d6122, 16);
  step3(b, c, d, a, x[14], 0xfde5380c, 23);
  step3(a, b, c, d, x[1], 0xa4beea44, 4);
  step3(d, a, b, c, x[4], 0x4bdecfa9, 11);
  step3(c, d, a, b, x[7], 0xf6bb4b60, 16);
  step3(b, c, d, a, x[10], 0xbebfbc70, 23);
  step3(a, b, c, d, x[13], 0x289b7ec6, 4);
  step3(d, a, b, c, x[0], 0xeaa127fa, 11);
  step3(c, d, a, b, x[3], 0xd4ef3085, 16);
  step3(b, c, d, a, x[6], 0x04881d05, 23);
  step3(a, b, c, d, x[9], 0xd9d4d039, 4);
  step3(d, a, b, c, x[12], 0xe6db99e5, 11);
  step3(c, d, a, b, x[15], 0x1fa27cf8, 16);
  step3(b, c, d, a, x[2], 0xc4ac5665, 23);

  step4(a, b, c, d, x[0], 0xf4292244, 6);
  step4(d, a, b, c, x[7], 0x432aff97, 10);
  step4(c, d, a, b, x[14], 0xab9423a7, 15);
  step4(b, c, d, a, x[5], 0xfc93a039, 21);
  step4(a, b, c, d, x[12], 0x655b59c3, 6);
  step4(d, a, b, c, x[3], 0x8f0ccc92, 10);
  step4(c, d, a, b, x[10], 0xffeff47d, 15);
  step4(b, c, d, a, x[1], 0x85845dd1, 21);
  step4(a, b, c, d, x[8], 0x6fa87e4f, 6);
  step4(d, a, b, c, x[15], 0xfe2ce6e0, 10);
  step4(c, d, a, b, x[6], 0xa3014314, 15);
  step4(b, c, d, a, x[13], 0x4e0811a1, 21);
  step4(a, b, c, d, x[4], 0xf7537e82, 6);
  step4(d, a, b, c, x[11], 0xbd3af235, 10);
  step4(c, d, a, b, x[2], 0x2ad7d2bb, 15);
  step4(b, c, d, a, x[9], 0xeb86d391, 21);

  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

constexpr std::array<std::uint32_t, 4> kMd5Start = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};

// The digest of `pieces` continued from `state`, which has taken `done`
// bytes (whole blocks) already.
void digest_from(std::array<std::uint32_t, 4> state, std::uint64_t done, Md5Pieces pieces, std::uint8_t* output) {
  std::uint8_t block[kMd5BlockSize];
  std::size_t used = 0;  // bytes of `block` filled
  std::uint64_t total = done;
  for (const std::span<const std::uint8_t> piece : pieces) {
    const std::uint8_t* data = piece.data();
    std::size_t count = piece.size();
    if (count == 0) continue;  // an empty piece may have no storage at all
    total += count;
    if (used > 0) {
      const std::size_t take = std::min(count, kMd5BlockSize - used);
      std::memcpy(block + used, data, take);
      used += take;
      data += take;
      count -= take;
      if (used < kMd5BlockSize) continue;
      md5_block(state.data(), block);
      used = 0;
    }
    for (; count >= kMd5BlockSize; count -= kMd5BlockSize, data += kMd5BlockSize) md5_block(state.data(), data);
    if (count > 0) std::memcpy(block, data, count);
    used = count;
  }
  block[used++] = 0x80;
  if (used > kMd5BlockSize - 8) {
    std::memset(block + used, 0, kMd5BlockSize - used);
    md5_block(state.data(), block);
    used = 0;
  }
  std::memset(block + used, 0, kMd5BlockSize - 8 - used);
  const std::uint64_t bits = total << 3;
  store_le32(block + 56, static_cast<std::uint32_t>(bits));
  store_le32(block + 60, static_cast<std::uint32_t>(bits >> 32));
  md5_block(state.data(), block);
  for (int i = 0; i < 4; ++i) store_le32(output + 4 * i, state[i]);
}

}  // namespace

void md5_of(Md5Pieces pieces, std::uint8_t* output) { digest_from(kMd5Start, 0, pieces, output); }

Md5::Md5() = default;

void Md5::update(std::span<const std::uint8_t> input) {
  std::size_t count = input.size();
  const std::uint8_t* data = input.data();
  const std::size_t held = static_cast<std::size_t>(length_ % kMd5BlockSize);
  length_ += count;

  // Fill a partly held block first; then whole blocks straight from the
  // input, so only a tail is ever copied.
  if (held > 0) {
    const std::size_t take = std::min(count, kMd5BlockSize - held);
    std::memcpy(buffer_.data() + held, data, take);
    data += take;
    count -= take;
    if (held + take < kMd5BlockSize) return;
    md5_block(state_.data(), buffer_.data());
  }
  for (; count >= kMd5BlockSize; count -= kMd5BlockSize, data += kMd5BlockSize) md5_block(state_.data(), data);
  if (count > 0) std::memcpy(buffer_.data(), data, count);
}

void Md5::final(std::uint8_t* output) {
  // One 0x80 byte, zeros up to byte 56 (of a second block when fewer than
  // eight bytes remain), then the bit count, least significant word first.
  const std::uint64_t bits = length_ << 3;
  std::size_t rest = static_cast<std::size_t>(length_ % kMd5BlockSize);
  buffer_[rest++] = 0x80;
  if (rest > kMd5BlockSize - 8) {
    std::memset(buffer_.data() + rest, 0, kMd5BlockSize - rest);
    md5_block(state_.data(), buffer_.data());
    rest = 0;
  }
  std::memset(buffer_.data() + rest, 0, kMd5BlockSize - 8 - rest);
  store_le32(buffer_.data() + 56, static_cast<std::uint32_t>(bits));
  store_le32(buffer_.data() + 60, static_cast<std::uint32_t>(bits >> 32));
  md5_block(state_.data(), buffer_.data());
  for (int i = 0; i < 4; ++i) store_le32(output + 4 * i, state_[i]);
}

HmacMd5::HmacMd5(std::span<const std::uint8_t> key) {
  // A key longer than a block is replaced by its digest; the block-sized key
  // is XORed with 0x36 for the inner and 0x5c for the outer digest.
  std::array<std::uint8_t, kMd5BlockSize> block{};
  if (key.size() > kMd5BlockSize) {
    Md5 digest;
    digest.update(key);
    digest.final(block.data());
  } else if (!key.empty()) {
    std::memcpy(block.data(), key.data(), key.size());
  }
  std::array<std::uint8_t, kMd5BlockSize> pad;
  for (std::size_t i = 0; i < kMd5BlockSize; ++i) pad[i] = block[i] ^ 0x36;
  inner_.update(pad);
  inner_start_ = kMd5Start;
  md5_block(inner_start_.data(), pad.data());
  for (std::size_t i = 0; i < kMd5BlockSize; ++i) pad[i] = block[i] ^ 0x5c;
  outer_.update(pad);
  outer_start_ = kMd5Start;
  md5_block(outer_start_.data(), pad.data());
}

void HmacMd5::code_of(Md5Pieces pieces, std::uint8_t* output) const {
  std::uint8_t inner[kMd5DigestSize];
  digest_from(inner_start_, kMd5BlockSize, pieces, inner);
  digest_from(outer_start_, kMd5BlockSize, {std::span<const std::uint8_t>(inner)}, output);
}

void HmacMd5::final(std::uint8_t* output) {
  std::uint8_t inner[kMd5DigestSize];
  inner_.final(inner);
  outer_.update(inner);
  outer_.final(output);
}

void md5_digest(std::uint8_t* output, const std::uint8_t* input, std::int32_t length) {
  // A negative count digests nothing rather than reading before the buffer.
  md5_of({std::span<const std::uint8_t>(input, length > 0 ? static_cast<std::size_t>(length) : 0)}, output);
}

}  // namespace vantorix
