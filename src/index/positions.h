// src/index/positions.h: subscripts turned into lists of 1-based positions, and the index check.
#ifndef MATRIX_SRC_INDEX_POSITIONS_H
#define MATRIX_SRC_INDEX_POSITIONS_H

#include <kiv/exception.h>
#include <matrix/cmatrix.h>

#include <cmath>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <vector>

namespace kiv {
namespace matrix {

// Every indexing operation reads its subscripts through the functions here:
// an index array holds positions (class double or uint32), a mask (logical
// flag set) selects the positions of its true elements, and the colon stands
// for all positions. Positions are 1-based. Index arrays and masks of any
// other class throw CNotImplementedException; only real parts are read.
// Allocation failures throw kiv::CExhaustedMemoryException.

/// Returns call(), the standard library's allocation failures (of the
/// vectors that the forms with a list of subscripts keep) reported as
/// kiv::CExhaustedMemoryException, the library's one.
template <typename Call>
auto ReportingMemoryFailures(Call &&call) -> decltype(call()) {
    try {
        return call();
    } catch (const std::bad_alloc &) {
        throw kiv::CExhaustedMemoryException();
    } catch (const std::length_error &) {
        throw kiv::CExhaustedMemoryException();
    }
}

/// Growable list of 1-based positions.
using PositionList = std::vector<std::uint32_t>;

/// True when the positions are p, p + 1, p + 2, ...: a subscript of rows
/// then selects one block of each column.
inline bool IsRun(const PositionList &list) {
    for (std::size_t k = 1; k < list.size(); ++k) {
        if (list[k] != list[0] + k) return false;
    }
    return true;
}

/// True when A has two dimensions, one of them 1, and elements: the arrays
/// whose orientation a linear subscript keeps and that linear assignment
/// lengthens, whatever their class (cells included).
inline bool IsVectorShape(const CMatrix *A) {
    const unsigned int *dims = A->GetDimensions();
    return A->GetNoDimensions() == 2 && (dims[0] == 1 || dims[1] == 1) && A->GetNoElems() > 0;
}

/// Rounds a double index: floor(x + 0.5), so halves round upwards.
inline double RoundIndex(double x) { return std::floor(x + 0.5); }

/// Turns a rounded double index into a position: truncated to a signed
/// 64-bit integer, of which the low 32 bits are kept. Negative values wrap,
/// 2^32 and above wrap modulo 2^32; NaN and magnitudes of 2^63 or more give 0.
inline std::uint32_t RoundedIndexToPosition(double r) {
    if (!(std::fabs(r) < 0x1p63)) return 0;
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(r)));
}

/// The double index rule: RoundedIndexToPosition(RoundIndex(x)).
inline std::uint32_t DoubleIndexToPosition(double x) {
    return RoundedIndexToPosition(RoundIndex(x));
}

/// Returns normally when every element of `index` rounds to a position in
/// 1..limit. Otherwise the first offending element, in storage order,
/// decides: a position of 0 or below (or a NaN index) throws
/// CIndexIntoMatrixNegativeOrZeroException, one above `limit` throws
/// CIndexExceedsMatrixDimensionsException. Classes other than double and
/// uint32 throw CNotImplementedException before any element is read.
void CheckIndices(const CMatrix *index, std::uint32_t limit);

/// Fills `list` with one position per element of `index`, in its order,
/// duplicates kept, unchecked.
void IndexToPositions(const CMatrix *index, PositionList &list);

/// Fills `list` with the ascending positions of the true elements of `mask`
/// (true: not equal to 0, so NaN is true and -0 is false).
void MaskToPositions(const CMatrix *mask, PositionList &list);

/// Fills `list` from a mask (logical flag set) or an index array and returns
/// the largest position, 0 for an empty list. No check.
std::uint32_t SubscriptToPositions(const CMatrix *subscript, PositionList &list);

/// Fills `list` like SubscriptToPositions for an assignment, whose positions
/// may lie beyond the target (it grows), and returns the largest position,
/// 0 for an empty list. Each index is checked as it is converted, the first
/// offender in storage order deciding: one that rounds to 0 or below, or a
/// NaN, throws CIndexIntoMatrixNegativeOrZeroException; one that rounds to
/// 2^32 or more throws kiv::CExhaustedMemoryException, since no array can
/// grow that far and wrapping would address the wrong element. A mask
/// (logical flag set) cannot offend. Throws before the caller has changed
/// anything; the list is then to be discarded.
std::uint32_t SubscriptToAssignPositions(const CMatrix *subscript, PositionList &list);

/// For an assignment through a double index array (no logical flag):
/// checks every element as SubscriptToAssignPositions does, throwing the
/// same exception for the same first offender, and returns the largest
/// position, 0 when there is none, without building a list.
std::uint32_t CheckAssignIndex(const CMatrix *index);

/// Fills `list` with the positions of `index` in ascending order without
/// duplicates. No check.
void IndexToSortedPositions(const CMatrix *index, PositionList &list);

/// Sets `last` to the position of the last true element of a double mask
/// and `count` to the number of true elements (both 0 when there is none).
/// Other classes throw CNotImplementedException.
void CountMask(const CMatrix *mask, std::uint32_t &last, std::uint32_t &count);

/// Fills `list` with 1, 2, ..., n.
void ColonPositions(std::uint32_t n, PositionList &list);

/// The path of A(S1, ..., Sn) that names one element: when every subscript
/// is a double index array (no logical flag) of one element that rounds to a
/// position within its extent of A, addressed as n dimensions (those from
/// the n-th on folded into the last, missing ones of length 1), sets
/// `offset` to the element's zero-based linear offset and returns true.
/// Otherwise returns false without throwing, and the general path decides.
bool SingleElementOffset(const CMatrix *A, const std::vector<const CMatrix *> &S,
                         std::size_t &offset);

/// Fills `columns` with the 1-based columns of an array seen as
/// extents[0] x (extents[1] * ... * extents[n-1]) that the position lists
/// positions[1..n) select (positions[0], the rows, is not read), the second
/// list varying fastest: the column order of A(S1,...,Sn). Every position
/// must lie within its extent, and the columns must fit in 32 bits.
void FoldedColumns(const std::vector<PositionList> &positions,
                   const std::vector<unsigned int> &extents, PositionList &columns);

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_INDEX_POSITIONS_H
