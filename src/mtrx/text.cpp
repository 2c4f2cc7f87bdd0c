// src/mtrx/text.cpp: string values: conversion of other values to strings,
// the operators that take strings, and their concatenation.
#include "text.h"

#include "arrays.h"
#include "error.h"
#include "lib/operators.h"

#include <matrix/matrix.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace mtrx {

namespace km = kiv::matrix;

Value StringScalar(std::string text) {
    StringArray s;
    s.items.push_back(std::move(text));
    return Value(std::move(s));
}

bool IsStringScalar(const Value &v) {
    return v.tag() == Tag::String && v.strings().items.size() == 1;
}

std::string NumberString(double x) {
    if (std::isnan(x)) return "NaN";
    if (std::isinf(x)) return x < 0 ? "-Inf" : "Inf";
    if (x == 0) return "0";
    char buffer[512];
    if (x == std::floor(x)) {
        std::snprintf(buffer, sizeof buffer, "%.0f", x);
        return buffer;
    }
    const int digits =
        std::min(17, std::max(static_cast<int>(std::floor(std::log10(std::fabs(x)))), 0) + 5);
    std::snprintf(buffer, sizeof buffer, "%.*g", digits, x);
    return buffer;
}

std::size_t Units(const std::string &text) {
    // Counted on the decoded array, so that a malformed byte counts as the
    // U+FFFD it becomes.
    for (unsigned char c : text)
        if (c >= 0x80) return CharArray(text).Numel();
    return text.size();
}

std::vector<double> CodeUnits(const std::string &text) {
    std::vector<double> out;
    out.reserve(text.size());
    bool ascii = true;
    for (unsigned char c : text) {
        ascii = ascii && c < 0x80;
        out.push_back(c);
    }
    if (ascii) return out;
    const Array a = CharArray(text);
    const auto *units = static_cast<const std::uint16_t *>(a.get()->GetPr());
    out.assign(units, units + a.Numel());
    return out;
}

