// include/matrix/memory.h: the cache of freed large data blocks.
#ifndef MATRIX_MEMORY_H
#define MATRIX_MEMORY_H

#include <cstddef>

#include <matrix/export.h>

namespace kiv {
namespace matrix {

/// Sets how many bytes of freed large data blocks (128 KiB and more) each
/// thread may keep for reuse; 0 turns the cache off. The default is 256 MiB,
/// room for three results of 10^7 doubles.
///
/// A fresh result of millions of elements is otherwise new memory from the
/// system, and its first touch costs a page fault per page, which outweighs
/// the arithmetic of an element-wise operation several times. A thread that
/// frees such a block keeps it, and its next request that the block fits
/// with less than half of it to spare gets it back. The setting holds for
/// the whole process; each thread keeps its own blocks, at most this many
/// bytes of them and at most 8 blocks. The calling thread gives back what exceeds
/// the new bound at once, the other threads on their next large request or
/// release. A thread gives back all its blocks when it ends, and any thread
/// gives back its own when the system refuses memory, before it fails.
///
/// Reused blocks hold the old data of the array that freed them, exactly as
/// memory from the system may: whatever the library fills with zeros, such
/// as Zeros, growth by assignment and new cells, it clears explicitly.
///
/// Setting 0 also gives back the small blocks the calling thread keeps for
/// its next arrays (a few dozen freed array objects, dimension lists and data
/// blocks of up to 512 bytes each, which it otherwise gives back when it
/// ends); it keeps them again from its next release on.
///
/// Builds with sanitizers keep the cache off, so that every access to freed
/// memory is still reported; there this call does nothing and
/// GetBlockCacheBytes returns 0.
MATRIX_API void SetBlockCacheBytes(std::size_t bytes);

/// Returns the number of bytes each thread may keep (see SetBlockCacheBytes).
MATRIX_API std::size_t GetBlockCacheBytes();

}  // namespace matrix
}  // namespace kiv

#endif  // MATRIX_MEMORY_H
