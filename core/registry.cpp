#include "core/registry.h"

#include <cstring>

#include "core/exceptions.h"

namespace orn {

namespace {

[[noreturn]] void RaiseRegistryError(const char* Format, const std::string& Name) {
  std::string Message = Format;
  Message.replace(Message.find("%s"), 2, Name);
  throw ERegistryException(Message);
}

}  // namespace

bool TRegistry::OpenKey(const std::string& Key) {
  CloseKey();
  std::string Path = Key;
  while (!Path.empty() && Path.front() == '\\') Path.erase(Path.begin());
  if (!SystemServices().RegCreateKey(Path)) return false;
  FOpen = true;
  FCurrentPath = Path;
  return true;
}

void TRegistry::CloseKey() {
  FOpen = false;
  FCurrentPath.clear();
}

std::optional<TRegValue> TRegistry::Query(const std::string& Name) const {
  if (!FOpen) return std::nullopt;
  return SystemServices().RegQueryValue(FCurrentPath, Name);
}

bool TRegistry::ValueExists(const std::string& Name) const {
  return Query(Name).has_value();
}

int32_t TRegistry::ReadInteger(const std::string& Name) const {
  const std::optional<TRegValue> V = Query(Name);
  // The value is read into a 4-byte buffer: longer data does not fit.
  if (!V || V->Data.size() > 4) RaiseRegistryError("Failed to get data for '%s'", Name);
  if (V->Type != REG_DWORD) RaiseRegistryError("Invalid data type for '%s'", Name);
  uint8_t Bytes[4] = {0, 0, 0, 0};
  std::memcpy(Bytes, V->Data.data(), V->Data.size());
  return static_cast<int32_t>(
      static_cast<uint32_t>(Bytes[0]) | (static_cast<uint32_t>(Bytes[1]) << 8) |
      (static_cast<uint32_t>(Bytes[2]) << 16) | (static_cast<uint32_t>(Bytes[3]) << 24));
}

std::string TRegistry::ReadString(const std::string& Name) const {
  const std::optional<TRegValue> V = Query(Name);
  if (!V) RaiseRegistryError("Failed to get data for '%s'", Name);
  if (V->Type != REG_SZ && V->Type != REG_EXPAND_SZ)
    RaiseRegistryError("Invalid data type for '%s'", Name);
  std::string Text(V->Data.begin(), V->Data.end());
  const size_t Zero = Text.find('\0');
  if (Zero != std::string::npos) Text.resize(Zero);
  return Text;
}

void TRegistry::Write(const std::string& Name, const TRegValue& Value) {
  if (!FOpen || !SystemServices().RegSetValue(FCurrentPath, Name, Value))
    RaiseRegistryError("Failed to set data for '%s'", Name);
}

void TRegistry::WriteInteger(const std::string& Name, int32_t Value) {
  const uint32_t U = static_cast<uint32_t>(Value);
  Write(Name, TRegValue{REG_DWORD,
                        {static_cast<uint8_t>(U), static_cast<uint8_t>(U >> 8),
                         static_cast<uint8_t>(U >> 16), static_cast<uint8_t>(U >> 24)}});
}

void TRegistry::WriteString(const std::string& Name, const std::string& Value) {
  TRegValue V{REG_SZ, std::vector<uint8_t>(Value.begin(), Value.end())};
  V.Data.push_back(0);
  Write(Name, V);
}

bool TRegistry::DeleteValue(const std::string& Name) {
  if (!FOpen) return false;
  return SystemServices().RegDeleteValue(FCurrentPath, Name);
}

}  // namespace orn
