// src/mtrx/value.h: what a variable holds: an array, a function handle or a
// record of named fields.
#ifndef MTRX_VALUE_H
#define MTRX_VALUE_H

#include "parser.h"

#include <matrix/array.h>

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

/// A value that is not an array.
class Object {
public:
    virtual ~Object() = default;
    /// The name class() reports.
    virtual const char *ClassName() const = 0;
};

/// A value. A real double scalar may be held unboxed, as a plain double:
/// arithmetic on scalars then makes no array until one is needed, and the
/// array it makes is the one the library would have made.
class Value {
public:
    /// The empty array.
    Value() = default;
    Value(Array a) : m_array(std::move(a)) {}
    /// The real double scalar x.
    explicit Value(double x) : m_scalar(x), m_unboxed(true) {}
    explicit Value(std::shared_ptr<const Object> o) : m_object(std::move(o)) {}

    bool IsArray() const { return !m_object; }
    const Object *object() const { return m_object.get(); }
    /// True, with the element in x, for a real, non-logical double scalar.
    bool RealScalar(double &x) const {
        if (m_unboxed) {
            x = m_scalar;
            return true;
        }
        if (m_object || !m_array) return false;
        const kiv::matrix::CMatrix *a = m_array->get();
        if (a->GetNoElems() != 1 || !a->IsDouble() || a->IsComplex() || a->IsLogical())
            return false;
        x = *static_cast<const double *>(a->GetPr());
        return true;
    }
    /// The array. Throws mtrx::Error when the value is a handle or a record.
    const Array &array() const {
        if (m_object) ThrowNotArray();
        if (!m_array) m_array.emplace(m_unboxed ? Array(m_scalar) : Array());
        return *m_array;
    }

private:
    [[noreturn]] void ThrowNotArray() const;

    // Made on first use for unboxed scalars and the default empty array.
    mutable std::optional<Array> m_array;
    double m_scalar = 0.0;
    bool m_unboxed = false;
    std::shared_ptr<const Object> m_object;
};

/// @name or @(params) body.
struct Handle : Object {
    const char *ClassName() const override { return "function_handle"; }
    std::string name;                  // of @name; empty for an anonymous function
    std::shared_ptr<const Unit> unit;  // where names in it are looked up
    const Expr *body = nullptr;        // of an anonymous function, owned by unit
    std::vector<std::string> params;
    std::map<std::string, Value> captured;  // the workspace values the body names
    std::string text;                       // as written, for display
};

/// A value with named fields, such as the error a catch receives.
struct Record : Object {
    const char *ClassName() const override { return "struct"; }
    std::vector<std::pair<std::string, Value>> fields;
    const Value *Find(const std::string &name) const {
        for (const auto &f : fields)
            if (f.first == name) return &f.second;
        return nullptr;
    }
};

}  // namespace mtrx

#endif  // MTRX_VALUE_H
