#!/usr/bin/env bash
# Installs what is missing, builds the library and kivpic, and converts every bundled sample picture to a
# 32-bit BMP under out/samples, printing each picture's rectangle.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DKIV_BUILD_TESTS=OFF >/dev/null
cmake --build build --target kivpic

mkdir -p out/samples
status=0
for picture in samples/*; do
  [ -f "$picture" ] || continue
  case "$picture" in *.md|*.txt|*.tsv) continue ;; esac
  name=$(basename "$picture")
  if rect=$(build/kivpic convert "$picture" "out/samples/${name%.*}.bmp" --json); then
    printf '%-28s -> out/samples/%s.bmp  %s\n' "$name" "${name%.*}" "$rect"
  else
    status=1
  fi
done
exit $status
