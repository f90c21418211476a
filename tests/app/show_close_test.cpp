// The main window's show sequence, drag-to-move and closing, with settings errors on the way.
#include <algorithm>
#include <sstream>

#include "ornament_fixture.h"
#include "ui/application.h"

namespace orn::apptest {
namespace {

using ShowTest = OrnamentTest;

// The window-system requests of the log, without the window handle.
std::vector<std::string> WindowRequests() {
  std::vector<std::string> Out;
  for (const std::string& E : Backend().Log()) {
    std::istringstream S(E);
    std::string Op, Handle, Rest;
    S >> Op >> Handle;
    std::getline(S, Rest);
    if (Op.rfind("SetWindow", 0) == 0 || Op == "ShowWindow" || Op == "CreateWindow")
      Out.push_back(Op + Rest);
  }
  return Out;
}

TEST_F(ShowTest, TheShowSequenceRunsItsStepsInOrderBeforeTheWindowAppears) {
  StoreDword("OnTop", 1);
  StoreDword("TrVal", 3);
  StoreDword("Top", 100);
  StoreDword("Left", 200);
  Create("fernlight");
  EXPECT_EQ(Form->Width(), 127);  // the stored client size until the show
  EXPECT_EQ(Form->Height(), 176);
  Form->Show();
  const std::vector<std::string> Expected = {
      "CreateWindow",
      "SetWindowBounds 518 205 118 176",  // 1: the picture's width
      "SetWindowBounds 200 100 118 176",  // 3: settings place the window ...
      "SetWindowAlpha 1 180",             //    ... apply the level ...
      "SetWindowTopmost 1",               //    ... and the on-top state
      "SetWindowSkipTaskbar 1",           // 4: no taskbar button
      "SetWindowBounds 200 100 118 170",  // 5: the picture's size
      "SetWindowRegion",                  // 6: cut to the mask
      "SetWindowOwnerDesktop 1",          // 7: owned by the desktop
      "SetWindowBounds 200 100 118 170",  // shown where the sequence put it
      "ShowWindow 1",
  };
  std::vector<std::string> Got = WindowRequests();
  for (std::string& G : Got)
    if (G.rfind("SetWindowRegion", 0) == 0) G = "SetWindowRegion";
  EXPECT_EQ(Got, Expected);
  // The countdown ran too: the hint is set before anything is seen.
  EXPECT_EQ(Form->Gif->Hint(), "14 days\rtill Christmas");
  const THeadlessWindow W = Win();
  EXPECT_TRUE(W.Visible);
  EXPECT_TRUE(W.DropShadow);              // CreateParams adds the class's drop shadow
  EXPECT_EQ(W.PresentCountWhenShown, 1);  // painted once, before it was shown
  EXPECT_TRUE(Application()->TaskbarHidden());
  EXPECT_EQ(GetWindowLong(Window(), GWL_HWNDPARENT), static_cast<intptr_t>(GetDesktopWindow()));
  // The region is the ellipse of the mask: corners cut, middle kept.
  EXPECT_FALSE(Backend().HitTest(Window(), 0, 0));
  EXPECT_FALSE(Backend().HitTest(Window(), 117, 169));
  EXPECT_TRUE(Backend().HitTest(Window(), 59, 85));
  EXPECT_TRUE(Backend().Window(Window()).Layered);
  // Image1 lies beyond the window: never seen.
  EXPECT_GE(Form->Image1->Left(), Form->Width());
}

TEST_F(ShowTest, EveryProductEndsAtItsPictureSize) {
  for (const char* P : {"fernlight", "velmora", "sarnith"}) {
    CreateAndShow(P);
    const TProductSize S = SizeOf(P);
    EXPECT_EQ(Win().Bounds.Width(), S.PictureWidth) << P;
    EXPECT_EQ(Win().Bounds.Height(), S.PictureHeight) << P;
    // First-run placement uses the stored client height, not the picture's.
    EXPECT_EQ(Form->Top(), 1040 - S.ClientHeight) << P;
    EXPECT_EQ(Form->Left(), 1920 - S.PictureWidth - 5) << P;
    Form.reset();
    Application()->Reset();
  }
}

TEST_F(ShowTest, ASettingsErrorEndsTheSequenceAndTheWindowIsShownAnyway) {
  Services().RegSetValue("Software\\Fernlight", "TrVal", TRegValue{REG_SZ, {'3', 0}});
  Create("fernlight");
  Form->Show();
  EXPECT_EQ(Errors(), std::vector<std::string>{"Invalid data type for 'TrVal'"});
  const THeadlessWindow W = Win();
  EXPECT_TRUE(W.Visible);
  EXPECT_EQ(W.Bounds, Bounds(518, 205, 118, 176));          // width from step 1, nothing placed
  EXPECT_EQ(Form->Gif->Hint(), "14 days\rtill Christmas");  // step 2 ran
  EXPECT_FALSE(W.SkipTaskbar);
  EXPECT_FALSE(W.HasRegion);
  EXPECT_FALSE(W.OwnerDesktop);
  EXPECT_EQ(W.Alpha, 225);  // the stored alpha stays
}

TEST_F(ShowTest, DataLongerThanFourBytesFailsWithTheGetDataMessage) {
  Services().RegSetValue("Software\\Fernlight", "Top",
                         TRegValue{REG_BINARY, {1, 2, 3, 4, 5, 6, 7, 8}});
  StoreDword("Left", 10);
  CreateAndShow("fernlight");
  EXPECT_EQ(Errors(), std::vector<std::string>{"Failed to get data for 'Top'"});
}

TEST_F(ShowTest, AnyButtonStartsAMoveAndAClickLeavesTheWindowInPlace) {
  CreateAndShow();
  const TRect Before = Win().Bounds;
  int Drags = Win().MoveDragRequests;
  for (TMouseButton B : {TMouseButton::mbLeft, TMouseButton::mbMiddle}) {
    Backend().MouseDown(Window(), B, 50, 80, ssShift);
    EXPECT_EQ(Win().MoveDragRequests, ++Drags);
    Backend().MouseUp(Window(), B, 50, 80);
  }
  EXPECT_EQ(Win().Bounds, Before);
  Backend().MouseDown(Window(), TMouseButton::mbLeft, 50, 80);
  Backend().FinishMoveDrag(Window(), 300, 40);
  EXPECT_EQ(Form->Left(), 300);
  EXPECT_EQ(Form->Top(), 40);
}

TEST_F(ShowTest, EveryCloseSavesTheSettings) {
  CreateAndShow();
  Form->SetBounds(-70, -140, Form->Width(), Form->Height());
  EXPECT_TRUE(CloseByExit());
  EXPECT_EQ(StoredDword("Top"), -140);
  EXPECT_EQ(StoredDword("Left"), -70);
  EXPECT_EQ(StoredDword("OnTop"), 1);
  EXPECT_EQ(StoredDword("TrVal"), 1);

  // The system's close command and the end of the session ask the same close query.
  Services().ClearRegistry();
  ResumeApplication();
  Backend().RequestClose(Window());
  EXPECT_TRUE(Application()->Terminated());
  EXPECT_EQ(StoredDword("Left"), -70);
  Services().ClearRegistry();
  EXPECT_TRUE(Backend().QueryEndSession(Window()));
  EXPECT_EQ(StoredDword("Left"), -70);
  EXPECT_TRUE(Errors().empty());
}

TEST_F(ShowTest, AFailedSaveKeepsTheWindowOpenAndIsReportedOnce) {
  CreateAndShow();
  Services().SetRegistryWritable(false);
  EXPECT_FALSE(CloseByExit());
  EXPECT_EQ(Errors(), std::vector<std::string>{"Failed to set data for 'OnTop'"});
  EXPECT_TRUE(Win().Visible);
  Backend().RequestClose(Window());
  EXPECT_FALSE(Application()->Terminated());
  EXPECT_FALSE(Backend().QueryEndSession(Window()));
  EXPECT_EQ(Errors().size(), 3u);  // one report per attempt
  Services().SetRegistryWritable(true);
  EXPECT_TRUE(CloseByExit());
}

TEST_F(ShowTest, AKeyThatCannotBeOpenedGivesDefaultsThenFailsAtClose) {
  StoreDword("TrVal", 5);
  Services().SetRegistryOpenable(false);
  CreateAndShow();
  EXPECT_TRUE(Errors().empty());
  EXPECT_TRUE(Form->pmi10->Checked());
  EXPECT_EQ(Win().Alpha, 230);
  EXPECT_FALSE(CloseByExit());
  EXPECT_EQ(Errors(), std::vector<std::string>{"Failed to set data for 'OnTop'"});
}

}  // namespace
}  // namespace orn::apptest
