// src/mtrx/lib/regexp.cpp: regular expressions: regexp, regexpi and
// regexprep, matched by PCRE2 in UTF-8 mode. Positions are counted in
// UTF-16 code units from 1, as char arrays index them.
//
// The pattern language is PCRE2's, with these readings of the language's
// own forms: '.' matches a newline too unless 'dotexceptnewline' is given;
// ^ and $ anchor the whole text only (not before a final newline) unless
// 'lineanchors' is given; \w \d \s \b take Unicode's letters, digits and
// spaces; \< and \> match at the start and the end of a word; \oNNN is an
// octal code; (?@...) is refused; zero-length matches are skipped unless
// 'emptymatch' is given. In a replacement $0 is the match, $N the N-th
// token, $<name> a named one, and \n \t \\ \$ are escapes.
#include "lib/support.h"
#include "lib/texts.h"

#include "text.h"

#include <algorithm>
#include <memory>

#ifdef MTRX_PCRE2
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>
#endif

namespace mtrx {

namespace {

#ifdef MTRX_PCRE2

// The pattern with the language's forms that PCRE2 spells otherwise
// translated (see the file's comment).
std::string Translated(const std::string &p) {
    std::string out;
    bool inClass = false;
    for (std::size_t i = 0; i < p.size(); ++i) {
        const char ch = p[i];
        if (ch == '\\' && i + 1 < p.size()) {
            const char next = p[i + 1];
            if (!inClass && next == '<') {
                out += "\\b(?=\\w)";
            } else if (!inClass && next == '>') {
                out += "\\b(?<=\\w)";
            } else if (next == 'o' && i + 2 < p.size() && p[i + 2] >= '0' && p[i + 2] <= '7') {
                std::size_t j = i + 2;
                std::string digits;
                while (j < p.size() && p[j] >= '0' && p[j] <= '7') digits += p[j++];
                out += "\\o{" + digits + "}";
                i = j - 1;
                continue;
            } else {
                out += ch;
                out += next;
            }
            ++i;
            continue;
        }
        if (ch == '[' && !inClass) {
            inClass = true;
            out += ch;
            // A ']' first in a class (or after '^') is a member.
            if (i + 1 < p.size() && p[i + 1] == '^') out += p[++i];
            if (i + 1 < p.size() && p[i + 1] == ']') out += p[++i];
            continue;
        }
        if (ch == ']' && inClass) inClass = false;
        if (!inClass && ch == '(' && p.compare(i, 3, "(?@") == 0)
            throw Error("Dynamic expressions (?@...) are not supported in regular expressions");
        out += ch;
    }
    return out;
}

struct CodeDeleter {
    void operator()(pcre2_code *c) const { pcre2_code_free(c); }
};
struct DataDeleter {
    void operator()(pcre2_match_data *d) const { pcre2_match_data_free(d); }
};
using Code = std::unique_ptr<pcre2_code, CodeDeleter>;
using MatchData = std::unique_ptr<pcre2_match_data, DataDeleter>;

struct Options {
    bool once = false;
    bool caseless = false;
    bool dotall = true;
    bool lines = false;
    bool extended = false;
    bool empty = false;
};

Code Compiled(const std::string &pattern, const Options &o, const std::string &who) {
    int code = 0;
    PCRE2_SIZE offset = 0;
    const std::string p = Translated(pattern);
    uint32_t flags = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF;
    if (o.caseless) flags |= PCRE2_CASELESS;
    if (o.dotall) flags |= PCRE2_DOTALL;
    flags |= o.lines ? PCRE2_MULTILINE : PCRE2_DOLLAR_ENDONLY;
    // \w, \d, \s and \b know letters and digits beyond ASCII, as char arrays hold them.
    flags |= PCRE2_UCP;
    if (o.extended) flags |= PCRE2_EXTENDED;
    pcre2_code *c = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(p.data()), p.size(), flags, &code,
                                  &offset, nullptr);
    if (!c) {
        PCRE2_UCHAR message[256];
        pcre2_get_error_message(code, message, sizeof message);
        throw Error("Invalid regular expression in '" + who + "': " +
                    reinterpret_cast<const char *>(message) + " (at character " +
                    std::to_string(offset + 1) + ")");
    }
    return Code(c);
}

// One match: the byte extents of the whole match and of each group
// (npos for a group that took no part).
struct Match {
    std::size_t begin, end;
    std::vector<std::pair<std::size_t, std::size_t>> groups;
};

constexpr std::size_t kUnset = static_cast<std::size_t>(-1);

std::vector<Match> Matches(const pcre2_code *code, const std::string &s, const Options &o,
                           std::size_t most) {
    std::vector<Match> out;
    MatchData data(pcre2_match_data_create_from_pattern(code, nullptr));
    if (!data) throw std::bad_alloc();
    uint32_t groups = 0;
    pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &groups);
    std::size_t at = 0;
    while (at <= s.size() && out.size() < most) {
        const int rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(s.data()), s.size(), at, 0,
                                   data.get(), nullptr);
        if (rc == PCRE2_ERROR_NOMATCH) break;
        if (rc < 0) {
            PCRE2_UCHAR message[256];
            pcre2_get_error_message(rc, message, sizeof message);
            throw Error(std::string("Regular expression failed: ") +
                        reinterpret_cast<const char *>(message));
        }
        const PCRE2_SIZE *v = pcre2_get_ovector_pointer(data.get());
        Match m{v[0], v[1], {}};
        for (uint32_t g = 1; g <= groups; ++g) {
            if (static_cast<int>(g) < rc && v[2 * g] != PCRE2_UNSET)
                m.groups.emplace_back(v[2 * g], v[2 * g + 1]);
            else
                m.groups.emplace_back(kUnset, kUnset);
        }
        if (m.end == m.begin) {
            // Step over one character so that the search moves on.
            std::size_t next = m.end + 1;
            while (next < s.size() && (static_cast<unsigned char>(s[next]) & 0xC0) == 0x80) ++next;
            if (o.empty) out.push_back(std::move(m));
            at = next;
            continue;
        }
        at = m.end;
        out.push_back(std::move(m));
    }
    return out;
}

