#include "ui/win32/win32_backend.h"

#include <algorithm>
#include <cstring>

#include "core/exceptions.h"
#include "ui/application.h"
#include "ui/menus.h"
#include "ui/win32/win32_text.h"

// After the system's own headers: windows.h defines macros for several of the names above.
#include <windows.h>

#include <commctrl.h>

#undef CreateWindow

namespace orn {

namespace {

constexpr UINT WM_ORN_POST = WM_APP + 2;
constexpr wchar_t FormClass[] = L"OrnamentForm";
constexpr wchar_t FormShadowClass[] = L"OrnamentFormShadow";
constexpr wchar_t AppClass[] = L"OrnamentApplication";
constexpr wchar_t LoopClass[] = L"OrnamentLoop";

// The special window handles of windows.h, spelled out: its macros name HWND, which inside this
// namespace is the UI layer's own handle type.
const ::HWND MessageOnlyParent = reinterpret_cast<::HWND>(static_cast<intptr_t>(-3));
const ::HWND TopmostPlace = reinterpret_cast<::HWND>(static_cast<intptr_t>(-1));
const ::HWND NotTopmostPlace = reinterpret_cast<::HWND>(static_cast<intptr_t>(-2));

::HWND Native(void* P) {
  return static_cast<::HWND>(P);
}

TWin32Backend* GBackend = nullptr;

LRESULT CALLBACK FormWndProc(::HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
LRESULT CALLBACK LoopWndProc(::HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);

void RegisterClasses() {
  static const bool Done = [] {
    const HINSTANCE Instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW C{};
    C.cbSize = sizeof(C);
    C.hInstance = Instance;
    C.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    // The program's icon (resource 1), when the executable carries one.
    C.hIcon = LoadIconW(Instance, MAKEINTRESOURCEW(1));
    C.lpfnWndProc = FormWndProc;
    C.lpszClassName = FormClass;
    bool Ok = RegisterClassExW(&C) != 0;
    C.style = CS_DROPSHADOW;
    C.lpszClassName = FormShadowClass;
    Ok = Ok && RegisterClassExW(&C) != 0;
    C.style = 0;
    C.lpfnWndProc = DefWindowProcW;
    C.lpszClassName = AppClass;
    Ok = Ok && RegisterClassExW(&C) != 0;
    C.hIcon = nullptr;
    C.lpfnWndProc = LoopWndProc;
    C.lpszClassName = LoopClass;
    Ok = Ok && RegisterClassExW(&C) != 0;
    return Ok;
  }();
  if (!Done) throw EOutOfResources("Cannot register the window classes");
}

TShiftState ShiftOf(WPARAM Keys) {
  TShiftState S = 0;
  if (Keys & MK_SHIFT) S |= ssShift;
  if (Keys & MK_CONTROL) S |= ssCtrl;
  if (Keys & MK_LBUTTON) S |= ssLeft;
  if (Keys & MK_RBUTTON) S |= ssRight;
  if (Keys & MK_MBUTTON) S |= ssMiddle;
  if (GetKeyState(VK_MENU) < 0) S |= ssAlt;
  return S;
}

int SignedLow(LPARAM L) {
  return static_cast<int16_t>(static_cast<uint32_t>(L) & 0xFFFF);
}
int SignedHigh(LPARAM L) {
  return static_cast<int16_t>((static_cast<uint32_t>(L) >> 16) & 0xFFFF);
}

void SetExStyle(::HWND Wnd, LONG_PTR Add, LONG_PTR Remove) {
  const LONG_PTR Old = GetWindowLongPtrW(Wnd, GWL_EXSTYLE);
  const LONG_PTR New = (Old | Add) & ~Remove;
  if (New != Old) SetWindowLongPtrW(Wnd, GWL_EXSTYLE, New);
}

}  // namespace

struct TWin32Backend::TWindow {
  TWin32Backend* Backend = nullptr;
  HWND Handle = 0;
  ::HWND Wnd = nullptr;
  TWindowClient* Client = nullptr;
  bool TrackingLeave = false;

