#!/usr/bin/env bash
# Builds the benchmarks and runs them: solving per drive step against the
# closed-form four-bar, the set-up of every mechanism file, and one frame of
# the largest mechanism with a full trace on a private Xvfb.  Extra
# arguments go to every benchmark program (e.g. --benchmark_repetitions=5).
#   scripts/bench.sh [benchmark flags]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build-bench"
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" "$build" -DLINKMOTION_TESTS=OFF -DLINKMOTION_BENCH=ON

"$build/bench/bench_solve" "$@"
"$build/bench/bench_setup" "$@"
"$build/bench/bench_fact_check" "$@"

# A private X server on a display it picks itself; ended when this script ends.
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x1024x24 -noreset 3>"$fifo" >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; rm -f "$fifo"' EXIT
if ! read -r -t 30 display <"$fifo"; then
  echo "bench.sh: Xvfb did not start" >&2
  exit 1
fi
DISPLAY=":$display" "$build/bench/bench_frame" "$@"
