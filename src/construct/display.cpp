// src/construct/display.cpp: DisplayText, the command-window text of an array.
#include <matrix/display.h>

#include <kiv/exception.h>
#include <matrix/exceptions.h>
#include <matrix/mx.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "core/array_holder.h"

namespace kiv {
namespace matrix {

namespace {

// A row longer than this is split into column blocks.
constexpr std::size_t kLineWidth = 80;
// Whole doubles at or above this magnitude print in decimal form, so that
// an integer column never grows past nine digits.
constexpr double kWholeLimit = 1e9;
// Decimals of the short decimal and exponent forms.
constexpr int kDecimals = 4;
// Decimals of the long forms, for double and for single arrays.
constexpr int kLongDecimals = 15;
constexpr int kLongSingleDecimals = 7;
// Significant digits of short g and long g (double, single).
constexpr int kShortGeneralDigits = 5;
constexpr int kLongGeneralDigits = 15;
constexpr int kLongGeneralSingleDigits = 8;
// Powers of ten of the largest magnitude that print without a factor: the
// short range keeps values below 1000, the long one below 100.
constexpr int kLowestPlainExponent = -3;
constexpr int kHighestPlainExponent = 2;
constexpr int kHighestLongPlainExponent = 1;
// rat: the relative tolerance of the fraction, the most continued-fraction
// terms tried, and the bound on numerator and denominator (below 2^53, so
// that both stay exact integers in double arithmetic).
constexpr double kRationalTolerance = 1e-6;
constexpr int kRationalTerms = 64;
constexpr double kRationalLimit = 1e15;
// Indent of the rows of a char matrix and of the cell summaries.
constexpr std::size_t kTextIndent = 4;
// The replacement character, for surrogates and bytes that do not decode.
constexpr std::uint32_t kReplacement = 0xFFFD;

// What DisplayText was asked for.
struct Context {
    NumberFormat format;
    bool session;  // the session layout
    bool blank;    // blank lines are written
};

// Ends the current line with a blank one, unless blank lines are left out.
void AppendBlank(std::string &out, const Context &c) {
    if (c.blank) out += '\n';
}

// How the elements of a numeric array turn into text.
enum class Form {
    kLogical,       // 0 or 1
    kIntegerClass,  // exact integer values of int8 ... uint64
    kWhole,         // whole doubles without decimals
    kDecimal,       // fixed decimals, values as they are
    kScaled,        // fixed decimals, values divided by 10^exponent
    kExponent,      // decimals with an exponent
    kGeneral,       // significant digits, fixed or exponent ("%g")
    kRational,      // continued-fraction approximation p/q
};

struct NumericFormat {
    Form form;
    int exponent;         // of the common factor, for kScaled
    int digits;           // decimals, or significant digits for kGeneral
    std::size_t sep;      // spaces before each field
    std::size_t minReal;  // least width of the (real) text
    std::size_t minImag;  // least width of the imaginary magnitude
    bool complex;
};

// Number texts ------------------------------------------------------------

void AppendNonFinite(std::string &out, double x) {
    if (std::isnan(x)) {
        out += "NaN";
    } else {
        out += x < 0 ? "-Inf" : "Inf";
    }
}

// Appends x in fixed, exponent or general notation with `precision`
// decimals (significant digits for general). The "C" conventions of
// std::to_chars keep the text independent of the locale.
void AppendFloat(std::string &out, double x, std::chars_format format, int precision) {
    // Wide enough for the fixed form of any double with 15 decimals.
    char buffer[400];
    const std::to_chars_result r =
        std::to_chars(buffer, buffer + sizeof buffer, x, format, precision);
    out.append(buffer, r.ptr);
}

template <typename Integer>
void AppendInteger(std::string &out, Integer value) {
    char buffer[24];
    const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, r.ptr);
}

// The power of ten of |x| > 0 as its exponent form with `decimals` shows it,
// so that a value that rounds up to the next power (999.99996 to 1.0000e+03)
// counts as that.
int DecimalExponent(double x, int decimals) {
    char text[48];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, std::fabs(x),
                                                 std::chars_format::scientific, decimals);
    const char *first = std::find(text, r.ptr, 'e') + 1;
    if (*first == '+') ++first;
    int exponent = 0;
    std::from_chars(first, r.ptr, exponent);
    return exponent;
}

// x / 10^exponent, in steps that neither overflow nor underflow the power.
double ScaleDown(double x, int exponent) {
    constexpr int kStep = 300;
    while (exponent > kStep) {
        x /= 1e300;
        exponent -= kStep;
    }
    while (exponent < -kStep) {
        x *= 1e300;
        exponent += kStep;
    }
    return exponent >= 0 ? x / std::pow(10.0, exponent) : x * std::pow(10.0, -exponent);
}

// Appends finite x as the first convergent of the continued fraction of |x|
// within the tolerance: see "rat". The recurrences h = a*h1 + h2 and
// k = a*k1 + k2 run on exact integers, as both stay below kRationalLimit.
void AppendRational(std::string &out, double x) {
    if (x == 0) {
        out += '0';
        return;
    }
    const double target = std::fabs(x);
    const double tolerance = kRationalTolerance * target;
    double y = target;
    double h1 = 1, h2 = 0, k1 = 0, k2 = 1;
    for (int term = 0; term < kRationalTerms; ++term) {
        const double a = std::floor(y);
        const double h = a * h1 + h2;
        const double k = a * k1 + k2;
        if (h >= kRationalLimit || k >= kRationalLimit) break;
        h2 = h1;
        h1 = h;
        k2 = k1;
        k1 = k;
        if (std::fabs(target - h / k) <= tolerance) {
            if (x < 0) out += '-';
            AppendInteger(out, static_cast<long long>(h));
            if (k != 1) {
                out += '/';
                AppendInteger(out, static_cast<long long>(k));
            }
            return;
        }
        const double rest = y - a;
        if (rest == 0) break;
        y = 1 / rest;
    }
    AppendFloat(out, x, std::chars_format::scientific, kDecimals);
}

// Appends one finite or non-finite double in the form `form`; `bareZero`
// makes an exact zero a bare "0" in the fixed decimal forms.
void AppendDouble(std::string &out, double x, const NumericFormat &f, bool bareZero) {
    if (!std::isfinite(x)) {
        AppendNonFinite(out, x);
        return;
    }
    if (x == 0) x = 0;  // -0 prints as 0
    switch (f.form) {
        case Form::kLogical: out += x != 0 ? '1' : '0'; return;
        case Form::kWhole: AppendInteger(out, static_cast<long long>(x)); return;
        case Form::kExponent: AppendFloat(out, x, std::chars_format::scientific, f.digits); return;
        case Form::kGeneral: AppendFloat(out, x, std::chars_format::general, f.digits); return;
        case Form::kRational: AppendRational(out, x); return;
        case Form::kDecimal:
        case Form::kScaled:
        case Form::kIntegerClass: break;
    }
    if (bareZero && x == 0) {
        out += '0';
        return;
    }
    if (f.form == Form::kScaled) x = ScaleDown(x, f.exponent);
    AppendFloat(out, x, std::chars_format::fixed, f.digits);
}

// Element access -------------------------------------------------------------

bool IsFloatClass(const CMatrix *a) { return a->IsDouble() || a->IsSingle(); }

bool IsIntegerClass(const CMatrix *a) {
    const mxClassID c = a->GetClassID();
    return c >= mxClassInt8 && c <= mxClassUint64;
}

// Element k of a float array's part `data`, as a double.
double FloatAt(const CMatrix *a, const void *data, std::size_t k) {
    if (a->IsSingle()) return static_cast<const float *>(data)[k];
    return static_cast<const double *>(data)[k];
}

// Appends element k of an integer-class part `data`, exactly.
void AppendIntegerElement(std::string &out, const CMatrix *a, const void *data, std::size_t k) {
    switch (a->GetClassID()) {
        case mxClassInt8: AppendInteger(out, static_cast<const std::int8_t *>(data)[k]); break;
        case mxClassUint8: AppendInteger(out, static_cast<const std::uint8_t *>(data)[k]); break;
        case mxClassInt16: AppendInteger(out, static_cast<const std::int16_t *>(data)[k]); break;
        case mxClassUint16: AppendInteger(out, static_cast<const std::uint16_t *>(data)[k]); break;
        case mxClassInt32: AppendInteger(out, static_cast<const std::int32_t *>(data)[k]); break;
        case mxClassUint32: AppendInteger(out, static_cast<const std::uint32_t *>(data)[k]); break;
        case mxClassInt64: AppendInteger(out, static_cast<const std::int64_t *>(data)[k]); break;
        default: AppendInteger(out, static_cast<const std::uint64_t *>(data)[k]); break;
    }
}

// True when element k of a numeric part is not zero.
bool NonZeroAt(const CMatrix *a, const void *data, std::size_t k) {
    if (IsFloatClass(a)) return FloatAt(a, data, k) != 0;
    const auto *bytes = static_cast<const unsigned char *>(data) + k * a->GetElementSize();
    for (unsigned int i = 0; i < a->GetElementSize(); ++i) {
        if (bytes[i] != 0) return true;
    }
    return false;
}

// Appends the text of one part (real or imaginary data) of element k.
void AppendPart(std::string &out, const CMatrix *a, const void *data, std::size_t k,
                const NumericFormat &f) {
    if (f.form == Form::kLogical) {
        out += NonZeroAt(a, data, k) ? '1' : '0';
    } else if (f.form == Form::kIntegerClass) {
        AppendIntegerElement(out, a, data, k);
    } else {
        AppendDouble(out, FloatAt(a, data, k), f, !f.complex);
    }
}

// The real text of element k in `re` and, for a complex format, the
// imaginary magnitude in `im`; returns the sign between them.
char ElementTexts(const CMatrix *a, std::size_t k, const NumericFormat &f, std::string &re,
                  std::string &im) {
    re.clear();
    AppendPart(re, a, a->GetPr(), k, f);
    if (!f.complex) return '+';
    im.clear();
    AppendPart(im, a, a->GetPi(), k, f);
    if (im[0] != '-') return '+';
    im.erase(0, 1);
    return '-';
}

// The fixed decimal form of values whose largest finite magnitude is
// `largest`: see "Decimal scale". Sets f.exponent for kScaled.
void ChooseDecimalForm(NumericFormat &f, double largest, bool scalar, int highest) {
    f.exponent = largest > 0 ? DecimalExponent(largest, f.digits) : 0;
    if (f.exponent >= kLowestPlainExponent && f.exponent <= highest) {
        f.form = Form::kDecimal;
    } else {
        f.form = scalar ? Form::kExponent : Form::kScaled;
    }
}

// Sets the form of float values that need decimals, in the number format
// `format`: see "Options".
void ChooseFloatForm(NumericFormat &f, NumberFormat format, double largest, bool scalar,
                     bool single) {
    f.minReal = 7;
    f.minImag = 6;
    switch (format) {
        case NumberFormat::kShort:
            f.digits = kDecimals;
            ChooseDecimalForm(f, largest, scalar, kHighestPlainExponent);
            return;
        case NumberFormat::kLong:
            f.digits = single ? kLongSingleDecimals : kLongDecimals;
            ChooseDecimalForm(f, largest, scalar, kHighestLongPlainExponent);
            return;
        case NumberFormat::kShortE:
            f.form = Form::kExponent;
            f.digits = kDecimals;
            return;
        case NumberFormat::kLongE:
            f.form = Form::kExponent;
            f.digits = single ? kLongSingleDecimals : kLongDecimals;
            return;
        case NumberFormat::kShortG:
            f.form = Form::kGeneral;
            f.digits = kShortGeneralDigits;
            return;
        case NumberFormat::kLongG:
            f.form = Form::kGeneral;
            f.digits = single ? kLongGeneralSingleDigits : kLongGeneralDigits;
            return;
        case NumberFormat::kRat:
            f.form = Form::kRational;
            f.minReal = 3;
            f.minImag = 1;
            return;
    }
}

// Refuses a number format outside the enumeration, before any work.
void RequireFormat(NumberFormat format) {
    const int value = static_cast<int>(format);
    if (value < static_cast<int>(NumberFormat::kShort) ||
        value > static_cast<int>(NumberFormat::kRat))
        throw CFunctionErrorException(L"DisplayText, DisplayNumber: unknown number format");
}

// True when x prints in a decimal form rather than as a whole number.
bool NeedsDecimals(double x) {
    return std::isfinite(x) && (x != std::trunc(x) || std::fabs(x) >= kWholeLimit);
}

// Chooses the form of a numeric array: see "Numbers", "Decimal scale" and
// "Options".
NumericFormat ChooseFormat(const CMatrix *a, const Context &c) {
    NumericFormat f{Form::kWhole, 0, kDecimals, 3, 3, 0, a->IsComplex() && !a->IsLogical()};
    if (a->IsLogical() || IsIntegerClass(a)) {
        f.form = a->IsLogical() ? Form::kLogical : Form::kIntegerClass;
        // The session's integer fields keep a column for a sign instead.
        f.sep = c.session && a->IsLogical() ? 3 : 2;
        f.minReal = 1;
        f.minImag = 1;
        return f;
    }
    // The largest finite magnitude, and whether some value needs decimals.
    const std::size_t count = a->GetNoElems();
    double largest = 0;
    bool decimals = f.complex;
    const void *parts[] = {a->GetPr(), a->GetPi()};
    for (int part = 0; part < (f.complex ? 2 : 1); ++part) {
        for (std::size_t k = 0; k < count; ++k) {
            const double x = FloatAt(a, parts[part], k);
            if (std::isfinite(x)) largest = std::max(largest, std::fabs(x));
            decimals = decimals || NeedsDecimals(x);
        }
    }
    if (!decimals) return f;
    ChooseFloatForm(f, c.format, largest, count == 1, a->IsSingle());
    if (f.complex && c.session) f.sep = 2;
    return f;
}

// Text -------------------------------------------------------------------------

// Appends the code point cp (at most U+10FFFF) as UTF-8.
void AppendCodePoint(std::string &out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Code unit k of a char array.
std::uint32_t UnitAt(const CMatrix *a, std::size_t k) {
    return static_cast<const std::uint16_t *>(a->GetPr())[k];
}

bool IsHighSurrogate(std::uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(std::uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Appends as UTF-8 the `count` code units of the char array `a` at `first`,
// first + stride, ...: a surrogate pair as its code point, a lone surrogate
// as U+FFFD.
void AppendUnits(std::string &out, const CMatrix *a, std::size_t first, std::size_t stride,
                 std::size_t count) {
    for (std::size_t j = 0; j < count; ++j) {
        const std::uint32_t u = UnitAt(a, first + j * stride);
        if (IsHighSurrogate(u) && j + 1 < count) {
            const std::uint32_t next = UnitAt(a, first + (j + 1) * stride);
            if (IsLowSurrogate(next)) {
                AppendCodePoint(out, 0x10000 + ((u - 0xD800) << 10) + (next - 0xDC00));
                ++j;
                continue;
            }
        }
        AppendCodePoint(out, IsHighSurrogate(u) || IsLowSurrogate(u) ? kReplacement : u);
    }
}

// Decodes the well-formed UTF-8 sequence at text[i], if one starts there:
// returns its length and sets `cp`, or returns 0.
std::size_t DecodeUtf8(const std::string &text, std::size_t i, std::uint32_t &cp) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        cp = lead;
        return 1;
    }
    std::size_t length;
    std::uint32_t least;  // the smallest code point of that length
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        least = 0x80;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        least = 0x800;
        cp = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        least = 0x10000;
        cp = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() - i < length) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return length;
}

// Layout ---------------------------------------------------------------------

// Columns a UTF-8 text takes: its bytes that do not continue a character.
std::size_t TextColumns(const std::string &text) {
    std::size_t columns = 0;
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++columns;
    }
    return columns;
}

