// src/core/cmatrix.cpp: the array object: shape, shared buffers, copy on write.
#include <matrix/cmatrix.h>

#include <kiv/exception.h>
#include <matrix/exceptions.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "core/array_fields.h"
#include "core/buffer.h"

namespace kiv {
namespace matrix {

namespace {

[[noreturn]] void ThrowOutOfMemory() { throw kiv::CExhaustedMemoryException(); }

// Dimension lists are plain blocks from buffer::TakeSmall, so that the
// short ones come from the thread's freed blocks. A list may be freed with
// fewer entries than it was made with (a trimmed shape), never more.
unsigned int *NewDimensionList(unsigned int nDims) {
    void *list = buffer::TakeSmall(std::size_t{nDims} * sizeof(unsigned int));
    if (list == nullptr) ThrowOutOfMemory();
    return static_cast<unsigned int *>(list);
}

void FreeDimensionList(unsigned int *list, unsigned int nDims) {
    buffer::KeepSmall(list, std::size_t{nDims} * sizeof(unsigned int));
}

// Copies a dimension list; most are two lengths long, which a call to a
// general copy would cost more than.
void CopyDimensions(const unsigned int *from, unsigned int nDims, unsigned int *to) {
    for (unsigned int k = 0; k < nDims; ++k) to[k] = from[k];
}

// An array object made by `new` comes in one block with room for a short
// dimension list behind it, which its constructor uses: one block to take
// and give back instead of two. The constructor knows its object is such a
// block when it is the one operator new handed out last on this thread
// (t_freshObject, cleared as soon as it is used or freed); an object made
// any other way (on the stack, as a base) keeps its list apart.
constexpr unsigned int kInlineDims = 6;
constexpr std::size_t kObjectBlockBytes = sizeof(CMatrix) + kInlineDims * sizeof(unsigned int);
static_assert(kObjectBlockBytes <= buffer::kSmallBytes, "an object block is a small block");
static_assert(sizeof(CMatrix) % alignof(unsigned int) == 0, "the list behind is aligned");

__attribute__((tls_model("initial-exec"))) thread_local void *t_freshObject = nullptr;

unsigned int *InlineDimensions(const CMatrix *self) {
    return reinterpret_cast<unsigned int *>(
        const_cast<char *>(reinterpret_cast<const char *>(self) + sizeof(CMatrix)));
}

// The dimension list for an object under construction.
unsigned int *NewDimensionList(const CMatrix *self, unsigned int nDims) {
    if (self == t_freshObject) {
        t_freshObject = nullptr;
        if (nDims <= kInlineDims) return InlineDimensions(self);
    }
    return NewDimensionList(nDims);
}

// Frees an object's dimension list unless it lives in the object's block.
void FreeDimensionList(const CMatrix *self, unsigned int *list, unsigned int nDims) {
    if (list != InlineDimensions(self)) FreeDimensionList(list, nDims);
}

// Owns a dimension list of `nDims` entries until it is released.
class PendingDimensions {
public:
    explicit PendingDimensions(unsigned int nDims)
        : m_list(NewDimensionList(nDims)), m_nDims(nDims) {}
    PendingDimensions(const PendingDimensions &) = delete;
    PendingDimensions &operator=(const PendingDimensions &) = delete;
    ~PendingDimensions() { FreeDimensionList(m_list, m_nDims); }

