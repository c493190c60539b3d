#!/usr/bin/env bash
# The layer check on small made-up trees: it passes a clean one and fails
# an include that runs upward or across to a sibling folder.
set -euo pipefail
check="$1"
tree="$(mktemp -d)"
trap 'rm -rf "$tree"' EXIT

file() { mkdir -p "$(dirname "$tree/$1")"; printf '%s\n' "${@:2}" > "$tree/$1"; }
expect() {
  local want="$1" what="$2" out rc=0
  out="$(bash "$check" "$tree" 2>&1)" || rc=$?
  if [[ "$want" == pass && $rc -ne 0 ]] || [[ "$want" == fail && $rc -eq 0 ]]; then
    echo "FAILED: $what (exit $rc): $out"; exit 1
  fi
  if [[ "$want" == fail && "$out" != *"$3"* ]]; then
    echo "FAILED: $what: the report does not name $3: $out"; exit 1
  fi
}

file platform/Lock.h '#pragma once' '#include <mutex>'
file base/GrowBuf.h '#pragma once' '#include "platform/Lock.h"'
file plugin/PlugBase.h '#pragma once' '#include "base/GrowBuf.h"' '#include "plugin/Missing.h"'
file graphics/x11/Window.cpp '#include "graphics/Editor.h"' '#include "plugin/PlugBase.h"'
file graphics/Editor.h '#pragma once'
expect pass "a tree whose includes run down"

file base/TextBuf.h '#pragma once' '  #  include "graphics/Editor.h"'
expect fail "an include from base up to graphics" "base/TextBuf.h includes graphics/Editor.h"
rm "$tree/base/TextBuf.h"

file raster/Ops.cpp '#include "vst2/Abi.h"'
file vst2/Abi.h '#pragma once'
expect fail "an include across to a sibling of the same layer" "raster/Ops.cpp includes vst2/Abi.h"
rm "$tree/raster/Ops.cpp"

file instrument/voice/Voice.cpp '#include "instrument/Thudrix.h"'
file instrument/Thudrix.h '#pragma once' '#include "instrument/voice/Voice.h"'
expect fail "the voice reaching up into its instrument" "instrument/voice/Voice.cpp includes instrument/Thudrix.h"
echo "the layer check passes and fails as it should"
