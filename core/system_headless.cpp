#include "core/system_headless.h"

#include <ctime>

#include "core/exceptions.h"

namespace orn {

namespace {

std::string UpperAscii(std::string S) {
  for (char& C : S)
    if (C >= 'a' && C <= 'z') C = static_cast<char>(C - 'a' + 'A');
  return S;
}

uint64_t SteadyMilliseconds() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

TDateTimeParts RealLocalTime() {
  using namespace std::chrono;
  const auto Now = system_clock::now();
  const std::time_t Seconds = system_clock::to_time_t(Now);
  const auto Ms = duration_cast<milliseconds>(Now.time_since_epoch()).count() % 1000;
  std::tm Tm{};
#if defined(_WIN32)
  localtime_s(&Tm, &Seconds);
#else
  localtime_r(&Seconds, &Tm);
#endif
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

}  // namespace

THeadlessSystemServices::THeadlessSystemServices() : FGUIThread(std::this_thread::get_id()) {}

THeadlessSystemServices::~THeadlessSystemServices() = default;

std::thread::id THeadlessSystemServices::GUIThreadId() const {
  std::lock_guard<std::mutex> Guard(FLock);
  return FGUIThread;
}

void THeadlessSystemServices::SetGUIThreadId(std::thread::id Id) {
  std::lock_guard<std::mutex> Guard(FLock);
  FGUIThread = Id;
}

void THeadlessSystemServices::WakeGUIThread() {
  std::lock_guard<std::mutex> Guard(FLock);
  ++FWakeCount;
}

uint64_t THeadlessSystemServices::WakeCount() const {
  std::lock_guard<std::mutex> Guard(FLock);
  return FWakeCount;
}

// ---- Clipboard --------------------------------------------------------------------------

TClipboardFormat THeadlessSystemServices::RegisterClipboardFormat(const std::string& Name) {
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

std::string THeadlessSystemServices::ClipboardFormatName(TClipboardFormat Format) const {
  std::lock_guard<std::mutex> Guard(FLock);
  auto It = FNameByFormat.find(Format);
  return It == FNameByFormat.end() ? std::string() : It->second;
}

void THeadlessSystemServices::OpenClipboard() {
  std::lock_guard<std::mutex> Guard(FLock);
  ++FOpenCount;
}

void THeadlessSystemServices::CloseClipboard() {
  std::lock_guard<std::mutex> Guard(FLock);
  if (FOpenCount == 0) throw EClipboardException("Clipboard is not open");
  --FOpenCount;
}

bool THeadlessSystemServices::ClipboardIsOpen() const {
  std::lock_guard<std::mutex> Guard(FLock);
  return FOpenCount > 0;
}

void THeadlessSystemServices::EmptyClipboard() {
  std::lock_guard<std::mutex> Guard(FLock);
  if (FOpenCount == 0) throw EClipboardException("Clipboard is not open");
  FClipboard.clear();
}

void THeadlessSystemServices::SetClipboardData(TClipboardFormat Format, std::vector<uint8_t> Data) {
  std::lock_guard<std::mutex> Guard(FLock);
  if (FOpenCount == 0) throw EClipboardException("Clipboard is not open");
  FClipboard[Format] = std::move(Data);
}

std::optional<std::vector<uint8_t>> THeadlessSystemServices::GetClipboardData(
    TClipboardFormat Format) {
  std::lock_guard<std::mutex> Guard(FLock);
  if (FOpenCount == 0) throw EClipboardException("Clipboard is not open");
  auto It = FClipboard.find(Format);
  if (It == FClipboard.end()) return std::nullopt;
  return It->second;
}

bool THeadlessSystemServices::HasClipboardFormat(TClipboardFormat Format) const {
  std::lock_guard<std::mutex> Guard(FLock);
  return FClipboard.count(Format) != 0;
}

// ---- Clock ------------------------------------------------------------------------------

TDateTimeParts THeadlessSystemServices::LocalTime() const {
  {
    std::lock_guard<std::mutex> Guard(FLock);
    if (FFrozen) return FFrozenTime;
  }
  return RealLocalTime();
}

uint64_t THeadlessSystemServices::TickCount() const {
  {
    std::lock_guard<std::mutex> Guard(FLock);
    if (FFrozen) return FFrozenTicks;
  }
  return SteadyMilliseconds();
}

void THeadlessSystemServices::Sleep(uint32_t Milliseconds) {
  std::unique_lock<std::mutex> Guard(FLock);
  if (FVirtualSleep && FFrozen) {
    const uint64_t Deadline = FFrozenTicks + Milliseconds;
    // Waits for AdvanceTime; going back to real time or switching virtual sleep off ends
    // the wait too, so no thread stays blocked on a clock nobody moves.
    FClockChanged.wait(Guard,
                       [&] { return !FFrozen || !FVirtualSleep || FFrozenTicks >= Deadline; });
    return;
  }
  Guard.unlock();
  std::this_thread::sleep_for(std::chrono::milliseconds(Milliseconds));
}

void THeadlessSystemServices::SetLocalTime(const TDateTimeParts& Parts) {
  if (!IsValidDateTime(Parts)) throw EConvertError("Invalid argument to date encode");
  const TDateTimeParts Normal = AddMilliseconds(Parts, 0);  // fills DayOfWeek
  {
    std::lock_guard<std::mutex> Guard(FLock);
    if (!FFrozen) FFrozenTicks = SteadyMilliseconds();
    FFrozen = true;
    FFrozenTime = Normal;
  }
  FClockChanged.notify_all();
}

void THeadlessSystemServices::AdvanceTime(uint64_t Milliseconds) {
  // Read outside the lock: the real clock is not guarded by it.
  const TDateTimeParts RealNow = RealLocalTime();
  const uint64_t RealTicks = SteadyMilliseconds();
  {
    std::lock_guard<std::mutex> Guard(FLock);
    if (!FFrozen) {
      FFrozen = true;
      FFrozenTime = RealNow;
      FFrozenTicks = RealTicks;
    }
    FFrozenTime = AddMilliseconds(FFrozenTime, static_cast<int64_t>(Milliseconds));
    FFrozenTicks += Milliseconds;
  }
  FClockChanged.notify_all();
}

void THeadlessSystemServices::UseRealClock() {
  {
    std::lock_guard<std::mutex> Guard(FLock);
    FFrozen = false;
  }
  FClockChanged.notify_all();
}

bool THeadlessSystemServices::ClockFrozen() const {
  std::lock_guard<std::mutex> Guard(FLock);
  return FFrozen;
}

void THeadlessSystemServices::SetVirtualSleep(bool On) {
  {
    std::lock_guard<std::mutex> Guard(FLock);
    FVirtualSleep = On;
  }
  FClockChanged.notify_all();
}

// ---- Registry ------------------------------------------------------------------------------

bool THeadlessSystemServices::RegCreateKey(const std::string& Key) {
  std::lock_guard<std::mutex> Guard(FLock);
  if (!FRegistryOpenable) return false;
  if (FRegistryStore) return FRegistryStore->CreateKey(Key);
  FRegistry[UpperAscii(Key)];
  return true;
}

std::optional<TRegValue> THeadlessSystemServices::RegQueryValue(const std::string& Key,
                                                                const std::string& Name) {
  std::lock_guard<std::mutex> Guard(FLock);
  if (!FRegistryOpenable) return std::nullopt;
  if (FRegistryStore) return FRegistryStore->QueryValue(Key, Name);
  const auto K = FRegistry.find(UpperAscii(Key));
  if (K == FRegistry.end()) return std::nullopt;
  const auto V = K->second.find(UpperAscii(Name));
  if (V == K->second.end()) return std::nullopt;
  return V->second;
}

bool THeadlessSystemServices::RegSetValue(const std::string& Key, const std::string& Name,
                                          const TRegValue& Value) {
  std::lock_guard<std::mutex> Guard(FLock);
  if (!FRegistryOpenable || !FRegistryWritable) return false;
  if (FRegistryStore) return FRegistryStore->SetValue(Key, Name, Value);
  FRegistry[UpperAscii(Key)][UpperAscii(Name)] = Value;
  return true;
}

bool THeadlessSystemServices::RegDeleteValue(const std::string& Key, const std::string& Name) {
  std::lock_guard<std::mutex> Guard(FLock);
  if (!FRegistryOpenable || !FRegistryWritable) return false;
  if (FRegistryStore) return FRegistryStore->DeleteValue(Key, Name);
  const auto K = FRegistry.find(UpperAscii(Key));
  if (K != FRegistry.end()) K->second.erase(UpperAscii(Name));
  return true;
}

void THeadlessSystemServices::SetRegistryWritable(bool Writable) {
  std::lock_guard<std::mutex> Guard(FLock);
  FRegistryWritable = Writable;
}

void THeadlessSystemServices::SetRegistryOpenable(bool Openable) {
  std::lock_guard<std::mutex> Guard(FLock);
  FRegistryOpenable = Openable;
}

void THeadlessSystemServices::SetRegistryStore(TRegistryStore* Store) {
  std::lock_guard<std::mutex> Guard(FLock);
  FRegistryStore = Store;
}

bool THeadlessSystemServices::RegKeyExists(const std::string& Key) const {
  std::lock_guard<std::mutex> Guard(FLock);
  return FRegistry.count(UpperAscii(Key)) != 0;
}

void THeadlessSystemServices::ClearRegistry() {
  std::lock_guard<std::mutex> Guard(FLock);
  FRegistry.clear();
  FRegistryWritable = true;
  FRegistryOpenable = true;
}

// ---- Shell ---------------------------------------------------------------------------------

bool THeadlessSystemServices::OpenURL(const std::string& Url) {
  std::lock_guard<std::mutex> Guard(FLock);
  FOpenedURLs.push_back(Url);
  return true;
}

bool THeadlessSystemServices::StartProcess(const std::string& Executable,
                                           const std::vector<std::string>& Arguments) {
  std::lock_guard<std::mutex> Guard(FLock);
  FStartedProcesses.push_back({Executable, Arguments});
  return true;
}

std::string THeadlessSystemServices::ExecutablePath() const {
  std::lock_guard<std::mutex> Guard(FLock);
  return FExecutablePath;
}

void THeadlessSystemServices::SetExecutablePath(const std::string& Path) {
  std::lock_guard<std::mutex> Guard(FLock);
  FExecutablePath = Path;
}

std::vector<std::string> THeadlessSystemServices::OpenedURLs() const {
  std::lock_guard<std::mutex> Guard(FLock);
  return FOpenedURLs;
}

std::vector<THeadlessSystemServices::TStartedProcess> THeadlessSystemServices::StartedProcesses()
    const {
  std::lock_guard<std::mutex> Guard(FLock);
  return FStartedProcesses;
}

void THeadlessSystemServices::ClearShellRecords() {
  std::lock_guard<std::mutex> Guard(FLock);
  FOpenedURLs.clear();
  FStartedProcesses.clear();
}

// ---- Random numbers ------------------------------------------------------------------------

void THeadlessSystemServices::Randomize() {
  std::lock_guard<std::mutex> Guard(FLock);
  ++FRandomizeCount;
}

int32_t THeadlessSystemServices::Random(int32_t Range) {
  std::lock_guard<std::mutex> Guard(FLock);
  if (Range <= 0) return 0;
  if (!FRandomValues.empty()) {
    const int32_t V = FRandomValues.front();
    FRandomValues.pop_front();
    return ((V % Range) + Range) % Range;
  }
  return std::uniform_int_distribution<int32_t>(0, Range - 1)(FRandom);
}

void THeadlessSystemServices::SetRandomValues(std::vector<int32_t> Values) {
  std::lock_guard<std::mutex> Guard(FLock);
  FRandomValues.assign(Values.begin(), Values.end());
}

int THeadlessSystemServices::RandomizeCount() const {
  std::lock_guard<std::mutex> Guard(FLock);
  return FRandomizeCount;
}

}  // namespace orn
