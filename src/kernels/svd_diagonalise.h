// src/kernels/svd_diagonalise.h: the diagonalisation of a real bidiagonal
// matrix by implicitly shifted QR sweeps, in double or single.
#ifndef MATRIX_SRC_KERNELS_SVD_DIAGONALISE_H
#define MATRIX_SRC_KERNELS_SVD_DIAGONALISE_H

#include <cmath>
#include <cstddef>

#include "kernels/kernel_support.h"
#include "kernels/svd_kernel.h"
#include "kernels/typed_kernels.h"

namespace kiv {
namespace matrix {
namespace kernels {

/// SvdDecompose's phase 4 in R, indices from 1: W(i) = w[(i-1)*incw] the
/// diagonal, E(i) = e[i-1] the superdiagonal entry above W(i) (E(1) = 0);
/// anorm the largest |W(i)| + |E(i)|. The rotations go through
/// rotate_u(j, i, c, s) and rotate_v(j, i, c, s) (columns j and i from 1,
/// x' = x*c + y*s, y' = y*c - x*s), the negation of a converged negative
/// value through negate_v(k); none is called when vectors is false.
template <class R, class RotateU, class RotateV, class NegateV>
KernelStatus DiagonaliseBidiagonal(std::size_t n, R *w, std::size_t incw, R *e, R anorm,
                                   bool vectors, RotateU rotate_u, RotateV rotate_v,
                                   NegateV negate_v) {
    const auto W = [w, incw](std::size_t i) -> R & { return w[(i - 1) * incw]; };
    const auto E = [e](std::size_t i) -> R & { return e[i - 1]; };
    R g = 0.0;
    R s = 0.0;
    std::size_t l = 1;
    for (std::size_t k = n; k >= 1; --k) {
        for (int its = 1;; ++its) {
            // Split test. e(1) is always 0.0, so the search ends at l = 1;
            // l == 1 is tested first only to keep w(0) from being read.
            bool cancel = true;
            std::size_t nm = 0;
            for (l = k; l >= 1; --l) {
                nm = l - 1;
                if (l == 1 || std::fabs(E(l)) + anorm == anorm) {
                    cancel = false;
                    break;
                }
                if (std::fabs(W(nm)) + anorm == anorm) break;
            }
            if (cancel) {
                // w(nm) is negligible: chase e(l) away by rotations.
                R c = 0.0;
                s = 1.0;
                for (std::size_t i = l; i <= k; ++i) {
                    const R f = s * E(i);
                    E(i) = c * E(i);
                    if (std::fabs(f) + anorm == anorm) break;
                    g = W(i);
                    R h = SafeHypotOf<R>(f, g);
                    W(i) = h;
                    h = R(1.0) / h;
                    c = g * h;
                    s = -f * h;
                    if (vectors) rotate_u(nm, i, c, s);
                }
            }
            R z = W(k);
            if (l == k) {
                // Converged; singular values are made non-negative.
                if (z < 0.0) {
                    W(k) = -z;
                    if (vectors) negate_v(k);
                }
                break;
            }
            if (its == kSvdMaxTests) {
                for (std::size_t i = 1; i <= k; ++i) W(i) = static_cast<R>(LibraryNaN());
                return k;
            }

            // Shift from the trailing 2 x 2 block.
            R x = W(l);
            nm = k - 1;
            R y = W(nm);
            g = E(nm);
            R h = E(k);
            R f = ((y - z) * (y + z) + (g - h) * (g + h)) / (R(2.0) * h * y);
            g = SafeHypotOf<R>(f, R(1.0));
            f = ((x - z) * (x + z) +
                 h * ((y / (f + (f >= R(0) ? std::fabs(g) : -std::fabs(g)))) - h)) /
                x;

            // One QR sweep over l..k.
            R c = 1.0;
            s = 1.0;
            for (std::size_t j = l; j <= nm; ++j) {
                const std::size_t i = j + 1;
                g = E(i);
                y = W(i);
                h = s * g;
                g = c * g;
                z = SafeHypotOf<R>(f, h);
                E(j) = z;
                c = f / z;
                s = h / z;
                f = x * c + g * s;
                g = g * c - x * s;
                h = y * s;
                y = y * c;
                if (vectors) rotate_v(j, i, c, s);
                z = SafeHypotOf<R>(f, h);
                W(j) = z;
                if (z != 0.0) {
                    z = R(1.0) / z;
                    c = f * z;
                    s = h * z;
                }
                f = c * g + s * y;
                x = c * y - s * g;
                if (vectors) rotate_u(j, i, c, s);
            }
            E(l) = 0.0;
            E(k) = f;
            W(k) = x;
        }
    }
    return 0;
}

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_KERNELS_SVD_DIAGONALISE_H
