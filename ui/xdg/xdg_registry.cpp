#include "ui/xdg/xdg_registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace orn {

namespace {

const char* const Header = "Windows Registry Editor Version 5.00";
const char* const RootName = "HKEY_CURRENT_USER";
const char* const RunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::string Upper(std::string S) {
  for (char& C : S) C = static_cast<char>(std::toupper(static_cast<unsigned char>(C)));
  return S;
}

bool SameName(const std::string& A, const std::string& B) {
  return Upper(A) == Upper(B);
}

std::string Trim(const std::string& S) {
  size_t B = 0, E = S.size();
  while (B < E && (S[B] == ' ' || S[B] == '\t')) ++B;
  while (E > B && (S[E - 1] == ' ' || S[E - 1] == '\t')) --E;
  return S.substr(B, E - B);
}

// The parts of a key path, without empty ones (a leading or doubled backslash).
std::vector<std::string> KeyParts(const std::string& Key) {
  std::vector<std::string> Parts;
  std::string Part;
  for (char C : Key) {
    if (C == '\\') {
      if (!Part.empty()) Parts.push_back(Part);
      Part.clear();
    } else {
      Part += C;
    }
  }
  if (!Part.empty()) Parts.push_back(Part);
  return Parts;
}

std::string JoinKey(const std::vector<std::string>& Parts) {
  std::string K;
  for (const std::string& P : Parts) {
    if (!K.empty()) K += '\\';
    K += P;
  }
  return K;
}

// A name that can stand as one file name.
bool IsFileName(const std::string& S) {
  return !S.empty() && S != "." && S != ".." && S.find('/') == std::string::npos &&
         S.find('\0') == std::string::npos;
}

int HexDigit(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}

// Reads a quoted string at S[I] (which is '"'), with \\ and \" escapes; I ends after the
// closing quote. False when the string is not closed.
bool ReadQuoted(const std::string& S, size_t& I, std::string& Out) {
  Out.clear();
  ++I;
  while (I < S.size()) {
    const char C = S[I++];
    if (C == '"') return true;
    if (C == '\\' && I < S.size()) {
      Out += S[I++];
      continue;
    }
    Out += C;
  }
  return false;
}

std::optional<std::vector<uint8_t>> ParseHexList(const std::string& S) {
  std::vector<uint8_t> Bytes;
  std::string T = Trim(S);
  if (T.empty()) return Bytes;
  size_t I = 0;
  for (;;) {
    while (I < T.size() && (T[I] == ' ' || T[I] == '\t')) ++I;
    size_t Start = I;
    int Value = 0;
    while (I < T.size() && HexDigit(T[I]) >= 0) Value = Value * 16 + HexDigit(T[I++]);
    if (I == Start || I - Start > 2) return std::nullopt;
    Bytes.push_back(static_cast<uint8_t>(Value));
    while (I < T.size() && (T[I] == ' ' || T[I] == '\t')) ++I;
    if (I == T.size()) return Bytes;
    if (T[I] != ',') return std::nullopt;
    ++I;
  }
}

// The data part of a value line (what follows '=').
std::optional<std::optional<TRegValue>> ParseData(const std::string& Data) {
  const std::string D = Trim(Data);
  if (D == "-") return std::optional<TRegValue>();  // a deletion: the value is absent
  if (!D.empty() && D[0] == '"') {
    size_t I = 0;
    std::string Text;
    if (!ReadQuoted(D, I, Text) || !Trim(D.substr(I)).empty()) return std::nullopt;
    TRegValue V{REG_SZ, std::vector<uint8_t>(Text.begin(), Text.end())};
    V.Data.push_back(0);
    return std::optional<TRegValue>(V);
  }
  const std::string U = Upper(D);
  if (U.rfind("DWORD:", 0) == 0) {
    const std::string Digits = Trim(D.substr(6));
    if (Digits.empty() || Digits.size() > 8) return std::nullopt;
    uint32_t N = 0;
    for (char C : Digits) {
      if (HexDigit(C) < 0) return std::nullopt;
      N = N * 16 + static_cast<uint32_t>(HexDigit(C));
    }
    return std::optional<TRegValue>(
        TRegValue{REG_DWORD,
                  {static_cast<uint8_t>(N), static_cast<uint8_t>(N >> 8),
                   static_cast<uint8_t>(N >> 16), static_cast<uint8_t>(N >> 24)}});
  }
  if (U.rfind("HEX", 0) == 0) {
    size_t I = 3;
    TRegDataType Type = REG_BINARY;
    if (I < D.size() && D[I] == '(') {
      const size_t Close = D.find(')', I);
      if (Close == std::string::npos || Close == I + 1 || Close - I - 1 > 8) return std::nullopt;
      Type = 0;
      for (size_t K = I + 1; K < Close; ++K) {
        if (HexDigit(D[K]) < 0) return std::nullopt;
        Type = Type * 16 + static_cast<TRegDataType>(HexDigit(D[K]));
      }
      I = Close + 1;
    }
    if (I >= D.size() || D[I] != ':') return std::nullopt;
    std::optional<std::vector<uint8_t>> Bytes = ParseHexList(D.substr(I + 1));
    if (!Bytes) return std::nullopt;
    return std::optional<TRegValue>(TRegValue{Type, std::move(*Bytes)});
  }
  return std::nullopt;
}

// Logical lines: CR LF or LF ends a line; a line ending in a backslash (long hex data)
// goes on in the next one.
std::vector<std::string> LogicalLines(const std::string& Text) {
  std::vector<std::string> Lines;
  std::string Current;
  bool Continued = false;
  // A byte-order mark in front of the header is no part of it.
  size_t Start = Text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
  for (;;) {
    size_t End = Text.find('\n', Start);
    const bool Last = End == std::string::npos;
    if (Last) End = Text.size();
    std::string Line = Text.substr(Start, End - Start);
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    const std::string T = Trim(Line);
    if (!T.empty() && T.back() == '\\' && T[0] != ';' && T[0] != '[') {
      Current += T.substr(0, T.size() - 1);
      Continued = true;
    } else {
      Lines.push_back(Current + (Continued ? T : Line));
      Current.clear();
      Continued = false;
    }
    if (Last) break;
    Start = End + 1;
  }
  if (Continued) Lines.push_back(Current);
  return Lines;
}

}  // namespace

