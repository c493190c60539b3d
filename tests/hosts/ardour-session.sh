#!/usr/bin/env bash
# Headless Ardour 7 plays the instrument from a MIDI region and exports it;
# every hit must land on its note's sample at thudra-host's level, and a saved
# session must reopen with the same parameter values.
#
# ardour-session.sh PLUGIN THUDRA_HOST FACTORY_PRESETS [SETTINGS]
#   PLUGIN            Thudra.so (LXVST); an .lv2 bundle is loaded as LV2
#   SETTINGS          "index=value,..." set in order before saving, in the
#                     plug-in's own parameter numbering (default: the VST2's)
# Skips (77) when ardour7-lua or jackd is missing. The JACK dummy server
# sometimes drops Ardour's client (its requests arrive garbled); the phase it
# happened in is retried, up to six times.
set -uo pipefail
PLUGIN="$(realpath "$1")"
HOST_TOOL="$(realpath "$2")"
FACTORY="$(realpath "$3")"
HERE="$(cd "$(dirname "$0")" && pwd)"
PLUGIN_NAME="Tarvolin Thudra"
RATE=48000
PERIOD=512
ATTEMPTS=6
ARDOUR_LUA=ardour7-lua
SCANNER_DIR=/usr/lib/ardour7

for tool in "$ARDOUR_LUA" jackd jack_wait; do
  if ! command -v "$tool" >/dev/null; then
    echo "$tool not installed: skipped"
    exit 77
  fi
done

SCRATCH="$(mktemp -d)"
JACK_PID=""
stop_jack() {
  if [ -n "$JACK_PID" ]; then
    kill "$JACK_PID" 2>/dev/null
    wait "$JACK_PID" 2>/dev/null
    JACK_PID=""
  fi
}
trap 'stop_jack; [ -n "${KEEP_SCRATCH:-}" ] || rm -rf "$SCRATCH"' EXIT

# The scratch HOME: the plug-in, Ardour's plug-in cache, an export
# preset for 32-bit float WAV, and the factory sounds (so a preset press has
# something to step to).
prepare_home() {
  local home="$1"
  mkdir -p "$home/plugins" "$home/.config/ardour7/export" \
           "$home/Documents/Tarvolin Instruments/Tarvolin Thudra Presets"
  export HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_CACHE_HOME="$home/.cache" \
         XDG_DATA_HOME="$home/.local/share"
  cp -r "$FACTORY" "$home/Documents/Tarvolin Instruments/Tarvolin Thudra Presets/"
  cat >"$home/.config/ardour7/export/thudra-test.preset" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<ExportPreset id="5d6a1d45-7b1e-4a3a-9d1e-3f1a7c0de001" name="Thudra test: 32-bit float WAV">
  <ExportFormat id="20b4ab09-6452-4cb3-bd66-b921cdbd2942"/>
  <ExportFilename>
    <Folder relative="0" path=""/>
    <Field name="label" enabled="1"/>
    <Field name="session" enabled="0"/>
    <Field name="snapshot" enabled="0"/>
    <Field name="timespan" enabled="0"/>
    <Field name="revision" enabled="0"/>
    <Field name="time" enabled="0" value="T_None"/>
    <Field name="date" enabled="0" value="D_None"/>
  </ExportFilename>
</ExportPreset>
EOF
  case "$PLUGIN" in
    *.lv2|*.lv2/)
      PLUGIN_TYPE=LV2
      cp -r "$PLUGIN" "$home/plugins/"
      export LV2_PATH="$home/plugins:/usr/lib/lv2"
      ;;
    *)
      PLUGIN_TYPE=LXVST
      cp "$PLUGIN" "$home/plugins/"
      # Ardour reads VST2 plug-ins from its scanner's cache only, and takes a
      # cache entry as stale unless it is strictly newer than the module.
      touch -d "@$(( $(date +%s) - 60 ))" "$home/plugins/$(basename "$PLUGIN")"
      export LXVST_PATH="$home/plugins"
      if ! LD_LIBRARY_PATH="$SCANNER_DIR" timeout 60 "$SCANNER_DIR/ardour-vst-scanner" \
           -f "$home/plugins/$(basename "$PLUGIN")" >"$home/scan.log" 2>&1; then
        cat "$home/scan.log"
        echo "FAIL: Ardour's scanner could not index the plug-in"
        exit 1
      fi
      ;;
  esac
}

# Knobs and a switch set, then "next sound" pressed, then a knob tweaked
# after the press: the saved session must reopen with exactly these values.
SETTINGS="${4:-2=0.25,8=0.8,9=1,16=1,1=0.7}"

