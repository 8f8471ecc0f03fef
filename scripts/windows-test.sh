#!/usr/bin/env bash
# The Windows program, built and tested from Debian: cross-built with MinGW-w64
# (cmake/mingw-w64.cmake), its unit tests run under Wine through CTest's
# emulator, the process-level tests of the Linux build run against
# vantorix.exe under Wine, then three checks of the program itself (-version,
# a check against FreeRADIUS on 127.0.0.1, a configuration file in the system
# directory) and one of its ZIP package. Installs what is missing (as root).
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
  -DGTest_DIR="$gtest/lib/cmake/GTest" -DVANTORIX_WERROR=ON >/dev/null
cmake --build "$build" -j2
took "the Windows build" "$since"
exe=$build/vantorix.exe

# Statically linked: only system DLLs. ADVAPI32 makes the user file's
# access list, bcrypt draws the random bytes.
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr '[:lower:]' '[:upper:]' | sort | tr '\n' ' ')
[[ $imports == "ADVAPI32.DLL BCRYPT.DLL KERNEL32.DLL MSVCRT.DLL WS2_32.DLL " ]] ||
  fail "vantorix.exe imports $imports"
step "vantorix.exe imports only: $imports"

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

step "process-level tests against vantorix.exe under Wine (not those of label tls: the Windows build has no TLS)"
since=$SECONDS
VANTORIX_BINARY_OVERRIDE=$launcher VANTORIX_TEXT_STREAMS_CRLF=1 \
  ctest --test-dir "$linux_build" -L process -LE tls -j2 --timeout 300 --output-on-failure -E "$exclusion_regex"
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
contents=$(cd "$work/zip" && find . -type f | sort | tr '\n' ' ')
[[ $contents == "./vantorix-2.4-win64/vantorix.exe ./vantorix-2.4-win64/vantorix.ini ./vantorix-2.4-win64/vantorix.txt " ]] ||
  fail "the ZIP holds: $contents"
for text in vantorix.ini vantorix.txt; do
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

took "windows-test" "$started"
step "ok"
