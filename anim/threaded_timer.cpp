#include "anim/threaded_timer.h"

#include <algorithm>
#include <chrono>

#include "core/exceptions.h"
#include "core/system.h"
#include "ui/application.h"

namespace orn {

// What the worker knows of its timer. The timer clears Owner (under Lock) when it is
// destroyed; the worker holds Lock while it uses the timer on its own thread.
struct TTimerLink {
  std::recursive_mutex Lock;
  std::atomic<TThreadedTimer*> Owner{nullptr};
  TApplication* App = nullptr;
};

void AcquireServingGUIThread(const std::function<bool()>& TryAcquire,
                             const std::function<void()>& BlockingAcquire) {
  TSystemServices& Services = SystemServices();
  if (!Services.IsGUIThread()) {
    BlockingAcquire();
    return;
  }
  while (!TryAcquire()) {
    Services.ProcessQueuedCalls();
    Services.WaitForQueuedCalls(std::chrono::milliseconds(1));
  }
}

// ---- TTimerThread ---------------------------------------------------------------------

TTimerThread::TTimerThread(TThreadedTimer* AOwner, bool CreateSuspended)
    : TThread(CreateSuspended), FLink(std::make_shared<TTimerLink>()) {
  FLink->Owner = AOwner;
  FLink->App = Application();
  SetFreeOnTerminate(true);
}

TTimerThread::~TTimerThread() = default;

bool TTimerThread::IsClosed() const {
  return Terminated() || FLink->App->Terminated() || FLink->Owner == nullptr;
}

void TTimerThread::Execute() {
  TSystemServices& Services = SystemServices();
  // Only the terminate flag ends this loop, and only the timer's destruction sets it, after
  // it has cut the link: a worker that ended (and freed itself) earlier would leave its timer
  // holding a dangling pointer.
  while (CheckPaused()) {
    if (IsClosed()) {
      if (Terminated()) break;
      // The application is ending but nobody ended this thread: wait rather than spin.
      Services.Sleep(std::max<uint32_t>(SleepInterval(), 1));
      continue;
    }
    Services.Sleep(SleepInterval());
    // A pause asked for during the sleep holds this tick back until the release.
    if (!CheckPaused()) break;
    try {
      RunTick();
    } catch (...) {
      // Whatever the handler raised, of any type, is reported once for this tick and the
      // ticking goes on.
      FCaughtException = std::current_exception();
      ReportException();
      FCaughtException = nullptr;
    }
  }
  // The timer terminates this thread while it holds the link; passing through the lock here
  // makes sure it has let go of the thread object before the thread frees itself.
  std::lock_guard<std::recursive_mutex> Guard(FLink->Lock);
}

void TTimerThread::RunTick() {
  {
    std::lock_guard<std::recursive_mutex> Guard(FLink->Lock);
    TThreadedTimer* Owner = FLink->Owner;
    if (Owner == nullptr || IsClosed() || !Owner->Enabled()) return;
    if (!Owner->SyncEvent()) {
      Owner->Tick();
      return;
    }
  }
  // The call may run after the timer has gone; it then finds no owner. An exception the tick
  // raises on the GUI thread comes back here.
  Synchronize([Link = FLink] {
    TThreadedTimer* Owner = Link->Owner;
    if (Owner != nullptr && !Link->App->Terminated()) Owner->Tick();
  });
}

void TTimerThread::ReportException() {
  try {
    std::rethrow_exception(FCaughtException);
  } catch (const EAbort&) {
    return;
  } catch (...) {
  }
  // The application's handlers show windows and touch forms, so they run on the GUI thread.
  try {
    Synchronize([this, Link = FLink] { Link->App->HandleException(this, FCaughtException); });
  } catch (...) {
    // A failing error report must not end the ticking.
  }
}

// ---- TThreadedTimer -------------------------------------------------------------------

TThreadedTimer::TThreadedTimer(TComponent* AOwner) : TComponent(AOwner) {
  FWorker = new TTimerThread(this, true);
  FLink = FWorker->FLink;
}

TThreadedTimer::~TThreadedTimer() {
  FDestroying.store(true, std::memory_order_release);
  SetState(TComponentStateItem::csDestroying, true);
  FEnabled.store(false, std::memory_order_release);
  {
    std::lock_guard<std::mutex> Guard(FHandlerLock);
    FOnTimer = nullptr;
  }
  // Cut the worker's link and end the worker. A tick running on the worker holds the link;
  // it may be waiting for the GUI thread, so the GUI thread serves its calls while it waits.
  // The worker is not waited for: it finishes its sleep, sees the terminate flag and frees
  // itself (not before the link is let go here). One that never ran is simply deleted.
  {
    std::unique_lock<std::recursive_mutex> Guard(FLink->Lock, std::defer_lock);
    AcquireServingGUIThread([&] { return Guard.try_lock(); }, [&] { Guard.lock(); });
    FLink->Owner = nullptr;
    if (FWorker->Started())
      FWorker->Terminate();
    else
      delete FWorker;
    FWorker = nullptr;
  }
  if (FTimerWindow != 0) {
    KillTimer(FTimerWindow, 1);
    DeallocateHWnd(FTimerWindow);
    FTimerWindow = 0;
  }
}

void TThreadedTimer::SetEnabled(bool Value) {
  std::lock_guard<std::recursive_mutex> Guard(FRestartLock);
  if (Value == Enabled()) return;
  FEnabled.store(Value, std::memory_order_release);
  RestartTimer();
}

void TThreadedTimer::SetInterval(uint32_t Value) {
  std::lock_guard<std::recursive_mutex> Guard(FRestartLock);
  if (Value == Interval()) return;
  FInterval.store(Value, std::memory_order_release);
  RestartTimer();
}

void TThreadedTimer::SetThreaded(bool Value) {
  std::lock_guard<std::recursive_mutex> Guard(FRestartLock);
  if (Value == FThreaded) return;
  FThreaded = Value;
  RestartTimer();
}

void TThreadedTimer::SetThreadPriority(TThreadPriority Value) {
  std::lock_guard<std::recursive_mutex> Guard(FRestartLock);
  if (Value == FThreadPriority) return;
  FThreadPriority = Value;
  if (FThreaded) RestartTimer();
}

TNotifyEvent TThreadedTimer::OnTimer() const {
  std::lock_guard<std::mutex> Guard(FHandlerLock);
  return FOnTimer;
}

void TThreadedTimer::SetOnTimer(TNotifyEvent Value) {
  std::lock_guard<std::recursive_mutex> Guard(FRestartLock);
  bool Changes;
  {
    std::lock_guard<std::mutex> Guard(FHandlerLock);
    Changes = static_cast<bool>(FOnTimer) != static_cast<bool>(Value);
    FOnTimer = std::move(Value);
  }
  if (Changes) RestartTimer();
}

void TThreadedTimer::Tick() {
  if (!Enabled() || FDestroying.load(std::memory_order_acquire)) return;
  TNotifyEvent Handler = OnTimer();
  if (Handler) Handler(this);
}

void TThreadedTimer::SyncCall(const std::function<void()>& Method) {
  // Handing over from the GUI thread itself would only run the call at once.
  if (SystemServices().IsGUIThread())
    Method();
  else
    TThread::Synchronize(Method);
}

bool TThreadedTimer::Armable() const {
  if (Interval() == 0 || !Enabled()) return false;
  std::lock_guard<std::mutex> Guard(FHandlerLock);
  return static_cast<bool>(FOnTimer);
}

void TThreadedTimer::StopWindowTimer() {
  if (FTimerWindow != 0) KillTimer(FTimerWindow, 1);
}

void TThreadedTimer::RestartTimer() {
  ++FRestartCount;
  if (FThreaded) {
    if (FTimerWindow != 0) {
      StopWindowTimer();
      DeallocateHWnd(FTimerWindow);
      FTimerWindow = 0;
    }
    if (!FWorker->Suspended()) FWorker->Suspend();
    FWorker->FSleepInterval.store(Interval(), std::memory_order_release);
    if (Armable()) {
      FWorker->SetPriority(FThreadPriority);
      FWorker->Start();
    }
  } else {
    if (!FWorker->Suspended()) FWorker->Suspend();
    if (FTimerWindow == 0)
      FTimerWindow = AllocateHWnd([this](TMessage& Message) { TimerWndProc(Message); });
    else
      StopWindowTimer();
    if (Armable() && SetTimer(FTimerWindow, 1, Interval()) == 0)
      throw EOutOfResources("Not enough timers available");
  }
}

void TThreadedTimer::TimerWndProc(TMessage& Message) {
  if (Message.Msg == WM_TIMER) {
    try {
      Tick();
    } catch (...) {
      Application()->HandleException(this);
    }
    return;
  }
  Message.Result = DefWindowProc(FTimerWindow, Message.Msg, Message.WParam, Message.LParam);
}

void TThreadedTimer::DeclareProperties(TPropertyList& Props) const {
  TComponent::DeclareProperties(Props);
  auto P = Props.Of<TThreadedTimer>();
  P.Bool("Enabled", &TThreadedTimer::Enabled, &TThreadedTimer::SetEnabled, true);
  P.Int("Interval", &TThreadedTimer::Interval, &TThreadedTimer::SetInterval, 1000);
  P.Bool("SyncEvent", &TThreadedTimer::SyncEvent, &TThreadedTimer::SetSyncEvent, true);
  P.Bool("Threaded", &TThreadedTimer::Threaded, &TThreadedTimer::SetThreaded, true);
  P.Enum("ThreadPriority", &TThreadedTimer::ThreadPriority, &TThreadedTimer::SetThreadPriority,
         {"tpIdle", "tpLowest", "tpLower", "tpNormal", "tpHigher", "tpHighest", "tpTimeCritical"},
         tpNormal);
  P.Event("OnTimer", &TThreadedTimer::OnTimer, &TThreadedTimer::SetOnTimer);
}

}  // namespace orn
