#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those missing. With --list it prints the
# list instead (scripts/check-deps.sh proves it complete against a build).
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-tools-dev qt6-tools-dev-tools libqt6uitools6 libqt6opengl6-dev libgl1-mesa-dev
  libqcustomplot-dev
  libasound2-dev libsoxr-dev
  # Sound files for playback and export; SVG pictures of the graphs.
  libsndfile1-dev qt6-svg-dev
  fonts-dejavu-core
  # Qt's own Russian texts for the standard dialogs; locale data for the Russian-desktop tests.
  qt6-translations-l10n locales
  # clang with its libFuzzer runtime builds the fuzz targets.
  clang libclang-rt-14-dev llvm
  # A virtual X display for the test that starts the program as a person does.
  xvfb
  # The format check (scripts/check-format.sh) is made with this version of clang-format.
  clang-format-14
)
# FFTW and KissFFT only feed the side-by-side benchmarks; set VELTRA_BENCH_PEERS=1 to get them.
if [ "${VELTRA_BENCH_PEERS:-0}" = 1 ]; then
  packages+=(libfftw3-dev libkissfft-dev)
fi

if [ "${1:-}" = --list ]; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
