#!/usr/bin/env bash
# Cross-builds the Windows module (Thudra.dll) and thudra-host.exe with
# mingw-w64 into build-win64/, installing what is missing first.
#   scripts/build-windows.sh [build folder]
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-win64}"
jobs="${JOBS:-$(nproc)}"

# The posix-threads compiler variant: std::mutex and std::call_once need it.
packages=(
  cmake make pkg-config dpkg-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  libz-mingw-w64-dev
  wine wine64 xvfb
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

bash "$root/scripts/cross-libpng.sh" "$build/deps"

cmake -S "$root" -B "$build" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPNG_LIBRARY="$build/deps/lib/libpng16.a" \
  -DPNG_PNG_INCLUDE_DIR="$build/deps/include" \
  -DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a \
  -DZLIB_LIBRARY_RELEASE=/usr/x86_64-w64-mingw32/lib/libz.a \
  -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include \
  -DTHUDRA_TESTS=OFF -DTHUDRA_BENCH=OFF
cmake --build "$build" -j"$jobs" --target Thudra thudra-host thudra-wine-probe
echo "Built $build/Thudra.dll and $build/thudra-host.exe"
