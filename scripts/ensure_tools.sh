#!/usr/bin/env bash
# Installs what the builds need on a Debian 12 machine, when it is missing.
# Sourced by build.sh, test.sh and bench.sh; needs root for the installs.
set -euo pipefail

ring_missing_packages() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
  done
  echo "${missing[@]:-}"
}

ring_ensure_packages() {
  local missing
  missing=$(ring_missing_packages "$@")
  [ -z "$missing" ] && return 0
  echo "== installing: $missing"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q >/dev/null
  # shellcheck disable=SC2086
  apt-get install -y -q --no-install-recommends $missing >/dev/null
}

ring_ensure_build_tools() {
  ring_ensure_packages cmake ninja-build g++ g++-multilib g++-mingw-w64-i686-posix \
    googletest wine wine32:i386 valgrind
  export WINEDEBUG=-all
  # The first start of wine creates its prefix; do it once, quietly.
  if [ ! -d "${WINEPREFIX:-$HOME/.wine}" ]; then
    echo "== creating the wine prefix"
    wineboot -i >/dev/null 2>&1 || true
  fi
}
