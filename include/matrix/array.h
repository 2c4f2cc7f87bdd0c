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
    /// kiv::CExhaustedMemoryException.
    Array(std::initializer_list<double> row);
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
    /// Creates a 1 x n char array of the bytes of `text`. Throws
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

    /// Reads one element with integer subscripts: `double x = A(2, 3);` is
    /// At(2, 3), a bounds-checked load that makes no array. Assigning to the
    /// result stores the element (SetAt).
    template <typename I, typename = std::enable_if_t<std::is_integral_v<I>>>
    ElementRef operator()(I i);
    template <typename I, typename J,
              typename = std::enable_if_t<std::is_integral_v<I> && std::is_integral_v<J>>>
    ElementRef operator()(I i, J j);
    template <typename I, typename = std::enable_if_t<std::is_integral_v<I>>>
    double operator()(I i) const {
        return At(static_cast<long long>(i));
    }
    template <typename I, typename J,
              typename = std::enable_if_t<std::is_integral_v<I> && std::is_integral_v<J>>>
    double operator()(I i, J j) const {
        return At(static_cast<long long>(i), static_cast<long long>(j));
    }
    /// Indexes with any subscripts (positions, All, End, masks, index
    /// arrays, ranges): the result converts to Array (Indexref) and can be
    /// assigned (Indexassign, with growth and scalar expansion) or given
    /// Empty() (deletion). It refers to this Array: use it in the same
    /// statement, never keep it in an `auto` variable.
    IndexRef operator()(const Subscript &i);
    IndexRef operator()(const Subscript &i, const Subscript &j);
    /// Returns A(I) or A(I, J) of a const array.
    Array operator()(const Subscript &i) const;
    Array operator()(const Subscript &i, const Subscript &j) const;

    /// Returns the text the language shows for `name = value`; an empty name
    /// gives the value alone, as disp. UTF-8.
    std::string ToString(const std::string &name = std::string()) const;
    /// Writes the value alone to standard output, as disp.
    void Disp() const;

private:
    struct AdoptTag {};
    Array(CMatrix *owned, AdoptTag) noexcept : m_a(owned) {}
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

/// One subscript: a position (rounded as the library rounds indices), All,
/// an End position, a Range, or an array (a mask when logical, else an
/// index array).
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
    Subscript(const IndexRef &index);

    /// Returns the index array for subscript k of n of `a`: the held array
    /// itself, or a new one made in `holder`.
    const CMatrix *Resolve(const CMatrix *a, unsigned int k, unsigned int n, Array &holder) const;

private:
    enum class Kind { Position, Colon, End, Range, Array };
    Kind m_kind;
    double m_value = 0.0;
    RangeSpec m_range{0.0, 0.0, 0.0};
    Array m_array = Array::Unset();
};

/// The result of indexing an Array with general subscripts; see
/// Array::operator().
class MATRIX_API IndexRef {
public:
    IndexRef(Array &target, const Subscript &i) : m_target(target), m_n(1), m_i(i), m_j(0.0) {}
    IndexRef(Array &target, const Subscript &i, const Subscript &j)
        : m_target(target), m_n(2), m_i(i), m_j(j) {}

    /// Returns A(I) or A(I, J): a new Array. Throws as Indexref.
    operator Array() const;
    /// A(I) = B, A(I, J) = B: grows A as needed; a one-element B is
    /// expanded. Throws as Indexassign; A may have been grown or unshared.
    IndexRef &operator=(const Array &b);
    IndexRef &operator=(double b) { return *this = Array(b); }
    IndexRef &operator=(const IndexRef &b) { return *this = static_cast<Array>(b); }
    /// A(I) = [], A(I, J) = []: deletes the elements, rows or columns.
    /// Throws as Indexdelete.
    IndexRef &operator=(EmptyArray);

private:
    Array &m_target;
    int m_n;
    Subscript m_i;
    Subscript m_j;
};

/// The result of indexing a non-const Array with integer subscripts; see
/// Array::operator().
class ElementRef {
public:
    ElementRef(Array &target, long long i, long long j) : m_target(target), m_i(i), m_j(j) {}
    operator double() const { return m_j ? m_target.At(m_i, m_j) : m_target.At(m_i); }
    ElementRef &operator=(double x) {
        if (m_j)
            m_target.SetAt(m_i, m_j, x);
        else
            m_target.SetAt(m_i, x);
        return *this;
    }
    ElementRef &operator=(const ElementRef &x) { return *this = static_cast<double>(x); }
    ElementRef &operator=(const Array &b) {
        if (m_j)
            IndexRef(m_target, m_i, m_j) = b;
        else
            IndexRef(m_target, m_i) = b;
        return *this;
    }
    ElementRef &operator=(EmptyArray e) {
        if (m_j)
            IndexRef(m_target, m_i, m_j) = e;
        else
            IndexRef(m_target, m_i) = e;
        return *this;
    }

private:
    Array &m_target;
    long long m_i;
    long long m_j;  // 0 for a linear subscript
};

