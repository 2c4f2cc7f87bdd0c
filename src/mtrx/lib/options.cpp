// src/mtrx/lib/options.cpp: option words and dimension arguments.
#include "lib/options.h"

#include "arrays.h"
#include "error.h"

#include <matrix/matrix.h>

#include <cmath>
#include <cstring>

namespace mtrx {

namespace km = kiv::matrix;

std::string LowerWord(std::string text) {
    for (char &ch : text)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    return text;
}

int WordIndex(const Args &args, std::size_t k, Words words) {
    if (!args.Has(k) || !args.IsText(k)) return -1;
    const std::string word = LowerWord(args.GetText(k));
    int index = 0;
    for (const char *w : words) {
        if (word == w) return index;
        ++index;
    }
    return -1;
}

bool IsWord(const Args &args, std::size_t k, const char *word) { return WordIndex(args, k, {word}) == 0; }

void RefuseOption(const Args &args, std::size_t k) {
    throw Error("'" + args.Name() + "' does not take the option '" + args.GetText(k) + "'");
}

std::size_t TakeDirection(const Args &args, bool &reverse) {
    reverse = false;
    std::size_t n = args.size();
    if (n > 1 && args.IsText(n - 1)) {
        const int word = WordIndex(args, n - 1, {"forward", "reverse"});
        if (word < 0)
            throw Error("'" + args.Name() + "' takes 'forward' or 'reverse', not '" + args.GetText(n - 1) + "'");
        reverse = word == 1;
        --n;
    }
    return n;
}

Dimensions GetDimensions(const Args &args, std::size_t k) {
    static const char *const kWhat = "a dimension, a vector of them or 'all'";
    Dimensions out;
    if (args.IsText(k)) {
        if (!IsWord(args, k, "all")) args.Refuse(k, kWhat);
        out.all = true;
        return out;
    }
    if (!args[k].IsArray()) args.Refuse(k, kWhat);
    const Array &a = args[k].array();
    if (a.IsEmpty() || IsComplex(a)) args.Refuse(k, kWhat);
    const Array d = Array::Adopt(km::Double(a.get()));
    for (unsigned int i = 0; i < d.Numel(); ++i) {
        const double x = d.Data()[i];
        if (!(x >= 1) || x != std::floor(x) || x > 4294967295.0) args.Refuse(k, kWhat);
        out.dims.push_back(static_cast<unsigned int>(x));
    }
    return out;
}

}  // namespace mtrx
