# Starts and stops a throwaway FreeRADIUS on 127.0.0.1 for the demo and the
# benchmarks. Source this file; it defines:
#   radius_server_start DIR SECRET CLEANUP_DELAY [EXTRA_OPTIONS...]
#       DIR must already hold the "users" file. Writes DIR/radiusd.conf from
#       radiusd.conf.in (followed by DIR/extra.conf when there is one, for
#       further listen and clients sections), picks a free UDP port, starts
#       the server in the foreground as a child of this shell and waits until
#       it is ready.
#       Sets RADIUS_PORT and RADIUS_PID; returns 1 (with the server's log on
#       standard error) when it cannot be started. The array FREERADIUS_PREFIX,
#       when set, is put before the server's command (for example nice).
#   radius_server_stop
#       Stops the server by its pid and waits (bounded) until it has gone.

RADIUS_SERVER_TEMPLATE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/radiusd.conf.in"
RADIUS_PORT=
RADIUS_PID=
[[ -v FREERADIUS_PREFIX ]] || FREERADIUS_PREFIX=()

radius_server_binary() {
  local candidate
  for candidate in "${FREERADIUS:-}" freeradius radiusd /usr/sbin/freeradius /usr/sbin/radiusd; do
    [[ -n $candidate ]] || continue
    if command -v "$candidate" >/dev/null 2>&1; then
      command -v "$candidate"
      return 0
    fi
  done
  return 1
}

# True when no IPv4 UDP socket of this machine is bound to port $1.
radius_port_is_free() {
  local hex
  hex=$(printf ':%04X ' "$1")
  ! grep -q -- "$hex" /proc/net/udp 2>/dev/null
}

radius_pick_port() {
  local port tries
  for ((tries = 0; tries < 100; tries++)); do
    port=$((20000 + (RANDOM * 32768 + RANDOM) % 40000))
    if radius_port_is_free "$port"; then
      echo "$port"
      return 0
    fi
  done
  return 1
}

radius_server_start() {
  local dir=$1 secret=$2 cleanup_delay=$3
  shift 3
  local binary attempt waited
  binary=$(radius_server_binary) || {
    echo "FreeRADIUS is not installed (scripts/install-deps.sh installs it)" >&2
    return 1
  }
  # A port that looked free may be taken before the server binds it: try again.
  for ((attempt = 0; attempt < 5; attempt++)); do
    RADIUS_PORT=$(radius_pick_port) || { echo "no free UDP port found" >&2; return 1; }
    sed -e "s|@DIR@|$dir|g" -e "s|@PORT@|$RADIUS_PORT|g" \
        -e "s|@SECRET@|$secret|g" -e "s|@CLEANUP_DELAY@|$cleanup_delay|g" \
        "$RADIUS_SERVER_TEMPLATE" >"$dir/radiusd.conf"
    [[ -f $dir/extra.conf ]] && cat "$dir/extra.conf" >>"$dir/radiusd.conf"
    : >"$dir/radius.log"
    "${FREERADIUS_PREFIX[@]}" "$binary" -f -d "$dir" -l "$dir/radius.log" "$@" </dev/null >>"$dir/radius.log" 2>&1 &
    RADIUS_PID=$!
    for ((waited = 0; waited < 100; waited++)); do
      if grep -q "Ready to process requests" "$dir/radius.log"; then
        return 0
      fi
      kill -0 "$RADIUS_PID" 2>/dev/null || break
      sleep 0.1
    done
    radius_server_stop
    grep -q -i "address already in use\|failed binding" "$dir/radius.log" || break
  done
  echo "FreeRADIUS did not start; its log:" >&2
  cat "$dir/radius.log" >&2
  return 1
}

radius_server_stop() {
  [[ -n $RADIUS_PID ]] || return 0
  local waited
  kill -TERM "$RADIUS_PID" 2>/dev/null || true
  for ((waited = 0; waited < 50; waited++)); do
    kill -0 "$RADIUS_PID" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$RADIUS_PID" 2>/dev/null || true
  wait "$RADIUS_PID" 2>/dev/null || true
  RADIUS_PID=
}
