// The Windows backend: what it makes of the seam's calls, checked with the Windows API itself.
#include "ui/win32/win32_backend.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "ui/menus.h"
#include "ui/win32/win32_text.h"

#include <windows.h>

#include <commctrl.h>

#undef CreateWindow

namespace orn {
namespace {

// Records what the backend tells the owner of a window.
class TRecordingClient : public TWindowClient {
 public:
  void WindowMouse(const TMouseInput& In) override { Events.push_back(In); }
  void WindowMoved(int Left, int Top) override { Moves.push_back({Left, Top}); }
  void WindowCloseRequest() override { ++CloseRequests; }
  bool WindowQueryEndSession() override {
    ++EndSessionQueries;
    return AgreeToEndSession;
  }
  void WindowExposed() override { ++Exposures; }

  std::vector<TMouseInput> Events;
  std::vector<TPoint> Moves;
  int CloseRequests = 0;
  int EndSessionQueries = 0;
  bool AgreeToEndSession = true;
  int Exposures = 0;
};

class Win32BackendTest : public testing::Test {
 protected:
  ::HWND Make(const TWindowParams& P, HWND Handle = 0x20000) {
    B.CreateWindow(Handle, &Client, P);
    return static_cast<::HWND>(B.NativeWindow(Handle));
  }
  TWindowParams Params() {
    TWindowParams P;
    P.Bounds = Bounds(40, 30, 118, 170);
    P.Caption = "Tolvane";
    return P;
  }
  // Runs the message loop until nothing is waiting.
  void Pump() { B.ProcessPending(); }

