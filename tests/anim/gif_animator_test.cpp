// The animator control on a headless form: frame stepping on the virtual clock (the timer in
// message mode), events in their order, drawing settings against presented pixels, loading
// from a form description, and asynchronous drawing on the timer's real worker.
#include "anim/gif_animator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <thread>

#include "anim_support.h"
#include "core/exceptions.h"
#include "core/forms.h"
#include "ui/application.h"
#include "ui/forms.h"

namespace orn {
namespace {

using animtest::Backend;
using animtest::MakeImage;
using animtest::TFrameSpec;
using animtest::WaitUntil;

const TColor FormColor = RGB(10, 20, 30);
const TColor Key = RGB(1, 2, 3);

class AnimatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Backend();
    Form = std::make_unique<TForm>(nullptr);
    Form->SetBorderStyle(TFormBorderStyle::bsNone);
    Form->SetBounds(0, 0, 30, 30);
    Form->SetColor(FormColor);
    Anim = new TGIFAnimator(Form.get());
    Anim->SetParent(Form.get());
    Anim->Timer()->SetThreaded(false);  // ticks from the virtual clock
    Form->SetVisible(true);
  }
  void TearDown() override {
    Form.reset();
    Application()->OnException = nullptr;
  }
  void Load(const std::unique_ptr<TGIFImage>& Image) {
    Anim->SetImage(Image.get());
    Backend().Drain();
  }
  TColor Px(int X, int Y) { return Backend().PixelAt(Form->Handle(), X, Y); }
  // Plays a two-frame image (delays clamped to 50 ms) with asynchronous drawing on the timer's
  // real worker, counting frame changes; true once three have happened.
  bool RunAsynchronously(std::atomic<int>& Frames) {
    auto Image =
        MakeImage(2, 2, {{0, 0, 2, 2, clRed, clNone, 1, 0}, {0, 0, 2, 2, clLime, clNone, 1, 0}});
    Load(Image);
    Anim->Timer()->SetThreaded(true);
    Anim->SetAsyncDrawing(true);
    Anim->SetOnFrameChanged([&Frames](TObject*) { ++Frames; });
    Anim->SetAnimate(true);
    return WaitUntil([&] { return Frames >= 3; });
  }
  void Log(const std::string& S) { Events.push_back(S); }
  void RecordEvents() {
    Anim->SetOnStart([this](TObject*) { Log("start"); });
    Anim->SetOnStop([this](TObject*) { Log("stop"); });
    Anim->SetOnChange([this](TObject*) { Log("change"); });
    Anim->SetOnFrameChanged(
        [this](TObject*) { Log("frame " + std::to_string(Anim->FrameIndex())); });
  }

  std::unique_ptr<TForm> Form;
  TGIFAnimator* Anim = nullptr;
  std::vector<std::string> Events;
};

// Three full-screen frames in red, green and blue on a 4 x 4 screen.
std::unique_ptr<TGIFImage> RGBImage(int Delay = 100) {
  return MakeImage(4, 4,
                   {{0, 0, 4, 4, clRed, clNone, 1, Delay},
                    {0, 0, 4, 4, clLime, clNone, 1, Delay},
                    {0, 0, 4, 4, clBlue, clNone, 1, Delay}});
}

TEST_F(AnimatorTest, DefaultsAfterConstruction) {
  EXPECT_FALSE(Anim->Animate());
  EXPECT_FALSE(Anim->AsyncDrawing());
  EXPECT_TRUE(Anim->AutoSize());
  EXPECT_FALSE(Anim->Center());
  EXPECT_EQ(Anim->FrameIndex(), 0);
  EXPECT_TRUE(Anim->Loop());
  EXPECT_FALSE(Anim->Stretch());
  EXPECT_TRUE(Anim->Transparent());
  EXPECT_TRUE(Anim->Image()->Empty());
  EXPECT_EQ(Anim->Width(), 105);
  EXPECT_EQ(Anim->Height(), 105);
  EXPECT_TRUE(Anim->ParentColor());
  EXPECT_EQ(Anim->Color(), FormColor);
  EXPECT_TRUE(Anim->Timer()->Enabled());
  EXPECT_FALSE(static_cast<bool>(Anim->Timer()->OnTimer())) << "no tick handler while stopped";
  EXPECT_EQ(Anim->Timer()->Interval(), 1000u);
}

