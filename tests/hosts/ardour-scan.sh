#!/usr/bin/env bash
# A real host's plug-in scanner must index the module as an instrument.
# Skips (77) when Ardour is not installed.
set -euo pipefail
MODULE="$1"
SCANNER_DIR=/usr/lib/ardour7
SCANNER="$SCANNER_DIR/ardour-vst-scanner"
if [ ! -x "$SCANNER" ]; then
  echo "ardour-vst-scanner not installed: skipped"
  exit 77
fi
SCRATCH="$(mktemp -d)"
trap 'rm -rf "$SCRATCH"' EXIT
cp "$MODULE" "$SCRATCH/Thudra.so"
export HOME="$SCRATCH" XDG_CACHE_HOME="$SCRATCH/cache" XDG_CONFIG_HOME="$SCRATCH/config"
LD_LIBRARY_PATH="$SCANNER_DIR" timeout 120 "$SCANNER" -f "$SCRATCH/Thudra.so"
CACHE="$(find "$SCRATCH/cache" -name '*.v2i' | head -n 1)"
if [ -z "$CACHE" ]; then
  echo "FAIL: the scanner wrote no cache entry"
  exit 1
fi
cat "$CACHE"
fail=0
for expected in 'name="Tarvolin Thudra"' 'creator="Tarvolin Instruments"' 'category="Instrument"' \
                'n_inputs="0"' 'n_outputs="2"' 'is_instrument="1"' 'has_editor="1"'; do
  if ! grep -q "$expected" "$CACHE"; then
    echo "FAIL: expected $expected"
    fail=1
  fi
done
exit $fail
