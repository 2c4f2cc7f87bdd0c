// src/construct/display.cpp: DisplayText, the command-window text of an array.
#include <matrix/display.h>

#include <kiv/exception.h>
#include <matrix/mx.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <system_error>

namespace kiv {
namespace matrix {

namespace {

// A row longer than this is split into column blocks.
constexpr std::size_t kLineWidth = 80;
// Whole doubles at or above this magnitude print in decimal form, so that
// an integer column never grows past nine digits.
constexpr double kWholeLimit = 1e9;
// Decimals of the decimal and exponent forms.
constexpr int kDecimals = 4;
// Powers of ten of the largest magnitude that print without a factor.
constexpr int kLowestPlainExponent = -3;
constexpr int kHighestPlainExponent = 2;
// Indent of the rows of a char matrix and of the cell summaries.
constexpr std::size_t kTextIndent = 4;

// How the elements of a numeric array turn into text.
enum class Form {
    kLogical,       // 0 or 1
    kIntegerClass,  // exact integer values of int8 ... uint64
    kWhole,         // whole doubles without decimals
    kDecimal,       // four decimals, values as they are
    kScaled,        // four decimals, values divided by 10^exponent
    kExponent,      // four decimals with an exponent (scalars only)
};

struct NumericFormat {
    Form form;
    int exponent;         // of the common factor, for kScaled
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

// Appends x in fixed or exponent notation with four decimals. The "C"
// conventions of std::to_chars keep the text independent of the locale.
void AppendFloat(std::string &out, double x, std::chars_format format) {
    // Wide enough for the fixed form of any double.
    char buffer[400];
    const std::to_chars_result r =
        std::to_chars(buffer, buffer + sizeof buffer, x, format, kDecimals);
    out.append(buffer, r.ptr);
}

template <typename Integer>
void AppendInteger(std::string &out, Integer value) {
    char buffer[24];
    const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, r.ptr);
}

// The power of ten of |x| > 0 as its exponent form shows it, so that a value
// that rounds up to the next power (999.99996 to 1.0000e+03) counts as that.
int DecimalExponent(double x) {
    char text[32];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, std::fabs(x),
                                                 std::chars_format::scientific, kDecimals);
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

// Appends one finite or non-finite double in the form `form`; `bareZero`
// makes an exact zero a bare "0" in the decimal forms.
void AppendDouble(std::string &out, double x, const NumericFormat &f, bool bareZero) {
    if (!std::isfinite(x)) {
        AppendNonFinite(out, x);
        return;
    }
    if (x == 0) x = 0;  // -0 prints as 0
    switch (f.form) {
        case Form::kLogical: out += x != 0 ? '1' : '0'; return;
        case Form::kWhole: AppendInteger(out, static_cast<long long>(x)); return;
        case Form::kExponent: AppendFloat(out, x, std::chars_format::scientific); return;
        case Form::kDecimal:
        case Form::kScaled:
        case Form::kIntegerClass: break;
    }
    if (bareZero && x == 0) {
        out += '0';
        return;
    }
    if (f.form == Form::kScaled) x = ScaleDown(x, f.exponent);
    AppendFloat(out, x, std::chars_format::fixed);
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

// The decimal form of values whose largest finite magnitude is `largest`:
// see "Decimal scale". Sets `exponent` for kScaled.
Form DecimalForm(double largest, bool scalar, int &exponent) {
    exponent = largest > 0 ? DecimalExponent(largest) : 0;
    if (exponent >= kLowestPlainExponent && exponent <= kHighestPlainExponent)
        return Form::kDecimal;
    return scalar ? Form::kExponent : Form::kScaled;
}

// True when x prints in a decimal form rather than as a whole number.
bool NeedsDecimals(double x) {
    return std::isfinite(x) && (x != std::trunc(x) || std::fabs(x) >= kWholeLimit);
}

// Chooses the form of a numeric array: see "Numbers" and "Decimal scale".
NumericFormat ChooseFormat(const CMatrix *a) {
    NumericFormat f{Form::kWhole, 0, 3, 3, 0, a->IsComplex() && !a->IsLogical()};
    if (a->IsLogical() || IsIntegerClass(a)) {
        f.form = a->IsLogical() ? Form::kLogical : Form::kIntegerClass;
        f.sep = 2;
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
    f.minReal = 7;
    f.minImag = 6;
    f.form = DecimalForm(largest, count == 1, f.exponent);
    return f;
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

// Appends the character code c as UTF-8.
void AppendCharCode(std::string &out, unsigned char c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendShape(std::string &out, const CMatrix *a) {
    const unsigned int *dims = a->GetDimensions();
    for (unsigned int d = 0; d < a->GetNoDimensions(); ++d) {
        if (d > 0) out += 'x';
        AppendInteger(out, dims[d]);
    }
}

// Writes every page of `a`: alone under "name =" for a two-dimensional
// array, else each under its "name(:,:,...) =" header. `body(out, first)`
// writes the page whose first element is `first`.
template <typename Body>
void AppendPages(std::string &out, const CMatrix *a, const std::string &name, Body body) {
    const bool named = !name.empty();
    const unsigned int *dims = a->GetDimensions();
    const std::size_t pageSize = static_cast<std::size_t>(dims[0]) * dims[1];
    const std::size_t pages = a->GetNoElems() / pageSize;
    if (a->GetNoDimensions() == 2) {
        if (named) out += name + " =\n\n";
        body(out, 0);
        if (named) out += '\n';
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
        out += ") =\n\n";
        body(out, page * pageSize);
        if (named || page + 1 < pages) out += '\n';
    }
}

// Appends one m x n page as rows of fields, split into column blocks when
// a row would be longer than the line. Each field is `sep` spaces and then
// `field(out, k)`, which writes element k in `width` columns.
template <typename Field>
void AppendGrid(std::string &out, std::size_t m, std::size_t n, std::size_t first, std::size_t sep,
                std::size_t width, Field field) {
    const std::size_t perBlock = std::max<std::size_t>(1, kLineWidth / (sep + width));
    const bool blocks = n * (sep + width) > kLineWidth;
    for (std::size_t c0 = 0; c0 < n; c0 += perBlock) {
        const std::size_t c1 = std::min(n, c0 + perBlock);
        if (blocks) {
            if (c0 > 0) out += '\n';
            if (c1 - c0 == 1) {
                out += "  Column ";
            } else {
                out += "  Columns ";
                AppendInteger(out, c0 + 1);
                out += c1 - c0 == 2 ? " and " : " through ";
            }
            AppendInteger(out, c1);
            out += "\n\n";
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

void AppendEmpty(std::string &out, const CMatrix *a, const std::string &name) {
    if (!name.empty()) out += name + " = ";
    const unsigned int *dims = a->GetDimensions();
    if (a->IsChar() && a->GetNoDimensions() == 2 && dims[0] <= 1 && dims[1] == 0) {
        out += "''";
    } else {
        out += a->IsCell() ? "{}(" : "[](";
        AppendShape(out, a);
        out += ')';
    }
    out += name.empty() ? "\n" : "\n\n";
}

void AppendNumeric(std::string &out, const CMatrix *a, const std::string &name) {
    const NumericFormat f = ChooseFormat(a);
    std::string re, im;
    if (a->GetNoElems() == 1) {
        if (!name.empty()) out += name + " = ";
        const char sign = ElementTexts(a, 0, f, re, im);
        out += re;
        if (f.complex) out += std::string(" ") + sign + ' ' + im + 'i';
        out += name.empty() ? "\n" : "\n\n";
        return;
    }

    // The widths of the real texts and imaginary magnitudes.
    std::size_t reWidth = f.minReal, imWidth = f.minImag;
    for (std::size_t k = 0; k < a->GetNoElems(); ++k) {
        ElementTexts(a, k, f, re, im);
        reWidth = std::max(reWidth, re.size());
        if (f.complex) imWidth = std::max(imWidth, im.size());
    }
    const std::size_t width = f.complex ? reWidth + 3 + imWidth + 1 : reWidth;

    std::string factor;
    if (f.form == Form::kScaled) {
        factor = "   1.0e";
        factor += f.exponent < 0 ? '-' : '+';
        const int magnitude = std::abs(f.exponent);
        if (magnitude < 10) factor += '0';
        AppendInteger(factor, magnitude);
        factor += " *\n\n";
    }
    const unsigned int *dims = a->GetDimensions();
    AppendPages(out, a, name, [&](std::string &text, std::size_t first) {
        text += factor;
        AppendGrid(text, dims[0], dims[1], first, f.sep, width,
                   [&](std::string &row, std::size_t k) {
                       const char sign = ElementTexts(a, k, f, re, im);
                       AppendPadding(row, reWidth, re.size());
                       row += re;
                       if (!f.complex) return;
                       row += ' ';
                       row += sign;
                       row += ' ';
                       AppendPadding(row, imWidth, im.size());
                       row += im;
                       row += 'i';
                   });
    });
}

void AppendChar(std::string &out, const CMatrix *a, const std::string &name) {
    const bool named = !name.empty();
    const unsigned int *dims = a->GetDimensions();
    const auto *codes = static_cast<const unsigned char *>(a->GetPr());
    const auto appendRow = [&](std::string &text, std::size_t first) {
        for (std::size_t j = 0; j < dims[1]; ++j) AppendCharCode(text, codes[first + j * dims[0]]);
    };
    if (a->GetNoDimensions() == 2 && dims[0] == 1) {
        if (named) out += name + " = '";
        appendRow(out, 0);
        out += named ? "'\n\n" : "\n";
        return;
    }
    AppendPages(out, a, name, [&](std::string &text, std::size_t first) {
        for (std::size_t i = 0; i < dims[0]; ++i) {
            if (named) text.append(kTextIndent, ' ').append(1, '\'');
            appendRow(text, first + i);
            text += named ? "'\n" : "\n";
        }
    });
}

// Appends the summary of a cell element (null for an empty slot).
void AppendSummary(std::string &out, const CMatrix *e) {
    if (e == nullptr) {
        out += "[]";
        return;
    }
    const unsigned int *dims = e->GetDimensions();
    const bool twoDims = e->GetNoDimensions() == 2;
    if (e->IsChar() && twoDims && (dims[0] == 1 || e->GetNoElems() == 0)) {
        out += '\'';
        const auto *codes = static_cast<const unsigned char *>(e->GetPr());
        for (std::size_t j = 0; j < e->GetNoElems(); ++j) AppendCharCode(out, codes[j]);
        out += '\'';
        return;
    }
    const bool numeric = IsFloatClass(e) || IsIntegerClass(e);
    if (numeric && twoDims && e->GetNoElems() == 1) {
        std::string scalar;
        AppendNumeric(scalar, e, std::string());
        scalar.pop_back();  // its newline
        out += '[' + scalar + ']';
        return;
    }
    if (numeric && e->IsEmpty()) {
        out += "[]";
        return;
    }
    static const char *const kClassNames[] = {
        "unknown", "cell",  "struct", "unknown", "char",  "sparse", "double", "single",
        "int8",    "uint8", "int16",  "uint16",  "int32", "uint32", "int64",  "uint64"};
    const unsigned int classId = e->GetClassID();
    out += e->IsCell() ? '{' : '[';
    AppendShape(out, e);
    out += ' ';
    if (e->IsLogical()) {
        out += "logical";
    } else {
        out +=
            classId < sizeof kClassNames / sizeof *kClassNames ? kClassNames[classId] : "unknown";
    }
    out += e->IsCell() ? '}' : ']';
}

void AppendCell(std::string &out, const CMatrix *a, const std::string &name) {
    const auto *const *slots = static_cast<CMatrix *const *>(a->GetPr());
    std::string summary;
    std::size_t width = 0;
    for (std::size_t k = 0; k < a->GetNoElems(); ++k) {
        summary.clear();
        AppendSummary(summary, slots[k]);
        width = std::max(width, TextColumns(summary));
    }
    const unsigned int *dims = a->GetDimensions();
    AppendPages(out, a, name, [&](std::string &text, std::size_t first) {
        AppendGrid(text, dims[0], dims[1], first, kTextIndent, width,
                   [&](std::string &row, std::size_t k) {
                       summary.clear();
                       AppendSummary(summary, slots[k]);
                       row += summary;
                       AppendPadding(row, width, TextColumns(summary));
                   });
    });
}

void AppendDisplay(std::string &out, const CMatrix *a, const std::string &name) {
    if (a->GetNoElems() == 0) {
        AppendEmpty(out, a, name);
    } else if (a->IsChar()) {
        AppendChar(out, a, name);
    } else if (a->IsCell()) {
        AppendCell(out, a, name);
    } else if (IsFloatClass(a) || IsIntegerClass(a)) {
        AppendNumeric(out, a, name);
    } else {
        if (!name.empty()) out += name + " = ";
        AppendSummary(out, a);
        out += name.empty() ? "\n" : "\n\n";
    }
}

}  // namespace

std::string DisplayText(const CMatrix *a, const std::string &name) {
    // Standard containers report exhaustion with std::bad_alloc; callers of
    // the library catch kiv::CExhaustedMemoryException.
    try {
        std::string out;
        AppendDisplay(out, a, name);
        return out;
    } catch (const std::bad_alloc &) {
        throw kiv::CExhaustedMemoryException();
    }
}

std::string DisplayNumber(double x) {
    try {
        NumericFormat f{Form::kWhole, 0, 0, 0, 0, false};
        if (NeedsDecimals(x)) f.form = DecimalForm(std::fabs(x), true, f.exponent);
        std::string out;
        AppendDouble(out, x, f, false);
        return out;
    } catch (const std::bad_alloc &) {
        throw kiv::CExhaustedMemoryException();
    }
}

}  // namespace matrix
}  // namespace kiv
