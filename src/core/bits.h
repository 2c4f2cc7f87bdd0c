// src/core/bits.h: bit patterns of doubles and the library's special values.
#ifndef MATRIX_SRC_CORE_BITS_H
#define MATRIX_SRC_CORE_BITS_H

#include <cstdint>
#include <cstring>

#include "kernels/kernel_support.h"

namespace kiv {
namespace matrix {
namespace bits {

constexpr std::uint64_t kSignBit = kernels::kSignBit;
constexpr std::uint64_t kPositiveInf = 0x7FF0000000000000ULL;
constexpr std::uint64_t kNegativeInf = 0xFFF0000000000000ULL;
// The NaN the library makes (mxGetNaN); its tests accept every NaN.
constexpr std::uint64_t kLibraryNaN = kernels::kLibraryNaNBits;

inline std::uint64_t Of(double x) {
    std::uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

inline double ToDouble(std::uint64_t b) {
    double x;
    std::memcpy(&x, &b, sizeof x);
    return x;
}

// The two tests read the bits rather than compare values, so they hold
// whatever the compiler assumes about floating-point comparisons.
// True exactly for +Inf and -Inf.
inline bool IsInf(double x) { return (Of(x) & ~kSignBit) == kPositiveInf; }

// True for every NaN: all exponent bits set and a non-zero fraction, of
// either sign and any payload, quiet or signalling.
inline bool IsNaN(double x) { return (Of(x) & ~kSignBit) > kPositiveInf; }

}  // namespace bits
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_CORE_BITS_H
