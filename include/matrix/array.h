// include/matrix/array.h: Array, an owning value type with operators, indexing and display.
#ifndef MATRIX_ARRAY_H
#define MATRIX_ARRAY_H

#include <matrix/cmatrix.h>
#include <matrix/concat.h>
#include <matrix/construct.h>
#include <matrix/elementwise.h>
#include <matrix/exceptions.h>
#include <matrix/export.h>
#include <matrix/index.h>
#include <matrix/linalg.h>
#include <matrix/mx.h>
#include <matrix/reduce.h>
#include <matrix/shape.h>

#include <climits>
#include <cstddef>
#include <initializer_list>
#include <iosfwd>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace kiv {
namespace matrix {

class Array;
class IndexRef;
class ElementRef;
class Subscript;

/// The value of Empty(): a 0 x 0 array, and in an indexed assignment
/// (`A(I) = Empty()`) the deletion of the elements selected.
struct EmptyArray {};

/// Returns the empty array, as the language's `[]`.
inline EmptyArray Empty() { return {}; }

/// The colon of a subscript: `A(All, 2)` is the second column. All is the
/// name of the reductions too; a subscript takes it through this overload,
/// which only ever stands for the colon.
struct ColonSubscript {};
/// Marks the colon; never called by the library, only named.
inline ColonSubscript All(ColonSubscript c) { return c; }

/// The last position along the subscripted dimension plus an offset, as
/// the language's `end` in a subscript: `End()`, `End() - 1`, `End() + 1`.
struct EndPosition {
    long long offset = 0;
};
/// Returns the placeholder for the last position; a bare `End` in a
/// subscript means the same.
inline EndPosition End() { return {}; }
inline EndPosition operator+(EndPosition e, long long k) { return {e.offset + k}; }
inline EndPosition operator+(long long k, EndPosition e) { return {e.offset + k}; }
inline EndPosition operator-(EndPosition e, long long k) { return {e.offset - k}; }

/// One bound of a Range: a number, or a position counted from End.
struct RangeBound {
    RangeBound(double v) : value(v) {}
    RangeBound(EndPosition e) : fromEnd(true), value(static_cast<double>(e.offset)) {}
    /// A bare End: `Range(2, End)`.
    RangeBound(EndPosition (*)()) : fromEnd(true) {}
    bool fromEnd = false;
    double value = 0.0;
};

/// The range first:step:last, as Colon builds it. In a subscript its
/// bounds may be counted from End; elsewhere it converts to the row that
/// Colon gives.
struct RangeSpec {
    RangeBound first;
    RangeBound step;
    RangeBound last;
    /// Returns Colon(first, step, last). Throws CFunctionErrorException "End
    /// is only valid in a subscript" when a bound is counted from End, and
    /// the exceptions of Colon.
    MATRIX_API operator Array() const;
};

/// Returns the range first:last (step 1).
inline RangeSpec Range(RangeBound first, RangeBound last) { return {first, 1.0, last}; }
/// Returns the range first:step:last.
inline RangeSpec Range(RangeBound first, RangeBound step, RangeBound last) {
    return {first, step, last};
}

/// A mutable view of the real elements of a double array, column-major.
struct DoubleSpan {
    double *data;
    std::size_t size;
    double *begin() const { return data; }
    double *end() const { return data + size; }
    double &operator[](std::size_t k) const { return data[k]; }
};

/// An array held by value: it owns one CMatrix and releases it when it dies.
///
/// Copying an Array shares the data buffers (no element is copied until one
/// of the sharers is written: copy on write); moving transfers the array;
/// the destructor releases it. So a program written with Array never calls
/// mxDestroyArray, and an expression that throws half way releases every
/// temporary it made. Raw pointers enter only through Adopt (a new array
/// returned by a library function) and Share (a borrowed one, such as
/// mxGetCell's result, which the Array never releases); get() and release()
/// hand the raw pointer to code that uses the function-call interface.
///
/// A moved-from Array may only be assigned to or destroyed. Arrays that
/// share data must be used from one thread at a time, as CMatrix.
class MATRIX_API Array {
public:
    /// Creates a 0 x 0 real double array. Throws kiv::CExhaustedMemoryException.
    Array();
    /// Creates the 1 x 1 real double array x. Throws
    /// kiv::CExhaustedMemoryException.
    Array(double x);
    /// Creates the 1 x 1 real double array of an integer (any integer type,
    /// so that `Array n = v.size();` is not ambiguous).
    template <typename I, typename = std::enable_if_t<std::is_integral_v<I>>>
    Array(I x) : Array(static_cast<double>(x)) {}
    /// Creates the empty array: 0 x 0 real double.
    Array(EmptyArray) : Array() {}
    /// Creates a 1 x n real double row from a flat list. Throws
    /// kiv::CExhaustedMemoryException. A template only so that a list of
    /// one-element lists (`{{1}, {2}, {3}}`) prefers the nested form below
    /// and makes a column, as the language's [1; 2; 3].
    template <typename = void>
    Array(std::initializer_list<double> row) : Array(row.begin(), row.size(), RowTag{}) {}
    /// Creates a real double matrix from nested lists, one list per row
    /// (`{{4, 2}, {2, 3}}`). Throws CAllRowsMustHaveSameColumns when the rows
    /// differ in length, kiv::CExhaustedMemoryException.
    Array(std::initializer_list<std::initializer_list<double>> rows);
    /// Creates an n x 1 real double column holding `column`. Throws
    /// kiv::CExhaustedMemoryException.
    explicit Array(const std::vector<double> &column);
    /// Creates an m x n real double array from `values` in column-major
    /// order. Throws CFunctionErrorException "The number of values does not
    /// match the size" when values.size() is not m*n,
    /// kiv::CExhaustedMemoryException.
    Array(unsigned int m, unsigned int n, const std::vector<double> &values);
    /// Creates an m x n real double array from m*n values at `values` in
    /// column-major order (null only when m*n is 0). Throws
    /// kiv::CExhaustedMemoryException.
    Array(unsigned int m, unsigned int n, const double *values);
    /// Creates a 1 x n char array of the bytes of `text`, as mxCreateString
    /// does (CharFromUtf8 decodes UTF-8). Throws
    /// kiv::CExhaustedMemoryException.
    explicit Array(const char *text);
    explicit Array(const std::string &text) : Array(text.c_str()) {}

    Array(const Array &other) : m_a(other.m_a ? other.m_a->CreateShareArray() : nullptr) {}
    Array(Array &&other) noexcept : m_a(other.m_a) { other.m_a = nullptr; }
    Array &operator=(const Array &other) {
        Array copy(other);
        std::swap(m_a, copy.m_a);
        return *this;
    }
    Array &operator=(Array &&other) noexcept {
        std::swap(m_a, other.m_a);
        return *this;
    }
    ~Array() {
        if (m_a) mxDestroyArray(m_a);
    }

    /// Takes ownership of `owned`, a new array from a library function.
    /// Throws CFunctionErrorException "Null array" when it is null (nothing
    /// is taken).
    static Array Adopt(CMatrix *owned) {
        if (!owned) ThrowNullArray();
        return Array(owned, AdoptTag{});
    }
    /// Returns an Array sharing the data of `borrowed`, which stays owned by
    /// whoever owns it (an mxGetCell result: the cell). Writing the Array
    /// unshares first, so `borrowed` never changes. Throws
    /// CFunctionErrorException "Null array", kiv::CExhaustedMemoryException.
    static Array Share(const CMatrix *borrowed) {
        if (!borrowed) ThrowNullArray();
        return Array(borrowed->CreateShareArray(), AdoptTag{});
    }

    /// Returns the array, still owned by this Array (null after a move).
    const CMatrix *get() const noexcept { return m_a; }
    /// Returns the array for functions that change it in place
    /// (Indexassign, Initialize); write its data only after GetOwnCopy.
    CMatrix *get() noexcept { return m_a; }
    /// Gives up the array: the caller owns the result and releases it with
    /// mxDestroyArray. The Array is left moved-from.
    CMatrix *release() noexcept {
        CMatrix *a = m_a;
        m_a = nullptr;
        return a;
    }

