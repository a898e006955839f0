// A plain, non-recursive mutex that can be constant-initialised on every
// toolchain we build with. std::mutex cannot be on mingw-w64 (its winpthreads
// initialiser is not a constant expression), and the policy's process-wide
// instance must hold its initial state before any code runs.
#pragma once

#include <atomic>

namespace kesta {

class PlainMutex {
 public:
  constexpr PlainMutex() = default;
  PlainMutex(const PlainMutex&) = delete;
  PlainMutex& operator=(const PlainMutex&) = delete;

  void lock() {
    while (locked_.exchange(true, std::memory_order_acquire)) {
      // Sleeps in the kernel (or the library's waiter pool) instead of spinning.
      locked_.wait(true, std::memory_order_relaxed);
    }
  }

  bool try_lock() { return !locked_.exchange(true, std::memory_order_acquire); }

  void unlock() {
    locked_.store(false, std::memory_order_release);
    locked_.notify_one();
  }

 private:
  std::atomic<bool> locked_ = false;
};

}  // namespace kesta
