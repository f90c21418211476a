// The popup menu: its items as shown, transparency levels, on-top, further trees, web links.
#include "ornament_fixture.h"
#include "ui/application.h"

namespace orn::apptest {
namespace {

using MenuTest = OrnamentTest;

TEST_F(MenuTest, TheMenuShowsItsItemsInOrder) {
  CreateAndShow();
  ASSERT_TRUE(ChooseMenuItem(""));
  const std::vector<TPopupMenuEntry> Items = Backend().LastPopupMenu();
  std::vector<std::string> Names;
  for (const auto& I : Items) Names.push_back(I.Name);
  EXPECT_EQ(Names, (std::vector<std::string>{"pmiAbout", "pmiDownload", "N1", "ransparent1",
                                             "pmiOnTop", "pmiStartUp", "pmiAdd", "N2", "pmiExit"}));
  EXPECT_TRUE(Items[0].Default);
  ASSERT_EQ(Items[1].Items.size(), 4u);
  EXPECT_EQ(Items[1].Items[0].Caption, std::string(22, ' ') + ">>> Software <<<");
  EXPECT_FALSE(Items[1].Items[0].Enabled);
  EXPECT_TRUE(Items[1].Items[1].Separator);
  EXPECT_EQ(Items[1].Items[2].Caption, "Quartzbell");
  EXPECT_FALSE(Items[1].Items[3].Caption.empty());
  ASSERT_EQ(Items[3].Items.size(), 10u);
  for (int L = 0; L < 10; ++L) {
    EXPECT_EQ(Items[3].Items[static_cast<size_t>(L)].Caption, std::to_string(L * 10) + "%");
    EXPECT_TRUE(Items[3].Items[static_cast<size_t>(L)].Radio);
  }
  EXPECT_TRUE(Items[4].Checked);
  EXPECT_EQ(Items[6].Caption, "Add Xmas tree");
}

TEST_F(MenuTest, LevelItemsSetTheAlphaAndClickingTheCheckedOneClearsIt) {
  CreateAndShow();
  for (int L = 9; L >= 0; --L) {
    ASSERT_TRUE(ChooseMenuItem("pmi" + std::to_string(L * 10)));
    EXPECT_TRUE(Form->LevelItem(L)->Checked());
    EXPECT_EQ(Win().Layered, L != 0) << L;
    if (L != 0) {
      EXPECT_EQ(Win().Alpha, 255 - 25 * L) << L;
    }
  }
  EXPECT_EQ(Win().Alpha, 230);  // 0 % leaves the last alpha; blending is off
  ASSERT_TRUE(ChooseMenuItem("pmi10"));
  EXPECT_TRUE(Win().Layered);
  EXPECT_EQ(Win().Alpha, 230);

  // Clicking the checked item: no level is checked, the transparency stays.
  ASSERT_TRUE(ChooseMenuItem("pmi30"));
  ASSERT_TRUE(ChooseMenuItem("pmi30"));
  for (int L = 0; L <= 9; ++L) EXPECT_FALSE(Form->LevelItem(L)->Checked()) << L;
  EXPECT_EQ(Win().Alpha, 180);
  // With nothing checked, the close saves the level in force.
  EXPECT_TRUE(CloseByExit());
  EXPECT_EQ(StoredDword("TrVal"), 3);
}

TEST_F(MenuTest, OpaqueWithNoLevelCheckedSavesLevelZero) {
  CreateAndShow();
  ASSERT_TRUE(ChooseMenuItem("pmi0"));
  ASSERT_TRUE(ChooseMenuItem("pmi0"));
  EXPECT_FALSE(Form->pmi0->Checked());
  EXPECT_TRUE(CloseByExit());
  EXPECT_EQ(StoredDword("TrVal"), 0);
}

TEST_F(MenuTest, OnTopTogglesAtOnce) {
  CreateAndShow();
  EXPECT_TRUE(Win().Topmost);
  ASSERT_TRUE(ChooseMenuItem("pmiOnTop"));
  EXPECT_FALSE(Form->pmiOnTop->Checked());
  EXPECT_FALSE(Win().Topmost);
  ASSERT_TRUE(ChooseMenuItem("pmiOnTop"));
  EXPECT_TRUE(Win().Topmost);
}

TEST_F(MenuTest, AddStartsTheSameProgramWithAddAsItsOwnArgument) {
  CreateAndShow();
  ASSERT_TRUE(ChooseMenuItem("pmiAdd"));
  const auto Started = Services().StartedProcesses();
  ASSERT_EQ(Started.size(), 1u);
  EXPECT_EQ(Started[0].Executable, "/opt/my trees/fernlight");
  EXPECT_EQ(Started[0].Arguments, std::vector<std::string>{"add"});
  EXPECT_FALSE(Application()->Terminated());
}

TEST_F(MenuTest, WebLinksCarryEachProductsTags) {
  struct Case {
    const char* Product;
    const char* About;
    const char* Download;
  };
  const Case Cases[] = {{"fernlight", "spirit", "spirit"},
                        {"velmora", "velmora1", "velmora2"},
                        {"sarnith", "sarnith1", "sarnith2"}};
  for (const Case& C : Cases) {
    Services().ClearShellRecords();
    CreateAndShow(C.Product);
    for (const char* Item : {"pmiAbout", "pmiTickframe", "pmiClockInfo"})
      ASSERT_TRUE(ChooseMenuItem(Item));
    const std::string Page = std::string(SiteAddress) + "/quartzbell.html?q=";
    EXPECT_EQ(Services().OpenedURLs(),
              (std::vector<std::string>{Page + C.About, Page + C.Download, Page + C.Download}))
        << C.Product;
    Form.reset();
  }
  EXPECT_NE(std::string(SiteAddress).find(".example"), std::string::npos);
}

}  // namespace
}  // namespace orn::apptest
