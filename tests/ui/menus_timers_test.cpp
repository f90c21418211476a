#include <gtest/gtest.h>

#include "ui/menus.h"
#include "ui/timer.h"
#include "ui_fixture.h"

namespace orn::testing {
namespace {

// ---- Menus ------------------------------------------------------------------------------

class MenuTest : public UITest {
 protected:
  // Four level items (radio, group 1, auto-check), one radio item of group 2 and one plain
  // auto-check item, all under one submenu.
  void SetUp() override {
    UITest::SetUp();
    Menu = new TPopupMenu(&Owner);
    Sub = new TMenuItem(&Owner);
    Menu->Items().Add(Sub);
    for (int I = 0; I < 4; ++I) {
      auto* L = new TMenuItem(&Owner);
      L->SetName("pmi" + std::to_string(I));
      L->SetAutoCheck(true);
      L->SetRadioItem(true);
      L->SetGroupIndex(1);
      Sub->Add(L);
      Levels.push_back(L);
    }
    Other = new TMenuItem(&Owner);
    Other->SetRadioItem(true);
    Other->SetGroupIndex(2);
    Other->SetChecked(true);
    Sub->Add(Other);
    Plain = new TMenuItem(&Owner);
    Plain->SetName("pmiOnTop");
    Plain->SetAutoCheck(true);
    Plain->SetChecked(true);
    Sub->Add(Plain);
  }
  std::string Marks() const {
    std::string S;
    for (TMenuItem* L : Levels) S += L->Checked() ? 'x' : '.';
    return S;
  }
  TComponent Owner{nullptr};
  TPopupMenu* Menu = nullptr;
  TMenuItem* Sub = nullptr;
  std::vector<TMenuItem*> Levels;
  TMenuItem* Other = nullptr;
  TMenuItem* Plain = nullptr;
};

TEST_F(MenuTest, ClicksFollowTheAutoCheckAndRadioRules) {
  struct Step {
    int Click;  // index of the level item clicked
    const char* After;
  };
  const Step Steps[] = {
      {1, ".x.."},  // checking one ...
      {3, "...x"},  // ... clears the others of its group
      {3, "...."},  // clicking the checked one clears it: none is checked
      {0, "x..."},
  };
  for (const Step& S : Steps) {
    Levels[static_cast<size_t>(S.Click)]->Click();
    EXPECT_EQ(Marks(), S.After) << "after clicking " << S.Click;
  }
  // Other groups and non-radio items are left alone.
  EXPECT_TRUE(Other->Checked());
  EXPECT_TRUE(Plain->Checked());
}

TEST_F(MenuTest, TheMarkIsInvertedBeforeTheHandlerRuns) {
  std::vector<bool> SeenInHandler;
  Plain->OnClick = [&](TObject* Sender) {
    EXPECT_EQ(Sender, Plain);
    SeenInHandler.push_back(Plain->Checked());
  };
  Plain->Click();
  Plain->Click();
  EXPECT_EQ(SeenInHandler, (std::vector<bool>{false, true}));
}

TEST_F(MenuTest, CheckingByCodeAlsoClearsTheGroup) {
  Levels[2]->SetChecked(true);
  Levels[1]->SetChecked(true);
  EXPECT_EQ(Marks(), ".x..");
  Levels[1]->SetChecked(false);
  EXPECT_EQ(Marks(), "....");
  // Moving a checked radio item into the group clears the rest as well.
  Levels[0]->SetChecked(true);
  Other->SetGroupIndex(1);
  EXPECT_EQ(Marks(), "....");
  EXPECT_TRUE(Other->Checked());
}

TEST_F(MenuTest, DisabledItemsIgnoreClicks) {
  int Calls = 0;
  Plain->OnClick = [&](TObject*) { ++Calls; };
  Plain->SetEnabled(false);
  Plain->Click();
  EXPECT_EQ(Calls, 0);
  EXPECT_TRUE(Plain->Checked());
}

TEST_F(MenuTest, RightClickOnAControlPopsUpItsMenuAndClicksTheChoice) {
  TForm Form(nullptr);
  Form.SetBounds(200, 100, 50, 50);
  auto* C = new TProbeControl(&Form, clRed, clRed);
  C->SetBounds(5, 5, 20, 20);
  C->SetParent(&Form);
  C->SetPopupMenu(Menu);
  Form.Show();
  auto* Sep = new TMenuItem(&Owner);
  Sep->SetCaption("-");
  Sep->SetName("N1");
  Menu->Items().Add(Sep);
  Levels[1]->SetCaption("10%");

  Backend->QueuePopupChoice("pmi1");
  Backend->Click(Form.Handle(), TMouseButton::mbRight, 10, 12);
  EXPECT_EQ(Backend->PopupCount(), 1);
  EXPECT_EQ(Backend->LastPopupPoint(), (TPoint{210, 112}));
  EXPECT_EQ(Menu->PopupComponent(), C);
  EXPECT_EQ(Marks(), ".x..");
  const auto Shown = Backend->LastPopupMenu();
  ASSERT_EQ(Shown.size(), 2u);
  EXPECT_TRUE(Shown[1].Separator);
  ASSERT_EQ(Shown[0].Items.size(), 6u);
  EXPECT_EQ(Shown[0].Items[1].Caption, "10%");
  EXPECT_FALSE(Shown[0].Items[1].Checked);  // the menu as it was when shown

  // A left click shows nothing; a cancelled menu clicks nothing; a separator is no choice.
  Backend->Click(Form.Handle(), TMouseButton::mbLeft, 10, 12);
  Backend->Click(Form.Handle(), TMouseButton::mbRight, 10, 12);
  Backend->QueuePopupChoice("N1");
  Backend->Click(Form.Handle(), TMouseButton::mbRight, 10, 12);
  EXPECT_EQ(Backend->PopupCount(), 3);
  EXPECT_EQ(Marks(), ".x..");

  // An exception from a handler goes to the error report.
  Plain->OnClick = [](TObject*) { throw Exception("boom"); };
  Backend->QueuePopupChoice("pmiOnTop");
  Backend->Click(Form.Handle(), TMouseButton::mbRight, 10, 12);
  EXPECT_EQ(Backend->ErrorMessages(), std::vector<std::string>{"boom"});
  EXPECT_FALSE(Plain->Checked());
}

TEST_F(MenuTest, TheMenuShowsItsVisibleItemsAsTheyAreWhenItOpens) {
  Sub->SetCaption("&Transparent");
  Sub->SetName("Sub");
  Levels[0]->SetCaption("0&&1 %");
  Levels[2]->SetVisible(false);
  Levels[3]->SetEnabled(false);
  Levels[3]->SetChecked(true);
  Plain->SetDefault(true);
  auto* Hidden = new TMenuItem(&Owner);
  Hidden->SetName("Hidden");
  Hidden->SetVisible(false);
  Menu->Items().Add(Hidden);

  std::vector<TMenuItem*> ById;
  const auto Entries = MenuEntries(Menu->Items(), ById);
  ASSERT_EQ(Entries.size(), 1u);  // the hidden item is left out
  const TPopupMenuEntry& S = Entries[0];
  EXPECT_EQ(S.Caption, "Transparent");
  ASSERT_EQ(S.Items.size(), 5u);  // Levels 0, 1, 3, Other, Plain
  EXPECT_EQ(S.Items[0].Caption, "0&1 %");
  EXPECT_EQ(S.Items[2].Name, "pmi3");
  EXPECT_FALSE(S.Items[2].Enabled);
  EXPECT_TRUE(S.Items[2].Checked);
  EXPECT_TRUE(S.Items[2].Radio);
  EXPECT_TRUE(S.Items[3].Checked);  // Other, radio item of its own group
  EXPECT_TRUE(S.Items[4].Default);
  EXPECT_FALSE(S.Items[4].Radio);
  // Every Id leads back to its item.
  for (const TPopupMenuEntry& E : S.Items)
    EXPECT_EQ(ById.at(static_cast<size_t>(E.Id))->Name(), E.Name);
  EXPECT_EQ(ById.at(static_cast<size_t>(S.Id)), Sub);
}

// A backend that returns one Id whatever is shown: what the menu does with a choice a user
// could not have made.
class TChoosingBackend : public THeadlessBackend {
 public:
  int Choice = -1;
  int TrackPopupMenu(HWND, const std::vector<TPopupMenuEntry>&, int, int) override {
    return Choice;
  }
};

TEST_F(MenuTest, OnlyAnEnabledCommandCanBeChosen) {
  Backend.reset();
  auto Choosing = std::make_unique<TChoosingBackend>();
  TChoosingBackend& B = *Choosing;
  int Clicks = 0;
  for (TMenuItem* L : Levels) L->OnClick = [&](TObject*) { ++Clicks; };
  Sub->OnClick = [&](TObject*) { ++Clicks; };
  Levels[1]->SetEnabled(false);
  // Ids in menu order: Sub 0, pmi0 1, pmi1 2 (disabled), pmi2 3, ...; 99 and -5 are none.
  for (int Id : {0, 2, 99, -5}) {
    B.Choice = Id;
    Menu->Popup(0, 0);
  }
  EXPECT_EQ(Clicks, 0);
  EXPECT_EQ(Marks(), "....");
  B.Choice = 3;
  Menu->Popup(0, 0);
  EXPECT_EQ(Clicks, 1);
  EXPECT_EQ(Marks(), "..x.");
}

TEST_F(MenuTest, DestroyingTheMenuClearsTheControlsReference) {
  TProbeControl C(nullptr, clRed, clRed);
  C.SetPopupMenu(Menu);
  delete Menu;
  EXPECT_EQ(C.PopupMenu(), nullptr);
}

// ---- TTimer -----------------------------------------------------------------------------

class TimerTest : public UITest {};

TEST_F(TimerTest, FiresOnTheVirtualClockUntilDisabled) {
  TTimer T(nullptr);
  T.SetInterval(100);
  std::vector<uint64_t> Ticks;
  T.SetOnTimer([&](TObject* Sender) {
    EXPECT_EQ(Sender, &T);
    Ticks.push_back(Backend->Now());
  });
  Backend->Advance(350);
  EXPECT_EQ(Ticks, (std::vector<uint64_t>{100, 200, 300}));
  T.SetEnabled(false);
  Backend->Advance(1000);
  EXPECT_EQ(Ticks.size(), 3u);
  EXPECT_EQ(Backend->TimerCount(), 0u);
  // Enabling again starts a full interval from now.
  T.SetEnabled(true);
  Backend->Advance(99);
  EXPECT_EQ(Ticks.size(), 3u);
  Backend->Advance(1);
  EXPECT_EQ(Ticks.back(), 1450u);
}

TEST_F(TimerTest, RunsOnlyWithAnIntervalAHandlerAndEnabled) {
  TTimer T(nullptr);
  EXPECT_EQ(T.Interval(), 1000u);
  EXPECT_TRUE(T.Enabled());
  EXPECT_EQ(Backend->TimerCount(), 0u);  // no handler yet
  int Ticks = 0;
  T.SetOnTimer([&](TObject*) { ++Ticks; });
  EXPECT_EQ(Backend->TimerCount(), 1u);
  T.SetInterval(0);
  EXPECT_EQ(Backend->TimerCount(), 0u);
  Backend->Advance(5000);
  EXPECT_EQ(Ticks, 0);
  T.SetInterval(65555);
  Backend->Advance(65554);
  EXPECT_EQ(Ticks, 0);
  Backend->Advance(1);
  EXPECT_EQ(Ticks, 1);
  T.SetOnTimer(nullptr);
  EXPECT_EQ(Backend->TimerCount(), 0u);
}

TEST_F(TimerTest, NoFreeTimerIsReported) {
  Backend->SetTimerLimit(0);
  TTimer T(nullptr);
  try {
    T.SetOnTimer([](TObject*) {});
    FAIL() << "no error";
  } catch (const EOutOfResources& E) {
    EXPECT_STREQ(E.what(), "Not enough timers available");
  }
}

TEST_F(TimerTest, AnExceptionInOnTimerIsReportedAndTheTicksGoOn) {
  TTimer T(nullptr);
  T.SetInterval(10);
  int Ticks = 0;
  T.SetOnTimer([&](TObject*) {
    ++Ticks;
    throw Exception("tick failed");
  });
  Backend->Advance(30);
  EXPECT_EQ(Ticks, 3);
  EXPECT_EQ(Backend->ErrorMessages().size(), 3u);
}

TEST_F(TimerTest, DestroyingTheTimerStopsIt) {
  int Ticks = 0;
  {
    TTimer T(nullptr);
    T.SetInterval(10);
    T.SetOnTimer([&](TObject*) { ++Ticks; });
  }
  Backend->Advance(100);
  EXPECT_EQ(Ticks, 0);
  EXPECT_EQ(Backend->TimerCount(), 0u);
}

// ---- Hidden message windows ------------------------------------------------------------

class MessageWindowTest : public UITest {};

TEST_F(MessageWindowTest, WindowTimersDeliverWmTimerOnTheGuiThread) {
  std::vector<std::pair<uint64_t, WPARAM>> Got;
  const HWND W = AllocateHWnd([&](TMessage& M) {
    if (M.Msg == WM_TIMER) Got.emplace_back(Backend->Now(), M.WParam);
  });
  ASSERT_EQ(SetTimer(W, 1, 30), 1u);
  ASSERT_EQ(SetTimer(W, 7, 50), 7u);
  Backend->Advance(100);
  EXPECT_EQ(Got, (std::vector<std::pair<uint64_t, WPARAM>>{
                     {30, 1}, {50, 7}, {60, 1}, {90, 1}, {100, 7}}));
  // Starting an existing timer again replaces it.
  Got.clear();
  ASSERT_EQ(SetTimer(W, 1, 5), 1u);
  EXPECT_TRUE(KillTimer(W, 7));
  EXPECT_FALSE(KillTimer(W, 7));
  Backend->Advance(10);
  EXPECT_EQ(Got, (std::vector<std::pair<uint64_t, WPARAM>>{{105, 1}, {110, 1}}));
  DeallocateHWnd(W);
  EXPECT_EQ(Backend->TimerCount(), 0u);
  EXPECT_EQ(SetTimer(W, 1, 5), 0u);  // gone
}

TEST_F(MessageWindowTest, RefusedTimersAnswerZero) {
  const HWND W = AllocateHWnd([](TMessage&) {});
  Backend->SetTimerLimit(1);
  EXPECT_EQ(SetTimer(W, 1, 10), 1u);
  EXPECT_EQ(SetTimer(W, 2, 10), 0u);
  EXPECT_EQ(SetTimer(W, 0, 10), 0u);
  DeallocateHWnd(W);
}

TEST_F(MessageWindowTest, PostedMessagesWaitForTheLoopAndDieWithTheWindow) {
  std::vector<UINT> Got;
  const HWND W = AllocateHWnd([&](TMessage& M) {
    Got.push_back(M.Msg);
    M.Result = 42;
  });
  EXPECT_EQ(SendMessage(W, WM_USER, 0, 0), 42);
  EXPECT_TRUE(PostMessage(W, WM_USER + 1, 0, 0));
  EXPECT_EQ(Got, std::vector<UINT>{WM_USER});
  Backend->Drain();
  EXPECT_EQ(Got, (std::vector<UINT>{WM_USER, WM_USER + 1}));
  EXPECT_TRUE(PostMessage(W, WM_USER + 2, 0, 0));
  DeallocateHWnd(W);
  Backend->Drain();
  EXPECT_EQ(Got.size(), 2u);
  EXPECT_FALSE(PostMessage(W, WM_USER, 0, 0));
  EXPECT_EQ(SendMessage(W, WM_USER, 0, 0), 0);
}

TEST_F(MessageWindowTest, OtherThreadsPostIntoTheGuiQueue) {
  std::vector<std::thread::id> Threads;
  const HWND W = AllocateHWnd([&](TMessage&) { Threads.push_back(std::this_thread::get_id()); });
  std::thread T([W] { PostMessage(W, WM_USER, 0, 0); });
  T.join();
  EXPECT_TRUE(Threads.empty());
  Backend->Drain();
  EXPECT_EQ(Threads, std::vector<std::thread::id>{std::this_thread::get_id()});
  DeallocateHWnd(W);
}

}  // namespace
}  // namespace orn::testing