# 0 done, 2 the JACK server dropped Ardour (retry), anything else a failure.
# A dropped client shows as garbled requests in the server's log and JACK
# errors in Ardour's; Ardour then stops, hangs or crashes.
run_ardour() {
  local log="$1" server_log="$2"; shift 2
  timeout 30 "$ARDOUR_LUA" -X "$HERE/ardour-session.lua" "$@" >"$log" 2>&1
  local rc=$?
  if [ $rc -ne 0 ] && { grep -qE "JACK HALTED|Engine halted|\[ERROR\]: JACK:|audio engine stopped|did not start" "$log" ||
                        grep -qaE "CheckSize error|Unknown request" "$server_log"; }; then
    rc=2
  fi
  # Ardour 7.3 itself sometimes crashes or hangs on a fresh dummy server; a
  # fault of the plug-in's would repeat on every attempt and still fail.
  if [ $rc -eq 139 ] || [ $rc -eq 124 ]; then rc=2; fi
  return $rc
}

# One phase in its own Ardour process on a fresh JACK server, retried from
# the session as the previous phase left it when the server drops Ardour.
run_phase() {
  local phase="$1"; shift
  local snapshot="$WORK/before-$phase" rc=2 attempt
  [ -d "$WORK/thudra" ] && cp -a "$WORK/thudra" "$snapshot"
  for attempt in $(seq 1 $ATTEMPTS); do
    rm -rf "$WORK/thudra"
    [ -d "$snapshot" ] && cp -a "$snapshot" "$WORK/thudra"
    export JACK_DEFAULT_SERVER="thudra-test-$$-$phase-$attempt" JACK_NO_START_SERVER=1
    jackd --no-realtime -d dummy -r "$RATE" -p "$PERIOD" -C 0 -P 0 >"$WORK/jackd-$phase-$attempt.log" 2>&1 &
    JACK_PID=$!
    if jack_wait -w -t 10 >/dev/null 2>&1; then
      run_ardour "$WORK/$phase-$attempt.log" "$WORK/jackd-$phase-$attempt.log" "$phase" "$WORK" "$@"
      rc=$?
    else
      rc=2
    fi
    stop_jack
    if [ $rc -ne 2 ]; then
      break
    fi
    echo "$phase: the JACK dummy server dropped Ardour (attempt $attempt of $ATTEMPTS)"
    # Drops come in bursts while the machine is busy: wait a little longer
    # before each new attempt.
    [ "$attempt" -lt "$ATTEMPTS" ] && sleep "$attempt"
  done
  if [ $rc -ne 0 ]; then
    grep -v '^\[Info\]' "$WORK/$phase-$attempt.log" | tail -n 15
    echo "FAIL: Ardour's $phase phase failed (exit $rc)"
    exit 1
  fi
}

WORK="$SCRATCH/run"
mkdir -p "$WORK"
prepare_home "$WORK/home"
run_phase create "$PLUGIN_NAME" "$PLUGIN_TYPE"
run_phase play "$SETTINGS"
run_phase reopen

# thudra-host renders the same notes, in the same scratch HOME (same start-up
# sound), once with all of them and once without each, which shows where
# each hit begins even inside the previous hit's tail. The notes come after a
# lead-in: Ardour has run the instrument for a while before it exports, and
# the voice's first moments after creation sound different.
LEAD_IN=3
EXPORTED="$(find "$WORK/export" -name '*.wav' | head -n 1)"
if [ -z "$EXPORTED" ]; then
  echo "FAIL: Ardour exported no WAV file"
  exit 1
fi
mapfile -t NOTES < <(awk '/^NOTE/ {print $2, $3, $4}' "$WORK/played.txt")
note_args() {  # all notes but the one numbered $1 (none when $1 is -1)
  local skip="$1" i=0 sample key velocity
  for line in "${NOTES[@]}"; do
    read -r sample key velocity <<<"$line"
    if [ $i -ne "$skip" ]; then
      printf -- '--note %s,%s,%s ' "$(awk -v s="$sample" -v l="$LEAD_IN" -v r="$RATE" 'BEGIN { printf "%.10f", l + s / r }')" "$key" "$velocity"
    fi
    i=$((i + 1))
  done
}
render() {
  # shellcheck disable=SC2046
  if ! "$HOST_TOOL" render "$PLUGIN" --out "$1" --rate "$RATE" --block "$PERIOD" \
       --length $((LEAD_IN + 2)) $(note_args "$2") >"$WORK/render.log" 2>&1; then
    cat "$WORK/render.log"
    echo "FAIL: thudra-host render failed"
    exit 1
  fi
}
render "$WORK/reference.wav" -1
for i in "${!NOTES[@]}"; do
  render "$WORK/without$i.wav" "$i"
done

"$ARDOUR_LUA" "$HERE/render-compare.lua" "$WORK" "$EXPORTED" $((LEAD_IN * RATE)) 2>&1 | grep -v '^\['
exit "${PIPESTATUS[0]}"
