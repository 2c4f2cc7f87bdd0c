// src/construct/concat.cpp: horizontal and vertical concatenation of arrays.
#include <matrix/concat.h>

#include <kiv/exception.h>
#include <matrix/elementwise.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "core/array_fields.h"
#include "core/array_holder.h"

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
    const unsigned int *dims = ArrayFields::Dimensions(a);
    return direction == Direction::kHorizontal ? Extent{dims[1], dims[0]}
                                               : Extent{dims[0], dims[1]};
}

[[noreturn]] void ThrowMismatch(Direction direction) {
    if (direction == Direction::kHorizontal) throw CAllColumnsMustHaveSameRows();
    throw CAllRowsMustHaveSameColumns();
}

// --- Result class -------------------------------------------------------------

// The class the operands are joined in, and the operands as the joining
// code reads them: each operand with elements in the result's class (a
// converted copy where its class differs; for a cell result an array
// operand sits alone in a 1x1 cell), empty operands as they are.
class Prepared {
public:
    Prepared(const Prepared &) = delete;
    Prepared &operator=(const Prepared &) = delete;

    Prepared(unsigned int n, const CMatrix *const *operands) : m_n(n), m_given(operands) {
        // Classes first, every operand in order, before any shape.
        bool anyElements = false;
        bool allLike = true;  // every operand of the first one's class
        bool anyCell = false;
        const mxClassID firstId = ArrayFields::ClassID(operands[0]);
        for (unsigned int k = 0; k < n; ++k) {
            const CMatrix *a = operands[k];
            const mxClassID id = ArrayFields::ClassID(a);
            if (id != mxClassCell && id != mxClassChar &&
                (id < mxClassDouble || id > mxClassUint64))
                throw CNotImplementedException();
            allLike = allLike && id == firstId;
            anyCell = anyCell || id == mxClassCell;
            anyElements = anyElements || ArrayFields::NoElems(a) > 0;
        }
        // Operands with elements decide the class; when none has any, all do.
        bool first = true;
        for (unsigned int k = 0; k < n; ++k) {
            const CMatrix *a = operands[k];
            if (anyElements && ArrayFields::NoElems(a) == 0) continue;
            const mxClassID id = ArrayFields::ClassID(a);
            Join(id, id == mxClassDouble && a->IsLogical(), ArrayFields::Pi(a) != nullptr, first);
            first = false;
        }
        // A cell, even an empty one, makes the result a cell: [{}, 5] is {5}.
        if (anyCell) {
            m_id = mxClassCell;
            m_logical = false;
        }
        if (m_complex && m_id != mxClassDouble && m_id != mxClassSingle && m_id != mxClassCell)
            throw CNotImplementedException();
        // Operands all of the result's class (the common case) are read as they are.
        if (allLike && m_id != mxClassCell) return;
        for (unsigned int k = 0; k < n; ++k) {
            const CMatrix *a = operands[k];
            if (ArrayFields::NoElems(a) == 0) continue;
            if (m_id == mxClassCell) {
                if (a->IsCell()) continue;
                ArrayHolder cell(mxCreateCellMatrix(1, 1));
                ArrayHolder item(a->CreateShareArray());
                mxSetCell(cell.get(), 0, item.release());
                Keep(k, std::move(cell));
            } else if (ArrayFields::ClassID(a) != m_id) {
                Keep(k, ArrayHolder(Cast(a, m_id)));
            }
        }
    }

    const CMatrix *const *Operands() const { return m_copy.empty() ? m_given : m_copy.data(); }
    mxClassID ClassID() const { return m_id; }
    bool IsLogical() const { return m_logical; }
    bool IsComplex() const { return m_complex; }

