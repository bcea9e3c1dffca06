#!/usr/bin/env bash
# Generates ru_RU.UTF-8 into DIR (used through LOCPATH), so the Russian-desktop tests need no
# system-wide locale set-up. Exit 77 (skipped) only where glibc's locale sources are absent.
set -euo pipefail
dir=$(realpath -m "${1:?usage: make_locale.sh DIR}")
if [ ! -e /usr/share/i18n/locales/ru_RU ]; then
  echo "SKIP: no locale sources for ru_RU (Debian package 'locales', see scripts/install-deps.sh)"
  exit 77
fi
mkdir -p "$dir"
[ -d "$dir/ru_RU.UTF-8" ] || localedef -c -i ru_RU -f UTF-8 "$dir/ru_RU.UTF-8" >/dev/null 2>&1 || true
if [ "$(LOCPATH="$dir" LC_ALL=ru_RU.UTF-8 locale decimal_point 2>/dev/null)" != "," ]; then
  echo "FAIL: ru_RU.UTF-8 could not be generated in $dir"
  exit 1
fi
echo "ru_RU.UTF-8 ready in $dir"
