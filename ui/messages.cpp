#include "ui/messages.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "core/exceptions.h"
#include "ui/application.h"
#include "ui/platform.h"

namespace orn {

namespace {

struct TWindowTable {
  std::mutex Lock;
  std::map<HWND, std::shared_ptr<TWndMethod>> Windows;
  std::map<std::pair<HWND, uintptr_t>, TTimerHandle> Timers;
  HWND Next = 0x20000;
};

TWindowTable& Table() {
  static TWindowTable T;
  return T;
}

std::shared_ptr<TWndMethod> MethodOf(HWND Wnd) {
  auto& T = Table();
  std::lock_guard<std::mutex> G(T.Lock);
  auto It = T.Windows.find(Wnd);
  return It == T.Windows.end() ? nullptr : It->second;
}

void StopTimersOf(HWND Wnd) {
  std::vector<TTimerHandle> Stop;
  {
    auto& T = Table();
    std::lock_guard<std::mutex> G(T.Lock);
    for (auto It = T.Timers.begin(); It != T.Timers.end();) {
      if (It->first.first == Wnd) {
        Stop.push_back(It->second);
        It = T.Timers.erase(It);
      } else {
        ++It;
      }
    }
  }
  if (PlatformInstalled())
    for (TTimerHandle H : Stop) Platform().StopTimer(H);
}

}  // namespace

HWND RegisterWindow(TWndMethod Method) {
  auto& T = Table();
  std::lock_guard<std::mutex> G(T.Lock);
  HWND Wnd = T.Next;
  T.Next += 4;
  T.Windows[Wnd] = std::make_shared<TWndMethod>(std::move(Method));
  return Wnd;
}

void UnregisterWindow(HWND Wnd) {
  StopTimersOf(Wnd);
  auto& T = Table();
  std::shared_ptr<TWndMethod> Old;  // released outside the lock
  std::lock_guard<std::mutex> G(T.Lock);
  auto It = T.Windows.find(Wnd);
  if (It != T.Windows.end()) {
    Old = std::move(It->second);
    T.Windows.erase(It);
  }
}

HWND AllocateHWnd(TWndMethod Method) {
  return RegisterWindow(std::move(Method));
}
void DeallocateHWnd(HWND Wnd) {
  UnregisterWindow(Wnd);
}

bool IsWindow(HWND Wnd) {
  return MethodOf(Wnd) != nullptr;
}

LRESULT SendMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  std::shared_ptr<TWndMethod> Method = MethodOf(Wnd);
  if (!Method || !*Method) return 0;
  TMessage M{Msg, WParam, LParam, 0};
  (*Method)(M);
  return M.Result;
}

bool PostMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (!IsWindow(Wnd) || !PlatformInstalled()) return false;
  // Delivered only if the window still exists when the loop gets to it. What its handler
  // raises goes to the application's exception handling, not out of the loop.
  Platform().Post([Wnd, Msg, WParam, LParam] {
    DispatchGuarded(Application(), [&] { SendMessage(Wnd, Msg, WParam, LParam); });
  });
  return true;
}

LRESULT DefWindowProc(HWND, UINT, WPARAM, LPARAM) {
  return 0;
}

uintptr_t SetTimer(HWND Wnd, uintptr_t IDEvent, uint32_t Interval) {
  if (IDEvent == 0 || !IsWindow(Wnd) || !PlatformInstalled()) return 0;
  KillTimer(Wnd, IDEvent);
  TTimerHandle H = Platform().StartTimer(Interval, [Wnd, IDEvent] {
    DispatchGuarded(Application(), [&] { SendMessage(Wnd, WM_TIMER, IDEvent, 0); });
  });
  if (H == 0) return 0;
  auto& T = Table();
  std::lock_guard<std::mutex> G(T.Lock);
  T.Timers[{Wnd, IDEvent}] = H;
  return IDEvent;
}

bool KillTimer(HWND Wnd, uintptr_t IDEvent) {
  TTimerHandle H = 0;
  {
    auto& T = Table();
    std::lock_guard<std::mutex> G(T.Lock);
    auto It = T.Timers.find({Wnd, IDEvent});
    if (It == T.Timers.end()) return false;
    H = It->second;
    T.Timers.erase(It);
  }
  if (PlatformInstalled()) Platform().StopTimer(H);
  return true;
}

// ---- Platform installer -----------------------------------------------------------------

namespace {
std::atomic<TPlatform*> GPlatform{nullptr};
}

TPlatform& Platform() {
  TPlatform* P = GPlatform.load();
  if (P == nullptr) throw Exception("No window system installed");
  return *P;
}

bool PlatformInstalled() {
  return GPlatform.load() != nullptr;
}

TPlatform* SetPlatform(TPlatform* Backend) {
  return GPlatform.exchange(Backend);
}

}  // namespace orn
