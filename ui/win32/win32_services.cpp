#include "ui/win32/win32_services.h"

#include <cstring>

#include "core/exceptions.h"
#include "ui/win32/win32_text.h"

// After the system's own headers: windows.h defines macros for several of the names above.
#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#undef RegisterClipboardFormat
#undef RegCreateKey
#undef RegQueryValue
#undef RegSetValue
#undef RegDeleteValue

namespace orn {

namespace {

constexpr UINT WM_ORN_WAKE = WM_APP + 1;
constexpr wchar_t WakeClassName[] = L"OrnamentServicesWake";

LRESULT CALLBACK WakeWndProc(::HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Msg == WM_ORN_WAKE) {
    auto* Services = reinterpret_cast<TSystemServices*>(GetWindowLongPtrW(Wnd, GWLP_USERDATA));
    if (Services != nullptr) Services->ProcessQueuedCalls();
    return 0;
  }
  return DefWindowProcW(Wnd, Msg, WParam, LParam);
}

::HWND CreateWakeWindow(TSystemServices* Owner) {
  static const ATOM Class = [] {
    WNDCLASSEXW C{};
    C.cbSize = sizeof(C);
    C.lpfnWndProc = WakeWndProc;
    C.hInstance = GetModuleHandleW(nullptr);
    C.lpszClassName = WakeClassName;
    return RegisterClassExW(&C);
  }();
  if (Class == 0) throw EOutOfResources("Cannot register the wake window class");
  ::HWND Wnd = CreateWindowExW(0, WakeClassName, L"", 0, 0, 0, 0, 0,
                               reinterpret_cast<::HWND>(static_cast<intptr_t>(-3)), nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  if (Wnd == nullptr) throw EOutOfResources("Cannot create the wake window");
  SetWindowLongPtrW(Wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(Owner));
  return Wnd;
}

// The registry key below HKEY_CURRENT_USER, closed with the object.
class TKey {
 public:
  TKey(const std::string& Path, REGSAM Access, bool Create) {
    const std::wstring W = Wide(Path);
    const LSTATUS R =
        Create ? RegCreateKeyExW(HKEY_CURRENT_USER, W.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 Access, nullptr, &FKey, nullptr)
               : RegOpenKeyExW(HKEY_CURRENT_USER, W.c_str(), 0, Access, &FKey);
    if (R != ERROR_SUCCESS) FKey = nullptr;
  }
  ~TKey() {
    if (FKey != nullptr) RegCloseKey(FKey);
  }
  TKey(const TKey&) = delete;
  TKey& operator=(const TKey&) = delete;
  HKEY Get() const { return FKey; }

 private:
  HKEY FKey = nullptr;
};

bool IsStringType(DWORD Type) {
  return Type == REG_SZ || Type == REG_EXPAND_SZ;
}

// A BMP file is its 14-byte file header followed by exactly what CF_DIB holds.
constexpr size_t FileHeaderSize = 14;

std::vector<uint8_t> DibToBmpFile(const uint8_t* Dib, size_t Size) {
  std::vector<uint8_t> File(FileHeaderSize + Size);
  uint32_t Offset = static_cast<uint32_t>(FileHeaderSize);
  if (Size >= sizeof(BITMAPINFOHEADER)) {
    BITMAPINFOHEADER H;
    std::memcpy(&H, Dib, sizeof(H));
    uint32_t Colors = H.biClrUsed;
    if (Colors == 0 && H.biBitCount <= 8) Colors = 1u << H.biBitCount;
    uint32_t Masks = 0;
    if (H.biCompression == BI_BITFIELDS && H.biSize == sizeof(BITMAPINFOHEADER)) Masks = 12;
    Offset += H.biSize + Masks + Colors * 4;
  }
  const uint32_t FileSize = static_cast<uint32_t>(File.size());
  File[0] = 'B';
  File[1] = 'M';
  std::memcpy(&File[2], &FileSize, 4);
  std::memcpy(&File[10], &Offset, 4);
  if (Size != 0) std::memcpy(&File[FileHeaderSize], Dib, Size);
  return File;
}

}  // namespace

TWin32SystemServices::TWin32SystemServices() : FGUIThread(std::this_thread::get_id()) {
  // The shell may use COM when it opens a web page.
  FComInitialized = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  FWakeWindow = CreateWakeWindow(this);
  Randomize();
}

TWin32SystemServices::~TWin32SystemServices() {
  if (FWakeWindow != nullptr) {
    SetWindowLongPtrW(static_cast<::HWND>(FWakeWindow), GWLP_USERDATA, 0);
    DestroyWindow(static_cast<::HWND>(FWakeWindow));
  }
  if (FComInitialized) CoUninitialize();
}

void TWin32SystemServices::WakeGUIThread() {
  // The posted message is served by the message loop and by every modal loop (menus, message
  // boxes, the move loop) alike.
  PostMessageW(static_cast<::HWND>(FWakeWindow), WM_ORN_WAKE, 0, 0);
}

// ---- Clipboard ----------------------------------------------------------------------------

TClipboardFormat TWin32SystemServices::RegisterClipboardFormat(const std::string& Name) {
  if (Name.empty()) throw EClipboardException("Clipboard format name is empty");
  const UINT F = RegisterClipboardFormatW(Wide(Name).c_str());
  if (F == 0) throw EClipboardException("Cannot register clipboard format " + Name);
  return F;
}

std::string TWin32SystemServices::ClipboardFormatName(TClipboardFormat Format) const {
  if (Format < FirstRegisteredClipboardFormat) return std::string();
  wchar_t Buffer[256];
  const int N = GetClipboardFormatNameW(Format, Buffer, 256);
  return N > 0 ? Narrow(std::wstring_view(Buffer, static_cast<size_t>(N))) : std::string();
}

void TWin32SystemServices::OpenClipboard() {
  std::lock_guard<std::mutex> G(FLock);
  if (FClipboardOpenCount == 0) {
    // Another program may hold the clipboard for a moment.
    bool Opened = false;
    for (int Try = 0; Try < 10 && !Opened; ++Try) {
      Opened = ::OpenClipboard(static_cast<::HWND>(FWakeWindow)) != FALSE;
      if (!Opened) ::Sleep(10);
    }
    if (!Opened) throw EClipboardException("Cannot open clipboard");
  }
  ++FClipboardOpenCount;
}

void TWin32SystemServices::CloseClipboard() {
  std::lock_guard<std::mutex> G(FLock);
  if (FClipboardOpenCount == 0) throw EClipboardException("Clipboard is not open");
  if (--FClipboardOpenCount == 0) ::CloseClipboard();
}

void TWin32SystemServices::EmptyClipboard() {
  std::lock_guard<std::mutex> G(FLock);
  if (FClipboardOpenCount == 0) throw EClipboardException("Clipboard is not open");
  ::EmptyClipboard();
}

void TWin32SystemServices::SetClipboardData(TClipboardFormat Format, std::vector<uint8_t> Data) {
  std::lock_guard<std::mutex> G(FLock);
  if (FClipboardOpenCount == 0) throw EClipboardException("Clipboard is not open");
  const uint8_t* Bytes = Data.data();
  size_t Size = Data.size();
  UINT SystemFormat = Format;
  if (Format == CF_BITMAP) {
    // Handed over as a device-independent bitmap; the system offers it as CF_BITMAP too.
    if (Size < FileHeaderSize) return;
    Bytes += FileHeaderSize;
    Size -= FileHeaderSize;
    SystemFormat = CF_DIB;
  }
  HGLOBAL Memory = GlobalAlloc(GMEM_MOVEABLE, Size == 0 ? 1 : Size);
  if (Memory == nullptr) throw EOutOfResources("Out of memory for the clipboard");
  if (Size != 0) {
    void* P = GlobalLock(Memory);
    std::memcpy(P, Bytes, Size);
    GlobalUnlock(Memory);
  }
  if (::SetClipboardData(SystemFormat, Memory) == nullptr) GlobalFree(Memory);
}

std::optional<std::vector<uint8_t>> TWin32SystemServices::GetClipboardData(
    TClipboardFormat Format) {
  std::lock_guard<std::mutex> G(FLock);
  if (FClipboardOpenCount == 0) throw EClipboardException("Clipboard is not open");
  const UINT SystemFormat = Format == CF_BITMAP ? CF_DIB : Format;
  HANDLE Memory = ::GetClipboardData(SystemFormat);
  if (Memory == nullptr) return std::nullopt;
  const size_t Size = GlobalSize(Memory);
  const auto* P = static_cast<const uint8_t*>(GlobalLock(Memory));
  if (P == nullptr) return std::nullopt;
  std::vector<uint8_t> Result =
      Format == CF_BITMAP ? DibToBmpFile(P, Size) : std::vector<uint8_t>(P, P + Size);
  GlobalUnlock(Memory);
  return Result;
}

bool TWin32SystemServices::HasClipboardFormat(TClipboardFormat Format) const {
  if (Format == CF_BITMAP) return IsClipboardFormatAvailable(CF_DIB) != FALSE;
  return IsClipboardFormatAvailable(Format) != FALSE;
}

// ---- Clock --------------------------------------------------------------------------------

TDateTimeParts TWin32SystemServices::LocalTime() const {
  SYSTEMTIME T;
  GetLocalTime(&T);
  TDateTimeParts P;
  P.Year = T.wYear;
  P.Month = T.wMonth;
  P.Day = T.wDay;
  P.Hour = T.wHour;
  P.Minute = T.wMinute;
  P.Second = T.wSecond;
  P.Millisecond = T.wMilliseconds;
  P.DayOfWeek = T.wDayOfWeek;
  return P;
}

uint64_t TWin32SystemServices::TickCount() const {
  return GetTickCount64();
}

void TWin32SystemServices::Sleep(uint32_t Milliseconds) {
  ::SleepEx(Milliseconds, FALSE);
}

// ---- Registry -----------------------------------------------------------------------------

bool TWin32SystemServices::RegCreateKey(const std::string& Key) {
  TKey K(Key, KEY_ALL_ACCESS, true);
  return K.Get() != nullptr;
}

std::optional<TRegValue> TWin32SystemServices::RegQueryValue(const std::string& Key,
                                                             const std::string& Name) {
  TKey K(Key, KEY_QUERY_VALUE, false);
  if (K.Get() == nullptr) return std::nullopt;
  const std::wstring WName = Wide(Name);
  DWORD Type = 0;
  DWORD Size = 0;
  if (RegQueryValueExW(K.Get(), WName.c_str(), nullptr, &Type, nullptr, &Size) != ERROR_SUCCESS)
    return std::nullopt;
  std::vector<uint8_t> Data(Size);
  // The value may grow between the two calls: ask again with the size the system reports.
  for (;;) {
    Size = static_cast<DWORD>(Data.size());
    const LSTATUS R = RegQueryValueExW(K.Get(), WName.c_str(), nullptr, &Type,
                                       Data.empty() ? nullptr : Data.data(), &Size);
    if (R == ERROR_MORE_DATA) {
      Data.resize(Size);
      continue;
    }
    if (R != ERROR_SUCCESS) return std::nullopt;
    Data.resize(Size);
    break;
  }
  TRegValue V;
  V.Type = Type;
  if (IsStringType(Type)) {
    // Stored as UTF-16, usually with its terminating zero; handed on as UTF-8 with one.
    std::wstring Text(Data.size() / 2, L'\0');
    if (!Text.empty()) std::memcpy(Text.data(), Data.data(), Text.size() * 2);
    while (!Text.empty() && Text.back() == L'\0') Text.pop_back();
    const std::string U = Narrow(Text);
    V.Data.assign(U.begin(), U.end());
    V.Data.push_back(0);
  } else {
    V.Data = std::move(Data);
  }
  return V;
}

bool TWin32SystemServices::RegSetValue(const std::string& Key, const std::string& Name,
                                       const TRegValue& Value) {
  TKey K(Key, KEY_SET_VALUE, true);
  if (K.Get() == nullptr) return false;
  std::vector<uint8_t> Bytes = Value.Data;
  if (IsStringType(Value.Type)) {
    std::string U(Value.Data.begin(), Value.Data.end());
    while (!U.empty() && U.back() == '\0') U.pop_back();
    const std::wstring W = Wide(U);
    Bytes.resize((W.size() + 1) * 2);
    std::memcpy(Bytes.data(), W.c_str(), Bytes.size());
  }
  return RegSetValueExW(K.Get(), Wide(Name).c_str(), 0, Value.Type,
                        Bytes.empty() ? nullptr : Bytes.data(),
                        static_cast<DWORD>(Bytes.size())) == ERROR_SUCCESS;
}

bool TWin32SystemServices::RegDeleteValue(const std::string& Key, const std::string& Name) {
  TKey K(Key, KEY_SET_VALUE, false);
  if (K.Get() == nullptr) {
    // A missing key holds no value to remove.
    TKey Probe(Key, KEY_QUERY_VALUE, false);
    return Probe.Get() == nullptr;
  }
  const LSTATUS R = RegDeleteValueW(K.Get(), Wide(Name).c_str());
  return R == ERROR_SUCCESS || R == ERROR_FILE_NOT_FOUND;
}

// ---- Shell --------------------------------------------------------------------------------

bool TWin32SystemServices::OpenURL(const std::string& Url) {
  const HINSTANCE R =
      ShellExecuteW(nullptr, L"open", Wide(Url).c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
  return reinterpret_cast<INT_PTR>(R) > 32;
}

std::string TWin32SystemServices::BuildCommandLine(const std::string& Executable,
                                                   const std::vector<std::string>& Arguments) {
  // A program path cannot contain quotes, so quoting it is always safe.
  std::string Line = "\"" + Executable + "\"";
  for (const std::string& A : Arguments) {
    Line += ' ';
    if (!A.empty() && A.find_first_of(" \t\n\v\"") == std::string::npos) {
      Line += A;
      continue;
    }
    Line += '"';
    size_t Backslashes = 0;
    for (char C : A) {
      if (C == '\\') {
        ++Backslashes;
        continue;
      }
      // Backslashes before a quote are doubled and the quote escaped; others stay as they are.
      Line.append(C == '"' ? Backslashes * 2 + 1 : Backslashes, '\\');
      Backslashes = 0;
      Line += C;
    }
    // Before the closing quote every backslash is doubled.
    Line.append(Backslashes * 2, '\\');
    Line += '"';
  }
  return Line;
}

bool TWin32SystemServices::StartProcess(const std::string& Executable,
                                        const std::vector<std::string>& Arguments) {
  std::wstring Line = Wide(BuildCommandLine(Executable, Arguments));
  STARTUPINFOW Startup{};
  Startup.cb = sizeof(Startup);
  Startup.dwFlags = STARTF_USESHOWWINDOW;
  Startup.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION Info{};
  const std::wstring Exe = Wide(Executable);
  if (!CreateProcessW(Exe.c_str(), Line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &Startup, &Info))
    return false;
  // Not waited for: the new process lives on its own.
  CloseHandle(Info.hThread);
  CloseHandle(Info.hProcess);
  return true;
}

std::string TWin32SystemServices::ExecutablePath() const {
  std::wstring Buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD N = GetModuleFileNameW(nullptr, Buffer.data(), static_cast<DWORD>(Buffer.size()));
    if (N == 0) return std::string();
    if (N < Buffer.size()) {
      Buffer.resize(N);
      return Narrow(Buffer);
    }
    Buffer.resize(Buffer.size() * 2);
  }
}

std::vector<std::string> TWin32SystemServices::CommandLineArguments() const {
  int Count = 0;
  LPWSTR* Args = CommandLineToArgvW(GetCommandLineW(), &Count);
  std::vector<std::string> Result;
  if (Args == nullptr) return Result;
  for (int I = 1; I < Count; ++I) Result.push_back(Narrow(Args[I]));
  LocalFree(Args);
  return Result;
}

// ---- Random numbers -----------------------------------------------------------------------

void TWin32SystemServices::Randomize() {
  LARGE_INTEGER Counter;
  QueryPerformanceCounter(&Counter);
  std::lock_guard<std::mutex> G(FLock);
  FRandom.seed(static_cast<uint32_t>(Counter.QuadPart ^ (Counter.QuadPart >> 32)) ^
               static_cast<uint32_t>(GetTickCount64()) ^ GetCurrentProcessId());
}

int32_t TWin32SystemServices::Random(int32_t Range) {
  if (Range <= 0) return 0;
  std::lock_guard<std::mutex> G(FLock);
  return std::uniform_int_distribution<int32_t>(0, Range - 1)(FRandom);
}

}  // namespace orn
