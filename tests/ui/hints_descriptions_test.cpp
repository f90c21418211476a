#include <gtest/gtest.h>

#include "core/classregistry.h"
#include "core/forms.h"
#include "ui/image.h"
#include "ui/menus.h"
#include "ui/timer.h"
#include "ui_fixture.h"

namespace orn::testing {
namespace {

// ---- Hints ------------------------------------------------------------------------------

class HintTest : public UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    Form = std::make_unique<TForm>(nullptr);
    Form->SetBounds(0, 0, 60, 40);
    Tree = new TProbeControl(Form.get(), clGreen, clGreen);
    Tree->SetBounds(0, 0, 30, 40);
    Tree->SetParent(Form.get());
    Tree->SetHint("2 days\rtill Christmas");
    Tree->SetShowHint(true);
    Form->Show();
    W = Form->Handle();
  }
  std::unique_ptr<TForm> Form;
  TProbeControl* Tree = nullptr;
  HWND W = 0;
};

TEST_F(HintTest, ShowsTheHintAfterARestWithCarriageReturnAsLineBreak) {
  Backend->MouseMove(W, 5, 5);
  Backend->Rest(499);
  EXPECT_FALSE(Backend->TooltipVisible());
  Backend->MouseMove(W, 6, 5);  // a move starts the rest anew
  Backend->Rest(499);
  EXPECT_FALSE(Backend->TooltipVisible());
  Backend->Rest(1);
  EXPECT_TRUE(Backend->TooltipVisible());
  EXPECT_EQ(Backend->TooltipLines(), (std::vector<std::string>{"2 days", "till Christmas"}));
  EXPECT_EQ(Application()->HintControl(), Tree);
  // Moving off the control hides it.
  Backend->MouseMove(W, 40, 5);
  EXPECT_FALSE(Backend->TooltipVisible());
  Backend->Rest(5000);
  EXPECT_EQ(Backend->TooltipShowCount(), 1);  // the form itself has no hint
}

TEST_F(HintTest, HintTextChangesShowAtTheNextShowing) {
  Backend->MouseMove(W, 5, 5);
  Tree->SetHint("Merry Christmas!!!");
  Backend->Rest(500);
  EXPECT_EQ(Backend->TooltipLines(), std::vector<std::string>{"Merry Christmas!!!"});
  Backend->Rest(2500);  // hides after the hide pause and stays hidden on the same control
  EXPECT_FALSE(Backend->TooltipVisible());
  Backend->MouseMove(W, 7, 7);
  Backend->Rest(3000);
  EXPECT_EQ(Backend->TooltipShowCount(), 1);
}

TEST_F(HintTest, TheSwitchesDecide) {
  struct Case {
    bool ControlShowHint;
    bool ParentShowHint;
    bool FormShowHint;
    bool AppShowHint;
    bool Shown;
  };
  const Case Cases[] = {
      {true, false, false, true, true},   // own switch on, parent ignored
      {false, false, true, true, false},  // own switch off, parent ignored
      {false, true, true, true, true},    // follows the form
      {true, true, false, true, false},   // follows the form
      {true, false, true, false, false},  // the application's master switch
  };
  for (const Case& C : Cases) {
    Application()->CancelHint();
    Backend->MouseMove(W, 50, 5);
    const int Before = Backend->TooltipShowCount();
    Tree->SetShowHint(C.ControlShowHint);
    Tree->SetParentShowHint(C.ParentShowHint);
    Form->SetShowHint(C.FormShowHint);
    Application()->SetShowHint(C.AppShowHint);
    Backend->MouseMove(W, 5, 5);
    Backend->Rest(600);
    EXPECT_EQ(Backend->TooltipShowCount() - Before, C.Shown ? 1 : 0)
        << C.ControlShowHint << C.ParentShowHint << C.FormShowHint << C.AppShowHint;
  }
}