    unsigned int *get() const { return m_list; }
    unsigned int &operator[](unsigned int k) const { return m_list[k]; }
    unsigned int *release() {
        unsigned int *list = m_list;
        m_list = nullptr;
        return list;
    }

private:
    unsigned int *m_list;
    unsigned int m_nDims;
};

// Number of leading lengths left once trailing lengths of 1 beyond the
// second are dropped.
unsigned int TrimmedCount(unsigned int nDims, const unsigned int *dims) {
    while (nDims > 2 && dims[nDims - 1] == 1) --nDims;
    return nDims;
}

// Byte size of `nElems` elements of `elementSize` bytes, or false when it
// does not fit in 32 bits.
bool CheckedByteSize(unsigned int elementSize, std::uint32_t nElems, std::uint32_t &bytes) {
    const std::uint64_t wide = std::uint64_t{elementSize} * nElems;
    if (wide > UINT32_MAX) return false;
    bytes = static_cast<std::uint32_t>(wide);
    return true;
}

CMatrix **Slots(void *data) { return static_cast<CMatrix **>(data); }

std::uint32_t SlotCount(const void *data) { return buffer::GetByteSize(data) / sizeof(CMatrix *); }

// Replaces every non-null slot by a shared copy of the array it points to,
// so that the slots can be owned by a second buffer. On failure the shares
// made so far are destroyed and the exception propagates; the slots are then
// garbage and the caller discards the buffer without releasing them.
void ShareSlots(CMatrix **slots, std::uint32_t count) {
    std::uint32_t done = 0;
    try {
        for (; done < count; ++done) {
            if (slots[done] != nullptr) slots[done] = slots[done]->CreateShareArray();
        }
    } catch (...) {
        // Slots from `done` on still alias the source's elements.
        for (std::uint32_t i = 0; i < done; ++i) delete slots[i];
        throw;
    }
}

// Lets go of one holder of a buffer; the last holder frees it, and first
// destroys the element arrays when the buffer holds owned cell slots.
// Returns the new count.
std::uint16_t ReleaseBuffer(void *&data, bool ownsSlots) {
    if (data == nullptr) return 0;
    const std::uint16_t count = buffer::Unshare(data);
    if (count == 0) {
        if (ownsSlots) {
            CMatrix **slots = Slots(data);
            const std::uint32_t n = SlotCount(data);
            for (std::uint32_t i = 0; i < n; ++i) delete slots[i];
        }
        buffer::Free(data);
    }
    data = nullptr;
    return count;
}

// Returns a new buffer (count 1) holding a copy of `source`; owned cell slots
// are shared rather than aliased. Throws kiv::CExhaustedMemoryException and
// obtains nothing on failure.
void *CopyBuffer(const void *source, bool ownsSlots) {
    const std::uint32_t bytes = buffer::GetByteSize(source);
    void *copy = buffer::Allocate(bytes);
    if (copy == nullptr) ThrowOutOfMemory();
    std::memcpy(copy, source, bytes);
    if (ownsSlots) {
        try {
            ShareSlots(Slots(copy), SlotCount(copy));
        } catch (...) {
            buffer::Free(copy);
            throw;
        }
    }
    return copy;
}

// Owns a buffer that is not attached to an array yet.
class PendingBuffer {
public:
    PendingBuffer(void *data, bool ownsSlots) : m_data(data), m_ownsSlots(ownsSlots) {}
    PendingBuffer(const PendingBuffer &) = delete;
    PendingBuffer &operator=(const PendingBuffer &) = delete;
    ~PendingBuffer() { ReleaseBuffer(m_data, m_ownsSlots); }

