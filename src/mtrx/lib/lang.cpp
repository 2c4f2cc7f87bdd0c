// src/mtrx/lib/lang.cpp: the language's own functions: calling by handle or
// name, raising errors, classes and kind tests, and the order of
// arithmetic.
#include "lib/options.h"
#include "lib/support.h"
#include "text.h"

#include "evaluator.h"
#include "format.h"

#include <matrix/order.h>

#include <algorithm>
#include <cctype>

namespace mtrx {

namespace km = kiv::matrix;

namespace {

Outs ErrorBuiltin(const Args &args, BuiltinCall &) {
    if (args[0].IsStruct() && args[0].structure().values.size() ==
                                  args[0].structure().fields.size()) {
        const StructArray &r = args[0].structure();
        const int m = r.Field("message");
        const int i = r.Field("identifier");
        const Value *message = m >= 0 ? &r.values[static_cast<std::size_t>(m)] : nullptr;
        const Value *id = i >= 0 ? &r.values[static_cast<std::size_t>(i)] : nullptr;
        const auto text = [](const Value *v, const char *fallback) -> std::string {
            if (v && IsText(*v)) return Text(v->array());
            if (v && IsStringScalar(*v)) return v->strings().items[0];
            return fallback;
        };
        Error e(text(message, "Unknown error"));
        e.SetIdentifier(text(id, ""));
        throw e;
    }
    const auto [identifier, message] = MessageOf(args, "error");
    if (message.empty()) return {};
    Error e(message);
    e.SetIdentifier(identifier);
    throw e;
}

// The fields of a caught error (the struct a catch gives): its message,
// identifier and stack; refuses any other value.
struct Caught {
    std::string message;
    std::string identifier;
    std::vector<StackEntry> stack;
};

Caught CaughtError(const Args &args) {
    const char *const what = "a caught error: a struct with a message";
    if (!args[0].IsStruct() || Count(args[0].structure().dims) != 1) args.Refuse(0, what);
    const StructArray &r = args[0].structure();
    const auto text = [&](const char *name, bool needed) -> std::string {
        const int f = r.Field(name);
        if (f < 0) {
            if (needed) args.Refuse(0, what);
            return {};
        }
        const Value &v = r.At(0, static_cast<std::size_t>(f));
        if (IsText(v)) return Text(v.array());
        if (IsStringScalar(v)) return v.strings().items[0];
        if (needed || !(v.IsArray() && v.array().Numel() == 0)) args.Refuse(0, what);
        return {};
    };
    Caught out{text("message", true), text("identifier", false), {}};
    const int f = r.Field("stack");
    if (f < 0) return out;
    const Value &stack = r.At(0, static_cast<std::size_t>(f));
    if (!stack.IsStruct()) return out;
    const StructArray &frames = stack.structure();
    const int file = frames.Field("file"), name = frames.Field("name"), line = frames.Field("line");
    if (file < 0 || name < 0 || line < 0) return out;
    for (std::size_t k = 0; k < Count(frames.dims); ++k) {
        const Value &l = frames.At(k, static_cast<std::size_t>(line));
        const Value &fi = frames.At(k, static_cast<std::size_t>(file));
        const Value &n = frames.At(k, static_cast<std::size_t>(name));
        double number = 0;
        if (l.tag() == Tag::Scalar)
            number = l.scalar();
        else if (l.IsArray() && l.array().Numel() == 1)
            number = km::mxGetScalar(l.array().get());
        out.stack.push_back({IsText(fi) ? Text(fi.array()) : std::string(),
                             IsText(n) ? Text(n.array()) : std::string(),
                             static_cast<int>(number)});
    }
    return out;
}

// rethrow(err): raises the caught error again, with its identifier and the
// stack it was caught with.
Outs Rethrow(const Args &args, BuiltinCall &c) {
    Caught caught = CaughtError(args);
    Error e(caught.message);
    e.SetIdentifier(caught.identifier);
    c.evaluator.Rethrow(e, std::move(caught.stack));
}

// getReport(err): the message, then "Error in NAME (line N)" for each frame
// of its stack, one a line, as an uncaught error is reported.
Outs GetReport(const Args &args, BuiltinCall &) {
    const Caught caught = CaughtError(args);
    std::string text = caught.message;
    for (const StackEntry &frame : caught.stack) {
        text += "\nError in " + frame.name;
        if (frame.line > 0) text += " (line " + std::to_string(frame.line) + ")";
    }
    return {Value(CharArray(text))};
}

// An identifier of MException: empty, or two or more parts joined by
// colons, each a letter followed by letters, digits, underscores or hyphens.
bool ValidIdentifier(const std::string &id) {
    if (id.empty()) return true;
    std::size_t parts = 0;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = std::min(id.find(':', start), id.size());
        if (end == start || !std::isalpha(static_cast<unsigned char>(id[start]))) return false;
        for (std::size_t k = start; k < end; ++k) {
            const unsigned char ch = static_cast<unsigned char>(id[k]);
            if (!std::isalnum(ch) && ch != '_' && ch != '-') return false;
        }
        ++parts;
        if (end == id.size()) break;
        start = end + 1;
    }
    return parts >= 2;
}

// MException(id, format, ...): an error record as a catch gives one, not
// yet raised: its identifier, the message formatted as sprintf formats it,
// and an empty stack.
Outs MExceptionBuiltin(const Args &args, BuiltinCall &c) {
    const std::string id = args.GetText(0);
    if (!ValidIdentifier(id))
        throw Error("'MException': the identifier '" + id +
                    "' must be 'component:mnemonic' (letters, digits, _ and -, parts joined by "
                    "colons)");
    std::string message = args.GetText(1);
    try {
        message = Format(message, args.From(2), c.name);
    } catch (const Error &) {
        // Not a format after all: with nothing to format, the text as it is.
        if (args.size() > 2) throw;
    }
    StructArray stack;
    stack.fields = {"file", "name", "line"};
    stack.dims = {0, 1};
    return {ScalarStruct({{"message", Value(CharArray(message))},
                          {"identifier", Value(CharArray(id))},
                          {"stack", Value(std::move(stack))}})};
}

// throw(err): raises the error of a record from a catch or MException, its
// stack starting where it is thrown.
Outs Throw(const Args &args, BuiltinCall &) {
    const Caught caught = CaughtError(args);
    Error e(caught.message);
    e.SetIdentifier(caught.identifier);
    throw e;
}

// addCause(err, cause): err with cause appended to its 'cause' field (a
// column cell of error records, added when err has none).
Outs AddCause(const Args &args, BuiltinCall &) {
    CaughtError(args);
    if (!args[1].IsStruct() || Count(args[1].structure().dims) != 1)
        args.Refuse(1, "a caught error or an MException");
    Value out = args[0];
    StructArray &r = out.MutableStruct();
    int f = r.Field("cause");
    if (f < 0) {
        r.fields.push_back("cause");
        CellArray none;
        none.dims = {0, 1};
        r.values.emplace_back(std::move(none));
        f = static_cast<int>(r.fields.size() - 1);
    }
    Value &slot = r.values[static_cast<std::size_t>(f)];
    CellArray causes;
    causes.dims = {0, 1};
    if (slot.IsCell()) causes = slot.cell();
    causes.items.push_back(args[1]);
    causes.dims = {static_cast<unsigned int>(causes.items.size()), 1};
    slot = Value(std::move(causes));
    return {out};
}

Outs Feval(const Args &args, BuiltinCall &c) {
    return c.evaluator.Invoke(args[0], args.From(1), c.nargout);
}

Outs Func2str(const Args &args, BuiltinCall &) { return {CharArray(args.GetHandle(0).text)}; }

Outs Class(const Args &args, BuiltinCall &) {
    return {Array(args[0].ClassName())};
}

template <int Which>
Outs Is(const Args &args, BuiltinCall &) {
    if (Which == 2) return {Logical(args[0].IsCell())};
    if (!args[0].IsArray()) return {Logical(false)};
    const Array &a = args[0].array();
    switch (Which) {
        case 0: return {Logical(a.IsLogical())};
        case 1: return {Logical(IsChar(a))};
        case 2: return {Logical(IsCell(a))};
        case 3: return {Logical(!IsChar(a) && !IsCell(a) && !a.IsLogical())};
        default: return {Logical(!IsComplex(a))};
    }
}

Outs LogicalBuiltin(const Args &args, BuiltinCall &) {
    return {Array::Adopt(km::Logical(args.GetArray(0).get()))};
}

Outs Isequal(const Args &args, BuiltinCall &) {
    bool same = true;
    for (std::size_t k = 1; k < args.size() && same; ++k) {
        // Strings equal strings of the same shape and texts.
        if (args[0].tag() == Tag::String || args[k].tag() == Tag::String) {
            same = args[0].tag() == args[k].tag() &&
                   args[0].strings().dims == args[k].strings().dims &&
                   args[0].strings().items == args[k].strings().items;
            continue;
        }
        same = km::Isequal(args.GetArray(0), args.GetArray(k));
    }
    return {Logical(same)};
}

// order() names the thread's order of Qr, least squares and eigenvectors;
// order('fast') and order('stated') choose it.
Outs OrderBuiltin(const Args &args, BuiltinCall &) {
    if (args.empty()) return {Array(km::GetOrder() == km::Order::kFast ? "fast" : "stated")};
    (void)args.GetText(0);  // refuses a value that is not text
    const int word = WordIndex(args, 0, {"fast", "stated"});
    if (word < 0) throw Error("'order' takes 'fast' or 'stated'");
    km::SetOrder(word == 0 ? km::Order::kFast : km::Order::kStated);
    return {};
}

const BuiltinEntry kEntries[] = {
    {"feval", Feval, 1, kAny, kAny, "feval(f, x, ...)",
     "Calls the function handle f, or the function named f, with the arguments."},
    {"func2str", Func2str, 1, 1, 1, "func2str(f)", "The text of a function handle."},
    {"error", ErrorBuiltin, 1, kAny, kAny,
     "error(message), error('id:part', format, ...), error(err)",
     "Raises an error: formatted as sprintf, with an identifier, or rethrowing a caught one."},
    {"rethrow", Rethrow, 1, 1, 0, "rethrow(err)",
     "Raises a caught error again, with its identifier and the stack it was caught with."},
    {"getReport", GetReport, 1, 1, 1, "text = getReport(err)",
     "The message of a caught error, then the functions it passed through, one a line."},
    {"MException", MExceptionBuiltin, 2, kAny, 1, "ME = MException('id:part', format, ...)",
     "An error record (message, identifier, stack) as a catch gives one, for throw or error."},
    {"throw", Throw, 1, 1, 0, "throw(ME)",
     "Raises the error of an MException or a caught error, its stack starting here."},
    {"addCause", AddCause, 2, 2, 1, "ME = addCause(ME, cause)",
     "The error record with another error record appended to its cause list."},
    {"class", Class, 1, 1, 1, "class(x)", "The class name: double, logical, char, cell, ..."},
    {"logical", LogicalBuiltin, 1, 1, 1, "logical(A)",
     "True (1) where A is not zero, as a logical array; NaN and complex values are refused."},
    {"islogical", Is<0>, 1, 1, 1, "islogical(x)", "True for a logical array."},
    {"ischar", Is<1>, 1, 1, 1, "ischar(x)", "True for a char array."},
    {"iscell", Is<2>, 1, 1, 1, "iscell(x)", "True for a cell array."},
    {"isnumeric", Is<3>, 1, 1, 1, "isnumeric(x)", "True for a numeric array."},
    {"isreal", Is<5>, 1, 1, 1, "isreal(x)", "True for an array without an imaginary part."},
    {"isequal", Isequal, 2, kAny, 1, "isequal(A, B, ...)",
     "True when the arrays have the same size and values."},
    {"order", OrderBuiltin, 0, 1, 1, "order, order('fast'), order('stated')",
     "The order of arithmetic of factorizations and solves, or a choice of it."},
};

}  // namespace

Library LangLibrary() {
    return {"lang", "The language: calls, errors, classes", kEntries, std::size(kEntries)};
}

}  // namespace mtrx
