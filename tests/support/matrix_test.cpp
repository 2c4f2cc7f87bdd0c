// tests/support/matrix_test.cpp: helpers shared by the test suites.
#include "support/matrix_test.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <tuple>
#include <utility>

namespace matrix_test {

using namespace kiv::matrix;

ArrayPtr Matrix(unsigned int m, unsigned int n, std::initializer_list<double> values) {
    ArrayPtr a(mxCreateDoubleMatrix(m, n, mxComplexityReal));
    EXPECT_EQ(values.size(), std::size_t{m} * n);
    std::copy(values.begin(), values.end(), mxGetPr(a.get()));
    return a;
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
        if (complexity == mxComplexityComplex) mxGetPi(a.get())[k] = -(first + k) / 4;
    }
    return a;
}

ArrayPtr Array(std::vector<unsigned int> dims, mxClassID classId, mxComplexity complexity) {
    return ArrayPtr(mxCreateNumericArray(static_cast<unsigned int>(dims.size()), dims.data(),
                                         classId, complexity));
}

ArrayPtr Row(const ValueList &values) {
    return Filled({1, static_cast<unsigned int>(values.size())}, values);
}

ArrayPtr Col(const ValueList &values) {
    return Filled({static_cast<unsigned int>(values.size()), 1}, values);
}

ArrayPtr Mask(const ValueList &values, const DimList &dims) {
    ArrayPtr a = dims.empty() ? Row(values) : Filled(dims, values);
    a->SetLogical();
    return a;
}

ArrayPtr U32(const std::vector<std::uint32_t> &values, bool logical) {
    ArrayPtr a = Typed(mxClassUint32, {1, static_cast<unsigned int>(values.size())}, values);
    if (logical) a->SetLogical();
    return a;
}

ArrayPtr Zeroed(const DimList &dims, mxClassID id) {
    ArrayPtr a = Array(dims, id);
    std::memset(a->GetPr(), 0, std::size_t{a->GetNoElems()} * a->GetElementSize());
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
    for (std::size_t b = 0; b < std::size_t{a->GetNoElems()} * a->GetElementSize(); ++b) {
        p[b] = static_cast<unsigned char>(b + 1);
    }
    return Bytes(a);
}