    void *Get() const { return m_data; }
    void *Release() {
        void *data = m_data;
        m_data = nullptr;
        return data;
    }

private:
    void *m_data;
    bool m_ownsSlots;
};

// Copies the elements of an array of shape `oldDims` into a buffer of the
// grown shape `newDims` (at least as many dimensions, each at least as
// long), keeping each element at its subscripts. Works one first-dimension
// run at a time, since runs stay contiguous in both layouts.
void CopyIntoGrownShape(const char *source, char *target, unsigned int elementSize,
                        unsigned int oldNDims, const unsigned int *oldDims, std::uint32_t oldNElems,
                        const unsigned int *newDims) {
    if (oldNElems == 0) return;
    const std::size_t runBytes = std::size_t{oldDims[0]} * elementSize;
    const std::uint32_t runs = oldNElems / oldDims[0];

    // Stride of each dimension in the grown shape, and the subscripts of the
    // current run (dimensions 1 and up), advanced like an odometer.
    std::unique_ptr<std::uint64_t[]> stride(new (std::nothrow) std::uint64_t[oldNDims]);
    std::unique_ptr<unsigned int[]> subscript(new (std::nothrow) unsigned int[oldNDims]);
    if (!stride || !subscript) ThrowOutOfMemory();
    stride[0] = 1;
    for (unsigned int k = 1; k < oldNDims; ++k) stride[k] = stride[k - 1] * newDims[k - 1];
    std::fill(subscript.get(), subscript.get() + oldNDims, 0u);

    std::uint64_t offset = 0;
    for (std::uint32_t run = 0; run < runs; ++run) {
        std::memcpy(target + offset * elementSize, source + run * runBytes, runBytes);
        for (unsigned int k = 1; k < oldNDims; ++k) {
            if (++subscript[k] < oldDims[k]) {
                offset += stride[k];
                break;
            }
            offset -= std::uint64_t{subscript[k] - 1} * stride[k];
            subscript[k] = 0;
        }
    }
}

// True when every element of an array of shape `oldDims` keeps its linear
// position in the grown shape `newDims`: the lengths before the last one
// above 1 are unchanged, so growth only adds elements after the old ones.
bool KeepsLinearPositions(unsigned int oldNDims, const unsigned int *oldDims,
                          std::uint32_t oldNElems, const unsigned int *newDims) {
    if (oldNElems == 0) return true;
    unsigned int last = 0;
    for (unsigned int k = 0; k < oldNDims; ++k) {
        if (oldDims[k] > 1) last = k;
    }
    return std::equal(oldDims, oldDims + last, newDims);
}

// Capacity for a buffer that grows again after an earlier growth: half as
// much again, so that n one-element appends copy O(n) elements in all
// rather than O(n^2). A one-off growth gets no room to spare.
std::uint32_t RepeatedGrowthCapacity(std::uint32_t bytes) {
    const std::uint64_t room = std::max<std::uint64_t>(bytes / 2, 64);
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes + room, UINT32_MAX));
}

bool CanGrowInPlace(const void *data, std::uint32_t bytes) {
    return data != nullptr && buffer::GetCount(data) == 1 && buffer::GetCapacity(data) >= bytes;
}

// Lengthens a buffer held by one array within its capacity; the new bytes
// are zero.
void GrowInPlace(void *data, std::uint32_t bytes) {
    const std::uint32_t old = buffer::GetByteSize(data);
    std::memset(static_cast<char *>(data) + old, 0, bytes - old);
    buffer::SetByteSize(data, bytes);
}

}  // namespace

// --- Construction and release ---------------------------------------------

CMatrix::CMatrix(unsigned int nDims, const unsigned int *dims, mxClassID classId,
                 unsigned short flags, mxComplexity complexity)
    : m_nDims(0),
      m_nElems(0),
      m_pDims(nullptr),
      m_classID(classId),
      m_flags(flags),
      m_counter(0),
      m_pr(nullptr),
      m_pi(nullptr) {
    const unsigned int kept = TrimmedCount(nDims, dims);
    std::uint32_t count = 0;
    if (kept == 1) {
        count = dims[0];
    } else if (kept == 2) {
        const std::uint64_t product = std::uint64_t{dims[0]} * dims[1];
        if (product > UINT32_MAX) ThrowOutOfMemory();
        count = static_cast<std::uint32_t>(product);
    } else if (kept > 2 && !CheckedElementCount(kept, dims, count)) {
        ThrowOutOfMemory();
    }

    const unsigned int stored = std::max(kept, 2u);
    m_pDims = NewDimensionList(this, stored);
    CopyDimensions(dims, kept, m_pDims);
    if (kept < 2) m_pDims[1] = kept;  // n gives n x 1, nothing 0 x 0
    if (kept == 0) m_pDims[0] = 0;
    m_nDims = stored;
    m_nElems = count;

    // A real array of plain elements, the common case, takes its buffer
    // here rather than through AllocMemory's calls and tests: the fixed cost
    // of a small array's creation is mostly such calls.
    if (complexity != mxComplexityComplex && classId != mxClassCell && classId != mxClassStruct) {
        std::uint32_t bytes;
        m_pr = CheckedByteSize(GetElementSize(classId), count, bytes) ? buffer::Allocate(bytes)
                                                                     : nullptr;
        if (m_pr != nullptr) return;
        FreeDimensionList(this, m_pDims, m_nDims);
        ThrowOutOfMemory();
    }
    try {
        AllocMemory(complexity);
    } catch (...) {
        FreeDimensionList(this, m_pDims, m_nDims);
        throw;
    }
}

CMatrix::CMatrix(const CMatrix &other)
    : m_nDims(other.m_nDims),
      m_nElems(other.m_nElems),
      m_pDims(nullptr),
      m_classID(other.m_classID),
      m_flags(static_cast<unsigned short>(other.m_flags & 0x00FF)),
      m_counter(0),
      m_pr(nullptr),
      m_pi(nullptr) {
    m_pDims = NewDimensionList(this, m_nDims);
    CopyDimensions(other.m_pDims, m_nDims, m_pDims);
}

