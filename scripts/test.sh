#!/usr/bin/env bash
# Builds and runs every test: the release build (benchmarks compiled, not run) and its test suite, then
# the whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer, a short smoke run of every
# fuzz target, and an installation that a small host project finds with CMake and pkg-config.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

scripts/setup-deps.sh

echo "== Release build and tests"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DKIV_BUILD_TESTS=ON -DKIV_BUILD_BENCHMARKS=ON >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== Sanitizer build, tests and fuzz smoke"
CC=clang CXX=clang++ cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKIV_SANITIZE=ON -DKIV_FUZZ=ON -DKIV_BUILD_TESTS=ON >/dev/null
cmake --build build-sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j "$jobs"
scripts/fuzz-smoke.sh build-sanitize

echo "== Installation"
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install build --prefix "$prefix" >/dev/null
cmake -S tests/install -B "$prefix/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$prefix/consumer" >/dev/null
libdir=$(dirname "$(dirname "$(find "$prefix" -name kivpicture.pc | head -n 1)")")
LD_LIBRARY_PATH="$libdir" "$prefix/consumer/host_cmake"
LD_LIBRARY_PATH="$libdir" "$prefix/consumer/host_ui_cmake"
export PKG_CONFIG_PATH="$libdir/pkgconfig"
g++ tests/install/host.cpp -o "$prefix/host_pkgconfig" $(pkg-config --cflags --libs kivpicture)
LD_LIBRARY_PATH="$libdir" "$prefix/host_pkgconfig"
g++ -fPIC tests/install/host_ui.cpp -o "$prefix/host_ui_pkgconfig" $(pkg-config --cflags --libs kivpictureui)
LD_LIBRARY_PATH="$libdir" "$prefix/host_ui_pkgconfig"
echo "All tests passed."
