#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and
# this machine lacks. Needs root when something is missing. Further package
# names given as arguments are installed the same way (the fuzz targets need
# clang and its runtime libraries). openssl makes the throwaway certificates of
# the RADIUS-over-TLS test servers; libssl-dev is the TLS library.
set -euo pipefail
packages=(cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev valgrind
          freeradius freeradius-utils groff-base man-db file dpkg-dev
          openssl libssl-dev
          "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# The package starts a system-wide server where it can; the tests run their own.
if command -v systemctl >/dev/null 2>&1 && systemctl is-active --quiet freeradius 2>/dev/null; then
  systemctl stop freeradius || true
fi
