#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "ui/image.h"
#include "ui/menus.h"
#include "ui_fixture.h"

namespace orn::testing {
namespace {

class FormTest : public UITest {
 protected:
  // A visible 40 x 30 form with a red probe at (10, 5) 8 x 6 and a blue probe at (14, 8) 8 x 6
  // that lies above it.
  void MakeForm() {
    Form = std::make_unique<TForm>(nullptr);
    Form->SetBorderStyle(TFormBorderStyle::bsNone);
    Form->SetBounds(100, 50, 40, 30);
    Form->SetColor(clWhite);
    Red = new TProbeControl(Form.get(), clRed, clLime);
    Red->SetBounds(10, 5, 8, 6);
    Red->SetParent(Form.get());
    Blue = new TProbeControl(Form.get(), clBlue, clYellow);
    Blue->SetBounds(14, 8, 8, 6);
    Blue->SetParent(Form.get());
  }
  std::unique_ptr<TForm> Form;
  TProbeControl* Red = nullptr;
  TProbeControl* Blue = nullptr;
};

TEST_F(FormTest, WindowlessControlsPaintAtTheirOwnOriginAndClipped) {
  MakeForm();
  Form->Show();
  const HWND W = Form->Handle();
  const THeadlessWindow Rec = Backend->Window(W);
  ASSERT_EQ(Rec.FrameWidth, 40);
  ASSERT_EQ(Rec.FrameHeight, 30);
  // Each control's (0, 0) mark lands on its top-left corner in the form.
  EXPECT_EQ(Backend->PixelAt(W, 10, 5), clLime);
  EXPECT_EQ(Backend->PixelAt(W, 14, 8), clYellow);
  // The huge fills stay inside each control's rectangle.
  EXPECT_EQ(Backend->PixelAt(W, 11, 5), clRed);
  EXPECT_EQ(Backend->PixelAt(W, 17, 7), clRed);
  EXPECT_EQ(Backend->PixelAt(W, 9, 5), clWhite);
  EXPECT_EQ(Backend->PixelAt(W, 10, 4), clWhite);
  EXPECT_EQ(Backend->PixelAt(W, 18, 5), clWhite);
  EXPECT_EQ(Backend->PixelAt(W, 0, 0), clWhite);
  EXPECT_EQ(Backend->PixelAt(W, 39, 29), clWhite);
  // Later controls lie above earlier ones where they overlap.
  EXPECT_EQ(Backend->PixelAt(W, 15, 9), clBlue);
  EXPECT_EQ(Backend->PixelAt(W, 21, 13), clBlue);
  EXPECT_EQ(Backend->PixelAt(W, 22, 13), clWhite);
}

TEST_F(FormTest, HiddenControlsAndOnesOutsideTheClipAreNotPainted) {
  MakeForm();
  Blue->Hide();
  Form->Show();
  const HWND W = Form->Handle();
  EXPECT_EQ(Blue->Paints, 0);
  EXPECT_EQ(Backend->PixelAt(W, 15, 9), clRed);

  // A context clipped away from the blue control does not paint it.
  Blue->Show();
  Blue->Paints = 0;
  HBITMAP Bmp = CreateBitmap(40, 30, 1, 32);
  HDC Dc = CreateCompatibleDC(nullptr);
  SelectObject(Dc, Bmp);
  IntersectClipRect(Dc, 0, 0, 12, 30);
  Form->PaintControls(Dc, nullptr);
  EXPECT_EQ(Blue->Paints, 0);
  EXPECT_GE(Red->Paints, 2);
  DeleteDC(Dc);
  DeleteObject(Bmp);
}

TEST_F(FormTest, InvalidatePaintsOnceWhenTheLoopRuns) {
  MakeForm();
  Form->Show();
  const HWND W = Form->Handle();
  const int Before = Backend->Window(W).PresentCount;
  Red->Fill = clFuchsia;
  Red->Invalidate();
  Blue->Invalidate();
  EXPECT_EQ(Backend->PixelAt(W, 11, 5), clRed);  // nothing painted yet
  Backend->Drain();
  EXPECT_EQ(Backend->PixelAt(W, 11, 5), clFuchsia);
  EXPECT_EQ(Backend->Window(W).PresentCount, Before + 1);
  // Repaint paints at once.
  Red->Fill = clAqua;
  Red->Repaint();
  EXPECT_EQ(Backend->PixelAt(W, 11, 5), clAqua);
}

TEST_F(FormTest, ControlTakesTheParentColourWhenParentColorIsOn) {
  MakeForm();
  auto* C = new TProbeControl(Form.get(), clRed, clRed);
  C->SetParentColor(true);
  C->SetParent(Form.get());
  EXPECT_EQ(C->Color(), clWhite);
  EXPECT_TRUE(C->ParentColor());
  C->SetColor(clRed);
  EXPECT_FALSE(C->ParentColor());
}

TEST_F(FormTest, OnShowRunsBeforeTheWindowIsFirstSeen) {
  MakeForm();
  bool SeenVisible = true;
  Form->OnShow = [&](TObject*) {
    SeenVisible = Backend->Window(Form->Handle()).Visible;
    Form->SetColor(clNavy);
    Form->SetBounds(300, 200, 50, 20);
  };
  Form->Show();
  const HWND W = Form->Handle();
  const THeadlessWindow Rec = Backend->Window(W);
  EXPECT_FALSE(SeenVisible);
  EXPECT_TRUE(Rec.Visible);
  // The first frame was presented before the window appeared, with OnShow's effects.
  EXPECT_GE(Rec.PresentCountWhenShown, 1);
  EXPECT_EQ(Rec.Bounds, Bounds(300, 200, 50, 20));
  EXPECT_EQ(Backend->PixelAt(W, 49, 19), clNavy);
}

TEST_F(FormTest, ErrorInOnShowIsReportedAndTheWindowShownAnyway) {
  MakeForm();
  Form->OnShow = [](TObject*) { throw ERegistryException("Invalid data type for 'TrVal'"); };
  Form->Show();
  EXPECT_TRUE(Backend->Window(Form->Handle()).Visible);
  EXPECT_EQ(Backend->ErrorMessages(), std::vector<std::string>{"Invalid data type for 'TrVal'"});
  // An abort is silent.
  Form->Hide();
  Form->OnShow = [](TObject*) { throw EAbort(); };
  Form->Show();
  EXPECT_EQ(Backend->ErrorMessages().size(), 1u);
}

TEST_F(FormTest, CloseQueryCanRefuseAndClosingTheMainFormEndsTheLoop) {
  MakeForm();
  Application()->FormCreated(Form.get());
  bool Allow = false;
  int Queries = 0;
  Form->OnCloseQuery = [&](TObject*, bool& CanClose) {
    ++Queries;
    EXPECT_TRUE(CanClose);  // offered as true
    CanClose = Allow;
  };
  Backend->At(100, [&] { Form->Close(); });
  Backend->At(200, [&] { Backend->RequestClose(Form->Handle()); });
  Backend->At(300, [&] {
    Allow = true;
    EXPECT_TRUE(Backend->QueryEndSession(Form->Handle()));
    Form->Close();
  });
  Backend->At(400, [&] { ADD_FAILURE() << "loop still running"; });
  Application()->Run();
  EXPECT_EQ(Queries, 4);
  EXPECT_TRUE(Application()->Terminated());
  EXPECT_EQ(Backend->Now(), 300u);
  EXPECT_FALSE(Backend->LoopStalled());
}

TEST_F(FormTest, ErrorInCloseQueryIsReportedAndTheFormStaysOpen) {
  MakeForm();
  Application()->FormCreated(Form.get());
  Form->Show();
  Form->OnCloseQuery = [](TObject*, bool&) {
    throw ERegistryException("Failed to set data for 'OnTop'");
  };
  Backend->RequestClose(Form->Handle());
  EXPECT_FALSE(Application()->Terminated());
  EXPECT_TRUE(Form->Visible());
  EXPECT_EQ(Backend->ErrorMessages(), std::vector<std::string>{"Failed to set data for 'OnTop'"});
  EXPECT_FALSE(Backend->QueryEndSession(Form->Handle()));
}

// Everything the message loop dispatches reports what it raises through the application and
// never throws out of the loop: a posted repaint whose OnPaint fails, a window timer, a raw
// posted call, and a window event. The loop goes on, and a later repaint paints again.
TEST_F(FormTest, NothingTheLoopDispatchesEscapesIt) {
  MakeForm();
  Application()->FormCreated(Form.get());
  Form->Show();  // the first paint succeeds
  const HWND W = Form->Handle();
  bool Fail = true;
  Form->OnPaint = [&](TObject*) {
    if (Fail) throw EInvalidGraphicOperation("paint failed");
  };
  const HWND Timed = AllocateHWnd([](TMessage& M) {
    if (M.Msg == WM_TIMER) throw std::runtime_error("timer failed");
  });
  ASSERT_EQ(SetTimer(Timed, 1, 250), 1u);
  Backend->At(100, [&] { Form->Invalidate(); });
  Backend->At(200, [&] { Platform().Post([] { throw 7; }); });
  Backend->At(300, [&] {
    Fail = false;
    Red->Fill = clFuchsia;
    Red->Invalidate();
  });
  Backend->At(400, [&] { Form->Close(); });
  EXPECT_NO_THROW(Application()->Run());
  EXPECT_TRUE(Application()->Terminated());
  EXPECT_EQ(Backend->Now(), 400u);
  EXPECT_EQ(Backend->ErrorMessages(),
            (std::vector<std::string>{"paint failed", "Unknown exception", "timer failed"}));
  EXPECT_EQ(Backend->PixelAt(W, 11, 5), clFuchsia) << "the repaint after the failure painted";
  DeallocateHWnd(Timed);
  // Draining and advancing the clock by hand are the loop too.
  Fail = true;
  Form->Invalidate();
  EXPECT_NO_THROW(Backend->Drain());
  EXPECT_EQ(Backend->ErrorMessages().size(), 4u);
}

// When the exception handling itself fails, its failure gets the default report.
TEST_F(FormTest, AFailingExceptionEventFallsBackToTheDefaultReport) {
  std::vector<std::string> Seen;
  Application()->OnException = [&](TObject* Sender, const Exception& E) {
    Seen.push_back(E.Message());
    EXPECT_EQ(Sender, Application());
    throw std::runtime_error("handler failed");
  };
  Platform().Post([] { throw EInvalidGraphicOperation("first"); });
  EXPECT_NO_THROW(Backend->Drain());
  EXPECT_EQ(Seen, std::vector<std::string>{"first"});
  EXPECT_EQ(Backend->ErrorMessages(), std::vector<std::string>{"handler failed"});
  // A call that returns normally answers true; a failing one false.
  EXPECT_TRUE(DispatchGuarded(nullptr, [] {}));
  Application()->OnException = nullptr;
  EXPECT_FALSE(DispatchGuarded(nullptr, [] { throw EAbort(); }));
  EXPECT_EQ(Backend->ErrorMessages().size(), 1u) << "an abort stays silent";
}

TEST_F(FormTest, ExceptionEventReplacesTheDefaultReport) {
  std::vector<std::string> Seen;
  Application()->OnException = [&](TObject* Sender, const Exception& E) {
    EXPECT_EQ(Sender, nullptr);
    Seen.push_back(E.Message());
  };
  try {
    throw EOutOfResources("Not enough timers available");
  } catch (...) {
    Application()->HandleException(nullptr);
  }
  EXPECT_EQ(Seen, std::vector<std::string>{"Not enough timers available"});
  EXPECT_TRUE(Backend->ErrorMessages().empty());
}

TEST_F(FormTest, DragToMoveStartsTheSystemMoveAndTakesTheNewPlace) {
  MakeForm();
  Form->Show();
  const HWND W = Form->Handle();
  std::vector<TMouseButton> Buttons;
  Red->OnMouseDown = [&](TObject*, TMouseButton Button, TShiftState, int X, int Y) {
    Buttons.push_back(Button);
    EXPECT_EQ(X, 2);  // control coordinates
    EXPECT_EQ(Y, 1);
    ReleaseCapture();
    Form->Perform(WM_SYSCOMMAND, SC_DRAGMOVE, 0);
  };
  ASSERT_TRUE(Backend->MouseDown(W, TMouseButton::mbRight, 12, 6));
  // The window manager gets the pressing button, where it was pressed and when.
  TMoveDragStart Start = Backend->Window(W).LastMoveDrag;
  EXPECT_EQ(Start.Button, TMouseButton::mbRight);
  EXPECT_EQ(Start.Screen, (TPoint{112, 56}));
  EXPECT_EQ(Start.Time, static_cast<uint32_t>(Backend->Now()));
  Backend->FinishMoveDrag(W, 400, 300);
  Backend->MouseUp(W, TMouseButton::mbRight, 12, 6);
  Backend->Advance(1234);
  ASSERT_TRUE(Backend->MouseDown(W, TMouseButton::mbMiddle, 12, 6));
  EXPECT_EQ(Buttons, (std::vector<TMouseButton>{TMouseButton::mbRight, TMouseButton::mbMiddle}));
  EXPECT_EQ(Backend->Window(W).MoveDragRequests, 2);
  Start = Backend->Window(W).LastMoveDrag;
  EXPECT_EQ(Start.Button, TMouseButton::mbMiddle);
  EXPECT_EQ(Start.Screen, (TPoint{412, 306}));
  EXPECT_EQ(Start.Time, static_cast<uint32_t>(Backend->Now()));
  EXPECT_EQ(Form->Left(), 400);
  EXPECT_EQ(Form->Top(), 300);
  EXPECT_EQ(Form->ClientToScreen(TPoint{1, 2}), (TPoint{401, 302}));
}

TEST_F(FormTest, ARightPressThatStartsAMoveStillOpensTheMenuOnRelease) {
  MakeForm();
  auto* Menu = new TPopupMenu(Form.get());
  auto* Item = new TMenuItem(Form.get());
  Item->SetName("pmiExit");
  Item->SetCaption("Exit");
  Menu->Items().Add(Item);
  int Chosen = 0;
  Item->OnClick = [&](TObject*) { ++Chosen; };
  Red->SetPopupMenu(Menu);
  Red->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) {
    ReleaseCapture();
    Form->Perform(WM_SYSCOMMAND, SC_DRAGMOVE, 0);
  };
  Form->Show();
  const HWND W = Form->Handle();
  Backend->QueuePopupChoice("pmiExit");
  ASSERT_TRUE(Backend->Click(W, TMouseButton::mbRight, 12, 6));
  EXPECT_EQ(Backend->Window(W).MoveDragRequests, 1);
  EXPECT_EQ(Backend->PopupCount(), 1);
  EXPECT_EQ(Backend->LastPopupPoint(), (TPoint{112, 56}));
  EXPECT_EQ(Chosen, 1);
  // A move asked for with no button held starts from the form's corner with the left button.
  Form->Perform(WM_SYSCOMMAND, SC_DRAGMOVE, 0);
  EXPECT_EQ(Backend->Window(W).LastMoveDrag.Button, TMouseButton::mbLeft);
  EXPECT_EQ(Backend->Window(W).LastMoveDrag.Screen, (TPoint{100, 50}));
}

TEST_F(FormTest, WindowStateGoesThroughTheSeam) {
  MakeForm();
  const HWND W = Form->Handle();
  // Alpha: setting a value it has does nothing.
  Form->SetAlphaBlend(true);
  Form->SetAlphaBlendValue(225);
  Backend->ClearLog();
  Form->SetAlphaBlend(true);
  Form->SetAlphaBlendValue(225);
  EXPECT_TRUE(Backend->Log().empty());
  EXPECT_TRUE(Backend->Window(W).Layered);
  EXPECT_EQ(Backend->Window(W).Alpha, 225);
  Form->SetAlphaBlend(false);
  EXPECT_FALSE(Backend->Window(W).Layered);

  SetWindowPos(W, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_TRUE(Backend->Window(W).Topmost);
  EXPECT_EQ(Form->BoundsRect(), Bounds(100, 50, 40, 30));
  SetWindowPos(W, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_FALSE(Backend->Window(W).Topmost);

  SetWindowLong(W, GWL_HWNDPARENT, static_cast<intptr_t>(GetDesktopWindow()));
  EXPECT_TRUE(Backend->Window(W).OwnerDesktop);

  EXPECT_FALSE(Backend->Window(W).SkipTaskbar);
  ShowWindow(Application()->Handle(), SW_HIDE);
  EXPECT_TRUE(Backend->Window(W).SkipTaskbar);
  TForm Later(nullptr);  // forms made afterwards have no button either
  EXPECT_TRUE(Backend->Window(Later.Handle()).SkipTaskbar);
}

TEST_F(FormTest, WindowRegionLimitsWhereTheMouseIsTaken) {
  MakeForm();
  Form->Show();
  const HWND W = Form->Handle();
  HRGN R = CreateRectRgn(0, 0, 40, 30);
  HRGN Hole = CreateRectRgn(0, 0, 20, 30);
  CombineRgn(R, R, Hole, RGN_DIFF);
  DeleteObject(Hole);
  ASSERT_EQ(SetWindowRgn(W, R, true), 1);
  const THeadlessWindow Rec = Backend->Window(W);
  ASSERT_TRUE(Rec.HasRegion);
  EXPECT_EQ(Rec.Region, std::vector<TRect>{Rect(20, 0, 40, 30)});
  int Downs = 0;
  Form->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) { ++Downs; };
  EXPECT_FALSE(Backend->MouseDown(W, TMouseButton::mbLeft, 19, 29));
  EXPECT_TRUE(Backend->MouseDown(W, TMouseButton::mbLeft, 20, 0));
  EXPECT_EQ(Downs, 1);
}

class TShadowForm : public TForm {
 public:
  using TForm::TForm;

 protected:
  void CreateParams(TCreateParams& Params) override {
    TForm::CreateParams(Params);
    Params.WindowClass.style |= CS_DROPSHADOW;
  }
};

TEST_F(FormTest, CreateParamsDecideTheDropShadow) {
  TShadowForm Shadow(nullptr);
  TForm Plain(nullptr);
  EXPECT_TRUE(Backend->Window(Shadow.Handle()).DropShadow);
  EXPECT_FALSE(Backend->Window(Plain.Handle()).DropShadow);
}

TEST_F(FormTest, ScreenReportsTheWorkAreaAndThePrimaryDisplay) {
  Backend->SetWorkArea(Rect(60, 0, 1280, 984));
  Backend->SetScreenSize(1280, 1024);
  EXPECT_EQ(Screen()->WorkAreaLeft(), 60);
  EXPECT_EQ(Screen()->WorkAreaWidth(), 1220);
  EXPECT_EQ(Screen()->WorkAreaHeight(), 984);
  EXPECT_EQ(Screen()->Width(), 1280);
  EXPECT_EQ(Screen()->Height(), 1024);
}

TEST_F(FormTest, ParentFormAndActiveForm) {
  MakeForm();
  EXPECT_EQ(GetParentForm(Red), Form.get());
  TProbeControl Orphan(nullptr, clRed, clRed);
  EXPECT_EQ(GetParentForm(&Orphan), nullptr);
  EXPECT_FALSE(Form->Active());
  Form->Show();
  EXPECT_EQ(Screen()->ActiveForm(), Form.get());
  Form.reset();
  EXPECT_EQ(Screen()->ActiveForm(), nullptr);
}

TEST_F(FormTest, PaletteMessagesReachTheFormPostedOrSent) {
  class TPaletteForm : public TForm {
   public:
    using TForm::TForm;
    int Queries = 0;

   protected:
    void Dispatch(TMessage& M) override {
      if (M.Msg == WM_QUERYNEWPALETTE) ++Queries;
      TForm::Dispatch(M);
    }
  } F(nullptr);
  PostMessage(F.Handle(), WM_QUERYNEWPALETTE, 0, 0);
  EXPECT_EQ(F.Queries, 0);
  Backend->Drain();
  EXPECT_EQ(F.Queries, 1);
  SendMessage(F.Handle(), WM_QUERYNEWPALETTE, 0, 0);
  EXPECT_EQ(F.Queries, 2);
}

TEST_F(FormTest, AWorkerThreadPaintsThroughTheWindowsDeviceContext) {
  MakeForm();
  Form->Show();
  const HWND W = Form->Handle();
  std::thread Worker([W] {
    HDC Dc = GetDC(W);
    ASSERT_NE(Dc, nullptr);
    IntersectClipRect(Dc, 30, 20, 32, 22);
    FillRect(Dc, Rect(0, 0, 40, 30), clMaroon);
    ReleaseDC(W, Dc);
  });
  Worker.join();
  EXPECT_EQ(Backend->PixelAt(W, 30, 20), clMaroon);
  EXPECT_EQ(Backend->PixelAt(W, 31, 21), clMaroon);
  EXPECT_EQ(Backend->PixelAt(W, 32, 21), clWhite);
  EXPECT_EQ(Backend->PixelAt(W, 11, 5), clRed);
  EXPECT_EQ(GetDC(0x7777), nullptr);
}

TEST_F(FormTest, ImageAutoSizesToItsPictureAndPaintsIt) {
  MakeForm();
  auto* Img = new TImage(Form.get());
  Img->SetParent(Form.get());
  Img->SetBounds(2, 20, 105, 105);
  Img->SetAutoSize(true);
  TBitmap Bmp;
  Bmp.SetSize(3, 2);
  Bmp.Canvas().SetPixels(0, 0, clGreen);
  Bmp.Canvas().SetPixels(2, 1, clPurple);
  Img->Picture()->SetGraphic(&Bmp);
  EXPECT_EQ(Img->BoundsRect(), Bounds(2, 20, 3, 2));
  Form->Show();
  EXPECT_EQ(Backend->PixelAt(Form->Handle(), 2, 20), clGreen);
  EXPECT_EQ(Backend->PixelAt(Form->Handle(), 4, 21), clPurple);
}

}  // namespace
}  // namespace orn::testing
