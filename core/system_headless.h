// The headless system services, used by the unit tests and by the headless backend.
//  - GUI thread: the thread that created the instance (SetGUIThreadId changes it). Nobody
//    drains the call queue on its own: the test (or a headless loop) calls
//    ProcessQueuedCalls; a call made on the GUI thread runs at once.
//  - Clipboard: kept in memory.
//  - Clock: follows the real local time and steady clock until SetLocalTime freezes it;
//    from then on only AdvanceTime moves it. With SetVirtualSleep(true), Sleep waits until
//    AdvanceTime has moved the monotonic clock far enough instead of sleeping really.
//  - Registry: kept in memory, or in the store given to SetRegistryStore;
//  SetRegistryWritable(false) makes every write and delete fail,
//    SetRegistryOpenable(false) makes every key fail to open (values read as missing).
//  - Shell: requests are recorded (OpenedURLs, StartedProcesses), nothing is started; the
//    executable path is set by the test.
//  - Random: a fixed-seed generator, so runs repeat; SetRandomValues scripts the next results.
#pragma once

#include <map>
#include <random>

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

  bool RegCreateKey(const std::string& Key) override;
  std::optional<TRegValue> RegQueryValue(const std::string& Key, const std::string& Name) override;
  bool RegSetValue(const std::string& Key, const std::string& Name,
                   const TRegValue& Value) override;
  bool RegDeleteValue(const std::string& Key, const std::string& Name) override;
  void SetRegistryWritable(bool Writable);
  void SetRegistryOpenable(bool Openable);
  // Keeps the registry in Store (not owned) instead of in memory; nil goes back to memory.
  void SetRegistryStore(TRegistryStore* Store);
  bool RegKeyExists(const std::string& Key) const;
  void ClearRegistry();

  struct TStartedProcess {
    std::string Executable;
    std::vector<std::string> Arguments;
  };
  bool OpenURL(const std::string& Url) override;
  bool StartProcess(const std::string& Executable,
                    const std::vector<std::string>& Arguments) override;
  std::string ExecutablePath() const override;
  void SetExecutablePath(const std::string& Path);
  std::vector<std::string> OpenedURLs() const;
  std::vector<TStartedProcess> StartedProcesses() const;
  void ClearShellRecords();

  void Randomize() override;
  int32_t Random(int32_t Range) override;
  // The next results of Random, in order (each taken modulo its Range); then the generator.
  void SetRandomValues(std::vector<int32_t> Values);
  // How many times Randomize was called.
  int RandomizeCount() const;

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

  // Key path (upper-cased) -> value name (upper-cased) -> value.
  std::map<std::string, std::map<std::string, TRegValue>> FRegistry;
  bool FRegistryWritable = true;
  bool FRegistryOpenable = true;
  TRegistryStore* FRegistryStore = nullptr;

  std::string FExecutablePath = "/usr/local/bin/ornament";
  std::vector<std::string> FOpenedURLs;
  std::vector<TStartedProcess> FStartedProcesses;

  std::mt19937 FRandom{20261211};
  std::deque<int32_t> FRandomValues;
  int FRandomizeCount = 0;
};

// The instance SystemServices() returns while no other is installed.
THeadlessSystemServices& DefaultHeadlessServices();

}  // namespace orn
