// tests/support/matrix_test.cpp: helpers shared by the test suites.
#include "support/matrix_test.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace matrix_test {

using namespace kiv::matrix;

ArrayPtr Matrix(unsigned int m, unsigned int n, std::initializer_list<double> values) {
    return Filled({m, n}, values);
}

ArrayPtr Filled(const DimList &dims, const std::vector<double> &values) {
    ArrayPtr a = Array(dims);
    EXPECT_EQ(values.size(), a->GetNoElems());
    std::copy(values.begin(), values.end(), mxGetPr(a.get()));
    return a;
}

ArrayPtr Counted(const DimList &dims, double first, mxComplexity complexity) {
    ArrayPtr a = Array(dims, mxClassDouble, complexity);
    for (unsigned int k = 0; k < a->GetNoElems(); ++k) {
        mxGetPr(a.get())[k] = first + k;
        if (a->GetPi() != nullptr) mxGetPi(a.get())[k] = -(first + k) / 4;
    }
    return a;
}

ArrayPtr Array(std::vector<unsigned int> dims, mxClassID classId, mxComplexity complexity) {
    return ArrayPtr(mxCreateNumericArray(unsigned(dims.size()), dims.data(), classId, complexity));
}

ArrayPtr Row(const ValueList &values) { return Filled({1, unsigned(values.size())}, values); }

ArrayPtr Col(const ValueList &values) { return Filled({unsigned(values.size()), 1}, values); }

ArrayPtr Mask(const ValueList &values, const DimList &dims) {
    ArrayPtr a = dims.empty() ? Row(values) : Filled(dims, values);
    a->SetLogical();
    return a;
}

ArrayPtr U32(const std::vector<std::uint32_t> &values, bool logical) {
    ArrayPtr a = Typed(mxClassUint32, {1, unsigned(values.size())}, values);
    if (logical) a->SetLogical();
    return a;
}

ArrayPtr Zeroed(const DimList &dims, mxClassID id) {
    ArrayPtr a = Array(dims, id);
    std::memset(a->GetPr(), 0, a->GetAllocSize());
    return a;
}

ArrayPtr Complex(unsigned int m, unsigned int n, const ValueList &re, const ValueList &im) {
    ArrayPtr a(mxDoubleMatrix(m, n, re.data(), im.data()));
    EXPECT_TRUE(re.size() == std::size_t{m} * n && im.size() == re.size());
    return a;
}

ArrayPtr Colon() { return ArrayPtr(mxCreateColonIndex()); }

ArrayPtr Cells(unsigned int m, unsigned int n, double first) {
    ArrayPtr c(mxCreateCellMatrix(m, n));
    for (unsigned int k = 0; k < m * n; ++k) mxSetCell(c.get(), int(k), Scalar(first + k));
    return c;
}

double Slot(const CMatrix *cell, unsigned int k) { return mxGetScalar(mxGetCell(cell, int(k))); }

std::vector<unsigned char> FillBytes(CMatrix *a) {
    auto *p = static_cast<unsigned char *>(a->GetPr());
    for (std::size_t b = 0; b < a->GetAllocSize(); ++b) p[b] = static_cast<unsigned char>(b + 1);
    return Bytes(a);
}

std::vector<unsigned char> Bytes(const CMatrix *a, bool imag) {
    const auto *p = static_cast<const unsigned char *>(imag ? a->GetPi() : a->GetPr());
    return p == nullptr ? std::vector<unsigned char>()
                        : std::vector<unsigned char>(p, p + a->GetAllocSize());
}

std::vector<unsigned char> Picked(const std::vector<unsigned char> &bytes, std::size_t size,
                                  const std::vector<double> &positions) {
    std::vector<unsigned char> out;
    for (double p : positions) {
        const auto at = bytes.begin() + static_cast<std::ptrdiff_t>((std::size_t(p) - 1) * size);
        out.insert(out.end(), at, at + static_cast<std::ptrdiff_t>(size));
    }
    return out;
}

