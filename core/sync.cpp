#include "core/sync.h"

#include "core/exceptions.h"

namespace orn {

void TCriticalSection::Enter() {
  const auto Me = std::this_thread::get_id();
  std::unique_lock<std::mutex> Guard(FLock);
  if (FCount > 0 && FOwner == Me) {
    ++FCount;
    return;
  }
  FFreed.wait(Guard, [&] { return FCount == 0; });
  FOwner = Me;
  FCount = 1;
}

bool TCriticalSection::TryEnter() {
  const auto Me = std::this_thread::get_id();
  std::lock_guard<std::mutex> Guard(FLock);
  if (FCount > 0 && FOwner != Me) return false;
  FOwner = Me;
  ++FCount;
  return true;
}

void TCriticalSection::Leave() {
  {
    std::lock_guard<std::mutex> Guard(FLock);
    if (FCount == 0 || FOwner != std::this_thread::get_id())
      throw EThread("Critical section left by a thread that does not hold it");
    if (--FCount > 0) return;
    FOwner = std::thread::id();
  }
  FFreed.notify_one();
}

bool TCriticalSection::HeldByCurrentThread() const {
  std::lock_guard<std::mutex> Guard(FLock);
  return FCount > 0 && FOwner == std::this_thread::get_id();
}

int TCriticalSection::LockCount() const {
  std::lock_guard<std::mutex> Guard(FLock);
  return FCount;
}

}  // namespace orn
