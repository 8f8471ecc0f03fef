// The MD5 message digest (RFC 1321) over one byte buffer.
#pragma once

#include <cstdint>

namespace vantorix {

inline constexpr int kMd5DigestSize = 16;

/// Writes the 16-byte digest of `length` bytes at `input` to `output` (any
/// alignment). `input` may hold zero bytes and must not overlap `output`.
/// Allocates nothing and cannot fail.
void md5_digest(std::uint8_t* output, const std::uint8_t* input, std::int32_t length);

}  // namespace vantorix
