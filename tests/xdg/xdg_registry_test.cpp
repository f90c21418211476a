#include "ui/xdg/xdg_registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace orn;
namespace fs = std::filesystem;

namespace {

TRegValue Dword(uint32_t N) {
  return {REG_DWORD,
          {static_cast<uint8_t>(N), static_cast<uint8_t>(N >> 8), static_cast<uint8_t>(N >> 16),
           static_cast<uint8_t>(N >> 24)}};
}

TRegValue Sz(const std::string& S) {
  TRegValue V{REG_SZ, std::vector<uint8_t>(S.begin(), S.end())};
  V.Data.push_back(0);
  return V;
}

std::string ReadAll(const fs::path& P) {
  std::ifstream In(P, std::ios::binary);
  std::stringstream S;
  S << In.rdbuf();
  return S.str();
}

void WriteAll(const fs::path& P, const std::string& Text) {
  fs::create_directories(P.parent_path());
  std::ofstream(P, std::ios::binary) << Text;
}

class XdgStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char Template[] = "/tmp/orn-xdg-XXXXXX";
    ASSERT_NE(::mkdtemp(Template), nullptr);
    Home = Template;
  }
  void TearDown() override {
    std::error_code Ignored;
    fs::permissions(Home, fs::perms::owner_all, Ignored);
    fs::remove_all(Home, Ignored);
  }
  fs::path Settings() const { return Home / "Fernlight" / "settings.reg"; }
  fs::path Home;
};

const char* const Key = "Software\\Fernlight";
const char* const RunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

TEST_F(XdgStoreTest, SavedSettingsAreExactlyTheExportText) {
  TXdgRegistryStore S(Home.string());
  EXPECT_EQ(S.KeyPath(Key), Settings().string());
  ASSERT_TRUE(S.CreateKey(Key));
  EXPECT_EQ(ReadAll(Settings()),
            "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Fernlight]\n");
  ASSERT_TRUE(S.SetValue(Key, "OnTop", Dword(1)));
  ASSERT_TRUE(S.SetValue(Key, "TrVal", Dword(1)));
  ASSERT_TRUE(S.SetValue(Key, "Top", Dword(static_cast<uint32_t>(-141))));
  ASSERT_TRUE(S.SetValue(Key, "Left", Dword(1795)));
  ASSERT_TRUE(S.SetValue(Key, "ontop", Dword(0)));  // same value: keeps its name and place
  EXPECT_EQ(ReadAll(Settings()),
            "Windows Registry Editor Version 5.00\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\Fernlight]\n"
            "\"OnTop\"=dword:00000000\n"
            "\"TrVal\"=dword:00000001\n"
            "\"Top\"=dword:ffffff73\n"
            "\"Left\"=dword:00000703\n");
  EXPECT_EQ(S.QueryValue(Key, "TOP"), Dword(static_cast<uint32_t>(-141)));
  EXPECT_EQ((fs::status(Settings()).permissions() & fs::perms::all),
            fs::perms::owner_read | fs::perms::owner_write);
  // No temporary file is left behind.
  for (const auto& E : fs::directory_iterator(Settings().parent_path()))
    EXPECT_TRUE(E.path().filename() == "settings.reg" || E.path().filename() == "settings.reg.lock")
        << E.path();
}

