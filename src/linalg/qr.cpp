// src/linalg/qr.cpp: the full Householder QR factorisation, with and without column pivoting.
#include <matrix/linalg.h>

#include <matrix/construct.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>
#include <matrix/order.h>

#include <algorithm>
#include <cstdint>

#include "core/array_holder.h"
#include "kernels/qr_kernel.h"
#include "linalg/linalg_common.h"
#include "linalg/typed_factor.h"

namespace kiv {
namespace matrix {

namespace {

// The worker of both forms: Q, R and, when E is not null, the column
// permutation *E with A*E = Q*R. The outputs are stored only once all of
// them exist, so a failure leaves them null and nothing allocated.
void HouseholderQr(CMatrix *&Q, CMatrix *&R, CMatrix **E, const CMatrix *A) {
    linalg::RequireTwoDimensions(A);
    if (!linalg::IsTypedOperand(A)) {
        linalg::RequireRealDouble(A);
    } else if (A->GetNoElems() != 0) {
        linalg::QrTyped(Q, R, E, A, false);
        return;
    }
    const unsigned int m = linalg::Rows(A);
    const unsigned int n = linalg::Columns(A);

    ArrayHolder q;
    ArrayHolder r;
    ArrayHolder e;
    if (A->GetNoElems() == 0) {
        q.reset(Eye(m, m));
        r.reset(A->CreateShareArray());
        r->ClearLogical();
        if (E != nullptr) e.reset(Eye(n, n));
    } else {
        const unsigned int steps = m > n ? n : m - 1;
        ArrayHolder c(mxCreateDoubleMatrix(steps, 1, mxComplexityReal));
        ArrayHolder d(mxCreateDoubleMatrix(std::min(m, n), 1, mxComplexityReal));
        // R holds computed values, never a logical mask.
        r.reset(mxCreateDoubleMatrix(m, n, mxComplexityReal));
        linalg::Scratch<std::uint32_t> perm(E != nullptr ? n : 0);
        if (E != nullptr) e.reset(Zeros(n, n));
        q.reset(mxCreateDoubleMatrix(m, m, mxComplexityReal));
        const linalg::WorkingMatrix rWork(r.get(), m, n);
        const linalg::WorkingMatrix qWork(q.get(), m, m);
        const bool fast = GetOrder() == Order::kFast;
        linalg::Scratch<double> work(fast ? std::max(kernels::HouseholderQrFastWorkspace(n),
                                                     kernels::HouseholderFormQFastWorkspace(m))
                                          : kernels::HouseholderFormQWorkspace(m));

        double *rr = rWork.Data();
        const std::size_t ldr = rWork.Ld();
        linalg::CopyMatrix(rr, ldr, linalg::Data(A), m, m, n);
        double *cc = linalg::Data(c.get());
        if (fast) {
            kernels::HouseholderQrFast(m, n, rr, ldr, perm.Get(), cc, linalg::Data(d.get()),
                                       work.Get());
        } else {
            kernels::HouseholderQr(m, n, rr, ldr, perm.Get(), cc, linalg::Data(d.get()));
        }
        if (E != nullptr) {
            double *ee = linalg::Data(e.get());
            for (unsigned int j = 0; j < n; ++j) ee[perm.Get()[j] + std::size_t{j} * n] = 1.0;
        }
        if (fast) {
            kernels::HouseholderFormQFast(m, steps, rr, ldr, cc, qWork.Data(), qWork.Ld(),
                                          work.Get());
        } else {
            kernels::HouseholderFormQ(m, steps, rr, ldr, cc, qWork.Data(), qWork.Ld(), work.Get());
        }
        kernels::HouseholderFinishR(m, n, rr, ldr, linalg::Data(d.get()));
        rWork.Finish();
        qWork.Finish();
    }

    Q = q.release();
    R = r.release();
    if (E != nullptr) *E = e.release();
}

}  // namespace

void Qr(CMatrix *&Q, CMatrix *&R, CMatrix *&E, const CMatrix *A, bool economy) {
    Q = nullptr;
    R = nullptr;
    E = nullptr;
    if (economy) throw CNotImplementedException();
    HouseholderQr(Q, R, &E, A);
}

void Qr(CMatrix *&Q, CMatrix *&R, const CMatrix *A, bool economy) {
    Q = nullptr;
    R = nullptr;
    if (economy) throw CNotImplementedException();
    HouseholderQr(Q, R, nullptr, A);
}

}  // namespace matrix
}  // namespace kiv
