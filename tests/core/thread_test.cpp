#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

#include "core/exceptions.h"
#include "core/sync.h"
#include "core/system.h"
#include "core/thread.h"

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

using namespace orn;
using namespace std::chrono_literals;

namespace {

// Polls Cond, serving the GUI-thread queue when Serve is set, until it holds or a generous
// deadline passes: a loaded machine only makes the wait longer, never the test fail.
template <class F>
bool WaitUntil(F Cond, bool Serve) {
  const auto Deadline = std::chrono::steady_clock::now() + 30s;
  while (std::chrono::steady_clock::now() < Deadline) {
    if (Serve) SystemServices().ProcessQueuedCalls();
    if (Cond()) return true;
    std::this_thread::sleep_for(1ms);
  }
  return Cond();
}

template <class F>
bool Eventually(F Cond) {
  return WaitUntil(Cond, true);
}

// Counts loop rounds between pause points; Body (optional) runs once per round.
class TLoopThread : public TThread {
 public:
  explicit TLoopThread(bool CreateSuspended) : TThread(CreateSuspended) {}
  ~TLoopThread() override { TerminateAndWait(); }
  std::atomic<int> Rounds{0};
  std::function<void(TLoopThread&)> Body;

 protected:
  void Execute() override {
    while (CheckPaused()) {
      if (Body) Body(*this);
      ++Rounds;
      std::this_thread::sleep_for(1ms);
    }
  }
};

// Runs one function as its body.
class TFuncThread : public TThread {
 public:
  TFuncThread(bool CreateSuspended, std::function<void(TFuncThread&)> F)
      : TThread(CreateSuspended), FBody(std::move(F)) {}
  ~TFuncThread() override {
    TerminateAndWait();
    if (Destroyed) *Destroyed = true;
  }
  using TThread::CheckPaused;
  using TThread::SetReturnValue;
  std::atomic<bool>* Destroyed = nullptr;

 protected:
  void Execute() override { FBody(*this); }

 private:
  std::function<void(TFuncThread&)> FBody;
};

// Gives the other threads time to do what they must not do, measured by the progress of a
// companion thread instead of the clock: on a loaded machine the wait stretches with the load.
// The companion is a plain thread, so ending it does not serve the GUI-thread queue.
void LetOtherThreadsRun() {
  std::atomic<int> Rounds{0};
  std::atomic<bool> Stop{false};
  std::thread Companion([&] {
    for (; !Stop; ++Rounds) std::this_thread::sleep_for(1ms);
  });
  EXPECT_TRUE(WaitUntil([&] { return Rounds >= 20; }, false));
  Stop = true;
  Companion.join();
}

// Turns a deadlock into a failure: ends the process if not dismissed within the time.
class TWatchdog {
 public:
  explicit TWatchdog(std::chrono::seconds Limit)
      : FThread([this, Limit] {
          std::unique_lock<std::mutex> G(FLock);
          if (!FDone.wait_for(G, Limit, [this] { return FDismissed; })) {
            std::fprintf(stderr, "deadlock: the test did not finish in time\n");
            std::_Exit(1);
          }
        }) {}
  ~TWatchdog() {
    {
      std::lock_guard<std::mutex> G(FLock);
      FDismissed = true;
    }
    FDone.notify_all();
    FThread.join();
  }

 private:
  std::mutex FLock;
  std::condition_variable FDone;
  bool FDismissed = false;
  std::thread FThread;
};

}  // namespace

TEST(Thread, CreatedSuspendedRunsOnlyAfterStart) {
  TLoopThread T(true);
  EXPECT_TRUE(T.Suspended());
  EXPECT_FALSE(T.Started());
  LetOtherThreadsRun();
  EXPECT_EQ(T.Rounds.load(), 0);
  T.Start();
  EXPECT_FALSE(T.Suspended());
  EXPECT_TRUE(Eventually([&] { return T.Rounds > 0; }));
}