TEST_F(AnimatorTest, NonLoopingRunShowsOneTwoZeroThenStops) {
  Load(RGBImage());
  EXPECT_EQ(Anim->Width(), 4) << "auto-size to the logical screen";
  EXPECT_EQ(Px(0, 0), clRed);
  Anim->SetLoop(false);
  RecordEvents();
  std::vector<TColor> PaintedAtStop;
  Anim->SetOnStop([&](TObject*) {
    Log("stop");
    PaintedAtStop.push_back(Px(0, 0));
    EXPECT_FALSE(Anim->Timer()->Enabled()) << "OnStop comes after the timer is disarmed";
  });
  Anim->SetOnStart([&](TObject*) {
    Log("start");
    EXPECT_TRUE(static_cast<bool>(Anim->Timer()->OnTimer())) << "OnStart after arming";
  });
  std::vector<TColor> Shown;
  Anim->SetOnFrameChanged([&](TObject*) { Log("frame " + std::to_string(Anim->FrameIndex())); });
  Anim->SetAnimate(true);
  EXPECT_TRUE(Anim->Animate());
  EXPECT_EQ(Anim->Timer()->Interval(), 100u);
  for (int I = 0; I < 3; ++I) {
    Backend().Advance(100);
    Shown.push_back(Px(0, 0));
  }
  Backend().Advance(1000);
  EXPECT_EQ(Events, (std::vector<std::string>{"start", "frame 1", "frame 2", "frame 0", "stop"}));
  EXPECT_EQ(Shown, (std::vector<TColor>{clLime, clBlue, clRed}));
  EXPECT_EQ(PaintedAtStop, std::vector<TColor>{clRed}) << "frame 0 painted before OnStop";
  EXPECT_FALSE(Anim->Animate());
  EXPECT_FALSE(Anim->Timer()->Enabled());
}

TEST_F(AnimatorTest, LoopingRunWrapsAndSwitchingOffStops) {
  Load(RGBImage());
  RecordEvents();
  Anim->SetAnimate(true);
  Backend().Advance(400);
  Anim->SetAnimate(false);
  Backend().Advance(1000);
  EXPECT_EQ(Events, (std::vector<std::string>{"start", "frame 1", "frame 2", "frame 0", "frame 1",
                                              "stop"}));
  EXPECT_EQ(Px(0, 0), clLime);
}

TEST_F(AnimatorTest, FrameDelaysAreClamped) {
  const std::pair<int, uint32_t> Cases[] = {{0, 50},        {10, 50},      {49, 50},
                                            {50, 50},       {70, 70},      {10000, 10000},
                                            {10001, 10000}, {65535, 10000}};
  for (auto [Delay, Expected] : Cases) {
    SCOPED_TRACE("delay " + std::to_string(Delay));
    Load(MakeImage(2, 2,
                   {{0, 0, 2, 2, clRed, clNone, 1, Delay}, {0, 0, 2, 2, clBlue, clNone, 1, 100}}));
    EXPECT_EQ(Anim->Timer()->Interval(), Expected);
  }
  // Ticks follow each frame's own delay.
  Load(MakeImage(2, 2, {{0, 0, 2, 2, clRed, clNone, 1, 20}, {0, 0, 2, 2, clBlue, clNone, 1, 300}}));
  Anim->SetAnimate(true);
  Backend().Advance(49);
  EXPECT_EQ(Anim->FrameIndex(), 0);
  Backend().Advance(1);
  EXPECT_EQ(Anim->FrameIndex(), 1);
  EXPECT_EQ(Anim->Timer()->Interval(), 300u);
  Backend().Advance(299);
  EXPECT_EQ(Anim->FrameIndex(), 1);
  Backend().Advance(1);
  EXPECT_EQ(Anim->FrameIndex(), 0);
}

TEST_F(AnimatorTest, SingleFrameDoesNotAnimate) {
  Load(MakeImage(2, 2, {{0, 0, 2, 2, clRed, clNone, 1, 100}}));
  EXPECT_EQ(Anim->Timer()->Interval(), 0u);
  RecordEvents();
  Anim->SetAnimate(true);
  EXPECT_TRUE(Anim->Animate());
  Backend().Advance(5000);
  EXPECT_EQ(Events, std::vector<std::string>{"start"});
}