TEST_F(XdgStoreTest, ValuesKeepTheirTypeAndLength) {
  TXdgRegistryStore S(Home.string());
  const TRegValue Eight{REG_BINARY, {1, 2, 3, 4, 5, 6, 7, 8}};
  const TRegValue LongDword{REG_DWORD, {1, 0, 0, 0, 0, 0, 0, 0}};
  const TRegValue ShortDword{REG_DWORD, {7, 0}};
  const TRegValue Unterminated{REG_SZ, {'a', 'b'}};
  const TRegValue Empty{REG_NONE, {}};
  ASSERT_TRUE(S.SetValue(Key, "Top", Sz("12 \"quoted\" C:\\dir")));
  ASSERT_TRUE(S.SetValue(Key, "Left", Eight));
  ASSERT_TRUE(S.SetValue(Key, "TrVal", LongDword));
  ASSERT_TRUE(S.SetValue(Key, "Short", ShortDword));
  ASSERT_TRUE(S.SetValue(Key, "Raw", Unterminated));
  ASSERT_TRUE(S.SetValue(Key, "", Empty));
  ASSERT_TRUE(S.SetValue(Key, "Lines", Sz("a\nb")));
  EXPECT_EQ(S.QueryValue(Key, "Top"), Sz("12 \"quoted\" C:\\dir"));
  EXPECT_EQ(S.QueryValue(Key, "Left"), Eight);
  EXPECT_EQ(S.QueryValue(Key, "TrVal"), LongDword);
  EXPECT_EQ(S.QueryValue(Key, "Short"), ShortDword);
  EXPECT_EQ(S.QueryValue(Key, "Raw"), Unterminated);
  EXPECT_EQ(S.QueryValue(Key, ""), Empty);
  EXPECT_EQ(S.QueryValue(Key, "Lines"), Sz("a\nb"));
  const std::string Text = ReadAll(Settings());
  EXPECT_NE(Text.find("\"Top\"=\"12 \\\"quoted\\\" C:\\\\dir\"\n"), std::string::npos) << Text;
  EXPECT_NE(Text.find("\"Left\"=hex(3):01,02,03,04,05,06,07,08\n"), std::string::npos) << Text;
  EXPECT_NE(Text.find("\"TrVal\"=hex(4):01,00,00,00,00,00,00,00\n"), std::string::npos) << Text;
  EXPECT_NE(Text.find("@=hex(0):\n"), std::string::npos) << Text;

  EXPECT_TRUE(S.DeleteValue(Key, "left"));
  EXPECT_FALSE(S.QueryValue(Key, "Left"));
  EXPECT_TRUE(S.DeleteValue(Key, "Left"));  // already gone: no failure
  EXPECT_TRUE(S.DeleteValue("Software\\Nobody", "Left"));
  EXPECT_FALSE(fs::exists(Home / "Nobody"));
}

TEST(RegFileText, HandEditedFilesAreAccepted) {
  struct Case {
    const char* Text;
    std::vector<TRegFileValue> Values;
  };
  const std::vector<Case> Cases = {
      {"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Fernlight]\r\n"
       "\"OnTop\"=dword:0000000A\r\n",
       {{"OnTop", Dword(10)}}},
      {"\xEF\xBB\xBF; my settings\nWindows Registry Editor Version 5.00\n"
       "[hkey_current_user\\software\\FERNLIGHT]\n\n  ; where it stands\n"
       "\"Top\" = dword:FFFFFF73\n\"Left\"=dword:2a\n",
       {{"Top", Dword(static_cast<uint32_t>(-141))}, {"Left", Dword(42)}}},
      {"REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Other]\n\"Top\"=dword:1\n"
       "[HKEY_CURRENT_USER\\Software\\Fernlight]\n\"Bin\"=hex:01,02,\\\n  03\n"
       "\"Old\"=dword:1\n\"Old\"=-\n\"Name\"=\"x\"\n",
       {{"Bin", TRegValue{REG_BINARY, {1, 2, 3}}}, {"Name", Sz("x")}}},
      {"Windows Registry Editor Version 5.00\n", {}},
  };
  for (const Case& C : Cases) {
    const auto Values = ParseRegFile(C.Text, Key);
    ASSERT_TRUE(Values) << C.Text;
    EXPECT_EQ(*Values, C.Values) << C.Text;
  }
}