TEST_F(HintTest, ClickingHidesTheHintAndAnEmptyHintShowsNothing) {
  Backend->MouseMove(W, 5, 5);
  Backend->Rest(500);
  ASSERT_TRUE(Backend->TooltipVisible());
  Backend->Click(W, TMouseButton::mbLeft, 5, 5);
  EXPECT_FALSE(Backend->TooltipVisible());
  Tree->SetHint("");
  Backend->MouseMove(W, 6, 6);
  Backend->Rest(1000);
  EXPECT_EQ(Backend->TooltipShowCount(), 1);
}

// ---- Form descriptions -------------------------------------------------------------------

class TOrnamentForm : public TForm {
 public:
  explicit TOrnamentForm(TComponent* AOwner) : TForm(AOwner) {
    PublishField("Pic", Pic);
    PublishField("PopupMenu", PopupMenu);
    PublishField("pmiExit", pmiExit);
    PublishField("Timer", Timer);
    PublishMethod<TNotifyEvent>("FormShow", [this](TObject*) { Log.push_back("FormShow"); });
    PublishMethod<TNotifyEvent>("pmiExitClick", [this](TObject*) {
      Log.push_back("pmiExitClick");
      Close();
    });
    PublishMethod<TNotifyEvent>("TimerTimer", [this](TObject*) { Log.push_back("TimerTimer"); });
    PublishMethod<TMouseEvent>("PicMouseDown", [this](TObject*, TMouseButton, TShiftState, int,
                                                      int) { Log.push_back("PicMouseDown"); });
  }
  std::string ClassName() const override { return "TOrnamentForm"; }
  TImage* Pic = nullptr;
  TPopupMenu* PopupMenu = nullptr;
  TMenuItem* pmiExit = nullptr;
  TTimer* Timer = nullptr;
  std::vector<std::string> Log;
};

// The image publishes its mouse events; PopupMenu comes before the menu it names.
const char* const Description = R"(object frmMain: TOrnamentForm
  Left = 518
  Top = 205
  BorderIcons = []
  BorderStyle = bsNone
  AlphaBlend = True
  AlphaBlendValue = 225
  Caption = 'Tolvane'
  ClientHeight = 176
  ClientWidth = 118
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -11
  Font.Name = 'MS Sans Serif'
  Font.Style = []
  OldCreateOrder = False
  Position = poDefault
  OnShow = FormShow
  PixelsPerInch = 96
  TextHeight = 13
  object Pic: TImage
    Left = 0
    Top = 0
    Width = 20
    Height = 10
    Hint = 'a'#13'b'
    ParentShowHint = False
    PopupMenu = PopupMenu
    ShowHint = True
    OnMouseDown = PicMouseDown
  end
  object PopupMenu: TPopupMenu
    object pmiAbout: TMenuItem
      Caption = 'About...'
      Default = True
    end
    object ransparent1: TMenuItem
      Caption = 'Transparent'
      object pmi0: TMenuItem
        AutoCheck = True
        Caption = '0%'
        GroupIndex = 1
        RadioItem = True
      end
      object pmi10: TMenuItem
        AutoCheck = True
        Caption = '10%'
        Checked = True
        GroupIndex = 1
        RadioItem = True
      end
    end
    object N2: TMenuItem
      Caption = '-'
    end
    object pmiExit: TMenuItem
      Caption = 'Exit'
      OnClick = pmiExitClick
    end
  end
  object Timer: TTimer
    Interval = 65555
    OnTimer = TimerTimer
  end
end
)";

class DescriptionTest : public UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    RegisterClass<TOrnamentForm>("TOrnamentForm");
  }
};