template <typename I, typename>
ElementRef Array::operator()(I i) {
    return ElementRef(*this, static_cast<long long>(i), 0);
}
template <typename I, typename J, typename>
ElementRef Array::operator()(I i, J j) {
    return ElementRef(*this, static_cast<long long>(i), static_cast<long long>(j));
}
inline IndexRef Array::operator()(const Subscript &i) { return IndexRef(*this, i); }
inline IndexRef Array::operator()(const Subscript &i, const Subscript &j) {
    return IndexRef(*this, i, j);
}
inline Array Array::operator()(const Subscript &i) const {
    return IndexRef(const_cast<Array &>(*this), i);
}
inline Array Array::operator()(const Subscript &i, const Subscript &j) const {
    return IndexRef(const_cast<Array &>(*this), i, j);
}

// The wrappers below call the function of the same name and adopt its
// result; each is one line so the list stays readable.
#define MATRIX_ARRAY_UNARY(F) \
    inline Array F(const Array &a) { return Array::Adopt(F(a.get())); }
#define MATRIX_ARRAY_BINARY(F)                                                                   \
    inline Array F(const Array &a, const Array &b) { return Array::Adopt(F(a.get(), b.get())); } \
    inline Array F(double a, const Array &b) { return Array::Adopt(F(a, b.get())); }             \
    inline Array F(const Array &a, double b) { return Array::Adopt(F(a.get(), b)); }
#define MATRIX_ARRAY_DIM(F) \
    inline Array F(const Array &a, unsigned int dim) { return Array::Adopt(F(a.get(), dim)); }

// Element-wise arithmetic, comparisons and logical operators.
MATRIX_ARRAY_BINARY(Plus)
MATRIX_ARRAY_BINARY(Minus)
MATRIX_ARRAY_BINARY(Times)
MATRIX_ARRAY_BINARY(Rdivide)
MATRIX_ARRAY_BINARY(Ldivide)
MATRIX_ARRAY_BINARY(Power)
MATRIX_ARRAY_BINARY(Eq)
MATRIX_ARRAY_BINARY(Ne)
MATRIX_ARRAY_BINARY(Lt)
MATRIX_ARRAY_BINARY(Le)
MATRIX_ARRAY_BINARY(Gt)
MATRIX_ARRAY_BINARY(Ge)
MATRIX_ARRAY_BINARY(And)
MATRIX_ARRAY_BINARY(Or)
inline Array MaxVal(double a, const Array &b) { return Array::Adopt(MaxVal(a, b.get())); }
inline Array MaxVal(const Array &a, double b) { return Array::Adopt(MaxVal(a.get(), b)); }
inline Array MinVal(double a, const Array &b) { return Array::Adopt(MinVal(a, b.get())); }
inline Array MinVal(const Array &a, double b) { return Array::Adopt(MinVal(a.get(), b)); }

// One-argument element-wise functions. Mod leaves its operands unchanged.
MATRIX_ARRAY_UNARY(Not)
MATRIX_ARRAY_UNARY(Abs)
MATRIX_ARRAY_UNARY(Exp)
MATRIX_ARRAY_UNARY(Round)
MATRIX_ARRAY_UNARY(Sign)
MATRIX_ARRAY_UNARY(Sqrt)
MATRIX_ARRAY_UNARY(Uminus)
MATRIX_ARRAY_UNARY(Unaryminus)
MATRIX_ARRAY_UNARY(Real)
MATRIX_ARRAY_UNARY(Isinf)
MATRIX_ARRAY_UNARY(Isnan)
MATRIX_ARRAY_UNARY(Isfinite)
MATRIX_ARRAY_UNARY(Sin)
MATRIX_ARRAY_UNARY(Cos)
MATRIX_ARRAY_UNARY(Tan)
MATRIX_ARRAY_UNARY(Asin)
MATRIX_ARRAY_UNARY(Acos)
MATRIX_ARRAY_UNARY(Atan)
MATRIX_ARRAY_UNARY(Sinh)
MATRIX_ARRAY_UNARY(Cosh)
MATRIX_ARRAY_UNARY(Tanh)
MATRIX_ARRAY_UNARY(Log)
MATRIX_ARRAY_UNARY(Log2)
MATRIX_ARRAY_UNARY(Log10)
MATRIX_ARRAY_UNARY(Log1p)
MATRIX_ARRAY_UNARY(Expm1)
MATRIX_ARRAY_UNARY(Floor)
MATRIX_ARRAY_UNARY(Ceil)
MATRIX_ARRAY_UNARY(Fix)
MATRIX_ARRAY_BINARY(Atan2)
MATRIX_ARRAY_BINARY(Hypot)
MATRIX_ARRAY_BINARY(Rem)
inline Array Mod(const Array &x, double y) {
    return Array::Adopt(Mod(const_cast<CMatrix *>(x.get()), y));
}
inline Array Mod(const Array &x, const Array &y) {
    return Array::Adopt(Mod(const_cast<CMatrix *>(x.get()), const_cast<CMatrix *>(y.get())));
}

