// src/mtrx/value.h: what a variable holds: an array, a function handle or a
// record of named fields.
#ifndef MTRX_VALUE_H
#define MTRX_VALUE_H

#include "parser.h"

#include <matrix/array.h>

#include <map>
#include <memory>
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

/// A value that is not an array.
class Object {
public:
    virtual ~Object() = default;
    /// The name class() reports.
    virtual const char *ClassName() const = 0;
};

class Value {
public:
    /// The empty array.
    Value() = default;
    Value(Array a) : m_array(std::move(a)) {}
    explicit Value(std::shared_ptr<const Object> o) : m_object(std::move(o)) {}

    bool IsArray() const { return !m_object; }
    const Object *object() const { return m_object.get(); }
    /// The array. Throws mtrx::Error when the value is a handle or a record.
    const Array &array() const {
        if (m_object) ThrowNotArray();
        return m_array;
    }

private:
    [[noreturn]] void ThrowNotArray() const;

    Array m_array;
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
