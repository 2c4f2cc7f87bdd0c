// src/array/indexing.cpp: subscripts of Array and the reads, stores and deletions they select.
#include <matrix/array.h>

#include <cmath>
#include <new>
#include <vector>

namespace kiv {
namespace matrix {

namespace {

// Resolves one bound of a range subscripted at position k of n.
double BoundValue(const RangeBound &b, const CMatrix *a, unsigned int k, unsigned int n) {
    return b.fromEnd ? static_cast<double>(End(a, k, n)) + b.value : b.value;
}

template <typename T>
bool ValuesPass(const T *p, unsigned int n, SubscriptValues rule) {
    for (unsigned int k = 0; k < n; ++k) {
        const T x = p[k];
        if (x != std::floor(x)) return false;  // NaN included
        if (rule == SubscriptValues::kPositiveWhole && !(x >= 1 && std::isfinite(x))) return false;
    }
    return true;
}

}  // namespace

void CheckSubscript(const CMatrix *index, SubscriptValues rule) {
    if (index->IsLogical() || index->IsColon()) return;
    const unsigned int n = index->GetNoElems();
    bool pass = true;
    if (index->GetClassID() == mxClassDouble) {
        pass = ValuesPass(static_cast<const double *>(index->GetPr()), n, rule);
        if (pass && rule == SubscriptValues::kPositiveWhole && index->IsComplex()) {
            const double *im = static_cast<const double *>(index->GetPi());
            for (unsigned int k = 0; k < n && pass; ++k) pass = im[k] == 0.0;
        }
    } else if (index->GetClassID() == mxClassSingle) {
        pass = ValuesPass(static_cast<const float *>(index->GetPr()), n, rule);
        if (pass && rule == SubscriptValues::kPositiveWhole && index->IsComplex()) {
            const float *im = static_cast<const float *>(index->GetPi());
            for (unsigned int k = 0; k < n && pass; ++k) pass = im[k] == 0.0f;
        }
    }
    if (!pass)
        throw CFunctionErrorException(
            L"Subscript indices must either be real positive integers or logicals.");
}

Subscript::Subscript(IndexRef &&index)
    : m_kind(Kind::Array), m_array(static_cast<Array>(std::move(index))) {}

const CMatrix *Subscript::Resolve(const CMatrix *a, unsigned int k, unsigned int n,
                                  Array &holder) const {
    switch (m_kind) {
        case Kind::Array: CheckSubscript(m_array.get(), SubscriptValues::kWhole); return m_array.get();
        case Kind::Position:
            holder = Array(static_cast<double>(Array::WholePosition(m_value)));
            break;
        case Kind::Colon: holder = Array::Adopt(mxCreateColonIndex()); break;
        case Kind::End: holder = Array(static_cast<double>(End(a, k, n)) + m_value); break;
        case Kind::Range:
            holder = Array::Adopt(Colon(BoundValue(m_range.first, a, k, n),
                                        BoundValue(m_range.step, a, k, n),
                                        BoundValue(m_range.last, a, k, n)));
            CheckSubscript(holder.get(), SubscriptValues::kWhole);
            break;
    }
    return holder.get();
}

std::vector<const CMatrix *> IndexRef::ResolveAll(std::vector<Array> &holders) const {
    const CMatrix *a = m_target.get();
    const auto n = static_cast<unsigned int>(m_n);
    std::vector<const CMatrix *> subscripts;
    // The lists are the standard library's; their failure is reported as
    // the library's own. Reserved first, so that no holder moves below.
    try {
        holders.clear();
        holders.reserve(n);
        subscripts.resize(n);
    } catch (const std::bad_alloc &) {
        throw kiv::CExhaustedMemoryException();
    }
    for (unsigned int k = 0; k < n; ++k) holders.push_back(Array::Unset());
    subscripts[0] = m_i.Resolve(a, 1, n, holders[0]);
    subscripts[1] = m_j.Resolve(a, 2, n, holders[1]);
    for (unsigned int k = 2; k < n; ++k)
        subscripts[k] = m_more[k - 2].Resolve(a, k + 1, n, holders[k]);
    return subscripts;
}

Array IndexRef::Read() const {
    const CMatrix *a = m_target.get();
    if (m_n > 2) {
        std::vector<Array> hold;
        return Array::Adopt(Indexref(a, ResolveAll(hold)));
    }
    Array hold[2] = {Array::Unset(), Array::Unset()};
    const CMatrix *i = m_i.Resolve(a, 1, m_n, hold[0]);
    if (m_n == 1) return Array::Adopt(Indexref(a, i));
    const CMatrix *j = m_j.Resolve(a, 2, m_n, hold[1]);
    return Array::Adopt(Indexref(a, i, j));
}

IndexRef &&IndexRef::operator=(const Array &b) && {
    // A right side that is the target itself is held by a sharer of its own,
    // so replacing the target's array cannot pull it away mid-assignment.
    Array keep = Array::Unset();
    const CMatrix *value = b.get();
    if (value == m_target.get()) {
        keep = b;
        value = keep.get();
    }
    if (m_n > 2) {
        std::vector<Array> hold;
        Indexassign(m_target.m_a, ResolveAll(hold), value);
        return std::move(*this);
    }
    Array hold[2] = {Array::Unset(), Array::Unset()};
    const CMatrix *i = m_i.Resolve(m_target.get(), 1, m_n, hold[0]);
    if (m_n == 1) {
        Indexassign(m_target.m_a, i, value);
    } else {
        const CMatrix *j = m_j.Resolve(m_target.get(), 2, m_n, hold[1]);
        Indexassign(m_target.m_a, i, j, value);
    }
    return std::move(*this);
}

IndexRef &&IndexRef::operator=(EmptyArray) && {
    if (m_n > 2) {
        std::vector<Array> hold;
        Indexdelete(m_target.m_a, ResolveAll(hold));
        return std::move(*this);
    }
    Array hold[2] = {Array::Unset(), Array::Unset()};
    const CMatrix *i = m_i.Resolve(m_target.get(), 1, m_n, hold[0]);
    if (m_n == 1) {
        Indexdelete(m_target.m_a, i);
    } else {
        const CMatrix *j = m_j.Resolve(m_target.get(), 2, m_n, hold[1]);
        Indexdelete(m_target.m_a, i, j);
    }
    return std::move(*this);
}

}  // namespace matrix
}  // namespace kiv
