// src/mtrx/display.cpp: the text of shown values. Arrays, and cells of
// arrays, are the library's (DisplayText in the session layout); the kinds
// only the interpreter has (structs, string arrays, function handles and
// cells holding them) follow the same layout here.
#include "display.h"

#include "arrays.h"
#include "error.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace mtrx {

namespace km = kiv::matrix;

namespace {

// The longest numeric row a struct field shows element by element; longer
// rows show their size and class.
constexpr std::size_t kInlineRow = 10;
// Rows of a cell or string array longer than this split into column blocks.
constexpr std::size_t kLineWidth = 80;
// Cell and string array elements follow this many spaces.
constexpr std::size_t kGridSeparator = 4;

std::string Lower(std::string s) {
    for (char &ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return s;
}

// Columns a UTF-8 text takes: its bytes that do not continue a character.
std::size_t TextColumns(const std::string &text) {
    std::size_t columns = 0;
    for (const char ch : text)
        if ((static_cast<unsigned char>(ch) & 0xC0) != 0x80) ++columns;
    return columns;
}

// The text without its empty lines.
std::string Compacted(const std::string &text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t k = 0; k < text.size(); ++k)
        if (!(text[k] == '\n' && (k == 0 || text[k - 1] == '\n'))) out += text[k];
    return out;
}

// The plain layout's text of a 1x1 array in `format`, without its newline:
// "5", "3.1416", "3.0000 + 2.0000i", "1" for true.
std::string ScalarText(const Array &a, km::NumberFormat format) {
    std::string text = km::DisplayText(a.get(), "", {format, km::DisplayLayout::kPlain, false});
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

// The one-line summary of a struct field: scalars and short real rows by
// value, text in quotes, anything else its size and class.
std::string FieldSummary(const Value &v, km::NumberFormat format) {
    const Dims dims = v.Dimensions();
    switch (v.tag()) {
        case Tag::Handle: return v.handle().text;
        case Tag::String:
            if (v.strings().items.size() == 1) return '"' + v.strings().items[0] + '"';
            return '[' + DimsText(dims) + " string]";
        case Tag::Struct: return '[' + DimsText(dims) + " struct]";
        case Tag::Cell: return '{' + DimsText(dims) + " cell}";
        default: break;
    }
    const Array &a = v.array();
    const bool twoDims = dims.size() == 2;
    if (IsChar(a) && twoDims && (dims[0] == 1 || a.Numel() == 0))
        return '\'' + km::Utf8Text(a.get()) + '\'';
    if (!IsChar(a) && twoDims && dims[0] == 0 && dims[1] == 0) return "[]";
    if (!IsChar(a) && a.Numel() == 1) return ScalarText(a, format);
    if (!IsChar(a) && !IsComplex(a) && twoDims && dims[0] == 1 && dims[1] > 1 &&
        dims[1] <= kInlineRow) {
        std::string text = "[";
        for (std::size_t k = 0; k < dims[1]; ++k) {
            if (k > 0) text += ' ';
            text += ScalarText(a(km::Subscript(k + 1)), format);
        }
        return text + ']';
    }
    return '[' + DimsText(dims) + ' ' + ClassName(a) + ']';
}

// The text of one element of a cell array in the session layout: the
// library's for arrays and cells of arrays, the same form for the rest.
std::string CellElementText(const Value &v, const DisplayState &state) {
    const Dims dims = v.Dimensions();
    switch (v.tag()) {
        case Tag::Handle: return '{' + v.handle().text + '}';
        case Tag::String:
            if (v.strings().items.size() == 1) return "{[\"" + v.strings().items[0] + "\"]}";
            return '{' + DimsText(dims) + " string}";
        case Tag::Struct: return '{' + DimsText(dims) + " struct}";
        default: break;
    }
    if (!Displayable(v)) return '{' + DimsText(dims) + " cell}";
    // The element alone in a 1x1 cell: the library writes its one row as
    // the separator and the element text.
    CellArray one;
    one.dims = {1, 1};
    one.items.push_back(v);
    const Array holder = ToLibrary(one);
    std::string text = km::DisplayText(holder.get(), "", state.Options());
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text.substr(std::min(text.size(), kGridSeparator));
}

// Appends one m x n page of element texts, left-aligned after the
// separator in the widths of their columns (trailing spaces dropped),
// split into column blocks of as many columns as fit in the line.
void AppendPage(std::string &out, const std::vector<std::string> &texts, std::size_t first,
                std::size_t m, std::size_t n, const std::vector<std::size_t> &widths, bool loose) {
    std::size_t total = 0;
    for (std::size_t j = 0; j < n; ++j) total += kGridSeparator + widths[j];
    const bool blocks = total > kLineWidth;
    for (std::size_t c0 = 0, c1 = 0; c0 < n; c0 = c1) {
        std::size_t used = kGridSeparator + widths[c0];
        for (c1 = c0 + 1; c1 < n && used + kGridSeparator + widths[c1] <= kLineWidth; ++c1)
            used += kGridSeparator + widths[c1];
        if (blocks) {
            if (c0 > 0 && loose) out += '\n';
            if (c1 - c0 == 1) {
                out += "  Column " + std::to_string(c1) + '\n';
            } else {
                out += "  Columns " + std::to_string(c0 + 1) +
                       (c1 - c0 == 2 ? " and " : " through ") + std::to_string(c1) + '\n';
            }
            if (loose) out += '\n';
        }
        for (std::size_t i = 0; i < m; ++i) {
            for (std::size_t j = c0; j < c1; ++j) {
                const std::string &text = texts[first + i + j * m];
                out.append(kGridSeparator, ' ');
                out += text;
                out.append(widths[j] - TextColumns(text), ' ');
            }
            while (!out.empty() && out.back() == ' ') out.pop_back();
            out += '\n';
        }
    }
}

// Appends a non-empty array of element texts: under "name =" and its class
// line for two dimensions, page by page under "name(:,:,k) =" for more;
// without a name the rows alone (pages keep their headers). Columns are as
// wide as their widest text over all pages.
void AppendGrid(std::string &out, const std::string &name, const Dims &dims,
                const std::vector<std::string> &texts, const std::string &classLine) {
    const bool named = !name.empty();
    const std::size_t m = dims[0];
    const std::size_t n = dims[1];
    std::vector<std::size_t> widths(n, 0);
    for (std::size_t k = 0; k < texts.size(); ++k)
        widths[k / m % n] = std::max(widths[k / m % n], TextColumns(texts[k]));
    if (dims.size() == 2) {
        if (named) out += name + " =\n\n" + classLine + "\n\n";
        AppendPage(out, texts, 0, m, n, widths, named);
        if (named) out += '\n';
        return;
    }
    const std::size_t pageSize = m * n;
    const std::size_t pages = texts.size() / pageSize;
    for (std::size_t page = 0; page < pages; ++page) {
        out += name + "(:,:";
        std::size_t rest = page;
        for (std::size_t d = 2; d < dims.size(); ++d) {
            out += ',' + std::to_string(rest % dims[d] + 1);
            rest /= dims[d];
        }
        out += ") =\n";
        if (named) out += '\n';
        AppendPage(out, texts, page * pageSize, m, n, widths, named);
        if (named) out += '\n';
    }
}

void AppendStruct(std::string &out, const std::string &name, const StructArray &s,
                  const DisplayState &state) {
    const bool named = !name.empty();
    if (named) out += name + " =\n\n";
    const bool scalar = Count(s.dims) == 1;
    if (s.fields.empty()) {
        out += "  " + (scalar ? std::string() : DimsText(s.dims) + ' ') +
               (scalar ? "struct" : "struct array") + " with no fields.\n";
        if (named) out += '\n';
        return;
    }
    if (!scalar) {
        out += "  " + DimsText(s.dims) + (Count(s.dims) == 0 ? " empty" : "") +
               " struct array with fields:\n";
        if (named) out += '\n';
        for (const std::string &f : s.fields) out += "    " + f + '\n';
        if (named) out += '\n';
        return;
    }
    if (named) out += "  struct with fields:\n\n";
    std::size_t longest = 0;
    for (const std::string &f : s.fields) longest = std::max(longest, f.size());
    for (std::size_t k = 0; k < s.fields.size(); ++k) {
        out.append(4 + longest - s.fields[k].size(), ' ');
        out += s.fields[k] + ": " + FieldSummary(s.values[k], state.format) + '\n';
    }
    if (named) out += '\n';
}

void AppendStrings(std::string &out, const std::string &name, const StringArray &s) {
    const bool named = !name.empty();
    if (s.items.empty()) {
        if (named) out += name + " =\n\n  " + DimsText(s.dims) + " empty string array\n\n";
        return;
    }
    if (s.items.size() == 1) {
        // disp writes the text as it is, as it does a char row.
        if (named)
            out += name + " =\n\n    \"" + s.items[0] + "\"\n\n";
        else
            out += s.items[0] + '\n';
        return;
    }
    std::vector<std::string> texts;
    texts.reserve(s.items.size());
    for (const std::string &item : s.items) texts.push_back('"' + item + '"');
    AppendGrid(out, name, s.dims, texts, "  " + DimsText(s.dims) + " string array");
}

// A cell the library cannot show: it holds a struct, a string array or a
// handle somewhere.
void AppendCell(std::string &out, const std::string &name, const CellArray &c,
                const DisplayState &state) {
    std::vector<std::string> texts;
    texts.reserve(c.items.size());
    for (const Value &item : c.items) texts.push_back(CellElementText(item, state));
    AppendGrid(out, name, c.dims, texts, "  " + DimsText(c.dims) + " cell array");
}

void AppendHandle(std::string &out, const std::string &name, const Handle &h) {
    if (name.empty()) {
        out += "    " + h.text + '\n';
        return;
    }
    out += name + " =\n\n  function_handle with value:\n\n    " + h.text + "\n\n";
}

// The text of `value` under `name` (empty: as disp shows it).
std::string ValueText(const std::string &name, const Value &value, const DisplayState &state) {
    std::string out;
    switch (value.tag()) {
        case Tag::Handle: AppendHandle(out, name, value.handle()); break;
        case Tag::Struct: AppendStruct(out, name, value.structure(), state); break;
        case Tag::String: AppendStrings(out, name, value.strings()); break;
        case Tag::Cell:
            if (!Displayable(value)) {
                AppendCell(out, name, value.cell(), state);
                break;
            }
            [[fallthrough]];
        default: out = km::DisplayText(value.array().get(), name, state.Options());
    }
    return out;
}

}  // namespace

void ApplyFormat(DisplayState &state, const std::vector<std::string> &words) {
    if (words.empty()) {
        state = DisplayState();
        return;
    }
    DisplayState next = state;
    for (std::size_t k = 0; k < words.size(); ++k) {
        std::string word = Lower(words[k]);
        // "short e" and "long g" as two words name one mode.
        if ((word == "short" || word == "long") && k + 1 < words.size()) {
            const std::string suffix = Lower(words[k + 1]);
            if (suffix == "e" || suffix == "g") {
                word += suffix;
                ++k;
            }
        }
        if (word == "short") {
            next.format = km::NumberFormat::kShort;
        } else if (word == "long") {
            next.format = km::NumberFormat::kLong;
        } else if (word == "shorte") {
            next.format = km::NumberFormat::kShortE;
        } else if (word == "longe") {
            next.format = km::NumberFormat::kLongE;
        } else if (word == "shortg") {
            next.format = km::NumberFormat::kShortG;
        } else if (word == "longg") {
            next.format = km::NumberFormat::kLongG;
        } else if (word == "rat") {
            next.format = km::NumberFormat::kRat;
        } else if (word == "compact") {
            next.compact = true;
        } else if (word == "loose") {
            next.compact = false;
        } else {
            throw Error("format: unknown mode '" + words[k] +
                        "'; expected short, long, short e, long e, short g, long g, rat, "
                        "compact or loose");
        }
    }
    state = next;
}

void Show(std::ostream &out, const std::string &name, const Value &value,
          const DisplayState &state) {
    const std::string text = ValueText(name, value, state);
    out << (state.compact ? Compacted(text) : text);
}

void ShowValue(std::ostream &out, const Value &value, const DisplayState &state) {
    out << ValueText(std::string(), value, state);
}

}  // namespace mtrx
