#!/usr/bin/env bash
# tools/run-example.sh: builds the library and runs the example program.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/ensure-deps.sh"
build="$root/build/example"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
  -DMATRIX_BUILD_TESTS=OFF -DMATRIX_BUILD_EXAMPLES=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target share_and_write >/dev/null
"$build/examples/share_and_write"
