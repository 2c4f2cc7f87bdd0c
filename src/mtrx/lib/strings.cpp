// src/mtrx/lib/strings.cpp: text and formatting: sprintf, fprintf, num2str,
// the string class's conversions, and the functions that search and edit
// texts, each taking char rows, strings and string arrays alike.
#include "lib/files.h"
#include "lib/support.h"
#include "lib/texts.h"

#include "format.h"
#include "text.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iostream>

namespace mtrx {

namespace km = kiv::matrix;

Texts TextsOf(const Args &args, std::size_t k) {
    const Value &v = args[k];
    if (v.tag() == Tag::String) return {Texts::Form::String, v.strings()};
    if (v.IsCell()) return {Texts::Form::Cell, ToStrings(v, args.Name())};
    if (!args.IsText(k) || v.array().Rows() > 1 || v.array().NDims() > 2)
        args.Refuse(k, "a char row, a string array or a cell of texts");
    return {Texts::Form::Char, ToStrings(v, args.Name())};
}

Value Back(Texts::Form form, StringArray s) {
    switch (form) {
        case Texts::Form::String: return Value(std::move(s));
        case Texts::Form::Cell: {
            CellArray c;
            c.dims = s.dims;
            for (const std::string &t : s.items) c.items.emplace_back(CharArray(t));
            return Value(std::move(c));
        }
        default: return CharArray(s.items.empty() ? std::string() : s.items[0]);
    }
}

std::vector<std::uint16_t> ArrayUnits(const Array &a) {
    const auto *units = static_cast<const std::uint16_t *>(a.get()->GetPr());
    return std::vector<std::uint16_t>(units, units + a.Numel());
}

Array CharOfUnits(const std::vector<std::uint16_t> &units, unsigned int rows, unsigned int cols) {
    const unsigned int dims[2] = {rows, cols};
    Array out =
        Array::Adopt(km::mxCreateNumericArray(2, dims, km::mxClassChar, km::mxComplexityReal));
    if (!units.empty())
        std::copy(units.begin(), units.end(), static_cast<std::uint16_t *>(out.get()->GetPr()));
    return out;
}

std::vector<std::uint16_t> TextUnits(const std::string &text) {
    const std::vector<double> codes = CodeUnits(text);
    return std::vector<std::uint16_t>(codes.begin(), codes.end());
}

Array FalseArray(const Dims &dims) {
    Array out = Array::Adopt(km::Zeros(static_cast<unsigned int>(dims.size()), dims.data()));
    km::mxSetLogical(out.get());
    return out;
}

std::vector<std::string> Patterns(const Args &args, std::size_t k) {
    if (args.IsText(k) && !(args[k].IsArray() && args[k].array().Rows() > 1))
        return {args.GetText(k)};
    if (args[k].tag() == Tag::String || args[k].IsCell())
        return ToStrings(args[k], args.Name()).items;
    args.Refuse(k, "text, a string array or a cell of texts");
}

namespace {

// A string format gives a string, a char one a char row.
Outs Sprintf(const Args &args, BuiltinCall &c) {
    const std::string text = Format(args.GetText(0), args.From(1), c.name);
    if (args[0].tag() == Tag::String) return {StringScalar(text)};
    return {CharArray(text)};
}

Outs Fprintf(const Args &args, BuiltinCall &c) {
    // fprintf(fid, ...) writes to an open file: 1 the output, 2 the error
    // stream.
    if (!args.IsText(0)) {
        if (args.size() < 2) throw Error("Not enough input arguments for 'fprintf'");
        const std::string text = Format(args.GetText(1), args.From(2), c.name);
        const double count = PrintToFile(args, c, text);
        if (c.nargout == 1) return {Value(count)};
        return {};
    }
    const std::string text = Format(args.GetText(0), args.From(1), c.name);
    c.display << text;
    if (c.nargout == 1) return {Array(text.size())};
    return {};
}

Outs Num2str(const Args &args, BuiltinCall &c) {
    if (args[0].tag() == Tag::String) return {CharRows(ToStrings(args[0], c.name).items)};
    const Array &a = args.GetArray(0);
    if (IsChar(a)) return {a};
    if (args.size() == 2 && args.IsText(1)) {
        const std::string format = args.GetText(1);
        std::vector<std::string> rows;
        const unsigned int n = a.Rows();
        for (unsigned int i = 1; i <= n; ++i)
            rows.push_back(Format(format, {a(km::Subscript(i), km::Subscript(km::All))}, c.name));
        return {CharRows(rows.empty() ? std::vector<std::string>{""} : rows)};
    }
    const std::vector<std::string> rows =
        // Beyond 17 significant digits a double prints the same; the bound
        // also keeps a count of 2^31 or more from turning negative as an int.
        args.size() == 2 ? NumberText(a, static_cast<int>(std::min(args.GetPositive(1), 17u)))
                         : NumberText(a);
    return {CharRows(rows.empty() ? std::vector<std::string>{""} : rows)};
}

std::uint16_t Lower(std::uint16_t u);

// One operand of strcmp and its kin, element by element: the texts of a
// cell or string array (none for an element that is not text), or one
// text, or none for anything else (one element either way).
struct Compared {
    Dims dims{1, 1};
    bool many = false;  // a cell or a string array: the result takes its shape
    std::vector<bool> text;
    std::vector<std::vector<std::uint16_t>> units;
    std::vector<Dims> shapes;  // of a char array, compared with its shape; empty for a string
};

Compared ComparedOf(const Value &v) {
    Compared c;
    const auto add = [&c](const Value &x) {
        if (x.tag() == Tag::String && x.strings().items.size() == 1) {
            c.text.push_back(true);
            c.units.push_back(TextUnits(x.strings().items[0]));
            c.shapes.emplace_back();  // a string: no shape of its own
        } else if (IsText(x)) {
            c.text.push_back(true);
            c.units.push_back(ArrayUnits(x.array()));
            c.shapes.push_back(x.array().Dims());
        } else {
            c.text.push_back(false);
            c.units.emplace_back();
            c.shapes.emplace_back();
        }
    };
    if (v.IsCell()) {
        c.dims = v.cell().dims;
        c.many = true;
        for (const Value &x : v.cell().items) add(x);
    } else if (v.tag() == Tag::String) {
        c.dims = v.strings().dims;
        c.many = true;
        for (const std::string &t : v.strings().items) add(StringScalar(t));
    } else {
        add(v);
    }
    return c;
}

// strcmp, strcmpi, strncmp, strncmpi: true where two texts are the same
// (in their first n code units for the counted forms, ignoring case for
// the insensitive ones); a text against a cell or string array gives a
// logical array of its shape, two of them compare element by element.
template <bool Insensitive, bool Counted>
Outs Compare(const Args &args, BuiltinCall &c) {
    std::size_t n = 0;
    if (Counted) {
        const double x = args.GetScalar(2);
        if (!(x >= 0) || x != std::floor(x)) args.Refuse(2, "a whole number from 0 up");
        n = x > 4e9 ? static_cast<std::size_t>(4e9) : static_cast<std::size_t>(x);
    }
    const Compared a = ComparedOf(args[0]);
    const Compared b = ComparedOf(args[1]);
    const auto same = [&](std::size_t i, std::size_t j) {
        if (!a.text[i] || !b.text[j]) return false;
        std::vector<std::uint16_t> x = a.units[i], y = b.units[j];
        if (Counted) {
            if (x.size() > n) x.resize(n);
            if (y.size() > n) y.resize(n);
        } else if (a.shapes[i] != b.shapes[j]) {
            // A string equals a char row (or '') of its text.
            const Dims &d = a.shapes[i].empty() ? b.shapes[j] : a.shapes[i];
            if (!a.shapes[i].empty() && !b.shapes[j].empty()) return false;
            if (d.size() > 2 || (d[0] > 1 && Count(d) > 0)) return false;
        }
        if (Insensitive) {
            for (auto &u : x) u = Lower(u);
            for (auto &u : y) u = Lower(u);
        }
        return x == y;
    };
    if (!a.many && !b.many) return {Logical(same(0, 0))};
    const std::size_t na = a.text.size(), nb = b.text.size();
    const bool aOne = !a.many || na == 1, bOne = !b.many || nb == 1;
    if (!aOne && !bOne && a.dims != b.dims)
        throw Error("The cells or string arrays of '" + c.name + "' must be of one size (" +
                    DimsText(a.dims) + " and " + DimsText(b.dims) + "), or one of them a text");
    // The shape of the operand that is not a single text.
    const Dims dims = a.many && !(aOne && !bOne) ? a.dims : b.dims;
    Array out = FalseArray(dims);
    km::DoubleSpan data = out.MutableData();
    for (std::size_t k = 0; k < data.size; ++k)
        data[k] = same(aOne ? 0 : k, bOne ? 0 : k) ? 1.0 : 0.0;
    return {out};
}

// The code units of a char array of its own, to be written in place.
std::uint16_t *UnitsOf(Array &a) { return static_cast<std::uint16_t *>(a.get()->GetPr()); }

// A char array of `dims` holding the whole numbers of `v` as code units.
Array CharOfNumbers(const Args &args, std::size_t k) {
    const Array &a = args.GetArray(k);
    if (IsComplex(a) || IsCell(a)) args.Refuse(k, "real numbers, text or a cell of texts");
    const std::vector<unsigned int> dims = a.Dims();
    Array out =
        Array::Adopt(km::mxCreateNumericArray(static_cast<unsigned int>(dims.size()), dims.data(),
                                              km::mxClassChar, km::mxComplexityReal));
    std::uint16_t *units = UnitsOf(out);
    const std::vector<double> v = RealNumbers(a);
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (!(v[i] >= 0 && v[i] <= 65535) || v[i] != std::floor(v[i]))
            args.Refuse(k, "whole numbers from 0 to 65535");
        units[i] = static_cast<std::uint16_t>(v[i]);
    }
    return out;
}

Outs StringBuiltin(const Args &args, BuiltinCall &c) { return {Value(ToStrings(args[0], c.name))}; }

// The rows of a char matrix as UTF-8 texts, blanks kept.
std::vector<std::string> TextRows(const Array &a) {
    std::vector<std::string> rows;
    const unsigned int n = a.Rows();
    for (unsigned int i = 1; i <= n; ++i)
        rows.push_back(Text(a(km::Subscript(i), km::Subscript(km::All))));
    return rows;
}

// char(a, b, ...): the rows of every argument, one char matrix padded with
// blanks; an empty text still gives its (blank) row.
Outs CharOfSeveral(const Args &args, BuiltinCall &c) {
    std::vector<std::string> rows;
    for (std::size_t k = 0; k < args.size(); ++k) {
        const Value &v = args[k];
        if (v.tag() == Tag::String || v.IsCell()) {
            for (std::string &t : ToStrings(v, c.name).items) rows.push_back(std::move(t));
            continue;
        }
        const Array a = args.IsText(k) ? args.GetArray(k) : CharOfNumbers(args, k);
        if (a.Numel() == 0) {
            rows.emplace_back();
            continue;
        }
        if (a.NDims() > 2) args.Refuse(k, "a char matrix, not an N-d array");
        for (std::string &t : TextRows(a)) rows.push_back(std::move(t));
    }
    return {CharRows(rows)};
}

Outs CharBuiltin(const Args &args, BuiltinCall &c) {
    if (args.size() > 1) return CharOfSeveral(args, c);
    const Value &v = args[0];
    if (v.tag() == Tag::String || v.IsCell()) {
        const StringArray s = ToStrings(v, c.name);
        // One row per element, in column-major order.
        return {CharRows(s.items.empty() ? std::vector<std::string>{} : s.items)};
    }
    if (args.IsText(0)) return {v};
    return {CharOfNumbers(args, 0)};
}

// double(x): the code units of a char array, the numbers of a string's
// texts (NaN for a text that is not one), any real array as doubles.
Outs DoubleBuiltin(const Args &args, BuiltinCall &) {
    const Value &v = args[0];
    if (v.tag() == Tag::Scalar) return {v};
    if (v.tag() == Tag::String) {
        const StringArray &s = v.strings();
        Array out = Array::Adopt(km::mxCreateNumericArray(static_cast<unsigned int>(s.dims.size()),
                                                          s.dims.data(), km::mxClassDouble,
                                                          km::mxComplexityReal));
        km::DoubleSpan data = out.MutableData();
        for (std::size_t k = 0; k < s.items.size(); ++k) {
            const char *begin = s.items[k].c_str();
            char *end = nullptr;
            const double x = std::strtod(begin, &end);
            while (end && (*end == ' ' || *end == '\t')) ++end;
            // Decimal only: strtod would also read hexadecimal.
            const bool hex = s.items[k].find_first_of("xX") != std::string::npos;
            data[k] = end != begin && end && *end == '\0' && !hex ? x : std::nan("");
        }
        return {out};
    }
    const Array &a = args.GetArray(0);
    if (IsCell(a)) args.Refuse(0, "an array or a string");
    if (IsDouble(a) && !a.IsLogical()) return {a};
    if (IsChar(a)) {
        const std::vector<unsigned int> dims = a.Dims();
        Array out = Array::Adopt(km::mxCreateNumericArray(static_cast<unsigned int>(dims.size()),
                                                          dims.data(), km::mxClassDouble,
                                                          km::mxComplexityReal));
        km::DoubleSpan data = out.MutableData();
        const auto *units = static_cast<const std::uint16_t *>(a.get()->GetPr());
        for (std::size_t k = 0; k < data.size; ++k) data[k] = units[k];
        return {out};
    }
    if (IsComplex(a)) args.Refuse(0, "real");
    const std::vector<double> numbers = RealNumbers(a);
    const std::vector<unsigned int> dims = a.Dims();
    Array out =
        Array::Adopt(km::mxCreateNumericArray(static_cast<unsigned int>(dims.size()), dims.data(),
                                              km::mxClassDouble, km::mxComplexityReal));
    std::copy(numbers.begin(), numbers.end(), out.MutableData().begin());
    return {out};
}

Outs Strlength(const Args &args, BuiltinCall &) {
    const Texts t = TextsOf(args, 0);
    Array out = Array::Adopt(km::mxCreateNumericArray(static_cast<unsigned int>(t.s.dims.size()),
                                                      t.s.dims.data(), km::mxClassDouble,
                                                      km::mxComplexityReal));
    km::DoubleSpan data = out.MutableData();
    for (std::size_t k = 0; k < t.s.items.size(); ++k)
        data[k] = static_cast<double>(mtrx::Units(t.s.items[k]));
    return {out};
}

Outs Isstring(const Args &args, BuiltinCall &) { return {Logical(args[0].tag() == Tag::String)}; }

// The case of a code unit: ASCII and Latin-1 letters change, others stay.
std::uint16_t Upper(std::uint16_t u) {
    if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7)) return u - 0x20;
    return u;
}
std::uint16_t Lower(std::uint16_t u) {
    if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7)) return u + 0x20;
    return u;
}

