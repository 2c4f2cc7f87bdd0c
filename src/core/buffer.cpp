// src/core/buffer.cpp: allocation of the reference-counted data buffers.
#include "core/buffer.h"

#include <new>

namespace kiv {
namespace matrix {
namespace buffer {

void *Allocate(std::uint32_t bytes) noexcept {
    void *block = ::operator new(kAlignment + bytes, std::align_val_t{kAlignment}, std::nothrow);
    if (block == nullptr) return nullptr;
    void *data = static_cast<char *>(block) + kAlignment;
    SetCount(data, 1);
    std::memcpy(static_cast<char *>(data) - kSizeOffset, &bytes, sizeof bytes);
    return data;
}

void Free(void *data) noexcept {
    if (data == nullptr) return;
    ::operator delete(static_cast<char *>(data) - kAlignment, std::align_val_t{kAlignment});
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
