// The real fernlight.exe on Windows (under Wine on the test's X display): started with a fresh
// registry, its window is looked at with the Windows API as a user would meet it, then closed
// with WM_CLOSE, and the registry is read back; the next starts come back where it was, or
// elsewhere with "add".
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "gfx/bitmap.h"
#include "ui/win32/win32_text.h"

#include <windows.h>

namespace orn {
namespace {

// A path of the build machine as Wine shows it (drive Z: is the root).
std::string WindowsPath(std::string P) {
  if (!P.empty() && P[0] == '/') P = "Z:" + P;
  for (char& C : P)
    if (C == '/') C = '\\';
  return P;
}

const std::string Program = WindowsPath(FERNLIGHT_PATH);
const std::string MaskFile = WindowsPath(FERNLIGHT_MASK);
const std::wstring SettingsKey = L"Software\\Fernlight";
const std::wstring RunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

struct TRunning {
  PROCESS_INFORMATION Info{};
  ::HWND Window = nullptr;
};

struct TFind {
  DWORD Process;
  ::HWND Found;
};

BOOL CALLBACK FindProcessWindow(::HWND W, LPARAM L) {
  auto* F = reinterpret_cast<TFind*>(L);
  DWORD Pid = 0;
  GetWindowThreadProcessId(W, &Pid);
  wchar_t Class[64] = {};
  GetClassNameW(W, Class, 64);
  if (Pid == F->Process && IsWindowVisible(W) &&
      std::wstring(Class).rfind(L"OrnamentForm", 0) == 0) {
    F->Found = W;
    return FALSE;
  }
  return TRUE;
}

// Starts the program and waits until its window is shown.
TRunning Start(const std::string& Arguments) {
  TRunning R;
  std::wstring Line = Wide("\"" + Program + "\"" + (Arguments.empty() ? "" : " " + Arguments));
  STARTUPINFOW S{};
  S.cb = sizeof(S);
  if (!CreateProcessW(Wide(Program).c_str(), Line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &S, &R.Info)) {
    ADD_FAILURE() << "cannot start " << Program;
    return R;
  }
  for (int I = 0; I < 600 && R.Window == nullptr; ++I) {
    Sleep(50);
    TFind F{R.Info.dwProcessId, nullptr};
    EnumWindows(FindProcessWindow, reinterpret_cast<LPARAM>(&F));
    R.Window = F.Found;
  }
  EXPECT_NE(R.Window, nullptr) << "no window appeared";
  // Let the first frames be painted.
  Sleep(500);
  return R;
}

// Closes the window as the system would and waits for the process to end.
DWORD Close(TRunning& R) {
  if (R.Window != nullptr) PostMessageW(R.Window, WM_CLOSE, 0, 0);
  DWORD Code = 1234;
  if (WaitForSingleObject(R.Info.hProcess, 30000) != WAIT_OBJECT_0) {
    ADD_FAILURE() << "the program did not end after WM_CLOSE";
    TerminateProcess(R.Info.hProcess, 1);
  }
  GetExitCodeProcess(R.Info.hProcess, &Code);
  CloseHandle(R.Info.hThread);
  CloseHandle(R.Info.hProcess);
  return Code;
}

std::optional<DWORD> ReadDword(const std::wstring& Key, const std::wstring& Name) {
  DWORD V = 0, Size = sizeof(V), Type = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, Key.c_str(), Name.c_str(), RRF_RT_ANY, &Type, &V, &Size) !=
          ERROR_SUCCESS ||
      Type != REG_DWORD)
    return std::nullopt;
  return V;
}

std::optional<std::wstring> ReadString(const std::wstring& Key, const std::wstring& Name) {
  wchar_t Buffer[1024];
  DWORD Size = sizeof(Buffer), Type = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, Key.c_str(), Name.c_str(), RRF_RT_REG_SZ, &Type, Buffer,
                   &Size) != ERROR_SUCCESS)
    return std::nullopt;
  return std::wstring(Buffer);
}

