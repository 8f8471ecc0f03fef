// MD5 over the message sizes the program digests: 16 bytes is a secret and an
// authenticator of the password hiding, 64 a typical reply with the secret
// behind it, 1,024 a long reply.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <vector>

#include "radius/md5.h"

namespace {

void BM_Md5Digest(benchmark::State& state) {
  const auto length = static_cast<std::int32_t>(state.range(0));
  std::vector<std::uint8_t> input(static_cast<std::size_t>(length));
  for (std::size_t i = 0; i < input.size(); ++i) input[i] = static_cast<std::uint8_t>(i * 131 + 7);
  std::array<std::uint8_t, vantorix::kMd5DigestSize> digest{};
  for (auto _ : state) {
    vantorix::md5_digest(digest.data(), input.data(), length);
    benchmark::DoNotOptimize(digest);
    // Feed the digest back so that calls cannot be folded together.
    input[0] = digest[0];
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * length);
}
BENCHMARK(BM_Md5Digest)->Arg(16)->Arg(64)->Arg(1024);

}  // namespace