CMatrix::~CMatrix() {
    // The common end of an array: the only holder of a real buffer of plain
    // elements frees it, as ReleaseBuffer would, without its calls.
    if (m_pi == nullptr && m_pr != nullptr && m_classID != mxClassCell &&
        buffer::GetCount(m_pr) == 1) {
        buffer::Free(m_pr);
        m_pr = nullptr;
    } else {
        DeallocMemory();
    }
    FreeDimensionList(this, m_pDims, m_nDims);
}

void *CMatrix::operator new(std::size_t bytes) {
    void *object = operator new(bytes, std::nothrow);
    if (object == nullptr) throw std::bad_alloc();
    return object;
}

void *CMatrix::operator new(std::size_t bytes, const std::nothrow_t &) noexcept {
    // A derived class's object gets exactly its size.
    if (bytes != sizeof(CMatrix)) return buffer::TakeSmall(bytes);
    void *object = buffer::TakeSmall(kObjectBlockBytes);
    t_freshObject = object;
    return object;
}

void CMatrix::operator delete(void *object, std::size_t bytes) noexcept {
    if (object == t_freshObject) t_freshObject = nullptr;
    buffer::KeepSmall(object, bytes == sizeof(CMatrix) ? kObjectBlockBytes : bytes);
}

void CMatrix::operator delete(void *object, const std::nothrow_t &) noexcept {
    if (object == t_freshObject) t_freshObject = nullptr;
    ::operator delete(object);
}

// --- Sharing and copy on write ----------------------------------------------

CMatrix *CMatrix::CreateShareArray() const {
    std::unique_ptr<CMatrix> share(new (std::nothrow) CMatrix(*this));
    if (!share) ThrowOutOfMemory();

    // A buffer whose 16-bit count is full is copied instead of shared. A
    // failed copy of the imaginary part lets go of the real one again (the
    // share's destructor).
    const bool cellSlots = m_classID == mxClassCell;
    if (m_pr != nullptr) share->m_pr = buffer::TryShare(m_pr) ? m_pr : CopyBuffer(m_pr, cellSlots);
    if (m_pi != nullptr) share->m_pi = buffer::TryShare(m_pi) ? m_pi : CopyBuffer(m_pi, false);
    return share.release();
}

CMatrix *CMatrix::CreateDuplicateArray() const {
    std::unique_ptr<CMatrix> duplicate(CreateShareArray());
    duplicate->GetOwnCopy();
    return duplicate.release();
}

void CMatrix::GetOwnCopy() {
    // Both copies are made before either is attached, so a failure on the
    // imaginary part leaves the array exactly as it was.
    const bool copyReal = m_pr != nullptr && buffer::GetCount(m_pr) > 1;
    const bool copyImag = m_pi != nullptr && buffer::GetCount(m_pi) > 1;
    if (!copyReal && !copyImag) return;

    PendingBuffer real(copyReal ? CopyBuffer(m_pr, IsCell()) : nullptr, IsCell());
    PendingBuffer imag(copyImag ? CopyBuffer(m_pi, false) : nullptr, false);
    if (copyReal) {
        ReleaseBuffer(m_pr, IsCell());
        m_pr = real.Release();
    }
    if (copyImag) {
        ReleaseBuffer(m_pi, false);
        m_pi = imag.Release();
    }
}

void CMatrix::GetOwnCopy(void *&buffer) {
    if (buffer == nullptr || buffer::GetCount(buffer) == 1) return;
    const bool ownsSlots = &buffer == &m_pr && IsCell();
    void *copy = CopyBuffer(buffer, ownsSlots);
    ReleaseBuffer(buffer, ownsSlots);
    buffer = copy;
}

// --- Buffer management --------------------------------------------------------

unsigned int CMatrix::AllocMemory(mxComplexity complexity) {
    m_pr = DoAllocMemory(m_nElems);
    if (m_pr == nullptr) ThrowOutOfMemory();
    if (m_classID == mxClassCell || m_classID == mxClassStruct) {
        std::memset(m_pr, 0, buffer::GetByteSize(m_pr));
    }
    if (complexity == mxComplexityComplex) {
        m_pi = DoAllocMemory(m_nElems);
        if (m_pi == nullptr) {
            DecRef(m_pr);
            ThrowOutOfMemory();
        }
    }
    return buffer::GetByteSize(m_pr);
}

