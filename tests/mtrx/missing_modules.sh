#!/usr/bin/env bash
# tests/mtrx/missing_modules.sh MTRX LIBDIR: mtrx over a copy of the library
# in a folder without the modules (mtrx/) starts and runs as before; print
# and save fail with the reason, naming themselves and the missing module.
set -u
mtrx=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -P "$2"/lib*.so* "$work"/
cd "$work" || exit 1
actual=$(LD_LIBRARY_PATH="$work" "$mtrx" -e "x = 1; disp(x + 1); plot(1:2); \
try, print('p.png', '-dpng'), catch e, disp(e.message), end, close all; save('f.mat', 'x')" 2>&1)
status=$?
missing="cannot open shared object file: No such file or directory"
expected="     2
'print': drawing is not available (cannot load '$work/mtrx/mtrx_plplot.so': $missing)
error: 'save': HDF5 support is not available (cannot load '$work/mtrx/mtrx_hdf5.so': $missing)"
if [ "$status" != 1 ] || [ "$actual" != "$expected" ]; then
  printf 'status %s, expected 1; output:\n%s\nexpected:\n%s\n' "$status" "$actual" "$expected" >&2
  exit 1
fi
