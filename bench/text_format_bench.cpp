// The formatter on the line every accepted check writes, and on a log line.
#include <benchmark/benchmark.h>

#include <array>

#include "text/text_format.h"

namespace {

void BM_TextFormatDisplayLine(benchmark::State& state) {
  std::array<char, 4096> buffer{};
  const char* user = "alice@example.com";
  for (auto _ : state) {
    benchmark::DoNotOptimize(user);
    int n = vantorix::text_format(buffer.data(), static_cast<int>(buffer.size()), "%s %s %s %d", "+OK", user,
                                  "config", 0);
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_TextFormatDisplayLine);

void BM_TextFormatRefusalLine(benchmark::State& state) {
  std::array<char, 4096> buffer{};
  const char* user = "alice@example.com";
  for (auto _ : state) {
    benchmark::DoNotOptimize(user);
    int n = vantorix::text_format(buffer.data(), static_cast<int>(buffer.size()),
                                  "-ERR %s password wrong or not a valid user%s", user, "\n");
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_TextFormatRefusalLine);

void BM_TextFormatLogLine(benchmark::State& state) {
  std::array<char, 4096> buffer{};
  const char* time_text = "Dec 06 22:46:51 2026";
  for (auto _ : state) {
    benchmark::DoNotOptimize(time_text);
    int n = vantorix::text_format(buffer.data(), static_cast<int>(buffer.size()), "%d %s %s\n", 12345, time_text,
                                  "...Checking: User='alice'   Pass='xxxx'  IP='(NULL)'");
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_TextFormatLogLine);

}  // namespace