void AppendPadding(std::string &out, std::size_t width, std::size_t used) {
    if (width > used) out.append(width - used, ' ');
}

void AppendShape(std::string &out, const CMatrix *a) {
    const unsigned int *dims = a->GetDimensions();
    for (unsigned int d = 0; d < a->GetNoDimensions(); ++d) {
        if (d > 0) out += 'x';
        AppendInteger(out, dims[d]);
    }
}

// The class word of size-and-class texts: "logical" for any logical array.
const char *ClassName(const CMatrix *a) {
    static const char *const kClassNames[] = {
        "unknown", "cell",  "struct", "unknown", "char",  "sparse", "double", "single",
        "int8",    "uint8", "int16",  "uint16",  "int32", "uint32", "int64",  "uint64"};
    if (a->IsLogical()) return "logical";
    const unsigned int classId = a->GetClassID();
    return classId < sizeof kClassNames / sizeof *kClassNames ? kClassNames[classId] : "unknown";
}

// Appends the session's class line of a two-dimensional array: its class
// alone for a scalar ("  int8"), else its size, class and kind: "  1x3
// int8 row vector", "  3x1 single column vector", "  2x2 uint16 matrix";
// logical and char arrays are an "array" of any shape ("  1x2 logical
// array", "  2x3 char array").
void AppendClassLine(std::string &out, const CMatrix *a) {
    const unsigned int *dims = a->GetDimensions();
    out += "  ";
    if (a->GetNoElems() == 1) {
        out += ClassName(a);
        out += '\n';
        return;
    }
    AppendShape(out, a);
    out += ' ';
    out += ClassName(a);
    if (a->IsLogical() || a->IsChar()) {
        out += " array\n";
    } else if (dims[0] == 1) {
        out += " row vector\n";
    } else if (dims[1] == 1) {
        out += " column vector\n";
    } else {
        out += " matrix\n";
    }
}

