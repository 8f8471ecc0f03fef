#!/usr/bin/env bash
# OpenSSL for the Windows program, from Debian's own source package of
# openssl, cross-built with MinGW-w64 into the two DLLs the program loads
# when a configuration asks for TLS:
#   DIR/bin/libssl-3-x64.dll, DIR/bin/libcrypto-3-x64.dll
#   DIR/include/openssl/*.h     the headers the program is compiled with
#   DIR/LICENSE.txt             OpenSSL's licence (Apache 2.0), shipped with the DLLs
#   DIR/SOURCE                  which source it was built from
# Usage: scripts/build-openssl-windows.sh DIR   (default build-windows/openssl)
#
# The source comes through apt from the Debian archives this machine already
# uses: the script writes a deb-src twin of each Debian entry of its apt
# sources into DIR/apt and runs apt with that list and its own state there,
# so the machine's apt configuration is left as it is. apt checks every file
# against the archive's signed index. When the archive gives the whole
# source package (.dsc, upstream tarball, Debian's changes), dpkg-source
# unpacks it with Debian's patches; when it gives only the upstream tarball
# (a security update whose .dsc is not there yet), that tarball is built.
# Nothing else is fetched. A DIR that already holds a build of the same
# source is kept. Needs MinGW-w64 (scripts/windows-test.sh installs it),
# perl, make and dpkg-dev.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build-windows/openssl}
mkdir -p "$out"
out=$(cd "$out" && pwd)

step() { printf 'build-openssl-windows: %s\n' "$*"; }
fail() { printf 'build-openssl-windows: FAIL: %s\n' "$*" >&2; exit 1; }

# deb-src twins of the Debian entries, in both formats apt reads.
apt_dir=$out/apt
mkdir -p "$apt_dir/sources" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
rm -f "$apt_dir/sources/"*
for file in /etc/apt/sources.list.d/*.sources; do
  [[ -f $file ]] || continue
  # One stanza per paragraph; keep those of Debian's archives that carry deb.
  awk 'BEGIN { RS = ""; ORS = "\n\n" }
       /(^|\n)Types:([^\n]*[ \t])?deb([ \t\n]|$)/ && /(^|\n)URIs:[^\n]*\/debian(-security)?\/?([ \t\n]|$)/ {
         sub(/(^|\n)Types:[^\n]*/, "\nTypes: deb-src"); sub(/^\n/, ""); print }' "$file" \
    >"$apt_dir/sources/$(basename "$file")"
done
for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [[ -f $file ]] || continue
  sed -n 's/^[[:space:]]*deb\([[:space:]].*\/debian\(-security\)\{0,1\}\/\{0,1\}[[:space:]]\)/deb-src\1/p' "$file" \
    >"$apt_dir/sources/$(basename "$file" .list).list"
done
grep -qs . "$apt_dir/sources/"* || fail "no Debian entry in the apt sources of this machine"
apt_options=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$apt_dir/sources"
             -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache"
             -o APT::Sandbox::User=root)
step "reading Debian's source index"
apt-get "${apt_options[@]}" -qq update
# The highest version of any suite, as apt-get source would choose.
version=
for candidate in $(apt-cache "${apt_options[@]}" showsrc --only-source openssl | sed -n 's/^Version: //p'); do
  if [[ -z $version ]] || dpkg --compare-versions "$candidate" gt "$version"; then version=$candidate; fi
done
[[ -n $version ]] || fail "no source package openssl in Debian's index"
upstream=${version#*:}
upstream=${upstream%-*}

if [[ -f $out/SOURCE && -f $out/bin/libssl-3-x64.dll && -f $out/bin/libcrypto-3-x64.dll ]] &&
   head -n 1 "$out/SOURCE" | grep -qxF "openssl $version"; then
  step "already built: $(head -n 1 "$out/SOURCE")"
  exit 0
fi
rm -rf "$out/bin" "$out/include" "$out/LICENSE.txt" "$out/SOURCE" "$out/source" "$out/build"

step "fetching openssl $version"
mkdir -p "$out/download"
rm -rf "$out/download/"*
# The .dsc and the Debian changes of a security update may be missing from
# the archive; what did come has been checked against the signed index.
(cd "$out/download" && apt-get "${apt_options[@]}" -q source --download-only "openssl=$version" >fetch.log 2>&1) || true
orig=$out/download/openssl_$upstream.orig.tar.gz
dsc=$out/download/openssl_${version#*:}.dsc
if [[ -f $dsc ]] && (cd "$out/download" && dpkg-source --no-check -x "$(basename "$dsc")" "$out/source" >unpack.log 2>&1); then
  origin="Debian's source package openssl $version, with Debian's patches"
elif [[ -f $orig ]]; then
  mkdir -p "$out/source"
  tar -xzf "$orig" -C "$out/source" --strip-components=1
  origin="the upstream tarball openssl_$upstream.orig.tar.gz of Debian's openssl $version (the archive lacks its .dsc)"
else
  cat "$out/download/fetch.log" >&2
  fail "apt-get source fetched neither openssl $version nor its upstream tarball"
fi
step "building $origin"

# Only the two DLLs (not the static libraries, the openssl program or the
# tests). Left out: what a TLS client that verifies the server need not
# have, and every way to load code or settings from elsewhere at run time:
# no openssl.cnf read on start (no-autoload-config), no engines, no provider
# modules (no-module, no-dso; the default provider is built in). The default
# directories are set to a place that does not exist on Windows, so that
# nothing is looked up under a compiled-in folder. libgcc is linked in.
mkdir -p "$out/build"
since=$SECONDS
(cd "$out/build" &&
 "$out/source/Configure" mingw64 --cross-compile-prefix=x86_64-w64-mingw32- CC=gcc-posix \
   --prefix=/nonexistent --openssldir=/nonexistent --libdir=lib \
   shared no-tests no-autoload-config no-engine no-module no-dso no-legacy \
   no-cmp no-cms no-ts no-srp no-dtls no-sctp no-comp no-gost no-idea no-seed no-mdc2 no-rc5 \
   no-ssl-trace no-srtp -static-libgcc >configure.log 2>&1) ||
  { tail -n 30 "$out/build/configure.log" >&2; fail "Configure failed"; }
(cd "$out/build" && make -j2 build_generated >make.log 2>&1 &&
  make -j2 libcrypto-3-x64.dll libssl-3-x64.dll >>make.log 2>&1) ||
  { tail -n 30 "$out/build/make.log" >&2; fail "make failed"; }

mkdir -p "$out/bin" "$out/include"
for dll in libssl-3-x64.dll libcrypto-3-x64.dll; do
  x86_64-w64-mingw32-strip --strip-unneeded -o "$out/bin/$dll" "$out/build/$dll"
done
# The headers: those of the source, and those Configure made.
cp -r "$out/source/include/openssl" "$out/include/"
cp "$out/build/include/openssl/"*.h "$out/include/openssl/"
cp "$out/source/LICENSE.txt" "$out/LICENSE.txt"
printf 'openssl %s\n%s\n' "$version" "$origin" >"$out/SOURCE"
rm -rf "$out/build" "$out/source"
step "built in $((SECONDS - since)) s: $(cd "$out/bin" && du -k libssl-3-x64.dll libcrypto-3-x64.dll | awk '{printf "%s%s %s KiB", sep, $2, $1; sep = ", "}')"
