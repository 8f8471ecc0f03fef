// The user store: loading a user file of many records, finding a user among
// few or many, and the per-check cost of bringing the table up to date when
// the file has not changed. Logging is off throughout.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "logging/log.h"
#include "platform/env.h"
#include "userstore/scramble.h"
#include "userstore/user_store.h"

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
  const ScrambleKey key = scramble_key_schedule(UserFileSettings{}.scramble_key, 1);
  for (std::int64_t i = 0; i < count; ++i) {
    std::fprintf(file, "%s %s\n", user_name(i).c_str(), scramble_with(key, user_password(i))->c_str());
  }
  std::fclose(file);
  return path.string();
}

// The log of the benchmarks: as a process starts, neither mode on.
Log& quiet_log() {
  static Console console;
  static Log log(console);
  return log;
}

// A store that has read nothing yet, on the user file at `path`.
UserStore fresh_store(const std::string& path) {
  UserStore store;
  store.settings.file_name = path;
  return store;
}

void load(UserStore& store) { user_file_load(quiet_log(), store.settings, store.file, store.table); }

// A whole load from nothing: what the first check of a run pays.
void BM_UserFileLoad(benchmark::State& state) {
  std::string path = make_user_file(state.range(0));
  std::size_t users = 0;
  for (auto _ : state) {
    state.PauseTiming();
    UserStore store = fresh_store(path);
    state.ResumeTiming();
    load(store);
    users = store.table.size();
    state.PauseTiming();  // the table is released outside the timing
    store = {};
    state.ResumeTiming();
  }
  state.counters["users"] = static_cast<double>(users);
  std::filesystem::remove(path);
}
BENCHMARK(BM_UserFileLoad)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);

// What every check pays to remember an accepted user that the table already
// holds: one lookup with the accepted password.
void BM_UserTableCheck(benchmark::State& state) {
  UserStore store = fresh_store("");
  const std::int64_t count = state.range(0);
  for (std::int64_t i = 0; i < count; ++i) store.table.store(user_name(i), user_password(i));
  // Ten users asked in turn, spread over the whole table.
  std::string names[10], passwords[10];
  for (int k = 0; k < 10; ++k) {
    names[k] = user_name(count * k / 10);
    passwords[k] = user_password(count * k / 10);
  }
  int k = 0;
  SystemEnv env;
  for (auto _ : state) {
    Remembered result = user_store_remember(quiet_log(), store, env, names[k], passwords[k]);
    benchmark::DoNotOptimize(result);
    k = k == 9 ? 0 : k + 1;
  }
}
BENCHMARK(BM_UserTableCheck)->Arg(10)->Arg(1000000);

// The load that every check and lookup makes when the file has not changed.
void BM_UserFileUnchanged(benchmark::State& state) {
  std::string path = make_user_file(100);
  UserStore store = fresh_store(path);
  load(store);
  for (auto _ : state) load(store);
  std::filesystem::remove(path);
}
BENCHMARK(BM_UserFileUnchanged);

}  // namespace
