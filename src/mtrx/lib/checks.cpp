// src/mtrx/lib/checks.cpp: checking values: assert, validateattributes,
// and lasterr.
#include "lib/support.h"

#include "evaluator.h"
#include "format.h"
#include "text.h"

#include <algorithm>
#include <cmath>

namespace mtrx {

namespace km = kiv::matrix;

namespace {

// assert(cond), assert(cond, message, values...), assert(cond, id,
// message, values...): raises "Assertion failed." (or the message, formatted
// as sprintf formats it) unless cond is true.
Outs Assert(const Args &args, BuiltinCall &) {
    const Value &v = args[0];
    bool holds = false;
    if (v.IsArray()) {
        const Array &a = v.array();
        if (a.Numel() != 1 || IsChar(a) || IsComplex(a))
            throw Error("The condition of 'assert' must be a logical or numeric scalar");
        const double x = RealNumbers(a)[0];
        if (std::isnan(x)) throw Error("The condition of 'assert' must not be NaN");
        holds = x != 0;
    } else {
        throw Error("The condition of 'assert' must be a logical or numeric scalar");
    }
    if (holds) return {};
    if (args.size() == 1) throw Error("Assertion failed.");
    const std::vector<Value> rest = args.From(1);
    const Args message(rest, args.Name());
    // The message is a format even alone, as it is with values.
    IdentifiedMessage m = MessageOf(message, "assert");
    if (m.identifier.empty() && message.size() == 1) {
        try {
            m.message = Format(m.message, {}, "assert");
        } catch (const Error &) {
            // Not a format after all: the text as it is.
        }
    }
    Error e(m.message);
    e.SetIdentifier(m.identifier);
    throw e;
}

// The class test of validateattributes: 'numeric' takes every numeric
// class, 'float' double and single, 'integer' the integer classes.
bool OfClass(const Value &v, const std::string &name) {
    const std::string cls = v.ClassName();
    if (name == cls) return true;
    if (!v.IsArray()) return false;
    const Array &a = v.array();
    const bool numeric = !IsChar(a) && !a.IsLogical() && !IsCell(a);
    if (name == "numeric") return numeric;
    if (name == "float") return cls == "double" || cls == "single";
    if (name == "integer") return numeric && cls != "double" && cls != "single";
    return false;
}

// validateattributes(A, classes, attributes, [function], [name], [index]):
// raises an error naming what A fails, "Expected input to be positive.",
// with the argument's name and position ("Expected input number 2, x, to
// be ...") and the function ("f: Expected ...") when given.
Outs Validateattributes(const Args &args, BuiltinCall &c) {
    const Value &v = args[0];
    std::vector<std::string> classes;
    if (args[1].IsCell() || args[1].tag() == Tag::String)
        classes = ToStrings(args[1], c.name).items;
    else if (args.IsText(1) && !args.GetText(1).empty())
        classes = {args.GetText(1)};
    else if (!(args[1].IsArray() && args[1].array().Numel() == 0))
        args.Refuse(1, "a cell of class names");
    if (!args[2].IsCell() && !(args[2].IsArray() && args[2].array().Numel() == 0))
        args.Refuse(2, "a cell of attributes");
    std::string function, name = "input";
    int index = 0;
    if (args.Has(3)) function = args.GetText(3);
    if (args.Has(4)) name = args.GetText(4);
    if (args.Has(5)) index = static_cast<int>(args.GetPositive(5));
    std::string who = "input";
    if (index > 0)
        who = "input number " + std::to_string(index) + (args.Has(4) && !name.empty() ? ", " + name + "," : "");
    else if (args.Has(4) && !name.empty())
        who = name;
    const auto fail = [&](const std::string &what) {
        throw Error((function.empty() ? "" : function + ": ") + "Expected " + who + " to be " +
                    what);
    };
    if (!classes.empty() &&
        std::none_of(classes.begin(), classes.end(), [&](const std::string &k) { return OfClass(v, k); })) {
        std::string list;
        for (std::size_t k = 0; k < classes.size(); ++k) list += (k ? ", " : "") + classes[k];
        fail("one of these types:\n\n" + list + "\n\nInstead its type was " + v.ClassName() + ".");
    }
    const Dims dims = v.Dimensions();
    const std::size_t count = Count(dims);
    const bool numbers = v.IsArray() && !IsCell(v.array());
    std::vector<double> re, im;
    if (numbers) {
        const Array &a = v.array();
        re = RealNumbers(IsComplex(a) ? Array(km::Real(a)) : a);
        if (IsComplex(a)) im = RealNumbers(Array::Adopt(km::Imag(a.get())));
    }
    const auto all = [&](auto test) { return std::all_of(re.begin(), re.end(), test); };
    const bool vector = dims.size() == 2 && (dims[0] == 1 || dims[1] == 1);
    const std::vector<Value> &attributes =
        args[2].IsCell() ? args[2].cell().items : std::vector<Value>{};
    for (std::size_t k = 0; k < attributes.size(); ++k) {
        if (!IsText(attributes[k]) && !IsStringScalar(attributes[k]))
            throw Error("The attributes of 'validateattributes' must be names (text), each "
                        "followed by its value where it takes one");
        const std::string a = IsText(attributes[k]) ? Text(attributes[k].array())
                                                    : attributes[k].strings().items[0];
        // The attributes that take a value read it from the next element.
        const auto value = [&]() -> const Array & {
            if (k + 1 >= attributes.size() || !attributes[k + 1].IsArray())
                throw Error("The attribute '" + a + "' of 'validateattributes' needs a value");
            return attributes[++k].array();
        };
        const auto bound = [&]() {
            const Array &b = value();
            if (b.Numel() != 1 || IsChar(b))
                throw Error("The attribute '" + a + "' of 'validateattributes' needs a number");
            return RealNumbers(b)[0];
        };
        const auto real = [&] { return im.empty() || std::all_of(im.begin(), im.end(), [](double x) { return x == 0; }); };
        if (a == "nonempty") {
            if (count == 0) fail("nonempty.");
        } else if (a == "scalar") {
            if (count != 1) fail("a scalar.");
        } else if (a == "vector") {
            if (!vector || count == 0) fail("a vector.");
        } else if (a == "row") {
            if (dims.size() != 2 || dims[0] != 1) fail("a row vector.");
        } else if (a == "column") {
            if (dims.size() != 2 || dims[1] != 1) fail("a column vector.");
        } else if (a == "2d") {
            if (dims.size() != 2) fail("two-dimensional.");
        } else if (a == "square") {
            if (dims.size() != 2 || dims[0] != dims[1]) fail("a square matrix.");
        } else if (a == "nonsparse") {
        } else if (a == "real") {
            if (!numbers || !real()) fail("real.");
        } else if (a == "finite") {
            if (!numbers || !all([](double x) { return std::isfinite(x); }) ||
                !std::all_of(im.begin(), im.end(), [](double x) { return std::isfinite(x); }))
                fail("finite.");
        } else if (a == "nonnan") {
            if (!numbers || !all([](double x) { return !std::isnan(x); }) ||
                !std::all_of(im.begin(), im.end(), [](double x) { return !std::isnan(x); }))
                fail("non-NaN.");
        } else if (a == "positive") {
            if (!numbers || !real() || !all([](double x) { return x > 0; })) fail("positive.");
        } else if (a == "nonnegative") {
            if (!numbers || !real() || !all([](double x) { return x >= 0; })) fail("nonnegative.");
        } else if (a == "nonzero") {
            if (!numbers || !all([](double x) { return x != 0; })) fail("nonzero.");
        } else if (a == "integer") {
            if (!numbers || !real() ||
                !all([](double x) { return std::isfinite(x) && x == std::floor(x); }))
                fail("integer-valued.");
        } else if (a == "binary") {
            if (!numbers || !all([](double x) { return x == 0 || x == 1; })) fail("binary.");
        } else if (a == "even" || a == "odd") {
            const double r = a == "even" ? 0 : 1;
            if (!numbers || !real() || !all([r](double x) {
                    return std::isfinite(x) && x == std::floor(x) && std::fabs(std::fmod(x, 2)) == r;
                }))
                fail(a == "even" ? "even." : "odd.");
        } else if (a == "increasing" || a == "decreasing" || a == "nondecreasing" ||
                   a == "nonincreasing") {
            bool ok = numbers && real() && (vector || count == 0);
            for (std::size_t i = 1; ok && i < re.size(); ++i) {
                const double x = re[i - 1], y = re[i];
                ok = a == "increasing"      ? x < y
                     : a == "decreasing"    ? x > y
                     : a == "nondecreasing" ? x <= y
                                            : x >= y;
            }
            if (ok && std::any_of(re.begin(), re.end(), [](double x) { return std::isnan(x); }))
                ok = false;
            if (!ok) fail(a + " valued.");
        } else if (a == ">" || a == ">=" || a == "<" || a == "<=") {
            const double b = bound();
            const bool ok = numbers && all([&](double x) {
                return a == ">" ? x > b : a == ">=" ? x >= b : a == "<" ? x < b : x <= b;
            });
            if (!ok) {
                const std::string text = NumberString(b);
                fail("an array with all of the values " + a + " " + text + ".");
            }
        } else if (a == "size") {
            const Array &want = value();
            const std::vector<double> w = RealNumbers(want);
            bool ok = w.size() == dims.size() || (w.size() > dims.size() &&
                                                   std::all_of(w.begin() + static_cast<long>(dims.size()), w.end(),
                                                               [](double x) { return x == 1 || std::isnan(x); }));
            for (std::size_t d = 0; ok && d < w.size(); ++d)
                ok = std::isnan(w[d]) || (d < dims.size() ? dims[d] : 1) == w[d];
            if (!ok) {
                std::string shape;
                for (std::size_t d = 0; d < w.size(); ++d)
                    shape += (d ? "x" : "") + (std::isnan(w[d]) ? std::string("N") : NumberString(w[d]));
                fail("of size " + shape + " when it is actually size " + DimsText(dims) + ".");
            }
        } else if (a == "numel") {
            const double n = bound();
            if (static_cast<double>(count) != n)
                fail("an array with number of elements equal to " + NumberString(n) + ".");
        } else if (a == "ncols" || a == "nrows" || a == "ndims") {
            const double n = bound();
            const double have = a == "ncols"   ? (dims.size() > 1 ? dims[1] : 1)
                                : a == "nrows" ? dims[0]
                                               : static_cast<double>(dims.size());
            if (have != n)
                fail("an array with " + std::string(a == "ncols" ? "number of columns"
                                                   : a == "nrows" ? "number of rows"
                                                                  : "number of dimensions") +
                     " equal to " + NumberString(n) + ".");
        } else {
            throw Error("'validateattributes' does not know the attribute '" + a + "'");
        }
    }
    return {};
}

Outs Lasterr(const Args &, BuiltinCall &c) {
    if (c.nargout < 2) return {CharArray(c.evaluator.LastError())};
    return {CharArray(c.evaluator.LastError()), CharArray(c.evaluator.LastErrorIdentifier())};
}

const BuiltinEntry kEntries[] = {
    {"assert", Assert, 1, kAny, 0, "assert(cond), assert(cond, message, ...), assert(cond, id, message, ...)",
     "Raises \"Assertion failed.\" (or the formatted message) unless cond is true."},
    {"validateattributes", Validateattributes, 3, 6, 0,
     "validateattributes(A, classes, attributes, function, name, index)",
     "Raises an error unless A is of one of the classes and has every attribute listed."},
    {"lasterr", Lasterr, 0, 0, 2, "[msg, id] = lasterr",
     "The message and identifier of the last error caught or reported."},
};

}  // namespace

Library ChecksLibrary() {
    return {"checks", "Checking values: assert, validateattributes", kEntries, std::size(kEntries)};
}

}  // namespace mtrx