void *CMatrix::DoAllocMemory(unsigned int nElems) {
    std::uint32_t bytes;
    if (!CheckedByteSize(GetElementSize(), nElems, bytes)) return nullptr;
    return buffer::Allocate(bytes);
}

void CMatrix::DoDeallocMemory(void *&buffer) {
    buffer::Free(buffer);
    buffer = nullptr;
}

void CMatrix::DeallocMemory() {
    if (m_pr != nullptr) DecRef(m_pr);
    if (m_pi != nullptr) DecRef(m_pi);
}

unsigned short CMatrix::IncRef(void *buffer) {
    return __atomic_add_fetch(buffer::CountField(buffer), std::uint16_t{1}, __ATOMIC_RELAXED);
}

unsigned short CMatrix::DecRef(void *&buffer) {
    // Only the real buffer of a cell array owns the arrays its slots point to.
    return ReleaseBuffer(buffer, &buffer == &m_pr && m_classID == mxClassCell);
}

unsigned short CMatrix::GetRef(void *buffer) const { return buffer::GetCount(buffer); }

unsigned int CMatrix::GetElementSize(unsigned int classId) {
    static constexpr unsigned int kSizes[] = {
        0,  // mxClassNone
        8,  // mxClassCell
        8,  // mxClassStruct
        8,  // mxClassReserved
        2,  // mxClassChar
        0,  // mxClassSparse
        8,  // mxClassDouble
        4,  // mxClassSingle
        1,  // mxClassInt8
        1,  // mxClassUint8
        2,  // mxClassInt16
        2,  // mxClassUint16
        4,  // mxClassInt32
        4,  // mxClassUint32
        8,  // mxClassInt64
        8,  // mxClassUint64
    };
    static_assert(sizeof(CMatrix *) == 8, "cell slots are 8 bytes wide");
    return classId < sizeof kSizes / sizeof kSizes[0] ? kSizes[classId] : 0;
}

// --- Shape changes ------------------------------------------------------------

void CMatrix::Extend(unsigned int nDims, const unsigned int *dims) {
    if (nDims == 0) return;

    // A dimension the array does not have yet has length 1, so a request of
    // 0 for it cannot shrink anything: it is taken as 1. Trailing requests of
    // 1 beyond the current dimensions are dropped.
    auto requested = [&](unsigned int k) { return k >= m_nDims && dims[k] == 0 ? 1u : dims[k]; };
    unsigned int nRequested = nDims;
    while (nRequested > m_nDims && requested(nRequested - 1) == 1) --nRequested;

    const unsigned int newNDims = std::max(nRequested, m_nDims);
    PendingDimensions newDims(newNDims);
    for (unsigned int k = 0; k < newNDims; ++k) {
        if (k < nRequested && k < m_nDims) {
            newDims[k] = std::max(requested(k), m_pDims[k]);
        } else {
            newDims[k] = k < nRequested ? requested(k) : m_pDims[k];
        }
    }

    std::uint32_t newNElems, bytes;
    if (!CheckedElementCount(newNDims, newDims.get(), newNElems)) ThrowOutOfMemory();
    if (newNElems == m_nElems) return;
    // A current length of 0 raised to 1 can leave trailing 1s, which no array
    // may store: 2x2x0 grown to 2, 2, 1 is 2x2. The list keeps its full
    // length, since the copy below reads it with the current dimensions.
    const unsigned int keptNDims = TrimmedCount(newNDims, newDims.get());
    if (!CheckedByteSize(GetElementSize(), newNElems, bytes)) ThrowOutOfMemory();

    // Growth that only appends, into buffers this array holds alone and that
    // have room, needs no copy (and cannot fail from here on).
    const bool appends = KeepsLinearPositions(m_nDims, m_pDims, m_nElems, newDims.get());
    if (appends && CanGrowInPlace(m_pr, bytes) &&
        (m_pi == nullptr || CanGrowInPlace(m_pi, bytes))) {
        GrowInPlace(m_pr, bytes);
        if (m_pi != nullptr) GrowInPlace(m_pi, bytes);
        FreeDimensionList(this, m_pDims, m_nDims);
        m_pDims = newDims.release();
        m_nDims = keptNDims;
        m_nElems = newNElems;
        return;
    }

    // Build the new buffers completely before touching the array.
    const bool cell = IsCell();
    const bool repeated = appends && m_pr != nullptr && buffer::IsGrown(m_pr);
    const std::uint32_t capacity = repeated ? RepeatedGrowthCapacity(bytes) : bytes;
    PendingBuffer newReal(buffer::Allocate(bytes, capacity), false);
    if (newReal.Get() == nullptr) ThrowOutOfMemory();
    PendingBuffer newImag(m_pi != nullptr ? buffer::Allocate(bytes, capacity) : nullptr, false);
    if (m_pi != nullptr && newImag.Get() == nullptr) ThrowOutOfMemory();

    const unsigned int elementSize = GetElementSize();
    auto fill = [&](const void *from, void *to) {
        buffer::MarkGrown(to);
        if (appends) {
            const std::size_t oldBytes = std::size_t{m_nElems} * elementSize;
            if (oldBytes > 0) std::memcpy(to, from, oldBytes);
            std::memset(static_cast<char *>(to) + oldBytes, 0, bytes - oldBytes);
        } else {
            std::memset(to, 0, bytes);
            CopyIntoGrownShape(static_cast<const char *>(from), static_cast<char *>(to),
                               elementSize, m_nDims, m_pDims, m_nElems, newDims.get());
        }
    };
    fill(m_pr, newReal.Get());
    if (m_pi != nullptr) fill(m_pi, newImag.Get());

    // Cell elements: a buffer held by this array alone hands its elements
    // over to the new one; a shared buffer keeps them, and the new buffer gets
    // shared copies.
    const bool handOver = cell && buffer::GetCount(m_pr) == 1;
    if (cell && !handOver) ShareSlots(Slots(newReal.Get()), newNElems);

    // Commit: nothing below can fail.
    if (handOver) {
        DoDeallocMemory(m_pr);
    } else {
        DecRef(m_pr);
    }
    m_pr = newReal.Release();
    if (m_pi != nullptr) {
        DecRef(m_pi);
        m_pi = newImag.Release();
    }
    FreeDimensionList(this, m_pDims, m_nDims);
    m_pDims = newDims.release();
    m_nDims = keptNDims;
    m_nElems = newNElems;
}