template <std::uint16_t (*F)(std::uint16_t)>
Array CaseOf(const Array &a) {
    Array out = Array::Adopt(km::mxDuplicateArray(a.get()));
    std::uint16_t *units = UnitsOf(out);
    for (unsigned int k = 0; k < out.Numel(); ++k) units[k] = F(units[k]);
    return out;
}

template <std::uint16_t (*F)(std::uint16_t)>
Outs ChangeCase(const Args &args, BuiltinCall &) {
    if (args[0].IsArray() && IsChar(args[0].array())) return {CaseOf<F>(args[0].array())};
    Texts t = TextsOf(args, 0);
    for (std::string &s : t.s.items) s = Text(CaseOf<F>(CharArray(s)));
    return {Back(t.form, std::move(t.s))};
}

bool Blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == '\0';
}

Outs Strtrim(const Args &args, BuiltinCall &) {
    Texts t = TextsOf(args, 0);
    for (std::string &s : t.s.items) {
        std::size_t begin = 0;
        std::size_t end = s.size();
        while (begin < end && Blank(s[begin])) ++begin;
        while (end > begin && Blank(s[end - 1])) --end;
        s = s.substr(begin, end - begin);
    }
    return {Back(t.form, std::move(t.s))};
}

// Every match of `from`, left to right and not overlapping, replaced.
std::string Replaced(const std::string &s, const std::string &from, const std::string &to) {
    if (from.empty()) return s;
    std::string out;
    std::size_t at = 0;
    for (std::size_t hit; (hit = s.find(from, at)) != std::string::npos; at = hit + from.size())
        out += s.substr(at, hit - at) + to;
    return out + s.substr(at);
}