// The names of the named groups, by group number (empty for unnamed).
std::vector<std::string> GroupNames(const pcre2_code *code) {
    uint32_t groups = 0, count = 0, size = 0;
    PCRE2_SPTR table = nullptr;
    pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &groups);
    pcre2_pattern_info(code, PCRE2_INFO_NAMECOUNT, &count);
    pcre2_pattern_info(code, PCRE2_INFO_NAMEENTRYSIZE, &size);
    pcre2_pattern_info(code, PCRE2_INFO_NAMETABLE, &table);
    std::vector<std::string> names(groups);
    for (uint32_t k = 0; k < count; ++k) {
        const PCRE2_SPTR entry = table + k * size;
        const unsigned int group = (entry[0] << 8) | entry[1];
        if (group >= 1 && group <= groups)
            names[group - 1] = reinterpret_cast<const char *>(entry + 2);
    }
    return names;
}

// UTF-16 position (from 1) of each byte offset of UTF-8 text.
std::vector<double> UnitPositions(const std::string &s) {
    std::vector<double> at(s.size() + 1);
    double unit = 1;
    for (std::size_t k = 0; k < s.size(); ++k) {
        at[k] = unit;
        const auto b = static_cast<unsigned char>(s[k]);
        if ((b & 0xC0) != 0x80) unit += b >= 0xF0 ? 2 : 1;
    }
    at[s.size()] = unit;
    // A continuation byte takes the position after its character's start.
    return at;
}

enum class Out { Start, End, TokenExtents, Match, Tokens, Names, Split };

Options ReadOptions(const Args &args, std::size_t first, bool caseless,
                    std::vector<Out> *selected) {
    Options o;
    o.caseless = caseless;
    for (std::size_t k = first; k < args.size(); ++k) {
        if (!args.IsText(k)) args.Refuse(k, "an option");
        const std::string w = args.GetText(k);
        static const std::pair<const char *, Out> kOuts[] = {
            {"start", Out::Start},     {"end", Out::End},       {"tokenExtents", Out::TokenExtents},
            {"match", Out::Match},     {"tokens", Out::Tokens}, {"names", Out::Names},
            {"split", Out::Split}};
        const auto it = std::find_if(std::begin(kOuts), std::end(kOuts),
                                     [&](const auto &p) { return w == p.first; });
        if (it != std::end(kOuts) && selected) {
            selected->push_back(it->second);
        } else if (w == "once") {
            o.once = true;
        } else if (w == "ignorecase") {
            o.caseless = true;
        } else if (w == "matchcase") {
            o.caseless = false;
        } else if (w == "dotexceptnewline") {
            o.dotall = false;
        } else if (w == "dotall") {
            o.dotall = true;
        } else if (w == "lineanchors") {
            o.lines = true;
        } else if (w == "stringanchors") {
            o.lines = false;
        } else if (w == "freespacing") {
            o.extended = true;
        } else if (w == "literalspacing") {
            o.extended = false;
        } else if (w == "emptymatch") {
            o.empty = true;
        } else if (w == "noemptymatch") {
            o.empty = false;
        } else {
            args.Refuse(k, "an option such as 'match', 'tokens', 'names', 'split', 'once' or "
                           "'ignorecase', not '" + w + "'");
        }
    }
    return o;
}

