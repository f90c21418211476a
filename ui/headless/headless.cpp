#include "ui/headless/headless.h"

#include <algorithm>

#include "core/exceptions.h"
#include "ui/application.h"
#include "ui/menus.h"

namespace orn {

namespace {

std::string HandleText(HWND Wnd) {
  return std::to_string(Wnd);
}

const TPopupMenuEntry* FindEntry(const std::vector<TPopupMenuEntry>& Items,
                                 const std::string& Name) {
  for (const TPopupMenuEntry& E : Items) {
    if (SameText(E.Name, Name)) return &E;
    if (const TPopupMenuEntry* Sub = FindEntry(E.Items, Name)) return Sub;
  }
  return nullptr;
}

}  // namespace

THeadlessBackend::THeadlessBackend() {
  FServices.SetLocalTime(FServices.LocalTime());
  FPreviousServices = SetSystemServices(&FServices);
  FPreviousPlatform = SetPlatform(this);
}

THeadlessBackend::~THeadlessBackend() {
  SetPlatform(FPreviousPlatform);
  SetSystemServices(FPreviousServices);
}

// ---- Inspection ---------------------------------------------------------------------------

THeadlessWindow& THeadlessBackend::Require(HWND Wnd) {
  auto It = FWindows.find(Wnd);
  if (It == FWindows.end()) throw Exception("No such window: " + HandleText(Wnd));
  return It->second;
}

const THeadlessWindow& THeadlessBackend::Require(HWND Wnd) const {
  auto It = FWindows.find(Wnd);
  if (It == FWindows.end()) throw Exception("No such window: " + HandleText(Wnd));
  return It->second;
}

std::vector<HWND> THeadlessBackend::WindowHandles() const {
  std::lock_guard<std::mutex> G(FLock);
  std::vector<HWND> R;
  for (const auto& [H, W] : FWindows) R.push_back(H);
  return R;
}

bool THeadlessBackend::HasWindow(HWND Wnd) const {
  std::lock_guard<std::mutex> G(FLock);
  return FWindows.count(Wnd) != 0;
}

THeadlessWindow THeadlessBackend::Window(HWND Wnd) const {
  std::lock_guard<std::mutex> G(FLock);
  return Require(Wnd);
}

TColor THeadlessBackend::PixelAt(HWND Wnd, int X, int Y) const {
  std::lock_guard<std::mutex> G(FLock);
  const THeadlessWindow& W = Require(Wnd);
  if (X < 0 || Y < 0 || X >= W.FrameWidth || Y >= W.FrameHeight) return CLR_INVALID;
  const uint32_t P =
      W.Pixels[static_cast<size_t>(Y) * static_cast<size_t>(W.FrameWidth) + static_cast<size_t>(X)];
  return RGB(static_cast<uint8_t>(P >> 16), static_cast<uint8_t>(P >> 8), static_cast<uint8_t>(P));
}

bool THeadlessBackend::HitTest(HWND Wnd, int X, int Y) const {
  std::lock_guard<std::mutex> G(FLock);
  const THeadlessWindow& W = Require(Wnd);
  if (X < 0 || Y < 0 || X >= W.Bounds.Width() || Y >= W.Bounds.Height()) return false;
  if (!W.HasRegion) return true;
  return std::any_of(W.Region.begin(), W.Region.end(),
                     [&](const TRect& R) { return R.Contains(X, Y); });
}

std::vector<std::string> THeadlessBackend::Log() const {
  std::lock_guard<std::mutex> G(FLock);
  return FLog;
}

void THeadlessBackend::ClearLog() {
  std::lock_guard<std::mutex> G(FLock);
  FLog.clear();
}

std::vector<std::string> THeadlessBackend::ErrorMessages() const {
  std::lock_guard<std::mutex> G(FLock);
  return FErrors;
}

std::vector<std::string> THeadlessBackend::ErrorTitles() const {
  std::lock_guard<std::mutex> G(FLock);
  return FErrorTitles;
}

void THeadlessBackend::Record(const std::string& Entry) {
  FLog.push_back(Entry);
}

// ---- Mouse and window events ----------------------------------------------------------------

TWindowClient* THeadlessBackend::ClientFor(HWND Wnd, int X, int Y, bool CheckRegion) {
  if (CheckRegion && !HitTest(Wnd, X, Y)) return nullptr;
  std::lock_guard<std::mutex> G(FLock);
  return Require(Wnd).Client;
}

bool THeadlessBackend::Deliver(HWND Wnd, TMouseAction Action, TMouseButton Button,
                               TShiftState Shift, int X, int Y, bool CheckRegion) {
  TWindowClient* C = ClientFor(Wnd, X, Y, CheckRegion);
  if (C == nullptr) return false;
  TMouseInput In;
  In.Action = Action;
  In.Button = Button;
  In.Shift = Shift;
  In.X = X;
  In.Y = Y;
  {
    std::lock_guard<std::mutex> G(FLock);
    const TRect B = Require(Wnd).Bounds;
    In.Screen = TPoint{B.Left + X, B.Top + Y};
    In.Time = static_cast<uint32_t>(FNow);
  }
  C->WindowMouse(In);
  Drain();
  return true;
}

bool THeadlessBackend::MouseMove(HWND Wnd, int X, int Y, TShiftState Shift) {
  return Deliver(Wnd, TMouseAction::maMove, TMouseButton::mbLeft, Shift, X, Y, true);
}

bool THeadlessBackend::MouseDown(HWND Wnd, TMouseButton Button, int X, int Y, TShiftState Shift) {
  return Deliver(Wnd, TMouseAction::maDown, Button, Shift, X, Y, true);
}

bool THeadlessBackend::MouseUp(HWND Wnd, TMouseButton Button, int X, int Y, TShiftState Shift) {
  // A release goes to the window that took the press, wherever the mouse is.
  return Deliver(Wnd, TMouseAction::maUp, Button, Shift, X, Y, false);
}

bool THeadlessBackend::Click(HWND Wnd, TMouseButton Button, int X, int Y) {
  if (!MouseDown(Wnd, Button, X, Y)) return false;
  return MouseUp(Wnd, Button, X, Y);
}

void THeadlessBackend::MouseLeave(HWND Wnd) {
  Deliver(Wnd, TMouseAction::maLeave, TMouseButton::mbLeft, 0, -1, -1, false);
}

void THeadlessBackend::FinishMoveDrag(HWND Wnd, int Left, int Top) {
  TWindowClient* C;
  {
    std::lock_guard<std::mutex> G(FLock);
    THeadlessWindow& W = Require(Wnd);
    W.Bounds = Bounds(Left, Top, W.Bounds.Width(), W.Bounds.Height());
    C = W.Client;
  }
  C->WindowMoved(Left, Top);
  Drain();
}

void THeadlessBackend::RequestClose(HWND Wnd) {
  ClientFor(Wnd, 0, 0, false)->WindowCloseRequest();
  Drain();
}

bool THeadlessBackend::QueryEndSession(HWND Wnd) {
  const bool R = ClientFor(Wnd, 0, 0, false)->WindowQueryEndSession();
  Drain();
  return R;
}

void THeadlessBackend::Expose(HWND Wnd) {
  ClientFor(Wnd, 0, 0, false)->WindowExposed();
}

// ---- Popup menu and tooltip ------------------------------------------------------------------

void THeadlessBackend::QueuePopupChoice(const std::string& ItemName) {
  std::lock_guard<std::mutex> G(FLock);
  FPopupChoices.push_back(ItemName);
}

int THeadlessBackend::PopupCount() const {
  std::lock_guard<std::mutex> G(FLock);
  return FPopupCount;
}

std::vector<TPopupMenuEntry> THeadlessBackend::LastPopupMenu() const {
  std::lock_guard<std::mutex> G(FLock);
  return FLastPopup;
}

TPoint THeadlessBackend::LastPopupPoint() const {
  std::lock_guard<std::mutex> G(FLock);
  return FLastPopupPoint;
}

int THeadlessBackend::TrackPopupMenu(HWND Owner, const std::vector<TPopupMenuEntry>& Items, int X,
                                     int Y) {
  std::string Choice;
  {
    std::lock_guard<std::mutex> G(FLock);
    ++FPopupCount;
    FLastPopup = Items;
    FLastPopupPoint = TPoint{X, Y};
    Record("TrackPopupMenu " + HandleText(Owner) + " " + std::to_string(X) + " " +
           std::to_string(Y));
    if (!FPopupChoices.empty()) {
      Choice = FPopupChoices.front();
      FPopupChoices.pop_front();
    }
  }
  if (Choice.empty()) return -1;
  const TPopupMenuEntry* E = FindEntry(Items, Choice);
  // A user can choose neither a separator, a submenu heading nor a disabled entry.
  if (E == nullptr || E->Separator || !E->Items.empty() || !E->Enabled) return -1;
  return E->Id;
}

void THeadlessBackend::ShowTooltip(const std::vector<std::string>& Lines, int X, int Y) {
  std::lock_guard<std::mutex> G(FLock);
  FTooltipVisible = true;
  FTooltipLines = Lines;
  ++FTooltipShows;
  Record("ShowTooltip " + std::to_string(X) + " " + std::to_string(Y));
}

void THeadlessBackend::HideTooltip() {
  std::lock_guard<std::mutex> G(FLock);
  FTooltipVisible = false;
  Record("HideTooltip");
}

bool THeadlessBackend::TooltipVisible() const {
  std::lock_guard<std::mutex> G(FLock);
  return FTooltipVisible;
}

std::vector<std::string> THeadlessBackend::TooltipLines() const {
  std::lock_guard<std::mutex> G(FLock);
  return FTooltipLines;
}

int THeadlessBackend::TooltipShowCount() const {
  std::lock_guard<std::mutex> G(FLock);
  return FTooltipShows;
}

// ---- Windows ---------------------------------------------------------------------------------

void THeadlessBackend::CreateWindow(HWND Wnd, TWindowClient* Client, const TWindowParams& P) {
  std::lock_guard<std::mutex> G(FLock);
  if (FWindows.count(Wnd) != 0) throw Exception("Window exists already: " + HandleText(Wnd));
  THeadlessWindow W;
  W.Client = Client;
  W.Bounds = P.Bounds;
  W.Caption = P.Caption;
  W.DropShadow = P.DropShadow;
  W.Layered = P.Layered;
  W.Alpha = P.Alpha;
  W.Topmost = P.Topmost;
  W.SkipTaskbar = P.SkipTaskbar;
  FWindows[Wnd] = std::move(W);
  Record("CreateWindow " + HandleText(Wnd));
}

void THeadlessBackend::DestroyWindow(HWND Wnd) {
  std::lock_guard<std::mutex> G(FLock);
  FWindows.erase(Wnd);
  Record("DestroyWindow " + HandleText(Wnd));
}

void THeadlessBackend::SetWindowBounds(HWND Wnd, const TRect& B) {
  std::lock_guard<std::mutex> G(FLock);
  Require(Wnd).Bounds = B;
  Record("SetWindowBounds " + HandleText(Wnd) + " " + std::to_string(B.Left) + " " +
         std::to_string(B.Top) + " " + std::to_string(B.Width()) + " " +
         std::to_string(B.Height()));
}

void THeadlessBackend::SetWindowCaption(HWND Wnd, const std::string& Caption) {
  std::lock_guard<std::mutex> G(FLock);
  Require(Wnd).Caption = Caption;
}

void THeadlessBackend::ShowWindow(HWND Wnd, bool Visible) {
  std::lock_guard<std::mutex> G(FLock);
  THeadlessWindow& W = Require(Wnd);
  if (Visible && !W.Visible && W.PresentCountWhenShown < 0)
    W.PresentCountWhenShown = W.PresentCount;
  W.Visible = Visible;
  Record("ShowWindow " + HandleText(Wnd) + " " + (Visible ? "1" : "0"));
}

void THeadlessBackend::PresentPixels(HWND Wnd, int Width, int Height, const uint32_t* Pixels) {
  std::lock_guard<std::mutex> G(FLock);
  auto It = FWindows.find(Wnd);
  if (It == FWindows.end()) return;  // a worker may present while the window goes away
  THeadlessWindow& W = It->second;
  W.FrameWidth = std::max(Width, 0);
  W.FrameHeight = std::max(Height, 0);
  const size_t N = static_cast<size_t>(W.FrameWidth) * static_cast<size_t>(W.FrameHeight);
  W.Pixels.assign(Pixels, Pixels + (Pixels != nullptr ? N : 0));
  W.Pixels.resize(N);
  ++W.PresentCount;
}

void THeadlessBackend::SetWindowRegion(HWND Wnd, const std::vector<TRect>* Rects) {
  std::lock_guard<std::mutex> G(FLock);
  THeadlessWindow& W = Require(Wnd);
  W.HasRegion = Rects != nullptr;
  W.Region = Rects != nullptr ? *Rects : std::vector<TRect>();
  Record("SetWindowRegion " + HandleText(Wnd) + " " + std::to_string(W.Region.size()));
}

void THeadlessBackend::SetWindowAlpha(HWND Wnd, bool Layered, uint8_t Alpha) {
  std::lock_guard<std::mutex> G(FLock);
  THeadlessWindow& W = Require(Wnd);
  W.Layered = Layered;
  W.Alpha = Alpha;
  Record("SetWindowAlpha " + HandleText(Wnd) + " " + (Layered ? "1 " : "0 ") +
         std::to_string(Alpha));
}

void THeadlessBackend::SetWindowTopmost(HWND Wnd, bool Topmost) {
  std::lock_guard<std::mutex> G(FLock);
  Require(Wnd).Topmost = Topmost;
  Record("SetWindowTopmost " + HandleText(Wnd) + " " + (Topmost ? "1" : "0"));
}

void THeadlessBackend::SetWindowSkipTaskbar(HWND Wnd, bool Skip) {
  std::lock_guard<std::mutex> G(FLock);
  Require(Wnd).SkipTaskbar = Skip;
  Record("SetWindowSkipTaskbar " + HandleText(Wnd) + " " + (Skip ? "1" : "0"));
}

void THeadlessBackend::SetWindowOwnerDesktop(HWND Wnd, bool OwnerDesktop) {
  std::lock_guard<std::mutex> G(FLock);
  Require(Wnd).OwnerDesktop = OwnerDesktop;
  Record("SetWindowOwnerDesktop " + HandleText(Wnd) + " " + (OwnerDesktop ? "1" : "0"));
}

void THeadlessBackend::SetWindowDropShadow(HWND Wnd, bool Shadow) {
  std::lock_guard<std::mutex> G(FLock);
  Require(Wnd).DropShadow = Shadow;
}

void THeadlessBackend::BeginMoveDrag(HWND Wnd, const TMoveDragStart& Start) {
  std::lock_guard<std::mutex> G(FLock);
  THeadlessWindow& W = Require(Wnd);
  ++W.MoveDragRequests;
  W.LastMoveDrag = Start;
  Record("BeginMoveDrag " + HandleText(Wnd) + " " + std::to_string(static_cast<int>(Start.Button)) +
         " " + std::to_string(Start.Screen.X) + " " + std::to_string(Start.Screen.Y) + " " +
         std::to_string(Start.Time));
}

void THeadlessBackend::ReleaseCapture() {
  std::lock_guard<std::mutex> G(FLock);
  Record("ReleaseCapture");
}

// ---- Timers, queue and loop ------------------------------------------------------------------

uint64_t THeadlessBackend::Now() const {
  std::lock_guard<std::mutex> G(FLock);
  return FNow;
}

size_t THeadlessBackend::TimerCount() const {
  std::lock_guard<std::mutex> G(FLock);
  return FTimers.size();
}

void THeadlessBackend::SetTimerLimit(int Limit) {
  std::lock_guard<std::mutex> G(FLock);
  FTimerLimit = Limit;
}

TTimerHandle THeadlessBackend::StartTimer(uint32_t Interval, std::function<void()> Tick) {
  std::lock_guard<std::mutex> G(FLock);
  if (FTimerLimit >= 0 && static_cast<int>(FTimers.size()) >= FTimerLimit) return 0;
  const TTimerHandle H = FNextTimer++;
  TTimer T;
  T.Interval = std::max<uint32_t>(Interval, 1);
  T.Due = FNow + T.Interval;
  T.Tick = std::move(Tick);
  FTimers[H] = std::move(T);
  return H;
}

void THeadlessBackend::StopTimer(TTimerHandle Timer) {
  std::function<void()> Old;  // destroyed outside the lock
  std::lock_guard<std::mutex> G(FLock);
  auto It = FTimers.find(Timer);
  if (It == FTimers.end()) return;
  Old = std::move(It->second.Tick);
  FTimers.erase(It);
}

void THeadlessBackend::Post(std::function<void()> Call) {
  {
    std::lock_guard<std::mutex> G(FLock);
    FPosted.push_back(std::move(Call));
  }
  FServices.Pulse();
}

size_t THeadlessBackend::PostedCount() const {
  std::lock_guard<std::mutex> G(FLock);
  return FPosted.size();
}

int THeadlessBackend::Drain() {
  int Ran = 0;
  for (;;) {
    std::function<void()> Call;
    {
      std::lock_guard<std::mutex> G(FLock);
      if (!FPosted.empty()) {
        Call = std::move(FPosted.front());
        FPosted.pop_front();
      }
    }
    if (Call) {
      DispatchGuarded(Application(), Call);
      ++Ran;
      continue;
    }
    const int Handed = FServices.ProcessQueuedCalls();
    if (Handed == 0) break;
    Ran += Handed;
  }
  return Ran;
}

void THeadlessBackend::At(uint64_t Time, std::function<void()> Action) {
  std::lock_guard<std::mutex> G(FLock);
  FActions.emplace(Time, std::move(Action));
}

std::optional<uint64_t> THeadlessBackend::NextDue() const {
  std::optional<uint64_t> Next;
  for (const auto& [H, T] : FTimers)
    if (!Next || T.Due < *Next) Next = T.Due;
  if (!FActions.empty() && (!Next || FActions.begin()->first < *Next))
    Next = FActions.begin()->first;
  return Next;
}

void THeadlessBackend::MoveClockTo(uint64_t Time) {
  uint64_t Delta = 0;
  {
    std::lock_guard<std::mutex> G(FLock);
    if (Time <= FNow) return;
    Delta = Time - FNow;
    FNow = Time;
  }
  FServices.AdvanceTime(Delta);
}

bool THeadlessBackend::FireNext(uint64_t Limit) {
  std::function<void()> Call;
  uint64_t When = 0;
  bool IsTimer = false;
  {
    std::lock_guard<std::mutex> G(FLock);
    // Earliest due time; among equal times scheduled actions first, then timers by start.
    TTimerHandle Best = 0;
    for (const auto& [H, T] : FTimers)
      if (Best == 0 || T.Due < FTimers.at(Best).Due) Best = H;
    const bool HaveAction = !FActions.empty() && FActions.begin()->first <= Limit;
    const bool HaveTimer = Best != 0 && FTimers.at(Best).Due <= Limit;
    if (HaveAction && (!HaveTimer || FActions.begin()->first <= FTimers.at(Best).Due)) {
      When = FActions.begin()->first;
      Call = std::move(FActions.begin()->second);
      FActions.erase(FActions.begin());
    } else if (HaveTimer) {
      TTimer& T = FTimers.at(Best);
      IsTimer = true;
      When = T.Due;
      T.Due += T.Interval;
      Call = T.Tick;
    } else {
      return false;
    }
  }
  MoveClockTo(When);
  if (Call) {
    if (IsTimer)
      DispatchGuarded(Application(), Call);
    else
      Call();  // a test's own scripted action: its failures are the test's to see
  }
  Drain();
  return true;
}

void THeadlessBackend::Advance(uint64_t Milliseconds) {
  Drain();
  const uint64_t Target = Now() + Milliseconds;
  while (FireNext(Target)) {
  }
  MoveClockTo(Target);
  Drain();
}

void THeadlessBackend::RunLoop() {
  FLoopStalled = false;
  const uint64_t Limit = Now() + FLoopLimit;
  while (!FQuit) {
    Drain();
    if (FQuit) break;
    std::optional<uint64_t> Next;
    {
      std::lock_guard<std::mutex> G(FLock);
      Next = NextDue();
    }
    if (!Next) {
      FLoopStalled = true;
      break;
    }
    if (*Next > Limit) {
      MoveClockTo(Limit);
      break;
    }
    FireNext(*Next);
  }
  FQuit = false;
}

void THeadlessBackend::QuitLoop() {
  FQuit = true;
  Record("QuitLoop");
}

// ---- Screen and reports ----------------------------------------------------------------------

void THeadlessBackend::SetWorkArea(const TRect& Area) {
  std::lock_guard<std::mutex> G(FLock);
  FWorkArea = Area;
}

void THeadlessBackend::SetScreenSize(int Width, int Height) {
  std::lock_guard<std::mutex> G(FLock);
  FScreenSize = TPoint{Width, Height};
}

TRect THeadlessBackend::WorkArea() {
  std::lock_guard<std::mutex> G(FLock);
  return FWorkArea;
}

TPoint THeadlessBackend::ScreenSize() {
  std::lock_guard<std::mutex> G(FLock);
  return FScreenSize;
}

void THeadlessBackend::ShowErrorMessage(const std::string& Title, const std::string& Message) {
  std::lock_guard<std::mutex> G(FLock);
  FErrors.push_back(Message);
  FErrorTitles.push_back(Title);
  Record("ShowErrorMessage " + Message);
}

}  // namespace orn
