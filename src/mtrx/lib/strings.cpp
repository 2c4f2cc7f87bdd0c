// src/mtrx/lib/strings.cpp: text and formatting: sprintf, fprintf, num2str
// and comparison of texts.
#include "lib/support.h"

#include "format.h"

#include <algorithm>
#include <iostream>

namespace mtrx {

namespace km = kiv::matrix;

namespace {

Outs Sprintf(const Args &args, BuiltinCall &c) {
    return {Array(Format(args.GetText(0), args.From(1), c.name))};
}

Outs Fprintf(const Args &args, BuiltinCall &c) {
    std::size_t first = 0;
    std::ostream *out = &c.display;
    // fprintf(1, ...) writes to the output, fprintf(2, ...) to the error stream.
    if (!args.IsText(0)) {
        const double fid = args.GetScalar(0);
        if (fid != 1 && fid != 2) throw Error("'fprintf' writes only to 1 or 2");
        if (fid == 2) out = &std::cerr;
        first = 1;
        if (args.size() < 2) throw Error("Not enough input arguments for 'fprintf'");
    }
    const std::string text = Format(args.GetText(first), args.From(first + 1), c.name);
    if (out == &std::cerr) c.display.flush();
    *out << text;
    if (c.nargout == 1) return {Array(text.size())};
    return {};
}

Outs Num2str(const Args &args, BuiltinCall &c) {
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

Outs Strcmp(const Args &args, BuiltinCall &) {
    return {Logical(args.IsText(0) && args.IsText(1) &&
                    args[0].array().Dims() == args[1].array().Dims() &&
                    args.GetText(0) == args.GetText(1))};
}

const BuiltinEntry kEntries[] = {
    {"sprintf", Sprintf, 1, kAny, 1, "s = sprintf(format, A, ...)",
     "Formats the elements of the arguments as C's printf does, repeating the format."},
    {"fprintf", Fprintf, 1, kAny, 1, "fprintf(format, A, ...), fprintf(fid, format, A, ...)",
     "Writes formatted text to the output (fid 1) or the error stream (fid 2)."},
    {"num2str", Num2str, 1, 2, 1, "num2str(A), num2str(A, digits), num2str(A, format)",
     "Text of numbers: five significant digits, or as many as asked, or by a format."},
    {"strcmp", Strcmp, 2, 2, 1, "strcmp(s, t)", "True when two texts are the same."},
};

}  // namespace

Library StringsLibrary() {
    return {"strings", "Text and formatting", kEntries, std::size(kEntries)};
}

}  // namespace mtrx