// Writes every page of `a`: alone under "name =" for a two-dimensional
// array, else each under its "name(:,:,...) =" header. `body(out, first)`
// writes the page whose first element is `first`.
template <typename Body>
void AppendPages(std::string &out, const CMatrix *a, const std::string &name, const Context &c,
                 Body body) {
    const bool named = !name.empty();
    const unsigned int *dims = a->GetDimensions();
    const std::size_t pageSize = static_cast<std::size_t>(dims[0]) * dims[1];
    const std::size_t pages = a->GetNoElems() / pageSize;
    if (a->GetNoDimensions() == 2) {
        if (named) {
            out += name + " =\n";
            AppendBlank(out, c);
        }
        body(out, 0);
        if (named) AppendBlank(out, c);
        return;
    }
    for (std::size_t page = 0; page < pages; ++page) {
        out += name;
        out += "(:,:";
        std::size_t rest = page;
        for (unsigned int d = 2; d < a->GetNoDimensions(); ++d) {
            out += ',';
            AppendInteger(out, rest % dims[d] + 1);
            rest /= dims[d];
        }
        out += ") =\n";
        AppendBlank(out, c);
        body(out, page * pageSize);
        if (named || page + 1 < pages) AppendBlank(out, c);
    }
}

// Appends one m x n page as rows of fields, split into column blocks when
// a row would be longer than the line: each block takes as many columns as
// fit in the line, at least one. Each field is `sep` spaces and then
// `field(out, k)`, which writes element k in widths[j] columns for its
// column j.
template <typename Field>
void AppendGrid(std::string &out, std::size_t m, std::size_t n, std::size_t first, std::size_t sep,
                const std::vector<std::size_t> &widths, const Context &c, Field field) {
    std::size_t total = 0;
    for (std::size_t j = 0; j < n; ++j) total += sep + widths[j];
    const bool blocks = total > kLineWidth;
    for (std::size_t c0 = 0, c1 = 0; c0 < n; c0 = c1) {
        std::size_t used = sep + widths[c0];
        for (c1 = c0 + 1; c1 < n && used + sep + widths[c1] <= kLineWidth; ++c1)
            used += sep + widths[c1];
        if (blocks) {
            if (c0 > 0) AppendBlank(out, c);
            if (c1 - c0 == 1) {
                out += "  Column ";
            } else {
                out += "  Columns ";
                AppendInteger(out, c0 + 1);
                out += c1 - c0 == 2 ? " and " : " through ";
            }
            AppendInteger(out, c1);
            out += '\n';
            AppendBlank(out, c);
        }
        for (std::size_t i = 0; i < m; ++i) {
            for (std::size_t j = c0; j < c1; ++j) {
                out.append(sep, ' ');
                field(out, first + i + j * m);
            }
            // Left-aligned fields leave padding at the end of the row.
            while (!out.empty() && out.back() == ' ') out.pop_back();
            out += '\n';
        }
    }
}

