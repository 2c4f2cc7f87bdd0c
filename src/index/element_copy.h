// src/index/element_copy.h: elements moved by element size, and copied cell slots given owners.
#ifndef MATRIX_SRC_INDEX_ELEMENT_COPY_H
#define MATRIX_SRC_INDEX_ELEMENT_COPY_H

#include <matrix/cmatrix.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kiv {
namespace matrix {

// Indexing moves elements as stored, whatever their class: a kernel is
// written once over an unsigned integer type of the element's width and
// chosen here, the one place that looks at the width. Cell slots are moved
// as 8-byte words like any other element and then handed to OwnCellSlots,
// so that no element array ever has two owners.

/// Calls `kernel(T{})`, T being the unsigned integer type of `elementSize`
/// bytes (1, 2, 4 or 8). Element sizes without a type (0, for classes that
/// store nothing) call nothing.
template <typename Kernel>
void WithElementType(std::size_t elementSize, Kernel &&kernel) {
    switch (elementSize) {
        case 1: kernel(std::uint8_t{}); break;
        case 2: kernel(std::uint16_t{}); break;
        case 4: kernel(std::uint32_t{}); break;
        case 8: kernel(std::uint64_t{}); break;
        default: break;
    }
}

/// Returns element k of `data`, read as a T whatever the stored class, so
/// that no element is ever accessed through a type it was not written with.
template <typename T>
inline T LoadElement(const char *data, std::size_t k) {
    T value;
    std::memcpy(&value, data + k * sizeof(T), sizeof(T));
    return value;
}

/// Writes element k of `data` as a T.
template <typename T>
inline void StoreElement(char *data, std::size_t k, T value) {
    std::memcpy(data + k * sizeof(T), &value, sizeof(T));
}

/// Copies `count` elements of type T from `from` to `to` (not overlapping).
/// Short runs go element by element: a call to memcpy cost more than
/// copying a single element, which is what A(i,:) does per column.
template <typename T>
inline void CopyRun(char *to, const char *from, std::size_t count) {
    constexpr std::size_t kShortRun = 16;
    if (count < kShortRun) {
        for (std::size_t i = 0; i < count; ++i) StoreElement<T>(to, i, LoadElement<T>(from, i));
    } else {
        std::memcpy(to, from, count * sizeof(T));
    }
}

/// Makes the cell slots `data[0..n)`, freshly copied from another cell
/// array and so pointing to element arrays owned there, point to shares of
/// those arrays of their own (CreateShareArray: a new array object holding
/// the same data buffers). Null slots stay null; a repeated pointer gets one
/// share per slot. The owner of `data` then owns every non-null slot.
///
/// Throws kiv::CExhaustedMemoryException when a share cannot be made. The
/// slots not yet replaced are then set to null, so destroying the owner of
/// `data` releases exactly the shares made so far and nothing it borrowed.
inline void OwnCellSlots(void *data, std::size_t n) {
    CMatrix **slots = static_cast<CMatrix **>(data);
    std::size_t k = 0;
    try {
        for (; k < n; ++k) {
            if (slots[k] != nullptr) slots[k] = slots[k]->CreateShareArray();
        }
    } catch (...) {
        std::fill(slots + k, slots + n, nullptr);
        throw;
    }
}

/// Runs `copy(sourcePart, targetPart)` over the real data of `source` and
/// `target`, then over their imaginary data when `source` is complex (the
/// target must then be complex too), with the parts as char pointers. A cell
/// target then gets owned slots (OwnCellSlots over all its slots), so the
/// copy itself may move cell slots as plain words; `copy` must not throw.
/// When a share cannot be made this throws kiv::CExhaustedMemoryException
/// and leaves the target safe to destroy.
template <typename Copy>
void CopyParts(const CMatrix *source, CMatrix *target, Copy &&copy) {
    copy(static_cast<const char *>(source->GetPr()), static_cast<char *>(target->GetPr()));
    if (source->IsComplex()) {
        copy(static_cast<const char *>(source->GetPi()), static_cast<char *>(target->GetPi()));
    }
    if (target->IsCell()) OwnCellSlots(target->GetPr(), target->GetNoElems());
}

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_SRC_INDEX_ELEMENT_COPY_H
