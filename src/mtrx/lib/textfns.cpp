// src/mtrx/lib/textfns.cpp: numbers as text and back (mat2str, int2str,
// str2num, str2double), the functions that pick texts apart and build them
// (strfind, strtok, split, join, pad, ...), character classes, and cells of
// texts (cellstr, num2cell, cell2mat, sorting).
#include "lib/options.h"
#include "lib/options.h"
#include "lib/support.h"
#include "lib/texts.h"

#include "evaluator.h"
#include "format.h"
#include "text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

namespace mtrx {

namespace km = kiv::matrix;

namespace {

std::string Printed(const char *pattern, double x) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, pattern, x);
    return buffer;
}

// The most code units a text built here may hold: a char array's bytes
// must fit in 32 bits, as the library's arrays' do.
constexpr std::size_t kMostUnits = 0x7FFFFFFF;

Array DoubleArray(const Dims &dims) {
    return Array::Adopt(km::mxCreateNumericArray(static_cast<unsigned int>(dims.size()),
                                                 dims.data(), km::mxClassDouble,
                                                 km::mxComplexityReal));
}

Array Row(const std::vector<double> &v) {
    Array out = DoubleArray({1, static_cast<unsigned int>(v.size())});
    std::copy(v.begin(), v.end(), out.MutableData().begin());
    return out;
}

// ---- mat2str, int2str --------------------------------------------------

// A number as mat2str writes it: `digits` significant digits, Inf, -Inf,
// NaN, and 0 for -0.
std::string MatNumber(double x, int digits) {
    if (std::isnan(x)) return "NaN";
    if (std::isinf(x)) return x < 0 ? "-Inf" : "Inf";
    if (x == 0) return "0";
    return Printed(("%." + std::to_string(digits) + "g").c_str(), x);
}

// mat2str(A), mat2str(A, digits), mat2str(A, 'class'): the text that
// evaluates back to A: a scalar bare, otherwise in brackets with blanks
// between columns and ';' between rows; logical as true/false, char in
// quotes, an empty array as zeros(m,n) ([] for 0x0).
Outs Mat2str(const Args &args, BuiltinCall &) {
    const Array &a = args.GetArray(0);
    if (IsCell(a)) args.Refuse(0, "a numeric, logical or char array");
    if (a.NDims() > 2) args.Refuse(0, "a 2-D array");
    int digits = a.ClassID() == km::mxClassSingle ? 7 : 15;
    bool named = false;
    for (std::size_t k = 1; k < args.size(); ++k) {
        if (args.IsText(k)) {
            if (!IsWord(args, k, "class")) args.Refuse(k, "a count of digits or 'class'");
            named = true;
        } else {
            const double d = args.GetScalar(k);
            if (!(d >= 1 && d <= 17) || d != std::floor(d))
                args.Refuse(k, "a count of digits from 1 to 17");
            digits = static_cast<int>(d);
        }
    }
    const unsigned int m = a.Rows(), n = m ? a.Numel() / m : a.Cols();
    if (IsChar(a)) {
        // Each row quoted, a quote doubled.
        std::vector<std::string> rows;
        const std::vector<std::uint16_t> units = ArrayUnits(a);
        for (unsigned int i = 0; i < m; ++i) {
            std::vector<std::uint16_t> row;
            for (unsigned int j = 0; j < n; ++j) {
                row.push_back(units[i + j * m]);
                if (row.back() == '\'') row.push_back('\'');
            }
            rows.push_back("'" + Text(CharOfUnits(row, 1, static_cast<unsigned int>(row.size()))) +
                           "'");
        }
        if (m == 0 || n == 0) return {CharArray(m == 0 && n == 0 ? "''" : "char(zeros(" +
                                                std::to_string(m) + "," + std::to_string(n) + "))")};
        if (m == 1) return {CharArray(rows[0])};
        std::string t = "[";
        for (unsigned int i = 0; i < m; ++i) t += (i ? ";" : "") + rows[i];
        return {CharArray(t + "]")};
    }
    const bool logical = a.IsLogical();
    const std::string cls = ClassName(a);
    const bool wrap = named && !logical && cls != "double";
    std::string t;
    if (m == 0 || n == 0) {
        t = (logical ? "false(" : "zeros(") + std::to_string(m) + "," + std::to_string(n) + ")";
        if (!logical && m == 0 && n == 0) t = "[]";
        return {CharArray(wrap ? cls + "(" + t + ")" : t)};
    }
    const std::vector<double> re = RealNumbers(IsComplex(a) ? Array(km::Real(a)) : a);
    std::vector<double> im;
    if (IsComplex(a)) im = RealNumbers(Array::Adopt(km::Imag(a.get())));
    const auto element = [&](std::size_t k) {
        if (logical) return std::string(re[k] != 0 ? "true" : "false");
        std::string e = MatNumber(re[k], digits);
        if (!im.empty()) {
            const double y = im[k];
            std::string i = MatNumber(y, digits);
            if (i[0] != '-') i = "+" + i;
            e += i + "i";
        }
        return e;
    };
    if (m * n > 1) t = "[";
    for (unsigned int i = 0; i < m; ++i)
        for (unsigned int j = 0; j < n; ++j)
            t += (j ? " " : i ? ";" : "") + element(i + static_cast<std::size_t>(j) * m);
    if (m * n > 1) t += "]";
    return {CharArray(wrap ? cls + "(" + t + ")" : t)};
}

