// The system-services seam: everything below the window system that touches the real
// machine goes through one TSystemServices object. A backend derives from it and installs
// its instance at start-up with SetSystemServices; until one does, SystemServices() returns
// the process-wide headless instance (core/system_headless.h), so unit tests need no set-up.
//
// Services:
//  - GUI-thread hand-over. The queue of calls waiting for the GUI thread lives here, in
//    portable code; a backend only says which thread is the GUI thread and how to wake that
//    thread's loop (WakeGUIThread) so that it calls ProcessQueuedCalls. A thread blocked in
//    RunOnGUIThread waits until the GUI thread has run its call.
//  - The clipboard: formats registered by name (numbers from 0xC000 upward, stable per
//    name), open/close/empty, bytes per format. The standard format CF_BITMAP carries a
//    bitmap as the bytes of a BMP file.
//  - The clock: local date and time (millisecond resolution), monotonic milliseconds, and
//    the sleep that timer threads use.
//  - The per-user registry store: keys named by their path under the current user's root
//    ("Software\\Fernlight"), values that keep their type and bytes.
//  - The shell: opening a web page, starting a process, the program's own path and
//    command line.
//  - Random numbers.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/datetime.h"

namespace orn {

using TClipboardFormat = uint32_t;
// The standard bitmap format; its data are the bytes of a BMP file.
constexpr TClipboardFormat CF_BITMAP = 2;
// The first number handed out for a registered format name.
constexpr TClipboardFormat FirstRegisteredClipboardFormat = 0xC000;

// Registry value types (the numbers the Windows registry uses).
using TRegDataType = uint32_t;
constexpr TRegDataType REG_NONE = 0;
constexpr TRegDataType REG_SZ = 1;
constexpr TRegDataType REG_EXPAND_SZ = 2;
constexpr TRegDataType REG_BINARY = 3;
constexpr TRegDataType REG_DWORD = 4;

// A stored registry value: its type and its bytes as stored (a REG_DWORD is 4 bytes, little
// endian; a REG_SZ is UTF-8 text with its terminating zero).
struct TRegValue {
  TRegDataType Type = REG_NONE;
  std::vector<uint8_t> Data;
  bool operator==(const TRegValue&) const = default;
};

// A per-user registry kept outside a services object (in files, on a desktop that has no
// registry). Its four operations mean what the services' registry operations below mean.
class TRegistryStore {
 public:
  virtual ~TRegistryStore() = default;
  virtual bool CreateKey(const std::string& Key) = 0;
  virtual std::optional<TRegValue> QueryValue(const std::string& Key, const std::string& Name) = 0;
  virtual bool SetValue(const std::string& Key, const std::string& Name,
                        const TRegValue& Value) = 0;
  virtual bool DeleteValue(const std::string& Key, const std::string& Name) = 0;
};

class TSystemServices {
 public:
  TSystemServices() = default;
  TSystemServices(const TSystemServices&) = delete;
  TSystemServices& operator=(const TSystemServices&) = delete;
  virtual ~TSystemServices() = default;

  // ---- GUI-thread hand-over -------------------------------------------------------------

  // The thread that runs the message loop.
  virtual std::thread::id GUIThreadId() const = 0;
  bool IsGUIThread() const { return std::this_thread::get_id() == GUIThreadId(); }

  // Runs Call on the GUI thread and waits until it has returned. Called on the GUI thread it
  // runs Call at once. An exception raised by Call is raised again in the caller.
  void RunOnGUIThread(const std::function<void()>& Call);

  // GUI thread only: runs every call queued so far (and calls queued while they run) in the
  // order they were queued. Returns how many ran. Called from another thread it does nothing
  // and returns 0.
  int ProcessQueuedCalls();
  // Number of calls waiting for the GUI thread.
  size_t QueuedCallCount() const;

  // Blocks until a call is queued, Until (when given) returns true, Pulse is called or
  // Timeout passes. True when calls are waiting. Used by a GUI thread that has to wait for
  // something else without starving the threads that wait for it (TThread::WaitFor). Until
  // is evaluated under the queue's lock: whoever makes it true must call Pulse afterwards,
  // so the wake-up cannot be missed.
  bool WaitForQueuedCalls(std::chrono::milliseconds Timeout,
                          const std::function<bool()>& Until = nullptr);
  // Wakes every thread blocked in WaitForQueuedCalls.
  void Pulse();

  // ---- Clipboard ------------------------------------------------------------------------

  // The number of the format named Name; the same name always gives the same number
  // (names compare case-insensitively), new names get numbers from 0xC000 upward.
  // Raises EClipboardException for an empty name.
  virtual TClipboardFormat RegisterClipboardFormat(const std::string& Name) = 0;
  // The name a registered format was given; empty for standard or unknown numbers.
  virtual std::string ClipboardFormatName(TClipboardFormat Format) const = 0;