// Array kinds ----------------------------------------------------------------

void AppendEmpty(std::string &out, const CMatrix *a, const std::string &name, const Context &c) {
    const unsigned int *dims = a->GetDimensions();
    const bool twoDims = a->GetNoDimensions() == 2;
    if (c.session) {
        // No name: an empty array has no value lines.
        if (name.empty()) return;
        out += name + " =\n";
        AppendBlank(out, c);
        if (!a->IsChar() && !a->IsCell() && twoDims && dims[0] == 0 && dims[1] == 0) {
            out += "     []\n";
        } else {
            out += "  ";
            AppendShape(out, a);
            out += " empty ";
            out += ClassName(a);
            out += a->IsChar() || a->IsCell() || !twoDims ? " array\n" : " matrix\n";
        }
        AppendBlank(out, c);
        return;
    }
    if (!name.empty()) out += name + " = ";
    if (a->IsChar() && twoDims && dims[0] <= 1 && dims[1] == 0) {
        out += "''";
    } else {
        out += a->IsCell() ? "{}(" : "[](";
        AppendShape(out, a);
        out += ')';
    }
    out += '\n';
    if (!name.empty()) AppendBlank(out, c);
}

void AppendNumeric(std::string &out, const CMatrix *a, const std::string &name, const Context &c) {
    const NumericFormat f = ChooseFormat(a, c);
    std::string re, im;
    if (a->GetNoElems() == 1 && !c.session) {
        if (!name.empty()) out += name + " = ";
        const char sign = ElementTexts(a, 0, f, re, im);
        out += re;
        if (f.complex) out += std::string(" ") + sign + ' ' + im + 'i';
        out += '\n';
        if (!name.empty()) AppendBlank(out, c);
        return;
    }

    // The widths of the real texts and imaginary magnitudes.
    std::size_t widestRe = 0, widestIm = 0, unsignedWidth = 0;
    for (std::size_t k = 0; k < a->GetNoElems(); ++k) {
        ElementTexts(a, k, f, re, im);
        widestRe = std::max(widestRe, re.size());
        unsignedWidth = std::max(unsignedWidth, re.size() - (re[0] == '-' ? 1 : 0));
        if (f.complex) widestIm = std::max(widestIm, im.size());
    }
    std::size_t reWidth = std::max(f.minReal, widestRe);
    std::size_t imWidth = std::max(f.minImag, widestIm);
    // The session's complex fields: the sign touches the imaginary field.
    // In the fixed forms both fields hold a one-digit whole part with a
    // column before it ("   3.0000 + 4.0000i", "+13.2288i"); in the others
    // the imaginary field holds the widest magnitude after a blank ("+ 4i",
    // "+ 4.0000e+00i") and the real field keeps a column for a sign, as the
    // session's integer fields do.
    const bool sessionComplex = c.session && f.complex;
    const bool fixed = f.form == Form::kDecimal || f.form == Form::kScaled;
    if (sessionComplex && fixed) {
        // A sign, one digit, the point and the decimals.
        const std::size_t least = static_cast<std::size_t>(f.digits) + 3;
        reWidth = std::max(widestRe, least);
        imWidth = std::max(widestIm, least);
    } else if (sessionComplex) {
        reWidth = std::max(widestRe, unsignedWidth + 1);
        imWidth = widestIm + 1;
    }
    if (c.session && f.form == Form::kIntegerClass) reWidth = std::max(reWidth, unsignedWidth + 1);
    const std::size_t width =
        f.complex ? reWidth + (sessionComplex ? 2 : 3) + imWidth + 1 : reWidth;

    // The session names the class of a named two-dimensional logical,
    // integer or single array on a line of its own.
    std::string head;
    if (c.session && !name.empty() && a->GetNoDimensions() == 2 &&
        (f.form == Form::kLogical || f.form == Form::kIntegerClass || a->IsSingle())) {
        AppendClassLine(head, a);
        AppendBlank(head, c);
    }
    if (f.form == Form::kScaled) {
        head += "   1.0e";
        head += f.exponent < 0 ? '-' : '+';
        const int magnitude = std::abs(f.exponent);
        if (magnitude < 10) head += '0';
        AppendInteger(head, magnitude);
        head += " *\n";
        AppendBlank(head, c);
    }
    const unsigned int *dims = a->GetDimensions();
    const std::vector<std::size_t> widths(dims[1], width);
    AppendPages(out, a, name, c, [&](std::string &text, std::size_t first) {
        text += head;
        AppendGrid(text, dims[0], dims[1], first, f.sep, widths, c,
                   [&](std::string &row, std::size_t k) {
                       const char sign = ElementTexts(a, k, f, re, im);
                       AppendPadding(row, reWidth, re.size());
                       row += re;
                       if (!f.complex) return;
                       row += ' ';
                       row += sign;
                       if (!sessionComplex) row += ' ';
                       AppendPadding(row, imWidth, im.size());
                       row += im;
                       row += 'i';
                   });
    });
}