    // Constructors of filled arrays, as the functions of the same name (one
    // length n gives n x n); all real double.
    static Array Zeros(unsigned int n) { return Adopt(matrix::Zeros(n)); }
    static Array Ones(unsigned int n) { return Adopt(matrix::Ones(n)); }
    static Array Rand(unsigned int n) { return Adopt(matrix::Rand(n)); }
    static Array Randn(unsigned int n) { return Adopt(matrix::Randn(n)); }
    static Array Zeros(unsigned int m, unsigned int n) { return Adopt(matrix::Zeros(m, n)); }
    static Array Ones(unsigned int m, unsigned int n) { return Adopt(matrix::Ones(m, n)); }
    static Array Eye(unsigned int n) { return Adopt(matrix::Eye(n)); }
    static Array Eye(unsigned int m, unsigned int n) { return Adopt(matrix::Eye(m, n)); }
    static Array Rand(unsigned int m, unsigned int n) { return Adopt(matrix::Rand(m, n)); }
    static Array Randn(unsigned int m, unsigned int n) { return Adopt(matrix::Randn(m, n)); }
    static Array Linspace(double a, double b) { return Adopt(matrix::Linspace(a, b)); }
    static Array Linspace(double a, double b, unsigned int n) {
        return Adopt(matrix::Linspace(a, b, n));
    }
    static Array Zeros(std::initializer_list<unsigned int> dims) {
        return Adopt(matrix::Zeros(static_cast<unsigned int>(dims.size()), dims.begin()));
    }
    static Array Ones(std::initializer_list<unsigned int> dims) {
        return Adopt(matrix::Ones(static_cast<unsigned int>(dims.size()), dims.begin()));
    }
    static Array Rand(std::initializer_list<unsigned int> dims) {
        return Adopt(matrix::Rand(static_cast<unsigned int>(dims.size()), dims.begin()));
    }
    static Array Randn(std::initializer_list<unsigned int> dims) {
        return Adopt(matrix::Randn(static_cast<unsigned int>(dims.size()), dims.begin()));
    }

    // Shape. Lengths beyond the last dimension are 1.
    unsigned int NDims() const { return m_a->GetNoDimensions(); }
    std::vector<unsigned int> Dims() const;
    unsigned int Rows() const { return m_a->GetDimensions()[0]; }
    unsigned int Cols() const { return m_a->GetDimensions()[1]; }
    /// Returns the length along dimension `dim` (1-based); 1 beyond the
    /// last dimension. Throws CIndexIntoMatrixNegativeOrZeroException for 0.
    unsigned int Size(unsigned int dim) const;
    unsigned int Numel() const { return m_a->GetNoElems(); }
    /// True when some length is 0.
    bool IsEmpty() const { return m_a->GetNoElems() == 0; }
    mxClassID ClassID() const { return m_a->GetClassID(); }
    bool IsLogical() const { return m_a->IsLogical(); }

    /// Returns the only element of a one-element array as a double. Throws
    /// CFunctionErrorException "The array is not a scalar" for any other
    /// element count, and the exceptions of mxGetScalar.
    double Scalar() const;
    /// Returns the real elements of a double array in column-major order.
    /// Throws CNotImplementedException for other classes,
    /// kiv::CExhaustedMemoryException.
    std::vector<double> ToVector() const;
    /// Returns the real elements of a double array for reading, without
    /// unsharing: valid until the Array is next changed. Throws
    /// CNotImplementedException for other classes.
    const double *Data() const {
        if (!m_a->IsDouble()) ThrowNotImplemented();
        return static_cast<const double *>(m_a->GetPr());
    }
    /// Unshares the data, then returns the real elements of a double array
    /// for writing: a write never reaches another Array. Valid until the
    /// Array is next changed or copied. Throws CNotImplementedException for
    /// other classes, kiv::CExhaustedMemoryException.
    DoubleSpan MutableData();

    /// Returns element i (1-based, column-major) of a real double array: a
    /// bounds-checked load. Throws CIndexIntoMatrixNegativeOrZeroException
    /// (i < 1), CIndexExceedsMatrixDimensionsException (i > Numel()),
    /// CNotImplementedException (not double, or complex).
    double At(long long i) const {
        const unsigned int n = CheckedDouble();
        if (i < 1) ThrowNonPositive();
        if (static_cast<unsigned long long>(i) > n) ThrowExceeds();
        return static_cast<const double *>(m_a->m_pr)[i - 1];
    }
    /// Returns element (i, j) (1-based; j runs over the trailing dimensions
    /// together) of a real double array: a bounds-checked load. Throws as
    /// At(i).
    double At(long long i, long long j) const {
        const unsigned int n = CheckedDouble();
        if (i < 1 || j < 1) ThrowNonPositive();
        // With i inside the first length, the position is inside the array
        // exactly when j is inside the folded trailing length: no division.
        const unsigned long long m = m_a->m_pDims[0];
        const unsigned long long k = static_cast<unsigned long long>(j - 1) * m + (i - 1);
        if (static_cast<unsigned long long>(i) > m || static_cast<unsigned long long>(j) > n ||
            k >= n)
            ThrowExceeds();
        return static_cast<const double *>(m_a->m_pr)[k];
    }
    /// Stores x at element i (1-based), as `A(i) = x`: in place when i is
    /// inside a real, non-logical double array (after unsharing), otherwise
    /// through Indexassign, which grows the array. Throws as Indexassign.
    void SetAt(long long i, double x);
    /// Stores x at element (i, j), as `A(i, j) = x`. Throws as Indexassign.
    void SetAt(long long i, long long j, double x);

    /// Element access with numeric subscripts (integers, or doubles holding
    /// whole numbers such as the positions Max and Find return; any other
    /// double is refused with CFunctionErrorException "Subscript indices
    /// must either be real positive integers or logicals.").
    ///
    /// The rule: only a non-const lvalue Array hands out an ElementRef, the
    /// one place an assignment is possible (`A(2, 3) = x`, `A(k) += 1`); a
    /// const Array and a temporary give a plain double, a bounds-checked
    /// load (At). An ElementRef is read only as the temporary it is: it
    /// converts to double and to Array (`Array d = A(2, 3)`) and takes part
    /// in arithmetic and comparisons, but it cannot be copied, and a named
    /// one (`auto x = A(6)`) cannot be read or written, so no variable can
    /// go on seeing later writes to A. Its destructor is user-provided, so
    /// passing it through `...` (printf) is an error with clang; GCC warns
    /// for printf-style formats (-Wformat) and, with
    /// -Wconditionally-supported, for any variadic call. Write
    /// `double(A(k))` or `A.At(k)` where a double is needed.
    template <typename I, typename = std::enable_if_t<std::is_arithmetic_v<I>>>
    ElementRef operator()(I i) &;
    template <typename I, typename J,
              typename = std::enable_if_t<std::is_arithmetic_v<I> && std::is_arithmetic_v<J>>>
    ElementRef operator()(I i, J j) &;
    template <typename I, typename = std::enable_if_t<std::is_arithmetic_v<I>>>
    double operator()(I i) const & {
        return At(Position(i));
    }
    template <typename I, typename J,
              typename = std::enable_if_t<std::is_arithmetic_v<I> && std::is_arithmetic_v<J>>>
    double operator()(I i, J j) const & {
        return At(Position(i), Position(j));
    }
    template <typename I, typename = std::enable_if_t<std::is_arithmetic_v<I>>>
    double operator()(I i) && {
        return At(Position(i));
    }
    template <typename I, typename J,
              typename = std::enable_if_t<std::is_arithmetic_v<I> && std::is_arithmetic_v<J>>>
    double operator()(I i, J j) && {
        return At(Position(i), Position(j));
    }
    /// Indexes with any subscripts (positions, All, End, masks, index
    /// arrays, ranges, `{1, 2}` lists): on a non-const lvalue the result is
    /// an IndexRef, which converts to Array (Indexref) and can be assigned
    /// (Indexassign, with growth and scalar expansion), updated (`A(I) += B`)
    /// or given Empty() (deletion). Like ElementRef it is used only as the
    /// temporary it is. A const Array and a temporary give the Array A(I).
    /// Numeric subscripts must hold whole numbers, as above.
    IndexRef operator()(const Subscript &i) &;
    IndexRef operator()(const Subscript &i, const Subscript &j) &;
    Array operator()(const Subscript &i) const &;
    Array operator()(const Subscript &i, const Subscript &j) const &;
    Array operator()(const Subscript &i) &&;
    Array operator()(const Subscript &i, const Subscript &j) &&;
    /// Indexes with three to six subscripts, as the language's A(i, j, k, ...)
    /// (the list forms of Indexref, Indexassign and Indexdelete take any
    /// number): dimensions of A beyond the last subscript are folded into
    /// it, missing ones have length 1, and End in position k of n stands for
    /// End(A, k, n). The result is as for one or two subscripts: an IndexRef
    /// on a non-const lvalue (read, assigned with growth in any dimension,
    /// updated, or given Empty() to delete along the one subscript that does
    /// not cover its dimension), an Array otherwise. Numbers give an IndexRef
    /// too, so `A(1, 2, 3) = x` assigns and `Array v = A(1, 2, 3)` reads.
    /// Throws as those functions do.
    IndexRef operator()(const Subscript &i, const Subscript &j, const Subscript &k) &;
    IndexRef operator()(const Subscript &i, const Subscript &j, const Subscript &k,
                        const Subscript &l) &;
    IndexRef operator()(const Subscript &i, const Subscript &j, const Subscript &k,
                        const Subscript &l, const Subscript &m) &;
    IndexRef operator()(const Subscript &i, const Subscript &j, const Subscript &k,
                        const Subscript &l, const Subscript &m, const Subscript &n) &;
    Array operator()(const Subscript &i, const Subscript &j, const Subscript &k) const &;
    Array operator()(const Subscript &i, const Subscript &j, const Subscript &k,
                     const Subscript &l) const &;
    Array operator()(const Subscript &i, const Subscript &j, const Subscript &k, const Subscript &l,
                     const Subscript &m) const &;
    Array operator()(const Subscript &i, const Subscript &j, const Subscript &k, const Subscript &l,
                     const Subscript &m, const Subscript &n) const &;
    Array operator()(const Subscript &i, const Subscript &j, const Subscript &k) &&;
    Array operator()(const Subscript &i, const Subscript &j, const Subscript &k,
                     const Subscript &l) &&;
    Array operator()(const Subscript &i, const Subscript &j, const Subscript &k, const Subscript &l,
                     const Subscript &m) &&;
    Array operator()(const Subscript &i, const Subscript &j, const Subscript &k, const Subscript &l,
                     const Subscript &m, const Subscript &n) &&;

