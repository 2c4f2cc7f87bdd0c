// src/mtrx/subscripts.cpp: reads, stores and deletions through the library's
// list forms, which take any number of subscripts.
#include "subscripts.h"

#include "error.h"

#include <matrix/exceptions.h>
#include <matrix/index.h>
#include <matrix/mx.h>

namespace mtrx {

namespace km = kiv::matrix;

namespace {

std::vector<const km::CMatrix *> Raw(const SubscriptList &subs) {
    std::vector<const km::CMatrix *> raw;
    raw.reserve(subs.size());
    for (const Array &s : subs) raw.push_back(s.get());
    return raw;
}

// The positions (1-based, 0 for a slot no source fills) held by `a`.
std::vector<std::size_t> PositionsOf(const Array &a) {
    std::vector<std::size_t> out(a.Numel());
    const double *p = out.empty() ? nullptr : a.Data();
    for (std::size_t k = 0; k < out.size(); ++k) out[k] = static_cast<std::size_t>(p[k]);
    return out;
}

}  // namespace

Array ColonSubscript() { return Array::Adopt(km::mxCreateColonIndex()); }

void CheckSubscript(const Value &index) {
    try {
        km::CheckSubscript(index.array().get(), km::SubscriptValues::kPositiveWhole);
    } catch (const km::CFunctionErrorException &) {
        throw Error("Subscript indices must either be real positive integers or logicals.");
    }
}

Array IndexRead(const Array &a, const SubscriptList &subs) {
    Array part = Array::Adopt(km::Indexref(a.get(), Raw(subs)));
    // The library's selections are plain doubles; elements of a logical
    // array stay logical.
    if (a.IsLogical() && part.ClassID() == km::mxClassDouble) km::mxSetLogical(part.get());
    return part;
}

void IndexWrite(Array &a, const SubscriptList &subs, const Array &b) {
    const std::vector<const km::CMatrix *> raw = Raw(subs);
    km::CMatrix *target = a.release();
    try {
        km::Indexassign(target, raw, b.get());
    } catch (...) {
        a = Array::Adopt(target);
        throw;
    }
    a = Array::Adopt(target);
}

void IndexErase(Array &a, const SubscriptList &subs) {
    const std::vector<const km::CMatrix *> raw = Raw(subs);
    km::CMatrix *target = a.release();
    try {
        km::Indexdelete(target, raw);
    } catch (...) {
        a = Array::Adopt(target);
        throw;
    }
    a = Array::Adopt(target);
}

Array Positions(const Dims &dims, double first) {
    Array out = Array::Adopt(km::Zeros(static_cast<unsigned int>(dims.size()), dims.data()));
    if (out.Numel() == 0) return out;
    const km::DoubleSpan p = out.MutableData();
    for (std::size_t k = 0; k < p.size; ++k) p[k] = first + static_cast<double>(k);
    return out;
}

Dims Named(const Array &a, const SubscriptList &subs) {
    const auto n = static_cast<unsigned int>(subs.size());
    Dims lengths;
    for (unsigned int k = 0; k < n; ++k) {
        const km::CMatrix *s = subs[k].get();
        unsigned int length = s->GetNoElems();
        if (s->IsColon()) {
            length = km::End(a, k + 1, n);
        } else if (s->IsLogical()) {
            const Array truth = Array::Adopt(km::Logical(s));
            length = 0;
            for (std::size_t j = 0; j < truth.Numel(); ++j) length += truth.Data()[j] != 0.0;
        }
        lengths.push_back(length);
    }
    if (n == 1) lengths.insert(lengths.begin(), 1u);
    return lengths;
}

Dims Select(const Dims &dims, const SubscriptList &subs, std::vector<std::size_t> &taken) {
    const Array part = IndexRead(Positions(dims), subs);
    taken = PositionsOf(part);
    for (std::size_t &k : taken) --k;
    return part.Dims();
}

Dims Store(const Dims &dims, const SubscriptList &subs, const Dims *source,
           std::vector<std::size_t> &from) {
    Array all = Positions(dims);
    if (!source)
        IndexErase(all, subs);
    else
        IndexWrite(all, subs, Positions(*source, static_cast<double>(Count(dims) + 1)));
    from = PositionsOf(all);
    return all.Dims();
}

CellArray StoreCells(const CellArray &c, const SubscriptList &subs, const CellArray *rhs) {
    std::vector<std::size_t> from;
    CellArray out;
    out.dims = Store(c.dims, subs, rhs ? &rhs->dims : nullptr, from);
    out.items.reserve(from.size());
    const std::size_t n = c.items.size();
    for (std::size_t p : from)
        out.items.push_back(p == 0 ? Value() : p <= n ? c.items[p - 1] : rhs->items[p - n - 1]);
    return out;
}

StructArray StoreStructs(const StructArray &s, const SubscriptList &subs, const StructArray *rhs) {
    std::vector<int> order;  // rhs's field of each of s's
    if (rhs) {
        if (rhs->fields.size() != s.fields.size())
            throw Error("Structs assigned into a struct array must have its fields");
        for (const std::string &f : s.fields) {
            const int k = rhs->Field(f);
            if (k < 0) throw Error("Structs assigned into a struct array must have its fields");
            order.push_back(k);
        }
    }
    std::vector<std::size_t> from;
    StructArray out;
    out.fields = s.fields;
    out.dims = Store(s.dims, subs, rhs ? &rhs->dims : nullptr, from);
    const std::size_t n = Count(s.dims);
    out.values.reserve(from.size() * s.fields.size());
    for (std::size_t p : from)
        for (std::size_t f = 0; f < s.fields.size(); ++f)
            out.values.push_back(p == 0   ? Value()
                                 : p <= n ? s.At(p - 1, f)
                                          : rhs->At(p - n - 1, static_cast<std::size_t>(order[f])));
    return out;
}

StructArray GrowStructs(const StructArray &s, const Dims &dims) {
    StructArray out;
    out.dims = dims;
    out.fields = s.fields;
    out.values.assign(Count(dims) * s.fields.size(), Value());
    const std::size_t n = Count(s.dims);
    for (std::size_t p = 0; p < n; ++p) {
        // p's subscripts in s, then their position in the grown array.
        std::size_t rest = p, q = 0, stride = 1;
        for (std::size_t d = 0; d < dims.size(); ++d) {
            const std::size_t extent = d < s.dims.size() ? s.dims[d] : 1;
            const std::size_t sub = d + 1 < s.dims.size() ? rest % extent : rest;
            rest = d + 1 < s.dims.size() ? rest / extent : 0;
            q += sub * stride;
            stride *= dims[d];
        }
        for (std::size_t f = 0; f < s.fields.size(); ++f) out.At(q, f) = s.At(p, f);
    }
    return out;
}

}  // namespace mtrx
