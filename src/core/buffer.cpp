// src/core/buffer.cpp: allocation of the reference-counted data buffers.
#include "core/buffer.h"

#include <cstddef>
#include <atomic>
#include <cstdint>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace kiv {
namespace matrix {
namespace buffer {

namespace {

#if defined(MATRIX_BUFFER_LIMIT_BYTES)
// Test builds (the fuzzer's) refuse a block when the live blocks would then
// hold more than a fixed number of data bytes together, so that huge or
// piled-up requests end in the library's out-of-memory exception rather than
// in the harness's own memory limit.
constexpr std::size_t kLimitBytes = MATRIX_BUFFER_LIMIT_BYTES;
std::atomic<std::size_t> g_liveBytes{0};

bool Reserve(std::size_t capacity) noexcept {
    std::size_t live = g_liveBytes.load(std::memory_order_relaxed);
    do {
        if (capacity > kLimitBytes - live) return false;
    } while (!g_liveBytes.compare_exchange_weak(live, live + capacity, std::memory_order_relaxed));
    return true;
}

void Unreserve(std::size_t capacity) noexcept {
    g_liveBytes.fetch_sub(capacity, std::memory_order_relaxed);
}
#else
bool Reserve(std::size_t) noexcept { return true; }
void Unreserve(std::size_t) noexcept {}
#endif

#if defined(MATRIX_TIGHT_BUFFERS)

// Test builds (sanitizers, fuzzing) place the data at the very end of an
// aligned block, so that the first byte past the capacity lies outside the
// block and a sanitizer reports any access to it; the header fits in the
// kAlignment bytes in front of the data.
void *Obtain(std::size_t capacity, std::uint32_t &distance) noexcept {
    distance = kAlignment;
    return ::operator new (kAlignment + capacity, std::align_val_t{kAlignment}, std::nothrow);
}

void Release(void *block) noexcept { ::operator delete (block, std::align_val_t{kAlignment}); }

#else

// Blocks of at least this many bytes ask the kernel for transparent huge
// pages. A fresh result is written once, front to back, and with 4 KiB pages
// that first touch costs a fault per page, which outweighs the arithmetic of
// an element-wise operation many times over.
constexpr std::size_t kHugePageAdviceBytes = std::size_t{4} << 20;
constexpr std::uintptr_t kHugePageBytes = std::uintptr_t{2} << 20;

void AdviseHugePages(void *block, std::size_t bytes) noexcept {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (bytes < kHugePageAdviceBytes) return;
    // Only the whole huge pages inside the block; advice is best effort.
    const auto begin = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t first = (begin + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
    const std::uintptr_t last = (begin + bytes) & ~(kHugePageBytes - 1);
    if (last > first) madvise(reinterpret_cast<void *>(first), last - first, MADV_HUGEPAGE);
#else
    (void)block;
    (void)bytes;
#endif
}

// Blocks come from the plain allocator and are aligned by hand: the aligned
// allocation functions take a slower path in common allocators, which for
// small arrays costs more than the arithmetic. The allocator's own
// alignment is at least that of max_align_t, so kAlignment -
// alignof(std::max_align_t) spare bytes always suffice.
constexpr std::size_t kSpare = kAlignment - alignof(std::max_align_t);

void *Obtain(std::size_t capacity, std::uint32_t &distance) noexcept {
    const std::size_t blockBytes = kAlignment + kSpare + capacity;
    void *block = ::operator new(blockBytes, std::nothrow);
    if (block == nullptr) return nullptr;
    AdviseHugePages(block, blockBytes);
    const auto start = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t aligned = (start + kAlignment + kAlignment - 1) & ~(kAlignment - 1);
    distance = static_cast<std::uint32_t>(aligned - start);
    return block;
}

void Release(void *block) noexcept { ::operator delete(block); }

#endif

}  // namespace

void *Allocate(std::uint32_t bytes, std::uint32_t capacity) noexcept {
    if (capacity < bytes) capacity = bytes;
    if (!Reserve(capacity)) {
        // Room to spare is a wish; only the bytes asked for must fit.
        capacity = bytes;
        if (!Reserve(capacity)) return nullptr;
    }
    std::uint32_t distance = 0;
    void *block = Obtain(capacity, distance);
    if (block == nullptr) {
        Unreserve(capacity);
        return nullptr;
    }
    void *data = static_cast<char *>(block) + distance;
    SetCount(data, 1);
    SetByteSize(data, bytes);
    std::memcpy(static_cast<char *>(data) - kCapacityOffset, &capacity, sizeof capacity);
    std::memcpy(static_cast<char *>(data) - kBlockOffset, &distance, sizeof distance);
    *(static_cast<unsigned char *>(data) - kGrownOffset) = 0;
    return data;
}

void Free(void *data) noexcept {
    if (data == nullptr) return;
    std::uint32_t distance;
    std::memcpy(&distance, static_cast<char *>(data) - kBlockOffset, sizeof distance);
    Unreserve(GetCapacity(data));
    Release(static_cast<char *>(data) - distance);
}

}  // namespace buffer

bool CheckedElementCount(unsigned int nDims, const unsigned int *dims,
                         std::uint32_t &product) noexcept {
    std::uint64_t count = 1;
    bool overflow = false;
    for (unsigned int i = 0; i < nDims; ++i) {
        if (dims[i] == 0) {
            product = 0;
            return true;
        }
        count *= dims[i];
        if (count > UINT32_MAX) {
            overflow = true;
            count = 1;  // keep looking for a zero length
        }
    }
    if (overflow) return false;
    product = static_cast<std::uint32_t>(count);
    return true;
}

}  // namespace matrix
}  // namespace kiv