  std::mutex PixelLock;  // presenting may happen on any thread
  int Width = 0;
  int Height = 0;
  std::vector<uint32_t> Pixels;
};

namespace {

LRESULT CALLBACK FormWndProc(::HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Msg == WM_NCCREATE) {
    auto* Create = reinterpret_cast<CREATESTRUCTW*>(LParam);
    SetWindowLongPtrW(Wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(Create->lpCreateParams));
  }
  auto* W = reinterpret_cast<TWin32Backend::TWindow*>(GetWindowLongPtrW(Wnd, GWLP_USERDATA));
  if (W == nullptr || W->Client == nullptr) return DefWindowProcW(Wnd, Msg, WParam, LParam);
  if (W->Wnd == nullptr) W->Wnd = Wnd;
  return W->Backend->HandleFormMessage(*W, Msg, WParam, LParam);
}

LRESULT CALLBACK LoopWndProc(::HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (GBackend != nullptr && (Msg == WM_TIMER || Msg == WM_ORN_POST))
    return GBackend->HandleLoopMessage(Msg, WParam, LParam);
  return DefWindowProcW(Wnd, Msg, WParam, LParam);
}

}  // namespace

TWin32Backend::TWin32Backend() {
  RegisterClasses();
  // Client pixels are shown one for one, whatever the display's scale factor.
  SetProcessDPIAware();
  INITCOMMONCONTROLSEX Controls{sizeof(Controls), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&Controls);
  const HINSTANCE Instance = GetModuleHandleW(nullptr);
  FAppWindow = CreateWindowExW(WS_EX_TOOLWINDOW, AppClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                               nullptr, Instance, nullptr);
  FMessageWindow = CreateWindowExW(0, LoopClass, L"", 0, 0, 0, 0, 0, MessageOnlyParent, nullptr,
                                   Instance, nullptr);
  if (FAppWindow == nullptr || FMessageWindow == nullptr)
    throw EOutOfResources("Cannot create the application windows");
  GBackend = this;
  FPreviousServices = SetSystemServices(&FServices);
  FPreviousPlatform = SetPlatform(this);
}

TWin32Backend::~TWin32Backend() {
  SetPlatform(FPreviousPlatform);
  SetSystemServices(FPreviousServices);
  std::vector<std::shared_ptr<TWindow>> Left;
  {
    std::lock_guard<std::mutex> G(FLock);
    for (auto& [H, W] : FWindows) Left.push_back(W);
    FWindows.clear();
    for (auto& [Id, T] : FTimers) ::KillTimer(Native(FMessageWindow), Id);
    FTimers.clear();
  }
  for (auto& W : Left) {
    SetWindowLongPtrW(W->Wnd, GWLP_USERDATA, 0);
    ::DestroyWindow(W->Wnd);
  }
  if (FTooltip != nullptr) ::DestroyWindow(Native(FTooltip));
  GBackend = nullptr;
  ::DestroyWindow(Native(FMessageWindow));
  ::DestroyWindow(Native(FAppWindow));
}

std::shared_ptr<TWin32Backend::TWindow> TWin32Backend::Find(HWND Wnd) const {
  std::lock_guard<std::mutex> G(FLock);
  auto It = FWindows.find(Wnd);
  return It == FWindows.end() ? nullptr : It->second;
}

void* TWin32Backend::NativeWindow(HWND Wnd) const {
  auto W = Find(Wnd);
  return W ? W->Wnd : nullptr;
}

// ---- Windows --------------------------------------------------------------------------------

void TWin32Backend::CreateWindow(HWND Wnd, TWindowClient* Client, const TWindowParams& P) {
  if (Find(Wnd)) throw Exception("Window exists already");
  auto W = std::make_shared<TWindow>();
  W->Backend = this;
  W->Handle = Wnd;
  W->Client = Client;
  DWORD ExStyle = P.SkipTaskbar ? WS_EX_TOOLWINDOW : WS_EX_APPWINDOW;
  if (P.Layered) ExStyle |= WS_EX_LAYERED;
  if (P.Topmost) ExStyle |= WS_EX_TOPMOST;
  const std::wstring Caption = Wide(P.Caption);
  ::HWND N = CreateWindowExW(ExStyle, P.DropShadow ? FormShadowClass : FormClass, Caption.c_str(),
                             WS_POPUP | WS_CLIPCHILDREN, P.Bounds.Left, P.Bounds.Top,
                             P.Bounds.Width(), P.Bounds.Height(), Native(FAppWindow), nullptr,
                             GetModuleHandleW(nullptr), W.get());
  if (N == nullptr) throw EOutOfResources("Cannot create window");
  W->Wnd = N;
  // A layered window shows nothing until its attributes are set.
  if (P.Layered) SetLayeredWindowAttributes(N, 0, P.Alpha, LWA_ALPHA);
  std::lock_guard<std::mutex> G(FLock);
  FWindows[Wnd] = std::move(W);
}

void TWin32Backend::DestroyWindow(HWND Wnd) {
  std::shared_ptr<TWindow> W;
  {
    std::lock_guard<std::mutex> G(FLock);
    auto It = FWindows.find(Wnd);
    if (It == FWindows.end()) return;
    W = std::move(It->second);
    FWindows.erase(It);
  }
  SetWindowLongPtrW(W->Wnd, GWLP_USERDATA, 0);
  ::DestroyWindow(W->Wnd);
}

void TWin32Backend::SetWindowBounds(HWND Wnd, const TRect& B) {
  if (auto W = Find(Wnd))
    ::SetWindowPos(W->Wnd, nullptr, B.Left, B.Top, B.Width(), B.Height(),
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWin32Backend::SetWindowCaption(HWND Wnd, const std::string& Caption) {
  if (auto W = Find(Wnd)) SetWindowTextW(W->Wnd, Wide(Caption).c_str());
}

void TWin32Backend::ShowWindow(HWND Wnd, bool Visible) {
  if (auto W = Find(Wnd)) ::ShowWindow(W->Wnd, Visible ? SW_SHOW : SW_HIDE);
}

void TWin32Backend::PresentPixels(HWND Wnd, int Width, int Height, const uint32_t* Pixels) {
  auto W = Find(Wnd);
  if (!W) return;  // a worker may present while the window goes away
  Width = std::max(Width, 0);
  Height = std::max(Height, 0);
  const size_t N = static_cast<size_t>(Width) * static_cast<size_t>(Height);
  RECT Dirty{0, 0, Width, Height};
  {
    std::lock_guard<std::mutex> G(W->PixelLock);
    if (W->Width == Width && W->Height == Height && Pixels != nullptr) {
      // Only the rows and columns that changed are repainted.
      int Top = Height, Bottom = -1, Left = Width, Right = -1;
      for (int Y = 0; Y < Height; ++Y) {
        const uint32_t* New = Pixels + static_cast<size_t>(Y) * Width;
        const uint32_t* Old = W->Pixels.data() + static_cast<size_t>(Y) * Width;
        if (std::memcmp(New, Old, static_cast<size_t>(Width) * 4) == 0) continue;
        Top = std::min(Top, Y);
        Bottom = Y;
        int X0 = 0;
        while (New[X0] == Old[X0]) ++X0;
        int X1 = Width - 1;
        while (New[X1] == Old[X1]) --X1;
        Left = std::min(Left, X0);
        Right = std::max(Right, X1);
      }
      if (Bottom < 0) return;  // nothing changed
      Dirty = RECT{Left, Top, Right + 1, Bottom + 1};
    }
    W->Width = Width;
    W->Height = Height;
    if (Pixels != nullptr)
      W->Pixels.assign(Pixels, Pixels + N);
    else
      W->Pixels.assign(N, 0);
  }
  InvalidateRect(W->Wnd, &Dirty, FALSE);
}

void TWin32Backend::PaintWindow(TWindow& W) {
  bool Empty;
  {
    std::lock_guard<std::mutex> G(W.PixelLock);
    Empty = W.Pixels.empty();
  }
  // Pixels lost or never presented: ask the form for them first.
  if (Empty) W.Client->WindowExposed();
  PAINTSTRUCT Paint;
  ::HDC Dc = BeginPaint(W.Wnd, &Paint);
  {
    std::lock_guard<std::mutex> G(W.PixelLock);
    if (!W.Pixels.empty()) {
      BITMAPINFO Info{};
      Info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
      Info.bmiHeader.biWidth = W.Width;
      Info.bmiHeader.biHeight = -W.Height;  // top-down rows
      Info.bmiHeader.biPlanes = 1;
      Info.bmiHeader.biBitCount = 32;
      Info.bmiHeader.biCompression = BI_RGB;
      // The device context clips the transfer to the part that needs painting.
      SetDIBitsToDevice(Dc, 0, 0, static_cast<DWORD>(W.Width), static_cast<DWORD>(W.Height), 0, 0,
                        0, static_cast<UINT>(W.Height), W.Pixels.data(), &Info, DIB_RGB_COLORS);
    }
  }
  EndPaint(W.Wnd, &Paint);
}

void* TWin32Backend::CreateRegionFromRects(const std::vector<TRect>& Rects) {
  std::vector<RECT> Parts;
  Parts.reserve(Rects.size());
  RECT Bound{0, 0, 0, 0};
  for (const TRect& R : Rects) {
    if (R.Right <= R.Left || R.Bottom <= R.Top) continue;
    Parts.push_back(RECT{R.Left, R.Top, R.Right, R.Bottom});
    if (Parts.size() == 1) {
      Bound = Parts.back();
    } else {
      Bound.left = std::min<LONG>(Bound.left, R.Left);
      Bound.top = std::min<LONG>(Bound.top, R.Top);
      Bound.right = std::max<LONG>(Bound.right, R.Right);
      Bound.bottom = std::max<LONG>(Bound.bottom, R.Bottom);
    }
  }
  std::vector<uint8_t> Data(sizeof(RGNDATAHEADER) + Parts.size() * sizeof(RECT));
  RGNDATAHEADER Header{};
  Header.dwSize = sizeof(RGNDATAHEADER);
  Header.iType = RDH_RECTANGLES;
  Header.nCount = static_cast<DWORD>(Parts.size());
  Header.nRgnSize = static_cast<DWORD>(Parts.size() * sizeof(RECT));
  Header.rcBound = Bound;
  std::memcpy(Data.data(), &Header, sizeof(Header));
  if (!Parts.empty())
    std::memcpy(Data.data() + sizeof(Header), Parts.data(), Parts.size() * sizeof(RECT));
  return ExtCreateRegion(nullptr, static_cast<DWORD>(Data.size()),
                         reinterpret_cast<const RGNDATA*>(Data.data()));
}

void TWin32Backend::SetWindowRegion(HWND Wnd, const std::vector<TRect>* Rects) {
  auto W = Find(Wnd);
  if (!W) return;
  // The system owns the region from here on.
  ::HRGN Region = Rects != nullptr ? static_cast<::HRGN>(CreateRegionFromRects(*Rects)) : nullptr;
  ::SetWindowRgn(W->Wnd, Region, TRUE);
}

void TWin32Backend::SetWindowAlpha(HWND Wnd, bool Layered, uint8_t Alpha) {
  auto W = Find(Wnd);
  if (!W) return;
  if (Layered) {
    SetExStyle(W->Wnd, WS_EX_LAYERED, 0);
    SetLayeredWindowAttributes(W->Wnd, 0, Alpha, LWA_ALPHA);
  } else {
    SetExStyle(W->Wnd, 0, WS_EX_LAYERED);
    RedrawWindow(W->Wnd, nullptr, nullptr,
                 RDW_ERASE | RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN);
  }
}

void TWin32Backend::SetWindowTopmost(HWND Wnd, bool Topmost) {
  if (auto W = Find(Wnd))
    ::SetWindowPos(W->Wnd, Topmost ? TopmostPlace : NotTopmostPlace, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TWin32Backend::SetWindowSkipTaskbar(HWND Wnd, bool Skip) {
  auto W = Find(Wnd);
  if (!W) return;
  if (Skip)
    SetExStyle(W->Wnd, WS_EX_TOOLWINDOW, WS_EX_APPWINDOW);
  else
    SetExStyle(W->Wnd, WS_EX_APPWINDOW, WS_EX_TOOLWINDOW);
  // The taskbar looks at the styles when a window is shown.
  if (IsWindowVisible(W->Wnd)) {
    ::ShowWindow(W->Wnd, SW_HIDE);
    ::ShowWindow(W->Wnd, SW_SHOWNA);
  }
}

void TWin32Backend::SetWindowOwnerDesktop(HWND Wnd, bool OwnerDesktop) {
  if (auto W = Find(Wnd))
    SetWindowLongPtrW(
        W->Wnd, GWLP_HWNDPARENT,
        reinterpret_cast<LONG_PTR>(OwnerDesktop ? ::GetDesktopWindow() : Native(FAppWindow)));
}

void TWin32Backend::SetWindowDropShadow(HWND Wnd, bool Shadow) {
  auto W = Find(Wnd);
  if (!W) return;
  // The shadow is a class style: a later change goes to the window's class.
  const ULONG_PTR Style = GetClassLongPtrW(W->Wnd, GCL_STYLE);
  const ULONG_PTR New = Shadow ? (Style | CS_DROPSHADOW) : (Style & ~ULONG_PTR(CS_DROPSHADOW));
  if (New != Style) SetClassLongPtrW(W->Wnd, GCL_STYLE, static_cast<LONG_PTR>(New));
}

void TWin32Backend::BeginMoveDrag(HWND Wnd, const TMoveDragStart& Start) {
  auto W = Find(Wnd);
  if (!W) return;
  RECT Before;
  GetWindowRect(W->Wnd, &Before);
  // The system's move loop takes the button and the place from its own input state; the
  // default handling of the command runs it until the button is released.
  ::ReleaseCapture();
  SendMessageW(W->Wnd, WM_SYSCOMMAND, 0xF012, 0);
  RECT After;
  if (!GetWindowRect(W->Wnd, &After)) return;
  if (After.left != Before.left || After.top != Before.top) {
    W->Client->WindowMoved(After.left, After.top);
    return;
  }
  // Not moved: the press was a click, whose release the loop took.
  POINT P;
  GetCursorPos(&P);
  TMouseInput Up;
  Up.Action = TMouseAction::maUp;
  Up.Button = Start.Button;
  Up.Screen = TPoint{P.x, P.y};
  Up.X = P.x - After.left;
  Up.Y = P.y - After.top;
  Up.Time = static_cast<uint32_t>(GetMessageTime());
  W->Client->WindowMouse(Up);
}

void TWin32Backend::ReleaseCapture() {
  ::ReleaseCapture();
}

// ---- Window messages ------------------------------------------------------------------------

intptr_t TWin32Backend::HandleFormMessage(TWindow& W, uint32_t Msg, uintptr_t WParam,
                                          intptr_t LParam) {
  auto Mouse = [&](TMouseAction Action, TMouseButton Button) {
    TMouseInput In;
    In.Action = Action;
    In.Button = Button;
    In.Shift = ShiftOf(WParam);
    In.X = SignedLow(LParam);
    In.Y = SignedHigh(LParam);
    POINT P{In.X, In.Y};
    ClientToScreen(W.Wnd, &P);
    In.Screen = TPoint{P.x, P.y};
    In.Time = static_cast<uint32_t>(GetMessageTime());
    W.Client->WindowMouse(In);
  };
  auto Press = [&](TMouseButton Button) {
    SetCapture(W.Wnd);
    Mouse(TMouseAction::maDown, Button);
    return 0;
  };
  auto Release = [&](TMouseButton Button) {
    Mouse(TMouseAction::maUp, Button);
    // The capture ends with the last button held (the message's key state is after the release).
    if ((WParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) == 0 && GetCapture() == W.Wnd)
      ::ReleaseCapture();
    return 0;
  };
  switch (Msg) {
    case WM_PAINT:
      PaintWindow(W);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // every pixel comes from the presented buffer
    case WM_LBUTTONDOWN:
      return Press(TMouseButton::mbLeft);
    case WM_RBUTTONDOWN:
      return Press(TMouseButton::mbRight);
    case WM_MBUTTONDOWN:
      return Press(TMouseButton::mbMiddle);
    case WM_LBUTTONUP:
      return Release(TMouseButton::mbLeft);
    case WM_RBUTTONUP:
      return Release(TMouseButton::mbRight);
    case WM_MBUTTONUP:
      return Release(TMouseButton::mbMiddle);
    case WM_MOUSEMOVE:
      if (!W.TrackingLeave) {
        TRACKMOUSEEVENT Track{sizeof(Track), TME_LEAVE, W.Wnd, 0};
        W.TrackingLeave = TrackMouseEvent(&Track) != FALSE;
      }
      Mouse(TMouseAction::maMove, TMouseButton::mbLeft);
      return 0;
    case WM_MOUSELEAVE:
      W.TrackingLeave = false;
      W.Client->WindowMouse(TMouseInput{TMouseAction::maLeave, TMouseButton::mbLeft, 0, -1, -1,
                                        TPoint{-1, -1}, static_cast<uint32_t>(GetMessageTime())});
      return 0;
    case WM_CLOSE:
      W.Client->WindowCloseRequest();
      return 0;
    case WM_SYSCOMMAND:
      if ((WParam & 0xFFF0) == SC_CLOSE) {
        W.Client->WindowCloseRequest();
        return 0;
      }
      break;
    case WM_QUERYENDSESSION:
      return W.Client->WindowQueryEndSession() ? TRUE : FALSE;
    case WM_ENDSESSION:
      // The session really ends: close as the user would, which saves the settings.
      if (WParam != FALSE) W.Client->WindowCloseRequest();
      return 0;
    default:
      break;
  }
  return DefWindowProcW(W.Wnd, Msg, WParam, LParam);
}

intptr_t TWin32Backend::HandleLoopMessage(uint32_t Msg, uintptr_t WParam, intptr_t) {
  if (Msg == WM_ORN_POST) {
    RunPosted();
    return 0;
  }
  std::shared_ptr<std::function<void()>> Tick;
  {
    std::lock_guard<std::mutex> G(FLock);
    auto It = FTimers.find(WParam);
    if (It != FTimers.end()) Tick = It->second;
  }
  // Held by the copy: the tick may stop its own timer.
  if (Tick && *Tick) DispatchGuarded(Application(), *Tick);
  return 0;
}

// ---- Menus and tooltips ---------------------------------------------------------------------

namespace {

// Windows reads a single '&' as a mnemonic mark; the captions here are already plain text.
std::wstring MenuText(const std::string& Caption) {
  std::string T;
  for (char C : Caption) {
    if (C == '&') T += '&';
    T += C;
  }
  return Wide(T);
}

HMENU BuildMenu(const std::vector<TPopupMenuEntry>& Entries) {
  HMENU Menu = CreatePopupMenu();
  UINT Position = 0;
  for (const TPopupMenuEntry& E : Entries) {
    MENUITEMINFOW Info{};
    Info.cbSize = sizeof(Info);
    std::wstring Text;
    if (E.Separator) {
      Info.fMask = MIIM_FTYPE;
      Info.fType = MFT_SEPARATOR;
    } else {
      Text = MenuText(E.Caption);
      Info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_STRING | MIIM_ID;
      Info.fType = MFT_STRING | (E.Radio ? MFT_RADIOCHECK : 0);
      Info.fState = (E.Checked ? MFS_CHECKED : 0) | (E.Default ? MFS_DEFAULT : 0) |
                    (E.Enabled ? 0 : MFS_GRAYED);
      Info.dwTypeData = Text.data();
      Info.wID = static_cast<UINT>(E.Id + 1);
      if (!E.Items.empty()) {
        Info.fMask |= MIIM_SUBMENU;
        Info.hSubMenu = BuildMenu(E.Items);
      }
    }
    InsertMenuItemW(Menu, Position++, TRUE, &Info);
  }
  return Menu;
}

}  // namespace

void* TWin32Backend::BuildPopupMenu(const std::vector<TPopupMenuEntry>& Entries) {
  return BuildMenu(Entries);
}

int TWin32Backend::TrackPopupMenu(HWND Owner, const std::vector<TPopupMenuEntry>& Items, int X,
                                  int Y) {
  HMENU M = static_cast<HMENU>(BuildPopupMenu(Items));
  auto W = Find(Owner);
  ::HWND OwnerWnd = W ? W->Wnd : Native(FAppWindow);
  // The menu closes when the user clicks elsewhere only if its owner is in the foreground.
  SetForegroundWindow(OwnerWnd);
  // The menu's modal loop keeps dispatching posted messages and timers, so the GUI thread
  // goes on serving its queue while the menu is open.
  const UINT Chosen = static_cast<UINT>(::TrackPopupMenu(
      M, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, X, Y, 0, OwnerWnd, nullptr));
  PostMessageW(OwnerWnd, WM_NULL, 0, 0);
  DestroyMenu(M);
  return Chosen == 0 ? -1 : static_cast<int>(Chosen) - 1;
}

void TWin32Backend::ShowTooltip(const std::vector<std::string>& Lines, int X, int Y) {
  TTTOOLINFOW Tool{};
  Tool.cbSize = TTTOOLINFOW_V2_SIZE;
  Tool.uFlags = TTF_TRACK | TTF_ABSOLUTE;
  Tool.hwnd = Native(FAppWindow);
  Tool.uId = 1;
  if (FTooltip == nullptr) {
    FTooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                               WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Native(FAppWindow),
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    if (FTooltip == nullptr) return;
    Tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(Native(FTooltip), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&Tool));
    // A maximum width makes the control break lines at CR LF.
    SendMessageW(Native(FTooltip), TTM_SETMAXTIPWIDTH, 0, 600);
  }
  std::string Text;
  for (size_t I = 0; I < Lines.size(); ++I) Text += (I ? "\r\n" : "") + Lines[I];
  std::wstring W = Wide(Text);
  Tool.lpszText = W.data();
  SendMessageW(Native(FTooltip), TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&Tool));
  SendMessageW(Native(FTooltip), TTM_TRACKPOSITION, 0, MAKELPARAM(X, Y));
  SendMessageW(Native(FTooltip), TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&Tool));
}

void TWin32Backend::HideTooltip() {
  if (FTooltip == nullptr) return;
  TTTOOLINFOW Tool{};
  Tool.cbSize = TTTOOLINFOW_V2_SIZE;
  Tool.hwnd = Native(FAppWindow);
  Tool.uId = 1;
  SendMessageW(Native(FTooltip), TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&Tool));
}

// ---- Timers and the loop --------------------------------------------------------------------

TTimerHandle TWin32Backend::StartTimer(uint32_t Interval, std::function<void()> Tick) {
  std::lock_guard<std::mutex> G(FLock);
  const TTimerHandle Id = FNextTimer++;
  if (::SetTimer(Native(FMessageWindow), Id, std::max<uint32_t>(Interval, 1), nullptr) == 0)
    return 0;
  FTimers[Id] = std::make_shared<std::function<void()>>(std::move(Tick));
  return Id;
}

void TWin32Backend::StopTimer(TTimerHandle Timer) {
  std::shared_ptr<std::function<void()>> Old;  // released outside the lock
  std::lock_guard<std::mutex> G(FLock);
  auto It = FTimers.find(Timer);
  if (It == FTimers.end()) return;
  ::KillTimer(Native(FMessageWindow), Timer);
  Old = std::move(It->second);
  FTimers.erase(It);
}

void TWin32Backend::Post(std::function<void()> Call) {
  {
    std::lock_guard<std::mutex> G(FLock);
    FPosted.push_back(std::move(Call));
  }
  PostMessageW(Native(FMessageWindow), WM_ORN_POST, 0, 0);
}

int TWin32Backend::RunPosted() {
  int Ran = 0;
  for (;;) {
    std::function<void()> Call;
    {
      std::lock_guard<std::mutex> G(FLock);
      if (FPosted.empty()) break;
      Call = std::move(FPosted.front());
      FPosted.pop_front();
    }
    if (Call) DispatchGuarded(Application(), Call);
    ++Ran;
  }
  return Ran;
}

void TWin32Backend::RunLoop() {
  MSG M;
  while (!FQuit) {
    const BOOL R = GetMessageW(&M, nullptr, 0, 0);
    if (R == 0 || R == -1) break;  // WM_QUIT from the system
    TranslateMessage(&M);
    DispatchMessageW(&M);
  }
  FQuit = false;
}

void TWin32Backend::QuitLoop() {
  FQuit = true;
  PostMessageW(Native(FMessageWindow), WM_NULL, 0, 0);
}

void TWin32Backend::ProcessPending() {
  MSG M;
  while (PeekMessageW(&M, nullptr, 0, 0, PM_REMOVE)) {
    if (M.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(M.wParam));
      break;
    }
    TranslateMessage(&M);
    DispatchMessageW(&M);
  }
  RunPosted();
  FServices.ProcessQueuedCalls();
}

// ---- Screen and reports ---------------------------------------------------------------------

TRect TWin32Backend::WorkArea() {
  RECT R{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &R, 0);
  return Rect(R.left, R.top, R.right, R.bottom);
}

TPoint TWin32Backend::ScreenSize() {
  return TPoint{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

void TWin32Backend::ShowErrorMessage(const std::string& Title, const std::string& Message) {
  MessageBoxW(nullptr, Wide(Message).c_str(), Wide(Title).c_str(),
              MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}

}  // namespace orn