// int2str(A): A rounded (halves away from zero; both parts of a complex
// value), as num2str writes whole numbers.
Outs Int2str(const Args &args, BuiltinCall &) {
    const Array &a = args.GetArray(0);
    if (IsCell(a)) args.Refuse(0, "a numeric, logical or char array");
    if (a.Numel() == 0) return {CharArray("")};
    const std::vector<double> re = RealNumbers(IsComplex(a) ? Array(km::Real(a)) : a);
    const Dims dims = a.Dims();
    Array rounded = Array::Adopt(km::mxCreateNumericArray(
        static_cast<unsigned int>(dims.size()), dims.data(), km::mxClassDouble,
        IsComplex(a) ? km::mxComplexityComplex : km::mxComplexityReal));
    double *pr = km::mxGetPr(rounded.get());
    for (std::size_t k = 0; k < re.size(); ++k) pr[k] = std::round(re[k]);
    if (IsComplex(a)) {
        const std::vector<double> im = RealNumbers(Array::Adopt(km::Imag(a.get())));
        double *pi = km::mxGetPi(rounded.get());
        for (std::size_t k = 0; k < im.size(); ++k) pi[k] = std::round(im[k]);
    }
    return {CharRows(NumberText(rounded))};
}

// ---- str2num, str2double -----------------------------------------------

// str2num(s): the value of [s] (rows of a char matrix joined by ';'), read
// and evaluated as the language; [] and false when that fails.
Outs Str2num(const Args &args, BuiltinCall &c) {
    if (!args.IsText(0)) args.Refuse(0, "text");
    std::string source;
    if (args[0].IsArray()) {
        const Array &a = args.GetArray(0);
        const unsigned int m = a.Rows();
        const std::vector<std::uint16_t> units = ArrayUnits(a);
        const unsigned int n = m ? a.Numel() / m : 0;
        for (unsigned int i = 0; i < m; ++i) {
            std::vector<std::uint16_t> row;
            for (unsigned int j = 0; j < n; ++j) row.push_back(units[i + j * m]);
            source += (i ? ";" : "") + Text(CharOfUnits(row, 1, n));
        }
    } else {
        source = args.GetText(0);
    }
    Value v;
    bool ok = true;
    try {
        v = c.evaluator.EvaluateHere(Compile("[" + source + "\n]", ""));
    } catch (const Error &) {
        v = Value();
        ok = false;
    }
    if (c.nargout < 2) return {v};
    return {v, Logical(ok)};
}

// Reads a number at `s[at]` as str2double does: digits (commas between
// them group thousands), a decimal point, an exponent (e, E, d or D), or
// Inf and NaN in any case. Moves `at` past it; false when there is none.
bool ReadMagnitude(const std::string &s, std::size_t &at, double &x) {
    const auto word = [&](const char *w) {
        const std::size_t n = std::char_traits<char>::length(w);
        if (s.size() - at < n) return false;
        for (std::size_t k = 0; k < n; ++k)
            if (std::tolower(static_cast<unsigned char>(s[at + k])) != w[k]) return false;
        at += n;
        return true;
    };
    if (word("inf")) {
        word("inity");
        x = INFINITY;
        return true;
    }
    if (word("nan")) {
        x = NAN;
        return true;
    }
    std::string digits;
    std::size_t j = at;
    bool any = false;
    const auto isdigit = [&](std::size_t k) {
        return k < s.size() && std::isdigit(static_cast<unsigned char>(s[k]));
    };
    while (isdigit(j) || (s[j] == ',' && any && isdigit(j + 1))) {
        if (s[j] != ',') digits += s[j];
        any = true;
        ++j;
    }
    if (j < s.size() && s[j] == '.') {
        digits += s[j++];
        while (isdigit(j)) {
            digits += s[j++];
            any = true;
        }
    }
    if (!any) return false;
    if (j < s.size() && std::string("eEdD").find(s[j]) != std::string::npos) {
        std::size_t e = j + 1;
        std::string exponent = "e";
        if (e < s.size() && (s[e] == '+' || s[e] == '-')) exponent += s[e++];
        if (isdigit(e)) {
            while (isdigit(e)) exponent += s[e++];
            digits += exponent;
            j = e;
        }
    }
    x = std::strtod(digits.c_str(), nullptr);
    at = j;
    return true;
}

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// The number `s` spells: [sign] magnitude, [sign] magnitude i, or the two
// joined by a sign (a real and an imaginary part, either first); i or j marks the
// imaginary part, after the digits or before them, with an optional '*'.
bool ParseNumber(const std::string &s, double &re, double &im) {
    std::size_t at = 0;
    const auto skip = [&] {
        while (at < s.size() && Blank(s[at])) ++at;
    };
    const auto unit = [&] {
        // The i of Inf is no unit.
        const bool inf = s.size() - at >= 3 && std::tolower(static_cast<unsigned char>(s[at + 1])) == 'n' &&
                         std::tolower(static_cast<unsigned char>(s[at + 2])) == 'f';
        if (at < s.size() && (s[at] == 'i' || s[at] == 'j') && !inf) {
            ++at;
            return true;
        }
        return false;
    };
    // One signed term: its value and whether it is imaginary.
    const auto term = [&](bool signNeeded, double &x, bool &imaginary) {
        skip();
        double sign = 1;
        bool signed_ = false;
        if (at < s.size() && (s[at] == '+' || s[at] == '-')) {
            sign = s[at] == '-' ? -1 : 1;
            signed_ = true;
            ++at;
            skip();
        }
        if (signNeeded && !signed_) return false;
        imaginary = false;
        if (unit()) {  // i, i5 or i*5
            imaginary = true;
            if (at < s.size() && s[at] == '*') ++at;
            double y = 1;
            std::size_t mark = at;
            if (!ReadMagnitude(s, at, y)) {
                at = mark;
                y = 1;
            }
            x = sign * y;
            return true;
        }
        double y;
        if (!ReadMagnitude(s, at, y)) return false;
        std::size_t mark = at;
        if (at < s.size() && s[at] == '*') ++at;
        if (unit())
            imaginary = true;
        else
            at = mark;
        x = sign * y;
        return true;
    };
    double x;
    bool imaginary;
    re = 0;
    im = 0;
    if (!term(false, x, imaginary)) return false;
    (imaginary ? im : re) = x;
    skip();
    if (at < s.size()) {
        // The other part, after a sign: 1+2i and 2i+1 alike.
        const bool first = imaginary;
        if (!term(true, x, imaginary) || imaginary == first) return false;
        (imaginary ? im : re) = x;
        skip();
    }
    return at == s.size();
}