    /// A new array of the result's class with the given shape.
    CMatrix *Create(unsigned int nDims, const unsigned int *dims) const {
        const mxComplexity complexity = m_complex ? mxComplexityComplex : mxComplexityReal;
        ArrayHolder R(m_id == mxClassCell ? mxCreateCellArray(nDims, dims)
                      : nDims == 2 && m_id == mxClassDouble
                          ? mxCreateDoubleMatrix(dims[0], dims[1], complexity)
                          : mxCreateNumericArray(nDims, dims, m_id, complexity));
        if (m_logical) R->SetLogical();
        return R.release();
    }

private:
    // Folds one operand's class into the result's: cell over everything,
    // then the leftmost integer class, then char, single, double; logical
    // only when every deciding operand is; complex when any is.
    void Join(mxClassID id, bool logical, bool complex, bool first) {
        m_complex = m_complex || complex;
        if (first) {
            m_id = id;
            m_logical = logical && id == mxClassDouble;
            return;
        }
        m_logical = m_logical && logical && id == mxClassDouble;
        if (m_id == mxClassCell || id == mxClassCell) {
            m_id = mxClassCell;
        } else if (IsInteger(m_id) || IsInteger(id)) {
            if (!IsInteger(m_id)) m_id = id;
        } else if (m_id == mxClassChar || id == mxClassChar) {
            m_id = mxClassChar;
        } else if (m_id == mxClassSingle || id == mxClassSingle) {
            m_id = mxClassSingle;
        }
    }
    static bool IsInteger(mxClassID id) { return id >= mxClassInt8 && id <= mxClassUint64; }
    // Only a join that converts pays for the copied operand list.
    void Keep(unsigned int k, ArrayHolder converted) {
        if (m_copy.empty()) m_copy.assign(m_given, m_given + m_n);
        m_owned.reserve(m_n);
        m_copy[k] = converted.get();
        m_owned.push_back(std::move(converted));
    }

    unsigned int m_n;
    const CMatrix *const *m_given;
    std::vector<const CMatrix *> m_copy;
    std::vector<ArrayHolder> m_owned;
    mxClassID m_id = mxClassDouble;
    bool m_logical = false;
    bool m_complex = false;
};

// The result's storage as the copies write it.
struct Target {
    explicit Target(CMatrix *r)
        : array(r),
          re(static_cast<char *>(ArrayFields::Pr(r))),
          im(static_cast<char *>(ArrayFields::Pi(r))),
          size(r->GetElementSize()),
          cell(ArrayFields::ClassID(r) == mxClassCell) {}

    // Copies `count` elements of `a` (of the result's class) from element
    // `from` to element `at`. A real operand leaves the imaginary part of a
    // complex result zero; cell slots become shared copies.
    void Copy(std::size_t at, const CMatrix *a, std::size_t from, std::size_t count) const {
        if (cell) {
            for (std::size_t i = 0; i < count; ++i) {
                const CMatrix *item = mxGetCell(a, static_cast<unsigned int>(from + i));
                if (item != nullptr)
                    mxSetCell(array, static_cast<int>(at + i), item->CreateShareArray());
            }
            return;
        }
        std::memcpy(re + at * size, static_cast<const char *>(ArrayFields::Pr(a)) + from * size,
                    count * size);
        if (im == nullptr) return;
        // New storage is not cleared: a real operand's zeros are written.
        const void *aim = ArrayFields::Pi(a);
        if (aim == nullptr)
            std::memset(im + at * size, 0, count * size);
        else
            std::memcpy(im + at * size, static_cast<const char *>(aim) + from * size, count * size);
    }

    CMatrix *array;
    char *re;
    char *im;
    std::size_t size;
    bool cell;
};

// Checks the operands in order and returns the result's extent. Operands
// with elements must agree across; empty ones only shape a result that has
// no elements at all, and only those met before the first operand with
// elements count (never a 0x0 one).
Extent ResultExtent(Direction direction, unsigned int n, const CMatrix *const *operands) {
    bool haveElements = false;
    Extent full{0, 0};   // along: sum over operands with elements; across: common length
    Extent empty{0, 0};  // along: sum over counted empty operands; across: their maximum
    for (unsigned int k = 0; k < n; ++k) {
        const CMatrix *a = operands[k];
        if (ArrayFields::NoDimensions(a) > 2) throw CNotImplementedException();
        const Extent e = ExtentOf(a, direction);
        if (ArrayFields::NoElems(a) > 0) {
            if (!haveElements) {
                full.across = e.across;
                haveElements = true;
            } else if (e.across != full.across) {
                ThrowMismatch(direction);
            }
            full.along += e.along;
        } else if (!haveElements && !a->IsEmpty()) {
            empty.along += e.along;
            empty.across = std::max(empty.across, e.across);
        }
    }
    if (haveElements) return full;
    // Only empty operands: they agree when all have zero across (the along
    // lengths add up) or all have zero along (the widest across wins).
    if (empty.across == 0) return Extent{empty.along, 0};
    if (empty.along == 0) return Extent{0, empty.across};
    return Extent{0, 0};
}

