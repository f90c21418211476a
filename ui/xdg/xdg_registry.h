// The per-user registry kept in plain files, for desktops that follow the XDG base directories.
// Needs no display: the desktop backend's system services call it for their four registry
// operations.
//
//  - A key "Software\<P>[\<more>]" is the file <config>/<P>[/<more>]/settings.reg, where
//    <config> is $XDG_CONFIG_HOME (~/.config when unset). The file is in the registry export
//    text format:
//
//        Windows Registry Editor Version 5.00
//
//        [HKEY_CURRENT_USER\Software\Fernlight]
//        "OnTop"=dword:00000001
//        "Name"="text"
//        "Other"=hex(3):00,ff
//
//    so every value keeps its type and its exact bytes. Reading accepts what a person editing
//    the file would write: blank lines, ';' comments, CRLF line ends, upper-case hex, spaces
//    around '=', "hex:" for binary data, lines continued with a trailing backslash, a
//    "REGEDIT4" header.
//  - The key "Software\Microsoft\Windows\CurrentVersion\Run" is the directory
//    <config>/autostart: its value <Name> exists while <Name>.desktop exists there, reads as
//    the program the entry starts, and is written as a desktop entry that starts the value's
//    text (a program path) and shows the installed icon when one is set.
//  - Every write takes an advisory lock (a ".lock" file beside the target), reads the file
//    afresh, and replaces it atomically (a temporary file in the same directory, flushed,
//    then renamed over it), so processes writing at the same moment never leave a broken or
//    half-written file.
//  - A settings file that cannot be parsed reads as a key without values; the first write
//    moves it aside as settings.reg.bad (settings.reg.bad.2, ... when that exists) before a
//    fresh file takes its place, so a user's file is never lost silently.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/system.h"

namespace orn {

// One value of a key as the file holds it.
struct TRegFileValue {
  std::string Name;
  TRegValue Value;
  bool operator==(const TRegFileValue&) const = default;
};

// The values of Key in the export text Text, in file order (a name given twice keeps its last
// data); nothing when the text is not a registry export. Sections for other keys are checked
// and ignored.
std::optional<std::vector<TRegFileValue>> ParseRegFile(const std::string& Text,
                                                       const std::string& Key);
// The export text of Key holding Values, in their order.
std::string FormatRegFile(const std::string& Key, const std::vector<TRegFileValue>& Values);

// The Exec line value that starts Program with no arguments, quoted and escaped as desktop
// entries require; and the program an Exec value starts (its first argument, unquoted).
std::string DesktopExecValue(const std::string& Program);
std::string DesktopExecProgram(const std::string& ExecValue);

class TXdgRegistryStore : public TRegistryStore {
 public:
  // ConfigHome: the directory that holds the settings folders and autostart.
  explicit TXdgRegistryStore(std::string ConfigHome);
  // $XDG_CONFIG_HOME when set to an absolute path, else $HOME/.config.
  static std::string DefaultConfigHome();

  const std::string& ConfigHome() const { return FConfigHome; }
  // The icon a new autostart entry names (written only when the file exists); empty for none.
  void SetIconPath(std::string Path) { FIconPath = std::move(Path); }

  // The file that holds Key (the autostart directory for the Run key); empty for a key this
  // store cannot keep (not under Software, or a part that is no file name).
  std::string KeyPath(const std::string& Key) const;

  // The four registry operations of the system services.
  bool CreateKey(const std::string& Key) override;
  std::optional<TRegValue> QueryValue(const std::string& Key, const std::string& Name) override;
  bool SetValue(const std::string& Key, const std::string& Name, const TRegValue& Value) override;
  bool DeleteValue(const std::string& Key, const std::string& Name) override;

 private:
  enum class TKeyKind { kkNone, kkSettings, kkRun };
  TKeyKind KindOf(const std::string& Key, std::string& Path) const;
  bool ChangeSettings(const std::string& Key, const std::string& File, const std::string& Name,
                      const TRegValue* Value);

  std::string FConfigHome;
  std::string FIconPath;
};

}  // namespace orn
