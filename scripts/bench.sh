#!/usr/bin/env bash
# The benchmark command: builds a Release build with the benchmarks into
# build-bench and prints
#   1. the micro-benchmarks (Google Benchmark),
#   2. the end-to-end rates against a real FreeRADIUS on 127.0.0.1, started
#      single-threaded (-s): the raw serial client (the limit) and vantorix
#      fed N check lines, logging off and on, with a user file that already
#      holds the N users (warm) and with an empty one (cold); the clients run
#      interleaved for several rounds, and each median is compared with the
#      raw client's median of the same run,
#   3. instructions per check and for start-up, counted with callgrind,
#   4. resident memory of an idle vantorix.
# Nothing here is part of the pass/fail tests.
#   BENCH_USERS    users (checks per run) in the end-to-end runs (default 2000)
#   BENCH_ROUNDS   rounds of the interleaved runs (default 5)
#   BENCH_PARTS    which parts to run (default "micro e2e instr memory")
#   BUILD_DIR      build directory (default build-bench)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/demo/radius_server.sh

users=${BENCH_USERS:-2000}
rounds=${BENCH_ROUNDS:-5}
parts=${BENCH_PARTS:-micro e2e instr memory}
build_dir=${BUILD_DIR:-build-bench}
wants() { [[ " $parts " == *" $1 "* ]]; }

scripts/install-deps.sh >&2
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTORIX_BENCH=ON -DVANTORIX_TESTS=OFF >&2
cmake --build "$build_dir" -j2 >&2
build_dir=$(cd "$build_dir" && pwd)
vantorix=$build_dir/vantorix
raw_client=$build_dir/bench/raw_client

