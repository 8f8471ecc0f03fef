#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and
# this machine lacks. Needs root when something is missing. Further package
# names given as arguments are installed the same way (the fuzz targets need
# clang and its runtime libraries, the benchmark squid for its RADIUS helper).
# openssl makes the throwaway certificates of the RADIUS-over-TLS test servers;
# libssl-dev is the TLS library; lintian checks the Debian package in CI.
# radsecproxy and python3-pyrad are RADIUS software written elsewhere that the
# interoperability tests run against.
set -euo pipefail
packages=(cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev valgrind
          freeradius freeradius-utils groff-base man-db file dpkg-dev lintian
          openssl libssl-dev radsecproxy python3-pyrad
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
# The packages start system-wide servers where they can; the tests run their
# own FreeRADIUS, and of squid only the RADIUS helper is used, never the proxy.
# A squid installed just now is also kept from starting at boot.
stop_service() {  # NAME
  if command -v systemctl >/dev/null 2>&1 && systemctl is-active --quiet "$1" 2>/dev/null; then
    systemctl stop "$1" || true
  elif [[ -x /etc/init.d/$1 ]] && /etc/init.d/"$1" status >/dev/null 2>&1; then
    /etc/init.d/"$1" stop >/dev/null || true
  fi
}
stop_service freeradius
stop_service radsecproxy
if dpkg-query -W -f='${Status}' squid 2>/dev/null | grep -q "install ok installed"; then
  stop_service squid
  if [[ " ${missing[*]} " == *" squid "* ]] && command -v systemctl >/dev/null 2>&1; then
    systemctl disable --quiet squid 2>/dev/null || true
  fi
fi
