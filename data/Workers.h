// Work spread over threads for the batch pipeline: a job split among a few
// worker threads while the calling thread reports progress, and chunks of
// text made on worker threads and consumed in order on the calling thread.
//
// Both helpers return only after every thread they started has ended, also
// when they throw, so nothing they run outlives the call.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace veltrana {

// Upper bound of worker threads, whatever the machine has.
inline constexpr int MaxWorkers = 8;

// The workers to use for Items items: one per hardware thread (at most
// MaxWorkers), but no more than give each at least MinItemsPerWorker items,
// and at least one. Reads only the machine's thread count.
int WorkerCount(std::int64_t Items, std::int64_t MinItemsPerWorker);

// Job of worker Worker (0 .. Count - 1). Stop turns true once another job has
// thrown or the monitor has failed; a job may poll it to end early.
using TWorkerJob = std::function<void(int Worker, const std::atomic<bool>& Stop)>;

// Runs Job for workers 0 .. Count - 1, each on a thread of its own, while the
// calling thread calls Monitor about every MonitorIntervalMs milliseconds and
// once more after every job has ended. With Count <= 1 Job(0) runs on the
// calling thread and Monitor is called once after it.
// Failure: once every thread has ended, the exception of the lowest-numbered
// worker that threw is rethrown (after the final Monitor call); an exception
// of Monitor sets Stop, waits for the jobs and is rethrown.
inline constexpr int MonitorIntervalMs = 20;
void RunWorkers(int Count, const TWorkerJob& Job, const std::function<void()>& Monitor);

// Makes chunk Chunk's text (Text arrives empty, with capacity from earlier use).
using TChunkProducer = std::function<void(std::int64_t Chunk, std::string& Text)>;
// Takes chunk Chunk's finished text.
using TChunkConsumer = std::function<void(std::int64_t Chunk, const std::string& Text)>;

// Chunks 0 .. ChunkCount - 1: chunk c is made by worker c mod Workers on a
// thread of its own and consumed on the calling thread in chunk order, with
// at most ChunksInFlightPerWorker finished chunks per worker waiting (memory
// stays bounded however many chunks there are). Workers <= 1 makes and
// consumes every chunk on the calling thread.
// Failure: when Produce throws for chunk c, every chunk before c is still
// made and consumed, then that exception is rethrown (the lowest such c
// wins). When Consume throws, the workers are stopped and the exception is
// rethrown once they have ended.
inline constexpr int ChunksInFlightPerWorker = 2;
void RunOrderedChunks(int Workers, std::int64_t ChunkCount, const TChunkProducer& Produce,
                      const TChunkConsumer& Consume);

}  // namespace veltrana
