// TTimer: a message timer. A hidden message window receives WM_TIMER from a window timer and
// calls OnTimer on the GUI thread every Interval ms while Enabled is on, Interval is not 0 and
// OnTimer is assigned.
#pragma once

#include <cstdint>

#include "core/component.h"
#include "core/properties.h"
#include "ui/messages.h"

namespace orn {

class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* AOwner);
  ~TTimer() override;
  std::string ClassName() const override { return "TTimer"; }

  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  uint32_t Interval() const { return FInterval; }
  void SetInterval(uint32_t Value);
  const TNotifyEvent& OnTimer() const { return FOnTimer; }
  // Raises EOutOfResources "Not enough timers available" when no window timer is left.
  void SetOnTimer(TNotifyEvent Value);
  // Enabled (default True), Interval (default 1000), OnTimer.
  void DeclareProperties(TPropertyList& Props) const override;

 protected:
  virtual void Timer();
  void Loaded() override;

 private:
  void UpdateTimer();
  void WndProc(TMessage& Message);

  bool FEnabled = true;
  uint32_t FInterval = 1000;
  TNotifyEvent FOnTimer;
  HWND FWindowHandle = 0;
};

}  // namespace orn
