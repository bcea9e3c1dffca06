#!/usr/bin/env bash
# Checks that every C/C++ source and header of our own folders is formatted as .clang-format says.
# Prints each file clang-format would change and exits 1 if there is any (2 if clang-format is
# missing). Build trees, fuzz corpora and generated sources are not ours to format.
#   scripts/check-format.sh [--fix] [FOLDER ...]
# --fix rewrites the files in place instead. CLANG_FORMAT names the binary (clang-format-14).
set -euo pipefail
cd "$(dirname "$0")/.."

fix=no
if [ "${1:-}" = --fix ]; then fix=yes; shift; fi
folders=("$@")
[ ${#folders[@]} -gt 0 ] || folders=(dsp timer frontend ui analyzer tools tests bench)

tool=${CLANG_FORMAT:-clang-format-14}
command -v "$tool" >/dev/null || { echo "check-format: $tool not found" >&2; exit 2; }
# Another major version breaks lines differently: the tree is kept to one.
"$tool" --version | grep -q 'version 14\.' ||
  echo "check-format: warning: $tool is not version 14, differences may be the tool's" >&2

existing=()
for d in "${folders[@]}"; do [ -d "$d" ] && existing+=("$d"); done
[ ${#existing[@]} -gt 0 ] || { echo "check-format: none of ${folders[*]} exists" >&2; exit 2; }

mapfile -t files < <(
  find "${existing[@]}" \( -type d \( -name 'build*' -o -name corpus -o -name '*_autogen' \) -prune \) -o \
    -type f \( -name '*.c' -o -name '*.cc' -o -name '*.cpp' -o -name '*.cxx' \
               -o -name '*.h' -o -name '*.hh' -o -name '*.hpp' \) \
    ! -name 'moc_*' ! -name 'qrc_*' -print | LC_ALL=C sort)

if [ ${#files[@]} -eq 0 ]; then
  echo "check-format: no C/C++ files in ${existing[*]}"
  exit 0
fi
if [ $fix = yes ]; then
  "$tool" -i --style=file "${files[@]}"
  echo "check-format: formatted ${#files[@]} files"
  exit 0
fi

bad=0
for f in "${files[@]}"; do
  if ! "$tool" --dry-run --Werror --style=file "$f" >/dev/null 2>&1; then
    echo "not formatted: $f"
    bad=$((bad + 1))
  fi
done
if [ $bad -gt 0 ]; then
  echo "check-format: $bad of ${#files[@]} files differ from .clang-format; run scripts/check-format.sh --fix" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files formatted"
