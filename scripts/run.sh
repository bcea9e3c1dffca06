#!/usr/bin/env bash
# Installs what is missing, builds the analyzer and starts it. Without a display it runs a short
# measurement offscreen instead and prints where its results and panel picture went.
set -euo pipefail
# The analyzer keeps its settings files in, and resolves relative paths against, the directory
# the command was given in; only the build runs in the repository.
workdir="$PWD"
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"
exe="$PWD/build/analyzer/veltra"
if [ ! -x "$exe" ]; then
  echo "The analyzer was not built; built so far:"
  find build -maxdepth 2 -type f \( -name '*.a' -o -name '*.so' -o -perm -u+x \) -not -path '*/CMakeFiles/*' | sort
  exit 1
fi
headless_args=no
for a in "$@"; do [ "$a" = --offscreen ] && headless_args=yes; done
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || [ "${QT_QPA_PLATFORM:-}" = offscreen ] ||
   [ "$headless_args" = yes ]; then
  cd "$workdir"
  exec "$exe" "$@"
fi

echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): running a demonstration offscreen."
[ $# -eq 0 ] || echo "(the arguments given need --offscreen among them to run without a display)"
echo "Generator: 1 kHz sine, 1000 mV; spectrum averaged over 10 frames; window 1 saved."
demo="$PWD/build/demo"
mkdir -p "$demo"
cd "$demo"
rm -f spectrum.txt spectrum.inf panel.png
"$exe" --offscreen --press GeneratorSwitch --set Freq1Field=1000 --set AveragesField=10 \
  --run --save 1=spectrum.txt --grab panel.png
echo "Result data:        $demo/spectrum.txt ($(wc -l < spectrum.txt) lines)"
echo "Result description: $demo/spectrum.inf (Windows-1251)"
echo "Main panel picture: $demo/panel.png"
echo "Strongest line (Hz, dB):"
sort -g -k2 spectrum.txt | tail -1
