// tests/construct/refusals_test.cpp: every refusal of construction and
// shape operations, and their failed allocations.
#include <matrix/matrix.h>

#include <climits>
#include <vector>

#include "support/matrix_test.h"
#include "support/refusal.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;
using matrix_test::Array;  // the test helper, not kiv::matrix::Array

TEST(Construct, Refusals) {
    const Expected memory = Expected::Throws<kiv::CExhaustedMemoryException>();
    const Expected nd = Expected::Throws<CTransposeOnNDArrayNotDefinedException>();
    const Expected rows = Expected::Throws<CAllColumnsMustHaveSameRows>();
    const Expected columns = Expected::Throws<CAllRowsMustHaveSameColumns>();
    const Expected zero = Expected::Throws<CIndexIntoMatrixNegativeOrZeroException>();
    const auto error = [](const wchar_t *text) {
        return Expected::Throws(CFunctionErrorException(text));
    };
    const Expected option = error(L"Unknown command option"), endBeyond = error(L"End: iDim>iIdxs");
    const Expected twoLengths = error(L"Size vector must have at least two elements");
    const Expected sameCount = error(L"The number of elements can't change");
    const double v[] = {1, 2};
    const unsigned int one[] = {6};
    ArrayPtr c21 = Counted({2, 1}), c31 = Counted({3, 1}), e04 = Array({0, 4});
    ArrayPtr r12 = Counted({1, 2}), r13 = Counted({1, 3}), ints = Zeroed({1, 1}, mxClassInt32);
    ArrayPtr intCube = Zeroed({2, 2, 2}, mxClassInt32), wide = Array({0, 3000000000u});
    ArrayPtr m = Counted({2, 3}), huge = Array({0, 70000, 70000});
    const CMatrix *a = c21.get(), *b = c31.get(), *e = e04.get(), *p = r12.get(), *q = r13.get();
    const CMatrix *i = ints.get(), *cube = intCube.get(), *w = wide.get(), *h = huge.get();
    CMatrix *mm = m.get();
    ArrayPtr text2 = Zeroed({1, 2}, mxClassChar), text3 = Zeroed({1, 3}, mxClassChar);
    ArrayPtr textCol = Zeroed({2, 1}, mxClassChar), text0 = Zeroed({0, 2}, mxClassChar);
    const CMatrix *s2 = text2.get(), *s3 = text3.get(), *sc = textCol.get(), *t0 = text0.get();
    ArrayPtr complexOne = Complex(1, 1, {1}, {2});
    const CMatrix *z = complexOne.get();
    // Element counts or byte sizes beyond 32 bits, no generator draw made;
    // the number of dimensions before the class; concatenated operands in
    // order, empty ones too, whose huge lengths may not wrap. A product of
    // lengths beyond 32 bits is a different count too, not a memory failure;
    // but a column count beyond 32 bits is a shape outside the data model.
    std::vector<Refusal> t = {
        {"rand", [] { ArrayPtr(Rand(65536u)); }, memory, {}},
        {"colon", [] { ArrayPtr(Colon(1.0, 2147483647.0)); }, memory, {}},
        {"colon 1e10", [] { ArrayPtr(Colon(1.0, 1e10)); }, memory, {}},
        {"colon to Inf", [] { ArrayPtr(Colon(0.0, 0.5, special::kInf)); }, memory, {}},
        {"diag 2^32", [&] { ArrayPtr(Diag(UINT_MAX, v, 1)); }, memory, {}},
        {"diag squared", [&] { ArrayPtr(Diag(1, v, INT_MIN)); }, memory, {}},
        {"diag N-d", [=] { ArrayPtr(Diag(cube, 0)); }, option, {cube}},
        {"transpose N-d", [=] { ArrayPtr(Transpose(cube)); }, nd, {cube}},
        {"rows", [=] { ArrayPtr(Horzcat(e, a, e, b, nullptr)); }, rows, {a, b, e}},
        {"columns first", [=] { ArrayPtr(Vertcat(p, q, i)); }, columns, {p, q, i}},
        {"class first", [=] { ArrayPtr(Vertcat(p, i, q)); }, columns, {p, q, i}},
        {"text, complex",
         [=] { ArrayPtr(Horzcat(e, s2, z, nullptr)); },
         NotImplemented(),
         {s2, z, e}},
        {"integer, complex", [=] { ArrayPtr(Vertcat(z, t0, i)); }, NotImplemented(), {z, i, t0}},
        {"text rows", [=] { ArrayPtr(Horzcat(s2, sc)); }, rows, {s2, sc}},
        {"text columns", [=] { ArrayPtr(Vertcat(s2, s3, p)); }, columns, {s2, s3, p}},
        {"text class first", [=] { ArrayPtr(Vertcat(s2, q, s3)); }, columns, {s2, q, s3}},
        {"wrapping", [=] { ArrayPtr(Horzcat(w, w)); }, memory, {w}},
        {"reshape to one", [=] { ArrayPtr(Reshape(mm, 1u, one)); }, twoLengths, {mm}},
        {"reshape to 4x2", [=] { ArrayPtr(Reshape(mm, 4u, 2u)); }, sameCount, {mm}},
        {"reshape 2^32", [=] { ArrayPtr(Reshape(mm, 65536u, 65536u, 6u)); }, sameCount, {mm}},
        {"tomatrix 2^32", [=] { ArrayPtr(Tomatrix(h)); }, memory, {h}},
        {"end beyond", [=] { End(mm, 3, 2); }, endBeyond, {mm}},
        {"end of 0", [=] { End(mm, 0, 2); }, zero, {mm}},
        {"end 2^32", [=] { End(h, 2, 2); }, memory, {h}}};
    std::vector<ArrayPtr> bad = NonRealDoubleOperands();
    bad.push_back(Array({0, 0, 2}));  // empty, but three-dimensional
    for (const ArrayPtr &operand : bad) {
        CMatrix *x = operand.get();
        if (x->GetNoDimensions() > 2) {  // every class joins, but in two dimensions only
            t.push_back({"horzcat", [=] { ArrayPtr(Horzcat(p, x)); }, NotImplemented(), {p, x}});
            t.push_back({"vertcat", [=] { ArrayPtr(Vertcat(x, p)); }, NotImplemented(), {p, x}});
            continue;
        }
        t.push_back({"diag", [=] { ArrayPtr(Diag(x, 0)); }, NotImplemented(), {x}});
        if (x->IsDouble()) continue;  // complex doubles are transposed and cut
        t.push_back({"transpose", [=] { ArrayPtr(Transpose(x)); }, NotImplemented(), {x}});
        t.push_back({"tril", [=] { ArrayPtr(Tril(x, 0)); }, NotImplemented(), {x}});
        t.push_back({"initialize", [x]() mutable { Initialize(x, 1.0); }, NotImplemented(), {x}});
    }
    kiv::RandSeed(Seed());
    const double first = kiv::Rand();
    kiv::RandSeed(Seed());
    ExpectRefusals(t);
    EXPECT_EQ(kiv::Rand(), first);
}

}  // namespace