TEST(RegFileText, DamagedTextIsRejected) {
  const char* const Cases[] = {
      "",
      "garbage",
      "Windows Registry Editor Version 5.00\n\"OnTop\"=dword:1\n",  // value before a section
      "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Software\\Fernlight]\nOnTop=1\n",
      "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Software\\Fernlight]\n"
      "\"OnTop\"=dword:123456789\n",
      "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Software\\Fernlight]\n"
      "\"OnTop\"=dword:xyz\n",
      "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Software\\Fernlight]\n"
      "\"Bin\"=hex:01,,02\n",
      "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Software\\Fernlight]\n"
      "\"Bin\"=hex(4:01\n",
      "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Software\\Fernlight]\n"
      "\"Name\"=\"open\n",
      "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Software\\Fernlight\n",
      "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Software\\Fernlight]\n"
      "\"Top\"=dword:1 trailing\n",
  };
  for (const char* Text : Cases) EXPECT_FALSE(ParseRegFile(Text, Key)) << Text;
}

TEST_F(XdgStoreTest, ADamagedFileReadsAsEmptyAndIsKeptBeforeAWrite) {
  const std::string Damaged = "Windows Registry Editor Version 5.00\n[oops\n\"OnTop\"=dword:1\n";
  WriteAll(Settings(), Damaged);
  TXdgRegistryStore S(Home.string());
  EXPECT_TRUE(S.CreateKey(Key));
  EXPECT_FALSE(S.QueryValue(Key, "OnTop"));
  EXPECT_TRUE(S.DeleteValue(Key, "OnTop"));
  EXPECT_EQ(ReadAll(Settings()), Damaged);  // reading and deleting leave it alone
  ASSERT_TRUE(S.SetValue(Key, "TrVal", Dword(3)));
  EXPECT_EQ(ReadAll(Settings().string() + ".bad"), Damaged);
  EXPECT_EQ(S.QueryValue(Key, "TrVal"), Dword(3));
  // A second damaged file does not replace the first one kept.
  WriteAll(Settings(), "nonsense");
  ASSERT_TRUE(S.SetValue(Key, "TrVal", Dword(4)));
  EXPECT_EQ(ReadAll(Settings().string() + ".bad"), Damaged);
  EXPECT_EQ(ReadAll(Settings().string() + ".bad.2"), "nonsense");
}

