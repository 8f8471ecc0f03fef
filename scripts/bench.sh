#!/usr/bin/env bash
# The benchmark command: builds a Release build with the benchmarks into
# build-bench and prints
#   1. the micro-benchmarks (Google Benchmark),
#   2. the end-to-end rates against a real FreeRADIUS on 127.0.0.1, started
#      single-threaded (-s): the raw serial client (the limit), also with a
#      Message-Authenticator in every request, the peer (squid's RADIUS
#      helper basic_radius_auth) fed N "user password" lines, and vantorix
#      fed N check lines, logging off and on, with a user file that already
#      holds the N users (warm) and with an empty one (cold); the clients run
#      interleaved for several rounds, and each median is compared with the
#      raw client's and the peer's medians of the same run,
#   3. instructions per check for the same clients and for vantorix's
#      start-up, counted with callgrind,
#   4. resident memory of an idle vantorix,
#   5. checks per second over TLS next to UDP
#      against one threaded FreeRADIUS with both listeners.
# Nothing here is part of the pass/fail tests.
#   BENCH_USERS    users (checks per run) in the end-to-end runs (default 2000)
#   BENCH_ROUNDS   rounds of the interleaved runs (default 5)
#   BENCH_PARTS    which parts to run (default "micro e2e instr memory")
#   BUILD_DIR      build directory (default build-bench)
#   SQUID_RADIUS_HELPER  the peer (default /usr/lib/squid/basic_radius_auth;
#                  the squid package is installed when e2e or instr runs)
set -euo pipefail
shopt -s inherit_errexit  # a failure inside $(...) ends the benchmark too
cd "$(dirname "$0")/.."
source scripts/demo/radius_server.sh

users=${BENCH_USERS:-2000}
rounds=${BENCH_ROUNDS:-5}
parts=${BENCH_PARTS:-micro e2e instr memory tls}
build_dir=${BUILD_DIR:-build-bench}
peer=${SQUID_RADIUS_HELPER:-/usr/lib/squid/basic_radius_auth}
wants() { [[ " $parts " == *" $1 "* ]]; }
# fail MESSAGE: stops the benchmark with MESSAGE on standard error.
fail() {
  echo "bench: $*" >&2
  exit 1
}

extra_packages=()
{ wants e2e || wants instr; } && extra_packages=(squid)
scripts/install-deps.sh "${extra_packages[@]}" >&2
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
# Every client run is bounded: a client that hangs (no answer, a peer that
# waits forever) ends the benchmark instead of stalling it. Under callgrind
# runs are some fifty times slower.
run_limit=$((30 + users / 50))
callgrind_limit=600
# bounded LIMIT COMMAND...: runs COMMAND, killed when it outlasts LIMIT seconds.
bounded() { timeout -k 5 "$@"; }

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
if wants e2e || wants instr; then
  [[ -x $peer ]] || fail "the peer $peer is missing (scripts/install-deps.sh squid installs it)"
  # The peer's configuration: the server, and 2 seconds' wait for each answer.
  printf 'server 127.0.0.1\nport %s\nsecret %s\ntimeout 2\n' "$RADIUS_PORT" "$secret" >"$work/peer.conf"
fi

# users_list COUNT: "name password" lines; check_lines COUNT: the commands.
users_list() { for ((i = 1; i <= $1; i++)); do printf 'user%06d pw%06d-x\n' "$i" "$i"; done; }
check_lines() { users_list "$1" | sed 's/^/check /'; }
# peer_lines COUNT: the same users for the peer, which URL-decodes both
# fields (%XX only, so a '%' must be written %25; '+' stays '+').
peer_lines() { users_list "$1" | sed 's/%/%25/g'; }