work=$(mktemp -d "${TMPDIR:-/tmp}/vantorix-bench-XXXXXX")
cleanup() {
  radius_server_stop
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

heading() { printf '\n== %s ==\n' "$*"; }
# As root, the server and the timed clients run at a raised priority, all
# alike, so that other work on the machine disturbs the timings less.
prio=()
[[ $EUID -eq 0 ]] && prio=(nice -n -10)
TIMEFORMAT='%R %U %S'  # what the time keyword reports: real, user and system seconds

# --- 1. Micro-benchmarks ----------------------------------------------------
if wants micro; then
  heading "Micro-benchmarks"
  for binary in "$build_dir"/bench/*_bench; do
    [[ -x $binary ]] || continue
    "$binary" --benchmark_min_time=0.2 2>/dev/null | sed -n '/^Benchmark/,$p'
  done
fi

# --- The server and the users -----------------------------------------------
need_server=0
{ wants e2e || wants instr || wants memory; } && need_server=1
server_users=$((users > 1000 ? users : 1000))
secret="bench-$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')"
if ((need_server)); then
  mkdir -p "$work/radius"
  for ((i = 1; i <= server_users; i++)); do
    printf 'user%06d Cleartext-Password := "pw%06d-x"\n' "$i" "$i"
  done >"$work/radius/users"
  FREERADIUS_PREFIX=("${prio[@]}")
  radius_server_start "$work/radius" "$secret" 0 -s || exit 1
  printf '\nFreeRADIUS (single-threaded, -s) on 127.0.0.1:%s, %d users\n' "$RADIUS_PORT" "$server_users"
fi

# users_list COUNT: "name password" lines; check_lines COUNT: the commands.
users_list() { for ((i = 1; i <= $1; i++)); do printf 'user%06d pw%06d-x\n' "$i" "$i"; done; }
check_lines() { users_list "$1" | sed 's/^/check /'; }

# make_config DIR LOG: a directory with vantorix.ini and an empty user file.
make_config() {
  mkdir -p "$1"
  cat >"$1/vantorix.ini" <<INI
radius_host 127.0.0.1
radius_port $RADIUS_PORT
radius_secret $secret
radius_user_file $1/radius_users.dat
log $2
log_path $1/vantorix.log
INI
  : >"$1/radius_users.dat"
}

# run_vantorix DIR INPUT OUTPUT [PREFIX...]: PREFIX (such as nice) runs vantorix.
run_vantorix() {
  local dir=$1 input=$2 output=$3
  shift 3
  (cd "$dir" && "$@" "$vantorix" -path "$dir" <"$input" >"$output")
}

# A user file holding N users, written by the program itself: one cold run.
make_warm_file() {  # COUNT INPUT DESTINATION
  make_config "$work/prime" false
  run_vantorix "$work/prime" "$2" "$work/prime/out"
  local accepted
  accepted=$(grep -c '^+OK' "$work/prime/out" || true)
  if ((accepted != $1)); then
    echo "bench: the priming run accepted $accepted of $1 users; first replies:" >&2
    head -5 "$work/prime/out" >&2
    exit 1
  fi
  cp "$work/prime/radius_users.dat" "$3"
  rm -rf "$work/prime"
}

median() { sort -g | awk '{v[NR] = $1} END {if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

# --- 2. End to end -----------------------------------------------------------
if wants e2e; then
  heading "End to end: $users checks per run, $rounds rounds, clients interleaved"
  users_list "$users" >"$work/users.txt"
  check_lines "$users" >"$work/checks.txt"
  make_warm_file "$users" "$work/checks.txt" "$work/warm.dat"
  clients=(raw off-warm on-warm off-cold on-cold)
  declare -A label=(
    [raw]="raw serial client (limit)"
    [off-warm]="vantorix, log off, warm user file"
    [on-warm]="vantorix, log on,  warm user file"
    [off-cold]="vantorix, log off, cold user file"
    [on-cold]="vantorix, log on,  cold user file"
  )
  for client in "${clients[@]:1}"; do
    log=false
    [[ $client == on-* ]] && log=true
    make_config "$work/$client" "$log"
  done
  for ((round = 1; round <= rounds; round++)); do
    for client in "${clients[@]}"; do
      if [[ $client == raw ]]; then
        # The limit: only the raw client's exchanges are timed (it reports
        # them itself), not its start-up nor the building of its requests.
        { time "${prio[@]}" "$raw_client" "$RADIUS_PORT" "$secret" "$work/users.txt" >"$work/raw.out" 2>"$work/raw.err"; } \
          2>"$work/time" || {
          echo "bench: the raw client failed: $(cat "$work/raw.err")" >&2
          exit 1
        }
      else
        dir=$work/$client
        if [[ $client == *-warm ]]; then cp "$work/warm.dat" "$dir/radius_users.dat"; else : >"$dir/radius_users.dat"; fi
        rm -f "$dir/vantorix.log" "$dir/vantorix.log.1"
        { time run_vantorix "$dir" "$work/checks.txt" "$dir/out" "${prio[@]}"; } 2>"$work/time"
        accepted=$(grep -c '^+OK' "$dir/out" || true)
        if ((accepted != users)); then
          echo "bench: $client accepted $accepted of $users users" >&2
          exit 1
        fi
      fi
      read -r real user sys <"$work/time"
      [[ $client == raw ]] && real=$(<"$work/raw.out")
      echo "$real" >>"$work/times-$client"
      awk -v u="$user" -v s="$sys" 'BEGIN {printf "%.6f\n", u + s}' >>"$work/cpu-$client"
    done
  done
  raw_median=$(median <"$work/times-raw")
  printf '%-36s %10s %10s %8s %14s\n' "client" "median s" "checks/s" "ratio" "CPU us/check"
  for client in "${clients[@]}"; do
    m=$(median <"$work/times-$client")
    cpu=$(median <"$work/cpu-$client")
    awk -v name="${label[$client]}" -v m="$m" -v r="$raw_median" -v n="$users" -v cpu="$cpu" \
      'BEGIN {printf "%-36s %10.4f %10.0f %8.3f %14.1f\n", name, m, n / m, r / m, cpu * 1e6 / n}'
  done
  echo "(vantorix: whole runs, start-up included; raw client: its exchanges only. ratio: the"
  echo " client's rate over the raw client's rate in the same run, target at least 0.95 with log"
  echo " off. CPU: the client process's user and system time, median, per check)"
fi

# --- 3. Instructions ---------------------------------------------------------
# callgrind_total INPUT DIR: user-space instructions of one whole run.
callgrind_total() {
  local out=$work/callgrind.out
  (cd "$2" && valgrind --tool=callgrind --callgrind-out-file="$out" "$vantorix" -path "$2" <"$1" >"$2/out" 2>"$2/valgrind.err")
  grep -o 'Collected : [0-9]*' "$2/valgrind.err" | awk '{print $3}'
}
if wants instr; then
  heading "Instructions (callgrind, user space, log off, warm user file)"
  if ! command -v valgrind >/dev/null 2>&1; then
    echo "valgrind is not installed (scripts/install-deps.sh installs it)"
  else
    check_lines 1000 >"$work/checks-1000.txt"
    check_lines 500 >"$work/checks-500.txt"
    printf 'version\n' >"$work/version.txt"
    : >"$work/nothing.txt"
    make_warm_file 1000 "$work/checks-1000.txt" "$work/warm-1000.dat"
    make_config "$work/instr" false
    cp "$work/warm-1000.dat" "$work/instr/radius_users.dat"
    startup=$(callgrind_total "$work/version.txt" "$work/instr")
    grep -q '^+OK' "$work/instr/out" || echo "bench: version gave no +OK" >&2
    # The first check also loads the user file; later checks are compared
    # against the run that has made exactly one.
    i1=$(callgrind_total <(check_lines 1) "$work/instr")
    i500=$(callgrind_total "$work/checks-500.txt" "$work/instr")
    cp "$work/callgrind.out" "$work/callgrind-500.out"
    i1000=$(callgrind_total "$work/checks-1000.txt" "$work/instr")
    cp "$work/callgrind.out" "$work/callgrind-1000.out"
    accepted=$(grep -c '^+OK' "$work/instr/out" || true)
    # Cold: every check adds a user to the table and appends it to the file.
    : >"$work/instr/radius_users.dat"
    c1=$(callgrind_total <(check_lines 1) "$work/instr")
    : >"$work/instr/radius_users.dat"
    c500=$(callgrind_total "$work/checks-500.txt" "$work/instr")
    : >"$work/instr/radius_users.dat"
    c1000=$(callgrind_total "$work/checks-1000.txt" "$work/instr")
    awk -v s="$startup" -v a1="$i1" -v a="$i500" -v c="$i1000" -v c1="$c1" -v ca="$c500" -v cc="$c1000" -v ok="$accepted" 'BEGIN {
      printf "start-up, answering version and ending:  %10d   (target at most 3,000,000)\n", s
      printf "warm: 1 / 500 / 1,000 checks:  %d / %d / %d (%d of 1,000 accepted)\n", a1, a, c, ok
      printf "warm, per check, checks 501-1000:        %10.0f   (target at most 5,500)\n", (c - a) / 500
      printf "warm, per check, checks 2-500:           %10.0f   (later/earlier %.3f, target within 10%%)\n", (a - a1) / 499, ((c - a) / 500) / ((a - a1) / 499)
      printf "cold, per check, checks 501-1000:        %10.0f\n", (cc - ca) / 500
      printf "cold, per check, checks 2-500:           %10.0f   (later/earlier %.3f)\n", (ca - c1) / 499, ((cc - ca) / 500) / ((ca - c1) / 499)
    }'
    if command -v callgrind_annotate >/dev/null 2>&1; then
      echo
      echo "Instructions per warm check by function (1,000 checks minus 500, over 500):"
      for n in 500 1000; do
        callgrind_annotate --inclusive=no --threshold=100 "$work/callgrind-$n.out" 2>/dev/null |
          awk -v n="$n" '/^ *[0-9,]+ +\(/ {v = $1; gsub(",", "", v); line = $0; sub(/^ *[0-9,]+ +\([^)]*\) +/, "", line); sub(/ \[.*$/, "", line); print n "\t" v "\t" line}'
      done | awk -F'\t' '{if ($1 == 500) a[$3] += $2; else b[$3] += $2}
        END {for (f in b) {d = (b[f] - a[f]) / 500; if (d >= 20) printf "%8.0f  %s\n", d, substr(f, 1, 110)}}' | sort -rn | head -25
    fi
  fi
fi

# --- 4. Memory -----------------------------------------------------------------
if wants memory; then
  heading "Resident memory"
  make_config "$work/memory" false
  mkfifo "$work/memory/in"
  (cd "$work/memory" && exec "$vantorix" -path "$work/memory" <"$work/memory/in" >"$work/memory/out") &
  pid=$!
  exec 3>"$work/memory/in"
  rss() { awk '/^VmRSS/ {print $2, $3}' "/proc/$pid/status"; }
  sleep 0.5
  printf 'idle after start-up:          %s   (target under 4 MB)\n' "$(rss)"
  printf 'check user000001 pw000001-x\n' >&3
  sleep 0.5
  printf 'idle after one check:         %s\n' "$(rss)"
  printf 'exit\n' >&3
  exec 3>&-
  wait "$pid" || true
fi