  // Open and close nest. A backend raises EClipboardException "Cannot open clipboard" when
  // the system's clipboard cannot be had. SetClipboardData, GetClipboardData, EmptyClipboard
  // and an unmatched CloseClipboard raise EClipboardException "Clipboard is not open" while
  // the clipboard is closed.
  virtual void OpenClipboard() = 0;
  virtual void CloseClipboard() = 0;
  virtual void EmptyClipboard() = 0;
  virtual void SetClipboardData(TClipboardFormat Format, std::vector<uint8_t> Data) = 0;
  // The bytes stored under Format, or nothing when the clipboard holds no such format.
  virtual std::optional<std::vector<uint8_t>> GetClipboardData(TClipboardFormat Format) = 0;
  // Works whether the clipboard is open or not.
  virtual bool HasClipboardFormat(TClipboardFormat Format) const = 0;

  // ---- Clock ----------------------------------------------------------------------------

  // Current local date and time with its DayOfWeek set.
  virtual TDateTimeParts LocalTime() const = 0;
  // Milliseconds from an arbitrary start; never goes backwards.
  virtual uint64_t TickCount() const = 0;
  // Blocks the calling thread for Milliseconds (a plain sleep, not cut short).
  virtual void Sleep(uint32_t Milliseconds) = 0;

  // ---- Per-user registry store -----------------------------------------------------------
  // Key is a path under the current user's root with backslashes between its parts; key and
  // value names compare case-insensitively. GUI thread only.

  // Opens the key, creating it (and the keys above it) when missing. False when the key
  // cannot be opened or created; its values then read as missing.
  virtual bool RegCreateKey(const std::string& Key) = 0;
  // The value Name of Key; nothing when the key or the value does not exist or cannot be read.
  virtual std::optional<TRegValue> RegQueryValue(const std::string& Key,
                                                 const std::string& Name) = 0;
  // Stores Name under Key (creating the key); false when the store refuses the write.
  virtual bool RegSetValue(const std::string& Key, const std::string& Name,
                           const TRegValue& Value) = 0;
  // Removes Name from Key; removing a missing value succeeds. False when the store refuses.
  virtual bool RegDeleteValue(const std::string& Key, const std::string& Name) = 0;

  // ---- Shell ---------------------------------------------------------------------------

  // Asks the desktop to open Url in the user's default browser, maximised where the system
  // can. Does not wait for the browser; false when the request could not be made.
  virtual bool OpenURL(const std::string& Url) = 0;
  // Starts Executable as an independent process, shown normally, with Arguments (each element
  // reaches the new process as one argument, spaces and quotes included). Does not wait for
  // it; false when it could not be started.
  virtual bool StartProcess(const std::string& Executable,
                            const std::vector<std::string>& Arguments) = 0;
  // The full path of the running program's executable file.
  virtual std::string ExecutablePath() const = 0;
  // The program's command-line arguments, without the program name. The program entry sets
  // them (SetCommandLineArguments); a backend with its own source may override this.
  virtual std::vector<std::string> CommandLineArguments() const;
  void SetCommandLineArguments(std::vector<std::string> Arguments);

  // ---- Random numbers ------------------------------------------------------------------

  // Reseeds the generator from the clock.
  virtual void Randomize() = 0;
  // A uniformly chosen number in [0, Range); 0 when Range is 0 or negative.
  virtual int32_t Random(int32_t Range) = 0;

 protected:
  // Tells the GUI thread's loop that calls are waiting; the loop then calls
  // ProcessQueuedCalls. Called from any thread, with no lock of this class held.
  virtual void WakeGUIThread() = 0;

 private:
  struct TQueuedCall {
    const std::function<void()>* Call = nullptr;
    std::exception_ptr Error;
    bool Done = false;
  };

  mutable std::mutex FQueueLock;
  std::condition_variable FQueueChanged;  // a call was queued or one has finished
  std::deque<TQueuedCall*> FQueue;
  uint64_t FPulseCount = 0;

  mutable std::mutex FArgumentsLock;
  std::vector<std::string> FArguments;
};

// The installed services; the process-wide headless instance when none is installed.
TSystemServices& SystemServices();
// Installs Services (not owned; nil goes back to the headless instance) and returns the
// one installed before. Install before any thread uses the services: calls queued on the
// old instance stay with it.
TSystemServices* SetSystemServices(TSystemServices* Services);

// Installs services for the lifetime of this object and restores the previous ones.
class TSystemServicesScope {
 public:
  explicit TSystemServicesScope(TSystemServices& Services)
      : FPrevious(SetSystemServices(&Services)) {}
  ~TSystemServicesScope() { SetSystemServices(FPrevious); }
  TSystemServicesScope(const TSystemServicesScope&) = delete;
  TSystemServicesScope& operator=(const TSystemServicesScope&) = delete;

 private:
  TSystemServices* FPrevious;
};

}  // namespace orn
