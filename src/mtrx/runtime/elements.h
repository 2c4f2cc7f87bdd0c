// src/mtrx/runtime/elements.h: element reads and stores of real double
// arrays by whole scalar subscripts, for compiled loops: a plain load or
// store when the subscripts are in range, and otherwise the interpreter's
// own indexing, out of line, for its result or its exact error.
#ifndef MTRX_RUNTIME_ELEMENTS_H
#define MTRX_RUNTIME_ELEMENTS_H

#include "value.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace mtrx {

class Runtime;
class Scope;

/// A variable holding a real double array, read and written element by
/// element. v(i) and v(i, j) (j over the trailing dimensions together)
/// select the element the interpreter's element path selects.
///
/// As a view: Take() fixes the data pointer and extents for a loop in
/// which nothing else reads the variable whole or assigns it whole, so that
/// no other value can come to share the data written through the pointer.
/// A store out of range grows the array through the interpreter and takes
/// the view again.
class Elements {
public:
    /// Takes the data of `v`, a real double array or scalar (boxed here),
    /// or with `logical` a logical one; with `write`, unshared first. False, the view left empty (every
    /// access out of line), for any other value.
    bool Take(Value &v, bool write, bool logical = false);

    double Get(Scope &call, const Value &v, double i) const {
        if (__builtin_expect(i >= 1.0 && i <= static_cast<double>(m_numel), 1)) {
            const auto k = static_cast<std::size_t>(i);
            if (__builtin_expect(static_cast<double>(k) == i, 1)) return m_data[k - 1];
        }
        return ReadSlow(call, v, 1, i, 0.0);
    }
    double Get(Scope &call, const Value &v, double i, double j) const {
        std::size_t k;
        if (__builtin_expect(Position(i, j, k), 1)) return m_data[k];
        return ReadSlow(call, v, 2, i, j);
    }
    void Set(Scope &call, Value &v, double i, double x) {
        if (__builtin_expect(i >= 1.0 && i <= static_cast<double>(m_numel), 1)) {
            const auto k = static_cast<std::size_t>(i);
            if (__builtin_expect(static_cast<double>(k) == i, 1)) {
                m_data[k - 1] = x;
                return;
            }
        }
        StoreSlow(call, v, 1, i, 0.0, x);
    }
    void Set(Scope &call, Value &v, double i, double j, double x) {
        std::size_t k;
        if (__builtin_expect(Position(i, j, k), 1)) {
            m_data[k] = x;
            return;
        }
        StoreSlow(call, v, 2, i, j, x);
    }

    /// As Get and Set, for subscripts the caller knows to be whole numbers
    /// (of magnitude below 2^53): only their range is checked.
    double GetWhole(Scope &call, const Value &v, double i) const {
        if (__builtin_expect(i >= 1.0 && i <= static_cast<double>(m_numel), 1))
            return m_data[static_cast<std::size_t>(i) - 1];
        return ReadSlow(call, v, 1, i, 0.0);
    }
    double GetWhole(Scope &call, const Value &v, double i, double j) const {
        if (__builtin_expect(InRange(i, j), 1)) return m_data[WholePosition(i, j)];
        return ReadSlow(call, v, 2, i, j);
    }
    void SetWhole(Scope &call, Value &v, double i, double x) {
        if (__builtin_expect(i >= 1.0 && i <= static_cast<double>(m_numel), 1))
            m_data[static_cast<std::size_t>(i) - 1] = x;
        else
            StoreSlow(call, v, 1, i, 0.0, x);
    }
    void SetWhole(Scope &call, Value &v, double i, double j, double x) {
        if (__builtin_expect(InRange(i, j), 1))
            m_data[WholePosition(i, j)] = x;
        else
            StoreSlow(call, v, 2, i, j, x);
    }

