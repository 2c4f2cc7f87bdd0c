// tests/fuzz/api_fuzz.cpp: libFuzzer target over the library's functions:
// each input is a program of operations on a small pool of arrays.
//
// Library exceptions are expected outcomes. After every operation the pool
// is checked: each array keeps the shape invariants, each data buffer's count
// equals the number of live arrays that hold it, every array the operation
// was not allowed to change has the same digest as before, and an array that
// a failed call had to leave as it was is unchanged too. A violation aborts.
#include <matrix/array.h>
#include <matrix/display.h>
#include <matrix/matrix.h>
#include <matrix/order.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace {

namespace mx = kiv::matrix;
using mx::CMatrix;

constexpr unsigned kSlots = 8;
constexpr unsigned kMaxSteps = 64;
// Linear algebra runs at most this often per input, on matrices of at most
// kMaxLinalg rows and columns, so that it stays a small share of the time.
constexpr unsigned kMaxLinalgSteps = 2;
constexpr unsigned kMaxLinalg = 8;
// Cells nest at most this deep, so that no walk over shared elements blows up.
constexpr unsigned kMaxCellDepth = 3;

[[noreturn]] void Fail(const char *what) {
    std::fprintf(stderr, "api_fuzz: invariant broken: %s\n", what);
    std::abort();
}

// --- Reading the program --------------------------------------------------------

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
// Values that stress the index rules and the arithmetic: signed zeros,
// fractions, NaN of both signs, infinities, 2^32 + k, 2^31, huge, tiny.
const double kSpecial[] = {0.0,
                           -0.0,
                           0.5,
                           -0.5,
                           1.5,
                           2.5,
                           -1.0,
                           -2.0,
                           kNaN,
                           -kNaN,
                           kInf,
                           -kInf,
                           4294967296.0,
                           4294967297.0,
                           4294967295.0,
                           2147483648.0,
                           -4294967296.0,
                           1e9,
                           1e300,
                           -1e300,
                           1e-300,
                           4.9e-324,
                           0.49999999999999994,
                           1.0000000000000002,
                           65536.0,
                           1e-5,
                           3.14159,
                           255.5,
                           -128.0,
                           1e5};
constexpr unsigned kSpecialCount = sizeof kSpecial / sizeof kSpecial[0];

class Program {
public:
    Program(const std::uint8_t *data, std::size_t size) : m_p(data), m_end(data + size) {}

    bool More() const { return m_p < m_end; }
    std::uint8_t Byte() { return m_p < m_end ? *m_p++ : 0; }
    unsigned Below(unsigned n) { return Byte() % n; }
    // Mostly small whole numbers (-1..10, good positions), else a special.
    double Value() {
        const std::uint8_t b = Byte();
        if (b < 160) return static_cast<double>(static_cast<int>(b % 12) - 1);
        return kSpecial[(b - 160) % kSpecialCount];
    }
    int SmallInt() { return static_cast<int>(Below(9)) - 4; }
    template <typename T>
    T Integer() {
        const std::uint8_t b = Byte();
        if (b < 200) return static_cast<T>(static_cast<int>(b % 12) - 1);
        if (b & 1) return std::numeric_limits<T>::max();
        return std::numeric_limits<T>::min();
    }

private:
    const std::uint8_t *m_p;
    const std::uint8_t *m_end;
};

// --- Digests and invariants -----------------------------------------------------

std::uint16_t BufferCount(const void *data) {
    std::uint16_t count;
    std::memcpy(&count, static_cast<const char *>(data) - 6, sizeof count);
    return count;
}

std::uint32_t BufferBytes(const void *data) {
    std::uint32_t bytes;
    std::memcpy(&bytes, static_cast<const char *>(data) - 4, sizeof bytes);
    return bytes;
}

class Hash {
public:
    void Add(const void *data, std::size_t n) {
        const auto *p = static_cast<const unsigned char *>(data);
        for (std::size_t k = 0; k < n; ++k) m_h = (m_h ^ p[k]) * 0x100000001b3ull;
    }
    template <typename T>
    void Add(const T &value) {
        Add(&value, sizeof value);
    }
    std::uint64_t Get() const { return m_h; }

private:
    std::uint64_t m_h = 0xcbf29ce484222325ull;
};

// With `identity`: the shape, flags, data pointers (an untouched array keeps
// its buffers) and all bytes, each cell buffer walked once. Without: the
// class, element count and real values only. A cell's elements count by
// their own digests.
void AddDigest(Hash &h, const CMatrix *a, std::unordered_set<const void *> &seen, bool identity) {
    h.Add(a->GetNoElems());
    h.Add(a->GetClassID());
    if (identity) {
        h.Add(a->GetNoDimensions());
        h.Add(a->GetDimensions(), sizeof(unsigned) * a->GetNoDimensions());
        h.Add(a->GetFlags());
        h.Add(a->GetPr());
        h.Add(a->GetPi());
    }
    const void *pr = a->GetPr();
    if (!pr) return;
    if (a->IsCell()) {
        if (!seen.insert(pr).second) return;
        const auto *slots = static_cast<CMatrix *const *>(pr);
        for (unsigned k = 0; k < a->GetNoElems(); ++k) {
            h.Add(slots[k] != nullptr);
            if (slots[k]) AddDigest(h, slots[k], seen, identity);
        }
        return;
    }
    const std::size_t bytes = static_cast<std::size_t>(a->GetNoElems()) * a->GetElementSize();
    h.Add(pr, bytes);
    if (identity && a->GetPi()) h.Add(a->GetPi(), bytes);
}

std::uint64_t Digest(const CMatrix *a) {
    if (!a) return 0;
    Hash h;
    std::unordered_set<const void *> seen;
    AddDigest(h, a, seen, true);
    return h.Get();
}

// What a failed assignment must not have written, even when it folded or
// unshared its target or made it complex.
std::uint64_t ContentDigest(const CMatrix *a) {
    Hash h;
    std::unordered_set<const void *> seen;
    AddDigest(h, a, seen, false);
    return h.Get();
}