// str2double(s): the number a text spells, NaN for anything else; of a
// cell or string array an array of its shape.
Outs Str2double(const Args &args, BuiltinCall &) {
    const Value &v = args[0];
    std::vector<std::string> texts;
    std::vector<bool> valid;
    Dims dims{1, 1};
    if (v.IsCell() || v.tag() == Tag::String) {
        if (v.IsCell()) {
            dims = v.cell().dims;
            for (const Value &x : v.cell().items) {
                const bool row = IsText(x) && x.array().Rows() <= 1;
                texts.push_back(row ? Text(x.array()) : IsStringScalar(x) ? x.strings().items[0]
                                                                           : std::string());
                valid.push_back(row || IsStringScalar(x));
            }
        } else {
            dims = v.strings().dims;
            texts = v.strings().items;
            valid.assign(texts.size(), true);
        }
    } else {
        const bool row = IsText(v) && v.array().Rows() <= 1;
        texts.push_back(row ? Text(v.array()) : std::string());
        valid.push_back(row);
    }
    std::vector<double> re(texts.size()), im(texts.size());
    bool complex = false;
    for (std::size_t k = 0; k < texts.size(); ++k) {
        if (!valid[k] || !ParseNumber(texts[k], re[k], im[k])) {
            re[k] = NAN;
            im[k] = 0;
        }
        complex = complex || im[k] != 0;
    }
    Array out = Array::Adopt(km::mxCreateNumericArray(
        static_cast<unsigned int>(dims.size()), dims.data(), km::mxClassDouble,
        complex ? km::mxComplexityComplex : km::mxComplexityReal));
    if (!re.empty()) {
        std::copy(re.begin(), re.end(), km::mxGetPr(out.get()));
        if (complex) std::copy(im.begin(), im.end(), km::mxGetPi(out.get()));
    }
    return {out};
}

// ---- searching and cutting ---------------------------------------------

// The positions (from 1) where `pattern` starts in `text`, overlapping
// matches included, as a row (1x0 when none).
Array Found(const std::vector<std::uint16_t> &text, const std::vector<std::uint16_t> &pattern) {
    std::vector<double> at;
    if (!pattern.empty() && pattern.size() <= text.size())
        for (std::size_t k = 0; k + pattern.size() <= text.size(); ++k)
            if (std::equal(pattern.begin(), pattern.end(), text.begin() + static_cast<long>(k)))
                at.push_back(static_cast<double>(k + 1));
    if (at.empty()) return DoubleArray({1, 0});
    return Row(at);
}

// The code units of argument k, a char row or a string scalar.
std::vector<std::uint16_t> RowUnits(const Args &args, std::size_t k) {
    const Value &v = args[k];
    if (IsText(v) && v.array().Rows() <= 1) return ArrayUnits(v.array());
    if (IsStringScalar(v)) return TextUnits(v.strings().items[0]);
    args.Refuse(k, "a char row or a string scalar");
}

// strfind(text, pattern): a row of the places where pattern starts; of a
// cell of texts a cell of such rows.
Outs Strfind(const Args &args, BuiltinCall &) {
    const std::vector<std::uint16_t> pattern = RowUnits(args, 1);
    if (args[0].IsCell() || (args[0].tag() == Tag::String && !IsStringScalar(args[0]))) {
        const Texts t = TextsOf(args, 0);
        CellArray out;
        out.dims = t.s.dims;
        for (const std::string &s : t.s.items) out.items.emplace_back(Found(TextUnits(s), pattern));
        return {Value(std::move(out))};
    }
    return {Found(RowUnits(args, 0), pattern)};
}

bool WhiteUnit(std::uint16_t u) {
    return u == ' ' || (u >= 9 && u <= 13) || u == 0 || u == 0xA0 || u == 0x2028 || u == 0x2029 ||
           (u >= 0x2000 && u <= 0x200A) || u == 0x3000 || u == 0x85 || u == 0x1680 ||
           u == 0x202F || u == 0x205F;
}

