#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite:
# once as built for use, then the window-free parts under ThreadSanitizer and
# under AddressSanitizer with UndefinedBehaviorSanitizer.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
"$here/scripts/install-deps.sh"

run_suite() {
  local dir=$1; shift
  cmake -S "$here" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure -j "$jobs")
}

run_suite "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$here/tests/tsan.supp" \
  run_suite "$here/build-tsan" -DCMAKE_BUILD_TYPE=Debug -DSHOPSCOPE_CORE_ONLY=ON -DSHOPSCOPE_SANITIZE=thread
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
  run_suite "$here/build-asan" -DCMAKE_BUILD_TYPE=Debug -DSHOPSCOPE_CORE_ONLY=ON -DSHOPSCOPE_SANITIZE=address,undefined