TEST_F(AnimatorTest, FrameIndexSetterIgnoresInvalidAndEqualValues) {
  Load(RGBImage(70));
  RecordEvents();
  for (int Bad : {-1, 3, 99, 0}) Anim->SetFrameIndex(Bad);
  EXPECT_TRUE(Events.empty());
  Anim->Image()->Frames(2)->SetDelayMs(250);
  std::vector<TColor> AtEvent;
  Anim->SetOnFrameChanged([&](TObject*) { AtEvent.push_back(Px(0, 0)); });
  Anim->SetFrameIndex(2);
  EXPECT_EQ(AtEvent, std::vector<TColor>{clRed}) << "OnFrameChanged before the repaint";
  EXPECT_EQ(Anim->Timer()->Interval(), 250u);
  Backend().Drain();
  EXPECT_EQ(Px(0, 0), clBlue);
}

TEST_F(AnimatorTest, ImageChangeRepaintsBeforeOnChangeAndEmptyImageShowsBackground) {
  Form->OnPaint = [this](TObject*) {
    Form->Canvas().Brush().SetColor(clYellow);
    Form->Canvas().FillRect(Rect(0, 0, 2, 30));
  };
  Load(RGBImage());
  RecordEvents();
  Anim->SetImage(nullptr);
  EXPECT_EQ(Events, std::vector<std::string>{"change"});
  EXPECT_TRUE(Anim->Image()->Empty());
  Backend().Drain();
  EXPECT_EQ(Px(0, 0), clYellow) << "the parent's content is copied behind an empty image";
  EXPECT_EQ(Px(3, 3), FormColor);
}

TEST_F(AnimatorTest, StretchCenterAndPlacement) {
  // A 10 x 1 picture whose columns have distinct colours, on a 5 x 3 control.
  auto Image = MakeImage(10, 1, {{0, 0, 10, 1, clRed, clNone, 1}});
  for (int X = 0; X < 10; ++X)
    Image->Frames(0)->DecodedBitmap()->Canvas().SetPixels(X, 0, RGB(X * 20, 0, 0));
  Anim->SetAutoSize(false);
  Anim->SetBounds(0, 0, 5, 3);
  Load(Image);
  EXPECT_EQ(Anim->Width(), 5) << "AutoSize off keeps the size";
  EXPECT_EQ(Px(0, 0), RGB(0, 0, 0));
  EXPECT_EQ(Px(4, 0), RGB(80, 0, 0));
  EXPECT_EQ(Px(0, 1), FormColor);

  Anim->SetCenter(true);
  Backend().Drain();
  // Overflow 5: the left edge is at -(5 div 2) = -2; the top at (3 - 1) div 2 = 1.
  EXPECT_EQ(Px(0, 1), RGB(40, 0, 0));
  EXPECT_EQ(Px(4, 1), RGB(120, 0, 0));
  EXPECT_EQ(Px(0, 0), FormColor);

  Anim->SetStretch(true);  // wins over Center
  Backend().Drain();
  for (int Y = 0; Y < 3; ++Y) EXPECT_EQ(Px(0, Y), RGB(0, 0, 0));
  EXPECT_EQ(Px(4, 2), RGB(160, 0, 0));
}

TEST_F(AnimatorTest, DrawingSettingsRepaintAtOnceOnlyWhileRunning) {
  Load(MakeImage(2, 2, {{0, 0, 2, 2, clRed, clNone, 1}, {0, 0, 2, 2, clRed, clNone, 1}}));
  Anim->SetAutoSize(false);
  Anim->SetBounds(0, 0, 4, 4);
  Backend().Drain();
  EXPECT_EQ(Px(3, 3), FormColor);
  Anim->SetStretch(true);
  EXPECT_EQ(Px(3, 3), FormColor) << "stopped: only a repaint request";
  EXPECT_TRUE(Form->PaintPending());
  Backend().Drain();
  EXPECT_EQ(Px(3, 3), clRed);
  Anim->SetAnimate(true);
  Anim->SetStretch(false);
  EXPECT_EQ(Px(3, 3), FormColor) << "running: repainted at once";
}

