#!/usr/bin/env bash
# The analyzer on a Russian desktop (LANG=ru_RU.UTF-8) writes and reads the same numbers as
# under LANG=C: result files byte for byte, a coefficient typed with a comma or a point, and
# settings that come back unchanged after a restart.
#   russian_desktop.sh VELTRA LOCALE_DIR
set -euo pipefail
veltra=$(realpath "$1")
locdir=$(realpath -m "$2")
export QT_QPA_PLATFORM=offscreen

bash "$(dirname "$0")/make_locale.sh" "$locdir" >/dev/null || exit $?
ru=(env LOCPATH="$locdir" LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8 LANGUAGE=ru)
c=(env LANG=C LC_ALL=C)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
check() { if ! "$@"; then echo "FAIL: $*"; fail=1; fi; }

for variant in c:C:2.5 ru-point:RU:2.5 ru-comma:RU:2,5 c-two:C:2; do
  IFS=: read -r dir loc coef <<<"$variant"
  if [ "$loc" = C ]; then cmd=("${c[@]}"); else cmd=("${ru[@]}"); fi
  mkdir -p "$work/$dir"
  (cd "$work/$dir" && "${cmd[@]}" "$veltra" --offscreen --press GeneratorSwitch \
    --set Freq1Field=1000 --set AveragesField=10 --set "CoefFieldA=$coef" --run \
    --save 1=spectrum.txt) >"$work/$dir.log" 2>&1 ||
    { echo "FAIL: the measurement in $dir ended with an error:"; cat "$work/$dir.log"; fail=1; }
done
for f in spectrum.txt spectrum.inf; do
  check cmp "$work/c/$f" "$work/ru-point/$f"
  check cmp "$work/ru-point/$f" "$work/ru-comma/$f"
done
# The coefficient reaches the result: 2 instead of 2.5 would have been seen.
if cmp -s "$work/c/spectrum.txt" "$work/c-two/spectrum.txt"; then
  echo "FAIL: coefficients 2.5 and 2 gave the same spectrum"; fail=1
fi
if grep -q '[0-9],[0-9]' "$work/ru-comma/spectrum.txt"; then
  echo "FAIL: decimal commas in the result file"; fail=1
fi

# Settings typed with commas on a Russian desktop survive two restarts unchanged.
s="$work/settings"; mkdir -p "$s"
roles=(CoefFieldA SenFieldA LoFieldA Freq1Field AmplitudeField LevelField)
(cd "$s" && "${ru[@]}" "$veltra" --offscreen --set CoefFieldA=2,5 --set SenFieldA=12,5 \
  --set LoFieldA=0,002 --set Freq1Field=1234,5 --set AmplitudeField=750,25 \
  --set LevelField=0,125 --quit) >"$work/s1.log" 2>&1 || { cat "$work/s1.log"; fail=1; }
for f in veltrafile triggfile Calibr.inf dkv5128.inf; do cp "$s/$f" "$work/first-$f" 2>/dev/null || true; done
gets=(); for r in "${roles[@]}"; do gets+=(--get "$r"); done
(cd "$s" && "${ru[@]}" "$veltra" --offscreen "${gets[@]}" --quit) >"$work/got" 2>"$work/s2.log" ||
  { cat "$work/s2.log"; fail=1; }
expected=$'2.5\n12.5\n0.002\n1234.5\n750.25\n0.125'
if [ "$(cat "$work/got")" != "$expected" ]; then
  echo "FAIL: settings after a restart:"; paste <(printf '%s\n' "${roles[@]}") "$work/got" <(echo "$expected")
  fail=1
fi
for f in veltrafile triggfile Calibr.inf dkv5128.inf; do
  check cmp "$work/first-$f" "$s/$f"
done
[ $fail -eq 0 ] && echo "PASS: the same numbers under LANG=C and LANG=ru_RU.UTF-8"
exit $fail
