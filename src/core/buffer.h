// src/core/buffer.h: layout of the reference-counted data buffers and shape arithmetic.
#ifndef MATRIX_SRC_CORE_BUFFER_H
#define MATRIX_SRC_CORE_BUFFER_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kiv {
namespace matrix {
namespace buffer {

// A data buffer is one heap block. Its data pointer is kAlignment-aligned and
// is preceded by a header: the 16-bit reference count at data - 6 and the
// 32-bit byte size at data - 4, which callers outside the library may read.
// The library's own fields sit below them: the 32-bit capacity at data - 12
// (bytes of data the block has room for, at least the byte size), a growth
// mark at data - 8 and, at data - 16, the 32-bit distance back to the start
// of the heap block. The block has room for a header of at least
// kAlignment bytes in front of the aligned data.
constexpr std::size_t kAlignment = 64;
constexpr std::size_t kCountOffset = 6;
constexpr std::size_t kSizeOffset = 4;
constexpr std::size_t kGrownOffset = 8;
constexpr std::size_t kCapacityOffset = 12;
constexpr std::size_t kBlockOffset = 16;
constexpr std::uint16_t kMaxCount = 0xFFFF;

/// Returns the data pointer of a new block with room for `capacity` data
/// bytes (at least `bytes`), count 1, byte size `bytes` and no growth mark,
/// or null when no memory was obtained. The data are not initialised.
void *Allocate(std::uint32_t bytes, std::uint32_t capacity) noexcept;
inline void *Allocate(std::uint32_t bytes) noexcept { return Allocate(bytes, bytes); }

/// Frees the block of a data pointer returned by Allocate, whatever its count.
/// Large blocks may be kept by the calling thread and handed out again by
/// Allocate (see SetBlockCacheBytes), with their old data; so may small ones
/// (see TakeSmall).
void Free(void *data) noexcept;

/// Returns a plain heap block of at least `bytes` bytes, or null when no
/// memory was obtained. Blocks of up to kSmallBytes come from the calling
/// thread's list of freed blocks of their size class when it has one: an
/// array object and its dimension list are then two list operations rather
/// than two trips through the allocator. Any block returned here may be
/// given back with KeepSmall or with the plain ::operator delete.
void *TakeSmall(std::size_t bytes) noexcept;

/// Gives back a block from TakeSmall that has room for at least `bytes`
/// bytes (it may have been asked for with more). A small block joins the
/// calling thread's list while the list is short; any other block is freed.
void KeepSmall(void *block, std::size_t bytes) noexcept;

constexpr std::size_t kSmallBytes = 64;

// The 16-bit count is changed with atomic operations, so that arrays
// sharing a buffer may be shared, copied and released on several threads at
// once. The 16-bit field at data - 6 is 2-byte aligned (the data are
// kAlignment-aligned), as atomic access needs.
inline std::uint16_t *CountField(const void *data) {
    return reinterpret_cast<std::uint16_t *>(
        const_cast<char *>(static_cast<const char *>(data) - kCountOffset));
}

/// The count; a result of 1 means that the caller's array is the only holder
/// and no other thread can make it more (sharing needs a holder), so the
/// caller may write or free the buffer. The acquire pairs with the release
/// of Unshare, so the former holders' reads are over before such writes.
inline std::uint16_t GetCount(const void *data) {
    return __atomic_load_n(CountField(data), __ATOMIC_ACQUIRE);
}

/// Sets the count of a buffer no other array holds yet.
inline void SetCount(void *data, std::uint16_t count) {
    __atomic_store_n(CountField(data), count, __ATOMIC_RELAXED);
}

/// Adds one holder unless the count is full; returns false, changing
/// nothing, when it is. The caller is a holder, so the count cannot reach 0
/// meanwhile.
inline bool TryShare(void *data) {
    std::uint16_t *field = CountField(data);
    std::uint16_t count = __atomic_load_n(field, __ATOMIC_RELAXED);
    do {
        if (count == kMaxCount) return false;
    } while (!__atomic_compare_exchange_n(field, &count, static_cast<std::uint16_t>(count + 1),
                                          true, __ATOMIC_RELAXED, __ATOMIC_RELAXED));
    return true;
}

/// Removes one holder; returns the new count. At 0 the caller was the last
/// holder and frees the buffer. A sole holder (count 1) skips the atomic
/// read-modify-write: nobody else can change the count then.
inline std::uint16_t Unshare(void *data) {
    std::uint16_t *field = CountField(data);
    if (__atomic_load_n(field, __ATOMIC_ACQUIRE) == 1) return 0;
    return static_cast<std::uint16_t>(__atomic_sub_fetch(field, 1, __ATOMIC_ACQ_REL));
}

inline std::uint32_t GetByteSize(const void *data) {
    std::uint32_t bytes;
    std::memcpy(&bytes, static_cast<const char *>(data) - kSizeOffset, sizeof bytes);
    return bytes;
}

inline void SetByteSize(void *data, std::uint32_t bytes) {
    std::memcpy(static_cast<char *>(data) - kSizeOffset, &bytes, sizeof bytes);
}

inline std::uint32_t GetCapacity(const void *data) {
    std::uint32_t capacity;
    std::memcpy(&capacity, static_cast<const char *>(data) - kCapacityOffset, sizeof capacity);
    return capacity;
}

/// The growth mark: set on buffers made by growing an array, so that a
/// second growth can tell repeated growth from a one-off one.
inline bool IsGrown(const void *data) {
    return *(static_cast<const unsigned char *>(data) - kGrownOffset) != 0;
}
inline void MarkGrown(void *data) { *(static_cast<unsigned char *>(data) - kGrownOffset) = 1; }

}  // namespace buffer

/// Sets `product` to the product of `dims[0..nDims)` (1 for no lengths) and
/// returns true, or returns false when it does not fit in 32 bits. A zero
/// length makes the product 0 whatever the others are.
bool CheckedElementCount(unsigned int nDims, const unsigned int *dims,
                         std::uint32_t &product) noexcept;

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_CORE_BUFFER_H