RECT WindowRect(::HWND W) {
  RECT R{};
  GetWindowRect(W, &R);
  return R;
}

class FernlightOnWindows : public testing::Test {
 protected:
  void SetUp() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, SettingsKey.c_str());
    HKEY K;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, RunKey.c_str(), 0, KEY_SET_VALUE, &K) == 0) {
      RegDeleteValueW(K, L"Fernlight");
      RegCloseKey(K);
    }
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &Work, 0);
  }
  RECT Work{};
};

TEST_F(FernlightOnWindows, FirstRunWindowCloseAndSettings) {
  TRunning R = Start("");
  ASSERT_NE(R.Window, nullptr);
  ::HWND W = R.Window;

  // Size and place: the picture's size, at the bottom right of the work area (placed with the
  // stored client height 176 before the window took the picture's height 170).
  RECT Client;
  GetClientRect(W, &Client);
  EXPECT_EQ(Client.right, 118);
  EXPECT_EQ(Client.bottom, 170);
  const RECT Place = WindowRect(W);
  EXPECT_EQ(Place.left, (Work.right - Work.left) - 118 - 5);
  EXPECT_EQ(Place.top, (Work.bottom - Work.top) - 176);

  // Translucent (10 %: alpha 230), on top, with a drop shadow and no taskbar button.
  const LONG_PTR Ex = GetWindowLongPtrW(W, GWL_EXSTYLE);
  ASSERT_TRUE(Ex & WS_EX_LAYERED);
  BYTE Alpha = 0;
  DWORD Flags = 0;
  ASSERT_TRUE(GetLayeredWindowAttributes(W, nullptr, &Alpha, &Flags));
  EXPECT_TRUE(Flags & LWA_ALPHA);
  EXPECT_EQ(Alpha, 230);
  EXPECT_TRUE(Ex & WS_EX_TOPMOST);
  EXPECT_TRUE(GetClassLongPtrW(W, GCL_STYLE) & CS_DROPSHADOW);
  EXPECT_FALSE(Ex & WS_EX_APPWINDOW);
  EXPECT_TRUE((Ex & WS_EX_TOOLWINDOW) || GetWindowLongPtrW(W, GWLP_HWNDPARENT) != 0);
  EXPECT_EQ(GetWindowLongPtrW(W, GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME), 0);

  // The window region is exactly the mask's non-white area.
  TBitmap Mask;
  Mask.LoadFromFile(MaskFile);
  ASSERT_EQ(Mask.Width(), 118);
  ASSERT_EQ(Mask.Height(), 170);
  ::HRGN Region = ::CreateRectRgn(0, 0, 0, 0);
  ASSERT_EQ(::GetWindowRgn(W, Region), COMPLEXREGION);
  const DWORD Size = GetRegionData(Region, 0, nullptr);
  std::vector<uint8_t> Data(Size);
  ASSERT_EQ(GetRegionData(Region, Size, reinterpret_cast<RGNDATA*>(Data.data())), Size);
  const auto* Header = reinterpret_cast<const RGNDATAHEADER*>(Data.data());
  const auto* Rects = reinterpret_cast<const RECT*>(Data.data() + Header->dwSize);
  std::vector<uint8_t> Inside(118 * 170, 0);
  for (DWORD I = 0; I < Header->nCount; ++I)
    for (LONG Y = Rects[I].top; Y < Rects[I].bottom; ++Y)
      for (LONG X = Rects[I].left; X < Rects[I].right; ++X) {
        ASSERT_TRUE(X >= 0 && Y >= 0 && X < 118 && Y < 170);
        Inside[Y * 118 + X] = 1;
      }
  int InsideCount = 0;
  for (int Y = 0; Y < 170; ++Y)
    for (int X = 0; X < 118; ++X) {
      const bool White = Mask.Canvas().Pixels(X, Y) == 0xFFFFFF;
      ASSERT_EQ(Inside[Y * 118 + X] != 0, !White) << X << "," << Y;
      InsideCount += !White;
    }
  EXPECT_GT(InsideCount, 118 * 170 / 4);

  // Inside the region the window shows the tree: many colours, not the form's background.
  ::HDC Dc = ::GetDC(W);
  std::set<COLORREF> Colours;
  int Background = 0, Sampled = 0;
  for (int Y = 0; Y < 170; Y += 3)
    for (int X = 0; X < 118; X += 3) {
      if (!Inside[Y * 118 + X]) continue;
      const COLORREF C = ::GetPixel(Dc, X, Y);
      Colours.insert(C);
      Background += C == GetSysColor(COLOR_BTNFACE);
      ++Sampled;
    }
  ::ReleaseDC(W, Dc);
  ::DeleteObject(Region);
  EXPECT_GE(Colours.size(), 8u);
  EXPECT_LT(Background, Sampled / 10);

  EXPECT_EQ(Close(R), 0u);
  EXPECT_EQ(ReadDword(SettingsKey, L"OnTop"), 1u);
  EXPECT_EQ(ReadDword(SettingsKey, L"TrVal"), 1u);
  EXPECT_EQ(ReadDword(SettingsKey, L"Left"), static_cast<DWORD>(Place.left));
  EXPECT_EQ(ReadDword(SettingsKey, L"Top"), static_cast<DWORD>(Place.top));
  const auto Run = ReadString(RunKey, L"Fernlight");
  ASSERT_TRUE(Run);
  EXPECT_EQ(CompareStringOrdinal(Run->c_str(), -1, Wide(Program).c_str(), -1, TRUE), CSTR_EQUAL)
      << Narrow(*Run);
}

