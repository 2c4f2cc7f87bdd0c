// tests/core/alloc_sweep_test.cpp: memory running out at every allocation of
// every exported function, from the array object up to the Array value type
// and the display text.
//
// Each row makes one representative call. The sweep fails its 1st, 2nd, ...
// allocation until the call succeeds; every failed run must throw
// kiv::CExhaustedMemoryException, leave no block behind (partly built
// outputs included) and leave every input as it was. An in-place target is a
// shared copy of a fixture, so a failure must also leave the other holder of
// its data alone; the target itself may be left grown, made complex or
// unshared only by the calls documented to do so.
#include <matrix/array.h>
#include <matrix/display.h>
#include <matrix/matrix.h>
#include <matrix/order.h>
#include <matrix/print.h>
#include <matrix/threads.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/matrix_test.h"
#include "support/refusal.h"

namespace {

using namespace kiv::matrix;
using matrix_test::ArrayPtr;
using matrix_test::ArraySnapshot;
using matrix_test::LiveBlocks;

/// Releases the array a call returned.
void Keep(CMatrix *result) { ArrayPtr owned(result); }

/// The outputs of a function with several of them. After a failure every
/// output must be null, except the first one where the function is
/// documented to leave it for the caller (Max and Min with positions).
struct Outs {
    explicit Outs(bool firstMayStay = false) : m_firstMayStay(firstMayStay) {}
    Outs(const Outs &) = delete;
    Outs &operator=(const Outs &) = delete;
    ~Outs() {
        for (int k = 0; k < 3; ++k) {
            if (std::uncaught_exceptions() > 0 && (k > 0 || !m_firstMayStay)) {
                EXPECT_EQ(p[k], nullptr) << "output " << k + 1 << " left after a failure";
            }
            if (p[k] != nullptr) mxDestroyArray(p[k]);
        }
    }
    CMatrix *p[3] = {};

private:
    bool m_firstMayStay;
};

/// What a failed call may have done to its in-place target.
enum class Leeway {
    kNone,     // left exactly as it was
    kGrowth,   // grown with zeros, made complex or unshared; never written
    kAbsorbs,  // no target; the call may absorb a failure (a print drops text, the
               // work runs on fewer threads)
};

struct SweepRow {
    SweepRow(std::string w, std::function<void()> c)
        : what(std::move(w)), call([c](CMatrix *&) { c(); }) {}
    SweepRow(std::string w, const CMatrix *t, Leeway l, std::function<void(CMatrix *&)> c)
        : what(std::move(w)), call(std::move(c)), target(t), leeway(l) {}