::testing::AssertionResult SameArray(const CMatrix *actual, const CMatrix *expected) {
    auto seen = [](const CMatrix *a) {
        return std::make_tuple(Dims(a), static_cast<int>(a->GetClassID()), Bytes(a),
                               Bytes(a, true));
    };
    if (seen(actual) == seen(expected)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << ::testing::PrintToString(seen(actual)) << " instead of "
                                         << ::testing::PrintToString(seen(expected));
}

std::vector<double> special::SpecialValues() {
    return {0.0,   -0.0,   1.0,      -1.0, 2.5,   -3.75, 0.1,         3.0, -2.0,
            1e308, -1e308, 4.9e-324, kInf, -kInf, kNaN,  kNegatedNaN, 0.5};
}

std::vector<unsigned int> Dims(const CMatrix *a) {
    return std::vector<unsigned int>(a->GetDimensions(), a->GetDimensions() + a->GetNoDimensions());
}

std::vector<double> Values(const CMatrix *a) { return {mxGetPr(a), mxGetPr(a) + a->GetNoElems()}; }

std::vector<double> ImagValues(const CMatrix *a) {
    const double *p = mxGetPi(a);
    return p == nullptr ? std::vector<double>() : std::vector<double>(p, p + a->GetNoElems());
}

std::string Narrow(const kiv::WString &text) {
    std::string out(text.c_str(), text.c_str() + text.GetLength());
    for (int i = 0; i < text.GetLength(); ++i) out[i] = text.c_str()[i] < 0x80 ? out[i] : '?';
    return out;
}

std::uint64_t Bits(double x) {
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

double FromBits(std::uint64_t bits) {
    double x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

std::vector<std::uint64_t> BitsOf(const std::vector<double> &values) {
    std::vector<std::uint64_t> out(values.size());
    std::transform(values.begin(), values.end(), out.begin(), Bits);
    return out;
}

std::vector<std::uint64_t> BitsOf(const CMatrix *a) { return BitsOf(Values(a)); }

std::vector<ArrayPtr> NonRealDoubleOperands() {
    std::vector<ArrayPtr> out;
    const mxClassID ids[] = {mxClassSingle, mxClassInt32, mxClassUint16, mxClassChar, mxClassCell};
    const DimList dims[] = {{2, 2}, {1, 1}, {0, 0}, {1, 3}, {1, 1}};
    for (const DimList &d : {DimList{2, 2}, DimList{1, 1}, DimList{0, 0}}) {
        out.push_back(Array(d, mxClassDouble, mxComplexityComplex));
    }
    for (int k = 0; k < 5; ++k) out.push_back(Array(dims[k], ids[k]));
    for (ArrayPtr &a : out) {
        if (a->IsCell()) continue;
        std::memset(a->GetPr(), 1, a->GetAllocSize());
        if (a->GetPi() != nullptr) std::memset(a->GetPi(), 2, a->GetAllocSize());
    }
    return out;
}

Snapshots::Snapshots(const std::vector<const CMatrix *> &list) {
    for (const CMatrix *a : list) {
        if (a == nullptr) continue;
        arrays.push_back(a);
        before.push_back(ArraySnapshot::Of(a));
    }
}

bool Snapshots::Unchanged() const {
    std::vector<ArraySnapshot> now;
    for (const CMatrix *a : arrays) now.push_back(ArraySnapshot::Of(a));
    return now == before;
}

ArraySnapshot ArraySnapshot::Of(const CMatrix *a) {
    return {{Dims(a), a->GetClassID(), a->GetFlags(), a->GetCounter(), a->GetPr(), a->GetPi(),
             Bytes(a), Bytes(a, true)}};
}

void ExpectFailurePoints(const std::vector<FailureCase> &table) {
    for (const FailureCase &row : table) {
        SCOPED_TRACE(row.what);
        EXPECT_GT(FailurePoints(row.call, row.unchanged), 0)
            << row.what << ": no allocation to fail";
    }
}

std::uint64_t Seed() {
    static const std::uint64_t seed = [] {
        const char *text = std::getenv("MATRIX_TEST_SEED");
        const std::uint64_t s = text != nullptr ? std::strtoull(text, nullptr, 10) : 20250601u;
        std::printf("MATRIX_TEST_SEED=%llu\n", static_cast<unsigned long long>(s));
        return s;
    }();
    return seed;
}

}  // namespace matrix_test