std::string FromUnits(const std::vector<std::uint16_t> &u, std::size_t from, std::size_t to) {
    const std::vector<std::uint16_t> part(u.begin() + static_cast<long>(from),
                                          u.begin() + static_cast<long>(to));
    return Text(CharOfUnits(part, 1, static_cast<unsigned int>(part.size())));
}

// strtok(s), strtok(s, delimiters): the first token after any leading
// delimiters (white space by default), and the rest from the delimiter
// after it on.
Outs Strtok(const Args &args, BuiltinCall &c) {
    std::vector<std::uint16_t> delimiters;
    if (args.Has(1)) delimiters = RowUnits(args, 1);
    const auto delimiter = [&](std::uint16_t u) {
        if (!args.Has(1)) return WhiteUnit(u);
        return std::find(delimiters.begin(), delimiters.end(), u) != delimiters.end();
    };
    const auto cut = [&](const std::vector<std::uint16_t> &u, std::string &token,
                         std::string &rest) {
        std::size_t begin = 0;
        while (begin < u.size() && delimiter(u[begin])) ++begin;
        std::size_t end = begin;
        while (end < u.size() && !delimiter(u[end])) ++end;
        token = FromUnits(u, begin, end);
        rest = FromUnits(u, end, u.size());
    };
    std::string token, rest;
    if (args[0].IsCell() || args[0].tag() == Tag::String) {
        Texts t = TextsOf(args, 0);
        StringArray tokens = t.s, rests = t.s;
        for (std::size_t k = 0; k < t.s.items.size(); ++k)
            cut(TextUnits(t.s.items[k]), tokens.items[k], rests.items[k]);
        if (c.nargout < 2) return {Back(t.form, std::move(tokens))};
        return {Back(t.form, std::move(tokens)), Back(t.form, std::move(rests))};
    }
    if (args[0].IsArray() && args.GetArray(0).Numel() == 0 && !args.IsText(0)) {
        cut({}, token, rest);
    } else {
        cut(RowUnits(args, 0), token, rest);
    }
    if (c.nargout < 2) return {CharArray(token)};
    return {CharArray(token), CharArray(rest)};
}

// replace(s, old, new): every old (or any of several, the first listed
// winning at a place) replaced by the new of the same position, or the
// one new.
Outs Replace(const Args &args, BuiltinCall &) {
    Texts t = TextsOf(args, 0);
    const std::vector<std::string> from = Patterns(args, 1);
    const std::vector<std::string> to = Patterns(args, 2);
    if (to.size() != 1 && to.size() != from.size())
        args.Refuse(2, "one text or as many as the texts to replace");
    for (std::string &s : t.s.items) {
        std::string out;
        for (std::size_t i = 0; i < s.size();) {
            std::size_t which = from.size();
            for (std::size_t k = 0; k < from.size() && which == from.size(); ++k)
                if (!from[k].empty() && s.compare(i, from[k].size(), from[k]) == 0) which = k;
            if (which == from.size()) {
                out += s[i++];
                continue;
            }
            out += to[to.size() == 1 ? 0 : which];
            i += from[which].size();
        }
        s = std::move(out);
    }
    return {Back(t.form, std::move(t.s))};
}

// split(s), split(s, delimiters): the pieces of one text as a column
// (string array of a string, cell of a char row or cell); runs of
// delimiters count as one, as in strsplit.
Outs Split(const Args &args, BuiltinCall &) {
    const Texts t = TextsOf(args, 0);
    if (t.s.items.size() != 1) args.Refuse(0, "one text");
    const std::string &s = t.s.items[0];
    std::vector<std::string> delimiters = {" ", "\t", "\n", "\r", "\v", "\f"};
    if (args.Has(1)) delimiters = Patterns(args, 1);
    StringArray parts;
    parts.items = SplitAt(s, delimiters);
    parts.dims = {static_cast<unsigned int>(parts.items.size()), 1};
    return {Back(t.form == Texts::Form::String ? Texts::Form::String : Texts::Form::Cell,
                 std::move(parts))};
}

// join(s), join(s, delimiter): the texts of each row joined (of a vector,
// all of them), a blank or the delimiter between.
Outs Join(const Args &args, BuiltinCall &) {
    const Texts t = TextsOf(args, 0);
    if (t.form == Texts::Form::Char) return {args[0]};
    if (t.s.dims.size() > 2) args.Refuse(0, "a vector or matrix of texts");
    const std::string between = args.Has(1) ? args.GetText(1) : " ";
    unsigned int m = t.s.dims[0], n = t.s.dims[1];
    if (n == 1 && m > 1) std::swap(m, n);  // a column joins whole
    const bool column = t.s.dims[1] == 1 && t.s.dims[0] > 1;
    StringArray out;
    out.dims = {m, m * n == 0 && m == 0 ? 0u : 1u};
    for (unsigned int i = 0; i < m; ++i) {
        std::string joined;
        for (unsigned int j = 0; j < n; ++j)
            joined += (j ? between : "") + t.s.items[column ? j : i + static_cast<std::size_t>(j) * m];
        out.items.push_back(std::move(joined));
    }
    if (t.form == Texts::Form::Cell && out.items.size() == 1) return {CharArray(out.items[0])};
    return {Back(t.form, std::move(out))};
}

