// src/construct/concat.cpp: horizontal and vertical concatenation of arrays.
#include <matrix/concat.h>

#include <kiv/exception.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace kiv {
namespace matrix {

namespace {

// Which of an operand's two lengths grows in the result: [A, B] stacks
// columns, [A; B] stacks rows. The other length ("across") must agree.
enum class Direction { kHorizontal, kVertical };

struct Extent {
    std::uint64_t along;
    std::uint64_t across;
};

Extent ExtentOf(const CMatrix *a, Direction direction) {
    const unsigned int *dims = a->GetDimensions();
    return direction == Direction::kHorizontal ? Extent{dims[1], dims[0]}
                                               : Extent{dims[0], dims[1]};
}

[[noreturn]] void ThrowMismatch(Direction direction) {
    if (direction == Direction::kHorizontal) throw CAllColumnsMustHaveSameRows();
    throw CAllRowsMustHaveSameColumns();
}

// The result's extent and whether it holds characters.
struct Layout {
    Extent extent;
    bool isChar;
};

// Checks the operands in order and returns the result's layout. Operands
// with elements must agree across and in class; empty ones only shape a
// result that has no elements at all, and only those met before the first
// operand with elements count (never a 0x0 one). The class of an empty
// operand matters only when every operand is empty: the result holds
// characters when all of them do.
Layout ResultLayout(Direction direction, unsigned int n, const CMatrix *const *operands) {
    bool haveElements = false;
    bool fullIsChar = false;  // class of the operands with elements, once one is met
    bool allChar = true;
    Extent full{0, 0};   // along: sum over operands with elements; across: common length
    Extent empty{0, 0};  // along: sum over counted empty operands; across: their maximum
    for (unsigned int k = 0; k < n; ++k) {
        const CMatrix *a = operands[k];
        const bool isChar = a->IsChar();
        if (a->IsComplex() || !(a->IsDouble() || isChar) || a->GetNoDimensions() > 2) {
            throw CNotImplementedException();
        }
        allChar = allChar && isChar;
        const Extent e = ExtentOf(a, direction);
        if (a->GetNoElems() > 0) {
            if (!haveElements) {
                full.across = e.across;
                fullIsChar = isChar;
                haveElements = true;
            } else {
                // Characters and numbers do not mix: no conversion between
                // them is defined here.
                if (isChar != fullIsChar) throw CNotImplementedException();
                if (e.across != full.across) ThrowMismatch(direction);
            }
            full.along += e.along;
        } else if (!haveElements && !a->IsEmpty()) {
            empty.along += e.along;
            empty.across = std::max(empty.across, e.across);
        }
    }
    if (haveElements) return Layout{full, fullIsChar};
    // Only empty operands: they agree when all have zero across (the along
    // lengths add up) or all have zero along (the widest across wins).
    if (empty.across == 0) return Layout{Extent{empty.along, 0}, allChar};
    if (empty.along == 0) return Layout{Extent{0, empty.across}, allChar};
    return Layout{Extent{0, 0}, allChar};
}

CMatrix *Concatenate(Direction direction, unsigned int n, const CMatrix *const *operands) {
    if (n == 1) return operands[0]->CreateShareArray();

    const Layout layout = ResultLayout(direction, n, operands);
    const Extent extent = layout.extent;
    // A length that does not fit in 32 bits is a shape outside the data
    // model, which the array core reports as exhausted memory.
    if (extent.along > UINT32_MAX) throw kiv::CExhaustedMemoryException();
    const auto along = static_cast<unsigned int>(extent.along);
    const auto across = static_cast<unsigned int>(extent.across);
    const unsigned int m = direction == Direction::kHorizontal ? across : along;
    const unsigned int cols = direction == Direction::kHorizontal ? along : across;
    CMatrix *result = nullptr;
    if (layout.isChar) {
        const unsigned int dims[] = {m, cols};
        result = mxCreateNumericArray(2, dims, mxClassChar, mxComplexityReal);
    } else {
        result = mxCreateDoubleMatrix(m, cols, mxComplexityReal);
    }
    if (result->GetNoElems() == 0) return result;

    char *target = static_cast<char *>(result->GetPr());
    const std::size_t elementSize = result->GetElementSize();
    if (direction == Direction::kHorizontal) {
        // Column-major storage: the operands' data lie one after the other.
        for (unsigned int k = 0; k < n; ++k) {
            const std::size_t bytes = std::size_t{operands[k]->GetNoElems()} * elementSize;
            if (bytes == 0) continue;
            std::memcpy(target, operands[k]->GetPr(), bytes);
            target += bytes;
        }
    } else {
        // Each result column is the matching column of every operand in turn;
        // filling the result column by column keeps the writes sequential.
        for (unsigned int c = 0; c < cols; ++c) {
            for (unsigned int k = 0; k < n; ++k) {
                const CMatrix *a = operands[k];
                if (a->GetNoElems() == 0) continue;
                const std::size_t bytes = std::size_t{a->GetDimensions()[0]} * elementSize;
                std::memcpy(target, static_cast<const char *>(a->GetPr()) + c * bytes, bytes);
                target += bytes;
            }
        }
    }
    return result;
}

// The operands of a form with separate arguments: `a`, then the following
// arguments up to the first null one. Short lists live on the stack.
class OperandList {
public:
    OperandList(const OperandList &) = delete;
    OperandList &operator=(const OperandList &) = delete;