unsigned CellDepth(const CMatrix *a) {
    if (!a || !a->IsCell() || !a->GetPr()) return 0;
    unsigned depth = 0;
    const auto *slots = static_cast<CMatrix *const *>(a->GetPr());
    for (unsigned k = 0; k < a->GetNoElems(); ++k) {
        const unsigned d = CellDepth(slots[k]);
        if (d > depth) depth = d;
    }
    return depth + 1;
}

void CheckShape(const CMatrix *a) {
    const unsigned nd = a->GetNoDimensions();
    const unsigned *dims = a->GetDimensions();
    if (nd < 2) Fail("fewer than two dimensions");
    if (nd > 2 && dims[nd - 1] == 1) Fail("trailing length 1 beyond the second dimension");
    unsigned long long product = 1;
    for (unsigned k = 0; k < nd; ++k) {
        product *= dims[k];
        if (product > 0xFFFFFFFFull) product = 0x100000000ull;
    }
    if (product != a->GetNoElems()) Fail("element count differs from the product of the lengths");
    if (static_cast<unsigned>(a->GetClassID()) > 15u) Fail("class code out of range");
    if (!a->GetPr()) Fail("array without a real buffer");
    const unsigned long long bytes =
        static_cast<unsigned long long>(a->GetNoElems()) * a->GetElementSize();
    if (BufferBytes(a->GetPr()) != bytes) Fail("real buffer size differs from the element count");
    if (a->GetPi()) {
        if (a->IsCell() || a->IsStruct()) Fail("slot array with an imaginary buffer");
        if (BufferBytes(a->GetPi()) != bytes) Fail("imaginary buffer size differs");
    }
}

// Counts the holders of every buffer reachable from the pool (cell elements
// through each cell buffer once) and compares with the buffers' counts.
class Census {
public:
    void Visit(const CMatrix *a) {
        CheckShape(a);
        const bool fresh = ++m_holders[a->GetPr()] == 1;
        if (a->GetPi()) ++m_holders[a->GetPi()];
        if (!a->IsCell() || !fresh) return;
        const auto *slots = static_cast<CMatrix *const *>(a->GetPr());
        for (unsigned k = 0; k < a->GetNoElems(); ++k)
            if (slots[k]) Visit(slots[k]);
    }
    void Check() const {
        for (const auto &entry : m_holders)
            if (BufferCount(entry.first) != (entry.second & 0xFFFFu))
                Fail("buffer count differs from the number of arrays holding it");
    }

private:
    std::unordered_map<const void *, unsigned> m_holders;
};

// --- The pool -------------------------------------------------------------------

class Pool {
public:
    Pool() {
        for (auto &a : m_a) a = nullptr;
        for (auto &d : m_digest) d = 0;
    }
    ~Pool() {
        for (auto &a : m_a) mx::mxDestroyArray(a);
    }
    Pool(const Pool &) = delete;
    Pool &operator=(const Pool &) = delete;

    CMatrix *Get(unsigned s) const { return m_a[s % kSlots]; }
    CMatrix *&Ref(unsigned s) {
        m_touched |= 1u << (s % kSlots);
        return m_a[s % kSlots];
    }
    // Stores a new array (may be null) in slot s, releasing the old one.
    void Put(unsigned s, CMatrix *a) {
        CMatrix *&slot = Ref(s);
        CMatrix *old = slot;
        slot = a;
        mx::mxDestroyArray(old);
    }
    // Shared copy of slot s for a new holder, or null when the slot is empty.
    CMatrix *Share(unsigned s) const { return Get(s) ? Get(s)->CreateShareArray() : nullptr; }

    void BeginStep() { m_touched = 0; }
    // Checks the invariants of every array and that no array the step was
    // not allowed to change has changed.
    void EndStep() {
        Census census;
        for (unsigned s = 0; s < kSlots; ++s) {
            if (m_a[s]) census.Visit(m_a[s]);
            const std::uint64_t d = Digest(m_a[s]);
            if (!(m_touched & (1u << s)) && d != m_digest[s])
                Fail("an array changed that no one wrote");
            m_digest[s] = d;
        }
        census.Check();
    }

private:
    CMatrix *m_a[kSlots];
    std::uint64_t m_digest[kSlots];
    unsigned m_touched = 0;
};

// --- Building arrays ------------------------------------------------------------

void FillElements(CMatrix *a, void *data, Program &in) {
    const unsigned n = a->GetNoElems();
    switch (a->GetClassID()) {
        case mx::mxClassDouble: {
            auto *p = static_cast<double *>(data);
            for (unsigned k = 0; k < n; ++k) p[k] = in.Value();
            break;
        }
        case mx::mxClassSingle: {
            auto *p = static_cast<float *>(data);
            for (unsigned k = 0; k < n; ++k) {
                const double v = in.Value();
                const double big = std::numeric_limits<float>::max();
                p[k] = std::isfinite(v) && std::fabs(v) > big
                           ? static_cast<float>(std::copysign(kInf, v))
                           : static_cast<float>(v);
            }
            break;
        }
#define FUZZ_FILL(CLASS, T)                                      \
    case mx::CLASS: {                                            \
        auto *p = static_cast<T *>(data);                        \
        for (unsigned k = 0; k < n; ++k) p[k] = in.Integer<T>(); \
        break;                                                   \
    }
            FUZZ_FILL(mxClassInt8, std::int8_t)
            FUZZ_FILL(mxClassUint8, std::uint8_t)
            FUZZ_FILL(mxClassInt16, std::int16_t)
            FUZZ_FILL(mxClassUint16, std::uint16_t)
            FUZZ_FILL(mxClassInt32, std::int32_t)
            FUZZ_FILL(mxClassUint32, std::uint32_t)
            FUZZ_FILL(mxClassInt64, std::int64_t)
            FUZZ_FILL(mxClassUint64, std::uint64_t)
#undef FUZZ_FILL
        case mx::mxClassChar: {
            auto *p = static_cast<std::uint16_t *>(data);
            // ASCII, Latin-1, a wider unit, and both halves of a surrogate pair.
            static const std::uint16_t kUnits[] = {':',  'a',    ' ',    '1',   '\n',
                                                   0xE9, 0x20AC, 0xD83D, 0xDE00};
            for (unsigned k = 0; k < n; ++k) p[k] = kUnits[in.Below(9)];
            break;
        }
        default: break;  // slots start empty; classes without elements hold nothing
    }
}