TEST_F(XdgStoreTest, RefusalsAreReportedNotRaised) {
  TXdgRegistryStore S(Home.string());
  EXPECT_FALSE(S.CreateKey("Hardware\\Fernlight"));
  EXPECT_FALSE(S.CreateKey("Software"));
  EXPECT_FALSE(S.CreateKey("Software\\..\\x"));
  EXPECT_FALSE(S.SetValue("System\\X", "A", Dword(1)));
  ASSERT_TRUE(S.SetValue(Key, "OnTop", Dword(1)));
  // A lock that cannot be taken refuses the write and leaves the file as it was.
  fs::remove(Settings().string() + ".lock");
  fs::create_directory(Settings().string() + ".lock");
  EXPECT_FALSE(S.SetValue(Key, "OnTop", Dword(0)));
  EXPECT_FALSE(S.DeleteValue(Key, "OnTop"));
  EXPECT_EQ(S.QueryValue(Key, "OnTop"), Dword(1));
  fs::remove(Settings().string() + ".lock");
  // A file where the settings folder belongs.
  WriteAll(Home / "Velmora", "not a folder");
  EXPECT_FALSE(S.CreateKey("Software\\Velmora"));
  EXPECT_FALSE(S.SetValue("Software\\Velmora", "OnTop", Dword(0)));
  if (::geteuid() != 0) {  // root writes anywhere
    fs::permissions(Settings().parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(S.SetValue(Key, "OnTop", Dword(0)));
    EXPECT_EQ(S.QueryValue(Key, "OnTop"), Dword(1));
    fs::permissions(Home, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(S.CreateKey("Software\\Velmora"));
    EXPECT_FALSE(S.SetValue(RunKey, "Velmora", Sz("/x")));
  }
}

TEST(DesktopExec, ProgramsAreQuotedAsDesktopEntriesRequire) {
  struct Case {
    std::string Program;
    std::string Exec;
  };
  const Case Cases[] = {
      {"/usr/bin/fernlight", "/usr/bin/fernlight"},
      {"/opt/my trees/fernlight", "\"/opt/my trees/fernlight\""},
      {"/opt/a\"b/$HOME/x`y", "\"/opt/a\\\\\"b/\\\\$HOME/x\\\\`y\""},
      {"/opt/back\\slash", "\"/opt/back\\\\\\\\slash\""},
      {"/opt/100%/tree", "/opt/100%%/tree"},
      {"/opt/100% sure/tree", "\"/opt/100%% sure/tree\""},
  };
  for (const Case& C : Cases) {
    EXPECT_EQ(DesktopExecValue(C.Program), C.Exec) << C.Program;
    EXPECT_EQ(DesktopExecProgram(C.Exec), C.Program) << C.Exec;
  }
  EXPECT_EQ(DesktopExecProgram("/usr/bin/tree add %U"), "/usr/bin/tree");
}

TEST_F(XdgStoreTest, TheRunValueIsAnAutostartEntry) {
  TXdgRegistryStore S(Home.string());
  const fs::path Entry = Home / "autostart" / "Fernlight.desktop";
  ASSERT_TRUE(S.CreateKey(RunKey));
  EXPECT_TRUE(fs::is_directory(Home / "autostart"));
  EXPECT_FALSE(S.QueryValue(RunKey, "Fernlight"));
  ASSERT_TRUE(S.SetValue(RunKey, "Fernlight", Sz("/opt/my trees/fernlight")));
  EXPECT_EQ(ReadAll(Entry),
            "[Desktop Entry]\nType=Application\nName=Fernlight\n"
            "Exec=\"/opt/my trees/fernlight\"\n");
  EXPECT_EQ(S.QueryValue(RunKey, "Fernlight"), Sz("/opt/my trees/fernlight"));
  EXPECT_FALSE(S.SetValue(RunKey, "Fernlight", Dword(1)));  // an entry starts a program

  // The icon is named when it is installed.
  S.SetIconPath((Home / "missing.png").string());
  ASSERT_TRUE(S.SetValue(RunKey, "Fernlight", Sz("/usr/bin/fernlight")));
  EXPECT_EQ(ReadAll(Entry).find("Icon="), std::string::npos);
  WriteAll(Home / "icon32.png", "png");
  S.SetIconPath((Home / "icon32.png").string());
  ASSERT_TRUE(S.SetValue(RunKey, "Fernlight", Sz("/usr/bin/fernlight")));
  EXPECT_EQ(ReadAll(Entry),
            "[Desktop Entry]\nType=Application\nName=Fernlight\n"
            "Exec=/usr/bin/fernlight\nIcon=" +
                (Home / "icon32.png").string() + "\n");

  // A hand-made entry reads as the program it starts.
  WriteAll(Home / "autostart" / "Velmora.desktop",
           "[Desktop Entry]\r\nName=Velmora\r\nExec = \"/home/a b/velmora\" add\r\n"
           "[Desktop Action x]\r\nExec=/other\r\n");
  EXPECT_EQ(S.QueryValue(RunKey, "Velmora"), Sz("/home/a b/velmora"));

  EXPECT_TRUE(S.DeleteValue(RunKey, "Fernlight"));
  EXPECT_FALSE(fs::exists(Entry));
  EXPECT_TRUE(S.DeleteValue(RunKey, "Fernlight"));
  EXPECT_TRUE(fs::exists(Home / "autostart" / "Velmora.desktop"));
}

TEST(XdgConfigHome, FollowsTheEnvironment) {
  const char* OldXdg = std::getenv("XDG_CONFIG_HOME");
  const std::string Saved = OldXdg ? OldXdg : "";
  ::setenv("XDG_CONFIG_HOME", "/srv/cfg", 1);
  EXPECT_EQ(TXdgRegistryStore::DefaultConfigHome(), "/srv/cfg");
  ::setenv("XDG_CONFIG_HOME", "relative", 1);  // only an absolute path counts
  ::setenv("HOME", ::getenv("HOME") ? ::getenv("HOME") : "/root", 1);
  EXPECT_EQ(TXdgRegistryStore::DefaultConfigHome(), std::string(::getenv("HOME")) + "/.config");
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(TXdgRegistryStore::DefaultConfigHome(), std::string(::getenv("HOME")) + "/.config");
  if (OldXdg) ::setenv("XDG_CONFIG_HOME", Saved.c_str(), 1);
}

// Two processes save their settings (four values each time) at the same moment, a thousand
// times each, while this one keeps reading: every read finds a whole file and the end result
// parses with all four values, each written by one of them.
TEST_F(XdgStoreTest, TwoProcessesSavingAThousandTimesLeaveAFileThatParses) {
  constexpr int Saves = 1000;
  const auto Started = std::chrono::steady_clock::now();
  pid_t Children[2];
  for (int C = 0; C < 2; ++C) {
    const pid_t Pid = ::fork();
    ASSERT_GE(Pid, 0);
    if (Pid == 0) {
      TXdgRegistryStore S(Home.string());
      bool Ok = true;
      for (int I = 0; I < Saves && Ok; ++I) {
        const uint32_t Tag = static_cast<uint32_t>(C + 1) * 100000 + static_cast<uint32_t>(I);
        Ok = S.CreateKey(Key) && S.SetValue(Key, "OnTop", Dword(Tag)) &&
             S.SetValue(Key, "TrVal", Dword(Tag)) && S.SetValue(Key, "Top", Dword(Tag)) &&
             S.SetValue(Key, "Left", Dword(Tag));
      }
      ::_exit(Ok ? 0 : 1);
    }
    Children[C] = Pid;
  }
  int Reads = 0, BadReads = 0;
  int Finished = 0;
  int Status[2] = {-1, -1};
  while (Finished < 2) {
    ::usleep(500);
    std::ifstream In(Settings(), std::ios::binary);
    if (In) {
      std::stringstream Text;
      Text << In.rdbuf();
      ++Reads;
      if (!ParseRegFile(Text.str(), Key)) ++BadReads;
    }
    for (int C = 0; C < 2; ++C) {
      int St = 0;
      if (Status[C] == -1 && ::waitpid(Children[C], &St, WNOHANG) == Children[C]) {
        Status[C] = St;
        ++Finished;
      }
    }
  }
  for (int C = 0; C < 2; ++C) {
    ASSERT_TRUE(WIFEXITED(Status[C]));
    EXPECT_EQ(WEXITSTATUS(Status[C]), 0) << "writer " << C;
  }
  EXPECT_EQ(BadReads, 0) << "of " << Reads << " reads";
  const auto Final = ParseRegFile(ReadAll(Settings()), Key);
  ASSERT_TRUE(Final);
  ASSERT_EQ(Final->size(), 4u);
  for (const TRegFileValue& V : *Final) {
    ASSERT_EQ(V.Value.Type, REG_DWORD);
    const uint32_t N = V.Value.Data[0] | (V.Value.Data[1] << 8) | (V.Value.Data[2] << 16) |
                       (static_cast<uint32_t>(V.Value.Data[3]) << 24);
    EXPECT_TRUE(N == 100000 + Saves - 1 || N == 200000 + Saves - 1) << V.Name << " " << N;
  }
  const auto Ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - Started)
                      .count();
  std::printf("2 x %d saves (8000 locked writes) in %lld ms, %d concurrent reads\n", Saves,
              static_cast<long long>(Ms), Reads);
}

}  // namespace