# The clients as the tables name them.
declare -A label=(
  [raw]="raw serial client (limit)"
  [raw-ma]="raw serial client, Message-Authenticator"
  [peer]="squid basic_radius_auth (peer, no Message-Authenticator)"
  [off-warm]="vantorix, log off, warm user file"
  [on-warm]="vantorix, log on,  warm user file"
  [off-cold]="vantorix, log off, cold user file"
  [on-cold]="vantorix, log on,  cold user file"
)
# The raw client's options (left unquoted where used, so that none is no word).
declare -A raw_flags=([raw]= [raw-ma]=-m)
label_width=0
for name in "${label[@]}"; do ((${#name} <= label_width)) || label_width=${#name}; done

# expect_accepted WHAT GOT WANT OUTPUT: stops the benchmark, showing the first
# replies in OUTPUT, unless GOT is WANT.
expect_accepted() {
  (($2 == $3)) && return 0
  echo "bench: $1 accepted $2 of $3 users; first replies:" >&2
  head -5 "$4" >&2
  exit 1
}

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
  chmod 600 "$1/vantorix.ini"  # private, as it should be: no warning on standard error
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
  run_vantorix "$work/prime" "$2" "$work/prime/out" bounded "$run_limit" ||
    fail "the priming run failed or did not finish within $run_limit s"
  expect_accepted "the priming run" "$(grep -c '^+OK' "$work/prime/out" || true)" "$1" "$work/prime/out"
  cp "$work/prime/radius_users.dat" "$3"
  rm -rf "$work/prime"
}

median() { sort -g | awk '{v[NR] = $1} END {if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

# --- 2. End to end -----------------------------------------------------------
# run_client CLIENT: one timed run of CLIENT, which must accept every user;
# appends its seconds to $work/times-CLIENT and its CPU seconds (user and
# system) to $work/cpu-CLIENT. The raw client fails unless all are accepted.
run_client() {
  local client=$1 dir=$work/$1 input=/dev/null accepts= command real user sys
  case $client in
    raw | raw-ma) command=("$raw_client" ${raw_flags[$client]} "$RADIUS_PORT" "$secret" "$work/users.txt") ;;
    peer) command=("$peer" -f "$work/peer.conf") input=$work/peer.txt accepts='^OK' ;;
    *)
      command=("$vantorix" -path "$dir") input=$work/checks.txt accepts='^+OK'
      if [[ $client == *-warm ]]; then cp "$work/warm.dat" "$dir/radius_users.dat"; else : >"$dir/radius_users.dat"; fi
      rm -f "$dir/vantorix.log" "$dir/vantorix.log.1"
      ;;
  esac
  { time (cd "$dir" && bounded "$run_limit" "${prio[@]}" "${command[@]}" <"$input" >"$dir/out" 2>"$dir/err"); } \
    2>"$work/time" || fail "$client failed or did not finish within $run_limit s: $(head -5 "$dir/err")"
  [[ -z $accepts ]] || expect_accepted "$client" "$(grep -c "$accepts" "$dir/out" || true)" "$users" "$dir/out"
  read -r real user sys <"$work/time"
  # The limit: only the raw client's exchanges are timed (it reports them
  # itself), not its start-up nor the building of its requests.
  [[ $client == raw* ]] && real=$(<"$dir/out")
  echo "$real" >>"$work/times-$client"
  awk -v u="$user" -v s="$sys" 'BEGIN {printf "%.6f\n", u + s}' >>"$work/cpu-$client"
}

vantorix_clients=(off-warm on-warm off-cold on-cold)
if wants e2e; then
  heading "End to end: $users checks per run, $rounds rounds, clients interleaved"
  users_list "$users" >"$work/users.txt"
  peer_lines "$users" >"$work/peer.txt"
  check_lines "$users" >"$work/checks.txt"
  make_warm_file "$users" "$work/checks.txt" "$work/warm.dat"
  clients=(raw raw-ma peer "${vantorix_clients[@]}")
  for client in raw raw-ma peer; do mkdir -p "$work/$client"; done
  for client in "${vantorix_clients[@]}"; do
    log=false
    [[ $client == on-* ]] && log=true
    make_config "$work/$client" "$log"
  done
  for ((round = 1; round <= rounds; round++)); do
    for client in "${clients[@]}"; do run_client "$client"; done
  done
  raw_median=$(median <"$work/times-raw")
  raw_ma_median=$(median <"$work/times-raw-ma")
  peer_median=$(median <"$work/times-peer")
  printf "%-${label_width}s %10s %10s %8s %8s %8s %14s\n" "client" "median s" "checks/s" "ratio" "vs MA" "vs peer" \
    "CPU us/check"
  for client in "${clients[@]}"; do
    m=$(median <"$work/times-$client")
    cpu=$(median <"$work/cpu-$client")
    vs_peer= vs_ma=
    if [[ " ${vantorix_clients[*]} " == *" $client "* ]]; then
      vs_peer=$(awk -v p="$peer_median" -v m="$m" 'BEGIN {printf "%.3f", p / m}')
      vs_ma=$(awk -v r="$raw_ma_median" -v m="$m" 'BEGIN {printf "%.3f", r / m}')
    fi
    awk -v name="${label[$client]}" -v m="$m" -v r="$raw_median" -v vs="$vs_peer" -v ma="$vs_ma" -v n="$users" \
      -v cpu="$cpu" -v format="%-${label_width}s %10.4f %10.0f %8.3f %8s %8s %14.1f\n" \
      'BEGIN {printf format, name, m, n / m, r / m, ma, vs, cpu * 1e6 / n}'
  done
  # What logging costs a check: the client CPU of the same runs, log on over log off.
  for temperature in warm cold; do
    target=
    [[ $temperature == warm ]] && target=" (target: at most 1.25)"
    awk -v on="$(median <"$work/cpu-on-$temperature")" -v off="$(median <"$work/cpu-off-$temperature")" \
      -v t="$temperature" -v target="$target" \
      'BEGIN {printf "log on / log off, client CPU per %s check: %.3f%s\n", t, on / off, target}'
  done
  echo "(vantorix and the peer: whole runs, start-up included; raw client: its exchanges only."
  echo " ratio: the client's rate over the raw client's rate without Message-Authenticator in"
  echo " the same run. vs MA: vantorix's rate over the raw client's with Message-Authenticator,"
  echo " the same work as vantorix's requests (targets: at least 0.95 warm with log off, 0.6 with"
  echo " log on). vs peer: vantorix's rate over the peer's, above 1 when ahead of it (target: at"
  echo " least 1 with log off, warm and cold); the peer sends no Message-Authenticator."
  echo " CPU: the client process's user and system time, median, per check)"
