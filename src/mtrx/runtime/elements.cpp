// src/mtrx/runtime/elements.cpp: the out-of-line paths of element access.
#include "runtime/elements.h"

#include "runtime/runtime.h"

namespace mtrx {

bool Elements::Take(Value &v, bool write, bool logical) {
    *this = Elements();
    m_write = write;
    if (v.tag() != Tag::Array && (logical || v.tag() != Tag::Scalar)) return false;
    double x;
    if (v.tag() == Tag::Array) {
        const kiv::matrix::CMatrix *a = v.array().get();
        if (!a->IsDouble() || a->IsComplex() || a->IsLogical() != logical) return false;
    } else if (!v.RealScalar(x)) {
        return false;
    }
    Array &a = v.MutableArray();
    m_data = write ? a.MutableData().data : const_cast<double *>(a.Data());
    m_numel = a.Numel();
    m_rows = a.Rows();
    m_cols = m_rows ? m_numel / m_rows : 0;
    return true;
}

bool Elements::StoreInPlace(Value &v, const Value &rhs, unsigned int n, double i, double j) {
    double y;
    if (v.tag() != Tag::Array || !rhs.RealScalar(y)) return false;
    const kiv::matrix::CMatrix *a = v.array().get();
    if (!a->IsDouble() || a->IsComplex() || a->IsLogical()) return false;
    std::size_t k;
    if (n == 1) {
        const auto numel = static_cast<double>(a->GetNoElems());
        if (!(i >= 1.0 && i <= numel) || static_cast<double>(static_cast<std::size_t>(i)) != i)
            return false;
        k = static_cast<std::size_t>(i) - 1;
    } else {
        Elements shape;
        shape.m_numel = a->GetNoElems();
        shape.m_rows = a->GetDimensions()[0];
        shape.m_cols = shape.m_rows ? shape.m_numel / shape.m_rows : 0;
        if (!shape.Position(i, j, k)) return false;
    }
    // The data is copied first only when another value shares it.
    v.MutableArray().MutableData()[k] = y;
    return true;
}

namespace {

// Returned as the lambda itself: a Fill only refers to it, so it must live
// through the full expression that uses it.
auto Subscripts(unsigned int n, double i, double j) {
    return [n, i, j](List &s) {
        s.Add(Value(i));
        if (n == 2) s.Add(Value(j));
    };
}

}  // namespace

double Elements::ReadSlow(Scope &call, const Value &v, unsigned int n, double i, double j) {
    call.At(call.m_where);
    const Value out = call.m_rt.Index(v, n, Subscripts(n, i, j));
    double x;
    if (!out.RealScalar(x)) Runtime::Raise("An element of a double array is not a double scalar");
    return x;
}

bool Elements::TakeInteger(Value &v, bool write, int id) {
    *this = Elements();
    if (v.tag() != Tag::Array) return false;
    const kiv::matrix::CMatrix *a = v.array().get();
    if (a->GetClassID() != id || a->IsComplex()) return false;
    // Unshared first for writing, as MutableData does for doubles: the
    // value's copy on write, then the array's own copy of a shared buffer.
    if (write) {
        Array &b = v.MutableArray();
        b.get()->GetOwnCopy();
    }
    m_raw = v.array().get()->GetPr();
    m_numel = a->GetNoElems();
    m_rows = a->GetDimensions()[0];
    m_cols = m_rows ? m_numel / m_rows : 0;
    return true;
}

double Elements::ReadIntegerSlow(Scope &call, const Value &v, unsigned int n, double i, double j, int id) {
    call.At(call.m_where);
    const Value out = call.m_rt.Index(v, n, Subscripts(n, i, j));
    if (out.tag() != Tag::Array || out.array().get()->GetClassID() != id || out.array().Numel() != 1 ||
        out.array().get()->IsComplex())
        Runtime::Raise("An element of an integer array is not an integer scalar of its class");
    const void *p = out.array().get()->GetPr();
    switch (id) {
        case 8: return *static_cast<const std::int8_t *>(p);
        case 9: return *static_cast<const std::uint8_t *>(p);
        case 10: return *static_cast<const std::int16_t *>(p);
        case 11: return *static_cast<const std::uint16_t *>(p);
        case 12: return *static_cast<const std::int32_t *>(p);
        default: return *static_cast<const std::uint32_t *>(p);
    }
}

void Elements::StoreIntegerSlow(Scope &call, Value &v, unsigned int n, double i, double j, double x, int id) {
    call.At(call.m_where);
    // x is a value of the class: exact in a double, converted back exactly.
    const Value boxed = id == 8    ? scalars::Box(static_cast<std::int8_t>(x))
                        : id == 9  ? scalars::Box(static_cast<std::uint8_t>(x))
                        : id == 10 ? scalars::Box(static_cast<std::int16_t>(x))
                        : id == 11 ? scalars::Box(static_cast<std::uint16_t>(x))
                        : id == 12 ? scalars::Box(static_cast<std::int32_t>(x))
                                   : scalars::Box(static_cast<std::uint32_t>(x));
    v = call.m_rt.Assign(v, {Step::Paren(n, Subscripts(n, i, j))}, boxed, false);
}

bool Elements::ReadLogicalSlow(Scope &call, const Value &v, unsigned int n, double i, double j) {
    call.At(call.m_where);
    const Value out = call.m_rt.Index(v, n, Subscripts(n, i, j));
    if (out.tag() != Tag::Array || !out.array().get()->IsLogical() || out.array().Numel() != 1)
        Runtime::Raise("An element of a logical array is not a logical scalar");
    return out.array().Data()[0] != 0.0;
}

void Elements::StoreLogicalSlow(Scope &call, Value &v, unsigned int n, double i, double j, bool x) {
    call.At(call.m_where);
    v = call.m_rt.Assign(v, {Step::Paren(n, Subscripts(n, i, j))}, Runtime::Logical(x), false);
}

double Elements::CountSlow(Runtime &rt, const Value &v, const char *name, unsigned int k) {
    Values args{v};
    if (k) args.push_back(Value(static_cast<double>(k)));
    const Value out = Runtime::First(rt.Call(name, std::move(args), 1), name);
    double x;
    if (!out.RealScalar(x)) Runtime::Raise((std::string(name) + ": not a double scalar").c_str());
    return x;
}

void Elements::StoreSlow(Scope &call, Value &v, unsigned int n, double i, double j, double x) {
    call.At(call.m_where);
    v = call.m_rt.Assign(v, {Step::Paren(n, Subscripts(n, i, j))}, Value(x), false);
    Take(v, m_write);
}

}  // namespace mtrx
