// src/construct/rearrange.cpp: plans of the rearranging functions and the
// one gather that applies a plan to an array of any class.
#include <matrix/rearrange.h>

#include <kiv/exception.h>
#include <matrix/concat.h>
#include <matrix/elementwise.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <algorithm>
#include <new>
#include <string>

#include "core/array_holder.h"

namespace kiv {
namespace matrix {

namespace {

using Lengths = std::vector<unsigned int>;

std::vector<unsigned int> DimsOf(const CMatrix *a) {
    return Lengths(a->GetDimensions(), a->GetDimensions() + a->GetNoDimensions());
}

std::uint64_t CountOf(const Lengths &dims) {
    std::uint64_t n = 1;
    for (unsigned int d : dims) n *= d;
    return n;
}

// Drops trailing lengths of 1 beyond the second; pads to two.
Lengths Normalised(Lengths dims) {
    while (dims.size() > 2 && dims.back() == 1) dims.pop_back();
    while (dims.size() < 2) dims.push_back(1);
    return dims;
}

[[noreturn]] void Fail(const std::string &message) {
    const std::wstring wide(message.begin(), message.end());
    throw CFunctionErrorException(kiv::WString(wide.c_str()));
}

// The plan of a result of lengths `out` whose element at subscripts s takes
// the operand element at Map(s) (subscripts of the operand of lengths `in`).
// The subscripts advance as an odometer, so no division runs per element.
template <typename MapFn>
Rearrangement Gather(const Lengths &in, const Lengths &out, MapFn map) {
    Rearrangement plan;
    plan.dims = Normalised(out);
    const std::uint64_t n = CountOf(out);
    if (n > UINT32_MAX) throw kiv::CExhaustedMemoryException();
    plan.source.resize(static_cast<std::size_t>(n));
    std::vector<std::uint64_t> stride(in.size() + 1, 1);
    for (std::size_t d = 0; d < in.size(); ++d) stride[d + 1] = stride[d] * in[d];
    std::vector<unsigned int> s(out.size(), 0), t(in.size(), 0);
    for (std::size_t k = 0; k < n; ++k) {
        map(s, t);
        std::uint64_t at = 0;
        for (std::size_t d = 0; d < in.size(); ++d) at += t[d] * stride[d];
        plan.source[k] = static_cast<unsigned int>(at);
        for (std::size_t d = 0; d < out.size() && ++s[d] == out[d]; ++d) s[d] = 0;
    }
    return plan;
}

Rearrangement Identity(const Lengths &dims) {
    return Gather(dims, dims, [](const Lengths &s, Lengths &t) { t = s; });
}

void CheckOrder(const Lengths &dims, const Lengths &order, const char *name) {
    const std::size_t nd = Normalised(dims).size();
    if (order.size() < nd)
        Fail(std::string(name) + ": the order must have at least " + std::to_string(nd) +
             " elements, one per dimension of the array");
    std::vector<bool> seen(order.size(), false);
    for (unsigned int o : order) {
        if (o < 1 || o > order.size() || seen[o - 1])
            Fail(std::string(name) + ": the order must be a permutation of 1.." +
                 std::to_string(order.size()));
        seen[o - 1] = true;
    }
}

Lengths Padded(const Lengths &dims, std::size_t n) {
    Lengths out(dims);
    if (out.size() < n) out.resize(n, 1);
    return out;
}

// Copies `count` elements of `size` bytes from `from` to `to` by the plan.
void GatherBytes(const char *from, char *to, const std::vector<unsigned int> &source,
                 std::size_t size) {
    switch (size) {
        case 8:
            for (std::size_t k = 0; k < source.size(); ++k)
                std::memcpy(to + 8 * k, from + 8 * std::size_t{source[k]}, 8);
            break;
        case 4:
            for (std::size_t k = 0; k < source.size(); ++k)
                std::memcpy(to + 4 * k, from + 4 * std::size_t{source[k]}, 4);
            break;
        case 2:
            for (std::size_t k = 0; k < source.size(); ++k)
                std::memcpy(to + 2 * k, from + 2 * std::size_t{source[k]}, 2);
            break;
        default:
            for (std::size_t k = 0; k < source.size(); ++k)
                std::memcpy(to + size * k, from + size * std::size_t{source[k]}, size);
            break;
    }
}

}  // namespace

unsigned int FirstNonSingleton(const std::vector<unsigned int> &dims) {
    for (std::size_t d = 0; d < dims.size(); ++d)
        if (dims[d] != 1) return static_cast<unsigned int>(d + 1);
    return 1;
}

Rearrangement FlipPlan(const std::vector<unsigned int> &dims, unsigned int dim) {
    if (dim == 0 || dim > dims.size()) return Identity(dims);
    const std::size_t d = dim - 1;
    const unsigned int n = dims[d];
    return Gather(dims, dims, [d, n](const Lengths &s, Lengths &t) {
        t = s;
        t[d] = n - 1 - s[d];
    });
}

Rearrangement Rot90Plan(const std::vector<unsigned int> &dims, long long k) {
    const int turns = static_cast<int>(((k % 4) + 4) % 4);
    const unsigned int m = dims[0], n = dims[1];
    Lengths out(dims);
    if (turns % 2 == 1) std::swap(out[0], out[1]);
    return Gather(dims, out, [turns, m, n](const Lengths &s, Lengths &t) {
        t = s;
        switch (turns) {
            case 1: t[0] = s[1]; t[1] = n - 1 - s[0]; break;          // flipud(A.')
            case 2: t[0] = m - 1 - s[0]; t[1] = n - 1 - s[1]; break;  // both flips
            case 3: t[0] = m - 1 - s[1]; t[1] = s[0]; break;          // fliplr(A.')
            default: break;
        }
    });
}

Rearrangement CircshiftPlan(const std::vector<unsigned int> &dims,
                            const std::vector<long long> &shifts) {
    // The source of position i is (i - shift) modulo the length.
    std::vector<unsigned int> back(dims.size(), 0);
    for (std::size_t d = 0; d < dims.size() && d < shifts.size(); ++d) {
        if (dims[d] == 0) continue;
        const long long n = dims[d];
        back[d] = static_cast<unsigned int>(((-(shifts[d] % n)) % n + n) % n);
    }
    return Gather(dims, dims, [&back, &dims](const Lengths &s, Lengths &t) {
        for (std::size_t d = 0; d < s.size(); ++d) {
            const unsigned int v = s[d] + back[d];
            t[d] = v >= dims[d] ? v - dims[d] : v;
        }
    });
}

Rearrangement PermutePlan(const std::vector<unsigned int> &dims,
                          const std::vector<unsigned int> &order) {
    CheckOrder(dims, order, "permute");
    const Lengths in = Padded(dims, order.size());
    Lengths out(order.size());
    for (std::size_t k = 0; k < order.size(); ++k) out[k] = in[order[k] - 1];
    return Gather(in, out, [&order](const Lengths &s, Lengths &t) {
        for (std::size_t k = 0; k < order.size(); ++k) t[order[k] - 1] = s[k];
    });
}

Rearrangement IpermutePlan(const std::vector<unsigned int> &dims,
                           const std::vector<unsigned int> &order) {
    CheckOrder(dims, order, "ipermute");
    Lengths inverse(order.size());
    for (std::size_t k = 0; k < order.size(); ++k)
        inverse[order[k] - 1] = static_cast<unsigned int>(k + 1);
    return PermutePlan(dims, inverse);
}

std::vector<unsigned int> SqueezeDims(const std::vector<unsigned int> &dims) {
    if (Normalised(dims).size() <= 2) return Normalised(dims);
    Lengths out;
    for (unsigned int d : dims)
        if (d != 1) out.push_back(d);
    if (out.size() == 1) out.push_back(1);
    return Normalised(out);
}

CMatrix *Rearrange(const CMatrix *a, const Rearrangement &plan) {
    if (a->IsStruct() || (!a->IsCell() && !a->IsNumeric())) throw CNotImplementedException();
    ArrayHolder r(a->IsCell() ? mxCreateCellArray(static_cast<unsigned int>(plan.dims.size()),
                                                  plan.dims.data())
                              : mxCreateNumericArray(static_cast<unsigned int>(plan.dims.size()),
                                                     plan.dims.data(), a->GetClassID(),
                                                     a->GetComplexity()));
    if (a->IsLogical()) r->SetLogical();
    if (a->IsCell()) {
        for (std::size_t k = 0; k < plan.source.size(); ++k) {
            const CMatrix *slot = mxGetCell(a, plan.source[k]);
            if (slot) mxSetCell(r.get(), static_cast<int>(k), slot->CreateShareArray());
        }
        return r.release();
    }
    const std::size_t size = a->GetElementSize();
    GatherBytes(static_cast<const char *>(a->GetPr()), static_cast<char *>(r->GetPr()),
                plan.source, size);
    if (a->IsComplex())
        GatherBytes(static_cast<const char *>(a->GetPi()), static_cast<char *>(r->GetPi()),
                    plan.source, size);
    return r.release();
}

CMatrix *Flip(const CMatrix *a) { return Flip(a, FirstNonSingleton(DimsOf(a))); }

CMatrix *Flip(const CMatrix *a, unsigned int dim) {
    if (dim == 0) Fail("flip: the dimension must be a positive integer");
    return Rearrange(a, FlipPlan(DimsOf(a), dim));
}

CMatrix *Rot90(const CMatrix *a, long long k) { return Rearrange(a, Rot90Plan(DimsOf(a), k)); }

CMatrix *Circshift(const CMatrix *a, long long k) {
    return Circshift(a, k, FirstNonSingleton(DimsOf(a)));
}

CMatrix *Circshift(const CMatrix *a, long long k, unsigned int dim) {
    if (dim == 0) Fail("circshift: the dimension must be a positive integer");
    std::vector<long long> shifts(dim, 0);
    shifts[dim - 1] = k;
    return Circshift(a, shifts);
}

CMatrix *Circshift(const CMatrix *a, const std::vector<long long> &shifts) {
    return Rearrange(a, CircshiftPlan(DimsOf(a), shifts));
}

CMatrix *Permute(const CMatrix *a, const std::vector<unsigned int> &order) {
    return Rearrange(a, PermutePlan(DimsOf(a), order));
}

CMatrix *Ipermute(const CMatrix *a, const std::vector<unsigned int> &order) {
    return Rearrange(a, IpermutePlan(DimsOf(a), order));
}

CMatrix *Squeeze(const CMatrix *a) {
    const Lengths dims = SqueezeDims(DimsOf(a));
    ArrayHolder r(a->CreateShareArray());
    r->Reshape(static_cast<unsigned int>(dims.size()), dims.data());
    return r.release();
}

CMatrix *Kron(const CMatrix *a, const CMatrix *b) {
    if (a->GetNoDimensions() > 2 || b->GetNoDimensions() > 2)
        Fail("kron: the operands must be matrices");
    // As four-dimensional arrays, A of 1 x mA x 1 x nA times B of
    // mB x 1 x nB x 1 expands to mB x mA x nB x nA, which in column-major
    // order is the (mA mB) x (nA nB) Kronecker product.
    const unsigned int ma = a->GetDimensions()[0], na = a->GetDimensions()[1];
    const unsigned int mb = b->GetDimensions()[0], nb = b->GetDimensions()[1];
    const std::uint64_t rows = std::uint64_t{ma} * mb, cols = std::uint64_t{na} * nb;
    if (rows > UINT32_MAX || cols > UINT32_MAX || rows * cols > UINT32_MAX)
        throw kiv::CExhaustedMemoryException();
    ArrayHolder a4(a->CreateShareArray()), b4(b->CreateShareArray());
    const unsigned int da[4] = {1, ma, 1, na}, db[4] = {mb, 1, nb, 1};
    a4->Reshape(4, da);
    b4->Reshape(4, db);
    ArrayHolder r(Times(a4.get(), b4.get()));
    const unsigned int dr[2] = {static_cast<unsigned int>(rows), static_cast<unsigned int>(cols)};
    r->Reshape(2, dr);
    return r.release();
}

CMatrix *Blkdiag(unsigned int n, const CMatrix **arrays) {
    if (n == 0) return mxCreateNumericArray(0, nullptr, mxClassDouble, mxComplexityReal);
    // The class: what Horzcat gives empty arrays of the operands' classes.
    std::vector<ArrayHolder> empties;
    std::vector<const CMatrix *> raw;
    std::uint64_t rows = 0, cols = 0;
    for (unsigned int k = 0; k < n; ++k) {
        const CMatrix *x = arrays[k];
        if (x->GetNoDimensions() > 2) Fail("blkdiag: the operands must be matrices");
        const unsigned int zero[2] = {0, 0};
        empties.emplace_back(x->IsCell() ? mxCreateCellArray(2, zero)
                                         : mxCreateNumericArray(2, zero, x->GetClassID(),
                                                                x->GetComplexity()));
        if (x->IsLogical()) empties.back()->SetLogical();
        raw.push_back(empties.back().get());
        rows += x->GetDimensions()[0];
        cols += x->GetDimensions()[1];
    }
    if (n == 1) raw.push_back(raw[0]);
    ArrayHolder kind(Horzcat(static_cast<unsigned int>(raw.size()), raw.data()));
    if (kind->IsCell() || rows > UINT32_MAX || cols > UINT32_MAX ||
        rows * cols > UINT32_MAX) {
        if (kind->IsCell()) throw CNotImplementedException();
        throw kiv::CExhaustedMemoryException();
    }
    const unsigned int dr[2] = {static_cast<unsigned int>(rows), static_cast<unsigned int>(cols)};
    const mxClassID id = kind->GetClassID();
    ArrayHolder r(mxCreateNumericArray(2, dr, id, kind->GetComplexity()));
    const std::size_t size = r->GetElementSize();
    std::memset(r->GetPr(), 0, size * rows * cols);
    if (r->IsComplex()) std::memset(r->GetPi(), 0, size * rows * cols);
    if (kind->IsLogical()) r->SetLogical();
    std::size_t row = 0, col = 0;
    for (unsigned int k = 0; k < n; ++k) {
        const unsigned int m = arrays[k]->GetDimensions()[0], c = arrays[k]->GetDimensions()[1];
        if (std::uint64_t{m} * c != 0) {
            ArrayHolder x(Cast(arrays[k], id));
            for (unsigned int j = 0; j < c; ++j) {
                const std::size_t to = (row + (col + j) * rows) * size;
                const std::size_t from = std::size_t{j} * m * size;
                std::memcpy(static_cast<char *>(r->GetPr()) + to,
                            static_cast<const char *>(x->GetPr()) + from, m * size);
                if (x->IsComplex())
                    std::memcpy(static_cast<char *>(r->GetPi()) + to,
                                static_cast<const char *>(x->GetPi()) + from, m * size);
            }
        }
        row += m;
        col += c;
    }
    return r.release();
}

std::vector<CMatrix *> Grids(const std::vector<const CMatrix *> &inputs, unsigned int nOutputs,
                             bool mesh) {
    const char *name = mesh ? "meshgrid" : "ndgrid";
    if (inputs.empty())
        Fail(std::string(name) + ": the inputs must be numeric, char or logical arrays");
    for (const CMatrix *x : inputs)
        if (!x->IsNumeric())
            Fail(std::string(name) + ": the inputs must be numeric, char or logical arrays");
    // One input stands for all of them.
    std::vector<const CMatrix *> xs(inputs);
    if (xs.size() == 1) xs.assign(mesh ? (nOutputs > 2 ? 3 : 2) : std::max(nOutputs, 2u), xs[0]);
    Lengths dims;
    for (const CMatrix *x : xs) dims.push_back(x->GetNoElems());
    if (mesh) std::swap(dims[0], dims[1]);
    // Each grid is as large as the product: refuse what cannot be stored
    // before its plan is built.
    std::uint64_t bytes = 0;
    for (const CMatrix *x : xs)
        bytes = std::max<std::uint64_t>(bytes, std::max(1u, x->GetElementSize()));
    for (unsigned int d : dims) {
        bytes *= d;
        if (bytes > UINT32_MAX) throw kiv::CExhaustedMemoryException();
    }
    std::vector<ArrayHolder> grids;
    for (std::size_t g = 0; g < xs.size() && g < std::max(nOutputs, 1u); ++g) {
        // Grid g varies along dimension g (meshgrid: x along columns, y
        // along rows) and takes that subscript as the linear index of x.
        const std::size_t along = mesh && g < 2 ? 1 - g : g;
        const Lengths in = {xs[g]->GetNoElems(), 1};
        Rearrangement plan = Gather(in, dims, [along](const Lengths &s, Lengths &t) {
            t[0] = s[along];
            t[1] = 0;
        });
        ArrayHolder x(xs[g]->CreateShareArray());
        x->Reshape(2, in.data());
        grids.emplace_back(Rearrange(x.get(), plan));
    }
    std::vector<CMatrix *> out;
    for (ArrayHolder &g : grids) out.push_back(g.release());
    return out;
}

}  // namespace matrix
}  // namespace kiv