    explicit OperandList(std::size_t count) : m_count(0) {
        if (count > kInline) {
            m_heap.reset(new (std::nothrow) const CMatrix *[count]);
            if (!m_heap) throw kiv::CExhaustedMemoryException();
        }
    }
    // Takes `a`, b, c, d and the variable arguments until the list holds the
    // count it was sized for.
    void Fill(const CMatrix *a, const CMatrix *b, const CMatrix *c, const CMatrix *d,
              std::size_t count, va_list rest) {
        const CMatrix **slots = m_heap ? m_heap.get() : m_inline;
        const CMatrix *fixed[] = {a, b, c, d};
        for (m_count = 0; m_count < count; ++m_count) {
            slots[m_count] = m_count < 4 ? fixed[m_count] : va_arg(rest, const CMatrix *);
        }
    }
    unsigned int Count() const { return static_cast<unsigned int>(m_count); }
    const CMatrix *const *Data() const { return m_heap ? m_heap.get() : m_inline; }

private:
    static constexpr std::size_t kInline = 16;
    const CMatrix *m_inline[kInline];
    std::unique_ptr<const CMatrix *[]> m_heap;
    std::size_t m_count;
};

// Number of operands of a four-or-more-operand form: `a` and whichever of
// b, c, d and the variable arguments come before the first null one.
std::size_t CountOperands(const CMatrix *b, const CMatrix *c, const CMatrix *d, va_list rest) {
    if (b == nullptr) return 1;
    if (c == nullptr) return 2;
    if (d == nullptr) return 3;
    std::size_t count = 4;
    while (va_arg(rest, const CMatrix *) != nullptr) ++count;
    return count;
}

// The two- and three-operand forms: the list ends at the first null operand.
CMatrix *ConcatenateUpToNull(Direction direction, const CMatrix *a, const CMatrix *b,
                             const CMatrix *c) {
    const CMatrix *operands[] = {a, b, c};
    unsigned int n = 1;
    while (n < 3 && operands[n] != nullptr) ++n;
    return Concatenate(direction, n, operands);
}

// --- Cat along any dimension --------------------------------------------------

// Length `d` (0-based) of `a`, 1 beyond its last dimension.
unsigned int LengthOf(const CMatrix *a, unsigned int d) {
    return d < a->GetNoDimensions() ? a->GetDimensions()[d] : 1;
}

[[noreturn]] void ThrowInconsistent() {
    throw CFunctionErrorException(L"Dimensions of arrays being concatenated are not consistent");
}

// Joins operands of any number of dimensions along the 1-based `dim`:
// operands with elements must agree in every other length; empty ones are
// skipped. Class rules are those of Horzcat and Vertcat.
CMatrix *ConcatenateAlong(unsigned int dim, unsigned int n, const CMatrix *const *operands) {
    const CMatrix *model = nullptr;  // the first operand with elements
    bool allChar = true;
    unsigned int nDims = dim < 2 ? 2 : dim;
    std::uint64_t along = 0;
    for (unsigned int k = 0; k < n; ++k) {
        const CMatrix *a = operands[k];
        const bool isChar = a->IsChar();
        if (a->IsComplex() || !(a->IsDouble() || isChar)) throw CNotImplementedException();
        allChar = allChar && isChar;
        if (a->GetNoElems() == 0) continue;
        if (model == nullptr) {
            model = a;
        } else if (isChar != model->IsChar()) {
            throw CNotImplementedException();
        }
        if (a->GetNoDimensions() > nDims) nDims = a->GetNoDimensions();
        along += LengthOf(a, dim - 1);
    }
    if (model == nullptr) {
        return allChar ? mxCreateNumericArray(2, std::array<unsigned int, 2>{0, 0}.data(),
                                              mxClassChar, mxComplexityReal)
                       : mxCreateDoubleMatrix(0, 0, mxComplexityReal);
    }
    for (unsigned int k = 0; k < n; ++k) {
        const CMatrix *a = operands[k];
        if (a->GetNoElems() == 0) continue;
        // Beyond both operands' last dimensions every length is 1.
        const unsigned int common = std::max(a->GetNoDimensions(), model->GetNoDimensions());
        for (unsigned int d = 0; d < common; ++d) {
            if (d + 1 != dim && LengthOf(a, d) != LengthOf(model, d)) ThrowInconsistent();
        }
    }
    // A length that does not fit in 32 bits is a shape outside the data
    // model, which the array core reports as exhausted memory.
    if (along > UINT32_MAX) throw kiv::CExhaustedMemoryException();

    std::unique_ptr<unsigned int[]> dims(new (std::nothrow) unsigned int[nDims]);
    if (!dims) throw kiv::CExhaustedMemoryException();
    std::size_t before = 1;
    std::size_t after = 1;
    for (unsigned int d = 0; d < nDims; ++d) {
        dims[d] = d + 1 == dim ? static_cast<unsigned int>(along) : LengthOf(model, d);
        if (d + 1 < dim) before *= dims[d];
        if (d + 1 > dim) after *= dims[d];
    }
    CMatrix *result =
        mxCreateNumericArray(nDims, dims.get(), model->GetClassID(), mxComplexityReal);
    // Each trailing slab of the result is the matching slab of every operand
    // in turn, so the writes stay sequential.
    char *target = static_cast<char *>(result->GetPr());
    const std::size_t elementSize = result->GetElementSize();
    for (std::size_t o = 0; o < after; ++o) {
        for (unsigned int k = 0; k < n; ++k) {
            const CMatrix *a = operands[k];
            if (a->GetNoElems() == 0) continue;
            const std::size_t bytes = before * LengthOf(a, dim - 1) * elementSize;
            std::memcpy(target, static_cast<const char *>(a->GetPr()) + o * bytes, bytes);
            target += bytes;
        }
    }
    return result;
}

CMatrix *JoinAlong(unsigned int dim, unsigned int n, const CMatrix *const *operands) {
    if (dim == 0) throw CFunctionErrorException(L"Dimension argument must be a positive integer");
    if (n == 1) return operands[0]->CreateShareArray();
    bool flat = true;
    for (unsigned int k = 0; k < n; ++k) flat = flat && operands[k]->GetNoDimensions() == 2;
    // Matrices along rows or columns follow [A; B] and [A, B] exactly, their
    // empty operands included.
    if (flat && dim <= 2) {
        return Concatenate(dim == 1 ? Direction::kVertical : Direction::kHorizontal, n, operands);
    }
    return ConcatenateAlong(dim, n, operands);
}

}  // namespace

CMatrix *Horzcat(unsigned int n, const CMatrix **arrays) {
    return Concatenate(Direction::kHorizontal, n, arrays);
}

CMatrix *Horzcat(const CMatrix *a) { return a->CreateShareArray(); }

CMatrix *Horzcat(const CMatrix *a, const CMatrix *b) {
    return ConcatenateUpToNull(Direction::kHorizontal, a, b, nullptr);
}

CMatrix *Horzcat(const CMatrix *a, const CMatrix *b, const CMatrix *c) {
    return ConcatenateUpToNull(Direction::kHorizontal, a, b, c);
}

CMatrix *Horzcat(const CMatrix *a, const CMatrix *b, const CMatrix *c, const CMatrix *d, ...) {
    // Nothing between va_start and va_end may throw, so the arguments are
    // walked twice: once to size the list, once to fill it.
    va_list rest;
    va_start(rest, d);
    const std::size_t count = CountOperands(b, c, d, rest);
    va_end(rest);
    OperandList list(count);
    va_start(rest, d);
    list.Fill(a, b, c, d, count, rest);
    va_end(rest);
    return Concatenate(Direction::kHorizontal, list.Count(), list.Data());
}

CMatrix *Vertcat(unsigned int n, const CMatrix **arrays) {
    return Concatenate(Direction::kVertical, n, arrays);
}

CMatrix *Vertcat(const CMatrix *a) { return a->CreateShareArray(); }

CMatrix *Vertcat(const CMatrix *a, const CMatrix *b) {
    return ConcatenateUpToNull(Direction::kVertical, a, b, nullptr);
}

CMatrix *Vertcat(const CMatrix *a, const CMatrix *b, const CMatrix *c) {
    return ConcatenateUpToNull(Direction::kVertical, a, b, c);
}

CMatrix *Vertcat(const CMatrix *a, const CMatrix *b, const CMatrix *c, const CMatrix *d, ...) {
    // Nothing between va_start and va_end may throw, so the arguments are
    // walked twice: once to size the list, once to fill it.
    va_list rest;
    va_start(rest, d);
    const std::size_t count = CountOperands(b, c, d, rest);
    va_end(rest);
    OperandList list(count);
    va_start(rest, d);
    list.Fill(a, b, c, d, count, rest);
    va_end(rest);
    return Concatenate(Direction::kVertical, list.Count(), list.Data());
}

CMatrix *Cat(unsigned int dim, unsigned int n, const CMatrix **arrays) {
    return JoinAlong(dim, n, arrays);
}

CMatrix *Cat(unsigned int dim, const CMatrix *a, const CMatrix *b) {
    const CMatrix *operands[] = {a, b};
    return JoinAlong(dim, b == nullptr ? 1 : 2, operands);
}

CMatrix *Cat(unsigned int dim, const CMatrix *a, const CMatrix *b, const CMatrix *c) {
    const CMatrix *operands[] = {a, b, c};
    unsigned int n = 1;
    while (n < 3 && operands[n] != nullptr) ++n;
    return JoinAlong(dim, n, operands);
}

CMatrix *Cat(unsigned int dim, const CMatrix *a, const CMatrix *b, const CMatrix *c,
             const CMatrix *d, ...) {
    // Nothing between va_start and va_end may throw, so the arguments are
    // walked twice: once to size the list, once to fill it.
    va_list rest;
    va_start(rest, d);
    const std::size_t count = CountOperands(b, c, d, rest);
    va_end(rest);
    OperandList list(count);
    va_start(rest, d);
    list.Fill(a, b, c, d, count, rest);
    va_end(rest);
    return JoinAlong(dim, list.Count(), list.Data());
}

}  // namespace matrix
}  // namespace kiv
