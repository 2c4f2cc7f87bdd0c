// src/mtrx/lib/registry.h: the built-in functions: how one is declared (an
// entry of its library's table), how it reads its arguments, and how the
// interpreter finds it by name.
#ifndef MTRX_LIB_REGISTRY_H
#define MTRX_LIB_REGISTRY_H

#include "value.h"

#include <cstddef>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

namespace mtrx {

class Evaluator;
struct Expr;

/// A count of inputs or outputs without a bound.
constexpr std::size_t kAny = std::numeric_limits<std::size_t>::max();

/// What a built-in gets besides its arguments.
struct BuiltinCall {
    Evaluator &evaluator;
    std::ostream &display;
    const std::string &name;
    unsigned int nargout;  // 0 for a statement, 1 in an expression, n for [a, ...] =
    /// The call as written, when it was written as one (not through feval or
    /// a handle): display() takes the names of its arguments from it.
    const Expr *site = nullptr;
};

/// The arguments of one built-in call, read through typed accessors. Each
/// accessor takes a zero-based position and refuses a wrong argument with
/// mtrx::Error "Argument K of 'NAME' must be ...", K counted from 1. The
/// view does not own the values; it lives for the call.
class Args {
public:
    Args(const std::vector<Value> &values, const std::string &name)
        : m_values(values), m_name(name) {}

    std::size_t size() const { return m_values.size(); }
    bool empty() const { return m_values.empty(); }
    /// True when there is an argument at position k.
    bool Has(std::size_t k) const { return k < m_values.size(); }
    const Value &operator[](std::size_t k) const { return m_values[k]; }
    const std::vector<Value> &All() const { return m_values; }
    /// The arguments from position k on, copied.
    std::vector<Value> From(std::size_t k) const;
    const std::string &Name() const { return m_name; }

    /// True when argument k is a char array or a string scalar.
    bool IsText(std::size_t k) const;
    /// An array (not a handle or a record).
    const Array &GetArray(std::size_t k) const;
    /// A one-element array, as a double.
    double GetScalar(std::size_t k) const;
    double GetScalar(std::size_t k, double fallback) const {
        return Has(k) ? GetScalar(k) : fallback;
    }
    /// A whole number that an int holds.
    int GetWhole(std::size_t k) const;
    int GetWhole(std::size_t k, int fallback) const { return Has(k) ? GetWhole(k) : fallback; }
    /// A whole number from 1 up.
    unsigned int GetPositive(std::size_t k) const;
    /// A length: a whole number, negative ones meaning 0.
    unsigned int GetLength(std::size_t k) const;
    /// The lengths in a numeric array, each as GetLength.
    std::vector<unsigned int> GetLengths(std::size_t k) const;
    /// The UTF-8 text of a char array or a string scalar.
    std::string GetText(std::size_t k) const;
    std::string GetText(std::size_t k, const std::string &fallback) const {
        return Has(k) ? GetText(k) : fallback;
    }
    /// A function handle.
    const Handle &GetHandle(std::size_t k) const;
    /// Any value, for its shape only: an array or cell as array(), any
    /// other value as a double array of zeros of its dimensions.
    Array GetShape(std::size_t k) const;
    /// A cell array.
    const CellArray &GetCell(std::size_t k) const;
    /// A struct (array).
    const StructArray &GetStruct(std::size_t k) const;

    /// Throws "Argument K of 'NAME' must be WHAT".
    [[noreturn]] void Refuse(std::size_t k, const std::string &what) const;

private:
    const std::vector<Value> &m_values;
    const std::string &m_name;
};

/// A built-in function: returns its outputs (none for disp). The registry
/// has checked the counts of its entry before it runs.
using Builtin = std::vector<Value> (*)(const Args &args, BuiltinCall &call);

/// One built-in: a row of its library's table. The usage line and the help
/// text are what `help NAME` prints.
struct BuiltinEntry {
    const char *name;
    Builtin function;
    std::size_t min_inputs;
    std::size_t max_inputs;   // kAny: no bound
    std::size_t max_outputs;  // kAny: no bound; 0 refuses even ans
    const char *usage;
    const char *help;
};

/// A library of built-ins: one source file under lib/ and its table.
struct Library {
    const char *name;   // as `help` lists it
    const char *title;  // one line on what it holds
    const BuiltinEntry *entries;
    std::size_t count;
};

/// The libraries, in the order `help` lists them.
const std::vector<Library> &Libraries();

/// The reference of every built-in, in Markdown: a section per library, a
/// row per function with its usage and help. docs/functions.md is this text.
std::string FunctionsMarkdown();

/// Returns the built-in called `name`, or null.
const BuiltinEntry *FindBuiltin(const std::string &name);

/// Runs `entry` after checking its counts: "Not enough input arguments for
/// 'NAME'", "Too many input arguments for 'NAME'", "Too many output
/// arguments for 'NAME'".
std::vector<Value> CallBuiltin(const BuiltinEntry &entry, const std::vector<Value> &args,
                               BuiltinCall &call);

// The tables, one per file of lib/.
Library ElmathLibrary();
Library ComplexLibrary();
Library ConstructLibrary();
Library ShapeLibrary();
Library LinalgLibrary();
Library DataLibrary();
Library SetsLibrary();
Library StatsLibrary();
Library StringsLibrary();
Library CellsLibrary();
Library StructsLibrary();
Library ClassesLibrary();
Library LangLibrary();
Library FunfunLibrary();
Library SignalLibrary();
Library SessionLibrary();
Library ConsoleLibrary();
Library OpsLibrary();
Library TextLibrary();
Library RegexpLibrary();
Library TimeLibrary();
Library ChecksLibrary();
Library PolyfunLibrary();
Library FileioLibrary();
Library FilesLibrary();
Library NumericFilesLibrary();
Library JsonLibrary();
Library ElfunLibrary();
Library FiguresLibrary();
Library PlotsLibrary();

}  // namespace mtrx

#endif  // MTRX_LIB_REGISTRY_H
