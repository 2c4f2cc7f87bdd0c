// src/linalg/planerot.cpp: the Givens plane rotation of a two-element vector.
#include <matrix/linalg.h>

#include <matrix/exceptions.h>
#include <matrix/mx.h>

#include "core/array_holder.h"
#include "kernels/planerot_kernel.h"
#include "linalg/linalg_common.h"

namespace kiv {
namespace matrix {

namespace {

// Checks x in order and returns r with G in g (column-major 2 x 2).
double Rotation(const CMatrix *x, double *g) {
    // Only the count is tested: a row, a column or any other shape of two
    // elements will do.
    if (x->GetNoElems() != 2) {
        throw CFunctionErrorException(L"Matrix must be a column of two elements");
    }
    linalg::RequireRealDouble(x);
    const double *v = linalg::Data(x);
    return kernels::PlaneRotation(v[0], v[1], g, 2);
}

}  // namespace

CMatrix *Planerot(const CMatrix *x) {
    double g[4];
    Rotation(x, g);
    return mxDoubleMatrix(2, 2, g, nullptr);
}

void Planerot(CMatrix *&G, CMatrix *&y, const CMatrix *x) {
    G = nullptr;
    y = nullptr;
    double g[4];
    // y is [r; 0] directly, not the product G*x.
    const double r[2] = {Rotation(x, g), 0.0};
    ArrayHolder rotation(mxDoubleMatrix(2, 2, g, nullptr));
    ArrayHolder rotated(mxDoubleMatrix(2, 1, r, nullptr));
    G = rotation.release();
    y = rotated.release();
}

}  // namespace matrix
}  // namespace kiv
