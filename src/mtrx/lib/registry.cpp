// src/mtrx/lib/registry.cpp: joins the libraries' tables into one lookup,
// checks a call's counts against its entry, and reads arguments for the
// built-ins.
#include "lib/registry.h"

#include "format.h"
#include "lib/support.h"
#include "text.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace mtrx {

namespace km = kiv::matrix;

const std::vector<Library> &Libraries() {
    // One library per line, in the order of the reference (docs/functions.md).
    static const std::vector<Library> libraries = {
        ElmathLibrary(),
        ElfunLibrary(),
        ComplexLibrary(),
        ClassesLibrary(),
        ConstructLibrary(),
        ShapeLibrary(),
        LinalgLibrary(),
        DataLibrary(),
        StatsLibrary(),
        SetsLibrary(),
        PolyfunLibrary(),
        SignalLibrary(),
        StringsLibrary(),
        TextLibrary(),
        RegexpLibrary(),
        CellsLibrary(),
        StructsLibrary(),
        LangLibrary(),
        FunfunLibrary(),
        TimeLibrary(),
        ChecksLibrary(),
        FileioLibrary(),
        NumericFilesLibrary(),
        FilesLibrary(),
        JsonLibrary(),
        PlotsLibrary(),
        FiguresLibrary(),
        SessionLibrary(),
        ConsoleLibrary(),
        OpsLibrary(),
    };
    return libraries;
}

std::string FunctionsMarkdown() {
    // A table cell may not hold a bare '|'.
    const auto cell = [](std::string text) {
        for (std::size_t at = text.find('|'); at != std::string::npos; at = text.find('|', at + 2))
            text.replace(at, 1, "\\|");
        return text;
    };
    std::string text =
        "# The built-in functions of mtrx\n\n"
        "Generated from the interpreter's registry by `mtrx --functions`; `help NAME`\n"
        "prints the same usage and text at the prompt.\n";
    for (const Library &library : Libraries()) {
        text += "\n## " + std::string(library.name) + ": " + library.title + "\n\n";
        text += "| function | usage | what it does |\n|---|---|---|\n";
        for (std::size_t k = 0; k < library.count; ++k) {
            const BuiltinEntry &e = library.entries[k];
            text += "| `" + std::string(e.name) + "` | `" + cell(e.usage) + "` | " + cell(e.help) +
                    " |\n";
        }
    }
    return text;
}

const BuiltinEntry *FindBuiltin(const std::string &name) {
    // Built once; a name in two tables is a mistake of the tables, and the
    // first library listed keeps it.
    static const std::unordered_map<std::string, const BuiltinEntry *> index = [] {
        std::unordered_map<std::string, const BuiltinEntry *> map;
        for (const Library &library : Libraries())
            for (std::size_t k = 0; k < library.count; ++k)
                map.emplace(library.entries[k].name, &library.entries[k]);
        return map;
    }();
    auto it = index.find(name);
    return it == index.end() ? nullptr : it->second;
}

std::vector<Value> CallBuiltin(const BuiltinEntry &entry, const std::vector<Value> &args,
                               BuiltinCall &call) {
    if (args.size() < entry.min_inputs)
        throw Error("Not enough input arguments for '" + call.name + "'");
    if (args.size() > entry.max_inputs)
        throw Error("Too many input arguments for '" + call.name + "'");
    if (call.nargout > entry.max_outputs)
        throw Error("Too many output arguments for '" + call.name + "'");
    return entry.function(Args(args, call.name), call);
}

std::vector<Value> Args::From(std::size_t k) const {
    if (k >= m_values.size()) return {};
    return std::vector<Value>(m_values.begin() + static_cast<std::ptrdiff_t>(k), m_values.end());
}

void Args::Refuse(std::size_t k, const std::string &what) const {
    throw Error("Argument " + std::to_string(k + 1) + " of '" + m_name + "' must be " + what);
}

bool Args::IsText(std::size_t k) const {
    return mtrx::IsText(m_values[k]) || IsStringScalar(m_values[k]);
}

const Array &Args::GetArray(std::size_t k) const {
    if (!m_values[k].IsArray() && !m_values[k].IsCell()) Refuse(k, "an array");
    return m_values[k].array();
}

double Args::GetScalar(std::size_t k) const {
    const Value &v = m_values[k];
    double x;
    if (v.RealScalar(x)) return x;
    if (!v.IsArray() || v.array().Numel() != 1) Refuse(k, "a scalar");
    return v.array().Scalar();
}

