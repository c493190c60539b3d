#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour
# sanitizers) and runs each for a bounded time on its seed corpus.
#
#   scripts/fuzz.sh [build-folder] [target ...]
#
# FUZZ_SECONDS (default 30) is the time per target. Inputs the fuzzer finds
# new go to <build-folder>/corpus/<target>/, never into the committed seeds.
# A failing input is copied to fuzz/crashes/<target>/, where the validator's
# regression tests replay it in every ordinary build, and the run fails.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

build=${1:-build-fuzz}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(chunk preset png events paramtext fonttext)
seconds=${FUZZ_SECONDS:-30}
jobs=${JOBS:-$(nproc)}

bash scripts/install-deps.sh
if ! command -v clang++-14 >/dev/null || [ ! -d /usr/lib/clang/14/lib/linux ] ||
   ! ls /usr/lib/clang/14/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends clang-14 libclang-rt-14-dev
fi

flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g"
CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTHUDRA_TESTS=OFF -DTHUDRA_BENCH=OFF \
  "-DCMAKE_PROJECT_Thudra_INCLUDE=$root/fuzz/AddFuzzTargets.cmake" \
  "-DCMAKE_C_FLAGS=$flags" "-DCMAKE_CXX_FLAGS=$flags" \
  "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined"
cmake --build "$build" -j"$jobs" --target $(printf 'fuzz_%s ' "${targets[@]}")

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

failed=()
summary=""
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  artifacts="$build/artifacts/$target"
  mkdir -p "$corpus" "$artifacts"
  log="$build/fuzz-$target.log"
  echo "== fuzz_$target for ${seconds} s"
  set +e
  "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
    -max_len=4096 -print_final_stats=1 -artifact_prefix="$artifacts/" \
    "$corpus" "fuzz/corpus/$target" >"$log" 2>&1
  status=$?
  set -e
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
  summary+="fuzz_$target: $runs inputs in ${seconds} s"$'\n'
  if [ $status -ne 0 ]; then
    tail -n 60 "$log"
    mkdir -p "fuzz/crashes/$target"
    for found in "$artifacts"/*; do
      [ -f "$found" ] && cp "$found" "fuzz/crashes/$target/" && echo "saved fuzz/crashes/$target/$(basename "$found")"
    done
    failed+=("$target")
  fi
done
printf '%s' "$summary"
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz targets that failed: ${failed[*]}"
  exit 1
fi
