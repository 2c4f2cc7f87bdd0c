// src/elementwise/integer_functions.cpp: integer division with a chosen
// rounding, and the bit-wise functions.
#include <matrix/elementwise.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "core/array_holder.h"
#include "elementwise/binary_engine.h"

namespace kiv {
namespace matrix {

namespace {

using engine::Operand;
using engine::Wide;

[[noreturn]] void Fail(const std::string &text) {
    throw CFunctionErrorException(kiv::WString(std::wstring(text.begin(), text.end()).c_str()));
}

bool IsInteger(mxClassID id) { return engine::IsIntegerClass(id); }

const char *ClassName(mxClassID id) {
    switch (id) {
        case mxClassInt8: return "int8";
        case mxClassUint8: return "uint8";
        case mxClassInt16: return "int16";
        case mxClassUint16: return "uint16";
        case mxClassInt32: return "int32";
        case mxClassUint32: return "uint32";
        case mxClassInt64: return "int64";
        case mxClassUint64: return "uint64";
        case mxClassSingle: return "single";
        default: return "double";
    }
}

// Calls f(T()) with the element type of the integer class id.
template <class Fn>
auto WithInteger(mxClassID id, const Fn &f) {
    switch (id) {
        case mxClassInt8: return f(std::int8_t());
        case mxClassUint8: return f(std::uint8_t());
        case mxClassInt16: return f(std::int16_t());
        case mxClassUint16: return f(std::uint16_t());
        case mxClassInt32: return f(std::int32_t());
        case mxClassUint32: return f(std::uint32_t());
        case mxClassInt64: return f(std::int64_t());
        default: return f(std::uint64_t());
    }
}

// The class of an integer operation on A and B: their integer class. Throws
// CNotImplementedException (other classes, complex), then
// CIntegersCanOnlyBeCombinedException for two integer classes that differ;
// returns mxClassDouble when neither is an integer.
mxClassID IntegerClassOf(const Operand &a, const Operand &b) {
    if (a.im != nullptr || b.im != nullptr) engine::ThrowNotImplemented();
    if (IsInteger(a.id) && IsInteger(b.id) && a.id != b.id) engine::ThrowIntegerMix();
    return IsInteger(a.id) ? a.id : (IsInteger(b.id) ? b.id : mxClassDouble);
}

// --- Idivide --------------------------------------------------------------------

// x / y of whole numbers, y != 0, rounded by `mode`.
Wide DivideWhole(Wide x, Wide y, DivideRounding mode) {
    const Wide q = x / y, r = x % y;
    if (r == 0) return q;
    const bool negative = (r < 0) != (y < 0);
    switch (mode) {
        case DivideRounding::kFix: return q;
        case DivideRounding::kFloor: return negative ? q - 1 : q;
        case DivideRounding::kCeil: return negative ? q : q + 1;
        default: {
            const Wide twice = 2 * (r < 0 ? -r : r);
            if (twice >= (y < 0 ? -y : y)) return negative ? q - 1 : q + 1;
            return q;
        }
    }
}

double RoundBy(double q, DivideRounding mode) {
    switch (mode) {
        case DivideRounding::kFix: return std::trunc(q);
        case DivideRounding::kFloor: return std::floor(q);
        case DivideRounding::kCeil: return std::ceil(q);
        default: return std::round(q);
    }
}

template <class T>
T DivideElement(const Operand &a, std::size_t ia, const Operand &b, std::size_t ib,
                DivideRounding mode) {
    Wide x, y;
    if (a.Whole(ia, x) && b.Whole(ib, y)) {
        if (y != 0) return engine::Saturate<T>(DivideWhole(x, y, mode));
        if (x == 0) return 0;
        return x > 0 ? std::numeric_limits<T>::max() : std::numeric_limits<T>::min();
    }
    return engine::ToInteger<T>(RoundBy(a.Re(ia) / b.Re(ib), mode));
}

// --- Bit-wise functions -------------------------------------------------------

// 2^53, the largest double below which every whole number is exact.
constexpr double kFlintmax = 9007199254740992.0;

// Element i of a bit-wise operand as the bits of `cls`'s width (the
// two's-complement pattern for a signed class), checked: an integer element
// as it is; a double, char or logical one must be a whole number within the
// class (0 to flintmax for a double result).
std::uint64_t BitsOf(const Operand &o, std::size_t i, mxClassID cls, const char *name) {
    Wide w = 0;
    if (IsInteger(o.id)) {
        o.Whole(i, w);
        return static_cast<std::uint64_t>(w);
    }
    const double x = o.Re(i);
    if (cls == mxClassDouble) {
        if (!(x >= 0 && x <= kFlintmax) || x != std::floor(x))
            Fail(std::string(name) +
                 ": double operands must be non-negative whole numbers no greater than flintmax");
        return static_cast<std::uint64_t>(x);
    }
    const bool fits = WithInteger(cls, [&](auto t) {
        using T = decltype(t);
        // double(max) + 1 is 2^bits exactly (for 64 bits double(max) already is).
        return x == std::floor(x) && x >= static_cast<double>(std::numeric_limits<T>::min()) &&
               x < static_cast<double>(std::numeric_limits<T>::max()) + 1.0;
    });
    if (!fits)
        Fail(std::string(name) + ": double operands must be whole numbers within the range of " +
             ClassName(cls));
    return x < 0 ? static_cast<std::uint64_t>(static_cast<std::int64_t>(x))
                 : static_cast<std::uint64_t>(x);
}

// The class check shared by the bit-wise functions: integer classes, double,
// char and logical; single and complex operands are refused.
void RequireBitOperand(const Operand &o, const char *name) {
    if (o.id == mxClassSingle)
        Fail(std::string(name) + ": operands must be of an integer class or double, not single");
}

template <class T>
void Store(CMatrix *R, std::size_t i, std::uint64_t bits) {
    static_cast<T *>(R->GetPr())[i] = static_cast<T>(bits);
}

enum class BitOp { kAnd, kOr, kXor };

CMatrix *Bitwise(const CMatrix *A, const CMatrix *B, BitOp op, const char *name) {
    const Operand a = engine::View(A), b = engine::View(B);
    const mxClassID out = IntegerClassOf(a, b);
    RequireBitOperand(a, name);
    RequireBitOperand(b, name);
    const engine::Expansion e = engine::Expand(A, B);
    // Every element is checked before the result is made.
    engine::OverPairs(e, [&](std::size_t, std::size_t ia, std::size_t ib) {
        BitsOf(a, ia, out, name);
        BitsOf(b, ib, out, name);
    });
    ArrayHolder R = engine::NewResult(e, out, false);
    engine::OverPairs(e, [&](std::size_t i, std::size_t ia, std::size_t ib) {
        const std::uint64_t x = BitsOf(a, ia, out, name), y = BitsOf(b, ib, out, name);
        const std::uint64_t r =
            op == BitOp::kAnd ? (x & y) : (op == BitOp::kOr ? (x | y) : (x ^ y));
        if (out == mxClassDouble) {
            engine::RealData(R.get())[i] = static_cast<double>(r);
        } else {
            WithInteger(out, [&](auto t) {
                Store<decltype(t)>(R.get(), i, r);
                return 0;
            });
        }
    });
    return R.release();
}

// The bits of x shifted by k places in a word of `width` bits: left for
// k > 0, right for k < 0, arithmetic (filling with the sign) when `sign`.
std::uint64_t Shift(std::uint64_t x, double k, unsigned int width, bool sign) {
    const std::uint64_t mask = width == 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << width) - 1;
    const bool negative = sign && ((x >> (width - 1)) & 1) != 0;
    if (k >= 0) return k >= width ? 0 : (x << static_cast<unsigned int>(k)) & mask;
    if (-k >= width) return negative ? mask : 0;
    const unsigned int s = static_cast<unsigned int>(-k);
    std::uint64_t r = (x & mask) >> s;
    if (negative) r |= mask & ~(mask >> s);
    return r;
}

}  // namespace

CMatrix *Idivide(const CMatrix *A, const CMatrix *B, DivideRounding mode) {
    const Operand a = engine::View(A), b = engine::View(B);
    const mxClassID out = IntegerClassOf(a, b);
    if (!IsInteger(out)) Fail("idivide: at least one operand must be of an integer class");
    const engine::Expansion e = engine::Expand(A, B);
    ArrayHolder R = engine::NewResult(e, out, false);
    WithInteger(out, [&](auto t) {
        using T = decltype(t);
        T *r = static_cast<T *>(R->GetPr());
        engine::OverPairs(e, [&](std::size_t i, std::size_t ia, std::size_t ib) {
            r[i] = DivideElement<T>(a, ia, b, ib, mode);
        });
        return 0;
    });
    return R.release();
}

CMatrix *Bitand(const CMatrix *A, const CMatrix *B) { return Bitwise(A, B, BitOp::kAnd, "bitand"); }
CMatrix *Bitor(const CMatrix *A, const CMatrix *B) { return Bitwise(A, B, BitOp::kOr, "bitor"); }
CMatrix *Bitxor(const CMatrix *A, const CMatrix *B) { return Bitwise(A, B, BitOp::kXor, "bitxor"); }

CMatrix *Bitshift(const CMatrix *A, const CMatrix *K) {
    const Operand a = engine::View(A), k = engine::View(K);
    if (a.im != nullptr || k.im != nullptr) engine::ThrowNotImplemented();
    RequireBitOperand(a, "bitshift");
    const mxClassID out = IsInteger(a.id) ? a.id : mxClassDouble;
    const engine::Expansion e = engine::Expand(A, K);
    engine::OverPairs(e, [&](std::size_t, std::size_t ia, std::size_t ik) {
        BitsOf(a, ia, out, "bitshift");
        const double s = k.Re(ik);
        if (s != std::floor(s) || std::isnan(s))
            Fail("bitshift: the number of places must be a whole number");
    });
    // A double shifts as the 64 bits of an unsigned integer.
    unsigned int width = 64;
    bool sign = false;
    if (out != mxClassDouble) {
        WithInteger(out, [&](auto t) {
            using T = decltype(t);
            width = 8 * sizeof(T);
            sign = std::numeric_limits<T>::is_signed;
            return 0;
        });
    }
    ArrayHolder R = engine::NewResult(e, out, false);
    engine::OverPairs(e, [&](std::size_t i, std::size_t ia, std::size_t ik) {
        const std::uint64_t r = Shift(BitsOf(a, ia, out, "bitshift"), k.Re(ik), width, sign);
        if (out == mxClassDouble) {
            engine::RealData(R.get())[i] = static_cast<double>(r);
        } else {
            WithInteger(out, [&](auto t) {
                Store<decltype(t)>(R.get(), i, r);
                return 0;
            });
        }
    });
    return R.release();
}

}  // namespace matrix
}  // namespace kiv