    /// Whether `lo` is at least 1 and `hi` at most the extent subscript
    /// `position` of `count` runs over (v(i): the elements; v(i, j): the
    /// rows, the trailing dimensions together): for a counted loop, every
    /// whole number between two such ends is in range.
    [[gnu::always_inline]] bool Fits(unsigned int count, unsigned int position, double lo,
                                     double hi) const {
        const std::size_t extent = count == 1 ? m_numel : position == 0 ? m_rows : m_cols;
        return lo >= 1.0 && hi <= static_cast<double>(extent);
    }
    /// A whole number of magnitude at most 2^44: a few of them and a loop's
    /// value add exactly.
    [[gnu::always_inline]] static bool WholeTerm(double c) {
        return c >= -0x1p44 && c <= 0x1p44 && static_cast<double>(static_cast<long long>(c)) == c;
    }
    /// Plain loads and stores, for subscripts a Spans check has covered:
    /// a copy of the view's pointer and extent, which a loop keeps in
    /// registers, as nothing takes its address.
    struct Plain {
        double *data;
        std::size_t rows;
        // Subscripts as whole numbers, computed exactly in integers.
        double Load(long long i) const { return data[i - 1]; }
        double Load(long long i, long long j) const {
            return data[static_cast<std::size_t>(j - 1) * rows + static_cast<std::size_t>(i - 1)];
        }
        void Put(long long i, double x) const { data[i - 1] = x; }
        void Put(long long i, long long j, double x) const {
            data[static_cast<std::size_t>(j - 1) * rows + static_cast<std::size_t>(i - 1)] = x;
        }
        double *At(long long i) const { return data + (i - 1); }
        double *At(long long i, long long j) const {
            return data + (static_cast<std::size_t>(j - 1) * rows + static_cast<std::size_t>(i - 1));
        }
    };
    [[gnu::always_inline]] Plain Unchecked() const { return Plain{m_data, m_rows}; }
    /// Nonzero when x is NaN or infinite (x - x is then NaN, else +0):
    /// the bits OR together into one flag for a loop, which the C++
    /// compiler vectorizes.
    [[gnu::always_inline]] static unsigned long long Unfinite(double x) {
        const double z = x - x;
        unsigned long long bits;
        __builtin_memcpy(&bits, &z, sizeof bits);
        return bits;
    }

    /// One access without a view: the variable's data looked up each time.
    static double Read(Scope &call, Value &v, double i) {
        Elements e;
        e.Take(v, false);
        return e.Get(call, v, i);
    }
    static double Read(Scope &call, Value &v, double i, double j) {
        Elements e;
        e.Take(v, false);
        return e.Get(call, v, i, j);
    }
    static void Store(Scope &call, Value &v, double i, double x) {
        Elements e;
        e.Take(v, true);
        e.Set(call, v, i, x);
    }
    static void Store(Scope &call, Value &v, double i, double j, double x) {
        Elements e;
        e.Take(v, true);
        e.Set(call, v, i, j, x);
    }

    /// The same for a variable holding a logical array or scalar: its
    /// elements as bools, true stored as 1.
    static bool ReadLogical(Scope &call, Value &v, unsigned int n, double i, double j) {
        Elements e;
        if (e.Take(v, false, true)) {
            std::size_t k;
            if (n == 1 ? e.Linear(i, k) : e.Position(i, j, k)) return e.m_data[k] != 0.0;
        }
        return ReadLogicalSlow(call, v, n, i, j);
    }
    static void StoreLogical(Scope &call, Value &v, unsigned int n, double i, double j, bool x) {
        Elements e;
        if (e.Take(v, true, true)) {
            std::size_t k;
            if (n == 1 ? e.Linear(i, k) : e.Position(i, j, k)) {
                e.m_data[k] = x ? 1.0 : 0.0;
                return;
            }
        }
        StoreLogicalSlow(call, v, n, i, j, x);
    }

    /// The same for a variable holding an integer array of T's class (of at
    /// most 32 bits): its elements as T. A store outside the array grows it
    /// through the interpreter.
    template <class T>
    static T ReadInteger(Scope &call, Value &v, unsigned int n, double i, double j) {
        Elements e;
        std::size_t k;
        if (e.TakeInteger(v, false, ClassOf<T>()) && (n == 1 ? e.Linear(i, k) : e.Position(i, j, k)))
            return static_cast<const T *>(e.m_raw)[k];
        return static_cast<T>(ReadIntegerSlow(call, v, n, i, j, ClassOf<T>()));
    }
    template <class T>
    static void StoreInteger(Scope &call, Value &v, unsigned int n, double i, double j, T x) {
        Elements e;
        std::size_t k;
        if (e.TakeInteger(v, true, ClassOf<T>()) && (n == 1 ? e.Linear(i, k) : e.Position(i, j, k)))
            static_cast<T *>(e.m_raw)[k] = x;
        else
            StoreIntegerSlow(call, v, n, i, j, static_cast<double>(x), ClassOf<T>());
    }
    template <class T>
    static constexpr int ClassOf() {
        return std::is_same<T, std::int8_t>::value     ? 8
               : std::is_same<T, std::uint8_t>::value  ? 9
               : std::is_same<T, std::int16_t>::value  ? 10
               : std::is_same<T, std::uint16_t>::value ? 11
               : std::is_same<T, std::int32_t>::value  ? 12
                                                       : 13;
    }

