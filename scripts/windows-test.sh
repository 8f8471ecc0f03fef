#!/usr/bin/env bash
# The Windows program, built and tested from Debian: OpenSSL cross-built from
# Debian's source (scripts/build-openssl-windows.sh), the program cross-built
# with MinGW-w64 (cmake/mingw-w64.cmake), its unit tests run under Wine
# through CTest's emulator, the process-level tests of the Linux build (those
# of RADIUS over TLS included) run against vantorix.exe under Wine, then three
# checks of the program itself (-version, a check against FreeRADIUS on
# 127.0.0.1, a configuration file in the system directory) and two of its ZIP
# package (what it holds; a check over TLS by the program unpacked from it,
# configured with Windows paths). Installs what is missing (as root).
#   BUILD_DIR        the Windows build (default: build-windows)
#   LINUX_BUILD_DIR  the Linux build whose process-level tests drive the
#                    program (default: build; configured and built when needed)
# The Wine prefix lives in the Windows build (BUILD_DIR/wineprefix), so
# nothing is written to $HOME; its wineserver is stopped however this ends.
# Tests that cannot hold under Wine are excluded by name below, with the reason.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/demo/radius_server.sh

step() { printf 'windows-test: %s\n' "$*"; }
fail() { printf 'windows-test: FAIL: %s\n' "$*" >&2; exit 1; }
took() { printf 'windows-test: %s took %d s\n' "$1" "$((SECONDS - $2))"; }

# name|reason. The README lists them too.
wine_exclusions=(
  "UdpSocketTest.ClosedPeerPortIsReportedAndWaitsEnd|after a send to a closed port Wine reports nothing, where Windows reports WSAECONNRESET on the next receive"
  "RadiusCheckTest.ClosedPortIsGivenUpAtOnce|the same: under Wine a closed server port is found only by waiting out its time-out"
  "RadiusDeploymentTest.StoppedFirstServerFailsOverToTheSecond|the same, with a stopped FreeRADIUS as the first server"
  "RadiusProbeTest.ClosedPortIsToldFromSilence|the same, for -test_config"
  "Files.NewFileIsForItsOwnerOnly|Wine keeps no access lists on a Linux file system: it reports one made up from the Unix mode (the process-level test checks that mode)"
  "UserStoreTest.NewFileIsForItsOwnerOnly|the same"
  "SecretsProcessTest.WarningsReachTheLogWithLoggingOff|the warning of a file others may read comes from POSIX permission bits, which the Windows program does not read"
  "ProcessFaultTest.CrashLeavesNoCoreFile|it ends the program with SIGQUIT and looks for a core file: POSIX signals and core dumps"
  "UserFileFaultTest.ReadOnlyDirectoryFailsAtOnceAndSaysWhyOnce|the read-only bind mount is made in the child's own mount namespace, and the wineserver, which opens files for Wine programs, runs outside it"
  "UserFileFaultTest.FileAtTheSizeLimitIsAWriteErrorNotTheEnd|a file-size limit (RLIMIT_FSIZE) is POSIX; Windows has none"
  "UserFileFaultTest.RecordCutShortByAFullDiskIsTakenBack|the full disk is made with a file-size limit, as above"
)

started=$SECONDS
scripts/install-deps.sh g++-mingw-w64-x86-64-posix mingw-w64-tools wine64
root=$(pwd)
mkdir -p "${BUILD_DIR:-build-windows}"
build=$(cd "${BUILD_DIR:-build-windows}" && pwd)
linux_build=${LINUX_BUILD_DIR:-build}

# OpenSSL for the target, from Debian's source package, into the build.
since=$SECONDS
scripts/build-openssl-windows.sh "$build/openssl"
took "OpenSSL" "$since"

# GoogleTest for the target, from Debian's sources, into the build.
gtest=$build/googletest
if [[ ! -f $gtest/lib/cmake/GTest/GTestConfig.cmake ]]; then
  step "building GoogleTest for Windows from /usr/src/googletest"
  since=$SECONDS
  cmake -S /usr/src/googletest -B "$build/googletest-build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBUILD_GMOCK=OFF -DCMAKE_INSTALL_PREFIX="$gtest" >/dev/null
  cmake --build "$build/googletest-build" -j2 >/dev/null
  cmake --install "$build/googletest-build" >/dev/null
  took "GoogleTest" "$since"
fi

step "building the Windows program and its unit tests"
since=$SECONDS
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
  -DGTest_DIR="$gtest/lib/cmake/GTest" -DVANTORIX_OPENSSL_DIR="$build/openssl" -DVANTORIX_WERROR=ON >/dev/null
cmake --build "$build" -j2
took "the Windows build" "$since"
exe=$build/vantorix.exe

