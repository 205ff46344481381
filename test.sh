#!/usr/bin/env bash
# Runs every test: the native i386 build (plain and with sanitizers) and the
# MinGW build, whose tests run under wine against the real .sem libraries.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure_tools.sh
ring_ensure_build_tools

jobs=$(nproc)
status=0
for preset in native native-asan mingw; do
  echo "== configure and build: $preset"
  log="build/$preset-build.log"
  mkdir -p build
  if ! { cmake --preset "$preset" && cmake --build --preset "$preset" -j "$jobs"; } >"$log" 2>&1; then
    cat "$log"
    echo "== build failed: $preset"
    exit 1
  fi
  echo "== tests: $preset"
  if ! ctest --preset "$preset" -j "$jobs"; then status=1; fi
done
exit $status
