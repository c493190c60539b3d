#!/usr/bin/env bash
# Runs the Windows build under Wine: the module's imports and exports, its
# resources, the Win32 platform layer, the host's info and render commands,
# the same notes rendered by the Linux module for comparison, the editor
# window with a screenshot, the editor driven by mouse and key messages, and
# thudra-host.exe's editor window driven by the pointer.
#   tests/windows/run-wine-tests.sh [WIN_BUILD [LINUX_MODULE LINUX_HOST]]
# Exits 77 (skipped) when the cross build or Wine is missing.
set -uo pipefail

root="$(cd "$(dirname "$0")/../.." && pwd)"
win_build="${1:-$root/build-win64}"
linux_module="${2:-}"
linux_host="${3:-}"
dll="$win_build/Thudra.dll"
host_exe="$win_build/thudra-host.exe"
probe="$win_build/thudra-wine-probe.exe"

if [ ! -f "$dll" ] || [ ! -f "$host_exe" ] || [ ! -f "$probe" ]; then
  echo "SKIP: no cross build in $win_build (run 'make windows')"
  exit 77
fi
for tool in wine Xvfb x86_64-w64-mingw32-objdump python3; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed"
    exit 77
  fi
done

scratch="$(mktemp -d /tmp/thudra-wine.XXXXXX)"
# An empty home: Wine links the prefix's Documents and Desktop to it, so no
# user's presets are read and nothing is written outside the scratch folder.
export HOME="$scratch/home"
mkdir -p "$HOME"
export WINEPREFIX="$scratch/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
xvfb_pid=""
cleanup() {
  # Only what this script started: the prefix's wineserver and its Xvfb.
  WINEPREFIX="$scratch/prefix" wineserver -k >/dev/null 2>&1 || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; fi
  rm -rf "$scratch"
}
trap cleanup EXIT

# A display of our own, the first free one from :90.
for n in $(seq 90 120); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    break
  fi
done
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/${DISPLAY#:}" ] || [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] && break; sleep 0.1; done

passed=0
failed=0
pass() { echo "PASS: $1"; passed=$((passed + 1)); }
fail() { echo "FAIL: $1"; failed=$((failed + 1)); }

# 1. The module imports nothing but Windows system DLLs and exports exactly
#    the two entry points; libgcc, libstdc++ and winpthread are inside it.
imports="$(x86_64-w64-mingw32-objdump -p "$dll" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)"
system_dlls=" kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll comdlg32.dll wininet.dll msvcrt.dll ole32.dll "
foreign=""
for name in $imports; do
  case "$system_dlls" in *" $name "*) ;; *) foreign="$foreign $name" ;; esac
done
if [ -n "$imports" ] && [ -z "$foreign" ]; then
  pass "imports only system DLLs: $(echo $imports)"
else
  fail "imports DLLs outside the system:$foreign"
fi
exports="$(x86_64-w64-mingw32-objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\t\[ *[0-9]*\] //p' | sort | tr '\n' ' ')"
if [ "$exports" = "VSTPluginMain main " ]; then pass "exports VSTPluginMain and main"; else fail "exports: $exports"; fi

wine wineboot -i >/dev/null 2>&1

run_probe() {
  local name="$1"; shift
  local output
  output="$(wine "$probe" "$@" 2>&1 | tr -d '\r')"
  local status=$?
  echo "$output" | sed 's/^/    /'
  if [ $status -eq 0 ] && ! echo "$output" | grep -q '^FAIL'; then pass "$name"; else fail "$name"; fi
}

# 2. Resources, the platform layer, bitmaps and text.
run_probe "PNG resources 101-109 and the manifest" resources "$(winepath -w "$dll" 2>/dev/null)" "$(winepath -w "$root/resources/img" 2>/dev/null)"
mkdir -p "$scratch/files"
run_probe "Win32 files, folders and locks" platform "$(winepath -w "$scratch/files" 2>/dev/null)"
run_probe "DIB sections, GDI glyphs and system text" raster

# 3. The Windows host loads the module and prints its identity.
info="$(wine "$host_exe" info "$dll" 2>&1 | tr -d '\r')"
if echo "$info" | grep -q "effect:      Tarvolin Thudra" && echo "$info" | grep -q "parameters:  17"; then
  pass "thudra-host.exe info"
else
  fail "thudra-host.exe info"; echo "$info" | sed 's/^/    /'
fi

# 4. The same notes through both modules: the samples must match.
notes=(--note 0,36,100 --note 0.25,43,30 --note 0.5,48,127 --note 0.9,30,64
       --param Pitch=0.3 --param MidiTuneFlag=1 --param MidiAccentFlag=1 --length 1.5 --rate 44100 --block 100)
if wine "$host_exe" render "$dll" --out "$(winepath -w "$scratch/win.wav")" "${notes[@]}" >/dev/null 2>&1 &&
   [ -f "$scratch/win.wav" ]; then
  pass "thudra-host.exe render"
else
  fail "thudra-host.exe render"