void Fill(CMatrix *a, Program &in) {
    FillElements(a, a->GetPr(), in);
    if (a->GetPi()) FillElements(a, a->GetPi(), in);
}

const mx::mxClassID kClasses[] = {
    mx::mxClassDouble, mx::mxClassDouble, mx::mxClassDouble, mx::mxClassDouble,  mx::mxClassSingle,
    mx::mxClassInt8,   mx::mxClassUint8,  mx::mxClassInt16,  mx::mxClassUint16,  mx::mxClassInt32,
    mx::mxClassUint32, mx::mxClassInt64,  mx::mxClassUint64, mx::mxClassChar,    mx::mxClassChar,
    mx::mxClassStruct, mx::mxClassNone,   mx::mxClassSparse, mx::mxClassReserved};
constexpr unsigned kClassCount = sizeof kClasses / sizeof kClasses[0];

unsigned ReadDims(Program &in, unsigned *dims, unsigned maxDims, unsigned maxLength) {
    const unsigned nd = in.Below(maxDims + 1);
    for (unsigned k = 0; k < nd; ++k) dims[k] = in.Below(maxLength + 1);
    return nd;
}

CMatrix *NewNumeric(Program &in) {
    unsigned dims[4] = {0, 0, 0, 0};
    const mx::mxClassID cls = kClasses[in.Below(kClassCount)];
    const unsigned nd = ReadDims(in, dims, 4, 4);
    const std::uint8_t opts = in.Byte();
    const bool numeric = cls != mx::mxClassStruct && cls != mx::mxClassReserved;
    const mx::mxComplexity cx =
        numeric && (opts & 3) == 3 ? mx::mxComplexityComplex : mx::mxComplexityReal;
    CMatrix *a = mx::mxCreateNumericArray(nd, dims, cls, cx);
    Fill(a, in);
    if (opts & 4) a->SetLogical();
    if (opts & 8) a->SetFlag(0x100, 0xFF00);
    return a;
}

// Index arrays: doubles with the special values, uint32 and int32 values
// around 0 and the ends of their range, masks, the colon, empty ones.
CMatrix *NewIndex(Program &in) {
    const unsigned kind = in.Below(7);
    if (kind == 6) return mx::mxCreateColonIndex();
    unsigned dims[2] = {1, in.Below(6)};
    if (in.Byte() & 1) std::swap(dims[0], dims[1]);
    const unsigned n = dims[0] * dims[1];
    switch (kind) {
        case 0:
        case 1: {
            CMatrix *a = mx::mxCreateNumericArray(2, dims, mx::mxClassDouble, mx::mxComplexityReal);
            auto *p = static_cast<double *>(a->GetPr());
            for (unsigned k = 0; k < n; ++k)
                p[k] = kind == 0 ? static_cast<double>(in.Below(9)) : in.Value();
            return a;
        }
        case 2: {
            CMatrix *a = mx::mxCreateNumericArray(2, dims, mx::mxClassUint32, mx::mxComplexityReal);
            auto *p = static_cast<std::uint32_t *>(a->GetPr());
            for (unsigned k = 0; k < n; ++k) p[k] = in.Integer<std::uint32_t>();
            return a;
        }
        case 3: {
            CMatrix *a = mx::mxCreateNumericArray(2, dims, mx::mxClassInt32, mx::mxComplexityReal);
            auto *p = static_cast<std::int32_t *>(a->GetPr());
            for (unsigned k = 0; k < n; ++k) p[k] = in.Integer<std::int32_t>();
            return a;
        }
        default: {
            // A mask, double or another class, as long as a pool array or not.
            const mx::mxClassID cls = kind == 4 ? mx::mxClassDouble : mx::mxClassUint8;
            CMatrix *a = mx::mxCreateNumericArray(2, dims, cls, mx::mxComplexityReal);
            for (unsigned k = 0; k < n; ++k) {
                const bool on = in.Byte() & 1;
                if (cls == mx::mxClassDouble)
                    static_cast<double *>(a->GetPr())[k] = on ? 1.0 : 0.0;
                else
                    static_cast<std::uint8_t *>(a->GetPr())[k] = on ? 1 : 0;
            }
            a->SetLogical();
            return a;
        }
    }
}

CMatrix *NewConstructed(Program &in) {
    const unsigned m = in.Below(5), n = in.Below(5), p = in.Below(4);
    unsigned dims[4] = {0, 0, 0, 0};
    switch (in.Below(16)) {
        case 0: return mx::Zeros(m, n);
        case 1: return mx::Ones(m, n, p);
        case 2: return mx::Rand(m);
        case 3: return mx::Randn(m, n);
        case 4: {
            const unsigned nd = ReadDims(in, dims, 4, 3);
            return in.Byte() & 1 ? mx::Zeros(nd, dims) : mx::Randn(nd, dims);
        }
        case 5: return mx::Eye(m, n);
        case 6: return mx::Scalar(in.Value());
        case 7: {
            const double a = in.Value(), b = in.Value();
            return mx::Colon(a, b);
        }
        case 8: {
            const double a = in.Value(), s = in.Value(), b = in.Value();
            return mx::Colon(a, s, b);
        }
        case 9: {
            double v[4];
            for (unsigned k = 0; k < m; ++k) v[k] = in.Value();
            return mx::Diag(m, m ? v : nullptr, in.SmallInt());
        }
        case 10: {
            static const char *const kText[] = {"", ":", "abc", "x\ny", "\xc3\xa9t\xc3\xa9"};
            return mx::mxCreateString(kText[m]);
        }
        case 11: {
            double re[8], im[8];
            const unsigned cols = n / 2;
            for (unsigned k = 0; k < m * cols; ++k) {
                re[k] = in.Value();
                im[k] = in.Value();
            }
            return mx::mxDoubleMatrix(m, cols, re, in.Byte() & 1 ? im : nullptr);
        }
        case 12: {
            const double a = in.Value(), b = in.Value();
            return mx::Linspace(a, b, m * 3);
        }
        case 13:
            return mx::mxCreateDoubleMatrix(
                m, n, in.Byte() & 1 ? mx::mxComplexityComplex : mx::mxComplexityReal);
        case 14: return mx::Ones(m);
        default: return mx::Eye(m);
    }
}

