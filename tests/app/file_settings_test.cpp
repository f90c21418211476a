// The ornament's settings kept in files, as on a Linux desktop: what a close writes, what a
// hand-edited or damaged file does at the next start.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "ornament_fixture.h"
#include "ui/application.h"
#include "ui/xdg/xdg_registry.h"

namespace orn::apptest {
namespace {

namespace fs = std::filesystem;

class FileSettingsTest : public OrnamentTest {
 protected:
  void SetUp() override {
    OrnamentTest::SetUp();
    char Template[] = "/tmp/orn-app-XXXXXX";
    ASSERT_NE(::mkdtemp(Template), nullptr);
    Home = Template;
    Store = std::make_unique<TXdgRegistryStore>(Home.string());
    Services().SetRegistryStore(Store.get());
  }
  void TearDown() override {
    OrnamentTest::TearDown();
    Services().SetRegistryStore(nullptr);
    fs::remove_all(Home);
  }
  std::string Read(const fs::path& P) {
    std::ifstream In(P, std::ios::binary);
    std::stringstream S;
    S << In.rdbuf();
    return S.str();
  }
  void Write(const fs::path& P, const std::string& Text) {
    fs::create_directories(P.parent_path());
    std::ofstream(P, std::ios::binary) << Text;
  }
  fs::path Settings() { return Home / "Fernlight" / "settings.reg"; }
  fs::path Home;
  std::unique_ptr<TXdgRegistryStore> Store;
};

TEST_F(FileSettingsTest, ACloseWritesTheExportTextAndTheAutostartEntry) {
  CreateAndShow();
  ASSERT_TRUE(ChooseMenuItem("pmi40"));
  ASSERT_TRUE(ChooseMenuItem("pmiOnTop"));
  Form->SetBounds(-12, 300, Form->Width(), Form->Height());
  ASSERT_TRUE(CloseByExit());
  EXPECT_EQ(Read(Settings()),
            "Windows Registry Editor Version 5.00\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\Fernlight]\n"
            "\"OnTop\"=dword:00000000\n"
            "\"TrVal\"=dword:00000004\n"
            "\"Top\"=dword:0000012c\n"
            "\"Left\"=dword:fffffff4\n");
  EXPECT_EQ(Read(Home / "autostart" / "Fernlight.desktop"),
            "[Desktop Entry]\nType=Application\nName=Fernlight\n"
            "Exec=\"/opt/my trees/fernlight\"\n");

  // The next start finds it all again; clearing StartUp removes the entry at close.
  Form.reset();
  Application()->Reset();
  CreateAndShow();
  EXPECT_EQ(Form->Left(), -12);
  EXPECT_EQ(Form->Top(), 300);
  EXPECT_TRUE(Form->pmi40->Checked());
  EXPECT_FALSE(Form->pmiOnTop->Checked());
  EXPECT_TRUE(Form->pmiStartUp->Checked());
  ASSERT_TRUE(ChooseMenuItem("pmiStartUp"));
  ASSERT_TRUE(CloseByExit());
  EXPECT_FALSE(fs::exists(Home / "autostart" / "Fernlight.desktop"));
}

TEST_F(FileSettingsTest, AValueOfTheWrongTypeOrLengthFailsTheLoadWithItsMessage) {
  struct Case {
    const char* Line;
    const char* Message;
  };
  const Case Cases[] = {
      {"\"TrVal\"=\"3\"", "Invalid data type for 'TrVal'"},
      {"\"TrVal\"=hex(4):03,00,00,00,00,00,00,00", "Failed to get data for 'TrVal'"},
      {"\"OnTop\"=hex:01,00,00,00", "Invalid data type for 'OnTop'"},
  };
  for (const Case& C : Cases) {
    Write(Settings(), std::string("Windows Registry Editor Version 5.00\r\n\r\n"
                                  "[HKEY_CURRENT_USER\\Software\\Fernlight]\r\n") +
                          C.Line + "\r\n");
    const size_t Before = Errors().size();
    CreateAndShow();
    const std::vector<std::string> E = Errors();
    ASSERT_EQ(E.size(), Before + 1) << C.Line;
    EXPECT_EQ(E.back(), C.Message);
    EXPECT_TRUE(Win().Visible);
    Form.reset();
  }
}

TEST_F(FileSettingsTest, ADamagedFileGivesDefaultsAndIsKeptWhenTheCloseWrites) {
  const std::string Damaged = "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\So";
  Write(Settings(), Damaged);
  CreateAndShow();
  EXPECT_TRUE(Errors().empty());
  EXPECT_EQ(Form->Left(), 1920 - 118 - 5);  // first run
  EXPECT_TRUE(Form->pmi10->Checked());
  ASSERT_TRUE(CloseByExit());
  EXPECT_EQ(Read(Settings().string() + ".bad"), Damaged);
  const auto Values = ParseRegFile(Read(Settings()), "Software\\Fernlight");
  ASSERT_TRUE(Values);
  EXPECT_EQ(Values->size(), 4u);
}

TEST_F(FileSettingsTest, ASettingsFileThatCannotBeWrittenKeepsTheWindowOpen) {
  CreateAndShow();
  // A directory where the lock file belongs: no write can take the lock, whoever runs this.
  fs::remove(Home / "Fernlight" / "settings.reg.lock");
  fs::create_directory(Home / "Fernlight" / "settings.reg.lock");
  EXPECT_FALSE(CloseByExit());
  EXPECT_EQ(Errors(), std::vector<std::string>{"Failed to set data for 'OnTop'"});
  EXPECT_TRUE(Win().Visible);
  fs::remove(Home / "Fernlight" / "settings.reg.lock");
  EXPECT_TRUE(CloseByExit());
  EXPECT_TRUE(ParseRegFile(Read(Settings()), "Software\\Fernlight"));
}

}  // namespace
}  // namespace orn::apptest
