#!/usr/bin/env bash
# tools/run-tests.sh: builds the library in Release, warnings as errors, and
# runs the whole test suite, the install-and-consume check included. It
# shares build/release with tools/run-example.sh, so the library built by one
# is reused by the other.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/ensure-deps.sh" liblapack-dev pkg-config libpcre2-dev nlohmann-json3-dev libfftw3-dev \
  libplplot-dev plplot-driver-cairo libpng-dev libhdf5-dev python3-h5py
build="$root/build/release"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DMATRIX_WARNINGS_AS_ERRORS=ON \
  -DMATRIX_BUILD_TESTS=ON -DMATRIX_INSTALL=ON
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" -j"$(nproc)" --output-on-failure
