#!/usr/bin/env bash
# tools/valgrind.sh: runs the test programs, the golden scripts and the
# examples under valgrind memcheck; fails on any error or definite leak.
#
# Usage: tools/valgrind.sh [--subset] [--jobs N]
# --subset runs only the core, index and Array tests and the golden scripts
# (what CI affords); without it everything runs. The build is
# RelWithDebInfo without sanitizers, in build/valgrind, with every data
# buffer ending at the end of its heap block and no cache of freed blocks,
# so that an access past a buffer or to a freed one is reported. Each run's
# report is kept in build/valgrind/memcheck/. VALGRIND_GTEST_FILTER narrows
# the test programs (a GoogleTest filter; see the default below).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
subset=0
jobs=2
while [ $# -gt 0 ]; do
  case "$1" in
    --subset) subset=1 ;;
    --jobs) jobs=$2; shift ;;
    *) echo "usage: $0 [--subset] [--jobs N]" >&2; exit 2 ;;
  esac
  shift
done

"$root/tools/ensure-deps.sh" valgrind liblapack-dev pkg-config

build="$root/build/valgrind"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS=-DMATRIX_TIGHT_BUFFERS -DMATRIX_WARNINGS_AS_ERRORS=ON \
  -DMATRIX_BUILD_TESTS=ON -DMATRIX_BUILD_EXAMPLES=ON -DMATRIX_INSTALL=OFF >/dev/null
if [ $subset -eq 1 ]; then
  targets=(core_test memory_test alloc_sweep_test index_test array_test mtrx)
else
  targets=(all)
fi
cmake --build "$build" -j"$jobs" --target "${targets[@]}" >/dev/null

logs="$build/memcheck"
rm -rf "$logs"
mkdir -p "$logs"

# A wrapper per program, so that the CMake drivers of the golden checks run
# it under valgrind unchanged. Reports go to files: the programs' own output
# is compared byte for byte. The tests' own operator new (which counts
# blocks and fails chosen allocations) stays in place of valgrind's.
wrap() {
  local program=$1 wrapper="$logs/wrap-$(basename "$1")"
  cat >"$wrapper" <<EOF
#!/usr/bin/env bash
exec valgrind --tool=memcheck --error-exitcode=99 --leak-check=full \\
  --show-leak-kinds=definite --errors-for-leak-kinds=definite --num-callers=50 \\
  --suppressions="$root/tools/valgrind.supp" --soname-synonyms=somalloc=nouserintercepts \\
  --log-file="$logs/$(basename "$1").%p.log" "$program" "\$@"
EOF
  chmod +x "$wrapper"
  echo "$wrapper"
}

# One line per run: a name, then the command.
plan="$logs/plan"
: >"$plan"
if [ $subset -eq 1 ]; then
  programs=(core/core_test core/memory_test core/alloc_sweep_test index/index_test
    array/array_test)
else
  programs=()
  for exe in "$build"/tests/*/*_test; do programs+=("${exe#"$build/tests/"}"); done
fi
filter=${VALGRIND_GTEST_FILTER:-*}
for p in "${programs[@]}"; do
  echo "test:$p $(wrap "$build/tests/$p") --gtest_filter=$filter --gtest_brief=1" >>"$plan"
done
mtrx=$(wrap "$build/src/mtrx/mtrx")
for script in "$root"/tests/scripts/*.mtrx; do
  name=$(basename "$script" .mtrx)
  echo "script:$name cmake -DMTRX=$mtrx -DNAME=$name -DDIR=$root/tests/scripts" \
    "-P $root/tests/scripts/run_script.cmake" >>"$plan"
done
if [ $subset -eq 0 ]; then
  for name in tour numerical_methods; do
    echo "example:$name cmake -DMTRX=$mtrx -DNAME=$name -DDIR=$root/examples" \
      "-DEXPECTED=$root/examples/golden/$name.txt -P $root/tests/scripts/run_script.cmake" >>"$plan"
  done
  for name in least_squares clean_data power_iteration; do
    echo "example:$name cmake -DPROGRAM=$(wrap "$build/examples/$name")" \
      "-DGOLDEN=$root/examples/golden/$name.txt -P $root/examples/check_output.cmake" >>"$plan"
  done
  echo "example:share_and_write $(wrap "$build/examples/share_and_write")" >>"$plan"
  echo "prompt:session cmake -DMTRX=$mtrx -DINPUT=$root/tests/mtrx/prompt_session.in" \
    "-DEXPECTED=$root/tests/mtrx/prompt_session.out -P $root/tests/mtrx/run_prompt.cmake" >>"$plan"
fi

# Runs one plan line; prints its name, status and seconds.
run() {
  local name=${1%% *} command=${1#* } start=$SECONDS status=0
  (cd "$logs" && eval "$command") >"$logs/${name//[:\/]/_}.out" 2>&1 || status=$?
  echo "$name status=$status seconds=$((SECONDS - start))"
}
export -f run
export logs
start=$SECONDS
xargs -P "$jobs" -d '\n' -I{} bash -c 'run "$@"' _ {} <"$plan" | tee "$logs/summary"
echo "valgrind: $(wc -l <"$plan") runs in $((SECONDS - start)) s"

failed=$(grep -vc ' status=0 ' "$logs/summary" || true)
reports=$(grep -lE 'ERROR SUMMARY: [1-9]|definitely lost: [1-9]' "$logs"/*.log 2>/dev/null || true)
if [ "$failed" -ne 0 ] || [ -n "$reports" ]; then
  grep -v ' status=0 ' "$logs/summary" || true
  for r in $reports; do echo "== $r"; cat "$r"; done
  echo "valgrind: $failed failed runs" >&2
  exit 1
fi
echo "valgrind: no errors, no definite leaks"
