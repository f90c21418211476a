// Window messages and the window table. Every window the UI layer knows (a form's top-level
// window, a hidden message window) has a handle in one process-wide table that maps it to the
// method handling its messages. SendMessage calls that method at once on the calling thread;
// PostMessage queues the message for the GUI thread's loop. Window timers deliver WM_TIMER to
// the window that started them, on the GUI thread.
#pragma once

#include <cstdint>
#include <functional>

namespace orn {

using HWND = uintptr_t;  // 0 = no window
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using UINT = uint32_t;

struct TMessage {
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
};

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_MOVE = 0x0003;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUERYENDSESSION = 0x0011;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_ENDSESSION = 0x0016;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_CONTEXTMENU = 0x007B;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_RBUTTONDBLCLK = 0x0206;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_MBUTTONDBLCLK = 0x0209;
constexpr UINT WM_MOUSELEAVE = 0x02A3;
constexpr UINT WM_QUERYNEWPALETTE = 0x030F;
constexpr UINT WM_PALETTECHANGED = 0x0311;
constexpr UINT WM_USER = 0x0400;

// Notifications between controls.
constexpr UINT CM_BASE = 0xB000;
constexpr UINT CM_MOUSEENTER = CM_BASE + 19;
constexpr UINT CM_MOUSELEAVE = CM_BASE + 20;
constexpr UINT CM_HINTSHOW = CM_BASE + 48;

// Commands of WM_SYSCOMMAND (the low four bits carry a hit-test code).
constexpr WPARAM SC_MOVE = 0xF010;
constexpr WPARAM SC_CLOSE = 0xF060;
constexpr WPARAM SC_DRAGMOVE = 0xF012;  // SC_MOVE with the caption hit-test code

// Key and button state in the WParam of mouse messages.
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_SHIFT = 0x0004;
constexpr WPARAM MK_CONTROL = 0x0008;
constexpr WPARAM MK_MBUTTON = 0x0010;

// Mouse positions travel in the LParam as two signed 16-bit values, x in the low half.
constexpr LPARAM MakeLParam(int Low, int High) {
  return static_cast<LPARAM>(static_cast<uint32_t>(static_cast<uint16_t>(Low)) |
                             (static_cast<uint32_t>(static_cast<uint16_t>(High)) << 16));
}
constexpr int LParamX(LPARAM L) {
  return static_cast<int16_t>(static_cast<uint32_t>(L) & 0xFFFF);
}
constexpr int LParamY(LPARAM L) {
  return static_cast<int16_t>((static_cast<uint32_t>(L) >> 16) & 0xFFFF);
}

using TWndMethod = std::function<void(TMessage& Message)>;

// A hidden window that only receives messages: Method gets every message sent or posted to
// it, including WM_TIMER from its window timers. GUI thread only.
HWND AllocateHWnd(TWndMethod Method);
// Stops the window's timers and removes it; messages still queued for it are dropped.
void DeallocateHWnd(HWND Wnd);

// Enters a window into the table with its message method (used for form windows).
HWND RegisterWindow(TWndMethod Method);
void UnregisterWindow(HWND Wnd);
bool IsWindow(HWND Wnd);

// Calls the window's method at once; 0 for an unknown window.
LRESULT SendMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
// Queues the message for the GUI thread (any thread may post). False for an unknown window.
bool PostMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
// The default handling of a message no method took: every result is 0.
LRESULT DefWindowProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);

// Starts (or restarts with the new interval) the window timer IDEvent of Wnd: WM_TIMER with
// WParam IDEvent arrives every Interval ms on the GUI thread. Returns IDEvent, or 0 when the
// window is unknown, IDEvent is 0 or the window system has no timer left.
uintptr_t SetTimer(HWND Wnd, uintptr_t IDEvent, uint32_t Interval);
// Stops the timer; false when there was none.
bool KillTimer(HWND Wnd, uintptr_t IDEvent);

}  // namespace orn