std::vector<unsigned char> Bytes(const CMatrix *a, bool imag) {
    const auto *p = static_cast<const unsigned char *>(imag ? a->GetPi() : a->GetPr());
    if (p == nullptr) return {};
    return std::vector<unsigned char>(p, p + std::size_t{a->GetNoElems()} * a->GetElementSize());
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

std::vector<double> Values(const CMatrix *a) {
    const double *p = mxGetPr(a);
    return std::vector<double>(p, p + a->GetNoElems());
}

std::vector<double> ImagValues(const CMatrix *a) {
    const double *p = mxGetPi(a);
    return p == nullptr ? std::vector<double>() : std::vector<double>(p, p + a->GetNoElems());
}

std::string Narrow(const kiv::WString &text) {
    std::string out;
    for (int i = 0; i < text.GetLength(); ++i) {
        const wchar_t c = text.c_str()[i];
        out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
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
    std::vector<std::uint64_t> out;
    for (double x : values) out.push_back(Bits(x));
    return out;
}

std::vector<std::uint64_t> BitsOf(const CMatrix *a) { return BitsOf(Values(a)); }

std::vector<ArrayPtr> NonRealDoubleOperands() {
    const struct {
        DimList dims;
        mxClassID id;
        mxComplexity complexity;
    } kinds[] = {
        {{2, 2}, mxClassDouble, mxComplexityComplex}, {{1, 1}, mxClassDouble, mxComplexityComplex},
        {{0, 0}, mxClassDouble, mxComplexityComplex}, {{2, 2}, mxClassSingle, mxComplexityReal},
        {{1, 1}, mxClassInt32, mxComplexityReal},     {{0, 0}, mxClassUint16, mxComplexityReal},
        {{1, 3}, mxClassChar, mxComplexityReal},      {{1, 1}, mxClassCell, mxComplexityReal}};
    std::vector<ArrayPtr> out;
    for (const auto &kind : kinds) {
        ArrayPtr a = Array(kind.dims, kind.id, kind.complexity);
        if (kind.id != mxClassCell) {
            std::memset(a->GetPr(), 1, a->GetAllocSize());
            if (a->GetPi() != nullptr) std::memset(a->GetPi(), 2, a->GetAllocSize());
        }
        out.push_back(std::move(a));
    }
    return out;
}

Snapshots::Snapshots(std::initializer_list<const CMatrix *> arrays)
    : Snapshots(std::vector<const CMatrix *>(arrays)) {}

Snapshots::Snapshots(const std::vector<const CMatrix *> &arrays) : m_arrays(arrays) {
    m_arrays.erase(std::remove(m_arrays.begin(), m_arrays.end(), nullptr), m_arrays.end());
    for (const CMatrix *a : m_arrays) m_before.push_back(ArraySnapshot::Of(a));
}

bool Snapshots::Unchanged() const {
    for (std::size_t k = 0; k < m_arrays.size(); ++k) {
        if (!(ArraySnapshot::Of(m_arrays[k]) == m_before[k])) return false;
    }
    return true;
}

namespace {

std::vector<unsigned char> BufferBytes(const void *data, std::size_t bytes) {
    if (data == nullptr) return {};
    const auto *p = static_cast<const unsigned char *>(data);
    return std::vector<unsigned char>(p, p + bytes);
}

}  // namespace

ArraySnapshot ArraySnapshot::Of(const CMatrix *a) {
    const std::size_t bytes = std::size_t{a->GetNoElems()} * a->GetElementSize();
    return ArraySnapshot{Dims(a),
                         a->GetClassID(),
                         a->GetFlags(),
                         a->GetCounter(),
                         a->GetPr(),
                         a->GetPi(),
                         BufferBytes(a->GetPr(), bytes),
                         BufferBytes(a->GetPi(), bytes)};
}

bool ArraySnapshot::operator==(const ArraySnapshot &other) const {
    return dims == other.dims && classId == other.classId && flags == other.flags &&
           counter == other.counter && pr == other.pr && pi == other.pi &&
           realBytes == other.realBytes && imagBytes == other.imagBytes;
}

void ExpectFailurePoints(const std::vector<FailureCase> &table) {
    for (const FailureCase &row : table) {
        SCOPED_TRACE(row.what);
        const Snapshots before(row.unchanged);
        const int points = ForEachAllocationFailure([&] { ArrayPtr result(row.call()); },
                                                    [&] { EXPECT_TRUE(before.Unchanged()); });
        EXPECT_GT(points, 0) << row.what << ": no allocation to fail";
    }
}

namespace {

constexpr std::uint64_t kDefaultSeed = 20250601u;

// Prints the seed after each failed test that used it.
class SeedReporter : public ::testing::EmptyTestEventListener {
public:
    explicit SeedReporter(std::uint64_t seed) : m_seed(seed) {}
    void OnTestEnd(const ::testing::TestInfo &info) override {
        if (info.result()->Failed()) {
            std::printf("%s.%s failed with MATRIX_TEST_SEED=%llu\n", info.test_suite_name(),
                        info.name(), static_cast<unsigned long long>(m_seed));
        }
    }

private:
    std::uint64_t m_seed;
};

}  // namespace

std::uint64_t Seed() {
    static const std::uint64_t seed = [] {
        const char *text = std::getenv("MATRIX_TEST_SEED");
        const std::uint64_t s = text != nullptr ? std::strtoull(text, nullptr, 10) : kDefaultSeed;
        ::testing::UnitTest::GetInstance()->listeners().Append(new SeedReporter(s));
        return s;
    }();
    return seed;
}

}  // namespace matrix_test