// A new cell array whose slots share pool arrays, left empty or nest cells.
CMatrix *NewCell(Program &in, const Pool &pool) {
    unsigned dims[3] = {0, 0, 0};
    const unsigned nd = ReadDims(in, dims, 3, 3);
    CMatrix *c = mx::mxCreateCellArray(nd, dims);
    if (!c) return nullptr;
    try {
        for (unsigned k = 0; k < c->GetNoElems(); ++k) {
            const unsigned s = in.Byte();
            if (s >= 8 * kSlots || !pool.Get(s) || CellDepth(pool.Get(s)) >= kMaxCellDepth)
                continue;
            mx::mxSetCell(c, static_cast<int>(k), pool.Share(s));
        }
    } catch (...) {
        mx::mxDestroyArray(c);
        throw;
    }
    return c;
}

// --- Operations -----------------------------------------------------------------

struct Binary {
    CMatrix *(*both)(const CMatrix *, const CMatrix *);
    CMatrix *(*left)(double, const CMatrix *);
    CMatrix *(*right)(const CMatrix *, double);
};
#define FUZZ_BINARY(F)                                                  \
    Binary {                                                            \
        [](const CMatrix *a, const CMatrix *b) { return mx::F(a, b); }, \
            [](double a, const CMatrix *b) { return mx::F(a, b); },     \
            [](const CMatrix *a, double b) { return mx::F(a, b); }      \
    }
const Binary kBinary[] = {
    FUZZ_BINARY(Plus),
    FUZZ_BINARY(Minus),
    FUZZ_BINARY(Times),
    FUZZ_BINARY(Rdivide),
    FUZZ_BINARY(Ldivide),
    FUZZ_BINARY(Power),
    FUZZ_BINARY(Eq),
    FUZZ_BINARY(Ne),
    FUZZ_BINARY(Lt),
    FUZZ_BINARY(Le),
    FUZZ_BINARY(Gt),
    FUZZ_BINARY(Ge),
    FUZZ_BINARY(And),
    FUZZ_BINARY(Or),
    FUZZ_BINARY(Atan2),
    FUZZ_BINARY(Hypot),
    FUZZ_BINARY(Rem),
    Binary{[](const CMatrix *a, const CMatrix *b) { return mx::Max(a, b); },
           [](double a, const CMatrix *b) { return mx::MaxVal(a, b); },
           [](const CMatrix *a, double b) { return mx::MaxVal(a, b); }},
    Binary{[](const CMatrix *a, const CMatrix *b) { return mx::Min(a, b); },
           [](double a, const CMatrix *b) { return mx::MinVal(a, b); },
           [](const CMatrix *a, double b) { return mx::MinVal(a, b); }},
    // Mod takes its operands without const but leaves them as they were.
    Binary{[](const CMatrix *a, const CMatrix *b) {
               return mx::Mod(const_cast<CMatrix *>(a), const_cast<CMatrix *>(b));
           },
           [](double a, const CMatrix *b) {
               CMatrix *x = mx::Scalar(a);
               try {
                   CMatrix *r = mx::Mod(x, const_cast<CMatrix *>(b));
                   mx::mxDestroyArray(x);
                   return r;
               } catch (...) {
                   mx::mxDestroyArray(x);
                   throw;
               }
           },
           [](const CMatrix *a, double b) { return mx::Mod(const_cast<CMatrix *>(a), b); }},
};
#undef FUZZ_BINARY
constexpr unsigned kBinaryCount = sizeof kBinary / sizeof kBinary[0];

using Unary = CMatrix *(*)(const CMatrix *);
#define FUZZ_UNARY(F) [](const CMatrix *a) { return mx::F(a); }
const Unary kUnary[] = {
    FUZZ_UNARY(Not),        FUZZ_UNARY(Abs),        FUZZ_UNARY(Exp),
    FUZZ_UNARY(Round),      FUZZ_UNARY(Sign),       FUZZ_UNARY(Sqrt),
    FUZZ_UNARY(Uminus),     FUZZ_UNARY(Unaryminus), FUZZ_UNARY(Real),
    FUZZ_UNARY(Isinf),      FUZZ_UNARY(Isnan),      FUZZ_UNARY(Isfinite),
    FUZZ_UNARY(Sin),        FUZZ_UNARY(Cos),        FUZZ_UNARY(Tan),
    FUZZ_UNARY(Asin),       FUZZ_UNARY(Acos),       FUZZ_UNARY(Atan),
    FUZZ_UNARY(Sinh),       FUZZ_UNARY(Cosh),       FUZZ_UNARY(Tanh),
    FUZZ_UNARY(Log),        FUZZ_UNARY(Log2),       FUZZ_UNARY(Log10),
    FUZZ_UNARY(Log1p),      FUZZ_UNARY(Expm1),      FUZZ_UNARY(Floor),
    FUZZ_UNARY(Ceil),       FUZZ_UNARY(Fix),        FUZZ_UNARY(Transpose),
    FUZZ_UNARY(Ctranspose), FUZZ_UNARY(Tocolumn),   FUZZ_UNARY(Tomatrix),
    FUZZ_UNARY(Isempty),    FUZZ_UNARY(Find),       FUZZ_UNARY(Sum),
    FUZZ_UNARY(Prod),       FUZZ_UNARY(All),        FUZZ_UNARY(Any),
    FUZZ_UNARY(Cumsum),     FUZZ_UNARY(Cumprod),    FUZZ_UNARY(Mean),
    FUZZ_UNARY(Var),        FUZZ_UNARY(Std),        FUZZ_UNARY(Max),
    FUZZ_UNARY(Min),        FUZZ_UNARY(Sort),       FUZZ_UNARY(mxDuplicateArray),
};
constexpr unsigned kUnaryCount = sizeof kUnary / sizeof kUnary[0];