Outs Strrep(const Args &args, BuiltinCall &) {
    Texts t = TextsOf(args, 0);
    const std::string from = args.GetText(1);
    const std::string to = args.GetText(2);
    for (std::string &s : t.s.items) s = Replaced(s, from, to);
    return {Back(t.form, std::move(t.s))};
}

std::vector<std::string> Delimiters(const Args &args, std::size_t k) {
    if (!args.Has(k)) return {" ", "\t", "\n", "\r", "\v", "\f"};
    std::vector<std::string> out = Patterns(args, k);
    // Escapes as in a format: strsplit(s, '\t').
    for (std::string &d : out) d = Format(d, {}, args.Name());
    return out;
}

}  // namespace

std::vector<std::string> SplitAt(const std::string &s, const std::vector<std::string> &delimiters) {
    std::vector<std::string> parts;
    std::string part;
    bool after = false;
    for (std::size_t i = 0; i < s.size();) {
        std::size_t length = 0;
        for (const std::string &d : delimiters)
            if (!d.empty() && d.size() > length && s.compare(i, d.size(), d) == 0)
                length = d.size();
        if (length == 0) {
            part += s[i++];
            after = false;
            continue;
        }
        if (!after) parts.push_back(std::move(part));
        part.clear();
        after = true;
        i += length;
    }
    parts.push_back(std::move(part));
    return parts;
}

