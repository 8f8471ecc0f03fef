#!/usr/bin/env bash
# Builds the Debian package from a configured build directory, checks it with
# lintian (no error, no warning), installs it on this machine, checks that the
# installed program and manual page work, purges it and checks that nothing it
# installed is left behind. Needs root (dpkg) and lintian.
#   scripts/package-test.sh [BUILD_DIR]     (default: build)
# Exits non-zero on the first failure; the package is purged in every case.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${1:-build}
package=vantorix
expected_version=$'Velkor\'s Vantorix Version External Authentication v2.4b\n+OK'

fail() { echo "package-test: FAIL: $*" >&2; exit 1; }
step() { echo "package-test: $*"; }

[[ -f "$build_dir/CMakeCache.txt" ]] || fail "$build_dir is not a configured build directory"
((EUID == 0)) || fail "must run as root (dpkg -i, dpkg -P)"
if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed$"; then
  fail "$package is already installed here; remove it first (dpkg -P $package)"
fi

work=$(mktemp -d)
installed=0
cleanup() {
  if ((installed)); then dpkg -P "$package" >/dev/null 2>&1 || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

step "building"
cmake --build "$build_dir" --target vantorix vantorix_manpage

# The plain install first: the layout every other package format starts from.
# A binary without its symbol table: what `file` calls "stripped".
stripped() { file -b "$1" | grep -q ', stripped'; }

step "cmake --install --strip into a staging prefix"
cmake --install "$build_dir" --prefix "$work/stage" --strip >/dev/null
for f in bin/vantorix share/man/man8/vantorix.8.gz share/doc/vantorix/examples/vantorix.ini \
  share/doc/vantorix/copyright share/doc/vantorix/changelog.gz; do
  [[ -f "$work/stage/$f" ]] || fail "cmake --install did not install $f"
done
[[ -x "$work/stage/bin/vantorix" ]] || fail "installed program is not executable"
stripped "$work/stage/bin/vantorix" || fail "cmake --install --strip left the program unstripped"

step "cpack -G DEB"
(cd "$build_dir" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log" >&2; fail "cpack -G DEB failed"; }
debs=("$work"/out/"$package"_*.deb)
if ((${#debs[@]} != 1)) || [[ ! -f "${debs[0]}" ]]; then
  fail "expected one $package .deb, found: ${debs[*]}"
fi
deb=${debs[0]}
step "built $(basename "$deb")"

field() { dpkg-deb -f "$deb" "$1"; }
[[ "$(field Package)" == "$package" ]] || fail "Package field is '$(field Package)'"
[[ "$(field Version)" == "2.4" ]] || fail "Version field is '$(field Version)'"
[[ "$(field Maintainer)" == "Vantorix developers <dev@vantorix.invalid>" ]] ||
  fail "Maintainer field is '$(field Maintainer)'"
[[ "$(field Depends)" == *libc6* ]] || fail "Depends field lacks libc6: '$(field Depends)'"
# libssl is loaded by name for TLS, so the package must name it itself.
if grep -q '^VANTORIX_TLS:BOOL=ON' "$build_dir/CMakeCache.txt" 2>/dev/null; then
  [[ "$(field Depends)" == *libssl3* ]] || fail "Depends field lacks libssl3: '$(field Depends)'"
fi

# Exactly these files, under /usr, and nothing of the build tree.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}' | sort >"$work/contents"
printf '%s\n' ./usr/bin/vantorix ./usr/share/doc/vantorix/examples/vantorix.ini \
  ./usr/share/doc/vantorix/copyright ./usr/share/doc/vantorix/changelog.gz \
  ./usr/share/man/man8/vantorix.8.gz | sort >"$work/expected"
diff -u "$work/expected" "$work/contents" >&2 || fail "unexpected package contents"
mkdir "$work/unpacked"
dpkg-deb -x "$deb" "$work/unpacked"
stripped "$work/unpacked/usr/bin/vantorix" || fail "the packaged program is not stripped"

# What Debian's own checker says: no error and no warning (copyright,
# changelog, stripped binary, manual page among its checks).
step "lintian"
command -v lintian >/dev/null || fail "lintian is not installed (scripts/install-deps.sh installs it)"
lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 ||
  { cat "$work/lintian.log" >&2; fail "lintian finds errors or warnings"; }

step "dpkg -i"
installed=1
dpkg -i "$deb" >"$work/dpkg-i.log" 2>&1 || { cat "$work/dpkg-i.log" >&2; fail "dpkg -i failed"; }
dpkg-query -L "$package" >"$work/files"

step "running /usr/bin/vantorix -version"
# From an empty directory with no input: -version must answer before anything
# else happens (no configuration, no log file, no socket).
mkdir "$work/run"
set +e
output=$(cd "$work/run" && timeout 10 /usr/bin/vantorix -version </dev/null 2>"$work/stderr")
status=$?
set -e
((status == 0)) || fail "vantorix -version exited with status $status"
[[ "$output" == "$expected_version" ]] || fail "vantorix -version printed: $output"
[[ ! -s "$work/stderr" ]] || fail "vantorix -version wrote to standard error: $(cat "$work/stderr")"
[[ -z "$(ls -A "$work/run")" ]] || fail "vantorix -version left files: $(ls -A "$work/run")"
[[ "$(command -v vantorix)" == /usr/bin/vantorix ]] || fail "vantorix is not found on PATH"

step "man -w vantorix"
page=$(man -w vantorix) || fail "man -w vantorix finds no page"
[[ "$page" == /usr/share/man/man8/vantorix.8.gz ]] || fail "man -w vantorix gives $page"
rendered=$(MANWIDTH=80 MANPAGER=cat man --warnings 8 vantorix 2>"$work/man-warnings") ||
  fail "man vantorix failed"
[[ ! -s "$work/man-warnings" ]] || { cat "$work/man-warnings" >&2; fail "man vantorix warns"; }
grep -q "LINE PROTOCOL" <<<"$rendered" || fail "man vantorix does not show the page"

step "dpkg -P"
dpkg -P "$package" >"$work/dpkg-p.log" 2>&1 || { cat "$work/dpkg-p.log" >&2; fail "dpkg -P failed"; }
installed=0
if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed$"; then
  fail "$package is still known to dpkg after the purge"
fi
# Every file is gone; a directory may stay only while another package owns it.
while IFS= read -r path; do
  [[ -e "$path" || -L "$path" ]] || continue
  if [[ -d "$path" && ! -L "$path" ]] && dpkg-query -S "$path" >/dev/null 2>&1; then
    continue
  fi
  fail "left behind after dpkg -P: $path"
done <"$work/files"

step "ok"