// pad(s), pad(s, n), pad(s, side), pad(s, n, side), pad(..., char): every
// text filled to the longest (or n) with blanks (or char), at the end by
// default, 'left' at the start, 'both' on both sides (the odd one after).
Outs Pad(const Args &args, BuiltinCall &) {
    Texts t = TextsOf(args, 0);
    std::size_t k = 1;
    std::size_t width = 0;
    bool given = false;
    if (args.Has(k) && !args.IsText(k)) {
        width = args.GetLength(k++);
        given = true;
    }
    std::string side = "right";
    if (args.Has(k)) {
        side = args.GetText(k++);
        if (side != "left" && side != "right" && side != "both")
            args.Refuse(k - 1, "'left', 'right' or 'both'");
    }
    if (width > kMostUnits) throw Error("Out of memory");
    std::vector<std::uint16_t> fill = {' '};
    if (args.Has(k)) {
        fill = RowUnits(args, k);
        if (fill.size() != 1) args.Refuse(k, "one character");
    }
    std::vector<std::vector<std::uint16_t>> units;
    for (const std::string &s : t.s.items) {
        units.push_back(TextUnits(s));
        if (!given) width = std::max(width, units.back().size());
    }
    for (std::size_t e = 0; e < units.size(); ++e) {
        std::vector<std::uint16_t> &u = units[e];
        if (u.size() >= width) continue;
        const std::size_t missing = width - u.size();
        const std::size_t before = side == "left" ? missing : side == "both" ? missing / 2 : 0;
        u.insert(u.begin(), before, fill[0]);
        u.insert(u.end(), missing - before, fill[0]);
        t.s.items[e] = Text(CharOfUnits(u, 1, static_cast<unsigned int>(u.size())));
    }
    return {Back(t.form, std::move(t.s))};
}

// deblank(s): text without trailing white space and nulls; a char matrix
// loses the trailing columns that are blank in every row.
Outs Deblank(const Args &args, BuiltinCall &) {
    if (args[0].IsArray() && !args.IsText(0) && args.GetArray(0).Numel() == 0) return {args[0]};
    if (IsText(args[0])) {
        const Array &a = args.GetArray(0);
        if (a.NDims() > 2) args.Refuse(0, "a char matrix, not an N-d array");
        const unsigned int m = a.Rows(), n = m ? a.Numel() / m : 0;
        const std::vector<std::uint16_t> u = ArrayUnits(a);
        unsigned int keep = n;
        const auto blankColumn = [&](unsigned int j) {
            for (unsigned int i = 0; i < m; ++i)
                if (!WhiteUnit(u[i + static_cast<std::size_t>(j) * m])) return false;
            return true;
        };
        while (keep > 0 && blankColumn(keep - 1)) --keep;
        if (m == 0) return {a};
        return {CharOfUnits(std::vector<std::uint16_t>(u.begin(), u.begin() + static_cast<long>(m) * keep),
                            m, keep)};
    }
    Texts t = TextsOf(args, 0);
    for (std::string &s : t.s.items) {
        std::vector<std::uint16_t> u = TextUnits(s);
        while (!u.empty() && WhiteUnit(u.back())) u.pop_back();
        s = Text(CharOfUnits(u, 1, static_cast<unsigned int>(u.size())));
    }
    return {Back(t.form, std::move(t.s))};
}

Outs Blanks(const Args &args, BuiltinCall &) {
    const unsigned int n = args.GetLength(0);
    if (n > kMostUnits) throw Error("Out of memory");
    Array out = CharOfUnits({}, 1, n);
    std::fill_n(static_cast<std::uint16_t *>(out.get()->GetPr()), n, std::uint16_t{' '});
    return {out};
}

// strvcat(a, b, ...): the rows of the arguments as char() joins them, but
// empty texts give no row.
Outs Strvcat(const Args &args, BuiltinCall &c) {
    std::vector<Value> kept;
    for (const Value &v : args.All()) {
        if (v.IsCell()) {
            for (const Value &x : v.cell().items)
                if (!(x.IsArray() && x.array().Numel() == 0)) kept.push_back(x);
            continue;
        }
        if (v.IsArray() && v.array().Numel() == 0) continue;
        kept.push_back(v);
    }
    if (kept.empty()) return {CharOfUnits({}, 0, 0)};
    const BuiltinEntry *charEntry = FindBuiltin("char");
    BuiltinCall call{c.evaluator, c.display, c.name, 1, nullptr};
    return CallBuiltin(*charEntry, kept, call);
}

// ---- character classes -------------------------------------------------

enum class Kind { Alpha, Digit, Alphanum, Upper, Lower, Space, Punct, Cntrl, Xdigit, Graphic, Ascii };

bool Letter(std::uint16_t u) {
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') ||
           (u >= 0xC0 && u <= 0x24F && u != 0xD7 && u != 0xF7) || (u >= 0x370 && u <= 0x3FF) ||
           (u >= 0x400 && u <= 0x4FF) || u == 0xAA || u == 0xB5 || u == 0xBA;
}
bool IsUpperUnit(std::uint16_t u) {
    return (u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7);
}
bool IsLowerUnit(std::uint16_t u) {
    return (u >= 'a' && u <= 'z') || (u >= 0xDF && u <= 0xFF && u != 0xF7);
}
bool IsDigitUnit(std::uint16_t u) { return u >= '0' && u <= '9'; }