TEST_F(AnimatorTest, TransparentSwitchDecidesWhetherTheKeyShows) {
  Form->OnPaint = [this](TObject*) {
    Form->Canvas().Brush().SetColor(clYellow);
    Form->Canvas().FillRect(Rect(0, 0, 30, 30));
  };
  // Frame 0 is keyed in its top-left pixel; the screen is larger than the frame.
  auto Image = MakeImage(3, 3, {{0, 0, 2, 2, clRed, Key, 1, 100, Key}});
  Image->SetTransparent(true);
  Load(Image);
  EXPECT_EQ(Px(0, 0), clYellow);
  EXPECT_EQ(Px(2, 2), clYellow) << "uncovered screen shows the key colour, keyed out";
  EXPECT_EQ(Px(1, 1), clRed);
  Anim->SetTransparent(false);
  Backend().Drain();
  EXPECT_EQ(Px(0, 0), Key) << "opaque: the fill colour where the key is";
  EXPECT_EQ(Px(2, 2), Key);
  EXPECT_EQ(Px(1, 1), clRed);
}

TEST_F(AnimatorTest, TickExceptionsAreReportedOncePerTickWhileTicksGoOn) {
  std::vector<std::string> Reports;
  Application()->OnException = [&](TObject*, const Exception& E) {
    Reports.push_back(E.Message());
  };
  Load(RGBImage());
  Anim->SetOnFrameChanged([&](TObject*) {
    throw EInvalidGraphicOperation("bad frame " + std::to_string(Anim->FrameIndex()));
  });
  Anim->SetAnimate(true);
  Backend().Advance(300);
  EXPECT_EQ(Reports, (std::vector<std::string>{"bad frame 1", "bad frame 2", "bad frame 0"}));
  EXPECT_EQ(Anim->Timer()->Interval(), 100u);
}

TEST_F(AnimatorTest, HugeLogicalScreenIsReportedOnceAndShowsTheBackground) {
  std::vector<std::string> Reports;
  Application()->OnException = [&](TObject*, const Exception& E) {
    Reports.push_back(E.Message());
  };
  auto Image = RGBImage();
  Image->FLogicalWidth = 65535;
  Image->FLogicalHeight = 65535;
  Anim->SetAutoSize(false);
  Anim->SetBounds(0, 0, 8, 8);
  Load(Image);
  Anim->SetAnimate(true);
  Backend().Advance(1000);
  ASSERT_EQ(Reports.size(), 1u);
  EXPECT_NE(Reports[0].find("65535 x 65535"), std::string::npos) << Reports[0];
  EXPECT_EQ(Px(1, 1), FormColor);
  Load(RGBImage());  // a new image may be reported again, and a fine one simply shows
  EXPECT_EQ(Px(1, 1), clRed);
}

TEST_F(AnimatorTest, CanAutoSizeFollowsAlignment) {
  Load(MakeImage(7, 9, {{0, 0, 7, 9, clRed, clNone, 1}}));
  struct TCase {
    TAlign Align;
    int W, H;
  };
  const TCase Cases[] = {{TAlign::alNone, 7, 9},    {TAlign::alLeft, 7, 50},
                         {TAlign::alRight, 7, 50},  {TAlign::alTop, 50, 9},
                         {TAlign::alBottom, 50, 9}, {TAlign::alClient, 50, 50}};
  for (const TCase& C : Cases) {
    Anim->SetAutoSize(false);
    Anim->SetAlign(C.Align);
    int W = 50, H = 50;
    EXPECT_TRUE(Anim->CanAutoSize(W, H));
    EXPECT_EQ(W, C.W);
    EXPECT_EQ(H, C.H);
  }
}

// A GIF stream of three 1 x 1 frames (colours black, white, black) with 100 ms delays.
std::string ThreeFrameGIFHex() {
  std::vector<uint8_t> B = {'G',  'I', 'F', '8', '9', 'a', 1,   0,   1,  0,
                            0x80, 0,   0,   0,   0,   0,   255, 255, 255};
  for (int I = 0; I < 3; ++I) {
    const uint8_t Pixel = I == 1 ? 0x4C : 0x44;  // clear, index 0 or 1, end (3-bit codes)
    const uint8_t Frame[] = {0x21, 0xF9, 4, 0, 10, 0, 0, 0, 0x2C,  0,    0, 0,
                             0,    1,    0, 1, 0,  0, 2, 2, Pixel, 0x01, 0};
    B.insert(B.end(), std::begin(Frame), std::end(Frame));
  }
  B.push_back(0x3B);
  std::vector<uint8_t> Data = {static_cast<uint8_t>(B.size()), 0, 0, 0};
  Data.insert(Data.end(), B.begin(), B.end());
  static const char* Digits = "0123456789ABCDEF";
  std::string Hex;
  for (uint8_t X : Data) {
    Hex += Digits[X >> 4];
    Hex += Digits[X & 15];
  }
  return Hex;
}

