#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; does nothing
# when they are all present, so it is safe to run any number of times.
set -euo pipefail

packages=(
  build-essential cmake pkg-config g++
  libgtest-dev googletest libbenchmark-dev
  libpng-dev zlib1g-dev libfreetype-dev libfontconfig-dev fonts-dejavu-core
  libx11-dev libxext-dev libxtst-dev xvfb xdotool x11-utils
  libsndfile1-dev clang-format
  lv2-dev liblilv-dev lilv-utils sordi libsuil-dev
  ardour jackd2
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
