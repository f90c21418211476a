#include "ui/timer.h"

#include "core/exceptions.h"
#include "ui/application.h"

namespace orn {

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) {
  FWindowHandle = AllocateHWnd([this](TMessage& M) { WndProc(M); });
}

TTimer::~TTimer() {
  FEnabled = false;
  UpdateTimer();
  DeallocateHWnd(FWindowHandle);
}

void TTimer::SetEnabled(bool Value) {
  if (FEnabled == Value) return;
  FEnabled = Value;
  UpdateTimer();
}

void TTimer::SetInterval(uint32_t Value) {
  if (FInterval == Value) return;
  FInterval = Value;
  UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent Value) {
  FOnTimer = std::move(Value);
  UpdateTimer();
}

void TTimer::Loaded() {
  TComponent::Loaded();
  UpdateTimer();
}

void TTimer::UpdateTimer() {
  KillTimer(FWindowHandle, 1);
  // While a description is read the properties arrive one by one; the timer starts once all
  // of them are there.
  if (InState(TComponentStateItem::csLoading)) return;
  if (FInterval != 0 && FEnabled && FOnTimer) {
    if (SetTimer(FWindowHandle, 1, FInterval) == 0)
      throw EOutOfResources("Not enough timers available");
  }
}

void TTimer::WndProc(TMessage& Message) {
  if (Message.Msg == WM_TIMER) {
    DispatchGuarded(this, [this] { Timer(); });
    Message.Result = 0;
    return;
  }
  Message.Result = DefWindowProc(FWindowHandle, Message.Msg, Message.WParam, Message.LParam);
}

void TTimer::Timer() {
  if (FEnabled && FOnTimer) FOnTimer(this);
}

void TTimer::DeclareProperties(TPropertyList& Props) const {
  TComponent::DeclareProperties(Props);
  auto P = Props.Of<TTimer>();
  P.Bool("Enabled", &TTimer::Enabled, &TTimer::SetEnabled, true);
  P.Int("Interval", &TTimer::Interval, &TTimer::SetInterval, 1000);
  P.Event("OnTimer", &TTimer::OnTimer, &TTimer::SetOnTimer);
}

}  // namespace orn
