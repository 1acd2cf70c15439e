#include "Workers.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace veltrana {

namespace {

// Joins the threads it holds when it goes, after Release has told them to end.
class TThreadGroup {
 public:
  explicit TThreadGroup(std::function<void()> ARelease) : FRelease(std::move(ARelease)) {}
  ~TThreadGroup() {
    if (!FThreads.empty()) FRelease();
    for (std::thread& Thread : FThreads) Thread.join();
  }
  TThreadGroup(const TThreadGroup&) = delete;
  TThreadGroup& operator=(const TThreadGroup&) = delete;

  template <typename TFunction>
  void Start(TFunction&& Function) {
    FThreads.emplace_back(std::forward<TFunction>(Function));
  }
  void JoinAll() {
    for (std::thread& Thread : FThreads) Thread.join();
    FThreads.clear();
  }

 private:
  std::function<void()> FRelease;
  std::vector<std::thread> FThreads;
};

void RethrowFirst(const std::vector<std::exception_ptr>& Failures) {
  for (const std::exception_ptr& Failure : Failures)
    if (Failure) std::rethrow_exception(Failure);
}

}  // namespace

int WorkerCount(std::int64_t Items, std::int64_t MinItemsPerWorker) {
  const auto Hardware = static_cast<std::int64_t>(std::max(1u, std::thread::hardware_concurrency()));
  const std::int64_t ByItems = MinItemsPerWorker > 0 ? Items / MinItemsPerWorker : Items;
  return static_cast<int>(std::clamp<std::int64_t>(std::min(Hardware, ByItems), 1, MaxWorkers));
}

void RunWorkers(int Count, const TWorkerJob& Job, const std::function<void()>& Monitor) {
  std::atomic<bool> Stop{false};
  if (Count <= 1) {
    Job(0, Stop);
    Monitor();
    return;
  }
  std::vector<std::exception_ptr> Failures(static_cast<std::size_t>(Count));
  std::mutex Lock;
  std::condition_variable Ended;
  int Running = Count;
  {
    TThreadGroup Threads([&Stop] { Stop = true; });
    for (int Worker = 0; Worker < Count; ++Worker) {
      Threads.Start([&, Worker] {
        try {
          Job(Worker, Stop);
        } catch (...) {
          Failures[static_cast<std::size_t>(Worker)] = std::current_exception();
          Stop = true;
        }
        const std::lock_guard<std::mutex> Guard(Lock);
        --Running;
        Ended.notify_all();
      });
    }
    for (bool Done = false; !Done;) {
      {
        std::unique_lock<std::mutex> Guard(Lock);
        Done = Ended.wait_for(Guard, std::chrono::milliseconds(MonitorIntervalMs), [&] { return Running == 0; });
      }
      if (!Done) Monitor();  // an exception stops and joins the workers on the way out
    }
    Threads.JoinAll();
  }
  Monitor();
  RethrowFirst(Failures);
}

void RunOrderedChunks(int Workers, std::int64_t ChunkCount, const TChunkProducer& Produce,
                      const TChunkConsumer& Consume) {
  std::string Text;
  if (Workers <= 1) {
    for (std::int64_t Chunk = 0; Chunk < ChunkCount; ++Chunk) {
      Text.clear();
      Produce(Chunk, Text);
      Consume(Chunk, Text);
    }
    return;
  }
  // Slot s holds the chunks c with c mod Slots == s; as Slots is a multiple
  // of Workers, each slot belongs to one worker.
  const std::int64_t Slots = std::int64_t{Workers} * ChunksInFlightPerWorker;
  constexpr std::int64_t NoChunk = -1;
  std::vector<std::string> SlotText(static_cast<std::size_t>(Slots));
  std::vector<std::int64_t> SlotChunk(static_cast<std::size_t>(Slots), NoChunk);  // finished chunk held
  std::int64_t Consumed = 0;             // chunks 0 .. Consumed - 1 are done with
  std::int64_t FailedChunk = ChunkCount;  // lowest chunk whose producer threw
  std::exception_ptr Failure;
  bool Abort = false;  // the consumer failed
  std::mutex Lock;
  std::condition_variable Changed;

  auto Release = [&] {
    const std::lock_guard<std::mutex> Guard(Lock);
    Abort = true;
    Changed.notify_all();
  };
  {
    TThreadGroup Threads(Release);
    for (int Worker = 0; Worker < Workers; ++Worker) {
      Threads.Start([&, Worker] {
        for (std::int64_t Chunk = Worker; Chunk < ChunkCount; Chunk += Workers) {
          const auto Slot = static_cast<std::size_t>(Chunk % Slots);
          std::string Own;
          {
            std::unique_lock<std::mutex> Guard(Lock);
            Changed.wait(Guard, [&] { return Abort || Chunk >= FailedChunk || Consumed > Chunk - Slots; });
            if (Abort || Chunk >= FailedChunk) return;
            Own.swap(SlotText[Slot]);
          }
          Own.clear();
          try {
            Produce(Chunk, Own);
          } catch (...) {
            const std::lock_guard<std::mutex> Guard(Lock);
            if (Chunk < FailedChunk) {
              FailedChunk = Chunk;
              Failure = std::current_exception();
            }
            Changed.notify_all();
            return;
          }
          const std::lock_guard<std::mutex> Guard(Lock);
          SlotText[Slot].swap(Own);
          SlotChunk[Slot] = Chunk;
          Changed.notify_all();
        }
      });
    }
    for (std::int64_t Chunk = 0; Chunk < ChunkCount; ++Chunk) {
      const auto Slot = static_cast<std::size_t>(Chunk % Slots);
      {
        std::unique_lock<std::mutex> Guard(Lock);
        Changed.wait(Guard, [&] { return SlotChunk[Slot] == Chunk || Chunk >= FailedChunk; });
        if (SlotChunk[Slot] != Chunk) break;  // its producer (or an earlier one) failed
        Text.swap(SlotText[Slot]);
      }
      Consume(Chunk, Text);  // an exception aborts and joins the workers on the way out
      const std::lock_guard<std::mutex> Guard(Lock);
      SlotText[Slot].swap(Text);
      SlotChunk[Slot] = NoChunk;
      Consumed = Chunk + 1;
      Changed.notify_all();
    }
    Threads.JoinAll();
  }
  if (Failure) std::rethrow_exception(Failure);
}

}  // namespace veltrana