std::optional<std::vector<TRegFileValue>> ParseRegFile(const std::string& Text,
                                                       const std::string& Key) {
  const std::string Wanted = Upper(std::string(RootName) + "\\" + JoinKey(KeyParts(Key)));
  std::vector<TRegFileValue> Values;
  bool SeenHeader = false;
  bool InSection = false;  // some section has started
  bool InWanted = false;
  for (const std::string& Raw : LogicalLines(Text)) {
    const std::string Line = Trim(Raw);
    if (Line.empty() || Line[0] == ';') continue;
    if (!SeenHeader) {
      if (Line != Header && Line != "REGEDIT4") return std::nullopt;
      SeenHeader = true;
      continue;
    }
    if (Line[0] == '[') {
      if (Line.back() != ']' || Line.size() < 3) return std::nullopt;
      std::string Name = Line.substr(1, Line.size() - 2);
      InSection = true;
      // "[-KEY]" deletes a key on import; here it names no values.
      InWanted = Name[0] != '-' && Upper(Name) == Wanted;
      continue;
    }
    if (!InSection) return std::nullopt;
    std::string Name;
    size_t I = 0;
    if (Line[0] == '@') {
      I = 1;  // the key's default value, whose name is empty
    } else if (Line[0] == '"') {
      if (!ReadQuoted(Line, I, Name)) return std::nullopt;
    } else {
      return std::nullopt;
    }
    while (I < Line.size() && (Line[I] == ' ' || Line[I] == '\t')) ++I;
    if (I >= Line.size() || Line[I] != '=') return std::nullopt;
    const auto Data = ParseData(Line.substr(I + 1));
    if (!Data) return std::nullopt;
    if (!InWanted) continue;
    auto Same = [&](const TRegFileValue& V) { return SameName(V.Name, Name); };
    std::erase_if(Values, Same);
    if (*Data) Values.push_back({Name, **Data});
  }
  if (!SeenHeader) return std::nullopt;
  return Values;
}

