// src/reduce/reduce_options.cpp: the reductions over every dimension or a
// set of dimensions, and NaN as missing data.
//
// A set of dimensions is brought down to one: the lines (the elements that
// differ only in the reduced subscripts) are laid out as the columns of an
// R x K array, each column in A's column-major order, and the one-dimension
// form reduces along 1. When the reduced dimensions are the leading ones
// the layout is a reshape that shares A's data; otherwise the elements are
// gathered once through a linear index.
#include <matrix/reduce.h>

#include <matrix/array.h>
#include <matrix/elementwise.h>
#include <matrix/exceptions.h>

#include <cmath>
#include <limits>
#include <vector>

namespace kiv {
namespace matrix {

namespace {

struct Lines {
    Array lines;                        // R x K
    std::vector<unsigned int> outDims;  // A's shape, reduced lengths 1
    std::vector<double> linear;         // 0-based position in A of each element of lines; empty: identity
    unsigned int R = 0;
    unsigned int K = 0;
};

std::vector<unsigned int> CheckedDims(unsigned int nDims, const unsigned int *dims) {
    if (nDims == 0 || dims == nullptr)
        throw CFunctionErrorException(L"The set of dimensions must not be empty");
    std::vector<unsigned int> out(dims, dims + nDims);
    for (unsigned int d : out)
        if (d == 0) throw CFunctionErrorException(L"Dimension argument must be a positive integer");
    for (std::size_t i = 0; i < out.size(); ++i)
        for (std::size_t j = i + 1; j < out.size(); ++j)
            if (out[i] == out[j]) throw CFunctionErrorException(L"Dimensions must not repeat");
    return out;
}

// Drops trailing lengths of 1 beyond the second.
void TrimDims(std::vector<unsigned int> &d) {
    while (d.size() > 2 && d.back() == 1) d.pop_back();
}

Array Shaped(const Array &a, std::vector<unsigned int> dims) {
    TrimDims(dims);
    return Array::Adopt(
        Reshape(const_cast<CMatrix *>(a.get()), static_cast<unsigned int>(dims.size()), dims.data()));
}

Lines LayOut(const CMatrix *A, const std::vector<unsigned int> &dims) {
    const unsigned int nd = A->GetNoDimensions();
    const unsigned int *len = A->GetDimensions();
    std::vector<bool> reduced(nd, false);
    for (unsigned int d : dims)
        if (d <= nd) reduced[d - 1] = true;
    Lines out;
    out.outDims.assign(len, len + nd);
    unsigned long long R = 1, K = 1;
    for (unsigned int d = 0; d < nd; ++d) {
        if (reduced[d]) {
            R *= len[d];
            out.outDims[d] = 1;
        } else {
            K *= len[d];
        }
    }
    out.R = static_cast<unsigned int>(R);
    out.K = static_cast<unsigned int>(K);
    Array a = Array::Share(A);
    bool prefix = true;
    for (unsigned int d = 0, seenKept = 0; d < nd; ++d) {
        if (!reduced[d] && len[d] != 1) seenKept = 1;
        if (reduced[d] && len[d] != 1 && seenKept) prefix = false;
    }
    if (prefix) {
        out.lines = Reshape(a, out.R, out.K);
        return out;
    }
    // Offsets of the reduced and of the kept subscripts, each in
    // column-major order of their own dimensions.
    std::vector<double> roff(1, 0.0), koff(1, 0.0);
    double stride = 1.0;
    for (unsigned int d = 0; d < nd; ++d) {
        std::vector<double> &off = reduced[d] ? roff : koff;
        const std::size_t n = off.size();
        std::vector<double> next;
        next.reserve(n * len[d]);
        for (unsigned int s = 0; s < len[d]; ++s)
            for (std::size_t i = 0; i < n; ++i) next.push_back(off[i] + s * stride);
        off.swap(next);
        stride *= len[d];
    }
    out.linear.resize(static_cast<std::size_t>(R) * K);
    Array index = Array::Adopt(mxCreateDoubleMatrix(out.R, out.K, mxComplexityReal));
    DoubleSpan ix = index.MutableData();
    for (std::size_t k = 0; k < K; ++k)
        for (std::size_t r = 0; r < R; ++r) {
            out.linear[k * R + r] = koff[k] + roff[r];
            ix[k * R + r] = koff[k] + roff[r] + 1.0;
        }
    out.lines = Reshape(Array::Adopt(Indexref(A, index.get())), out.R, out.K);
    return out;
}

bool HasNan(const CMatrix *A) {
    if (A->GetClassID() != mxClassDouble && A->GetClassID() != mxClassSingle) return false;
    if (A->IsLogical()) return false;
    Array mask = Array::Adopt(Isnan(A));
    return Nnz(mask.get()) != 0;
}

// A with its NaN elements replaced by `fill` (a copy only when there are
// some).
Array Filled(const Array &a, double fill) {
    if (!HasNan(a.get())) return a;
    Array mask = Array::Adopt(Isnan(a.get()));
    CMatrix *out = a.get()->CreateShareArray();
    try {
        Array value = Array::Adopt(Cast(Array(fill).get(), a.ClassID()));
        Indexassign(out, mask.get(), value.get());
    } catch (...) {
        mxDestroyArray(out);
        throw;
    }
    return Array::Adopt(out);
}

enum class Op { kSum, kProd, kMean, kAll, kAny };

// The fold of op along dim (1-based), NaN flag applied.
Array Along(Op op, const Array &a, unsigned int dim, NanFlag nan) {
    switch (op) {
        case Op::kSum:
            return Array::Adopt(Sum((nan == NanFlag::kOmit ? Filled(a, 0.0) : a).get(), dim));
        case Op::kProd:
            return Array::Adopt(Prod((nan == NanFlag::kOmit ? Filled(a, 1.0) : a).get(), dim));
        case Op::kMean: {
            if (nan == NanFlag::kInclude || !HasNan(a.get())) return Array::Adopt(Mean(a.get(), dim));
            // The sum of the others in double, divided once by their count.
            Array d = Array::Adopt(Cast(a.get(), mxClassDouble));
            Array sums = Array::Adopt(Sum(Filled(d, 0.0).get(), dim));
            Array counts = Array::Adopt(Sum(Array::Adopt(Not(Array::Adopt(Isnan(d.get())).get())).get(), dim));
            Array m = Array::Adopt(Rdivide(sums.get(), counts.get()));
            if (a.ClassID() == mxClassSingle) return Array::Adopt(Cast(m.get(), mxClassSingle));
            return m;
        }
        case Op::kAll:
            return Array::Adopt(All(a.get(), dim));
        case Op::kAny:
            return Array::Adopt(Any(a.get(), dim));
    }
    return a;
}

CMatrix *OverDims(Op op, const CMatrix *A, const std::vector<unsigned int> &dims, NanFlag nan) {
    if (dims.size() == 1) return Along(op, Array::Share(A), dims[0], nan).release();
    Lines l = LayOut(A, dims);
    Array r = Along(op, l.lines, 1, nan);
    return Shaped(r, l.outDims).release();
}

std::vector<unsigned int> EveryDim(const CMatrix *A) {
    std::vector<unsigned int> d(A->GetNoDimensions());
    for (unsigned int k = 0; k < d.size(); ++k) d[k] = k + 1;
    return d;
}

template <bool kMax>
void ExtremeOver(CMatrix *&Y, CMatrix *&I, const CMatrix *A, const std::vector<unsigned int> &dims,
                 NanFlag nan) {
    Lines l;
    Array source = Array::Share(A);
    if (dims.size() == 1) {
        l.lines = source;
        l.R = source.Size(dims[0]);
    } else {
        l = LayOut(A, dims);
    }
    const unsigned int dim = dims.size() == 1 ? dims[0] : 1;
    CMatrix *y = nullptr;
    CMatrix *i = nullptr;
    if (kMax) {
        Max(y, i, l.lines.get(), dim);
    } else {
        Min(y, i, l.lines.get(), dim);
    }
    Array values = Array::Adopt(y);
    Array positions = Array::Adopt(i);
    if (nan == NanFlag::kInclude && HasNan(l.lines.get())) {
        // Each line holding a NaN gives NaN at its first NaN.
        Array mask = Array::Adopt(Isnan(l.lines.get()));
        ValuesPositions fp = Max(mask, Dim(dim));
        Array lineHas = Array::Adopt(Gt(fp.values.get(), Array(0.0).get()));
        Array nanValue(std::numeric_limits<double>::quiet_NaN());
        CMatrix *v = values.release();
        try {
            Indexassign(v, lineHas.get(), nanValue.get());
        } catch (...) {
            mxDestroyArray(v);
            throw;
        }
        values = Array::Adopt(v);
        CMatrix *p = positions.release();
        try {
            Array chosen = Array::Adopt(Indexref(fp.positions.get(), lineHas.get()));
            Indexassign(p, lineHas.get(), chosen.get());
        } catch (...) {
            mxDestroyArray(p);
            throw;
        }
        positions = Array::Adopt(p);
    }
    if (dims.size() > 1) {
        if (l.R != 0) {
            DoubleSpan pos = positions.MutableData();
            for (std::size_t k = 0; k < pos.size; ++k) {
                const std::size_t at = k * l.R + static_cast<std::size_t>(pos[k]) - 1;
                pos[k] = (l.linear.empty() ? static_cast<double>(at) : l.linear[at]) + 1.0;
            }
            values = Shaped(values, l.outDims);
            positions = Shaped(positions, l.outDims);
        } else {
            // No element to reduce: the reduced lengths are 0 (0x0 over
            // every dimension).
            std::vector<unsigned int> empty = l.outDims;
            unsigned int covered = 0;
            for (unsigned int d : dims)
                if (d <= empty.size()) {
                    empty[d - 1] = 0;
                    ++covered;
                }
            if (covered == A->GetNoDimensions()) empty.assign(2, 0);
            values = Shaped(values, empty);
            positions = Shaped(positions, empty);
        }
    }
    Y = values.release();
    I = positions.release();
}

}  // namespace

CMatrix *SumAll(const CMatrix *A, NanFlag nan) { return OverDims(Op::kSum, A, EveryDim(A), nan); }
CMatrix *Sum(const CMatrix *A, unsigned int nDims, const unsigned int *dims, NanFlag nan) {
    return OverDims(Op::kSum, A, CheckedDims(nDims, dims), nan);
}
CMatrix *Sum(const CMatrix *A, unsigned int dim, NanFlag nan) { return Sum(A, 1, &dim, nan); }
CMatrix *ProdAll(const CMatrix *A, NanFlag nan) { return OverDims(Op::kProd, A, EveryDim(A), nan); }
CMatrix *Prod(const CMatrix *A, unsigned int nDims, const unsigned int *dims, NanFlag nan) {
    return OverDims(Op::kProd, A, CheckedDims(nDims, dims), nan);
}
CMatrix *Prod(const CMatrix *A, unsigned int dim, NanFlag nan) { return Prod(A, 1, &dim, nan); }
CMatrix *MeanAll(const CMatrix *A, NanFlag nan) { return OverDims(Op::kMean, A, EveryDim(A), nan); }
CMatrix *Mean(const CMatrix *A, unsigned int nDims, const unsigned int *dims, NanFlag nan) {
    return OverDims(Op::kMean, A, CheckedDims(nDims, dims), nan);
}
CMatrix *Mean(const CMatrix *A, unsigned int dim, NanFlag nan) { return Mean(A, 1, &dim, nan); }
CMatrix *AllAll(const CMatrix *A) { return OverDims(Op::kAll, A, EveryDim(A), NanFlag::kInclude); }
CMatrix *All(const CMatrix *A, unsigned int nDims, const unsigned int *dims) {
    return OverDims(Op::kAll, A, CheckedDims(nDims, dims), NanFlag::kInclude);
}
CMatrix *AnyAll(const CMatrix *A) { return OverDims(Op::kAny, A, EveryDim(A), NanFlag::kInclude); }
CMatrix *Any(const CMatrix *A, unsigned int nDims, const unsigned int *dims) {
    return OverDims(Op::kAny, A, CheckedDims(nDims, dims), NanFlag::kInclude);
}

void MaxAll(CMatrix *&Y, CMatrix *&I, const CMatrix *A, NanFlag nan) {
    std::vector<unsigned int> d = EveryDim(A);
    if (d.size() == 2) d.push_back(3);  // never one dimension: positions are linear
    Y = I = nullptr;
    ExtremeOver<true>(Y, I, A, d, nan);
}
void Max(CMatrix *&Y, CMatrix *&I, const CMatrix *A, unsigned int nDims, const unsigned int *dims,
         NanFlag nan) {
    std::vector<unsigned int> d = CheckedDims(nDims, dims);
    Y = I = nullptr;
    ExtremeOver<true>(Y, I, A, d, nan);
}
void MinAll(CMatrix *&Y, CMatrix *&I, const CMatrix *A, NanFlag nan) {
    std::vector<unsigned int> d = EveryDim(A);
    if (d.size() == 2) d.push_back(3);
    Y = I = nullptr;
    ExtremeOver<false>(Y, I, A, d, nan);
}
void Min(CMatrix *&Y, CMatrix *&I, const CMatrix *A, unsigned int nDims, const unsigned int *dims,
         NanFlag nan) {
    std::vector<unsigned int> d = CheckedDims(nDims, dims);
    Y = I = nullptr;
    ExtremeOver<false>(Y, I, A, d, nan);
}

}  // namespace matrix
}  // namespace kiv
