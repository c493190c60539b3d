#!/usr/bin/env bash
# Builds a static libpng for 64-bit Windows from Debian's own source package
# with the mingw-w64 cross compiler, into the given prefix. Does nothing when
# it is already there.
#   scripts/cross-libpng.sh <prefix>
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
prefix="$(mkdir -p "$1" && cd "$1" && pwd)"
jobs="${JOBS:-$(nproc)}"

if [ -f "$prefix/lib/libpng16.a" ] && [ -f "$prefix/include/png.h" ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

# apt-get source needs a deb-src entry: made from the machine's own Debian
# package entries (the release and its security updates).
has_src() {
  grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/
}
if ! has_src; then
  sources="$(mktemp)"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
         /debian-archive-keyring/ && /Types:[^\n]*deb/ { sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f"
  done >"$sources"
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    sed -n 's/^deb \(.*debian.*\)$/deb-src \1/p' "$f"
  done >"$sources.list"
  if [ -s "$sources" ]; then
    $SUDO cp "$sources" /etc/apt/sources.list.d/thudra-src.sources
  fi
  if [ -s "$sources.list" ]; then
    $SUDO cp "$sources.list" /etc/apt/sources.list.d/thudra-src.list
  fi
  rm -f "$sources" "$sources.list"
  $SUDO apt-get update -qq
fi

work="$prefix/src"
rm -rf "$work"
mkdir -p "$work"
# The newest source first; the release's own when a mirror lacks that one.
fetched=0
for wanted in libpng1.6 libpng1.6/bookworm; do
  if (cd "$work" && apt-get source -qq "$wanted" >"$work/fetch.log" 2>&1); then
    fetched=1
    break
  fi
  find "$work" -mindepth 1 -maxdepth 1 ! -name fetch.log -exec rm -rf {} +
done
if [ "$fetched" -ne 1 ]; then
  cat "$work/fetch.log" >&2
  echo "cross-libpng: apt-get source libpng1.6 failed" >&2
  exit 1
fi
source_dir="$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'libpng1.6-*' | head -n1)"
if [ -z "$source_dir" ]; then
  echo "cross-libpng: apt-get source libpng1.6 gave no source folder" >&2
  exit 1
fi

zlib_root=/usr/x86_64-w64-mingw32
cmake -S "$source_dir" -B "$work/build" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DCMAKE_C_FLAGS="-ffp-contract=off" \
  -DZLIB_INCLUDE_DIR="$zlib_root/include" \
  -DZLIB_LIBRARY="$zlib_root/lib/libz.a" \
  -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
  -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_FILES=ON >"$work/configure.log"
cmake --build "$work/build" -j"$jobs" >"$work/build.log"
cmake --install "$work/build" >"$work/install.log"
# Without the shared library the static archive is the only libpng there.
if [ ! -f "$prefix/lib/libpng16.a" ]; then
  echo "cross-libpng: no libpng16.a was installed into $prefix/lib" >&2
  exit 1
fi
rm -rf "$work"
echo "libpng for Windows: $prefix"
