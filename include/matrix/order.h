// include/matrix/order.h: the order of operations of QR, least squares and eigenvectors.
#ifndef MATRIX_ORDER_H
#define MATRIX_ORDER_H

#include <matrix/export.h>

namespace kiv {
namespace matrix {

/// The order of operations of Qr, the non-square Mldivide and the
/// eigenvectors of the two-output Eig.
///   kStated: the library's stated order. Q is formed one dense reflection
///            matrix at a time and each eigenvector solves with a full
///            elimination of A - lambda*I; every other function of the
///            library always computes in its stated order.
///   kFast:   blocked, cache-friendly algorithms with their own fixed order
///            (Householder vectors applied directly, pivot norms updated
///            rather than recomputed, inverse iteration on the Hessenberg
///            form). Results are the same on every run and processor, agree
///            with kStated to rounding, but not in the last bits. The pivot
///            rule, the sign conventions, the rank rule of the least-squares
///            solve and the eigenvalues themselves are those of kStated.
enum class Order { kStated, kFast };

/// Sets the order of the calling thread; other threads keep theirs.
MATRIX_API void SetOrder(Order order);

/// Returns the order of the calling thread. A thread that never called
/// SetOrder has the process default, read once from the environment
/// variable RUL2MTRX_ORDER: exactly "fast" selects kFast; "stated", any
/// other text or no variable selects kStated.
MATRIX_API Order GetOrder();

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_ORDER_H
