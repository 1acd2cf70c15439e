#include "LargeBlocks.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <numeric>
#include <utility>

namespace veltrana {
namespace {

// Blocks on both sides of the mapping threshold, including sizes that are
// no whole number of small pages: every byte is writable and reads back,
// and mapped blocks start on a huge page.
TEST(LargeBlocksTest, BlocksAroundTheThresholdHoldEveryByte) {
  struct TCase {
    const char* Name;
    std::size_t Bytes;
  };
  const TCase Cases[] = {
      {"one byte", 1},
      {"just below the threshold", LargeBlockMinimum - 1},
      {"the threshold", LargeBlockMinimum},
      {"a huge page and an odd tail", LargeBlockMinimum + 4097},
      {"several huge pages", 5 * HugePageSize + 123},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    auto* Block = static_cast<unsigned char*>(AllocateLargeBlock(Case.Bytes));
    ASSERT_NE(Block, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(Block) % alignof(std::max_align_t), 0u);
    if (IsMappedLargeBlock(Case.Bytes)) {
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(Block) % HugePageSize, 0u);
    }
    std::memset(Block, 0xA5, Case.Bytes);
    EXPECT_EQ(Block[0], 0xA5);
    EXPECT_EQ(Block[Case.Bytes - 1], 0xA5);
    FreeLargeBlock(Block, Case.Bytes);
  }
  FreeLargeBlock(nullptr, LargeBlockMinimum);  // ignored
}

// A vector on the allocator grows across the threshold, copies and moves
// like any other; its contents survive each reallocation.
TEST(LargeBlocksTest, VectorGrowsCopiesAndMovesAcrossTheThreshold) {
  constexpr std::size_t Count = 3 * LargeBlockMinimum / sizeof(std::uint32_t) + 7;
  TLargeVector<std::uint32_t> Values;
  for (std::uint32_t I = 0; I < Count; ++I) Values.push_back(I);
  TLargeVector<std::uint32_t> Copy = Values;
  const TLargeVector<std::uint32_t> Moved = std::move(Values);
  ASSERT_EQ(Copy.size(), Count);
  EXPECT_EQ(Copy, Moved);
  EXPECT_EQ(Copy[Count - 1], Count - 1);
  EXPECT_EQ(std::accumulate(Copy.begin(), Copy.end(), std::uint64_t{0}), std::uint64_t{Count} * (Count - 1) / 2);
  Copy.clear();
  Copy.shrink_to_fit();
  EXPECT_TRUE(Copy.empty());
}

TEST(LargeBlocksTest, ImpossibleSizesThrowBadAlloc) {
  TLargeBlockAllocator<double> Allocator;
  EXPECT_THROW((void)Allocator.allocate(static_cast<std::size_t>(-1) / sizeof(double) + 1), std::bad_alloc);
  // (Heap blocks of such sizes are the sanitizer's to refuse, in its own way.)
  if (IsMappedLargeBlock(static_cast<std::size_t>(-1) - 1)) {
    EXPECT_THROW((void)AllocateLargeBlock(static_cast<std::size_t>(-1) - 1), std::bad_alloc);
    EXPECT_THROW((void)AllocateLargeBlock(std::size_t{1} << 62), std::bad_alloc);
  }
}

}  // namespace
}  // namespace veltrana
