#!/usr/bin/env bash
# Prints, for each picture bomb, the time and peak resident memory of `kivpic convert` with each of the
# given kivpic builds (for example the one before a change and the one after), as a Markdown table.
#   scripts/bomb-table.sh KIVPIC [KIVPIC...]
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -ge 1 ] || { echo "usage: $0 KIVPIC [KIVPIC...]" >&2; exit 2; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
printf '| bomb | bytes |'; for k in "$@"; do printf ' %s |' "$k"; done; echo
printf '|---|---|'; for _ in "$@"; do printf -- '---|'; done; echo
for file in tests/data/hostile/*/bomb-* bench/bombs/*; do
  printf '| %s | %s |' "${file#*/*/}" "$(stat -c %s "$file")"
  for kivpic in "$@"; do
    # %e: elapsed seconds, %M: peak resident kilobytes, %x: exit status; the last line is time's own.
    result=$(/usr/bin/time -f '%e %M %x' timeout 60 "$kivpic" convert "$file" "$out/picture.bmp" 2>&1 >/dev/null |
      tail -n 1 || true)
    read -r seconds kilobytes status <<<"$result"
    printf ' %s s, %s MB, %s |' "$seconds" "$((kilobytes / 1024))" "$([ "$status" = 0 ] && echo loaded || echo refused)"
  done
  echo
done
