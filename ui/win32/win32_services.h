// The system services on Windows: the GUI-thread hand-over through a message posted to a
// hidden message window, the system clipboard, the local clock and the system's sleep, the
// per-user registry (HKEY_CURRENT_USER), the shell (web pages, further processes) and the
// program's own path and command line. Text crosses this class as UTF-8 and is converted to
// UTF-16 at every Windows call.
//
// Create the instance on the thread that runs the message loop: that thread becomes the GUI
// thread, and the hidden window that wakes it belongs to it. Windows declarations stay out
// of this header, so portable code and tests can include it.
#pragma once

#include <mutex>
#include <random>

#include "core/system.h"

namespace orn {

class TWin32SystemServices : public TSystemServices {
 public:
  TWin32SystemServices();
  ~TWin32SystemServices() override;

  std::thread::id GUIThreadId() const override { return FGUIThread; }

  TClipboardFormat RegisterClipboardFormat(const std::string& Name) override;
  std::string ClipboardFormatName(TClipboardFormat Format) const override;
  void OpenClipboard() override;
  void CloseClipboard() override;
  void EmptyClipboard() override;
  void SetClipboardData(TClipboardFormat Format, std::vector<uint8_t> Data) override;
  std::optional<std::vector<uint8_t>> GetClipboardData(TClipboardFormat Format) override;
  bool HasClipboardFormat(TClipboardFormat Format) const override;

  TDateTimeParts LocalTime() const override;
  uint64_t TickCount() const override;
  void Sleep(uint32_t Milliseconds) override;

  bool RegCreateKey(const std::string& Key) override;
  std::optional<TRegValue> RegQueryValue(const std::string& Key, const std::string& Name) override;
  bool RegSetValue(const std::string& Key, const std::string& Name,
                   const TRegValue& Value) override;
  bool RegDeleteValue(const std::string& Key, const std::string& Name) override;

  bool OpenURL(const std::string& Url) override;
  bool StartProcess(const std::string& Executable,
                    const std::vector<std::string>& Arguments) override;
  std::string ExecutablePath() const override;
  // The arguments of the running process as Windows parses its UTF-16 command line.
  std::vector<std::string> CommandLineArguments() const override;

  void Randomize() override;
  int32_t Random(int32_t Range) override;

  // The command line that StartProcess gives the system: the executable always in quotes,
  // each argument quoted (backslashes before quotes doubled) only when it needs to be, so
  // that the started program's parser gets the arguments back unchanged.
  static std::string BuildCommandLine(const std::string& Executable,
                                      const std::vector<std::string>& Arguments);

 protected:
  void WakeGUIThread() override;

 private:
  std::thread::id FGUIThread;
  void* FWakeWindow = nullptr;  // HWND of the hidden window whose messages run queued calls
  bool FComInitialized = false;

  mutable std::mutex FLock;
  int FClipboardOpenCount = 0;
  std::mt19937 FRandom;
};

}  // namespace orn