namespace {

std::string Quote(const std::string& S) {
  std::string Q = "\"";
  for (char C : S) {
    if (C == '\\' || C == '"') Q += '\\';
    Q += C;
  }
  return Q + "\"";
}

// Text that a quoted string can hold on one line, or nothing.
std::optional<std::string> StringData(const TRegValue& V) {
  if (V.Type != REG_SZ || V.Data.empty() || V.Data.back() != 0) return std::nullopt;
  std::string Text(V.Data.begin(), V.Data.end() - 1);
  for (char C : Text)
    if (C == '\0' || C == '\r' || C == '\n') return std::nullopt;
  return Text;
}

}  // namespace

std::string FormatRegFile(const std::string& Key, const std::vector<TRegFileValue>& Values) {
  std::string Out =
      std::string(Header) + "\n\n[" + RootName + "\\" + JoinKey(KeyParts(Key)) + "]\n";
  char Buf[16];
  for (const TRegFileValue& V : Values) {
    Out += V.Name.empty() ? std::string("@") : Quote(V.Name);
    Out += '=';
    if (V.Value.Type == REG_DWORD && V.Value.Data.size() == 4) {
      const uint32_t N = static_cast<uint32_t>(V.Value.Data[0]) |
                         (static_cast<uint32_t>(V.Value.Data[1]) << 8) |
                         (static_cast<uint32_t>(V.Value.Data[2]) << 16) |
                         (static_cast<uint32_t>(V.Value.Data[3]) << 24);
      std::snprintf(Buf, sizeof Buf, "dword:%08x", N);
      Out += Buf;
    } else if (const auto Text = StringData(V.Value)) {
      Out += Quote(*Text);
    } else {
      std::snprintf(Buf, sizeof Buf, "hex(%x):", V.Value.Type);
      Out += Buf;
      for (size_t I = 0; I < V.Value.Data.size(); ++I) {
        std::snprintf(Buf, sizeof Buf, I ? ",%02x" : "%02x", V.Value.Data[I]);
        Out += Buf;
      }
    }
    Out += '\n';
  }
  return Out;
}

// ---- Desktop entries ---------------------------------------------------------------------

std::string DesktopExecValue(const std::string& Program) {
  // Quoting: an argument with a reserved character is put in double quotes, inside which
  // ", `, $ and \ take a backslash. A literal % is written %%.
  const std::string Reserved = " \t\n\"'\\><~|&;$*?#()`";
  std::string Arg;
  if (Program.find_first_of(Reserved) != std::string::npos) {
    Arg = "\"";
    for (char C : Program) {
      if (C == '"' || C == '`' || C == '$' || C == '\\') Arg += '\\';
      Arg += C;
    }
    Arg += '"';
  } else {
    Arg = Program;
  }
  // Then the escapes of every string value of a desktop entry.
  std::string Out;
  for (char C : Arg) {
    switch (C) {
      case '%':
        Out += "%%";
        break;
      case '\\':
        Out += "\\\\";
        break;
      case '\n':
        Out += "\\n";
        break;
      case '\t':
        Out += "\\t";
        break;
      case '\r':
        Out += "\\r";
        break;
      default:
        Out += C;
    }
  }
  return Out;
}

