// TRegistry: the per-user registry through the system services (core/system.h). One key is
// open at a time; keys are paths under the current user's root ("Software\\Fernlight").
//
// Errors, raised as ERegistryException with the value's name in place of %s:
//  - ReadInteger of data longer than 4 bytes (or of a missing value, or with no key open):
//    "Failed to get data for '%s'";
//  - ReadInteger of 4 bytes or fewer that are not a REG_DWORD: "Invalid data type for '%s'";
//  - a write the store refuses (or any write with no key open): "Failed to set data for '%s'".
// ValueExists and DeleteValue raise nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/system.h"

namespace orn {

class TRegistry {
 public:
  TRegistry() = default;
  ~TRegistry() { CloseKey(); }
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  // Opens Key (a leading backslash is ignored), creating it and the keys above it when
  // missing. False when the key cannot be opened; no key is open then.
  bool OpenKey(const std::string& Key);
  void CloseKey();
  bool HasCurrentKey() const { return FOpen; }
  // The open key's path; empty when none is open.
  const std::string& CurrentPath() const { return FCurrentPath; }

  // True for a value of any type; false when no key is open.
  bool ValueExists(const std::string& Name) const;
  int32_t ReadInteger(const std::string& Name) const;
  std::string ReadString(const std::string& Name) const;
  // A REG_DWORD of 4 bytes, little endian.
  void WriteInteger(const std::string& Name, int32_t Value);
  // A REG_SZ: the text and its terminating zero.
  void WriteString(const std::string& Name, const std::string& Value);
  // Removes the value; false when the store refused (a missing value is no failure).
  bool DeleteValue(const std::string& Name);

 private:
  std::optional<TRegValue> Query(const std::string& Name) const;
  void Write(const std::string& Name, const TRegValue& Value);

  bool FOpen = false;
  std::string FCurrentPath;
};

}  // namespace orn
