// TCriticalSection: a re-entrant lock. The thread that holds it may enter it again; it is
// free once that thread has left it as often as it entered. Leaving a section the calling
// thread does not hold raises EThread instead of corrupting the lock.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

namespace orn {

class TCriticalSection {
 public:
  TCriticalSection() = default;
  TCriticalSection(const TCriticalSection&) = delete;
  TCriticalSection& operator=(const TCriticalSection&) = delete;

  void Enter();
  // Enters when the section is free or already held by the calling thread; never blocks.
  bool TryEnter();
  void Leave();
  void Acquire() { Enter(); }
  void Release() { Leave(); }

  // True when the calling thread holds the section.
  bool HeldByCurrentThread() const;
  // How many times the holder has entered (0 when free).
  int LockCount() const;

  // Standard lockable names, so std::lock_guard and std::unique_lock work too.
  void lock() { Enter(); }
  bool try_lock() { return TryEnter(); }
  void unlock() { Leave(); }

 private:
  mutable std::mutex FLock;
  std::condition_variable FFreed;
  std::thread::id FOwner;
  int FCount = 0;
};

// Holds a critical section for its own lifetime.
class TCriticalSectionGuard {
 public:
  explicit TCriticalSectionGuard(TCriticalSection& Section) : FSection(Section) {
    FSection.Enter();
  }
  ~TCriticalSectionGuard() { FSection.Leave(); }
  TCriticalSectionGuard(const TCriticalSectionGuard&) = delete;
  TCriticalSectionGuard& operator=(const TCriticalSectionGuard&) = delete;

 private:
  TCriticalSection& FSection;
};

}  // namespace orn
