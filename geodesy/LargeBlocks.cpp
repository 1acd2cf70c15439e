#include "LargeBlocks.h"

#include <cstdint>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELTRANA_HEAP_CHECKED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define VELTRANA_HEAP_CHECKED 1
#endif

#if defined(__linux__) && !defined(VELTRANA_HEAP_CHECKED)
#include <sys/mman.h>
#include <unistd.h>
#if defined(MADV_HUGEPAGE)
#define VELTRANA_MAPPED_BLOCKS 1
#endif
#endif

namespace veltrana {

#if defined(VELTRANA_MAPPED_BLOCKS)

namespace {

std::size_t SmallPageSize() {
  static const std::size_t Size = [] {
    const long Reported = sysconf(_SC_PAGESIZE);
    return Reported > 0 ? static_cast<std::size_t>(Reported) : std::size_t{4096};
  }();
  return Size;
}

// The mapped length of a block of Bytes: whole small pages.
std::size_t MappedLength(std::size_t Bytes) {
  const std::size_t Page = SmallPageSize();
  return (Bytes + Page - 1) / Page * Page;
}

}  // namespace

bool IsMappedLargeBlock(std::size_t Bytes) noexcept { return Bytes >= LargeBlockMinimum; }

void* AllocateLargeBlock(std::size_t Bytes) {
  if (!IsMappedLargeBlock(Bytes)) return ::operator new(Bytes);
  if (Bytes > static_cast<std::size_t>(-1) - 2 * HugePageSize) throw std::bad_alloc();
  const std::size_t Length = MappedLength(Bytes);
  // Map a huge page more than needed, then give back the ends around the
  // aligned part.
  const std::size_t Reserved = Length + HugePageSize;
  void* Mapped = mmap(nullptr, Reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (Mapped == MAP_FAILED) throw std::bad_alloc();
  const auto Start = reinterpret_cast<std::uintptr_t>(Mapped);
  const std::uintptr_t Aligned = (Start + HugePageSize - 1) & ~(std::uintptr_t{HugePageSize} - 1);
  const std::size_t Head = Aligned - Start;
  const std::size_t Tail = Reserved - Head - Length;
  if (Head > 0) munmap(Mapped, Head);
  if (Tail > 0) munmap(reinterpret_cast<void*>(Aligned + Length), Tail);
  void* Block = reinterpret_cast<void*>(Aligned);
  // Only advice: without huge pages the block still works on small ones.
  madvise(Block, Length, MADV_HUGEPAGE);
  return Block;
}

void FreeLargeBlock(void* Block, std::size_t Bytes) noexcept {
  if (Block == nullptr) return;
  if (!IsMappedLargeBlock(Bytes)) {
    ::operator delete(Block);
    return;
  }
  munmap(Block, MappedLength(Bytes));
}

#else

bool IsMappedLargeBlock(std::size_t) noexcept { return false; }

void* AllocateLargeBlock(std::size_t Bytes) { return ::operator new(Bytes); }

void FreeLargeBlock(void* Block, std::size_t) noexcept { ::operator delete(Block); }

#endif

}  // namespace veltrana
