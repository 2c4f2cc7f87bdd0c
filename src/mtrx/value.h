// src/mtrx/value.h: what a variable holds: one tagged value, a scalar held
// unboxed or one of the shared payloads (array, cell, struct, string array,
// function handle).
#ifndef MTRX_VALUE_H
#define MTRX_VALUE_H

#include "parser.h"

#include <matrix/array.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mtrx {

using kiv::matrix::Array;

/// A parsed source text with the file it came from (empty for snippets and
/// the prompt). Function handles and running calls hold it, so the syntax
/// trees they point into outlive the Run that parsed them.
struct Unit {
    std::string file;
    std::string folder;  // searched first for functions called from here
    Program program;
    std::map<std::string, const Function *> functions;
};

/// Parses `source`, the text of `file` (empty for snippets). Throws
/// mtrx::Error on a syntax error.
std::shared_ptr<const Unit> Compile(const std::string &source, const std::string &file);

/// What a Value holds. Unset marks a variable slot with no value yet; no
/// expression ever yields it.
enum class Tag : std::uint8_t { Unset, Scalar, Array, Cell, Struct, String, Handle };

class Value;
struct CellArray;
struct StructArray;
struct StringArray;
struct Handle;

/// Dimensions as the library gives them: at least two, trailing ones beyond
/// the second dropped.
using Dims = std::vector<unsigned int>;

/// The number of elements of an array of `dims`.
std::size_t Count(const Dims &dims);
/// "2x3", as sizes are written in messages and displays.
std::string DimsText(const Dims &dims);

/// A value. Copying shares the payload; the writers (the Mutable* accessors)
/// copy it first when it is shared, so a copy never sees a later write.
class Value {
public:
    /// The empty double array.
    Value() : m_tag(Tag::Array) {}
    /// An array; a library cell array becomes a Cell of its elements.
    Value(Array a);
    /// The real double scalar x, unboxed.
    explicit Value(double x) : m_tag(Tag::Scalar), m_scalar(x) {}
    explicit Value(CellArray c);
    explicit Value(StructArray s);
    explicit Value(StringArray s);
    explicit Value(std::shared_ptr<const Handle> h);
    // A copy shares the payload; the array made for a scalar or a cell is
    // not copied (the copy makes its own when asked).
    Value(const Value &o) : m_tag(o.m_tag), m_scalar(o.m_scalar), m_payload(o.m_payload) {
        if (o.m_tag == Tag::Array) m_array = o.m_array;
    }
    Value &operator=(const Value &o) {
        if (this == &o) return *this;
        m_tag = o.m_tag;
        m_scalar = o.m_scalar;
        m_payload = o.m_payload;
        if (o.m_tag == Tag::Array)
            m_array = o.m_array;
        else
            m_array.reset();
        return *this;
    }
    Value(Value &&) noexcept = default;
    Value &operator=(Value &&) noexcept = default;
    ~Value() = default;
    static Value Unset() {
        Value v;
        v.m_tag = Tag::Unset;
        return v;
    }

    /// Makes the value the real double scalar x, reusing its storage.
    void SetScalar(double x) {
        if (m_payload) m_payload.reset();
        if (m_array) m_array.reset();
        m_tag = Tag::Scalar;
        m_scalar = x;
    }

    Tag tag() const { return m_tag; }
    /// The element of a Tag::Scalar value.
    double scalar() const { return m_scalar; }
    bool IsUnset() const { return m_tag == Tag::Unset; }
    /// True for a numeric, char or logical array (a scalar included).
    bool IsArray() const { return m_tag == Tag::Scalar || m_tag == Tag::Array; }
    bool IsCell() const { return m_tag == Tag::Cell; }
    bool IsStruct() const { return m_tag == Tag::Struct; }
    bool IsHandle() const { return m_tag == Tag::Handle; }
    /// True, with the element in x, for a real, non-logical double scalar.
    bool RealScalar(double &x) const {
        if (m_tag == Tag::Scalar) {
            x = m_scalar;
            return true;
        }
        if (m_tag != Tag::Array || !m_array) return false;
        const kiv::matrix::CMatrix *a = m_array->get();
        if (a->GetNoElems() != 1 || !a->IsDouble() || a->IsComplex() || a->IsLogical())
            return false;
        x = *static_cast<const double *>(a->GetPr());
        return true;
    }
    /// The array. A cell of arrays is given as a library cell array (made
    /// anew on each call); a struct, a handle or a string array throws
    /// mtrx::Error.
    const Array &array() const;
    /// The array, to be written in place: unshared first. Only for Array
    /// and Scalar values (a scalar is boxed).
    Array &MutableArray();

    const CellArray &cell() const { return *static_cast<const CellArray *>(m_payload.get()); }
    const StructArray &structure() const {
        return *static_cast<const StructArray *>(m_payload.get());
    }
    const StringArray &strings() const {
        return *static_cast<const StringArray *>(m_payload.get());
    }
    const Handle &handle() const { return *static_cast<const Handle *>(m_payload.get()); }
    /// The payload, copied first when another value shares it.
    CellArray &MutableCell();
    StructArray &MutableStruct();

    /// The dimensions, for every tag (a handle is 1x1).
    Dims Dimensions() const;
    /// The name class() reports.
    const char *ClassName() const;

private:
    [[noreturn]] void ThrowNotArray() const;

    Tag m_tag;
    double m_scalar = 0.0;
    // Tag::Array (made on first use for the default empty array); for an
    // unboxed scalar or a cell, the array given to the library.
    mutable std::optional<Array> m_array;
    // Tag::Cell, Struct, String, Handle.
    std::shared_ptr<void> m_payload;
};

/// A cell array: any values, in column-major order.
struct CellArray {
    Dims dims{0, 0};
    std::vector<Value> items;
};

/// A struct array: the field names in their order, and each element's value
/// of each field: values[element * fields.size() + field].
struct StructArray {
    Dims dims{1, 1};
    std::vector<std::string> fields;
    std::vector<Value> values;
    /// The position of `name` among the fields, or -1.
    int Field(const std::string &name) const;
    /// Adds the field (empty in every element) when it is missing; returns
    /// its position.
    std::size_t AddField(const std::string &name);
    const Value &At(std::size_t element, std::size_t field) const {
        return values[element * fields.size() + field];
    }
    Value &At(std::size_t element, std::size_t field) {
        return values[element * fields.size() + field];
    }
};

/// A string array: UTF-8 texts in column-major order.
struct StringArray {
    Dims dims{1, 1};
    std::vector<std::string> items;
};

/// @name or @(params) body.
struct Handle {
    std::string name;                  // of @name; empty for an anonymous function
    std::shared_ptr<const Unit> unit;  // where names in it are looked up
    // Of an anonymous function, owned by unit: the @(...) node (its scope
    // names the slots of a call) and its body.
    const Expr *anon = nullptr;
    const Expr *body = nullptr;
    // The slots a call starts from: the parameters unset, the values the
    // body reads captured from the workspace that made the handle.
    std::vector<Value> captured;
    std::string text;  // as written, for display
};

/// The library cell array holding the elements of `c` (each through
/// Value::array()).
Array ToLibrary(const CellArray &c);

/// True when the value converts to a library array: arrays, and cells of
/// them (the library's display can then show it).
bool Displayable(const Value &value);

/// A 1x1 struct of the fields, in their order.
Value ScalarStruct(std::vector<std::pair<std::string, Value>> fields);

}  // namespace mtrx

#endif  // MTRX_VALUE_H