using AlongDim = CMatrix *(*)(const CMatrix *, unsigned);
#define FUZZ_DIM(F) [](const CMatrix *a, unsigned d) { return mx::F(a, d); }
const AlongDim kAlongDim[] = {
    FUZZ_DIM(Sum),
    FUZZ_DIM(Prod),
    FUZZ_DIM(All),
    FUZZ_DIM(Any),
    FUZZ_DIM(Cumsum),
    FUZZ_DIM(Cumprod),
    FUZZ_DIM(Mean),
    FUZZ_DIM(Var),
    FUZZ_DIM(Std),
    FUZZ_DIM(Max),
    FUZZ_DIM(Min),
    FUZZ_DIM(Sort),
    [](const CMatrix *a, unsigned d) { return mx::Sort(a, d, mx::SortOrder::kDescend); },
};
#undef FUZZ_DIM
constexpr unsigned kAlongDimCount = sizeof kAlongDim / sizeof kAlongDim[0];

// Two- and three-output functions; outputs go to consecutive slots.
void Outputs(Pool &pool, unsigned d, CMatrix *a, CMatrix *b, CMatrix *c = nullptr) {
    pool.Put(d, a);
    pool.Put(d + 1, b);
    if (c) pool.Put(d + 2, c);
}

// Runs a multi-output function with fresh outputs; after a throw none of
// them may have been set.
template <typename F>
void Multi(Pool &pool, unsigned d, F f) {
    CMatrix *out[3] = {nullptr, nullptr, nullptr};
    try {
        f(out[0], out[1], out[2]);
    } catch (...) {
        if (out[0] || out[1] || out[2]) Fail("a failed call left an output");
        throw;
    }
    Outputs(pool, d, out[0], out[1], out[2]);
}

bool SmallMatrix(const CMatrix *a) {
    return a && a->GetNoDimensions() == 2 && a->GetDimensions()[0] <= kMaxLinalg &&
           a->GetDimensions()[1] <= kMaxLinalg;
}

CMatrix *NewMatrix(Program &in) {
    const unsigned m = in.Below(kMaxLinalg + 1);
    const unsigned n = in.Byte() & 1 ? m : in.Below(kMaxLinalg + 1);
    CMatrix *a = mx::mxCreateDoubleMatrix(
        m, n, (in.Byte() & 7) == 7 ? mx::mxComplexityComplex : mx::mxComplexityReal);
    Fill(a, in);
    return a;
}

void LinearAlgebra(Program &in, Pool &pool, unsigned d) {
    unsigned s = in.Byte(), t = in.Byte();
    // An operand that is not a small matrix is replaced by a new one.
    if (!SmallMatrix(pool.Get(s))) pool.Put(s, NewMatrix(in));
    if (!SmallMatrix(pool.Get(t))) pool.Put(t, NewMatrix(in));
    const CMatrix *a = pool.Get(s);
    const CMatrix *b = pool.Get(t);
    const bool flag = in.Byte() & 1;
    static const double kNorms[] = {1.0, 2.0, kInf, -kInf, 3.0, 0.5, kNaN};
    switch (in.Below(22)) {
        case 0: pool.Put(d, mx::Mtimes(a, b)); break;
        case 1:
            Multi(pool, d, [&](CMatrix *&l, CMatrix *&u, CMatrix *&p) { mx::Lu(l, u, p, a); });
            break;
        case 2:
            Multi(pool, d, [&](CMatrix *&l, CMatrix *&u, CMatrix *&) { mx::Lu(l, u, a); });
            break;
        case 3: (void)mx::Det(a); break;
        case 4: pool.Put(d, mx::Mldivide(a, b)); break;
        case 5: pool.Put(d, mx::Mrdivide(a, b)); break;
        case 6: {
            bool ok = false;
            pool.Put(d, mx::Chol(a, ok));
            break;
        }
        case 7: pool.Put(d, mx::Chol(a)); break;
        case 8:
            Multi(pool, d,
                  [&](CMatrix *&q, CMatrix *&r, CMatrix *&e) { mx::Qr(q, r, e, a, flag); });
            break;
        case 9:
            Multi(pool, d, [&](CMatrix *&q, CMatrix *&r, CMatrix *&) { mx::Qr(q, r, a, flag); });
            break;
        case 10: pool.Put(d, mx::Svd(a, flag)); break;
        case 11:
            Multi(pool, d,
                  [&](CMatrix *&u, CMatrix *&sv, CMatrix *&v) { mx::Svd(u, sv, v, a, flag); });
            break;
        case 12: (void)(flag ? mx::Rank(a) : mx::Rank(a, in.Value())); break;
        case 13: (void)mx::Norm(a, kNorms[in.Below(7)]); break;
        case 14: (void)mx::NormFro(a); break;
        case 15: pool.Put(d, mx::Eig(a, flag)); break;
        case 16:
            Multi(pool, d, [&](CMatrix *&dd, CMatrix *&v, CMatrix *&) { mx::Eig(dd, v, a, flag); });
            break;
        case 17:
            if (flag)
                pool.Put(d, mx::Planerot(a));
            else
                Multi(pool, d,
                      [&](CMatrix *&g, CMatrix *&y, CMatrix *&) { mx::Planerot(g, y, a); });
            break;
        case 18: (void)mx::Trace(a); break;
        case 19: pool.Put(d, flag ? mx::Dot(a, b) : mx::Cross(a, b)); break;
        case 20: pool.Put(d, flag ? mx::Inv(a) : mx::Pinv(a)); break;
        default: pool.Put(d, mx::Tril(a, in.SmallInt())); break;
    }
}

