// The system services of the GTK backend: the GUI thread is the thread that runs the GTK main
// loop, whose queue source is woken when a call is handed over; the clipboard is the X
// clipboard (registered format names are X targets, the bitmap format is image/bmp); the
// registry is the XDG file store; web pages go to the desktop's URI launcher and further
// instances are spawned detached.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <map>
#include <mutex>
#include <random>

#include "core/system.h"
#include "ui/xdg/xdg_registry.h"

namespace orn {

class TGtkSystemServices : public TSystemServices {
 public:
  // Wake is called (from any thread) when calls wait for the GUI thread.
  explicit TGtkSystemServices(std::function<void()> Wake);
  ~TGtkSystemServices() override;

  std::thread::id GUIThreadId() const override { return FGUIThread; }
  // Hands what this process put on the clipboard to the clipboard manager (when there is
  // one) and gives the clipboard up. GUI thread.
  void ReleaseClipboard();

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
  TXdgRegistryStore& RegistryStore() { return FStore; }

  bool OpenURL(const std::string& Url) override;
  bool StartProcess(const std::string& Executable,
                    const std::vector<std::string>& Arguments) override;
  std::string ExecutablePath() const override;

  void Randomize() override;
  int32_t Random(int32_t Range) override;

 protected:
  void WakeGUIThread() override { FWake(); }

 private:
  // The X target that carries Format; empty for a format the clipboard cannot carry.
  std::string TargetOf(TClipboardFormat Format) const;
  static void ClipboardGet(GtkClipboard* Clipboard, GtkSelectionData* Selection, guint Info,
                           gpointer Self);
  static void ClipboardClear(GtkClipboard* Clipboard, gpointer Self);

  std::function<void()> FWake;
  std::thread::id FGUIThread;

  mutable std::mutex FLock;
  std::map<std::string, TClipboardFormat> FFormatByName;  // upper-cased name
  std::map<TClipboardFormat, std::string> FNameByFormat;
  int FOpenCount = 0;
  bool FChanged = false;                                      // written while open
  std::map<TClipboardFormat, std::vector<uint8_t>> FWritten;  // what this process offers
  bool FOwner = false;                                        // the X clipboard holds FWritten

  TXdgRegistryStore FStore;

  std::mt19937 FRandom{5489u};
};

}  // namespace orn