# Statically linked: only system DLLs. ADVAPI32 makes the user file's
# access list, bcrypt draws the random bytes. OpenSSL's DLLs are loaded only
# for TLS, and need nothing but each other and system DLLs (no MinGW runtime).
imports_of() { x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p' | tr '[:lower:]' '[:upper:]' | sort | tr '\n' ' '; }
imports=$(imports_of "$exe")
[[ $imports == "ADVAPI32.DLL BCRYPT.DLL KERNEL32.DLL MSVCRT.DLL WS2_32.DLL " ]] ||
  fail "vantorix.exe imports $imports"
step "vantorix.exe imports only: $imports"
for dll in libssl-3-x64.dll libcrypto-3-x64.dll; do
  [[ -f $build/$dll ]] || fail "$dll was not copied beside vantorix.exe"
  imports=$(imports_of "$build/$dll")
  [[ ! $imports =~ LIBGCC|LIBWINPTHREAD|LIBSTDC|API-MS-WIN-CRT|VCRUNTIME ]] || fail "$dll imports $imports"
  step "$dll imports: $imports"
done

step "building the Linux process-level tests ($linux_build)"
since=$SECONDS
cmake -S . -B "$linux_build" -G Ninja >/dev/null
cmake --build "$linux_build" -j2
took "the Linux build" "$since"

wine=$(sed -n 's/^VANTORIX_WINE_LOADER:[A-Z]*=//p' "$build/CMakeCache.txt")
[[ -x $wine ]] || fail "no Wine loader (wine64) found"
wineserver=$(dirname "$wine")/wineserver
export WINEPREFIX=$build/wineprefix
export WINEDEBUG=-all
# No desktop menu entries or file associations, no Mono or Gecko; and a home
# of its own in the build, so that whatever Wine would still put in the
# user's home (menus, the folders the prefix links to) stays there.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
export HOME=$build/wine-home
mkdir -p "$HOME"

work=$(mktemp -d "${TMPDIR:-/tmp}/vantorix-windows-XXXXXX")
system_ini=$WINEPREFIX/drive_c/windows/system32/vantorix.ini
cleanup() {
  radius_server_stop
  rm -f "$system_ini"
  if [[ -d $WINEPREFIX ]]; then
    "$wineserver" -k 2>/dev/null || true
    "$wineserver" -w 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

if [[ ! -f $WINEPREFIX/system.reg ]]; then
  step "making the Wine prefix $WINEPREFIX"
  since=$SECONDS
  "$wine" wineboot --init >/dev/null 2>&1 || true
  "$wineserver" -w
  took "the prefix" "$since"
fi
# A wineserver that stays, warmed up by one run: otherwise each test process
# starts the prefix's services again (about 3 s), and the first one's
# standard error stays open until its time-out.
"$wineserver" -k 2>/dev/null || true  # one left by an interrupted run
"$wineserver" -p
"$wine" "$exe" -version </dev/null >/dev/null 2>&1 || true

exclusion_regex="^($(printf '%s\n' "${wine_exclusions[@]}" | cut -d'|' -f1 | sed 's/\./\\./g' | paste -sd'|'))\$"
step "excluded under Wine:"
for entry in "${wine_exclusions[@]}"; do printf '  %s: %s\n' "${entry%%|*}" "${entry#*|}"; done
count_tests() { ctest "$@" -N | grep -c '^ *Test *#' || true; }
listed=$(( $(count_tests --test-dir "$build" -R "$exclusion_regex") +
           $(count_tests --test-dir "$linux_build" -L process -R "$exclusion_regex") ))
((listed == ${#wine_exclusions[@]})) || fail "only $listed of the ${#wine_exclusions[@]} excluded tests exist"

step "unit tests under Wine"
since=$SECONDS
ctest --test-dir "$build" -j2 --timeout 120 --output-on-failure -E "$exclusion_regex"
took "the unit tests" "$since"

# The process-level tests run this in place of the program.
launcher=$build/wine-run/vantorix.exe
mkdir -p "$(dirname "$launcher")"
cat >"$launcher" <<EOF
#!/bin/sh
# The Windows program under Wine, for the process-level tests (written by scripts/windows-test.sh).
WINEPREFIX='$WINEPREFIX' WINEDEBUG=-all WINEDLLOVERRIDES='$WINEDLLOVERRIDES' HOME='$HOME'
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES HOME
exec '$wine' '$exe' "\$@"
EOF
chmod +x "$launcher"

step "process-level tests against vantorix.exe under Wine (labels process and process-tls)"
since=$SECONDS
VANTORIX_BINARY_OVERRIDE=$launcher VANTORIX_TEXT_STREAMS_CRLF=1 \
  ctest --test-dir "$linux_build" -L process -j2 --timeout 300 --output-on-failure -E "$exclusion_regex"
took "the process-level tests" "$since"

# The program itself, its output as a Windows parent reads it: CR LF.
step "vantorix.exe -version"
expected=$'Velkor\'s Vantorix Version External Authentication v2.4b\r\n+OK\r\n'
(cd "$work" && "$launcher" -version </dev/null >"$work/out" 2>"$work/err") || fail "-version exited with $?"
[[ "$(cat -v "$work/out")" == "$(printf '%s' "$expected" | cat -v)" ]] || fail "-version printed: $(cat -v "$work/out")"
[[ ! -s $work/err ]] || fail "-version wrote to standard error: $(cat "$work/err")"

step "a check against FreeRADIUS on 127.0.0.1"
secret="windows-$RANDOM$RANDOM"
printf 'alice Cleartext-Password := "wonderland"\n' >"$work/users"
radius_server_start "$work" "$secret" 5 -s || fail "FreeRADIUS did not start"
mkdir "$work/config"
printf 'radius_host 127.0.0.1\r\nradius_port %s\r\nradius_secret %s\r\nradius_user_file %s\r\n' \
  "$RADIUS_PORT" "$secret" "$work/config/radius_users.dat" >"$work/config/vantorix.ini"
# As a Windows parent writes: CR LF line ends, and a Ctrl-Z byte that must not end the input.
printf 'check alice wonderland\r\n\032\r\ncheck alice wrong\r\nlookup alice\r\nexit\r\n' |
  (cd "$work" && "$launcher" -path "$work/config") >"$work/out" 2>"$work/err" || fail "the check run exited with $?"
expected=$'+OK alice config 0\r\n-ERR Command not supported \'\032\'\r\n'
expected+=$'-ERR alice password wrong or not a valid user\r\n+OK alice config 0\r\n+OK\r\n'
[[ "$(cat -v "$work/out")" == "$(printf '%s' "$expected" | cat -v)" ]] ||
  fail "the check run printed: $(cat -v "$work/out")"

step "a configuration file in the system directory ($system_ini)"
[[ ! -e ${exe%.exe}.ini ]] || fail "${exe%.exe}.ini would be found first"
mkdir "$work/empty"
printf 'domain found-in-system32.example\r\ninfo_pass system-pass\r\n' >"$system_ini"
printf 'info system-pass\r\nexit\r\n' | (cd "$work/empty" && "$launcher") >"$work/out" 2>"$work/err" ||
  fail "the run from an empty directory exited with $?"
grep -q $'^+DATA       Domain = found-in-system32.example\r$' "$work/out" ||
  fail "the system directory's file was not read: $(cat -v "$work/out")"
rm -f "$system_ini"

step "the ZIP package"
(cd "$build" && cpack >/dev/null) || fail "cpack failed"
zip=$build/vantorix-2.4-win64.zip
[[ -f $zip ]] || fail "no $zip"
mkdir "$work/zip"
(cd "$work/zip" && cmake -E tar xf "$zip")
contents=$(cd "$work/zip" && find . -type f | sort | sed 's|^./vantorix-2.4-win64/||' | tr '\n' ' ')
[[ $contents == "libcrypto-3-x64.dll libssl-3-x64.dll openssl-license.txt vantorix.exe vantorix.ini vantorix.txt " ]] ||
  fail "the ZIP holds: $contents"
for text in vantorix.ini vantorix.txt openssl-license.txt; do
  file=$work/zip/vantorix-2.4-win64/$text
  # Every line ends in CR LF, the last one included; nothing but printable ASCII.
  ! grep -q -v $'\r$' "$file" || fail "$text has a line without CR LF"
  [[ $(tail -c 2 "$file" | od -An -c | tr -d ' ') == '\r\n' ]] || fail "$text does not end in CR LF"
  ! LC_ALL=C grep -q $'[^\r -~]' "$file" || fail "$text holds bytes other than printable ASCII"
done
grep -q '^WINDOWS' "$work/zip/vantorix-2.4-win64/vantorix.txt" || fail "the manual text lacks its WINDOWS section"
(cd "$work/zip/vantorix-2.4-win64" && "$wine" ./vantorix.exe -version </dev/null) | cmp -s - <(printf '%s' $'Velkor\'s Vantorix Version External Authentication v2.4b\r\n+OK\r\n') ||
  fail "the packaged vantorix.exe does not run"
step "$(basename "$zip"): $(du -k "$zip" | cut -f1) KiB"

# The program as unpacked from the ZIP, in a prefix with nothing else
# installed, against FreeRADIUS's TLS listener; its configuration written as
# on Windows, with drive-letter paths (Wine's Z: is the Linux root).
step "a check over TLS by the program from the ZIP, configured with Windows paths"
radius_server_stop
windows_path() { local path=${1//\//\\}; printf 'Z:%s' "$path"; }
tls=$work/tls
mkdir "$tls"
make_certificate() {  # NAME SUBJECT ISSUER [EXTENSION...]; ISSUER "" makes a CA
  local name=$1 subject=$2 issuer=$3
  shift 3
  local args=(req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -noenc -days 2 -subj "$subject"
              -keyout "$tls/$name.key" -out "$tls/$name.pem")
  if [[ -z $issuer ]]; then
    args+=(-x509 -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign)
  else
    args+=(-CA "$tls/$issuer.pem" -CAkey "$tls/$issuer.key" -addext basicConstraints=critical,CA:FALSE)
  fi
  local extension
  for extension; do args+=(-addext "$extension"); done
  openssl "${args[@]}" >/dev/null 2>&1 || fail "openssl could not make $name.pem"
}
make_certificate ca "/CN=Vantorix test CA" ""
make_certificate other-ca "/CN=Unrelated test CA" ""
make_certificate server "/CN=localhost" ca "subjectAltName=IP:127.0.0.1" "extendedKeyUsage=serverAuth"
make_certificate client "/CN=vantorix test client" ca "extendedKeyUsage=clientAuth"
tls_port=
for ((tries = 0; tries < 100; tries++)); do
  candidate=$((20000 + (RANDOM * 32768 + RANDOM) % 40000))
  if ! grep -q -- "$(printf ':%04X ' "$candidate")" /proc/net/tcp; then tls_port=$candidate; break; fi
done
[[ -n $tls_port ]] || fail "no free TCP port found"
cat >"$work/extra.conf" <<EOF
clients radsec {
  client windows {
    ipv4addr = 127.0.0.1
    proto = tls
    secret = radsec
  }
}
listen {
  type = auth
  ipv4addr = 127.0.0.1
  port = $tls_port
  proto = tcp
  clients = radsec
  virtual_server = default
  tls {
    private_key_file = $tls/server.key
    certificate_file = $tls/server.pem
    ca_file = $tls/ca.pem
    require_client_cert = yes
    tls_min_version = "1.2"
    tls_max_version = "1.3"
  }
}
EOF
# With threads (no -s): FreeRADIUS refuses TLS listeners without them.
radius_server_start "$work" "$secret" 5 || fail "FreeRADIUS with a TLS listener did not start"
mkdir "$work/tls-config"
tls_config() {  # CA
  printf 'radius_host 127.0.0.1:%s\r\nradius_transport tls\r\nradius_tls_ca %s\r\n' "$tls_port" "$(windows_path "$tls/$1")"
  printf 'radius_tls_cert %s\r\nradius_tls_key %s\r\n' "$(windows_path "$tls/client.pem")" "$(windows_path "$tls/client.key")"
  printf 'radius_user_file %s\r\n' "$(windows_path "$work/tls-config/radius_users.dat")"
}
packaged=$work/zip/vantorix-2.4-win64/vantorix.exe
tls_config ca.pem >"$work/tls-config/vantorix.ini"
printf 'check alice wonderland\r\ncheck alice wrong\r\nlookup alice\r\nexit\r\n' |
  (cd "$work/empty" && "$wine" "$packaged" -path "$(windows_path "$work/tls-config")") >"$work/out" 2>"$work/err" ||
  fail "the TLS run exited with $?"
expected=$'+OK alice config 0\r\n-ERR alice password wrong or not a valid user\r\n+OK alice config 0\r\n+OK\r\n'
[[ "$(cat -v "$work/out")" == "$(printf '%s' "$expected" | cat -v)" ]] ||
  fail "the TLS run printed: $(cat -v "$work/out") $(cat "$work/err")"
tls_config other-ca.pem >"$work/tls-config/vantorix.ini"
printf 'check alice wonderland\r\nexit\r\n' |
  (cd "$work/empty" && "$wine" "$packaged" -path "$(windows_path "$work/tls-config")") >"$work/out" 2>"$work/err" ||
  fail "the TLS run with another CA exited with $?"
dead="-DEAD: TLS connection to 127.0.0.1:$tls_port failed {certificate verify failed: "
[[ $(head -n 1 "$work/out") == "$dead"*$'}\r' && $(tail -n 1 "$work/out") == $'+OK\r' ]] ||
  fail "with another CA the TLS run printed: $(cat -v "$work/out")"
step "with a CA that did not sign the server's certificate: $(head -n 1 "$work/out" | tr -d '\r')"

took "windows-test" "$started"
step "ok"
