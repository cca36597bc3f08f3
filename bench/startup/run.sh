#!/usr/bin/env bash
# Builds the program and the start-up benchmark, then runs the benchmark on a
# virtual display of its own. Arguments go to bench_startup (--rounds N, ...).
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=${SHOPSCOPE_BENCH_BUILD:-$here/build-bench}
SHOPSCOPE_WITH_BENCH=1 "$here/scripts/install-deps.sh"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSHOPSCOPE_BENCH=ON >/dev/null
cmake --build "$build" --target bench_startup
exec xvfb-run -a -s "-screen 0 1280x800x24" "$build/bench/startup/bench_startup" "$@"
