// src/core/buffer.cpp: allocation of the reference-counted data buffers.
#include "core/buffer.h"

#include <matrix/memory.h>

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

void ReleaseData(void *data) noexcept {
    std::uint32_t distance;
    std::memcpy(&distance, static_cast<char *>(data) - kBlockOffset, sizeof distance);
    Unreserve(GetCapacity(data));
    Release(static_cast<char *>(data) - distance);
}

#if !defined(MATRIX_TIGHT_BUFFERS) && !defined(MATRIX_BUFFER_LIMIT_BYTES)
#define MATRIX_BLOCK_CACHE 1

// Freed blocks with room for at least this many data bytes are kept for
// reuse by the thread that frees them. Smaller blocks come back from the
// allocator's own free lists without page faults anyway; larger ones, even
// well below a MiB, the allocator tends to return to the system (it trims
// the top of its heap) and then faults in again page by page on the next
// call, which for a factorisation of a few hundred columns costs a third
// of its time.
constexpr std::size_t kCacheMinBytes = std::size_t{128} << 10;
constexpr std::size_t kCacheEntries = 8;
constexpr std::size_t kDefaultCacheBytes = std::size_t{256} << 20;

std::atomic<std::size_t> g_cacheLimit{kDefaultCacheBytes};

// Set once the calling thread's cache is destroyed: blocks freed later in
// the thread's exit (by other thread-local objects) go straight back.
thread_local bool t_cacheGone = false;

// The calling thread's freed large blocks, oldest first, with their
// capacities. The blocks keep their headers; only count, byte size and
// growth mark are set again when one is handed out.
class BlockCache {
public:
    constexpr BlockCache() = default;
    BlockCache(const BlockCache &) = delete;
    BlockCache &operator=(const BlockCache &) = delete;
    ~BlockCache() {
        t_cacheGone = true;
        Trim(0);
    }

    // A kept block with room for `capacity` bytes and at most twice that,
    // the most recently freed first, or null.
    void *Take(std::size_t capacity) noexcept {
        Trim(g_cacheLimit.load(std::memory_order_relaxed));
        for (std::size_t i = m_count; i-- > 0;) {
            if (m_capacity[i] >= capacity && m_capacity[i] / 2 < capacity) {
                void *data = m_data[i];
                Remove(i);
                return data;
            }
        }
        return nullptr;
    }

    // Keeps a freed block unless it alone exceeds the bound; the oldest
    // blocks make room for it.
    bool Keep(void *data, std::size_t capacity) noexcept {
        const std::size_t limit = g_cacheLimit.load(std::memory_order_relaxed);
        if (capacity > limit) {
            Trim(limit);
            return false;
        }
        Trim(limit - capacity);
        if (m_count == kCacheEntries) Evict();
        m_data[m_count] = data;
        m_capacity[m_count] = capacity;
        ++m_count;
        m_total += capacity;
        return true;
    }

    // Gives back the oldest blocks until at most `limit` bytes are kept;
    // returns whether any block was given back.
    bool Trim(std::size_t limit) noexcept {
        bool released = false;
        while (m_total > limit) {
            Evict();
            released = true;
        }
        return released;
    }

private:
    void Evict() noexcept {
        void *data = m_data[0];
        Remove(0);
        ReleaseData(data);
    }

    void Remove(std::size_t i) noexcept {
        m_total -= m_capacity[i];
        for (std::size_t j = i + 1; j < m_count; ++j) {
            m_data[j - 1] = m_data[j];
            m_capacity[j - 1] = m_capacity[j];
        }
        --m_count;
    }

    void *m_data[kCacheEntries] = {};
    std::size_t m_capacity[kCacheEntries] = {};
    std::size_t m_count = 0;
    std::size_t m_total = 0;
};

thread_local BlockCache t_cache;

#endif

#if !defined(MATRIX_TIGHT_BUFFERS) && !defined(MATRIX_BUFFER_LIMIT_BYTES)
#define MATRIX_SMALL_STORE 1

