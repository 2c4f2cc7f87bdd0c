#!/usr/bin/env bash
# tools/run-example.sh: the main job: builds the library and the mtrx
# interpreter, then runs the tour of examples/tour.mtrx through it, and
# examples/plots.mtrx, whose pictures go to build/release/plots.
#
# The build shares build/release with tools/run-tests.sh (same flags), so
# whichever runs second compiles nothing twice. Its progress goes to standard
# error, the tour alone to standard output.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/ensure-deps.sh" pkg-config libplplot-dev plplot-driver-cairo libhdf5-dev
build="$root/build/release"
echo "== configuring $build" >&2
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DMATRIX_WARNINGS_AS_ERRORS=ON >/dev/null
echo "== building mtrx (a few minutes the first time)" >&2
cmake --build "$build" -j"$(nproc)" --target mtrx >&2
echo "== running examples/tour.mtrx with $build/src/mtrx/mtrx" >&2
"$build/src/mtrx/mtrx" "$root/examples/tour.mtrx"
plots="$build/plots"
mkdir -p "$plots"
echo "== running examples/plots.mtrx, pictures in $plots" >&2
MTRX_PLOTS_DIR="$plots" "$build/src/mtrx/mtrx" "$root/examples/plots.mtrx" >&2