namespace {

// strsplit: consecutive delimiters count as one; the longest delimiter
// matching at a place wins.
Outs Strsplit(const Args &args, BuiltinCall &) {
    const Texts t = TextsOf(args, 0);
    if (t.s.items.size() != 1) args.Refuse(0, "one text");
    const std::string &s = t.s.items[0];
    const std::vector<std::string> delimiters = Delimiters(args, 1);
    StringArray parts;
    parts.items = SplitAt(s, delimiters);
    parts.dims = {1, static_cast<unsigned int>(parts.items.size())};
    return {Back(t.form == Texts::Form::String ? Texts::Form::String : Texts::Form::Cell,
                 std::move(parts))};
}

Outs Strjoin(const Args &args, BuiltinCall &) {
    const Texts t = TextsOf(args, 0);
    if (t.form == Texts::Form::Char) args.Refuse(0, "a cell of texts or a string array");
    const std::string between = args.Has(1) ? Format(args.GetText(1), {}, args.Name()) : " ";
    std::string out;
    for (std::size_t k = 0; k < t.s.items.size(); ++k) out += (k ? between : "") + t.s.items[k];
    if (t.form == Texts::Form::String || (args.Has(1) && args[1].tag() == Tag::String))
        return {StringScalar(out)};
    return {CharArray(out)};
}

enum class Where { Anywhere, Start, End };

// The text with every letter lowered (UTF-16 units through Lower).
std::string Folded(const std::string &text) {
    std::vector<std::uint16_t> units = TextUnits(text);
    for (std::uint16_t &u : units) u = Lower(u);
    return Text(CharOfUnits(units, 1, static_cast<unsigned int>(units.size())));
}

// contains, startsWith, endsWith (s, pattern, 'IgnoreCase', tf).
template <Where W>
Outs Search(const Args &args, BuiltinCall &c) {
    const Texts t = TextsOf(args, 0);
    std::vector<std::string> patterns = Patterns(args, 1);
    bool ignoreCase = false;
    if (args.Has(2)) {
        if (!args.IsText(2) || Folded(args.GetText(2)) != "ignorecase") args.Refuse(2, "'IgnoreCase'");
        if (!args.Has(3)) throw Error("'" + c.name + "': 'IgnoreCase' needs a value, true or false");
        const double v = args.GetScalar(3);
        if (v != 0 && v != 1) args.Refuse(3, "true or false");
        ignoreCase = v == 1;
    }
    if (ignoreCase)
        for (std::string &p : patterns) p = Folded(p);
    const auto hit = [&](const std::string &text) {
        const std::string s = ignoreCase ? Folded(text) : text;
        for (const std::string &p : patterns) {
            if (p.size() > s.size()) continue;
            if (W == Where::Anywhere && s.find(p) != std::string::npos) return true;
            if (W == Where::Start && s.compare(0, p.size(), p) == 0) return true;
            if (W == Where::End && s.compare(s.size() - p.size(), p.size(), p) == 0) return true;
        }
        return false;
    };
    Array out = Array::Adopt(km::mxCreateNumericArray(static_cast<unsigned int>(t.s.dims.size()),
                                                      t.s.dims.data(), km::mxClassDouble,
                                                      km::mxComplexityReal));
    km::DoubleSpan data = out.MutableData();
    for (std::size_t k = 0; k < t.s.items.size(); ++k) data[k] = hit(t.s.items[k]) ? 1.0 : 0.0;
    km::mxSetLogical(out.get());
    return {out};
}

// strcat: char rows lose their trailing blanks and join; with a string
// among the arguments every text joins as it is, into a string.
Outs Strcat(const Args &args, BuiltinCall &) {
    bool strings = false;
    for (std::size_t k = 0; k < args.size(); ++k) {
        if (!args.IsText(k) || (args[k].IsArray() && args[k].array().Rows() > 1))
            args.Refuse(k, "a char row or a string");
        strings = strings || args[k].tag() == Tag::String;
    }
    std::string out;
    for (std::size_t k = 0; k < args.size(); ++k) {
        std::string s = args.GetText(k);
        if (!strings)
            while (!s.empty() && Blank(s.back())) s.pop_back();
        out += s;
    }
    if (strings) return {StringScalar(out)};
    return {CharArray(out)};
}

const BuiltinEntry kEntries[] = {
    {"sprintf", Sprintf, 1, kAny, 1, "s = sprintf(format, A, ...)",
     "Formats the elements of the arguments as C's printf does, repeating the format."},
    {"fprintf", Fprintf, 1, kAny, 1, "fprintf(format, A, ...), fprintf(fid, format, A, ...)",
     "Writes formatted text to the output (fid 1) or the error stream (fid 2)."},
    {"num2str", Num2str, 1, 2, 1, "num2str(A), num2str(A, digits), num2str(A, format)",
     "Text of numbers: five significant digits, or as many as asked, or by a format."},
    {"strcmp", Compare<false, false>, 2, 2, 1, "strcmp(s, t)",
     "True when two texts are the same; of cells or string arrays, element by element."},
    {"strcmpi", Compare<true, false>, 2, 2, 1, "strcmpi(s, t)",
     "strcmp ignoring the case of letters (ASCII and Latin-1)."},
    {"strncmp", Compare<false, true>, 3, 3, 1, "strncmp(s, t, n)",
     "True when two texts agree in their first n characters; of cells element by element."},
    {"strncmpi", Compare<true, true>, 3, 3, 1, "strncmpi(s, t, n)",
     "strncmp ignoring the case of letters (ASCII and Latin-1)."},
    {"string", StringBuiltin, 1, 1, 1, "s = string(x)",
     "A string array of texts: of a char row its text, of numbers num2str's text of each."},
    {"char", CharBuiltin, 1, kAny, 1, "c = char(x), char(a, b, ...)",
     "A char array: the rows of each argument (texts, strings, cells of texts, codes), padded."},
    {"double", DoubleBuiltin, 1, 1, 1, "d = double(x)",
     "Doubles: the codes of a char array, the numbers a string's texts spell (else NaN)."},
    {"strlength", Strlength, 1, 1, 1, "n = strlength(s)",
     "The length of each text in UTF-16 code units."},
    {"isstring", Isstring, 1, 1, 1, "isstring(x)", "True for a string array."},
    {"upper", ChangeCase<Upper>, 1, 1, 1, "upper(s)", "Text in capitals (ASCII and Latin-1)."},
    {"lower", ChangeCase<Lower>, 1, 1, 1, "lower(s)", "Text in small letters (ASCII and Latin-1)."},
    {"strtrim", Strtrim, 1, 1, 1, "strtrim(s)", "Text without leading and trailing white space."},
    {"strrep", Strrep, 3, 3, 1, "strrep(s, old, new)", "Text with every old replaced by new."},
    {"strsplit", Strsplit, 1, 2, 1, "parts = strsplit(s), strsplit(s, delimiter)",
     "The pieces between delimiters (white space by default; runs count as one)."},
    {"strjoin", Strjoin, 1, 2, 1, "s = strjoin(texts), strjoin(texts, delimiter)",
     "The texts of a cell or string array joined, a blank or the delimiter between."},
    {"contains", Search<Where::Anywhere>, 2, 4, 1, "contains(s, pattern), contains(s, pattern, 'IgnoreCase', true)",
     "True for each text holding the pattern (or any of several)."},
    {"startsWith", Search<Where::Start>, 2, 4, 1, "startsWith(s, pattern), startsWith(s, pattern, 'IgnoreCase', true)",
     "True for each text starting with the pattern (or any of several)."},
    {"endsWith", Search<Where::End>, 2, 4, 1, "endsWith(s, pattern), endsWith(s, pattern, 'IgnoreCase', true)",
     "True for each text ending with the pattern (or any of several)."},
    {"strcat", Strcat, 1, kAny, 1, "s = strcat(s1, s2, ...)",
     "Texts joined; char rows lose their trailing white space first."},
};

}  // namespace

Library StringsLibrary() {
    return {"strings", "Text and formatting", kEntries, std::size(kEntries)};
}

}  // namespace mtrx
