// tests/support/matrix_test.cpp: helpers shared by the test suites.
#include "support/matrix_test.h"

#include <cstring>

namespace matrix_test {

using namespace kiv::matrix;

ArrayPtr Matrix(unsigned int m, unsigned int n, std::initializer_list<double> values) {
    ArrayPtr a(mxCreateDoubleMatrix(m, n, mxComplexityReal));
    EXPECT_EQ(values.size(), std::size_t{m} * n);
    std::copy(values.begin(), values.end(), mxGetPr(a.get()));
    return a;
}

ArrayPtr Array(std::vector<unsigned int> dims, mxClassID classId, mxComplexity complexity) {
    return ArrayPtr(mxCreateNumericArray(static_cast<unsigned int>(dims.size()), dims.data(),
                                         classId, complexity));
}

std::vector<unsigned int> Dims(const CMatrix *a) {
    return std::vector<unsigned int>(a->GetDimensions(),
                                     a->GetDimensions() + a->GetNoDimensions());
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

}  // namespace matrix_test