    std::string what;
    std::function<void(CMatrix *&)> call;
    const CMatrix *target = nullptr;
    Leeway leeway = Leeway::kNone;
};

/// `t` holds the contents of `original`, possibly grown with zeros and made
/// complex as a failed growth may leave it.
::testing::AssertionResult GrownFrom(const CMatrix *t, const CMatrix *original) {
    ArrayPtr expected(original->CreateDuplicateArray());
    expected->Extend(t->GetNoDimensions(), t->GetDimensions());
    if (t->IsComplex()) expected->ToComplex();
    if (!t->IsCell()) return matrix_test::SameArray(t, expected.get());
    // Cell slots point to element objects of their own; their contents count.
    if (matrix_test::Dims(t) != matrix_test::Dims(expected.get())) {
        return ::testing::AssertionFailure() << "cell shape differs";
    }
    for (unsigned int k = 0; k < t->GetNoElems(); ++k) {
        const CMatrix *x = mxGetCell(t, k), *y = mxGetCell(expected.get(), k);
        if ((x == nullptr) != (y == nullptr) || (x != nullptr && !matrix_test::SameArray(x, y))) {
            return ::testing::AssertionFailure() << "cell slot " << k << " differs";
        }
    }
    return ::testing::AssertionSuccess();
}

/// The sweep's totals.
struct Coverage {
    int rows = 0;
    int rowsWithAllocations = 0;
    long failurePoints = 0;
    std::string withoutAllocations;
};

/// Fails the 1st, 2nd, ... allocation of `row` until it succeeds; checks
/// each failure against `inputs`. Returns the number of failure points.
long Sweep(const SweepRow &row, const std::vector<const CMatrix *> &inputs) {
    constexpr long kMaxFailurePoints = 20000;
    const matrix_test::Snapshots before(inputs);
    const auto *result = ::testing::UnitTest::GetInstance()->current_test_info()->result();
    const int partsBefore = result->total_part_count();
    for (long n = 1; n <= kMaxFailurePoints; ++n) {
        const LiveBlocks blocks;
        CMatrix *t = row.target != nullptr ? row.target->CreateShareArray() : nullptr;
        CMatrix *const held = t;
        std::optional<ArraySnapshot> targetBefore;
        if (t != nullptr) targetBefore = ArraySnapshot::Of(t);
        std::string thrown;
        bool failed = false;
        // Disarmed before anything else allocates, a message text included.
        const auto disarm = [&failed] {
            failed = !matrix_test::AllocationFailurePending();
            matrix_test::FailNthAllocation(0);
        };
        matrix_test::FailNthAllocation(n);
        try {
            row.call(t);
            disarm();
        } catch (const kiv::CExhaustedMemoryException &) {
            disarm();
            thrown = "memory";
        } catch (const kiv::IException &e) {
            disarm();
            thrown = "IException " + matrix_test::Narrow(e.GetMessage());
        } catch (const std::exception &e) {
            disarm();
            thrown = std::string("std::exception ") + e.what();
        } catch (...) {
            disarm();
            thrown = "unknown exception";
        }
        if (!thrown.empty() && t != nullptr) {
            EXPECT_EQ(t, held) << "target replaced after allocation " << n << " failed";
            if (row.leeway == Leeway::kNone) {
                EXPECT_TRUE(ArraySnapshot::Of(t) == *targetBefore)
                    << "target changed after allocation " << n << " failed";
            } else {
                EXPECT_TRUE(GrownFrom(t, row.target)) << "after allocation " << n << " failed";
            }
        }
        targetBefore.reset();
        if (t != nullptr) mxDestroyArray(t);
        const long leaked = blocks.Delta();
        EXPECT_TRUE(before.Unchanged()) << "input changed, allocation " << n;
        if (thrown.empty() && failed && row.leeway == Leeway::kAbsorbs) continue;
        if (thrown.empty()) {
            EXPECT_FALSE(failed) << "allocation " << n << " failed but the call succeeded";
            EXPECT_EQ(leaked, 0) << "leak after the successful call";
            return n - 1;
        }
        EXPECT_EQ(thrown, "memory") << "allocation " << n;
        EXPECT_EQ(leaked, 0) << "leak after allocation " << n << " failed";
        if (result->total_part_count() != partsBefore) return n;  // one report per row
    }
    ADD_FAILURE() << "still failing after " << kMaxFailurePoints << " allocations";
    return kMaxFailurePoints;
}

TEST(AllocationSweep, EveryFunctionSurvivesEveryFailedAllocation) {
    using matrix_test::Cells;
    using matrix_test::Col;
    using matrix_test::Filled;
    using matrix_test::Mask;
    using matrix_test::Row;
    using matrix_test::U32;
    // Inputs shared by every row; none of them may change.
    const ArrayPtr spdP = matrix_test::Matrix(
        4, 4, {4, 1, 0, 0.5, 1, 5, 1, 0, 0, 1, 6, 1, 0.5, 0, 1, 7});  // symmetric positive definite
    const ArrayPtr genP = matrix_test::Matrix(
        4, 4, {1, -2, 0.5, 3, 2, 1, -1, 0, 0, 3, 2, 1, -1, 0, 4, 2});  // complex eigenvalues
    const ArrayPtr tallP = matrix_test::Matrix(3, 2, {1, 2, 3, 4, 5, 7});
    const ArrayPtr rowP = Row({3, -1, 0, 2.5, 7});
    const ArrayPtr colP = Col({1, 0, 2, 0, 3});
    const ArrayPtr vec3P = Row({1, 2, 3});
    const ArrayPtr cplxOneP = matrix_test::Complex(1, 1, {1}, {2}), cell2P = Cells(1, 2);
    const ArrayPtr col3P = Col({1, 2, 3}), col2P = Col({3, 4});
    const ArrayPtr oneP = Filled({1, 1}, {2});
    const ArrayPtr ndP = matrix_test::Counted({2, 3, 2});
    const ArrayPtr maskP = Mask({1, 0, 1, 1, 0});
    const ArrayPtr idxP = Row({2, 4});
    const ArrayPtr u32P = U32({1, 3});
    const ArrayPtr pairP = Row({8, 9});
    const ArrayPtr cplxP = matrix_test::Complex(2, 2, {1, 2, 3, 4}, {-1, 0, 1, 2});
    const ArrayPtr cellP = Cells(2, 2);
    const ArrayPtr textP(mxCreateString("a text too long for the inline room of a string"));
    const ArrayPtr emptyP(Zeros(0u, 0u));
    const ArrayPtr colonP = matrix_test::Colon();
    const CMatrix *S = spdP.get(), *G = genP.get(), *T = tallP.get(), *V = rowP.get();
    const CMatrix *C = colP.get(), *V3 = vec3P.get(), *X = oneP.get(), *N = ndP.get();
    const CMatrix *M = maskP.get(), *I = idxP.get(), *U = u32P.get(), *P2 = pairP.get();
    const CMatrix *Z = cplxP.get(), *CL = cellP.get(), *TX = textP.get(), *E = emptyP.get();
    const ArrayPtr bigP = matrix_test::Array({1u << 21, 1});  // 16 MiB
    std::fill_n(mxGetPr(bigP.get()), 1u << 21, 0.5);
    const CMatrix *BIG = bigP.get();
    const CMatrix *K = colonP.get(), *C3 = col3P.get(), *C2 = col2P.get();
    const CMatrix *ZX = cplxOneP.get(), *CL2 = cell2P.get();
    const ArrayPtr fiveP = Row({5}), minusTwoP = Row({-2});
    const CMatrix *Five = fiveP.get(), *MinusTwo = minusTwoP.get();
    const std::vector<std::string> textRows = {"caf\xC3\xA9", "", "a longer row of text"};
    const std::vector<const CMatrix *> inputs = {S,  G, T,  V,  C, V3, X,  N,  M,  I,  U,
                                                 P2, Z, CL, TX, E, K,  C3, C2, ZX, CL2};
    // The functions that take a non-const operand they leave alone.
    CMatrix *Sw = const_cast<CMatrix *>(S), *Vw = const_cast<CMatrix *>(V);
    CMatrix *Nw = const_cast<CMatrix *>(N);
    const unsigned int dims3[] = {2, 2, 3};
    const unsigned int subs[] = {2, 2};
    const double diagValues[] = {1, 2, 3};
    const std::vector<double> pairValues = {1, 2};
    const CMatrix *list[] = {S, G, S};
    using A = kiv::matrix::Array;
    const A aS = A::Share(S), aV = A::Share(V), aG = A::Share(G);
    const Leeway kNone = Leeway::kNone, kGrowth = Leeway::kGrowth;

    const std::vector<SweepRow> table = {
        // The array object and the mx functions.
        {"CMatrix", [&] { const CMatrix a(3, dims3, mxClassInt16, 0, mxComplexityComplex); }},
        {"CreateShareArray", [&] { Keep(S->CreateShareArray()); }},
        {"CreateDuplicateArray", [&] { Keep(Z->CreateDuplicateArray()); }},
        {"GetOwnCopy", Z, kGrowth, [](CMatrix *&t) { t->GetOwnCopy(); }},
        {"GetOwnCopy cell", CL, kGrowth, [](CMatrix *&t) { t->GetOwnCopy(); }},
        {"Extend", Z, kNone, [&](CMatrix *&t) { t->Extend(3, dims3); }},
        {"Extend cell", CL, kNone, [&](CMatrix *&t) { t->Extend(3, dims3); }},
        {"Reshape member", V, kNone,
         [](CMatrix *&t) {
             const unsigned d[] = {5, 1};
             t->Reshape(2, d);
         }},
        {"ToComplex", S, kNone, [](CMatrix *&t) { t->ToComplex(); }},
        {"ToReal", Z, kNone, [](CMatrix *&t) { t->ToReal(); }},
        {"mxCreateDoubleMatrix", [&] { Keep(mxCreateDoubleMatrix(2, 3, mxComplexityComplex)); }},
        {"mxCreateNumericArray",
         [&] { Keep(mxCreateNumericArray(3, dims3, mxClassUint8, mxComplexityReal)); }},
        {"mxCreateCellArray", [&] { Keep(mxCreateCellArray(3, dims3)); }},
        {"mxCreateCellMatrix", [&] { Keep(mxCreateCellMatrix(2, 2)); }},
        {"mxCreateString", [&] { Keep(mxCreateString("text")); }},
        {"mxCreateColonIndex", [&] { Keep(mxCreateColonIndex()); }},
        {"mxDoubleMatrix", [&] { Keep(mxDoubleMatrix(1, 3, diagValues, diagValues)); }},
        {"mxDoubleMatrix 3-d", [&] { Keep(mxDoubleMatrix(1, 1, 3, diagValues, nullptr)); }},
        {"mxDuplicateArray", [&] { Keep(mxDuplicateArray(CL)); }},
        {"mxGetString", [&] { (void)mxGetString(TX); }},
        {"mxArrayToString", [&] { (void)mxArrayToString(TX); }},
        {"mxGetString buffer",
         [&] {
             char buf[8];
             (void)mxGetString(TX, buf, 8);
         }},
        {"mxGetCell mxGetScalar", [&] { (void)mxGetScalar(mxGetCell(CL, 1)); }},
        {"mxSetCell", CL, kGrowth,
         [](CMatrix *&t) {
             ArrayPtr value(Scalar(9));
             t->GetOwnCopy();  // the slot is written in place
             mxSetCell(t, 0, value.release());
         }},
        {"mxCalcSingleSubscript", [&] { (void)mxCalcSingleSubscript(S, 2, subs); }},
        {"index iterators",
         [&] {
             CMatrixIndexIterator i(U);
             CMatrixLogicalIterator m(M);
             (void)i.GetNextIndex(), (void)m.GetNextLogical();
         }},
        // Construction and shape.
        {"Zeros", [] { Keep(Zeros(2, 3)); }},
        {"Zeros n-d", [&] { Keep(Zeros(3, dims3)); }},
        {"Ones", [] { Keep(Ones(2, 2, 2)); }},
        {"Rand", [] { Keep(Rand(3)); }},
        {"Randn", [] { Keep(Randn(2, 3)); }},
        {"Eye", [] { Keep(Eye(3, 2)); }},
        {"Scalar", [] { Keep(Scalar(1.5)); }},
        {"Colon", [] { Keep(Colon(1, 0.5, 4)); }},
        {"Linspace", [] { Keep(Linspace(0, 1, 7)); }},
        {"Repmat", [&] { Keep(Repmat(V3, 2, 3)); }},
        {"Diag values", [&] { Keep(Diag(3, diagValues, -1)); }},
        {"Diag of a matrix", [&] { Keep(Diag(S, 1)); }},
        {"Diag of a vector", [&] { Keep(Diag(V3, 0)); }},
        {"Initialize", S, kNone, [](CMatrix *&t) { Initialize(t, 3.0); }},
        {"Empty", S, kNone, [](CMatrix *&t) { Empty(t); }},
        {"Horzcat", [&] { Keep(Horzcat(S, G, S)); }},
        {"Horzcat list", [&] { Keep(Horzcat(3, list)); }},
        {"Vertcat", [&] { Keep(Vertcat(V, V)); }},
        {"Cat", [&] { Keep(Cat(3, S, G)); }},
        {"Transpose", [&] { Keep(Transpose(T)); }},
        {"Ctranspose complex", [&] { Keep(Ctranspose(Z)); }},
        {"Tril", [&] { Keep(Tril(G, -1)); }},
        {"Triu", [&] { Keep(Triu(G, 1)); }},
        {"Reshape", [&] { Keep(Reshape(Nw, 3, 4)); }},
        {"Reshape 3-d", [&] { Keep(Reshape(Sw, 2, 2, 4)); }},
        {"Tocolumn", [&] { Keep(Tocolumn(N)); }},
        {"Tomatrix", [&] { Keep(Tomatrix(N)); }},
        {"End Length", [&] { (void)End(N, 1, 2), (void)Length(N); }},
        {"Isempty", [&] { Keep(Isempty(E)); }},
        {"PrintMatrix", nullptr, Leeway::kAbsorbs, [&](CMatrix *&) { PrintMatrix(X); }},
        {"DisplayText", [&] { (void)DisplayText(Z, "Z"); }},
        {"DisplayText n-d", [&] { (void)DisplayText(N, "N"); }},
        {"DisplayText cell", [&] { (void)DisplayText(CL, "C"); }},
        {"DisplayNumber", [] { (void)DisplayNumber(3.25); }},
        {"DisplayText session rat",
         [&] {
             DisplayOptions options;
             options.format = NumberFormat::kRat;
             options.layout = DisplayLayout::kSession;
             (void)DisplayText(CL, "C", options);
             (void)DisplayText(Z, "Z", options);
         }},
        {"DisplayNumber long", [] { (void)DisplayNumber(3.25, NumberFormat::kLong); }},
        {"Utf8Text", [&] { (void)Utf8Text(TX); }},
        {"CharFromUtf8", [] { Keep(CharFromUtf8("caf\xC3\xA9 au lait")); }},
        {"CharRows", [&] { Keep(CharRows(textRows)); }},
        // Settings, and work large enough to start the worker threads anew.
        {"SetOrder SetBlockCacheBytes",
         [] {
             SetOrder(GetOrder());
             SetBlockCacheBytes(GetBlockCacheBytes());
         }},
        {"SetNumThreads, parallel Plus", nullptr, Leeway::kAbsorbs,
         [&](CMatrix *&) {
             // The workers start in the call and are stopped again, so that
             // their thread states do not count as left behind.
             struct Stop {
                 ~Stop() { SetNumThreads(1); }
             } stop;
             SetNumThreads(3);
             Keep(Plus(BIG, BIG));
         }},
        // Element-wise.
        {"Plus", [&] { Keep(Plus(S, G)); }},
        {"Plus scalar", [&] { Keep(Plus(2.0, V)); }},
        {"Minus", [&] { Keep(Minus(V, 1.0)); }},
        {"Times", [&] { Keep(Times(X, N)); }},
        {"Rdivide", [&] { Keep(Rdivide(S, G)); }},
        {"Ldivide", [&] { Keep(Ldivide(S, 2.0)); }},
        {"Power", [&] { Keep(Power(V, V)); }},
        {"MaxVal", [&] { Keep(MaxVal(V, 0.5)); }},
        {"MinVal", [&] { Keep(MinVal(0.5, V)); }},
        {"Max two arrays", [&] { Keep(Max(S, G)); }},
        {"Min two arrays", [&] { Keep(Min(S, G)); }},
        {"Eq", [&] { Keep(Eq(S, G)); }},
        {"Ne", [&] { Keep(Ne(V, 0.0)); }},
        {"Lt", [&] { Keep(Lt(0.0, V)); }},
        {"Le", [&] { Keep(Le(S, G)); }},
        {"Gt", [&] { Keep(Gt(N, 3.0)); }},
        {"Ge", [&] { Keep(Ge(S, G)); }},
        {"And", [&] { Keep(And(S, G)); }},
        {"Or", [&] { Keep(Or(V, 0.0)); }},
        {"Not", [&] { Keep(Not(V)); }},
        {"Logical", [&] { Keep(Logical(N)), Keep(Logical(TX)); }},
        {"Abs", [&] { Keep(Abs(V)); }},
        {"Exp", [&] { Keep(Exp(G)); }},
        {"Round", [&] { Keep(Round(V)); }},
        {"Sign", [&] { Keep(Sign(V)); }},
        {"Sqrt turning complex", [&] { Keep(Sqrt(V)); }},
        {"Uminus", [&] { Keep(Uminus(V)); }},
        {"Unaryminus", [&] { Keep(Unaryminus(V)); }},
        {"Real", [&] { Keep(Real(V)); }},
        {"Isinf", [&] { Keep(Isinf(V)); }},
        {"Isnan", [&] { Keep(Isnan(V)); }},
        {"Isfinite", [&] { Keep(Isfinite(V)); }},
        {"Sin Cos Tan", [&] { Keep(Sin(V)), Keep(Cos(V)), Keep(Tan(V)); }},
        {"Asin Acos turning complex", [&] { Keep(Asin(V)), Keep(Acos(V)); }},
        {"Atan", [&] { Keep(Atan(V)); }},
        {"Sinh Cosh Tanh", [&] { Keep(Sinh(V)), Keep(Cosh(V)), Keep(Tanh(V)); }},
        {"Log Log2 Log10 turning complex", [&] { Keep(Log(V)), Keep(Log2(V)), Keep(Log10(V)); }},
        {"Log1p Expm1", [&] { Keep(Log1p(V)), Keep(Expm1(V)); }},
        {"Floor Ceil Fix", [&] { Keep(Floor(V)), Keep(Ceil(V)), Keep(Fix(V)); }},
        {"Atan2", [&] { Keep(Atan2(S, G)); }},
        {"Hypot", [&] { Keep(Hypot(V, 2.0)); }},
        {"Rem", [&] { Keep(Rem(3.0, V)); }},
        {"Mod", [&] { Keep(Mod(Vw, 2.0)); }},
        {"Mod arrays", [&] { Keep(Mod(Sw, const_cast<CMatrix *>(G))); }},
        // Reductions and searches.
        {"Sum", [&] { Keep(Sum(S)); }},
        {"Sum dim 3", [&] { Keep(Sum(N, 3)); }},
        {"Prod", [&] { Keep(Prod(N, 2)); }},
        {"All", [&] { Keep(All(S)); }},
        {"Any", [&] { Keep(Any(N, 1)); }},
        {"Cumsum", [&] { Keep(Cumsum(N, 2)); }},
        {"Cumprod", [&] { Keep(Cumprod(V)); }},
        {"Mean", [&] { Keep(Mean(S)); }},
        {"Var", [&] { Keep(Var(N, 3)); }},
        {"Std", [&] { Keep(Std(V)); }},
        {"Sort", [&] { Keep(Sort(G, 2, SortOrder::kDescend)); }},
        {"Sort with positions",
         [&] {
             Outs o;
             Sort(o.p[0], o.p[1], N, 3);
         }},
        {"Max", [&] { Keep(Max(G)); }},
        {"Max with positions",
         [&] {
             Outs o(true);
             Max(o.p[0], o.p[1], N, 2);
         }},
        {"Min", [&] { Keep(Min(G, 2)); }},
        {"Min with positions",
         [&] {
             Outs o(true);
             Min(o.p[0], o.p[1], V);
         }},
        {"Nnz", [&] { (void)Nnz(M); }},
        {"Find", [&] { Keep(Find(G)); }},
        {"Find rows columns",
         [&] {
             Outs o;
             Find(o.p[0], o.p[1], G);
         }},
        {"Find rows columns values",
         [&] {
             Outs o;
             Find(o.p[0], o.p[1], o.p[2], N);
         }},
        {"Isequal", [&] { (void)Isequal(3, list); }},
        {"Isequal cells", [&] { (void)Isequal(CL, CL); }},
        {"Sort complex with positions",
         [&] {
             Outs o;
             Sort(o.p[0], o.p[1], Z, 1);
         }},
        {"Sort uint32", [&] { Keep(Sort(U, SortOrder::kDescend)); }},
        {"Max complex with positions",
         [&] {
             Outs o(true);
             Max(o.p[0], o.p[1], Z, 2);
         }},
        {"Min of complex and real", [&] { Keep(Min(Z, X)); }},
        {"Prod complex", [&] { Keep(Prod(Z)); }},
        {"Var complex", [&] { Keep(Var(Z, 2)); }},
        {"Find complex", [&] { Keep(Find(Z)); }},
        {"Tobool", [&] { (void)Tobool(N); }},
        // Indexing.
        {"Indexref", [&] { Keep(Indexref(N, I)); }},
        {"Indexref mask", [&] { Keep(Indexref(V, M)); }},
        {"Indexref uint32", [&] { Keep(Indexref(V, U)); }},
        {"Indexref colon", [&] { Keep(Indexref(N, K)); }},
        {"Indexref two", [&] { Keep(Indexref(G, I, K)); }},
        {"Indexref cell", [&] { Keep(Indexref(CL, I)); }},
        {"Indexassign", V, kGrowth, [&](CMatrix *&t) { Indexassign(t, I, P2); }},
        {"Indexassign growing", V, kGrowth,
         [&](CMatrix *&t) {
             const ArrayPtr at(Scalar(9));
             Indexassign(t, at.get(), X);
         }},
        {"Indexassign complex", V, kGrowth, [&](CMatrix *&t) { Indexassign(t, I, ZX); }},
        {"Indexassign two", S, kGrowth, [&](CMatrix *&t) { Indexassign(t, I, K, X); }},
        {"Indexassign two growing", S, kGrowth,
         [&](CMatrix *&t) {
             const ArrayPtr at(Scalar(6));
             Indexassign(t, at.get(), K, X);
         }},
        {"Indexassign colon", S, kGrowth, [&](CMatrix *&t) { Indexassign(t, K, G); }},
        {"Indexassign cell", CL, kGrowth, [&](CMatrix *&t) { Indexassign(t, I, CL2); }},
        {"Indexassign empty target", E, kGrowth, [&](CMatrix *&t) { Indexassign(t, I, X); }},
        {"Indexdelete", V, kNone, [&](CMatrix *&t) { Indexdelete(t, M); }},
        {"Indexdelete two", S, kNone, [&](CMatrix *&t) { Indexdelete(t, K, I); }},
        {"IndexdeleteRow", S, kNone, [&](CMatrix *&t) { IndexdeleteRow(t, I); }},
        {"IndexdeleteColumn", CL, kNone, [&](CMatrix *&t) { IndexdeleteColumn(t, X); }},
        // Linear algebra.
        {"Mtimes", [&] { Keep(Mtimes(S, G)); }},
        {"Mtimes scalar", [&] { Keep(Mtimes(X, T)); }},
        {"Lu",
         [&] {
             Outs o;
             Lu(o.p[0], o.p[1], G);
         }},
        {"Lu with permutation",
         [&] {
             Outs o;
             Lu(o.p[0], o.p[1], o.p[2], G);
         }},
        {"Det", [&] { (void)Det(G); }},
        {"Mldivide square", [&] { Keep(Mldivide(G, S)); }},
        {"Mldivide least squares", [&] { Keep(Mldivide(T, C3)); }},
        {"Mldivide triangular", [&] { Keep(Mldivide(ArrayPtr(Triu(G, 0)).get(), S)); }},
        {"Mrdivide", [&] { Keep(Mrdivide(S, G)); }},
        {"Chol", [&] { Keep(Chol(S)); }},
        {"Chol with status",
         [&] {
             bool ok;
             Keep(Chol(G, ok));
         }},
        {"Qr",
         [&] {
             Outs o;
             Qr(o.p[0], o.p[1], T, false);
         }},
        {"Qr with permutation",
         [&] {
             Outs o;
             Qr(o.p[0], o.p[1], o.p[2], T, false);
         }},
        {"Svd", [&] { Keep(Svd(T, false)); }},
        {"Svd with vectors",
         [&] {
             Outs o;
             Svd(o.p[0], o.p[1], o.p[2], T, false);
         }},
        {"Svd economy with vectors",
         [&] {
             Outs o;
             Svd(o.p[0], o.p[1], o.p[2], T, true);
         }},
        {"Rank", [&] { (void)Rank(T), (void)Rank(G, 1e-3); }},
        {"Norm", [&] { (void)Norm(G, 2), (void)Norm(V, 3), (void)Norm(G, 1); }},
        {"NormFro", [&] { (void)NormFro(G); }},
        {"Eig", [&] { Keep(Eig(G, true)); }},
        {"Eig symmetric", [&] { Keep(Eig(S, false)); }},
        {"Eig with vectors",
         [&] {
             Outs o;
             Eig(o.p[0], o.p[1], G, true);
         }},
        {"Eig symmetric with vectors",
         [&] {
             Outs o;
             Eig(o.p[0], o.p[1], S, false);
         }},
        {"Planerot", [&] { Keep(Planerot(P2)); }},
        {"Planerot applied",
         [&] {
             Outs o;
             Planerot(o.p[0], o.p[1], C2);
         }},
        {"Trace", [&] { (void)Trace(G); }},
        {"Dot", [&] { Keep(Dot(V3, V3)); }},
        {"Cross", [&] { Keep(Cross(V3, V3)); }},
        {"Inv", [&] { Keep(Inv(G)); }},
        {"Mpower", [&] { Keep(Mpower(G, Five)), Keep(Mpower(G, MinusTwo)), Keep(Mpower(X, X)); }},
        {"Pinv", [&] { Keep(Pinv(T)); }},
        // The Array value type.
        {"Array constructors",
         [&] {
             A a, b(2.5), c{1, 2}, d{{1, 2}, {3, 4}}, e(pairValues);
             A f(1, 2, pairValues), g("text"), h = Range(1, 3), k = a;
             A l = A::Zeros({2, 1, 2}), m = A::Eye(2), r = A::Randn(2);
         }},
        {"Array readers",
         [&] {
             (void)aV.Dims(), (void)aV.ToVector(), (void)A::Share(X).Scalar(), (void)aV.Size(3);
         }},
        {"Array MutableData SetAt",
         [&] {
             A a = aV;
             a.MutableData()[0] = 4;
             a.SetAt(7, 1.0), a.SetAt(2, 3, 5.0);
         }},
        {"Array operators",
         [&] { A r = (aS + 1.0) * aG - aS / aG, q = -aS <= 2.0, w = (!(aS == aG)) | (1.0 & aG); }},
        {"Array indexing read",
         [&] {
             A r = aG(Range(1, End()), 2), q = aV(A{1, 3}), w = aS(All, End() - 1);
         }},
        {"Array indexing write",
         [&] {
             A a = aS;
             a(Range(2, 3), All) = A::Ones(2, 4);
             a(5, 5) = 1.0, a(1) = aV(2);
             a(Range(1, 2), All) = Empty();
         }},
        {"Array several outputs",
         [&] {
             ValuesPositions m = Max(aG, Dim(2));
             TwoArrays l = Lu(aG), q = Qr(aS), e = EigVectors(aG), f = FindRowsCols(aG);
             ThreeArrays p = LuPivots(aG), s = SvdVectors(aS), v = FindRowsColsValues(aG),
                         w = QrPivots(aS);
             TwoArrays g = PlanerotApplied(A::Share(C2));
             ValuesPositions o = Sort(aV, SortOrder::kDescend);
         }},
        {"Array concatenation",
         [&] { A h = Horzcat(aV, 3.0, aV), v = Vertcat(aS, aG), c = Cat(3, aS, aG); }},
        {"Array display",
         [&] {
             (void)aV.ToString("v");
             A::Share(X).Disp();
         }},
    };

    Coverage total;
    for (Order order : {Order::kStated, Order::kFast}) {
        SetOrder(order);
        for (const SweepRow &row : table) {
            SCOPED_TRACE(row.what);
            const long points = Sweep(row, inputs);
            ++total.rows;
            if (points > 0) ++total.rowsWithAllocations;
            if (points == 0 && order == Order::kStated)
                total.withoutAllocations += " " + row.what + ";";
            total.failurePoints += points;
        }
    }
    SetOrder(Order::kStated);
    SetNumThreads(0);
    EXPECT_GT(total.failurePoints, 0) << "no allocation could be made to fail";
    std::printf(
        "allocation sweep: %d runs of %zu operations, %d with allocations, %ld failure "
        "points; without allocations:%s\n",
        total.rows, table.size(), total.rowsWithAllocations, total.failurePoints,
        total.withoutAllocations.c_str());
}

// Results whose element count or byte size does not fit in 32 bits, reached
// from small or empty operands: each is refused as memory that cannot be
// had, before anything is allocated, rather than built with a length that
// wrapped.
TEST(ThirtyTwoBitSizes, ResultsBeyondThemAreRefused) {
    using matrix_test::Expected;
    using matrix_test::Row;
    using A = kiv::matrix::Array;
    const Expected memory = Expected::Throws<kiv::CExhaustedMemoryException>();
    const ArrayPtr one = Row({1}), wideP = matrix_test::Array({0, 4294967295u});
    const ArrayPtr tallP = matrix_test::Array({65536, 0}), flatP = matrix_test::Array({0, 65536});
    const ArrayPtr flat2P = matrix_test::Array({0, 65537}),
                   rowsP = matrix_test::Array({1u << 31, 0});
    const ArrayPtr colsP = matrix_test::Array({0, 2}), at = Row({65536}), at2 = Row({65537});
    ArrayPtr manyP = matrix_test::Array({1, 65537}), many2P = matrix_test::Array({1, 65536});
    std::fill_n(mxGetPr(manyP.get()), 65537, 1.0);
    std::fill_n(mxGetPr(many2P.get()), 65536, 1.0);
    const CMatrix *x = one.get(), *wide = wideP.get(), *tall = tallP.get(), *flat = flatP.get();
    const CMatrix *flat2 = flat2P.get(), *rows = rowsP.get(), *cols = colsP.get();
    const CMatrix *many = manyP.get(), *many2 = many2P.get();
    ArrayPtr target = Row({1});
    const auto outs = [](auto call) {
        return [call] {
            Outs o;
            call(o.p);
        };
    };
    const auto assign = [&] {
        matrix_test::Apply(target, [&](CMatrix *&t) { Indexassign(t, at.get(), at2.get(), x); });
    };
    matrix_test::ExpectRefusals({
        {"zeros 65536x65537", [] { Keep(Zeros(65536u, 65537u)); }, memory, {}},
        {"ones 2^31 doubles", [] { Keep(Ones(1u << 31, 1u)); }, memory, {}},
        {"eye 65536", [] { Keep(Eye(65536u)); }, memory, {}},
        {"linspace 2^31", [] { Keep(Linspace(0, 1, 1u << 31)); }, memory, {}},
        {"repmat count", [=] { Keep(Repmat(x, 65536u, 65537u)); }, memory, {x}},
        {"repmat columns", [=] { Keep(Repmat(cols, 1u, 1u << 31)); }, memory, {cols}},
        {"vertcat rows", [=] { Keep(Vertcat(rows, rows)); }, memory, {rows}},
        {"sum of 0 x 2^32-1", [=] { Keep(Sum(wide, 1)); }, memory, {wide}},
        {"mean of 0 x 2^32-1", [=] { Keep(Mean(wide)); }, memory, {wide}},
        {"mtimes", [=] { Keep(Mtimes(tall, flat2)); }, memory, {tall, flat2}},
        {"mldivide", [=] { Keep(Mldivide(flat, flat2)); }, memory, {flat, flat2}},
        {"qr", outs([=](CMatrix **p) { Qr(p[0], p[1], tall, false); }), memory, {tall}},
        {"svd", outs([=](CMatrix **p) { Svd(p[0], p[1], p[2], tall, false); }), memory, {tall}},
        {"indexref block", [=] { Keep(Indexref(x, many, many2)); }, memory, {x, many, many2}},
        {"indexassign 65536x65537", assign, memory, {target.get(), at.get(), at2.get(), x}},
        {"Array SetAt 65536x65537", [] { A(1.0).SetAt(65536, 65537, 2.0); }, memory, {}},
        {"Array SetAt 2^40", [] { A(1.0).SetAt(1LL << 40, 2.0); }, memory, {}},
    });
}

}  // namespace
