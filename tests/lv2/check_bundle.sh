#!/bin/bash
# The generated bundle as LV2's own tools see it: lv2_validate finds no
# error, and lilv (lv2info) lists the plug-in, its ports and its presets.
set -u
bundle="$1"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export HOME="$scratch/home"
mkdir -p "$HOME" "$scratch/path"
ln -s "$bundle" "$scratch/path/Thudra.lv2"
export LV2_PATH="$scratch/path"
failed=0
fail() { echo "FAIL: $*"; failed=1; }

validation=$(lv2_validate "$bundle"/*.ttl 2>&1)
echo "$validation" | grep -v '^Skipping' 
echo "$validation" | grep -q 'Found 0 errors' || fail "lv2_validate reports errors"
echo "$validation" | grep -qi 'warning' && fail "lv2_validate warns"

info=$(lv2info urn:tarvolin:thudra 2>&1)
echo "$info" | grep -q 'Name: *Tarvolin Thudra' || fail "lv2info does not list the plug-in"
echo "$info" | grep -q 'Author: *Tarvolin Instruments' || fail "no author"
echo "$info" | grep -q 'ui#X11UI' || fail "no X11 UI"
presets=$(echo "$info" | sed -n '/Presets:/,/^$/p' | grep -c '^\s*[0-9][0-9] ')
[ "$presets" -eq 18 ] || fail "lv2info lists $presets presets, not 18"
for symbol in control notify out_left out_right pitch accent decay tune_decay attack hold tune_depth \
              noise_decay distort midi_tune_flag midi_accent_flag learn clear trigger led; do
  echo "$info" | grep -q "Symbol: *$symbol\$" || fail "no port $symbol"
done
ports=$(echo "$info" | grep -c 'Symbol:')
[ "$ports" -eq 19 ] || fail "$ports ports, not 19"
# Whole semitones, switches, the pad as a trigger.
echo "$info" | awk '/Symbol: *pitch$/{f=1} f&&/Properties/{print; exit}' | grep -q 'lv2core#integer' \
  || fail "pitch is not an integer port"
echo "$info" | awk '/Symbol: *trigger$/{f=1} f&&/Properties/{getline; print; exit}' | grep -q 'port-props#trigger' \
  || fail "the pad is not a trigger"

# Only the two descriptors leave the binary.
exports=$(nm -D --defined-only "$bundle/thudra.so" | awk '{print $3}' | sort | tr '\n' ' ')
[ "$exports" = "lv2_descriptor lv2ui_descriptor " ] || fail "exports: $exports"
exit $failed