fi
if [ -n "$linux_module" ] && [ -x "$linux_host" ] && [ -f "$linux_module" ]; then
  # An empty home on both sides: no user's presets change the start-up sound.
  linux_env=(env HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/.config")
  for precision in single double; do
    extra=()
    [ "$precision" = double ] && extra=(--double)
    wine "$host_exe" render "$dll" --out "$(winepath -w "$scratch/win-$precision.wav")" "${notes[@]}" "${extra[@]}" >/dev/null 2>&1
    "${linux_env[@]}" "$linux_host" render "$linux_module" --out "$scratch/linux-$precision.wav" "${notes[@]}" "${extra[@]}" >/dev/null 2>&1
    comparison="$(python3 "$root/tests/windows/compare_wav.py" "$scratch/linux-$precision.wav" "$scratch/win-$precision.wav" 2>&1)"
    status=$?
    echo "    $precision-precision processing: $comparison"
    if [ $status -eq 0 ]; then
      pass "Linux and Windows render the same samples ($precision-precision processing)"
    else
      fail "Linux and Windows renders differ ($precision-precision processing)"
    fi
  done
  linux_info="$("${linux_env[@]}" "$linux_host" info "$linux_module" 2>&1 | grep -v '^module:')"
  if [ "$linux_info" = "$(echo "$info" | grep -v '^module:')" ]; then
    pass "info reads the same from both modules"
  else
    fail "info differs between the modules"
    diff <(echo "$linux_info") <(echo "$info" | grep -v '^module:') | sed 's/^/    /'
  fi
else
  echo "    (no Linux module given: render comparison left out)"
fi

# 5. The editor window in a host window, and a screenshot of it.
shot_dir="${THUDRA_WINE_SHOT_DIR:-$win_build}"
run_probe "editor window opens, paints and closes" editor "$(winepath -w "$dll")" "$(winepath -w "$scratch/editor.bmp")"
if [ -f "$scratch/editor.bmp" ]; then
  if python3 "$root/tests/windows/bmp_to_png.py" "$scratch/editor.bmp" "$shot_dir/editor-wine.png"; then
    pass "editor screenshot has the artwork: $shot_dir/editor-wine.png"
  else
    fail "editor screenshot is blank or unreadable"
  fi
fi

# 6. Mouse messages to the editor's window turn the Decay knob up by 40
#    pixels and click the tune-by-MIDI switch: the parameters, the host's
#    begin / automate / end calls, and the picture in both controls change.
run_probe "mouse input turns a knob and toggles a switch" mouse "$(winepath -w "$dll")" \
  "$(winepath -w "$scratch/mouse-before.bmp")" "$(winepath -w "$scratch/mouse-after.bmp")"
if [ -f "$scratch/mouse-before.bmp" ] && [ -f "$scratch/mouse-after.bmp" ]; then
  # The Decay knob's 50 x 50 frame and the switch's 45 x 16 frame.
  comparison="$(python3 "$root/tests/windows/compare_shots.py" "$scratch/mouse-before.bmp" "$scratch/mouse-after.bmp" \
                knob=395,127,445,177 switch=34,170,79,186 2>&1)"
  status=$?
  echo "$comparison" | sed 's/^/    /'
  if [ $status -eq 0 ]; then
    pass "the knob and the switch are redrawn after the input"
    python3 "$root/tests/windows/bmp_to_png.py" "$scratch/mouse-after.bmp" "$shot_dir/editor-wine-mouse.png" >/dev/null 2>&1 ||
      echo "    (the picture after the input could not be kept)"
  else
    fail "the picture did not change in the knob's and the switch's areas"
  fi
else
  fail "no screenshots before and after the mouse input"
fi

# 7. Keys, middle clicks, the entry box, marks above capitals and menu texts.
run_probe "every key the editor does not use reaches the host's window" keys "$(winepath -w "$dll")"
run_probe "middle clicks leave no control pressed, captured or in an edit" middle "$(winepath -w "$dll")"
run_probe "the entry box shows its whole value and the editor paints around it" entry
run_probe "glyphs keep the marks above capitals" marks
run_probe "menu items show \"&\" and names outside ASCII" menu "$(winepath -w "$dll")"

# 8. thudra-host.exe as a user meets it: its screenshot against the Linux
#    module's picture of the same state, the editor window driven by the
#    pointer, and preset names in the strip.
pictures="$root/tests/windows/compare_pictures.py"
documents="$(winepath -u "$(wine "$probe" documents 2>/dev/null | tr -d '\r')" 2>/dev/null)"
factory="$documents/Tarvolin Instruments/Tarvolin Thudra Presets/Factory Presets"
shoot() {  # shoot NAME OUT.png: the editor with NAME as the only factory sound
  rm -rf "$factory"
  if [ -n "$1" ]; then mkdir -p "$factory" && printf 'Pitch=0.5\n' >"$factory/$1.tvpreset"; fi
  wine "$host_exe" screenshot "$dll" --out "$(winepath -w "$2")" >/dev/null 2>&1 && [ -f "$2" ]
}
# The value readout's text is drawn by each platform's own fonts.
readout=496,347,544,359
if shoot "" "$scratch/blank.png"; then
  pass "thudra-host.exe screenshot"
  if [ -n "$linux_module" ] && [ -x "$linux_host" ] && [ -f "$linux_module" ]; then
    "${linux_env[@]}" "$linux_host" screenshot "$linux_module" --out "$scratch/linux.png" >/dev/null 2>&1
    comparison="$(python3 "$pictures" same "$scratch/linux.png" "$scratch/blank.png" --except $readout 2>&1)"
    status=$?
    echo "    $comparison"
    if [ $status -eq 0 ]; then pass "the Windows editor's picture is the Linux editor's"; else fail "the Windows and Linux pictures differ"; fi
  fi
else
  fail "thudra-host.exe screenshot"
fi

# The pointer turns Decay up 40 pixels, middle-clicks the pad, a knob and an
# arrow, left-clicks the tune switch, and Alt+F4 (passed on by the editor to
# the host's window) closes it.
if command -v xdotool >/dev/null; then
  wine "$host_exe" gui "$dll" --seconds 60 --out "$(winepath -w "$scratch/gui.png")" >"$scratch/gui.txt" 2>&1 &
  gui_pid=$!
  origin=""
  for _ in $(seq 300); do
    origin="$(sed -n 's/.* at \([0-9]*\),\([0-9]*\) on the screen.*/\1 \2/p' "$scratch/gui.txt" 2>/dev/null | tr -d '\r')"
    [ -n "$origin" ] && break
    sleep 0.1
  done
  # The window on the X display, not just created, before the pointer moves.
  if [ -n "$origin" ] && timeout 20 xdotool search --sync --onlyvisible --name "^Tarvolin Thudra$" >/dev/null; then
    read -r ox oy <<<"$origin"
    at() { echo $((ox + $1)) $((oy + $2)); }
    # Each step waits until the pointer is there, so no event is lost.
    xdotool mousemove --sync $(at 420 152) mousedown 1
    for step in 1 2 3 4 5 6 7 8; do xdotool mousemove --sync $(at 420 $((152 - 5 * step))); done
    xdotool mouseup 1
    for place in "519 139" "420 152" "402 29"; do xdotool mousemove --sync $(at $place) click 2; done
    xdotool mousemove --sync $(at 56 178) click 1
    xdotool key alt+F4
  fi
  wait "$gui_pid"
  tr -d '\r' <"$scratch/gui.txt" | grep -E 'showing|gesture| (Decay|MidiTuneFlag|Trigger) =' | sed 's/^/    /'
  value() { tr -d '\r' <"$scratch/gui.txt" | sed -n "s/^parameter [0-9]* $1 = //p"; }
  if [ -n "$origin" ] && python3 -c "import sys; sys.exit(abs(float('$(value Decay)') - 0.7) > 0.005)" 2>/dev/null &&
     [ "$(value MidiTuneFlag)" = 1.000000 ] && [ "$(value Trigger)" = 0.000000 ] &&
     grep -q "edit gestures: all closed" "$scratch/gui.txt"; then
    pass "thudra-host.exe gui: the drag turns Decay, the click sets the switch, every gesture is closed"
  else
    fail "thudra-host.exe gui: the pointer's work did not arrive as it should"
  fi
  # Apart from the knob, the switch and the readout, the last picture is the
  # first: no pad, arrow or light left on by the middle clicks.
  comparison="$(python3 "$pictures" same "$scratch/blank.png" "$scratch/gui.png" \
                --except 395,127,445,177 --except 34,170,79,186 --except $readout 2>&1)"
  status=$?
  echo "    $comparison"
  if [ $status -eq 0 ] && python3 "$pictures" changed "$scratch/blank.png" "$scratch/gui.png" 395,127,445,177 >/dev/null; then
    pass "thudra-host.exe gui: nothing stays pressed or lit"
  else
    fail "thudra-host.exe gui: the last picture shows more than the knob and switch changed"
  fi
else
  echo "    (xdotool is missing: the pointer flow is left out)"
fi

# Names in the strip. Wine draws with its own fonts, unlike the Linux
# module's FreeType faces, so the text is checked by its pixels rather than
# against the Linux picture: the dots of a capital above its top, the "&"
# drawn (not taken as a shortcut mark, so the name is wider than without
# it), Cyrillic drawn at all.
strip=170,0,422,45
names=("Ubersteuert" "Übersteuert" "Kick Snare" "Kick & Snare" "Бочка")
shots_ok=1
for i in "${!names[@]}"; do shoot "${names[$i]}" "$scratch/name-$i.png" || shots_ok=0; done
rm -rf "$factory"
check_names() {
  python3 "$pictures" marks "$scratch/blank.png" "$scratch/name-0.png" "$scratch/name-1.png" $strip &&
  python3 "$pictures" wider "$scratch/blank.png" "$scratch/name-2.png" "$scratch/name-3.png" $strip &&
  python3 "$pictures" changed "$scratch/blank.png" "$scratch/name-4.png" $strip
}
if [ $shots_ok -eq 1 ] && comparison="$(check_names 2>&1)"; then
  echo "$comparison" | sed 's/^/    /'
  pass "the strip shows marks above capitals, \"&\" and Cyrillic"
else
  echo "${comparison:-}" | sed 's/^/    /'
  fail "the strip's names"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
