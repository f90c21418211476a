#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "core/datetime.h"
#include "core/exceptions.h"
#include "core/system_headless.h"

using namespace orn;
using namespace std::chrono_literals;

TEST(SystemServices, HeadlessInstanceIsUsedUntilAnotherIsInstalled) {
  EXPECT_EQ(&SystemServices(), &DefaultHeadlessServices());
  EXPECT_TRUE(SystemServices().IsGUIThread());  // tests run on the main thread
  THeadlessSystemServices Own;
  {
    TSystemServicesScope Scope(Own);
    EXPECT_EQ(&SystemServices(), &Own);
  }
  EXPECT_EQ(&SystemServices(), &DefaultHeadlessServices());
}

TEST(SystemServices, ClipboardFormatsAreStablePerNameFrom0xC000) {
  THeadlessSystemServices S;
  const TClipboardFormat Gif = S.RegisterClipboardFormat("GIF Image");
  const TClipboardFormat Other = S.RegisterClipboardFormat("Other");
  EXPECT_EQ(Gif, 0xC000u);
  EXPECT_EQ(Other, 0xC001u);
  EXPECT_EQ(S.RegisterClipboardFormat("GIF Image"), Gif);
  EXPECT_EQ(S.RegisterClipboardFormat("gif image"), Gif);
  EXPECT_EQ(S.ClipboardFormatName(Gif), "GIF Image");
  EXPECT_EQ(S.ClipboardFormatName(CF_BITMAP), "");
  EXPECT_THROW(S.RegisterClipboardFormat(""), EClipboardException);
}

TEST(SystemServices, ClipboardKeepsBytesPerFormatWhileOpen) {
  THeadlessSystemServices S;
  const TClipboardFormat Gif = S.RegisterClipboardFormat("GIF Image");
  // Every data operation needs the clipboard open.
  EXPECT_THROW(S.SetClipboardData(Gif, {1}), EClipboardException);
  EXPECT_THROW(S.GetClipboardData(Gif), EClipboardException);
  EXPECT_THROW(S.EmptyClipboard(), EClipboardException);
  EXPECT_THROW(S.CloseClipboard(), EClipboardException);

  S.OpenClipboard();
  S.OpenClipboard();  // nested
  S.EmptyClipboard();
  S.SetClipboardData(Gif, {3, 0, 0, 0, 'G', 'I', 'F'});
  S.SetClipboardData(CF_BITMAP, {'B', 'M'});
  S.CloseClipboard();
  EXPECT_TRUE(S.ClipboardIsOpen());
  S.CloseClipboard();
  EXPECT_FALSE(S.ClipboardIsOpen());

  EXPECT_TRUE(S.HasClipboardFormat(Gif));
  EXPECT_TRUE(S.HasClipboardFormat(CF_BITMAP));
  EXPECT_FALSE(S.HasClipboardFormat(Gif + 1));
  S.OpenClipboard();
  EXPECT_EQ(*S.GetClipboardData(Gif), (std::vector<uint8_t>{3, 0, 0, 0, 'G', 'I', 'F'}));
  EXPECT_EQ(*S.GetClipboardData(CF_BITMAP), (std::vector<uint8_t>{'B', 'M'}));
  EXPECT_FALSE(S.GetClipboardData(Gif + 1).has_value());
  S.SetClipboardData(CF_BITMAP, {});  // replaced, and an empty block is still data
  EXPECT_TRUE(S.GetClipboardData(CF_BITMAP)->empty());
  S.EmptyClipboard();
  EXPECT_FALSE(S.HasClipboardFormat(Gif));
  EXPECT_FALSE(S.HasClipboardFormat(CF_BITMAP));
  S.CloseClipboard();
}

TEST(SystemServices, QueuedCallsRunOnlyOnTheGUIThreadInOrder) {
  THeadlessSystemServices S;
  std::vector<int> Order;
  std::atomic<int> Done{0};
  const uint64_t Wakes = S.WakeCount();
  std::thread Worker([&] {
    S.RunOnGUIThread([&] { Order.push_back(1); });
    ++Done;
  });
  std::thread Worker2([&] {
    while (S.QueuedCallCount() == 0) std::this_thread::sleep_for(1ms);
    S.RunOnGUIThread([&] { Order.push_back(2); });
    ++Done;
  });
  // Each queued call wakes the GUI thread (right after it is queued).
  for (int I = 0; I < 5000 && S.WakeCount() < Wakes + 2; ++I) std::this_thread::sleep_for(1ms);
  EXPECT_EQ(S.WakeCount(), Wakes + 2);
  EXPECT_EQ(S.QueuedCallCount(), 2u);
  // Another thread cannot drain the GUI thread's queue.
  int FromOther = -1;
  std::thread([&] { FromOther = S.ProcessQueuedCalls(); }).join();
  EXPECT_EQ(FromOther, 0);
  EXPECT_EQ(Done.load(), 0);
  EXPECT_EQ(S.ProcessQueuedCalls(), 2);
  Worker.join();
  Worker2.join();
  EXPECT_EQ(Order, (std::vector<int>{1, 2}));
}

