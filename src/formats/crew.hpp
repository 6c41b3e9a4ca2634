// The threads of one reader or writer, with the lock and the signal they
// share. Stopping wakes every waiter and joins every thread, so no thread
// outlives its owner: an owner whose threads use its own members stops the
// crew in its destructor, before those members go.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace varnex {

struct crew {
  std::mutex mutex;
  std::condition_variable changed;
  bool stopping = false;  // under `mutex`: threads leave their loops
  std::vector<std::thread> threads;

  crew() = default;
  crew(const crew&) = delete;
  crew& operator=(const crew&) = delete;
  ~crew() { stop(); }

  void stop() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stopping = true;
    }
    changed.notify_all();
    for (std::thread& t : threads) t.join();
    threads.clear();
  }

  // A worker's loop over numbered jobs: takes job `next` once it is below
  // `end` (both kept under the lock), runs `work(k)` on it outside the lock
  // and `record(k, result)` under it. Returns when the crew stops.
  template <class Work, class Record>
  void serve(std::uint64_t& next, const std::uint64_t& end, Work work, Record record) {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      changed.wait(lock, [&] { return stopping || next < end; });
      if (stopping) return;
      const std::uint64_t k = next++;
      lock.unlock();
      const bool result = work(k);
      lock.lock();
      record(k, result);
      changed.notify_all();
    }
  }
};

}  // namespace varnex