fi

# --- 3. Instructions ---------------------------------------------------------
# callgrind_count INPUT OUTPUT COMMAND...: user-space instructions of one whole
# run of COMMAND, fed INPUT, its answers in OUTPUT; the run must succeed.
callgrind_count() {
  local input=$1 output=$2
  shift 2
  bounded "$callgrind_limit" valgrind --tool=callgrind --callgrind-out-file="$work/callgrind.out" "$@" \
    <"$input" >"$output" 2>"$work/valgrind.err" || fail "$1 failed under callgrind: $(tail -5 "$work/valgrind.err")"
  grep -o 'Collected : [0-9]*' "$work/valgrind.err" | awk '{print $3}'
}
# callgrind_total INPUT DIR: the same for vantorix with its configuration in DIR.
callgrind_total() { (cd "$2" && callgrind_count "$1" "$2/out" "$vantorix" -path "$2"); }
# client_instr CLIENT COUNT: the same for the raw client or the peer with the
# first COUNT users, all of which it must accept.
client_instr() {
  local out=$work/instr-$1.out total
  case $1 in
    raw | raw-ma)
      total=$(callgrind_count /dev/null "$out" "$raw_client" ${raw_flags[$1]} "$RADIUS_PORT" "$secret" "$work/users-$2.txt")
      ;;
    peer)
      total=$(callgrind_count "$work/peer-$2.txt" "$out" "$peer" -f "$work/peer.conf")
      expect_accepted "the peer under callgrind" "$(grep -c '^OK' "$out" || true)" "$2" "$out"
      ;;
  esac
  echo "$total"
}
if wants instr; then
  heading "Instructions (callgrind, user space; vantorix with log off)"
  if ! command -v valgrind >/dev/null 2>&1; then
    echo "valgrind is not installed (scripts/install-deps.sh installs it)"
  else
    for n in 500 1000; do
      users_list "$n" >"$work/users-$n.txt"
      peer_lines "$n" >"$work/peer-$n.txt"
      check_lines "$n" >"$work/checks-$n.txt"
    done
    printf 'version\n' >"$work/version.txt"
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
    # The other clients: whole processes too, the raw client's building of
    # its requests included.
    declare -A per_check=(
      [off-warm]=$(((i1000 - i500) / 500))
      [off-cold]=$(((c1000 - c500) / 500))
    )
    for client in raw raw-ma peer; do
      a=$(client_instr "$client" 500)
      b=$(client_instr "$client" 1000)
      per_check[$client]=$(((b - a) / 500))
    done
    echo "Per check, checks 501-1000 ((1,000 checks - 500 checks) / 500):"
    for client in raw raw-ma peer off-warm off-cold; do
      note=
      [[ $client == off-* ]] &&
        note=$(awk -v v="${per_check[$client]}" -v p="${per_check[peer]}" \
          'BEGIN {printf "   (%.2f of the peer'"'"'s; target: at most the peer'"'"'s)", v / p}')
      printf "  %-${label_width}s %10d%s\n" "${label[$client]}" "${per_check[$client]}" "$note"
    done
    echo
    awk -v s="$startup" -v a1="$i1" -v a="$i500" -v c="$i1000" -v c1="$c1" -v ca="$c500" -v cc="$c1000" -v ok="$accepted" 'BEGIN {
      printf "start-up, answering version and ending:  %10d   (target at most 3,000,000)\n", s
      printf "warm: 1 / 500 / 1,000 checks:  %d / %d / %d (%d of 1,000 accepted)\n", a1, a, c, ok
      printf "warm, per check, checks 2-500:           %10.0f   (later/earlier %.3f, target within 10%%)\n", (a - a1) / 499, ((c - a) / 500) / ((a - a1) / 499)
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

