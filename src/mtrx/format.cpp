// src/mtrx/format.cpp: sprintf's conversions and num2str's layout, with
// non-finite values spelled as the display spells them.
#include "format.h"

#include "arrays.h"
#include "error.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>

namespace mtrx {

namespace {

// One argument item: a number, or the whole text of a char argument.
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

std::string Pad(const std::string &s, const Conversion &c) {
    const std::size_t width = c.width.empty() ? 0 : std::stoul(c.width);
    if (s.size() >= width) return s;
    const std::string fill(width - s.size(), ' ');
    return c.flags.find('-') != std::string::npos ? s + fill : fill + s;
}

std::string NonFinite(double x) { return std::isnan(x) ? "NaN" : x < 0 ? "-Inf" : "Inf"; }

std::string Number(const Conversion &c, double x) {
    if (!std::isfinite(x)) return Pad(NonFinite(x), c);
    std::string head = "%" + c.flags + c.width;
    switch (c.kind) {
        case 'd':
        case 'i':
        case 'u':
            // Whole values print through %.0f, which covers every double.
            if (x == std::floor(x)) return Printf(head + ".0f", x);
            return Printf(head + c.precision + "e", x);
        case 'x':
        case 'o':
        case 'X':
            if (x == std::floor(x) && x >= 0 && x < 18446744073709551616.0) {
                char buffer[64];
                const std::string pattern = head + "ll" + c.kind;
                std::snprintf(buffer, sizeof buffer, pattern.c_str(),
                              static_cast<unsigned long long>(x));
                return buffer;
            }
            return Printf(head + c.precision + "e", x);
        case 'c':
            // A character code; anything else prints as %s prints it.
            if (x == std::floor(x) && x >= 0 && x < 256)
                return Pad(std::string(1, static_cast<char>(static_cast<int>(x))), c);
            return Printf("%" + c.flags + c.width + "e", x);
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
            case '\\': out += '\\'; break;
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
        while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j])))
            c.width += format[j++];
        if (j < format.size() && format[j] == '.') {
            c.precision = ".";
            ++j;
            while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j])))
                c.precision += format[j++];
        }
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

}  // namespace

std::string Format(const std::string &format, const std::vector<Value> &args,
                   const std::string &who) {
    std::deque<Item> items;
    for (const Value &v : args) {
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
            const Conversion &c = s.conversion;
            if (c.kind == 0) {
                out += s.literal;
                continue;
            }
            if (items.empty()) {
                if (none) continue;  // no arguments at all: conversions print nothing
                return out;
            }
            Item &item = items.front();
            if (item.text && c.kind == 's') {
                std::string t = item.chars;
                if (c.precision.size() > 1) t = t.substr(0, std::stoul(c.precision.substr(1)));
                out += Pad(t, c);
                items.pop_front();
                continue;
            }
            if (item.text) {
                // A numeric conversion takes a text one character at a time.
                std::string rest = item.chars;
                items.pop_front();
                for (auto k = rest.size(); k-- > 0;)
                    items.push_front(Item{false, static_cast<unsigned char>(rest[k]) * 1.0, ""});
                if (items.empty()) continue;
            }
            const double x = items.front().number;
            items.pop_front();
            if (c.kind == 's') {
                if (std::isfinite(x) && x == std::floor(x) && x >= 0 && x < 256)
                    out += Pad(std::string(1, static_cast<char>(static_cast<int>(x))), c);
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
    return std::isfinite(x) ? Printf(pattern, x) : NonFinite(x);
}

}  // namespace

std::vector<std::string> NumberText(const Array &a) {
    const std::vector<double> v = RealValues(a, "num2str");
    bool whole = true;
    double largest = 0;
    for (double x : v) {
        if (std::isfinite(x)) {
            whole = whole && x == std::floor(x);
            largest = std::max(largest, std::fabs(x));
        }
    }
    int digits = 5;
    if (largest > 0) digits = std::max(5, static_cast<int>(std::floor(std::log10(largest))) + 5);
    const std::string pattern = whole ? "%.0f" : "%." + std::to_string(std::min(digits, 17)) + "g";
    std::vector<std::string> cells;
    for (double x : v) cells.push_back(Element(x, pattern));
    return Columns(a, cells);
}

std::vector<std::string> NumberText(const Array &a, int digits) {
    const std::vector<double> v = RealValues(a, "num2str");
    const std::string pattern = "%." + std::to_string(std::max(1, std::min(digits, 17))) + "g";
    std::vector<std::string> cells;
    for (double x : v) cells.push_back(Element(x, pattern));
    return Columns(a, cells);
}

}  // namespace mtrx