// Small blocks are grouped in size classes, and a block always has the full
// size of its class, so that any block of a class may serve any request of
// it. Plain blocks (array objects, dimension lists) come in steps of 16
// bytes up to kSmallBytes; data blocks in powers of two of data capacity,
// from kFirstDataBytes to kLastDataBytes, which covers scalars and arrays up
// to 1024 doubles: below that size the allocator's own path for a block and
// back costs as much as a cheap element-wise loop over it. Builds with sanitizers keep nothing and ask for the
// exact size, so that every overflow and every use after release is seen.
constexpr std::size_t kPlainStep = 16;
constexpr std::size_t kPlainClasses = kSmallBytes / kPlainStep;
constexpr std::uint32_t kFirstDataBytes = 32;
constexpr std::uint32_t kLastDataBytes = 8192;
constexpr std::size_t kDataClasses = 9;
// Each list keeps at most this many blocks: enough for the temporaries of
// an expression, little enough not to matter as memory (blocks of more
// than kBoundBytes fewer: at most 8 of each, 120 KiB in all).
constexpr std::uint8_t kListBound = 32;
constexpr std::uint8_t kLargeListBound = 8;
constexpr std::uint32_t kBoundBytes = 512;

std::size_t PlainClass(std::size_t bytes) { return bytes == 0 ? 0 : (bytes - 1) / kPlainStep; }

// The class of a data capacity of at most kLastDataBytes: the k for which
// kFirstDataBytes << k is the least power of two that holds it.
std::size_t DataClass(std::uint32_t capacity) {
    if (capacity <= kFirstDataBytes) return 0;
    return static_cast<std::size_t>(32 - __builtin_clz(capacity - 1)) - 5;
}
static_assert(kFirstDataBytes == 32 && kLastDataBytes == kFirstDataBytes << (kDataClasses - 1),
              "DataClass counts classes from 32 bytes");

// The calling thread's freed small blocks: one list per class, linked
// through the blocks' first bytes (the data bytes, for a data block, whose
// header stays as it was). Plain classes first, then data classes.
//
// Plain data with the initial-exec model: the lists are touched several
// times by every array made and freed, and a general thread-local access
// from a shared library is a call that costs more than the list operation.
// What the lists hold is given back at thread exit by t_smallReleaser, which
// a thread constructs when it first keeps a block.
constexpr std::size_t kLists = kPlainClasses + kDataClasses;

struct SmallLists {
    void *head[kLists];
    std::uint8_t count[kLists];
    bool armed;  // t_smallReleaser exists for this thread
    bool gone;   // the thread is ending: keep nothing more
};

__attribute__((tls_model("initial-exec"))) thread_local SmallLists t_small;

void *Pop(std::size_t list) noexcept {
    void *block = t_small.head[list];
    if (block != nullptr) {
        std::memcpy(&t_small.head[list], block, sizeof(void *));
        --t_small.count[list];
    }
    return block;
}

bool Push(std::size_t list, void *block) noexcept;

// Frees every kept block.
void ClearSmall() noexcept {
    for (std::size_t list = 0; list < kLists; ++list) {
        while (void *block = Pop(list)) {
            if (list < kPlainClasses) {
                ::operator delete(block);
            } else {
                ReleaseData(block);
            }
        }
    }
}

struct SmallReleaser {
    void Arm() noexcept { t_small.armed = true; }
    ~SmallReleaser() {
        t_small.gone = true;
        ClearSmall();
    }
};

thread_local SmallReleaser t_smallReleaser;

// The most blocks a list keeps.
constexpr std::uint8_t ListBound(std::size_t list) {
    return list >= kPlainClasses && (kFirstDataBytes << (list - kPlainClasses)) > kBoundBytes
               ? kLargeListBound
               : kListBound;
}

bool Push(std::size_t list, void *block) noexcept {
    if (t_small.count[list] >= ListBound(list) || t_small.gone) return false;
    if (!t_small.armed) t_smallReleaser.Arm();
    std::memcpy(block, &t_small.head[list], sizeof(void *));
    t_small.head[list] = block;
    ++t_small.count[list];
    return true;
}

#endif

}  // namespace

