// src/mtrx/subscripts.h: a program's subscripts, evaluated, and the reads,
// stores and deletions they select in arrays, cells and struct arrays of
// any number of dimensions.
#ifndef MTRX_SUBSCRIPTS_H
#define MTRX_SUBSCRIPTS_H

#include "value.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mtrx {

/// The subscripts of one A(...): each the colon, a mask or an index array
/// whose values CheckSubscript has taken.
using SubscriptList = std::vector<Array>;

/// Where the subscripts of one index come from: a node of the syntax tree,
/// or the values of a compiled program. They are evaluated only when taken,
/// `end` in them standing for the extents of the array given.
class SubscriptSource {
public:
    virtual ~SubscriptSource() = default;
    /// How many subscripts are written (a c{:} among them counts as one).
    virtual std::size_t Count() const = 0;
    /// The subscripts, each checked by CheckSubscript, `end` meaning `a`'s.
    virtual SubscriptList Take(const Array &a) = 0;
    /// The subscripts as the arguments of a call (a handle indexed), a bare
    /// colon given as the text ':'.
    virtual std::vector<Value> Arguments() = 0;
};

/// The steps of an assignment target after its variable, as A(I).name{J}
/// writes them: the evaluator's Target, or a compiled program's.
class PathSource {
public:
    virtual ~PathSource() = default;
    virtual std::size_t Size() const = 0;
    virtual Accessor::Kind Kind(std::size_t k) const = 0;
    /// The subscripts of step k (a Paren or a Brace), `end` meaning `a`'s.
    virtual SubscriptList Take(std::size_t k, const Array &a) = 0;
    /// The field name of step k (a Field), evaluated when dynamic.
    virtual std::string Field(std::size_t k) = 0;
};

/// True for a whole number from 1 up: the values a numeric subscript may
/// hold. Every finite double from 2^52 up is whole; NaN fails every test.
inline bool IsIndexValue(double x) {
    if (x >= 1.0 && x < 0x1p52) return static_cast<double>(static_cast<std::int64_t>(x)) == x;
    return x >= 0x1p52 && x <= 0x1.fffffffffffffp1023;
}

/// True for a real, non-logical double array: the arrays whose elements
/// the element paths read and write in place.
inline bool PlainDouble(const Value &v) {
    if (v.tag() != Tag::Array) return false;
    const kiv::matrix::CMatrix *m = v.array().get();
    return m->IsDouble() && !m->IsComplex() && !m->IsLogical();
}

/// The element path of the interpreter and of compiled code alike: the
/// 0-based position in `a` of the element that `n` (one or two) subscripts
/// select, each already an IsIndexValue, the second running over the
/// trailing dimensions together; false when it lies outside the array (the
/// caller then indexes the general way, for the result or the message).
inline bool ElementAt(const Array &a, const double *index, std::size_t n, std::size_t &position) {
    const double numel = a.Numel();
    if (n == 1) {
        if (index[0] > numel) return false;
        position = static_cast<std::size_t>(index[0]) - 1;
        return true;
    }
    const double rows = a.Rows();
    if (n != 2 || index[0] > rows || index[1] > numel / rows) return false;
    position = static_cast<std::size_t>(index[1] - 1) * static_cast<std::size_t>(rows) +
               static_cast<std::size_t>(index[0]) - 1;
    return true;
}

/// The colon subscript.
Array ColonSubscript();
/// Refuses a subscript that is neither a mask nor whole numbers from 1 up
/// (mtrx::Error "Subscript indices must either be real positive integers or
/// logicals."). The library rounds index values for its C++ callers; a
/// program's subscripts must be exact, so 1.5, 0, -1, NaN and Inf are all
/// refused here, before any library call sees them.
void CheckSubscript(const Value &index);

/// A(S1, ..., Sn), a new array.
Array IndexRead(const Array &a, const SubscriptList &subs);
/// A(S1, ..., Sn) = b, growing `a` as needed. After a throw `a` may have
/// been grown (the library's contract): callers write into a copy.
void IndexWrite(Array &a, const SubscriptList &subs, const Array &b);
/// A(S1, ..., Sn) = []. After a throw `a` is unchanged.
void IndexErase(Array &a, const SubscriptList &subs);

/// An array of `dims` holding first, first + 1, ...: indexing it through the
/// library selects the positions the library would select of any array of
/// those dimensions, with its checks and messages, for cells and structs.
Array Positions(const Dims &dims, double first = 1.0);
/// The lengths of the selection `subs` names in `a`, also beyond its
/// extents: per subscript, the extent for a colon, the true elements of a
/// mask, else the element count (one subscript gives a row).
Dims Named(const Array &a, const SubscriptList &subs);
/// Reads `subs` of an array of `dims`: the dimensions of the result and the
/// positions (0-based) it takes.
Dims Select(const Dims &dims, const SubscriptList &subs, std::vector<std::size_t> &taken);
/// Writes `subs` of an array of `dims` (n elements) from a source of
/// `source` dimensions (m elements), or deletes them (source null): the
/// dimensions of the result, and for each of its elements the position it
/// takes, 1..n from the old array, n+1..n+m from the source, 0 for a new
/// empty slot.
Dims Store(const Dims &dims, const SubscriptList &subs, const Dims *source,
           std::vector<std::size_t> &from);
/// The cell `c` with `subs` set from `rhs` (deleted when rhs is null).
CellArray StoreCells(const CellArray &c, const SubscriptList &subs, const CellArray *rhs);
/// The struct array `s` with `subs` set from `rhs` (deleted when rhs is
/// null), whose fields must be s's, in any order.
StructArray StoreStructs(const StructArray &s, const SubscriptList &subs, const StructArray *rhs);

/// The struct array `s` grown to `dims` (each at least s's extent): every
/// element keeps its subscripts, the new ones have every field empty.
StructArray GrowStructs(const StructArray &s, const Dims &dims);

}  // namespace mtrx

#endif  // MTRX_SUBSCRIPTS_H
