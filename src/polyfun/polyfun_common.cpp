// src/polyfun/polyfun_common.cpp: operands and results of the polynomial and
// interpolation functions.
#include "polyfun/polyfun_common.h"

#include "core/array_holder.h"

#include <matrix/elementwise.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>

#include <cstring>
#include <string>

namespace kiv {
namespace matrix {
namespace polyfun {

void Fail(const char *fn, const char *what) {
    std::wstring text;
    for (const char *s = fn; *s; ++s) text += static_cast<wchar_t>(*s);
    text += L": ";
    for (const char *s = what; *s; ++s) text += static_cast<wchar_t>(*s);
    throw CFunctionErrorException(kiv::WString(text.c_str()));
}

Operand Read(const CMatrix *a, const char *fn) {
    if (!a) throw CNotImplementedException();
    const mxClassID id = a->GetClassID();
    const bool integer = id >= mxClassInt8 && id <= mxClassUint64;
    if (integer && !a->IsLogical())
        Fail(fn, "integer arguments are not supported; convert them with double or single");
    if (id != mxClassDouble && id != mxClassSingle && id != mxClassChar && !integer)
        throw CNotImplementedException();
    Operand out;
    out.single = id == mxClassSingle;
    out.dims.assign(a->GetDimensions(), a->GetDimensions() + a->GetNoDimensions());
    const std::size_t n = a->GetNoElems();
    ArrayHolder converted;
    const CMatrix *d = a;
    if (id != mxClassDouble) {
        converted.reset(Double(a));
        d = converted.get();
    }
    const double *pr = static_cast<const double *>(d->GetPr());
    out.re.assign(pr, pr + n);
    if (d->IsComplex() && n > 0) {
        const double *pi = static_cast<const double *>(d->GetPi());
        out.im.assign(pi, pi + n);
    }
    return out;
}

CMatrix *Make(const std::vector<unsigned int> &dims, const double *re, const double *im,
              bool single) {
    unsigned int n = 1;
    for (unsigned int d : dims) n *= d;
    bool complex = false;
    if (im)
        for (unsigned int k = 0; k < n && !complex; ++k) complex = im[k] != 0.0;
    ArrayHolder out(new CMatrix(static_cast<unsigned int>(dims.size()), dims.data(), mxClassDouble,
                                0, complex ? mxComplexityComplex : mxComplexityReal));
    if (n) {
        std::memcpy(out->GetPr(), re, n * sizeof(double));
        if (complex) std::memcpy(out->GetPi(), im, n * sizeof(double));
    }
    if (!single) return out.release();
    return Single(out.get());
}

CMatrix *Make(unsigned int m, unsigned int n, const double *re, const double *im, bool single) {
    return Make(std::vector<unsigned int>{m, n}, re, im, single);
}

CMatrix *MakeComplex(unsigned int m, unsigned int n, const std::vector<Cplx> &values, bool single,
                     bool keepComplex) {
    std::vector<double> re(values.size()), im(values.size());
    for (std::size_t k = 0; k < values.size(); ++k) {
        re[k] = values[k].real();
        im[k] = values[k].imag();
    }
    if (!keepComplex) return Make(m, n, re.data(), im.data(), single);
    const unsigned int dims[2] = {m, n};
    ArrayHolder out(new CMatrix(2, dims, mxClassDouble, 0, mxComplexityComplex));
    if (!values.empty()) {
        std::memcpy(out->GetPr(), re.data(), re.size() * sizeof(double));
        std::memcpy(out->GetPi(), im.data(), im.size() * sizeof(double));
    }
    if (!single) return out.release();
    return Single(out.get());
}

}  // namespace polyfun
}  // namespace matrix
}  // namespace kiv
