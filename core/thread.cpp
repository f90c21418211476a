#include "core/thread.h"

#include <chrono>

#include "core/exceptions.h"
#include "core/system.h"

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace orn {

TThread::TThread(bool CreateSuspended)
    : FCreateSuspended(CreateSuspended), FSuspended(CreateSuspended) {}

TThread::~TThread() {
  bool Joinable;
  {
    std::lock_guard<std::mutex> Guard(FLock);
    // A FreeOnTerminate thread deleting itself has detached already.
    Joinable = FThread.joinable() && FThread.get_id() != std::this_thread::get_id();
  }
  if (Joinable) TerminateAndWait();
}

void TThread::AfterConstruction() {
  std::lock_guard<std::mutex> Guard(FLock);
  if (!FCreateSuspended && !FStarted) Launch();
}

void TThread::Launch() {
  FStarted = true;
  FSuspended = false;
  // ThreadProc takes FLock first, so it cannot run ahead of this assignment.
  FThread = std::thread(&TThread::ThreadProc, this);
  FThreadId = FThread.get_id();
}

void TThread::Start() {
  {
    std::lock_guard<std::mutex> Guard(FLock);
    if (Finished()) throw EThread("Cannot start a thread that has finished");
    if (!FStarted) {
      Launch();
      return;
    }
    FSuspended = false;
    // Notified under the lock: a thread that frees itself may be gone once the lock is free.
    FStateChanged.notify_all();
  }
}

void TThread::Suspend() {
  std::lock_guard<std::mutex> Guard(FLock);
  if (!Finished()) FSuspended = true;
}

bool TThread::Suspended() const {
  std::lock_guard<std::mutex> Guard(FLock);
  return FSuspended;
}

bool TThread::Paused() const {
  std::lock_guard<std::mutex> Guard(FLock);
  return FPaused;
}

bool TThread::Started() const {
  std::lock_guard<std::mutex> Guard(FLock);
  return FStarted;
}

void TThread::Terminate() {
  {
    std::lock_guard<std::mutex> Guard(FLock);
    FTerminated.store(true, std::memory_order_release);
    FStateChanged.notify_all();  // under the lock, as in Start
  }
}

bool TThread::CheckPaused() {
  std::unique_lock<std::mutex> Guard(FLock);
  if (FSuspended && !Terminated()) {
    FPaused = true;
    FStateChanged.notify_all();
    FStateChanged.wait(Guard, [&] { return !FSuspended || Terminated(); });
    FPaused = false;
    FStateChanged.notify_all();
  }
  return !Terminated();
}

void TThread::ThreadProc() {
  {
    std::lock_guard<std::mutex> Guard(FLock);
#if defined(__linux__)
    FNativeId = static_cast<long>(::syscall(SYS_gettid));
#endif
    ApplyPriority();
  }
  try {
    Execute();
  } catch (...) {
    std::lock_guard<std::mutex> Guard(FLock);
    FFatalException = std::current_exception();
  }
  try {
    DoTerminate();
  } catch (...) {
    std::lock_guard<std::mutex> Guard(FLock);
    if (!FFatalException) FFatalException = std::current_exception();
  }
  // Read before Finished is set: from then on a waiter may delete a thread that does not
  // free itself, and nobody may change the flag of one that does.
  const bool FreeSelf = FreeOnTerminate();
  {
    std::lock_guard<std::mutex> Guard(FLock);
    FNativeId = 0;
    FFinished.store(true, std::memory_order_release);
  }
  FStateChanged.notify_all();
  // Wakes a GUI thread that waits for this thread while it serves queued calls.
  SystemServices().Pulse();
  if (FreeSelf) {
    {
      std::lock_guard<std::mutex> Guard(FLock);
      FThread.detach();
    }
    delete this;
  }
}

void TThread::DoTerminate() {
  TNotifyEvent Handler;
  {
    std::lock_guard<std::mutex> Guard(FLock);
    Handler = FOnTerminate;
  }
  if (Handler) Synchronize([&] { Handler(this); });
}

void TThread::WaitFinished() {
  TSystemServices& Services = SystemServices();
  if (Services.IsGUIThread()) {
    // Serve the calls workers queue for the GUI thread while waiting, or a worker that waits
    // in Synchronize (or in DoTerminate) would never finish.
    for (;;) {
      Services.ProcessQueuedCalls();
      if (Finished()) break;
      Services.WaitForQueuedCalls(std::chrono::milliseconds(100), [this] { return Finished(); });
    }
  } else {
    std::unique_lock<std::mutex> Guard(FLock);
    FStateChanged.wait(Guard, [&] { return Finished(); });
  }
  std::thread Worker;
  {
    std::lock_guard<std::mutex> Guard(FLock);
    Worker = std::move(FThread);
  }
  if (Worker.joinable()) Worker.join();
}

int TThread::WaitFor() {
  {
    std::lock_guard<std::mutex> Guard(FLock);
    if (!FStarted) throw EThread("Cannot wait for a thread that was never started");
    if (FThreadId == std::this_thread::get_id()) throw EThread("A thread cannot wait for itself");
  }
  if (FreeOnTerminate()) throw EThread("Cannot wait for a thread that frees itself");
  WaitFinished();
  return ReturnValue();
}

void TThread::TerminateAndWait() {
  {
    std::lock_guard<std::mutex> Guard(FLock);
    if (!FStarted || FThreadId == std::this_thread::get_id()) return;
    FTerminated.store(true, std::memory_order_release);
    FSuspended = false;
    FStateChanged.notify_all();  // under the lock, as in Start
  }
  WaitFinished();
}

TThreadPriority TThread::Priority() const {
  std::lock_guard<std::mutex> Guard(FLock);
  return FPriority;
}

void TThread::SetPriority(TThreadPriority Value) {
  std::lock_guard<std::mutex> Guard(FLock);
  FPriority = Value;
  ApplyPriority();
}

void TThread::ApplyPriority() {
#if defined(__linux__)
  if (FNativeId == 0) return;
  static const int Nice[] = {19, 10, 5, 0, -5, -10, -15};
  // Refusals (raising priority without the privilege) are ignored on purpose.
  (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(FNativeId), Nice[FPriority]);
#endif
}

std::thread::id TThread::ThreadID() const {
  std::lock_guard<std::mutex> Guard(FLock);
  return FThreadId;
}

std::exception_ptr TThread::FatalException() const {
  std::lock_guard<std::mutex> Guard(FLock);
  return FFatalException;
}

void TThread::Synchronize(const std::function<void()>& Method) {
  SystemServices().RunOnGUIThread(Method);
}

}  // namespace orn
