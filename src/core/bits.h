// src/core/bits.h: bit patterns of doubles and the library's special values.
#ifndef MATRIX_SRC_CORE_BITS_H
#define MATRIX_SRC_CORE_BITS_H

#include <cstdint>
#include <cstring>

#include "kernels/kernel_support.h"

namespace kiv {
namespace matrix {
namespace bits {

// The library's NaN and its negation are the only patterns its NaN tests
// accept; other NaNs (0/0 from the floating-point unit, say) are ordinary
// values to them.
constexpr std::uint64_t kSignBit = kernels::kSignBit;
constexpr std::uint64_t kPositiveInf = 0x7FF0000000000000ULL;
constexpr std::uint64_t kNegativeInf = 0xFFF0000000000000ULL;
constexpr std::uint64_t kLibraryNaN = kernels::kLibraryNaNBits;
constexpr std::uint64_t kNegatedNaN = kLibraryNaN | kSignBit;

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

inline bool IsLibraryInf(double x) {
    const std::uint64_t b = Of(x);
    return b == kPositiveInf || b == kNegativeInf;
}

inline bool IsLibraryNaN(double x) {
    const std::uint64_t b = Of(x);
    return b == kLibraryNaN || b == kNegatedNaN;
}

}  // namespace bits
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_CORE_BITS_H
