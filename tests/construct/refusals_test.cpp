// tests/construct/refusals_test.cpp: every refusal of construction and
// shape operations, and their failed allocations.
#include <matrix/matrix.h>

#include <climits>
#include <string>
#include <vector>

#include "support/matrix_test.h"
#include "support/refusal.h"

namespace {

using namespace kiv::matrix;
using namespace matrix_test;

TEST(Construct, Refusals) {
    std::vector<Refusal> t;
    const Expected memory = Expected::Throws<kiv::CExhaustedMemoryException>();
    const auto error = [](const wchar_t *message) {
        return Expected::Throws(CFunctionErrorException(message));
    };
    // Element counts or byte sizes beyond 32 bits; no generator draw is made.
    const double v[] = {1, 2};
    t.push_back({"rand", [] { ArrayPtr(Rand(65536u)); }, memory, {}});
    t.push_back({"colon", [] { ArrayPtr(Colon(1.0, 2147483647.0)); }, memory, {}});
    t.push_back({"diag 2^32", [&] { ArrayPtr(Diag(UINT_MAX, v, 1)); }, memory, {}});
    t.push_back({"diag squared", [&] { ArrayPtr(Diag(1, v, INT_MIN)); }, memory, {}});

    // The number of dimensions comes before the class.
    ArrayPtr intCube = Zeroed({2, 2, 2}, mxClassInt32);
    const CMatrix *cube = intCube.get();
    t.push_back(
        {"diag N-d", [=] { ArrayPtr(Diag(cube, 0)); }, error(L"Unknown command option"), {cube}});
    t.push_back({"transpose N-d",
                 [=] { ArrayPtr(Transpose(cube)); },
                 Expected::Throws<CTransposeOnNDArrayNotDefinedException>(),
                 {cube}});
    // Concatenation: operands are checked in order, empty ones too.
    ArrayPtr c21 = Counted({2, 1}), c31 = Counted({3, 1}), e04 = Array({0, 4});
    ArrayPtr r12 = Counted({1, 2}), r13 = Counted({1, 3}), ints = Zeroed({1, 1}, mxClassInt32);
    const CMatrix *a = c21.get(), *b = c31.get(), *e = e04.get(), *p = r12.get(), *q = r13.get();
    const CMatrix *i = ints.get();
    const Expected columns = Expected::Throws<CAllRowsMustHaveSameColumns>();
    t.push_back({"[0x4, 2x1, 0x4, 3x1]",
                 [=] { ArrayPtr(Horzcat(e, a, e, b, nullptr)); },
                 Expected::Throws<CAllColumnsMustHaveSameRows>(),
                 {a, b, e}});
    t.push_back({"mismatch first", [=] { ArrayPtr(Vertcat(p, q, i)); }, columns, {p, q, i}});
    t.push_back({"class first", [=] { ArrayPtr(Vertcat(p, i, q)); }, NotImplemented(), {p, q, i}});
    std::vector<ArrayPtr> bad = NonRealDoubleOperands();
    bad.push_back(Array({0, 0, 2}));  // empty, but three-dimensional
    for (const ArrayPtr &operand : bad) {
        CMatrix *x = operand.get();
        t.push_back({"horzcat", [=] { ArrayPtr(Horzcat(p, x)); }, NotImplemented(), {p, x}});
        t.push_back({"vertcat", [=] { ArrayPtr(Vertcat(x, p)); }, NotImplemented(), {p, x}});
        if (x->GetNoDimensions() > 2) continue;
        t.push_back({"diag", [=] { ArrayPtr(Diag(x, 0)); }, NotImplemented(), {x}});
        if (x->IsDouble()) continue;  // complex doubles are transposed and cut
        t.push_back({"transpose", [=] { ArrayPtr(Transpose(x)); }, NotImplemented(), {x}});
        t.push_back({"tril", [=] { ArrayPtr(Tril(x, 0)); }, NotImplemented(), {x}});
        t.push_back({"initialize", [x]() mutable { Initialize(x, 1.0); }, NotImplemented(), {x}});
    }
    // Arrays without elements may have huge lengths, whose sum would wrap.
    ArrayPtr wide = Array({0, 3000000000u});
    const CMatrix *w = wide.get();
    t.push_back({"horzcat wrapping", [=] { ArrayPtr(Horzcat(w, w)); }, memory, {w}});

    // Shapes. A product beyond 32 bits is a different count too, not a
    // memory failure; but a column count beyond 32 bits is a shape outside
    // the data model.
    ArrayPtr m = Counted({2, 3}), huge = Array({0, 70000, 70000}), b34 = Array({3, 4});
    CMatrix *mm = m.get();
    const CMatrix *h = huge.get(), *b2 = b34.get();
    const unsigned int one[] = {6};
    const Expected sameCount = error(L"The number of elements can't change");
    t.push_back({"reshape to one length",
                 [=] { ArrayPtr(Reshape(mm, 1u, one)); },
                 error(L"Size vector must have at least two elements"),
                 {mm}});
    t.push_back({"reshape to 4x2", [=] { ArrayPtr(Reshape(mm, 4u, 2u)); }, sameCount, {mm}});
    t.push_back(
        {"reshape 2^32", [=] { ArrayPtr(Reshape(mm, 65536u, 65536u, 6u)); }, sameCount, {mm}});
    t.push_back({"tomatrix 2^32", [=] { ArrayPtr(Tomatrix(h)); }, memory, {h}});
    t.push_back({"end beyond", [=] { End(mm, 3, 2); }, error(L"End: iDim>iIdxs"), {mm}});
    t.push_back({"end of 0",
                 [=] { End(b2, 0, 2); },
                 Expected::Throws<CIndexIntoMatrixNegativeOrZeroException>(),
                 {b2}});
    t.push_back({"end 2^32", [=] { End(h, 2, 2); }, memory, {h}});

    const unsigned long long seed = Seed();
    kiv::RandSeed(seed);
    const double first = kiv::Rand();
    kiv::RandSeed(seed);
    ExpectRefusals(t);
    EXPECT_EQ(kiv::Rand(), first);
}

TEST(Construct, AllocationFailures) {
    ArrayPtr b = Counted({3, 4}), c = Counted({5, 3}, 1, mxComplexityComplex);
    ArrayPtr original = Complex(1, 2, {1, 2}, {3, 4}), share(original->CreateShareArray());
    ArrayPtr target = Row({1, 2});
    std::vector<ArrayPtr> many;
    std::vector<const CMatrix *> twenty;
    for (int k = 0; k < 20; ++k) twenty.push_back(many.emplace_back(Counted({3, 2}, k)).get());
    const CMatrix *x = b.get(), *z = c.get(), *s = share.get();
    const double v[] = {7, 8};
    // A sharer unshares first; a replacement is made before the old array
    // goes. A failure keeps the target as it was.
    ExpectFailurePoints(
        {{"zeros", [] { return Zeros(2u, 3u); }, {}},
         {"diag of a vector", [&] { return Diag(2, v, 1); }, {}},
         {"diag of a matrix", [=] { return Diag(x, 1); }, {x}},
         {"ctranspose", [=] { return Ctranspose(z); }, {z}},
         {"tril", [=] { return Tril(z, 0); }, {z}},
         {"reshape", [=] { return Reshape(const_cast<CMatrix *>(z), 15u, 1u); }, {z}},
         {"horzcat of three", [&] { return Horzcat(3, twenty.data()); }, {twenty[0], twenty[2]}},
         {"vertcat of twenty", [&] { return Vertcat(20, twenty.data()); }, {twenty[0], twenty[19]}},
         {"initialize a sharer",
          InPlace([&] {
              CMatrix *a = share.get();
              Initialize(a, -2.0);
          }),
          {original.get(), s}},
         {"empty",
          InPlace([&] { Apply(target, [](CMatrix *&a) { Empty(a); }); }),
          {target.get()}}});
}

}  // namespace