# --- 5. TLS against UDP ------------------------------------------------------
# A threaded FreeRADIUS (TLS listeners refuse the single-threaded -s) with a
# TLS listener beside its UDP one, throwaway certificates, and vantorix
# over each, warm user file, log off, interleaved rounds.
tcp_port_is_free() { ! grep -q -- "$(printf ':%04X ' "$1")" /proc/net/tcp 2>/dev/null; }
make_tls_files() {  # DIR: a CA, a server certificate for 127.0.0.1 and a client certificate
  local dir=$1 name
  mkdir -p "$dir"
  for name in ca server client; do
    local subject="/CN=vantorix bench $name" extra=()
    if [[ $name == ca ]]; then
      extra=(-x509 -days 2 -addext basicConstraints=critical,CA:TRUE)
      openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "$subject" "${extra[@]}"         -keyout "$dir/ca.key" -out "$dir/ca.pem" 2>/dev/null || fail "openssl could not make the bench CA"
      continue
    fi
    openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "$subject"       -keyout "$dir/$name.key" -out "$dir/$name.csr" 2>/dev/null || fail "openssl could not make a key"
    printf 'subjectAltName=IP:127.0.0.1\n' >"$dir/$name.ext"
    openssl x509 -req -in "$dir/$name.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" -CAcreateserial -days 2       -extfile "$dir/$name.ext" -out "$dir/$name.pem" 2>/dev/null || fail "openssl could not sign a certificate"
  done
  chmod 0600 "$dir"/*.key
}
if wants tls; then
  heading "TLS against UDP: $users checks per run, $rounds rounds, same threaded server"
  saved_port=$RADIUS_PORT saved_pid=$RADIUS_PID
  mkdir -p "$work/tls-radius"
  cp "$work/radius/users" "$work/tls-radius/users" 2>/dev/null ||
    for ((i = 1; i <= server_users; i++)); do printf 'user%06d Cleartext-Password := "pw%06d-x"\n' "$i" "$i"; done >"$work/tls-radius/users"
  make_tls_files "$work/tls"
  for ((tries = 0; tries < 100; tries++)); do
    tls_port=$((20000 + (RANDOM * 32768 + RANDOM) % 40000))
    tcp_port_is_free "$tls_port" && break
  done
  cat >"$work/tls-radius/extra.conf" <<CONF
listen {
  type = auth
  ipaddr = 127.0.0.1
  port = $tls_port
  proto = tcp
  clients = radsec
  virtual_server = default
  tls {
    private_key_file = $work/tls/server.key
    certificate_file = $work/tls/server.pem
    ca_file = $work/tls/ca.pem
    require_client_cert = yes
    tls_min_version = "1.2"
    tls_max_version = "1.3"
  }
}
clients radsec {
  client bench {
    ipaddr = 127.0.0.1
    proto = tls
    secret = radsec
  }
}
CONF
  RADIUS_PID=
  FREERADIUS_PREFIX=("${prio[@]}")
  radius_server_start "$work/tls-radius" "$secret" 0 || exit 1
  users_list "$users" >"$work/users.txt"
  check_lines "$users" >"$work/checks.txt"
  make_warm_file "$users" "$work/checks.txt" "$work/tls-warm.dat"
  make_config "$work/over-udp" false
  make_config "$work/over-tls" false
  cat >>"$work/over-tls/vantorix.ini" <<INI
radius_host 127.0.0.1:$tls_port
radius_transport tls
radius_secret radsec
radius_tls_ca $work/tls/ca.pem
radius_tls_cert $work/tls/client.pem
radius_tls_key $work/tls/client.key
INI
  for ((round = 1; round <= rounds; round++)); do
    for over in udp tls; do
      dir=$work/over-$over
      cp "$work/tls-warm.dat" "$dir/radius_users.dat"
      { time (cd "$dir" && bounded "$run_limit" "${prio[@]}" "$vantorix" -path "$dir" <"$work/checks.txt" >"$dir/out"); } \
        2>"$work/time" || fail "vantorix over $over failed or did not finish within $run_limit s"
      expect_accepted "vantorix over $over" "$(grep -c '^+OK' "$dir/out" || true)" "$users" "$dir/out"
      read -r real _ <"$work/time"
      echo "$real" >>"$work/times-over-$over"
    done
  done
  radius_server_stop
  RADIUS_PORT=$saved_port RADIUS_PID=$saved_pid
  udp_median=$(median <"$work/times-over-udp")
  tls_median=$(median <"$work/times-over-tls")
  printf '%-32s %10s %10s\n' "transport" "median s" "checks/s"
  awk -v u="$udp_median" -v t="$tls_median" -v n="$users" 'BEGIN {
    printf "%-32s %10.4f %10.0f\n", "vantorix over UDP", u, n / u
    printf "%-32s %10.4f %10.0f   (%.2f of the UDP rate)\n", "vantorix over TLS", t, n / t, u / t
  }'
  echo "(whole runs, start-up, the TLS handshake and the warm user file's load included)"
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
  for ((waited = 0; waited < 50; waited++)); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" || true
fi