void AppendCode(std::string &out, unsigned int code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

std::string WellFormed(const std::string &text) {
    bool ascii = true;
    for (unsigned char c : text) ascii = ascii && c < 0x80;
    if (ascii) return text;
    // Surrogates encoded as bytes (ED A0..BF xx) are what the decoder would
    // refuse; they become units first, so that a pair joins.
    std::vector<std::uint16_t> units;
    units.reserve(text.size());
    for (std::size_t k = 0; k < text.size();) {
        const auto b = static_cast<unsigned char>(text[k]);
        if (b == 0xED && k + 2 < text.size() &&
            (static_cast<unsigned char>(text[k + 1]) & 0xE0) == 0xA0 &&
            (static_cast<unsigned char>(text[k + 2]) & 0xC0) == 0x80) {
            units.push_back(static_cast<std::uint16_t>(
                0xD000 | ((static_cast<unsigned char>(text[k + 1]) & 0x3F) << 6) |
                (static_cast<unsigned char>(text[k + 2]) & 0x3F)));
            k += 3;
            continue;
        }
        // Any other run up to the next encoded surrogate decodes as a whole.
        std::size_t end = k + 1;
        while (end < text.size() &&
               !(static_cast<unsigned char>(text[end]) == 0xED && end + 1 < text.size() &&
                 (static_cast<unsigned char>(text[end + 1]) & 0xE0) == 0xA0))
            ++end;
        const Array part = CharArray(text.substr(k, end - k));
        const auto *p = static_cast<const std::uint16_t *>(part.get()->GetPr());
        units.insert(units.end(), p, p + part.Numel());
        k = end;
    }
    const Dims dims{1, static_cast<unsigned int>(units.size())};
    Array all = Array::Adopt(
        km::mxCreateNumericArray(2, dims.data(), km::mxClassChar, km::mxComplexityReal));
    auto *to = static_cast<std::uint16_t *>(all.get()->GetPr());
    std::copy(units.begin(), units.end(), to);
    return Text(all);
}

std::vector<double> RealNumbers(const Array &a) {
    if (IsDouble(a)) return a.ToVector();
    std::vector<double> out(a.Numel());
    for (unsigned int k = 0; k < a.Numel(); ++k)
        out[k] = km::mxGetScalar(Array::Adopt(km::Indexref(a.get(), Array(k + 1.0).get())).get());
    return out;
}

namespace {

// The rows of a two-dimensional char array, each as UTF-8 text.
std::vector<std::string> CharRowTexts(const Array &a) {
    std::vector<std::string> rows;
    if (a.Rows() <= 1) return {Text(a)};
    for (unsigned int i = 1; i <= a.Rows(); ++i)
        rows.push_back(Text(a(km::Subscript(i), km::Subscript(km::All))));
    return rows;
}

[[noreturn]] void Refuse(const Value &v, const std::string &who) {
    const bool complex = v.tag() == Tag::Array && IsComplex(v.array());
    throw Error("'" + who + "' cannot convert a " + (complex ? "complex " : "") +
                DimsText(v.Dimensions()) + " " + v.ClassName() + " to a string");
}

}  // namespace

StringArray ToStrings(const Value &v, const std::string &who) {
    if (v.tag() == Tag::String) return v.strings();
    StringArray out;
    if (v.tag() == Tag::Scalar) {
        out.items.push_back(NumberString(v.scalar()));
        return out;
    }
    if (v.IsCell()) {
        const CellArray &c = v.cell();
        out.dims = c.dims;
        for (const Value &item : c.items) {
            if (IsStringScalar(item)) {
                out.items.push_back(item.strings().items[0]);
                continue;
            }
            if (item.tag() != Tag::Array || !IsChar(item.array()) || item.array().Rows() > 1 ||
                item.array().NDims() > 2)
                throw Error("'" + who + "' converts only cells of char rows and strings");
            out.items.push_back(Text(item.array()));
        }
        return out;
    }
    if (v.tag() != Tag::Array) Refuse(v, who);
    const Array &a = v.array();
    if (IsChar(a)) {
        if (a.NDims() > 2) Refuse(v, who);
        out.items = CharRowTexts(a);
        out.dims = {static_cast<unsigned int>(out.items.size()), 1};
        return out;
    }
    if (IsCell(a) || a.ClassID() == km::mxClassStruct) Refuse(v, who);
    out.dims = a.Dims();
    if (IsComplex(a)) {
        // re+imi, each part as a real number converts, the sign of the
        // imaginary part between them.
        const std::vector<double> re = RealNumbers(a);
        const std::vector<double> im = RealNumbers(Array::Adopt(km::Imag(a.get())));
        for (std::size_t k = 0; k < re.size(); ++k) {
            const bool minus = std::signbit(im[k]) && !std::isnan(im[k]);
            out.items.push_back(NumberString(re[k]) + (minus ? "-" : "+") +
                                NumberString(std::fabs(im[k])) + "i");
        }
        return out;
    }
    const bool logical = a.IsLogical();
    for (double x : RealNumbers(a))
        out.items.push_back(logical ? (x != 0 ? "true" : "false") : NumberString(x));
    return out;
}

Value StringElements(const StringArray &s, const Dims &dims,
                     const std::vector<std::size_t> &taken) {
    StringArray out;
    out.dims = dims;
    out.items.reserve(taken.size());
    for (std::size_t k : taken) out.items.push_back(s.items[k]);
    return Value(std::move(out));
}

namespace {

// <0, 0 or >0 as UTF-16 code units order a and b. std::string compares bytes
// as unsigned, which orders UTF-8 by code point: the same order unless a
// code point above U+FFFF (a four-byte sequence) meets one from U+E000 up.
int CompareUnits(const std::string &a, const std::string &b) {
    const auto wide = [](const std::string &s) {
        for (unsigned char c : s)
            if (c >= 0xF0) return true;
        return false;
    };
    if (!wide(a) && !wide(b)) return a.compare(b);
    const std::vector<double> x = CodeUnits(a);
    const std::vector<double> y = CodeUnits(b);
    if (std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end())) return -1;
    return x == y ? 0 : 1;
}

}  // namespace

Value StringBinary(Op op, const Value &a, const Value &b) {
    const BinaryOperator &row = BinaryRow(op);
    switch (op) {
        case Op::Plus:
        case Op::Eq:
        case Op::Ne:
        case Op::Lt:
        case Op::Le:
        case Op::Gt:
        case Op::Ge: break;
        default:
            throw Error(std::string("Operator '") + row.op + "' is not defined for a " +
                        a.ClassName() + " and a " + b.ClassName());
    }
    const StringArray x = ToStrings(a, row.function);
    const StringArray y = ToStrings(b, row.function);
    const std::size_t nx = x.items.size();
    const std::size_t ny = y.items.size();
    if (nx != 1 && ny != 1 && x.dims != y.dims)
        throw Error("Sizes " + DimsText(x.dims) + " and " + DimsText(y.dims) +
                    " of the operands of '" + row.op + "' do not agree");
    const Dims dims = nx == 1 ? y.dims : x.dims;
    const std::size_t n = nx == 1 ? ny : nx;
    if (op == Op::Plus) {
        StringArray out;
        out.dims = dims;
        out.items.reserve(n);
        for (std::size_t k = 0; k < n; ++k)
            out.items.push_back(x.items[nx == 1 ? 0 : k] + y.items[ny == 1 ? 0 : k]);
        return Value(std::move(out));
    }
    Array out =
        Array::Adopt(km::mxCreateNumericArray(static_cast<unsigned int>(dims.size()), dims.data(),
                                              km::mxClassDouble, km::mxComplexityReal));
    km::DoubleSpan data = out.MutableData();
    for (std::size_t k = 0; k < n; ++k) {
        const int c = CompareUnits(x.items[nx == 1 ? 0 : k], y.items[ny == 1 ? 0 : k]);
        bool r = false;
        switch (op) {
            case Op::Eq: r = c == 0; break;
            case Op::Ne: r = c != 0; break;
            case Op::Lt: r = c < 0; break;
            case Op::Le: r = c <= 0; break;
            case Op::Gt: r = c > 0; break;
            default: r = c >= 0; break;
        }
        data[k] = r ? 1.0 : 0.0;
    }
    km::mxSetLogical(out.get());
    return out;
}

