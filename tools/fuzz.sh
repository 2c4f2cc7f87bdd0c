#!/usr/bin/env bash
# tools/fuzz.sh: builds the interpreter's libFuzzer target and runs it.
#
# Usage: tools/fuzz.sh [SECONDS] [extra libFuzzer flags...]
# Runs for SECONDS (default 60). The checked-in seeds (tests/fuzz/corpus and
# the golden scripts) are read, never written: inputs the fuzzer finds go to
# build/fuzz/corpus, which later runs start from. Findings are written to
# build/fuzz/findings and make the script fail; inputs of past findings in
# tests/fuzz/reproducers run first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true

"$root/tools/ensure-deps.sh" clang libclang-rt-14-dev

build="$root/build/fuzz"
CXX=${FUZZ_CXX:-clang++} cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMATRIX_FUZZ=ON -DMATRIX_BUILD_TESTS=OFF -DMATRIX_BUILD_EXAMPLES=OFF \
  -DMATRIX_INSTALL=OFF -DMATRIX_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build "$build" -j"${FUZZ_BUILD_JOBS:-2}" --target mtrx_fuzz >/dev/null

mkdir -p "$build/corpus" "$build/findings"
# An empty working folder and no MTRXPATH: a call of an unknown name must not
# find function files lying around.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
unset MTRXPATH
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
# Inputs of fixed findings run first, each once, so a regression shows at
# once; open ones wait in tests/fuzz/reproducers/open.
"$build/tests/fuzz/mtrx_fuzz" -timeout=10 "$root"/tests/fuzz/reproducers/*.mtrx
"$build/tests/fuzz/mtrx_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -max_len=2048 -dict="$root/tests/fuzz/mtrx.dict" -print_final_stats=1 \
  -artifact_prefix="$build/findings/" "$@" \
  "$build/corpus" "$root/tests/fuzz/corpus" "$root/tests/scripts"
