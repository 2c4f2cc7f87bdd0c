// src/mtrx/format.cpp: sprintf's conversions and num2str's layout, with
// non-finite values spelled as the display spells them.
#include "format.h"

#include "arrays.h"
#include "error.h"
#include "text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>

namespace mtrx {

namespace {

// One argument item: a number, or the whole UTF-8 text of a char argument
// or of one element of a string argument.
struct Item {
    bool text;
    double number;
    std::string chars;
};

struct Conversion {
    std::string flags;
    std::string width;
    std::string precision;  // with its '.', or empty
    char kind;
    bool widthStar = false;      // '*': the width is the next argument item
    bool precisionStar = false;  // '.*': the precision is the next argument item
};

struct Segment {
    std::string literal;  // when conversion.kind is 0
    Conversion conversion{};
};

std::string Printf(const std::string &pattern, double x) {
    char buffer[64];
    int n = std::snprintf(buffer, sizeof buffer, pattern.c_str(), x);
    if (n < 0) return std::string();
    if (static_cast<std::size_t>(n) < sizeof buffer) return std::string(buffer, n);
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(&big[0], big.size(), pattern.c_str(), x);
    big.resize(static_cast<std::size_t>(n));
    return big;
}

// The length of UTF-8 text in UTF-16 code units, the unit of a width.
std::size_t Length(const std::string &s) {
    std::size_t n = 0;
    for (unsigned char b : s) n += (b & 0xC0) != 0x80 ? (b >= 0xF0 ? 2 : 1) : 0;
    return n;
}

// The UTF-8 text of a character code in `out`; false when x is none.
bool Character(double x, std::string &out) {
    if (!(x >= 0 && x < 0x110000) || x != std::floor(x)) return false;
    out.clear();
    AppendCode(out, static_cast<unsigned int>(x));
    return true;
}

std::string Pad(const std::string &s, const Conversion &c) {
    const std::size_t width = c.width.empty() ? 0 : std::stoul(c.width);
    const std::size_t length = Length(s);
    if (length >= width) return s;
    const std::string fill(width - length, ' ');
    return c.flags.find('-') != std::string::npos ? s + fill : fill + s;
}

std::string NonFinite(double x) { return std::isnan(x) ? "NaN" : x < 0 ? "-Inf" : "Inf"; }

bool HasFlag(const Conversion &c, char flag) { return c.flags.find(flag) != std::string::npos; }

// A whole value under %d, %i or %u, laid out as C lays out an integer: the
// precision is the least number of digits (zeros in front; precision 0
// prints nothing for 0), then the sign, then the width, filled with zeros
// after the sign for the '0' flag when no precision is given. The digits come
// from %.0f, exact for every whole double, beyond the range of any C integer
// type too. '#' does not apply to these conversions and is ignored.
std::string WholeNumber(const Conversion &c, double x) {
    std::string digits = Printf("%.0f", std::fabs(x));
    if (!c.precision.empty()) {
        const std::size_t precision =
            c.precision.size() > 1 ? std::stoul(c.precision.substr(1)) : 0;
        if (precision == 0 && x == 0) digits.clear();
        if (digits.size() < precision) digits.insert(0, precision - digits.size(), '0');
    }
    std::string sign;
    if (x < 0)
        sign = "-";
    else if (c.kind != 'u' && HasFlag(c, '+'))
        sign = "+";
    else if (c.kind != 'u' && HasFlag(c, ' '))
        sign = " ";
    const std::size_t width = c.width.empty() ? 0 : std::stoul(c.width);
    const std::size_t length = sign.size() + digits.size();
    if (length >= width) return sign + digits;
    const std::size_t fill = width - length;
    if (HasFlag(c, '-')) return sign + digits + std::string(fill, ' ');
    if (HasFlag(c, '0') && c.precision.empty()) return sign + std::string(fill, '0') + digits;
    return std::string(fill, ' ') + sign + digits;
}

std::string Number(const Conversion &c, double x) {
    if (!std::isfinite(x)) return Pad(NonFinite(x), c);
    const std::string head = "%" + c.flags + c.width;
    switch (c.kind) {
        case 'd':
        case 'i':
        case 'u':
            if (x == std::floor(x)) return WholeNumber(c, x);
            return Printf(head + c.precision + "e", x);
        case 'x':
        case 'o':
        case 'X':
            if (x == std::floor(x) && x >= 0 && x < 18446744073709551616.0) {
                char buffer[64];
                const std::string pattern = head + c.precision + "ll" + c.kind;
                std::snprintf(buffer, sizeof buffer, pattern.c_str(),
                              static_cast<unsigned long long>(x));
                return buffer;
            }
            return Printf(head + c.precision + "e", x);
        case 'c': {
            // A character code; anything else prints as %s prints it.
            std::string code;
            if (Character(x, code)) return Pad(code, c);
            return Printf(head + "e", x);
        }
        default: return Printf(head + c.precision + c.kind, x);
    }
}

std::vector<double> RealValues(const Array &a, const std::string &who) {
    if (IsCell(a)) throw Error("'" + who + "' does not take cell arguments");
    const Array real = IsComplex(a) ? kiv::matrix::Real(a) : a;
    if (IsDouble(real)) return real.ToVector();
    std::vector<double> v(real.Numel());
    for (unsigned int k = 0; k < real.Numel(); ++k)
        v[k] = kiv::matrix::mxGetScalar(
            Array::Adopt(kiv::matrix::Indexref(real.get(), Array(k + 1.0).get())).get());
    return v;
}

std::string Unescaped(const std::string &format) {
    std::string out;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '\\' || i + 1 == format.size()) {
            out += format[i];
            continue;
        }
        switch (format[++i]) {
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case 'a': out += '\a'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'v': out += '\v'; break;
            case '\\': out += '\\'; break;
            case 'x':
            case '0': case '1': case '2': case '3': case '4': case '5': case '6': case '7': {
                // \xHH... (hexadecimal) and \NNN (octal): a character code.
                const bool hex = format[i] == 'x';
                const std::string digits = hex ? "0123456789abcdefABCDEF" : "01234567";
                std::size_t j = hex ? i + 1 : i;
                unsigned long code = 0;
                const std::size_t most = hex ? 6 : 3;
                std::size_t n = 0;
                for (; j < format.size() && n < most && digits.find(format[j]) != std::string::npos;
                     ++j, ++n)
                    code = code * (hex ? 16 : 8) +
                           static_cast<unsigned long>(std::stoi(std::string(1, format[j]), nullptr, 16));
                if (n == 0 || code >= 0x110000) {
                    out += '\\';
                    out += format[i];
                    break;
                }
                AppendCode(out, static_cast<unsigned int>(code));
                i = j - 1;
                break;
            }
            default: out += '\\'; out += format[i];
        }
    }
    return out;
}

