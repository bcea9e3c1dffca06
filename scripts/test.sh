#!/usr/bin/env bash
# Installs what is missing, builds the sanitizer configuration and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$(nproc)"
ctest --preset asan -j "$(nproc)"
# The fuzz targets, built with clang: seed corpora and a fixed-seed batch of mutations each.
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" --target fuzz_targets
ctest --preset fuzz -j "$(nproc)"
