#!/usr/bin/env bash
# A long offscreen session in the sanitizer build (not part of the test run): 20 000 ticks at
# N = 8192 cycling the measurement types and both windows' functions; prints resident memory
# and the median time per tick at the start and at the end, then the leak check runs at exit.
# Arguments go to the program: --ticks N, --n N, --every K (ticks between changes),
# --window W (ticks in each of the start and end samples).
# The sanitizer's quarantine is kept at 64 MiB so that it is full long before the end sample
# and memory the program keeps stands out from memory the sanitizer holds back.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$(nproc)" --target veltra_soak
export ASAN_OPTIONS="detect_leaks=1:quarantine_size_mb=64:${ASAN_OPTIONS:-}"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
exec build-asan/tests/veltra_soak "$@"
