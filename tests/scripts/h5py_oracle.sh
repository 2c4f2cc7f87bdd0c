#!/usr/bin/env bash
# tests/scripts/h5py_oracle.sh MTRX: h5py, a reader of HDF5 of its own,
# finds the numbers `save` wrote with the variables' shapes, classes and
# element order, and `load` reads a file h5py wrote. Exits 77 (skipped)
# when no python3 with h5py is found.
set -euo pipefail
mtrx=$1
python=""
for p in python3 /usr/bin/python3; do
  if command -v "$p" >/dev/null 2>&1 && "$p" -c "import h5py" 2>/dev/null; then
    python=$p
    break
  fi
done
if [ -z "$python" ]; then
  echo "no python3 with h5py: skipped"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$mtrx" -e "A = [1 2 3; 4 5 6.5]; B = int8(reshape([-128 -1 0 1 2 127], 1, 2, 3)); C = reshape(0:1399, 40, 35); D = int16(C); E = single(C) + 1i; save saved A B C D E"
"$python" - <<'EOF'
import h5py
import numpy as np
with h5py.File('saved.mat', 'r') as f:
    A, B = f['A'][()], f['B'][()]
    assert A.dtype == np.float64 and np.array_equal(A, [[1, 2, 3], [4, 5, 6.5]]), A
    # B(1, i, j) is element i + 2 (j - 1) of the column-major list.
    assert B.dtype == np.int8 and B.shape == (1, 2, 3), B
    assert np.array_equal(B[0], [[-128, 0, 2], [-1, 1, 127]]), B
    assert f['A'].attrs['class'] == 'double' and f['B'].attrs['class'] == 'int8'
    # Larger than one tile of the reordering, in three element sizes.
    C = np.arange(1400).reshape(35, 40).T
    assert np.array_equal(f['C'][()], C) and f['C'].dtype == np.float64
    assert np.array_equal(f['D'][()], C) and f['D'].dtype == np.int16
    assert np.array_equal(f['E'][()], C + 1j) and f['E'].dtype == np.complex64
with h5py.File('foreign.h5', 'w') as f:
    f['v'] = np.array([1, 2, 3], dtype=np.int16)
    f['m'] = np.array([[1.5, 2.5], [3.5, 4.5], [5.5, 6.5]])
    f['z'] = np.array([1 + 2j, -3j])
    f.create_group('g')['x'] = 2.5
    f['big'] = np.arange(1400, dtype=np.uint32).reshape(35, 40)
EOF
got=$("$mtrx" -e "S = load('foreign.h5'); fprintf('%d', isequal(S.v, int16([1 2 3])), isequal(S.m, [1.5 2.5; 3.5 4.5; 5.5 6.5]), isequal(S.z, [1+2i, -3i]), isequal(S.g.x, 2.5), isequal(S.big, uint32(reshape(0:1399, 40, 35)')))")
if [ "$got" != "11111" ]; then
  echo "load of a file h5py wrote: got $got, expected 11111" >&2
  exit 1
fi
echo "h5py reads what save wrote, and load reads what h5py wrote"