void AppendChar(std::string &out, const CMatrix *a, const std::string &name, const Context &c) {
    const bool named = !name.empty();
    const unsigned int *dims = a->GetDimensions();
    const auto appendRow = [&](std::string &text, std::size_t first) {
        AppendUnits(text, a, first, dims[0], dims[1]);
    };
    if (a->GetNoDimensions() == 2 && dims[0] == 1 && (!c.session || !named)) {
        if (named) out += name + " = '";
        appendRow(out, 0);
        out += named ? "'\n" : "\n";
        if (named) AppendBlank(out, c);
        return;
    }
    std::string head;
    if (c.session && named && a->GetNoDimensions() == 2 && dims[0] != 1) {
        AppendClassLine(head, a);
        AppendBlank(head, c);
    }
    AppendPages(out, a, name, c, [&](std::string &text, std::size_t first) {
        text += head;
        for (std::size_t i = 0; i < dims[0]; ++i) {
            if (named) text.append(kTextIndent, ' ').append(1, '\'');
            appendRow(text, first + i);
            text += named ? "'\n" : "\n";
        }
    });
}

// Appends the plain scalar text of a numeric 1x1 array, without a newline.
void AppendScalarText(std::string &out, const CMatrix *e, const Context &c) {
    const Context plain{c.format, false, false};
    AppendNumeric(out, e, std::string(), plain);
    out.pop_back();  // its newline
}

