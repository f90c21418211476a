// TThreadedTimer: a non-visual timer component that calls OnTimer every Interval ms, either
// from a window timer of a hidden message window on the GUI thread (message mode) or from a
// worker thread of its own (thread mode, the default). In thread mode each tick is handed to
// the GUI thread, the worker waiting until it has run (SyncEvent on), or run on the worker
// itself (SyncEvent off).
//
// The worker never polls: while the timer is disarmed it is parked in its pause point, and
// while armed it sleeps the interval. The worker reaches the timer only through a shared link
// that the timer cuts when it is destroyed, so a worker that outlives its timer (it finishes
// its last sleep on its own and frees itself) never touches freed memory.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

#include "core/component.h"
#include "core/properties.h"
#include "core/thread.h"
#include "ui/messages.h"

namespace orn {

class TThreadedTimer;
struct TTimerLink;

// The worker of a TThreadedTimer in thread mode. Created paused; frees itself when it ends.
class TTimerThread : public TThread {
 public:
  TTimerThread(TThreadedTimer* AOwner, bool CreateSuspended);
  ~TTimerThread() override;
  std::string ClassName() const override { return "TTimerThread"; }

  uint32_t SleepInterval() const { return FSleepInterval.load(std::memory_order_acquire); }

 protected:
  void Execute() override;
  // Hands the caught exception to the application's exception handling (on the GUI thread),
  // unless it is the silent abort.
  virtual void ReportException();

 private:
  friend class TThreadedTimer;
  // The thread is terminated, the application is terminating or the timer is gone.
  bool IsClosed() const;
  // One tick, on the worker or handed to the GUI thread; raises what the handler raised.
  void RunTick();

  std::shared_ptr<TTimerLink> FLink;
  std::atomic<uint32_t> FSleepInterval{1000};
  std::exception_ptr FCaughtException;
};

class TThreadedTimer : public TComponent {
 public:
  explicit TThreadedTimer(TComponent* AOwner);
  ~TThreadedTimer() override;
  std::string ClassName() const override { return "TThreadedTimer"; }

  bool Enabled() const { return FEnabled.load(std::memory_order_acquire); }
  void SetEnabled(bool Value);
  // Milliseconds between ticks; 0 stops the ticks.
  uint32_t Interval() const { return FInterval.load(std::memory_order_acquire); }
  void SetInterval(uint32_t Value);
  // Thread mode: true runs each tick on the GUI thread, false on the worker. Changing it
  // restarts nothing.
  bool SyncEvent() const { return FSyncEvent.load(std::memory_order_acquire); }
  void SetSyncEvent(bool Value) { FSyncEvent.store(Value, std::memory_order_release); }
  bool Threaded() const { return FThreaded; }
  void SetThreaded(bool Value);
  TThreadPriority ThreadPriority() const { return FThreadPriority; }
  void SetThreadPriority(TThreadPriority Value);
  // The handler, as a copy (the worker may read it while the GUI thread replaces it).
  TNotifyEvent OnTimer() const;
  // Restarts the timer only when the handler appears or disappears. In message mode raises
  // EOutOfResources "Not enough timers available" when no window timer is left.
  void SetOnTimer(TNotifyEvent Value);

  // Calls OnTimer with the timer as sender when the timer is enabled, assigned and not being
  // destroyed. Both modes call it for each tick.
  virtual void Tick();

  // Runs Method on the GUI thread: at once when called there, otherwise handed over and
  // waited for (an exception it raises comes back to the caller).
  void SyncCall(const std::function<void()>& Method);

  // Enabled (True), Interval (1000), SyncEvent (True), Threaded (True), ThreadPriority
  // (tpNormal), OnTimer.
  void DeclareProperties(TPropertyList& Props) const override;

  // For tests and diagnostics: the worker (valid until the timer is destroyed) and the hidden
  // message window (0 until message mode is first armed).
  TTimerThread* Worker() const { return FWorker; }
  HWND TimerWindow() const { return FTimerWindow; }
  // How many times the timer has been disarmed and re-armed by a property change.
  int RestartCount() const { return FRestartCount.load(std::memory_order_acquire); }

 private:
  friend class TTimerThread;
  void RestartTimer();
  void TimerWndProc(TMessage& Message);
  bool Armable() const;
  void StopWindowTimer();

  // Serialises the property changes and the restarts they make: the animator's frame advance
  // sets Interval from the worker itself while the GUI thread may change other properties.
  // Nothing waits for another thread while holding it.
  mutable std::recursive_mutex FRestartLock;
  std::atomic<bool> FEnabled{true};
  std::atomic<uint32_t> FInterval{1000};
  std::atomic<bool> FSyncEvent{true};
  bool FThreaded = true;
  TThreadPriority FThreadPriority = tpNormal;
  mutable std::mutex FHandlerLock;  // guards FOnTimer
  TNotifyEvent FOnTimer;
  std::atomic<bool> FDestroying{false};
  HWND FTimerWindow = 0;
  TTimerThread* FWorker = nullptr;
  std::shared_ptr<TTimerLink> FLink;
  std::atomic<int> FRestartCount{0};
};

// Waits on the GUI thread for TryAcquire to succeed while serving the calls other threads
// queue for the GUI thread (one of them may be what the holder of the resource waits for).
// On any other thread it just retries until TryAcquire succeeds, blocking in between.
void AcquireServingGUIThread(const std::function<bool()>& TryAcquire,
                             const std::function<void()>& BlockingAcquire);

}  // namespace orn