bool Has(Kind kind, std::uint16_t u) {
    switch (kind) {
        case Kind::Alpha: return Letter(u);
        case Kind::Digit: return IsDigitUnit(u);
        case Kind::Alphanum: return Letter(u) || IsDigitUnit(u);
        case Kind::Upper: return IsUpperUnit(u);
        case Kind::Lower: return IsLowerUnit(u);
        case Kind::Space: return WhiteUnit(u);
        case Kind::Punct:
            return (u > 32 && u < 127 && !Letter(u) && !IsDigitUnit(u)) ||
                   (u >= 0xA1 && u <= 0xBF && u != 0xAA && u != 0xB5 && u != 0xBA) || u == 0xD7 ||
                   u == 0xF7;
        case Kind::Cntrl: return u < 32 || u == 127 || (u >= 0x80 && u < 0xA0);
        case Kind::Xdigit:
            return IsDigitUnit(u) || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
        case Kind::Graphic: return u > 32 && u != 127 && !WhiteUnit(u) && !(u >= 0x80 && u < 0xA0);
        default: return u < 128;
    }
}

// The logical array of `kind` for each character of a char array (the
// codes of a numeric one); false of the shape of anything else.
Array ClassOf(const Value &v, Kind kind) {
    if (!v.IsArray()) return FalseArray(v.Dimensions());
    const Array &a = v.array();
    Array out = FalseArray(a.Dims());
    if (!IsChar(a)) return out;
    const std::vector<std::uint16_t> u = ArrayUnits(a);
    km::DoubleSpan data = out.MutableData();
    for (std::size_t k = 0; k < u.size(); ++k) data[k] = Has(kind, u[k]) ? 1.0 : 0.0;
    return out;
}

template <Kind K>
Outs CharClass(const Args &args, BuiltinCall &) {
    return {ClassOf(args[0], K)};
}

// isstrprop(s, kind): for a char array (or string scalar) a logical array
// of its characters; for a cell a cell of such arrays.
Outs Isstrprop(const Args &args, BuiltinCall &) {
    static const std::pair<const char *, Kind> kKinds[] = {
        {"alpha", Kind::Alpha},   {"digit", Kind::Digit},     {"alphanum", Kind::Alphanum},
        {"upper", Kind::Upper},   {"lower", Kind::Lower},     {"wspace", Kind::Space},
        {"punct", Kind::Punct},   {"cntrl", Kind::Cntrl},     {"xdigit", Kind::Xdigit},
        {"graphic", Kind::Graphic}, {"graph", Kind::Graphic}, {"ascii", Kind::Ascii}};
    const std::string name = args.GetText(1);
    const auto it = std::find_if(std::begin(kKinds), std::end(kKinds),
                                 [&](const auto &p) { return name == p.first; });
    if (it == std::end(kKinds))
        args.Refuse(1, "one of 'alpha', 'digit', 'alphanum', 'upper', 'lower', 'wspace', "
                       "'punct', 'cntrl', 'xdigit', 'graphic', 'ascii'");
    const Kind kind = it->second;
    const auto one = [kind](const Value &v) -> Value {
        if (IsStringScalar(v)) return ClassOf(CharArray(v.strings().items[0]), kind);
        if (v.IsArray() && !IsChar(v.array())) {
            // Numbers are taken as character codes.
            const std::vector<double> codes = RealNumbers(v.array());
            Array out = FalseArray(v.array().Dims());
            km::DoubleSpan data = out.MutableData();
            for (std::size_t k = 0; k < codes.size(); ++k)
                data[k] = codes[k] >= 0 && codes[k] <= 65535 && codes[k] == std::floor(codes[k]) &&
                                  Has(kind, static_cast<std::uint16_t>(codes[k]))
                              ? 1.0
                              : 0.0;
            return out;
        }
        return ClassOf(v, kind);
    };
    if (args[0].IsCell()) {
        CellArray out;
        out.dims = args[0].cell().dims;
        for (const Value &x : args[0].cell().items) out.items.push_back(one(x));
        return {Value(std::move(out))};
    }
    if (args[0].tag() == Tag::String && !IsStringScalar(args[0]))
        args.Refuse(0, "text, a string scalar or a cell of texts");
    return {one(args[0])};
}

// ---- cells of texts ----------------------------------------------------

// cellstr(x): a char matrix's rows (trailing blanks removed) as a column
// cell; a cell of char rows as it is; a string array's texts in its shape.
Outs Cellstr(const Args &args, BuiltinCall &) {
    const Value &v = args[0];
    if (v.IsCell()) {
        for (const Value &x : v.cell().items)
            if (!(IsText(x) && x.array().Rows() <= 1 && x.array().NDims() == 2))
                throw Error("'cellstr' takes a cell only when it holds char rows");
        return {v};
    }
    if (v.tag() == Tag::String) {
        CellArray out;
        out.dims = v.strings().dims;
        for (const std::string &t : v.strings().items) out.items.emplace_back(CharArray(t));
        return {Value(std::move(out))};
    }
    if (!IsText(v)) args.Refuse(0, "a char array, a string array or a cell of char rows");
    const Array &a = v.array();
    if (a.NDims() > 2) args.Refuse(0, "a char matrix, not an N-d array");
    const unsigned int m = a.Rows(), n = m ? a.Numel() / m : 0;
    const std::vector<std::uint16_t> u = ArrayUnits(a);
    CellArray out;
    out.dims = {std::max(m, 1u), 1};
    if (m == 0) out.items.emplace_back(CharArray(""));
    for (unsigned int i = 0; i < m; ++i) {
        std::vector<std::uint16_t> row;
        for (unsigned int j = 0; j < n; ++j) row.push_back(u[i + static_cast<std::size_t>(j) * m]);
        while (!row.empty() && WhiteUnit(row.back()) && row.back() != 0) row.pop_back();
        out.items.emplace_back(CharOfUnits(row, 1, static_cast<unsigned int>(row.size())));
    }
    return {Value(std::move(out))};
}