    /// Returns the text the language shows for `name = value`; an empty name
    /// gives the value alone, as disp. UTF-8.
    std::string ToString(const std::string &name = std::string()) const;
    /// Writes the value alone to standard output, as disp.
    void Disp() const;

    /// Returns the 1-based position a numeric subscript stands for: an
    /// integer as it is, a double only when it is a whole number (one
    /// beyond the range of long long saturates, so that the bounds checks
    /// refuse it). Throws CFunctionErrorException "Subscript indices must
    /// either be real positive integers or logicals." for any other double.
    template <typename I>
    static long long Position(I i) {
        if constexpr (std::is_floating_point_v<I>)
            return WholePosition(static_cast<double>(i));
        else if constexpr (std::is_unsigned_v<I>)
            return i > static_cast<unsigned long long>(LLONG_MAX) ? LLONG_MAX
                                                                  : static_cast<long long>(i);
        else
            return static_cast<long long>(i);
    }
    static long long WholePosition(double x);

private:
    struct AdoptTag {};
    struct RowTag {};
    Array(CMatrix *owned, AdoptTag) noexcept : m_a(owned) {}
    Array(const double *row, std::size_t n, RowTag);
    // An Array holding nothing yet, for temporaries filled on demand.
    static Array Unset() noexcept { return Array(nullptr, AdoptTag{}); }

    friend class IndexRef;
    friend class Subscript;

    // Returns the element count after checking for a real double array.
    unsigned int CheckedDouble() const {
        if (m_a->m_classID != mxClassDouble || m_a->m_pi != nullptr) ThrowNotImplemented();
        return m_a->m_nElems;
    }
    [[noreturn]] static void ThrowNullArray();
    [[noreturn]] static void ThrowNotImplemented();
    [[noreturn]] static void ThrowNonPositive();
    [[noreturn]] static void ThrowExceeds();

    CMatrix *m_a;
};

/// Writes the text of ToString("") to `out`.
MATRIX_API std::ostream &operator<<(std::ostream &out, const Array &a);

/// How strictly CheckSubscript reads the values of a numeric subscript.
enum class SubscriptValues {
    /// Whole numbers (of a double or single index); the indexing functions
    /// then refuse positions below 1 or beyond the array themselves. The
    /// Array face reads its subscripts so.
    kWhole,
    /// Whole numbers from 1 up, finite, with no nonzero imaginary part: what
    /// a program's subscript must hold, refused before any indexing function
    /// sees it (they would round or report a position of 0 otherwise).
    kPositiveWhole
};

/// Refuses a subscript whose values `rule` does not take, with
/// CFunctionErrorException "Subscript indices must either be real positive
/// integers or logicals.". Logical masks, the colon and integer classes pass
/// as they are; only double and single values are read.
MATRIX_API void CheckSubscript(const CMatrix *index, SubscriptValues rule);

/// One subscript: a position (a whole number), All, an End position, a
/// Range, a list of positions (`{1, 2}`), or an array (a mask when logical,
/// else an index array of whole numbers).
class MATRIX_API Subscript {
public:
    template <typename T, typename = std::enable_if_t<std::is_arithmetic_v<T>>>
    Subscript(T position) : m_kind(Kind::Position), m_value(static_cast<double>(position)) {}
    Subscript(ColonSubscript (*)(ColonSubscript)) : m_kind(Kind::Colon) {}
    Subscript(EndPosition (*)()) : m_kind(Kind::End) {}
    Subscript(EndPosition e) : m_kind(Kind::End), m_value(static_cast<double>(e.offset)) {}
    Subscript(const RangeSpec &r) : m_kind(Kind::Range), m_range(r) {}
    Subscript(const Array &index) : m_kind(Kind::Array), m_array(index) {}
    Subscript(Array &&index) : m_kind(Kind::Array), m_array(std::move(index)) {}
    /// The positions of a list, as the row [p1 p2 ...]: `A({1, 3}, All)`.
    Subscript(std::initializer_list<double> positions) : m_kind(Kind::Array), m_array(positions) {}
    Subscript(IndexRef &&index);
    Subscript(ElementRef &&index);

    /// Returns the index array for subscript k of n of `a`: the held array
    /// itself, or a new one made in `holder`. Throws CFunctionErrorException
    /// "Subscript indices must either be real positive integers or
    /// logicals." when a numeric index that is not logical holds a value
    /// that is not a whole number.
    const CMatrix *Resolve(const CMatrix *a, unsigned int k, unsigned int n, Array &holder) const;

private:
    enum class Kind { Position, Colon, End, Range, Array };
    Kind m_kind;
    double m_value = 0.0;
    RangeSpec m_range{0.0, 0.0, 0.0};
    Array m_array = Array::Unset();
};

namespace detail {
// The value an operand of an element operation stands for: an ElementRef is
// its double, anything else itself.
inline double Operand(ElementRef &&e);
template <typename T>
T &&Operand(T &&x) {
    return std::forward<T>(x);
}
template <typename T>
constexpr bool kIsElementRef =
    std::is_same_v<std::remove_cv_t<std::remove_reference_t<T>>, ElementRef>;
}  // namespace detail

/// The result of indexing a non-const lvalue Array with general subscripts;
/// see Array::operator(). Only ever a temporary: its reads and writes are
/// for rvalues, and it cannot be copied.
class MATRIX_API IndexRef {
public:
    IndexRef(const IndexRef &) = delete;
    IndexRef(IndexRef &&) = delete;
    ~IndexRef() {}

