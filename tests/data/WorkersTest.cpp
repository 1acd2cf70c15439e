// Work spread over threads: every item is done once, results come back in
// order, and failures reach the caller after every thread has ended.
#include "Workers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace veltrana {
namespace {

TEST(WorkersTest, WorkerCountFollowsItemsAndBounds) {
  EXPECT_EQ(WorkerCount(0, 100), 1);
  EXPECT_EQ(WorkerCount(99, 100), 1);
  EXPECT_GE(WorkerCount(1000000, 1), 1);
  EXPECT_LE(WorkerCount(1000000, 1), MaxWorkers);
  EXPECT_LE(WorkerCount(250, 100), 2);
}

TEST(WorkersTest, EveryWorkerRunsOnceAndTheMonitorSeesTheEnd) {
  for (const int Count : {1, 2, 5}) {
    SCOPED_TRACE(Count);
    std::vector<std::atomic<int>> Runs(static_cast<std::size_t>(Count));
    std::atomic<int> Finished{0};
    int SeenAtLastCall = -1;
    RunWorkers(
        Count,
        [&](int Worker, const std::atomic<bool>&) {
          ++Runs[static_cast<std::size_t>(Worker)];
          ++Finished;
        },
        [&] { SeenAtLastCall = Finished.load(); });
    for (const auto& R : Runs) EXPECT_EQ(R.load(), 1);
    EXPECT_EQ(SeenAtLastCall, Count);
  }
}

TEST(WorkersTest, TheLowestFailingWorkersErrorIsRethrownAfterAllEnded) {
  std::atomic<int> Ended{0};
  try {
    RunWorkers(
        4,
        [&](int Worker, const std::atomic<bool>& Stop) {
          if (Worker == 3) throw std::runtime_error("worker 3");
          if (Worker == 1) throw std::runtime_error("worker 1");
          while (Worker == 0 && !Stop) {
          }  // ends only once told to stop
          ++Ended;
        },
        [] {});
    FAIL() << "no exception";
  } catch (const std::runtime_error& E) {
    EXPECT_STREQ(E.what(), "worker 1");
  }
  EXPECT_EQ(Ended.load(), 2);  // workers 0 and 2 finished before the call returned
}

TEST(WorkersTest, ChunksAreConsumedInOrder) {
  for (const int Workers : {1, 2, 3}) {
    SCOPED_TRACE(Workers);
    std::string All;
    std::vector<std::int64_t> Order;
    RunOrderedChunks(
        Workers, 200, [](std::int64_t Chunk, std::string& Text) { Text = std::to_string(Chunk) + ";"; },
        [&](std::int64_t Chunk, const std::string& Text) {
          Order.push_back(Chunk);
          All += Text;
        });
    std::string Expected;
    for (int C = 0; C < 200; ++C) Expected += std::to_string(C) + ";";
    EXPECT_EQ(All, Expected);
    EXPECT_EQ(Order.size(), 200u);
  }
}

// A producer failing at chunk 57: chunks 0-56 are still consumed, then its
// error arrives; a consumer failure stops the producers and is rethrown.
TEST(WorkersTest, ChunkFailuresKeepWhatCameBefore) {
  for (const int Workers : {1, 3}) {
    SCOPED_TRACE(Workers);
    std::int64_t Consumed = 0;
    EXPECT_THROW(RunOrderedChunks(
                     Workers, 200,
                     [](std::int64_t Chunk, std::string& Text) {
                       if (Chunk == 57 || Chunk == 90) throw std::runtime_error("chunk");
                       Text = "x";
                     },
                     [&](std::int64_t Chunk, const std::string&) { EXPECT_EQ(Chunk, Consumed++); }),
                 std::runtime_error);
    EXPECT_EQ(Consumed, 57);

    std::atomic<std::int64_t> Produced{0};
    EXPECT_THROW(RunOrderedChunks(
                     Workers, 100000, [&](std::int64_t, std::string&) { ++Produced; },
                     [](std::int64_t Chunk, const std::string&) {
                       if (Chunk == 10) throw std::runtime_error("write");
                     }),
                 std::runtime_error);
    // Bounded look-ahead: producers stopped long before the end.
    EXPECT_LE(Produced.load(), 11 + Workers * ChunksInFlightPerWorker);
  }
}

}  // namespace
}  // namespace veltrana
