// A plain, non-recursive mutex that is constant-initialised, so a
// process-wide instance holds its initial state before any code runs.
//
// On Windows it is a slim reader/writer lock taken exclusively: SRWLOCK_INIT
// is a constant, and the lock sleeps and wakes in the kernel. Neither
// std::mutex (winpthreads' initialiser is no constant expression) nor
// std::atomic wait/notify (without a futex, libstdc++ can lose a notify that
// lands between the waiter's check and its sleep) will do with mingw-w64.
// Elsewhere std::mutex is constant-initialised and correct.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#else
#include <mutex>
#endif

namespace kesta {

class PlainMutex {
 public:
  constexpr PlainMutex() = default;
  PlainMutex(const PlainMutex&) = delete;
  PlainMutex& operator=(const PlainMutex&) = delete;

#if defined(_WIN32)
  void lock() { AcquireSRWLockExclusive(&lock_); }
  bool try_lock() { return TryAcquireSRWLockExclusive(&lock_) != 0; }
  void unlock() { ReleaseSRWLockExclusive(&lock_); }

 private:
  SRWLOCK lock_ = SRWLOCK_INIT;
#else
  void lock() { mutex_.lock(); }
  bool try_lock() { return mutex_.try_lock(); }
  void unlock() { mutex_.unlock(); }

 private:
  std::mutex mutex_;
#endif
};

}  // namespace kesta
