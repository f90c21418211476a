// TThread: a worker thread with the life cycle the component library expects.
//
// Starting. A thread created paused (CreateSuspended = true) starts on the first Start or
// Resume. A thread created running starts in AfterConstruction, because a C++ base
// constructor cannot start code that calls the subclass's Execute; create such threads with
// TThread::New<T>(...), which constructs and then calls AfterConstruction.
//
// Pausing is cooperative. Suspend only asks: the thread stops the next time its Execute
// calls CheckPaused(), a safe point the subclass chooses where it holds no lock (so a paused
// thread never blocks the GUI thread). Suspend never waits for the thread, so the GUI thread
// may pause a worker that is itself waiting in Synchronize for the GUI thread. Resume (or
// Start) releases it. Terminate also releases a paused thread: CheckPaused then returns
// false and Execute is expected to end.
//
// Ending. Execute returns; an exception that escapes it is kept (FatalException). Then
// DoTerminate runs OnTerminate on the GUI thread through Synchronize. A thread with
// FreeOnTerminate deletes itself after that; nobody may touch it once it may have ended.
//
// Waiting. WaitFor on the GUI thread keeps running the calls that threads queue for the GUI
// thread while it waits, so a worker waiting in Synchronize never deadlocks against a GUI
// thread waiting for that worker. The destructor of a thread that is still running
// terminates it, releases it and waits the same way. A subclass whose Execute uses the
// subclass's own fields must call TerminateAndWait() in its own destructor, before those
// fields are destroyed.
//
// Priority is stored and applied to the running thread as far as the operating system lets
// an unprivileged process (on Linux, lower priorities raise the thread's nice value; raising
// it back may be refused). Setting it never fails.
#pragma once

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

#include "core/classes.h"

namespace orn {

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class TThread : public TObject {
 public:
  explicit TThread(bool CreateSuspended);
  ~TThread() override;
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;
  std::string ClassName() const override { return "TThread"; }

  template <class T, class... Args>
  static T* New(Args&&... A) {
    T* Thread = new T(std::forward<Args>(A)...);
    Thread->AfterConstruction();
    return Thread;
  }
  // Starts a thread that was created running; does nothing for one created paused.
  void AfterConstruction();

  // Release: starts a thread that never ran, lets a paused one go on. Raise EThread for a
  // thread that has finished.
  void Start();
  void Resume() { Start(); }
  // Asks the thread to pause at its next CheckPaused(); returns at once.
  void Suspend();
  // A pause is requested (or the thread was created paused and not started yet).
  bool Suspended() const;
  // The thread is actually parked in CheckPaused.
  bool Paused() const;

  void Terminate();
  bool Terminated() const { return FTerminated.load(std::memory_order_acquire); }
  // Execute and OnTerminate have completed.
  bool Finished() const { return FFinished.load(std::memory_order_acquire); }
  bool Started() const;

  // Waits until the thread has finished and returns its ReturnValue. Raises EThread when
  // called by the thread itself, for a thread never started, or for a FreeOnTerminate thread.
  int WaitFor();
  // Terminate, release and wait; for destructors. Does nothing for a thread never started.
  void TerminateAndWait();

  TThreadPriority Priority() const;
  void SetPriority(TThreadPriority Value);
  bool FreeOnTerminate() const { return FFreeOnTerminate.load(std::memory_order_acquire); }
  void SetFreeOnTerminate(bool Value) { FFreeOnTerminate.store(Value, std::memory_order_release); }
  const TNotifyEvent& OnTerminate() const { return FOnTerminate; }
  // Assign before the thread starts.
  void SetOnTerminate(TNotifyEvent Value) { FOnTerminate = std::move(Value); }

  std::thread::id ThreadID() const;
  int ReturnValue() const { return FReturnValue.load(std::memory_order_acquire); }
  // The exception that escaped Execute (or OnTerminate), if any.
  std::exception_ptr FatalException() const;

  // Runs Method on the GUI thread and waits for it; on the GUI thread it runs at once. An
  // exception raised by Method is raised again in the caller.
  static void Synchronize(const std::function<void()>& Method);

 protected:
  virtual void Execute() = 0;
  // The pause point: blocks while a pause is requested. Returns false once the thread is
  // terminated (also when that ended a pause), true otherwise.
  bool CheckPaused();
  virtual void DoTerminate();
  void SetReturnValue(int Value) { FReturnValue.store(Value, std::memory_order_release); }

 private:
  void ThreadProc();
  void Launch();  // FLock held
  void WaitFinished();
  void ApplyPriority();  // FLock held

  mutable std::mutex FLock;
  std::condition_variable FStateChanged;
  std::thread FThread;
  bool FCreateSuspended;
  bool FStarted = false;
  bool FSuspended;
  bool FPaused = false;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFinished{false};
  std::atomic<bool> FFreeOnTerminate{false};
  std::atomic<int> FReturnValue{0};
  TThreadPriority FPriority = tpNormal;
  long FNativeId = 0;  // kernel thread id while running, for the priority
  std::thread::id FThreadId;
  std::exception_ptr FFatalException;
  TNotifyEvent FOnTerminate;
};

}  // namespace orn
