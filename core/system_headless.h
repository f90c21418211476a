// The headless system services, used by the unit tests and by the headless backend.
//  - GUI thread: the thread that created the instance (SetGUIThreadId changes it). Nobody
//    drains the call queue on its own: the test (or a headless loop) calls
//    ProcessQueuedCalls; a call made on the GUI thread runs at once.
//  - Clipboard: kept in memory.
//  - Clock: follows the real local time and steady clock until SetLocalTime freezes it;
//    from then on only AdvanceTime moves it. With SetVirtualSleep(true), Sleep waits until
//    AdvanceTime has moved the monotonic clock far enough instead of sleeping really.
#pragma once

#include <map>

#include "core/system.h"

namespace orn {

class THeadlessSystemServices : public TSystemServices {
 public:
  THeadlessSystemServices();
  ~THeadlessSystemServices() override;

  std::thread::id GUIThreadId() const override;
  void SetGUIThreadId(std::thread::id Id);

  TClipboardFormat RegisterClipboardFormat(const std::string& Name) override;
  std::string ClipboardFormatName(TClipboardFormat Format) const override;
  void OpenClipboard() override;
  void CloseClipboard() override;
  void EmptyClipboard() override;
  void SetClipboardData(TClipboardFormat Format, std::vector<uint8_t> Data) override;
  std::optional<std::vector<uint8_t>> GetClipboardData(TClipboardFormat Format) override;
  bool HasClipboardFormat(TClipboardFormat Format) const override;
  bool ClipboardIsOpen() const;

  TDateTimeParts LocalTime() const override;
  uint64_t TickCount() const override;
  void Sleep(uint32_t Milliseconds) override;

  // Freezes the clock at Parts (validated: EConvertError for impossible fields).
  void SetLocalTime(const TDateTimeParts& Parts);
  // Moves a frozen clock (local time and TickCount) forward; freezes a running one first.
  void AdvanceTime(uint64_t Milliseconds);
  // Returns the clock to real time.
  void UseRealClock();
  bool ClockFrozen() const;
  void SetVirtualSleep(bool On);

  // How many times the GUI thread has been woken since creation.
  uint64_t WakeCount() const;

 protected:
  void WakeGUIThread() override;

 private:
  mutable std::mutex FLock;
  std::condition_variable FClockChanged;
  std::thread::id FGUIThread;

  std::map<std::string, TClipboardFormat> FFormatByName;  // upper-cased name
  std::map<TClipboardFormat, std::string> FNameByFormat;
  std::map<TClipboardFormat, std::vector<uint8_t>> FClipboard;
  int FOpenCount = 0;

  bool FFrozen = false;
  bool FVirtualSleep = false;
  TDateTimeParts FFrozenTime;
  uint64_t FFrozenTicks = 0;
  uint64_t FWakeCount = 0;
};

// The instance SystemServices() returns while no other is installed.
THeadlessSystemServices& DefaultHeadlessServices();

}  // namespace orn
