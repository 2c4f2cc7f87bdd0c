#!/bin/sh
# tools/build-scripts.sh: compiles every golden script of tests/scripts and
# the example scripts with `mtrx build`, runs each program as CTest runs the
# script, and lists those whose program fails to build or differs from the
# golden output (NAME.out, examples/golden/NAME.txt) or exit status.
# Usage: tools/build-scripts.sh [BUILD_DIR] [NAME...] (names of tests/scripts)
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/rel}" && pwd)
[ $# -gt 0 ] && shift
mtrx=$build/src/mtrx/mtrx
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cd "$root/tests/scripts" || exit 1
names=${*:-$(ls *.mtrx | sed 's/\.mtrx$//')}
passed=0
failed=""
for name in $names; do
  case $name in stdin_*|interactive_*) continue ;; esac
  expected_status=$(sed -n '1s/^% exit: \([0-9]*\).*/\1/p' "$name.mtrx")
  if ! MTRXPATH=functions "$mtrx" build "$name.mtrx" -o "$out/$name" 2>"$out/$name.build"; then
    # A syntax error is refused at build time with the interpreter's report.
    if [ "${expected_status:-0}" = 1 ] && cmp -s "$out/$name.build" "$name.out"; then
      passed=$((passed + 1))
      continue
    fi
    failed="$failed $name"
    echo "$name: does not build: $(head -c 300 "$out/$name.build" | head -1)"
    continue
  fi
  if [ -f "$name.in" ]; then input=$name.in; else input=/dev/null; fi
  MTRXPATH=functions "$out/$name" <"$input" >"$out/$name.actual" 2>&1
  status=$?
  if ! cmp -s "$out/$name.actual" "$name.out" || [ "$status" != "${expected_status:-0}" ]; then
    failed="$failed $name"
    echo "$name: differs (status $status):"
    diff "$name.out" "$out/$name.actual" | head -5
    continue
  fi
  passed=$((passed + 1))
done
if [ $# -eq 0 ]; then
  cd "$root/examples" || exit 1
  for name in $(ls *.mtrx | sed 's/\.mtrx$//'); do
    if ! "$mtrx" build "$name.mtrx" -o "$out/$name" 2>"$out/$name.build"; then
      failed="$failed examples/$name"
      echo "examples/$name: does not build: $(head -1 "$out/$name.build")"
      continue
    fi
    # Each runs in a folder of its own, since some write files. An example
    # without a golden output (the plots) is compared with what the
    # interpreter prints and writes.
    expected="golden/$name.txt"
    mkdir -p "$out/run_$name" "$out/interp_$name"
    if [ ! -f "$expected" ]; then
      (cd "$out/interp_$name" && "$mtrx" "$root/examples/$name.mtrx" >"../$name.expected" 2>&1)
      expected="$out/$name.expected"
    fi
    (cd "$out/run_$name" && "$out/$name" >"../$name.actual" 2>&1)
    status=$?
    same_files=1
    for file in "$out/interp_$name"/*; do
      [ -e "$file" ] || continue
      cmp -s "$file" "$out/run_$name/$(basename "$file")" || same_files=0
    done
    if [ "$status" != 0 ] || ! cmp -s "$out/$name.actual" "$expected" || [ "$same_files" = 0 ]; then
      failed="$failed examples/$name"
      echo "examples/$name: differs:"
      diff "$expected" "$out/$name.actual" | head -5
      continue
    fi
    passed=$((passed + 1))
  done
fi
echo "built and matched: $passed; failed:${failed:- none}"
[ -z "$failed" ]
