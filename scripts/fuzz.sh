#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
# Default 30 seconds each, every target (CI); a long run is for example
#   scripts/fuzz.sh 600 dispatch_fuzz radius_reply_fuzz
# Corpora live in fuzz/corpus/<target>; new inputs found during a run go to a
# scratch copy, not into the repository. A crash, leak, sanitizer report or
# hang (10 s for one input) leaves its input in build-fuzz/findings/ and fails
# the script; rerun it with build-fuzz/fuzz/<target> <file>.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
if ! command -v clang++ >/dev/null 2>&1; then
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang
fi
build=build-fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVANTORIX_FUZZ=ON -DVANTORIX_TESTS=OFF -DVANTORIX_WERROR=ON >/dev/null
cmake --build "$build"
targets=("$@")
if ((${#targets[@]} == 0)); then
  for f in fuzz/*_fuzz.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
mkdir -p "$build/findings"
status=0
for t in "${targets[@]}"; do
  scratch=$(mktemp -d)
  [ -d "fuzz/corpus/$t" ] && cp -r "fuzz/corpus/$t/." "$scratch/"
  # Datagrams and runs of command lines need room up to the largest datagram.
  case $t in
    radius_reply_fuzz | dispatch_fuzz) max_len=(-max_len=8300) ;;
    *) max_len=() ;;
  esac
  echo "== $t for ${seconds}s"
  if ! "$build/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 "${max_len[@]}" \
       -artifact_prefix="$build/findings/$t-" -print_final_stats=1 "$scratch" 2>"$build/findings/$t.log"; then
    echo "!! $t found a problem; see $build/findings/$t.log"
    tail -40 "$build/findings/$t.log"
    status=1
  fi
  grep -E 'cov: ' "$build/findings/$t.log" | tail -1 || true
  grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$build/findings/$t.log" || true
  rm -rf "$scratch"
done
exit $status
