#!/usr/bin/env bash
# Builds the seven plug-ins and semhost for Windows into dist/, and renders a
# short demo through two of the plug-ins (with wine) into dist/demo/.
# On a fresh Debian 12 machine it first installs what it needs (as root).
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure_tools.sh
ring_ensure_build_tools

jobs=${JOBS:-$(nproc)}
log=build/mingw-dist.log
mkdir -p build
echo "== building the plug-ins and semhost (log: $log)"
if ! { cmake --preset mingw && cmake --build --preset mingw -j "$jobs" --target plugins semhost; } \
    >"$log" 2>&1; then
  cat "$log"
  echo "== build failed"
  exit 1
fi

rm -rf dist
mkdir -p dist/demo
plugins=(build/mingw/plugins/kvd_ring*.sem)
if [ "${#plugins[@]}" -ne 7 ]; then
  echo "== expected seven plug-ins, found ${#plugins[@]}: ${plugins[*]}"
  exit 1
fi
cp "${plugins[@]}" dist/
cp build/mingw/tools/semhost.exe dist/
i686-w64-mingw32-strip dist/semhost.exe  # symbols of the static C++ runtime, not needed to run

echo "== rendering the demo"
semhost() { wine dist/semhost.exe "$@"; }
# Two sines through A x (1 - B): a 440 Hz tone whose level swells twice a second.
semhost render dist/kvd_ring2.sem -o dist/demo/kvd_ring2_tremolo.wav \
  --input A=sine:440:0.5 --input B=sine:2:0.5 --rate 44100 --seconds 2
# Two sines multiplied (C held at 1): the sum and difference tones, 770 and 110 Hz.
semhost render dist/kvd_ring3.sem -o dist/demo/kvd_ring3_ring.wav \
  --input A=sine:440:0.8 --input B=sine:330 --input C=const:1 --rate 44100 --seconds 2

echo
echo "== made, in $(pwd)/dist:"
(cd dist && ls -l --time-style=+ *.sem semhost.exe demo/*.wav | awk '{print "  " $NF "  (" $5 " bytes)"}')
echo
echo "Install: copy dist/*.sem into the host's modules folder."
echo "Try one: wine dist/semhost.exe info dist/kvd_ring4.sem   (on Windows: semhost info kvd_ring4.sem)"
