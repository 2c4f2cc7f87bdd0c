// tests/support/alloc_tracker.cpp: replaces every form of the global operator
// new and delete to count live blocks and to fail one chosen allocation.
//
// Every form is replaced, the nothrow and aligned ones included, because a
// sanitizer runtime supplies its own versions of the forms left alone.
#include "support/matrix_test.h"

#include <atomic>
#include <cstddef>
#include <new>

namespace {

std::atomic<long> g_live{0};
std::atomic<long> g_countdown{0};

// Null when this allocation is the one chosen to fail.
void *Obtain(std::size_t size, std::size_t alignment) {
    void *p = nullptr;
    if (g_countdown.load() > 0 && g_countdown.fetch_sub(1) == 1) return nullptr;
    if (posix_memalign(&p, std::max(alignment, sizeof(void *)), size + (size == 0))) return nullptr;
    g_live.fetch_add(1, std::memory_order_relaxed);
    return p;
}

void *ObtainOrThrow(std::size_t size, std::size_t alignment) {
    if (void *p = Obtain(size, alignment)) return p;
    throw std::bad_alloc();
}

void Return(void *p) noexcept {
    if (p != nullptr) g_live.fetch_sub(1, std::memory_order_relaxed);
    std::free(p);
}

constexpr std::size_t kDefault = alignof(std::max_align_t);

}  // namespace

namespace matrix_test {

long LiveAllocations() { return g_live.load(); }
void FailNthAllocation(long n) { g_countdown.store(n > 0 ? n : 0); }
bool AllocationFailurePending() { return g_countdown.load() > 0; }

}  // namespace matrix_test

void *operator new(std::size_t n) { return ObtainOrThrow(n, kDefault); }
void *operator new[](std::size_t n) { return ObtainOrThrow(n, kDefault); }
void *operator new(std::size_t n, const std::nothrow_t &) noexcept { return Obtain(n, kDefault); }
void *operator new[](std::size_t n, const std::nothrow_t &) noexcept { return Obtain(n, kDefault); }
void *operator new(std::size_t n, std::align_val_t a) { return ObtainOrThrow(n, std::size_t(a)); }
void *operator new[](std::size_t n, std::align_val_t a) { return ObtainOrThrow(n, std::size_t(a)); }
void *operator new(std::size_t n, std::align_val_t a, const std::nothrow_t &) noexcept {
    return Obtain(n, std::size_t(a));
}
void *operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t &) noexcept {
    return Obtain(n, std::size_t(a));
}
void operator delete(void *p) noexcept { Return(p); }
void operator delete[](void *p) noexcept { Return(p); }
void operator delete(void *p, std::size_t) noexcept { Return(p); }
void operator delete[](void *p, std::size_t) noexcept { Return(p); }
void operator delete(void *p, const std::nothrow_t &) noexcept { Return(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { Return(p); }
void operator delete(void *p, std::align_val_t) noexcept { Return(p); }
void operator delete[](void *p, std::align_val_t) noexcept { Return(p); }
void operator delete(void *p, std::size_t, std::align_val_t) noexcept { Return(p); }
void operator delete[](void *p, std::size_t, std::align_val_t) noexcept { Return(p); }
void operator delete(void *p, std::align_val_t, const std::nothrow_t &) noexcept { Return(p); }
void operator delete[](void *p, std::align_val_t, const std::nothrow_t &) noexcept { Return(p); }