TEST(SystemServices, GUIThreadCanBeMoved) {
  THeadlessSystemServices S;
  std::thread::id Other;
  std::thread T([&] {
    Other = std::this_thread::get_id();
    S.SetGUIThreadId(Other);
    bool Ran = false;
    S.RunOnGUIThread([&] { Ran = true; });  // now runs at once here
    EXPECT_TRUE(Ran);
  });
  T.join();
  EXPECT_EQ(S.GUIThreadId(), Other);
  EXPECT_FALSE(S.IsGUIThread());
}

TEST(SystemServices, WaitForQueuedCallsWakesOnCallPulseOrCondition) {
  THeadlessSystemServices S;
  std::atomic<bool> Flag{false};
  std::thread Setter([&] {
    std::this_thread::sleep_for(10ms);
    Flag = true;
    S.Pulse();
  });
  const auto Start = std::chrono::steady_clock::now();
  S.WaitForQueuedCalls(10s, [&] { return Flag.load(); });
  EXPECT_LT(std::chrono::steady_clock::now() - Start, 5s);
  EXPECT_TRUE(Flag.load());
  Setter.join();
  EXPECT_FALSE(S.WaitForQueuedCalls(1ms));
}

TEST(SystemServices, ClockCanBeSetAndAdvanced) {
  THeadlessSystemServices S;
  TSystemServicesScope Scope(S);
  EXPECT_FALSE(S.ClockFrozen());
  EXPECT_GE(S.LocalTime().Year, 2020);  // real time until set

  TDateTimeParts P;
  P.Year = 2023;
  P.Month = 12;
  P.Day = 31;
  P.Hour = 23;
  P.Minute = 59;
  P.Second = 59;
  P.Millisecond = 999;
  S.SetLocalTime(P);
  const uint64_t T0 = S.TickCount();
  std::this_thread::sleep_for(5ms);
  EXPECT_EQ(S.LocalTime(), P);  // frozen
  EXPECT_EQ(S.TickCount(), T0);
  EXPECT_EQ(S.LocalTime().DayOfWeek, 0);  // a Sunday
  EXPECT_EQ(NowParts(), P);
  EXPECT_DOUBLE_EQ(Now(), EncodeDateTime(P));

  S.AdvanceTime(1);
  const TDateTimeParts N = S.LocalTime();
  EXPECT_EQ(N.Year, 2024);
  EXPECT_EQ(N.Month, 1);
  EXPECT_EQ(N.Day, 1);
  EXPECT_EQ(N.Hour + N.Minute + N.Second + N.Millisecond, 0);
  EXPECT_EQ(N.DayOfWeek, 1);
  EXPECT_EQ(S.TickCount(), T0 + 1);
  S.AdvanceTime(59 * 86400000ull);  // through a leap February
  EXPECT_EQ(S.LocalTime().Month, 2);
  EXPECT_EQ(S.LocalTime().Day, 29);

  TDateTimeParts Bad = P;
  Bad.Day = 32;
  EXPECT_THROW(S.SetLocalTime(Bad), EConvertError);
  S.UseRealClock();
  EXPECT_FALSE(S.ClockFrozen());
  EXPECT_GE(S.LocalTime().Year, 2020);
}

TEST(SystemServices, VirtualSleepWaitsForTheClockToAdvance) {
  THeadlessSystemServices S;
  TDateTimeParts P;
  P.Year = 2024;
  P.Month = 6;
  P.Day = 1;
  S.SetLocalTime(P);
  S.SetVirtualSleep(true);
  std::atomic<bool> Woke{false};
  std::thread Sleeper([&] {
    S.Sleep(100);
    Woke = true;
  });
  std::this_thread::sleep_for(20ms);
  S.AdvanceTime(60);
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(Woke.load());
  S.AdvanceTime(40);
  Sleeper.join();
  EXPECT_TRUE(Woke.load());

  // Without virtual sleep it is a real sleep.
  S.SetVirtualSleep(false);
  const auto Start = std::chrono::steady_clock::now();
  S.Sleep(15);
  EXPECT_GE(std::chrono::steady_clock::now() - Start, 15ms);
}