Outs Iscellstr(const Args &args, BuiltinCall &) {
    if (!args[0].IsCell()) return {Logical(false)};
    for (const Value &x : args[0].cell().items)
        if (!IsText(x)) return {Logical(false)};
    return {Logical(true)};
}

// num2cell(A): a cell of A's shape holding each element (of a cell, each
// element in a cell of its own; of a string array, each string).
Outs Num2cell(const Args &args, BuiltinCall &) {
    const Value &v = args[0];
    CellArray out;
    out.dims = v.Dimensions();
    if (v.IsCell()) {
        for (const Value &x : v.cell().items) {
            CellArray one;
            one.dims = {1, 1};
            one.items.push_back(x);
            out.items.emplace_back(std::move(one));
        }
    } else if (v.tag() == Tag::String) {
        for (const std::string &t : v.strings().items) out.items.push_back(StringScalar(t));
    } else if (v.IsStruct()) {
        const StructArray &s = v.structure();
        for (std::size_t e = 0; e < Count(s.dims); ++e) {
            StructArray one;
            one.fields = s.fields;
            for (std::size_t f = 0; f < s.fields.size(); ++f) one.values.push_back(s.At(e, f));
            out.items.emplace_back(std::move(one));
        }
    } else {
        const Array &a = args.GetArray(0);
        if (a.IsLogical() || !IsDouble(a) || IsComplex(a)) {
            for (unsigned int k = 0; k < a.Numel(); ++k)
                out.items.emplace_back(Array::Adopt(km::Indexref(a.get(), Array(k + 1.0).get())));
        } else {
            for (double x : a.ToVector()) out.items.emplace_back(x);
        }
    }
    return {Value(std::move(out))};
}

// cell2mat(C): the arrays of a cell joined as [C{1,1} C{1,2} ...; ...]:
// each row of the cell side by side, then the rows one above the other.
Outs Cell2mat(const Args &args, BuiltinCall &) {
    const CellArray &c = args.GetCell(0);
    if (c.items.empty()) return {Array()};
    if (c.dims.size() > 2) args.Refuse(0, "a 2-D cell");
    for (const Value &x : c.items) {
        if (!x.IsArray())
            throw Error("'cell2mat' takes a cell of arrays, not of cells, structs or strings");
        if (ClassName(x.array()) != std::string(ClassName(c.items[0].array())))
            throw Error("'cell2mat' takes a cell of arrays of one class");
    }
    const unsigned int m = c.dims[0], n = c.dims[1];
    std::vector<Array> rows;
    for (unsigned int i = 0; i < m; ++i) {
        std::vector<const km::CMatrix *> parts;
        for (unsigned int j = 0; j < n; ++j)
            parts.push_back(c.items[i + static_cast<std::size_t>(j) * m].array().get());
        rows.push_back(Array::Adopt(km::Horzcat(n, parts.data())));
    }
    std::vector<const km::CMatrix *> all;
    for (const Array &r : rows) all.push_back(r.get());
    return {Array::Adopt(km::Vertcat(m, all.data()))};
}

