// src/mtrx/lib/options.h: the one reader of option words and dimension
// arguments the built-in libraries share. Option words match ignoring case
// (ASCII letters), as the language matches them.
#ifndef MTRX_LIB_OPTIONS_H
#define MTRX_LIB_OPTIONS_H

#include "lib/registry.h"

#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

namespace mtrx {

/// A table of accepted option words, in small letters.
using Words = std::initializer_list<const char *>;

/// The text with its ASCII capitals made small.
std::string LowerWord(std::string text);

/// The position of argument k's text in `words`, ignoring case; -1 when
/// there is no argument k, it is not text, or it is none of the words.
int WordIndex(const Args &args, std::size_t k, Words words);

/// True when argument k is text equal to `word` (small letters), ignoring case.
bool IsWord(const Args &args, std::size_t k, const char *word);

/// Throws "'NAME' does not take the option 'WORD'" for text argument k.
[[noreturn]] void RefuseOption(const Args &args, std::size_t k);

/// Takes option words off the back of the arguments: while the last
/// argument left is at position `first` or later and is text, calls
/// take(index, position), index the word's position in `words` (-1 for a
/// word not among them). take returns true to take the word off, false to
/// leave it and stop, or throws to refuse it. Returns the count of the
/// arguments left before the words taken.
template <class Take>
std::size_t TakeTrailingWords(const Args &args, std::size_t first, Words words, Take take) {
    std::size_t n = args.size();
    while (n > first && args.IsText(n - 1) && take(WordIndex(args, n - 1, words), n - 1)) --n;
    return n;
}

/// Takes a trailing 'forward' or 'reverse' off the arguments after the
/// first: sets `reverse`, refuses any other text there with "'NAME' takes
/// 'forward' or 'reverse', not 'WORD'". Returns the count of the arguments
/// left.
std::size_t TakeDirection(const Args &args, bool &reverse);

/// An optional dimension argument k: 0 (the function's own default) when
/// there is none, else a whole number from 1 up (Args::GetPositive).
inline unsigned int GetDimension(const Args &args, std::size_t k) {
    return args.Has(k) ? args.GetPositive(k) : 0;
}

/// A dimension argument: 'all', or the dimensions listed.
struct Dimensions {
    bool all = false;
    std::vector<unsigned int> dims;
};

/// Argument k as dimensions: 'all' (ignoring case), or a nonempty real
/// array of whole numbers from 1 up of any numeric class, a dimension or a
/// vector of them. Refuses anything else with "Argument K of 'NAME' must be
/// a dimension, a vector of them or 'all'".
Dimensions GetDimensions(const Args &args, std::size_t k);

}  // namespace mtrx

#endif  // MTRX_LIB_OPTIONS_H