TEST(AnimatorFormTest, StoredFrameIndexBeforeTheImageDataHasNoEffect) {
  Backend();
  RegisterAnimationClasses();
  auto Loaded = CreateFromFormDescription(
      "object Gif: TGIFAnimator\n"
      "  Left = 3\n"
      "  Width = 40\n"
      "  Height = 50\n"
      "  Animate = True\n"
      "  FrameIndex = 2\n"
      "  Image.Data = {\n"
      "    " +
      ThreeFrameGIFHex() +
      "}\n"
      "  Loop = False\n"
      "  Transparent = False\n"
      "end\n");
  auto* Anim = dynamic_cast<TGIFAnimator*>(Loaded.get());
  ASSERT_NE(Anim, nullptr);
  EXPECT_EQ(Anim->Image()->FrameCount(), 3);
  EXPECT_EQ(Anim->FrameIndex(), 0);
  EXPECT_TRUE(Anim->Animate());
  EXPECT_EQ(Anim->Timer()->Interval(), 100u) << "frame 0's delay once the picture arrived";
  EXPECT_FALSE(Anim->Loop());
  EXPECT_FALSE(Anim->Transparent());
  EXPECT_EQ(Anim->Width(), 40) << "the stored size stands while the form is read";
  EXPECT_EQ(Anim->Height(), 50);
  const std::string Written = WriteFormDescription(Anim);
  EXPECT_NE(Written.find("Image.Data"), std::string::npos);
  EXPECT_EQ(Written.find("AutoSize"), std::string::npos) << "default True is not written";
  EXPECT_EQ(Written.find("Center"), std::string::npos);
  EXPECT_LT(Written.find("Animate = True"), Written.find("Image.Data"));
}

// Asynchronous drawing: the step and the painting run on the timer's worker, the frame-change
// event on the GUI thread; without it everything runs on the GUI thread.
TEST_F(AnimatorTest, TicksRunOnTheGUIThreadUnlessDrawingIsAsynchronous) {
  for (bool Async : {false, true}) {
    SCOPED_TRACE(Async ? "asynchronous" : "synchronised");
    std::mutex Lock;
    std::set<std::thread::id> PaintThreads, EventThreads;
    std::atomic<int> Frames{0};
    Form->OnPaint = [&](TObject*) {
      std::lock_guard<std::mutex> Guard(Lock);
      PaintThreads.insert(std::this_thread::get_id());
    };
    auto Image = MakeImage(
        2, 2, {{0, 0, 2, 2, clRed, Key, 1, 10, Key}, {0, 0, 2, 2, clLime, Key, 1, 10, Key}});
    Image->SetTransparent(true);  // the parent is painted behind the picture at every paint
    Load(Image);
    Anim->Timer()->SetThreaded(true);
    Anim->SetAsyncDrawing(Async);
    EXPECT_EQ(Anim->Timer()->SyncEvent(), !Async);
    Anim->SetOnFrameChanged([&](TObject*) {
      std::lock_guard<std::mutex> Guard(Lock);
      EventThreads.insert(std::this_thread::get_id());
      ++Frames;
    });
    {
      std::lock_guard<std::mutex> Guard(Lock);
      PaintThreads.clear();
    }
    Anim->SetAnimate(true);
    ASSERT_TRUE(WaitUntil([&] { return Frames >= 4; }));
    Anim->SetAnimate(false);
    WaitUntil([&] { return Anim->Timer()->Worker()->Paused(); });
    Backend().Drain();
    std::lock_guard<std::mutex> Guard(Lock);
    EXPECT_EQ(EventThreads, std::set<std::thread::id>{std::this_thread::get_id()});
    if (Async) {
      EXPECT_TRUE(PaintThreads.count(Anim->Timer()->Worker()->ThreadID()) == 1)
          << "the worker paints straight into the form";
    } else {
      EXPECT_EQ(PaintThreads, std::set<std::thread::id>{std::this_thread::get_id()});
    }
    Form->OnPaint = nullptr;
  }
}

