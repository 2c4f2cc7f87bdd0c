// src/kernels/column_products.h: products of many columns with one vector, in vector lanes.
#ifndef MATRIX_SRC_KERNELS_COLUMN_PRODUCTS_H
#define MATRIX_SRC_KERNELS_COLUMN_PRODUCTS_H

#include <cstddef>

#include "kernels/kernel_support.h"

namespace kiv {
namespace matrix {
namespace kernels {

/// The most columns one call takes: two groups of eight, whose chains are
/// independent, so that the latency of one group's adds is hidden behind
/// the other's.
constexpr std::size_t kProductColumns = 16;

/// dots[q] = 0.0 + c[q][0]*x[0] + c[q][1]*x[1] + ... + c[q][count-1]*x[count-1],
/// one product at a time in increasing k, for the columns c[0..columns-1]
/// (columns at most kProductColumns).
using ColumnProductsFunction = void (*)(std::size_t columns, const double *const *c,
                                        std::size_t count, const double *x, double *dots);

/// As ColumnProductsFunction, after c[q][k] += e[q]*t[k] for each column,
/// each element updated and stored before it is multiplied.
using UpdateThenColumnProductsFunction = void (*)(std::size_t columns, double *const *c,
                                                  const double *e, std::size_t count,
                                                  const double *t, const double *x, double *dots);

/// As UpdateThenColumnProductsFunction with two updates of each element,
/// c[q][k] = (c[q][k] + f[q]*y[k]) + e[q]*t[k], each sum rounded, stored
/// once. f may be dots: every factor is read before any product is stored.
using UpdateTwiceThenColumnProductsFunction = void (*)(std::size_t columns, double *const *c,
                                                       const double *f, const double *y,
                                                       const double *e, std::size_t count,
                                                       const double *t, const double *x,
                                                       double *dots);

#if defined(MATRIX_HAVE_AVX2_PATHS)
// With AVX-512: eight rows of eight columns are multiplied at once, turned
// into rows by an 8x8 transpose in registers, and added one row at a time
// to eight chains held in the lanes of one register, so that every chain
// keeps its order and its bits. A column is read in whole lines, eight
// elements at a time. Only for processors with AVX-512F (HasAvx512()).
void ColumnProductsAvx512(std::size_t columns, const double *const *c, std::size_t count,
                          const double *x, double *dots);
void UpdateThenColumnProductsAvx512(std::size_t columns, double *const *c, const double *e,
                                    std::size_t count, const double *t, const double *x,
                                    double *dots);
void UpdateTwiceThenColumnProductsAvx512(std::size_t columns, double *const *c, const double *f,
                                         const double *y, const double *e, std::size_t count,
                                         const double *t, const double *x, double *dots);

// The same with AVX2 (column_products_avx2.cpp): four rows of four columns
// at a time, turned by a 4x4 transpose, the chains of each group of four
// columns in the lanes of one register. For processors with AVX2
// (HasAvx2()).
void ColumnProductsAvx2(std::size_t columns, const double *const *c, std::size_t count,
                        const double *x, double *dots);
void UpdateThenColumnProductsAvx2(std::size_t columns, double *const *c, const double *e,
                                  std::size_t count, const double *t, const double *x,
                                  double *dots);
void UpdateTwiceThenColumnProductsAvx2(std::size_t columns, double *const *c, const double *f,
                                       const double *y, const double *e, std::size_t count,
                                       const double *t, const double *x, double *dots);
#endif

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_KERNELS_COLUMN_PRODUCTS_H