Array DoubleRow(const std::vector<double> &v) {
    Array out = Array::Adopt(kiv::matrix::mxCreateDoubleMatrix(
        1, static_cast<unsigned int>(v.size()), kiv::matrix::mxComplexityReal));
    std::copy(v.begin(), v.end(), out.MutableData().begin());
    return out;
}

// A text output: a char row, or a string for a string subject.
Value TextOut(const std::string &t, bool strings) {
    return strings ? StringScalar(t) : Value(CharArray(t));
}

Value Row(std::vector<Value> items) {
    CellArray c;
    c.dims = {1, static_cast<unsigned int>(items.size())};
    c.items = std::move(items);
    return Value(std::move(c));
}

// A row of texts: a cell of char rows, or a string array.
Value TextRow(const std::vector<std::string> &texts, bool strings) {
    if (strings) {
        StringArray s;
        s.dims = {1, static_cast<unsigned int>(texts.size())};
        s.items = texts;
        return Value(std::move(s));
    }
    std::vector<Value> items;
    for (const std::string &t : texts) items.emplace_back(CharArray(t));
    return Row(std::move(items));
}

// Every output of regexp for one subject, in the default order.
std::vector<Value> Outputs(const pcre2_code *code, const std::string &s, const Options &o,
                           bool strings) {
    const std::vector<Match> ms = Matches(code, s, o, o.once ? 1 : kUnset);
    const std::vector<double> pos = UnitPositions(s);
    const std::vector<std::string> names = GroupNames(code);
    std::vector<double> starts, ends;
    std::vector<Value> extents, matches, tokens;
    std::vector<std::string> matchTexts;
    for (const Match &m : ms) {
        starts.push_back(pos[m.begin]);
        ends.push_back(pos[m.end] - 1);
        matchTexts.push_back(s.substr(m.begin, m.end - m.begin));
        // Without groups the whole match is the one token.
        std::vector<std::pair<std::size_t, std::size_t>> groups = m.groups;
        if (groups.empty()) groups.emplace_back(m.begin, m.end);
        std::vector<std::string> texts;
        Array ext = Array::Adopt(kiv::matrix::mxCreateDoubleMatrix(
            static_cast<unsigned int>(groups.size()), 2, kiv::matrix::mxComplexityReal));
        kiv::matrix::DoubleSpan e = ext.MutableData();
        for (std::size_t g = 0; g < groups.size(); ++g) {
            const bool set = groups[g].first != kUnset;
            texts.push_back(set ? s.substr(groups[g].first, groups[g].second - groups[g].first)
                                : std::string());
            // A group that took no part: its extent is empty, at the match.
            e[g] = set ? pos[groups[g].first] : pos[m.begin];
            e[g + groups.size()] = set ? pos[groups[g].second] - 1 : pos[m.begin] - 1;
        }
        extents.emplace_back(ext);
        tokens.push_back(TextRow(texts, strings));
    }
    // names: a struct (array, one element per match) of the named tokens.
    StructArray record;
    std::vector<std::size_t> named;
    for (std::size_t g = 0; g < names.size(); ++g)
        if (!names[g].empty()) {
            record.fields.push_back(names[g]);
            named.push_back(g);
        }
    if (!record.fields.empty()) {
        record.dims = {1, static_cast<unsigned int>(o.once ? 1 : ms.size())};
        if (ms.empty()) record.dims = {o.once ? 1u : 0u, o.once ? 1u : 0u};
        for (std::size_t k = 0; k < ms.size(); ++k)
            for (std::size_t g : named) {
                const auto &extent = ms[k].groups[g];
                record.values.push_back(TextOut(
                    extent.first == kUnset ? std::string()
                                           : s.substr(extent.first, extent.second - extent.first),
                    strings));
            }
        if (ms.empty() && o.once)
            for (std::size_t g = 0; g < named.size(); ++g) record.values.push_back(TextOut("", strings));
    }
    // split: the texts between the matches.
    std::vector<std::string> pieces;
    std::size_t from = 0;
    for (const Match &m : ms) {
        pieces.push_back(s.substr(from, m.begin - from));
        from = m.end;
    }
    pieces.push_back(s.substr(from));
    if (o.once) {
        const bool hit = !ms.empty();
        return {hit ? Value(starts[0]) : Value(),
                hit ? Value(ends[0]) : Value(),
                hit ? extents[0] : Value(),
                hit ? TextOut(matchTexts[0], strings) : strings ? Value(StringArray{{0, 0}, {}})
                                                                 : Value(CharArray("")),
                hit ? tokens[0] : Row({}),
                Value(std::move(record)),
                TextRow(pieces, strings)};
    }
    return {DoubleRow(starts), DoubleRow(ends), Row(extents), TextRow(matchTexts, strings),
            Row(tokens), Value(std::move(record)), TextRow(pieces, strings)};
}