// Appends the summary of a cell element (null for an empty slot), in the
// plain layout's form.
void AppendSummary(std::string &out, const CMatrix *e, const Context &c) {
    if (e == nullptr) {
        out += "[]";
        return;
    }
    const unsigned int *dims = e->GetDimensions();
    const bool twoDims = e->GetNoDimensions() == 2;
    if (e->IsChar() && twoDims && (dims[0] == 1 || e->GetNoElems() == 0)) {
        out += '\'';
        AppendUnits(out, e, 0, 1, e->GetNoElems());
        out += '\'';
        return;
    }
    const bool numeric = IsFloatClass(e) || IsIntegerClass(e);
    if (numeric && twoDims && e->GetNoElems() == 1) {
        out += '[';
        AppendScalarText(out, e, c);
        out += ']';
        return;
    }
    if (numeric && e->IsEmpty()) {
        out += "[]";
        return;
    }
    out += e->IsCell() ? '{' : '[';
    AppendShape(out, e);
    out += ' ';
    out += ClassName(e);
    out += e->IsCell() ? '}' : ']';
}

// Appends the text of a cell element (null for an empty slot) in the
// session's form: see "Session layout".
void AppendSessionSummary(std::string &out, const CMatrix *e, const Context &c) {
    out += '{';
    if (e == nullptr) {
        out += "0x0 double}";
        return;
    }
    const bool twoDims = e->GetNoDimensions() == 2;
    if (e->IsChar() && twoDims && e->GetDimensions()[0] == 1 && e->GetNoElems() > 0) {
        out += '\'';
        AppendUnits(out, e, 0, 1, e->GetNoElems());
        out += "'}";
        return;
    }
    if ((IsFloatClass(e) || IsIntegerClass(e)) && twoDims && e->GetNoElems() == 1) {
        out += '[';
        AppendScalarText(out, e, c);
        out += "]}";
        return;
    }
    AppendShape(out, e);
    out += ' ';
    out += ClassName(e);
    out += '}';
}