std::vector<Segment> Segments(const std::string &format, const std::string &who) {
    std::vector<Segment> out;
    std::string literal;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            literal += format[i];
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == '%') {
            literal += '%';
            ++i;
            continue;
        }
        Conversion c;
        std::size_t j = i + 1;
        while (j < format.size() && std::string("-+ 0#").find(format[j]) != std::string::npos)
            c.flags += format[j++];
        if (j < format.size() && format[j] == '*') {
            c.widthStar = true;
            ++j;
        }
        while (!c.widthStar && j < format.size() &&
               std::isdigit(static_cast<unsigned char>(format[j])))
            c.width += format[j++];
        if (j < format.size() && format[j] == '.') {
            c.precision = ".";
            ++j;
            if (j < format.size() && format[j] == '*') {
                c.precisionStar = true;
                ++j;
            }
            while (!c.precisionStar && j < format.size() &&
                   std::isdigit(static_cast<unsigned char>(format[j])))
                c.precision += format[j++];
        }
        // A length modifier (l, ll, h) says nothing here: every item is a double.
        while (j < format.size() && (format[j] == 'l' || format[j] == 'h')) ++j;
        if (j >= format.size() || std::string("diucsfeEgGxXo").find(format[j]) == std::string::npos)
            throw Error("Unsupported conversion in the format of '" + who + "'");
        if (c.width.size() > 4 || c.precision.size() > 4)
            throw Error("Width or precision too large in the format of '" + who + "'");
        c.kind = format[j];
        if (!literal.empty()) out.push_back(Segment{literal, {}});
        literal.clear();
        out.push_back(Segment{std::string(), c});
        i = j;
    }
    if (!literal.empty()) out.push_back(Segment{literal, {}});
    return out;
}

// Takes the next number of `items`; a text item gives its characters' codes
// one at a time. False when none is left.
bool NextNumber(std::deque<Item> &items, double &x) {
    while (!items.empty() && items.front().text) {
        const std::vector<double> rest = CodeUnits(items.front().chars);
        items.pop_front();
        for (auto k = rest.size(); k-- > 0;) items.push_front(Item{false, rest[k], ""});
    }
    if (items.empty()) return false;
    x = items.front().number;
    items.pop_front();
    return true;
}