// The subject texts: one, or those of a cell (or string array) of texts.
struct Subjects {
    bool many = false;
    bool strings = false;
    Dims dims{1, 1};
    std::vector<std::string> texts;
};

Subjects SubjectsOf(const Args &args, std::size_t k) {
    Subjects out;
    const Value &v = args[k];
    if (v.IsCell() || (v.tag() == Tag::String && !IsStringScalar(v))) {
        const Texts t = TextsOf(args, k);
        out.many = true;
        out.strings = t.form == Texts::Form::String;
        out.dims = t.s.dims;
        out.texts = t.s.items;
        return out;
    }
    if (!args.IsText(k) || (v.IsArray() && v.array().Rows() > 1))
        args.Refuse(k, "a char row, a string or a cell of texts");
    out.strings = v.tag() == Tag::String;
    out.texts = {args.GetText(k)};
    return out;
}

Outs Regexp(const Args &args, BuiltinCall &c, bool caseless) {
    const Subjects subjects = SubjectsOf(args, 0);
    // A cell of patterns: each matched against the one text, or pairwise
    // against a cell of texts of as many elements.
    const Subjects patterns = SubjectsOf(args, 1);
    if (subjects.many && patterns.many && patterns.texts.size() != subjects.texts.size())
        throw Error("'" + c.name + "': a cell of texts and a cell of patterns must have the same number of elements");
    std::vector<Out> selected;
    const Options o = ReadOptions(args, 2, caseless, &selected);
    std::vector<Code> codes;
    for (const std::string &p : patterns.texts) codes.push_back(Compiled(p, o, c.name));
    // The outputs asked for: the selected ones in their order, then the
    // rest in the default order.
    std::vector<Out> order = selected;
    for (int k = 0; k <= static_cast<int>(Out::Split); ++k)
        if (std::find(order.begin(), order.end(), static_cast<Out>(k)) == order.end())
            order.push_back(static_cast<Out>(k));
    const std::size_t wanted = std::max<std::size_t>(c.nargout, 1);
    if (wanted > order.size()) throw Error("Too many output arguments for '" + c.name + "'");
    const bool many = subjects.many || patterns.many;
    const std::size_t count = subjects.many ? subjects.texts.size() : patterns.texts.size();
    std::vector<std::vector<Value>> each;
    for (std::size_t k = 0; k < count; ++k)
        each.push_back(Outputs(codes[patterns.many ? k : 0].get(),
                               subjects.texts[subjects.many ? k : 0], o, subjects.strings));
    Outs out;
    for (std::size_t k = 0; k < wanted; ++k) {
        const auto which = static_cast<std::size_t>(order[k]);
        if (!many) {
            out.push_back(each[0][which]);
            continue;
        }
        CellArray cell;
        cell.dims = subjects.many ? subjects.dims : patterns.dims;
        for (const std::vector<Value> &e : each) cell.items.push_back(e[which]);
        out.emplace_back(std::move(cell));
    }
    return out;
}

Outs RegexpBuiltin(const Args &args, BuiltinCall &c) { return Regexp(args, c, false); }
Outs Regexpi(const Args &args, BuiltinCall &c) { return Regexp(args, c, true); }