// Shape and construction from arrays.
MATRIX_ARRAY_UNARY(Transpose)
MATRIX_ARRAY_UNARY(Ctranspose)
MATRIX_ARRAY_UNARY(Tocolumn)
MATRIX_ARRAY_UNARY(Tomatrix)
MATRIX_ARRAY_UNARY(Isempty)
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
MATRIX_ARRAY_UNARY(Sum)
MATRIX_ARRAY_UNARY(Prod)
MATRIX_ARRAY_UNARY(All)
MATRIX_ARRAY_UNARY(Any)
MATRIX_ARRAY_UNARY(Find)
MATRIX_ARRAY_DIM(Sum)
MATRIX_ARRAY_DIM(Prod)
MATRIX_ARRAY_DIM(All)
MATRIX_ARRAY_DIM(Any)
MATRIX_ARRAY_UNARY(Cumsum)
MATRIX_ARRAY_UNARY(Cumprod)
MATRIX_ARRAY_UNARY(Mean)
MATRIX_ARRAY_UNARY(Var)
MATRIX_ARRAY_UNARY(Std)
MATRIX_ARRAY_DIM(Cumsum)
MATRIX_ARRAY_DIM(Cumprod)
MATRIX_ARRAY_DIM(Mean)
MATRIX_ARRAY_DIM(Var)
MATRIX_ARRAY_DIM(Std)
inline unsigned int Nnz(const Array &a) { return Nnz(a.get()); }
inline bool Isequal(const Array &a, const Array &b) { return Isequal(a.get(), b.get()); }
inline bool Tobool(const Array &a) { return Tobool(a.get()); }

// Linear algebra.
inline Array Mtimes(const Array &a, const Array &b) {
    return Array::Adopt(Mtimes(a.get(), b.get()));
}
inline Array Mldivide(const Array &a, const Array &b) {
    return Array::Adopt(Mldivide(a.get(), b.get()));
}
inline Array Mrdivide(const Array &a, const Array &b) {
    return Array::Adopt(Mrdivide(a.get(), b.get()));
}
inline double Det(const Array &a) { return Det(a.get()); }
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
inline Array Dot(const Array &a, const Array &b) { return Array::Adopt(Dot(a.get(), b.get())); }
inline Array Cross(const Array &a, const Array &b) { return Array::Adopt(Cross(a.get(), b.get())); }
inline Array Inv(const Array &a) { return Array::Adopt(Inv(a.get())); }
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
MATRIX_API ValuesPositions Max(const Array &a, unsigned int dim);
/// Returns the minima along the default dimension with their positions.
MATRIX_API ValuesPositions Min(const Array &a);
/// Returns the minima along `dim` with their positions.
MATRIX_API ValuesPositions Min(const Array &a, unsigned int dim);
/// Returns A sorted in ascending order along the default dimension with the
/// positions the elements came from, as Sort(Y, I, A); converts to the
/// sorted values alone. Throws as that function.
MATRIX_API ValuesPositions Sort(const Array &a);
/// Returns A sorted in the given order along the default dimension, with
/// positions. Throws as Sort(Y, I, A, order).
MATRIX_API ValuesPositions Sort(const Array &a, SortOrder order);
/// Returns A sorted in ascending order along `dim`, with positions. Throws
/// as Sort(Y, I, A, dim).
MATRIX_API ValuesPositions Sort(const Array &a, unsigned int dim);
/// Returns A sorted in the given order along `dim`, with positions. Throws
/// as Sort(Y, I, A, dim, order).
MATRIX_API ValuesPositions Sort(const Array &a, unsigned int dim, SortOrder order);
/// Returns the element-wise maximum of two arrays, as Max(A, B).
inline Array Max(const Array &a, const Array &b) { return Array::Adopt(Max(a.get(), b.get())); }
/// Returns the element-wise minimum of two arrays, as Min(A, B).
inline Array Min(const Array &a, const Array &b) { return Array::Adopt(Min(a.get(), b.get())); }

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

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_ARRAY_H