void CMatrix::Reshape(unsigned int nDims, const unsigned int *dims) {
    if (nDims < 2) throw CFunctionErrorException(L"An array must have at least two dimensions");
    const unsigned int kept = TrimmedCount(nDims, dims);
    std::uint32_t count;
    if (!CheckedElementCount(kept, dims, count)) ThrowOutOfMemory();
    if (count != m_nElems) throw CFunctionErrorException(L"The number of elements can't change");

    unsigned int *list = NewDimensionList(kept);
    std::copy(dims, dims + kept, list);
    FreeDimensionList(this, m_pDims, m_nDims);
    m_pDims = list;
    m_nDims = kept;
}

void CMatrix::ToComplex() {
    // Slots hold pointers: a cell or struct array has no imaginary part.
    if (!IsNumeric()) throw CNotImplementedException();
    if (m_pi != nullptr) return;
    void *imag = DoAllocMemory(m_nElems);
    if (imag == nullptr) ThrowOutOfMemory();
    std::memset(imag, 0, buffer::GetByteSize(imag));
    m_pi = imag;
}

void CMatrix::ToReal() {
    if (m_pi != nullptr) DecRef(m_pi);
}

// --- Accessors ----------------------------------------------------------------

unsigned int CMatrix::GetNoDimensions() const { return m_nDims; }
unsigned int CMatrix::GetNoElems() const { return m_nElems; }
const unsigned int *CMatrix::GetDimensions() const { return m_pDims; }
mxClassID CMatrix::GetClassID() const { return m_classID; }
void *CMatrix::GetPr() const { return m_pr; }
void *CMatrix::GetPi() const { return m_pi; }

mxComplexity CMatrix::GetComplexity() const {
    return m_pi != nullptr ? mxComplexityComplex : mxComplexityReal;
}

unsigned int CMatrix::GetAllocSize() const {
    return m_pr != nullptr ? buffer::GetByteSize(m_pr) : 0;
}

unsigned int CMatrix::GetElementSize() const { return GetElementSize(m_classID); }
unsigned int CMatrix::GetFlags() const { return m_flags; }
unsigned short CMatrix::GetCounter() const { return m_counter; }
unsigned short CMatrix::IncCounter() { return ++m_counter; }
unsigned short CMatrix::DecCounter() { return --m_counter; }

