#!/usr/bin/env bash
# Runs every fuzz target of a build configured with KIV_FUZZ=ON over its seed corpus for a short while and
# fails when any of them finds a crash, a leak, a sanitizer report or a hang.
#
#   scripts/fuzz-smoke.sh BUILD_DIR [SECONDS_PER_TARGET]      (default 20 seconds)
#
# Each reader's target also reads the test pictures of its format under tests/data (read-only). New inputs go to a scratch
# folder, never into the committed corpora. Inputs that fail are kept in BUILD_DIR/fuzz-smoke-artifacts/.
#
# The readers refuse pictures past the pixel limit (2^28 pixels, a 1 GiB block) and files too short for
# their pictures, but a valid picture may still take that much, and the JPEG library a buffer of its own
# beside it. Hence generous memory limits, and allocator_may_return_null so that a failed allocation is
# the reader's out-of-memory path, not a crash.
set -euo pipefail

if [[ $# -lt 1 || $# -gt 2 ]]; then
    echo "usage: $0 BUILD_DIR [SECONDS_PER_TARGET]" >&2
    exit 2
fi
build=$(cd "$1" && pwd)
seconds=${2:-20}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

targets=()
for source in "$root"/fuzz/*Fuzzer.cpp; do
    targets+=("$(basename "$source" .cpp)")
done

# The test pictures of the format a target reads, by the target's name.
test_pictures() {
    case $1 in
        Bmp*) echo bmp ;;
        Tga*) echo tga ;;
        Gif*) echo gif ;;
        Pcx*) echo pcx ;;
        Jpg*) echo jpeg ;;
        Psd*) echo psd ;;
    esac
}

export ASAN_OPTIONS="allocator_may_return_null=1:detect_leaks=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kivpicture-fuzz-smoke-XXXXXX")
trap 'rm -rf "$scratch"' EXIT

failed=()
for target in "${targets[@]}"; do
    binary="$build/fuzz/$target"
    if [[ ! -x $binary ]]; then
        echo "$target: $binary is missing; configure with -DKIV_FUZZ=ON and build it" >&2
        exit 2
    fi
    mkdir -p "$scratch/$target/corpus" "$scratch/$target/artifacts"
    corpora=("$scratch/$target/corpus" "$root/fuzz/corpus/$target")
    format=$(test_pictures "$target")
    if [[ -n $format ]]; then
        for folder in "$root/tests/data/$format" "$root/tests/data/hostile/$format"; do
            [[ -d $folder ]] && corpora+=("$folder")
        done
    fi
    log="$scratch/$target/log"
    echo "== $target: ${seconds}s"
    if "$binary" -max_total_time="$seconds" -rss_limit_mb=4096 -malloc_limit_mb=4200 -timeout=60 \
        -print_final_stats=1 -artifact_prefix="$scratch/$target/artifacts/" "${corpora[@]}" >"$log" 2>&1; then
        grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$log" | sed 's/^/   /'
    else
        failed+=("$target")
        echo "   FAILED; the end of its log:"
        tail -n 40 "$log" | sed 's/^/   | /'
        mkdir -p "$build/fuzz-smoke-artifacts/$target"
        cp -p "$scratch/$target/artifacts/"* "$build/fuzz-smoke-artifacts/$target/" 2>/dev/null || true
        cp -p "$log" "$build/fuzz-smoke-artifacts/$target/log"
    fi
done

if ((${#failed[@]})); then
    echo "fuzz smoke test failed: ${failed[*]} (inputs and logs in $build/fuzz-smoke-artifacts/)" >&2
    exit 1
fi
echo "fuzz smoke test passed"
