// Restoring the settings and placing the window at show time; saving them at close.
#include "ornament_fixture.h"
#include "ui/application.h"

namespace orn::apptest {
namespace {

using SettingsTest = OrnamentTest;

TEST_F(SettingsTest, RestoredPlacementKeepsOrResetsEachEdgeOnItsOwn) {
  // Screen 1920 x 1080: Left may be -70 ... 1890, Top -140 ... 1050.
  struct Case {
    int Left, Top, WantLeft, WantTop;
  };
  const Case Cases[] = {
      {-70, -140, -70, -140},   {-71, -140, 550, -140},  {-70, -141, -70, 350},
      {1890, 1050, 1890, 1050}, {1891, 1050, 550, 1050}, {1890, 1051, 1890, 350},
      {2500, 300, 550, 300},  // a second display right of the primary one
      {-5000, -5000, 550, 350},
  };
  for (const Case& C : Cases) {
    Services().ClearRegistry();
    StoreDword("Top", C.Top);
    StoreDword("Left", C.Left);
    CreateAndShow();
    EXPECT_EQ(Form->Left(), C.WantLeft) << C.Left << "," << C.Top;
    EXPECT_EQ(Form->Top(), C.WantTop) << C.Left << "," << C.Top;
    Form.reset();
  }
}

TEST_F(SettingsTest, FirstRunPlacementIgnoresTheWorkAreaOrigin) {
  // The taskbar docked at the left: the work area starts at x 60.
  Backend().SetWorkArea(Rect(60, 0, 1920, 1040));
  StoreDword("Left", 400);  // only one of the two edges: first-run placement
  CreateAndShow();
  EXPECT_EQ(Form->Left(), 1860 - 118 - 5);
  EXPECT_EQ(Form->Top(), 1040 - 176);  // placed with the stored height, 6 free pixels below
  EXPECT_EQ(Form->Top() + Form->Height(), 1040 - 6);
  // No start-up value exists, yet the stored check mark stays: the first close registers.
  EXPECT_TRUE(Form->pmiStartUp->Checked());
  EXPECT_TRUE(CloseByExit());
  EXPECT_TRUE(Services().RegQueryValue(RunKeyPath, "Fernlight"));
}

TEST_F(SettingsTest, SarnithGrowsBelowTheWorkAreaOnItsFirstRun) {
  CreateAndShow("sarnith");
  EXPECT_EQ(Form->Top() + Form->Height(), 1040 + 2);
}

TEST_F(SettingsTest, TheArgumentAddPlacesAtRandomAndOnlyInLowerCase) {
  StoreDword("Top", 10);
  StoreDword("Left", 20);
  Services().SetCommandLineArguments({"add", "ignored"});
  Services().SetRandomValues({777, 333});
  const int Reseeds = Services().RandomizeCount();
  CreateAndShow();
  EXPECT_EQ(Services().RandomizeCount(), Reseeds + 1);
  EXPECT_EQ(Form->Left(), 777);
  EXPECT_EQ(Form->Top(), 333);
  // The StartUp mark shows whether the start-up value exists.
  EXPECT_FALSE(Form->pmiStartUp->Checked());
  Form.reset();

  Services().SetCommandLineArguments({"Add"});
  CreateAndShow();
  EXPECT_EQ(Form->Left(), 20);
  EXPECT_EQ(Form->Top(), 10);
}

TEST_F(SettingsTest, RandomRangesAreTheWorkAreaLessTheWindowAndEmptyRangesGiveTheEdge) {
  Services().SetCommandLineArguments({"add"});
  // Range ends: 1920 - 118 - 5 = 1797 values for Left, 1040 - 176 = 864 for Top.
  Services().SetRandomValues({1796, 863});
  CreateAndShow();
  EXPECT_EQ(Form->Left(), 1796);
  EXPECT_EQ(Form->Top(), 863);
  Form.reset();
  Services().SetRandomValues({1797, 864});  // wrap: the ranges end just below
  CreateAndShow();
  EXPECT_EQ(Form->Left(), 0);
  EXPECT_EQ(Form->Top(), 0);
  Form.reset();
  // A work area too small for the window: no random range at all.
  Backend().SetWorkArea(Rect(0, 0, 100, 150));
  Services().SetRandomValues({50, 50});
  CreateAndShow();
  EXPECT_EQ(Form->Left(), 0);
  EXPECT_EQ(Form->Top(), 0);
}

TEST_F(SettingsTest, TheStoredLevelPicksTheItemAndTheAlpha) {
  struct Case {
    std::optional<int32_t> TrVal;
    int CheckedLevel;
    bool Layered;
    int Alpha;
  };
  const Case Cases[] = {
      {std::nullopt, 1, true, 230},
      {0, 0, false, 225},
      {1, 1, true, 230},
      {9, 9, true, 30},
      {256, 0, false, 225},
      {265, 9, true, 30},
      {10, 1, true, 225},  // no level: the stored
                           // alpha and check mark
                           // stay
      {-1, 1, true, 225},
  };
  for (const Case& C : Cases) {
    Services().ClearRegistry();
    if (C.TrVal) StoreDword("TrVal", *C.TrVal);
    CreateAndShow();
    for (int L = 0; L <= 9; ++L)
      EXPECT_EQ(Form->LevelItem(L)->Checked(), L == C.CheckedLevel)
          << "TrVal " << C.TrVal.value_or(-999) << " item " << L;
    EXPECT_EQ(Win().Layered, C.Layered) << C.TrVal.value_or(-999);
    EXPECT_EQ(Win().Alpha, C.Alpha) << C.TrVal.value_or(-999);
    Form.reset();
  }
}

TEST_F(SettingsTest, LevelTenIsSavedAsOne) {
  StoreDword("TrVal", 10);
  CreateAndShow();
  EXPECT_TRUE(CloseByExit());
  EXPECT_EQ(StoredDword("TrVal"), 1);
}

TEST_F(SettingsTest, OnTopIsRestoredAndApplied) {
  for (int32_t Stored : {0, 1, 7}) {
    StoreDword("OnTop", Stored);
    CreateAndShow();
    EXPECT_EQ(Form->pmiOnTop->Checked(), Stored != 0);
    EXPECT_EQ(Win().Topmost, Stored != 0);
    EXPECT_TRUE(CloseByExit());
    EXPECT_EQ(StoredDword("OnTop"), Stored != 0 ? 1 : 0);
    Form.reset();
    Application()->Reset();
  }
}

TEST_F(SettingsTest, LoadingCreatesBothKeysEvenWhenNothingIsWritten) {
  CreateAndShow();
  EXPECT_TRUE(Services().RegKeyExists("Software\\Fernlight"));
  EXPECT_TRUE(Services().RegKeyExists(RunKeyPath));
  EXPECT_FALSE(StoredDword("Top"));
}

TEST_F(SettingsTest, StartUpWritesOrDeletesTheRunValueAtClose) {
  StoreDword("Top", 10);
  StoreDword("Left", 10);
  Services().RegSetValue(RunKeyPath, "Fernlight", TRegValue{REG_SZ, {'x', 0}});
  CreateAndShow();
  EXPECT_TRUE(Form->pmiStartUp->Checked());
  EXPECT_TRUE(CloseByExit());
  const auto Value = Services().RegQueryValue(RunKeyPath, "Fernlight");
  ASSERT_TRUE(Value);
  const std::string Path = "/opt/my trees/fernlight";
  std::vector<uint8_t> Want(Path.begin(), Path.end());
  Want.push_back(0);
  EXPECT_EQ(*Value, (TRegValue{REG_SZ, Want}));

  // Clearing StartUp changes nothing until the close, which deletes the value even though
  // another instance wrote it.
  ResumeApplication();
  ASSERT_TRUE(ChooseMenuItem("pmiStartUp"));
  EXPECT_FALSE(Form->pmiStartUp->Checked());
  EXPECT_TRUE(Services().RegQueryValue(RunKeyPath, "Fernlight"));
  EXPECT_TRUE(CloseByExit());
  EXPECT_FALSE(Services().RegQueryValue(RunKeyPath, "Fernlight"));
  EXPECT_FALSE(Services().RegQueryValue(RunKeyPath, "Velmora"));
}

TEST_F(SettingsTest, ProductsKeepIndependentSettings) {
  StoreDword("TrVal", 4);
  CreateAndShow("fernlight");
  Form->SetBounds(11, 12, Form->Width(), Form->Height());
  EXPECT_TRUE(CloseByExit());
  Form.reset();
  Application()->Reset();
  CreateAndShow("velmora");
  EXPECT_TRUE(Form->pmi10->Checked());  // nothing of Fernlight's level
  EXPECT_EQ(Form->Left(), 1920 - 180 - 5);
  Form->SetBounds(21, 22, Form->Width(), Form->Height());
  EXPECT_TRUE(CloseByExit());
  ProductName = "fernlight";
  EXPECT_EQ(StoredDword("Left"), 11);
  EXPECT_EQ(StoredDword("TrVal"), 4);
  ProductName = "velmora";
  EXPECT_EQ(StoredDword("Left"), 21);
  EXPECT_EQ(StoredDword("TrVal"), 1);
  EXPECT_TRUE(Services().RegQueryValue(RunKeyPath, "Fernlight"));
  EXPECT_TRUE(Services().RegQueryValue(RunKeyPath, "Velmora"));
}

}  // namespace
}  // namespace orn::apptest