// Polynomials and interpolation on small operands: the roots and fits go
// through Eig and Qr, so these share the budget of the linear algebra.
void Polynomials(Program &in, Pool &pool, unsigned d) {
    unsigned s = in.Byte(), t = in.Byte(), u = in.Byte();
    if (!SmallMatrix(pool.Get(s))) pool.Put(s, NewMatrix(in));
    if (!SmallMatrix(pool.Get(t))) pool.Put(t, NewMatrix(in));
    if (!SmallMatrix(pool.Get(u))) pool.Put(u, NewMatrix(in));
    const CMatrix *a = pool.Get(s);
    const CMatrix *b = pool.Get(t);
    const CMatrix *c = pool.Get(u);
    const unsigned flag = in.Byte();
    const auto method = static_cast<mx::InterpMethod>(flag % 7);
    const auto extrap = static_cast<mx::InterpExtrap>((flag >> 3) % 4);
    switch (in.Below(13)) {
        case 0: pool.Put(d, mx::Polyval(a, b)); break;
        case 1:
            Multi(pool, d, [&](CMatrix *&p, CMatrix *&r, CMatrix *&) {
                mx::PolyfitInfo info;
                mx::Polyfit(p, r, info, a, b, in.Below(6), flag & 1);
            });
            break;
        case 2: pool.Put(d, flag & 1 ? mx::Roots(a) : mx::Poly(a)); break;
        case 3: pool.Put(d, mx::Conv(a, b, static_cast<mx::ConvShape>(flag % 3))); break;
        case 4:
            Multi(pool, d, [&](CMatrix *&q, CMatrix *&r, CMatrix *&) { mx::Deconv(q, r, a, b); });
            break;
        case 5:
            if (flag & 1)
                Multi(pool, d,
                      [&](CMatrix *&q, CMatrix *&r, CMatrix *&) { mx::PolyderQuotient(q, r, a, b); });
            else
                pool.Put(d, flag & 2 ? mx::Polyder(a) : mx::PolyderProduct(a, b));
            break;
        case 6: pool.Put(d, mx::Polyint(a, flag & 1 ? b : nullptr)); break;
        case 7:
            Multi(pool, d, [&](CMatrix *&r, CMatrix *&p, CMatrix *&k) { mx::Residue(r, p, k, a, b); });
            break;
        case 8:
            Multi(pool, d, [&](CMatrix *&x, CMatrix *&y, CMatrix *&) {
                mx::ResidueInverse(x, y, a, b, c);
            });
            break;
        case 9: pool.Put(d, mx::Interp1(a, b, c, method, extrap, in.Value())); break;
        case 10:
            if (flag & 1)
                pool.Put(d, flag & 2 ? mx::Spline(a, b, c) : mx::Pchip(a, b, c));
            else
                Multi(pool, d, [&](CMatrix *&x, CMatrix *&y, CMatrix *&) {
                    if (flag & 2)
                        mx::SplinePieces(x, y, a, b);
                    else
                        mx::PchipPieces(x, y, a, b);
                });
            break;
        case 11: pool.Put(d, mx::Ppval(a, b, c)); break;
        default:
            pool.Put(d, mx::Interp2(flag & 1 ? a : nullptr, flag & 1 ? b : nullptr, c, a, b,
                                    flag & 2 ? mx::InterpMethod::kNearest : method, in.Value()));
            break;
    }
}

// A(I,J) = scalar writes every pair of positions, repeated ones included,
// without allocating for them: two index arrays of 10^5 ones each are 10^10
// writes. Such pairs are skipped so that no input runs for long.
constexpr unsigned long long kMaxPairs = 1u << 18;

// Bound on the positions of subscript k of 2 of A: the colon stands for the
// rows, or the columns folded together.
unsigned long long Extent(const CMatrix *a, unsigned k) {
    const unsigned rows = a->GetDimensions()[0];
    return k == 0 ? rows : rows ? a->GetNoElems() / rows : 0;
}

unsigned long long Positions(const CMatrix *index, const CMatrix *a, unsigned k) {
    return index->IsColon() ? Extent(a, k) : index->GetNoElems();
}

// A subscript for the Array interface: an index array of the pool, the
// colon, a position counted from End, a range, or a plain position. Adds to
// `count` a bound on the positions it stands for.
mx::Subscript ReadSubscript(Program &in, const Pool &pool, const mx::Array &a, unsigned k,
                            unsigned long long &count) {
    const unsigned s = in.Byte();
    switch (in.Below(6)) {
        case 0:
            count = Extent(a.get(), k);
            return mx::Subscript(static_cast<mx::ColonSubscript (*)(mx::ColonSubscript)>(mx::All));
        case 1: {
            const long long back = in.Below(3);
            count = 1;
            return mx::Subscript(mx::End() - back + in.Below(2));
        }
        case 2: count = Extent(a.get(), k); return mx::Subscript(mx::Range(in.Value(), mx::End()));
        case 3: count = 1; return mx::Subscript(in.Value());
        default:
            count = 1;
            if (!pool.Get(s)) return mx::Subscript(1.0);
            count = Positions(pool.Get(s), a.get(), k);
            return mx::Subscript(mx::Array::Share(pool.Get(s)));
    }
}

// Copies of Array values: writes through a copy must never reach the
// array it was copied from.
void ArrayValues(Program &in, Pool &pool, unsigned s, unsigned d) {
    if (!pool.Get(s)) return;
    mx::Array t = mx::Array::Share(pool.Get(s));
    mx::Array u = t;
    mx::Array w;
    w = u;
    const unsigned v = in.Byte();
    mx::Array b = pool.Get(v) ? mx::Array::Share(pool.Get(v)) : mx::Array(in.Value());
    unsigned long long rows = 0, cols = 0;
    const mx::Subscript i = ReadSubscript(in, pool, w, 0, rows);
    switch (in.Below(9)) {
        case 0: w(i) = b; break;
        case 1: {
            const mx::Subscript j = ReadSubscript(in, pool, w, 1, cols);
            if (rows * cols <= kMaxPairs) w(i, j) = b;
            break;
        }
        case 2: w(i) = mx::Empty(); break;
        case 3: w(i, ReadSubscript(in, pool, w, 1, cols)) = mx::Empty(); break;
        case 4: w = static_cast<mx::Array>(w(i)); break;
        case 5: w = static_cast<mx::Array>(w(i, ReadSubscript(in, pool, w, 1, cols))); break;
        case 6: {
            const long long k = in.SmallInt() + 2;
            w(k) = in.Value();
            break;
        }
        case 7: {
            mx::DoubleSpan span = w.MutableData();
            for (double &x : span) x = in.Value();
            break;
        }
        default: {
            mx::Array moved = std::move(w);
            w = moved + b;
            break;
        }
    }
    pool.Put(d, w.release());
}

