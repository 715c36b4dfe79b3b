#!/usr/bin/env bash
# Records what two builds of kivpic make of the same pictures, so that a change that must not alter any
# output can be checked: every file converted to BMP, PCX and JPEG (bytes, exit status and message), the
# probe's JSON, and each folder's catalogue (JSON lines and the cache file's bytes).
#
#   scripts/compare-outputs.sh KIVPIC_BEFORE KIVPIC_AFTER FOLDER...
#
# Prints the differences and exits 1 when there are any. TGA output is left out: it carries the time of
# saving.
set -euo pipefail
before=$(realpath "$1"); after=$(realpath "$2"); shift 2
work=$(mktemp -d); trap '[ -n "${KEEP:-}" ] && cp -r "$work" "$KEEP"; rm -rf "$work"' EXIT

record() {  # KIVPIC OUT FOLDER...
    local kivpic=$1 out=$2; shift 2
    mkdir -p "$out"
    : > "$out/log"
    local n=0
    while IFS= read -r -d '' file; do
        n=$((n + 1))
        for ext in bmp pcx jpg; do
            local target="$work/tmp.$ext"
            rm -f "$target"
            local status=0
            "$kivpic" convert "$file" "$target" 2> "$work/err" || status=$?
            local sum=none
            [ -f "$target" ] && sum=$(md5sum < "$target" | cut -d' ' -f1)
            echo "convert $file $ext status=$status $sum $(cat "$work/err")" >> "$out/log"
        done
        "$kivpic" info --json "$file" >> "$out/log" 2>&1 || true
        "$kivpic" zoom --size 97x61 "$file" "$work/zoom.bmp" 2>> "$out/log" && md5sum < "$work/zoom.bmp" >> "$out/log" || true
    done < <(find "$@" -type f ! -name VudEvovi.pmf -print0 | sort -z)
    for folder in "$@"; do
        while IFS= read -r -d '' dir; do
            local copy="$work/catalog"
            rm -rf "$copy"; cp -rp "$dir" "$copy"; rm -f "$copy/VudEvovi.pmf"
            (cd "$work" && "$kivpic" catalog --json catalog 2>/dev/null | sed "s|$work/||") >> "$out/log" || true
            [ -f "$copy/VudEvovi.pmf" ] && md5sum < "$copy/VudEvovi.pmf" >> "$out/log"
        done < <(find "$folder" -type d -print0 | sort -z)
    done
    echo "$n files" >> "$out/log"
}

record "$before" "$work/before" "$@"
record "$after" "$work/after" "$@"
if diff "$work/before/log" "$work/after/log"; then
    echo "identical: $(tail -n 1 "$work/after/log")"
else
    exit 1
fi