Value StringUnary(Op op, const Value &a) {
    const StringArray &s = a.strings();
    if ((op != Op::Transpose && op != Op::Ctranspose) || s.dims.size() > 2)
        throw Error(std::string("Operator '") + UnaryRow(op).op + "' is not defined for a string");
    StringArray out;
    const unsigned int m = s.dims[0];
    const unsigned int n = s.dims[1];
    out.dims = {n, m};
    out.items.reserve(s.items.size());
    for (unsigned int i = 0; i < m; ++i)
        for (unsigned int j = 0; j < n; ++j) out.items.push_back(s.items[i + std::size_t{j} * m]);
    return Value(std::move(out));
}

CellArray StringCells(const StringArray &s) {
    CellArray c;
    c.dims = s.dims;
    c.items.reserve(s.items.size());
    for (const std::string &t : s.items) c.items.push_back(StringScalar(t));
    return c;
}

StringArray CellStrings(const CellArray &c) {
    StringArray s;
    s.dims = c.dims;
    s.items.reserve(c.items.size());
    for (const Value &v : c.items) s.items.push_back(IsStringScalar(v) ? v.strings().items[0] : "");
    return s;
}

Value JoinStrings(const std::vector<std::vector<Value>> &rows) {
    std::vector<StringArray> lines;
    for (const std::vector<Value> &row : rows) {
        StringArray line;
        line.dims = {0, 0};
        for (const Value &v : row) {
            // [] and '' add nothing, as in any concatenation.
            if (v.tag() != Tag::String && Count(v.Dimensions()) == 0) continue;
            StringArray s = ToStrings(v, "horzcat");
            if (s.dims.size() > 2)
                throw Error("String arrays of more than two dimensions cannot be joined");
            if (s.items.empty()) continue;
            if (line.items.empty()) {
                line = std::move(s);
                continue;
            }
            if (s.dims[0] != line.dims[0])
                throw Error("Dimensions of arrays being concatenated are not consistent");
            line.items.insert(line.items.end(), s.items.begin(), s.items.end());
            line.dims[1] += s.dims[1];
        }
        if (!line.items.empty()) lines.push_back(std::move(line));
    }
    StringArray out;
    out.dims = {0, 0};
    if (lines.empty()) return Value(std::move(out));
    const unsigned int cols = lines[0].dims[1];
    unsigned int total = 0;
    for (const StringArray &s : lines) {
        if (s.dims[1] != cols)
            throw Error("Dimensions of arrays being concatenated are not consistent");
        total += s.dims[0];
    }
    out.dims = {total, cols};
    out.items.resize(std::size_t{total} * cols);
    unsigned int top = 0;
    for (const StringArray &s : lines) {
        for (unsigned int j = 0; j < cols; ++j)
            for (unsigned int i = 0; i < s.dims[0]; ++i)
                out.items[top + i + std::size_t{j} * total] =
                    s.items[i + std::size_t{j} * s.dims[0]];
        top += s.dims[0];
    }
    return Value(std::move(out));
}

bool WordOf(const Value &v, std::string &out) {
    if (IsStringScalar(v)) {
        out = v.strings().items[0];
        return true;
    }
    if (!v.IsArray() || !IsChar(v.array()) || v.array().Rows() > 1) return false;
    out = Text(v.array());
    return true;
}

std::string CompactText(const std::string &text) {
    std::string out;
    int depth = 0;
    char quote = 0;
    for (char c : text) {
        if (quote) {
            out += c;
            if (c == quote) quote = 0;
            continue;
        }
        if (c == '"' || c == '\'') {
            // After a value a single quote transposes; elsewhere it opens text.
            const char before = out.empty() ? ' ' : out.back();
            const bool transpose = c == '\'' && (std::isalnum(static_cast<unsigned char>(before)) ||
                                                 before == ')' || before == ']' || before == '}' ||
                                                 before == '\'' || before == '.' || before == '_');
            if (!transpose) quote = c;
        } else if (c == '[' || c == '{') {
            ++depth;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        } else if ((c == ' ' || c == '\t') && depth == 0) {
            continue;
        }
        out += c;
    }
    return out;
}

}  // namespace mtrx