int Args::GetWhole(std::size_t k) const {
    const Value &v = m_values[k];
    if (!v.IsArray() || v.array().Numel() != 1) Refuse(k, "a whole number");
    const double x = v.array().Scalar();
    if (!(x == std::floor(x)) || std::fabs(x) > 2147483647.0) Refuse(k, "a whole number");
    return static_cast<int>(x);
}

unsigned int Args::GetPositive(std::size_t k) const {
    const Value &v = m_values[k];
    if (!v.IsArray() || v.array().Numel() != 1)
        Refuse(k, "a positive whole number");
    const double x = v.array().Scalar();
    if (!(x >= 1) || x != std::floor(x) || x > 4294967295.0) Refuse(k, "a positive whole number");
    return static_cast<unsigned int>(x);
}

namespace {

// A length: a whole number, negative ones meaning 0; false when it is not.
bool ToLength(double v, unsigned int &out) {
    if (std::isnan(v) || v != std::floor(v)) return false;
    if (v > 4294967295.0) throw Error("Size inputs are too large");
    out = v < 0 ? 0u : static_cast<unsigned int>(v);
    return true;
}

}  // namespace

unsigned int Args::GetLength(std::size_t k) const {
    const Value &v = m_values[k];
    if (!v.IsArray() || v.array().Numel() != 1) Refuse(k, "a whole number");
    unsigned int n;
    if (!ToLength(v.array().Scalar(), n)) Refuse(k, "a whole number");
    return n;
}

std::vector<unsigned int> Args::GetLengths(std::size_t k) const {
    const Value &v = m_values[k];
    if (!v.IsArray() || IsChar(v.array()) || !IsDouble(v.array()))
        Refuse(k, "a row of whole numbers");
    std::vector<unsigned int> out;
    for (double x : v.array().ToVector()) {
        unsigned int n;
        if (!ToLength(x, n)) Refuse(k, "a row of whole numbers");
        out.push_back(n);
    }
    return out;
}

std::string Args::GetText(std::size_t k) const {
    if (!IsText(k)) Refuse(k, "text");
    if (m_values[k].tag() == Tag::String) return m_values[k].strings().items[0];
    return Text(m_values[k].array());
}

const Handle &Args::GetHandle(std::size_t k) const {
    if (!m_values[k].IsHandle()) Refuse(k, "a function handle");
    return m_values[k].handle();
}

Array Args::GetShape(std::size_t k) const {
    const Value &v = m_values[k];
    if (v.IsArray()) return v.array();
    if (v.IsCell() && Displayable(v)) return v.array();
    const Dims dims = v.Dimensions();
    return Array::Adopt(
        kiv::matrix::Zeros(static_cast<unsigned int>(dims.size()), dims.data()));
}

const CellArray &Args::GetCell(std::size_t k) const {
    if (!m_values[k].IsCell()) Refuse(k, "a cell array");
    return m_values[k].cell();
}

const StructArray &Args::GetStruct(std::size_t k) const {
    if (!m_values[k].IsStruct()) Refuse(k, "a struct");
    return m_values[k].structure();
}

// Helpers of the library files.

IdentifiedMessage MessageOf(const Args &args, const char *name) {
    std::string first = args.GetText(0);
    std::string identifier;
    std::size_t rest = 1;
    if (args.size() > 1 && first.find(':') != std::string::npos &&
        first.find_first_of(" \t\n") == std::string::npos) {
        identifier = first;
        first = args.GetText(1);
        rest = 2;
    }
    std::string message =
        args.size() > rest || rest == 2 ? Format(first, args.From(rest), name) : first;
    return {identifier, message};
}

Array CharRows(const std::vector<std::string> &rows) { return Array::Adopt(km::CharRows(rows)); }

std::vector<unsigned int> Lengths(const Args &args, std::size_t first) {
    std::vector<unsigned int> dims;
    const std::size_t n = args.size() - first;
    if (n == 1 && args.GetArray(first).Numel() != 1) {
        dims = args.GetLengths(first);
        if (dims.size() < 2) throw Error("A size vector needs at least two lengths");
        return dims;
    }
    for (std::size_t k = first; k < args.size(); ++k) dims.push_back(args.GetLength(k));
    if (dims.empty()) dims = {1, 1};
    if (dims.size() == 1) dims.push_back(dims[0]);
    return dims;
}

}  // namespace mtrx
