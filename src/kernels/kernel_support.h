// src/kernels/kernel_support.h: what the raw-buffer kernels share.
#ifndef MATRIX_SRC_KERNELS_KERNEL_SUPPORT_H
#define MATRIX_SRC_KERNELS_KERNEL_SUPPORT_H

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "kernels/kernel_path.h"

// Kernels with AVX2 (or AVX-512) code paths are compiled for them with
// __attribute__((target(...))) and chosen at run time, so that the
// library itself still runs on any x86-64. Vector adds and multiplies
// round each lane exactly as the scalar code does; only the number of
// independent operations in flight changes.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define MATRIX_HAVE_AVX2_PATHS 1
#include <cpuid.h>
#endif

namespace kiv {
namespace matrix {
namespace kernels {

// Conventions every kernel follows.
//
// Status. A kernel that can break down or give up returns a KernelStatus:
// 0 when it ran to the end, otherwise k > 0, the step (from 1) at which it
// stopped or that it had to patch; each kernel's comment says which step
// it counts and what its outputs hold then.
//
// Workspace. Kernels never allocate: every scratch array whose contents
// the algorithm needs (scale factors, pivots, vectors of a reduction) is
// passed in by the caller, at the size the kernel's comment or its
// ...Workspace function gives. The one exception is the packed copy of A
// (and, with AVX-512, of B) that speeds up MatrixProduct: it is optional
// (null means reading the operands in place), so every caller, the blocked factorisations and Mtimes alike,
// takes it from PackingSpace(), one block per thread kept between calls.
using KernelStatus = std::size_t;

/// The sign bit of an IEEE double: flipping it negates the value exactly,
/// NaN and zero included.
constexpr std::uint64_t kSignBit = std::uint64_t{1} << 63;

/// The bits of the library's NaN: all set but the sign.
constexpr std::uint64_t kLibraryNaNBits = 0x7FFFFFFFFFFFFFFFULL;

/// The library's NaN, which the kernels report for results they could not
/// settle.
inline double LibraryNaN() {
    double x;
    std::memcpy(&x, &kLibraryNaNBits, sizeof x);
    return x;
}

/// |x| when y >= 0.0, -|x| otherwise (a NaN y gives -|x|; -0.0 counts as
/// non-negative).
inline double WithSignOf(double x, double y) { return y >= 0.0 ? std::fabs(x) : -std::fabs(x); }

/// A column-major matrix addressed from 1, as the published procedures are
/// written: (i, j) is element i of column j, and Column(j)[k - 1] is
/// element (k, j).
struct Indexed {
    double *data;
    std::size_t ld;
    double &operator()(std::size_t i, std::size_t j) const { return data[(i - 1) + (j - 1) * ld]; }
    double *Column(std::size_t j) const { return data + (j - 1) * ld; }
};

/// The leading dimension to give a working copy of a matrix with `rows`
/// rows. A stride of a multiple of 16 doubles (128 bytes) maps the
/// elements of a row onto few sets of the level-1 cache, which costs the
/// kernels that walk rows (the Hessenberg reduction and its QR sweeps) a
/// factor of 4 to 8 at n = 256. Kernels that stream many columns side by
/// side suffer too when the columns are a multiple of 1 KiB apart: their
/// starts share a few sets, and a store to one column seems to alias the
/// loads of the others (the low twelve bits of the addresses match), which
/// made the singular value decomposition up to 2.5 times slower. Eight
/// more rows break both patterns, from 128 rows on: smaller matrices stay
/// in the caches, where the copy only costs time (a fast QR of 96 x 96 ran
/// 1.7 times slower in one). The leading dimension changes no result.
inline std::size_t SpreadLeadingDimension(std::size_t rows) {
    return rows >= 128 && rows % 16 == 0 ? rows + 8 : rows;
}

/// The widest vector code the kernels may use: what the processor (and the
/// operating system) support, narrowed by the environment variable
/// RUL2MTRX_ISA, read once: `avx2` holds an AVX-512 machine to the AVX2
/// paths, `portable` to the plain ones (so any machine can measure the
/// narrower paths); any other value, or none, leaves the processor's answer.
/// Every path gives the same bits, so the choice only moves the time.
enum class VectorWidth { kPortable, kAvx2, kAvx512 };

inline VectorWidth WidthFromEnvironment(const char *text, VectorWidth processor) {
    if (text == nullptr) return processor;
    if (std::strcmp(text, "portable") == 0) return VectorWidth::kPortable;
    if (std::strcmp(text, "avx2") == 0 && processor == VectorWidth::kAvx512) return VectorWidth::kAvx2;
    return processor;
}

#if defined(MATRIX_HAVE_AVX2_PATHS)
/// What the processor and the operating system support: AVX2 needs the
/// processor's AVX and AVX2 and the system saving the XMM and YMM state
/// (XCR0 bits 1 and 2); AVX-512F needs the processor's AVX512F and the
/// system saving the opmask and ZMM state too (bits 5 to 7). Three cpuid
/// queries, made on first use: the compiler's own probe runs a dozen at
/// load from a constructor, which costs a compiled program's start-up
/// tens of microseconds in a virtual machine (each query traps there)
/// even when no vector kernel ever runs.
inline VectorWidth ProcessorWidth() {
    unsigned int a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid(0, &a, &b, &c, &d) == 0 || a < 7) return VectorWidth::kPortable;
    __cpuid(1, a, b, c, d);
    const unsigned int kOsxsave = 1u << 27, kAvx = 1u << 28;
    if ((c & kOsxsave) == 0 || (c & kAvx) == 0) return VectorWidth::kPortable;
    unsigned int xcr0 = 0, xcr0High = 0;
    __asm__ volatile("xgetbv" : "=a"(xcr0), "=d"(xcr0High) : "c"(0));
    if ((xcr0 & 0x6u) != 0x6u) return VectorWidth::kPortable;
    __cpuid_count(7, 0, a, b, c, d);
    const unsigned int kAvx2 = 1u << 5, kAvx512f = 1u << 16;
    if ((b & kAvx2) == 0) return VectorWidth::kPortable;
    return (b & kAvx512f) != 0 && (xcr0 & 0xe6u) == 0xe6u ? VectorWidth::kAvx512 : VectorWidth::kAvx2;
}
#endif

inline VectorWidth UsableWidth() {
#if defined(MATRIX_HAVE_AVX2_PATHS)
    static const VectorWidth width = WidthFromEnvironment(std::getenv("RUL2MTRX_ISA"), ProcessorWidth());
    return width;
#else
    return VectorWidth::kPortable;
#endif
}

/// True when the AVX2 paths may run (see UsableWidth).
inline bool HasAvx2() { return UsableWidth() != VectorWidth::kPortable; }

/// True when the AVX-512F paths may run, which the product's widest tiles
/// need (see UsableWidth).
inline bool HasAvx512() { return UsableWidth() == VectorWidth::kAvx512; }

}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_KERNELS_KERNEL_SUPPORT_H
