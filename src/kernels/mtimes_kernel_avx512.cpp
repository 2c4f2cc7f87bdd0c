// src/kernels/mtimes_kernel_avx512.cpp: the product's AVX-512 tiles, on packed panels of A and B.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "kernels/mtimes_blocking.h"
#include "kernels/mtimes_packed.h"

// x86-64 processors with AVX-512F get the widest tiles (see
// kernels/kernel_support.h); elsewhere this file is empty. Every function
// that uses the instructions carries the target attribute itself rather
// than the file being compiled for AVX-512, so that no inline function of
// a shared header is emitted here with instructions the baseline lacks.
#if defined(MATRIX_HAVE_AVX2_PATHS)
#include <immintrin.h>

#define MATRIX_TARGET_AVX512 __attribute__((target("avx512f")))

namespace kiv {
namespace matrix {
namespace kernels {
namespace product {

namespace {

// Registers of eight doubles in a column of the full tile.
constexpr std::size_t kZmmVectors = kZmmMr / 8;

// One product met with eight running sums, as UpdateSign says. `nonzero`
// (kAddUnlessZero only) has the lanes whose element of A is not 0.0, NaN
// included, as with !=.
template <UpdateSign kSign>
MATRIX_TARGET_AVX512 inline __m512d Meet(__m512d acc, __m512d a, __m512d b, __mmask8 nonzero) {
    const __m512d product = _mm512_mul_pd(a, b);
    if (kSign == UpdateSign::kSubtract) return _mm512_sub_pd(acc, product);
    if (kSign == UpdateSign::kAdd) return _mm512_add_pd(acc, product);
    return _mm512_mask_add_pd(acc, nonzero, acc, product);
}

// Where a tile's operands come from.
enum class Operands {
    // As the packing leaves them: as = 8 * MV, bs = NR and ldb = 1, A's
    // rows filled with zeros up to 8 * MV.
    kPacked,
    // In place, the steps as and bs possibly negative, mr = 8 * MV.
    kInPlace,
    // In place, mr short of 8 * MV: A's last register is loaded masked
    // (a tenth of the speed, were it every register of every tile).
    kInPlaceShort,
};

// Continues (or, with `first`, starts from 0.0) the sums of an mr x NR
// tile of C over kc products: the q-th product of row i and column j is
// a[i + q * as] * b[q * bs + j * ldb], operands as kFrom says. mr is more
// than 8 * (MV - 1); the lanes beyond it are neither read from nor written
// to C.
template <std::size_t MV, std::size_t NR, UpdateSign kSign, Operands kFrom>
MATRIX_TARGET_AVX512 void ZmmTile(std::size_t kc, const double *a, std::ptrdiff_t as,
                                  const double *b, std::ptrdiff_t bs, std::size_t ldb, double *c,
                                  std::size_t ldc, std::size_t mr, bool first) {
    constexpr bool kPacked = kFrom == Operands::kPacked;
    constexpr bool kShortLast = kFrom != Operands::kInPlace;
    if (kPacked) {
        as = 8 * MV;
        bs = NR;
        ldb = 1;
    }
    const std::size_t tail = mr - 8 * (MV - 1);
    const __mmask8 last = static_cast<__mmask8>(tail >= 8 ? 0xFF : (1u << tail) - 1);
    __m512d acc[NR][MV];
#pragma GCC unroll 6
    for (std::size_t j = 0; j < NR; ++j) {
#pragma GCC unroll 4
        for (std::size_t v = 0; v < MV; ++v) {
            const double *column = c + j * ldc + 8 * v;
            if (first) {
                acc[j][v] = _mm512_setzero_pd();
            } else {
                acc[j][v] = kShortLast && v + 1 == MV ? _mm512_maskz_loadu_pd(last, column)
                                                      : _mm512_loadu_pd(column);
            }
        }
    }
    const __m512d zero = _mm512_setzero_pd();
#pragma GCC unroll 2
    for (std::size_t q = 0; q < kc; ++q) {
        const double *aq = a + static_cast<std::ptrdiff_t>(q) * as;
        const double *bq = b + static_cast<std::ptrdiff_t>(q) * bs;
        __m512d x[MV];
        __mmask8 nonzero[MV];
#pragma GCC unroll 4
        for (std::size_t v = 0; v < MV; ++v) {
            if (kPacked) {
                x[v] = _mm512_load_pd(aq + 8 * v);
            } else if (kFrom == Operands::kInPlaceShort && v + 1 == MV) {
                x[v] = _mm512_maskz_loadu_pd(last, aq + 8 * v);
            } else {
                x[v] = _mm512_loadu_pd(aq + 8 * v);
            }
            nonzero[v] = kSign == UpdateSign::kAddUnlessZero
                             ? _mm512_cmp_pd_mask(x[v], zero, _CMP_NEQ_UQ)
                             : static_cast<__mmask8>(0xFF);
        }
#pragma GCC unroll 6
        for (std::size_t j = 0; j < NR; ++j) {
            const __m512d y = _mm512_set1_pd(bq[j * ldb]);
#pragma GCC unroll 4
            for (std::size_t v = 0; v < MV; ++v) {
                acc[j][v] = Meet<kSign>(acc[j][v], x[v], y, nonzero[v]);
            }
        }
    }
#pragma GCC unroll 6
    for (std::size_t j = 0; j < NR; ++j) {
#pragma GCC unroll 4
        for (std::size_t v = 0; v < MV; ++v) {
            double *column = c + j * ldc + 8 * v;
            if (kShortLast && v + 1 == MV) {
                _mm512_mask_storeu_pd(column, last, acc[j][v]);
            } else {
                _mm512_storeu_pd(column, acc[j][v]);
            }
        }
    }
}

using ZmmTileFunction = PackedTileFunction;

// Indexed by [registers per column - 1][columns - 1].
template <UpdateSign kSign, Operands kFrom, std::size_t MV>
constexpr ZmmTileFunction kZmmTileRow[kZmmNr] = {
    ZmmTile<MV, 1, kSign, kFrom>, ZmmTile<MV, 2, kSign, kFrom>, ZmmTile<MV, 3, kSign, kFrom>,
    ZmmTile<MV, 4, kSign, kFrom>, ZmmTile<MV, 5, kSign, kFrom>, ZmmTile<MV, 6, kSign, kFrom>};

template <UpdateSign kSign, Operands kFrom>
constexpr const ZmmTileFunction *kZmmTileTable[kZmmVectors] = {
    kZmmTileRow<kSign, kFrom, 1>, kZmmTileRow<kSign, kFrom, 2>, kZmmTileRow<kSign, kFrom, 3>,
    kZmmTileRow<kSign, kFrom, 4>};

ZmmTileFunction ZmmTileFor(UpdateSign sign, bool packed, std::size_t mr, std::size_t nr) {
    const std::size_t row = (mr + 7) / 8 - 1;
    return BySign(sign, [&](auto kSign) {
        constexpr UpdateSign kS = decltype(kSign)::value;
        const ZmmTileFunction *tiles = packed ? kZmmTileTable<kS, Operands::kPacked>[row]
                                       : mr % 8 == 0
                                           ? kZmmTileTable<kS, Operands::kInPlace>[row]
                                           : kZmmTileTable<kS, Operands::kInPlaceShort>[row];
        return tiles[nr - 1];
    });
}

// Whether both operands are read in place: each fits in L2 (kZmmInPlace
// doubles, up to 256 x 256), and a panel of A stays in L1 while it meets
// every column of B, so packing would cost more than it saves. Up to that
// size the unpacked tiles measured 0.78-0.96 of the packed ones' time.
constexpr std::size_t kZmmInPlace = 65536;

// Copies the pass's kc products of an mc-row block of A (the q-th column
// at a + q * as) into panels of kZmmMr rows, the last one filled with zero
// rows up to a multiple of eight: the panel of rows ir.. starts at
// packed[ir * kc] and holds row ir + i, product q at [i + q * height].
MATRIX_TARGET_AVX512 void PackA(std::size_t mc, std::size_t kc, const double *a, std::ptrdiff_t as,
                                double *packed) {
    for (std::size_t ir = 0; ir < mc; ir += kZmmMr) {
        const std::size_t mr = std::min(kZmmMr, mc - ir);
        const std::size_t height = (mr + 7) / 8 * 8;
        double *panel = packed + ir * kc;
        if (mr == kZmmMr) {
            // A whole panel's column is four registers, its place in the
            // packing on a 64-byte line.
            const double *column = a + ir;
            for (std::size_t q = 0; q < kc; ++q, column += as) {
#pragma GCC unroll 4
                for (std::size_t v = 0; v < kZmmVectors; ++v) {
                    _mm512_store_pd(panel + q * kZmmMr + 8 * v, _mm512_loadu_pd(column + 8 * v));
                }
            }
            continue;
        }
        for (std::size_t q = 0; q < kc; ++q) {
            const double *column = a + static_cast<std::ptrdiff_t>(q) * as + ir;
            double *to = panel + q * height;
            std::copy(column, column + mr, to);
            std::fill(to + mr, to + height, 0.0);
        }
    }
}

// The AVX-512 tiles as the shared walks take them (kernels/mtimes_packed.h).
struct ZmmWidth {
    static constexpr std::size_t kMr = kZmmMr;
    static constexpr std::size_t kNr = kZmmNr;
    static constexpr std::size_t kKc = kZmmKc;
    static constexpr std::size_t kMc = kZmmMc;
    // Its panel of A (64 KB) streams from L2 already; fetching B's next
    // panel there too cost 3% at 512 and 1024.
    static constexpr bool kFetchNextB = false;
    static std::size_t Columns(std::size_t kc) { return ZmmColumns(kc); }
    static void PackA(std::size_t mc, std::size_t kc, const double *a, std::ptrdiff_t as,
                      double *packed) {
        product::PackA(mc, kc, a, as, packed);
    }
    static PackedTileFunction TileFor(UpdateSign sign, bool packed, std::size_t mr,
                                      std::size_t nr) {
        return ZmmTileFor(sign, packed, mr, nr);
    }
};

}  // namespace

bool Avx512InPlace(std::size_t m, std::size_t n, std::size_t k) {
    return m * k <= kZmmInPlace && k * n <= kZmmInPlace;
}

void Avx512Product(std::size_t m, std::size_t n, std::size_t k, const double *a, std::size_t lda,
                   const double *b, std::size_t ldb, double *c, std::size_t ldc, double *work,
                   bool fromZero, UpdateSign sign, SumOrder order) {
    if (Avx512InPlace(m, n, k)) {
        InPlaceProduct<ZmmWidth>(m, n, k, a, lda, b, ldb, c, ldc, fromZero, sign, order);
    } else {
        PackedProduct<ZmmWidth>(m, n, k, a, lda, b, ldb, c, ldc, work, fromZero, sign, order);
    }
}

}  // namespace product
}  // namespace kernels
}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_HAVE_AVX2_PATHS