    /// Returns A(I) or A(I, J): a new Array. Throws as Indexref.
    operator Array() const &&;
    operator Array() const & = delete;
    /// A(I) = B, A(I, J) = B: grows A as needed; a one-element B is
    /// expanded. Throws as Indexassign; A may have been grown or unshared.
    IndexRef &&operator=(const Array &b) &&;
    IndexRef &&operator=(double b) && { return std::move(*this) = Array(b); }
    IndexRef &&operator=(IndexRef &&b) && {
        return std::move(*this) = static_cast<Array>(std::move(b));
    }
    IndexRef &&operator=(ElementRef &&b) &&;
    /// A(I) = [], A(I, J) = []: deletes the elements, rows or columns.
    /// Throws as Indexdelete.
    IndexRef &&operator=(EmptyArray) &&;
    /// A(I) += B and the like are A(I) = A(I) + B with the operators' meaning
    /// (`*=` is the matrix product, `/=` Mrdivide). Throw as the read, the
    /// operation and the assignment; A is unchanged unless the assignment
    /// fails part way.
    template <typename T>
    IndexRef &&operator+=(T &&b) &&;
    template <typename T>
    IndexRef &&operator-=(T &&b) &&;
    template <typename T>
    IndexRef &&operator*=(T &&b) &&;
    template <typename T>
    IndexRef &&operator/=(T &&b) &&;

private:
    friend class Array;
    friend class ElementRef;
    IndexRef(Array &target, const Subscript &i) : m_target(target), m_n(1), m_i(i), m_j(0.0) {}
    IndexRef(Array &target, const Subscript &i, const Subscript &j)
        : m_target(target), m_n(2), m_i(i), m_j(j) {}
    // Three or more subscripts: i, j, then the others in order.
    IndexRef(Array &target, const Subscript &i, const Subscript &j, std::vector<Subscript> more)
        : m_target(target),
          m_n(static_cast<int>(2 + more.size())),
          m_i(i),
          m_j(j),
          m_more(std::move(more)) {}
    Array Read() const;
    // Resolves the subscripts against the target into `holders`, for the
    // list forms of Indexref, Indexassign and Indexdelete.
    std::vector<const CMatrix *> ResolveAll(std::vector<Array> &holders) const;

    Array &m_target;
    int m_n;
    Subscript m_i;
    Subscript m_j;
    std::vector<Subscript> m_more;  // subscripts 3, 4, ...
};

/// The result of indexing a non-const lvalue Array with numeric subscripts;
/// see Array::operator() for the rule. Only ever a temporary.
class ElementRef {
public:
    ElementRef(const ElementRef &) = delete;
    ElementRef(ElementRef &&) = delete;
    // User-provided, so that the type is not trivially copyable and clang
    // refuses to pass it through `...`.
    ~ElementRef() {}

    /// The element as a double: a bounds-checked load of a real double
    /// array (At). A named ElementRef has no conversions.
    operator double() && { return m_j ? m_target.At(m_i, m_j) : m_target.At(m_i); }
    operator double() & = delete;
    operator double() const & = delete;
    /// The element as an array of the target's class: A(i) or A(i, j).
    operator Array() && { return Read(); }
    operator Array() & = delete;
    operator Array() const & = delete;

    ElementRef &&operator=(double x) && {
        if (m_j)
            m_target.SetAt(m_i, m_j, x);
        else
            m_target.SetAt(m_i, x);
        return std::move(*this);
    }
    ElementRef &&operator=(ElementRef &&x) && {
        return std::move(*this) = static_cast<double>(std::move(x));
    }
    ElementRef &&operator=(const Array &b) && {
        Ref() = b;
        return std::move(*this);
    }
    ElementRef &&operator=(EmptyArray e) && {
        Ref() = e;
        return std::move(*this);
    }
    /// A(i) += x and the like: A(i) = A(i) + x with the operators' meaning.
    /// A double operand on a real double array works on the element in
    /// place; anything else goes through Array.
    template <typename T>
    ElementRef &&operator+=(T &&b) && {
        return std::move(*this).Update(detail::Operand(std::forward<T>(b)),
                                       [](const auto &x, const auto &y) { return x + y; });
    }
    template <typename T>
    ElementRef &&operator-=(T &&b) && {
        return std::move(*this).Update(detail::Operand(std::forward<T>(b)),
                                       [](const auto &x, const auto &y) { return x - y; });
    }
    template <typename T>
    ElementRef &&operator*=(T &&b) && {
        return std::move(*this).Update(detail::Operand(std::forward<T>(b)),
                                       [](const auto &x, const auto &y) { return x * y; });
    }
    template <typename T>
    ElementRef &&operator/=(T &&b) && {
        return std::move(*this).Update(detail::Operand(std::forward<T>(b)),
                                       [](const auto &x, const auto &y) { return x / y; });
    }

private:
    friend class Array;
    ElementRef(Array &target, long long i, long long j) : m_target(target), m_i(i), m_j(j) {}
    IndexRef Ref() const { return m_j ? IndexRef(m_target, m_i, m_j) : IndexRef(m_target, m_i); }
    Array Read() const { return Ref().Read(); }
    bool PlainDouble() const {
        const CMatrix *a = m_target.get();
        return a->GetClassID() == mxClassDouble && !a->IsComplex() && !a->IsLogical();
    }
    template <typename Op>
    ElementRef &&Update(double b, Op op) && {
        if (PlainDouble()) return std::move(*this) = op(static_cast<double>(std::move(*this)), b);
        return std::move(*this) = static_cast<const Array &>(op(Read(), b));
    }
    template <typename Op>
    ElementRef &&Update(const Array &b, Op op) && {
        return std::move(*this) = static_cast<const Array &>(op(Read(), b));
    }