// --- Flags ----------------------------------------------------------------------

void CMatrix::SetFlag(unsigned int value, unsigned int mask) {
    m_flags = static_cast<unsigned short>((m_flags & ~mask) | value);
}
void CMatrix::SetLogical() { m_flags = static_cast<unsigned short>(m_flags | 0x1); }
void CMatrix::ClearLogical() { m_flags = static_cast<unsigned short>(m_flags & ~0x1u); }

// --- Predicates -------------------------------------------------------------------

bool CMatrix::IsCell() const { return m_classID == mxClassCell; }
bool CMatrix::IsStruct() const { return m_classID == mxClassStruct; }
bool CMatrix::IsChar() const { return m_classID == mxClassChar; }
bool CMatrix::IsSparse() const { return m_classID == mxClassSparse; }
bool CMatrix::IsDouble() const { return m_classID == mxClassDouble; }
bool CMatrix::IsSingle() const { return m_classID == mxClassSingle; }
bool CMatrix::IsInt8() const { return m_classID == mxClassInt8; }
bool CMatrix::IsUint8() const { return m_classID == mxClassUint8; }
bool CMatrix::IsInt16() const { return m_classID == mxClassInt16; }
bool CMatrix::IsUint16() const { return m_classID == mxClassUint16; }
bool CMatrix::IsInt32() const { return m_classID == mxClassInt32; }
bool CMatrix::IsUint32() const { return m_classID == mxClassUint32; }
bool CMatrix::IsInt64() const { return m_classID == mxClassInt64; }
bool CMatrix::IsUint64() const { return m_classID == mxClassUint64; }

bool CMatrix::IsNumeric() const {
    return m_classID != mxClassCell && m_classID != mxClassStruct && m_classID != mxClassReserved;
}
bool CMatrix::IsLogical() const { return (m_flags & 0x1) != 0; }
bool CMatrix::IsComplex() const { return m_pi != nullptr; }
bool CMatrix::IsInitialized() const { return m_pr != nullptr; }
bool CMatrix::IsEmpty() const { return m_nDims == 2 && m_pDims[0] == 0 && m_pDims[1] == 0; }

bool CMatrix::IsScalar() const {
    return IsNumeric() && m_nDims == 2 && m_pDims[0] == 1 && m_pDims[1] == 1;
}
bool CMatrix::IsVector() const {
    return IsNumeric() && m_nDims == 2 && (m_pDims[0] == 1 || m_pDims[1] == 1) && m_nElems > 0;
}
bool CMatrix::IsMatrix() const {
    return IsNumeric() && m_nDims == 2 && m_pDims[0] >= 2 && m_pDims[1] >= 2;
}
bool CMatrix::IsNDMatrix() const { return IsNumeric() && m_nDims > 2; }

bool CMatrix::IsColon() const {
    return m_classID == mxClassChar && m_nElems == 1 &&
           *static_cast<const std::uint16_t *>(m_pr) == u':';
}

// --- A new array of an existing shape -------------------------------------------

// Beside the constructors, so that the copy constructor and operator new
// are inlined into it.
CMatrix *ArrayFields::NewRealDoubleLike(const CMatrix *shape) {
    // The shape of an existing array is already in its stored form (trailing
    // lengths of 1 beyond the second dropped, the element count known), so
    // the copy constructor takes it over as it is, where creating from a
    // dimension list would normalise and multiply it again. The same array
    // as mxCreateNumericArray makes: class double, flags clear, real buffer
    // of count 1 and uninitialised data.
    const std::uint64_t bytes = std::uint64_t{shape->m_nElems} * sizeof(double);
    if (bytes > UINT32_MAX) throw kiv::CExhaustedMemoryException();
    CMatrix *a = new (std::nothrow) CMatrix(*shape);
    if (a == nullptr) throw kiv::CExhaustedMemoryException();
    a->m_classID = mxClassDouble;
    a->m_flags = 0;
    a->m_pr = buffer::Allocate(static_cast<std::uint32_t>(bytes));
    if (a->m_pr == nullptr) {
        delete a;
        throw kiv::CExhaustedMemoryException();
    }
    return a;
}

}  // namespace matrix
}  // namespace kiv