void AppendCell(std::string &out, const CMatrix *a, const std::string &name, const Context &c) {
    const auto *const *slots = static_cast<CMatrix *const *>(a->GetPr());
    const auto summarize = [&](std::string &text, std::size_t k) {
        text.clear();
        if (c.session) {
            AppendSessionSummary(text, slots[k], c);
        } else {
            AppendSummary(text, slots[k], c);
        }
    };
    // The plain layout's fields are as wide as the widest summary, the
    // session's as the widest in their column (over all pages).
    const unsigned int *dims = a->GetDimensions();
    std::vector<std::size_t> widths(dims[1], 0);
    std::string summary;
    std::size_t widest = 0;
    for (std::size_t k = 0; k < a->GetNoElems(); ++k) {
        summarize(summary, k);
        std::size_t &width = widths[k / dims[0] % dims[1]];
        width = std::max(width, TextColumns(summary));
        widest = std::max(widest, width);
    }
    if (!c.session) widths.assign(dims[1], widest);
    std::string head;
    if (c.session && !name.empty() && a->GetNoDimensions() == 2) {
        head = "  ";
        AppendShape(head, a);
        head += " cell array\n";
        AppendBlank(head, c);
    }
    AppendPages(out, a, name, c, [&](std::string &text, std::size_t first) {
        text += head;
        AppendGrid(text, dims[0], dims[1], first, kTextIndent, widths, c,
                   [&](std::string &row, std::size_t k) {
                       summarize(summary, k);
                       row += summary;
                       AppendPadding(row, widths[k / dims[0] % dims[1]], TextColumns(summary));
                   });
    });
}

// Struct, sparse and unknown arrays: their size and class.
void AppendOther(std::string &out, const CMatrix *a, const std::string &name, const Context &c) {
    if (c.session) {
        if (!name.empty()) {
            out += name + " =\n";
            AppendBlank(out, c);
        }
        out += "  ";
        AppendShape(out, a);
        out += ' ';
        out += ClassName(a);
        out += " array\n";
    } else {
        if (!name.empty()) out += name + " = ";
        AppendSummary(out, a, c);
        out += '\n';
    }
    if (!name.empty()) AppendBlank(out, c);
}

void AppendDisplay(std::string &out, const CMatrix *a, const std::string &name, const Context &c) {
    if (a->GetNoElems() == 0) {
        AppendEmpty(out, a, name, c);
    } else if (a->IsChar()) {
        AppendChar(out, a, name, c);
    } else if (a->IsCell()) {
        AppendCell(out, a, name, c);
    } else if (IsFloatClass(a) || IsIntegerClass(a)) {
        AppendNumeric(out, a, name, c);
    } else {
        AppendOther(out, a, name, c);
    }
}