TEST_F(DescriptionTest, AFormWithComponentsMenuAndEventsLoads) {
  TOrnamentForm* F = nullptr;
  Application()->CreateForm(F, Description);
  std::unique_ptr<TOrnamentForm> Owned(F);  // leaves the application's list when destroyed
  ASSERT_NE(F, nullptr);
  EXPECT_EQ(Application()->MainForm(), F);
  EXPECT_EQ(F->BorderStyle(), TFormBorderStyle::bsNone);
  EXPECT_EQ(F->BorderIcons(), 0u);
  EXPECT_TRUE(F->AlphaBlend());
  EXPECT_EQ(F->AlphaBlendValue(), 225);
  EXPECT_EQ(F->Caption(), "Tolvane");
  EXPECT_EQ(F->Color(), clBtnFace);
  EXPECT_EQ(F->BoundsRect(), Bounds(518, 205, 118, 176));
  EXPECT_EQ(F->Position(), TPosition::poDefault);
  EXPECT_FALSE(F->Visible());

  ASSERT_NE(F->Pic, nullptr);
  EXPECT_EQ(F->Pic->Parent(), F);
  EXPECT_EQ(F->Pic->PopupMenu(), F->PopupMenu);
  EXPECT_TRUE(F->Pic->ShowHint());
  EXPECT_FALSE(F->Pic->ParentShowHint());
  EXPECT_EQ(F->Pic->Hint(), "a\rb");

  TMenuItem& Root = F->PopupMenu->Items();
  ASSERT_EQ(Root.Count(), 4);
  EXPECT_TRUE(Root.Items(0)->Default());
  ASSERT_EQ(Root.Items(1)->Count(), 2);
  EXPECT_TRUE(Root.Items(1)->Items(1)->Checked());
  EXPECT_TRUE(Root.Items(2)->IsLine());
  EXPECT_EQ(Root.Items(3), F->pmiExit);
  EXPECT_EQ(F->Timer->Interval(), 65555u);
  EXPECT_EQ(Backend->TimerCount(), 1u);  // the countdown timer runs from creation

  // Showing runs OnShow; the bound handlers work through the window system.
  F->Show();
  const HWND W = F->Handle();
  EXPECT_TRUE(Backend->Window(W).Layered);
  EXPECT_EQ(Backend->Window(W).Alpha, 225);
  Backend->MouseMove(W, 3, 3);
  Backend->Rest(500);
  EXPECT_EQ(Backend->TooltipLines(), (std::vector<std::string>{"a", "b"}));
  Backend->QueuePopupChoice("pmi0");
  Backend->Click(W, TMouseButton::mbRight, 3, 3);
  EXPECT_TRUE(Root.Items(1)->Items(0)->Checked());
  EXPECT_FALSE(Root.Items(1)->Items(1)->Checked());
  Backend->Advance(65555);
  Backend->QueuePopupChoice("pmiExit");
  Backend->At(Backend->Now() + 10, [&] { Backend->Click(W, TMouseButton::mbRight, 3, 3); });
  Application()->Run();
  EXPECT_TRUE(Application()->Terminated());
  EXPECT_EQ(F->Log, (std::vector<std::string>{"FormShow", "PicMouseDown", "TimerTimer",
                                              "PicMouseDown", "pmiExitClick"}));
}

TEST_F(DescriptionTest, WrittenFormsReadBackTheSame) {
  TOrnamentForm* F = nullptr;
  Application()->CreateForm(F, Description);
  std::unique_ptr<TOrnamentForm> Owned(F);
  const std::string Text = WriteFormDescription(F);
  TOrnamentForm Copy(nullptr);
  ReadFormDescription(Text, &Copy);
  EXPECT_EQ(WriteFormDescription(&Copy), Text);
  EXPECT_EQ(Copy.PopupMenu->Items().Count(), 4);
  EXPECT_NE(Text.find("PopupMenu = PopupMenu"), std::string::npos);
  EXPECT_NE(Text.find("OnClick = pmiExitClick"), std::string::npos);
  // Defaults are left out.
  EXPECT_EQ(Text.find("AutoPopup"), std::string::npos);
}

TEST_F(DescriptionTest, ABrokenDescriptionLeavesNoForm) {
  const int Before = Screen()->FormCount();
  TOrnamentForm* F = nullptr;
  std::string Bad = Description;
  Bad.replace(Bad.find("Interval = 65555"), 16, "Interval = 'x'");
  EXPECT_ANY_THROW(Application()->CreateForm(F, Bad));
  EXPECT_EQ(F, nullptr);
  EXPECT_EQ(Screen()->FormCount(), Before);
  EXPECT_EQ(Application()->MainForm(), nullptr);
}

}  // namespace
}  // namespace orn::testing
