#!/usr/bin/env bash
# tools/fuzz.sh: builds a libFuzzer target and runs it.
#
# Usage: tools/fuzz.sh [SECONDS] [--target mtrx|api] [extra libFuzzer flags...]
# Runs for SECONDS (default 60). The target is the interpreter's (mtrx, the
# default, also chosen by FUZZ_TARGET) or the library's function-call target
# (api). The checked-in seeds (tests/fuzz/corpus and the golden scripts, or
# tests/fuzz/api_corpus) are read, never written: inputs the fuzzer finds go
# to build/fuzz/corpus (build/fuzz/api_corpus), which later runs start from.
# Findings are written to build/fuzz/findings (build/fuzz/api_findings) and
# make the script fail; inputs of past findings in tests/fuzz/reproducers
# (tests/fuzz/api_reproducers) run first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=60
if [[ $# -gt 0 && $1 =~ ^[0-9]+$ ]]; then
  seconds=$1
  shift
fi
target=${FUZZ_TARGET:-mtrx}
if [[ $# -gt 1 && $1 == --target ]]; then
  target=$2
  shift 2
fi
case "$target" in
  mtrx | api) ;;
  *) echo "tools/fuzz.sh: unknown target '$target' (mtrx or api)" >&2; exit 2 ;;
esac

"$root/tools/ensure-deps.sh" clang libclang-rt-14-dev nlohmann-json3-dev libhdf5-dev

build="$root/build/fuzz"
CXX=${FUZZ_CXX:-clang++} cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMATRIX_FUZZ=ON -DMATRIX_BUILD_TESTS=OFF -DMATRIX_BUILD_EXAMPLES=OFF \
  -DMATRIX_INSTALL=OFF -DMATRIX_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build "$build" -j"${FUZZ_BUILD_JOBS:-2}" --target "${target}_fuzz" >/dev/null

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

if [[ $target == api ]]; then
  mkdir -p "$build/api_corpus" "$build/api_findings"
  # Inputs of fixed findings first, each once; open ones wait in
  # tests/fuzz/api_reproducers/open.
  "$build/tests/fuzz/api_fuzz" -timeout=10 "$root"/tests/fuzz/api_reproducers/*.bin
  # A program stops after 64 steps, which 512 bytes mostly reach; longer
  # inputs only slowed the runs down.
  exec "$build/tests/fuzz/api_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=512 -print_final_stats=1 -artifact_prefix="$build/api_findings/" "$@" \
    "$build/api_corpus" "$root/tests/fuzz/api_corpus"
fi

mkdir -p "$build/corpus" "$build/findings"
# An empty working folder and no MTRXPATH: a call of an unknown name must not
# find function files lying around.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
unset MTRXPATH
# Inputs of fixed findings run first, each once, so a regression shows at
# once; open ones wait in tests/fuzz/reproducers/open.
"$build/tests/fuzz/mtrx_fuzz" -timeout=10 "$root"/tests/fuzz/reproducers/*.mtrx
"$build/tests/fuzz/mtrx_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -max_len=2048 -dict="$root/tests/fuzz/mtrx.dict" -print_final_stats=1 \
  -artifact_prefix="$build/findings/" "$@" \
  "$build/corpus" "$root/tests/fuzz/corpus" "$root/tests/scripts"