  TWin32Backend B;
  TRecordingClient Client;
};

LONG_PTR ExStyle(::HWND W) {
  return GetWindowLongPtrW(W, GWL_EXSTYLE);
}

TEST_F(Win32BackendTest, CreationParametersBecomeWindowStyles) {
  const struct {
    bool DropShadow, Layered, Topmost, SkipTaskbar;
    uint8_t Alpha;
  } Cases[] = {
      {true, true, true, true, 225},
      {false, false, false, false, 255},
      {true, false, true, false, 255},
      {false, true, false, true, 30},
  };
  HWND Handle = 0x30000;
  for (const auto& C : Cases) {
    SCOPED_TRACE(Handle);
    TWindowParams P = Params();
    P.DropShadow = C.DropShadow;
    P.Layered = C.Layered;
    P.Alpha = C.Alpha;
    P.Topmost = C.Topmost;
    P.SkipTaskbar = C.SkipTaskbar;
    ::HWND W = Make(P, Handle);
    ASSERT_NE(W, nullptr);
    EXPECT_EQ((GetClassLongPtrW(W, GCL_STYLE) & CS_DROPSHADOW) != 0, C.DropShadow);
    EXPECT_EQ((ExStyle(W) & WS_EX_LAYERED) != 0, C.Layered);
    EXPECT_EQ((ExStyle(W) & WS_EX_TOPMOST) != 0, C.Topmost);
    EXPECT_EQ((ExStyle(W) & WS_EX_TOOLWINDOW) != 0, C.SkipTaskbar);
    EXPECT_EQ((ExStyle(W) & WS_EX_APPWINDOW) != 0, !C.SkipTaskbar);
    if (C.Layered) {
      BYTE Alpha = 0;
      DWORD Flags = 0;
      ASSERT_TRUE(GetLayeredWindowAttributes(W, nullptr, &Alpha, &Flags));
      EXPECT_EQ(Alpha, C.Alpha);
      EXPECT_TRUE(Flags & LWA_ALPHA);
    }
    // Borderless: the client area is the whole window, where it was asked for.
    EXPECT_EQ(GetWindowLongPtrW(W, GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME | WS_SYSMENU), 0);
    RECT R;
    GetWindowRect(W, &R);
    EXPECT_EQ(R.left, 40);
    EXPECT_EQ(R.top, 30);
    GetClientRect(W, &R);
    EXPECT_EQ(R.right, 118);
    EXPECT_EQ(R.bottom, 170);
    // Owned by the hidden application window, which is never shown.
    EXPECT_EQ(GetWindow(W, GW_OWNER), static_cast<::HWND>(B.ApplicationWindow()));
    EXPECT_FALSE(IsWindowVisible(static_cast<::HWND>(B.ApplicationWindow())));
    B.DestroyWindow(Handle);
    EXPECT_FALSE(IsWindow(W));
    Handle += 4;
  }
}

TEST_F(Win32BackendTest, AlphaTopmostTaskbarOwnerAndCaptionChangeLater) {
  ::HWND W = Make(Params());
  B.SetWindowAlpha(0x20000, true, 130);
  BYTE Alpha = 0;
  ASSERT_TRUE(GetLayeredWindowAttributes(W, nullptr, &Alpha, nullptr));
  EXPECT_EQ(Alpha, 130);
  B.SetWindowAlpha(0x20000, false, 130);
  EXPECT_EQ(ExStyle(W) & WS_EX_LAYERED, 0);
  B.SetWindowAlpha(0x20000, true, 230);
  EXPECT_NE(ExStyle(W) & WS_EX_LAYERED, 0);
  ASSERT_TRUE(GetLayeredWindowAttributes(W, nullptr, &Alpha, nullptr));
  EXPECT_EQ(Alpha, 230);

  B.SetWindowSkipTaskbar(0x20000, true);
  EXPECT_NE(ExStyle(W) & WS_EX_TOOLWINDOW, 0);
  EXPECT_EQ(ExStyle(W) & WS_EX_APPWINDOW, 0);

  B.SetWindowOwnerDesktop(0x20000, true);
  EXPECT_EQ(reinterpret_cast<::HWND>(GetWindowLongPtrW(W, GWLP_HWNDPARENT)), ::GetDesktopWindow());
  // On top and back, as the ornament switches it once the desktop owns its window. (Wine
  // keeps a window topmost while a hidden owner sits right below it in the z-order, so the
  // switch back is checked in this state.)
  B.ShowWindow(0x20000, true);
  B.SetWindowTopmost(0x20000, true);
  EXPECT_NE(ExStyle(W) & WS_EX_TOPMOST, 0);
  B.SetWindowTopmost(0x20000, false);
  EXPECT_EQ(ExStyle(W) & WS_EX_TOPMOST, 0);
  B.SetWindowTopmost(0x20000, true);
  EXPECT_NE(ExStyle(W) & WS_EX_TOPMOST, 0);
  B.SetWindowOwnerDesktop(0x20000, false);
  EXPECT_EQ(GetWindow(W, GW_OWNER), static_cast<::HWND>(B.ApplicationWindow()));

  B.SetWindowCaption(0x20000, "T\xC3\xB6lvane \xE2\x9D\x84");
  wchar_t Text[64];
  GetWindowTextW(W, Text, 64);
  EXPECT_EQ(std::wstring(Text), L"T\u00f6lvane \u2744");

  B.SetWindowBounds(0x20000, Bounds(-70, -140, 180, 200));
  RECT R;
  GetWindowRect(W, &R);
  EXPECT_EQ(R.left, -70);
  EXPECT_EQ(R.top, -140);
  EXPECT_EQ(R.right - R.left, 180);
  EXPECT_EQ(R.bottom - R.top, 200);
}

TEST_F(Win32BackendTest, RegionIsTheUnionOfTheRectangles) {
  ::HWND W = Make(Params());
  const std::vector<TRect> Rects = {Rect(0, 0, 118, 1), Rect(10, 1, 20, 2), Rect(30, 1, 31, 2),
                                    Rect(5, 100, 50, 170), Rect(0, 0, 0, 0)};
  B.SetWindowRegion(0x20000, &Rects);
  ::HRGN Got = ::CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(::GetWindowRgn(W, Got), ERROR);
  for (int Y = 0; Y < 170; ++Y)
    for (int X = 0; X < 118; ++X) {
      bool Inside = false;
      for (const TRect& R : Rects) Inside = Inside || R.Contains(X, Y);
      ASSERT_EQ(::PtInRegion(Got, X, Y) != FALSE, Inside) << X << "," << Y;
    }
  const std::vector<TRect> None;
  B.SetWindowRegion(0x20000, &None);
  ASSERT_NE(::GetWindowRgn(W, Got), ERROR);
  RECT Box;
  EXPECT_EQ(::GetRgnBox(Got, &Box), NULLREGION);
  B.SetWindowRegion(0x20000, nullptr);
  EXPECT_EQ(::GetWindowRgn(W, Got), ERROR);  // no region any more
  ::DeleteObject(Got);
}

TEST_F(Win32BackendTest, PresentingInvalidatesOnlyWhatChangedAndPaintShowsIt) {
  ::HWND W = Make(Params());
  B.ShowWindow(0x20000, true);
  std::vector<uint32_t> Pixels(118 * 170, 0x00336699);
  B.PresentPixels(0x20000, 118, 170, Pixels.data());
  UpdateWindow(W);
  RECT Update;
  EXPECT_FALSE(GetUpdateRect(W, &Update, FALSE));
  // One changed pixel: the update area is that pixel only.
  Pixels[5 * 118 + 7] = 0x00FF0000;
  Pixels[9 * 118 + 3] = 0x0000FF00;
  B.PresentPixels(0x20000, 118, 170, Pixels.data());
  ASSERT_TRUE(GetUpdateRect(W, &Update, FALSE));
  EXPECT_EQ(Update.left, 3);
  EXPECT_EQ(Update.top, 5);
  EXPECT_EQ(Update.right, 8);
  EXPECT_EQ(Update.bottom, 10);
  UpdateWindow(W);
  // The same pixels again: nothing to repaint.
  B.PresentPixels(0x20000, 118, 170, Pixels.data());
  EXPECT_FALSE(GetUpdateRect(W, &Update, FALSE));
  // What was painted, read back from the window (red in the low byte of a COLORREF).
  ::HDC Dc = ::GetDC(W);
  EXPECT_EQ(::GetPixel(Dc, 7, 5), RGB(0xFF, 0, 0));
  EXPECT_EQ(::GetPixel(Dc, 3, 9), RGB(0, 0xFF, 0));
  EXPECT_EQ(::GetPixel(Dc, 60, 100), RGB(0x33, 0x66, 0x99));
  ::ReleaseDC(W, Dc);
  // Presenting from another thread works as well.
  std::fill(Pixels.begin(), Pixels.end(), 0x00010203);
  std::thread([&] { B.PresentPixels(0x20000, 118, 170, Pixels.data()); }).join();
  UpdateWindow(W);
  Dc = ::GetDC(W);
  EXPECT_EQ(::GetPixel(Dc, 117, 169), RGB(1, 2, 3));
  ::ReleaseDC(W, Dc);
}

TEST_F(Win32BackendTest, MouseAndCloseMessagesReachTheClient) {
  ::HWND W = Make(Params());
  SendMessageW(W, WM_RBUTTONDOWN, MK_RBUTTON | MK_SHIFT, MAKELPARAM(12, 34));
  EXPECT_EQ(GetCapture(), W);
  SendMessageW(W, WM_MOUSEMOVE, MK_RBUTTON, MAKELPARAM(-3, 40));
  SendMessageW(W, WM_RBUTTONUP, 0, MAKELPARAM(13, 35));
  EXPECT_EQ(GetCapture(), nullptr);  // no button held any more
  SendMessageW(W, WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(1, 2));
  ASSERT_EQ(Client.Events.size(), 4u);
  EXPECT_EQ(Client.Events[0].Action, TMouseAction::maDown);
  EXPECT_EQ(Client.Events[0].Button, TMouseButton::mbRight);
  EXPECT_EQ(Client.Events[0].Shift, ssRight | ssShift);
  EXPECT_EQ(Client.Events[0].X, 12);
  EXPECT_EQ(Client.Events[0].Y, 34);
  // The window stands at 40,30.
  EXPECT_EQ(Client.Events[0].Screen.X, 52);
  EXPECT_EQ(Client.Events[0].Screen.Y, 64);
  EXPECT_EQ(Client.Events[1].Action, TMouseAction::maMove);
  EXPECT_EQ(Client.Events[1].X, -3);  // outside the window while captured
  EXPECT_EQ(Client.Events[2].Action, TMouseAction::maUp);
  EXPECT_EQ(Client.Events[2].Button, TMouseButton::mbRight);
  EXPECT_EQ(Client.Events[3].Button, TMouseButton::mbMiddle);
  EXPECT_EQ(GetCapture(), W);  // the middle button is held
  SendMessageW(W, WM_LBUTTONDOWN, MK_LBUTTON | MK_MBUTTON, MAKELPARAM(1, 2));
  SendMessageW(W, WM_MBUTTONUP, MK_LBUTTON, MAKELPARAM(1, 2));
  EXPECT_EQ(GetCapture(), W);  // the left one still is
  B.ReleaseCapture();
  EXPECT_EQ(GetCapture(), nullptr);

  // Every way of closing asks the client; none destroys the window by itself.
  SendMessageW(W, WM_CLOSE, 0, 0);
  SendMessageW(W, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(Client.CloseRequests, 2);
  EXPECT_EQ(SendMessageW(W, WM_QUERYENDSESSION, 0, 0), TRUE);
  Client.AgreeToEndSession = false;
  EXPECT_EQ(SendMessageW(W, WM_QUERYENDSESSION, 0, 0), FALSE);
  EXPECT_EQ(Client.EndSessionQueries, 2);
  SendMessageW(W, WM_ENDSESSION, FALSE, 0);  // the session goes on
  EXPECT_EQ(Client.CloseRequests, 2);
  SendMessageW(W, WM_ENDSESSION, TRUE, 0);
  EXPECT_EQ(Client.CloseRequests, 3);
  EXPECT_TRUE(IsWindow(W));
}

TEST_F(Win32BackendTest, TimersPostedCallsAndQuittingTheLoop) {
  int Ticks = 0;
  TTimerHandle T = 0;
  T = B.StartTimer(10, [&] {
    if (++Ticks == 3) {
      B.StopTimer(T);  // a tick may stop its own timer
      B.QuitLoop();
    }
  });
  ASSERT_NE(T, 0u);
  std::atomic<int> Posted{0};
  std::thread Worker([&] {
    B.Post([&] { ++Posted; });
    // A hand-over through the services is served by the same loop.
    SystemServices().RunOnGUIThread([&] { ++Posted; });
  });
  const ULONGLONG Start = GetTickCount64();
  B.RunLoop();
  Worker.join();
  EXPECT_EQ(Ticks, 3);
  EXPECT_GE(GetTickCount64() - Start, 20u);
  Pump();
  EXPECT_EQ(Posted, 2);
  // Asked to quit before it runs, the loop returns at once.
  B.QuitLoop();
  B.RunLoop();
  SUCCEED();
}

TEST_F(Win32BackendTest, PopupMenuIsBuiltFromTheEntries) {
  auto Entry = [](int Id, const std::string& Caption) {
    TPopupMenuEntry E;
    E.Id = Id;
    E.Caption = Caption;
    return E;
  };
  TPopupMenuEntry About = Entry(0, "About...");
  About.Default = true;
  TPopupMenuEntry Download = Entry(1, "Download");
  TPopupMenuEntry Heading = Entry(2, ">>> Software <<<");
  Heading.Enabled = false;
  TPopupMenuEntry Line = Entry(3, "");
  Line.Separator = true;
  Download.Items = {Heading, Line, Entry(4, "Tick & frame")};
  TPopupMenuEntry Line2 = Line;
  Line2.Id = 5;
  TPopupMenuEntry Level = Entry(6, "10%");
  Level.Radio = true;
  Level.Checked = true;
  TPopupMenuEntry OnTop = Entry(7,
                                "\xC3\x9C"
                                "ber allen");
  OnTop.Checked = true;

  HMENU M =
      static_cast<HMENU>(TWin32Backend::BuildPopupMenu({About, Download, Line2, Level, OnTop}));
  ASSERT_EQ(GetMenuItemCount(M), 5);
  auto Info = [&](HMENU Menu, int Pos, std::wstring* Text) {
    MENUITEMINFOW I{};
    I.cbSize = sizeof(I);
    wchar_t Buffer[128] = {};
    I.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
    I.dwTypeData = Buffer;
    I.cch = 128;
    EXPECT_TRUE(GetMenuItemInfoW(Menu, static_cast<UINT>(Pos), TRUE, &I));
    if (Text) *Text = Buffer;
    return I;
  };
  std::wstring Text;
  MENUITEMINFOW I = Info(M, 0, &Text);
  EXPECT_EQ(Text, L"About...");
  EXPECT_TRUE(I.fState & MFS_DEFAULT);
  EXPECT_EQ(I.wID, 1u);  // the entry's Id + 1
  I = Info(M, 1, &Text);
  ASSERT_NE(I.hSubMenu, nullptr);
  ASSERT_EQ(GetMenuItemCount(I.hSubMenu), 3);
  MENUITEMINFOW Sub = Info(I.hSubMenu, 0, &Text);
  EXPECT_TRUE(Sub.fState & MFS_GRAYED);
  EXPECT_TRUE(Info(I.hSubMenu, 1, nullptr).fType & MFT_SEPARATOR);
  Sub = Info(I.hSubMenu, 2, &Text);
  EXPECT_EQ(Text, L"Tick && frame");  // a plain '&', not a mnemonic mark
  EXPECT_EQ(Sub.wID, 5u);
  EXPECT_TRUE(Info(M, 2, nullptr).fType & MFT_SEPARATOR);
  I = Info(M, 3, &Text);
  EXPECT_EQ(Text, L"10%");
  EXPECT_TRUE(I.fType & MFT_RADIOCHECK);
  EXPECT_TRUE(I.fState & MFS_CHECKED);
  EXPECT_FALSE(I.fState & (MFS_GRAYED | MFS_DEFAULT));
  I = Info(M, 4, &Text);
  EXPECT_EQ(Text, L"\u00dcber allen");
  EXPECT_TRUE(I.fState & MFS_CHECKED);
  EXPECT_FALSE(I.fType & MFT_RADIOCHECK);
  EXPECT_EQ(I.wID, 8u);
  DestroyMenu(M);
}

// The menu is modal: while it is open, posted calls and timers still run, and a choice made
// with the keyboard comes back as the entry's Id.
TEST_F(Win32BackendTest, OpenMenuKeepsServingTheLoopAndReturnsTheChoice) {
  ::HWND W = Make(Params());
  B.ShowWindow(0x20000, true);
  TPopupMenuEntry First, Second;
  First.Id = 4;
  First.Caption = "First";
  Second.Id = 9;
  Second.Caption = "Second";
  int Ticks = 0;
  const TTimerHandle T = B.StartTimer(10, [&] {
    if (++Ticks == 3) {
      // Down twice, then Enter: the second entry.
      for (WORD Key : {VK_DOWN, VK_DOWN, VK_RETURN}) {
        INPUT In[2] = {};
        In[0].type = In[1].type = INPUT_KEYBOARD;
        In[0].ki.wVk = In[1].ki.wVk = Key;
        In[1].ki.dwFlags = KEYEVENTF_KEYUP;
        SendInput(2, In, sizeof(INPUT));
      }
    }
  });
  std::atomic<bool> Handed{false};
  std::thread Worker([&] { SystemServices().RunOnGUIThread([&] { Handed = true; }); });
  const int Chosen = B.TrackPopupMenu(0x20000, {First, Second}, 50, 50);
  Worker.join();
  B.StopTimer(T);
  EXPECT_GE(Ticks, 3);
  EXPECT_TRUE(Handed);
  EXPECT_EQ(Chosen, 9);
  (void)W;
}

TEST_F(Win32BackendTest, TooltipShowsTheLinesAndHides) {
  B.ShowTooltip({"2 days", "till Christmas"}, 300, 200);
  ::HWND Tip = FindWindowW(TOOLTIPS_CLASSW, nullptr);
  ASSERT_NE(Tip, nullptr);
  TTTOOLINFOW Tool{};
  Tool.cbSize = TTTOOLINFOW_V2_SIZE;
  wchar_t Buffer[128] = {};
  Tool.lpszText = Buffer;
  ASSERT_EQ(SendMessageW(Tip, TTM_GETTOOLCOUNT, 0, 0), 1);
  ASSERT_TRUE(SendMessageW(Tip, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&Tool)));
  EXPECT_EQ(std::wstring(Buffer), L"2 days\r\ntill Christmas");
  EXPECT_TRUE(IsWindowVisible(Tip));
  B.HideTooltip();
  EXPECT_FALSE(IsWindowVisible(Tip));
}

TEST_F(Win32BackendTest, ScreenAndWorkArea) {
  const TPoint Size = B.ScreenSize();
  EXPECT_EQ(Size.X, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_GT(Size.X, 0);
  const TRect Work = B.WorkArea();
  EXPECT_GT(Work.Width(), 0);
  EXPECT_LE(Work.Width(), Size.X);
  EXPECT_LE(Work.Height(), Size.Y);
}

}  // namespace
}  // namespace orn
