#!/usr/bin/env bash
# The measurement core stands apart from the panels: no core source, and no analyzer header one
# of them reaches, includes the toolkit (ui/), Qt, or a header of a panel-side module.
#   check-layering.sh SOURCE_DIR CORE_SOURCE...   (core sources as paths or names under analyzer/)
set -euo pipefail
src=${1:?source folder}
shift
declare -A core=()
for f in "$@"; do core[$(basename "$f" .cpp)]=1; done

# Panel-side modules: every analyzer source that is not in the core (and not a program's main).
declare -A panel=()
for f in "$src"/analyzer/*.cpp; do
  b=$(basename "$f" .cpp)
  [[ -n ${core[$b]:-} || $b == veltra || $b == veltra_batch ]] && continue
  panel[$b]=1
done
# Headers of the panel side that have no source of their own.
for h in panels modules initstruct; do panel[$h]=1; done

declare -A seen=()
status=0
check() {  # check FILE WHO
  local file=$1 who=$2 inc name
  [[ -n ${seen[$file]:-} ]] && return
  seen[$file]=1
  while IFS= read -r inc; do
    case $inc in
      ui/*|Q*|qcustomplot*)
        echo "$who: $(basename "$file") includes <$inc>: the core links no toolkit and no Qt"
        status=1 ;;
      analyzer/*)
        name=$(basename "$inc" .h)
        if [[ -n ${panel[$name]:-} ]]; then
          echo "$who: $(basename "$file") includes $inc, a header of the panel side"
          status=1
        elif [[ -f $src/$inc ]]; then
          check "$src/$inc" "$who"
        fi ;;
    esac
  done < <(sed -n 's/^#include ["<]\([^">]*\)[">].*/\1/p' "$file")
}
for b in "${!core[@]}"; do check "$src/analyzer/$b.cpp" "$b.cpp"; done
[[ $status -eq 0 ]] && echo "core: ${#core[@]} sources, none reaches the panels, the toolkit or Qt"
exit $status