    Array &m_target;
    long long m_i;
    long long m_j;  // 0 for a linear subscript
};

namespace detail {
inline double Operand(ElementRef &&e) { return static_cast<double>(std::move(e)); }
}  // namespace detail

template <typename I, typename>
ElementRef Array::operator()(I i) & {
    return ElementRef(*this, Position(i), 0);
}
template <typename I, typename J, typename>
ElementRef Array::operator()(I i, J j) & {
    return ElementRef(*this, Position(i), Position(j));
}
inline IndexRef Array::operator()(const Subscript &i) & { return IndexRef(*this, i); }
inline IndexRef Array::operator()(const Subscript &i, const Subscript &j) & {
    return IndexRef(*this, i, j);
}
inline Array Array::operator()(const Subscript &i) const & {
    return IndexRef(const_cast<Array &>(*this), i).Read();
}
inline Array Array::operator()(const Subscript &i, const Subscript &j) const & {
    return IndexRef(const_cast<Array &>(*this), i, j).Read();
}
inline Array Array::operator()(const Subscript &i) && { return IndexRef(*this, i).Read(); }
inline Array Array::operator()(const Subscript &i, const Subscript &j) && {
    return IndexRef(*this, i, j).Read();
}
inline IndexRef Array::operator()(const Subscript &i, const Subscript &j, const Subscript &k) & {
    return IndexRef(*this, i, j, {k});
}
inline IndexRef Array::operator()(const Subscript &i, const Subscript &j, const Subscript &k,
                                  const Subscript &l) & {
    return IndexRef(*this, i, j, {k, l});
}
inline IndexRef Array::operator()(const Subscript &i, const Subscript &j, const Subscript &k,
                                  const Subscript &l, const Subscript &m) & {
    return IndexRef(*this, i, j, {k, l, m});
}
inline IndexRef Array::operator()(const Subscript &i, const Subscript &j, const Subscript &k,
                                  const Subscript &l, const Subscript &m, const Subscript &n) & {
    return IndexRef(*this, i, j, {k, l, m, n});
}
inline Array Array::operator()(const Subscript &i, const Subscript &j, const Subscript &k) const & {
    return IndexRef(const_cast<Array &>(*this), i, j, {k}).Read();
}
inline Array Array::operator()(const Subscript &i, const Subscript &j, const Subscript &k,
                               const Subscript &l) const & {
    return IndexRef(const_cast<Array &>(*this), i, j, {k, l}).Read();
}
inline Array Array::operator()(const Subscript &i, const Subscript &j, const Subscript &k,
                               const Subscript &l, const Subscript &m) const & {
    return IndexRef(const_cast<Array &>(*this), i, j, {k, l, m}).Read();
}
inline Array Array::operator()(const Subscript &i, const Subscript &j, const Subscript &k,
                               const Subscript &l, const Subscript &m, const Subscript &n) const & {
    return IndexRef(const_cast<Array &>(*this), i, j, {k, l, m, n}).Read();
}
inline Array Array::operator()(const Subscript &i, const Subscript &j, const Subscript &k) && {
    return IndexRef(*this, i, j, {k}).Read();
}
inline Array Array::operator()(const Subscript &i, const Subscript &j, const Subscript &k,
                               const Subscript &l) && {
    return IndexRef(*this, i, j, {k, l}).Read();
}
inline Array Array::operator()(const Subscript &i, const Subscript &j, const Subscript &k,
                               const Subscript &l, const Subscript &m) && {
    return IndexRef(*this, i, j, {k, l, m}).Read();
}
inline Array Array::operator()(const Subscript &i, const Subscript &j, const Subscript &k,
                               const Subscript &l, const Subscript &m, const Subscript &n) && {
    return IndexRef(*this, i, j, {k, l, m, n}).Read();
}
inline IndexRef::operator Array() const && { return Read(); }
inline IndexRef &&IndexRef::operator=(ElementRef &&b) && {
    return std::move(*this) = static_cast<Array>(std::move(b));
}
inline Subscript::Subscript(ElementRef &&index)
    : m_kind(Kind::Position), m_value(static_cast<double>(std::move(index))) {}

/// A dimension argument of the Array forms: `Sum(A, Dim(2))` sums along
/// the rows' direction. A distinct type, so that a number is never taken for
/// a dimension: `Max(A, 2)` is the element-wise maximum with 2, as in the
/// language, and `Sum(A, 2)` does not compile.
struct Dim {
    explicit constexpr Dim(unsigned int d) : value(d) {}
    unsigned int value;
};

/// Returns the line that names an operation and the classes of its
/// `operands` (1 or 2) operands, as the language reports an operation that
/// is not defined: "'plus' is not defined for operands of class cell and
/// double", "'sqrt' is not defined for an operand of class cell". A null
/// operand stands for a real double scalar. ASCII. Throws std::bad_alloc.
MATRIX_API std::string OperationNotDefinedLine(const char *operation, unsigned int operands,
                                               const CMatrix *a, const CMatrix *b);
/// Returns the sizes of two operands joined by the operation's word, as
/// dimension errors add them: "(2x3 times 2x3)" (the matrix product reads
/// "times", other operations by their name). A null operand is 1x1.
/// Throws std::bad_alloc.
MATRIX_API std::string OperandSizesText(const char *operation, const CMatrix *a, const CMatrix *b);
/// Rethrows the exception being handled; call it only inside a catch
/// block. A CNotImplementedException gets OperationNotDefinedLine as the
/// second line of its message, a dimension error of two operands (inner or
/// outer matrix dimensions, array dimensions of a binary operation) gets
/// OperandSizesText at the end of its line; the class of the exception
/// stays the same, and a message that says these already is left alone.
/// Every other exception passes unchanged. `operation` is the language's
/// name of the operation ("plus", "mtimes"); `operands`, a and b as for
/// OperationNotDefinedLine.
[[noreturn]] MATRIX_API void RethrowForOperation(const char *operation, unsigned int operands,
                                                 const CMatrix *a, const CMatrix *b);

namespace detail {
// Calls `call` (which returns a new array), adopts its result, and on a
// failure names the operation and its operands (null: a double scalar).
template <typename Call>
Array Named(const char *operation, unsigned int operands, const CMatrix *a, const CMatrix *b,
            Call call) {
    try {
        return Array::Adopt(call());
    } catch (...) {
        RethrowForOperation(operation, operands, a, b);
    }
}
}  // namespace detail

// The wrappers below call the function of the same name and adopt its
// result; a failure's message names the operation (the name in lower case)
// and its operands. Each is one line so the list stays readable.
#define MATRIX_ARRAY_UNARY(F, name)                                                  \
    inline Array F(const Array &a) {                                                 \
        return detail::Named(name, 1, a.get(), nullptr, [&] { return F(a.get()); }); \
    }
#define MATRIX_ARRAY_BINARY(F, name)                                                          \
    inline Array F(const Array &a, const Array &b) {                                          \
        return detail::Named(name, 2, a.get(), b.get(), [&] { return F(a.get(), b.get()); }); \
    }                                                                                         \
    inline Array F(double a, const Array &b) {                                                \
        return detail::Named(name, 2, nullptr, b.get(), [&] { return F(a, b.get()); });       \
    }                                                                                         \
    inline Array F(const Array &a, double b) {                                                \
        return detail::Named(name, 2, a.get(), nullptr, [&] { return F(a.get(), b); });       \
    }
#define MATRIX_ARRAY_DIM(F, name)                                                               \
    inline Array F(const Array &a, Dim dim) {                                                   \
        return detail::Named(name, 1, a.get(), nullptr, [&] { return F(a.get(), dim.value); }); \
    }

// Element-wise arithmetic, comparisons and logical operators.
MATRIX_ARRAY_BINARY(Plus, "plus")
MATRIX_ARRAY_BINARY(Minus, "minus")
MATRIX_ARRAY_BINARY(Times, "times")
MATRIX_ARRAY_BINARY(Rdivide, "rdivide")
MATRIX_ARRAY_BINARY(Ldivide, "ldivide")
MATRIX_ARRAY_BINARY(Power, "power")
MATRIX_ARRAY_BINARY(Eq, "eq")
MATRIX_ARRAY_BINARY(Ne, "ne")
MATRIX_ARRAY_BINARY(Lt, "lt")
MATRIX_ARRAY_BINARY(Le, "le")
MATRIX_ARRAY_BINARY(Gt, "gt")
MATRIX_ARRAY_BINARY(Ge, "ge")
MATRIX_ARRAY_BINARY(And, "and")
MATRIX_ARRAY_BINARY(Or, "or")
inline Array MaxVal(double a, const Array &b) {
    return detail::Named("max", 2, nullptr, b.get(), [&] { return MaxVal(a, b.get()); });
}
inline Array MaxVal(const Array &a, double b) {
    return detail::Named("max", 2, a.get(), nullptr, [&] { return MaxVal(a.get(), b); });
}
inline Array MinVal(double a, const Array &b) {
    return detail::Named("min", 2, nullptr, b.get(), [&] { return MinVal(a, b.get()); });
}
inline Array MinVal(const Array &a, double b) {
    return detail::Named("min", 2, a.get(), nullptr, [&] { return MinVal(a.get(), b); });
}

// One-argument element-wise functions. Mod leaves its operands unchanged.
MATRIX_ARRAY_UNARY(Not, "not")
MATRIX_ARRAY_UNARY(Abs, "abs")
MATRIX_ARRAY_UNARY(Exp, "exp")
MATRIX_ARRAY_UNARY(Round, "round")
MATRIX_ARRAY_UNARY(Sign, "sign")
MATRIX_ARRAY_UNARY(Sqrt, "sqrt")
MATRIX_ARRAY_UNARY(Uminus, "uminus")
MATRIX_ARRAY_UNARY(Unaryminus, "unaryminus")
MATRIX_ARRAY_UNARY(Real, "real")
MATRIX_ARRAY_UNARY(Isinf, "isinf")
MATRIX_ARRAY_UNARY(Isnan, "isnan")
MATRIX_ARRAY_UNARY(Isfinite, "isfinite")
MATRIX_ARRAY_UNARY(Sin, "sin")
MATRIX_ARRAY_UNARY(Cos, "cos")
MATRIX_ARRAY_UNARY(Tan, "tan")
MATRIX_ARRAY_UNARY(Asin, "asin")
MATRIX_ARRAY_UNARY(Acos, "acos")
MATRIX_ARRAY_UNARY(Atan, "atan")
MATRIX_ARRAY_UNARY(Asinh, "asinh")
MATRIX_ARRAY_UNARY(Acosh, "acosh")
MATRIX_ARRAY_UNARY(Atanh, "atanh")
MATRIX_ARRAY_UNARY(Sinh, "sinh")
MATRIX_ARRAY_UNARY(Cosh, "cosh")
MATRIX_ARRAY_UNARY(Tanh, "tanh")
MATRIX_ARRAY_UNARY(Log, "log")
MATRIX_ARRAY_UNARY(Log2, "log2")
MATRIX_ARRAY_UNARY(Log10, "log10")
MATRIX_ARRAY_UNARY(Log1p, "log1p")
MATRIX_ARRAY_UNARY(Expm1, "expm1")
MATRIX_ARRAY_UNARY(Floor, "floor")
MATRIX_ARRAY_UNARY(Ceil, "ceil")
MATRIX_ARRAY_UNARY(Fix, "fix")
MATRIX_ARRAY_BINARY(Atan2, "atan2")
MATRIX_ARRAY_BINARY(Hypot, "hypot")
MATRIX_ARRAY_BINARY(Rem, "rem")
inline Array Mod(const Array &x, double y) {
    return detail::Named("mod", 2, x.get(), nullptr,
                         [&] { return Mod(const_cast<CMatrix *>(x.get()), y); });
}
inline Array Mod(const Array &x, const Array &y) {
    return detail::Named("mod", 2, x.get(), y.get(), [&] {
        return Mod(const_cast<CMatrix *>(x.get()), const_cast<CMatrix *>(y.get()));
    });
}
inline Array Idivide(const Array &a, const Array &b, DivideRounding mode = DivideRounding::kFix) {
    return detail::Named("idivide", 2, a.get(), b.get(),
                         [&] { return Idivide(a.get(), b.get(), mode); });
}
inline Array Bitand(const Array &a, const Array &b) {
    return detail::Named("bitand", 2, a.get(), b.get(), [&] { return Bitand(a.get(), b.get()); });
}
inline Array Bitor(const Array &a, const Array &b) {
    return detail::Named("bitor", 2, a.get(), b.get(), [&] { return Bitor(a.get(), b.get()); });
}
inline Array Bitxor(const Array &a, const Array &b) {
    return detail::Named("bitxor", 2, a.get(), b.get(), [&] { return Bitxor(a.get(), b.get()); });
}
inline Array Bitshift(const Array &a, const Array &k) {
    return detail::Named("bitshift", 2, a.get(), k.get(),
                         [&] { return Bitshift(a.get(), k.get()); });
}

// Shape and construction from arrays.
MATRIX_ARRAY_UNARY(Transpose, "transpose")
MATRIX_ARRAY_UNARY(Ctranspose, "ctranspose")
MATRIX_ARRAY_UNARY(Tocolumn, "tocolumn")
MATRIX_ARRAY_UNARY(Tomatrix, "tomatrix")
MATRIX_ARRAY_UNARY(Isempty, "isempty")
inline Array Tril(const Array &a, int k = 0) { return Array::Adopt(Tril(a.get(), k)); }
inline Array Triu(const Array &a, int k = 0) { return Array::Adopt(Triu(a.get(), k)); }
inline Array Diag(const Array &a, int k = 0) { return Array::Adopt(Diag(a.get(), k)); }
inline Array Reshape(const Array &a, unsigned int m, unsigned int n) {
    return Array::Adopt(Reshape(const_cast<CMatrix *>(a.get()), m, n));
}
inline Array Reshape(const Array &a, unsigned int m, unsigned int n, unsigned int p) {
    return Array::Adopt(Reshape(const_cast<CMatrix *>(a.get()), m, n, p));
}
inline Array Repmat(const Array &a, unsigned int m, unsigned int n) {
    return Array::Adopt(Repmat(a.get(), m, n));
}
inline unsigned int Length(const Array &a) { return Length(a.get()); }
inline unsigned int End(const Array &a, unsigned int k, unsigned int n) {
    return End(a.get(), k, n);
}

// Reductions and searches.
MATRIX_ARRAY_UNARY(Sum, "sum")
MATRIX_ARRAY_UNARY(Prod, "prod")
MATRIX_ARRAY_UNARY(All, "all")
MATRIX_ARRAY_UNARY(Any, "any")
MATRIX_ARRAY_UNARY(Find, "find")
MATRIX_ARRAY_DIM(Sum, "sum")
MATRIX_ARRAY_DIM(Prod, "prod")
MATRIX_ARRAY_DIM(All, "all")
MATRIX_ARRAY_DIM(Any, "any")
MATRIX_ARRAY_UNARY(Cumsum, "cumsum")
MATRIX_ARRAY_UNARY(Cumprod, "cumprod")
MATRIX_ARRAY_UNARY(Mean, "mean")
MATRIX_ARRAY_UNARY(Var, "var")
MATRIX_ARRAY_UNARY(Std, "std")
MATRIX_ARRAY_DIM(Cumsum, "cumsum")
MATRIX_ARRAY_DIM(Cumprod, "cumprod")
MATRIX_ARRAY_DIM(Mean, "mean")
MATRIX_ARRAY_DIM(Var, "var")
MATRIX_ARRAY_DIM(Std, "std")
inline unsigned int Nnz(const Array &a) { return Nnz(a.get()); }
inline bool Isequal(const Array &a, const Array &b) { return Isequal(a.get(), b.get()); }
inline bool Tobool(const Array &a) { return Tobool(a.get()); }

// Linear algebra.
inline Array Mtimes(const Array &a, const Array &b) {
    return detail::Named("mtimes", 2, a.get(), b.get(), [&] { return Mtimes(a.get(), b.get()); });
}
inline Array Mldivide(const Array &a, const Array &b) {
    return detail::Named("mldivide", 2, a.get(), b.get(),
                         [&] { return Mldivide(a.get(), b.get()); });
}
inline Array Mrdivide(const Array &a, const Array &b) {
    return detail::Named("mrdivide", 2, a.get(), b.get(),
                         [&] { return Mrdivide(a.get(), b.get()); });
}
inline double Det(const Array &a) { return Det(a.get()); }
inline double Rcond(const Array &a) { return Rcond(a.get()); }
inline Array Chol(const Array &a) { return Array::Adopt(Chol(a.get())); }
inline Array Chol(const Array &a, bool &ok) { return Array::Adopt(Chol(a.get(), ok)); }
inline Array Svd(const Array &a, bool economy = false) {
    return Array::Adopt(Svd(a.get(), economy));
}
inline unsigned int Rank(const Array &a) { return Rank(a.get()); }
inline unsigned int Rank(const Array &a, double tol) { return Rank(a.get(), tol); }
inline double Norm(const Array &a, double p = 2.0) { return Norm(a.get(), p); }
inline double NormFro(const Array &a) { return NormFro(a.get()); }
inline Array Eig(const Array &a, bool balance = true) {
    return Array::Adopt(Eig(a.get(), balance));
}
inline Array Planerot(const Array &x) { return Array::Adopt(Planerot(x.get())); }
inline double Trace(const Array &a) { return Trace(a.get()); }
inline Array Dot(const Array &a, const Array &b) {
    return detail::Named("dot", 2, a.get(), b.get(), [&] { return Dot(a.get(), b.get()); });
}
inline Array Cross(const Array &a, const Array &b) {
    return detail::Named("cross", 2, a.get(), b.get(), [&] { return Cross(a.get(), b.get()); });
}
inline Array Inv(const Array &a) {
    return detail::Named("inv", 1, a.get(), nullptr, [&] { return Inv(a.get()); });
}
inline Array Pinv(const Array &a) { return Array::Adopt(Pinv(a.get())); }

#undef MATRIX_ARRAY_UNARY
#undef MATRIX_ARRAY_BINARY
#undef MATRIX_ARRAY_DIM

/// The two outputs of Max and Min: the values and their 1-based positions.
/// Binds as `auto [m, k] = Max(v);` and converts to the values alone.
struct ValuesPositions {
    Array values;
    Array positions;
    operator Array() const & { return values; }
    operator Array() && { return std::move(values); }
};
/// Two outputs, for structured bindings (`auto [L, U] = Lu(A);`).
struct TwoArrays {
    Array first;
    Array second;
};
/// Three outputs, for structured bindings (`auto [Q, R, E] = QrPivots(A);`).
struct ThreeArrays {
    Array first;
    Array second;
    Array third;
};

/// Returns the maxima along the default dimension with their positions, as
/// Max(Y, I, A). Throws as that function.
MATRIX_API ValuesPositions Max(const Array &a);
/// Returns the maxima along `dim` with their positions. Throws as Max(Y, I, A, dim).
MATRIX_API ValuesPositions Max(const Array &a, Dim dim);
/// Returns the minima along the default dimension with their positions.
MATRIX_API ValuesPositions Min(const Array &a);
/// Returns the minima along `dim` with their positions.
MATRIX_API ValuesPositions Min(const Array &a, Dim dim);
/// Returns A sorted in ascending order along the default dimension with the
/// positions the elements came from, as Sort(Y, I, A); converts to the
/// sorted values alone. Throws as that function.
MATRIX_API ValuesPositions Sort(const Array &a);
/// Returns A sorted in the given order along the default dimension, with
/// positions. Throws as Sort(Y, I, A, order).
MATRIX_API ValuesPositions Sort(const Array &a, SortOrder order);
/// Returns A sorted in ascending order along `dim`, with positions. Throws
/// as Sort(Y, I, A, dim).
MATRIX_API ValuesPositions Sort(const Array &a, Dim dim);
/// Returns A sorted in the given order along `dim`, with positions. Throws
/// as Sort(Y, I, A, dim, order).
MATRIX_API ValuesPositions Sort(const Array &a, Dim dim, SortOrder order);
/// Returns the element-wise maximum of two arrays, as Max(A, B).
/// A number as the second operand is the element-wise maximum with it, as
/// in the language (a dimension is written Dim(d)).
inline Array Max(const Array &a, const Array &b) {
    return detail::Named("max", 2, a.get(), b.get(), [&] { return Max(a.get(), b.get()); });
}
/// Returns the element-wise minimum of two arrays, as Min(A, B).
inline Array Min(const Array &a, const Array &b) {
    return detail::Named("min", 2, a.get(), b.get(), [&] { return Min(a.get(), b.get()); });
}

/// Returns [L, U] with L permuted so that A = L*U, as Lu(L, U, A).
MATRIX_API TwoArrays Lu(const Array &a);
/// Returns [L, U, P] with P*A = L*U, as Lu(L, U, P, A).
MATRIX_API ThreeArrays LuPivots(const Array &a);
/// Returns [Q, R] with A = Q*R, as Qr(Q, R, A, economy).
MATRIX_API TwoArrays Qr(const Array &a, bool economy = false);
/// Returns [Q, R, E] with A*E = Q*R, as Qr(Q, R, E, A, economy).
MATRIX_API ThreeArrays QrPivots(const Array &a, bool economy = false);
/// Returns [U, S, V] with A = U*S*V', as Svd(U, S, V, A, economy).
MATRIX_API ThreeArrays SvdVectors(const Array &a, bool economy = false);
/// Returns [V, D], eigenvectors and the diagonal matrix of eigenvalues, in
/// the language's order, as Eig(D, V, A, balance).
MATRIX_API TwoArrays EigVectors(const Array &a, bool balance = true);
/// Returns [r, c], the rows and columns of the non-zero elements.
MATRIX_API TwoArrays FindRowsCols(const Array &a);
/// Returns [r, c, v], rows, columns and values of the non-zero elements.
MATRIX_API ThreeArrays FindRowsColsValues(const Array &a);
/// Returns [G, y], the rotation and the rotated vector, as Planerot(G, y, x).
MATRIX_API TwoArrays PlanerotApplied(const Array &x);

/// Joins the operands side by side, as [a, b, ...]: any number of Array (or
/// double) operands, no terminator; the result's class and the exceptions
/// are those of Horzcat(n, arrays).
MATRIX_API Array HorzcatList(std::initializer_list<const CMatrix *> operands);
/// Joins the operands one above the other, as [a; b; ...]; the result's class
/// and the exceptions are those of Vertcat(n, arrays).
MATRIX_API Array VertcatList(std::initializer_list<const CMatrix *> operands);

/// Joins the operands along the 1-based dimension `dim`; the result's class
/// and the exceptions are those of Cat(dim, n, arrays).
MATRIX_API Array CatList(unsigned int dim, std::initializer_list<const CMatrix *> operands);

namespace detail {
template <typename T>
constexpr bool kArrayOperand =
    !std::is_pointer_v<std::decay_t<T>> && !std::is_null_pointer_v<std::decay_t<T>> &&
    std::is_convertible_v<const T &, Array>;
// Operands that are Arrays already are used as they are; others convert.
inline const Array &AsArray(const Array &a) { return a; }
template <typename T>
Array AsArray(const T &value) {
    return Array(value);
}
}  // namespace detail

/// Returns [a, b, ...] of Array (or convertible) operands.
template <typename... T, typename = std::enable_if_t<(detail::kArrayOperand<T> && ...)>>
Array Horzcat(const Array &first, const T &...rest) {
    return HorzcatList({first.get(), detail::AsArray(rest).get()...});
}
/// Returns [a; b; ...] of Array (or convertible) operands.
template <typename... T, typename = std::enable_if_t<(detail::kArrayOperand<T> && ...)>>
Array Vertcat(const Array &first, const T &...rest) {
    return VertcatList({first.get(), detail::AsArray(rest).get()...});
}

/// Returns the Array (or convertible) operands joined along `dim`.
template <typename... T, typename = std::enable_if_t<(detail::kArrayOperand<T> && ...)>>
Array Cat(unsigned int dim, const Array &first, const T &...rest) {
    return CatList(dim, {first.get(), detail::AsArray(rest).get()...});
}

// Operators with the language's meaning: * is Mtimes, / is Mrdivide, and
// the element-wise forms are the functions above.
inline Array operator+(const Array &a, const Array &b) { return Plus(a, b); }
inline Array operator+(double a, const Array &b) { return Plus(a, b); }
inline Array operator+(const Array &a, double b) { return Plus(a, b); }
inline Array operator-(const Array &a, const Array &b) { return Minus(a, b); }
inline Array operator-(double a, const Array &b) { return Minus(a, b); }
inline Array operator-(const Array &a, double b) { return Minus(a, b); }
inline Array operator*(const Array &a, const Array &b) { return Mtimes(a, b); }
inline Array operator*(double a, const Array &b) { return Times(a, b); }
inline Array operator*(const Array &a, double b) { return Times(a, b); }
inline Array operator/(const Array &a, const Array &b) { return Mrdivide(a, b); }
inline Array operator/(double a, const Array &b) { return Mrdivide(Array(a), b); }
inline Array operator/(const Array &a, double b) { return Mrdivide(a, Array(b)); }
inline Array operator-(const Array &a) { return Uminus(a); }
inline Array operator!(const Array &a) { return Not(a); }
inline Array operator==(const Array &a, const Array &b) { return Eq(a, b); }
inline Array operator==(double a, const Array &b) { return Eq(a, b); }
inline Array operator==(const Array &a, double b) { return Eq(a, b); }
inline Array operator!=(const Array &a, const Array &b) { return Ne(a, b); }
inline Array operator!=(double a, const Array &b) { return Ne(a, b); }
inline Array operator!=(const Array &a, double b) { return Ne(a, b); }
inline Array operator<(const Array &a, const Array &b) { return Lt(a, b); }
inline Array operator<(double a, const Array &b) { return Lt(a, b); }
inline Array operator<(const Array &a, double b) { return Lt(a, b); }
inline Array operator<=(const Array &a, const Array &b) { return Le(a, b); }
inline Array operator<=(double a, const Array &b) { return Le(a, b); }
inline Array operator<=(const Array &a, double b) { return Le(a, b); }
inline Array operator>(const Array &a, const Array &b) { return Gt(a, b); }
inline Array operator>(double a, const Array &b) { return Gt(a, b); }
inline Array operator>(const Array &a, double b) { return Gt(a, b); }
inline Array operator>=(const Array &a, const Array &b) { return Ge(a, b); }
inline Array operator>=(double a, const Array &b) { return Ge(a, b); }
inline Array operator>=(const Array &a, double b) { return Ge(a, b); }
inline Array operator&(const Array &a, const Array &b) { return And(a, b); }
inline Array operator&(double a, const Array &b) { return And(a, b); }
inline Array operator&(const Array &a, double b) { return And(a, b); }
inline Array operator|(const Array &a, const Array &b) { return Or(a, b); }
inline Array operator|(double a, const Array &b) { return Or(a, b); }
inline Array operator|(const Array &a, double b) { return Or(a, b); }

// Compound assignment with the operators' meaning: A *= B is the matrix
// product, A /= B is Mrdivide (A *= s and A /= s scale by a number). A is
// replaced only when the operation succeeds.
template <typename T,
          typename = decltype(std::declval<const Array &>() + detail::Operand(std::declval<T>()))>
Array &operator+=(Array &a, T &&b) {
    a = a + detail::Operand(std::forward<T>(b));
    return a;
}
template <typename T,
          typename = decltype(std::declval<const Array &>() - detail::Operand(std::declval<T>()))>
Array &operator-=(Array &a, T &&b) {
    a = a - detail::Operand(std::forward<T>(b));
    return a;
}
template <typename T,
          typename = decltype(std::declval<const Array &>() * detail::Operand(std::declval<T>()))>
Array &operator*=(Array &a, T &&b) {
    a = a * detail::Operand(std::forward<T>(b));
    return a;
}
template <typename T,
          typename = decltype(std::declval<const Array &>() / detail::Operand(std::declval<T>()))>
Array &operator/=(Array &a, T &&b) {
    a = a / detail::Operand(std::forward<T>(b));
    return a;
}

template <typename T>
IndexRef &&IndexRef::operator+=(T &&b) && {
    return std::move(*this) =
               static_cast<const Array &>(Read() + detail::Operand(std::forward<T>(b)));
}
template <typename T>
IndexRef &&IndexRef::operator-=(T &&b) && {
    return std::move(*this) =
               static_cast<const Array &>(Read() - detail::Operand(std::forward<T>(b)));
}
template <typename T>
IndexRef &&IndexRef::operator*=(T &&b) && {
    return std::move(*this) =
               static_cast<const Array &>(Read() * detail::Operand(std::forward<T>(b)));
}
template <typename T>
IndexRef &&IndexRef::operator/=(T &&b) && {
    return std::move(*this) =
               static_cast<const Array &>(Read() / detail::Operand(std::forward<T>(b)));
}

// An ElementRef operand of an operator stands for its double (so that
// `A(i) + 1` and `A(i) > 0.5` are the arithmetic and comparison of
// doubles, and `A(i) * B` scales B). Without these exact matches the double
// and the Array conversions would make every such expression ambiguous.
namespace detail {
// An ElementRef operand counts only as the temporary it is meant to be.
template <typename T>
constexpr bool kTemporaryElementRef = kIsElementRef<T> && !std::is_lvalue_reference_v<T>;
template <typename L, typename R>
constexpr bool kElementOperands = (kTemporaryElementRef<L> || kTemporaryElementRef<R>)&&!(
    kIsElementRef<L> && !kTemporaryElementRef<L>)&&!(kIsElementRef<R> && !kTemporaryElementRef<R>);
}  // namespace detail
#define MATRIX_ELEMENT_OPERATOR(op)                                                                \
    template <typename L, typename R, typename = std::enable_if_t<detail::kElementOperands<L, R>>> \
    auto operator op(L &&a, R &&b)                                                                 \
        ->decltype(detail::Operand(std::forward<L>(a)) op detail::Operand(std::forward<R>(b))) {   \
        return detail::Operand(std::forward<L>(a)) op detail::Operand(std::forward<R>(b));         \
    }
MATRIX_ELEMENT_OPERATOR(+)
MATRIX_ELEMENT_OPERATOR(-)
MATRIX_ELEMENT_OPERATOR(*)
MATRIX_ELEMENT_OPERATOR(/)
MATRIX_ELEMENT_OPERATOR(==)
MATRIX_ELEMENT_OPERATOR(!=)
MATRIX_ELEMENT_OPERATOR(<)
MATRIX_ELEMENT_OPERATOR(<=)
MATRIX_ELEMENT_OPERATOR(>)
MATRIX_ELEMENT_OPERATOR(>=)
#undef MATRIX_ELEMENT_OPERATOR
inline double operator-(ElementRef &&a) { return -static_cast<double>(std::move(a)); }
inline bool operator!(ElementRef &&a) { return !static_cast<double>(std::move(a)); }
/// Writes the element's double.
MATRIX_API std::ostream &operator<<(std::ostream &out, ElementRef &&e);

/// The names a program written with Array uses, with
/// `using namespace kiv::matrix::values;`: the types and placeholders of
/// this header, and constructors that return Array. (The functions that
/// take an Array are found through the argument, as Transpose(A).) The
/// function-call interface of namespace kiv::matrix, whose constructors
/// return owning CMatrix pointers, stays where it is and is not brought in.
namespace values {
using kiv::matrix::All;
using kiv::matrix::Array;
using kiv::matrix::Dim;
using kiv::matrix::Empty;
using kiv::matrix::End;
using kiv::matrix::mxGetEps;
using kiv::matrix::mxGetInf;
using kiv::matrix::mxGetNaN;
using kiv::matrix::Range;
using kiv::matrix::SortOrder;

// Filled arrays, as the functions of the same name: one length n gives
// n x n, a list gives any number of dimensions (`Zeros({2, 3, 4})`); all
// real double. Throw as those functions.
inline Array Zeros(unsigned int n) { return Array::Adopt(matrix::Zeros(n)); }
inline Array Zeros(unsigned int m, unsigned int n) { return Array::Adopt(matrix::Zeros(m, n)); }
inline Array Zeros(unsigned int m, unsigned int n, unsigned int p) {
    return Array::Adopt(matrix::Zeros(m, n, p));
}
inline Array Zeros(std::initializer_list<unsigned int> dims) { return Array::Zeros(dims); }
inline Array Ones(unsigned int n) { return Array::Adopt(matrix::Ones(n)); }
inline Array Ones(unsigned int m, unsigned int n) { return Array::Adopt(matrix::Ones(m, n)); }
inline Array Ones(unsigned int m, unsigned int n, unsigned int p) {
    return Array::Adopt(matrix::Ones(m, n, p));
}
inline Array Ones(std::initializer_list<unsigned int> dims) { return Array::Ones(dims); }
inline Array Rand(unsigned int n) { return Array::Adopt(matrix::Rand(n)); }
inline Array Rand(unsigned int m, unsigned int n) { return Array::Adopt(matrix::Rand(m, n)); }
inline Array Rand(unsigned int m, unsigned int n, unsigned int p) {
    return Array::Adopt(matrix::Rand(m, n, p));
}
inline Array Rand(std::initializer_list<unsigned int> dims) { return Array::Rand(dims); }
inline Array Randn(unsigned int n) { return Array::Adopt(matrix::Randn(n)); }
inline Array Randn(unsigned int m, unsigned int n) { return Array::Adopt(matrix::Randn(m, n)); }
inline Array Randn(unsigned int m, unsigned int n, unsigned int p) {
    return Array::Adopt(matrix::Randn(m, n, p));
}
inline Array Randn(std::initializer_list<unsigned int> dims) { return Array::Randn(dims); }
inline Array Eye(unsigned int n) { return Array::Adopt(matrix::Eye(n)); }
inline Array Eye(unsigned int m, unsigned int n) { return Array::Adopt(matrix::Eye(m, n)); }
/// The 1 x 1 array x.
inline Array Scalar(double x) { return Array(x); }
/// The row start:end and start:step:end, as Colon.
inline Array Colon(double start, double end) { return Array::Adopt(matrix::Colon(start, end)); }
inline Array Colon(double start, double step, double end) {
    return Array::Adopt(matrix::Colon(start, step, end));
}
inline Array Linspace(double a, double b) { return Array::Adopt(matrix::Linspace(a, b)); }
inline Array Linspace(double a, double b, unsigned int n) {
    return Array::Adopt(matrix::Linspace(a, b, n));
}
// Diag and Repmat of an Array are found through the argument; these take
// the values themselves.
/// The square matrix with `v` on its k-th diagonal.
inline Array Diag(std::initializer_list<double> v, int k = 0) { return matrix::Diag(Array(v), k); }
/// x tiled m x n times.
inline Array Repmat(double x, unsigned int m, unsigned int n) {
    return matrix::Repmat(Array(x), m, n);
}
/// An m x n cell array of empty slots. Throws kiv::CExhaustedMemoryException.
inline Array Cell(unsigned int m, unsigned int n) { return Array::Adopt(mxCreateCellMatrix(m, n)); }
/// A cell array of the given lengths, of empty slots.
inline Array Cell(std::initializer_list<unsigned int> dims) {
    return Array::Adopt(mxCreateCellArray(static_cast<unsigned int>(dims.size()), dims.begin()));
}
}  // namespace values

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_ARRAY_H