TEST(Thread, CreatedRunningStartsThroughNew) {
  std::unique_ptr<TLoopThread> T(TThread::New<TLoopThread>(false));
  EXPECT_TRUE(T->Started());
  EXPECT_TRUE(Eventually([&] { return T->Rounds > 0; }));
  // A thread created paused is not started by New.
  std::unique_ptr<TLoopThread> P(TThread::New<TLoopThread>(true));
  EXPECT_FALSE(P->Started());
}

TEST(Thread, SuspendStopsAtThePausePointAndResumeReleases) {
  TLoopThread T(false);
  T.AfterConstruction();
  ASSERT_TRUE(Eventually([&] { return T.Rounds > 2; }));
  T.Suspend();
  EXPECT_TRUE(T.Suspended());
  ASSERT_TRUE(Eventually([&] { return T.Paused(); }));
  const int Frozen = T.Rounds;
  LetOtherThreadsRun();
  EXPECT_EQ(T.Rounds.load(), Frozen);
  T.Resume();
  EXPECT_TRUE(Eventually([&] { return T.Rounds > Frozen + 2; }));
  EXPECT_FALSE(T.Paused());
  T.Terminate();
  EXPECT_TRUE(T.Terminated());
  T.WaitFor();
  EXPECT_TRUE(T.Finished());
}

TEST(Thread, SuspendNeverStopsAThreadInsideItsLockedSection) {
  // The body holds a lock the GUI thread also needs; a pause requested while the body holds
  // it must not leave the lock taken.
  TCriticalSection Lock;
  std::atomic<bool> InSection{false};
  TLoopThread T(true);
  T.Body = [&](TLoopThread&) {
    TCriticalSectionGuard G(Lock);
    InSection = true;
    std::this_thread::sleep_for(2ms);
    InSection = false;
  };
  T.Start();
  ASSERT_TRUE(Eventually([&] { return InSection.load(); }));
  T.Suspend();
  ASSERT_TRUE(Eventually([&] { return T.Paused(); }));
  EXPECT_TRUE(Lock.TryEnter());
  Lock.Leave();
}

TEST(Thread, TerminateEndsAPausedThread) {
  TLoopThread T(false);
  T.AfterConstruction();
  T.Suspend();
  ASSERT_TRUE(Eventually([&] { return T.Paused(); }));
  T.Terminate();
  T.WaitFor();
  EXPECT_TRUE(T.Finished());
}

TEST(Thread, DestroyingRunningPausedOrUnstartedThreadsReturns) {
  std::atomic<bool> Ran{false};
  {
    TFuncThread Never(true, [&](TFuncThread&) { Ran = true; });
  }
  EXPECT_FALSE(Ran.load());
  {
    auto Running = std::make_unique<TLoopThread>(false);
    Running->AfterConstruction();
    ASSERT_TRUE(Eventually([&] { return Running->Rounds > 0; }));
  }
  {
    auto Paused = std::make_unique<TLoopThread>(false);
    Paused->AfterConstruction();
    Paused->Suspend();
    ASSERT_TRUE(Eventually([&] { return Paused->Paused(); }));
  }
}

TEST(Thread, StartAfterTheEndAndBadWaitsRaise) {
  TFuncThread T(true, [](TFuncThread& Self) { Self.SetReturnValue(42); });
  EXPECT_THROW(T.WaitFor(), EThread);  // never started
  T.Start();
  EXPECT_EQ(T.WaitFor(), 42);
  EXPECT_EQ(T.WaitFor(), 42);  // a second wait returns at once
  EXPECT_THROW(T.Start(), EThread);

  std::atomic<bool> SelfWaitRaised{false};
  TFuncThread Self(true, [&](TFuncThread& Me) {
    try {
      Me.WaitFor();
    } catch (const EThread&) {
      SelfWaitRaised = true;
    }
  });
  Self.Start();
  Self.WaitFor();
  EXPECT_TRUE(SelfWaitRaised.load());
}

TEST(Thread, ExceptionEscapingExecuteIsKept) {
  TFuncThread T(true, [](TFuncThread&) { throw EInvalidGraphic("broken"); });
  T.Start();
  T.WaitFor();
  ASSERT_TRUE(T.FatalException());
  try {
    std::rethrow_exception(T.FatalException());
  } catch (const EInvalidGraphic& E) {
    EXPECT_STREQ(E.what(), "broken");
  }
}

