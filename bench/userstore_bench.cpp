// The user store: loading a user file of many records, finding a user among
// few or many, and the per-check cost of bringing the table up to date when
// the file has not changed. Logging is off throughout.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "frontend/backend_ops.h"
#include "logging/log.h"
#include "userstore/scramble.h"
#include "userstore/user_file.h"
#include "userstore/user_table.h"

namespace {

using namespace vantorix;

std::string user_name(std::int64_t i) { return "user" + std::to_string(i) + "@example.org"; }
std::string user_password(std::int64_t i) { return "Pw" + std::to_string(i * 7919 % 1000003) + "x"; }

// A user file of `count` records in the temporary directory, written once per run.
std::string make_user_file(std::int64_t count) {
  auto path = std::filesystem::temp_directory_path() /
              ("vantorix-bench-users-" + std::to_string(::getpid()) + "-" + std::to_string(count) + ".dat");
  if (std::filesystem::exists(path)) return path.string();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  const char* key = backend_ops().scramble_key.c_str();
  for (std::int64_t i = 0; i < count; ++i) {
    std::fprintf(file, "%s %s\n", user_name(i).c_str(), password_scramble(key, user_password(i).c_str(), 1));
  }
  std::fclose(file);
  return path.string();
}

void fresh_state(const std::string& path) {
  log_state() = LogState{};
  backend_ops() = BackendOps{};
  backend_ops().user_file_name = path;
  user_table_reset();
  user_file_state() = {};
}

// A whole load from nothing: what the first check of a run pays.
void BM_UserFileLoad(benchmark::State& state) {
  std::string path = make_user_file(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    fresh_state(path);
    state.ResumeTiming();
    user_file_load();
  }
  state.counters["users"] = static_cast<double>(user_table().size());
  std::filesystem::remove(path);
  fresh_state("");
}
BENCHMARK(BM_UserFileLoad)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);

// What every check pays to remember an accepted user that the table already
// holds: one lookup with the accepted password and a holder.
void BM_UserTableCheck(benchmark::State& state) {
  fresh_state("");
  const std::int64_t count = state.range(0);
  for (std::int64_t i = 0; i < count; ++i) {
    user_table_lookup(user_name(i).c_str(), user_password(i).c_str(), kUserStoreMemory, nullptr);
  }
  // Ten users asked in turn, spread over the whole table.
  std::string names[10], passwords[10];
  for (int k = 0; k < 10; ++k) {
    names[k] = user_name(count * k / 10);
    passwords[k] = user_password(count * k / 10);
  }
  std::optional<std::string> holder;
  int k = 0;
  for (auto _ : state) {
    int result = user_table_lookup(names[k].c_str(), passwords[k].c_str(), kUserFindOrAppend, &holder);
    benchmark::DoNotOptimize(result);
    k = k == 9 ? 0 : k + 1;
  }
  fresh_state("");
}
BENCHMARK(BM_UserTableCheck)->Arg(10)->Arg(1000000);

// The load that every check and lookup makes when the file has not changed.
void BM_UserFileUnchanged(benchmark::State& state) {
  std::string path = make_user_file(100);
  fresh_state(path);
  user_file_load();
  for (auto _ : state) user_file_load();
  std::filesystem::remove(path);
  fresh_state("");
}
BENCHMARK(BM_UserFileUnchanged);

}  // namespace