CMatrix *Concatenate(Direction direction, unsigned int n, const CMatrix *const *given) {
    // Nothing to join is [], as `[]` and a call with no arguments are.
    if (n == 0) return mxCreateDoubleMatrix(0, 0, mxComplexityReal);
    if (n == 1) return given[0]->CreateShareArray();

    const Prepared prepared(n, given);
    const CMatrix *const *operands = prepared.Operands();
    const Extent extent = ResultExtent(direction, n, operands);
    // A length that does not fit in 32 bits is a shape outside the data
    // model, which the array core reports as exhausted memory.
    if (extent.along > UINT32_MAX) throw kiv::CExhaustedMemoryException();
    const auto along = static_cast<unsigned int>(extent.along);
    const auto across = static_cast<unsigned int>(extent.across);
    const unsigned int m = direction == Direction::kHorizontal ? across : along;
    const unsigned int cols = direction == Direction::kHorizontal ? along : across;
    const unsigned int dims[] = {m, cols};
    ArrayHolder result(prepared.Create(2, dims));
    if (result->GetNoElems() == 0) return result.release();

    const Target target(result.get());
    std::size_t at = 0;
    if (direction == Direction::kHorizontal) {
        // Column-major storage: the operands' data lie one after the other.
        for (unsigned int k = 0; k < n; ++k) {
            const std::size_t count = ArrayFields::NoElems(operands[k]);
            if (count == 0) continue;
            target.Copy(at, operands[k], 0, count);
            at += count;
        }
    } else {
        // Each result column is the matching column of every operand in turn;
        // filling the result column by column keeps the writes sequential.
        for (unsigned int c = 0; c < cols; ++c) {
            for (unsigned int k = 0; k < n; ++k) {
                const CMatrix *a = operands[k];
                if (ArrayFields::NoElems(a) == 0) continue;
                const std::size_t rows = ArrayFields::Dimensions(a)[0];
                target.Copy(at, a, c * rows, rows);
                at += rows;
            }
        }
    }
    return result.release();
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
    return d < ArrayFields::NoDimensions(a) ? ArrayFields::Dimensions(a)[d] : 1;
}

[[noreturn]] void ThrowInconsistent() {
    throw CFunctionErrorException(L"Dimensions of arrays being concatenated are not consistent");
}

// Joins operands of any number of dimensions along the 1-based `dim`:
// operands with elements must agree in every other length; empty ones are
// skipped. Class rules are those of Horzcat and Vertcat.
CMatrix *ConcatenateAlong(unsigned int dim, unsigned int n, const CMatrix *const *given) {
    const Prepared prepared(n, given);
    const CMatrix *const *operands = prepared.Operands();
    const CMatrix *model = nullptr;  // the first operand with elements
    unsigned int nDims = dim < 2 ? 2 : dim;
    std::uint64_t along = 0;
    for (unsigned int k = 0; k < n; ++k) {
        const CMatrix *a = operands[k];
        if (ArrayFields::NoElems(a) == 0) continue;
        if (model == nullptr) model = a;
        if (ArrayFields::NoDimensions(a) > nDims) nDims = ArrayFields::NoDimensions(a);
        along += LengthOf(a, dim - 1);
    }
    if (model == nullptr) return prepared.Create(2, std::array<unsigned int, 2>{0, 0}.data());
    for (unsigned int k = 0; k < n; ++k) {
        const CMatrix *a = operands[k];
        if (ArrayFields::NoElems(a) == 0) continue;
        // Beyond both operands' last dimensions every length is 1.
        const unsigned int common =
            std::max(ArrayFields::NoDimensions(a), model->GetNoDimensions());
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
    ArrayHolder result(prepared.Create(nDims, dims.get()));
    // Each trailing slab of the result is the matching slab of every operand
    // in turn, so the writes stay sequential.
    const Target target(result.get());
    std::size_t at = 0;
    for (std::size_t o = 0; o < after; ++o) {
        for (unsigned int k = 0; k < n; ++k) {
            const CMatrix *a = operands[k];
            if (ArrayFields::NoElems(a) == 0) continue;
            const std::size_t count = before * LengthOf(a, dim - 1);
            target.Copy(at, a, o * count, count);
            at += count;
        }
    }
    return result.release();
}

CMatrix *JoinAlong(unsigned int dim, unsigned int n, const CMatrix *const *operands) {
    if (dim == 0) throw CFunctionErrorException(L"Dimension argument must be a positive integer");
    if (n == 0) return mxCreateDoubleMatrix(0, 0, mxComplexityReal);
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