void *TakeSmall(std::size_t bytes) noexcept {
#if defined(MATRIX_SMALL_STORE)
    if (bytes <= kSmallBytes) {
        const std::size_t k = PlainClass(bytes);
        if (void *block = Pop(k)) return block;
        bytes = (k + 1) * kPlainStep;
    }
#endif
    // No retry after giving back kept small blocks: they are too few to
    // make room that the allocator could not find.
    return ::operator new(bytes, std::nothrow);
}

void KeepSmall(void *block, std::size_t bytes) noexcept {
    if (block == nullptr) return;
#if defined(MATRIX_SMALL_STORE)
    if (bytes <= kSmallBytes && Push(PlainClass(bytes), block)) return;
#else
    (void)bytes;
#endif
    ::operator delete(block);
}

namespace {

// Allocate past the thread's lists of small blocks: the block cache, then
// the allocator. Kept out of line, so that taking a kept small block, the
// common case for the short arrays of an expression, saves and restores no
// registers for it.
[[gnu::noinline]] void *AllocateFresh(std::uint32_t bytes, std::uint32_t capacity) noexcept {
#if defined(MATRIX_BLOCK_CACHE)
    if (capacity >= kCacheMinBytes && !t_cacheGone) {
        if (void *data = t_cache.Take(capacity)) {
            SetCount(data, 1);
            SetByteSize(data, bytes);
            *(static_cast<unsigned char *>(data) - kGrownOffset) = 0;
            return data;
        }
    }
#endif
    if (!Reserve(capacity)) {
        // Room to spare is a wish; only the bytes asked for must fit.
        capacity = bytes;
        if (!Reserve(capacity)) return nullptr;
    }
    std::uint32_t distance = 0;
    void *block = Obtain(capacity, distance);
#if defined(MATRIX_BLOCK_CACHE)
    // Blocks kept for reuse are the first memory to give up.
    if (block == nullptr && !t_cacheGone && t_cache.Trim(0)) block = Obtain(capacity, distance);
#endif
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

// Free past the thread's lists of small blocks: the block cache, then the
// allocator; out of line as AllocateFresh.
[[gnu::noinline]] void FreeOther(void *data) noexcept {
#if defined(MATRIX_BLOCK_CACHE)
    const std::size_t capacity = GetCapacity(data);
    if (capacity >= kCacheMinBytes && !t_cacheGone && t_cache.Keep(data, capacity)) return;
#endif
    ReleaseData(data);
}

}  // namespace

void *Allocate(std::uint32_t bytes, std::uint32_t capacity) noexcept {
    if (capacity < bytes) capacity = bytes;
#if defined(MATRIX_SMALL_STORE)
    if (capacity <= kLastDataBytes) {
        const std::size_t k = DataClass(capacity);
        capacity = kFirstDataBytes << k;
        if (void *data = Pop(kPlainClasses + k)) {
            SetCount(data, 1);
            SetByteSize(data, bytes);
            *(static_cast<unsigned char *>(data) - kGrownOffset) = 0;
            return data;
        }
    }
#endif
    return AllocateFresh(bytes, capacity);
}

void Free(void *data) noexcept {
    if (data == nullptr) return;
#if defined(MATRIX_SMALL_STORE)
    // Every block of up to kLastDataBytes has the capacity of its class.
    const std::uint32_t small = GetCapacity(data);
    if (small <= kLastDataBytes && Push(kPlainClasses + DataClass(small), data)) return;
#endif
    FreeOther(data);
}

}  // namespace buffer

void SetBlockCacheBytes(std::size_t bytes) {
#if defined(MATRIX_SMALL_STORE)
    if (bytes == 0) buffer::ClearSmall();
#endif
#if defined(MATRIX_BLOCK_CACHE)
    buffer::g_cacheLimit.store(bytes, std::memory_order_relaxed);
    if (!buffer::t_cacheGone) buffer::t_cache.Trim(bytes);
#else
    (void)bytes;
#endif
}

std::size_t GetBlockCacheBytes() {
#if defined(MATRIX_BLOCK_CACHE)
    return buffer::g_cacheLimit.load(std::memory_order_relaxed);
#else
    return 0;
#endif
}

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
