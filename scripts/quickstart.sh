#!/usr/bin/env bash
# Installs what is missing, builds the library and kivpic, catalogues the bundled samples folder (writing
# its cache samples/VudEvovi.pmf and a contact sheet of the thumbnails, out/samples-sheet.bmp), lists it
# again through the cache, and converts every sample picture to a 32-bit BMP under out/samples (NAME.EXT
# becomes NAME.EXT.bmp).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DKIV_BUILD_TESTS=OFF >/dev/null
cmake --build build --target kivpic

mkdir -p out/samples
echo "== kivpic catalog samples --sheet out/samples-sheet.bmp"
build/kivpic catalog samples --sheet out/samples-sheet.bmp
echo "== kivpic catalog samples (again: the cache describes the folder, so no picture is read)"
build/kivpic catalog samples >/dev/null

echo "== kivpic convert, every sample to out/samples/*.bmp"
status=0
for picture in samples/*; do
  [ -f "$picture" ] || continue
  case "$picture" in *.md|*.txt|*.tsv|*.pmf) continue ;; esac
  name=$(basename "$picture")
  # The whole name is kept, so sunset-24bit.bmp and sunset-24bit.pcx get copies of their own.
  if rect=$(build/kivpic convert "$picture" "out/samples/$name.bmp" --json); then
    printf '%-28s -> out/samples/%s.bmp  %s\n' "$name" "$name" "$rect"
  else
    status=1
  fi
done
exit $status
