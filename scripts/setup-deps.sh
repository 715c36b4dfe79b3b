#!/usr/bin/env bash
# Installs the Debian packages the project builds, tests and benchmarks with, when any is missing.
# Run as root (or with sudo available) on Debian 12.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev clang-format
  libjpeg62-turbo-dev libpugixml-dev libcli11-dev
  qt6-base-dev qt6-qpa-plugins qt6-translations-l10n fonts-liberation fonts-wqy-zenhei xvfb xauth
  libgtest-dev libgmock-dev libbenchmark-dev libstb-dev libfreeimage-dev imagemagick python3-pil libmagickwand-6.q16-dev libvips-dev
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
run_as_root=()
[ "$(id -u)" -eq 0 ] || run_as_root=(sudo)
"${run_as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${run_as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
