// src/polyfun/polyfun_common.h: reading the operands of the polynomial and
// interpolation functions and building their results (not installed).
#ifndef MATRIX_SRC_POLYFUN_COMMON_H
#define MATRIX_SRC_POLYFUN_COMMON_H

#include <matrix/cmatrix.h>

#include <complex>
#include <string>
#include <vector>

namespace kiv {
namespace matrix {
namespace polyfun {

using Cplx = std::complex<double>;

/// An operand's values as doubles (im empty when it is real), its shape and
/// whether it was single.
struct Operand {
    std::vector<double> re;
    std::vector<double> im;
    std::vector<unsigned int> dims;
    bool single = false;
    bool complex() const { return !im.empty(); }
    std::size_t size() const { return re.size(); }
    bool isVector() const { return dims.size() == 2 && (dims[0] == 1 || dims[1] == 1); }
    bool isColumn() const { return dims.size() == 2 && dims[1] == 1 && dims[0] != 1; }
    Cplx at(std::size_t k) const { return {re[k], im.empty() ? 0.0 : im[k]}; }
};

/// Throws CFunctionErrorException "<fn>: <what>".
[[noreturn]] void Fail(const char *fn, const char *what);

/// Reads a (double, single, char or logical; real or complex). Throws
/// CNotImplementedException for cell, struct and other classes and the
/// integer refusal of polyfun.h for integers.
Operand Read(const CMatrix *a, const char *fn);

/// A new m x n array of the values (im null or all zero: real), single when
/// `single`. N-d shapes through the dims form.
CMatrix *Make(const std::vector<unsigned int> &dims, const double *re, const double *im,
              bool single);
CMatrix *Make(unsigned int m, unsigned int n, const double *re, const double *im, bool single);
/// The same from complex values (real when every imaginary part is zero and
/// keepComplex is false).
CMatrix *MakeComplex(unsigned int m, unsigned int n, const std::vector<Cplx> &values, bool single,
                     bool keepComplex = false);

/// The roots of the polynomial v as Roots states them (complex: v has a
/// nonzero imaginary part somewhere).
std::vector<Cplx> RootsOf(const std::vector<Cplx> &v, bool complex);

}  // namespace polyfun
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_POLYFUN_COMMON_H