void Step(Program &in, Pool &pool, unsigned &linalgSteps) {
    const std::uint8_t op = in.Byte();
    const unsigned s = in.Byte(), t = in.Byte(), d = in.Byte();
    CMatrix *a = pool.Get(s);
    CMatrix *b = pool.Get(t);
    // API_FUZZ_TRACE=1 lists the steps of a reproducer.
    static const bool trace = std::getenv("API_FUZZ_TRACE") != nullptr;
    if (trace)
        std::fprintf(stderr, "step %u (op %u) on %u, %u into %u\n", op >= 240 ? 99u : op % 24u, op,
                     s % kSlots, t % kSlots, d % kSlots);
    if (op >= 240) {
        if (linalgSteps < kMaxLinalgSteps) {
            ++linalgSteps;
            if (op >= 252)
                Polynomials(in, pool, d);
            else
                LinearAlgebra(in, pool, d);
        }
        return;
    }
    switch (op % 24) {
        case 0: pool.Put(d, NewNumeric(in)); return;
        case 1: pool.Put(d, NewIndex(in)); return;
        case 2: pool.Put(d, NewConstructed(in)); return;
        case 3: pool.Put(d, NewCell(in, pool)); return;
        case 4: pool.Put(d, pool.Share(s)); return;
        case 5:
            if (a) pool.Put(d, in.Byte() & 1 ? mx::mxDuplicateArray(a) : a->CreateDuplicateArray());
            return;
        case 6: pool.Put(d, nullptr); return;
        default: break;
    }
    if (!a) return;
    switch (op % 24) {
        case 7: {
            // Changes of one array in place; a failure leaves it as it was.
            const std::uint64_t before = Digest(a);
            CMatrix *&target = pool.Ref(s);
            unsigned dims[4] = {0, 0, 0, 0};
            const unsigned kind = in.Below(6);
            const unsigned nd = ReadDims(in, dims, 4, 5);
            try {
                switch (kind) {
                    case 0: target->GetOwnCopy(); break;
                    case 1: target->Extend(nd, dims); break;
                    case 2: target->Reshape(nd, dims); break;
                    case 3: target->ToComplex(); break;
                    case 4: target->ToReal(); break;
                    default:
                        if (nd & 1)
                            mx::Initialize(target, in.Value());
                        else
                            mx::Empty(target);
                        break;
                }
            } catch (const kiv::IException &) {
                if (kind < 4 && Digest(target) != before)
                    Fail("a failed change left its array changed");
                throw;
            }
            return;
        }
        case 8: {
            // Indexed reference, one or two subscripts.
            const unsigned j = in.Byte();
            if (!b) return;
            if (in.Byte() & 1 && pool.Get(j))
                pool.Put(d, mx::Indexref(a, b, pool.Get(j)));
            else
                pool.Put(d, mx::Indexref(a, b));
            return;
        }
        case 9:
        case 10: {
            // A(I) = B and A(I,J) = B. A failure may leave A grown, made
            // complex and unshared, never partly written.
            const unsigned j = in.Byte(), v = in.Byte();
            const CMatrix *src = pool.Get(v);
            const CMatrix *second = pool.Get(j);
            if (!b || !src) return;
            CMatrix *&target = pool.Ref(s);
            const std::uint64_t before = ContentDigest(target);
            const unsigned elems = target->GetNoElems();
            try {
                if (op % 24 == 10 && second) {
                    if (Positions(b, target, 0) * Positions(second, target, 1) <= kMaxPairs)
                        mx::Indexassign(target, b, second, src);
                } else {
                    mx::Indexassign(target, b, src);
                }
            } catch (const kiv::IException &) {
                if (target->GetNoElems() == elems && ContentDigest(target) != before &&
                    target != b && target != src && target != second)
                    Fail("a failed assignment wrote its target");
                throw;
            }
            return;
        }
        case 11: {
            // Deletion; a failure leaves A as it was (the digest checks it).
            const unsigned j = in.Byte();
            if (!b) return;
            const std::uint64_t before = Digest(a);
            CMatrix *&target = pool.Ref(s);
            try {
                switch (in.Below(4)) {
                    case 0: mx::Indexdelete(target, b); break;
                    case 1:
                        if (pool.Get(j)) mx::Indexdelete(target, b, pool.Get(j));
                        break;
                    case 2: mx::IndexdeleteRow(target, b); break;
                    default: mx::IndexdeleteColumn(target, b); break;
                }
            } catch (const kiv::IException &) {
                if (target != a || Digest(target) != before)
                    Fail("a failed deletion changed its target");
                throw;
            }
            return;
        }
        case 12: {
            // Concatenation of up to five pool arrays (empty slots skipped).
            const CMatrix *list[5] = {a};
            unsigned n = 1;
            const unsigned count = in.Below(5);
            for (unsigned k = 0; k < count; ++k)
                if (const CMatrix *x = pool.Get(in.Byte())) list[n++] = x;
            switch (in.Below(6)) {
                case 0: pool.Put(d, mx::Horzcat(n, list)); break;
                case 1: pool.Put(d, mx::Vertcat(n, list)); break;
                case 2: pool.Put(d, mx::Cat(in.Below(5), n, list)); break;
                case 3: pool.Put(d, mx::Horzcat(a, b)); break;
                case 4: pool.Put(d, mx::Vertcat(a, b, a, b, nullptr)); break;
                default: pool.Put(d, mx::Horzcat(a)); break;
            }
            return;
        }
        case 13:
        case 14: {
            const Binary &f = kBinary[in.Below(kBinaryCount)];
            switch (in.Below(3)) {
                case 0:
                    if (b) pool.Put(d, f.both(a, b));
                    break;
                case 1: pool.Put(d, f.left(in.Value(), a)); break;
                default: pool.Put(d, f.right(a, in.Value())); break;
            }
            return;
        }
        case 15:
        case 16: pool.Put(d, kUnary[in.Below(kUnaryCount)](a)); return;
        case 17: {
            // Reductions with every dimension, 0 and past the last included.
            const unsigned dim = in.Below(6);
            switch (in.Below(5)) {
                case 0:
                case 1: pool.Put(d, kAlongDim[in.Below(kAlongDimCount)](a, dim)); break;
                case 2:
                    Multi(pool, d, [&](CMatrix *&y, CMatrix *&i, CMatrix *&) {
                        if (dim == 5)
                            mx::Max(y, i, a);
                        else
                            mx::Max(y, i, a, dim);
                    });
                    break;
                case 3:
                    Multi(pool, d, [&](CMatrix *&y, CMatrix *&i, CMatrix *&) {
                        if (dim == 5)
                            mx::Min(y, i, a);
                        else
                            mx::Min(y, i, a, dim);
                    });
                    break;
                default:
                    Multi(pool, d, [&](CMatrix *&y, CMatrix *&i, CMatrix *&) {
                        mx::Sort(y, i, a, dim,
                                 dim & 1 ? mx::SortOrder::kAscend : mx::SortOrder::kDescend);
                    });
                    break;
            }
            return;
        }
        case 18: {
            // Searches and tests.
            switch (in.Below(6)) {
                case 0:
                    Multi(pool, d,
                          [&](CMatrix *&r, CMatrix *&c, CMatrix *&) { mx::Find(r, c, a); });
                    break;
                case 1:
                    Multi(pool, d,
                          [&](CMatrix *&r, CMatrix *&c, CMatrix *&v) { mx::Find(r, c, v, a); });
                    break;
                case 2: (void)mx::Nnz(a); break;
                case 3:
                    if (b) (void)mx::Isequal(a, b);
                    break;
                case 4: {
                    const CMatrix *list[3] = {a, b ? b : a, pool.Get(d) ? pool.Get(d) : a};
                    (void)mx::Isequal(3, list);
                    break;
                }
                default: (void)mx::Tobool(a); break;
            }
            return;
        }
        case 19: {
            // Display and conversions to text and scalars.
            static const std::string kNames[] = {"", "A", "ans"};
            switch (in.Below(6)) {
                case 0:
                case 1: (void)mx::DisplayText(a, kNames[in.Below(3)]); break;
                case 2: mx::PrintMatrix(a); break;
                case 3: (void)mx::mxGetScalar(a); break;
                case 4: (void)mx::mxArrayToString(a); break;
                default: {
                    char buf[8];
                    (void)mx::mxGetString(a, buf, in.Below(9));
                    break;
                }
            }
            return;
        }
        case 20: {
            // Shape functions.
            unsigned dims[4] = {0, 0, 0, 0};
            const unsigned nd = ReadDims(in, dims, 4, 6);
            const int k = in.SmallInt();
            switch (in.Below(9)) {
                case 0: pool.Put(d, mx::Tril(a, k)); break;
                case 1: pool.Put(d, mx::Triu(a, k)); break;
                case 2: pool.Put(d, mx::Reshape(a, nd, dims)); break;
                case 3: pool.Put(d, mx::Reshape(a, dims[0], dims[1])); break;
                case 4: pool.Put(d, mx::Diag(a, k)); break;
                case 5: pool.Put(d, mx::Repmat(a, dims[0], dims[1])); break;
                case 6: (void)mx::End(a, dims[0], dims[1]); break;
                case 7: (void)mx::Length(a); break;
                default: pool.Put(d, mx::Reshape(a, dims[0], dims[1], dims[2])); break;
            }
            return;
        }
        case 21: {
            // Cell slots: a shared copy of an element into the pool, or a
            // pool array (never the cell itself) stored in a slot.
            const int slot = in.SmallInt() + 4;
            if (in.Byte() & 1) {
                CMatrix *e = mx::mxGetCell(a, static_cast<unsigned>(slot));
                pool.Put(d, e ? e->CreateShareArray() : nullptr);
                return;
            }
            if (t % kSlots == s % kSlots) return;
            if (b && CellDepth(b) >= kMaxCellDepth) return;
            CMatrix *&cell = pool.Ref(s);
            if (!cell->IsCell()) return;
            CMatrix *value = b ? b->CreateShareArray() : nullptr;
            try {
                cell->GetOwnCopy();
                mx::mxSetCell(cell, slot, value);
            } catch (...) {
                mx::mxDestroyArray(value);
                throw;
            }
            return;
        }
        case 22: ArrayValues(in, pool, s, d); return;
        default: {
            // Flags and the caller's counter.
            CMatrix *&target = pool.Ref(s);
            switch (in.Below(4)) {
                case 0: target->SetLogical(); break;
                case 1: target->ClearLogical(); break;
                case 2: {
                    const unsigned value = in.Byte();
                    target->SetFlag(value, in.Byte());
                    break;
                }
                default: target->IncCounter(); break;
            }
            return;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // PrintMatrix writes to standard output; the fuzzer reports on stderr.
    if (!std::freopen("/dev/null", "w", stdout)) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Program in(data, size);
    kiv::RandSeed(1);
    mx::SetOrder(in.Byte() & 1 ? mx::Order::kFast : mx::Order::kStated);
    Pool pool;
    unsigned linalgSteps = 0;
    for (unsigned step = 0; step < kMaxSteps && in.More(); ++step) {
        pool.BeginStep();
        try {
            Step(in, pool, linalgSteps);
        } catch (const kiv::IException &) {}
        pool.EndStep();
    }
    return 0;
}
