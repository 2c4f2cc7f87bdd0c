#!/usr/bin/env bash
# tools/run-example.sh: the main job: builds the library and the mtrx
# interpreter, then runs the tour of examples/tour.mtrx through it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/ensure-deps.sh"
build="$root/build/example"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
  -DMATRIX_BUILD_TESTS=OFF -DMATRIX_BUILD_EXAMPLES=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target mtrx >/dev/null
"$build/src/mtrx/mtrx" "$root/examples/tour.mtrx"
