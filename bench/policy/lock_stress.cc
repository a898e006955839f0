// Contended hand-overs of the policy's lock, counting lost wake-ups.
//
// Each round the holder takes the lock, waits until the waiter has failed
// its try_lock and gone into lock(), then unlocks and touches the lock no
// more until the waiter reports it got in. A waiter that is still out after
// the grace period slept through that unlock: a lost wake-up. The holder then
// rescues it with one more lock/unlock (the "next unlock" the client might
// never make) and counts the round.
//
// Then threads hammer the lock around a three-field copy, as Authenticate
// and Apply do, checking that no two ever overlap.
//
//   lock_stress [rounds] [grace_ms] [former]
// "former" runs the same on the lock the policy used before (atomic
// wait/notify), for comparison.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "policy/plain_mutex.h"

namespace {

using Clock = std::chrono::steady_clock;

// The former lock, verbatim: it sleeps in std::atomic<bool>::wait.
class AtomicWaitMutex {
 public:
  void lock() {
    while (locked_.exchange(true, std::memory_order_acquire))
      locked_.wait(true, std::memory_order_relaxed);
  }
  bool try_lock() { return !locked_.exchange(true, std::memory_order_acquire); }
  void unlock() {
    locked_.store(false, std::memory_order_release);
    locked_.notify_one();
  }

 private:
  std::atomic<bool> locked_ = false;
};

struct HandOff {
  long rounds = 0;
  long contended = 0;
  long lost = 0;
  double meanMicros = 0;  // unlock to the waiter's entry, rounds not lost
  double maxMicros = 0;
};

template <typename Mutex>
HandOff RunHandOff(Mutex& mutex, long rounds, int graceMs) {
  std::atomic<long> held{0};     // round in which the holder has the lock
  std::atomic<long> waiting{0};  // round in which the waiter found it taken
  std::atomic<long> entered{0};  // round in which the waiter got in
  std::atomic<long> contended{0};
  std::atomic<Clock::rep> enteredAt{0};

  std::thread waiter([&] {
    for (long round = 1; round <= rounds; ++round) {
      while (held.load() != round)
        std::this_thread::yield();
      // The holder keeps the lock until it sees `waiting`, so this fails.
      if (!mutex.try_lock()) {
        ++contended;
        waiting.store(round);
        mutex.lock();
      } else {
        waiting.store(round);
      }
      enteredAt.store(Clock::now().time_since_epoch().count());
      entered.store(round);
      mutex.unlock();
    }
  });

  HandOff result;
  result.rounds = rounds;
  double totalMicros = 0;
  for (long round = 1; round <= rounds; ++round) {
    mutex.lock();
    held.store(round);
    while (waiting.load() != round)
      std::this_thread::yield();
    // Vary the moment of the unlock against the waiter's way into its sleep.
    for (long i = round % 4; i > 0; --i)
      std::this_thread::yield();
    const Clock::time_point unlockedAt = Clock::now();
    mutex.unlock();
    const Clock::time_point deadline = unlockedAt + std::chrono::milliseconds(graceMs);
    while (entered.load() != round && Clock::now() < deadline)
      std::this_thread::yield();
    if (entered.load() != round) {
      ++result.lost;
      mutex.lock();
      mutex.unlock();
      while (entered.load() != round)
        std::this_thread::yield();
      continue;
    }
    const Clock::time_point at{Clock::duration(enteredAt.load())};
    const double micros = std::chrono::duration<double, std::micro>(at - unlockedAt).count();
    totalMicros += std::max(micros, 0.0);
    result.maxMicros = std::max(result.maxMicros, micros);
  }
  waiter.join();
  result.contended = contended.load();
  result.meanMicros = totalMicros / std::max(1L, rounds - result.lost);
  return result;
}

struct Hammer {
  int threads = 0;
  long acquisitions = 0;
  long overlaps = 0;
  double millis = 0;
};

// Threads copy three fields in and out under the lock; a copy that sees
// another thread's half-written triple, or finds the lock already entered,
// is an overlap.
template <typename Mutex>
Hammer RunHammer(Mutex& mutex, int threads, long perThread) {
  struct Endpoint {
    std::string host;
    int port = 0;
    bool enabled = false;
  } shared{"127.0.0.1", 0, false};
  int inside = 0;
  std::atomic<long> overlaps{0};
  const auto start = Clock::now();
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      const Endpoint mine{"127.0.0." + std::to_string(t + 1), t + 1, (t & 1) != 0};
      for (long i = 0; i < perThread; ++i) {
        std::lock_guard<Mutex> lock(mutex);
        if (++inside != 1)
          ++overlaps;
        Endpoint seen = shared;
        if (seen.port != 0 && seen.host != "127.0.0." + std::to_string(seen.port))
          ++overlaps;
        shared = mine;
        --inside;
      }
    });
  }
  for (auto& worker : workers)
    worker.join();
  Hammer result;
  result.threads = threads;
  result.acquisitions = threads * perThread;
  result.overlaps = overlaps.load();
  result.millis = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  return result;
}

template <typename Mutex>
int Run(Mutex& mutex, const char* name, long rounds, int graceMs) {
  const HandOff handOff = RunHandOff(mutex, rounds, graceMs);
  std::printf("%s: hand-over: %ld rounds, %ld contended, %ld lost wake-ups (no entry within %d ms of the unlock)\n",
              name, handOff.rounds, handOff.contended, handOff.lost, graceMs);
  std::printf("%s: hand-over: unlock to entry %.1f us mean, %.1f us max (rounds not lost)\n", name, handOff.meanMicros,
              handOff.maxMicros);
  const int threads = std::max(4u, std::thread::hardware_concurrency());
  const Hammer hammer = RunHammer(mutex, threads, rounds / threads + 1);
  std::printf("%s: hammer: %d threads, %ld acquisitions, %ld overlaps, %.0f ms, %.2f us per acquisition\n", name,
              hammer.threads, hammer.acquisitions, hammer.overlaps, hammer.millis,
              hammer.millis * 1000 / hammer.acquisitions);
  return handOff.lost == 0 && handOff.contended == handOff.rounds && hammer.overlaps == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const long rounds = argc > 1 ? std::atol(argv[1]) : 100000;
  const int graceMs = argc > 2 ? std::atoi(argv[2]) : 100;
  if (argc > 3 && std::strcmp(argv[3], "former") == 0) {
    static AtomicWaitMutex former;
    return Run(former, "former atomic-wait lock", rounds, graceMs);
  }
  static constinit kesta::PlainMutex mutex;
  return Run(mutex, "PlainMutex", rounds, graceMs);
}
