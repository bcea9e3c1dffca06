#!/usr/bin/env bash
# Installs what is missing, builds the analyzer and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"
if [ -x build/analyzer/veltra ]; then
  exec build/analyzer/veltra "$@"
fi
echo "Built so far:"
find build -maxdepth 2 -type f \( -name '*.a' -o -name '*.so' -o -perm -u+x \) -not -path '*/CMakeFiles/*' | sort
