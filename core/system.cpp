#include "core/system.h"

#include <atomic>

#include "core/system_headless.h"

namespace orn {

std::vector<std::string> TSystemServices::CommandLineArguments() const {
  std::lock_guard<std::mutex> Guard(FArgumentsLock);
  return FArguments;
}

void TSystemServices::SetCommandLineArguments(std::vector<std::string> Arguments) {
  std::lock_guard<std::mutex> Guard(FArgumentsLock);
  FArguments = std::move(Arguments);
}

void TSystemServices::RunOnGUIThread(const std::function<void()>& Call) {
  if (IsGUIThread()) {
    Call();
    return;
  }
  TQueuedCall Item;
  Item.Call = &Call;
  {
    std::lock_guard<std::mutex> Guard(FQueueLock);
    FQueue.push_back(&Item);
  }
  FQueueChanged.notify_all();
  WakeGUIThread();
  {
    std::unique_lock<std::mutex> Guard(FQueueLock);
    FQueueChanged.wait(Guard, [&] { return Item.Done; });
  }
  if (Item.Error) std::rethrow_exception(Item.Error);
}

int TSystemServices::ProcessQueuedCalls() {
  if (!IsGUIThread()) return 0;
  int Count = 0;
  for (;;) {
    TQueuedCall* Item;
    {
      std::lock_guard<std::mutex> Guard(FQueueLock);
      if (FQueue.empty()) break;
      Item = FQueue.front();
      FQueue.pop_front();
    }
    // The call runs without the queue lock, so it may queue further calls or wait for
    // threads that queue them.
    std::exception_ptr Error;
    try {
      (*Item->Call)();
    } catch (...) {
      Error = std::current_exception();
    }
    {
      std::lock_guard<std::mutex> Guard(FQueueLock);
      // Moved, not copied: the GUI thread keeps no reference to the exception object, so
      // only the waiting thread touches it from now on.
      Item->Error = std::move(Error);
      Item->Done = true;
    }
    FQueueChanged.notify_all();
    ++Count;
  }
  return Count;
}

size_t TSystemServices::QueuedCallCount() const {
  std::lock_guard<std::mutex> Guard(FQueueLock);
  return FQueue.size();
}

bool TSystemServices::WaitForQueuedCalls(std::chrono::milliseconds Timeout,
                                         const std::function<bool()>& Until) {
  std::unique_lock<std::mutex> Guard(FQueueLock);
  const uint64_t Pulses = FPulseCount;
  FQueueChanged.wait_for(Guard, Timeout, [&] {
    return !FQueue.empty() || FPulseCount != Pulses || (Until && Until());
  });
  return !FQueue.empty();
}

void TSystemServices::Pulse() {
  {
    std::lock_guard<std::mutex> Guard(FQueueLock);
    ++FPulseCount;
  }
  FQueueChanged.notify_all();
}

namespace {

std::atomic<TSystemServices*> GInstalled{nullptr};

// Taken while static objects are initialised, that is on the thread that runs main().
const std::thread::id GMainThreadId = std::this_thread::get_id();

}  // namespace

THeadlessSystemServices& DefaultHeadlessServices() {
  // Never destroyed: worker threads still ending while the process exits may use it after
  // static objects are gone. Normally created on a test's or the program's main thread
  // anyway; the main thread is preferred in case a worker thread gets here first.
  static THeadlessSystemServices* const Instance = [] {
    auto* S = new THeadlessSystemServices;
    if (GMainThreadId != std::thread::id()) S->SetGUIThreadId(GMainThreadId);
    return S;
  }();
  return *Instance;
}

TSystemServices& SystemServices() {
  TSystemServices* S = GInstalled.load(std::memory_order_acquire);
  if (S) return *S;
  return DefaultHeadlessServices();
}

TSystemServices* SetSystemServices(TSystemServices* Services) {
  return GInstalled.exchange(Services, std::memory_order_acq_rel);
}

}  // namespace orn