TEST(Thread, FreeOnTerminateDeletesItselfAfterOnTerminateRanOnTheGUIThread) {
  std::atomic<bool> Destroyed{false};
  std::thread::id HandlerThread;
  TObject* Sender = nullptr;
  auto* T = new TFuncThread(true, [](TFuncThread&) {});
  T->Destroyed = &Destroyed;
  T->SetFreeOnTerminate(true);
  T->SetOnTerminate([&](TObject* S) {
    HandlerThread = std::this_thread::get_id();
    Sender = S;
  });
  TObject* Expected = T;
  EXPECT_THROW(T->WaitFor(), EThread);  // it may vanish at any moment once started
  T->Start();
  ASSERT_TRUE(Eventually([&] { return Destroyed.load(); }));
  EXPECT_EQ(HandlerThread, std::this_thread::get_id());
  EXPECT_EQ(Sender, Expected);
}

TEST(Thread, SynchronizeRunsOnTheGUIThreadWhileTheWorkerWaits) {
  std::atomic<bool> After{false};
  std::thread::id RanOn;
  int Value = 0;  // written by the call, read by the worker after Synchronize returns
  int SeenByWorker = -1;
  TFuncThread T(true, [&](TFuncThread&) {
    TThread::Synchronize([&] {
      RanOn = std::this_thread::get_id();
      Value = 7;
    });
    SeenByWorker = Value;
    After = true;
  });
  T.Start();
  // Wait without serving the queue: the call must stay queued and the worker blocked.
  ASSERT_TRUE(WaitUntil([] { return SystemServices().QueuedCallCount() > 0; }, false));
  ASSERT_EQ(SystemServices().QueuedCallCount(), 1u);
  LetOtherThreadsRun();
  EXPECT_FALSE(After.load()) << "the worker went on before the GUI thread ran its call";
  EXPECT_EQ(SystemServices().ProcessQueuedCalls(), 1);
  T.WaitFor();
  EXPECT_EQ(RanOn, std::this_thread::get_id());
  EXPECT_EQ(SeenByWorker, 7);
}

TEST(Thread, SynchronizeOnTheGUIThreadRunsAtOnce) {
  bool Ran = false;
  TThread::Synchronize([&] { Ran = true; });
  EXPECT_TRUE(Ran);
  EXPECT_EQ(SystemServices().QueuedCallCount(), 0u);
}

TEST(Thread, SynchronizedExceptionIsRaisedAgainInTheWorker) {
  std::string Caught;
  bool SameType = false;
  TFuncThread T(true, [&](TFuncThread&) {
    try {
      TThread::Synchronize([] { throw EOutOfResources("Not enough timers available"); });
    } catch (const EOutOfResources& E) {
      SameType = true;
      Caught = E.what();
    } catch (...) {
    }
  });
  T.Start();
  T.WaitFor();  // serves the queued call
  EXPECT_TRUE(SameType);
  EXPECT_EQ(Caught, "Not enough timers available");
}

TEST(Thread, GUIThreadWaitingForAWorkerStillServesItsCalls) {
  // WaitFor, OnTerminate and the destructor on the GUI thread, each against a worker that is
  // waiting in Synchronize; none may deadlock.
  TWatchdog Guard(std::chrono::seconds(30));
  int Calls = 0;
  int Terminated = 0;
  TFuncThread Waited(true, [&](TFuncThread&) {
    for (int I = 0; I < 5; ++I) TThread::Synchronize([&] { ++Calls; });
  });
  Waited.SetOnTerminate([&](TObject*) { ++Terminated; });
  Waited.Start();
  Waited.WaitFor();
  EXPECT_EQ(Calls, 5);
  EXPECT_EQ(Terminated, 1);

  int Ticks = 0;
  auto Destroyed = std::make_unique<TLoopThread>(true);
  Destroyed->Body = [&](TLoopThread&) { TThread::Synchronize([&] { ++Ticks; }); };
  Destroyed->Start();
  ASSERT_TRUE(Eventually([&] { return Ticks >= 3; }));
  Destroyed.reset();
  EXPECT_EQ(SystemServices().QueuedCallCount(), 0u);
}