    /// numel(v), length(v) and size(v, k) (k >= 1) of a variable holding a
    /// real double array or scalar; of any other value, the built-in's
    /// result or error.
    static double Numel(Runtime &rt, const Value &v) {
        if (v.tag() == Tag::Array) return static_cast<double>(v.array().Numel());
        return v.tag() == Tag::Scalar ? 1.0 : CountSlow(rt, v, "numel", 0);
    }
    static double Length(Runtime &rt, const Value &v) {
        if (v.tag() == Tag::Scalar) return 1.0;
        if (v.tag() != Tag::Array) return CountSlow(rt, v, "length", 0);
        const kiv::matrix::CMatrix *a = v.array().get();
        if (a->GetNoElems() == 0) return 0.0;
        unsigned int longest = 0;
        for (unsigned int d = 0; d < a->GetNoDimensions(); ++d)
            longest = a->GetDimensions()[d] > longest ? a->GetDimensions()[d] : longest;
        return static_cast<double>(longest);
    }
    static double Size(Runtime &rt, const Value &v, unsigned int k) {
        if (v.tag() == Tag::Scalar) return 1.0;
        if (v.tag() != Tag::Array) return CountSlow(rt, v, "size", k);
        const kiv::matrix::CMatrix *a = v.array().get();
        return k <= a->GetNoDimensions() ? static_cast<double>(a->GetDimensions()[k - 1]) : 1.0;
    }

    /// v(i) = rhs or v(i, j) = rhs (n subscripts) in place, as the
    /// interpreter's element path stores: when v is a real double array,
    /// rhs a real double scalar and the subscripts whole and in range.
    /// False, v unchanged, otherwise: the general assignment is the
    /// caller's.
    static bool StoreInPlace(Value &v, const Value &rhs, unsigned int n, double i, double j);

private:
    [[gnu::always_inline]] bool InRange(double i, double j) const {
        return i >= 1.0 && i <= static_cast<double>(m_rows) && j >= 1.0 &&
               j <= static_cast<double>(m_cols);
    }
    std::size_t WholePosition(double i, double j) const {
        return (static_cast<std::size_t>(j) - 1) * m_rows + (static_cast<std::size_t>(i) - 1);
    }
    bool Linear(double i, std::size_t &k) const {
        if (!(i >= 1.0 && i <= static_cast<double>(m_numel))) return false;
        k = static_cast<std::size_t>(i);
        if (static_cast<double>(k) != i) return false;
        --k;
        return true;
    }
    bool Position(double i, double j, std::size_t &k) const {
        if (!InRange(i, j)) return false;
        const auto r = static_cast<std::size_t>(i), c = static_cast<std::size_t>(j);
        if (static_cast<double>(r) != i || static_cast<double>(c) != j) return false;
        k = (c - 1) * m_rows + (r - 1);
        return true;
    }
    // v(i) or v(i, j) (n subscripts) through the interpreter: its value, or
    // its error, at the place the statement set with Where.
    [[gnu::cold, gnu::noinline]] static double ReadSlow(Scope &call, const Value &v, unsigned int n,
                                                        double i, double j);
    // Takes an integer array of class `id` (mxClassID) into m_raw.
    bool TakeInteger(Value &v, bool write, int id);
    [[gnu::cold, gnu::noinline]] static double ReadIntegerSlow(Scope &call, const Value &v, unsigned int n,
                                                               double i, double j, int id);
    [[gnu::cold, gnu::noinline]] static void StoreIntegerSlow(Scope &call, Value &v, unsigned int n,
                                                              double i, double j, double x, int id);
    [[gnu::cold, gnu::noinline]] static bool ReadLogicalSlow(Scope &call, const Value &v, unsigned int n,
                                                             double i, double j);
    [[gnu::cold, gnu::noinline]] static void StoreLogicalSlow(Scope &call, Value &v, unsigned int n,
                                                              double i, double j, bool x);
    // The built-in `name` of v (and k when not 0) through the interpreter.
    [[gnu::cold, gnu::noinline]] static double CountSlow(Runtime &rt, const Value &v, const char *name,
                                                         unsigned int k);
    // v(i) = x or v(i, j) = x through the interpreter (growth, or its
    // error, v unchanged), then the view taken again.
    [[gnu::cold, gnu::noinline]] void StoreSlow(Scope &call, Value &v, unsigned int n, double i,
                                                double j, double x);

    double *m_data = nullptr;
    void *m_raw = nullptr;  // of an integer array
    // Extents, compared as doubles with the subscripts before converting
    // them: 0 when the view is empty, so that every access goes out of line.
    // Not doubles themselves, so that a store of an element cannot alias
    // them and they stay in registers through a loop.
    std::size_t m_numel = 0, m_rows = 0, m_cols = 0;
    bool m_write = false;
};

}  // namespace mtrx

#endif  // MTRX_RUNTIME_ELEMENTS_H