// Ends the test program with a message unless it is disarmed within Seconds, so that a
// deadlock fails the test instead of hanging it.
class TWatchdog {
 public:
  TWatchdog(const char* What, int Seconds)
      : FThread([this, What, Seconds] {
          std::unique_lock<std::mutex> Guard(FLock);
          if (!FDone.wait_for(Guard, std::chrono::seconds(Seconds), [this] { return FDisarmed; })) {
            std::fprintf(stderr, "deadlock: %s\n", What);
            std::abort();
          }
        }) {}
  ~TWatchdog() {
    {
      std::lock_guard<std::mutex> Guard(FLock);
      FDisarmed = true;
    }
    FDone.notify_all();
    FThread.join();
  }

 private:
  std::mutex FLock;
  std::condition_variable FDone;
  bool FDisarmed = false;
  std::thread FThread;
};

// With asynchronous drawing the frame-change and stop events run on the GUI thread while the
// worker waits; handlers that call setters taking the control's lock must not deadlock, and
// the events keep their order.
TEST_F(AnimatorTest, AsynchronousEventHandlersMayCallLockingSetters) {
  TWatchdog Watchdog("an asynchronous event handler called a setter", 30);
  Load(RGBImage(50));
  auto Replacement = MakeImage(2, 2, {{0, 0, 2, 2, clYellow, clNone, 1}});
  Anim->Timer()->SetThreaded(true);
  Anim->SetAsyncDrawing(true);
  Anim->SetLoop(false);
  std::vector<std::string> Seen;
  std::atomic<bool> Stopped{false};
  Anim->SetOnFrameChanged([&](TObject*) {
    Seen.push_back("frame " + std::to_string(Anim->FrameIndex()));
    Anim->SetStretch(!Anim->Stretch());
    Anim->SetCenter(!Anim->Center());
    Anim->SetTransparent(!Anim->Transparent());
  });
  Anim->SetOnStop([&](TObject*) {
    Seen.push_back("stop");
    Anim->SetStretch(false);
    Anim->SetImage(Replacement.get());
    Stopped = true;
  });
  Anim->SetAnimate(true);
  ASSERT_TRUE(WaitUntil([&] { return Stopped.load(); }, 10000));
  EXPECT_EQ(Seen, (std::vector<std::string>{"frame 1", "frame 2", "frame 0", "stop"}));
  EXPECT_FALSE(Anim->Animate());
  EXPECT_EQ(Anim->Image()->FrameCount(), 1);
  Backend().Drain();
  EXPECT_EQ(Px(1, 1), clYellow);
  // Switching on again from a handler on the GUI thread works as well.
  Anim->SetOnStop(nullptr);
  Load(RGBImage(50));
  std::atomic<int> Frames{0};
  Anim->SetOnFrameChanged([&](TObject*) {
    if (++Frames == 2) Anim->SetFrameIndex(0);  // takes the lock, raises the event again
  });
  Anim->SetLoop(true);
  Anim->SetAnimate(true);
  ASSERT_TRUE(WaitUntil([&] { return Frames >= 5; }, 10000));
  Anim->SetAnimate(false);
  // The worker may be painting into the form still: the animator goes before the form does.
  Form->DestroyComponents();
}

// A frame whose bitmap cannot be built fails its paints: the tick reports it, and so does the
// repaint posted afterwards; nothing leaves the message loop and the animation goes on.
TEST_F(AnimatorTest, AFrameThatCannotBeDecodedIsReportedAndTheAnimationGoesOn) {
  std::vector<std::string> Reports;
  Application()->OnException = [&](TObject*, const Exception& E) {
    Reports.push_back(E.Message());
  };
  auto Image = RGBImage();
  Load(Image);
  TGIFFrame* Broken = Anim->Image()->Frames(1);
  Broken->FFrameBitmap.reset();
  Broken->FItem->FCodeStream = std::make_unique<TMemoryStream>();  // no data to decode
  Anim->SetAnimate(true);
  EXPECT_NO_THROW(Backend().Advance(100));  // shows frame 1: the paint fails
  EXPECT_FALSE(Reports.empty());
  const size_t AfterTick = Reports.size();
  Anim->Invalidate();  // a later repaint of frame 1 fails on the loop
  EXPECT_NO_THROW(Backend().Drain());
  EXPECT_GT(Reports.size(), AfterTick);
  EXPECT_NO_THROW(Backend().Advance(100));
  EXPECT_EQ(Anim->FrameIndex(), 2);
  EXPECT_EQ(Px(0, 0), clBlue) << "the next frame shows";
  EXPECT_TRUE(Anim->Animate());
}