// The replacement text for match m: $0, $N, ${N}, $<name> and escapes.
std::string Replacement(const std::string &r, const std::string &s, const Match &m,
                        const std::vector<std::string> &names) {
    std::string out;
    const auto group = [&](std::size_t g) {
        if (g == 0) return s.substr(m.begin, m.end - m.begin);
        if (g > m.groups.size() || m.groups[g - 1].first == kUnset) return std::string();
        return s.substr(m.groups[g - 1].first, m.groups[g - 1].second - m.groups[g - 1].first);
    };
    for (std::size_t i = 0; i < r.size(); ++i) {
        if (r[i] == '\\' && i + 1 < r.size()) {
            const char e = r[++i];
            out += e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e;
            continue;
        }
        if (r[i] == '$' && i + 1 < r.size()) {
            if (std::isdigit(static_cast<unsigned char>(r[i + 1]))) {
                std::size_t j = i + 1, g = 0;
                // One digit, as the groups are numbered up to 9 this way.
                g = static_cast<std::size_t>(r[j] - '0');
                out += group(g);
                i = j;
                continue;
            }
            const char open = r[i + 1];
            const char close = open == '{' ? '}' : open == '<' ? '>' : 0;
            const std::size_t shut = close ? r.find(close, i + 2) : std::string::npos;
            if (close && shut != std::string::npos) {
                const std::string name = r.substr(i + 2, shut - i - 2);
                const auto it = std::find(names.begin(), names.end(), name);
                if (!name.empty() && std::all_of(name.begin(), name.end(), [](char ch) {
                        return std::isdigit(static_cast<unsigned char>(ch));
                    }))
                    out += group(static_cast<std::size_t>(std::stoul(name.substr(0, 6))));
                else if (it != names.end())
                    out += group(static_cast<std::size_t>(it - names.begin()) + 1);
                i = shut;
                continue;
            }
        }
        out += r[i];
    }
    return out;
}

// regexprep(s, pattern, replacement, options): every match (or the first
// with 'once', or the N-th with a number N) replaced; several patterns
// (a cell) apply one after the other, each with its replacement or the one.
Outs Regexprep(const Args &args, BuiltinCall &c) {
    Subjects subjects = SubjectsOf(args, 0);
    std::vector<std::string> patterns, replacements;
    for (std::size_t k = 1; k <= 2; ++k) {
        std::vector<std::string> &list = k == 1 ? patterns : replacements;
        if (args.IsText(k) && !(args[k].IsArray() && args[k].array().Rows() > 1))
            list = {args.GetText(k)};
        else if (args[k].IsCell() || args[k].tag() == Tag::String)
            list = TextsOf(args, k).s.items;
        else
            args.Refuse(k, k == 1 ? "a pattern or a cell of patterns"
                                  : "a replacement or a cell of replacements");
    }
    if (replacements.size() != 1 && replacements.size() != patterns.size())
        args.Refuse(2, "one replacement or one for each pattern");
    std::size_t nth = 0;  // 0: every match
    std::vector<Value> words;
    for (std::size_t k = 3; k < args.size(); ++k) {
        if (!args.IsText(k)) {
            nth = args.GetPositive(k);
            continue;
        }
        words.push_back(args[k]);
    }
    Options o;
    {
        Args rest(words, c.name);
        o = ReadOptions(rest, 0, false, nullptr);
    }
    if (o.once) nth = 1;
    for (std::size_t p = 0; p < patterns.size(); ++p) {
        const Code code = Compiled(patterns[p], o, c.name);
        const std::vector<std::string> names = GroupNames(code.get());
        const std::string &r = replacements[replacements.size() == 1 ? 0 : p];
        for (std::string &s : subjects.texts) {
            const std::vector<Match> ms = Matches(code.get(), s, o, nth ? nth : kUnset);
            std::string out;
            std::size_t from = 0;
            for (std::size_t k = 0; k < ms.size(); ++k) {
                if (nth && k + 1 != nth) continue;
                out += s.substr(from, ms[k].begin - from) + Replacement(r, s, ms[k], names);
                from = ms[k].end;
            }
            s = out + s.substr(from);
        }
    }
    if (!subjects.many) return {TextOut(subjects.texts[0], subjects.strings)};
    StringArray s{subjects.dims, subjects.texts};
    return {Back(subjects.strings ? Texts::Form::String : Texts::Form::Cell, std::move(s))};
}

#else

Outs Unavailable(const Args &, BuiltinCall &c) {
    throw Error("'" + c.name + "' is not available: mtrx was built without PCRE2");
}

#define RegexpBuiltin Unavailable
#define Regexpi Unavailable
#define Regexprep Unavailable

#endif

const BuiltinEntry kEntries[] = {
    {"regexp", RegexpBuiltin, 2, kAny, 7,
     "[start, end, te, match, tokens, names, split] = regexp(s, pattern, options...)",
     "Matches a regular expression; 'match', 'tokens', 'names', 'split', 'once', 'ignorecase'."},
    {"regexpi", Regexpi, 2, kAny, 7, "regexpi(s, pattern, options...)",
     "regexp ignoring the case of letters."},
    {"regexprep", Regexprep, 3, kAny, 1, "s = regexprep(s, pattern, replacement, options...)",
     "Replaces matches ($0 the match, $1 ... tokens, $<name>); 'once', 'ignorecase', N."},
};

}  // namespace

Library RegexpLibrary() {
    return {"regexp", "Regular expressions (PCRE2)", kEntries, std::size(kEntries)};
}

}  // namespace mtrx
