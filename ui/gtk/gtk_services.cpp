#include "ui/gtk/gtk_services.h"

#include <chrono>
#include <ctime>
#include <thread>

#include <unistd.h>

#include "core/exceptions.h"
#include "ui/xdg/launch.h"

namespace orn {

namespace {

std::string UpperAscii(std::string S) {
  for (char& C : S)
    if (C >= 'a' && C <= 'z') C = static_cast<char>(C - 'a' + 'A');
  return S;
}

// The bitmap format travels as a BMP file, which is what image/bmp carries.
constexpr const char* BitmapTarget = "image/bmp";

GtkClipboard* TheClipboard() {
  return gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
}

}  // namespace

TGtkSystemServices::TGtkSystemServices(std::function<void()> Wake)
    : FWake(std::move(Wake)),
      FGUIThread(std::this_thread::get_id()),
      FStore(TXdgRegistryStore::DefaultConfigHome()) {
  Randomize();
}

TGtkSystemServices::~TGtkSystemServices() {
  ReleaseClipboard();
}

void TGtkSystemServices::ReleaseClipboard() {
  bool Owner;
  {
    std::lock_guard<std::mutex> Guard(FLock);
    Owner = FOwner;
  }
  // What this process put on the clipboard stays there for other programs while the
  // clipboard manager (when there is one) takes it over; the callbacks must not outlive us.
  if (Owner) {
    gtk_clipboard_store(TheClipboard());
    gtk_clipboard_clear(TheClipboard());
  }
  std::lock_guard<std::mutex> Guard(FLock);
  FOwner = false;
}

// ---- Clipboard ----------------------------------------------------------------------------

TClipboardFormat TGtkSystemServices::RegisterClipboardFormat(const std::string& Name) {
  if (Name.empty()) throw EClipboardException("Invalid clipboard format name");
  std::lock_guard<std::mutex> Guard(FLock);
  const std::string Key = UpperAscii(Name);
  auto It = FFormatByName.find(Key);
  if (It != FFormatByName.end()) return It->second;
  if (FFormatByName.size() >= 0x4000)
    throw EClipboardException("Too many clipboard formats registered");
  const TClipboardFormat Format =
      FirstRegisteredClipboardFormat + static_cast<TClipboardFormat>(FFormatByName.size());
  FFormatByName.emplace(Key, Format);
  FNameByFormat.emplace(Format, Name);
  return Format;
}

std::string TGtkSystemServices::ClipboardFormatName(TClipboardFormat Format) const {
  std::lock_guard<std::mutex> Guard(FLock);
  auto It = FNameByFormat.find(Format);
  return It == FNameByFormat.end() ? std::string() : It->second;
}

std::string TGtkSystemServices::TargetOf(TClipboardFormat Format) const {
  if (Format == CF_BITMAP) return BitmapTarget;
  return ClipboardFormatName(Format);
}

void TGtkSystemServices::OpenClipboard() {
  std::lock_guard<std::mutex> Guard(FLock);
  ++FOpenCount;
}

void TGtkSystemServices::CloseClipboard() {
  std::vector<std::string> Targets;
  std::vector<TClipboardFormat> Formats;
  {
    std::lock_guard<std::mutex> Guard(FLock);
    if (FOpenCount == 0) throw EClipboardException("Clipboard is not open");
    if (--FOpenCount > 0 || !FChanged) return;
    FChanged = false;
    for (const auto& [Format, Data] : FWritten) Formats.push_back(Format);
  }
  // The last close publishes what was written as the X clipboard's targets.
  for (TClipboardFormat F : Formats) Targets.push_back(TargetOf(F));
  std::vector<GtkTargetEntry> Entries;
  for (size_t I = 0; I < Targets.size(); ++I)
    if (!Targets[I].empty()) Entries.push_back(GtkTargetEntry{Targets[I].data(), 0, Formats[I]});
  if (Entries.empty()) {
    gtk_clipboard_clear(TheClipboard());
    return;
  }
  const bool Taken = gtk_clipboard_set_with_data(
      TheClipboard(), Entries.data(), static_cast<guint>(Entries.size()),
      &TGtkSystemServices::ClipboardGet, &TGtkSystemServices::ClipboardClear, this);
  std::lock_guard<std::mutex> Guard(FLock);
  FOwner = Taken;
}

void TGtkSystemServices::ClipboardGet(GtkClipboard*, GtkSelectionData* Selection, guint Info,
                                      gpointer Self) {
  auto* S = static_cast<TGtkSystemServices*>(Self);
  std::lock_guard<std::mutex> Guard(S->FLock);
  auto It = S->FWritten.find(static_cast<TClipboardFormat>(Info));
  if (It == S->FWritten.end()) return;
  gtk_selection_data_set(Selection, gtk_selection_data_get_target(Selection), 8, It->second.data(),
                         static_cast<gint>(It->second.size()));
}

void TGtkSystemServices::ClipboardClear(GtkClipboard*, gpointer Self) {
  auto* S = static_cast<TGtkSystemServices*>(Self);
  std::lock_guard<std::mutex> Guard(S->FLock);
  S->FOwner = false;
}

void TGtkSystemServices::EmptyClipboard() {
  std::lock_guard<std::mutex> Guard(FLock);
  if (FOpenCount == 0) throw EClipboardException("Clipboard is not open");
  FWritten.clear();
  FChanged = true;
}

void TGtkSystemServices::SetClipboardData(TClipboardFormat Format, std::vector<uint8_t> Data) {
  std::lock_guard<std::mutex> Guard(FLock);
  if (FOpenCount == 0) throw EClipboardException("Clipboard is not open");
  FWritten[Format] = std::move(Data);
  FChanged = true;
}

std::optional<std::vector<uint8_t>> TGtkSystemServices::GetClipboardData(TClipboardFormat Format) {
  {
    std::lock_guard<std::mutex> Guard(FLock);
    if (FOpenCount == 0) throw EClipboardException("Clipboard is not open");
    if (FOwner || FChanged) {
      auto It = FWritten.find(Format);
      if (It == FWritten.end()) return std::nullopt;
      return It->second;
    }
  }
  const std::string Target = TargetOf(Format);
  if (Target.empty()) return std::nullopt;
  GtkSelectionData* Data =
      gtk_clipboard_wait_for_contents(TheClipboard(), gdk_atom_intern(Target.c_str(), FALSE));
  if (Data == nullptr) return std::nullopt;
  const guchar* Bytes = gtk_selection_data_get_data(Data);
  const gint Length = gtk_selection_data_get_length(Data);
  std::optional<std::vector<uint8_t>> R;
  if (Length >= 0) R = std::vector<uint8_t>(Bytes, Bytes + Length);
  gtk_selection_data_free(Data);
  return R;
}

bool TGtkSystemServices::HasClipboardFormat(TClipboardFormat Format) const {
  {
    std::lock_guard<std::mutex> Guard(FLock);
    if (FOwner || FChanged) return FWritten.count(Format) != 0;
  }
  const std::string Target = TargetOf(Format);
  if (Target.empty() || !IsGUIThread()) return false;
  return gtk_clipboard_wait_is_target_available(TheClipboard(),
                                                gdk_atom_intern(Target.c_str(), FALSE));
}

// ---- Clock --------------------------------------------------------------------------------

TDateTimeParts TGtkSystemServices::LocalTime() const {
  using namespace std::chrono;
  const auto Now = system_clock::now();
  const std::time_t Seconds = system_clock::to_time_t(Now);
  const auto Ms = duration_cast<milliseconds>(Now.time_since_epoch()).count() % 1000;
  std::tm Tm{};
  localtime_r(&Seconds, &Tm);
  TDateTimeParts P;
  P.Year = Tm.tm_year + 1900;
  P.Month = Tm.tm_mon + 1;
  P.Day = Tm.tm_mday;
  P.Hour = Tm.tm_hour;
  P.Minute = Tm.tm_min;
  P.Second = Tm.tm_sec > 59 ? 59 : Tm.tm_sec;  // a leap second reads as :59
  P.Millisecond = static_cast<int>(Ms < 0 ? Ms + 1000 : Ms);
  P.DayOfWeek = Tm.tm_wday;
  return P;
}

uint64_t TGtkSystemServices::TickCount() const {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void TGtkSystemServices::Sleep(uint32_t Milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(Milliseconds));
}

// ---- Registry and shell -------------------------------------------------------------------

bool TGtkSystemServices::RegCreateKey(const std::string& Key) {
  return FStore.CreateKey(Key);
}

std::optional<TRegValue> TGtkSystemServices::RegQueryValue(const std::string& Key,
                                                           const std::string& Name) {
  return FStore.QueryValue(Key, Name);
}

bool TGtkSystemServices::RegSetValue(const std::string& Key, const std::string& Name,
                                     const TRegValue& Value) {
  return FStore.SetValue(Key, Name, Value);
}

bool TGtkSystemServices::RegDeleteValue(const std::string& Key, const std::string& Name) {
  return FStore.DeleteValue(Key, Name);
}

bool TGtkSystemServices::OpenURL(const std::string& Url) {
  return LaunchURI(Url);
}

bool TGtkSystemServices::StartProcess(const std::string& Executable,
                                      const std::vector<std::string>& Arguments) {
  return SpawnDetached(Executable, Arguments, false);
}

std::string TGtkSystemServices::ExecutablePath() const {
  return OwnExecutablePath();
}

// ---- Random numbers -----------------------------------------------------------------------

void TGtkSystemServices::Randomize() {
  std::lock_guard<std::mutex> Guard(FLock);
  FRandom.seed(static_cast<uint32_t>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count() ^ getpid()));
}

int32_t TGtkSystemServices::Random(int32_t Range) {
  if (Range <= 0) return 0;
  std::lock_guard<std::mutex> Guard(FLock);
  return std::uniform_int_distribution<int32_t>(0, Range - 1)(FRandom);
}

}  // namespace orn