std::string DesktopExecProgram(const std::string& ExecValue) {
  std::string S;
  for (size_t I = 0; I < ExecValue.size(); ++I) {
    const char C = ExecValue[I];
    if (C == '\\' && I + 1 < ExecValue.size()) {
      const char N = ExecValue[++I];
      S += N == 's' ? ' ' : N == 'n' ? '\n' : N == 't' ? '\t' : N == 'r' ? '\r' : N;
    } else {
      S += C;
    }
  }
  std::string Program;
  size_t I = 0;
  while (I < S.size() && (S[I] == ' ' || S[I] == '\t')) ++I;
  if (I < S.size() && S[I] == '"') {
    for (++I; I < S.size() && S[I] != '"'; ++I) {
      if (S[I] == '\\' && I + 1 < S.size()) ++I;
      Program += S[I];
    }
  } else {
    while (I < S.size() && S[I] != ' ' && S[I] != '\t') Program += S[I++];
  }
  std::string Out;
  for (size_t K = 0; K < Program.size(); ++K) {
    Out += Program[K];
    if (Program[K] == '%' && K + 1 < Program.size() && Program[K + 1] == '%') ++K;
  }
  return Out;
}

// ---- Files ----------------------------------------------------------------------------------

namespace {

bool MakeDirectories(const std::string& Path) {
  if (Path.empty()) return false;
  size_t Pos = 1;
  for (;;) {
    Pos = Path.find('/', Pos);
    const std::string Part = Path.substr(0, Pos);
    if (::mkdir(Part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (Pos == std::string::npos) break;
    ++Pos;
  }
  struct stat St;
  return ::stat(Path.c_str(), &St) == 0 && S_ISDIR(St.st_mode);
}

std::string DirectoryOf(const std::string& File) {
  const size_t Slash = File.rfind('/');
  return Slash == std::string::npos ? std::string(".") : File.substr(0, Slash);
}

bool FileExists(const std::string& Path) {
  struct stat St;
  return ::stat(Path.c_str(), &St) == 0;
}

// The whole file, or nothing when it cannot be read.
std::optional<std::string> ReadFile(const std::string& Path) {
  const int Fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
  if (Fd < 0) return std::nullopt;
  std::string Text;
  char Buf[8192];
  for (;;) {
    const ssize_t N = ::read(Fd, Buf, sizeof Buf);
    if (N < 0 && errno == EINTR) continue;
    if (N < 0) {
      ::close(Fd);
      return std::nullopt;
    }
    if (N == 0) break;
    Text.append(Buf, static_cast<size_t>(N));
    // Settings files are small; a huge file is no settings file.
    if (Text.size() > (16u << 20)) {
      ::close(Fd);
      return std::nullopt;
    }
  }
  ::close(Fd);
  return Text;
}

// Replaces Path with Text: a temporary file in the same directory, flushed, renamed over it.
bool ReplaceFile(const std::string& Path, const std::string& Text) {
  std::string Temp = Path + ".XXXXXX";
  const int Fd = ::mkstemp(Temp.data());
  if (Fd < 0) return false;
  bool Ok = ::fchmod(Fd, 0600) == 0;
  size_t Done = 0;
  while (Ok && Done < Text.size()) {
    const ssize_t N = ::write(Fd, Text.data() + Done, Text.size() - Done);
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0)
      Ok = false;
    else
      Done += static_cast<size_t>(N);
  }
  if (Ok) Ok = ::fsync(Fd) == 0;
  if (::close(Fd) != 0) Ok = false;
  if (Ok) Ok = ::rename(Temp.c_str(), Path.c_str()) == 0;
  if (!Ok) ::unlink(Temp.c_str());
  return Ok;
}

// An exclusive advisory lock on a lock file, held for the object's life.
class TFileLock {
 public:
  explicit TFileLock(const std::string& Path) {
    FFd = ::open(Path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (FFd < 0) return;
    while (::flock(FFd, LOCK_EX) != 0) {
      if (errno != EINTR) {
        ::close(FFd);
        FFd = -1;
        return;
      }
    }
  }
  ~TFileLock() {
    if (FFd >= 0) ::close(FFd);  // closing releases the lock
  }
  TFileLock(const TFileLock&) = delete;
  TFileLock& operator=(const TFileLock&) = delete;
  bool Held() const { return FFd >= 0; }

 private:
  int FFd = -1;
};

// Moves a damaged file aside under the first free name of settings.reg.bad, .bad.2, ...
bool KeepDamagedFile(const std::string& Path) {
  std::string Target = Path + ".bad";
  for (int N = 2; FileExists(Target); ++N) {
    if (N > 1000) return false;
    Target = Path + ".bad." + std::to_string(N);
  }
  return ::rename(Path.c_str(), Target.c_str()) == 0;
}

}  // namespace

// ---- TXdgRegistryStore ----------------------------------------------------------------------

TXdgRegistryStore::TXdgRegistryStore(std::string ConfigHome) : FConfigHome(std::move(ConfigHome)) {
  while (FConfigHome.size() > 1 && FConfigHome.back() == '/') FConfigHome.pop_back();
}

std::string TXdgRegistryStore::DefaultConfigHome() {
  const char* Xdg = std::getenv("XDG_CONFIG_HOME");
  if (Xdg != nullptr && Xdg[0] == '/') return Xdg;
  const char* Home = std::getenv("HOME");
  return std::string(Home != nullptr ? Home : "") + "/.config";
}

TXdgRegistryStore::TKeyKind TXdgRegistryStore::KindOf(const std::string& Key,
                                                      std::string& Path) const {
  const std::vector<std::string> Parts = KeyParts(Key);
  if (SameName(JoinKey(Parts), RunKey)) {
    Path = FConfigHome + "/autostart";
    return TKeyKind::kkRun;
  }
  if (Parts.size() < 2 || !SameName(Parts[0], "Software")) return TKeyKind::kkNone;
  Path = FConfigHome;
  for (size_t I = 1; I < Parts.size(); ++I) {
    if (!IsFileName(Parts[I])) return TKeyKind::kkNone;
    Path += "/" + Parts[I];
  }
  Path += "/settings.reg";
  return TKeyKind::kkSettings;
}

std::string TXdgRegistryStore::KeyPath(const std::string& Key) const {
  std::string Path;
  return KindOf(Key, Path) == TKeyKind::kkNone ? std::string() : Path;
}

bool TXdgRegistryStore::CreateKey(const std::string& Key) {
  std::string Path;
  switch (KindOf(Key, Path)) {
    case TKeyKind::kkNone:
      return false;
    case TKeyKind::kkRun:
      return MakeDirectories(Path);
    case TKeyKind::kkSettings:
      break;
  }
  if (!MakeDirectories(DirectoryOf(Path))) return false;
  if (FileExists(Path)) return true;  // a damaged file too: its values read as missing
  TFileLock Lock(Path + ".lock");
  if (!Lock.Held()) return false;
  if (FileExists(Path)) return true;
  return ReplaceFile(Path, FormatRegFile(Key, {}));
}

std::optional<TRegValue> TXdgRegistryStore::QueryValue(const std::string& Key,
                                                       const std::string& Name) {
  std::string Path;
  switch (KindOf(Key, Path)) {
    case TKeyKind::kkNone:
      return std::nullopt;
    case TKeyKind::kkRun: {
      if (!IsFileName(Name)) return std::nullopt;
      const std::optional<std::string> Entry = ReadFile(Path + "/" + Name + ".desktop");
      if (!Entry) return std::nullopt;
      // The value is the program the entry starts.
      std::string Program;
      size_t Start = 0;
      bool InMainGroup = false;
      while (Start < Entry->size()) {
        size_t End = Entry->find('\n', Start);
        if (End == std::string::npos) End = Entry->size();
        std::string Line = Trim(Entry->substr(Start, End - Start));
        if (!Line.empty() && Line.back() == '\r') Line.pop_back();
        if (!Line.empty() && Line[0] == '[') InMainGroup = Line == "[Desktop Entry]";
        if (InMainGroup && Line.rfind("Exec", 0) == 0) {
          const std::string Rest = Trim(Line.substr(4));
          if (!Rest.empty() && Rest[0] == '=') Program = DesktopExecProgram(Trim(Rest.substr(1)));
        }
        Start = End + 1;
      }
      TRegValue V{REG_SZ, std::vector<uint8_t>(Program.begin(), Program.end())};
      V.Data.push_back(0);
      return V;
    }
    case TKeyKind::kkSettings:
      break;
  }
  const std::optional<std::string> Text = ReadFile(Path);
  if (!Text) return std::nullopt;
  const auto Values = ParseRegFile(*Text, Key);
  if (!Values) return std::nullopt;
  for (const TRegFileValue& V : *Values)
    if (SameName(V.Name, Name)) return V.Value;
  return std::nullopt;
}

bool TXdgRegistryStore::ChangeSettings(const std::string& Key, const std::string& File,
                                       const std::string& Name, const TRegValue* Value) {
  if (!MakeDirectories(DirectoryOf(File))) return false;
  TFileLock Lock(File + ".lock");
  if (!Lock.Held()) return false;
  std::vector<TRegFileValue> Values;
  if (FileExists(File)) {
    const std::optional<std::string> Text = ReadFile(File);
    if (!Text) return false;
    auto Parsed = ParseRegFile(*Text, Key);
    if (Parsed) {
      Values = std::move(*Parsed);
    } else if (!KeepDamagedFile(File)) {
      return false;
    }
  }
  auto It = std::find_if(Values.begin(), Values.end(),
                         [&](const TRegFileValue& V) { return SameName(V.Name, Name); });
  if (Value == nullptr) {
    if (It != Values.end()) Values.erase(It);
  } else if (It != Values.end()) {
    It->Value = *Value;  // keeps its place and the name as first written
  } else {
    Values.push_back({Name, *Value});
  }
  return ReplaceFile(File, FormatRegFile(Key, Values));
}

bool TXdgRegistryStore::SetValue(const std::string& Key, const std::string& Name,
                                 const TRegValue& Value) {
  std::string Path;
  switch (KindOf(Key, Path)) {
    case TKeyKind::kkNone:
      return false;
    case TKeyKind::kkRun: {
      if (!IsFileName(Name)) return false;
      if (Value.Type != REG_SZ && Value.Type != REG_EXPAND_SZ) return false;
      std::string Program(Value.Data.begin(), Value.Data.end());
      const size_t Zero = Program.find('\0');
      if (Zero != std::string::npos) Program.resize(Zero);
      std::string Entry = "[Desktop Entry]\nType=Application\nName=" + Name +
                          "\nExec=" + DesktopExecValue(Program) + "\n";
      if (!FIconPath.empty() && FileExists(FIconPath)) Entry += "Icon=" + FIconPath + "\n";
      if (!MakeDirectories(Path)) return false;
      const std::string File = Path + "/" + Name + ".desktop";
      TFileLock Lock(Path + "/." + Name + ".desktop.lock");
      if (!Lock.Held()) return false;
      return ReplaceFile(File, Entry);
    }
    case TKeyKind::kkSettings:
      break;
  }
  return ChangeSettings(Key, Path, Name, &Value);
}

bool TXdgRegistryStore::DeleteValue(const std::string& Key, const std::string& Name) {
  std::string Path;
  switch (KindOf(Key, Path)) {
    case TKeyKind::kkNone:
      return false;
    case TKeyKind::kkRun: {
      if (!IsFileName(Name)) return true;  // no such entry can exist
      const std::string File = Path + "/" + Name + ".desktop";
      return ::unlink(File.c_str()) == 0 || errno == ENOENT;
    }
    case TKeyKind::kkSettings:
      break;
  }
  if (!FileExists(Path)) return true;
  // A missing value leaves the file as it is.
  if (!QueryValue(Key, Name)) return true;
  return ChangeSettings(Key, Path, Name, nullptr);
}

}  // namespace orn