// `written` with its '*' width and precision taken from `items`, as C takes
// them: a negative width left-justifies, a negative precision counts as none.
// False when the items run out first.
bool Resolve(const Conversion &written, std::deque<Item> &items, const std::string &who,
             Conversion &out) {
    out = written;
    out.widthStar = out.precisionStar = false;
    double x;
    const auto star = [&](double v) {
        if (!(std::fabs(v) <= 9999) || v != std::floor(v))
            throw Error("A '*' width or precision in the format of '" + who +
                        "' must be a whole number from -9999 to 9999");
        return static_cast<int>(v);
    };
    if (written.widthStar) {
        if (!NextNumber(items, x)) return false;
        const int width = star(x);
        if (width < 0 && !HasFlag(out, '-')) out.flags += '-';
        out.width = std::to_string(width < 0 ? -width : width);
    }
    if (written.precisionStar) {
        if (!NextNumber(items, x)) return false;
        const int precision = star(x);
        out.precision = precision < 0 ? std::string() : "." + std::to_string(precision);
    }
    return true;
}

}  // namespace

namespace {

// Format's text before surrogates written one at a time are paired.
std::string Formatted(const std::string &format, const std::vector<Value> &args,
                      const std::string &who) {
    std::deque<Item> items;
    for (const Value &v : args) {
        if (v.tag() == Tag::String) {
            for (const std::string &s : v.strings().items) items.push_back(Item{true, 0.0, s});
            continue;
        }
        const Array &a = v.array();
        if (IsChar(a)) {
            items.push_back(Item{true, 0.0, Text(a)});
            continue;
        }
        for (double x : RealValues(a, who)) items.push_back(Item{false, x, std::string()});
    }
    const std::vector<Segment> segments = Segments(Unescaped(format), who);
    const bool converts = std::any_of(segments.begin(), segments.end(),
                                      [](const Segment &s) { return s.conversion.kind != 0; });
    const bool none = items.empty();
    std::string out;
    do {
        for (const Segment &s : segments) {
            const Conversion *conversion = &s.conversion;
            if (conversion->kind == 0) {
                out += s.literal;
                continue;
            }
            if (items.empty()) {
                if (none) continue;  // no arguments at all: conversions print nothing
                return out;
            }
            Conversion starred;
            if (conversion->widthStar || conversion->precisionStar) {
                if (!Resolve(*conversion, items, who, starred)) return out;
                conversion = &starred;
                if (items.empty()) return out;
            }
            const Conversion &c = *conversion;
            Item &item = items.front();
            if (item.text && c.kind == 's') {
                std::string t = item.chars;
                if (!c.precision.empty()) {  // "." alone is precision 0, counted in code units
                    const std::size_t keep =
                        c.precision.size() > 1 ? std::stoul(c.precision.substr(1)) : 0;
                    const std::vector<double> units = CodeUnits(t);
                    if (units.size() > keep) {
                        t.clear();
                        for (std::size_t k = 0; k < keep; ++k)
                            AppendCode(t, static_cast<unsigned int>(units[k]));
                    }
                }
                out += Pad(t, c);
                items.pop_front();
                continue;
            }
            if (item.text) {
                // A numeric conversion takes a text one character at a time.
                const std::vector<double> rest = CodeUnits(item.chars);
                items.pop_front();
                for (auto k = rest.size(); k-- > 0;) items.push_front(Item{false, rest[k], ""});
                if (items.empty()) continue;
            }
            const double x = items.front().number;
            items.pop_front();
            if (c.kind == 's') {
                std::string code;
                if (Character(x, code))
                    out += Pad(code, c);
                else
                    out += std::isfinite(x) ? Printf("%" + c.flags + c.width + "e", x)
                                            : Pad(NonFinite(x), c);
            } else {
                out += Number(c, x);
            }
        }
    } while (converts && !items.empty());
    return out;
}

}  // namespace

std::string Format(const std::string &format, const std::vector<Value> &args,
                   const std::string &who) {
    return WellFormed(Formatted(format, args, who));
}

namespace {

std::vector<std::string> Columns(const Array &a, const std::vector<std::string> &cells) {
    const unsigned int rows = a.Rows();
    const unsigned int cols = rows ? a.Numel() / rows : 0;
    std::vector<std::size_t> widths(cols, 0);
    for (unsigned int j = 0; j < cols; ++j)
        for (unsigned int i = 0; i < rows; ++i)
            widths[j] = std::max(widths[j], cells[i + j * rows].size());
    std::vector<std::string> out(rows);
    for (unsigned int i = 0; i < rows; ++i) {
        for (unsigned int j = 0; j < cols; ++j) {
            const std::string &t = cells[i + j * rows];
            if (j) out[i] += "  ";
            out[i] += std::string(widths[j] - t.size(), ' ') + t;
        }
    }
    return out;
}

std::string Element(double x, const std::string &pattern) {
    if (x == 0) return "0";  // -0 too
    return std::isfinite(x) ? Printf(pattern, x) : NonFinite(x);
}

}  // namespace