// Runs `make`, turning the std::bad_alloc of the standard containers into
// the kiv::CExhaustedMemoryException callers of the library catch.
template <typename Make>
auto Guarded(Make make) -> decltype(make()) {
    try {
        return make();
    } catch (const std::bad_alloc &) {
        throw kiv::CExhaustedMemoryException();
    }
}

}  // namespace

std::string DisplayText(const CMatrix *a, const std::string &name) {
    return DisplayText(a, name, DisplayOptions());
}

std::string DisplayText(const CMatrix *a, const std::string &name, const DisplayOptions &options) {
    RequireFormat(options.format);
    const bool session = options.layout == DisplayLayout::kSession;
    // The session's value alone (no name) has no blank lines.
    const Context c{options.format, session, !options.compact && !(session && name.empty())};
    return Guarded([&] {
        std::string out;
        AppendDisplay(out, a, name, c);
        return out;
    });
}

std::string DisplayNumber(double x) { return DisplayNumber(x, NumberFormat::kShort); }

std::string DisplayNumber(double x, NumberFormat format) {
    RequireFormat(format);
    return Guarded([&] {
        NumericFormat f{Form::kWhole, 0, kDecimals, 0, 0, 0, false};
        if (NeedsDecimals(x)) ChooseFloatForm(f, format, std::fabs(x), true, false);
        std::string out;
        AppendDouble(out, x, f, false);
        return out;
    });
}

std::string Utf8Text(const CMatrix *a) {
    return Guarded([&] {
        std::string out;
        if (a->IsChar()) AppendUnits(out, a, 0, 1, a->GetNoElems());
        return out;
    });
}

namespace {

// The code points of a UTF-8 text (U+FFFD for each byte that is not UTF-8)
// and the number of UTF-16 code units they take.
struct DecodedText {
    std::vector<std::uint32_t> points;
    std::size_t units = 0;
};

DecodedText Decode(const std::string &text) {
    DecodedText d;
    d.points.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::uint32_t cp = 0;
        const std::size_t length = DecodeUtf8(text, i, cp);
        if (length == 0) cp = kReplacement;
        d.points.push_back(cp);
        d.units += cp >= 0x10000 ? 2 : 1;
        i += length > 0 ? length : 1;
    }
    return d;
}

// Stores the code units of `d` in the char array `a` at first, first +
// stride, ...: a code point above U+FFFF as its surrogate pair.
void StoreUnits(CMatrix *a, const DecodedText &d, std::size_t first, std::size_t stride) {
    auto *units = static_cast<std::uint16_t *>(a->GetPr());
    std::size_t k = first;
    for (const std::uint32_t cp : d.points) {
        if (cp < 0x10000) {
            units[k] = static_cast<std::uint16_t>(cp);
        } else {
            units[k] = static_cast<std::uint16_t>(0xD800 + ((cp - 0x10000) >> 10));
            k += stride;
            units[k] = static_cast<std::uint16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        }
        k += stride;
    }
}

CMatrix *NewChar(std::size_t m, std::size_t n) {
    if (m > UINT32_MAX || n > UINT32_MAX) throw kiv::CExhaustedMemoryException();
    const unsigned int dims[] = {static_cast<unsigned int>(m), static_cast<unsigned int>(n)};
    return mxCreateNumericArray(2, dims, mxClassChar, mxComplexityReal);
}

}  // namespace

CMatrix *CharFromUtf8(const std::string &text) {
    const DecodedText d = Guarded([&] { return Decode(text); });
    ArrayHolder a(NewChar(1, d.units));
    StoreUnits(a.get(), d, 0, 1);
    return a.release();
}

CMatrix *CharRows(const std::vector<std::string> &utf8Rows) {
    const std::size_t m = utf8Rows.size();
    const std::vector<DecodedText> rows = Guarded([&] {
        std::vector<DecodedText> decoded;
        decoded.reserve(m);
        for (const std::string &row : utf8Rows) decoded.push_back(Decode(row));
        return decoded;
    });
    std::size_t n = 0;
    for (const DecodedText &row : rows) n = std::max(n, row.units);
    ArrayHolder a(NewChar(m, m > 0 ? n : 0));
    // Blanks first: each row then writes its own units over them.
    std::fill_n(static_cast<std::uint16_t *>(a->GetPr()), m * n, std::uint16_t{' '});
    for (std::size_t i = 0; i < m; ++i) StoreUnits(a.get(), rows[i], i, m);
    return a.release();
}

}  // namespace matrix
}  // namespace kiv