// Asynchronous drawing under load: the worker steps and paints every 50 ms while the GUI
// thread replaces the image, changes the drawing settings, moves the mouse over the control
// and clicks it, and paints the form itself. Run under the thread sanitizer, this finds any
// unguarded access between the two threads; anywhere, a deadlock or a crash.
TEST_F(AnimatorTest, AsynchronousDrawingStress) {
  TWatchdog Watchdog("asynchronous drawing stress", 120);
  auto Images = std::vector<std::unique_ptr<TGIFImage>>();
  Images.push_back(RGBImage(0));
  Images.push_back(MakeImage(3, 3,
                             {{0, 0, 3, 3, clRed, Key, 1, 0, Key},
                              {1, 1, 2, 2, clLime, clNone, 2, 0},
                              {0, 0, 1, 1, clBlue, clNone, 3, 0}}));
  Images.push_back(MakeImage(5, 2, {{0, 0, 5, 2, clAqua, clNone, 1, 0}, {2, 0, 1, 2, clNavy}}));
  Load(Images[0]);
  Anim->Timer()->SetThreaded(true);
  Anim->SetAsyncDrawing(true);
  std::atomic<int> Frames{0};
  Anim->SetOnFrameChanged([&](TObject*) { ++Frames; });
  int Clicks = 0;
  Anim->OnClick = [&](TObject*) { ++Clicks; };
  Anim->SetAnimate(true);
  const HWND W = Form->Handle();
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
  int Round = 0;
  while (std::chrono::steady_clock::now() < Deadline) {
    ++Round;
    Anim->SetImage(Images[static_cast<size_t>(Round) % Images.size()].get());
    Anim->SetStretch(Round % 2 == 0);
    Anim->SetCenter(Round % 3 == 0);
    Anim->SetTransparent(Round % 5 != 0);
    Anim->SetLoop(Round % 7 != 0);
    if (!Anim->Animate()) Anim->SetAnimate(true);
    Anim->SetFrameIndex(Round % 3);
    Backend().MouseMove(W, 1 + Round % 3, 1);
    Backend().Click(W, TMouseButton::mbLeft, 1, 1);
    Form->PaintNow();
    animtest::ServeFor(5);
  }
  const int Seen = Frames;
  Anim->SetAnimate(false);
  Backend().Drain();
  EXPECT_GT(Seen, 5) << "the worker kept stepping";
  EXPECT_EQ(Clicks, Round);
  Form->DestroyComponents();
}

TEST_F(AnimatorTest, DestroyingARunningAsynchronousAnimatorIsSafe) {
  std::atomic<int> Frames{0};
  ASSERT_TRUE(RunAsynchronously(Frames));
  // While the worker steps and paints every 50 ms: the animator waits for a running tick.
  delete Anim;
  Anim = nullptr;
  EXPECT_EQ(Form->ControlCount(), 0);
  Form->PaintNow();
}

TEST_F(AnimatorTest, DestroyingTheFormOfARunningAsynchronousAnimatorIsSafe) {
  std::atomic<int> Frames{0};
  ASSERT_TRUE(RunAsynchronously(Frames));
  // The worker paints straight into the form's window every 50 ms: the form's owned components
  // (the animator and its timer) must be gone before the window is. A form destroys them
  // first; a caller that destroys a form of a derived class while a worker paints into it
  // does so before the form's own destruction starts.
  Form->DestroyComponents();
  Form.reset();
  Anim = nullptr;
  const int Seen = Frames;
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(Frames, Seen) << "no tick after the form is gone";
}

}  // namespace
}  // namespace orn
