// The threaded timer with its real worker thread (thread mode) and on the headless virtual
// clock (message mode).
#include "anim/threaded_timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "anim_support.h"
#include "core/classregistry.h"
#include "core/exceptions.h"
#include "core/forms.h"
#include "core/system.h"
#include "ui/application.h"

namespace orn {
namespace {

using animtest::Backend;
using animtest::ServeFor;
using animtest::WaitUntil;

// Counts ticks and remembers on which threads they ran.
struct TTickLog {
  std::mutex Lock;
  std::atomic<int> Count{0};
  std::set<std::thread::id> Threads;
  TNotifyEvent Handler() {
    return [this](TObject*) {
      std::lock_guard<std::mutex> Guard(Lock);
      Threads.insert(std::this_thread::get_id());
      ++Count;
    };
  }
  std::set<std::thread::id> ThreadSet() {
    std::lock_guard<std::mutex> Guard(Lock);
    return Threads;
  }
};

class ThreadedTimerTest : public ::testing::Test {
 protected:
  void SetUp() override { Backend(); }
  void TearDown() override {
    Application()->OnException = nullptr;
    Backend().SetTimerLimit(-1);
  }
};

TEST_F(ThreadedTimerTest, FreshTimerWaitsForAHandlerThenTicksOnTheGUIThread) {
  TTickLog Log;
  TThreadedTimer Timer(nullptr);
  EXPECT_TRUE(Timer.Enabled());
  EXPECT_EQ(Timer.Interval(), 1000u);
  EXPECT_TRUE(Timer.SyncEvent());
  EXPECT_TRUE(Timer.Threaded());
  EXPECT_EQ(Timer.ThreadPriority(), tpNormal);
  Timer.SetInterval(10);
  EXPECT_FALSE(Timer.Worker()->Started()) << "no handler yet: nothing armed";
  Timer.SetOnTimer(Log.Handler());
  EXPECT_TRUE(Timer.Worker()->Started());
  ASSERT_TRUE(WaitUntil([&] { return Log.Count >= 3; }));
  EXPECT_EQ(Log.ThreadSet(), std::set<std::thread::id>{std::this_thread::get_id()});
}

TEST_F(ThreadedTimerTest, SynchronisedTicksWaitForTheGUIThread) {
  TTickLog Log;
  TThreadedTimer Timer(nullptr);
  Timer.SetInterval(5);
  Timer.SetOnTimer(Log.Handler());
  // Nobody serves the queue: the worker hands its first tick over and waits for it.
  for (int I = 0; I < 1000 && Backend().Services().QueuedCallCount() == 0; ++I)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  ASSERT_GT(Backend().Services().QueuedCallCount(), 0u);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(Log.Count, 0);
  EXPECT_EQ(Backend().Services().QueuedCallCount(), 1u) << "one waiting tick, not a pile";
  ASSERT_TRUE(WaitUntil([&] { return Log.Count >= 1; }));
}

TEST_F(ThreadedTimerTest, UnsynchronisedTicksRunOnTheWorker) {
  TTickLog Log;
  TThreadedTimer Timer(nullptr);
  Timer.SetSyncEvent(false);
  Timer.SetInterval(5);
  Timer.SetOnTimer(Log.Handler());
  // The GUI thread serves nothing here: the ticks must come on their own.
  for (int I = 0; I < 1000 && Log.Count < 3; ++I)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  ASSERT_GE(Log.Count, 3);
  const auto Threads = Log.ThreadSet();
  ASSERT_EQ(Threads.size(), 1u);
  EXPECT_NE(*Threads.begin(), std::this_thread::get_id());
  EXPECT_EQ(*Threads.begin(), Timer.Worker()->ThreadID());
}

TEST_F(ThreadedTimerTest, IntervalZeroDeliversNoTicksInEitherMode) {
  for (bool Threaded : {true, false}) {
    SCOPED_TRACE(Threaded ? "thread mode" : "message mode");
    TTickLog Log;
    TThreadedTimer Timer(nullptr);
    Timer.SetThreaded(Threaded);
    Timer.SetInterval(0);
    Timer.SetOnTimer(Log.Handler());
    EXPECT_TRUE(Timer.Enabled());
    EXPECT_TRUE(Timer.Worker()->Suspended());
    ServeFor(60);
    Backend().Advance(5000);
    EXPECT_EQ(Log.Count, 0);
  }
}

TEST_F(ThreadedTimerTest, OnlyRealChangesRestartTheTimer) {
  TTickLog Log;
  TThreadedTimer Timer(nullptr);
  const int Fresh = Timer.RestartCount();
  Timer.SetInterval(1000);
  Timer.SetEnabled(true);
  Timer.SetThreaded(true);
  Timer.SetThreadPriority(tpNormal);
  EXPECT_EQ(Timer.RestartCount(), Fresh) << "equal values restart nothing";
  Timer.SetSyncEvent(false);
  Timer.SetSyncEvent(true);
  EXPECT_EQ(Timer.RestartCount(), Fresh) << "SyncEvent is a plain field";

  Timer.SetInterval(10);
  Timer.SetOnTimer(Log.Handler());  // none -> some
  EXPECT_EQ(Timer.RestartCount(), Fresh + 2);
  ASSERT_TRUE(WaitUntil([&] { return Log.Count >= 1; }));

  TTickLog Second;
  Timer.SetOnTimer(Second.Handler());  // some -> other: no restart
  EXPECT_EQ(Timer.RestartCount(), Fresh + 2);
  ASSERT_TRUE(WaitUntil([&] { return Second.Count >= 2; }));

  Timer.SetThreadPriority(tpLower);  // thread mode: restarts
  EXPECT_EQ(Timer.RestartCount(), Fresh + 3);
  EXPECT_EQ(Timer.Worker()->Priority(), tpLower);

  Timer.SetOnTimer(nullptr);  // some -> none: stops
  EXPECT_EQ(Timer.RestartCount(), Fresh + 4);
  ASSERT_TRUE(WaitUntil([&] { return Timer.Worker()->Paused(); }));
  const int Stopped = Second.Count;
  ServeFor(50);
  EXPECT_EQ(Second.Count, Stopped);

  Timer.SetThreaded(false);
  const int MessageMode = Timer.RestartCount();
  Timer.SetThreadPriority(tpHigher);  // message mode: stored only
  EXPECT_EQ(Timer.RestartCount(), MessageMode);
  EXPECT_EQ(Timer.ThreadPriority(), tpHigher);
}

TEST_F(ThreadedTimerTest, DisabledTimerParksItsWorker) {
  TTickLog Log;
  TThreadedTimer Timer(nullptr);
  Timer.SetInterval(5);
  Timer.SetOnTimer(Log.Handler());
  ASSERT_TRUE(WaitUntil([&] { return Log.Count >= 2; }));
  Timer.SetEnabled(false);
  // Parked in its pause point: blocked, not sleeping and waking.
  ASSERT_TRUE(WaitUntil([&] { return Timer.Worker()->Paused(); }));
  const int Count = Log.Count;
  ServeFor(50);
  EXPECT_EQ(Log.Count, Count);
  EXPECT_TRUE(Timer.Worker()->Paused());
  Timer.SetEnabled(true);
  ASSERT_TRUE(WaitUntil([&] { return Log.Count >= Count + 2; }));
}

TEST_F(ThreadedTimerTest, MessageModeTicksFromAWindowTimerOnTheVirtualClock) {
  TTickLog Log;
  TThreadedTimer Timer(nullptr);
  Timer.SetThreaded(false);
  EXPECT_NE(Timer.TimerWindow(), 0u) << "the hidden window exists once message mode is armed";
  Timer.SetInterval(100);
  Timer.SetOnTimer(Log.Handler());
  EXPECT_TRUE(Timer.Worker()->Suspended());
  Backend().Advance(350);
  EXPECT_EQ(Log.Count, 3);
  EXPECT_EQ(Log.ThreadSet(), std::set<std::thread::id>{std::this_thread::get_id()});

  Timer.SetEnabled(false);
  const HWND Window = Timer.TimerWindow();
  EXPECT_TRUE(IsWindow(Window)) << "disarming keeps the hidden window";
  Backend().Advance(500);
  EXPECT_EQ(Log.Count, 3);
  Timer.SetEnabled(true);
  Backend().Advance(100);
  EXPECT_EQ(Log.Count, 4);

  // Back to thread mode: the window goes, the worker ticks.
  Timer.SetInterval(5);
  Timer.SetThreaded(true);
  EXPECT_EQ(Timer.TimerWindow(), 0u);
  EXPECT_FALSE(IsWindow(Window));
  ASSERT_TRUE(WaitUntil([&] { return Log.Count >= 6; }));
  // And out again while armed: the worker pauses, a window timer takes over.
  Timer.SetInterval(100);
  Timer.SetThreaded(false);
  EXPECT_TRUE(Timer.Worker()->Suspended());
  ASSERT_TRUE(WaitUntil([&] { return Timer.Worker()->Paused(); }));
  const int Before = Log.Count;
  Backend().Advance(200);
  EXPECT_EQ(Log.Count, Before + 2);
}

TEST_F(ThreadedTimerTest, MessageModeWithoutAFreeWindowTimerRaises) {
  TTickLog Log;
  TThreadedTimer Timer(nullptr);
  Timer.SetThreaded(false);
  Backend().SetTimerLimit(static_cast<int>(Backend().TimerCount()));
  try {
    Timer.SetOnTimer(Log.Handler());
    FAIL() << "expected EOutOfResources";
  } catch (const EOutOfResources& E) {
    EXPECT_EQ(E.Message(), "Not enough timers available");
  }
}

// An exception in a tick is reported once per tick and the ticking goes on, in every mode
// and whatever its type (ours, a standard library one, or not an exception class at all); the
// silent abort is not reported at all. The worker lives on, so the timer can still be
// switched off and destroyed.
TEST_F(ThreadedTimerTest, TickExceptionsAreReportedOncePerTickAndTicksGoOn) {
  enum TKind { kOurs, kAbort, kRuntime, kOutOfRange, kInt };
  struct TCase {
    const char* Name;
    bool Threaded;
    bool Sync;
    TKind Kind;
  };
  const TCase Cases[] = {{"synchronised", true, true, kOurs},
                         {"on the worker", true, false, kOurs},
                         {"message mode", false, true, kOurs},
                         {"abort, synchronised", true, true, kAbort},
                         {"runtime_error, synchronised", true, true, kRuntime},
                         {"runtime_error on the worker", true, false, kRuntime},
                         {"runtime_error, message mode", false, true, kRuntime},
                         {"vector::at out of range on the worker", true, false, kOutOfRange},
                         {"vector::at out of range, synchronised", true, true, kOutOfRange},
                         {"an int on the worker", true, false, kInt}};
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    std::atomic<int> Ticks{0};
    std::vector<std::string> Reports;
    std::vector<std::string> Senders;
    std::thread::id ReportThread;
    Application()->OnException = [&](TObject* Sender, const Exception& E) {
      Reports.push_back(E.Message());
      Senders.push_back(Sender != nullptr ? Sender->ClassName() : "");
      ReportThread = std::this_thread::get_id();
    };
    {
      TThreadedTimer Timer(nullptr);
      Timer.SetThreaded(C.Threaded);
      Timer.SetSyncEvent(C.Sync);
      Timer.SetInterval(C.Threaded ? 5 : 100);
      Timer.SetOnTimer([&](TObject*) {
        const int N = ++Ticks;
        switch (C.Kind) {
          case kOurs:
            throw EInvalidGraphicOperation("tick " + std::to_string(N));
          case kAbort:
            throw EAbort();
          case kRuntime:
            throw std::runtime_error("tick " + std::to_string(N));
          case kOutOfRange:
            (void)std::vector<int>(2).at(static_cast<size_t>(N + 5));
            break;
          case kInt:
            throw N;
        }
      });
      const bool Abort = C.Kind == kAbort;
      if (C.Threaded) {
        ASSERT_TRUE(WaitUntil([&] { return Ticks >= 3 && (Abort || Reports.size() >= 3); }));
        EXPECT_FALSE(Timer.Worker()->Finished()) << "the worker outlives a failing tick";
      } else {
        Backend().Advance(300);
      }
      Timer.SetEnabled(false);
      ServeFor(20);
      const int Seen = Ticks;
      Timer.SetEnabled(true);  // the same worker takes up the ticking again
      ASSERT_TRUE(WaitUntil([&] {
        if (!C.Threaded) Backend().Advance(100);
        return Ticks > Seen;
      }));
      Timer.SetEnabled(false);
      ServeFor(20);
    }
    ASSERT_GE(Ticks, 4);
    if (C.Kind == kAbort) {
      EXPECT_TRUE(Reports.empty());
      continue;
    }
    ASSERT_EQ(static_cast<int>(Reports.size()), Ticks.load());
    for (size_t I = 0; I < Reports.size(); ++I) {
      if (C.Kind == kOurs || C.Kind == kRuntime)
        EXPECT_EQ(Reports[I], "tick " + std::to_string(I + 1));
      else if (C.Kind == kInt)
        EXPECT_EQ(Reports[I], "Unknown exception");
      else
        EXPECT_FALSE(Reports[I].empty());
    }
    EXPECT_EQ(Senders[0], C.Threaded ? "TTimerThread" : "TThreadedTimer");
    EXPECT_EQ(ReportThread, std::this_thread::get_id()) << "reports run on the GUI thread";
    Application()->OnException = nullptr;
  }
}

TEST_F(ThreadedTimerTest, NoTickReachesATimerDestroyedWhileItsTickWaits) {
  std::atomic<int> Ticks{0};
  auto Timer = std::make_unique<TThreadedTimer>(nullptr);
  Timer->SetInterval(2);
  Timer->SetOnTimer([&](TObject*) { ++Ticks; });
  // Let the worker hand a tick over, but do not serve it.
  for (int I = 0; I < 1000 && Backend().Services().QueuedCallCount() == 0; ++I)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(Backend().Services().QueuedCallCount(), 1u);
  Timer.reset();
  ServeFor(30);
  EXPECT_EQ(Ticks, 0);
}

TEST_F(ThreadedTimerTest, DestroyingWaitsForATickRunningOnTheWorker) {
  std::atomic<bool> InTick{false};
  std::atomic<bool> TickDone{false};
  std::atomic<bool> HandedOver{false};
  auto Timer = std::make_unique<TThreadedTimer>(nullptr);
  TThreadedTimer* Raw = Timer.get();
  Timer->SetSyncEvent(false);
  Timer->SetInterval(2);
  Timer->SetOnTimer([&](TObject*) {
    if (InTick.exchange(true)) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    // A tick that needs the GUI thread while the GUI thread is destroying the timer.
    Raw->SyncCall([&] { HandedOver = true; });
    TickDone = true;
  });
  for (int I = 0; I < 1000 && !InTick; ++I)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(InTick);
  Timer.reset();  // must neither deadlock nor return before the tick has finished
  EXPECT_TRUE(TickDone);
  EXPECT_TRUE(HandedOver);
}

TEST_F(ThreadedTimerTest, PublishedPropertiesLoadFromAFormDescription) {
  RegisterClass<TThreadedTimer>("TThreadedTimer");
  auto Loaded = CreateFromFormDescription(
      "object T: TThreadedTimer\n"
      "  Interval = 250\n"
      "  SyncEvent = False\n"
      "  Threaded = False\n"
      "  ThreadPriority = tpLower\n"
      "end\n");
  auto* Timer = dynamic_cast<TThreadedTimer*>(Loaded.get());
  ASSERT_NE(Timer, nullptr);
  EXPECT_EQ(Timer->Interval(), 250u);
  EXPECT_FALSE(Timer->SyncEvent());
  EXPECT_FALSE(Timer->Threaded());
  EXPECT_EQ(Timer->ThreadPriority(), tpLower);
  EXPECT_TRUE(Timer->Enabled());
  const std::string Written = WriteFormDescription(Timer);
  EXPECT_EQ(Written.find("Enabled"), std::string::npos) << "defaults are not written";
  EXPECT_NE(Written.find("Interval = 250"), std::string::npos);
}

}  // namespace
}  // namespace orn
