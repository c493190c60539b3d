#!/usr/bin/env bash
# Fails when a source file includes one from a higher layer, or from another
# folder of its own layer. The layers, lowest first (folders on one line are
# siblings that must not include each other):
#   platform, instrument/voice   the operating system; the sound itself
#   base                         buffers and text: the ground floor
#   plugin                       the interface-neutral plug-in framework
#   raster, vst2                 pixels; the VST2 face of the framework
#   graphics                     the editor core and its X11 and Win32 windows
#   presets                      preset files, folder scans, the preset strip
#   instrument                   Thudrix: parameters, editor layout, MIDI learn
#   lv2                          the LV2 plug-in and UI around the instrument
#   tools                        thudra-host and the build-time generators
#   bench, fuzz                  the measuring and fuzzing programs
# A folder below a listed one belongs to it unless listed itself. Includes
# that name no file of the tree (system and generated headers) are skipped;
# tests may include anything and are not read.
#   scripts/check-layers.sh [source root]
set -euo pipefail

root="$(cd "${1:-$(dirname "$0")/..}" && pwd)"

layers=(
  "platform instrument/voice"
  "base"
  "plugin"
  "raster vst2"
  "graphics"
  "presets"
  "instrument"
  "lv2"
  "tools"
  "bench fuzz"
)

declare -A level
for i in "${!layers[@]}"; do
  for folder in ${layers[$i]}; do level[$folder]=$i; done
done

# The listed folder a path belongs to (the longest listed prefix), or "".
owner() {
  local path="$1" best="" folder
  for folder in "${!level[@]}"; do
    if [[ "$path" == "$folder/"* && ${#folder} -gt ${#best} ]]; then best="$folder"; fi
  done
  printf '%s' "$best"
}

cd "$root"
failures=0
while IFS= read -r -d '' file; do
  from="$(owner "$file")"
  [[ -n "$from" ]] || continue
  while IFS= read -r included; do
    [[ -f "$included" ]] || continue
    to="$(owner "$included")"
    [[ -n "$to" && "$to" != "$from" ]] || continue
    if (( level[$to] >= level[$from] )); then
      echo "$file includes $included: $from may not include $to" >&2
      failures=$((failures + 1))
    fi
  done < <(sed -nE 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/p' "$file")
done < <(find "${!level[@]}" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.c' \) -print0 2>/dev/null)

if (( failures > 0 )); then
  echo "$failures include(s) run against the layers" >&2
  exit 1
fi
echo "includes follow the layers"
