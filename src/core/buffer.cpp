// src/core/buffer.cpp: allocation of the reference-counted data buffers.
#include "core/buffer.h"

#include <cstddef>
#include <cstdint>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace kiv {
namespace matrix {
namespace buffer {

namespace {

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

}  // namespace

// Blocks come from the plain allocator and are aligned by hand: the aligned
// allocation functions take a slower path in common allocators, which for
// small arrays costs more than the arithmetic. The allocator's own
// alignment is at least that of max_align_t, so kAlignment -
// alignof(std::max_align_t) spare bytes always suffice.
constexpr std::size_t kSpare = kAlignment - alignof(std::max_align_t);

void *Allocate(std::uint32_t bytes, std::uint32_t capacity) noexcept {
    if (capacity < bytes) capacity = bytes;
    const std::size_t blockBytes = kAlignment + kSpare + std::size_t{capacity};
    void *block = ::operator new(blockBytes, std::nothrow);
    if (block == nullptr) return nullptr;
    AdviseHugePages(block, blockBytes);
    const auto start = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t aligned = (start + kAlignment + kAlignment - 1) & ~(kAlignment - 1);
    void *data = reinterpret_cast<void *>(aligned);
    const auto distance = static_cast<std::uint32_t>(aligned - start);
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
    ::operator delete(static_cast<char *>(data) - distance);
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
