// The Windows backend: each form window is a real top-level Win32 window, created with
// CreateWindowExW and driven by the message loop of the thread that made the backend.
//  - Presenting copies the finished client pixels into the window's buffer and invalidates
//    only the changed rectangle; WM_PAINT shows the buffer with SetDIBitsToDevice.
//  - A drop shadow is the class style CS_DROPSHADOW (two window classes, with and without);
//    alpha is WS_EX_LAYERED with SetLayeredWindowAttributes(LWA_ALPHA), switched off by
//    removing the style; the region is one ExtCreateRegion call from the rectangles.
//  - Every form window is owned by a hidden application window, so it has no taskbar button
//    unless asked for one (WS_EX_APPWINDOW); skipping the taskbar also sets WS_EX_TOOLWINDOW.
//    Owning by the desktop sets GWLP_HWNDPARENT to the desktop window.
//  - A move drag is ReleaseCapture and WM_SYSCOMMAND 0xF012 to the window, whose default
//    handling runs the system's move loop; the client learns the new place afterwards. The
//    loop swallows the button's release: when the window did not move, the release is
//    reported to the client as the mouse-up it would have been.
//  - Popup menus are built from the entries when they open and shown with
//    TrackPopupMenu(TPM_RETURNCMD); tooltips use the common-controls tooltip window.
//  - Timers are SetTimer on a hidden message window, posted calls are messages to it, so both
//    keep running inside modal loops (menus, message boxes, the move loop).
//
// Creating a TWin32Backend installs it as the window system and its TWin32SystemServices as
// the system services for its lifetime. Windows declarations stay out of this header.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "ui/platform.h"
#include "ui/win32/win32_services.h"

namespace orn {

class TWin32Backend : public TPlatform {
 public:
  TWin32Backend();
  ~TWin32Backend() override;
  TWin32Backend(const TWin32Backend&) = delete;
  TWin32Backend& operator=(const TWin32Backend&) = delete;

  TWin32SystemServices& Services() { return FServices; }

  // The Win32 window (an HWND) behind a window of the UI layer; nullptr when there is none.
  void* NativeWindow(HWND Wnd) const;
  // The hidden window that owns the form windows.
  void* ApplicationWindow() const { return FAppWindow; }

  // Builds the native popup menu (an HMENU) of the entries; an entry's command number is its
  // Id + 1 (0 means no choice). The caller destroys the menu with DestroyMenu.
  static void* BuildPopupMenu(const std::vector<TPopupMenuEntry>& Entries);
  // The region (an HRGN) that is the union of Rects, made in one call; nullptr for none.
  static void* CreateRegionFromRects(const std::vector<TRect>& Rects);

  // ---- TPlatform -------------------------------------------------------------------------
  void CreateWindow(HWND Wnd, TWindowClient* Client, const TWindowParams& Params) override;
  void DestroyWindow(HWND Wnd) override;
  void SetWindowBounds(HWND Wnd, const TRect& Bounds) override;
  void SetWindowCaption(HWND Wnd, const std::string& Caption) override;
  void ShowWindow(HWND Wnd, bool Visible) override;
  void PresentPixels(HWND Wnd, int Width, int Height, const uint32_t* Pixels) override;
  void SetWindowRegion(HWND Wnd, const std::vector<TRect>* Rects) override;
  void SetWindowAlpha(HWND Wnd, bool Layered, uint8_t Alpha) override;
  void SetWindowTopmost(HWND Wnd, bool Topmost) override;
  void SetWindowSkipTaskbar(HWND Wnd, bool Skip) override;
  void SetWindowOwnerDesktop(HWND Wnd, bool OwnerDesktop) override;
  void SetWindowDropShadow(HWND Wnd, bool Shadow) override;
  void BeginMoveDrag(HWND Wnd, const TMoveDragStart& Start) override;
  void ReleaseCapture() override;
  int TrackPopupMenu(HWND Owner, const std::vector<TPopupMenuEntry>& Items, int X, int Y) override;
  void ShowTooltip(const std::vector<std::string>& Lines, int X, int Y) override;
  void HideTooltip() override;
  TTimerHandle StartTimer(uint32_t Interval, std::function<void()> Tick) override;
  void StopTimer(TTimerHandle Timer) override;
  void Post(std::function<void()> Call) override;
  void RunLoop() override;
  void QuitLoop() override;
  void ProcessPending() override;
  TRect WorkArea() override;
  TPoint ScreenSize() override;
  void ShowErrorMessage(const std::string& Title, const std::string& Message) override;

  // Window procedure of the form windows and of the hidden message window (internal).
  struct TWindow;
  intptr_t HandleFormMessage(TWindow& W, uint32_t Msg, uintptr_t WParam, intptr_t LParam);
  intptr_t HandleLoopMessage(uint32_t Msg, uintptr_t WParam, intptr_t LParam);

 private:
  std::shared_ptr<TWindow> Find(HWND Wnd) const;
  int RunPosted();
  void PaintWindow(TWindow& W);

  TWin32SystemServices FServices;
  TSystemServices* FPreviousServices = nullptr;
  TPlatform* FPreviousPlatform = nullptr;

  void* FAppWindow = nullptr;      // hidden owner of the form windows
  void* FMessageWindow = nullptr;  // timers and posted calls
  void* FTooltip = nullptr;        // tooltip window, made on first use

  mutable std::mutex FLock;
  std::map<HWND, std::shared_ptr<TWindow>> FWindows;
  std::deque<std::function<void()>> FPosted;
  std::map<TTimerHandle, std::shared_ptr<std::function<void()>>> FTimers;
  TTimerHandle FNextTimer = 1;
  bool FQuit = false;
};

}  // namespace orn