// Sorting a cell of texts or a string array: by UTF-16 code units, a
// shorter text before the longer one it begins; ties keep their order. A
// vector sorts whole, a matrix column by column.
Outs SortTexts(const Args &args, BuiltinCall &c) {
    const Value &v = args[0];
    bool descend = false;
    for (std::size_t k = 1; k < args.size(); ++k) {
        if (args.IsText(k)) {
            const int word = WordIndex(args, k, {"ascend", "descend"});
            if (word < 0) args.Refuse(k, "'ascend' or 'descend'");
            descend = word == 1;
        } else if (args.GetScalar(k) != 1 && args.GetScalar(k) != 2) {
            args.Refuse(k, "dimension 1 or 2, or 'ascend' or 'descend'");
        }
    }
    std::vector<std::vector<std::uint16_t>> keys;
    Dims dims;
    if (v.IsCell()) {
        dims = v.cell().dims;
        for (const Value &x : v.cell().items) {
            if (!IsText(x) || x.array().Rows() > 1)
                throw Error("'sort' takes a cell only when it holds char rows");
            keys.push_back(ArrayUnits(x.array()));
        }
    } else {
        dims = v.strings().dims;
        for (const std::string &t : v.strings().items) keys.push_back(TextUnits(t));
    }
    const std::size_t count = keys.size();
    unsigned int dim = dims[0] == 1 ? 2 : 1;
    if (args.Has(1) && !args.IsText(1)) dim = static_cast<unsigned int>(args.GetScalar(1));
    const std::size_t m = dims[0];
    const std::size_t length = dims.size() > 2 || count == 0 ? count
                               : dim == 1                   ? m
                                                            : count / std::max<std::size_t>(m, 1);
    const std::size_t stride = dim == 1 || dims.size() > 2 ? 1 : m;
    std::vector<std::size_t> order(count);
    std::vector<double> from(count);
    for (std::size_t start = 0, runs = 0; count && runs < count / std::max<std::size_t>(length, 1);
         ++runs) {
        start = dim == 1 || dims.size() > 2 ? runs * length : runs;
        std::vector<std::size_t> run(length);
        for (std::size_t k = 0; k < length; ++k) run[k] = start + k * stride;
        std::vector<std::size_t> sorted = run;
        std::stable_sort(sorted.begin(), sorted.end(), [&](std::size_t x, std::size_t y) {
            return descend ? keys[y] < keys[x] : keys[x] < keys[y];
        });
        for (std::size_t k = 0; k < length; ++k) {
            order[run[k]] = sorted[k];
            from[run[k]] = static_cast<double>((sorted[k] - start) / stride + 1);
        }
    }
    Value out;
    if (v.IsCell()) {
        CellArray s;
        s.dims = dims;
        for (std::size_t k = 0; k < count; ++k) s.items.push_back(v.cell().items[order[k]]);
        out = Value(std::move(s));
    } else {
        StringArray s;
        s.dims = dims;
        for (std::size_t k = 0; k < count; ++k) s.items.push_back(v.strings().items[order[k]]);
        out = Value(std::move(s));
    }
    if (c.nargout < 2) return {out};
    Array positions = DoubleArray(dims);
    std::copy(from.begin(), from.end(), positions.MutableData().begin());
    return {out, positions};
}

const BuiltinEntry kEntries[] = {
    {"mat2str", Mat2str, 1, 3, 1, "s = mat2str(A), mat2str(A, digits), mat2str(A, 'class')",
     "The text that evaluates to A: [1 2;3 4], true/false, quoted char; 15 digits (single 7)."},
    {"int2str", Int2str, 1, 1, 1, "s = int2str(A)",
     "Text of A rounded to whole numbers, columns two blanks apart."},
    {"str2num", Str2num, 1, 1, 2, "[x, ok] = str2num(s)",
     "The value of the text read as an array expression; [] and ok false when it fails."},
    {"str2double", Str2double, 1, 1, 1, "x = str2double(s)",
     "The number a text spells (1e3, -Inf, 1+2i, 1,000), NaN otherwise; of a cell each."},
    {"strfind", Strfind, 2, 2, 1, "k = strfind(text, pattern)",
     "Where pattern starts in text, overlapping matches too; of a cell a cell of rows."},
    {"strtok", Strtok, 1, 2, 2, "[token, rest] = strtok(s), strtok(s, delimiters)",
     "The first token after leading delimiters (white space by default) and the rest."},
    {"replace", Replace, 3, 3, 1, "s = replace(s, old, new)",
     "Text with every old (or any of several) replaced by new (or the matching new)."},
    {"split", Split, 1, 2, 1, "parts = split(s), split(s, delimiters)",
     "The pieces of one text between delimiters, as a column (runs count as one)."},
    {"join", Join, 1, 2, 1, "s = join(texts), join(texts, delimiter)",
     "The texts of each row (of a vector, all) joined, a blank or the delimiter between."},
    {"pad", Pad, 1, 4, 1, "pad(s), pad(s, n), pad(s, n, 'left'|'right'|'both', char)",
     "Texts filled with blanks (or char) to the longest, or to n characters."},
    {"deblank", Deblank, 1, 1, 1, "s = deblank(s)",
     "Text without trailing white space and nulls; of a cell each."},
    {"blanks", Blanks, 1, 1, 1, "s = blanks(n)", "A char row of n blanks."},
    {"strvcat", Strvcat, 1, kAny, 1, "c = strvcat(a, b, ...)",
     "The texts as the rows of a char matrix, padded; empty texts give no row."},
    {"isspace", CharClass<Kind::Space>, 1, 1, 1, "tf = isspace(s)",
     "True for each white-space character of a char array."},
    {"isletter", CharClass<Kind::Alpha>, 1, 1, 1, "tf = isletter(s)",
     "True for each letter of a char array."},
    {"isstrprop", Isstrprop, 2, 2, 1, "tf = isstrprop(s, 'alpha'|'digit'|'wspace'|...)",
     "True for each character of the kind: alpha digit alphanum upper lower wspace punct ..."},
    {"cellstr", Cellstr, 1, 1, 1, "c = cellstr(s)",
     "A column cell of the rows of a char matrix (trailing blanks removed), or of strings."},
    {"iscellstr", Iscellstr, 1, 1, 1, "iscellstr(x)", "True for a cell all of whose elements are char."},
    {"num2cell", Num2cell, 1, 1, 1, "c = num2cell(A)", "A cell of A's shape holding each element."},
    {"cell2mat", Cell2mat, 1, 1, 1, "A = cell2mat(C)",
     "The arrays of a cell joined: each row side by side, the rows one above the other."},
};

}  // namespace

Outs SortCellOfTexts(const Args &args, BuiltinCall &c) { return SortTexts(args, c); }

Library TextLibrary() {
    return {"text", "Numbers as text, cutting and joining texts, cells of texts", kEntries,
            std::size(kEntries)};
}

}  // namespace mtrx
