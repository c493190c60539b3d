#!/usr/bin/env bash
# Builds the project under a sanitizer and runs its tests there.
#
#   scripts/sanitize.sh asan [build-folder]
#       address + undefined-behaviour sanitizers with leak checking; builds
#       everything and runs the whole ctest suite.
#   scripts/sanitize.sh tsan [build-folder]
#       thread sanitizer; runs the multi-threaded tests (stress, validator).
#
# JOBS sets the build's parallelism; STRESS_SECONDS the stress test's length.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

kind=${1:-}
case "$kind" in
  asan)
    flags="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
    areas=""  # every test folder
    ;;
  tsan)
    flags="-fsanitize=thread -fno-omit-frame-pointer"
    areas="stress;validator"
    ;;
  *)
    echo "usage: $0 asan|tsan [build-folder]" >&2
    exit 2
    ;;
esac
build=${2:-build-$kind}
jobs=${JOBS:-$(nproc)}

bash scripts/install-deps.sh

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTHUDRA_BENCH=OFF "-DTHUDRA_TEST_AREAS=$areas" \
  "-DCMAKE_C_FLAGS=$flags" "-DCMAKE_CXX_FLAGS=$flags" \
  "-DCMAKE_EXE_LINKER_FLAGS=$flags" "-DCMAKE_SHARED_LINKER_FLAGS=$flags" \
  "-DCMAKE_MODULE_LINKER_FLAGS=$flags"
cmake --build "$build" -j"$jobs"

# Sanitizer reports fail the test that produced them.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/scripts/tsan.supp"

cd "$build"
if [ "$kind" = tsan ]; then
  ctest --output-on-failure -j"$jobs" -R '^(stress|validator)_'
else
  # A foreign host built without the sanitizer (Ardour and its plug-in
  # scanner) cannot load an instrumented module, so those tests are left to
  # make test.
  ctest --output-on-failure -j"$jobs" -E '^ardour_'
fi