namespace {

// The real and imaginary parts of `a` (the second empty when it is real).
std::pair<std::vector<double>, std::vector<double>> Parts(const Array &a) {
    std::vector<double> re = RealValues(a, "num2str");
    std::vector<double> im;
    if (IsComplex(a))
        im = RealValues(Array::Adopt(kiv::matrix::Imag(a.get())), "num2str");
    return {std::move(re), std::move(im)};
}

// The elements' texts by `pattern`; a complex element as re+imi.
std::vector<std::string> Cells(const std::vector<double> &re, const std::vector<double> &im,
                               const std::string &pattern) {
    std::vector<std::string> cells;
    for (std::size_t k = 0; k < re.size(); ++k) {
        std::string t = Element(re[k], pattern);
        if (!im.empty()) {
            const double y = im[k];
            t += (std::signbit(y) && !std::isnan(y) ? "-" : "+") + Element(std::fabs(y), pattern) +
                 "i";
        }
        cells.push_back(std::move(t));
    }
    return cells;
}

}  // namespace

namespace {

// The rows of a real array in the language's layout: every element right
// aligned in one width, row after row, then the blank columns that lead in
// every row taken away.
std::vector<std::string> FixedColumns(const Array &a, const std::vector<std::string> &cells,
                                      std::size_t width) {
    const unsigned int rows = a.Rows();
    const unsigned int cols = rows ? a.Numel() / rows : 0;
    std::vector<std::string> out(rows);
    for (unsigned int i = 0; i < rows; ++i)
        for (unsigned int j = 0; j < cols; ++j) {
            const std::string &t = cells[i + j * rows];
            out[i] += std::string(width > t.size() ? width - t.size() : 0, ' ') + t;
        }
    std::size_t lead = std::string::npos;
    for (const std::string &row : out) lead = std::min(lead, row.find_first_not_of(' '));
    if (lead != std::string::npos)
        for (std::string &row : out) row.erase(0, lead);
    return out;
}

bool AnyNegative(const std::vector<double> &v) {
    return std::any_of(v.begin(), v.end(), [](double x) { return x < 0; });
}

}  // namespace

std::vector<std::string> NumberText(const Array &a) {
    const auto [re, im] = Parts(a);
    if (im.empty()) {
        // Whole numbers (Inf too) as integers two blanks apart at least;
        // otherwise %g with at least five significant digits in a width of
        // seven more, as the language lays a matrix out.
        bool whole = true;
        double largest = 0;
        for (double x : re) {
            whole = whole && !std::isnan(x) && (std::isinf(x) || x == std::floor(x));
            if (std::isfinite(x)) largest = std::max(largest, std::fabs(x));
        }
        const int negative = AnyNegative(re) ? 1 : 0;
        if (whole) {
            const std::vector<std::string> cells = Cells(re, im, "%.0f");
            std::size_t digits = 1;
            for (const std::string &t : cells)
                digits = std::max(digits, t.size() - (!t.empty() && t[0] == '-' ? 1 : 0));
            return FixedColumns(a, cells, digits + 2 + negative);
        }
        int digits = 5;
        if (largest > 0) digits = std::max(5, static_cast<int>(std::floor(std::log10(largest))) + 5);
        digits = std::min(digits, 16);
        return FixedColumns(a, Cells(re, im, "%." + std::to_string(digits) + "g"),
                            static_cast<std::size_t>(digits + 7 + negative));
    }
    bool whole = true;
    double largest = 0;
    for (const std::vector<double> *v : {&re, &im}) {
        for (double x : *v) {
            if (std::isfinite(x)) {
                whole = whole && x == std::floor(x);
                largest = std::max(largest, std::fabs(x));
            }
        }
    }
    int digits = 5;
    if (largest > 0) digits = std::max(5, static_cast<int>(std::floor(std::log10(largest))) + 5);
    const std::string pattern = whole ? "%.0f" : "%." + std::to_string(std::min(digits, 17)) + "g";
    return Columns(a, Cells(re, im, pattern));
}

std::vector<std::string> NumberText(const Array &a, int digits) {
    const auto [re, im] = Parts(a);
    digits = std::max(1, std::min(digits, 17));
    const std::string pattern = "%." + std::to_string(digits) + "g";
    if (im.empty())
        return FixedColumns(a, Cells(re, im, pattern),
                            static_cast<std::size_t>(digits + 7 + (AnyNegative(re) ? 1 : 0)));
    return Columns(a, Cells(re, im, pattern));
}

}  // namespace mtrx
