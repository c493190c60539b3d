#!/usr/bin/env bash
# The instrument playing a groove with several factory sounds into
# demo/thudra-demo.wav, a picture of one hit and a picture of the editor.
# Everything runs against a scratch documents folder, never the user's.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${1:-build}"
HOST="$BUILD/tools/host/thudra-host"
MODULE="$BUILD/Thudra.so"
mkdir -p demo

SCRATCH="$(mktemp -d)"
trap 'rm -rf "$SCRATCH"' EXIT
export HOME="$SCRATCH" XDG_CONFIG_HOME="$SCRATCH/.config"
"$BUILD/tools/thudra-utils/thudra-install-presets" "resources/presets/Factory Presets"
FACTORY="$SCRATCH/Documents/Tarvolin Instruments/Tarvolin Thudra Presets/Factory Presets"

PRESETS=()
for name in "01 Thudra Kick" "02 Deep Boom" "14 House Kick" "03 Tight Punch"; do
  if [ -f "$FACTORY/$name.tvpreset" ]; then PRESETS+=("$FACTORY/$name.tvpreset"); fi
done
if [ "${#PRESETS[@]}" -eq 0 ]; then
  echo "demo: no factory presets found" >&2
  exit 1
fi

# Two bars at 120 bpm per sound: four on the floor with a pickup and accents.
PATTERN=()
for time in 0 0.5 1.0 1.5 2.0 2.5 3.0 3.5; do
  PATTERN+=(--note "$time,36,120")
done
PATTERN+=(--note "3.75,36,100")

PARTS=()
for preset in "${PRESETS[@]}"; do
  part="$SCRATCH/part-${#PARTS[@]}.wav"
  echo "== $(basename "$preset" .tvpreset)"
  "$HOST" render "$MODULE" --out "$part" --rate 48000 --block 256 --length 4 \
    --preset "$preset" "${PATTERN[@]}"
  PARTS+=("$part")
done
python3 scripts/wavtool.py concat demo/thudra-demo.wav "${PARTS[@]}"
echo "demo/thudra-demo.wav: ${#PARTS[@]} sounds, $(( ${#PARTS[@]} * 4 )) s"

"$HOST" render "$MODULE" --out "$SCRATCH/hit.wav" --rate 48000 --length 0.8 --preset "${PRESETS[0]}" --note 0.05,36,127 >/dev/null
python3 scripts/wavtool.py plot "$SCRATCH/hit.wav" demo/thudra-hit.png 0.6

"$BUILD/tools/thudra-utils/thudra-editor-png" --out demo/thudra-editor.png --preset "${PRESETS[0]}"
echo "demo/thudra-editor.png: the editor with $(basename "${PRESETS[0]}" .tvpreset)"