TEST(Thread, GUIThreadCanPauseAWorkerFromInsideItsSynchronizedCall) {
  // A tick handler that reconfigures its own timer pauses the worker that is waiting for it.
  TWatchdog Guard(std::chrono::seconds(30));
  TLoopThread T(true);
  std::atomic<int> Synced{0};
  T.Body = [&](TLoopThread& Self) {
    TThread::Synchronize([&] {
      ++Synced;
      Self.Suspend();
    });
  };
  T.Start();
  ASSERT_TRUE(Eventually([&] { return T.Paused(); }));
  EXPECT_EQ(Synced.load(), 1);
  T.Resume();
  EXPECT_TRUE(Eventually([&] { return Synced.load() >= 2; }));
}

TEST(Thread, PriorityIsStoredAndApplied) {
  std::atomic<int> NiceSeen{-100};
  TFuncThread T(true, [&](TFuncThread& Self) {
    while (Self.CheckPaused()) {
#if defined(__linux__)
      errno = 0;
      NiceSeen = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)));
#endif
      std::this_thread::sleep_for(1ms);
    }
  });
  EXPECT_EQ(T.Priority(), tpNormal);
  T.SetPriority(tpLower);
  EXPECT_EQ(T.Priority(), tpLower);
  T.Start();
#if defined(__linux__)
  EXPECT_TRUE(Eventually([&] { return NiceSeen.load() == 5; })) << NiceSeen.load();
  T.SetPriority(tpLowest);
  EXPECT_TRUE(Eventually([&] { return NiceSeen.load() == 10; })) << NiceSeen.load();
#endif
  // Raising may be refused by the system; it must not fail.
  EXPECT_NO_THROW(T.SetPriority(tpTimeCritical));
  EXPECT_EQ(T.Priority(), tpTimeCritical);
}

TEST(CriticalSection, IsReentrantAndExcludesOtherThreads) {
  TCriticalSection CS;
  CS.Enter();
  CS.Enter();
  EXPECT_EQ(CS.LockCount(), 2);
  EXPECT_TRUE(CS.TryEnter());
  CS.Leave();
  auto OtherTry = [&] {
    bool Got = false;
    std::thread([&] {
      Got = CS.TryEnter();
      if (Got) CS.Leave();
    }).join();
    return Got;
  };
  CS.Leave();
  EXPECT_TRUE(CS.HeldByCurrentThread());
  EXPECT_FALSE(OtherTry());
  CS.Leave();
  EXPECT_FALSE(CS.HeldByCurrentThread());
  EXPECT_TRUE(OtherTry());
}

TEST(CriticalSection, LeaveByANonHolderRaisesAndLeavesTheLockIntact) {
  TCriticalSection CS;
  EXPECT_THROW(CS.Leave(), EThread);
  CS.Enter();
  bool Raised = false;
  std::thread([&] {
    try {
      CS.Leave();
    } catch (const EThread&) {
      Raised = true;
    }
  }).join();
  EXPECT_TRUE(Raised);
  EXPECT_TRUE(CS.HeldByCurrentThread());
  CS.Leave();
}

TEST(CriticalSection, EnterBlocksUntilFreedAndGuardsData) {
  TCriticalSection CS;
  long Counter = 0;  // plain: only the section protects it
  auto Work = [&] {
    for (int I = 0; I < 20000; ++I) {
      TCriticalSectionGuard G(CS);
      TCriticalSectionGuard Nested(CS);
      ++Counter;
    }
  };
  std::thread A(Work), B(Work);
  A.join();
  B.join();
  EXPECT_EQ(Counter, 40000);

  CS.Enter();
  std::atomic<bool> Trying{false}, Entered{false};
  std::thread Waiter([&] {
    Trying = true;
    std::lock_guard<TCriticalSection> G(CS);
    Entered = true;
  });
  EXPECT_TRUE(Eventually([&] { return Trying.load(); }));
  LetOtherThreadsRun();
  EXPECT_FALSE(Entered.load());
  CS.Leave();
  Waiter.join();
  EXPECT_TRUE(Entered.load());
}
