// src/array/outputs.cpp: the Array forms of the functions with several outputs.
#include <matrix/array.h>

#include <algorithm>
#include <vector>

namespace kiv {
namespace matrix {

namespace {

// The outputs of one call of a function with several outputs. Whatever the
// call set and nobody took is released, so a call that fails half way
// leaks nothing.
template <int N>
class Outputs {
public:
    Outputs() = default;
    Outputs(const Outputs &) = delete;
    Outputs &operator=(const Outputs &) = delete;
    ~Outputs() {
        for (CMatrix *&a : m_p) mxDestroyArray(a);
    }

    CMatrix *&operator[](int k) { return m_p[k]; }
    Array Take(int k) {
        CMatrix *a = m_p[k];
        m_p[k] = nullptr;
        return Array::Adopt(a);
    }

private:
    CMatrix *m_p[N] = {};
};

// A failure names the operation and its operand, as the other wrappers do.
template <typename Call>
ValuesPositions TwoOf(const char *operation, const Array &a, Call call) {
    Outputs<2> out;
    try {
        call(out[0], out[1]);
    } catch (...) {
        RethrowForOperation(operation, 1, a.get(), nullptr);
    }
    return {out.Take(0), out.Take(1)};
}

}  // namespace

ValuesPositions Max(const Array &a) {
    return TwoOf("max", a, [&](CMatrix *&y, CMatrix *&i) { Max(y, i, a.get()); });
}
ValuesPositions Max(const Array &a, Dim dim) {
    return TwoOf("max", a, [&](CMatrix *&y, CMatrix *&i) { Max(y, i, a.get(), dim.value); });
}
ValuesPositions Min(const Array &a) {
    return TwoOf("min", a, [&](CMatrix *&y, CMatrix *&i) { Min(y, i, a.get()); });
}
ValuesPositions Min(const Array &a, Dim dim) {
    return TwoOf("min", a, [&](CMatrix *&y, CMatrix *&i) { Min(y, i, a.get(), dim.value); });
}

ValuesPositions Sort(const Array &a) {
    return TwoOf("sort", a, [&](CMatrix *&y, CMatrix *&i) { Sort(y, i, a.get()); });
}
ValuesPositions Sort(const Array &a, SortOrder order) {
    return TwoOf("sort", a, [&](CMatrix *&y, CMatrix *&i) { Sort(y, i, a.get(), order); });
}
ValuesPositions Sort(const Array &a, Dim dim) {
    return TwoOf("sort", a, [&](CMatrix *&y, CMatrix *&i) { Sort(y, i, a.get(), dim.value); });
}
ValuesPositions Sort(const Array &a, Dim dim, SortOrder order) {
    return TwoOf("sort", a,
                 [&](CMatrix *&y, CMatrix *&i) { Sort(y, i, a.get(), dim.value, order); });
}

TwoArrays Lu(const Array &a) {
    Outputs<2> out;
    Lu(out[0], out[1], a.get());
    return {out.Take(0), out.Take(1)};
}
ThreeArrays LuPivots(const Array &a) {
    Outputs<3> out;
    Lu(out[0], out[1], out[2], a.get());
    return {out.Take(0), out.Take(1), out.Take(2)};
}
TwoArrays Qr(const Array &a, bool economy) {
    Outputs<2> out;
    Qr(out[0], out[1], a.get(), economy);
    return {out.Take(0), out.Take(1)};
}
ThreeArrays QrPivots(const Array &a, bool economy) {
    Outputs<3> out;
    Qr(out[0], out[1], out[2], a.get(), economy);
    return {out.Take(0), out.Take(1), out.Take(2)};
}
ThreeArrays SvdVectors(const Array &a, bool economy) {
    Outputs<3> out;
    Svd(out[0], out[1], out[2], a.get(), economy);
    return {out.Take(0), out.Take(1), out.Take(2)};
}
TwoArrays EigVectors(const Array &a, bool balance) {
    Outputs<2> out;  // D, V
    Eig(out[0], out[1], a.get(), balance);
    return {out.Take(1), out.Take(0)};
}
TwoArrays FindRowsCols(const Array &a) {
    Outputs<2> out;
    Find(out[0], out[1], a.get());
    return {out.Take(0), out.Take(1)};
}
ThreeArrays FindRowsColsValues(const Array &a) {
    Outputs<3> out;
    Find(out[0], out[1], out[2], a.get());
    return {out.Take(0), out.Take(1), out.Take(2)};
}
TwoArrays PlanerotApplied(const Array &x) {
    Outputs<2> out;
    Planerot(out[0], out[1], x.get());
    return {out.Take(0), out.Take(1)};
}

namespace {

template <typename Join>
Array Concatenate(Join join, std::initializer_list<const CMatrix *> operands) {
    // The raw form takes a non-const array of pointers; a small local copy
    // keeps the caller's list untouched.
    constexpr std::size_t kLocal = 16;
    const CMatrix *local[kLocal];
    std::vector<const CMatrix *> heap;
    const CMatrix **list = local;
    if (operands.size() > kLocal) {
        heap.assign(operands.begin(), operands.end());
        list = heap.data();
    } else {
        std::copy(operands.begin(), operands.end(), local);
    }
    return Array::Adopt(join(static_cast<unsigned int>(operands.size()), list));
}

}  // namespace

Array HorzcatList(std::initializer_list<const CMatrix *> operands) {
    return Concatenate([](unsigned int n, const CMatrix **list) { return Horzcat(n, list); },
                       operands);
}
Array VertcatList(std::initializer_list<const CMatrix *> operands) {
    return Concatenate([](unsigned int n, const CMatrix **list) { return Vertcat(n, list); },
                       operands);
}
Array CatList(unsigned int dim, std::initializer_list<const CMatrix *> operands) {
    return Concatenate([dim](unsigned int n, const CMatrix **list) { return Cat(dim, n, list); },
                       operands);
}

}  // namespace matrix
}  // namespace kiv
