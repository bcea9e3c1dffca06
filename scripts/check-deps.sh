#!/usr/bin/env bash
# Proves that scripts/install-deps.sh lists every package a build used: each CMake package
# configuration, header, library and build tool from /usr that the build in BUILD_DIR read must
# belong to a listed package or to what the listed packages pull in (their dependencies,
# recursively, without recommendations). A package present on this machine only because someone
# installed it by hand fails the check with its name.
#   scripts/check-deps.sh BUILD_DIR
# VELTRA_DEPS_DROP="pkg ..." leaves packages out of the list, to show that the check catches them.
set -euo pipefail
build=$(realpath "${1:?usage: check-deps.sh BUILD_DIR}")
cd "$(dirname "$0")/.."
command -v dpkg-query >/dev/null || { echo "check-deps: not a Debian system, nothing to check"; exit 0; }
[ -f "$build/CMakeCache.txt" ] || { echo "check-deps: $build is not a configured build" >&2; exit 2; }

mapfile -t listed < <(bash scripts/install-deps.sh --list)
for drop in ${VELTRA_DEPS_DROP:-}; do
  for i in "${!listed[@]}"; do [ "${listed[$i]}" = "$drop" ] && unset 'listed[i]'; done
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# What the build read from /usr: package configurations CMake found, the headers the compiler
# opened (its dependency files), the libraries the linker was given and the Qt tools run.
{
  sed -n 's/^[A-Za-z0-9_]*_DIR:PATH=\(\/usr\/.*\)$/\1/p' "$build/CMakeCache.txt" |
    while read -r dir; do
      [ -d "$dir" ] && find "$dir" -maxdepth 1 -type f \( -name '*Config.cmake' -o -name '*-config.cmake' \)
    done
  find "$build" -name '*.o.d' -print0 | xargs -0 -r cat | tr ' \\' '\n\n' | grep '^/usr/'
  find "$build" -name link.txt -print0 | xargs -0 -r cat | tr ' ' '\n' | grep '^/usr/'
  find "$build" -name build.make -print0 | xargs -0 -r grep -ho '/usr/lib/qt6/libexec/[A-Za-z0-9_]*'
} | sed 's/:$//' | sort -u >"$scratch/used"

# dpkg knows a file by the path its package installed; on a merged /usr that may be the /lib one
# or the target of a link: every form of every file is asked about in one call.
while read -r f; do
  [ -e "$f" ] || continue
  n=$(realpath -s -- "$f")
  r=$(realpath -- "$f")
  printf '%s\t%s\n' "$n" "$f" "$r" "$f" "${n/#\/usr\///}" "$f" "${r/#\/usr\///}" "$f"
done <"$scratch/used" | sort -u >"$scratch/forms"
cut -f1 "$scratch/forms" | sort -u | xargs -d '\n' -r dpkg-query -S -- 2>/dev/null |
  awk '{ i = index($0, ": /"); if (i > 0) printf "%s\t%s\n", substr($0, i + 2), substr($0, 1, i - 1) }' |
  sort -u >"$scratch/found" || true
# original file <TAB> owners, once per file
join -t $'\t' <(sort -t $'\t' -k1,1 "$scratch/forms") <(sort -t $'\t' -k1,1 "$scratch/found") |
  awk -F '\t' '!seen[$2]++ { printf "%s\t%s\n", $3, $2 }' >"$scratch/owners"
comm -23 <(cut -f2 "$scratch/forms" | sort -u) <(cut -f2 "$scratch/owners" | sort -u) >"$scratch/unowned"

# The listed packages and everything they depend on, as far as it is installed.
dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' | awk '$1 ~ /^ii/ {print $2}' | sort -u >"$scratch/installed"
apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
  --no-replaces --no-enhances "${listed[@]}" 2>/dev/null |
  grep -v '^ ' | grep -v '^<' | sed 's/:.*$//' | sort -u >"$scratch/closure"
printf '%s\n' "${listed[@]}" | sort -u >>"$scratch/closure"
sort -u -o "$scratch/closure" "$scratch/closure"
comm -12 "$scratch/closure" "$scratch/installed" >"$scratch/covered"

status=0
# A file may belong to several packages (a shared directory or a diverted file): one covered owner is enough.
while IFS=$'\t' read -r owners file; do
  ok=no
  for p in ${owners//,/ }; do
    grep -qx "${p%%:*}" "$scratch/covered" && { ok=yes; break; }
  done
  if [ $ok = no ]; then
    echo "not in the install list: ${owners//, / or } (owns $file)"
    status=1
  fi
done <"$scratch/owners"
if [ -s "$scratch/unowned" ]; then
  echo "check-deps: $(wc -l <"$scratch/unowned") files from /usr belong to no package, e.g. $(head -1 "$scratch/unowned")"
fi
if [ $status -eq 0 ]; then
  echo "check-deps: $(wc -l <"$scratch/used") files from /usr, all from the ${#listed[@]} listed packages or their dependencies"
else
  echo "check-deps: add the packages above to scripts/install-deps.sh" >&2
fi
exit $status