TEST_F(FernlightOnWindows, SavedPlaceComesBackAndAddPlacesElsewhere) {
  HKEY K;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, SettingsKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                            nullptr, &K, nullptr),
            ERROR_SUCCESS);
  const DWORD Values[] = {0, 5, 200, 300};  // OnTop, TrVal, Top, Left
  const wchar_t* Names[] = {L"OnTop", L"TrVal", L"Top", L"Left"};
  for (int I = 0; I < 4; ++I)
    RegSetValueExW(K, Names[I], 0, REG_DWORD, reinterpret_cast<const BYTE*>(&Values[I]), 4);
  RegCloseKey(K);

  TRunning R = Start("");
  ASSERT_NE(R.Window, nullptr);
  RECT Place = WindowRect(R.Window);
  EXPECT_EQ(Place.left, 300);
  EXPECT_EQ(Place.top, 200);
  const LONG_PTR Ex = GetWindowLongPtrW(R.Window, GWL_EXSTYLE);
  EXPECT_FALSE(Ex & WS_EX_TOPMOST);
  BYTE Alpha = 0;
  ASSERT_TRUE(GetLayeredWindowAttributes(R.Window, nullptr, &Alpha, nullptr));
  EXPECT_EQ(Alpha, 130);  // 50 %
  EXPECT_EQ(Close(R), 0u);
  EXPECT_EQ(ReadDword(SettingsKey, L"Left"), 300u);
  EXPECT_EQ(ReadDword(SettingsKey, L"OnTop"), 0u);
  EXPECT_EQ(ReadDword(SettingsKey, L"TrVal"), 5u);

  // "add" ignores the saved place: a random spot in [0, width - 118 - 5) x [0, height - 176).
  R = Start("add");
  ASSERT_NE(R.Window, nullptr);
  Place = WindowRect(R.Window);
  EXPECT_GE(Place.left, 0);
  EXPECT_LT(Place.left, (Work.right - Work.left) - 123);
  EXPECT_GE(Place.top, 0);
  EXPECT_LT(Place.top, (Work.bottom - Work.top) - 176);
  EXPECT_FALSE(Place.left == 300 && Place.top == 200);
  EXPECT_EQ(Close(R), 0u);
}

}  // namespace
}  // namespace orn
