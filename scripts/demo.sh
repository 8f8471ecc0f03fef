#!/usr/bin/env bash
# The main-job command: shows the program doing its job against a real RADIUS
# server. Installs what is missing, builds, starts a throwaway FreeRADIUS on
# 127.0.0.1 with a few demo users, writes a matching vantorix.ini into a
# temporary directory and runs vantorix in the foreground on this terminal (or
# on whatever standard input is: a pipe works the same). When vantorix ends,
# the server is stopped and the temporary directory removed.
#
# Standard output carries only vantorix's replies; everything else this script
# says goes to standard error.
#   BUILD_DIR   build directory (default: build)
#   VANTORIX    an already built program: skips installing and building
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/demo/radius_server.sh

say() { printf '%s\n' "$*" >&2; }

if [[ -z ${VANTORIX:-} ]]; then
  scripts/install-deps.sh >&2
  build_dir=${BUILD_DIR:-build}
  cmake -S . -B "$build_dir" -G Ninja >&2
  cmake --build "$build_dir" --target vantorix >&2
  VANTORIX="$(cd "$build_dir" && pwd)/vantorix"
fi
[[ -x $VANTORIX ]] || { say "demo: no program at $VANTORIX"; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/vantorix-demo-XXXXXX")
cleanup() {
  radius_server_stop
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

secret="demo-$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')"

# The demo users. carol's reply carries a Reply-Message and two attributes of
# code 26 (Vendor-Specific) whose texts vantorix adds to its +OK line.
users=(
  "alice|wonderland|"
  "bob|0123456789-forty-character-password-abcd|a 40-character password"
  "carol|carolpass|reply with Reply-Message and Vendor-Specific attributes"
  "dave|Tr0ub4dor&3|"
)
hex() { printf '%s' "$1" | od -An -tx1 | tr -d ' \n'; }
{
  for entry in "${users[@]}"; do
    IFS='|' read -r name password _ <<<"$entry"
    printf '%s Cleartext-Password := "%s"\n' "$name" "$password"
    if [[ $name == carol ]]; then
      printf '\tReply-Message = "Welcome, Carol",\n'
      printf '\tAttr-26 = 0x%s,\n' "$(hex "mailbox=carol")"
      printf '\tAttr-26 = 0x%s\n' "$(hex "quota=2048M")"
    fi
  done
} >"$work/users"

radius_server_start "$work" "$secret" 5 -s || exit 1

cat >"$work/vantorix.ini" <<INI
radius_host 127.0.0.1
radius_port $RADIUS_PORT
radius_secret $secret
radius_user_file $work/radius_users.dat
info_pass demo
log true
log_path $work/vantorix.log
INI
# It holds the secret: private, or the program warns about it at start-up.
chmod 600 "$work/vantorix.ini"

say ""
say "FreeRADIUS (pid $RADIUS_PID) listens on 127.0.0.1:$RADIUS_PORT, secret $secret"
say "Temporary directory: $work (removed at the end)"
say ""
say "Demo users:"
for entry in "${users[@]}"; do
  IFS='|' read -r name password note <<<"$entry"
  line=$(printf '  %-6s %-44s %s' "$name" "$password" "$note")
  say "${line%"${line##*[! ]}"}"
done
say ""
say "Try: help | check alice wonderland | lookup alice | check carol carolpass"
say "     info | info demo | debug | version | exit"
say ""

status=0
(cd "$work" && "$VANTORIX" -path "$work") || status=$?
say "vantorix ended (status $status); stopping FreeRADIUS"
exit "$status"
