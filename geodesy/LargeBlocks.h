// Memory for the program's few large arrays (grid nodes, a point file's
// text and line index, a run's results).
//
// Why: such an array is written once from start to end, and on a virtual
// machine every fresh 4 KiB page costs a trap into the host on first touch;
// for the tens of megabytes a run holds that was a quarter of the run's
// time. Blocks of at least LargeBlockMinimum bytes are therefore mapped on
// their own, aligned to HugePageSize and marked for transparent huge pages,
// so that one fault brings in 2 MiB. The mapping is as long as asked for
// (rounded to a small page): a tail shorter than a huge page stays on small
// pages, so no block is resident beyond its own length.
//
// Smaller blocks, platforms without such mappings, and builds with address
// sanitizing (which checks heap blocks only) use operator new.
#pragma once

#include <cstddef>
#include <new>
#include <vector>

namespace veltrana {

// Size of a transparent huge page on x86-64 and most AArch64 kernels.
inline constexpr std::size_t HugePageSize = std::size_t{2} << 20;
// Blocks from this size up get a mapping of their own.
inline constexpr std::size_t LargeBlockMinimum = HugePageSize;

// Bytes of memory, aligned for any object type. Throws std::bad_alloc when
// the memory cannot be had. Thread-safe; touches no state of this program.
void* AllocateLargeBlock(std::size_t Bytes);

// Frees a block of AllocateLargeBlock; Bytes must be the size it was asked
// for. A null Block is ignored. Thread-safe.
void FreeLargeBlock(void* Block, std::size_t Bytes) noexcept;

// True when blocks of Bytes get a mapping of their own on this build (for
// tests and benchmarks; the choice is fixed at build time).
bool IsMappedLargeBlock(std::size_t Bytes) noexcept;

// A stateless allocator over AllocateLargeBlock / FreeLargeBlock, for the
// standard containers. All instances are equal.
template <class T>
class TLargeBlockAllocator {
 public:
  using value_type = T;

  TLargeBlockAllocator() noexcept = default;
  template <class U>
  TLargeBlockAllocator(const TLargeBlockAllocator<U>&) noexcept {}

  // Count elements of T. Throws std::bad_alloc, also when the byte count
  // would overflow.
  T* allocate(std::size_t Count) {
    if (Count > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
    return static_cast<T*>(AllocateLargeBlock(Count * sizeof(T)));
  }
  void deallocate(T* Block, std::size_t Count) noexcept { FreeLargeBlock(Block, Count * sizeof(T)); }

  template <class U>
  bool operator==(const TLargeBlockAllocator<U>&) const noexcept {
    return true;
  }
};

// A vector whose storage comes from TLargeBlockAllocator.
template <class T>
using TLargeVector = std::vector<T, TLargeBlockAllocator<T>>;

}  // namespace veltrana
